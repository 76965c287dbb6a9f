// Functions shared between the engine's own files. Not part of the public API.
#pragma once

#include "sfm_api.h"

#include <cstdio>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define SFM_HAVE_MXCSR 1
#endif

// Diagnostics: "[SFM] file "sfm_api", line N: ..." on standard error.
#define SFM_MODULE_NAME "sfm_api"

// SFM_PI rounded to float, for the angle arithmetic done in float.
constexpr float sfm_pi_f = static_cast<float>(SFM_PI);

// Time constants (ms) of the per-band smoothing: the statistics of changing
// sound and the main gain follow within 50 ms, the statistics of stationary
// sound (high inter-hop coherence) within 100 ms. About five hops and ten.
constexpr float sfm_smoothing_fast_ms = 50.0f;
constexpr float sfm_smoothing_slow_ms = 100.0f;

// ---------------------------------------------------------------------------
// FFT (sfm_fft.cpp): radix-2 real transform through a half-length complex one.
// ---------------------------------------------------------------------------
// Allocates the tables for length n (a power of two >= 4). 0, or SFM_ERR_MEMORY.
int sfm_fft_init(sfm_fft* fft, int n);
void sfm_fft_free(sfm_fft* fft);
// n real samples -> n/2 + 1 bins, every bin scaled by 1/n. `in` is not modified.
void sfm_fft_forward(sfm_fft* fft, const float* in, float* re, float* im);
// n/2 + 1 bins -> n real samples, unscaled (forward then inverse is the identity).
void sfm_fft_inverse(sfm_fft* fft, const float* re, const float* im, float* out);

// ---------------------------------------------------------------------------
// Bands (sfm_bands.cpp)
// ---------------------------------------------------------------------------
// Builds the ERB bands for st->setup into st (edges, first bins, counts, weight
// offsets). With weights null it only counts; returns the number of weights.
// Band b owns bins [bandEdge[b-1], bandEdge[b]) (from 0 for the first band);
// its weight run covers bins bandFirstBin[b] ... + bandNumBins[b] - 1, i.e.
// its own bins plus the crossfades into its neighbours, with the weights at
// bandWeights + bandWeightOffset[b]. Over all bands the weights sum to 1 per bin.
int sfm_bands_build(sfm_state* st, float* weights);
// The first band whose upper bin edge is >= N f / fs; numBands when above all.
int sfm_band_lookup(const sfm_state* st, float freqHz);

// ---------------------------------------------------------------------------
// Constant tables (sfm_tables.cpp), computed from their designs.
// ---------------------------------------------------------------------------
enum { SFM_BEAM_ROWS = 128, SFM_BEAM_COLS = 5 };
// The beam table: 128 rows of 5 columns, rows indexed by beam width.
const float (*sfm_beam_table())[SFM_BEAM_COLS];
// Row for a beam width in radians: round((w - pi/6) * 72.00213), clamped.
int sfm_beam_row(float widthRad);

// The LFE's Butterworth low-pass of `order` (2 or 3) at the normalised
// corner `corner` = 2 fc / fs (0 < corner < 1, 1 = Nyquist): a1..aN into a
// (the leading 1 not stored), b0..bN into b. 0, or -1 for another order or a
// corner outside (0, 1). The coefficients stay in double: rounded to float,
// 1 + a1 + a2 + a3 (about 1e-8 at 0.000625) loses most of its digits and the
// third order's DC gain falls by up to 18 dB.
int sfm_lfe_design(int order, float corner, double a[3], double b[4]);

// De-correlation filter k (0..9): SFM_DIFFUSER_SIZE taps.
const float* sfm_decorrelation_filter(int k);

// The 30 low-frequency gains on the figure-of-eight spectrum (bin 0 first).
enum { SFM_CAPSULE_GAIN_BINS = 30 };
extern const float sfm_capsule_gains[SFM_CAPSULE_GAIN_BINS];

// ---------------------------------------------------------------------------
// Decode design (sfm_layout.cpp), run by sfm_set_params.
// ---------------------------------------------------------------------------
// Layout, width, beam design, two-pass normalisation and vectors for `params`.
// Returns 0, or -1 for an unknown format (the caller makes it fatal).
int sfm_design(sfm_state* st, const sfm_params* params);
// Beamshaped pattern B(a, theta, k, o).
float sfm_beam_pattern(float a, float theta, float k, float o);
// Capsule-spacing equaliser curves into buf (eqPhaseRe/Im, eqGain), from the
// sample rate, fftSize and st->capsuleSpacingMm. Called by sfm_create.
void sfm_equaliser_build(sfm_state* st, sfm_buffers* buf);

