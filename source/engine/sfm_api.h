// sfm_api: the spatial decoding engine.
//
// Turns the three capsule signals of a double mid-side array (front cardioid,
// sideways figure-of-eight, rear cardioid) into up to 16 loudspeaker channels.
// It works on a short-time Fourier transform in hops of about 10 ms: per output
// channel it forms a main first-order beam and two side beams, estimates per
// band (two ERB wide) how much of the sound is direct and how much diffuse, and
// combines the beams adaptively ("beamshaping"); the diffuse share can be
// spread through de-correlation filters.
//
// Plain functions over caller-owned records. The caller embeds the records;
// the engine fills them and allocates and frees only the work buffers they
// point to. Results are 0 for success or a negative code (sfm_create), the
// standard error numbers EINVAL, ENOMEM and ERANGE (ring buffers).
//
// Calling order: sfm_setup_init -> (sfm_params_default) -> sfm_init or
// sfm_create -> any number of sfm_set_params / sfm_process / sfm_reset ->
// sfm_free. Before a new sfm_create on the same records, call sfm_free.
#pragma once

#include <cstdint>

// pi: the one value behind every angle of the engine (radians). Its float
// arithmetic uses it rounded to float.
constexpr double SFM_PI = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------
enum {
    SFM_MAX_INPUTS = 4,
    SFM_MAX_CHANNELS = 16,     // engine output channels
    SFM_MAX_DECODED = 10,      // decoded channels: one de-correlation filter each
    SFM_MAX_BANDS = 50,
    SFM_RESPONSE_POINTS = 180, // display points, 2 degree steps
    SFM_NUM_DECORRELATORS = 10,
    SFM_DIFFUSER_SIZE = 4096,  // taps per de-correlation filter
    SFM_MIN_SAMPLE_RATE = 8000,   // Hz
    SFM_MAX_SAMPLE_RATE = 384000, // Hz: a hop of 4096 samples
};

// Codes of sfm_create.
enum {
    SFM_ERR_SETUP = -1,        // inconsistent setup or LFE option unsupported
    SFM_ERR_MEMORY = -2,
    SFM_ERR_INPUTS = -3,
    SFM_ERR_OUTPUTS = -4,
    SFM_ERR_SAMPLE_RATE = -5,  // outside SFM_MIN_SAMPLE_RATE ... SFM_MAX_SAMPLE_RATE
};

// Sample formats (sfm_setup::inputFormat / outputFormat).
enum {
    SFM_FORMAT_SEPARATE = 2,   // one buffer per channel (clear: one interleaved buffer)
    SFM_FORMAT_INT16 = 8,
    SFM_FORMAT_INT32 = 32,
    SFM_FORMAT_FLOAT32 = 64,
};

// Flag bits of sfm_params::flags.
enum : uint32_t {
    SFM_FLAG_BEAMSHAPING_OFF = 0x1,
    SFM_FLAG_LFE_ON = 0x2,
    SFM_FLAG_REAR_LOWPASS = 0x4,
    SFM_FLAG_REAR_DELAY = 0x8,
    SFM_FLAG_REAR_WIDTH = 0x20,
    SFM_FLAG_REAR_TILT = 0x40,
    SFM_FLAG_MT2_VARIANT_A = 0x80,
    SFM_FLAG_MT2_VARIANT_B = 0x100,
    SFM_FLAG_MAGNITUDE_COHERENCE = 0x200,
    SFM_FLAG_LINEAR_MAP = 0x400,
    SFM_FLAG_CENTRE_DIFFUSE_1 = 0x800,
    SFM_FLAG_CENTRE_DIFFUSE_HALF = 0x1000,
    SFM_FLAG_SQUARE_BEAM_COLUMNS = 0x2000,
    SFM_FLAG_DIFFUSER = 0x4000,
    SFM_FLAG_NO_CENTRE = 0x8000,
    SFM_FLAG_NO_SURROUND = 0x10000,
    SFM_FLAG_SILENCE_BAND0 = 0x20000,
    SFM_FLAG_NORMALISE_WIDENED = 0x40000,
    SFM_FLAG_BEAMS_WIDENED = 0x80000,
    SFM_FLAG_ROOT_SIDE_CROSS = 0x10000000u,
    SFM_FLAG_DIFFUSE_ONLY_BELOW_SPLIT = 0x40000000u,
    SFM_FLAG_NO_GAIN_SMOOTHING = 0x80000000u,
};

