// Engine set-up: rates and derived sizes, validation codes and messages,
// channel maps, gains, analysis bands, reset and release.
#include "engine_harness.h"
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

namespace {

using Engine = orvo_test::Instance;

TEST(SetupInit, HopIsThePowerOfTwoAtOrAboveTenMilliseconds)
{
    struct Row {
        float rate;
        int hop;
    };
    const Row rows[] = {{8000, 128},    {11025, 128},   {12000, 128},   {16000, 256},   {22050, 256},
                        {24000, 256},   {32000, 512},   {44100, 512},   {47952, 512},   {48000, 512},
                        {48048, 512},   {50000, 512},   {88200, 1024},  {96000, 1024},  {96096, 1024},
                        {176400, 2048}, {192000, 2048}, {384000, 4096}};
    for (const Row& r : rows) {
        sfm_setup s;
        ASSERT_EQ(sfm_setup_init(&s, r.rate), 0) << r.rate;
        EXPECT_EQ(s.hopSize, r.hop) << r.rate;
        EXPECT_EQ(s.fftSize, 2 * r.hop) << r.rate;
        EXPECT_EQ(s.windowSize, 2 * r.hop) << r.rate;
        EXPECT_EQ(s.numInputs, 3);
        EXPECT_EQ(s.numOutputs, 6);
        EXPECT_EQ(s.inputFormat, 65);
        EXPECT_EQ(s.outputFormat, 65);
        EXPECT_FLOAT_EQ(s.bandWidthErb, 2.0f);
    }
}

TEST(SetupInit, RefusesRatesOutsideTheSupportedRange)
{
    for (float rate : {7999.0f, 384001.0f, 1234567.8f, 0.0f, -48000.0f, NAN, INFINITY}) {
        sfm_setup s;
        EXPECT_EQ(sfm_setup_init(&s, rate), SFM_ERR_SAMPLE_RATE) << rate;
        EXPECT_EQ(s.hopSize, 0);
        EXPECT_EQ(s.numOutputs, 6);
    }
    Engine e(48000.0f);
    e.setup.sampleRate = 400000.0f;
    EXPECT_EQ(e.create(), SFM_ERR_SAMPLE_RATE);
}

TEST(Create, DerivesSizesAndCopiesThemBack)
{
    Engine e;
    ASSERT_EQ(e.create(), 0);
    EXPECT_EQ(e.buf.allocated, 1);
    EXPECT_EQ(e.setup.numBins, 513);
    EXPECT_EQ(e.setup.zeroPad, 0);
    EXPECT_EQ(e.setup.overlapSize, 512);
    EXPECT_EQ(e.setup.historySizeIn, 512);
    EXPECT_EQ(e.setup.historySizeOut, 2400 + 512);
    EXPECT_EQ(e.st.setup.historySizeOut, 2912);
    EXPECT_EQ(e.st.lfeOrder, 2);
    EXPECT_EQ(e.st.diffuserSize, 4096);
    EXPECT_EQ(e.st.diffuserBins, 2049);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(e.buf.historyIn[i], nullptr);
    for (int c = 0; c < 6; ++c)
        EXPECT_NE(e.buf.historyOut[c], nullptr);
}

TEST(Create, SineWindowOverlapAddsToOne)
{
    Engine e;
    ASSERT_EQ(e.create(), 0);
    const int n = e.setup.windowSize, h = e.setup.hopSize;
    EXPECT_FLOAT_EQ(e.st.window[0], 0.0f);
    EXPECT_NEAR(e.st.window[n / 2], 1.0f, 1e-6);
    for (int i = 0; i < h; ++i) {
        const float a = e.st.window[i], b = e.st.window[i + h];
        ASSERT_NEAR(a * a + b * b, 1.0f, 1e-5) << i;
    }
}

// Every LFE option at every rate, the odd ones too, gets its filter designed
// for the rate, without a word on the console.
TEST(Create, EveryRateGetsEveryLfeOptionSilently)
{
    for (float rate : {8000.0f, 11025.0f, 12000.0f, 16000.0f, 22050.0f, 24000.0f, 32000.0f, 44100.0f, 47952.0f,
                       48000.0f, 48048.0f, 50000.0f, 88200.0f, 96000.0f, 96096.0f, 176400.0f, 192000.0f,
                       384000.0f}) {
        for (int mode = 0; mode < 6; ++mode) {
            Engine e(rate);
            e.params.lfeMode = mode;
            CaptureStdout();
            CaptureStderr();
            const int rc = e.create();
            const std::string err = GetCapturedStderr(), out = GetCapturedStdout();
            ASSERT_EQ(rc, 0) << rate << " Hz, option " << mode;
            EXPECT_EQ(err + out, "") << rate << " Hz, option " << mode;
            EXPECT_EQ(e.st.lfeOrder, mode < 3 ? 2 : 3);
            const int hop = e.setup.hopSize;
            EXPECT_EQ(e.st.diffuserSize, hop + 2879 <= 4096 ? 4096 : 8192) << rate;
        }
    }
}

TEST(Create, UnsupportedLfeOptionIsRefused)
{
    for (int mode : {6, 100, -1}) {
        Engine e;
        e.params.lfeMode = mode;
        CaptureStderr();
        EXPECT_EQ(e.create(), SFM_ERR_SETUP) << mode;
        const std::string err = GetCapturedStderr();
        EXPECT_NE(err.find("[SFM] file \"sfm_api\", line "), std::string::npos);
        EXPECT_NE(err.find(": LFE option (" + std::to_string(mode) + ") not supported!\n"),
                  std::string::npos)
            << err;
    }
}

TEST(Create, InconsistentSetupsAreRefused)
{
    {
        Engine e;
        e.setup.fftSize = 1000; // not a power of two
        EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    }
    {
        Engine e;
        e.setup.windowSize = 768; // not a multiple of the hop
        EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    }
    {
        Engine e;
        e.setup.fftSize = 512; // shorter than the window
        EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    }
    {
        Engine e;
        e.setup.hopSize = 0;
        EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    }
    {
        Engine e;
        e.setup.numOutputs = 17;
        EXPECT_EQ(e.create(), SFM_ERR_OUTPUTS);
    }
}

TEST(Create, UnknownFormatFallsBackToLinearMapThenIsRefused)
{
    Engine e;
    e.params.format = 12;
    CaptureStderr();
    EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    const std::string err = GetCapturedStderr();
    EXPECT_NE(err.find(", Unknown format (12), using linear channel map\n"), std::string::npos) << err;
    EXPECT_NE(e.st.fatal, 0);
    EXPECT_EQ(e.buf.allocated, 0);
    EXPECT_EQ(e.st.channelMap[3], 3);
}

TEST(Create, UnknownMicTypeIsFatal)
{
    Engine e;
    e.params.micType = 7;
    CaptureStderr();
    EXPECT_EQ(e.create(), SFM_ERR_SETUP);
    const std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("[SFM] file \"sfm_api\", line "), std::string::npos);
    EXPECT_NE(err.find(", Unknown mictype (7)\n"), std::string::npos) << err;
    EXPECT_NE(e.st.fatal, 0);
    EXPECT_EQ(e.buf.allocated, 0);
}

