// The capsules to first-order Ambisonics: plane waves recorded by a modelled
// double mid-side array come out as W : Y : X = 1 : sin : cos of their
// direction, the Direction turns the field, and a first-order decode of the
// output is the decoder's own first-order decode.
#include "engine_harness.h"
#include "sfm_ambix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace orvo_test;
using orvo_scene::Capsules;

constexpr float kFs = 48000.0f;

using Ambi = std::array<std::vector<float>, SFM_AMBIX_CHANNELS>;

// One instance that encodes whole recordings, output aligned with the input.
struct Encoder {
    explicit Encoder(float fs = kFs, float directionDeg = 0.0f)
    {
        sfm_setup_init(&setup, fs);
        setup.inputFormat = setup.outputFormat = kSeparateFloat;
        rc = sfm_ambix_create(&a, &setup);
        sfm_ambix_set_direction(&a, directionDeg);
    }
    ~Encoder() { sfm_ambix_free(&a); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    Ambi encode(const Capsules& c)
    {
        const int h = setup.hopSize, latency = sfm_ambix_latency(&a);
        const size_t n = c.size();
        Ambi out;
        for (auto& ch : out)
            ch.assign(n, 0.0f);
        std::vector<float> in[3], o[SFM_AMBIX_CHANNELS];
        const float* inPtrs[3];
        float* outPtrs[SFM_AMBIX_CHANNELS];
        for (int k = 0; k < 3; ++k) {
            in[k].assign(h, 0.0f);
            inPtrs[k] = in[k].data();
        }
        for (int j = 0; j < SFM_AMBIX_CHANNELS; ++j) {
            o[j].assign(h, 0.0f);
            outPtrs[j] = o[j].data();
        }
        const std::vector<float>* src[3] = {&c.fc, &c.f8, &c.rc};
        for (size_t pos = 0; pos < n + latency + h; pos += h) {
            for (int k = 0; k < 3; ++k)
                for (int i = 0; i < h; ++i)
                    in[k][i] = pos + i < n ? (*src[k])[pos + i] : 0.0f;
            sfm_ambix_process(&a, inPtrs, outPtrs);
            for (int j = 0; j < SFM_AMBIX_CHANNELS; ++j)
                for (int i = 0; i < h; ++i) {
                    const long t = static_cast<long>(pos + i) - latency;
                    if (t >= 0 && static_cast<size_t>(t) < n)
                        out[j][t] = o[j][i];
                }
        }
        return out;
    }

    sfm_setup setup{};
    sfm_ambix a{};
    int rc = -1;
};

Capsules plane_wave(const std::vector<float>& x, double azDeg)
{
    Capsules c(x.size());
    orvo_scene::add_plane_wave(c, x, deg(azDeg));
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kFs);
    return c;
}

// <a, b> / <w, w> over [begin, end): the component a's gain relative to W
// for a signal that W carries (sign included).
double gain_to(const std::vector<float>& a, const std::vector<float>& w, size_t begin, size_t end)
{
    double aw = 0.0, ww = 0.0;
    for (size_t i = begin; i < end; ++i) {
        aw += double(a[i]) * w[i];
        ww += double(w[i]) * w[i];
    }
    return ww > 0.0 ? aw / ww : 0.0;
}

// 0.3 dB of the unit direction vector.
const double kVectorTolerance = std::pow(10.0, 0.3 / 20.0) - 1.0;

// A plane wave's Y and X relative to W at each test frequency.
void expect_direction(Encoder& e, double sourceDeg, double expectedDeg)
{
    const size_t n = 24000, begin = 4800, end = n - 4800;
    for (double hz : {200.0, 400.0, 1000.0, 3000.0, 6000.0, 10000.0}) {
        const Ambi out = e.encode(plane_wave(orvo_scene::sine(n, kFs, hz, 0.25f), sourceDeg));
        const double y = gain_to(out[SFM_AMBIX_Y], out[SFM_AMBIX_W], begin, end);
        const double x = gain_to(out[SFM_AMBIX_X], out[SFM_AMBIX_W], begin, end);
        const double ey = std::sin(deg(expectedDeg)), ex = std::cos(deg(expectedDeg));
        EXPECT_LT(std::hypot(y - ey, x - ex), kVectorTolerance)
            << "source " << sourceDeg << " deg, " << hz << " Hz: Y " << y << " X " << x;
        EXPECT_NEAR(orvo_scene::rms_db(out[SFM_AMBIX_W].data(), begin, end), 20.0 * std::log10(0.25 / std::sqrt(2.0)),
                    0.3)
            << "W is the pressure, " << hz << " Hz";
        EXPECT_EQ(orvo_scene::rms(out[SFM_AMBIX_Z].data(), 0, n), 0.0);
    }
}

