// The binaural renderer: uniformly partitioned convolution (overlap-save,
// frequency-domain delay line; Wefers, Partitioned convolution algorithms for
// real-time auralization, 2015) of every loudspeaker with the pair of
// responses of its direction relative to the head.
//
// The input is collected in partitions of B samples whatever the caller's
// block size; per partition each loudspeaker's last 2B samples are
// transformed once, the spectra of the last K partitions are multiplied with
// the K partitions of its two responses and summed per ear, and each ear is
// transformed back once: the output lags by exactly B samples.
//
// When the head turns (or the set changes), the new responses are computed at
// the partition boundary into the second filter set; for one partition both
// sets run over the same input history and their outputs are crossfaded with
// a raised cosine, then the new set takes over. The output gain and the LFE's
// switch ramp linearly over a partition.
#include "sfm_binaural.h"
#include "sfm_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define SFM_BINAURAL_MXCSR 1
#endif

// The spectrum loops run twice as wide on machines with AVX2.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define SFM_BINAURAL_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define SFM_BINAURAL_CLONES
#endif

namespace {

constexpr float kPartitionSeconds = 0.01f; // B: the power of two of at least 10 ms
constexpr float kInputLimit = 1000.0f;     // +60 dBFS: beyond any real signal
// Room in the onset-delay transform for the tails of its band-limited
// (periodic) fractional delay, so they do not wrap onto the response.
constexpr int kShiftGuard = 64;
// The LFE: fourth-order Butterworth lowpass at 120 Hz, +10 dB in its band
// (the cinema playback convention), two biquads of Q = 1 / (2 cos(pi/8)) and
// 1 / (2 cos(3 pi/8)), by the bilinear transform with the corner prewarped.
constexpr double kLfeCornerHz = 120.0;
constexpr double kLfeGain = 3.16227766016838; // +10 dB
constexpr int kEars = 2;

class DenormalGuard {
public:
    DenormalGuard()
    {
#ifdef SFM_BINAURAL_MXCSR
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040u); // FTZ (bit 15) | DAZ (bit 6)
#endif
    }
    ~DenormalGuard()
    {
#ifdef SFM_BINAURAL_MXCSR
        _mm_setcsr(saved_);
#endif
    }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned saved_ = 0;
};

int bins(const sfm_binaural* b) { return b->partition + 1; }

// Index of partition k of speaker s's response for one ear in a filter set.
size_t filter_offset(const sfm_binaural* b, int s, int ear, int k)
{
    return ((static_cast<size_t>(s) * kEars + ear) * b->numPartitions + k) * bins(b);
}

size_t fdl_offset(const sfm_binaural* b, int s, int k)
{
    return (static_cast<size_t>(s) * b->numPartitions + k) * bins(b);
}

// NaN and infinities (all exponent bits set) become silence, the rest is
// held within +-kInputLimit; read by bit pattern, so no compiler flag can
// fold the test away.
inline float sanitise(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof(bits));
    if ((bits & 0x7f800000u) == 0x7f800000u)
        return 0.0f;
    return std::min(kInputLimit, std::max(-kInputLimit, x));
}

void lfe_design(sfm_binaural* b)
{
    const double k = std::tan(SFM_PI * kLfeCornerHz / b->sampleRate);
    const double q[2] = {1.0 / (2.0 * std::cos(SFM_PI / 8.0)), 1.0 / (2.0 * std::cos(3.0 * SFM_PI / 8.0))};
    for (int i = 0; i < 2; ++i) {
        const double norm = 1.0 / (1.0 + k / q[i] + k * k);
        b->lfeB[i][0] = k * k * norm;
        b->lfeB[i][1] = 2.0 * k * k * norm;
        b->lfeB[i][2] = k * k * norm;
        b->lfeA[i][0] = 2.0 * (k * k - 1.0) * norm;
        b->lfeA[i][1] = (1.0 - k / q[i] + k * k) * norm;
    }
}

// One LFE sample through both sections (double: at 384 kHz the poles sit
// within 0.002 of the unit circle).
inline double lfe_step(sfm_binaural* b, double x)
{
    for (int i = 0; i < 2; ++i) {
        const double y = b->lfeB[i][0] * x + b->lfeZ[i][0];
        b->lfeZ[i][0] = b->lfeB[i][1] * x - b->lfeA[i][0] * y + b->lfeZ[i][1];
        b->lfeZ[i][1] = b->lfeB[i][2] * x - b->lfeA[i][1] * y;
        x = y;
    }
    return x;
}

