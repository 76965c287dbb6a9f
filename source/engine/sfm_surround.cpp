// The surround path and the LFE channel: rear delays with a click-free
// change-over, the rear lowpass band gains, the LFE low-pass, the output
// meters and the output stage that reads one hop per output channel from the
// output histories and converts it to the caller's sample format.
#include "sfm_internal.h"

#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Crossfade weight per sample: h <- 0.999 h + (1 - 0.999) approaches 1 with a
// time constant of 1000 samples; 0.01 -> 0.96 takes about 3200 samples.
const float kFadeDecay = 0.999f;
const float kFadeStep = 0.0009999871f;
const float kFadeStart = 0.01f;
const float kFadeDone = 0.96f;

// Rear lowpass: the slope above the corner, and the corner used for a
// non-number (sfm_params_default's).
const double kRearLowpassDbPerOctave = 6.0;
const float kDefaultRearLowpassHz = 12000.0f;

// Read position (delay) clamped to what the history holds.
int clamp_delay(float d, int maxDelay)
{
    if (!(d >= 0.0f))
        return 0;
    return d >= static_cast<float>(maxDelay) ? maxDelay : static_cast<int>(d);
}

// Peak magnitude; a NaN never raises the peak. The compiler will not
// vectorise a NaN-aware max reduction by itself, so it is spelled out: MAXPS
// returns its second operand when the first is NaN.
float peak_of(const float* x, int n)
{
    int i = 0;
    float p = 0.0f;
#if defined(__SSE2__)
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 p0 = _mm_setzero_ps(), p1 = _mm_setzero_ps();
    for (; i + 8 <= n; i += 8) {
        p0 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(x + i), absMask), p0);
        p1 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(x + i + 4), absMask), p1);
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, _mm_max_ps(p0, p1));
    for (float v : lanes)
        p = v > p ? v : p;
#endif
    for (; i < n; ++i) {
        const float a = std::fabs(x[i]);
        p = a > p ? a : p;
    }
    return p;
}

// Float output of a channel with no delay change under way: a copy in which
// a non-finite sample becomes 0 (x - x is 0 only for finite x).
void copy_finite(const float* x, float* o, int n)
{
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(x + i);
        const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(v, v), _mm_setzero_ps());
        _mm_storeu_ps(o + i, _mm_and_ps(v, finite));
    }
#endif
    for (; i < n; ++i)
        o[i] = std::isfinite(x[i]) ? x[i] : 0.0f;
}

// Integer conversion: scale, round half up, clip to the integer's range.
template <typename T>
T to_int(float x, double scale, double lo, double hi)
{
    const double v = std::floor(static_cast<double>(x) * scale + 0.5);
    if (std::isnan(v))
        return 0;
    return static_cast<T>(v < lo ? lo : (v > hi ? hi : v));
}

} // namespace

uint32_t sfm_surround_set_params(sfm_state* st, sfm_buffers* buf, const sfm_params* params)
{
    if (!buf || !buf->allocated)
        return 0;
    const sfm_setup& s = st->setup;
    const bool delayOn = (params->flags & SFM_FLAG_REAR_DELAY) != 0;
    float ms = params->rearDelay;
    if (!(ms >= 0.0f))
        ms = 0.0f; // negative or NaN: no delay
    if (ms > 1.0e6f)
        ms = 1.0e6f; // keeps the sample count within int range before clipping
    const int limit = s.historySizeOut - s.historySizeIn;
    bool clipped = false;
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        int d = 0;
        if (delayOn && c < st->numDecoded && st->channelType[c] == SFM_TYPE_SURROUND)
            d = static_cast<int>(std::floor(ms * s.sampleRate * 0.001f + 0.5f));
        if (d + s.historySizeIn > s.historySizeOut) {
            d = limit;
            clipped = true;
        }
        st->rearDelaySamples[c] = d;
    }
    st->rearDelayClippedMs = clipped ? ms : -1.0f;

    // Rear lowpass: -6 dB per octave above the corner, per band centre.
    const float corner = std::isfinite(params->rearLowpass) ? params->rearLowpass : kDefaultRearLowpassHz;
    const int w = sfm_band_lookup(st, corner);
    for (int b = 0; b < st->numBands; ++b) {
        float g = 1.0f;
        if (b >= w) {
            const int lo = b > 0 ? st->bandEdge[b - 1] : 0;
            const double fb = static_cast<double>(lo + st->bandEdge[b]) * s.sampleRate / (2.0 * s.fftSize);
            // One hertz above the corner: a 0 Hz corner still gives a finite ratio.
            const double ratio = fb / (static_cast<double>(corner) + 1.0);
            if (ratio > 0.0)
                g = static_cast<float>(std::fmin(std::pow(10.0, -kRearLowpassDbPerOctave * 0.05 * std::log2(ratio)), 1.0));
        }
        st->rearLowpassGain[b] = g;
    }
    return clipped ? SFM_NOTICE_REAR_DELAY_CLIPPED : 0u;
}

