// Analysis bands on the ERB-rate scale.
//
// ERB-rate after Glasberg & Moore (1990), "Derivation of auditory filter
// shapes from notched-noise data", eq. 4: E(f) = 21.4 log10(0.00437 f + 1).
// Band edges lie every `bandWidthErb` ERB above max(bandWidthErb, E(120 Hz)).
// Each band holds at least two bins and at least as many bins as the band
// below it, so the low bands of short transforms do not degenerate. Adjacent
// bands overlap by a sin^2 crossfade centred on their common edge, and the
// weights of neighbouring bands sum to one at every bin, so spreading band
// gains over the bins (sum of weight times gain) is transparent for equal gains.
#include "sfm_internal.h"

#include <cmath>

namespace {

// E(f) = kErbScale log10(kErbPerHz f + 1), Glasberg & Moore's eq. 4.
constexpr double kErbScale = 21.4;
constexpr double kErbPerHz = 0.00437;
// The first band edge lies at least this high: lower bands would hold only a
// bin or two at any rate.
constexpr double kLowestEdgeHz = 120.0;
// An edge a rounding error above a whole bin stays on that bin.
constexpr double kEdgeTolerance = 1e-9;

double erb_rate(double hz)
{
    return kErbScale * std::log10(kErbPerHz * hz + 1.0);
}

double erb_to_hz(double erb)
{
    return (std::pow(10.0, erb / kErbScale) - 1.0) / kErbPerHz;
}

// Upper (exclusive) bin edges of the bands; returns their count.
int band_edges(const sfm_setup& s, int32_t* edges)
{
    const int n = s.fftSize;
    const double fs = s.sampleRate;
    const double delta = s.bandWidthErb > 0.0f ? s.bandWidthErb : 2.0;
    const int last = n / 2 + 1;
    double edgeErb = std::fmax(delta, erb_rate(kLowestEdgeHz));
    const int secondRef = static_cast<int>(std::lround(std::fmin(erb_to_hz(delta) * n / fs, static_cast<double>(last))));

    int count = 0;
    int k = 0;
    int prevWidth = 0;
    while (k < last && count < SFM_MAX_BANDS) {
        // Held to the top bin before the conversion: a wide custom spacing
        // puts the ERB edge far beyond any int.
        const double edgeBin = std::fmin(erb_to_hz(edgeErb) * n / fs, static_cast<double>(last));
        int j = static_cast<int>(std::ceil(edgeBin - kEdgeTolerance));
        if (j <= k)
            j = k + 1;
        int minWidth = 2;
        if (count == 1 && secondRef > minWidth)
            minWidth = secondRef;
        else if (count > 1 && prevWidth > minWidth)
            minWidth = prevWidth;
        if (j < k + minWidth)
            j = k + minWidth;
        if (j > last || count == SFM_MAX_BANDS - 1)
            j = last;
        edges[count++] = j;
        prevWidth = j - k;
        k = j;
        edgeErb += delta;
    }
    return count;
}

} // namespace

int sfm_bands_build(sfm_state* st, float* weights)
{
    int32_t edges[SFM_MAX_BANDS];
    const int nb = band_edges(st->setup, edges);
    st->numBands = nb;

    // Half-width of the crossfade at the upper edge of band b.
    int half[SFM_MAX_BANDS];
    for (int b = 0; b < nb; ++b) {
        const int lo = b > 0 ? edges[b - 1] : 0;
        const int width = edges[b] - lo;
        half[b] = 0;
        if (b + 1 < nb) {
            const int nextWidth = edges[b + 1] - edges[b];
            half[b] = (width < nextWidth ? width : nextWidth) / 2;
        }
    }

    const double halfPi = SFM_PI / 2.0;
    int offset = 0;
    const int lastBin = st->setup.fftSize / 2; // inclusive
    for (int b = 0; b < nb; ++b) {
        const int lo = b > 0 ? edges[b - 1] : 0;
        const int hl = b > 0 ? half[b - 1] : 0;
        const int hu = half[b];
        const int first = lo - hl;
        const int end = (b + 1 < nb) ? edges[b] + hu : lastBin + 1; // exclusive
        st->bandEdge[b] = edges[b];
        st->bandFirstBin[b] = first;
        st->bandNumBins[b] = end - first;
        st->bandWeightOffset[b] = offset;
        if (weights) {
            float* w = weights + offset;
            for (int k = first; k < end; ++k) {
                double v = 1.0;
                if (k < lo + hl) {
                    // rising: m = 1 .. 2hl over bins lo - hl .. lo + hl - 1
                    const int m = k - first + 1;
                    const double x = std::sin(halfPi * m / (2 * hl + 1));
                    v = x * x;
                } else if (k >= edges[b] - hu && b + 1 < nb) {
                    // falling: m = 2hu .. 1 over bins edge - hu .. edge + hu - 1
                    const int m = 2 * hu - (k - (edges[b] - hu));
                    const double x = std::sin(halfPi * m / (2 * hu + 1));
                    v = x * x;
                }
                w[k - first] = static_cast<float>(v);
            }
        }
        offset += end - first;
    }
    return offset;
}

int sfm_band_lookup(const sfm_state* st, float freqHz)
{
    const double x = static_cast<double>(st->setup.fftSize) * freqHz / st->setup.sampleRate;
    for (int b = 0; b < st->numBands; ++b) {
        if (st->bandEdge[b] >= x)
            return b;
    }
    return st->numBands;
}
