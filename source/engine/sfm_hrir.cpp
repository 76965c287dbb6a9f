// Head-related impulse response sets: the ring a set arrives as (compiled in
// or read from a file), prepared for the renderer at the session's rate.
//
// Preparing a ring (sfm_hrtf_prepare):
//   1. the onset of every response: where its 3 kHz lowpassed version first
//      reaches a fifth (-14 dB) of its peak (the threshold method on lowpassed responses,
//      Katz and Noisternig, JASA 135, 2014), found to a sixteenth of a sample;
//   2. each response resampled to the session's rate so that its onset lands
//      `margin` taps from its start (a Kaiser-windowed sinc evaluated at any
//      time, so alignment and rate conversion are one step);
//   3. the onsets, plus the set's own stored delays, become the delays the
//      renderer applies to the aligned responses;
//   4. the set's diffuse-field equalisation: every response through one
//      minimum-phase filter, the inverse of the power spectrum averaged over
//      the ring and both ears (third-octave smoothed, its boost and cut
//      bounded). What all directions share (the ear canal's resonance, the
//      measuring loudspeaker and microphone) would otherwise be heard twice
//      on headphones: a set as measured puts some 15 dB of 2 to 3 kHz
//      resonance on every loudspeaker. What tells the directions apart
//      (level and time between the ears, the pinna's notches) stays;
//   5. one gain for the whole set: the frontal response's 250 Hz to 1 kHz
//      level at 0 dB (see sfm_binaural.h).
#include "sfm_binaural.h"
#include "sfm_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The rate converter's kernel: sinc(u) times a Kaiser window over |u| < Z
// zero crossings, tabulated at kTableSteps points per zero crossing and
// read with linear interpolation. Z = 48 and beta = 9 keep the stopband below
// -85 dB with a transition band 6 % of the lower rate wide; the cutoff sits
// at 94 % of the lower rate's Nyquist so the stopband starts at it.
constexpr int kTableSteps = 256;
constexpr int kZeroCrossings = 48;
constexpr double kKaiserBeta = 9.0;
constexpr double kPassband = 0.94;
// The onset detector's lowpass: a short kernel is enough (its ripple only
// shifts every onset alike). 3 kHz keeps the direct sound's edge and drops
// the pinna's fine structure, whose peaks would make the onset jump.
constexpr int kOnsetZeroCrossings = 8;
constexpr double kOnsetKaiserBeta = 6.0;
constexpr double kOnsetLowpassHz = 3000.0;
// Of the lowpassed peak: -14 dB. Higher thresholds make the far ear's onset
// jump where the sound around the back of the head overtakes the sound
// around the front (KEMAR: 9 samples at 48 kHz between 105 and 110
// degrees at one half), lower ones trigger on the noise before the sound.
constexpr double kOnsetThreshold = 0.2;
constexpr int kOnsetSubSteps = 16;
// Taps kept before each onset: the rise of the full-band response ahead of
// its lowpassed threshold point and the converter's pre-ringing.
constexpr double kMarginSeconds = 0.001;
// The level rule: frontal response, both ears, 250 Hz to 1 kHz.
constexpr double kLevelLowHz = 250.0;
constexpr double kLevelHighHz = 1000.0;
constexpr int kLevelPoints = 16;

// The diffuse-field equaliser: third-octave smoothing; held flat below and
// above the band a measurement covers; its gain at most this far above or
// below its gain at 1 kHz.
constexpr double kEqSmoothingOctaves = 1.0 / 3.0;
constexpr double kEqLowHz = 100.0;
constexpr double kEqHighHz = 16000.0;
constexpr double kEqMaxBoostDb = 12.0;
constexpr double kEqMaxCutDb = 15.0;

struct Kernel {
    int zeroCrossings;
    float* table; // zeroCrossings * kTableSteps + 2 values of sinc(u) w(u), u >= 0
};

double bessel_i0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 60 && term > 1e-17 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

