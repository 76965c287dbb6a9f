// Gain stage: per decoded channel and band, how to combine the channel's three
// beams (side beam A+, main beam M, side beam A-) so that the direct sound
// from the channel's sector passes and sound from elsewhere is suppressed.
//
// Model per band: each beam carries a direct part (fully coherent between the
// beams) and a diffuse part whose inter-beam coherence is the diffuse-field
// coherence c of the beam pair (beam table, columns 4 and 5). From the smoothed
// powers and coherence of each pair the common diffuse power D solves
//   (rho sqrt(Pa Pb) - c D)^2 = (Pa - D)(Pb - D),
// which leaves the direct powers S = P - D. The side weights w+, w- then
// minimise the power of M + w+ A+ + w- A- while keeping its direct part
// (least squares over the 2x2 side-beam correlation), and the main gain mixes
// the direct share psi with a diffuse share scaled like a beam of the
// channel's width would pick up a diffuse field.
#include "sfm_internal.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define ORVO_GAIN_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ORVO_GAIN_CLONES
#endif

namespace {

// Plain comparisons (every operand here is finite); they keep loops vectorisable.
inline float maxf(float a, float b) { return a > b ? a : b; }
inline float minf(float a, float b) { return a < b ? a : b; }

constexpr float kEps = 1e-20f;
constexpr float kCoherentBand = 0.25f;  // inter-hop coherence above which a band counts as stationary
constexpr float kSideCoherent = 0.9f;   // side beams this coherent: one shared weight
constexpr float kPowerRatio = 16.0f;    // one side beam this much louder (12 dB): one shared weight
constexpr float kDetRelative = 1e-9f;   // determinant guard relative to P+ P-
constexpr float kDetFloor = 1e-30f;     // and its absolute floor
constexpr float kMinDirect = 0.1f;      // least main gain below the diffuser split (-20 dB)
// Floor of a = 1 - c^2 in the common-diffuse quadratic: keeps its division
// finite for a diffuse-field coherence of 1.
constexpr float kMinQuadratic = 1e-6f;
// An outer pair whose diffuse-field coherence reaches this is too alike to
// its inner pairs to be solved apart: the (A+, M) solution serves all three
// (the beam table's 0.5 never reaches it).
constexpr float kOnePairCoherence = 0.9f;
// The root-cross variant counts this share of the outer pair's coherent
// diffuse power c D in the side beams' cross term (empirical).
constexpr float kRootCrossDiffuseShare = 0.04f;
// Gain of the plain first-order virtual microphone, outside the beamshaping
// range and with beamshaping off: about -3 dB (close to 1/sqrt 2), which
// brings a diffuse field to about the level of the beamshaped decode, whose
// side beams take energy out; the value is the decoder's calibration
// (empirical).
constexpr float kFirstOrderGain = 0.71f;
// The least diffuse gain of the centre of a five-channel layout under the
// flags SFM_FLAG_CENTRE_DIFFUSE_1 and _HALF.
constexpr float kCentreDiffuseFull = 1.0f;
constexpr float kCentreDiffuseHalf = 0.5f;

struct BandSums {
    float p[3];         // |A+|^2, |M|^2, |A-|^2
    float xr[3], xi[3]; // cross-spectra of the pairs (A+,M), (M,A-), (A+,A-)
};

// Band powers and pair cross-spectra (a * conj(b)) of the three beams, whose
// weights on S0, S1, S2 are the rows of w: with R = Rr + i Ri the band matrix,
// power w_q^T Rr w_q, cross-spectrum w_a^T Rr w_b + i w_a^T Ri w_b.
void band_sums(const sfm_band_cov& c, const double w[3][3], BandSums* s)
{
    const double r00 = c.re[0], r11 = c.re[1], r22 = c.re[2], r01 = c.re[3], r02 = c.re[4], r12 = c.re[5];
    const double i01 = c.im[0], i02 = c.im[1], i12 = c.im[2];
    double t[3][3], u[3][3]; // Rr w_q and Ri w_q
    for (int q = 0; q < 3; ++q) {
        const double x = w[q][0], y = w[q][1], z = w[q][2];
        t[q][0] = r00 * x + r01 * y + r02 * z;
        t[q][1] = r01 * x + r11 * y + r12 * z;
        t[q][2] = r02 * x + r12 * y + r22 * z;
        u[q][0] = i01 * y + i02 * z;
        u[q][1] = -i01 * x + i12 * z;
        u[q][2] = -i02 * x - i12 * y;
    }
    auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    for (int q = 0; q < 3; ++q) {
        const double p = dot(w[q], t[q]);
        s->p[q] = static_cast<float>(p > 0.0 ? p : 0.0); // rounding can leave a null slightly negative
    }
    static const int kFirst[3] = {0, 1, 0}, kSecond[3] = {1, 2, 2};
    for (int p = 0; p < 3; ++p) {
        s->xr[p] = static_cast<float>(dot(w[kFirst[p]], t[kSecond[p]]));
        s->xi[p] = static_cast<float>(dot(w[kFirst[p]], u[kSecond[p]]));
    }
}

// Diffuse power common to a pair with powers Pa, Pb (square roots sa, sb),
// measured coherence rho and diffuse-field coherence c (a = 1 - c^2).
inline float common_diffuse(float Pa, float Pb, float sa, float sb, float rho, float c, float a)
{
    const float lo = minf(Pa, Pb), ss = sa * sb;
    rho = maxf(rho, c * lo / (ss + kEps));
    const float q = 2.0f * c * rho * ss - Pa - Pb;
    const float disc = q * q - 4.0f * a * Pa * Pb * (1.0f - rho * rho);
    const float D = (-q - std::sqrt(maxf(disc, 0.0f))) / (2.0f * a);
    return minf(maxf(D, 0.0f), lo);
}

// Smoothing of one pair's statistics over bands lo..hi-1 (arrays indexed by
// band) and its coherences; vectorisable over the bands.
ORVO_GAIN_CLONES
void smooth_pair(const float* __restrict alpha, const float* __restrict pNew, const float* __restrict qNew,
                 const float* __restrict xrNew, const float* __restrict xiNew, float* __restrict pa,
                 float* __restrict pb, float* __restrict xr, float* __restrict xi, float* __restrict cohRe,
                 float* __restrict cohMag, int lo, int hi)
{
    for (int b = lo; b < hi; ++b) {
        const float a = alpha[b];
        pa[b] += a * (pNew[b] - pa[b]);
        pb[b] += a * (qNew[b] - pb[b]);
        xr[b] += a * (xrNew[b] - xr[b]);
        xi[b] += a * (xiNew[b] - xi[b]);
        const float norm = std::sqrt(pa[b] * pb[b]) + kEps;
        // At most 1 in exact arithmetic; keep rounding from pushing it over.
        cohRe[b] = minf(maxf(xr[b] + kEps, 0.0f) / norm, 1.0f);
        cohMag[b] = minf((std::sqrt(xr[b] * xr[b] + xi[b] * xi[b]) + kEps) / norm, 1.0f);
    }
}

// Per-channel constants of the gain stage's band loop; switches as 0 / 1.
struct BandConstants {
    float o, k, colB, colC, cNear, cOuter, aNear, aOuter, onePair, gd, gi;
    float rootCross, diffuseOnly, smoothing, diffuser, scale, lowpass, silenceBand0, a50;
    int bC;
};

// Smoothed statistics of one channel over the beamshaping range: the powers of
// A+, M and A- and the coherences of the pairs (A+, M), (M, A-), (A+, A-).
struct ChannelStats {
    float Pp[SFM_MAX_BANDS], P0[SFM_MAX_BANDS], Pm[SFM_MAX_BANDS];
    const float* rP0;
    const float* r0M;
    const float* rPM;
};

struct BandOutputs {
    float wp[SFM_MAX_BANDS], g[SFM_MAX_BANDS], wm[SFM_MAX_BANDS];
    float dp[SFM_MAX_BANDS], dg[SFM_MAX_BANDS], dm[SFM_MAX_BANDS];
};

inline float pick(bool cond, float a, float b) { return cond ? a : b; }

// One band's beam powers and their square roots.
struct Powers {
    float pp, p0, pm, sPp, sP0, sPm;
};

// The direct parts of one band: the diffuse power common to the outer pair,
// the direct powers (and roots) of A+, M, A-, the side beams' overlap
// reductions and whether both side beams share one weight.
struct Direct {
    float dPM, S0, sSp, sS0, sSm, rp, rm, shared;
};

__attribute__((always_inline)) inline Direct direct_part(const BandConstants& c, const Powers& w, float rp0,
                                                         float r0m, float rpm)
{
    // Diffuse power common to each pair.
    const float dP0 = common_diffuse(w.pp, w.p0, w.sPp, w.sP0, rp0, c.cNear, c.aNear);
    const float d0Mpair = common_diffuse(w.p0, w.pm, w.sP0, w.sPm, r0m, c.cNear, c.aNear);
    const float dPMpair = common_diffuse(w.pp, w.pm, w.sPp, w.sPm, rpm, c.cOuter, c.aOuter);
    const float d0M = c.onePair * dP0 + (1.0f - c.onePair) * d0Mpair;
    const float dPM = c.onePair * dP0 + (1.0f - c.onePair) * dPMpair;

    // Direct powers and the overlap reduction of the side beams.
    const float Sp = maxf(w.pp - maxf(dP0, dPM), 0.0f);
    const float S0 = maxf(w.p0 - maxf(dP0, d0M), 0.0f);
    const float Sm = maxf(w.pm - maxf(d0M, dPM), 0.0f);
    Direct d;
    d.dPM = dPM;
    d.S0 = S0;
    d.sSp = std::sqrt(Sp);
    d.sS0 = std::sqrt(S0);
    d.sSm = std::sqrt(Sm);
    float rp = maxf(d.sSp + kEps - c.o * d.sS0, 0.0f) / (d.sSp + kEps);
    float rm = maxf(d.sSm + kEps - c.o * d.sS0, 0.0f) / (d.sSm + kEps);
    float shared = pick(rpm >= kSideCoherent, 1.0f, 0.0f);
    shared = pick(w.pp >= kPowerRatio * w.pm, 1.0f, shared);
    shared = pick(w.pm >= kPowerRatio * w.pp, 1.0f, shared);
    const float rs = (rp * (d.sSp + kEps) + rm * (d.sSm + kEps)) / (d.sSp + d.sSm + 2.0f * kEps);
    d.rp = shared * rs + (1.0f - shared) * rp;
    d.rm = shared * rs + (1.0f - shared) * rm;
    d.shared = shared;
    return d;
}

// Side weights: least squares, the determinant guarded relative to P+ P- so
// that quiet passages are shaped like loud ones.
__attribute__((always_inline)) inline void side_weights(const BandConstants& c, const Powers& w, const Direct& d,
                                                        float rpm, float* wpOut, float* wmOut)
{
    const float X = c.rootCross * (d.sSp * d.sSm + kRootCrossDiffuseShare * c.cOuter * d.dPM) +
                    (1.0f - c.rootCross) * (w.sPp * rpm * w.sPm);
    const float Rp = d.sSp * d.sS0, Rm = d.sSm * d.sS0;
    const float det = maxf(w.pp * w.pm - X * X, 0.0f) + kDetRelative * w.pp * w.pm + kDetFloor;
    const float wShared = -(Rp + Rm) / (2.0f * X + w.pp + w.pm + kEps);
    float wp = d.shared * wShared + (1.0f - d.shared) * ((X * Rm - w.pm * Rp) / det);
    float wm = d.shared * wShared + (1.0f - d.shared) * ((X * Rp - w.pp * Rm) / det);
    wp = minf(maxf(wp, -c.k), 0.0f);
    wm = minf(maxf(wm, -c.k), 0.0f);
    if (c.o > 0.0f) { // uniform over the loop
        wp *= d.rp;
        wm *= d.rm;
    }
    *wpOut = wp;
    *wmOut = wm;
}

// Directness psi of the combination M + w+ A+ + w- A-: its direct power over
// its total.
__attribute__((always_inline)) inline float directness(const Powers& w, const Direct& d, float wp, float wm,
                                                       float rp0, float r0m, float rpm)
{
    const float direct = wp * d.sSp + d.sS0 + wm * d.sSm;
    const float total = w.p0 + wp * wp * w.pp + wm * wm * w.pm + 2.0f * wp * rp0 * w.sP0 * w.sPp +
                        2.0f * wm * r0m * w.sP0 * w.sPm + 2.0f * wp * wm * rpm * w.sPp * w.sPm;
    return minf(maxf(direct * direct / (total + kEps), 0.0f), 1.0f);
}

// The diffuse share of the main gain: Dm is the diffuse amplitude of M
// relative to its total, per unit of (1 - psi): 1 in a fully diffuse field,
// at any level; scaled like a beam of the channel's width picks up a diffuse
// field. Divided in two steps: p0 (1 - psi) underflows to 0 once a fully
// direct band decays towards silence, and 0/0 would stick in gPrev.
__attribute__((always_inline)) inline float diffuse_part(const BandConstants& c, float p0, float S0, float psi)
{
    const float Dm = std::sqrt((p0 - S0) / p0 / maxf(1.0f - psi, kEps));
    return c.gd * Dm * c.colC * (1.0f - psi);
}

// The gain stage proper for bands lo..hi-1 of one channel. Written without
// branches (selects only) so that it runs several bands per instruction; the
// statistics come as separate restrict pointers so that the loop vectorises.
ORVO_GAIN_CLONES
void shape_bands(const BandConstants& c, const float* __restrict Pp, const float* __restrict P0,
                 const float* __restrict Pm, const float* __restrict rP0, const float* __restrict r0M,
                 const float* __restrict rPM, const float* __restrict hopCoh, const float* __restrict lp,
                 float* __restrict gPrev, int lo, int hi, BandOutputs* __restrict out)
{
    for (int b = lo; b < hi; ++b) {
        const float pp = Pp[b], p0 = P0[b], pm = Pm[b];
        const Powers w = {pp, p0, pm, std::sqrt(pp), std::sqrt(p0), std::sqrt(pm)};
        const float rp0 = rP0[b], r0m = r0M[b], rpm = rPM[b];
        const Direct d = direct_part(c, w, rp0, r0m, rpm);
        float wp, wm;
        side_weights(c, w, d, rpm, &wp, &wm);
        const float psi = directness(w, d, wp, wm, rp0, r0m, rpm);

        // Main gain: the direct share and the diffuse share; below the
        // diffuser split only what the diffuser does not carry.
        const float diffusePart = diffuse_part(c, p0, d.S0, psi);
        const float split = c.diffuser * pick(b < c.bC, 1.0f, 0.0f);
        const float gDirect = c.diffuseOnly * diffusePart + (1.0f - c.diffuseOnly) * maxf(psi * c.colB * c.gi, kMinDirect);
        float G = split * gDirect + (1.0f - split) * (psi * c.colB * c.gi + diffusePart);

        // Temporal smoothing of the main gain in stationary bands.
        const float smooth = c.smoothing * pick(hopCoh[b] > kCoherentBand, 1.0f, 0.0f);
        const float prev = gPrev[b];
        G = smooth * (c.a50 * G + (1.0f - c.a50) * prev) + (1.0f - smooth) * G;
        gPrev[b] = G;

        // Normalisation, rear lowpass, channel level, band 0.
        float s = c.scale * (c.lowpass * lp[b] + (1.0f - c.lowpass));
        s *= 1.0f - c.silenceBand0 * pick(b == 0, 1.0f, 0.0f);
        G *= s;
        wp *= G;
        wm *= G;
        out->wp[b] = wp;
        out->g[b] = G;
        out->wm[b] = wm;

        // Diffuse weights: the same combination carrying the diffuse share
        // below the diffuser split.
        const float f = split * maxf(diffusePart, kMinDirect) / (gPrev[b] + kEps);
        out->dp[b] = f * wp;
        out->dg[b] = f * G;
        out->dm[b] = f * wm;
    }
}

// Per-hop smoothing coefficients hop / (T fs) of the two time constants T,
// formed together once per channel. (The file is built with reassociation:
// the same expression written elsewhere may round to a neighbouring float.)
struct Smoothing {
    float fast, slow;
};

Smoothing smoothing(const sfm_setup& s)
{
    const float msPerSample = s.sampleRate * 0.001f;
    const float hop = static_cast<float>(s.hopSize);
    return {hop / (sfm_smoothing_fast_ms * msPerSample), hop / (sfm_smoothing_slow_ms * msPerSample)};
}

// Bands outside the beamshaping range [lo, hi) (all of them with beamshaping
// off) use the first-order virtual microphone M alone; every band's diffuse
// weights start at zero.
void first_order_bands(const sfm_state* st, int i, int lo, int hi, float* w4, float* dw)
{
    const bool lowpass = st->channelType[i] == SFM_TYPE_SURROUND && (st->flags & SFM_FLAG_REAR_LOWPASS);
    const bool silenceBand0 = (st->flags & SFM_FLAG_SILENCE_BAND0) != 0;
    const float level = st->channelOn[i] * st->channelGain[i];
    for (int b = 0; b < st->numBands; ++b) {
        float* out = w4 + 4 * b;
        float* dout = dw + 3 * b;
        out[3] = 0.0f; // fourth weight: unused by the three-capsule front end
        dout[0] = dout[1] = dout[2] = 0.0f;
        if (b >= lo && b < hi)
            continue;
        float g = st->normFirstOrder[i] * kFirstOrderGain * level;
        if (lowpass)
            g *= st->rearLowpassGain[b];
        if (silenceBand0 && b == 0)
            g = 0.0f;
        out[0] = out[2] = 0.0f;
        out[1] = g;
    }
}

// Smoothed powers and coherences of the three beam pairs of channel i over
// bands lo..hi-1 (slow smoothing where the sound is stationary). Pair
// statistics are stored per channel and pair, bands contiguous.
void smooth_statistics(const sfm_state* st, sfm_buffers* buf, int i, const sfm_band_cov* cov,
                       const float beams[3][3], const Smoothing& sm, int lo, int hi, ChannelStats* cs)
{
    const int nb = st->numBands;
    double w[3][3];
    for (int q = 0; q < 3; ++q)
        for (int m = 0; m < 3; ++m)
            w[q][m] = beams[q][m];
    float alpha[SFM_MAX_BANDS], pw[3][SFM_MAX_BANDS], xr[3][SFM_MAX_BANDS], xi[3][SFM_MAX_BANDS];
    for (int b = lo; b < hi; ++b) {
        BandSums sums;
        band_sums(cov[b], w, &sums);
        alpha[b] = buf->hopCoherence[b] > kCoherentBand ? sm.slow : sm.fast;
        for (int q = 0; q < 3; ++q) {
            pw[q][b] = sums.p[q];
            xr[q][b] = sums.xr[q];
            xi[q][b] = sums.xi[q];
        }
    }
    static const int kFirst[3] = {0, 1, 0}, kSecond[3] = {1, 2, 2};
    for (int p = 0; p < 3; ++p) {
        const int base = (i * 3 + p) * nb;
        smooth_pair(alpha, pw[kFirst[p]], pw[kSecond[p]], xr[p], xi[p], buf->pairPowA + base, buf->pairPowB + base,
                    buf->pairCrossRe + base, buf->pairCrossIm + base, buf->pairCoherence + base,
                    buf->pairCoherenceMag + base, lo, hi);
    }
    const bool magnitude = (st->flags & SFM_FLAG_MAGNITUDE_COHERENCE) != 0;
    const float* coh = magnitude ? buf->pairCoherenceMag : buf->pairCoherence;
    cs->rP0 = coh + (i * 3 + 0) * nb;
    cs->r0M = coh + (i * 3 + 1) * nb;
    cs->rPM = coh + (i * 3 + 2) * nb;
    for (int b = lo; b < hi; ++b) {
        cs->Pp[b] = buf->pairPowA[(i * 3 + 0) * nb + b] + kEps; // A+ of the pair (A+, M)
        cs->P0[b] = buf->pairPowB[(i * 3 + 0) * nb + b] + kEps; // M
        cs->Pm[b] = buf->pairPowB[(i * 3 + 1) * nb + b] + kEps; // A- of the pair (M, A-)
    }
}

// Channel i's constants of the band loop, from the beam table, the gains and
// the flags.
BandConstants band_constants(const sfm_state* st, int i, const Smoothing& sm)
{
    const uint32_t flags = st->flags;
    BandConstants c;
    c.o = st->beamOverlap;
    c.k = st->beamSharpness[i];
    c.colB = st->beamColB[i];
    c.colC = st->beamColC[i];
    if (flags & SFM_FLAG_SQUARE_BEAM_COLUMNS) {
        c.colB *= c.colB;
        c.colC *= c.colC;
    }
    c.cNear = st->beamColD;
    c.cOuter = st->beamColE;
    c.aNear = maxf(1.0f - c.cNear * c.cNear, kMinQuadratic);
    c.aOuter = maxf(1.0f - c.cOuter * c.cOuter, kMinQuadratic);
    c.onePair = c.cOuter >= kOnePairCoherence ? 1.0f : 0.0f;
    c.gd = st->diffuseGain;
    c.gi = st->directGain;
    if (st->numDecoded == 5 && i == 2) {
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_1)
            c.gd = maxf(c.gd, kCentreDiffuseFull);
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_HALF)
            c.gd = maxf(c.gd, kCentreDiffuseHalf);
    }
    c.rootCross = (flags & SFM_FLAG_ROOT_SIDE_CROSS) ? 1.0f : 0.0f;
    c.diffuseOnly = (flags & SFM_FLAG_DIFFUSE_ONLY_BELOW_SPLIT) ? 1.0f : 0.0f;
    c.smoothing = (flags & SFM_FLAG_NO_GAIN_SMOOTHING) ? 0.0f : 1.0f;
    c.diffuser = (flags & SFM_FLAG_DIFFUSER) ? 1.0f : 0.0f;
    const float level = st->channelOn[i] * st->channelGain[i];
    c.scale = st->normBeam[i] * level;
    c.lowpass = st->channelType[i] == SFM_TYPE_SURROUND && (flags & SFM_FLAG_REAR_LOWPASS) ? 1.0f : 0.0f;
    c.silenceBand0 = (flags & SFM_FLAG_SILENCE_BAND0) ? 1.0f : 0.0f;
    c.a50 = sm.fast;
    c.bC = st->bandLimitIndex[2];
    return c;
}