bool is_speaker(const sfm_binaural* b, int s) { return s != b->lfeIndex; }

// Bins 0 .. half-1 times e^{i step k}: a rotation in double, in eight
// interleaved chains (bin k advances by eight steps from bin k - 8), so the
// chains' multiplications overlap instead of waiting on each other.
void delay_spectrum(float* re, float* im, int half, double step)
{
    constexpr int kChains = 8;
    double wr[kChains], wi[kChains];
    for (int c = 0; c < kChains; ++c) {
        wr[c] = std::cos(step * c);
        wi[c] = std::sin(step * c);
    }
    const double ar = std::cos(step * kChains), ai = std::sin(step * kChains);
    for (int k0 = 0; k0 < half; k0 += kChains) {
        const int m = std::min(kChains, half - k0);
        for (int c = 0; c < m; ++c) {
            const double r = re[k0 + c], q = im[k0 + c];
            re[k0 + c] = static_cast<float>(r * wr[c] - q * wi[c]);
            im[k0 + c] = static_cast<float>(r * wi[c] + q * wr[c]);
        }
        for (int c = 0; c < kChains; ++c) {
            const double t = wr[c] * ar - wi[c] * ai;
            wi[c] = wr[c] * ai + wi[c] * ar;
            wr[c] = t;
        }
    }
}

// Speaker s's response for one ear at `azimuthDeg` into filter set `set`:
// the neighbouring aligned responses mixed, delayed by their mixed onset in
// the frequency domain (a fractional delay), cut into K partitions and each
// transformed. Scaled by 2B so that the product with the forward transform
// (scaled 1/2B) inverts to the convolution.
void compute_response(sfm_binaural* b, const sfm_hrtf* h, int set, int s, int ear, float azimuthDeg)
{
    int j0 = 0, j1 = 0;
    float w = 0.0f;
    sfm_hrtf_direction(h, azimuthDeg, &j0, &j1, &w);
    const float* taps = ear ? h->right : h->left;
    const float* onsets = ear ? h->onsetRight : h->onsetLeft;
    const float* a = taps + static_cast<size_t>(j0) * h->length;
    const float* c = taps + static_cast<size_t>(j1) * h->length;
    const double delay = (1.0 - w) * onsets[j0] + w * onsets[j1];

    const int n = b->shiftSize, half = n / 2;
    float* x = b->shift;
    float* re = b->shift + n;
    float* im = re + half + 1;
    const int used = std::max(0, std::min(h->length, n - kShiftGuard - h->margin - static_cast<int>(std::ceil(std::max(delay, 0.0)))));
    for (int i = 0; i < used; ++i)
        x[i] = (1.0f - w) * a[i] + w * c[i];
    std::fill(x + used, x + n, 0.0f);
    sfm_fft_forward(&b->shiftFft, x, re, im);
    delay_spectrum(re, im, half, -2.0 * SFM_PI * delay / n);
    re[half] = static_cast<float>(re[half] * std::cos(SFM_PI * delay)); // real at Nyquist
    im[half] = 0.0f;
    sfm_fft_inverse(&b->shiftFft, re, im, x);

    const int B = b->partition;
    const float scale = static_cast<float>(2 * B);
    float* t = b->time;
    for (int k = 0; k < b->numPartitions; ++k) {
        const int have = std::max(0, std::min(B, n - k * B));
        std::memcpy(t, x + static_cast<size_t>(k) * B, sizeof(float) * have);
        std::fill(t + have, t + 2 * B, 0.0f);
        const size_t o = filter_offset(b, s, ear, k);
        float* hr = b->filterRe[set] + o;
        float* hi = b->filterIm[set] + o;
        sfm_fft_forward(&b->fft, t, hr, hi);
        for (int i = 0; i <= B; ++i) {
            hr[i] *= scale;
            hi[i] *= scale;
        }
    }
}

void compute_filters(sfm_binaural* b, const sfm_hrtf* h, int set, float yaw)
{
    for (int s = 0; s < b->numSpeakers; ++s)
        if (is_speaker(b, s))
            for (int ear = 0; ear < kEars; ++ear)
                compute_response(b, h, set, s, ear, b->azimuth[s] - yaw);
}