bool kernel_init(Kernel* k, int zeroCrossings, double beta)
{
    const int n = zeroCrossings * kTableSteps + 2;
    k->zeroCrossings = zeroCrossings;
    k->table = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
    if (!k->table)
        return false;
    const double norm = 1.0 / bessel_i0(beta);
    for (int i = 0; i < n - 1; ++i) {
        const double u = static_cast<double>(i) / kTableSteps;
        const double r = u / zeroCrossings;
        const double window = r < 1.0 ? bessel_i0(beta * std::sqrt(1.0 - r * r)) * norm : 0.0;
        const double sinc = i == 0 ? 1.0 : std::sin(SFM_PI * u) / (SFM_PI * u);
        k->table[i] = static_cast<float>(sinc * window);
    }
    return true;
}

// The band-limited signal through src (len samples, zero outside) at source
// position x, lowpassed at `cutoff` times the source's Nyquist (<= 1).
double value_at(const float* src, int len, double x, double cutoff, const Kernel& k)
{
    const double reach = k.zeroCrossings / cutoff;
    const int lo = std::max(0, static_cast<int>(std::ceil(x - reach)));
    const int hi = std::min(len - 1, static_cast<int>(std::floor(x + reach)));
    double sum = 0.0;
    for (int i = lo; i <= hi; ++i) {
        const double u = std::fabs(cutoff * (x - i)) * kTableSteps;
        const int t = static_cast<int>(u);
        if (t >= k.zeroCrossings * kTableSteps)
            continue;
        const double f = u - t;
        sum += src[i] * (k.table[t] + f * (k.table[t + 1] - k.table[t]));
    }
    return cutoff * sum;
}

// Onset of one response in source samples (0 for a silent one).
double onset_of(const float* h, int len, double sampleRate, const Kernel& k)
{
    const double cutoff = std::min(kPassband, kOnsetLowpassHz / (0.5 * sampleRate));
    double peak = 0.0;
    for (int i = 0; i < len; ++i)
        peak = std::max(peak, std::fabs(value_at(h, len, i, cutoff, k)));
    if (!(peak > 0.0))
        return 0.0;
    const double threshold = kOnsetThreshold * peak;
    int first = 0;
    while (first < len && std::fabs(value_at(h, len, first, cutoff, k)) < threshold)
        ++first;
    // Refine between the sample before and the first one above.
    double prevX = first - 1.0;
    double prev = std::fabs(value_at(h, len, prevX, cutoff, k));
    for (int s = 1; s <= kOnsetSubSteps; ++s) {
        const double x = first - 1.0 + static_cast<double>(s) / kOnsetSubSteps;
        const double v = std::fabs(value_at(h, len, x, cutoff, k));
        if (v >= threshold)
            return std::max(0.0, prevX + (x - prevX) * (threshold - prev) / std::max(v - prev, 1e-30));
        prevX = x;
        prev = v;
    }
    return std::max(0.0, static_cast<double>(first));
}

