// The diffuser: block convolution of the diffuse share with each channel's
// de-correlation filter, exact at every rate, and its set-up limits.
#include "engine_harness.h"
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

namespace {

struct Engine : orvo_test::Instance {
    explicit Engine(float rate) : Instance(rate, orvo_test::kSeparateFloat, orvo_test::kSeparateFloat) {}

    // Feeds one hop's diffuse spectrum to channel k and returns the hop the
    // diffuser added to k's output history (cleared again afterwards).
    std::vector<float> hop(int k, const std::vector<float>& re, const std::vector<float>& im)
    {
        float* out = buf.historyOut[k] + (st.setup.historySizeOut - st.setup.overlapSize);
        const int n = st.setup.hopSize;
        std::fill(out, out + n, 0.0f);
        sfm_diffuser_process(&st, &buf, k, re.data(), im.data());
        std::vector<float> r(out, out + n);
        std::fill(out, out + n, 0.0f);
        return r;
    }

    // The spectrum whose windowed synthesis is the frame `frame` (fftSize).
    void spectrum_of(const std::vector<float>& frame, std::vector<float>& re, std::vector<float>& im)
    {
        re.assign(static_cast<size_t>(st.setup.numBins), 0.0f);
        im.assign(static_cast<size_t>(st.setup.numBins), 0.0f);
        sfm_fft_forward(&st.fft, frame.data(), re.data(), im.data());
    }
};

// A unit impulse in the diffuse signal comes out as filter k itself: all 2879
// taps, across as many hops as they span. At 192 kHz (hop 2048) this needs
// the longer block; a 4096-point block would fold the last 831 taps back.
// At 384 kHz one hop (4096) already outlasts the filter.
TEST(Diffuser, ImpulseYieldsTheChannelsFilter)
{
    for (float rate : {48000.0f, 96000.0f, 192000.0f, 384000.0f}) {
        for (int k : {0, 4}) {
            for (int late : {0, 1}) {
                Engine e(rate);
                ASSERT_EQ(e.create(), 0);
                const sfm_setup& s = e.st.setup;
                // Impulse position in the first hop: early, or at its end, where
                // the filter's tail reaches furthest into the block.
                const int p = late ? s.hopSize - 5 : 37;
                std::vector<float> frame(static_cast<size_t>(s.fftSize), 0.0f), re, im;
                frame[static_cast<size_t>(s.zeroPad + p)] = 1.0f / e.st.window[p];
                e.spectrum_of(frame, re, im);
                const std::vector<float> zre(re.size(), 0.0f), zim(im.size(), 0.0f);

                std::vector<float> y;
                for (int h = 0; static_cast<int>(y.size()) < p + 2880 + s.hopSize; ++h) {
                    const auto o = e.hop(k, h == 0 ? re : zre, h == 0 ? im : zim);
                    y.insert(y.end(), o.begin(), o.end());
                }
                const float* f = sfm_decorrelation_filter(k);
                for (size_t t = 0; t < y.size(); ++t) {
                    const int tap = static_cast<int>(t) - p;
                    const float want = (tap >= 0 && tap < SFM_DIFFUSER_SIZE) ? f[tap] : 0.0f;
                    ASSERT_NEAR(y[t], want, 2e-5) << rate << " Hz, filter " << k << ", sample " << t;
                }
            }
        }
    }
}

// Two channels fed the same diffuse signal come out mutually uncorrelated,
// at the input's level (unit-energy filters).
TEST(Diffuser, SameInputTwoChannelsUncorrelated)
{
    Engine e(48000.0f);
    ASSERT_EQ(e.create(), 0);
    const sfm_setup& s = e.st.setup;
    std::mt19937 rng(5);
    std::normal_distribution<float> d(0.0f, 1.0f);
    std::vector<float> frame(static_cast<size_t>(s.fftSize)), re, im;
    std::vector<float> a, b;
    double inEnergy = 0.0;
    for (int h = 0; h < 60; ++h) {
        for (auto& v : frame)
            v = d(rng);
        e.spectrum_of(frame, re, im);
        const auto oa = e.hop(0, re, im);
        const auto ob = e.hop(1, re, im);
        if (h >= 10) {
            a.insert(a.end(), oa.begin(), oa.end());
            b.insert(b.end(), ob.begin(), ob.end());
            // Windowed overlap-add of white frames: unit variance per sample.
            inEnergy += s.hopSize;
        }
    }
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    EXPECT_LT(std::fabs(ab / std::sqrt(aa * bb)), 0.05);
    EXPECT_NEAR(aa / inEnergy, 1.0, 0.2);
    EXPECT_NEAR(bb / inEnergy, 1.0, 0.2);
}

TEST(Diffuser, TenDecodedChannelsUseTenFilters)
{
    Engine e(48000.0f);
    e.params.format = 7;
    e.setup.numOutputs = 10;
    ASSERT_EQ(e.create(), 0);
    ASSERT_EQ(e.st.numDecoded, 10);
    for (int k = 0; k < 10; ++k) {
        ASSERT_NE(e.st.diffuserFilterRe[k], nullptr) << k;
        ASSERT_NE(e.buf.diffuseOverlap[k], nullptr) << k;
        // Bin 0 of the plain DFT is the sum of the taps.
        double sum = 0.0;
        for (int t = 0; t < SFM_DIFFUSER_SIZE; ++t)
            sum += sfm_decorrelation_filter(k)[t];
        EXPECT_NEAR(e.st.diffuserFilterRe[k][0], sum, 1e-4) << k;
        EXPECT_EQ(e.st.diffuserFilterIm[k][0], 0.0f);
    }
}

TEST(Diffuser, MoreDecodedChannelsThanFiltersIsFatal)
{
    sfm_state st{};
    sfm_buffers buf{};
    sfm_setup_init(&st.setup, 48000.0f);
    st.numDecoded = 11;
    CaptureStdout();
    EXPECT_EQ(sfm_diffuser_design(&st, &buf), SFM_ERR_SETUP);
    EXPECT_EQ(GetCapturedStdout(),
              "Number of de-correlation filters smaller than number of output channels!\n");
    EXPECT_NE(st.fatal, 0);
    EXPECT_EQ(st.diffuserFilterRe[0], nullptr);
    sfm_free(&st, &buf, nullptr, nullptr);
}

// Through the whole hop: with the diffuser off nothing is fed to the
// convolution; with it on, the low bands' diffuse share passes through it.
TEST(Diffuser, OnlyFedWhenSwitchedOn)
{
    for (bool on : {false, true}) {
        Engine e(48000.0f);
        if (on)
            e.params.flags |= SFM_FLAG_DIFFUSER;
        ASSERT_EQ(e.create(), 0);
        const int n = e.st.setup.hopSize;
        std::mt19937 rng(9);
        std::normal_distribution<float> d(0.0f, 0.3f);
        std::vector<float> in[3], out[6];
        for (auto& v : in)
            v.resize(static_cast<size_t>(n));
        for (auto& v : out)
            v.resize(static_cast<size_t>(n));
        const float* ip[3] = {in[0].data(), in[1].data(), in[2].data()};
        void* op[6];
        for (int j = 0; j < 6; ++j)
            op[j] = out[j].data();
        for (int h = 0; h < 12; ++h) {
            for (auto& ch : in)
                for (auto& v : ch)
                    v = d(rng);
            sfm_process(&e.st, &e.buf, ip, op, nullptr);
        }
        double tail = 0.0;
        for (int k = 0; k < e.st.numDecoded; ++k)
            for (int i = 0; i < e.st.diffuserSize; ++i)
                tail += std::fabs(e.buf.diffuseOverlap[k][i]);
        if (on)
            EXPECT_GT(tail, 0.0);
        else
            EXPECT_EQ(tail, 0.0);
    }
}

} // namespace