// What sfm_set_params and sfm_process have to report. They run on a host's
// audio thread, where nothing may print: they set these bits in
// sfm_state::notices, where they stay until the caller clears them, and
// sfm_set_params returns the bits of its own call. A caller reads them where
// the engine is not running (the control thread) and logs them if it wants
// (sfm_notice_text); the set-up calls sfm_init and sfm_create print what
// their own parameter application reports.
enum : uint32_t {
    SFM_NOTICE_REAR_DELAY_CLIPPED = 0x1, // rearDelay beyond the output history: held at its end
    SFM_NOTICE_UNKNOWN_FORMAT = 0x2,     // format outside 0..9: fatal
    SFM_NOTICE_CHANNEL_TYPE = 0x4,       // a layout channel of no known type: fatal
    SFM_NOTICE_LFE_ORDER = 0x8,          // an LFE filter order other than 2 or 3: fatal
};

// Channel types of the decode layout.
enum {
    SFM_TYPE_FRONT = 0,
    SFM_TYPE_CENTRE = 1,
    SFM_TYPE_SURROUND = 2,
    SFM_TYPE_LFE = 3,
};

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// Stream setup: nineteen 32-bit words.
struct sfm_setup {
    int32_t numInputs;       // capsule channels: 3 (4 for mic type 0)
    int32_t numOutputs;      // engine output channels, at most 16
    int32_t inputFormat;     // SFM_FORMAT_* bits of the input pointers
    int32_t outputFormat;    // SFM_FORMAT_* bits of the output pointers
    float sampleRate;        // Hz
    int32_t hopSize;         // samples per hop, a power of two
    int32_t fftSize;         // 2 * hop
    int32_t windowSize;      // 2 * hop
    float bandWidthErb;      // band spacing on the ERB-rate scale
    int32_t overlapSize;     // windowSize - hopSize
    int32_t historySizeOut;  // floor(0.05 fs) + overlapSize: bounds the rear delay
    int32_t zeroPad;         // (fftSize - windowSize) / 2
    int32_t numBins;         // fftSize / 2 + 1
    int32_t historySizeIn;   // (windowSize / hopSize - 1) * hopSize
    int32_t reserved[5];
};

// User-level parameters: thirty-three 32-bit words, passed by value.
struct sfm_params {
    uint32_t flags;
    float focus;
    float widthCoef;         // written by sfm_solve_width from "Width"
    float rearWidthCoef;     // written by sfm_solve_width from "Rear Width"
    float direction;         // degrees, counter-clockwise positive
    float tiltAngle;         // degrees
    float rearTiltAngle;     // degrees
    float sideBeamAngle;     // degrees
    float beamOverlap;
    float micResponseLR;     // omni share r of r + (1 - r) cos(theta)
    float micResponseC;
    float micResponseLsRs;
    float diffGainDb;
    float gainLR;            // dB
    float gainC;
    float gainLsRs;
    float gainLfe;
    int32_t muteLR;
    int32_t muteC;
    int32_t muteLsRs;
    int32_t muteLfe;
    float rearDelay;         // ms
    float rearLowpass;       // Hz
    float bandLimitA;        // Hz: lower edge of the beamshaping range
    float bandLimitB;        // Hz: upper edge of the beamshaping range
    float bandLimitC;        // Hz: diffuser split
    float bandLimitD;        // Hz: mic-type-2 estimator range
    float bandLimitE;
    float bandLimitF;
    int32_t format;          // output channel order, 0..9
    int32_t micType;         // 0..3
    float capsuleSpacingMm;
    int32_t lfeMode;         // 0..5
};

// Peak meters of the last hop.
struct sfm_meters {
    float input[SFM_MAX_INPUTS];
    float output[SFM_MAX_CHANNELS];
};

// Polar responses for the editor's display.
struct sfm_response {
    int32_t numChannels;
    int32_t numPoints;                 // 180
    float direction;                   // rad
    float tilt;                        // rad
    float rearTilt;                    // rad
    int32_t channelType[SFM_MAX_CHANNELS];
    int32_t channelMuted[SFM_MAX_CHANNELS];
    float angle[SFM_RESPONSE_POINTS];  // rad, 2 pi k / 180
    float response[SFM_MAX_CHANNELS * SFM_RESPONSE_POINTS]; // 0..1, channel-major
};

// A real transform of a fixed power-of-two length with its tables.
struct sfm_fft {
    int32_t size;        // N
    float* cosTable;     // cos(2 pi k / N), k < N
    float* sinTable;     // -sin(2 pi k / N), k < N
    int32_t* bitrev;     // bit-reversal permutation of N / 2
    float* work;         // 2 N floats of scratch
    float* twiddle;      // per-stage twiddles of the half-length complex transform
};

// Engine state: one per instance, zeroed by sfm_init.
struct sfm_state {
    sfm_setup setup;                   // the working setup
    uint32_t flags;
    int32_t micType;
    int32_t numDecoded;                // decoded (virtual microphone) channels
    int32_t numEngineOutputs;          // engine output channels of the layout (decoded + LFE)
    int32_t fatal;                     // non-zero: a configuration error, sfm_process outputs silence
    uint32_t notices;                  // SFM_NOTICE_* bits raised since the caller last cleared them