// acc += x * h over n bins (complex, split arrays).
SFM_BINAURAL_CLONES void multiply_add(const float* __restrict xr, const float* __restrict xi,
                                      const float* __restrict hr, const float* __restrict hi,
                                      float* __restrict ar, float* __restrict ai, int n)
{
    for (int i = 0; i < n; ++i) {
        ar[i] += xr[i] * hr[i] - xi[i] * hi[i];
        ai[i] += xr[i] * hi[i] + xi[i] * hr[i];
    }
}

// One ear's spectrum through filter set `set` into acc (re, im).
void accumulate(sfm_binaural* b, int set, int ear, float* re, float* im)
{
    const int nb = bins(b), K = b->numPartitions;
    std::fill(re, re + nb, 0.0f);
    std::fill(im, im + nb, 0.0f);
    for (int s = 0; s < b->numSpeakers; ++s) {
        if (!is_speaker(b, s))
            continue;
        for (int k = 0; k < K; ++k) {
            const int slot = (b->fdlPos - k + K) % K;
            const size_t xo = fdl_offset(b, s, slot), ho = filter_offset(b, s, ear, k);
            multiply_add(b->fdlRe + xo, b->fdlIm + xo, b->filterRe[set] + ho, b->filterIm[set] + ho, re, im, nb);
        }
    }
}

// The new input partition of every loudspeaker into the delay line.
void transform_inputs(sfm_binaural* b)
{
    const int B = b->partition;
    b->fdlPos = (b->fdlPos + 1) % b->numPartitions;
    for (int s = 0; s < b->numSpeakers; ++s) {
        if (!is_speaker(b, s))
            continue;
        float* hist = b->history + static_cast<size_t>(s) * 2 * B;
        std::memmove(hist, hist + B, sizeof(float) * B);
        std::memcpy(hist + B, b->input + static_cast<size_t>(s) * B, sizeof(float) * B);
        const size_t o = fdl_offset(b, s, b->fdlPos);
        sfm_fft_forward(&b->fft, hist, b->fdlRe + o, b->fdlIm + o);
    }
}

// Both ears through filter set `set`: the valid half of each inverse
// transform into time + ear * 2B + B.
void render_set(sfm_binaural* b, int set, float* time)
{
    const int nb = bins(b), B = b->partition;
    for (int ear = 0; ear < kEars; ++ear) {
        float* re = b->accRe + ear * nb;
        float* im = b->accIm + ear * nb;
        accumulate(b, set, ear, re, im);
        sfm_fft_inverse(&b->fft, re, im, time + static_cast<size_t>(ear) * 2 * B);
    }
}

// Takes the parameters at a partition boundary: returns true when the new
// filters were computed into the spare set and must be crossfaded in.
bool update_filters(sfm_binaural* b)
{
    const sfm_hrtf* next = b->pending ? b->pending : b->hrtf;
    if (!next || b->numSpeakers == 0)
        return false;
    if (!b->filtersValid) {
        b->hrtf = next;
        b->pending = nullptr;
        b->filterYaw = b->yaw;
        compute_filters(b, next, b->current, b->yaw);
        b->filtersValid = 1;
        return false;
    }
    if (next == b->hrtf && b->yaw == b->filterYaw)
        return false;
    b->hrtf = next;
    b->pending = nullptr;
    b->filterYaw = b->yaw;
    compute_filters(b, next, 1 - b->current, b->yaw);
    return true;
}