bool finite_all(const float* x, long n)
{
    for (long i = 0; i < n; ++i)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

bool ring_valid(const sfm_hrir_ring* r)
{
    if (!r || !r->azimuth || !r->left || !r->right)
        return false;
    if (!(r->sampleRate >= 1000.0f && r->sampleRate <= 1e6f))
        return false;
    if (r->length < 1 || r->length > SFM_HRIR_MAX_TAPS || r->numDirections < 1
        || r->numDirections > SFM_HRIR_MAX_DIRECTIONS)
        return false;
    for (int j = 0; j < r->numDirections; ++j) {
        const float a = r->azimuth[j];
        if (!(a > -180.0f && a <= 180.0f) || (j > 0 && !(a > r->azimuth[j - 1])))
            return false;
        for (const float* d : {r->delayLeft, r->delayRight})
            if (d && !(d[j] >= 0.0f && d[j] <= 0.1f * r->sampleRate))
                return false;
    }
    const long taps = static_cast<long>(r->length) * r->numDirections;
    return finite_all(r->left, taps) && finite_all(r->right, taps);
}

// Power of the aligned frontal responses, both ears, over the level band.
double frontal_power(const sfm_hrtf* h)
{
    int j0 = 0, j1 = 0;
    float w = 0.0f;
    sfm_hrtf_direction(h, 0.0f, &j0, &j1, &w);
    double sum = 0.0;
    for (int p = 0; p < kLevelPoints; ++p) {
        const double f = kLevelLowHz * std::pow(kLevelHighHz / kLevelLowHz, p / (kLevelPoints - 1.0));
        const double step = -2.0 * SFM_PI * f / h->sampleRate;
        for (const float* taps : {h->left, h->right}) {
            const float* a = taps + static_cast<long>(j0) * h->length;
            const float* b = taps + static_cast<long>(j1) * h->length;
            double re = 0.0, im = 0.0;
            for (int n = 0; n < h->length; ++n) {
                const double v = (1.0 - w) * a[n] + w * b[n];
                re += v * std::cos(step * n);
                im += v * std::sin(step * n);
            }
            sum += re * re + im * im;
        }
    }
    return sum / (2.0 * kLevelPoints);
}

// Filters every response of the set through the minimum-phase inverse of its
// smoothed diffuse-field power spectrum (see the list above). False when out
// of memory; the set is then unchanged.
bool equalise_diffuse_field(sfm_hrtf* h)
{
    const int taps = h->length, dirs = h->numDirections;
    int n = 4;
    while (n < 2 * taps || n < 4096)
        n *= 2;
    const int bins = n / 2 + 1;
    sfm_fft fft{};
    float* work = static_cast<float*>(calloc(static_cast<size_t>(n) + 6 * static_cast<size_t>(bins), sizeof(float)));
    double* power = static_cast<double*>(calloc(static_cast<size_t>(bins) * 2, sizeof(double)));
    if (!work || !power || sfm_fft_init(&fft, n) != 0) {
        free(work);
        free(power);
        return false;
    }
    float* x = work;
    float* re = x + n;
    float* im = re + bins;
    float* eqRe = im + bins;
    float* eqIm = eqRe + bins;
    float* logGain = eqIm + bins;
    double* smooth = power + bins;

    // The average power spectrum of every response.
    for (int j = 0; j < dirs; ++j)
        for (const float* taps0 : {h->left, h->right}) {
            std::memset(x, 0, sizeof(float) * n);
            std::memcpy(x, taps0 + static_cast<size_t>(j) * taps, sizeof(float) * taps);
            sfm_fft_forward(&fft, x, re, im);
            for (int k = 0; k < bins; ++k)
                power[k] += static_cast<double>(re[k]) * re[k] + static_cast<double>(im[k]) * im[k];
        }

    // Third-octave smoothing, held flat outside the measured band; the
    // inverse's level in dB, bounded around its 1 kHz value.
    const double hzPerBin = h->sampleRate / n;
    const double half = std::pow(2.0, kEqSmoothingOctaves / 2.0);
    const double top = std::min(kEqHighHz, 0.45 * h->sampleRate);
    for (int k = 0; k < bins; ++k) {
        const double f = std::min(std::max(k * hzPerBin, kEqLowHz), top);
        const int lo = std::max(0, static_cast<int>(std::floor(f / half / hzPerBin)));
        const int hi = std::min(bins - 1, static_cast<int>(std::ceil(f * half / hzPerBin)));
        double sum = 0.0;
        for (int i = lo; i <= hi; ++i)
            sum += power[i];
        smooth[k] = sum / (hi - lo + 1);
    }
    const int kRef = std::min(bins - 1, static_cast<int>(std::lround(1000.0 / hzPerBin)));
    const double refDb = -10.0 * std::log10(smooth[kRef] + 1e-30);
    for (int k = 0; k < bins; ++k) {
        const double db = -10.0 * std::log10(smooth[k] + 1e-30);
        logGain[k] = static_cast<float>(
            std::min(std::max(db, refDb - kEqMaxCutDb), refDb + kEqMaxBoostDb) * (std::log(10.0) / 20.0));
    }

    // Minimum phase through the real cepstrum: the log magnitude's cepstrum,
    // its anticausal half folded onto the causal one, exponentiated.
    std::memset(im, 0, sizeof(float) * bins);
    sfm_fft_inverse(&fft, logGain, im, x); // x: the cepstrum times n (the inverse is unscaled)
    for (int i = 1; i < n / 2; ++i)
        x[i] *= 2.0f;
    for (int i = n / 2 + 1; i < n; ++i)
        x[i] = 0.0f;
    sfm_fft_forward(&fft, x, re, im); // the minimum-phase log spectrum (the forward divides by n)
    for (int k = 0; k < bins; ++k) {
        const double mag = std::exp(static_cast<double>(re[k])), phase = im[k];
        eqRe[k] = static_cast<float>(mag * std::cos(phase));
        eqIm[k] = static_cast<float>(mag * std::sin(phase));
    }

    // The equaliser's impulse response, kept with the set.
    sfm_fft_inverse(&fft, eqRe, eqIm, x);
    h->equaliser = static_cast<float*>(malloc(sizeof(float) * taps));
    if (!h->equaliser) {
        sfm_fft_free(&fft);
        free(work);
        free(power);
        return false;
    }
    for (int i = 0; i < taps; ++i)
        h->equaliser[i] = x[i] / n; // the forward transform divides by n, the inverse does not
    h->equaliserLength = taps;

    // Every response through the equaliser, cut back to its length with a
    // short fade (the equaliser's own tail is far shorter than the response).
    const int fade = std::max(1, taps / 16);
    for (int j = 0; j < dirs; ++j)
        for (float* taps0 : {h->left, h->right}) {
            float* t = taps0 + static_cast<size_t>(j) * taps;
            std::memset(x, 0, sizeof(float) * n);
            std::memcpy(x, t, sizeof(float) * taps);
            sfm_fft_forward(&fft, x, re, im);
            for (int k = 0; k < bins; ++k) {
                const float r = re[k] * eqRe[k] - im[k] * eqIm[k];
                im[k] = re[k] * eqIm[k] + im[k] * eqRe[k];
                re[k] = r;
            }
            sfm_fft_inverse(&fft, re, im, x);
            for (int i = 0; i < taps; ++i)
                t[i] = x[i] * (i < taps - fade ? 1.0f : 0.5f * (1.0f + std::cos(static_cast<float>(SFM_PI) * (i - (taps - fade) + 1) / fade)));
        }
    sfm_fft_free(&fft);
    free(work);
    free(power);
    return true;
}

} // namespace

