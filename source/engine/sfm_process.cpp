// One hop of the decoder, from capsule samples to loudspeaker samples.
//
//   input stage -> input meters -> capsule conversion (pressure S0 and the two
//   horizontal gradients S1, S2) -> STFT analysis -> figure-of-eight bass gains
//   -> inter-hop coherence of S0 -> band cross-spectral matrix of S0..S2 ->
//   per decoded channel: beams A+, M, A- (as weights on S0..S2, their band
//   statistics from the matrix), gain stage (sfm_gain.cpp), expansion of the
//   band gains over the bins, overlap-add synthesis, diffuser
//   (sfm_diffuser.cpp) -> LFE, output meters and the output stage with the
//   surround delays (sfm_surround.cpp).
//
// Real-time safe: no allocation, no locks, no I/O; denormals are flushed for
// the duration of the call.
#include "sfm_internal.h"

#include <cmath>
#include <cstring>

// The bin loops run twice as wide on machines with AVX2.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define ORVO_HOP_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ORVO_HOP_CLONES
#endif

namespace {

constexpr float kCardioidGradient = 0.35355338f;  // 0.5 / sqrt(2): S1, S2 carry sqrt(2) cos, sqrt(2) sin
constexpr float kFirstOrderGradient = 0.70710677f; // 1 / sqrt(2), for r + (1 - r) cos
constexpr float kGradientScale = 1.4142135f;       // front minus rear cardioid (cos) -> sqrt(2) cos
// The figure-of-eight capsule to sqrt(2) sin: 1.8385 = 1.3 sqrt(2). The
// factor 1.3 (+2.3 dB) matches the figure-of-eight's output to the
// front-minus-rear difference of the two cardioids for the same sound: the
// array's calibration, empirical (the test scenes model the capsule so).
constexpr float kFigureOfEightScale = 1.8385f;
constexpr float kInputLimit = 1000.0f;            // +60 dBFS: beyond any real signal
constexpr float kEps = 1e-20f;

enum class Sample { Int16, Int32, Float };

Sample sample_type(int format)
{
    if (format & SFM_FORMAT_FLOAT32)
        return Sample::Float;
    if (format & SFM_FORMAT_INT32)
        return Sample::Int32;
    if (format & SFM_FORMAT_INT16)
        return Sample::Int16;
    return Sample::Float;
}

// Hop of channel `ch` converted to float into dst.
void read_channel(const void* data, int format, int channels, int ch, int hop, float* __restrict dst)
{
    const bool separate = (format & SFM_FORMAT_SEPARATE) != 0;
    const void* base = separate ? static_cast<const void* const*>(data)[ch] : data;
    if (!base) {
        std::memset(dst, 0, sizeof(float) * hop);
        return;
    }
    const int stride = separate ? 1 : channels, first = separate ? 0 : ch;
    switch (sample_type(format)) {
    case Sample::Int16: {
        const int16_t* x = static_cast<const int16_t*>(base) + first;
        for (int n = 0; n < hop; ++n)
            dst[n] = x[n * stride] * (1.0f / 32768.0f);
        break;
    }
    case Sample::Int32: {
        const int32_t* x = static_cast<const int32_t*>(base) + first;
        for (int n = 0; n < hop; ++n)
            dst[n] = static_cast<float>(x[n * stride] * (1.0 / 2147483648.0));
        break;
    }
    case Sample::Float:
    default: {
        const float* x = static_cast<const float*>(base) + first;
        for (int n = 0; n < hop; ++n)
            dst[n] = x[n * stride];
        break;
    }
    }
}

// NaN becomes 0, anything beyond +-kInputLimit (infinities too) is clipped
// there; returns the peak magnitude.
float sanitise(float* x, int n)
{
    // One vectorisable pass for the usual case. For non-negative floats the
    // bit patterns order like the values, and NaN patterns lie above +inf: the
    // largest |x| pattern tells both the peak and whether anything is bad.
    uint32_t top = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t u;
        std::memcpy(&u, &x[i], sizeof(u));
        u &= 0x7fffffffu;
        top = u > top ? u : top;
    }
    uint32_t limitBits;
    std::memcpy(&limitBits, &kInputLimit, sizeof(limitBits));
    if (top <= limitBits) {
        float peak;
        std::memcpy(&peak, &top, sizeof(peak));
        return peak;
    }
    float peak = 0.0f;
    for (int i = 0; i < n; ++i) {
        float v = x[i];
        if (v != v)
            v = 0.0f;
        v = v > kInputLimit ? kInputLimit : (v < -kInputLimit ? -kInputLimit : v);
        x[i] = v;
        peak = std::fabs(v) > peak ? std::fabs(v) : peak;
    }
    return peak;
}

