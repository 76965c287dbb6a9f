// Real FFT of a power-of-two length N through a complex FFT of length M = N/2.
//
// The N real samples are packed as M complex values z[m] = x[2m] + i x[2m+1],
// transformed, and split into the spectra of the even and odd samples
// (the classic "two-for-one" real transform; e.g. Brigham, The Fast Fourier
// Transform, ch. 10; Numerical Recipes 12.3).
//
// The complex transform is an iterative decimation-in-time FFT. Its first
// stage (radix 2, 4 or 8, twiddle-free) also does the bit-reversal
// permutation: it reads the input in unit-stride runs and writes each result
// run to its bit-reversed place. The remaining radix-2 stages are fused in
// pairs (radix-2^2: three complex multiplications per four points, half the
// passes over memory). Data is kept in split format (separate real and
// imaginary arrays) and every fused stage reads its own contiguous twiddle
// run, so the inner loops are unit-stride and vectorise; the hot functions
// are compiled for AVX2/FMA and for the baseline, chosen at load time.
//
// Scaling: the forward transform multiplies every bin by 1/N, the inverse is
// unscaled, so forward followed by inverse is the identity.
#include "sfm_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define ORVO_FFT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ORVO_FFT_CLONES
#endif

namespace {

int log2_of(int n)
{
    int l = 0;
    while ((1 << l) < n)
        ++l;
    return l;
}

struct cpx {
    float r, i;
};
inline cpx operator+(cpx a, cpx b) { return {a.r + b.r, a.i + b.i}; }
inline cpx operator-(cpx a, cpx b) { return {a.r - b.r, a.i - b.i}; }
inline cpx mul_minus_i(cpx a) { return {a.i, -a.r}; }

// The bit-reversal permutation fused with the first stage: reads the natural
// order input z (sr + stride * j, si + stride * j) in unit-stride runs and
// writes each transformed run of R = 2, 4 or 8 points to its bit-reversed
// place br[j] (a multiple of R for j < m/R); the run's point u holds input
// j + bitrev_R(u) m/R. The first stage is twiddle-free up to W_8.
enum FirstStage { kRadix2 = 2, kRadix4 = 4, kRadix8 = 8 };

inline __attribute__((always_inline)) cpx load(const float* __restrict sr, const float* __restrict si, int stride,
                                               int j)
{
    return cpx{sr[stride * j], si[stride * j]};
}

inline __attribute__((always_inline)) void store(float* __restrict re, float* __restrict im, int s, cpx v)
{
    re[s] = v.r;
    im[s] = v.i;
}

inline __attribute__((always_inline)) void first_stage_radix8(const float* __restrict sr,
                                                              const float* __restrict si, int stride,
                                                              const int32_t* __restrict br, float* __restrict re,
                                                              float* __restrict im, int m)
{
    const int q = m / 8;
    const float h = 0.70710678118654752f; // 1 / sqrt(2)
    for (int j = 0; j < q; ++j) {
        // Points in bit-reversed order: u -> input j + bitrev3(u) q.
        const cpx x0 = load(sr, si, stride, j), x1 = load(sr, si, stride, j + 4 * q);
        const cpx x2 = load(sr, si, stride, j + 2 * q), x3 = load(sr, si, stride, j + 6 * q);
        const cpx x4 = load(sr, si, stride, j + q), x5 = load(sr, si, stride, j + 5 * q);
        const cpx x6 = load(sr, si, stride, j + 3 * q), x7 = load(sr, si, stride, j + 7 * q);
        // Length 2.
        const cpx a0 = x0 + x1, a1 = x0 - x1, a2 = x2 + x3, a3 = x2 - x3;
        const cpx a4 = x4 + x5, a5 = x4 - x5, a6 = x6 + x7, a7 = x6 - x7;
        // Length 4: W_4^1 = -i.
        const cpx b0 = a0 + a2, b2 = a0 - a2, b1 = a1 + mul_minus_i(a3), b3 = a1 - mul_minus_i(a3);
        const cpx b4 = a4 + a6, b6 = a4 - a6, b5 = a5 + mul_minus_i(a7), b7 = a5 - mul_minus_i(a7);
        // Length 8: W_8^1 = (1 - i)/sqrt2, W_8^2 = -i, W_8^3 = -(1 + i)/sqrt2.
        const cpx t5 = {h * (b5.r + b5.i), h * (b5.i - b5.r)};
        const cpx t6 = mul_minus_i(b6);
        const cpx t7 = {h * (b7.i - b7.r), -h * (b7.r + b7.i)};
        const int s = br[j];
        store(re, im, s, b0 + b4);
        store(re, im, s + 4, b0 - b4);
        store(re, im, s + 1, b1 + t5);
        store(re, im, s + 5, b1 - t5);
        store(re, im, s + 2, b2 + t6);
        store(re, im, s + 6, b2 - t6);
        store(re, im, s + 3, b3 + t7);
        store(re, im, s + 7, b3 - t7);
    }
}

inline __attribute__((always_inline)) void first_stage_radix4(const float* __restrict sr,
                                                              const float* __restrict si, int stride,
                                                              const int32_t* __restrict br, float* __restrict re,
                                                              float* __restrict im, int m)
{
    const int q = m / 4;
    for (int j = 0; j < q; ++j) {
        const cpx x0 = load(sr, si, stride, j), x1 = load(sr, si, stride, j + 2 * q);
        const cpx x2 = load(sr, si, stride, j + q), x3 = load(sr, si, stride, j + 3 * q);
        const cpx b0 = x0 + x1, b1 = x0 - x1, b2 = x2 + x3, b3 = mul_minus_i(x2 - x3);
        const int s = br[j];
        store(re, im, s, b0 + b2);
        store(re, im, s + 2, b0 - b2);
        store(re, im, s + 1, b1 + b3);
        store(re, im, s + 3, b1 - b3);
    }
}

inline __attribute__((always_inline)) void first_stage_radix2(const float* __restrict sr,
                                                              const float* __restrict si, int stride,
                                                              const int32_t* __restrict br, float* __restrict re,
                                                              float* __restrict im, int m)
{
    const int h = m / 2;
    for (int j = 0; j < h; ++j) {
        const cpx x0 = load(sr, si, stride, j), x1 = load(sr, si, stride, j + h);
        const int s = br[j];
        store(re, im, s, x0 + x1);
        store(re, im, s + 1, x0 - x1);
    }
}

inline __attribute__((always_inline)) void first_stage(const float* __restrict sr, const float* __restrict si,
                                                       int stride, const int32_t* __restrict br,
                                                       float* __restrict re, float* __restrict im, int m, int radix)
{
    if (radix == kRadix8)
        first_stage_radix8(sr, si, stride, br, re, im, m);
    else if (radix == kRadix4)
        first_stage_radix4(sr, si, stride, br, re, im, m);
    else
        first_stage_radix2(sr, si, stride, br, re, im, m);
}

// Radix of the first stage and the sub-transform length after it.
int first_radix(int m)
{
    const int lm = log2_of(m);
    if ((lm & 1) == 0)
        return kRadix4;
    return lm == 1 ? kRadix2 : kRadix8;
}

// One group of a fused stage: combines four sub-transforms of length q into
// one of length 4q. wa = W_{2q}^j, wb = W_{4q}^j (W_L = e^{-2 pi i / L}).
inline __attribute__((always_inline)) void group_fused(float* __restrict r0, float* __restrict i0, float* __restrict r1,
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

// Forward complex FFT of length m: input z in natural order (see
// first_stage), result in re/im in natural order. Compiled twice, for
// AVX2/FMA processors and for the x86-64 baseline; the loader picks one once.
ORVO_FFT_CLONES void complex_fft(const sfm_fft* fft, const float* sr, const float* si, int stride,
                                 float* re, float* im, int m)
{
    const int radix = first_radix(m);
    first_stage(sr, si, stride, fft->bitrev, re, im, m, radix);
    const float* tw = fft->twiddle;
    for (int q = radix; q * 4 <= m; q *= 4) {
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

// X[k] = Fe[k] + W_N^k Fo[k] for k = 1 ... m-1, from the half-length
// transform Z: Fe = (Z[k] + conj Z[m-k]) / 2, Fo = (Z[k] - conj Z[m-k]) / 2i.
ORVO_FFT_CLONES void split_spectrum(const float* __restrict zr, const float* __restrict zi,
                                    const float* __restrict c, const float* __restrict s,
                                    float* __restrict xr, float* __restrict xi, int m, float h)
{
    for (int k = 1; k < m; ++k) {
        const float ar = zr[k], ai = zi[k];
        const float br = zr[m - k], bi = zi[m - k];
        const float er = (ar + br) * h, ei = (ai - bi) * h;
        const float or_ = (ai + bi) * h, oi = (br - ar) * h;
        xr[k] = er + c[k] * or_ - s[k] * oi;
        xi[k] = ei + c[k] * oi + s[k] * or_;
    }
}

// The inverse of split_spectrum, times 2 for the half-length inverse:
// Z[k] = A + iB, A = X[k] + conj X[m-k], B = (X[k] - conj X[m-k]) conj W_N^k,
// stored with real and imaginary parts swapped (zr gets Im Z, zi gets Re Z).
ORVO_FFT_CLONES void join_spectrum(const float* __restrict xr, const float* __restrict xi,
                                   const float* __restrict c, const float* __restrict s,
                                   float* __restrict zr, float* __restrict zi, int m)
{
    for (int k = 1; k < m; ++k) {
        const float pr = xr[k], pi = xi[k];
        const float qr = xr[m - k], qi = xi[m - k];
        const float ar = pr + qr, ai = pi - qi;
        const float dr = pr - qr, di = pi + qi;
        const float bre = dr * c[k] + di * s[k];
        const float bim = di * c[k] - dr * s[k];
        zr[k] = ai + bre;
        zi[k] = ar - bim;
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
    fft->work = static_cast<float*>(calloc(static_cast<size_t>(2 * n), sizeof(float)));
    // The fused stages use 4q twiddles each, q = 2 or 4, 8 or 16, ... < m: fewer than 2m.
    fft->twiddle = static_cast<float*>(calloc(static_cast<size_t>(2 * m), sizeof(float)));
    if (!fft->cosTable || !fft->sinTable || !fft->bitrev || !fft->work || !fft->twiddle) {
        sfm_fft_free(fft);
        return SFM_ERR_MEMORY;
    }

    const double twoPi = 2.0 * SFM_PI;
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
    for (int q = first_radix(m); q * 4 <= m; q *= 4) {
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
    float* re = fft->work;
    float* im = fft->work + m;
    // z[j] = x[2j] + i x[2j+1], read straight from the interleaved input.
    complex_fft(fft, in, in + 1, 2, re, im, m);

    const float scale = 1.0f / static_cast<float>(n);
    outRe[0] = (re[0] + im[0]) * scale;
    outIm[0] = 0.0f;
    outRe[m] = (re[0] - im[0]) * scale;
    outIm[m] = 0.0f;
    split_spectrum(re, im, fft->cosTable, fft->sinTable, outRe, outIm, m, 0.5f * scale);
}

void sfm_fft_inverse(sfm_fft* fft, const float* inRe, const float* inIm, float* out)
{
    const int n = fft->size;
    const int m = n / 2;
    float* zr = fft->work + n;
    float* zi = fft->work + n + m;
    float* re = fft->work;
    float* im = fft->work + m;

    // The forward kernel on swapped real/imaginary parts is the inverse
    // transform with swapped output.
    const float x0 = inRe[0], xm = inRe[m];
    zr[0] = x0 - xm;
    zi[0] = x0 + xm;
    join_spectrum(inRe, inIm, fft->cosTable, fft->sinTable, zr, zi, m);
    complex_fft(fft, zr, zi, 1, re, im, m);
    for (int i = 0; i < m; ++i) {
        out[2 * i] = im[i];
        out[2 * i + 1] = re[i];
    }
}
