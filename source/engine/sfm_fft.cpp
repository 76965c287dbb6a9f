// Real FFT of a power-of-two length N through a complex FFT of length M = N/2.
//
// The N real samples are packed as M complex values z[m] = x[2m] + i x[2m+1],
// transformed, and split into the spectra of the even and odd samples
// (the classic "two-for-one" real transform; e.g. Brigham, The Fast Fourier
// Transform, ch. 10; Numerical Recipes 12.3). The complex transform is an
// iterative decimation-in-time radix-2 FFT whose stages are fused in pairs
// (radix-2^2: three complex multiplications per four points, half the passes
// over memory). Data is kept in split format (separate real and imaginary
// arrays) and every fused stage reads its own contiguous twiddle run, so the
// inner loops are unit-stride and vectorise.
//
// Scaling: the forward transform multiplies every bin by 1/N, the inverse is
// unscaled, so forward followed by inverse is the identity.
#include "sfm_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

int log2_of(int n)
{
    int l = 0;
    while ((1 << l) < n)
        ++l;
    return l;
}

// The first fused stage (sub-transforms of length 1 -> 4): all twiddles are 1 or -i.
void stage_q1(float* __restrict re, float* __restrict im, int m)
{
    for (int s = 0; s < m; s += 4) {
        const float b0r = re[s] + re[s + 1], b0i = im[s] + im[s + 1];
        const float b1r = re[s] - re[s + 1], b1i = im[s] - im[s + 1];
        const float b2r = re[s + 2] + re[s + 3], b2i = im[s + 2] + im[s + 3];
        const float b3r = re[s + 2] - re[s + 3], b3i = im[s + 2] - im[s + 3];
        re[s] = b0r + b2r;
        im[s] = b0i + b2i;
        re[s + 2] = b0r - b2r;
        im[s + 2] = b0i - b2i;
        // b3 * (-i) = (b3i, -b3r)
        re[s + 1] = b1r + b3i;
        im[s + 1] = b1i - b3r;
        re[s + 3] = b1r - b3i;
        im[s + 3] = b1i + b3r;
    }
}

// A single radix-2 stage of length 2 (used first when log2(M) is odd).
void stage_r2(float* __restrict re, float* __restrict im, int m)
{
    for (int s = 0; s < m; s += 2) {
        const float ar = re[s], ai = im[s];
        const float br = re[s + 1], bi = im[s + 1];
        re[s] = ar + br;
        im[s] = ai + bi;
        re[s + 1] = ar - br;
        im[s + 1] = ai - bi;
    }
}

// One group of a fused stage: combines four sub-transforms of length q into
// one of length 4q. wa = W_{2q}^j, wb = W_{4q}^j (W_L = e^{-2 pi i / L}).
void group_fused(float* __restrict r0, float* __restrict i0, float* __restrict r1,
                 float* __restrict i1, float* __restrict r2, float* __restrict i2,
                 float* __restrict r3, float* __restrict i3, const float* __restrict war,
                 const float* __restrict wai, const float* __restrict wbr,
                 const float* __restrict wbi, int q)
{
    for (int j = 0; j < q; ++j) {
        const float ar = war[j], ai = wai[j];
        const float br = wbr[j], bi = wbi[j];
        // First radix-2 level: (x0, x1) and (x2, x3) with W_{2q}^j.
        const float t1r = r1[j] * ar - i1[j] * ai, t1i = r1[j] * ai + i1[j] * ar;
        const float t3r = r3[j] * ar - i3[j] * ai, t3i = r3[j] * ai + i3[j] * ar;
        const float b0r = r0[j] + t1r, b0i = i0[j] + t1i;
        const float b1r = r0[j] - t1r, b1i = i0[j] - t1i;
        const float b2r = r2[j] + t3r, b2i = i2[j] + t3i;
        const float b3r = r2[j] - t3r, b3i = i2[j] - t3i;
        // Second level with W_{4q}^j and W_{4q}^{j+q} = -i W_{4q}^j.
        const float tr = b2r * br - b2i * bi, ti = b2r * bi + b2i * br;
        const float ur = b3r * br - b3i * bi, ui = b3r * bi + b3i * br;
        r0[j] = b0r + tr;
        i0[j] = b0i + ti;
        r2[j] = b0r - tr;
        i2[j] = b0i - ti;
        // u * (-i) = (ui, -ur)
        r1[j] = b1r + ui;
        i1[j] = b1i - ur;
        r3[j] = b1r - ui;
        i3[j] = b1i + ur;
    }
}

// Forward complex FFT of length m on bit-reversed split data, in place.
void complex_fft(const sfm_fft* fft, float* re, float* im, int m)
{
    const int lm = log2_of(m);
    int q;
    if (lm & 1) {
        stage_r2(re, im, m);
        q = 2;
    } else {
        if (m >= 4)
            stage_q1(re, im, m);
        q = 4;
    }
    const float* tw = fft->twiddle;
    for (; q * 4 <= m; q *= 4) {
        const float* war = tw;
        const float* wai = tw + q;
        const float* wbr = tw + 2 * q;
        const float* wbi = tw + 3 * q;
        tw += 4 * q;
        for (int s = 0; s < m; s += 4 * q) {
            group_fused(re + s, im + s, re + s + q, im + s + q, re + s + 2 * q, im + s + 2 * q,
                        re + s + 3 * q, im + s + 3 * q, war, wai, wbr, wbi, q);
        }
    }
}

} // namespace