TEST(Init, MicTypeSetsTheInputCount)
{
    for (int type = 0; type < 4; ++type) {
        Engine e;
        e.params.micType = type;
        sfm_init(&e.st, &e.buf, &e.setup, e.params, nullptr, nullptr);
        EXPECT_EQ(e.setup.numInputs, type == 0 ? 4 : 3);
        EXPECT_EQ(e.st.fatal, 0);
        EXPECT_EQ(e.buf.allocated, 0) << "sfm_init allocates nothing";
        EXPECT_EQ(e.st.window, nullptr);
    }
}

TEST(Init, FillsTheResponseHeader)
{
    Engine e;
    e.params.direction = 90.0f;
    e.params.tiltAngle = -10.0f;
    sfm_response r;
    memset(&r, 0xff, sizeof r);
    sfm_init(&e.st, &e.buf, &e.setup, e.params, nullptr, &r);
    EXPECT_EQ(r.numPoints, 180);
    EXPECT_EQ(r.numChannels, e.st.numEngineOutputs);
    EXPECT_NEAR(r.direction, 1.5707963f, 1e-6);
    EXPECT_NEAR(r.tilt, -0.17453292f, 1e-6);
    EXPECT_FLOAT_EQ(r.angle[0], 0.0f);
    EXPECT_NEAR(r.angle[45], 1.5707963f, 1e-6);
    EXPECT_EQ(r.response[0], 0.0f);
}

