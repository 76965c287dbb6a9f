// Engine set-up: stream setup, parameter defaults, instance preparation,
// validation and allocation, parameter application, reset and release.
#include "sfm_internal.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#define SFM_LOG(fmt, ...) \
    fprintf(stderr, "[SFM] file \"%s\", line %d" fmt, SFM_MODULE_NAME, __LINE__, __VA_ARGS__)

namespace {

constexpr float kHopSeconds = 0.01f;       // a hop is the power of two at or above 10 ms
constexpr float kBandWidthErb = 2.0f;      // analysis bands two ERB wide
constexpr float kOutputHistoryMs = 50.0f;  // output history beyond the overlap: bounds the rear delay
constexpr float kMaxDiffuseFactor = 2.0f;  // diffuse and direct factors saturate here (about +6 dB)

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

bool is_pow2(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// ---------------------------------------------------------------------------
// The work buffers: one table drives their allocation, reset and release.
// ---------------------------------------------------------------------------

// How many floats a buffer holds, from the sizes that sfm_create derived.
// Per-decoded-channel arrays hold the largest layout, so a later format
// change in sfm_set_params never indexes past them.
enum class Extent {
    Window,        // windowSize
    Transform,     // fftSize
    BandWeights,   // the bands' crossfade weights
    InputHistory,  // overlapSize + hopSize, per capsule channel in use
    OutputHistory, // historySizeOut + hopSize, per engine channel decoded or read
    Bins,          // numBins
    ThreeBins,     // 3 numBins
    Bands,         // numBands
    ChannelBands,  // numBands x SFM_MAX_DECODED
    PairBands,     // numBands x SFM_MAX_DECODED x 3 pairs (or 3 weights)
    QuadBands,     // numBands x SFM_MAX_DECODED x 4 weights
    DiffuserSynth, // windowSize + hopSize
    DiffuserBlock, // diffuserSize
    DiffuserBins,  // diffuserSize / 2 + 1
};

enum class Owner { State, Buffers };

// What sfm_reset does to a buffer.
enum class Reset {
    Keep,            // designed at set-up, scratch, or the diffuser's memory (zero only after allocation)
    Zero,            // signal memory
    StatisticsFloor, // smoothed powers and cross-spectra, the previous spectrum
    Mt2PowerStart,   // the first mic-type-2 smoothing array
    One,             // the second mic-type-2 smoothing array
};

// Start of the smoothed statistics: a power far below hearing that keeps the
// first hops' coherences and ratios finite.
constexpr float kStatisticsFloor = 1e-10f;
// Start of the first mic-type-2 smoothing array (its value is empirical).
constexpr float kMt2PowerStart = 1e-6f;

struct BufferRow {
    Owner owner;
    size_t offset; // of the (first) pointer in its record
    int copies;    // pointers side by side: one per input, channel or filter
    Extent extent;
    Reset reset;
};

// Every array the engine allocates, once.
const BufferRow kBuffers[] = {
    // Designed by sfm_create.
    {Owner::State, offsetof(sfm_state, window), 1, Extent::Window, Reset::Keep},
    {Owner::State, offsetof(sfm_state, bandWeights), 1, Extent::BandWeights, Reset::Keep},
    {Owner::State, offsetof(sfm_state, diffuserFilterRe), SFM_MAX_DECODED, Extent::DiffuserBins, Reset::Keep},
    {Owner::State, offsetof(sfm_state, diffuserFilterIm), SFM_MAX_DECODED, Extent::DiffuserBins, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, eqPhaseRe), 1, Extent::Bins, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, eqPhaseIm), 1, Extent::Bins, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, eqGain), 1, Extent::Bins, Reset::Keep},
    // Signal memory.
    {Owner::Buffers, offsetof(sfm_buffers, historyIn), SFM_MAX_INPUTS, Extent::InputHistory, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, historyOut), SFM_MAX_CHANNELS, Extent::OutputHistory, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, specRe), SFM_MAX_INPUTS, Extent::Bins, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, specIm), SFM_MAX_INPUTS, Extent::Bins, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, outRe), 1, Extent::Bins, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, outIm), 1, Extent::Bins, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, prevS0Re), 1, Extent::Bins, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, prevS0Im), 1, Extent::Bins, Reset::StatisticsFloor},
    // Inter-hop coherence of S0.
    {Owner::Buffers, offsetof(sfm_buffers, hopCrossRe), 1, Extent::Bins, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, hopCrossIm), 1, Extent::Bins, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, hopPowCur), 1, Extent::Bands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, hopPowPrev), 1, Extent::Bands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, hopCoherence), 1, Extent::Bands, Reset::Zero},
    // Pair statistics and the gain stage.
    {Owner::Buffers, offsetof(sfm_buffers, pairPowA), 1, Extent::PairBands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, pairPowB), 1, Extent::PairBands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, pairCrossRe), 1, Extent::PairBands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, pairCrossIm), 1, Extent::PairBands, Reset::StatisticsFloor},
    {Owner::Buffers, offsetof(sfm_buffers, pairCoherence), 1, Extent::PairBands, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, pairCoherenceMag), 1, Extent::PairBands, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, gainPrev), 1, Extent::ChannelBands, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, bandWeights4), 1, Extent::QuadBands, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseWeights), 1, Extent::PairBands, Reset::Zero},
    {Owner::Buffers, offsetof(sfm_buffers, mt2SmoothA), 1, Extent::ThreeBins, Reset::Mt2PowerStart},
    {Owner::Buffers, offsetof(sfm_buffers, mt2SmoothB), 1, Extent::ThreeBins, Reset::One},
    // Scratch and the diffuser.
    {Owner::Buffers, offsetof(sfm_buffers, scratch), 1, Extent::Transform, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseSynth), SFM_MAX_DECODED, Extent::DiffuserSynth, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseOverlap), SFM_MAX_DECODED, Extent::DiffuserBlock, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseScratch), 1, Extent::DiffuserBlock, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseSpecRe), 1, Extent::DiffuserBins, Reset::Keep},
    {Owner::Buffers, offsetof(sfm_buffers, diffuseSpecIm), 1, Extent::DiffuserBins, Reset::Keep},
};