    // Analysis bands.
    int32_t numBands;
    int32_t bandEdge[SFM_MAX_BANDS];        // upper bin edge (exclusive) per band
    int32_t bandFirstBin[SFM_MAX_BANDS];
    int32_t bandNumBins[SFM_MAX_BANDS];
    int32_t bandWeightOffset[SFM_MAX_BANDS];
    int32_t numBandWeights;
    float* bandWeights;                     // numBandWeights

    // Decode design, per engine channel.
    float sectorStart[SFM_MAX_CHANNELS];    // rad
    float sectorEnd[SFM_MAX_CHANNELS];      // rad
    int32_t channelType[SFM_MAX_CHANNELS];
    float centre[SFM_MAX_CHANNELS];         // rad
    float elevation[SFM_MAX_CHANNELS];      // rad
    float lookVec[SFM_MAX_CHANNELS][3];
    float sidePlusVec[SFM_MAX_CHANNELS][3];
    float sideMinusVec[SFM_MAX_CHANNELS][3];
    float beamSharpness[SFM_MAX_CHANNELS];  // beam-table column 1
    float beamColB[SFM_MAX_CHANNELS];       // column 2
    float beamColC[SFM_MAX_CHANNELS];       // column 3
    float beamColD;                         // column 4 (diffuse coherence of neighbouring beams)
    float beamColE;                         // column 5 (of the outer pair)
    float normFirstOrder[SFM_MAX_CHANNELS];
    float normBeam[SFM_MAX_CHANNELS];
    float lookDirection;                    // rad
    float tilt;                             // rad
    float rearTilt;                         // rad
    float sideBeamAngle;                    // rad
    float beamOverlap;
    float oneMinusMicResponse[3];           // L/R, C, Ls/Rs
    float micResponse[3];                   // L/R, C, Ls/Rs

    // Band indices of the six band limits (A..F).
    int32_t bandLimitIndex[6];

    // Gains and the surround path, per engine channel.
    float diffuseGain;                      // g_d
    float directGain;                       // g_i
    float capsuleSpacingMm;
    float channelGain[SFM_MAX_CHANNELS];    // linear output gain
    float channelOn[SFM_MAX_CHANNELS];      // 0 when muted
    int32_t rearDelaySamples[SFM_MAX_CHANNELS];
    float rearDelayClippedMs;               // the request held at the history's end (-1: none)
    float rearLowpassGain[SFM_MAX_BANDS];
    const int32_t* channelMap;              // output channel i is engine channel channelMap[i]

    // STFT.
    float* window;                          // windowSize
    sfm_fft fft;                            // fftSize

    // Diffuser.
    int32_t diffuserSize;                   // block-convolution length
    int32_t diffuserBins;
    sfm_fft diffuserFft;
    float* diffuserFilterRe[SFM_MAX_DECODED];
    float* diffuserFilterIm[SFM_MAX_DECODED];

    // LFE.
    int32_t lfeOrder;                       // 2 or 3
    double lfeA[3];                         // a1..aN (the leading 1 not stored)
    double lfeB[4];                         // b0..bN; the filter runs in double (sfm_lfe_process)
};

// Work buffers: allocated by sfm_create, cleared by sfm_reset.
struct sfm_buffers {
    int32_t allocated;
    int32_t decodedCapacity;                // decoded channels the per-channel arrays were sized for
                                            // (0: sized for the numDecoded of sfm_create)

    float* historyIn[SFM_MAX_INPUTS];       // overlapSize + hopSize; newest hop at overlapSize
    float* historyOut[SFM_MAX_CHANNELS];    // historySizeOut + hopSize

    // Spectra, numBins each.
    float* specRe[SFM_MAX_INPUTS];          // S0..S3
    float* specIm[SFM_MAX_INPUTS];
    float* prevS0Re;
    float* prevS0Im;
    float* outRe;
    float* outIm;
    float* scratch;                         // fftSize

    // Inter-hop coherence of S0.
    float* hopCrossRe;                      // numBins
    float* hopCrossIm;
    float* hopPowCur;                       // numBands
    float* hopPowPrev;
    float* hopCoherence;

    // Pair statistics, numBands * numDecoded * 3 each (per channel and pair, bands contiguous).
    float* pairPowA;
    float* pairPowB;
    float* pairCrossRe;
    float* pairCrossIm;
    float* pairCoherence;                   // real-part coherence
    float* pairCoherenceMag;                // magnitude coherence

