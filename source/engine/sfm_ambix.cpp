// The capsules to first-order Ambisonics (AmbiX), hop by hop:
//
//   input stage -> capsule conversion -> STFT analysis -> figure-of-eight
//   bass gains (all shared with sfm_process) -> W, Y, X spectra, the field
//   turned by -direction -> overlap-add synthesis of each -> output hop.
#include "sfm_ambix.h"

#include "sfm_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// S1 and S2 carry sqrt(2) times the unit gradients (sfm_process.cpp): the
// first-order components X and Y are them over sqrt(2).
constexpr float kGradientToFirstOrder = 0.70710677f;

// The three synthesised components and where each goes; Z has no capsule.
constexpr int kSynthesised = 3;
constexpr int kSynthChannel[kSynthesised] = {SFM_AMBIX_W, SFM_AMBIX_Y, SFM_AMBIX_X};

bool is_pow2(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// The setups the shared stages can work with (those sfm_create accepts).
int validate(const sfm_setup& s)
{
    if (!(s.sampleRate >= SFM_MIN_SAMPLE_RATE && s.sampleRate <= SFM_MAX_SAMPLE_RATE))
        return SFM_ERR_SAMPLE_RATE;
    if (s.hopSize <= 0 || s.windowSize < s.hopSize || s.windowSize % s.hopSize != 0 || (s.windowSize & 1) != 0)
        return SFM_ERR_SETUP;
    if (!is_pow2(s.fftSize) || s.fftSize < 4 || s.fftSize < s.windowSize)
        return SFM_ERR_SETUP;
    // Integer output would need the decoder's conversion: float only.
    if (!(s.outputFormat & SFM_FORMAT_FLOAT32) && (s.outputFormat & (SFM_FORMAT_INT16 | SFM_FORMAT_INT32)))
        return SFM_ERR_SETUP;
    return 0;
}

// As the decoder derives them; the output history holds one window and no
// more, the rotation needing no delay line.
void derive_sizes(sfm_setup& s)
{
    s.numInputs = 3;
    s.numOutputs = SFM_AMBIX_CHANNELS;
    s.numBins = s.fftSize / 2 + 1;
    s.zeroPad = (s.fftSize - s.windowSize) / 2;
    s.overlapSize = s.windowSize - s.hopSize;
    s.historySizeIn = (s.windowSize / s.hopSize - 1) * s.hopSize;
    s.historySizeOut = s.overlapSize;
}

// Every array of the instance with its length in floats.
struct Array {
    float** p;
    size_t n;
};

int arrays(sfm_ambix* a, Array* out)
{
    const sfm_setup& s = a->st.setup;
    const size_t bins = static_cast<size_t>(s.numBins);
    const size_t history = static_cast<size_t>(s.overlapSize + s.hopSize);
    int k = 0;
    out[k++] = {&a->st.window, static_cast<size_t>(s.windowSize)};
    out[k++] = {&a->buf.scratch, static_cast<size_t>(s.fftSize)};
    out[k++] = {&a->buf.outRe, bins};
    out[k++] = {&a->buf.outIm, bins};
    for (int c = 0; c < 3; ++c) {
        out[k++] = {&a->buf.historyIn[c], history};
        out[k++] = {&a->buf.specRe[c], bins};
        out[k++] = {&a->buf.specIm[c], bins};
        out[k++] = {&a->buf.historyOut[c], static_cast<size_t>(s.historySizeOut + s.hopSize)};
    }
    return k;
}

constexpr int kMaxArrays = 16;

// The decoder's analysis and synthesis window (sfm_setup.cpp): a sine whose
// square overlap-adds to 1; the engine test compares the two paths sample
// by sample, so the windows cannot drift apart unnoticed.
void design_window(sfm_state* st)
{
    const sfm_setup& s = st->setup;
    const double scale = std::sqrt(2.0 * s.hopSize / s.windowSize);
    for (int i = 0; i < s.windowSize; ++i)
        st->window[i] = static_cast<float>(std::sin(SFM_PI * i / s.windowSize) * scale);
}

// out = c * a + s * b over the bins (real coefficients on complex spectra).
void combine(const float* ar, const float* ai, const float* br, const float* bi, float ca, float cb, int bins,
             float* __restrict outRe, float* __restrict outIm)
{
    for (int k = 0; k < bins; ++k) {
        outRe[k] = ca * ar[k] + cb * br[k];
        outIm[k] = ca * ai[k] + cb * bi[k];
    }
}

// W, Y, X of the hop into the output histories 0, 1, 2.
void synthesise_components(sfm_ambix* a)
{
    sfm_state* st = &a->st;
    sfm_buffers* buf = &a->buf;
    const int bins = st->setup.numBins;
    const float g = kGradientToFirstOrder, c = a->rotCos, s = a->rotSin;
    const float *s0r = buf->specRe[0], *s0i = buf->specIm[0];
    const float *s1r = buf->specRe[1], *s1i = buf->specIm[1];
    const float *s2r = buf->specRe[2], *s2i = buf->specIm[2];
    std::memcpy(buf->outRe, s0r, sizeof(float) * bins);
    std::memcpy(buf->outIm, s0i, sizeof(float) * bins);
    sfm_synthesis(st, buf, 0);
    combine(s2r, s2i, s1r, s1i, g * c, -g * s, bins, buf->outRe, buf->outIm); // Y' = c Y - s X
    sfm_synthesis(st, buf, 1);
    combine(s1r, s1i, s2r, s2i, g * c, g * s, bins, buf->outRe, buf->outIm); // X' = c X + s Y
    sfm_synthesis(st, buf, 2);
}

// Reads the completed hop of each component (non-numbers as 0), writes Z's
// silence and shifts the histories by one hop.
void output_stage(sfm_ambix* a, void* outputs)
{
    const sfm_setup& s = a->st.setup;
    const int hop = s.hopSize;
    const bool separate = (s.outputFormat & SFM_FORMAT_SEPARATE) != 0;
    const int stride = separate ? 1 : SFM_AMBIX_CHANNELS;
    const int base = s.historySizeOut - s.historySizeIn;
    for (int j = 0; j < SFM_AMBIX_CHANNELS && outputs; ++j) {
        float* dst = separate ? static_cast<float* const*>(outputs)[j] : static_cast<float*>(outputs) + j;
        if (!dst)
            continue;
        int c = -1;
        for (int k = 0; k < kSynthesised; ++k)
            if (kSynthChannel[k] == j)
                c = k;
        const float* h = c >= 0 ? a->buf.historyOut[c] + base : nullptr;
        for (int n = 0; n < hop; ++n) {
            const float v = h ? h[n] : 0.0f;
            dst[n * stride] = std::isfinite(v) ? v : 0.0f;
        }
    }
    const size_t keep = static_cast<size_t>(s.historySizeOut);
    for (int c = 0; c < kSynthesised; ++c) {
        float* h = a->buf.historyOut[c];
        std::memmove(h, h + hop, keep * sizeof(float));
        std::memset(h + keep, 0, static_cast<size_t>(hop) * sizeof(float));
    }
}

// Zeros on every output channel of a record that cannot process, in the
// sample size of the output format it was given.
void write_silence(const sfm_ambix* a, void* outputs)
{
    const sfm_setup& s = a->st.setup;
    if (!outputs || s.hopSize <= 0)
        return;
    const bool shortSamples = (s.outputFormat & SFM_FORMAT_INT16) && !(s.outputFormat & SFM_FORMAT_FLOAT32);
    const size_t bytes = (shortSamples ? sizeof(int16_t) : sizeof(float)) * static_cast<size_t>(s.hopSize);
    if (s.outputFormat & SFM_FORMAT_SEPARATE) {
        void* const* ptrs = static_cast<void* const*>(outputs);
        for (int j = 0; j < SFM_AMBIX_CHANNELS; ++j)
            if (ptrs[j])
                std::memset(ptrs[j], 0, bytes);
    } else {
        std::memset(outputs, 0, bytes * SFM_AMBIX_CHANNELS);
    }
}

} // namespace

