// Diffuser: the diffuse share of each decoded channel, resynthesised from its
// spectrum, is convolved with the channel's own de-correlation filter (a short
// noise burst) so that the ambience in the loudspeakers becomes mutually
// uncorrelated.
//
// The convolution is a block (overlap-add) convolution: one hop of diffuse
// signal, zero-padded to the block length L, times the filter's precomputed
// L-point spectrum. It is exact (linear, not circular) when
// hop + 2880 - 1 <= L. L is 4096 up to a hop of 1024 samples (up to 102.4
// kHz); for longer hops L is the next power of two that holds hop plus the
// filter tail and one transform: 8192 up to 384 kHz (hop 4096).
#include "sfm_internal.h"

#include <cstring>

namespace {

enum { kFilterTaps = 2880 }; // taps 0 ... 2879 of each filter can be non-zero

} // namespace

int sfm_diffuser_block_length(const sfm_setup* s)
{
    int n = SFM_DIFFUSER_SIZE;
    while (n < s->hopSize + kFilterTaps - 1 || n < s->fftSize)
        n *= 2;
    return n;
}

int sfm_diffuser_design(sfm_state* st, sfm_buffers* buf)
{
    if (st->numDecoded > SFM_NUM_DECORRELATORS) {
        fprintf(stdout, "Number of de-correlation filters smaller than number of output channels!\n");
        fflush(stdout);
        st->fatal = 1;
        return SFM_ERR_SETUP;
    }
    // Every filter is prepared, not only the current layout's: a format change
    // after set-up may decode more channels.
    const int size = st->diffuserSize;
    float* x = buf->diffuseScratch;
    for (int k = 0; k < SFM_NUM_DECORRELATORS; ++k) {
        // The filter's plain DFT: the forward transform carries 1/size.
        memset(x, 0, static_cast<size_t>(size) * sizeof(float));
        memcpy(x, sfm_decorrelation_filter(k), SFM_DIFFUSER_SIZE * sizeof(float));
        sfm_fft_forward(&st->diffuserFft, x, st->diffuserFilterRe[k], st->diffuserFilterIm[k]);
        const float scale = static_cast<float>(size);
        for (int i = 0; i < st->diffuserBins; ++i) {
            st->diffuserFilterRe[k][i] *= scale;
            st->diffuserFilterIm[k][i] *= scale;
        }
    }
    memset(x, 0, static_cast<size_t>(size) * sizeof(float));
    return 0;
}

void sfm_diffuser_process(sfm_state* st, sfm_buffers* buf, int k, const float* re, const float* im)
{
    if (k < 0 || k >= st->numDecoded || k >= SFM_NUM_DECORRELATORS || !buf->diffuseSynth[k])
        return;
    const sfm_setup& s = st->setup;
    const int hop = s.hopSize;
    const int overlap = s.overlapSize;
    const int size = st->diffuserSize;
    const int bins = st->diffuserBins;
    float* x = buf->diffuseScratch;
    float* synth = buf->diffuseSynth[k];
    float* tail = buf->diffuseOverlap[k];

    // STFT synthesis of the diffuse spectrum into the channel's diffuse buffer.
    sfm_fft_inverse(&st->fft, re, im, x);
    const float* y = x + s.zeroPad;
    const float* w = st->window;
    for (int i = 0; i < overlap; ++i)
        synth[i] += w[i] * y[i];
    for (int i = overlap; i < s.windowSize; ++i)
        synth[i] = w[i] * y[i];

    // One hop, zero-padded, through the filter.
    memcpy(x, synth, static_cast<size_t>(hop) * sizeof(float));
    memset(x + hop, 0, static_cast<size_t>(size - hop) * sizeof(float));
    float* xr = buf->diffuseSpecRe;
    float* xi = buf->diffuseSpecIm;
    sfm_fft_forward(&st->diffuserFft, x, xr, xi);
    const float* hr = st->diffuserFilterRe[k];
    const float* hi = st->diffuserFilterIm[k];
    for (int i = 0; i < bins; ++i) {
        const float a = xr[i], b = xi[i];
        xr[i] = a * hr[i] - b * hi[i];
        xi[i] = a * hi[i] + b * hr[i];
    }
    sfm_fft_inverse(&st->diffuserFft, xr, xi, x);
    for (int i = 0; i < size; ++i)
        tail[i] += x[i];

    // The completed hop joins the main synthesis of the same call.
    float* out = buf->historyOut[k] + (s.historySizeOut - overlap);
    for (int i = 0; i < hop; ++i)
        out[i] += tail[i];

    memmove(synth, synth + hop, static_cast<size_t>(s.windowSize - hop) * sizeof(float));
    memmove(tail, tail + hop, static_cast<size_t>(size - hop) * sizeof(float));
    memset(tail + size - hop, 0, static_cast<size_t>(hop) * sizeof(float));
}
