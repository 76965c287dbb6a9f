#include "orvo_scene.h"

#include "sfm_internal.h"

#include <algorithm>
#include <cmath>

namespace orvo_scene {

namespace {

constexpr double kEightScale = 1.4142135623730951 / 1.8385; // F8 per unit sqrt(2) sin az

// Second-order Butterworth sections (bilinear transform), direct form I.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad butterworth(double fs, double hz, bool highpass)
{
    const double k = std::tan(kPi * hz / fs), q = 1.0 / std::sqrt(2.0);
    const double norm = 1.0 / (1.0 + k / q + k * k);
    Biquad f;
    if (highpass) {
        f.b0 = norm;
        f.b1 = -2.0 * norm;
        f.b2 = norm;
    } else {
        f.b0 = k * k * norm;
        f.b1 = 2.0 * f.b0;
        f.b2 = f.b0;
    }
    f.a1 = 2.0 * (k * k - 1.0) * norm;
    f.a2 = (1.0 - k / q + k * k) * norm;
    return f;
}

} // namespace

float Noise::next()
{
    // xorshift64*, mapped to a uniform value of unit variance
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    uint64_t r = state_ * 0x2545F4914F6CDD1Dull;
    double u = (r >> 11) * (1.0 / 9007199254740992.0); // [0, 1)
    return static_cast<float>((u - 0.5) * std::sqrt(12.0));
}

std::vector<float> white_noise(size_t n, uint64_t seed, float rmsValue)
{
    Noise g(seed);
    std::vector<float> x(n);
    for (auto& v : x)
        v = g.next() * rmsValue;
    return x;
}

std::vector<float> band_noise(size_t n, uint64_t seed, float rmsValue, double fs, double loHz, double hiHz)
{
    std::vector<float> x = white_noise(n, seed, 1.0f);
    Biquad s[4] = {butterworth(fs, loHz, true), butterworth(fs, loHz, true), butterworth(fs, hiHz, false),
                   butterworth(fs, hiHz, false)};
    double sum = 0.0;
    for (auto& v : x) {
        double y = v;
        for (auto& f : s)
            y = f.run(y);
        v = static_cast<float>(y);
        sum += y * y;
    }
    const double scale = n && sum > 0.0 ? rmsValue / std::sqrt(sum / n) : 0.0;
    for (auto& v : x)
        v = static_cast<float>(v * scale);
    return x;
}

std::vector<float> sine(size_t n, double fs, double hz, float peak)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(peak * std::sin(2.0 * kPi * hz * i / fs));
    return x;
}

void add_plane_wave(Capsules& c, const std::vector<float>& x, double az, double el, size_t offset)
{
    const double u = std::cos(el) * std::cos(az), v = std::cos(el) * std::sin(az);
    const float gf = static_cast<float>(0.5 * (1.0 + u)), gr = static_cast<float>(0.5 * (1.0 - u));
    const float g8 = static_cast<float>(kEightScale * v);
    for (size_t i = 0; i < x.size() && offset + i < c.size(); ++i) {
        c.fc[offset + i] += gf * x[i];
        c.rc[offset + i] += gr * x[i];
        c.f8[offset + i] += g8 * x[i];
    }
}

void add_diffuse(Capsules& c, uint64_t seed, float rmsValue, double fs, double loHz, double hiHz, int directions)
{
    // Fibonacci sphere: near-uniform directions.
    const double golden = kPi * (3.0 - std::sqrt(5.0));
    const float each = static_cast<float>(rmsValue / std::sqrt(static_cast<double>(directions)));
    for (int d = 0; d < directions; ++d) {
        double z = 1.0 - (d + 0.5) * 2.0 / directions;
        double az = std::fmod(golden * d, 2.0 * kPi) - kPi;
        auto x = band_noise(c.size(), seed * 1000 + d, each, fs, loHz, hiHz);
        add_plane_wave(c, x, az, std::asin(z));
    }
}

void apply_figure_of_eight_rolloff(std::vector<float>& f8, double fs)
{
    if (f8.empty())
        return;
    int n = 4;
    while (static_cast<size_t>(n) < 2 * f8.size())
        n *= 2;
    sfm_fft fft{};
    if (sfm_fft_init(&fft, n) != 0)
        return;
    std::vector<float> x(n, 0.0f), re(n / 2 + 1), im(n / 2 + 1);
    std::copy(f8.begin(), f8.end(), x.begin());
    sfm_fft_forward(&fft, x.data(), re.data(), im.data());
    // Zero-phase response 1 / gain, the gain interpolated between the engine's
    // bins (bin e of the engine lies at e * fs / engineN).
    const double ratio = static_cast<double>(engine_fft_size(fs)) / n;
    for (int k = 0; k <= n / 2; ++k) {
        double e = k * ratio;
        double g = 1.0;
        if (e < SFM_CAPSULE_GAIN_BINS) {
            int i = static_cast<int>(e);
            double t = e - i;
            double g0 = sfm_capsule_gains[i];
            double g1 = i + 1 < SFM_CAPSULE_GAIN_BINS ? sfm_capsule_gains[i + 1] : 1.0;
            g = g0 + t * (g1 - g0);
        }
        re[k] = static_cast<float>(re[k] / g);
        im[k] = static_cast<float>(im[k] / g);
    }
    sfm_fft_inverse(&fft, re.data(), im.data(), x.data());
    std::copy(x.begin(), x.begin() + f8.size(), f8.begin());
    sfm_fft_free(&fft);
}

int engine_fft_size(double fs)
{
    int hop = 1;
    while (hop < fs * 0.01)
        hop *= 2;
    return 2 * hop;
}

double rms(const float* x, size_t begin, size_t end)
{
    if (end <= begin)
        return 0.0;
    double s = 0.0;
    for (size_t i = begin; i < end; ++i)
        s += double(x[i]) * x[i];
    return std::sqrt(s / (end - begin));
}

double rms_db(const float* x, size_t begin, size_t end)
{
    double r = rms(x, begin, end);
    return r > 0.0 ? 20.0 * std::log10(r) : -300.0;
}

} // namespace orvo_scene