// ---------------------------------------------------------------------------
// Surround path and LFE (sfm_surround.cpp)
// ---------------------------------------------------------------------------
// Rear delays (target per engine channel) and the rear lowpass band gains.
// Only with allocated buffers. Returns SFM_NOTICE_REAR_DELAY_CLIPPED when the
// delay was held at the end of the output history, else 0.
uint32_t sfm_surround_set_params(sfm_state* st, sfm_buffers* buf, const sfm_params* params);
// The LFE filter of one hop into the last engine channel's output history.
void sfm_lfe_process(sfm_state* st, sfm_buffers* buf);
// Output meters of the hop the output stage is about to read.
void sfm_output_meters(const sfm_state* st, const sfm_buffers* buf, sfm_meters* meters);
// Reads one hop per output channel (delay crossfade), converts to the output
// format, shifts the histories and advances the crossfades.
void sfm_output_stage(sfm_state* st, sfm_buffers* buf, void* outputs);

// ---------------------------------------------------------------------------
// Diffuser (sfm_diffuser.cpp)
// ---------------------------------------------------------------------------
// Length of the block convolution for a setup: the power of two from 4096 up
// that holds one hop plus the filter's tail, and at least one transform.
int sfm_diffuser_block_length(const sfm_setup* s);
// The spectra of all ten filters at that length, into the allocated arrays.
// 0, or SFM_ERR_SETUP (fatal, with a message) when more than 10 channels are
// decoded.
int sfm_diffuser_design(sfm_state* st, sfm_buffers* buf);
// Per hop and decoded channel k: synthesises the diffuse spectrum (re, im),
// convolves it with filter k and adds the result to k's output history.
void sfm_diffuser_process(sfm_state* st, sfm_buffers* buf, int k, const float* re, const float* im);

// ---------------------------------------------------------------------------
// Gain stage (sfm_gain.cpp), per decoded channel of one hop.
// ---------------------------------------------------------------------------
// Band cross-spectral matrix of the signals S0, S1, S2 for one hop: per band
// the sums over its bins of S_m conj(S_n). Every beam is a real combination
// of the three signals, so the band powers and cross-spectra of any beams
// follow from it without forming the beams bin by bin (double precision: a
// beam's power can be a small difference of large terms).
struct sfm_band_cov {
    double re[6]; // 00 11 22 01 02 12 (real parts)
    double im[3]; // 01 02 12 (imaginary parts)
};
// Updates the pair statistics of channel i, whose beams A+, M, A- are the
// combinations beams[0..2] of S0, S1, S2, and computes its band weights
// (buf->bandWeights4) and diffuse weights.
void sfm_gain_stage(sfm_state* st, sfm_buffers* buf, int i, const sfm_band_cov* cov, const float beams[3][3]);

// ---------------------------------------------------------------------------
// Stages of the hop (sfm_process.cpp) shared by every entry point that
// starts from the capsules: the decoder's sfm_process and sfm_ambix_process.
// ---------------------------------------------------------------------------
// Flush-to-zero and denormals-are-zero for the scope, previous mode restored.
class sfm_denormal_guard {
public:
    sfm_denormal_guard()
    {
#ifdef SFM_HAVE_MXCSR
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040u); // FTZ (bit 15) | DAZ (bit 6)
#endif
    }
    ~sfm_denormal_guard()
    {
#ifdef SFM_HAVE_MXCSR
        _mm_setcsr(saved_);
#endif
    }
    sfm_denormal_guard(const sfm_denormal_guard&) = delete;
    sfm_denormal_guard& operator=(const sfm_denormal_guard&) = delete;

private:
    unsigned saved_ = 0;
};

// Shifts the analysis histories (st->setup.numInputs of them) and appends
// the new hop, converted to float, non-numbers cleared and runaway samples
// clipped; input peaks into meters (may be null).
void sfm_input_stage(sfm_state* st, sfm_buffers* buf, const void* inputs, sfm_meters* meters);
// Front cardioid, figure-of-eight, rear cardioid -> S0 (pressure), S1
// (sqrt(2) x front-back gradient), S2 (sqrt(2) x left-right gradient), in
// place in the newest hop of the analysis histories.
void sfm_capsule_conversion(sfm_state* st, sfm_buffers* buf);
// Windowed forward transform of the histories of S0..S2 into specRe/specIm.
void sfm_analysis(sfm_state* st, sfm_buffers* buf);
// The figure-of-eight's bass roll-off compensated on the spectrum of S2.
void sfm_figure_of_eight_gains(sfm_state* st, sfm_buffers* buf);
// Inverse transform of outRe/outIm, windowed and overlap-added into the
// newest window of historyOut[c] (at historySizeOut - overlapSize).
void sfm_synthesis(sfm_state* st, sfm_buffers* buf, int c);
