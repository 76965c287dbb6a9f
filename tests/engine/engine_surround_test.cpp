// The surround path seen through sfm_process: rear delays and their
// crossfade, the clipping message, the rear lowpass gains, the LFE channel,
// the output meters and the output sample formats.
#include "engine_harness.h"
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

// Output order of format 3.
enum { kL = 0, kR = 1, kC = 2, kLfe = 3, kLs = 4, kRs = 5, kOut = 6 };

struct Engine : orvo_test::Instance {
    std::mt19937 rng{1234};

    explicit Engine(float rate = 48000.0f, int outputFormat = orvo_test::kSeparateFloat)
    : Instance(rate, orvo_test::kSeparateFloat, outputFormat)
    {
    }
    int hop() const { return setup.hopSize; }

    // One hop of the given capsule signals; returns the raw output buffer
    // (kOut channels of T, separate or interleaved per the setup).
    template <typename T>
    std::vector<T> run(const float* fc, const float* f8, const float* rc)
    {
        const int n = hop();
        std::vector<T> out(static_cast<size_t>(n * kOut));
        const float* in[3] = {fc, f8, rc};
        if (setup.outputFormat & SFM_FORMAT_SEPARATE) {
            void* o[kOut];
            for (int j = 0; j < kOut; ++j)
                o[j] = out.data() + j * n;
            sfm_process(&st, &buf, in, o, &meters);
        } else {
            sfm_process(&st, &buf, in, out.data(), &meters);
        }
        return out;
    }

    // Decodes `hops` hops of noise (the same noise for the same seed);
    // returns the float outputs channel by channel.
    std::vector<std::vector<float>> noise(int hops, const std::function<void(int)>& beforeHop = {})
    {
        const int n = hop();
        std::vector<std::vector<float>> out(kOut);
        std::normal_distribution<float> d(0.0f, 0.1f);
        std::vector<float> fc(n), f8(n), rc(n);
        for (int h = 0; h < hops; ++h) {
            if (beforeHop)
                beforeHop(h);
            for (int i = 0; i < n; ++i) {
                fc[i] = d(rng);
                f8[i] = d(rng);
                rc[i] = d(rng);
            }
            const auto o = run<float>(fc.data(), f8.data(), rc.data());
            for (int j = 0; j < kOut; ++j)
                out[j].insert(out[j].end(), o.begin() + j * n, o.begin() + (j + 1) * n);
        }
        return out;
    }
};

TEST(RearDelay, AppliesToTheSurroundChannelsOnly)
{
    Engine e;
    e.params.flags |= SFM_FLAG_REAR_DELAY;
    e.params.rearDelay = 20.0f;
    ASSERT_EQ(e.create(), 0);
    // Engine channels of format 3: L R C Ls Rs LFE.
    const int want[6] = {0, 0, 0, 960, 960, 0};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(e.st.rearDelaySamples[c], want[c]) << c;

    e.params.flags &= ~uint32_t(SFM_FLAG_REAR_DELAY);
    sfm_set_params(&e.st, &e.buf, e.params);
    EXPECT_EQ(e.st.rearDelaySamples[3], 0);
}

TEST(RearDelay, DelaysTheSurroundOutputsBySamples)
{
    Engine plain, delayed;
    delayed.params.flags |= SFM_FLAG_REAR_DELAY;
    delayed.params.rearDelay = 20.0f;
    ASSERT_EQ(plain.create(), 0);
    ASSERT_EQ(delayed.create(), 0);
    const auto a = plain.noise(12);
    const auto b = delayed.noise(12);
    const size_t d = 960;
    for (size_t i = 0; i < a[kL].size(); ++i) {
        ASSERT_EQ(b[kL][i], a[kL][i]) << i;
        ASSERT_EQ(b[kC][i], a[kC][i]) << i;
    }
    double energy = 0.0;
    for (size_t i = 0; i < a[kLs].size(); ++i) {
        const float wantLs = i >= d ? a[kLs][i - d] : 0.0f;
        const float wantRs = i >= d ? a[kRs][i - d] : 0.0f;
        ASSERT_EQ(b[kLs][i], wantLs) << i;
        ASSERT_EQ(b[kRs][i], wantRs) << i;
        energy += static_cast<double>(a[kLs][i]) * a[kLs][i];
    }
    EXPECT_GT(energy, 1e-3) << "the surround outputs must carry signal for this test";
}

