// Engine set-up: stream setup, parameter defaults, instance preparation,
// validation and allocation, parameter application, reset and release.
#include "sfm_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#define SFM_LOG(fmt, ...) \
    fprintf(stderr, "[SFM] file \"%s\", line %d" fmt, SFM_MODULE_NAME, __LINE__, __VA_ARGS__)

namespace {

// Output channel i of sfm_process is engine channel map[i]. Entries 10-15 are
// the identity in every map.
const int32_t kMapLinear[SFM_MAX_CHANNELS] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const int32_t kMap3[SFM_MAX_CHANNELS] = {0, 1, 2, 5, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const int32_t kMap4[SFM_MAX_CHANNELS] = {0, 1, 2, 6, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const int32_t kMap5[SFM_MAX_CHANNELS] = {0, 1, 2, 7, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15};
const int32_t kMap6[SFM_MAX_CHANNELS] = {2, 4, 3, 7, 0, 6, 1, 5, 8, 9, 10, 11, 12, 13, 14, 15};
const int32_t kMap78[SFM_MAX_CHANNELS] = {2, 6, 4, 9, 0, 8, 1, 7, 3, 5, 10, 11, 12, 13, 14, 15};
const int32_t kMap9[SFM_MAX_CHANNELS] = {0, 1, 2, 7, 3, 4, 8, 9, 5, 6, 10, 11, 12, 13, 14, 15};

const int32_t* channel_map(int format, uint32_t flags, int line)
{
    if (format < 0 || format >= 10) {
        fprintf(stderr, "[SFM] file \"%s\", line %d, Unknown format (%d), using linear channel map\n",
                SFM_MODULE_NAME, line, format);
        return kMapLinear;
    }
    if (flags & SFM_FLAG_LINEAR_MAP)
        return kMapLinear;
    switch (format) {
    case 3: return kMap3;
    case 4: return kMap4;
    case 5: return kMap5;
    case 6: return kMap6;
    case 7:
    case 8: return kMap78;
    case 9: return kMap9;
    default: return kMapLinear;
    }
}

float finite_or(float x, float fallback)
{
    return std::isfinite(x) ? x : fallback;
}

// Minus infinity dB is a closed gain: silence. A NaN carries no setting and
// leaves the channel at unity; plus infinity is held at unity as well, so a
// bad value can never make the output overflow.
float db_to_gain(float db)
{
    if (db == -std::numeric_limits<float>::infinity())
        return 0.0f;
    return std::pow(10.0f, 0.05f * finite_or(db, 0.0f));
}

template <typename T>
void release(T*& p)
{
    if (p) {
        free(p);
        p = nullptr;
    }
}

// Zero-initialised array of n 32-bit elements (at least one), or null with
// the allocation message.
template <typename T>
T* allocate(size_t n, int line)
{
    static_assert(sizeof(T) == 4, "32-bit elements");
    T* p = static_cast<T*>(calloc(n > 0 ? n : 1, sizeof(T)));
    if (!p) {
        fprintf(stderr, "ERROR: memory allocation failed -> %s: %d\n", SFM_MODULE_NAME, line);
        fflush(stderr);
    }
    return p;
}

#define SFM_ALLOC(ptr, count)                                                          \
    do {                                                                               \
        (ptr) = allocate<std::remove_pointer_t<std::remove_reference_t<decltype(ptr)>>>((count), __LINE__);     \
        if (!(ptr))                                                                    \
            return SFM_ERR_MEMORY;                                                     \
    } while (0)

void fill(float* p, size_t n, float v)
{
    if (!p)
        return;
    for (size_t i = 0; i < n; ++i)
        p[i] = v;
}

void zero(float* p, size_t n)
{
    if (p)
        memset(p, 0, n * sizeof(float));
}

bool is_pow2(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Number of output histories: every engine channel that the layout decodes
// and every engine channel that an output reads through the channel map.
int history_count(const sfm_state* st)
{
    int n = st->setup.numOutputs;
    if (st->numEngineOutputs > n)
        n = st->numEngineOutputs;
    for (int j = 0; j < st->setup.numOutputs && j < SFM_MAX_CHANNELS; ++j)
        if (st->channelMap && st->channelMap[j] + 1 > n)
            n = st->channelMap[j] + 1;
    return n < SFM_MAX_CHANNELS ? n : SFM_MAX_CHANNELS;
}

int allocate_buffers(sfm_state* st, sfm_buffers* buf)
{
    const sfm_setup& s = st->setup;
    const size_t bins = static_cast<size_t>(s.numBins);
    const size_t bands = static_cast<size_t>(st->numBands);
    // Per-decoded-channel arrays hold the largest layout, so a later format
    // change in sfm_set_params never indexes past them.
    const size_t dec = SFM_MAX_DECODED;

    SFM_ALLOC(st->window, static_cast<size_t>(s.windowSize));
    SFM_ALLOC(buf->scratch, static_cast<size_t>(s.fftSize));
    for (int i = 0; i < s.numInputs; ++i)
        SFM_ALLOC(buf->historyIn[i], static_cast<size_t>(s.overlapSize + s.hopSize));
    const int nHist = history_count(st);
    for (int c = 0; c < nHist; ++c)
        SFM_ALLOC(buf->historyOut[c], static_cast<size_t>(s.historySizeOut + s.hopSize));
    for (int i = 0; i < SFM_MAX_INPUTS; ++i) {
        SFM_ALLOC(buf->specRe[i], bins);
        SFM_ALLOC(buf->specIm[i], bins);
    }
    SFM_ALLOC(buf->prevS0Re, bins);
    SFM_ALLOC(buf->prevS0Im, bins);
    SFM_ALLOC(buf->outRe, bins);
    SFM_ALLOC(buf->outIm, bins);
    SFM_ALLOC(buf->hopCrossRe, bins);
    SFM_ALLOC(buf->hopCrossIm, bins);
    SFM_ALLOC(buf->hopPowCur, bands);
    SFM_ALLOC(buf->hopPowPrev, bands);
    SFM_ALLOC(buf->hopCoherence, bands);
    const size_t pairs = bands * dec * 3;
    SFM_ALLOC(buf->pairPowA, pairs);
    SFM_ALLOC(buf->pairPowB, pairs);
    SFM_ALLOC(buf->pairCrossRe, pairs);
    SFM_ALLOC(buf->pairCrossIm, pairs);
    SFM_ALLOC(buf->pairCoherence, pairs);
    SFM_ALLOC(buf->pairCoherenceMag, pairs);
    SFM_ALLOC(buf->gainPrev, bands * dec);
    SFM_ALLOC(buf->bandWeights4, bands * dec * 4);
    SFM_ALLOC(buf->diffuseWeights, bands * dec * 3);
    SFM_ALLOC(buf->eqPhaseRe, bins);
    SFM_ALLOC(buf->eqPhaseIm, bins);
    SFM_ALLOC(buf->eqGain, bins);
    SFM_ALLOC(buf->mt2SmoothA, 3 * bins);
    SFM_ALLOC(buf->mt2SmoothB, 3 * bins);
    buf->decodedCapacity = SFM_MAX_DECODED;
    return 0;
}

void fill_response_header(const sfm_state* st, const sfm_params& p, sfm_response* r)
{
    memset(r, 0, sizeof(*r));
    const double degToRad = SFM_PI / 180.0;
    r->numChannels = st->numEngineOutputs;
    r->numPoints = SFM_RESPONSE_POINTS;
    r->direction = static_cast<float>(p.direction * degToRad);
    r->tilt = static_cast<float>(p.tiltAngle * degToRad);
    r->rearTilt = static_cast<float>(p.rearTiltAngle * degToRad);
    for (int k = 0; k < SFM_RESPONSE_POINTS; ++k)
        r->angle[k] = static_cast<float>(2.0 * SFM_PI * k / SFM_RESPONSE_POINTS);
}

// Linear gain and on-factor per engine channel, from the channel type of the
// output that reads it.
void apply_channel_gains(sfm_state* st, const sfm_params& p)
{
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        st->channelGain[c] = 0.0f;
        st->channelOn[c] = 0.0f;
    }
    if (!st->channelMap)
        st->channelMap = kMapLinear;
    const int outputs = st->setup.numOutputs < SFM_MAX_CHANNELS ? st->setup.numOutputs : SFM_MAX_CHANNELS;
    for (int i = 0; i < outputs; ++i) {
        const int c = st->channelMap[i];
        if (c >= st->numEngineOutputs)
            continue; // no signal in this layout: stays silent
        switch (st->channelType[c]) {
        case SFM_TYPE_FRONT:
            st->channelGain[c] = db_to_gain(p.gainLR);
            st->channelOn[c] = p.muteLR ? 0.0f : 1.0f;
            break;
        case SFM_TYPE_CENTRE:
            st->channelGain[c] = (p.flags & SFM_FLAG_NO_CENTRE) ? 0.0f : db_to_gain(p.gainC);
            st->channelOn[c] = p.muteC ? 0.0f : 1.0f;
            break;
        case SFM_TYPE_SURROUND:
            st->channelGain[c] = (p.flags & SFM_FLAG_NO_SURROUND) ? 0.0f : db_to_gain(p.gainLsRs);
            st->channelOn[c] = p.muteLsRs ? 0.0f : 1.0f;
            break;
        case SFM_TYPE_LFE:
            st->channelGain[c] = (p.flags & SFM_FLAG_LFE_ON) ? db_to_gain(p.gainLfe) : 0.0f;
            st->channelOn[c] = p.muteLfe ? 0.0f : 1.0f;
            break;
        default:
            fprintf(stderr, "Bug: channel type unknown!\n");
            st->fatal = 1;
            break;
        }
    }
}

} // namespace

int sfm_setup_init(sfm_setup* setup, float sampleRate)
{
    memset(setup, 0, sizeof(*setup));
    setup->numInputs = 3;
    setup->numOutputs = 6;
    setup->inputFormat = 65;
    setup->outputFormat = 65;
    if (!(sampleRate >= 8000.0f && sampleRate <= 192000.0f))
        return SFM_ERR_SAMPLE_RATE;
    setup->sampleRate = sampleRate;
    // The power of two at or above 10 ms.
    const float tenMs = sampleRate * 0.01f;
    int hop = 1;
    while (static_cast<float>(hop) < tenMs)
        hop *= 2;
    setup->hopSize = hop;
    setup->fftSize = 2 * hop;
    setup->windowSize = 2 * hop;
    setup->bandWidthErb = 2.0f;
    return 0;
}

int sfm_params_default(sfm_params* p)
{
    memset(p, 0, sizeof(*p));
    p->flags = SFM_FLAG_BEAMS_WIDENED;
    p->focus = 1.0f;
    p->widthCoef = 0.0f;
    p->rearWidthCoef = 0.0f;
    p->direction = 0.0f;
    p->tiltAngle = 0.0f;
    p->rearTiltAngle = 0.0f;
    p->sideBeamAngle = 120.0f;
    p->beamOverlap = 0.3f;
    p->micResponseLR = 0.5f;
    p->micResponseC = 0.5f;
    p->micResponseLsRs = 0.5f;
    p->diffGainDb = 0.0f;
    p->gainLR = 0.0f;
    p->gainC = 0.0f;
    p->gainLsRs = 0.0f;
    p->gainLfe = 0.0f;
    p->muteLR = 0;
    p->muteC = 0;
    p->muteLsRs = 0;
    p->muteLfe = 0;
    p->rearDelay = 20.0f;
    p->rearLowpass = 12000.0f;
    p->bandLimitA = 0.0f;
    p->bandLimitB = 96000.0f;
    p->bandLimitC = 1200.0f;
    p->bandLimitD = 0.0f;
    p->bandLimitE = 20000.0f;
    p->bandLimitF = 20000.0f;
    p->format = 3;
    p->micType = 3;
    p->capsuleSpacingMm = 18.0f;
    p->lfeMode = 0;
    return 0;
}

int sfm_init(sfm_state* st, sfm_buffers* buf, sfm_setup* setup, sfm_params params,
             sfm_meters* meters, sfm_response* response)
{
    memset(st, 0, sizeof(*st));
    memset(buf, 0, sizeof(*buf));
    st->setup = *setup;
    st->capsuleSpacingMm = params.capsuleSpacingMm;
    st->micType = params.micType;
    st->rearDelayClippedMs = -1.0f;
    switch (params.micType) {
    case 0: st->setup.numInputs = 4; break;
    case 1:
    case 2:
    case 3: st->setup.numInputs = 3; break;
    default:
        SFM_LOG(", Unknown mictype (%d)\n", params.micType);
        st->fatal = 1;
        break;
    }
    st->channelMap = channel_map(params.format, params.flags, __LINE__);
    sfm_set_params(st, buf, params);
    if (meters)
        memset(meters, 0, sizeof(*meters));
    if (response)
        fill_response_header(st, params, response);
    *setup = st->setup;
    return 0;
}

void sfm_set_params(sfm_state* st, sfm_buffers* buf, sfm_params params)
{
    st->flags = params.flags;
    if (sfm_design(st, &params) != 0)
        st->fatal = 1;
    apply_channel_gains(st, params);

    // Diffuse gain and its direct compensation: +6 dB of diffuse gain moves
    // the diffuse share up and the direct share down by 3 dB each; both
    // factors saturate at 2 (about +6 dB).
    const float dg = finite_or(params.diffGainDb, 0.0f);
    st->diffuseGain = std::fmin(std::pow(10.0f, dg / 40.0f), 2.0f);
    st->directGain = std::fmin(std::pow(10.0f, -dg / 40.0f), 2.0f);

    if (buf && buf->allocated) {
        const float limits[6] = {params.bandLimitA, params.bandLimitB, params.bandLimitC,
                                 params.bandLimitD, params.bandLimitE, params.bandLimitF};
        for (int i = 0; i < 6; ++i)
            st->bandLimitIndex[i] = sfm_band_lookup(st, finite_or(limits[i], 0.0f));
        sfm_surround_set_params(st, buf, &params);
    }
}

int sfm_create(sfm_state* st, sfm_buffers* buf, sfm_setup* setup, sfm_params params,
               sfm_meters* meters, sfm_response* response)
{
    sfm_init(st, buf, setup, params, meters, response);
    if (st->fatal)
        return SFM_ERR_SETUP;

    sfm_setup& s = st->setup;
    if (!(s.sampleRate >= 8000.0f && s.sampleRate <= 192000.0f))
        return SFM_ERR_SAMPLE_RATE;
    if (s.numInputs >= 5 || s.numInputs < 1)
        return SFM_ERR_INPUTS;
    if (s.numOutputs >= 17 || s.numOutputs < 1)
        return SFM_ERR_OUTPUTS;
    if (s.hopSize <= 0 || s.windowSize < s.hopSize || s.windowSize % s.hopSize != 0 ||
        (s.windowSize & 1) != 0)
        return SFM_ERR_SETUP;
    // The transform must hold the window (zero padding is never negative) and
    // be long enough for the half-length complex transform.
    if (!is_pow2(s.fftSize) || s.fftSize < 4 || s.fftSize < s.windowSize)
        return SFM_ERR_SETUP;

    s.numBins = s.fftSize / 2 + 1;
    s.zeroPad = (s.fftSize - s.windowSize) / 2;
    s.overlapSize = s.windowSize - s.hopSize;
    s.historySizeOut = static_cast<int>(std::floor(s.sampleRate * 50.0f * 0.001f)) + s.overlapSize;
    s.historySizeIn = (s.windowSize / s.hopSize - 1) * s.hopSize;

    const int numWeights = sfm_bands_build(st, nullptr);
    SFM_ALLOC(st->bandWeights, static_cast<size_t>(numWeights));
    sfm_bands_build(st, st->bandWeights);

    int rc = allocate_buffers(st, buf);
    if (rc != 0)
        return rc;

    // Sine window, used for analysis and synthesis: w^2 overlap-adds to 1 at
    // 50 % overlap; the factor keeps that true for longer windows.
    const double wscale = std::sqrt(2.0 * s.hopSize / s.windowSize);
    for (int i = 0; i < s.windowSize; ++i)
        st->window[i] = static_cast<float>(std::sin(SFM_PI * i / s.windowSize) * wscale);

    rc = sfm_fft_init(&st->fft, s.fftSize);
    if (rc != 0) {
        fprintf(stderr, "ERROR: memory allocation failed -> %s: %d\n", SFM_MODULE_NAME, __LINE__);
        fflush(stderr);
        return rc;
    }

    // LFE: Butterworth low-pass of order 2 or 3 at 60, 90 or 120 Hz.
    static const int kLfeOrder[6] = {2, 2, 2, 3, 3, 3};
    static const double kLfeCornerHz[6] = {120.0, 90.0, 60.0, 120.0, 90.0, 60.0};
    if (params.lfeMode < 0 || params.lfeMode >= 6) {
        SFM_LOG(": LFE option (%d) not supported!\n", params.lfeMode);
        return SFM_ERR_SETUP;
    }
    const float corner = static_cast<float>(2.0 * kLfeCornerHz[params.lfeMode] / s.sampleRate);
    st->lfeOrder = kLfeOrder[params.lfeMode];
    if (sfm_lfe_lookup(corner, st->lfeOrder, &st->lfeA, &st->lfeB) != 0 ||
        sfm_lfe_lookup_exact(corner, st->lfeOrder, &st->lfeA64, &st->lfeB64) != 0) {
        fprintf(stderr, "[SFM] file \"%s\", line %d: LP filters not found, sfreq = %f, lfemode = %d\n",
                SFM_MODULE_NAME, __LINE__, static_cast<double>(s.sampleRate), params.lfeMode);
        st->lfeA = nullptr;
        st->lfeB = nullptr;
        st->lfeA64 = nullptr;
        st->lfeB64 = nullptr;
        return SFM_ERR_SETUP;
    }

    // Mark allocated for the reset only; set again below after the diffuser.
    buf->allocated = 1;
    sfm_reset(st, buf, nullptr);
    buf->allocated = 0;

    sfm_equaliser_build(st, buf);

    rc = sfm_diffuser_create(st, buf);
    if (rc != 0)
        return rc;

    buf->allocated = 1;
    sfm_set_params(st, buf, params);
    if (st->fatal) {
        buf->allocated = 0;
        return SFM_ERR_SETUP;
    }
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        buf->newDelay[c] = static_cast<float>(st->rearDelaySamples[c]);
        buf->curDelay[c] = static_cast<float>(st->rearDelaySamples[c]);
        buf->fadeWeight[c] = 0.0f;
    }
    *setup = st->setup;
    return 0;
}

void sfm_reset(sfm_state* st, sfm_buffers* buf, sfm_meters* meters)
{
    // All meters: a stale output peak would otherwise stay on display.
    if (meters)
        memset(meters, 0, sizeof(*meters));
    if (!buf || !buf->allocated)
        return;
    const sfm_setup& s = st->setup;
    const size_t bins = static_cast<size_t>(s.numBins);
    const size_t bands = static_cast<size_t>(st->numBands);
    // Per-decoded-channel arrays hold the largest layout, so a later format
    // change in sfm_set_params never indexes past them.
    const size_t dec = SFM_MAX_DECODED;

    for (int i = 0; i < SFM_MAX_INPUTS; ++i) {
        zero(buf->historyIn[i], static_cast<size_t>(s.overlapSize + s.hopSize));
        zero(buf->specRe[i], bins);
        zero(buf->specIm[i], bins);
    }
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c)
        zero(buf->historyOut[c], static_cast<size_t>(s.historySizeOut + s.hopSize));
    zero(buf->outRe, bins);
    zero(buf->outIm, bins);
    const size_t pairs = bands * dec * 3;
    zero(buf->pairCoherence, pairs);
    zero(buf->pairCoherenceMag, pairs);
    zero(buf->bandWeights4, bands * dec * 4);
    zero(buf->diffuseWeights, bands * dec * 3);
    zero(buf->gainPrev, bands * dec);
    zero(buf->hopCoherence, bands);