// Zeros in the caller's output format.
void write_silence(const sfm_state* st, void* outputs)
{
    const int hop = st->setup.hopSize, channels = st->setup.numOutputs, format = st->setup.outputFormat;
    if (!outputs || hop <= 0 || channels <= 0 || channels > SFM_MAX_CHANNELS)
        return;
    const Sample t = sample_type(format);
    const size_t bytes = t == Sample::Int16 ? sizeof(int16_t) : (t == Sample::Int32 ? sizeof(int32_t) : sizeof(float));
    if (format & SFM_FORMAT_SEPARATE) {
        void* const* ptrs = static_cast<void* const*>(outputs);
        for (int c = 0; c < channels; ++c)
            if (ptrs[c])
                std::memset(ptrs[c], 0, bytes * hop);
    } else {
        std::memset(outputs, 0, bytes * hop * channels);
    }
}

bool ready(const sfm_state* st, const sfm_buffers* buf)
{
    if (st->fatal || !buf->allocated || st->setup.hopSize <= 0 || st->numBands <= 0)
        return false;
    if (st->setup.numInputs < 3 || st->setup.numInputs > SFM_MAX_INPUTS)
        return false;
    for (int ch = 0; ch < 3; ++ch)
        if (!buf->historyIn[ch] || !buf->specRe[ch] || !buf->specIm[ch])
            return false;
    return true;
}

} // namespace

// Shift the analysis histories and append the new hop.
void sfm_input_stage(sfm_state* st, sfm_buffers* buf, const void* inputs, sfm_meters* meters)
{
    const int hop = st->setup.hopSize, overlap = st->setup.overlapSize;
    const int channels = st->setup.numInputs, format = st->setup.inputFormat;
    for (int ch = 0; ch < channels; ++ch) {
        float* h = buf->historyIn[ch];
        if (!h)
            continue;
        std::memmove(h, h + hop, sizeof(float) * overlap);
        float* dst = h + overlap;
        if (inputs)
            read_channel(inputs, format, channels, ch, hop, dst);
        else
            std::memset(dst, 0, sizeof(float) * hop);
        const float peak = sanitise(dst, hop);
        if (meters)
            meters->input[ch] = peak;
    }
    if (meters)
        for (int ch = channels; ch < SFM_MAX_INPUTS; ++ch)
            meters->input[ch] = 0.0f;
}

// Front cardioid, figure-of-eight, rear cardioid -> S0, S1, S2, in place.
void sfm_capsule_conversion(sfm_state* st, sfm_buffers* buf)
{
    const int hop = st->setup.hopSize, overlap = st->setup.overlapSize;
    float* s0 = buf->historyIn[0] + overlap; // front cardioid in, pressure out
    float* s1 = buf->historyIn[1] + overlap; // figure-of-eight in, front-back gradient out
    float* s2 = buf->historyIn[2] + overlap; // rear cardioid in, left-right gradient out
    for (int n = 0; n < hop; ++n) {
        const float front = s0[n], eight = s1[n], rear = s2[n];
        s0[n] = front + rear;
        s1[n] = kGradientScale * (front - rear);
        s2[n] = kFigureOfEightScale * eight;
    }
}