int sfm_ambix_create(sfm_ambix* a, sfm_setup* setup)
{
    if (!a || !setup)
        return SFM_ERR_SETUP;
    std::memset(a, 0, sizeof(*a));
    a->rotCos = 1.0f;
    // Kept even when refused: process then writes a hop of silence.
    a->st.setup = *setup;
    const int rc = validate(*setup);
    if (rc != 0)
        return rc;
    derive_sizes(a->st.setup);
    Array list[kMaxArrays];
    const int count = arrays(a, list);
    for (int i = 0; i < count; ++i) {
        *list[i].p = static_cast<float*>(std::calloc(list[i].n > 0 ? list[i].n : 1, sizeof(float)));
        if (!*list[i].p) {
            sfm_ambix_free(a);
            return SFM_ERR_MEMORY;
        }
    }
    if (sfm_fft_init(&a->st.fft, a->st.setup.fftSize) != 0) {
        sfm_ambix_free(a);
        return SFM_ERR_MEMORY;
    }
    design_window(&a->st);
    a->buf.allocated = 1;
    a->created = 1;
    *setup = a->st.setup;
    return 0;
}

void sfm_ambix_set_direction(sfm_ambix* a, float degrees)
{
    if (!a || !std::isfinite(degrees))
        return;
    // In float, as the decoder turns its look vectors (sfm_layout.cpp).
    const float rad = degrees * (sfm_pi_f / 180.0f);
    a->directionDeg = degrees;
    a->rotCos = std::cos(rad);
    a->rotSin = std::sin(rad);
}

void sfm_ambix_reset(sfm_ambix* a)
{
    if (!a || !a->created)
        return;
    Array list[kMaxArrays];
    const int count = arrays(a, list);
    for (int i = 0; i < count; ++i)
        if (*list[i].p != a->st.window)
            std::memset(*list[i].p, 0, list[i].n * sizeof(float));
}

void sfm_ambix_process(sfm_ambix* a, const void* inputs, void* outputs)
{
    if (!a)
        return;
    if (!a->created) {
        write_silence(a, outputs);
        return;
    }
    sfm_denormal_guard denormals;
    sfm_input_stage(&a->st, &a->buf, inputs, nullptr);
    sfm_capsule_conversion(&a->st, &a->buf);
    sfm_analysis(&a->st, &a->buf);
    sfm_figure_of_eight_gains(&a->st, &a->buf);
    synthesise_components(a);
    output_stage(a, outputs);
}

int sfm_ambix_latency(const sfm_ambix* a)
{
    return a && a->created ? a->st.setup.windowSize - a->st.setup.hopSize : 0;
}

void sfm_ambix_free(sfm_ambix* a)
{
    if (!a)
        return;
    Array list[kMaxArrays];
    const int count = arrays(a, list);
    for (int i = 0; i < count; ++i) {
        std::free(*list[i].p);
        *list[i].p = nullptr;
    }
    sfm_fft_free(&a->st.fft);
    std::memset(a, 0, sizeof(*a));
    a->rotCos = 1.0f;
}