// Pointer k of a row, or null when the row's record is absent.
float** slot(sfm_state* st, sfm_buffers* buf, const BufferRow& row, int k)
{
    char* record = row.owner == Owner::State ? reinterpret_cast<char*>(st) : reinterpret_cast<char*>(buf);
    return record ? reinterpret_cast<float**>(record + row.offset) + k : nullptr;
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

size_t floats_of(const sfm_state* st, Extent extent)
{
    const sfm_setup& s = st->setup;
    const size_t bins = static_cast<size_t>(s.numBins);
    const size_t channelBands = static_cast<size_t>(st->numBands) * SFM_MAX_DECODED;
    switch (extent) {
    case Extent::Window: return static_cast<size_t>(s.windowSize);
    case Extent::Transform: return static_cast<size_t>(s.fftSize);
    case Extent::BandWeights: return static_cast<size_t>(st->numBandWeights);
    case Extent::InputHistory: return static_cast<size_t>(s.overlapSize + s.hopSize);
    case Extent::OutputHistory: return static_cast<size_t>(s.historySizeOut + s.hopSize);
    case Extent::Bins: return bins;
    case Extent::ThreeBins: return 3 * bins;
    case Extent::Bands: return static_cast<size_t>(st->numBands);
    case Extent::ChannelBands: return channelBands;
    case Extent::PairBands: return 3 * channelBands;
    case Extent::QuadBands: return 4 * channelBands;
    case Extent::DiffuserSynth: return static_cast<size_t>(s.windowSize + s.hopSize);
    case Extent::DiffuserBlock: return static_cast<size_t>(st->diffuserSize);
    case Extent::DiffuserBins: return static_cast<size_t>(st->diffuserBins);
    }
    return 0;
}

// Copy k of a per-channel row is allocated only for a channel in use.
bool in_use(const sfm_state* st, Extent extent, int k)
{
    if (extent == Extent::InputHistory)
        return k < st->setup.numInputs;
    if (extent == Extent::OutputHistory)
        return k < history_count(st);
    return true;
}

void report_no_memory(int line)
{
    fprintf(stderr, "ERROR: memory allocation failed -> %s: %d\n", SFM_MODULE_NAME, line);
    fflush(stderr);
}

int allocate_buffers(sfm_state* st, sfm_buffers* buf)
{
    for (const BufferRow& row : kBuffers) {
        const size_t n = floats_of(st, row.extent);
        for (int k = 0; k < row.copies; ++k) {
            if (!in_use(st, row.extent, k))
                continue;
            float** p = slot(st, buf, row, k);
            // Zero-initialised, at least one float.
            *p = static_cast<float*>(calloc(n > 0 ? n : 1, sizeof(float)));
            if (!*p) {
                report_no_memory(__LINE__);
                return SFM_ERR_MEMORY;
            }
        }
    }
    buf->decodedCapacity = SFM_MAX_DECODED;
    if (sfm_fft_init(&st->fft, st->setup.fftSize) != 0 || sfm_fft_init(&st->diffuserFft, st->diffuserSize) != 0) {
        report_no_memory(__LINE__);
        return SFM_ERR_MEMORY;
    }
    return 0;
}

void fill(float* p, size_t n, float v)
{
    for (size_t i = 0; i < n; ++i)
        p[i] = v;
}

void reset_buffers(sfm_state* st, sfm_buffers* buf)
{
    for (const BufferRow& row : kBuffers) {
        const size_t n = floats_of(st, row.extent);
        for (int k = 0; k < row.copies; ++k) {
            float* p = *slot(st, buf, row, k);
            if (!p)
                continue;
            switch (row.reset) {
            case Reset::Keep: break;
            case Reset::Zero: memset(p, 0, n * sizeof(float)); break;
            case Reset::StatisticsFloor: fill(p, n, kStatisticsFloor); break;
            case Reset::Mt2PowerStart: fill(p, n, kMt2PowerStart); break;
            case Reset::One: fill(p, n, 1.0f); break;
            }
        }
    }
}

// Frees every pointer of the table whose record is given.
void release_buffers(sfm_state* st, sfm_buffers* buf)
{
    for (const BufferRow& row : kBuffers) {
        for (int k = 0; k < row.copies; ++k) {
            float** p = slot(st, buf, row, k);
            if (p && *p) {
                free(*p);
                *p = nullptr;
            }
        }
    }
    if (st) {
        sfm_fft_free(&st->fft);
        sfm_fft_free(&st->diffuserFft);
    }
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
// output that reads it. Returns SFM_NOTICE_CHANNEL_TYPE for a channel of no
// known type (fatal), else 0.
uint32_t apply_channel_gains(sfm_state* st, const sfm_params& p)
{
    uint32_t notices = 0;
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
            notices |= SFM_NOTICE_CHANNEL_TYPE;
            st->fatal = 1;
            break;
        }
    }
    return notices;
}