namespace {

// Windowed forward transform of each signal's analysis history.
ORVO_HOP_CLONES
void analysis(sfm_state* st, sfm_buffers* buf)
{
    const int N = st->setup.fftSize, win = st->setup.windowSize, pad = st->setup.zeroPad;
    float* x = buf->scratch;
    for (int ch = 0; ch < 3; ++ch) {
        const float* h = buf->historyIn[ch];
        std::memset(x, 0, sizeof(float) * N);
        for (int n = 0; n < win; ++n)
            x[pad + n] = st->window[n] * h[n];
        sfm_fft_forward(&st->fft, x, buf->specRe[ch], buf->specIm[ch]);
    }
}

} // namespace

// The cloned stages stay internal (the clones' resolvers of an external
// function would be exported from the module): the shared entry points call
// them.
void sfm_analysis(sfm_state* st, sfm_buffers* buf)
{
    analysis(st, buf);
}

// The figure-of-eight's bass roll-off.
void sfm_figure_of_eight_gains(sfm_state* st, sfm_buffers* buf)
{
    const int n = st->setup.numBins < SFM_CAPSULE_GAIN_BINS ? st->setup.numBins : SFM_CAPSULE_GAIN_BINS;
    for (int k = 0; k < n; ++k) {
        buf->specRe[2][k] *= sfm_capsule_gains[k];
        buf->specIm[2][k] *= sfm_capsule_gains[k];
    }
}

