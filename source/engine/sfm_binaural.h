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
// Same style as sfm_api: plain functions over caller-owned records; the
// create/prepare functions allocate, everything named *_process or *_set_*
// and sfm_binaural_use_hrtf allocate nothing, lock nothing and may run on the
// audio thread. Results are 0 or a negative SFM_ERR_* code of sfm_api.h.
#pragma once

#include "sfm_api.h"

#include <cstdint>

enum {
    SFM_BINAURAL_MAX_SPEAKERS = 6,
};

// A set of head-related impulse responses on a horizontal ring, at its own
// sample rate: as compiled in or as read from a file.
struct sfm_hrir_ring {
    float sampleRate;
    int32_t length;        // taps per response
    int32_t numDirections; // ring directions, ascending azimuth
    const float* azimuth;  // degrees, counterclockwise from the front
    const float* left;     // numDirections x length, direction-major
    const float* right;
    const char* name;      // shown to the user
};

// The built-in set: MIT KEMAR, normal pinna (Gardner and Martin, 1994),
// its horizontal plane.
const sfm_hrir_ring* sfm_hrir_builtin();

// A ring read from a SOFA file, owning its storage.
struct sfm_hrir_file {
    sfm_hrir_ring ring;
    float* storage;
    char name[256];
};
// True where this build can read SOFA files.
bool sfm_hrir_sofa_supported();
// Reads the horizontal plane of a SOFA file. On failure returns a negative
// code, leaves `file` empty and writes a one-line reason into `message`.
int sfm_hrir_read_sofa(sfm_hrir_file* file, const char* path, char* message, int messageSize);
void sfm_hrir_file_free(sfm_hrir_file* file);

// A ring prepared for one sample rate and the renderer's partition size
// (resampled and aligned); allocated off the audio thread. Independent of the
// ring it came from once prepared.
struct sfm_hrtf {
    float sampleRate;
    int32_t length;        // taps per response at sampleRate
    int32_t numDirections;
    float* azimuth;        // degrees
    float* left;           // numDirections x length
    float* right;
    char name[256];
};
int sfm_hrtf_prepare(sfm_hrtf* hrtf, const sfm_hrir_ring* ring, float sampleRate);
void sfm_hrtf_free(sfm_hrtf* hrtf);

// The renderer. Fields are the renderer's own; callers use the functions.
struct sfm_binaural {
    float sampleRate;
    int32_t numSpeakers;
    int32_t lfeIndex;      // -1: none
    float azimuth[SFM_BINAURAL_MAX_SPEAKERS];
    const sfm_hrtf* hrtf;
    float yaw, gain;
    int32_t lfeOn;
    float* work;
};

// Allocates for up to SFM_BINAURAL_MAX_SPEAKERS channels at `sampleRate`
// (8 to 384 kHz) with responses up to the prepared set's length.
int sfm_binaural_create(sfm_binaural* b, float sampleRate, const sfm_hrtf* hrtf);
void sfm_binaural_free(sfm_binaural* b);
// The loudspeakers: `count` channels (1 to 6) at `azimuthDeg`, channel
// `lfeIndex` the LFE (-1 for none). Not on the audio thread while processing.
int sfm_binaural_set_layout(sfm_binaural* b, int count, const float* azimuthDeg, int lfeIndex);
// Switches to another prepared set (same sample rate), crossfaded. The set
// must stay alive until sfm_binaural_hrtf_in_use stops returning it.
void sfm_binaural_use_hrtf(sfm_binaural* b, const sfm_hrtf* hrtf);
const sfm_hrtf* sfm_binaural_hrtf_in_use(const sfm_binaural* b);
// Head yaw in degrees, output gain (linear), LFE on/off. Smoothed.
void sfm_binaural_set_params(sfm_binaural* b, float yawDeg, float gain, int lfeOn);
// Renders n samples (any n) of the layout's channels to `left` and `right`.
void sfm_binaural_process(sfm_binaural* b, const float* const* speakers, float* left, float* right, int n);
// Delay of the output behind the input, in samples.
int sfm_binaural_latency(const sfm_binaural* b);
void sfm_binaural_reset(sfm_binaural* b);
