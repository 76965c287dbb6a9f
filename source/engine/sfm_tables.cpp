// Constant tables of the engine, computed from their designs: the LFE
// low-pass coefficients (per sample rate), the de-correlation filters of the
// diffuser (on first use) and the low-frequency gains of the figure-of-eight
// capsule.
#include "sfm_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// ---------------------------------------------------------------------------
// LFE low-pass: digital Butterworth filters of order 2 and 3.
// ---------------------------------------------------------------------------
// The analogue Butterworth prototype with its corner pre-warped to
// K = tan(pi wc / 2), through the bilinear transform s = (1 - z^-1) / (K (1 + z^-1)).
// Order 2 is the section 1 / (s^2 + sqrt(2) s + 1); order 3 is
// 1 / (s + 1) times 1 / (s^2 + s + 1), multiplied out.
namespace {

// Second-order section 1 / (s^2 + s/Q + 1) after the bilinear transform.
void biquad_lowpass(double k, double invQ, double b[3], double a[3])
{
    const double k2 = k * k;
    const double norm = 1.0 / (1.0 + k * invQ + k2);
    b[0] = k2 * norm;
    b[1] = 2.0 * b[0];
    b[2] = b[0];
    a[0] = 1.0;
    a[1] = 2.0 * (k2 - 1.0) * norm;
    a[2] = (1.0 - k * invQ + k2) * norm;
}

// Order 3: the first-order section 1 / (s + 1) times the biquad with Q = 1.
void third_order_lowpass(double k, double b[4], double a[4])
{
    const double norm1 = 1.0 / (1.0 + k);
    const double b1[2] = {k * norm1, k * norm1};
    const double a1[2] = {1.0, (k - 1.0) * norm1};
    double b2[3], a2[3];
    biquad_lowpass(k, 1.0, b2, a2);
    for (int j = 0; j < 4; ++j)
        b[j] = a[j] = 0.0;
    for (int p = 0; p < 2; ++p)
        for (int q = 0; q < 3; ++q) {
            b[p + q] += b1[p] * b2[q];
            a[p + q] += a1[p] * a2[q];
        }
}

} // namespace

int sfm_lfe_design(int order, float corner, double a[3], double b[4])
{
    if ((order != 2 && order != 3) || !(corner > 0.0f && corner < 1.0f))
        return -1;
    const double k = std::tan(SFM_PI * static_cast<double>(corner) / 2.0);
    double bb[4], aa[4];
    if (order == 2)
        biquad_lowpass(k, std::sqrt(2.0), bb, aa);
    else
        third_order_lowpass(k, bb, aa);
    for (int j = 0; j < order; ++j)
        a[j] = aa[j + 1];
    for (int j = 0; j <= order; ++j)
        b[j] = bb[j];
    return 0;
}

// ---------------------------------------------------------------------------
// De-correlation filters of the diffuser.
// ---------------------------------------------------------------------------
// Ten bursts of Gaussian noise under a common energy envelope that rises from
// about -37 dB (per 256 taps, relative to the total) to about -6 dB around
// taps 1280-1535 and decays to about -65 dB at the end, like a short diffuse
// reverberation tail. Taps 1 ... 2879 carry the burst; tap 0 (no direct path)
// and the rest are zero. Each filter is orthogonalised against the ones
// before it (Gram-Schmidt), so the filters are mutually uncorrelated at lag 0,
// and normalised to unit energy. A filter whose peak magnitude falls outside
// 0.089 ... 0.115 is drawn again from the next seed, so the set is always the
// same.
namespace {

enum { kFilterTaps = 2880, kBlock = 256 };

// Target energy per 256-tap block (dB re total); the last block has 64 taps.
const double kBlockDb[12] = {-37.0, -25.0, -16.0, -10.0, -7.0, -6.0,
                             -7.0,  -9.5,  -13.0, -20.0, -35.0, -65.0};

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        // xorshift64*
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1DULL;
    }
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
    double gauss()
    {
        // Box-Muller
        const double u = uniform(), v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * SFM_PI * v);
    }
};

