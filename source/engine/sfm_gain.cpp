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

namespace {

constexpr double kEps = 1e-20;
constexpr float kCoherentBand = 0.25f;   // inter-hop coherence above which bands smooth slowly
constexpr double kSideCoherent = 0.9;    // side beams this coherent: one shared weight
constexpr double kPowerRatio = 16.0;     // one side beam this much louder: one shared weight
constexpr double kDetRelative = 1e-9;    // determinant guard relative to P+ P-
constexpr double kDetFloor = 1e-30;      // and its absolute floor
constexpr double kMinDirect = 0.1;       // least main gain below the diffuser split
constexpr double kFirstOrderGain = 0.71; // plain virtual microphones

struct BandSums {
    float p[3];        // |A+|^2, |M|^2, |A-|^2
    float xr[3], xi[3]; // cross-spectra of the pairs (A+,M), (M,A-), (A+,A-)
};

// Band sums over the band's bins (unweighted).
void band_sums(const sfm_buffers* buf, int first, int count, BandSums* s)
{
    const float *pr = buf->beamRe[0], *pi = buf->beamIm[0];
    const float *mr = buf->beamRe[1], *mi = buf->beamIm[1];
    const float *nr = buf->beamRe[2], *ni = buf->beamIm[2];
    float pp = 0, pm = 0, pn = 0, x0r = 0, x0i = 0, x1r = 0, x1i = 0, x2r = 0, x2i = 0;
    for (int k = first; k < first + count; ++k) {
        pp += pr[k] * pr[k] + pi[k] * pi[k];
        pm += mr[k] * mr[k] + mi[k] * mi[k];
        pn += nr[k] * nr[k] + ni[k] * ni[k];
        // a * conj(b)
        x0r += pr[k] * mr[k] + pi[k] * mi[k];
        x0i += pi[k] * mr[k] - pr[k] * mi[k];
        x1r += mr[k] * nr[k] + mi[k] * ni[k];
        x1i += mi[k] * nr[k] - mr[k] * ni[k];
        x2r += pr[k] * nr[k] + pi[k] * ni[k];
        x2i += pi[k] * nr[k] - pr[k] * ni[k];
    }
    s->p[0] = pp;
    s->p[1] = pm;
    s->p[2] = pn;
    s->xr[0] = x0r;
    s->xi[0] = x0i;
    s->xr[1] = x1r;
    s->xi[1] = x1i;
    s->xr[2] = x2r;
    s->xi[2] = x2i;
}

// Diffuse power common to a pair with powers Pa, Pb, measured coherence rho
// and diffuse-field coherence c.
double common_diffuse(double Pa, double Pb, double rho, double c)
{
    double sa = std::sqrt(Pa), sb = std::sqrt(Pb), lo = std::fmin(Pa, Pb);
    rho = std::fmax(rho, c * lo / (sa * sb + kEps));
    double a = std::fmax(1.0 - c * c, 1e-6);
    double q = 2.0 * c * rho * sa * sb - Pa - Pb;
    double disc = q * q - 4.0 * a * Pa * Pb * (1.0 - rho * rho);
    double D = (-q - std::sqrt(std::fmax(disc, 0.0))) / (2.0 * a);
    return std::fmin(std::fmax(D, 0.0), lo);
}

} // namespace