void sfm_lfe_process(sfm_state* st, sfm_buffers* buf)
{
    const sfm_setup& s = st->setup;
    const int c = st->numDecoded;
    const int order = st->lfeOrder;
    if (c < 0 || c >= SFM_MAX_CHANNELS || !buf->historyOut[c] || !buf->historyIn[0])
        return;
    float* y = buf->historyOut[c] + s.historySizeOut;
    const float* x = buf->historyIn[0] + s.overlapSize;
    const int n = s.hopSize;
    if (order != 2 && order != 3) {
        st->notices |= SFM_NOTICE_LFE_ORDER;
        st->fatal = 1;
        memset(y, 0, static_cast<size_t>(n) * sizeof(float));
        return;
    }
    const float g = (st->flags & SFM_FLAG_LFE_ON) ? st->channelOn[c] * st->channelGain[c] : 0.0f;
    double* ys = buf->lfeY;
    if (g == 0.0f || s.overlapSize < order) {
        // Silent: the recursion memory stays at zero as well.
        memset(y, 0, static_cast<size_t>(n) * sizeof(float));
        ys[0] = ys[1] = ys[2] = 0.0;
        return;
    }
    // Direct form in double precision: the poles of the lowest corners sit
    // within 1e-3 of z = 1, where float coefficients and state would detune
    // the filter. The output memory is kept in double as well.
    const double* a = st->lfeA;
    const double* b = st->lfeB;
    const double gd = g;
    double y1 = ys[0], y2 = ys[1], y3 = ys[2];
    for (int i = 0; i < n; ++i) {
        double v;
        if (order == 2) {
            v = gd * (b[0] * x[i] + b[1] * x[i - 1] + b[2] * x[i - 2]) - a[0] * y1 - a[1] * y2;
        } else {
            v = gd * (b[0] * x[i] + b[1] * x[i - 1] + b[2] * x[i - 2] + b[3] * x[i - 3]) - a[0] * y1 -
                a[1] * y2 - a[2] * y3;
        }
        if (!std::isfinite(v))
            v = 0.0; // a non-finite input never sticks in the recursion
        y3 = y2;
        y2 = y1;
        y1 = v;
        y[i] = static_cast<float>(v);
    }
    ys[0] = y1;
    ys[1] = y2;
    ys[2] = y3;
}

void sfm_output_meters(const sfm_state* st, const sfm_buffers* buf, sfm_meters* meters)
{
    if (!meters)
        return;
    const sfm_setup& s = st->setup;
    const int base = s.historySizeOut - s.historySizeIn;
    for (int j = 0; j < SFM_MAX_CHANNELS; ++j) {
        meters->output[j] = 0.0f;
        if (j >= s.numOutputs)
            continue;
        const int c = st->channelMap[j];
        const float* h = buf->historyOut[c];
        if (!h)
            continue;
        const int d = clamp_delay(static_cast<float>(st->rearDelaySamples[c]), base);
        meters->output[j] = peak_of(h + base - d, s.hopSize);
    }
}