// The set-up calls run on the control thread: they say what their parameter
// application reported.
void print_notices(const sfm_state* st, uint32_t notices, const sfm_params& p)
{
    if (notices & SFM_NOTICE_UNKNOWN_FORMAT)
        SFM_LOG(": Unknown format (%d)!\n", p.format);
    if (notices & SFM_NOTICE_CHANNEL_TYPE)
        fprintf(stderr, "Bug: channel type unknown!\n");
    if (notices & SFM_NOTICE_REAR_DELAY_CLIPPED)
        fprintf(stderr,
                ": historysizeout (%d samples) too small for reardelay (%.1f ms), clipping reardelay to %d "
                "samples\n",
                st->setup.historySizeOut, static_cast<double>(st->rearDelayClippedMs),
                st->setup.historySizeOut - st->setup.historySizeIn);
}

} // namespace

int sfm_setup_init(sfm_setup* setup, float sampleRate)
{
    memset(setup, 0, sizeof(*setup));
    setup->numInputs = 3;
    setup->numOutputs = 6;
    setup->inputFormat = 65;
    setup->outputFormat = 65;
    if (!(sampleRate >= SFM_MIN_SAMPLE_RATE && sampleRate <= SFM_MAX_SAMPLE_RATE))
        return SFM_ERR_SAMPLE_RATE;
    setup->sampleRate = sampleRate;
    const float tenMs = sampleRate * kHopSeconds;
    int hop = 1;
    while (static_cast<float>(hop) < tenMs)
        hop *= 2;
    setup->hopSize = hop;
    setup->fftSize = 2 * hop;
    setup->windowSize = 2 * hop;
    setup->bandWidthErb = kBandWidthErb;
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
    print_notices(st, sfm_set_params(st, buf, params), params);
    if (meters)
        memset(meters, 0, sizeof(*meters));
    if (response)
        fill_response_header(st, params, response);
    *setup = st->setup;
    return 0;
}

