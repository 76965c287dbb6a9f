// sfm_binaural: loudspeaker channels rendered to two ears through
// head-related impulse responses, for judging a decode on headphones.
//
// Each input channel is a loudspeaker on the horizontal plane at a given
// azimuth (degrees, counterclockwise from the front: left is positive); the
// LFE channel goes to both ears through a lowpass. The head can turn (yaw,
// positive to the left); the filters follow without clicks. Uniformly
// partitioned FFT convolution on the engine's FFT, at a fixed internal block
// whatever the caller's block size, so the output does not depend on it.
//
// Directions between the measured ones: each response is stored aligned to
// its onset, with the onset (the interaural time difference) kept apart; a
// direction between two measured ones mixes their aligned responses and
// delays the mix by the interpolated onset, so the time difference moves
// continuously and the mix does not comb-filter. (The usual treatment of
// measured sets, e.g. Katz and Noisternig, JASA 135, 2014, on onset-based
// ITD estimates.)
//
// Same style as sfm_api: plain functions over caller-owned records; the
// create/prepare functions allocate, everything named *_process or *_set_*
// and sfm_binaural_use_hrtf allocate nothing, lock nothing and may run on the
// audio thread. Results are 0 or a negative SFM_ERR_* code of sfm_api.h.
#pragma once

#include "sfm_api.h"

#include <cstdint>

enum {
    SFM_BINAURAL_MAX_SPEAKERS = 6,
    // Limits on what a set may hold: responses of at most 100 ms and 16384
    // taps (longer files are room responses, not head-related ones), 1 to
    // 1440 directions.
    SFM_HRIR_MAX_TAPS = 16384,
    SFM_HRIR_MAX_DIRECTIONS = 1440,
};

// A set of head-related impulse responses on a horizontal ring, at its own
// sample rate: as compiled in or as read from a file.
struct sfm_hrir_ring {
    float sampleRate;
    int32_t length;          // taps per response
    int32_t numDirections;   // ring directions, ascending azimuth
    const float* azimuth;    // degrees, counterclockwise from the front, in (-180, 180]
    const float* left;       // numDirections x length, direction-major
    const float* right;
    const float* delayLeft;  // per direction: samples (at sampleRate) the response
    const float* delayRight; // starts late, as SOFA files store them; null: none
    const char* name;        // shown to the user
};

// The built-in set: MIT KEMAR, normal pinna (Gardner and Martin, 1994),
// its horizontal plane as measured (72 directions, 5 degree steps, 512 taps
// at 44.1 kHz). Its level is set, as every set's, by sfm_hrtf_prepare.
const sfm_hrir_ring* sfm_hrir_builtin();

// A ring read from a SOFA file, owning its storage.
struct sfm_hrir_file {
    sfm_hrir_ring ring;
    float* storage;
    char name[256];
};
// True where this build can read SOFA files (Linux builds with libmysofa).
bool sfm_hrir_sofa_supported();
// Reads the horizontal plane of a SOFA file: 72 directions in 5 degree steps
// at the file's own rate, each interpolated by libmysofa from the nearest
// measurements. On failure returns a negative code, leaves `file` empty and
// writes a one-line reason into `message`. Not on the audio thread.
int sfm_hrir_read_sofa(sfm_hrir_file* file, const char* path, char* message, int messageSize);
void sfm_hrir_file_free(sfm_hrir_file* file);

// A ring prepared for one sample rate (resampled, aligned to the onsets,
// normalised); allocated off the audio thread. Independent of the ring it
// came from once prepared.
//
// Level: every set is scaled so that the frontal direction's response,
// averaged over both ears in power from 250 Hz to 1 kHz, is 0 dB. A centre
// loudspeaker is then heard at about its own level, and switching sets does
// not jump in loudness. (Below 250 Hz the measuring loudspeaker rolls off;
// above 1 kHz the pinna shapes the response.)
struct sfm_hrtf {
    float sampleRate;
    int32_t length;          // taps per aligned response
    int32_t numDirections;
    int32_t filterLength;    // taps a rendered response can need: length + the largest onset
    float* azimuth;          // degrees, ascending
    float* left;             // numDirections x length, each aligned so its onset is at `margin`
    float* right;
    float* onsetLeft;        // per direction: samples by which the aligned response is
    float* onsetRight;       // delayed when rendered (>= -margin)
    int32_t margin;          // taps kept before each onset
    float* equaliser;        // the filter every response went through (diffuse-field
    int32_t equaliserLength; // equalisation and level, minimum phase), at sampleRate
    char name[256];
};
// 0, SFM_ERR_SETUP for an empty or inconsistent ring (or one beyond the
// limits above), SFM_ERR_SAMPLE_RATE outside 8 to 384 kHz, SFM_ERR_MEMORY.
int sfm_hrtf_prepare(sfm_hrtf* hrtf, const sfm_hrir_ring* ring, float sampleRate);
void sfm_hrtf_free(sfm_hrtf* hrtf);
// The two ring directions around `azimuthDeg` (any angle) and the weight of
// the second: the direction is (1 - weight) of j0 and weight of j1.
void sfm_hrtf_direction(const sfm_hrtf* hrtf, float azimuthDeg, int* j0, int* j1, float* weight);

