// Constant tables computed from their designs: the LFE Butterworth rows and
// the diffuser's de-correlation filters.
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace {

// |H(e^{i pi wc})| of a row with its leading 1, in dB; wc = 1 is Nyquist.
double magnitude_db(const double* a, const double* b, int order, double wc)
{
    const std::complex<double> z1 = std::polar(1.0, -SFM_PI * wc);
    std::complex<double> num = 0.0, den = 1.0, zk = 1.0;
    for (int k = 0; k <= order; ++k) {
        num += b[k] * zk;
        if (k > 0)
            den += a[k - 1] * zk;
        zk *= z1;
    }
    return 20.0 * std::log10(std::abs(num / den));
}

TEST(LfeTable, CornersAreTheDistinctRatiosOfTheSupportedRates)
{
    const float* c = sfm_lfe_corners();
    EXPECT_FLOAT_EQ(c[0], 0.000625f); // 120 / 192000
    EXPECT_FLOAT_EQ(c[SFM_LFE_NUM_CORNERS - 1], 0.03f); // 240 / 8000
    for (int i = 1; i < SFM_LFE_NUM_CORNERS; ++i)
        EXPECT_LT(c[i - 1], c[i]) << i;
    // Every rate and corner of the LFE options is found, with both orders.
    for (double fs : {8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0,
                      96000.0, 176400.0, 192000.0})
        for (double fc : {60.0, 90.0, 120.0})
            for (int order : {2, 3}) {
                const float *a = nullptr, *b = nullptr;
                EXPECT_EQ(sfm_lfe_lookup(static_cast<float>(2.0 * fc / fs), order, &a, &b), 0)
                    << fs << " " << fc;
            }
}

TEST(LfeTable, PublishedSecondOrderRow)
{
    const float *a = nullptr, *b = nullptr;
    ASSERT_EQ(sfm_lfe_lookup(0.000625f, 2, &a, &b), 0);
    EXPECT_NEAR(a[0], -1.99722326, 2e-7);
    EXPECT_NEAR(a[1], 0.99722707, 2e-7);
    EXPECT_NEAR(b[0], 9.6249187e-7, 1e-12);
    EXPECT_NEAR(b[1], 1.9249837e-6, 2e-12);
    EXPECT_NEAR(b[2], 9.6249187e-7, 1e-12);
}

TEST(LfeTable, UnknownCornersAndOrdersAreNotFound)
{
    const float *a = nullptr, *b = nullptr;
    EXPECT_EQ(sfm_lfe_lookup(0.01f, 2, &a, &b), -1); // 120 Hz at 24 kHz
    EXPECT_EQ(sfm_lfe_lookup(0.000625f, 4, &a, &b), -1);
    EXPECT_EQ(sfm_lfe_lookup(0.000625f * 1.0001f, 2, &a, &b), -1);
}

// Butterworth: unity at DC, -3 dB at the corner, -12 dB (order 2) resp.
// -18 dB (order 3) an octave above the pre-warped corner. The published float
// rows are the same coefficients rounded.
TEST(LfeTable, EveryRowIsAButterworthLowpassAtItsCorner)
{
    const double pi = SFM_PI;
    const float* corners = sfm_lfe_corners();
    for (int i = 0; i < SFM_LFE_NUM_CORNERS; ++i) {
        for (int order : {2, 3}) {
            const double *a = nullptr, *b = nullptr;
            ASSERT_EQ(sfm_lfe_lookup_exact(corners[i], order, &a, &b), 0);
            const double wc = corners[i];
            EXPECT_NEAR(magnitude_db(a, b, order, 1e-7), 0.0, 1e-6) << wc << " order " << order;
            EXPECT_NEAR(magnitude_db(a, b, order, wc), -3.0103, 1e-3) << wc << " order " << order;
            const double k = std::tan(pi * wc / 2.0);
            const double octave = 2.0 * std::atan(2.0 * k) / pi;
            const double want = -10.0 * std::log10(1.0 + std::pow(2.0, 2.0 * order));
            EXPECT_NEAR(magnitude_db(a, b, order, octave), want, 1e-3) << wc << " order " << order;
            EXPECT_LT(magnitude_db(a, b, order, 0.5), want - 20.0);

            const float *af = nullptr, *bf = nullptr;
            ASSERT_EQ(sfm_lfe_lookup(corners[i], order, &af, &bf), 0);
            for (int j = 0; j < order; ++j)
                EXPECT_EQ(af[j], static_cast<float>(a[j]));
            for (int j = 0; j <= order; ++j)
                EXPECT_EQ(bf[j], static_cast<float>(b[j]));
        }
    }
}

// ---------------------------------------------------------------------------

double block_energy_db(const float* h, int first, int last)
{
    double e = 0.0;
    for (int t = first; t < last; ++t)
        e += static_cast<double>(h[t]) * h[t];
    return 10.0 * std::log10(e);
}

TEST(DecorrelationFilters, SupportEnergyAndPeak)
{
    for (int k = 0; k < SFM_NUM_DECORRELATORS; ++k) {
        const float* h = sfm_decorrelation_filter(k);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h[0], 0.0f);
        double energy = 0.0, peak = 0.0;
        for (int t = 1; t < 2880; ++t) {
            ASSERT_NE(h[t], 0.0f) << "filter " << k << " tap " << t;
            energy += static_cast<double>(h[t]) * h[t];
            peak = std::fmax(peak, std::fabs(h[t]));
        }
        for (int t = 2880; t < SFM_DIFFUSER_SIZE; ++t)
            ASSERT_EQ(h[t], 0.0f) << "filter " << k << " tap " << t;
        EXPECT_NEAR(energy, 1.0, 1e-5) << k;
        EXPECT_GE(peak, 0.089) << k;
        EXPECT_LE(peak, 0.115) << k;
    }
    EXPECT_EQ(sfm_decorrelation_filter(10), nullptr);
    EXPECT_EQ(sfm_decorrelation_filter(-1), nullptr);
}