uint32_t sfm_set_params(sfm_state* st, sfm_buffers* buf, sfm_params params)
{
    uint32_t notices = 0;
    st->flags = params.flags;
    if (sfm_design(st, &params) != 0) {
        notices |= SFM_NOTICE_UNKNOWN_FORMAT;
        st->fatal = 1;
    }
    notices |= apply_channel_gains(st, params);

    // Diffuse gain and its direct compensation: +6 dB of diffuse gain moves
    // the diffuse share up and the direct share down by 3 dB each (10^(dB/40)
    // is half the decibels as an amplitude).
    const float dg = finite_or(params.diffGainDb, 0.0f);
    st->diffuseGain = std::fmin(std::pow(10.0f, dg / 40.0f), kMaxDiffuseFactor);
    st->directGain = std::fmin(std::pow(10.0f, -dg / 40.0f), kMaxDiffuseFactor);

    if (buf && buf->allocated) {
        const float limits[6] = {params.bandLimitA, params.bandLimitB, params.bandLimitC,
                                 params.bandLimitD, params.bandLimitE, params.bandLimitF};
        for (int i = 0; i < 6; ++i)
            st->bandLimitIndex[i] = sfm_band_lookup(st, finite_or(limits[i], 0.0f));
        notices |= sfm_surround_set_params(st, buf, &params);
    }
    st->notices |= notices;
    return notices;
}

const char* sfm_notice_text(uint32_t notice)
{
    switch (notice) {
    case SFM_NOTICE_REAR_DELAY_CLIPPED: return "rear delay longer than the output history: held at its end";
    case SFM_NOTICE_UNKNOWN_FORMAT: return "unknown output format: no decode";
    case SFM_NOTICE_CHANNEL_TYPE: return "a layout channel of unknown type: no decode";
    case SFM_NOTICE_LFE_ORDER: return "LFE low-pass order not supported: no decode";
    default: return "";
    }
}