TEST(Ambix, PlaneWavesGiveWYXAsOneSineCosineOfTheirDirection)
{
    Encoder e;
    ASSERT_EQ(e.rc, 0);
    for (double az = -180.0; az < 180.0; az += 30.0)
        expect_direction(e, az, az);
}

TEST(Ambix, DirectionTurnsTheFieldAgainstTheDecodersLook)
{
    // With the decoder looking towards d, a source at d is straight ahead.
    for (float d : {40.0f, -100.0f, 180.0f}) {
        Encoder e(kFs, d);
        ASSERT_EQ(e.rc, 0);
        for (double az : {0.0, 40.0, 135.0, -60.0})
            expect_direction(e, az, az - d);
    }
}

TEST(Ambix, FirstOrderDecodeOfTheOutputIsTheDecodersFirstOrderDecode)
{
    const size_t n = 48000;
    Capsules c(n);
    orvo_scene::add_plane_wave(c, orvo_scene::band_noise(n, 7, 0.1f, kFs, 50.0, 18000.0), deg(70.0));
    orvo_scene::add_plane_wave(c, orvo_scene::band_noise(n, 8, 0.05f, kFs, 100.0, 8000.0), deg(-150.0));
    orvo_scene::add_diffuse(c, 9, 0.03f, kFs, 50.0, 16000.0, 12);
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kFs);

    // The decode weights of a decoder looking ahead: its look vectors, mic
    // responses, normalisation and gains.
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_BEAMSHAPING_OFF;
    Engine ahead;
    ASSERT_EQ(ahead.create(kFs, p), 0);
    const sfm_state& w = ahead.st;

    for (float direction : {0.0f, 30.0f, -135.0f}) {
        Engine decoder;
        p.direction = direction;
        ASSERT_EQ(decoder.create(kFs, p), 0);
        const auto reference = decoder.decode(c);
        Encoder e(kFs, direction);
        ASSERT_EQ(e.rc, 0);
        const Ambi ambi = e.encode(c);
        for (int j = 0; j < kOutputs; ++j) {
            const int i = w.channelMap[j];
            if (i >= w.numDecoded)
                continue; // the LFE: silent in both
            const int t = w.channelType[i];
            const float r = w.micResponse[t == SFM_TYPE_FRONT ? 0 : (t == SFM_TYPE_CENTRE ? 1 : 2)];
            const double g = w.normFirstOrder[i] * 0.71 * w.channelGain[i] * w.channelOn[i];
            double err = 0.0, ref = 0.0;
            for (size_t k = 0; k < n; ++k) {
                const double v = g * (r * ambi[SFM_AMBIX_W][k] + (1.0 - r) * (w.lookVec[i][0] * ambi[SFM_AMBIX_X][k] +
                                                                            w.lookVec[i][1] * ambi[SFM_AMBIX_Y][k]));
                err += (v - reference[j][k]) * (v - reference[j][k]);
                ref += double(reference[j][k]) * reference[j][k];
            }
            ASSERT_GT(ref, 0.0) << "output " << j;
            EXPECT_LT(10.0 * std::log10(err / ref), -60.0) << "output " << j << ", direction " << direction;
        }
    }
}