    fill(buf->pairPowA, pairs, 1e-10f);
    fill(buf->pairPowB, pairs, 1e-10f);
    fill(buf->pairCrossRe, pairs, 1e-10f);
    fill(buf->pairCrossIm, pairs, 1e-10f);
    fill(buf->hopPowCur, bands, 1e-10f);
    fill(buf->hopPowPrev, bands, 1e-10f);
    fill(buf->hopCrossRe, bins, 1e-10f);
    fill(buf->hopCrossIm, bins, 1e-10f);
    fill(buf->prevS0Re, bins, 1e-10f);
    fill(buf->prevS0Im, bins, 1e-10f);
    fill(buf->mt2SmoothA, 3 * bins, 1e-6f);
    fill(buf->mt2SmoothB, 3 * bins, 1.0f);
    for (double& y : buf->lfeY)
        y = 0.0;
    buf->hopCounter = 0;
}

void sfm_free(sfm_state* st, sfm_buffers* buf, sfm_meters* meters, sfm_response* response)
{
    if (st) {
        release(st->bandWeights);
        release(st->window);
        sfm_fft_free(&st->fft);
        sfm_fft_free(&st->diffuserFft);
        for (int k = 0; k < SFM_MAX_DECODED; ++k) {
            release(st->diffuserFilterRe[k]);
            release(st->diffuserFilterIm[k]);
        }
        memset(st, 0, sizeof(*st));
    }
    if (buf) {
        for (int i = 0; i < SFM_MAX_INPUTS; ++i) {
            release(buf->historyIn[i]);
            release(buf->specRe[i]);
            release(buf->specIm[i]);
        }
        for (int c = 0; c < SFM_MAX_CHANNELS; ++c)
            release(buf->historyOut[c]);
        release(buf->prevS0Re);
        release(buf->prevS0Im);
        release(buf->outRe);
        release(buf->outIm);
        release(buf->scratch);
        release(buf->hopCrossRe);
        release(buf->hopCrossIm);
        release(buf->hopPowCur);
        release(buf->hopPowPrev);
        release(buf->hopCoherence);
        release(buf->pairPowA);
        release(buf->pairPowB);
        release(buf->pairCrossRe);
        release(buf->pairCrossIm);
        release(buf->pairCoherence);
        release(buf->pairCoherenceMag);
        release(buf->gainPrev);
        release(buf->bandWeights4);
        release(buf->diffuseWeights);
        release(buf->eqPhaseRe);
        release(buf->eqPhaseIm);
        release(buf->eqGain);
        release(buf->mt2SmoothA);
        release(buf->mt2SmoothB);
        for (int k = 0; k < SFM_MAX_DECODED; ++k) {
            release(buf->diffuseSynth[k]);
            release(buf->diffuseOverlap[k]);
        }
        release(buf->diffuseScratch);
        release(buf->diffuseSpecRe);
        release(buf->diffuseSpecIm);
        memset(buf, 0, sizeof(*buf));
    }
    if (meters)
        memset(meters, 0, sizeof(*meters));
    if (response)
        memset(response, 0, sizeof(*response));
}