// The band results into the channel's interleaved weight arrays.
void scatter(const BandOutputs& out, int lo, int hi, float* w4, float* dw)
{
    for (int b = lo; b < hi; ++b) {
        w4[4 * b + 0] = out.wp[b];
        w4[4 * b + 1] = out.g[b];
        w4[4 * b + 2] = out.wm[b];
        dw[3 * b + 0] = out.dp[b];
        dw[3 * b + 1] = out.dg[b];
        dw[3 * b + 2] = out.dm[b];
    }
}

} // namespace

void sfm_gain_stage(sfm_state* st, sfm_buffers* buf, int i, const sfm_band_cov* cov, const float beams[3][3])
{
    const int nb = st->numBands;
    const bool shaping = !(st->flags & SFM_FLAG_BEAMSHAPING_OFF);
    const int bA = st->bandLimitIndex[0], bB = st->bandLimitIndex[1];
    const int lo = shaping ? (bA > 0 ? bA : 0) : nb;
    const int hi = shaping ? (bB < nb ? bB : nb) : nb;
    float* w4 = buf->bandWeights4 + i * nb * 4;
    float* dw = buf->diffuseWeights + i * nb * 3;

    first_order_bands(st, i, lo, hi, w4, dw);
    if (lo >= hi)
        return;
    const Smoothing sm = smoothing(st->setup);
    ChannelStats stats;
    smooth_statistics(st, buf, i, cov, beams, sm, lo, hi, &stats);
    const BandConstants c = band_constants(st, i, sm);
    BandOutputs out;
    shape_bands(c, stats.Pp, stats.P0, stats.Pm, stats.rP0, stats.r0M, stats.rPM, buf->hopCoherence,
                st->rearLowpassGain, buf->gainPrev + i * nb, lo, hi, &out);
    scatter(out, lo, hi, w4, dw);
}