void run_partition(sfm_binaural* b)
{
    const int B = b->partition;
    const bool crossfade = update_filters(b);
    transform_inputs(b);

    float* fresh = b->time;          // ear e at fresh + e * 2B + B
    float* old = b->time + 4 * B;    // the same for the set being replaced
    float* out = b->output;
    if (b->hrtf && b->filtersValid) {
        render_set(b, crossfade ? 1 - b->current : b->current, fresh);
        if (crossfade)
            render_set(b, b->current, old);
        for (int ear = 0; ear < kEars; ++ear) {
            const float* y = fresh + static_cast<size_t>(ear) * 2 * B + B;
            const float* z = old + static_cast<size_t>(ear) * 2 * B + B;
            float* o = out + static_cast<size_t>(ear) * B;
            if (!crossfade) {
                std::memcpy(o, y, sizeof(float) * B);
                continue;
            }
            for (int i = 0; i < B; ++i)
                o[i] = z[i] + b->fade[i] * (y[i] - z[i]);
        }
        if (crossfade)
            b->current = 1 - b->current;
    } else {
        std::fill(out, out + 2 * B, 0.0f);
    }

    // Gain and LFE, ramped over the partition.
    const float g0 = b->appliedGain, g1 = b->gain;
    const float l0 = b->appliedLfe, l1 = b->lfeOn ? 1.0f : 0.0f;
    const float* lfeIn = b->lfeIndex >= 0 ? b->input + static_cast<size_t>(b->lfeIndex) * B : nullptr;
    for (int i = 0; i < B; ++i) {
        const float r = static_cast<float>(i + 1) / B;
        const float g = g0 + (g1 - g0) * r;
        float lfe = 0.0f;
        if (lfeIn)
            lfe = static_cast<float>(kLfeGain * lfe_step(b, lfeIn[i])) * (l0 + (l1 - l0) * r);
        out[i] = g * (out[i] + lfe);
        out[B + i] = g * (out[B + i] + lfe);
    }
    b->appliedGain = g1;
    b->appliedLfe = l1;
}

void clear_history(sfm_binaural* b)
{
    const int B = b->partition, S = SFM_BINAURAL_MAX_SPEAKERS;
    const size_t fdl = static_cast<size_t>(S) * b->numPartitions * bins(b);
    std::fill(b->input, b->input + static_cast<size_t>(S) * B, 0.0f);
    std::fill(b->history, b->history + static_cast<size_t>(S) * 2 * B, 0.0f);
    std::fill(b->fdlRe, b->fdlRe + fdl, 0.0f);
    std::fill(b->fdlIm, b->fdlIm + fdl, 0.0f);
    std::fill(b->output, b->output + 2 * B, 0.0f);
    std::memset(b->lfeZ, 0, sizeof(b->lfeZ));
    b->fill = 0;
    b->fdlPos = 0;
}

} // namespace

int sfm_binaural_create(sfm_binaural* b, float sampleRate, const sfm_hrtf* hrtf)
{
    std::memset(b, 0, sizeof(*b));
    b->lfeIndex = -1;
    b->gain = b->appliedGain = 1.0f;
    if (!(sampleRate >= SFM_MIN_SAMPLE_RATE && sampleRate <= SFM_MAX_SAMPLE_RATE))
        return SFM_ERR_SAMPLE_RATE;
    if (!hrtf || hrtf->sampleRate != sampleRate || hrtf->filterLength < 1)
        return SFM_ERR_SETUP;
    b->sampleRate = sampleRate;
    int B = 4;
    while (static_cast<float>(B) < kPartitionSeconds * sampleRate)
        B *= 2;
    b->partition = B;
    b->numPartitions = (hrtf->filterLength + B - 1) / B;
    b->shiftSize = 4;
    // The set's longest response, with room for the taps a negative onset
    // delay moves to the end (at most the margin).
    while (b->shiftSize < hrtf->filterLength + hrtf->margin + kShiftGuard)
        b->shiftSize *= 2;

    const size_t S = SFM_BINAURAL_MAX_SPEAKERS, K = static_cast<size_t>(b->numPartitions);
    const size_t nb = static_cast<size_t>(B) + 1, n = static_cast<size_t>(b->shiftSize);
    const size_t sizes[] = {
        S * B,                          // input
        S * 2 * B,                      // history
        S * K * nb, S * K * nb,         // delay line
        S * kEars * K * nb, S * kEars * K * nb, S * kEars * K * nb, S * kEars * K * nb, // two filter sets
        kEars * nb, kEars * nb,         // accumulators
        4 * static_cast<size_t>(kEars) * B, // inverse transforms, two sets
        kEars * static_cast<size_t>(B), // output
        n + 2 * (n / 2 + 1),            // onset delay
        static_cast<size_t>(B),         // crossfade
    };
    size_t total = 0;
    for (size_t s : sizes)
        total += s;
    b->work = static_cast<float*>(calloc(total, sizeof(float)));
    if (!b->work || sfm_fft_init(&b->fft, 2 * B) != 0 || sfm_fft_init(&b->shiftFft, b->shiftSize) != 0) {
        sfm_binaural_free(b);
        return SFM_ERR_MEMORY;
    }
    float** slots[] = {&b->input, &b->history, &b->fdlRe, &b->fdlIm, &b->filterRe[0], &b->filterIm[0],
                       &b->filterRe[1], &b->filterIm[1], &b->accRe, &b->accIm, &b->time, &b->output, &b->shift,
                       &b->fade};
    float* p = b->work;
    for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
        *slots[i] = p;
        p += sizes[i];
    }
    // Raised cosine from the old filters to the new over one partition.
    for (int i = 0; i < B; ++i)
        b->fade[i] = static_cast<float>(0.5 - 0.5 * std::cos(SFM_PI * (i + 0.5) / B));
    b->hrtf = hrtf;
    lfe_design(b);
    return 0;
}