void sfm_hrtf_direction(const sfm_hrtf* h, float azimuthDeg, int* j0, int* j1, float* weight)
{
    const int d = h->numDirections;
    const float first = h->azimuth[0];
    float a = std::fmod(azimuthDeg - first, 360.0f);
    if (!(a >= 0.0f))
        a = std::isfinite(a) ? a + 360.0f : 0.0f;
    a += first; // now in [first, first + 360)
    int lo = 0, hi = d; // the last direction at or below a
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        if (h->azimuth[mid] <= a)
            lo = mid;
        else
            hi = mid;
    }
    const int next = (lo + 1) % d;
    const float span = next == 0 ? first + 360.0f - h->azimuth[lo] : h->azimuth[next] - h->azimuth[lo];
    *j0 = lo;
    *j1 = next;
    *weight = span > 0.0f ? std::min(1.0f, std::max(0.0f, (a - h->azimuth[lo]) / span)) : 0.0f;
}

int sfm_hrtf_prepare(sfm_hrtf* hrtf, const sfm_hrir_ring* ring, float sampleRate)
{
    std::memset(hrtf, 0, sizeof(*hrtf));
    if (!(sampleRate >= SFM_MIN_SAMPLE_RATE && sampleRate <= SFM_MAX_SAMPLE_RATE))
        return SFM_ERR_SAMPLE_RATE;
    if (!ring_valid(ring))
        return SFM_ERR_SETUP;

    const double fs0 = ring->sampleRate, ratio = sampleRate / fs0;
    const double cutoff = kPassband * std::min(1.0, ratio);
    const int dirs = ring->numDirections, len = ring->length;
    const int margin = static_cast<int>(std::ceil(kMarginSeconds * sampleRate));
    const double reach = kZeroCrossings / cutoff;
    const int taps = static_cast<int>(std::ceil((len + reach) * ratio)) + margin;

    Kernel conv{}, onset{};
    const size_t floats = static_cast<size_t>(dirs) * (3 + 2 * static_cast<size_t>(taps));
    float* block = static_cast<float*>(calloc(floats, sizeof(float)));
    if (!block || !kernel_init(&conv, kZeroCrossings, kKaiserBeta)
        || !kernel_init(&onset, kOnsetZeroCrossings, kOnsetKaiserBeta)) {
        free(block);
        free(conv.table);
        free(onset.table);
        return SFM_ERR_MEMORY;
    }
    hrtf->sampleRate = sampleRate;
    hrtf->length = taps;
    hrtf->numDirections = dirs;
    hrtf->margin = margin;
    hrtf->azimuth = block;
    hrtf->left = block + dirs;
    hrtf->right = hrtf->left + static_cast<size_t>(dirs) * taps;
    hrtf->onsetLeft = hrtf->right + static_cast<size_t>(dirs) * taps;
    hrtf->onsetRight = hrtf->onsetLeft + dirs;
    std::snprintf(hrtf->name, sizeof(hrtf->name), "%s", ring->name ? ring->name : "");

    // Aligned responses: the source time of tap n is onset + (n - margin) / ratio.
    // The converter keeps the response's frequency response: taps scale by fs0/fs.
    for (int j = 0; j < dirs; ++j) {
        hrtf->azimuth[j] = ring->azimuth[j];
        for (int ear = 0; ear < 2; ++ear) {
            const float* src = (ear ? ring->right : ring->left) + static_cast<size_t>(j) * len;
            const float* stored = ear ? ring->delayRight : ring->delayLeft;
            float* dst = (ear ? hrtf->right : hrtf->left) + static_cast<size_t>(j) * taps;
            const double t0 = onset_of(src, len, fs0, onset);
            for (int n = 0; n < taps; ++n)
                dst[n] = static_cast<float>(value_at(src, len, t0 + (n - margin) / ratio, cutoff, conv) / ratio);
            const double delay = (t0 + (stored ? stored[j] : 0.0)) * ratio - margin;
            (ear ? hrtf->onsetRight : hrtf->onsetLeft)[j] = static_cast<float>(delay);
        }
    }
    free(conv.table);
    free(onset.table);

    // A response that starts within `margin` of the set's beginning gets a
    // negative delay: the renderer drops as many of its first taps, which
    // lie before the file's first sample (nothing there but the converter's
    // ringing). The set keeps its own onsets, with nothing added.
    double longest = 0.0;
    for (int j = 0; j < dirs; ++j)
        longest = std::max({longest, static_cast<double>(hrtf->onsetLeft[j]), static_cast<double>(hrtf->onsetRight[j])});
    hrtf->filterLength = taps + static_cast<int>(std::ceil(longest)) + 1;

    if (!equalise_diffuse_field(hrtf)) {
        sfm_hrtf_free(hrtf);
        return SFM_ERR_MEMORY;
    }
    const double power = frontal_power(hrtf);
    if (!(power > 1e-20) || !std::isfinite(power)) {
        sfm_hrtf_free(hrtf);
        return SFM_ERR_SETUP;
    }
    const float gain = static_cast<float>(1.0 / std::sqrt(power));
    for (size_t i = 0; i < 2 * static_cast<size_t>(dirs) * taps; ++i)
        hrtf->left[i] *= gain;
    for (int i = 0; i < hrtf->equaliserLength; ++i)
        hrtf->equaliser[i] *= gain;
    return 0;
}

void sfm_hrtf_free(sfm_hrtf* hrtf)
{
    if (!hrtf)
        return;
    free(hrtf->azimuth);
    free(hrtf->equaliser);
    std::memset(hrtf, 0, sizeof(*hrtf));
}

void sfm_hrir_file_free(sfm_hrir_file* file)
{
    if (!file)
        return;
    free(file->storage);
    std::memset(file, 0, sizeof(*file));
}
