// sfm_ambix: the capsules of a double mid-side array as first-order
// Ambisonics in the AmbiX convention (ACN channel order W, Y, Z, X; SN3D
// normalisation).
//
// The array is a horizontal first-order microphone: its pressure and its two
// horizontal gradients are the B-format components W, X and Y (Z, the
// vertical gradient, has no capsule and stays silent). The capsules are
// matched exactly as the decoder matches them (sfm_process): the same
// conversion S0 = FC + RC, S1 = sqrt(2) (FC - RC), S2 = 1.8385 F8, the same
// short-time transform and the same figure-of-eight bass gains, so that
//   W = S0,  X = S1 / sqrt(2),  Y = S2 / sqrt(2)
// and a plane wave from azimuth theta (counter-clockwise, left positive)
// gives W : Y : X = 1 : sin theta : cos theta (SN3D: first-order components
// have the pressure's gain on axis). See Zotter and Frank, "Ambisonics"
// (Springer 2019), sections 2.2 and 4.9, for the order, the normalisation and
// the first-order array as B-format.
//
// The decoder's Direction is a rotation about the vertical axis: with an
// engine direction d (sfm_params::direction, counter-clockwise) the decoder's
// virtual microphones turn by d; here the sound field turns by -d instead, so
// a first-order decode of this output with its front at 0 hears what the
// decoder decodes with direction d. The rotation applies per hop on the
// spectra, as the decoder's look vectors do.
//
// Plain functions over a caller-owned record, like the decoder's: create,
// any number of set_direction / process / reset, free. process allocates
// nothing, takes no lock and flushes denormals for its duration.
#pragma once

#include "sfm_api.h"

// Output channels in ACN order.
enum {
    SFM_AMBIX_W = 0,
    SFM_AMBIX_Y = 1,
    SFM_AMBIX_Z = 2,
    SFM_AMBIX_X = 3,
    SFM_AMBIX_CHANNELS = 4,
};

struct sfm_ambix {
    sfm_state st;        // setup, window and transform (the decode design stays unused)
    sfm_buffers buf;     // analysis and output histories of W, Y, X, spectra, scratch
    float directionDeg;  // engine direction, degrees counter-clockwise
    float rotCos;        // the field turned by -direction: X' = c X + s Y, Y' = c Y - s X
    float rotSin;
    int32_t created;
};

// Builds the instance for `setup` (from sfm_setup_init; its sample rate,
// hop, transform and window sizes and sample formats are used, numInputs
// becomes 3 and numOutputs 4). The input may be any of the engine's sample
// formats; the output must be float (separate or interleaved). Returns 0, or
// SFM_ERR_SAMPLE_RATE, SFM_ERR_SETUP, SFM_ERR_MEMORY (the record then holds
// nothing but the setup, and sfm_ambix_process writes silence of its hop
// and output format; sfm_ambix_free is still allowed).
int sfm_ambix_create(sfm_ambix* a, sfm_setup* setup);
// Engine direction in degrees (counter-clockwise positive, as
// sfm_params::direction). A non-finite value leaves the direction as it is.
void sfm_ambix_set_direction(sfm_ambix* a, float degrees);
// Silence in every history: the next hop starts as after create.
void sfm_ambix_reset(sfm_ambix* a);
// One hop: numInputs capsule channels (front cardioid, figure-of-eight, rear
// cardioid) in, four channels W, Y, Z, X out, delayed by sfm_ambix_latency.
// A null input is silence; a null output channel is skipped. Before a
// successful create the output is silence.
void sfm_ambix_process(sfm_ambix* a, const void* inputs, void* outputs);
// Input-to-output delay in samples: one window less one hop (the decoder's).
int sfm_ambix_latency(const sfm_ambix* a);
void sfm_ambix_free(sfm_ambix* a);