void sfm_binaural_free(sfm_binaural* b)
{
    if (!b)
        return;
    sfm_fft_free(&b->fft);
    sfm_fft_free(&b->shiftFft);
    free(b->work);
    std::memset(b, 0, sizeof(*b));
    b->lfeIndex = -1;
}

int sfm_binaural_capacity(const sfm_binaural* b) { return b->numPartitions * b->partition; }

int sfm_binaural_set_layout(sfm_binaural* b, int count, const float* azimuthDeg, int lfeIndex)
{
    if (!b->work || count < 1 || count > SFM_BINAURAL_MAX_SPEAKERS || !azimuthDeg || lfeIndex < -1
        || lfeIndex >= count)
        return SFM_ERR_SETUP;
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(azimuthDeg[i]))
            return SFM_ERR_SETUP;
    bool same = count == b->numSpeakers && lfeIndex == b->lfeIndex;
    for (int i = 0; same && i < count; ++i)
        same = azimuthDeg[i] == b->azimuth[i];
    if (same)
        return 0;
    b->numSpeakers = count;
    b->lfeIndex = lfeIndex;
    for (int i = 0; i < SFM_BINAURAL_MAX_SPEAKERS; ++i)
        b->azimuth[i] = i < count ? azimuthDeg[i] : 0.0f;
    clear_history(b);
    b->filtersValid = 0;
    return 0;
}

void sfm_binaural_use_hrtf(sfm_binaural* b, const sfm_hrtf* hrtf)
{
    if (hrtf && hrtf->sampleRate == b->sampleRate && hrtf->numDirections > 0)
        b->pending = hrtf;
}

const sfm_hrtf* sfm_binaural_hrtf_in_use(const sfm_binaural* b) { return b->hrtf; }

void sfm_binaural_set_params(sfm_binaural* b, float yawDeg, float gain, int lfeOn)
{
    if (std::isfinite(yawDeg)) {
        // Kept in (-180, 180], so a tracker that counts turns does not lose precision.
        float y = std::fmod(yawDeg, 360.0f);
        if (y > 180.0f)
            y -= 360.0f;
        else if (y <= -180.0f)
            y += 360.0f;
        b->yaw = y;
    }
    if (std::isfinite(gain))
        b->gain = std::max(0.0f, std::min(gain, 1000.0f));
    b->lfeOn = lfeOn ? 1 : 0;
}

void sfm_binaural_process(sfm_binaural* b, const float* const* speakers, float* left, float* right, int n)
{
    if (!b->work || !left || !right || n <= 0)
        return;
    DenormalGuard denormals;
    const int B = b->partition;
    int done = 0;
    while (done < n) {
        const int m = std::min(n - done, B - b->fill);
        for (int s = 0; s < b->numSpeakers; ++s) {
            float* in = b->input + static_cast<size_t>(s) * B + b->fill;
            const float* src = speakers ? speakers[s] : nullptr;
            for (int i = 0; i < m; ++i)
                in[i] = src ? sanitise(src[done + i]) : 0.0f;
        }
        std::memcpy(left + done, b->output + b->fill, sizeof(float) * m);
        std::memcpy(right + done, b->output + B + b->fill, sizeof(float) * m);
        b->fill += m;
        done += m;
        if (b->fill == B) {
            run_partition(b);
            b->fill = 0;
        }
    }
}

int sfm_binaural_latency(const sfm_binaural* b) { return b->partition; }

void sfm_binaural_reset(sfm_binaural* b)
{
    if (!b->work)
        return;
    clear_history(b);
    b->filtersValid = 0;
    b->appliedGain = b->gain;
    b->appliedLfe = b->lfeOn ? 1.0f : 0.0f;
}