void sfm_gain_stage(sfm_state* st, sfm_buffers* buf, int i)
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
    const bool surround = st->channelType[i] == SFM_TYPE_SURROUND;
    const bool lowpass = surround && (flags & SFM_FLAG_REAR_LOWPASS);
    const float level = st->channelOn[i] * st->channelGain[i];
    const double o = st->beamOverlap;
    const double k = st->beamSharpness[i];
    double colB = st->beamColB[i], colC = st->beamColC[i];
    if (flags & SFM_FLAG_SQUARE_BEAM_COLUMNS) {
        colB *= colB;
        colC *= colC;
    }
    const double cNear = st->beamColD, cOuter = st->beamColE;
    double gd = st->diffuseGain;
    const double gi = st->directGain;
    if (st->numDecoded == 5 && i == 2) {
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_1)
            gd = std::fmax(gd, 1.0);
        if (flags & SFM_FLAG_CENTRE_DIFFUSE_HALF)
            gd = std::fmax(gd, 0.5);
    }
    const bool magnitude = (flags & SFM_FLAG_MAGNITUDE_COHERENCE) != 0;

    float* powA = buf->pairPowA + i * nb * 3;
    float* powB = buf->pairPowB + i * nb * 3;
    float* xRe = buf->pairCrossRe + i * nb * 3;
    float* xIm = buf->pairCrossIm + i * nb * 3;
    float* cohRe = buf->pairCoherence + i * nb * 3;
    float* cohMag = buf->pairCoherenceMag + i * nb * 3;
    float* gPrev = buf->gainPrev + i * nb;
    float* w4 = buf->bandWeights4 + i * nb * 4;
    float* dw = buf->diffuseWeights + i * nb * 3;

    for (int b = 0; b < nb; ++b) {
        float* out = w4 + 4 * b;
        float* dout = dw + 3 * b;
        out[3] = 0.0f; // fourth weight: unused by the three-capsule front end
        dout[0] = dout[1] = dout[2] = 0.0f;
        const bool inRange = shaping && b >= bA && b < bB;
        if (!inRange) {
            double g = st->normFirstOrder[i] * kFirstOrderGain;
            if (lowpass)
                g *= st->rearLowpassGain[b];
            g *= level;
            if ((flags & SFM_FLAG_SILENCE_BAND0) && b == 0)
                g = 0.0;
            out[0] = out[2] = 0.0f;
            out[1] = static_cast<float>(g);
            continue;
        }

        // Pair statistics: slow smoothing where the sound is stationary.
        BandSums s;
        band_sums(buf, st->bandFirstBin[b], st->bandNumBins[b], &s);
        const float alpha = buf->hopCoherence[b] > kCoherentBand ? a100 : a50;
        static const int kFirst[3] = {0, 1, 0}, kSecond[3] = {1, 2, 2};
        for (int p = 0; p < 3; ++p) {
            int j = 3 * b + p;
            powA[j] += alpha * (s.p[kFirst[p]] - powA[j]);
            powB[j] += alpha * (s.p[kSecond[p]] - powB[j]);
            xRe[j] += alpha * (s.xr[p] - xRe[j]);
            xIm[j] += alpha * (s.xi[p] - xIm[j]);
            double norm = std::sqrt(double(powA[j]) * powB[j]) + kEps;
            cohRe[j] = static_cast<float>(std::fmax(xRe[j] + kEps, 0.0) / norm);
            cohMag[j] = static_cast<float>((std::hypot(double(xRe[j]), double(xIm[j])) + kEps) / norm);
        }
        const float* coh = magnitude ? cohMag : cohRe;

        // 1. Powers and coherences.
        const double Pp = powA[3 * b + 0] + kEps, P0 = powB[3 * b + 0] + kEps, Pm = powB[3 * b + 1] + kEps;
        const double sPp = std::sqrt(Pp), sP0 = std::sqrt(P0), sPm = std::sqrt(Pm);
        const double rP0 = coh[3 * b + 0], r0M = coh[3 * b + 1], rPM = coh[3 * b + 2];

        // 2. Diffuse power common to each pair.
        double dP0, d0M, dPM;
        dP0 = common_diffuse(Pp, P0, rP0, cNear);
        if (cOuter >= 0.9) {
            d0M = dPM = dP0;
        } else {
            d0M = common_diffuse(P0, Pm, r0M, cNear);
            dPM = common_diffuse(Pp, Pm, rPM, cOuter);
        }

        // 3. Direct powers and the overlap reduction of the side beams.
        const double Sp = std::fmax(Pp - std::fmax(dP0, dPM), 0.0);
        const double S0 = std::fmax(P0 - std::fmax(dP0, d0M), 0.0);
        const double Sm = std::fmax(Pm - std::fmax(d0M, dPM), 0.0);
        const double sSp = std::sqrt(Sp), sS0 = std::sqrt(S0), sSm = std::sqrt(Sm);
        double rp = std::fmax(sSp + kEps - o * sS0, 0.0) / (sSp + kEps);
        double rm = std::fmax(sSm + kEps - o * sS0, 0.0) / (sSm + kEps);
        const bool shared = rPM >= kSideCoherent || Pp >= kPowerRatio * Pm || Pm >= kPowerRatio * Pp;
        if (shared) {
            double r = (rp * (sSp + kEps) + rm * (sSm + kEps)) / (sSp + sSm + 2.0 * kEps);
            rp = rm = r;
        }

        // 4. Side weights: least squares with a relative determinant guard, so
        // that quiet passages are shaped like loud ones.
        double X = sPp * rPM * sPm;
        if (flags & SFM_FLAG_ROOT_SIDE_CROSS)
            X = std::sqrt(Sp * Sm) + 0.04 * cOuter * dPM;
        const double Rp = std::sqrt(Sp * S0), Rm = std::sqrt(Sm * S0);
        double wp, wm;
        if (shared) {
            wp = wm = -(Rp + Rm) / (2.0 * X + Pp + Pm + kEps);
        } else {
            double det = Pp * Pm - X * X + kDetRelative * Pp * Pm + kDetFloor;
            wp = (X * Rm - Pm * Rp) / det;
            wm = (X * Rp - Pp * Rm) / det;
        }
        wp = std::fmin(std::fmax(wp, -k), 0.0);
        wm = std::fmin(std::fmax(wm, -k), 0.0);
        if (o > 0.0) {
            wp *= rp;
            wm *= rm;
        }

        // 5. Directness of the combination.
        double direct = wp * sSp + sS0 + wm * sSm;
        double total = P0 + wp * wp * Pp + wm * wm * Pm + 2.0 * wp * rP0 * sP0 * sPp +
                       2.0 * wm * r0M * sP0 * sPm + 2.0 * wp * wm * rPM * sPp * sPm;
        double psi = std::fmin(std::fmax(direct * direct / (total + kEps), 0.0), 1.0);

        // 6. Main gain. Dm is the diffuse amplitude of M relative to its total,
        // per unit of (1 - psi): 1 in a fully diffuse field, at any level.
        const double Dm = std::sqrt((P0 - S0) / (P0 * std::fmax(1.0 - psi, 1e-20)));
        const double diffusePart = gd * Dm * colC * (1.0 - psi);
        double G;
        if (!diffuser || b >= bC)
            G = psi * colB * gi + diffusePart;
        else if (flags & SFM_FLAG_DIFFUSE_ONLY_BELOW_SPLIT)
            G = diffusePart;
        else
            G = std::fmax(psi * colB * gi, kMinDirect);

        // 7. Temporal smoothing of the main gain in stationary bands.
        if (!(flags & SFM_FLAG_NO_GAIN_SMOOTHING) && buf->hopCoherence[b] > kCoherentBand)
            G = a50 * G + (1.0 - a50) * gPrev[b];
        gPrev[b] = static_cast<float>(G);

        // 8, 10, 11. Normalisation, rear lowpass, channel level.
        double scale = st->normBeam[i] * level;
        if (lowpass)
            scale *= st->rearLowpassGain[b];
        G *= scale;
        wp *= G;
        wm *= G;

        // 12. Optional silent band 0.
        if ((flags & SFM_FLAG_SILENCE_BAND0) && b == 0)
            G = wp = wm = 0.0;
        out[0] = static_cast<float>(wp);
        out[1] = static_cast<float>(G);
        out[2] = static_cast<float>(wm);

        // 13. Diffuse weights: the same beam combination carrying the diffuse
        // share below the diffuser split.
        if (diffuser && b < bC) {
            double f = std::fmax(diffusePart, kMinDirect) / (gPrev[b] + kEps);
            dout[0] = static_cast<float>(f * wp);
            dout[1] = static_cast<float>(f * G);
            dout[2] = static_cast<float>(f * wm);
        }
    }
}