TEST(DecorrelationFilters, EnergyEnvelopeRisesPeaksAndDecays)
{
    for (int k = 0; k < SFM_NUM_DECORRELATORS; ++k) {
        const float* h = sfm_decorrelation_filter(k);
        double db[12];
        for (int b = 0; b < 12; ++b)
            db[b] = block_energy_db(h, b * 256, b == 11 ? 2880 : (b + 1) * 256);
        EXPECT_NEAR(db[0], -37.0, 3.0) << k;
        EXPECT_NEAR(db[5], -6.0, 1.5) << k;
        EXPECT_NEAR(db[11], -65.0, 4.0) << k;
        int loudest = 0;
        for (int b = 1; b < 12; ++b)
            if (db[b] > db[loudest])
                loudest = b;
        EXPECT_GE(loudest, 4) << k;
        EXPECT_LE(loudest, 6) << k;
        for (int b = 1; b <= 4; ++b)
            EXPECT_GT(db[b], db[b - 1]) << k << " rising at block " << b;
        for (int b = 7; b < 12; ++b)
            EXPECT_LT(db[b], db[b - 1]) << k << " decaying at block " << b;
    }
}

// Mutually uncorrelated at lag 0, and noise-like (little correlation with
// their own shifted copies).
TEST(DecorrelationFilters, MutuallyUncorrelatedAndNoiseLike)
{
    for (int j = 0; j < SFM_NUM_DECORRELATORS; ++j) {
        const float* a = sfm_decorrelation_filter(j);
        for (int k = j + 1; k < SFM_NUM_DECORRELATORS; ++k) {
            const float* b = sfm_decorrelation_filter(k);
            double ab = 0.0, aa = 0.0, bb = 0.0;
            for (int t = 0; t < SFM_DIFFUSER_SIZE; ++t) {
                ab += static_cast<double>(a[t]) * b[t];
                aa += static_cast<double>(a[t]) * a[t];
                bb += static_cast<double>(b[t]) * b[t];
            }
            EXPECT_LT(std::fabs(ab / std::sqrt(aa * bb)), 0.01) << j << " x " << k;
        }
        for (int lag = 1; lag <= 8; ++lag) {
            double r = 0.0;
            for (int t = lag; t < SFM_DIFFUSER_SIZE; ++t)
                r += static_cast<double>(a[t]) * a[t - lag];
            EXPECT_LT(std::fabs(r), 0.15) << "filter " << j << " lag " << lag;
        }
    }
}

} // namespace