// The renderer. Fields are the renderer's own; callers use the functions.
struct sfm_binaural {
    float sampleRate;
    int32_t numSpeakers;
    int32_t lfeIndex;        // -1: none
    float azimuth[SFM_BINAURAL_MAX_SPEAKERS];
    const sfm_hrtf* hrtf;    // the set the filters are computed from
    const sfm_hrtf* pending; // the set asked for, taken at the next partition
    float yaw, gain;         // as last asked for
    int32_t lfeOn;

    int32_t partition;       // B: samples per partition, the latency
    int32_t numPartitions;   // K: partitions per filter
    int32_t shiftSize;       // transform length of the onset delay
    int32_t fill;            // samples of the current partition taken so far
    int32_t fdlPos;          // newest spectrum in the delay line
    int32_t current;         // filter set in use (0 or 1)
    int32_t filtersValid;    // 0: compute at the next partition without crossfade
    float filterYaw;         // the yaw the current filters were computed for
    float appliedGain;       // the gain at the end of the last partition
    float appliedLfe;        // the LFE's gain at the end of the last partition
    double lfeA[2][2], lfeB[2][3], lfeZ[2][2]; // two biquads, transposed direct form II
    sfm_fft fft;             // 2B
    sfm_fft shiftFft;        // shiftSize
    float* work;             // one allocation; the pointers below point into it
    float* input;            // speakers x B: the partition being collected
    float* history;          // speakers x 2B: the last two partitions
    float* fdlRe;            // speakers x K x (B + 1)
    float* fdlIm;
    float* filterRe[2];      // speakers x 2 ears x K x (B + 1), two sets
    float* filterIm[2];
    float* accRe;            // 4 x (B + 1): two ears, current and new set
    float* accIm;
    float* time;             // 2 x 2B: inverse transforms
    float* output;           // 2 x B: the partition being played
    float* shift;            // shiftSize + 2 (shiftSize / 2 + 1): onset delay scratch
    float* fade;             // B: the crossfade's raised cosine
};

// Allocates for up to SFM_BINAURAL_MAX_SPEAKERS channels at `sampleRate`
// (8 to 384 kHz) with responses up to the prepared set's filterLength; the
// set's rate must be `sampleRate`. The internal partition is the power of
// two of at least 10 ms (512 samples at 44.1 and 48 kHz).
int sfm_binaural_create(sfm_binaural* b, float sampleRate, const sfm_hrtf* hrtf);
void sfm_binaural_free(sfm_binaural* b);
// Taps of the longest response the renderer holds; a set whose filterLength
// exceeds it is cut there by sfm_binaural_use_hrtf (create anew to hold it).
int sfm_binaural_capacity(const sfm_binaural* b);
// The loudspeakers: `count` channels (1 to 6) at `azimuthDeg`, channel
// `lfeIndex` the LFE (-1 for none). Not on the audio thread while processing.
// A changed layout clears the renderer's history.
int sfm_binaural_set_layout(sfm_binaural* b, int count, const float* azimuthDeg, int lfeIndex);
// Switches to another prepared set (same sample rate; another rate or null
// is ignored), crossfaded at the next partition. The old set must stay alive
// until sfm_binaural_hrtf_in_use stops returning it. Audio thread (or while
// not processing), like sfm_binaural_hrtf_in_use.
void sfm_binaural_use_hrtf(sfm_binaural* b, const sfm_hrtf* hrtf);
const sfm_hrtf* sfm_binaural_hrtf_in_use(const sfm_binaural* b);
// Head yaw in degrees, output gain (linear), LFE on/off. Taken at the next
// partition boundary and crossfaded over one partition.
void sfm_binaural_set_params(sfm_binaural* b, float yawDeg, float gain, int lfeOn);
// Renders n samples (any n) of the layout's channels to `left` and `right`.
void sfm_binaural_process(sfm_binaural* b, const float* const* speakers, float* left, float* right, int n);
// Delay of the output behind the input, in samples: one partition.
int sfm_binaural_latency(const sfm_binaural* b);
void sfm_binaural_reset(sfm_binaural* b);