namespace {

// How similar S0 is from hop to hop, per band (stationary sound -> 1).
ORVO_HOP_CLONES
void hop_coherence(sfm_state* st, sfm_buffers* buf)
{
    const float alpha = st->setup.hopSize / (sfm_smoothing_fast_ms * st->setup.sampleRate * 0.001f);
    const float *re = buf->specRe[0], *im = buf->specIm[0];
    const float *pr = buf->prevS0Re, *pi = buf->prevS0Im;
    float *cr = buf->hopCrossRe, *ci = buf->hopCrossIm;
    for (int b = 0; b < st->numBands; ++b) {
        const int first = st->bandFirstBin[b], last = first + st->bandNumBins[b];
        float pcur = 0.0f, pprev = 0.0f, mag = 0.0f;
        for (int k = first; k < last; ++k) {
            // Bins shared by two bands are smoothed once for each band.
            float xr = re[k] * pr[k] + im[k] * pi[k];
            float xi = im[k] * pr[k] - re[k] * pi[k];
            cr[k] += alpha * (xr - cr[k]);
            ci[k] += alpha * (xi - ci[k]);
            mag += std::sqrt(cr[k] * cr[k] + ci[k] * ci[k]);
            pcur += re[k] * re[k] + im[k] * im[k];
            pprev += pr[k] * pr[k] + pi[k] * pi[k];
        }
        buf->hopPowCur[b] += alpha * (pcur - buf->hopPowCur[b]);
        buf->hopPowPrev[b] += alpha * (pprev - buf->hopPowPrev[b]);
        buf->hopCoherence[b] = (mag + kEps) / (std::fmax(buf->hopPowCur[b], buf->hopPowPrev[b]) + kEps);
    }
    std::memcpy(buf->prevS0Re, re, sizeof(float) * st->setup.numBins);
    std::memcpy(buf->prevS0Im, im, sizeof(float) * st->setup.numBins);
}

// The band cross-spectral matrix of S0, S1, S2 (sfm_internal.h).
ORVO_HOP_CLONES
void band_covariance(const sfm_state* st, const sfm_buffers* buf, sfm_band_cov* cov)
{
    const float* __restrict ar = buf->specRe[0];
    const float* __restrict ai = buf->specIm[0];
    const float* __restrict br = buf->specRe[1];
    const float* __restrict bi = buf->specIm[1];
    const float* __restrict cr = buf->specRe[2];
    const float* __restrict ci = buf->specIm[2];
    for (int b = 0; b < st->numBands; ++b) {
        const int first = st->bandFirstBin[b], last = first + st->bandNumBins[b];
        // Float partial sums (the file is built with reassociation, so these
        // reductions vectorise), the totals kept in double.
        float s00 = 0, s11 = 0, s22 = 0, s01 = 0, s02 = 0, s12 = 0, t01 = 0, t02 = 0, t12 = 0;
        for (int k = first; k < last; ++k) {
            s00 += ar[k] * ar[k] + ai[k] * ai[k];
            s11 += br[k] * br[k] + bi[k] * bi[k];
            s22 += cr[k] * cr[k] + ci[k] * ci[k];
            // x conj(y): real x_r y_r + x_i y_i, imaginary x_i y_r - x_r y_i
            s01 += ar[k] * br[k] + ai[k] * bi[k];
            t01 += ai[k] * br[k] - ar[k] * bi[k];
            s02 += ar[k] * cr[k] + ai[k] * ci[k];
            t02 += ai[k] * cr[k] - ar[k] * ci[k];
            s12 += br[k] * cr[k] + bi[k] * ci[k];
            t12 += bi[k] * cr[k] - br[k] * ci[k];
        }
        const double r00 = s00, r11 = s11, r22 = s22, r01 = s01, i01 = t01, r02 = s02, i02 = t02, r12 = s12,
                     i12 = t12;
        sfm_band_cov& c = cov[b];
        c.re[0] = r00;
        c.re[1] = r11;
        c.re[2] = r22;
        c.re[3] = r01;
        c.re[4] = r02;
        c.re[5] = r12;
        c.im[0] = i01;
        c.im[1] = i02;
        c.im[2] = i12;
    }
}

// Beams A+, M, A- of decoded channel i as weights on S0, S1, S2:
// o S0 + g (v . (S1, S2)), the vertical component having no capsule.
void beam_weights(const sfm_state* st, int i, float beams[3][3])
{
    auto set = [](float* w, float omni, float grad, const float* v) {
        w[0] = omni;
        w[1] = grad * v[0];
        w[2] = grad * v[1];
    };
    if (st->flags & SFM_FLAG_BEAMSHAPING_OFF) {
        // M alone: the first-order virtual microphone r + (1 - r) cos.
        const int t = st->channelType[i];
        const float r = st->micResponse[t == SFM_TYPE_FRONT ? 0 : (t == SFM_TYPE_CENTRE ? 1 : 2)];
        set(beams[1], r, (1.0f - r) * kFirstOrderGradient, st->lookVec[i]);
        beams[0][0] = beams[0][1] = beams[0][2] = 0.0f;
        beams[2][0] = beams[2][1] = beams[2][2] = 0.0f;
        return;
    }
    set(beams[0], 0.5f, kCardioidGradient, st->sidePlusVec[i]);
    set(beams[1], 0.5f, kCardioidGradient, st->lookVec[i]);
    set(beams[2], 0.5f, kCardioidGradient, st->sideMinusVec[i]);
}

// Y_k = sum over bands of weight_b(k) (w+ A+_k + G M_k + w- A-_k) for the
// per-band weight triples `weights` (stride between bands `stride`). The
// beams being fixed combinations of S0, S1, S2, each band contributes
// weight_b(k) sum_m c_m S_m,k with c = w+ a+ + G m + w- a-.
ORVO_HOP_CLONES
void expand(const sfm_state* st, sfm_buffers* buf, const float beams[3][3], const float* weights, int stride,
            float* __restrict yr, float* __restrict yi)
{
    const int bins = st->setup.numBins;
    std::memset(yr, 0, sizeof(float) * bins);
    std::memset(yi, 0, sizeof(float) * bins);
    const float* __restrict s0r = buf->specRe[0];
    const float* __restrict s0i = buf->specIm[0];
    const float* __restrict s1r = buf->specRe[1];
    const float* __restrict s1i = buf->specIm[1];
    const float* __restrict s2r = buf->specRe[2];
    const float* __restrict s2i = buf->specIm[2];
    for (int b = 0; b < st->numBands; ++b) {
        const float* w = weights + b * stride;
        float c[3];
        for (int m = 0; m < 3; ++m)
            c[m] = w[0] * beams[0][m] + w[1] * beams[1][m] + w[2] * beams[2][m];
        const float* __restrict bw = st->bandWeights + st->bandWeightOffset[b];
        const int first = st->bandFirstBin[b], count = st->bandNumBins[b];
        for (int j = 0; j < count; ++j) {
            const int k = first + j;
            const float c0 = bw[j] * c[0], c1 = bw[j] * c[1], c2 = bw[j] * c[2];
            yr[k] += c0 * s0r[k] + c1 * s1r[k] + c2 * s2r[k];
            yi[k] += c0 * s0i[k] + c1 * s1i[k] + c2 * s2i[k];
        }
    }
}

// Inverse transform, window, overlap-add into the output history.
ORVO_HOP_CLONES
void synthesis(sfm_state* st, sfm_buffers* buf, int c)
{
    const int overlap = st->setup.overlapSize, win = st->setup.windowSize, pad = st->setup.zeroPad;
    float* x = buf->scratch;
    sfm_fft_inverse(&st->fft, buf->outRe, buf->outIm, x);
    float* out = buf->historyOut[c] + st->setup.historySizeOut - overlap;
    const float* w = st->window;
    for (int n = 0; n < overlap; ++n)
        out[n] += x[pad + n] * w[n];
    for (int n = overlap; n < win; ++n)
        out[n] = x[pad + n] * w[n];
}

void decode_channel(sfm_state* st, sfm_buffers* buf, int i, const sfm_band_cov* cov)
{
    const bool shaping = !(st->flags & SFM_FLAG_BEAMSHAPING_OFF);
    const bool diffuser = shaping && (st->flags & SFM_FLAG_DIFFUSER);
    if (st->channelOn[i] * st->channelGain[i] == 0.0f && !diffuser) {
        // A muted or switched-off channel: its frame is silence (the previous
        // frame's tail still completes in the overlap region).
        const int hop = st->setup.hopSize;
        std::memset(buf->historyOut[i] + st->setup.historySizeOut, 0, sizeof(float) * hop);
        return;
    }
    float beams[3][3];
    beam_weights(st, i, beams);
    sfm_gain_stage(st, buf, i, cov, beams);
    const int nb = st->numBands;
    expand(st, buf, beams, buf->bandWeights4 + i * nb * 4, 4, buf->outRe, buf->outIm);
    synthesis(st, buf, i);
    if (diffuser && i < SFM_MAX_DECODED && buf->diffuseSynth[i] && buf->diffuseOverlap[i]) {
        expand(st, buf, beams, buf->diffuseWeights + i * nb * 3, 3, buf->outRe, buf->outIm);
        sfm_diffuser_process(st, buf, i, buf->outRe, buf->outIm);
    }
}

} // namespace