TEST(Ambix, AClickComesOutExactlyOneLatencyLater)
{
    Encoder raw;
    ASSERT_EQ(raw.rc, 0);
    const int latency = sfm_ambix_latency(&raw.a);
    EXPECT_EQ(latency, raw.setup.windowSize - raw.setup.hopSize);
    // Hop by hop, latency not removed: a pressure click (both cardioids).
    const size_t n = 8192, at = 1000;
    Capsules c(n);
    c.fc[at] = c.rc[at] = 0.5f;
    std::vector<float> w;
    const int h = raw.setup.hopSize;
    std::vector<float> in[3] = {std::vector<float>(h), std::vector<float>(h), std::vector<float>(h)};
    std::vector<float> o[4] = {std::vector<float>(h), std::vector<float>(h), std::vector<float>(h),
                               std::vector<float>(h)};
    const float* ip[3] = {in[0].data(), in[1].data(), in[2].data()};
    float* op[4] = {o[0].data(), o[1].data(), o[2].data(), o[3].data()};
    for (size_t pos = 0; pos < n; pos += h) {
        for (int i = 0; i < h; ++i) {
            in[0][i] = c.fc[pos + i];
            in[1][i] = c.f8[pos + i];
            in[2][i] = c.rc[pos + i];
        }
        sfm_ambix_process(&raw.a, ip, op);
        w.insert(w.end(), o[0].begin(), o[0].end());
    }
    size_t peak = 0;
    for (size_t i = 0; i < w.size(); ++i)
        if (std::fabs(w[i]) > std::fabs(w[peak]))
            peak = i;
    EXPECT_EQ(peak, at + latency);
    EXPECT_NEAR(w[peak], 1.0f, 1e-4f);
}

TEST(Ambix, BadInputAndBadSetupsGiveSilenceNeverGarbage)
{
    sfm_setup s{};
    sfm_setup_init(&s, kFs);
    s.sampleRate = 1000.0f;
    sfm_ambix a{};
    EXPECT_EQ(sfm_ambix_create(&a, &s), SFM_ERR_SAMPLE_RATE);
    sfm_ambix_free(&a);
    // Integer output is refused; the refused instance writes a hop of
    // silence in that format over whatever the buffers held, and no more.
    sfm_setup_init(&s, kFs);
    s.outputFormat = SFM_FORMAT_INT16 | SFM_FORMAT_SEPARATE;
    EXPECT_EQ(sfm_ambix_create(&a, &s), SFM_ERR_SETUP);
    const int hop = s.hopSize;
    std::vector<int16_t> o(4 * (hop + 1), 7);
    int16_t* op[4] = {&o[0], &o[hop + 1], &o[2 * (hop + 1)], &o[3 * (hop + 1)]};
    sfm_ambix_process(&a, nullptr, op);
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < hop; ++i)
            ASSERT_EQ(op[j][i], 0);
        EXPECT_EQ(op[j][hop], 7) << "written past the hop";
    }
    sfm_ambix_free(&a);

    // Non-numbers and infinities in the capsules never reach the output;
    // a non-finite direction is ignored.
    Encoder e;
    ASSERT_EQ(e.rc, 0);
    sfm_ambix_set_direction(&e.a, NAN);
    EXPECT_EQ(e.a.rotCos, 1.0f);
    Capsules c = plane_wave(orvo_scene::white_noise(9600, 3, 0.1f), 30.0);
    c.fc[100] = NAN;
    c.f8[2000] = INFINITY;
    c.rc[3000] = -INFINITY;
    const Ambi out = e.encode(c);
    for (const auto& ch : out)
        for (float v : ch)
            ASSERT_TRUE(std::isfinite(v));
}

TEST(Ambix, AfterAResetTheSameRecordingEncodesTheSame)
{
    Encoder e(kFs, 25.0f);
    ASSERT_EQ(e.rc, 0);
    const Capsules c = plane_wave(orvo_scene::white_noise(9600, 5, 0.1f), -45.0);
    const Ambi first = e.encode(c);
    e.encode(plane_wave(orvo_scene::white_noise(4800, 6, 0.3f), 90.0));
    sfm_ambix_reset(&e.a);
    const Ambi again = e.encode(c);
    for (int j = 0; j < SFM_AMBIX_CHANNELS; ++j)
        EXPECT_EQ(first[j], again[j]) << "channel " << j;
}

} // namespace