namespace {

// One hop of engine channel c, read from its history at its delay, into x
// (every stride-th float): while the delay changes, the crossfade
// w xNew + (1 - w) xOld, w rising towards 1 sample by sample. Non-finite
// samples become 0. Returns the crossfade weight after the hop.
float read_hop(const sfm_state* st, const sfm_buffers* buf, int c, float* x, int stride)
{
    const sfm_setup& s = st->setup;
    const int n = s.hopSize;
    const int base = s.historySizeOut - s.historySizeIn;
    const float* h = buf->historyOut[c];
    float w = buf->fadeWeight[c];
    // Idle (no fade pending): both read positions are the same.
    const bool idle = (w == 0.0f && buf->newDelay[c] == buf->curDelay[c]);
    const float* xNew = h ? h + base - clamp_delay(buf->newDelay[c], base) : nullptr;
    const float* xOld = h ? h + base - clamp_delay(buf->curDelay[c], base) : nullptr;
    if (idle && h && stride == 1) {
        copy_finite(xOld, x, n);
        return w;
    }
    for (int i = 0; i < n; ++i) {
        float v = 0.0f;
        if (h) {
            v = w * xNew[i] + (1.0f - w) * xOld[i];
            if (!std::isfinite(v))
                v = 0.0f;
        }
        x[i * stride] = v;
        if (!idle)
            w = kFadeDecay * w + kFadeStep;
    }
    return w;
}

// Integer samples of full scale `scale`, every stride-th of o.
template <typename T>
void to_integers(const float* x, T* o, int n, int stride, double scale, double lo, double hi)
{
    for (int i = 0; i < n; ++i)
        o[i * stride] = to_int<T>(x[i], scale, lo, hi);
}

// Advance the histories by one hop; the newest hop region is rewritten by
// the next synthesis.
void advance_histories(const sfm_state* st, sfm_buffers* buf)
{
    const size_t keep = static_cast<size_t>(st->setup.historySizeOut);
    const size_t n = static_cast<size_t>(st->setup.hopSize);
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        float* h = buf->historyOut[c];
        if (!h)
            continue;
        memmove(h, h + n, keep * sizeof(float));
        memset(h + keep, 0, n * sizeof(float));
    }
}

// Take up a new target when no fade runs; finish a fade past kFadeDone.
void advance_fades(const sfm_state* st, sfm_buffers* buf)
{
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        if (buf->fadeWeight[c] == 0.0f) {
            buf->newDelay[c] = static_cast<float>(st->rearDelaySamples[c]);
            if (buf->newDelay[c] != buf->curDelay[c])
                buf->fadeWeight[c] = kFadeStart;
        }
        if (buf->fadeWeight[c] > kFadeDone) {
            buf->fadeWeight[c] = 0.0f;
            buf->curDelay[c] = buf->newDelay[c];
        }
    }
}

} // namespace

void sfm_output_stage(sfm_state* st, sfm_buffers* buf, void* outputs)
{
    const sfm_setup& s = st->setup;
    const int n = s.hopSize;
    const int fmt = s.outputFormat;
    const bool separate = (fmt & SFM_FORMAT_SEPARATE) != 0;
    const bool integer = (fmt & (SFM_FORMAT_INT16 | SFM_FORMAT_INT32)) != 0;
    const int outs = s.numOutputs < SFM_MAX_CHANNELS ? s.numOutputs : SFM_MAX_CHANNELS;
    const int stride = separate ? 1 : outs;
    // Integer formats take the float hop from the transform's scratch, free
    // once the hop is synthesised.
    float* hop = buf->scratch;

    for (int j = 0; j < outs && outputs; ++j) {
        void* dst = separate ? static_cast<void**>(outputs)[j] : outputs;
        if (!dst)
            continue;
        const int c = st->channelMap[j];
        const int first = separate ? 0 : j;
        if (!integer) {
            buf->fadeWeight[c] = read_hop(st, buf, c, static_cast<float*>(dst) + first, stride);
            continue;
        }
        buf->fadeWeight[c] = read_hop(st, buf, c, hop, 1);
        if (fmt & SFM_FORMAT_INT16)
            to_integers(hop, static_cast<int16_t*>(dst) + first, n, stride, 32768.0, -32768.0, 32767.0);
        else
            to_integers(hop, static_cast<int32_t*>(dst) + first, n, stride, 2147483648.0, -2147483648.0,
                        2147483647.0);
    }
    advance_histories(st, buf);
    advance_fades(st, buf);
}