// A delay beyond the 50 ms history is held at its end. sfm_create (set-up)
// says so on the console; sfm_set_params, which a host runs on its audio
// thread, says it only through its result and the state's notices.
TEST(RearDelay, BeyondTheHistoryIsClippedAndReportedWithoutPrinting)
{
    Engine e;
    e.params.flags |= SFM_FLAG_REAR_DELAY;
    e.params.rearDelay = 60.0f;
    CaptureStderr();
    ASSERT_EQ(e.create(), 0);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(e.st.rearDelaySamples[3], 2400);
    EXPECT_EQ(e.st.rearDelaySamples[4], 2400);
    EXPECT_NE(err.find(": historysizeout (2912 samples) too small for reardelay (60.0 ms), "
                       "clipping reardelay to 2400 samples\n"),
              std::string::npos)
        << err;

    e.st.notices = 0;
    e.params.rearDelay = 50.0f; // exactly the limit
    CaptureStderr();
    EXPECT_EQ(sfm_set_params(&e.st, &e.buf, e.params), 0u);
    EXPECT_EQ(e.st.rearDelaySamples[3], 2400);
    EXPECT_EQ(e.st.rearDelayClippedMs, -1.0f);
    e.params.rearDelay = 50000.0f; // 50 s, as a host may send
    EXPECT_EQ(sfm_set_params(&e.st, &e.buf, e.params), uint32_t(SFM_NOTICE_REAR_DELAY_CLIPPED));
    EXPECT_EQ(e.st.rearDelaySamples[3], 2400);
    EXPECT_EQ(e.st.rearDelayClippedMs, 50000.0f);
    e.params.rearDelay = -5.0f;
    EXPECT_EQ(sfm_set_params(&e.st, &e.buf, e.params), 0u);
    EXPECT_EQ(e.st.rearDelaySamples[3], 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    // The notice stays until the caller clears it.
    EXPECT_EQ(e.st.notices, uint32_t(SFM_NOTICE_REAR_DELAY_CLIPPED));
    EXPECT_NE(std::string(sfm_notice_text(SFM_NOTICE_REAR_DELAY_CLIPPED)), "");
}

// A change from 10 to 20 ms fades from the old read position to the new one:
// out = h new + (1 - h) old with h rising from 0.01 past 0.96, then the new
// position alone.
TEST(RearDelay, ChangeCrossfadesBetweenReadPositions)
{
    Engine at10, at20, change;
    for (Engine* e : {&at10, &at20, &change}) {
        e->params.flags |= SFM_FLAG_REAR_DELAY;
        e->params.rearDelay = e == &at20 ? 20.0f : 10.0f;
        ASSERT_EQ(e->create(), 0);
    }
    const int switchHop = 6, hops = 20, n = at10.hop();
    const auto a = at10.noise(hops);
    const auto b = at20.noise(hops);
    const auto c = change.noise(hops, [&](int h) {
        if (h == switchHop) {
            change.params.rearDelay = 20.0f;
            sfm_set_params(&change.st, &change.buf, change.params);
        }
    });
    // Before the change and during the hop that takes it up: the old delay.
    for (int i = 0; i < (switchHop + 1) * n; ++i)
        ASSERT_EQ(c[kLs][i], a[kLs][i]) << i;
    // The fade: h estimated where the two positions differ clearly.
    double lastH = 0.0;
    int fadeEnd = -1;
    for (int i = (switchHop + 1) * n; i < hops * n; ++i) {
        const double diff = static_cast<double>(b[kLs][i]) - a[kLs][i];
        if (c[kLs][i] == b[kLs][i] && i > (switchHop + 2) * n && fadeEnd < 0)
            fadeEnd = i;
        if (fadeEnd >= 0 || std::fabs(diff) < 0.02)
            continue;
        const double h = (c[kLs][i] - a[kLs][i]) / diff;
        EXPECT_GT(h, 0.005) << i;
        EXPECT_LT(h, 0.975) << i;
        EXPECT_GT(h, lastH - 1e-3) << "the fade runs one way, at " << i;
        lastH = h;
    }
    ASSERT_GT(fadeEnd, 0) << "the fade never finished";
    EXPECT_GT(lastH, 0.9);
    // About 3200 samples from 0.01 to 0.96, finished on a hop boundary.
    const int fadeLen = fadeEnd - (switchHop + 1) * n;
    EXPECT_GE(fadeLen, 3000);
    EXPECT_LE(fadeLen, 3200 + 2 * n);
    for (int i = fadeEnd; i < hops * n; ++i)
        ASSERT_EQ(c[kLs][i], b[kLs][i]) << i;
    for (int i = 0; i < hops * n; ++i)
        ASSERT_EQ(c[kL][i], a[kL][i]) << "front channels never fade, at " << i;
}

TEST(RearLowpass, SixDecibelsPerOctaveAboveTheCorner)
{
    Engine e;
    e.params.rearLowpass = 3000.0f;
    ASSERT_EQ(e.create(), 0);
    const sfm_state& st = e.st;
    const int w = sfm_band_lookup(&st, 3000.0f);
    ASSERT_GT(w, 0);
    ASSERT_LT(w, st.numBands);
    for (int b = 0; b < st.numBands; ++b) {
        const int lo = b > 0 ? st.bandEdge[b - 1] : 0;
        const double centreHz = (lo + st.bandEdge[b]) * 48000.0 / (2.0 * 1024);
        if (b < w) {
            EXPECT_EQ(st.rearLowpassGain[b], 1.0f) << b;
        } else if (centreHz > 3001.0) {
            // -6 dB per octave of the band centre above the corner (+1 Hz).
            const double octaves = std::log2(centreHz / 3001.0);
            EXPECT_NEAR(20.0 * std::log10(st.rearLowpassGain[b]), -6.0 * octaves, 1e-3) << b;
        } else {
            EXPECT_EQ(st.rearLowpassGain[b], 1.0f) << b;
        }
        if (b > 0) {
            EXPECT_LE(st.rearLowpassGain[b], st.rearLowpassGain[b - 1]);
        }
    }
    // The top band at 48 kHz lies near 23 kHz: about three octaves down.
    EXPECT_LT(st.rearLowpassGain[st.numBands - 1], 0.14f);
}

TEST(Lfe, SilentWithoutItsFlag)
{
    Engine e;
    e.params.flags &= ~uint32_t(SFM_FLAG_LFE_ON);
    ASSERT_EQ(e.create(), 0);
    const auto o = e.noise(8);
    for (float v : o[kLfe])
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(e.meters.output[kLfe], 0.0f);
}

// The LFE carries the pressure signal (front + rear cardioid) through the
// Butterworth low-pass: a 40 Hz tone passes, a 1 kHz tone does not.
TEST(Lfe, LowPassOfThePressureSignal)
{
    for (int mode : {0, 4}) {
        for (double toneHz : {40.0, 1000.0}) {
            Engine e;
            e.params.flags |= SFM_FLAG_LFE_ON;
            e.params.lfeMode = mode;
            e.params.gainLfe = -6.0f;
            ASSERT_EQ(e.create(), 0);
            EXPECT_EQ(e.st.lfeOrder, mode < 3 ? 2 : 3);
            const int n = e.hop();
            std::vector<float> fc(n), f8(n, 0.0f), rc(n);
            double peak = 0.0;
            for (int h = 0; h < 60; ++h) {
                for (int i = 0; i < n; ++i) {
                    const double t = static_cast<double>(h * n + i) / 48000.0;
                    fc[i] = static_cast<float>(0.25 * std::sin(2.0 * SFM_PI * toneHz * t));
                    rc[i] = fc[i];
                }
                const auto o = e.run<float>(fc.data(), f8.data(), rc.data());
                if (h >= 40)
                    for (int i = 0; i < n; ++i)
                        peak = std::fmax(peak, std::fabs(o[kLfe * n + i]));
            }
            // S0 = 0.5 peak; -6 dB of LFE gain.
            const double passband = 0.5 * 0.5011872;
            if (toneHz < 100.0) {
                const double fcHz = mode == 0 ? 120.0 : 90.0;
                const int order = mode == 0 ? 2 : 3;
                const double want = passband / std::sqrt(1.0 + std::pow(toneHz / fcHz, 2.0 * order));
                EXPECT_NEAR(peak, want, want * 0.02) << "mode " << mode;
            } else {
                EXPECT_LT(peak, passband * (mode == 0 ? 0.02 : 0.002)) << "mode " << mode;
            }
        }
    }
}

TEST(Lfe, OptionFourAt48kHzIsTheThirdOrderNinetyHertzRow)
{
    Engine e;
    e.params.lfeMode = 4;
    ASSERT_EQ(e.create(), 0);
    double a[3] = {}, b[4] = {};
    ASSERT_EQ(sfm_lfe_design(3, 2.0f * 90.0f / 48000.0f, a, b), 0);
    EXPECT_EQ(e.st.lfeOrder, 3);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(e.st.lfeA[j], a[j]) << j;
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(e.st.lfeB[j], b[j]) << j;
}

TEST(OutputMeters, PeakOfEachOutputHop)
{
    Engine e;
    e.params.flags |= SFM_FLAG_REAR_DELAY;
    ASSERT_EQ(e.create(), 0);
    const int n = e.hop();
    std::normal_distribution<float> d(0.0f, 0.2f);
    std::vector<float> fc(n), f8(n), rc(n);
    for (int h = 0; h < 10; ++h) {
        for (int i = 0; i < n; ++i) {
            fc[i] = d(e.rng);
            f8[i] = d(e.rng);
            rc[i] = d(e.rng);
        }
        const auto o = e.run<float>(fc.data(), f8.data(), rc.data());
        for (int j = 0; j < kOut; ++j) {
            float peak = 0.0f;
            for (int i = 0; i < n; ++i)
                peak = std::fmax(peak, std::fabs(o[j * n + i]));
            EXPECT_EQ(e.meters.output[j], peak) << "hop " << h << " output " << j;
        }
        for (int j = kOut; j < SFM_MAX_CHANNELS; ++j)
            EXPECT_EQ(e.meters.output[j], 0.0f);
    }
}

// The same decode in every output format: integers are the float values
// scaled, rounded half up and clipped to their range.
// Every sample format carries the float output, rounded once: also while a
// rear delay change crossfades between two read positions.
TEST(OutputFormats, IntegerAndInterleavedMatchFloat)
{
    const int sep = SFM_FORMAT_SEPARATE;
    Engine ref(48000.0f, SFM_FORMAT_FLOAT32 | sep);
    Engine inter(48000.0f, SFM_FORMAT_FLOAT32);
    Engine i16(48000.0f, SFM_FORMAT_INT16 | sep);
    Engine i32(48000.0f, SFM_FORMAT_INT32);
    for (Engine* e : {&ref, &inter, &i16, &i32}) {
        e->params.flags |= SFM_FLAG_REAR_DELAY;
        e->params.rearDelay = 5.0f;
        ASSERT_EQ(e->create(), 0);
    }
    const int n = ref.hop();
    std::normal_distribution<float> d(0.0f, 1.5f); // loud enough to clip
    std::vector<float> fc(n), f8(n), rc(n);
    int clipped = 0;
    for (int h = 0; h < 8; ++h) {
        if (h == 2) { // a fade of about 3200 samples over the next hops
            for (Engine* e : {&ref, &inter, &i16, &i32}) {
                e->params.rearDelay = 12.0f;
                sfm_set_params(&e->st, &e->buf, e->params);
            }
        }
        for (int i = 0; i < n; ++i) {
            fc[i] = d(ref.rng);
            f8[i] = d(ref.rng);
            rc[i] = d(ref.rng);
        }
        const auto f = ref.run<float>(fc.data(), f8.data(), rc.data());
        const auto fi = inter.run<float>(fc.data(), f8.data(), rc.data());
        const auto s16 = i16.run<int16_t>(fc.data(), f8.data(), rc.data());
        const auto s32 = i32.run<int32_t>(fc.data(), f8.data(), rc.data());
        for (int j = 0; j < kOut; ++j) {
            for (int i = 0; i < n; ++i) {
                const float v = f[j * n + i];
                ASSERT_EQ(fi[i * kOut + j], v);
                const double w16 = std::fmin(std::fmax(std::floor(v * 32768.0 + 0.5), -32768.0), 32767.0);
                ASSERT_EQ(s16[j * n + i], static_cast<int16_t>(w16)) << v;
                const double w32 =
                    std::fmin(std::fmax(std::floor(v * 2147483648.0 + 0.5), -2147483648.0), 2147483647.0);
                ASSERT_EQ(s32[i * kOut + j], static_cast<int32_t>(w32)) << v;
                clipped += std::fabs(v) > 1.0f;
            }
        }
    }
    EXPECT_GT(clipped, 0) << "the signal must exceed full scale somewhere for this test";
    EXPECT_NE(ref.buf.fadeWeight[ref.st.channelMap[kLs]], 0.0f) << "the fade must still run at the end of this test";
}

} // namespace
