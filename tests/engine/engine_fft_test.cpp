// The engine's real FFT against a double-precision DFT, and its round trip.
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Fft {
    sfm_fft f{};
    explicit Fft(int n) { EXPECT_EQ(sfm_fft_init(&f, n), 0); }
    ~Fft() { sfm_fft_free(&f); }
};

std::vector<float> noise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (auto& v : x)
        v = d(rng);
    return x;
}

class FftSizes : public ::testing::TestWithParam<int> {};

// Forward: X[k] = (1/N) sum x[n] e^{-2 pi i k n / N}, k = 0 .. N/2.
TEST_P(FftSizes, ForwardMatchesDirectDft)
{
    const int n = GetParam();
    Fft fft(n);
    const auto x = noise(n, 1u + static_cast<unsigned>(n));
    const auto copy = x;
    std::vector<float> re(n / 2 + 1), im(n / 2 + 1);
    sfm_fft_forward(&fft.f, x.data(), re.data(), im.data());
    EXPECT_EQ(x, copy) << "the input must not be modified";

    // Float error grows with log N; bins of unit-variance noise are ~1/sqrt(N).
    const double tol = 2e-6 * std::log2(static_cast<double>(n)) / std::sqrt(static_cast<double>(n));
    const double pi = SFM_PI;
    for (int k = 0; k <= n / 2; k += (n > 512 ? 7 : 1)) {
        double sr = 0.0, si = 0.0;
        for (int t = 0; t < n; ++t) {
            const double a = 2.0 * pi * static_cast<double>(k) * t / n;
            sr += x[t] * std::cos(a);
            si -= x[t] * std::sin(a);
        }
        ASSERT_NEAR(re[k], sr / n, tol) << "bin " << k;
        ASSERT_NEAR(im[k], si / n, tol) << "bin " << k;
    }
    EXPECT_EQ(im[0], 0.0f);
    EXPECT_EQ(im[n / 2], 0.0f);
}

// Inverse: x[n] = X0 + XN/2 (-1)^n + 2 sum_{0<k<N/2} Re(X[k] e^{+2 pi i k n / N}).
TEST_P(FftSizes, InverseMatchesDirectSynthesis)
{
    const int n = GetParam();
    Fft fft(n);
    auto re = noise(n / 2 + 1, 7u * static_cast<unsigned>(n));
    auto im = noise(n / 2 + 1, 11u * static_cast<unsigned>(n));
    im[0] = 0.0f;
    im[n / 2] = 0.0f;
    std::vector<float> x(n);
    sfm_fft_inverse(&fft.f, re.data(), im.data(), x.data());
    const double pi = SFM_PI;
    const double tol = 2e-6 * n;
    for (int t = 0; t < n; t += (n > 512 ? 5 : 1)) {
        double s = re[0] + re[n / 2] * ((t & 1) ? -1.0 : 1.0);
        for (int k = 1; k < n / 2; ++k) {
            const double a = 2.0 * pi * static_cast<double>(k) * t / n;
            s += 2.0 * (re[k] * std::cos(a) - im[k] * std::sin(a));
        }
        ASSERT_NEAR(x[t], s, tol) << "sample " << t;
    }
}

TEST_P(FftSizes, ForwardThenInverseIsIdentity)
{
    const int n = GetParam();
    Fft fft(n);
    const auto x = noise(n, 3u * static_cast<unsigned>(n));
    std::vector<float> re(n / 2 + 1), im(n / 2 + 1), y(n);
    sfm_fft_forward(&fft.f, x.data(), re.data(), im.data());
    sfm_fft_inverse(&fft.f, re.data(), im.data(), y.data());
    for (int t = 0; t < n; ++t)
        ASSERT_NEAR(y[t], x[t], 1e-5) << "sample " << t;
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FftSizes,
                         ::testing::Values(4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192,
                                           16384));

TEST(Fft, PureToneLandsInItsBin)
{
    const int n = 1024;
    Fft fft(n);
    std::vector<float> x(n), re(n / 2 + 1), im(n / 2 + 1);
    const double pi = SFM_PI;
    for (int t = 0; t < n; ++t)
        x[t] = static_cast<float>(std::cos(2.0 * pi * 37 * t / n));
    sfm_fft_forward(&fft.f, x.data(), re.data(), im.data());
    for (int k = 0; k <= n / 2; ++k) {
        const double mag = std::hypot(re[k], im[k]);
        EXPECT_NEAR(mag, k == 37 ? 0.5 : 0.0, 1e-5) << "bin " << k;
    }
}

TEST(Fft, RejectsLengthsItCannotTransform)
{
    sfm_fft f{};
    EXPECT_NE(sfm_fft_init(&f, 0), 0);
    EXPECT_NE(sfm_fft_init(&f, 2), 0);
    EXPECT_NE(sfm_fft_init(&f, 1000), 0);
    EXPECT_EQ(f.cosTable, nullptr);
    sfm_fft_free(&f);
    sfm_fft_free(&f); // twice is harmless
}

} // namespace