int sfm_fft_init(sfm_fft* fft, int n)
{
    if (!fft || n < 4 || (n & (n - 1)) != 0)
        return SFM_ERR_SETUP;
    sfm_fft_free(fft);
    const int m = n / 2;
    fft->size = n;
    fft->cosTable = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
    fft->sinTable = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
    fft->bitrev = static_cast<int32_t*>(calloc(static_cast<size_t>(m), sizeof(int32_t)));
    fft->work = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
    // The fused stages use 4q twiddles each, q = 2 or 4, 8 or 16, ... < m: fewer than 2m.
    fft->twiddle = static_cast<float*>(calloc(static_cast<size_t>(2 * m), sizeof(float)));
    if (!fft->cosTable || !fft->sinTable || !fft->bitrev || !fft->work || !fft->twiddle) {
        sfm_fft_free(fft);
        return SFM_ERR_MEMORY;
    }

    const double twoPi = 6.283185307179586476925286766559;
    for (int k = 0; k < n; ++k) {
        fft->cosTable[k] = static_cast<float>(std::cos(twoPi * k / n));
        fft->sinTable[k] = static_cast<float>(-std::sin(twoPi * k / n));
    }

    const int lm = log2_of(m);
    for (int i = 0; i < m; ++i) {
        int r = 0;
        for (int b = 0; b < lm; ++b)
            r |= ((i >> b) & 1) << (lm - 1 - b);
        fft->bitrev[i] = r;
    }

    float* tw = fft->twiddle;
    for (int q = (lm & 1) ? 2 : 4; q * 4 <= m; q *= 4) {
        for (int j = 0; j < q; ++j) {
            const double a = -twoPi * j / (2.0 * q);
            const double b = -twoPi * j / (4.0 * q);
            tw[j] = static_cast<float>(std::cos(a));
            tw[q + j] = static_cast<float>(std::sin(a));
            tw[2 * q + j] = static_cast<float>(std::cos(b));
            tw[3 * q + j] = static_cast<float>(std::sin(b));
        }
        tw += 4 * q;
    }
    return 0;
}

void sfm_fft_free(sfm_fft* fft)
{
    if (!fft)
        return;
    free(fft->cosTable);
    free(fft->sinTable);
    free(fft->bitrev);
    free(fft->work);
    free(fft->twiddle);
    memset(fft, 0, sizeof(*fft));
}

void sfm_fft_forward(sfm_fft* fft, const float* in, float* outRe, float* outIm)
{
    const int n = fft->size;
    const int m = n / 2;
    float* __restrict re = fft->work;
    float* __restrict im = fft->work + m;
    const int32_t* br = fft->bitrev;
    for (int i = 0; i < m; ++i) {
        re[br[i]] = in[2 * i];
        im[br[i]] = in[2 * i + 1];
    }
    complex_fft(fft, re, im, m);

    // Split into the spectra of the even (Fe) and odd (Fo) samples:
    // X[k] = Fe[k] + W_N^k Fo[k], X[m - k] = conj(Fe[k] - W_N^k Fo[k]).
    const float scale = 1.0f / static_cast<float>(n);
    const float h = 0.5f * scale;
    outRe[0] = (re[0] + im[0]) * scale;
    outIm[0] = 0.0f;
    outRe[m] = (re[0] - im[0]) * scale;
    outIm[m] = 0.0f;
    const float* c = fft->cosTable;
    const float* s = fft->sinTable;
    for (int k = 1; k <= m / 2; ++k) {
        const float zr = re[k], zi = im[k];
        const float yr = re[m - k], yi = im[m - k];
        const float er = (zr + yr) * h, ei = (zi - yi) * h;
        const float or_ = (zi + yi) * h, oi = (yr - zr) * h;
        const float wr = c[k] * or_ - s[k] * oi;
        const float wi = c[k] * oi + s[k] * or_;
        outRe[k] = er + wr;
        outIm[k] = ei + wi;
        outRe[m - k] = er - wr;
        outIm[m - k] = wi - ei;
    }
}

void sfm_fft_inverse(sfm_fft* fft, const float* inRe, const float* inIm, float* out)
{
    const int n = fft->size;
    const int m = n / 2;
    float* __restrict re = fft->work;
    float* __restrict im = fft->work + m;
    const int32_t* br = fft->bitrev;
    const float* c = fft->cosTable;
    const float* s = fft->sinTable;

    // Rebuild Z[k] = Fe[k] + i Fo[k] (times 2, which the half-length inverse
    // needs), and store it with real and imaginary parts swapped: the forward
    // kernel on swapped data is the inverse transform with swapped output.
    const float x0 = inRe[0], xm = inRe[m];
    re[0] = x0 - xm; // Im Z[0]
    im[0] = x0 + xm; // Re Z[0]
    for (int k = 1; k <= m / 2; ++k) {
        const float xr = inRe[k], xi = inIm[k];
        const float yr = inRe[m - k], yi = inIm[m - k];
        const float ar = xr + yr, ai = xi - yi;
        const float dr = xr - yr, di = xi + yi;
        // B = D conj(W), W = (c, s)
        const float bre = dr * c[k] + di * s[k];
        const float bim = di * c[k] - dr * s[k];
        // Z[k] = A + iB, Z[m - k] = conj(A) + i conj(B)
        const int pk = br[k], pm = br[m - k];
        re[pk] = ai + bre;
        im[pk] = ar - bim;
        re[pm] = bre - ai;
        im[pm] = ar + bim;
    }
    complex_fft(fft, re, im, m);
    for (int i = 0; i < m; ++i) {
        out[2 * i] = im[i];
        out[2 * i + 1] = re[i];
    }
}