    // Gain stage, per decoded channel and band.
    float* gainPrev;                        // numBands * numDecoded
    float* bandWeights4;                    // numBands * numDecoded * 4: w+, G, w-, fourth
    float* diffuseWeights;                  // numBands * numDecoded * 3

    // Capsule-spacing equaliser, numBins each.
    float* eqPhaseRe;
    float* eqPhaseIm;
    float* eqGain;
    float* mt2SmoothA;                      // 3 * numBins
    float* mt2SmoothB;

    // Diffuser.
    float* diffuseSynth[SFM_MAX_DECODED];   // windowSize + hopSize
    float* diffuseOverlap[SFM_MAX_DECODED]; // diffuserSize
    float* diffuseScratch;                  // diffuserSize
    float* diffuseSpecRe;                   // diffuserSize / 2 + 1
    float* diffuseSpecIm;

    // Delay crossfade per engine channel.
    float newDelay[SFM_MAX_CHANNELS];
    float curDelay[SFM_MAX_CHANNELS];
    float fadeWeight[SFM_MAX_CHANNELS];

    double lfeY[3];                         // LFE filter outputs y[n-1], y[n-2], y[n-3]

    uint64_t hopCounter;
};

// Block-size adaptation ring (one multichannel ring).
struct sfm_fifo {
    int32_t numChannels;
    int32_t size;
    int32_t writePos;
    int32_t readPos;
    int32_t freeCount;
    int32_t fillCount;
    float* channel[SFM_MAX_CHANNELS];
};

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------
int sfm_setup_init(sfm_setup* setup, float sampleRate);
int sfm_params_default(sfm_params* params);
int sfm_init(sfm_state* st, sfm_buffers* buf, sfm_setup* setup, sfm_params params,
             sfm_meters* meters, sfm_response* response);
int sfm_create(sfm_state* st, sfm_buffers* buf, sfm_setup* setup, sfm_params params,
               sfm_meters* meters, sfm_response* response);
// Returns the SFM_NOTICE_* bits of this call (0: all applied as asked).
uint32_t sfm_set_params(sfm_state* st, sfm_buffers* buf, sfm_params params);
// Width coefficients from angles (radians): widthArg is twice the left front
// channel's centre, rearArg the surround pair's opening; depends on the layout
// of `params` only. Any output pointer may be null.
void sfm_solve_width(sfm_params params, float widthArg, float* outWidthCoef, float* outRearOpening,
                     float rearArg, float* outRearCoef);
void sfm_reset(sfm_state* st, sfm_buffers* buf, sfm_meters* meters);
void sfm_free(sfm_state* st, sfm_buffers* buf, sfm_meters* meters, sfm_response* response);
void sfm_process(sfm_state* st, sfm_buffers* buf, const void* inputs, void* outputs,
                 sfm_meters* meters);
void sfm_compute_response(sfm_state* st, sfm_response* response);
// One line of text for a notice bit (no newline); "" for an unknown bit.
const char* sfm_notice_text(uint32_t notice);

// Ring buffers.
int sfm_fifo_open(sfm_fifo* f, int channels, int size, int latency);
void sfm_fifo_close(sfm_fifo* f);
int sfm_fifo_pair_open(sfm_fifo* in, sfm_fifo* out, int inChannels, int outChannels,
                       int maxBlock, int hop, int* outSize, int* outLatency);
void sfm_fifo_pair_close(sfm_fifo* in, sfm_fifo* out);
// Back to a freshly opened pair: an empty input ring and the output ring
// holding exactly `latency` samples of silent pre-fill, so the delay through
// the rings is again that latency and no old audio is replayed. The
// positions go back to where opening put them (a pre-fill ends at position
// 0): whole hops read and written in place only fit from hop-aligned
// positions. Allocates nothing.
void sfm_fifo_pair_reset(sfm_fifo* in, sfm_fifo* out, int latency);
int sfm_fifo_write(sfm_fifo* f, float** channels, unsigned n);
int sfm_fifo_read(sfm_fifo* f, float** channels, unsigned n);
unsigned sfm_fifo_read_ptrs(sfm_fifo* f, float** ptrs);
unsigned sfm_fifo_write_ptrs(sfm_fifo* f, float** ptrs);
// Copies up to `count` samples of `channels` caller buffers, from `offset`
// on, into the ring (a null buffer writes silence); returns the samples
// taken, fewer when the ring is full. Allocates nothing.
int sfm_fifo_write_from(sfm_fifo* f, const float* const* in, int channels, int offset, int count);
// Copies up to `count` samples from the ring into `channels` caller
// buffers from `offset` on (a null buffer is skipped; a channel the ring
// lacks gives silence); returns the samples given, fewer when the ring runs
// dry. Allocates nothing.
int sfm_fifo_read_into(sfm_fifo* f, float* const* out, int channels, int offset, int count);