// Per-tap standard deviation: the per-tap energy of each block, interpolated
// in dB between block centres.
double envelope(int tap)
{
    auto perTapDb = [](int b) {
        const int len = (b == 11) ? kFilterTaps - 11 * kBlock : kBlock;
        return kBlockDb[b] - 10.0 * std::log10(static_cast<double>(len));
    };
    auto centre = [](int b) { return b == 11 ? 2816.0 + 32.0 : b * kBlock + 128.0; };
    double db;
    if (tap <= centre(0)) {
        db = perTapDb(0);
    } else if (tap >= centre(11)) {
        db = perTapDb(11);
    } else {
        int b = 0;
        while (tap > centre(b + 1))
            ++b;
        const double x = (tap - centre(b)) / (centre(b + 1) - centre(b));
        db = perTapDb(b) + x * (perTapDb(b + 1) - perTapDb(b));
    }
    return std::pow(10.0, db / 20.0);
}

struct FilterBank {
    float taps[SFM_NUM_DECORRELATORS][SFM_DIFFUSER_SIZE];
};

FilterBank build_filter_bank()
{
    static double h[SFM_NUM_DECORRELATORS][kFilterTaps];
    FilterBank bank{};
    uint64_t seed = 0x5DEECE66DULL;
    for (int k = 0; k < SFM_NUM_DECORRELATORS; ++k) {
        for (int attempt = 0;; ++attempt) {
            Rng rng{seed++ * 0x9E3779B97F4A7C15ULL + 1};
            double* x = h[k];
            x[0] = 0.0;
            for (int t = 1; t < kFilterTaps; ++t)
                x[t] = envelope(t) * rng.gauss();
            for (int j = 0; j < k; ++j) {
                double dot = 0.0;
                for (int t = 0; t < kFilterTaps; ++t)
                    dot += x[t] * h[j][t];
                for (int t = 0; t < kFilterTaps; ++t)
                    x[t] -= dot * h[j][t];
            }
            double energy = 0.0;
            for (int t = 0; t < kFilterTaps; ++t)
                energy += x[t] * x[t];
            const double g = 1.0 / std::sqrt(energy);
            double peak = 0.0;
            bool allNonZero = true;
            for (int t = 0; t < kFilterTaps; ++t) {
                x[t] *= g;
                peak = std::max(peak, std::fabs(x[t]));
                if (t > 0 && static_cast<float>(x[t]) == 0.0f)
                    allNonZero = false;
            }
            // Keep a small margin inside 0.089 ... 0.115 for the float rounding.
            if ((peak >= 0.0895 && peak <= 0.1145 && allNonZero) || attempt > 1000)
                break;
        }
        for (int t = 0; t < kFilterTaps; ++t)
            bank.taps[k][t] = static_cast<float>(h[k][t]);
    }
    return bank;
}

const FilterBank& filter_bank()
{
    static const FilterBank bank = build_filter_bank();
    return bank;
}

} // namespace

const float* sfm_decorrelation_filter(int k)
{
    if (k < 0 || k >= SFM_NUM_DECORRELATORS)
        return nullptr;
    return filter_bank().taps[k];
}

// ---------------------------------------------------------------------------
// Low-frequency gains of the figure-of-eight spectrum (bins 0 ... 29): lift
// the lowest bins of the gradient signal, whose sensitivity falls towards
// low frequencies, to the level of the pressure signal.
// ---------------------------------------------------------------------------
const float sfm_capsule_gains[SFM_CAPSULE_GAIN_BINS] = {
    2.7783f, 2.5519f, 2.1407f, 1.8062f, 1.5787f, 1.4276f, 1.3253f, 1.2542f, 1.2031f, 1.1656f,
    1.1373f, 1.1155f, 1.0984f, 1.0848f, 1.0737f, 1.0647f, 1.0572f, 1.0509f, 1.0456f, 1.0411f,
    1.0372f, 1.0338f, 1.0308f, 1.0283f, 1.0260f, 1.0240f, 1.0222f, 1.0206f, 1.0192f, 1.0179f,
};