TEST(ChannelMap, FormatSelectsTheOutputOrder)
{
    struct Row {
        int format;
        int map[10];
    };
    const Row rows[] = {{0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}, {2, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
                        {3, {0, 1, 2, 5, 3, 4, 6, 7, 8, 9}}, {4, {0, 1, 2, 6, 3, 4, 5, 7, 8, 9}},
                        {5, {0, 1, 2, 7, 3, 4, 5, 6, 8, 9}}, {6, {2, 4, 3, 7, 0, 6, 1, 5, 8, 9}},
                        {7, {2, 6, 4, 9, 0, 8, 1, 7, 3, 5}}, {8, {2, 6, 4, 9, 0, 8, 1, 7, 3, 5}},
                        {9, {0, 1, 2, 7, 3, 4, 8, 9, 5, 6}}};
    for (const Row& r : rows) {
        Engine e;
        e.params.format = r.format;
        sfm_init(&e.st, &e.buf, &e.setup, e.params, nullptr, nullptr);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(e.st.channelMap[i], r.map[i]) << "format " << r.format << " entry " << i;
        for (int i = 10; i < 16; ++i)
            EXPECT_EQ(e.st.channelMap[i], i);
    }
}

TEST(ChannelMap, LinearFlagOverridesTheFormatSilently)
{
    Engine e;
    e.params.flags |= SFM_FLAG_LINEAR_MAP;
    CaptureStderr();
    ASSERT_EQ(e.create(), 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(e.st.channelMap[i], i);
}

TEST(SetParams, GainsAndMutesFollowTheChannelType)
{
    Engine e;
    e.params.gainLR = 6.0f;
    e.params.gainC = -6.0f;
    e.params.gainLsRs = -20.0f;
    e.params.muteC = 1;
    ASSERT_EQ(e.create(), 0);
    // Format 3: engine channels L, R, C, Ls, Rs, LFE.
    EXPECT_NEAR(e.st.channelGain[0], 1.9952623f, 1e-5);
    EXPECT_NEAR(e.st.channelGain[1], 1.9952623f, 1e-5);
    EXPECT_NEAR(e.st.channelGain[2], 0.5011872f, 1e-6);
    EXPECT_NEAR(e.st.channelGain[3], 0.1f, 1e-6);
    EXPECT_EQ(e.st.channelOn[2], 0.0f);
    EXPECT_EQ(e.st.channelOn[0], 1.0f);
    EXPECT_EQ(e.st.channelOn[3], 1.0f);
    EXPECT_EQ(e.st.channelGain[5], 0.0f) << "LFE is silent without its flag";

    sfm_params p = e.params;
    p.flags |= SFM_FLAG_NO_CENTRE | SFM_FLAG_NO_SURROUND | SFM_FLAG_LFE_ON;
    p.gainLfe = -6.0f;
    p.muteLfe = 1;
    sfm_set_params(&e.st, &e.buf, p);
    EXPECT_EQ(e.st.channelGain[2], 0.0f);
    EXPECT_EQ(e.st.channelGain[3], 0.0f);
    EXPECT_EQ(e.st.channelGain[4], 0.0f);
    EXPECT_NEAR(e.st.channelGain[5], 0.5011872f, 1e-6);
    EXPECT_EQ(e.st.channelOn[5], 0.0f);
}

TEST(SetParams, DiffuseGainAndItsCompensationSaturateAtTwo)
{
    struct Row {
        float db, gd, gi;
    };
    const Row rows[] = {{0.0f, 1.0f, 1.0f},
                        {12.0f, 1.9952623f, 0.5011872f},
                        {20.0f, 2.0f, 0.3162278f},
                        {-30.0f, 0.1778279f, 2.0f}};
    for (const Row& r : rows) {
        Engine e;
        e.params.diffGainDb = r.db;
        sfm_init(&e.st, &e.buf, &e.setup, e.params, nullptr, nullptr);
        EXPECT_NEAR(e.st.diffuseGain, r.gd, 1e-5) << r.db;
        EXPECT_NEAR(e.st.directGain, r.gi, 1e-5) << r.db;
    }
}

TEST(Bands, FirstBandsAt48kHz)
{
    Engine e;
    ASSERT_EQ(e.create(), 0);
    ASSERT_GE(e.st.numBands, 2);
    EXPECT_EQ(e.st.bandEdge[0], 3); // bins 0-2
    EXPECT_EQ(e.st.bandEdge[1], 5); // bins 3-4
    EXPECT_EQ(e.st.bandFirstBin[0], 0);
    EXPECT_EQ(e.st.bandWeights[e.st.bandWeightOffset[0]], 1.0f);
    EXPECT_EQ(e.st.bandEdge[e.st.numBands - 1], 513);
}

// For every rate: edges rise, bands hold at least two bins (the top band may
// be cut by the Nyquist bin), and the weights of all bands sum to 1 per bin.
TEST(Bands, WeightsAreComplementaryAtEveryRate)
{
    for (float rate : {8000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        Engine e(rate);
        ASSERT_EQ(e.create(), 0);
        const sfm_state& st = e.st;
        const int bins = e.setup.numBins;
        ASSERT_GT(st.numBands, 5);
        ASSERT_LE(st.numBands, SFM_MAX_BANDS);
        EXPECT_EQ(st.bandEdge[st.numBands - 1], bins);
        std::vector<double> sum(static_cast<size_t>(bins), 0.0);
        int prev = 0;
        for (int b = 0; b < st.numBands; ++b) {
            const int width = st.bandEdge[b] - prev;
            if (b + 1 < st.numBands) {
                EXPECT_GE(width, 2) << rate << " band " << b;
            }
            if (b > 1 && b + 1 < st.numBands) {
                EXPECT_GE(width, st.bandEdge[b - 1] - st.bandEdge[b - 2]) << rate << " band " << b;
            }
            prev = st.bandEdge[b];
            EXPECT_GE(st.bandFirstBin[b], 0);
            EXPECT_LE(st.bandFirstBin[b] + st.bandNumBins[b], bins);
            for (int k = 0; k < st.bandNumBins[b]; ++k) {
                const float w = st.bandWeights[st.bandWeightOffset[b] + k];
                EXPECT_GT(w, 0.0f);
                EXPECT_LE(w, 1.0f);
                sum[static_cast<size_t>(st.bandFirstBin[b] + k)] += w;
            }
        }
        for (int k = 0; k < bins; ++k)
            ASSERT_NEAR(sum[static_cast<size_t>(k)], 1.0, 1e-6) << rate << " Hz, bin " << k;
    }
}

TEST(Bands, SpacingWiderThanTheSpectrumGivesOneBand)
{
    // The first ERB edge lies far above the Nyquist frequency (and beyond any
    // int as a bin number): one band holds every bin with weight 1.
    for (float spacing : {200.0f, 1000.0f, 1e30f}) {
        Engine e;
        e.setup.bandWidthErb = spacing;
        ASSERT_EQ(e.create(), 0) << spacing;
        ASSERT_EQ(e.st.numBands, 1) << spacing;
        EXPECT_EQ(e.st.bandEdge[0], e.setup.numBins);
        EXPECT_EQ(e.st.bandNumBins[0], e.setup.numBins);
    }
}

TEST(Bands, LookupFindsTheBandHoldingAFrequency)
{
    Engine e;
    ASSERT_EQ(e.create(), 0);
    EXPECT_EQ(sfm_band_lookup(&e.st, 0.0f), 0);
    EXPECT_EQ(sfm_band_lookup(&e.st, 100.0f), 0);  // bin 2.13 < edge 3
    EXPECT_EQ(sfm_band_lookup(&e.st, 150.0f), 1);  // bin 3.2
    EXPECT_EQ(sfm_band_lookup(&e.st, 24000.0f), e.st.numBands - 1);
    EXPECT_EQ(sfm_band_lookup(&e.st, 96000.0f), e.st.numBands);
    // The band limits are looked up with allocated buffers.
    EXPECT_EQ(e.st.bandLimitIndex[0], 0);
    EXPECT_EQ(e.st.bandLimitIndex[1], e.st.numBands);
    EXPECT_EQ(e.st.bandLimitIndex[2], sfm_band_lookup(&e.st, 1200.0f));
}

TEST(Lifecycle, ResetClearsSignalMemoryAndKeepsAllocation)
{
    Engine e;
    ASSERT_EQ(e.create(), 0);
    e.buf.historyIn[0][10] = 1.0f;
    e.buf.historyOut[3][100] = 1.0f;
    e.buf.pairPowA[0] = 5.0f;
    e.buf.hopCounter = 42;
    e.meters.output[5] = 0.7f;
    e.meters.input[0] = 0.5f;
    float* keep = e.buf.historyOut[3];
    sfm_reset(&e.st, &e.buf, &e.meters);
    EXPECT_EQ(e.buf.historyIn[0][10], 0.0f);
    EXPECT_EQ(e.buf.historyOut[3][100], 0.0f);
    EXPECT_FLOAT_EQ(e.buf.pairPowA[0], 1e-10f);
    EXPECT_FLOAT_EQ(e.buf.prevS0Re[7], 1e-10f);
    EXPECT_FLOAT_EQ(e.buf.mt2SmoothA[0], 1e-6f);
    EXPECT_FLOAT_EQ(e.buf.mt2SmoothB[0], 1.0f);
    EXPECT_EQ(e.buf.hopCounter, 0u);
    EXPECT_EQ(e.meters.input[0], 0.0f);
    EXPECT_EQ(e.meters.output[5], 0.0f);
    EXPECT_EQ(e.buf.historyOut[3], keep);
    EXPECT_EQ(e.buf.allocated, 1);
    sfm_reset(&e.st, &e.buf, &e.meters); // twice is harmless
}

TEST(Lifecycle, FreeIsIdempotentAndCreateCanFollow)
{
    Engine e;
    sfm_free(&e.st, &e.buf, &e.meters, nullptr); // never set up
    sfm_init(&e.st, &e.buf, &e.setup, e.params, &e.meters, nullptr);
    sfm_free(&e.st, &e.buf, &e.meters, nullptr); // only initialised
    ASSERT_EQ(e.create(), 0);
    sfm_free(&e.st, &e.buf, &e.meters, nullptr);
    sfm_free(&e.st, &e.buf, &e.meters, nullptr);
    EXPECT_EQ(e.buf.allocated, 0);
    EXPECT_EQ(e.st.window, nullptr);
    EXPECT_EQ(e.buf.historyOut[0], nullptr);
    sfm_reset(&e.st, &e.buf, &e.meters); // on freed records: nothing to do
    sfm_setup_init(&e.setup, 96000.0f);
    ASSERT_EQ(e.create(), 0);
    EXPECT_EQ(e.setup.hopSize, 1024);
}

} // namespace
