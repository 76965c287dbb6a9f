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
constexpr float kCoherentBand = 0.25f;  // inter-hop coherence above which bands smooth slowly
constexpr float kSideCoherent = 0.9f;   // side beams this coherent: one shared weight
constexpr float kPowerRatio = 16.0f;    // one side beam this much louder: one shared weight
constexpr float kDetRelative = 1e-9f;   // determinant guard relative to P+ P-
constexpr float kDetFloor = 1e-30f;     // and its absolute floor
constexpr float kMinDirect = 0.1f;      // least main gain below the diffuser split
constexpr float kFirstOrderGain = 0.71f; // plain virtual microphones

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

struct BandOutputs {
    float wp[SFM_MAX_BANDS], g[SFM_MAX_BANDS], wm[SFM_MAX_BANDS];
    float dp[SFM_MAX_BANDS], dg[SFM_MAX_BANDS], dm[SFM_MAX_BANDS];
};

inline float pick(bool cond, float a, float b) { return cond ? a : b; }

// The gain stage proper for bands lo..hi-1 of one channel. Written without
// branches (selects only) so that it runs several bands per instruction.
ORVO_GAIN_CLONES
void shape_bands(const BandConstants& c, const float* __restrict Pp, const float* __restrict P0,
                 const float* __restrict Pm, const float* __restrict rP0, const float* __restrict r0M,
                 const float* __restrict rPM, const float* __restrict hopCoh, const float* __restrict lp,
                 float* __restrict gPrev, int lo, int hi, BandOutputs* __restrict out)
{
    for (int b = lo; b < hi; ++b) {
        const float pp = Pp[b], p0 = P0[b], pm = Pm[b];
        const float sPp = std::sqrt(pp), sP0 = std::sqrt(p0), sPm = std::sqrt(pm);
        const float rp0 = rP0[b], r0m = r0M[b], rpm = rPM[b];

        // Diffuse power common to each pair.
        const float dP0 = common_diffuse(pp, p0, sPp, sP0, rp0, c.cNear, c.aNear);
        const float d0Mpair = common_diffuse(p0, pm, sP0, sPm, r0m, c.cNear, c.aNear);
        const float dPMpair = common_diffuse(pp, pm, sPp, sPm, rpm, c.cOuter, c.aOuter);
        const float d0M = c.onePair * dP0 + (1.0f - c.onePair) * d0Mpair;
        const float dPM = c.onePair * dP0 + (1.0f - c.onePair) * dPMpair;

        // Direct powers and the overlap reduction of the side beams.
        const float Sp = maxf(pp - maxf(dP0, dPM), 0.0f);
        const float S0 = maxf(p0 - maxf(dP0, d0M), 0.0f);
        const float Sm = maxf(pm - maxf(d0M, dPM), 0.0f);
        const float sSp = std::sqrt(Sp), sS0 = std::sqrt(S0), sSm = std::sqrt(Sm);
        float rp = maxf(sSp + kEps - c.o * sS0, 0.0f) / (sSp + kEps);
        float rm = maxf(sSm + kEps - c.o * sS0, 0.0f) / (sSm + kEps);
        float shared = pick(rpm >= kSideCoherent, 1.0f, 0.0f);
        shared = pick(pp >= kPowerRatio * pm, 1.0f, shared);
        shared = pick(pm >= kPowerRatio * pp, 1.0f, shared);
        const float rs = (rp * (sSp + kEps) + rm * (sSm + kEps)) / (sSp + sSm + 2.0f * kEps);
        rp = shared * rs + (1.0f - shared) * rp;
        rm = shared * rs + (1.0f - shared) * rm;

        // Side weights: least squares, the determinant guarded relative to
        // P+ P- so that quiet passages are shaped like loud ones.
        const float X = c.rootCross * (sSp * sSm + 0.04f * c.cOuter * dPM) + (1.0f - c.rootCross) * (sPp * rpm * sPm);
        const float Rp = sSp * sS0, Rm = sSm * sS0;
        const float det = maxf(pp * pm - X * X, 0.0f) + kDetRelative * pp * pm + kDetFloor;
        const float wShared = -(Rp + Rm) / (2.0f * X + pp + pm + kEps);
        float wp = shared * wShared + (1.0f - shared) * ((X * Rm - pm * Rp) / det);
        float wm = shared * wShared + (1.0f - shared) * ((X * Rp - pp * Rm) / det);
        wp = minf(maxf(wp, -c.k), 0.0f);
        wm = minf(maxf(wm, -c.k), 0.0f);
        if (c.o > 0.0f) { // uniform over the loop
            wp *= rp;
            wm *= rm;
        }

        // Directness of the combination M + w+ A+ + w- A-.
        const float direct = wp * sSp + sS0 + wm * sSm;
        const float total = p0 + wp * wp * pp + wm * wm * pm + 2.0f * wp * rp0 * sP0 * sPp +
                            2.0f * wm * r0m * sP0 * sPm + 2.0f * wp * wm * rpm * sPp * sPm;
        const float psi = minf(maxf(direct * direct / (total + kEps), 0.0f), 1.0f);

        // Main gain. Dm is the diffuse amplitude of M relative to its
        // total, per unit of (1 - psi): 1 in a fully diffuse field, at any level.
        // Divided in two steps: p0 (1 - psi) underflows to 0 once a fully
        // direct band decays towards silence, and 0/0 would stick in gPrev.
        const float Dm = std::sqrt((p0 - S0) / p0 / maxf(1.0f - psi, 1e-20f));
        const float diffusePart = c.gd * Dm * c.colC * (1.0f - psi);
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

} // namespace

void sfm_gain_stage(sfm_state* st, sfm_buffers* buf, int i, const sfm_band_cov* cov, const float beams[3][3])
{
    const int nb = st->numBands;
    const uint32_t flags = st->flags;
    const bool shaping = !(flags & SFM_FLAG_BEAMSHAPING_OFF);
    const bool diffuser = (flags & SFM_FLAG_DIFFUSER) != 0;
    const float msPerSample = st->setup.sampleRate * 0.001f;
    const float hop = static_cast<float>(st->setup.hopSize);
    const float a50 = hop / (50.0f * msPerSample);
    const float a100 = hop / (100.0f * msPerSample);
    const int bA = st->bandLimitIndex[0], bB = st->bandLimitIndex[1], bC = st->bandLimitIndex[2];
    const bool lowpass = st->channelType[i] == SFM_TYPE_SURROUND && (flags & SFM_FLAG_REAR_LOWPASS);
    const bool silenceBand0 = (flags & SFM_FLAG_SILENCE_BAND0) != 0;
    const float level = st->channelOn[i] * st->channelGain[i];
    const float* hopCoh = buf->hopCoherence;
    float* gPrev = buf->gainPrev + i * nb;
    float* w4 = buf->bandWeights4 + i * nb * 4;
    float* dw = buf->diffuseWeights + i * nb * 3;

    // Bands outside the beamshaping range (all of them with beamshaping off)
    // use the first-order virtual microphone M alone.
    const int lo = shaping ? (bA > 0 ? bA : 0) : nb;
    const int hi = shaping ? (bB < nb ? bB : nb) : nb;
    for (int b = 0; b < nb; ++b) {
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
    if (lo >= hi)
        return;

    // Smoothed powers and coherences of the three beam pairs (slow
    // smoothing where the sound is stationary). Pair statistics are stored
    // per channel and pair, bands contiguous.
    double w[3][3];
    for (int q = 0; q < 3; ++q)
        for (int m = 0; m < 3; ++m)
            w[q][m] = beams[q][m];
    float alpha[SFM_MAX_BANDS], pw[3][SFM_MAX_BANDS], xr[3][SFM_MAX_BANDS], xi[3][SFM_MAX_BANDS];
    for (int b = lo; b < hi; ++b) {
        BandSums sums;
        band_sums(cov[b], w, &sums);
        alpha[b] = hopCoh[b] > kCoherentBand ? a100 : a50;
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
    const bool magnitude = (flags & SFM_FLAG_MAGNITUDE_COHERENCE) != 0;
    const float* coh = magnitude ? buf->pairCoherenceMag : buf->pairCoherence;
    const float* rP0 = coh + (i * 3 + 0) * nb;
    const float* r0M = coh + (i * 3 + 1) * nb;
    const float* rPM = coh + (i * 3 + 2) * nb;
    float Pp[SFM_MAX_BANDS], P0[SFM_MAX_BANDS], Pm[SFM_MAX_BANDS];
    for (int b = lo; b < hi; ++b) {
        Pp[b] = buf->pairPowA[(i * 3 + 0) * nb + b] + kEps; // A+ of the pair (A+, M)
        P0[b] = buf->pairPowB[(i * 3 + 0) * nb + b] + kEps; // M
        Pm[b] = buf->pairPowB[(i * 3 + 1) * nb + b] + kEps; // A- of the pair (M, A-)
    }

    // Channel constants of the band loop.
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
    c.aNear = maxf(1.0f - c.cNear * c.cNear, 1e-6f);
    c.aOuter = maxf(1.0f - c.cOuter * c.cOuter, 1e-6f);
    c.onePair = c.cOuter >= 0.9f ? 1.0f : 0.0f;
    c.gd = st->diffuseGain;
    c.gi = st->directGain;
    if (st->numDecoded == 5 && i == 2) {
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_1)
            c.gd = maxf(c.gd, 1.0f);
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_HALF)
            c.gd = maxf(c.gd, 0.5f);
    }
    c.rootCross = (flags & SFM_FLAG_ROOT_SIDE_CROSS) ? 1.0f : 0.0f;
    c.diffuseOnly = (flags & SFM_FLAG_DIFFUSE_ONLY_BELOW_SPLIT) ? 1.0f : 0.0f;
    c.smoothing = (flags & SFM_FLAG_NO_GAIN_SMOOTHING) ? 0.0f : 1.0f;
    c.diffuser = diffuser ? 1.0f : 0.0f;
    c.scale = st->normBeam[i] * level;
    c.lowpass = lowpass ? 1.0f : 0.0f;
    c.silenceBand0 = silenceBand0 ? 1.0f : 0.0f;
    c.a50 = a50;
    c.bC = bC;

    BandOutputs out;
    shape_bands(c, Pp, P0, Pm, rP0, r0M, rPM, hopCoh, st->rearLowpassGain, gPrev, lo, hi, &out);
    for (int b = lo; b < hi; ++b) {
        w4[4 * b + 0] = out.wp[b];
        w4[4 * b + 1] = out.g[b];
        w4[4 * b + 2] = out.wm[b];
        dw[3 * b + 0] = out.dp[b];
        dw[3 * b + 1] = out.dg[b];
        dw[3 * b + 2] = out.dm[b];
    }
}