namespace {

// The setup and options that sfm_create cannot work with.
int validate(const sfm_state* st, const sfm_params& params)
{
    const sfm_setup& s = st->setup;
    if (st->fatal)
        return SFM_ERR_SETUP;
    if (!(s.sampleRate >= SFM_MIN_SAMPLE_RATE && s.sampleRate <= SFM_MAX_SAMPLE_RATE))
        return SFM_ERR_SAMPLE_RATE;
    if (s.numInputs > SFM_MAX_INPUTS || s.numInputs < 1)
        return SFM_ERR_INPUTS;
    if (s.numOutputs > SFM_MAX_CHANNELS || s.numOutputs < 1)
        return SFM_ERR_OUTPUTS;
    if (s.hopSize <= 0 || s.windowSize < s.hopSize || s.windowSize % s.hopSize != 0 ||
        (s.windowSize & 1) != 0)
        return SFM_ERR_SETUP;
    // The transform must hold the window (zero padding is never negative) and
    // be long enough for the half-length complex transform.
    if (!is_pow2(s.fftSize) || s.fftSize < 4 || s.fftSize < s.windowSize)
        return SFM_ERR_SETUP;
    if (params.lfeMode < 0 || params.lfeMode >= 6) {
        SFM_LOG(": LFE option (%d) not supported!\n", params.lfeMode);
        return SFM_ERR_SETUP;
    }
    return 0;
}

// The sizes that follow from the setup: transform, histories, bands and the
// diffuser's block.
void derive_sizes(sfm_state* st)
{
    sfm_setup& s = st->setup;
    s.numBins = s.fftSize / 2 + 1;
    s.zeroPad = (s.fftSize - s.windowSize) / 2;
    s.overlapSize = s.windowSize - s.hopSize;
    s.historySizeOut = static_cast<int>(std::floor(s.sampleRate * kOutputHistoryMs * 0.001f)) + s.overlapSize;
    s.historySizeIn = (s.windowSize / s.hopSize - 1) * s.hopSize;
    st->numBandWeights = sfm_bands_build(st, nullptr);
    st->diffuserSize = sfm_diffuser_block_length(&s);
    st->diffuserBins = st->diffuserSize / 2 + 1;
}

// Sine window, used for analysis and synthesis: w^2 overlap-adds to 1 at 50 %
// overlap; the factor keeps that true for longer windows.
void design_window(sfm_state* st)
{
    const sfm_setup& s = st->setup;
    const double scale = std::sqrt(2.0 * s.hopSize / s.windowSize);
    for (int i = 0; i < s.windowSize; ++i)
        st->window[i] = static_cast<float>(std::sin(SFM_PI * i / s.windowSize) * scale);
}

// LFE: Butterworth low-pass of order 2 or 3 at 60, 90 or 120 Hz, designed
// for the rate. The corner is rounded to float first, as for the decoder's
// published coefficient rows, which the design then reproduces exactly.
int design_lfe(sfm_state* st, int lfeMode)
{
    static const int kLfeOrder[6] = {2, 2, 2, 3, 3, 3};
    static const double kLfeCornerHz[6] = {120.0, 90.0, 60.0, 120.0, 90.0, 60.0};
    const float corner = static_cast<float>(2.0 * kLfeCornerHz[lfeMode] / st->setup.sampleRate);
    st->lfeOrder = kLfeOrder[lfeMode];
    return sfm_lfe_design(st->lfeOrder, corner, st->lfeA, st->lfeB) == 0 ? 0 : SFM_ERR_SETUP;
}

// Everything computed once per set-up into the allocated arrays.
int design(sfm_state* st, sfm_buffers* buf, const sfm_params& params)
{
    sfm_bands_build(st, st->bandWeights);
    design_window(st);
    int rc = design_lfe(st, params.lfeMode);
    if (rc == 0) {
        sfm_equaliser_build(st, buf);
        rc = sfm_diffuser_design(st, buf);
    }
    return rc;
}

// Both read positions of every channel's delay at its target: no crossfade
// at the start.
void preset_delays(const sfm_state* st, sfm_buffers* buf)
{
    for (int c = 0; c < SFM_MAX_CHANNELS; ++c) {
        buf->newDelay[c] = static_cast<float>(st->rearDelaySamples[c]);
        buf->curDelay[c] = static_cast<float>(st->rearDelaySamples[c]);
        buf->fadeWeight[c] = 0.0f;
    }
}

} // namespace

int sfm_create(sfm_state* st, sfm_buffers* buf, sfm_setup* setup, sfm_params params,
               sfm_meters* meters, sfm_response* response)
{
    sfm_init(st, buf, setup, params, meters, response);
    int rc = validate(st, params);
    if (rc != 0)
        return rc;
    derive_sizes(st);
    rc = allocate_buffers(st, buf);
    if (rc == 0)
        rc = design(st, buf, params);
    if (rc != 0)
        return rc;

    buf->allocated = 1;
    sfm_reset(st, buf, nullptr);
    print_notices(st, sfm_set_params(st, buf, params), params);
    if (st->fatal) {
        buf->allocated = 0;
        return SFM_ERR_SETUP;
    }
    preset_delays(st, buf);
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
    reset_buffers(st, buf);
    for (double& y : buf->lfeY)
        y = 0.0;
    buf->hopCounter = 0;
}

void sfm_free(sfm_state* st, sfm_buffers* buf, sfm_meters* meters, sfm_response* response)
{
    release_buffers(st, buf);
    if (st)
        memset(st, 0, sizeof(*st));
    if (buf)
        memset(buf, 0, sizeof(*buf));
    if (meters)
        memset(meters, 0, sizeof(*meters));
    if (response)
        memset(response, 0, sizeof(*response));
}
