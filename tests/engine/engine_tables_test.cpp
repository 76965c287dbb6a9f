// Constant tables computed from their designs: the LFE Butterworth low-pass
// and the diffuser's de-correlation filters.
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

// Rows of the decoder's published coefficient table (single precision) for
// 60 Hz at 192 kHz, 60 Hz at 44.1 kHz, 90 Hz at 48 kHz and 120 Hz at 8 kHz:
// the design, rounded to float, gives each value exactly.
struct PublishedRow {
    float corner; // 2 fc / fs in float, as the engine forms it
    int order;
    float a[3];
    float b[4];
};
const PublishedRow kPublished[] = {
    {static_cast<float>(120.0 / 192000.0), 2, {-1.99722326f, 0.997227073f}, {9.62491868e-07f, 1.92498374e-06f, 9.62491868e-07f}},
    {static_cast<float>(120.0 / 192000.0), 3, {-2.99607301f, 2.99215364f, -0.996080697f},
     {9.4438124e-10f, 2.83314372e-09f, 2.83314372e-09f, 9.4438124e-10f}},
    {static_cast<float>(120.0 / 44100.0), 2, {-1.98791063f, 0.987983286f}, {1.81595533e-05f, 3.63191066e-05f, 1.81595533e-05f}},
    {static_cast<float>(120.0 / 44100.0), 3, {-2.982903f, 2.96595168f, -0.983048201f},
     {7.74253124e-08f, 2.32275937e-07f, 2.32275937e-07f, 7.74253124e-08f}},
    {static_cast<float>(180.0 / 48000.0), 2, {-1.98333955f, 0.983477235f}, {3.44107757e-05f, 6.88215514e-05f, 3.44107757e-05f}},
    {static_cast<float>(180.0 / 48000.0), 3, {-2.97643828f, 2.95315313f, -0.976713359f},
     {2.02000308e-07f, 6.06000924e-07f, 6.06000924e-07f, 2.02000308e-07f}},
    {static_cast<float>(240.0 / 8000.0), 2, {-1.86689234f, 0.875214577f}, {0.00208056695f, 0.0041611339f, 0.00208056695f}},
    {static_cast<float>(240.0 / 8000.0), 3, {-2.81157374f, 2.64048362f, -0.828146279f},
     {9.5442505e-05f, 0.0002863275f, 0.0002863275f, 9.5442505e-05f}},
};

TEST(LfeDesign, ReproducesThePublishedRows)
{
    for (const PublishedRow& row : kPublished) {
        double a[3] = {}, b[4] = {};
        ASSERT_EQ(sfm_lfe_design(row.order, row.corner, a, b), 0);
        for (int j = 0; j < row.order; ++j)
            EXPECT_EQ(static_cast<float>(a[j]), row.a[j]) << row.corner << " order " << row.order << " a" << j + 1;
        for (int j = 0; j <= row.order; ++j)
            EXPECT_EQ(static_cast<float>(b[j]), row.b[j]) << row.corner << " order " << row.order << " b" << j;
    }
}

TEST(LfeDesign, RefusesOrdersAndCornersItCannotDesign)
{
    double a[3], b[4];
    EXPECT_EQ(sfm_lfe_design(4, 0.01f, a, b), -1);
    EXPECT_EQ(sfm_lfe_design(1, 0.01f, a, b), -1);
    EXPECT_EQ(sfm_lfe_design(2, 0.0f, a, b), -1);
    EXPECT_EQ(sfm_lfe_design(2, 1.0f, a, b), -1);
    EXPECT_EQ(sfm_lfe_design(3, NAN, a, b), -1);
}

// Butterworth at every rate the engine takes, the odd ones included: unity at
// DC, -3 dB at the corner, -12 dB (order 2) resp. -18 dB (order 3) an octave
// above the pre-warped corner, and deep in the stop band at fs / 4.
TEST(LfeDesign, EveryRateGetsAButterworthLowpassAtItsCorner)
{
    for (double fs : {8000.0, 12000.0, 24000.0, 44100.0, 47952.0, 48048.0, 50000.0, 96096.0, 192000.0, 384000.0}) {
        for (double fc : {60.0, 90.0, 120.0}) {
            for (int order : {2, 3}) {
                const float corner = static_cast<float>(2.0 * fc / fs);
                double a[3] = {}, b[4] = {};
                ASSERT_EQ(sfm_lfe_design(order, corner, a, b), 0);
                const double wc = corner;
                // Near z = 1 (poles within 1e-3 of it at the lowest corners)
                // double rounding leaves a few millionths of a decibel.
                EXPECT_NEAR(magnitude_db(a, b, order, 1e-7), 0.0, 1e-5) << fs << " " << fc << " order " << order;
                EXPECT_NEAR(magnitude_db(a, b, order, wc), -3.0103, 1e-3) << fs << " " << fc << " order " << order;
                const double k = std::tan(SFM_PI * wc / 2.0);
                const double octave = 2.0 * std::atan(2.0 * k) / SFM_PI;
                const double want = -10.0 * std::log10(1.0 + std::pow(2.0, 2.0 * order));
                EXPECT_NEAR(magnitude_db(a, b, order, octave), want, 1e-3) << fs << " " << fc << " order " << order;
                EXPECT_LT(magnitude_db(a, b, order, 0.5), want - 20.0);
            }
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