void sfm_synthesis(sfm_state* st, sfm_buffers* buf, int c)
{
    synthesis(st, buf, c);
}

void sfm_process(sfm_state* st, sfm_buffers* buf, const void* inputs, void* outputs, sfm_meters* meters)
{
    if (!st)
        return;
    if (!buf || !ready(st, buf)) {
        write_silence(st, outputs);
        if (meters)
            std::memset(meters, 0, sizeof(*meters));
        return;
    }
    sfm_denormal_guard denormals;

    sfm_input_stage(st, buf, inputs, meters);
    sfm_capsule_conversion(st, buf);
    analysis(st, buf);
    sfm_figure_of_eight_gains(st, buf);
    hop_coherence(st, buf);
    sfm_band_cov cov[SFM_MAX_BANDS];
    const bool shaping = !(st->flags & SFM_FLAG_BEAMSHAPING_OFF);
    if (shaping)
        band_covariance(st, buf, cov);

    // Decoded channels with an output history and per-channel state (a
    // parameter change cannot grow the layout beyond what sfm_create sized).
    const int capacity = buf->decodedCapacity;
    for (int i = 0; i < st->numDecoded && i < capacity && i < SFM_MAX_CHANNELS; ++i)
        if (buf->historyOut[i])
            decode_channel(st, buf, i, cov);

    const int lfe = st->numDecoded;
    if (st->numEngineOutputs == lfe + 1 && lfe < st->setup.numOutputs && buf->historyOut[lfe])
        sfm_lfe_process(st, buf);
    if (meters)
        sfm_output_meters(st, buf, meters);
    sfm_output_stage(st, buf, outputs);
    ++buf->hopCounter;
}
