// The per-hop signal path through the public API: plane waves and diffuse
// fields recorded by a modelled double mid-side array, decoded hop by hop.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__x86_64__) || defined(__SSE__)
#include <xmmintrin.h>
#endif

// Allocation counting for the real-time test. Sanitizer builds bring their
// own allocator, so the hooks exist only in plain builds.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ORVO_COUNT_ALLOCATIONS 1
namespace {
bool gCounting = false;
long gAllocations = 0;
} // namespace
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n)
{
    if (gCounting)
        ++gAllocations;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m)
{
    if (gCounting)
        ++gAllocations;
    return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n)
{
    if (gCounting)
        ++gAllocations;
    return __libc_realloc(p, n);
}
void* operator new(size_t n)
{
    if (gCounting)
        ++gAllocations;
    if (void* p = __libc_malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
extern "C" void __libc_free(void*);
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
#endif

namespace {

using namespace orvo_test;
using orvo_scene::Capsules;

constexpr float kFs = 48000.0f;
constexpr size_t kLength = 72000;  // 1.5 s
constexpr size_t kSettle = 24000;  // measure after the smoothing has settled

// A broadband plane wave from azimuth `azDeg` (pressure RMS `rms`), with an
// optional diffuse field `diffuseDb` relative to it.
Capsules scene(double azDeg, float rms, double diffuseDb = -300.0, size_t n = kLength, float fs = kFs,
               uint64_t seed = 1)
{
    Capsules c(n);
    orvo_scene::add_plane_wave(c, orvo_scene::band_noise(n, seed, rms, fs, 50.0, 0.4 * fs), deg(azDeg));
    if (diffuseDb > -200.0)
        orvo_scene::add_diffuse(c, seed + 100, rms * static_cast<float>(std::pow(10.0, diffuseDb / 20.0)), fs, 50.0,
                                0.4 * fs, 24);
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, fs);
    return c;
}

Capsules scaled(const Capsules& c, float g)
{
    Capsules s = c;
    for (auto* v : {&s.fc, &s.f8, &s.rc})
        for (auto& x : *v)
            x *= g;
    return s;
}

int loudest(const std::array<double, kOutputs>& l)
{
    int best = 0;
    for (int j = 1; j < kOutputs; ++j)
        if (l[j] > l[best])
            best = j;
    return best;
}

bool all_finite(const std::array<std::vector<float>, kOutputs>& out)
{
    for (auto& ch : out)
        for (float x : ch)
            if (!std::isfinite(x))
                return false;
    return true;
}

TEST(Process, PlaneWaveFrom65DegreesIsShapedIntoLeft)
{
    const Capsules c = scene(65.0, 0.1f);
    const double source = 20.0 * std::log10(0.1);
    std::array<double, kOutputs> on{}, off{};
    for (bool shaping : {true, false}) {
        Engine e;
        sfm_params p = plugin_params();
        if (!shaping)
            p.flags |= SFM_FLAG_BEAMSHAPING_OFF;
        ASSERT_EQ(e.create(kFs, p), 0);
        e.set_width(80.0f, 150.0f);
        (shaping ? on : off) = levels_db(e.decode(c), kSettle, kLength);
    }
    EXPECT_EQ(loudest(on), kL);
    EXPECT_NEAR(on[kL], source, 1.5);
    // Relative to L every other channel drops; R and the surrounds also in
    // absolute terms (the centre's shaped beam is wider than its hypercardioid
    // at 65 degrees, so only its share relative to L falls).
    for (int j : {kR, kC, kLs, kRs})
        EXPECT_LT(on[j] - on[kL], off[j] - off[kL] - 2.0) << "channel " << j;
    for (int j : {kR, kLs, kRs})
        EXPECT_LT(on[j], off[j] - 3.0) << "channel " << j;
    EXPECT_LT(on[kR], on[kL] - 30.0);
    EXPECT_EQ(on[kLfe], -300.0); // LFE disabled: exact zeros
}

TEST(Process, SourcesLandWhereAListenerExpectsThem)
{
    struct Case {
        float width;
        double az;
        int channel;
    };
    // Width 65 is the unwarped layout: C 30..-30, L 100..30, Ls 180..100.
    const Case cases[] = {{65.0f, 0.0, kC},    {65.0f, 110.0, kLs}, {65.0f, -110.0, kRs}, {65.0f, 65.0, kL},
                          {65.0f, -65.0, kR},  {30.0f, 30.0, kL},   {30.0f, -30.0, kR},   {80.0f, 150.0, kLs}};
    for (const Case& k : cases) {
        Engine e;
        ASSERT_EQ(e.create(kFs, plugin_params()), 0);
        e.set_width(k.width, 150.0f);
        auto l = levels_db(e.decode(scene(k.az, 0.1f, -300.0, 48000)), 16000, 48000);
        EXPECT_EQ(loudest(l), k.channel) << "width " << k.width << " azimuth " << k.az;
    }
}

TEST(Process, SourceAtWidthIsLoudestInItsFrontChannelForEveryOutputFormat)
{
    const uint32_t formats[4] = {SFM_FLAG_NO_CENTRE | SFM_FLAG_NO_SURROUND, SFM_FLAG_NO_SURROUND, SFM_FLAG_NO_CENTRE,
                                 0};
    for (uint32_t f : formats)
        for (bool shaping : {true, false})
            for (float w = 30.0f; w <= 90.0f; w += 5.0f) {
                Engine e;
                sfm_params p = plugin_params();
                p.flags |= f | (shaping ? 0u : uint32_t(SFM_FLAG_BEAMSHAPING_OFF));
                ASSERT_EQ(e.create(kFs, p), 0);
                e.set_width(w, 150.0f);
                auto left = levels_db(e.decode(scene(w, 0.1f, -300.0, 24000)), 12000, 24000);
                e.set_width(w, 150.0f);
                auto right = levels_db(e.decode(scene(-w, 0.1f, -300.0, 24000)), 12000, 24000);
                EXPECT_EQ(loudest(left), kL) << "flags " << f << " shaping " << shaping << " width " << w;
                EXPECT_EQ(loudest(right), kR) << "flags " << f << " shaping " << shaping << " width " << w;
            }
}

TEST(Process, LowFrequencySourceKeepsItsDirection)
{
    // Below 300 Hz the figure-of-eight has rolled off; its gains restore it.
    Capsules c(kLength);
    orvo_scene::add_plane_wave(c, orvo_scene::band_noise(kLength, 3, 0.1f, kFs, 60.0, 300.0), deg(90.0));
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kFs);
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_BEAMSHAPING_OFF;
    ASSERT_EQ(e.create(kFs, p), 0);
    e.set_width(65.0f, 150.0f);
    auto l = levels_db(e.decode(c), kSettle, kLength);
    // First-order cardioid-like pattern r + (1 - r) cos, r = 1/3, towards 65 and -65 degrees.
    auto pattern = [](double a) { return 1.0 / 3.0 + 2.0 / 3.0 * std::cos(deg(a)); };
    const double expected = 20.0 * std::log10(pattern(25.0) / std::fabs(pattern(155.0)));
    EXPECT_NEAR(l[kL] - l[kR], expected, 1.0);
}

TEST(Process, BeamshapingOffIsTheFirstOrderVirtualMicrophone)
{
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_BEAMSHAPING_OFF;
    ASSERT_EQ(e.create(kFs, p), 0);
    e.set_width(65.0f, 150.0f);
    const double az = 20.0;
    auto l = levels_db(e.decode(scene(az, 0.1f)), kSettle, kLength);
    for (int i = 0; i < 5; ++i) {
        const int out = i < 3 ? i : i + 1; // engine channel -> format-3 output
        const double r = 1.0 / 3.0;
        const double pattern = r + (1.0 - r) * std::cos(deg(az) - e.st.centre[i]);
        if (std::fabs(pattern) < 0.1)
            continue; // near the pattern's null the level says little
        const double v = e.st.normFirstOrder[i] * 0.71 * std::fabs(pattern);
        EXPECT_NEAR(l[out], 20.0 * std::log10(0.1 * v), 0.25) << "channel " << i;
    }
}

TEST(Process, OutputScalesWithInputAtEveryLevel)
{
    // Homogeneity: ten times the input gives ten times every output.
    const Capsules quiet = scene(40.0, 0.01f, -3.0);
    const Capsules loud = scaled(quiet, 10.0f);
    for (bool diffuser : {false, true}) {
        std::array<double, kOutputs> lq{}, ll{};
        for (int pass = 0; pass < 2; ++pass) {
            Engine e;
            sfm_params p = plugin_params();
            if (diffuser)
                p.flags |= SFM_FLAG_DIFFUSER;
            ASSERT_EQ(e.create(kFs, p), 0);
            e.set_width(80.0f, 150.0f);
            (pass ? ll : lq) = levels_db(e.decode(pass ? loud : quiet), kSettle, kLength);
        }
        for (int j : {kL, kR, kC, kLs, kRs})
            EXPECT_NEAR(ll[j] - lq[j], 20.0, 0.01) << "channel " << j << " diffuser " << diffuser;
    }
}

TEST(Process, QuietPassagesKeepTheirShape)
{
    // The same scene from -20 down to -90 dBFS: levels relative to the input
    // stay put (the beamshaping must not collapse as the powers get small).
    std::array<double, kOutputs> ref{};
    for (double level : {-20.0, -40.0, -60.0, -75.0, -90.0}) {
        const float rms = static_cast<float>(std::pow(10.0, level / 20.0));
        Engine e;
        ASSERT_EQ(e.create(kFs, plugin_params()), 0);
        e.set_width(80.0f, 150.0f);
        auto l = levels_db(e.decode(scene(65.0, rms, -6.0)), kSettle, kLength);
        for (int j : {kL, kR, kC, kLs, kRs}) {
            l[j] -= level;
            if (level == -20.0)
                ref[j] = l[j];
            else
                EXPECT_NEAR(l[j], ref[j], 0.5) << "channel " << j << " at " << level << " dBFS";
        }
    }
}

TEST(Process, SoundAfterALongSilenceDecodesAsBefore)
{
    // A fully direct band decays through the tiniest powers during the
    // silence; no state may get stuck there (a channel going dead for good).
    Engine e;
    ASSERT_EQ(e.create(kFs, plugin_params()), 0);
    e.set_width(80.0f, 150.0f);
    const Capsules c = scene(65.0, 0.1f);
    const auto before = levels_db(e.decode(c), kSettle, kLength);
    e.decode(Capsules(8 * 48000));
    const auto after = e.decode(c);
    EXPECT_TRUE(all_finite(after));
    const auto l = levels_db(after, kSettle, kLength);
    for (int j : {kL, kR, kC, kLs, kRs})
        EXPECT_NEAR(l[j], before[j], 1.0) << "channel " << j;
}

TEST(Process, DiffuseFieldLevelWithAndWithoutBeamshaping)
{
    Capsules c(kLength);
    orvo_scene::add_diffuse(c, 11, 0.1f, kFs, 50.0, 0.4 * kFs, 48);
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kFs);
    double total[2] = {0.0, 0.0};
    for (int shaping = 0; shaping < 2; ++shaping) {
        Engine e;
        sfm_params p = plugin_params();
        if (!shaping)
            p.flags |= SFM_FLAG_BEAMSHAPING_OFF;
        ASSERT_EQ(e.create(kFs, p), 0);
        e.set_width(80.0f, 150.0f);
        auto out = e.decode(c);
        for (int j : {kL, kR, kC, kLs, kRs}) {
            double r = orvo_scene::rms(out[j].data(), kSettle, kLength);
            total[shaping] += r * r;
        }
    }
    const double on = 10.0 * std::log10(total[1]) + 20.0, off = 10.0 * std::log10(total[0]) + 20.0;
    std::printf("diffuse field, total output power relative to the input pressure: beamshaping on %.2f dB, "
                "off %.2f dB\n",
                on, off);
    EXPECT_NEAR(on, off, 3.0);
    EXPECT_NEAR(off, 0.0, 6.0);
}

TEST(Process, DigitalSilenceGivesExactZeros)
{
    for (uint32_t extra : {0u, uint32_t(SFM_FLAG_DIFFUSER), uint32_t(SFM_FLAG_BEAMSHAPING_OFF)}) {
        Engine e;
        sfm_params p = plugin_params();
        p.flags |= extra | SFM_FLAG_LFE_ON | SFM_FLAG_REAR_DELAY | SFM_FLAG_REAR_LOWPASS;
        ASSERT_EQ(e.create(kFs, p), 0);
        auto out = e.decode(Capsules(48000));
        for (auto& ch : out)
            for (float x : ch)
                ASSERT_EQ(x, 0.0f) << "flags " << extra;
        for (int j = 0; j < kOutputs; ++j)
            EXPECT_EQ(e.meters.output[j], 0.0f);
    }
}

TEST(Process, InputMeterReadsTheCapsulePeakBeforeConversion)
{
    Engine m;
    ASSERT_EQ(m.create(kFs, plugin_params()), 0);
    std::vector<float> in[3] = {orvo_scene::sine(512, kFs, 1000.0, 0.5f), std::vector<float>(512, 0.0f),
                                std::vector<float>(512, 0.25f)};
    const float* ptrs[3] = {in[0].data(), in[1].data(), in[2].data()};
    std::vector<float> out[kOutputs];
    float* optrs[kOutputs];
    for (int j = 0; j < kOutputs; ++j) {
        out[j].assign(512, 0.0f);
        optrs[j] = out[j].data();
    }
    sfm_process(&m.st, &m.buf, ptrs, optrs, &m.meters);
    EXPECT_NEAR(m.meters.input[0], 0.5f, 1e-6f);
    EXPECT_EQ(m.meters.input[1], 0.0f);
    EXPECT_EQ(m.meters.input[2], 0.25f);
    EXPECT_EQ(m.meters.input[3], 0.0f);
}

// The same capsule signals in every sample format decode alike.
TEST(Process, SampleFormats)
{
    const int hop = 512, hops = 40;
    const Capsules c = scene(30.0, 0.1f, -6.0, hop * hops);
    auto run = [&](int inFmt, int outFmt) {
        Engine e;
        EXPECT_EQ(e.create(kFs, plugin_params(), inFmt, outFmt), 0);
        std::vector<float> result;
        const bool sepIn = inFmt & SFM_FORMAT_SEPARATE, sepOut = outFmt & SFM_FORMAT_SEPARATE;
        const std::vector<float>* src[3] = {&c.fc, &c.f8, &c.rc};
        std::vector<int16_t> i16(3 * hop);
        std::vector<int32_t> i32(3 * hop);
        std::vector<float> f32(3 * hop);
        std::vector<int16_t> o16(kOutputs * hop);
        std::vector<int32_t> o32(kOutputs * hop);
        std::vector<float> of(kOutputs * hop);
        for (int h = 0; h < hops; ++h) {
            for (int ch = 0; ch < 3; ++ch)
                for (int n = 0; n < hop; ++n) {
                    float x = (*src[ch])[h * hop + n];
                    int idx = sepIn ? ch * hop + n : n * 3 + ch;
                    i16[idx] = static_cast<int16_t>(std::lround(x * 32767.0f));
                    i32[idx] = static_cast<int32_t>(std::llround(x * 2147483647.0));
                    f32[idx] = x;
                }
            const void* inPtrs[3];
            const void* in;
            const void* base = (inFmt & SFM_FORMAT_INT16) ? static_cast<const void*>(i16.data())
                               : (inFmt & SFM_FORMAT_INT32) ? static_cast<const void*>(i32.data())
                                                            : static_cast<const void*>(f32.data());
            const size_t size = (inFmt & SFM_FORMAT_INT16) ? 2 : 4;
            for (int ch = 0; ch < 3; ++ch)
                inPtrs[ch] = static_cast<const char*>(base) + size * ch * hop;
            in = sepIn ? static_cast<const void*>(inPtrs) : base;
            void* obase = (outFmt & SFM_FORMAT_INT16) ? static_cast<void*>(o16.data())
                          : (outFmt & SFM_FORMAT_INT32) ? static_cast<void*>(o32.data())
                                                        : static_cast<void*>(of.data());
            const size_t osize = (outFmt & SFM_FORMAT_INT16) ? 2 : 4;
            void* outPtrs[kOutputs];
            for (int j = 0; j < kOutputs; ++j)
                outPtrs[j] = static_cast<char*>(obase) + osize * j * hop;
            sfm_process(&e.st, &e.buf, in, sepOut ? static_cast<void*>(outPtrs) : obase, nullptr);
            for (int j = 0; j < kOutputs; ++j)
                for (int n = 0; n < hop; ++n) {
                    int idx = sepOut ? j * hop + n : n * kOutputs + j;
                    float v = (outFmt & SFM_FORMAT_INT16)   ? o16[idx] / 32768.0f
                              : (outFmt & SFM_FORMAT_INT32) ? static_cast<float>(o32[idx] / 2147483648.0)
                                                            : of[idx];
                    result.push_back(v);
                }
        }
        return result;
    };
    const int F = SFM_FORMAT_FLOAT32, S = SFM_FORMAT_SEPARATE;
    const std::vector<float> ref = run(F | S, F | S);
    double peak = 0.0;
    for (float v : ref)
        peak = std::fmax(peak, std::fabs(v));
    ASSERT_GT(peak, 0.01);
    struct Variant {
        int in, out;
        float tolerance;
    };
    const Variant variants[] = {{F, F, 0.0f},
                                {F | S, F, 0.0f},
                                {F, F | S, 0.0f},
                                {SFM_FORMAT_INT32 | S, F | S, 1e-5f},
                                {SFM_FORMAT_INT32, SFM_FORMAT_INT32 | S, 1e-5f},
                                {SFM_FORMAT_INT16, F | S, 2e-3f},
                                {F | S, SFM_FORMAT_INT16, 2.0f / 32768.0f},
                                {SFM_FORMAT_INT16 | S, SFM_FORMAT_INT16 | S, 2e-3f}};
    for (const Variant& v : variants) {
        const std::vector<float> got = run(v.in, v.out);
        ASSERT_EQ(got.size(), ref.size());
        double worst = 0.0;
        for (size_t i = 0; i < ref.size(); ++i)
            worst = std::fmax(worst, std::fabs(got[i] - ref[i]));
        EXPECT_LE(worst, v.tolerance) << "in " << v.in << " out " << v.out;
    }
}

// At every rate from 8 to 384 kHz, the odd ones (video pull-up and
// pull-down, 50 kHz) included, a source decodes into its own channel, with
// and without the diffuser, rear delay and lowpass, the LFE on.
TEST(Process, EveryRatePlacesASourceInItsChannel)
{
    for (float fs : {8000.0f, 11025.0f, 12000.0f, 16000.0f, 22050.0f, 24000.0f, 32000.0f, 44100.0f, 47952.0f,
                     48000.0f, 48048.0f, 50000.0f, 88200.0f, 96000.0f, 96096.0f, 176400.0f, 192000.0f, 384000.0f}) {
        for (uint32_t extra : {0u, uint32_t(SFM_FLAG_DIFFUSER | SFM_FLAG_REAR_DELAY | SFM_FLAG_REAR_LOWPASS)}) {
            Engine e;
            sfm_params p = plugin_params();
            p.flags |= extra | SFM_FLAG_LFE_ON;
            ASSERT_EQ(e.create(fs, p), 0) << fs;
            e.set_width(80.0f, 150.0f);
            const size_t n = static_cast<size_t>(fs * 0.5f);
            for (const auto& [az, channel] : {std::pair<double, int>{65.0, kL}, {-150.0, kRs}}) {
                // Speech-band noise: at the highest rates most of a full-band
                // noise's power would lie far above the rear lowpass.
                Capsules c(n);
                orvo_scene::add_plane_wave(c, orvo_scene::band_noise(n, 3, 0.1f, fs, 100.0, std::fmin(8000.0, 0.4 * fs)),
                                           deg(az));
                orvo_scene::apply_figure_of_eight_rolloff(c.f8, fs);
                auto out = e.decode(c);
                EXPECT_TRUE(all_finite(out)) << fs;
                auto l = levels_db(out, n / 2, n);
                l[kLfe] = -300.0; // the LFE carries every direction's bass
                EXPECT_EQ(loudest(l), channel) << fs << " Hz, source at " << az << " degrees";
            }
        }
    }
}

TEST(Process, NonFiniteInputNeverReachesTheOutput)
{
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_DIFFUSER | SFM_FLAG_LFE_ON;
    ASSERT_EQ(e.create(kFs, p), 0);
    Capsules c = scene(30.0, 0.1f, -6.0, 48000);
    for (size_t i = 5000; i < 5600; ++i) {
        c.fc[i] = NAN;
        c.f8[i] = INFINITY;
        c.rc[i] = (i & 1) ? -INFINITY : 3e38f;
    }
    auto out = e.decode(c);
    EXPECT_TRUE(all_finite(out));
    // It keeps decoding afterwards.
    EXPECT_GT(orvo_scene::rms(out[kL].data(), 30000, 48000), 1e-3);
    for (float m : e.meters.output)
        EXPECT_TRUE(std::isfinite(m));
}

// sfm_reset returns all signal memory to its start: after one recording and a
// reset, the next decodes bit for bit as on a fresh engine (the statistics'
// floors and the LFE filter's memory included).
TEST(Process, AfterAResetTheNextRecordingDecodesAsOnAFreshEngine)
{
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_LFE_ON | SFM_FLAG_REAR_DELAY;
    Engine fresh, used;
    ASSERT_EQ(fresh.create(kFs, p), 0);
    ASSERT_EQ(used.create(kFs, p), 0);
    used.decode(scene(-120.0, 0.3f, -3.0, 24000, kFs, 5));
    sfm_reset(&used.st, &used.buf, &used.meters);
    const Capsules c = scene(40.0, 0.1f, -6.0, 24000);
    const auto a = fresh.decode(c), b = used.decode(c);
    EXPECT_GT(orvo_scene::rms(a[kLfe].data(), 4800, 24000), 1e-4);
    for (int j = 0; j < kOutputs; ++j)
        EXPECT_EQ(a[j], b[j]) << "output " << j;
}

// What a host runs on its audio thread, sfm_set_params and sfm_process,
// prints nothing whatever it is given; the problems arrive as notices.
TEST(Process, AudioThreadCallsPrintNothingWhateverTheyAreGiven)
{
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_REAR_DELAY | SFM_FLAG_LFE_ON | SFM_FLAG_DIFFUSER;
    ASSERT_EQ(e.create(kFs, p), 0);
    const Capsules c = scene(30.0, 0.1f, -6.0, 9600);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();

    sfm_params bad = p;
    bad.rearDelay = 1e9f;
    bad.gainLR = NAN;
    bad.focus = INFINITY;
    bad.rearLowpass = NAN;
    bad.bandLimitC = -INFINITY;
    const uint32_t clipped = sfm_set_params(&e.st, &e.buf, bad);
    const auto heard = e.decode(c);
    e.st.lfeOrder = 4; // a filter the LFE cannot run
    e.decode(c);
    bad.format = 12;
    const uint32_t unknown = sfm_set_params(&e.st, &e.buf, bad);
    const auto silent = e.decode(c);

    const std::string printed = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "");
    EXPECT_EQ(clipped, uint32_t(SFM_NOTICE_REAR_DELAY_CLIPPED));
    EXPECT_EQ(unknown & SFM_NOTICE_UNKNOWN_FORMAT, uint32_t(SFM_NOTICE_UNKNOWN_FORMAT));
    EXPECT_EQ(e.st.notices, uint32_t(SFM_NOTICE_REAR_DELAY_CLIPPED | SFM_NOTICE_LFE_ORDER | SFM_NOTICE_UNKNOWN_FORMAT));
    EXPECT_TRUE(all_finite(heard));
    EXPECT_GT(orvo_scene::rms(heard[kL].data(), 4800, 9600), 1e-3);
    EXPECT_EQ(orvo_scene::rms(silent[kL].data(), 0, 9600), 0.0);
}

TEST(Process, GainStageVariantsStayFinite)
{
    const uint32_t variants[] = {SFM_FLAG_MAGNITUDE_COHERENCE,   SFM_FLAG_SQUARE_BEAM_COLUMNS,
                                 SFM_FLAG_ROOT_SIDE_CROSS,       SFM_FLAG_NO_GAIN_SMOOTHING,
                                 SFM_FLAG_DIFFUSER | SFM_FLAG_DIFFUSE_ONLY_BELOW_SPLIT,
                                 SFM_FLAG_DIFFUSER | SFM_FLAG_CENTRE_DIFFUSE_1,
                                 SFM_FLAG_DIFFUSER | SFM_FLAG_CENTRE_DIFFUSE_HALF,
                                 SFM_FLAG_REAR_LOWPASS | SFM_FLAG_REAR_DELAY};
    const Capsules c = scene(-40.0, 0.1f, -3.0, 36000);
    for (uint32_t v : variants) {
        Engine e;
        sfm_params p = plugin_params();
        p.flags |= v;
        ASSERT_EQ(e.create(kFs, p), 0);
        e.set_width(80.0f, 150.0f);
        auto out = e.decode(c);
        EXPECT_TRUE(all_finite(out)) << v;
        auto l = levels_db(out, 12000, 36000);
        EXPECT_EQ(loudest(l), kR) << v;
    }
}

TEST(Process, SilenceBandZeroRemovesTheLowestBand)
{
    Capsules c(kLength);
    orvo_scene::add_plane_wave(c, orvo_scene::band_noise(kLength, 5, 0.1f, kFs, 20.0, 60.0), 0.0);
    double level[2];
    for (int on = 0; on < 2; ++on) {
        Engine e;
        sfm_params p = plugin_params();
        if (on)
            p.flags |= SFM_FLAG_SILENCE_BAND0;
        ASSERT_EQ(e.create(kFs, p), 0);
        level[on] = levels_db(e.decode(c), kSettle, kLength)[kC];
    }
    EXPECT_LT(level[1], level[0] - 20.0);
}

TEST(Process, DiffuserAddsADecorrelatedAmbience)
{
    Capsules c(kLength);
    orvo_scene::add_diffuse(c, 21, 0.1f, kFs, 100.0, 1000.0, 48);
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kFs);
    double corr[2];
    for (int on = 0; on < 2; ++on) {
        Engine e;
        sfm_params p = plugin_params();
        if (on)
            p.flags |= SFM_FLAG_DIFFUSER;
        ASSERT_EQ(e.create(kFs, p), 0);
        auto out = e.decode(c);
        ASSERT_TRUE(all_finite(out));
        double lr = 0, ll = 0, rr = 0;
        for (size_t i = kSettle; i < kLength; ++i) {
            lr += double(out[kL][i]) * out[kC][i];
            ll += double(out[kL][i]) * out[kL][i];
            rr += double(out[kC][i]) * out[kC][i];
        }
        corr[on] = lr / std::sqrt(ll * rr);
    }
    // Neighbouring channels share part of a diffuse field; the filters decorrelate it.
    EXPECT_LT(std::fabs(corr[1]), std::fabs(corr[0]));
}

TEST(Process, RefusesToRunWithoutBuffersOrAfterAFatalDesign)
{
    // Only initialised: silence in the caller's format, whatever was there.
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_params p = plugin_params();
    sfm_setup_init(&setup, kFs);
    setup.outputFormat = SFM_FORMAT_INT16;
    sfm_init(&st, &buf, &setup, p, nullptr, nullptr);
    std::vector<int16_t> out(kOutputs * setup.hopSize, 1234);
    std::vector<float> in(3 * setup.hopSize, 0.5f);
    sfm_process(&st, &buf, in.data(), out.data(), nullptr);
    for (int16_t v : out)
        ASSERT_EQ(v, 0);
    sfm_free(&st, &buf, nullptr, nullptr);

    Engine e;
    ASSERT_EQ(e.create(kFs, plugin_params()), 0);
    e.params.format = 12; // refused by the design: the engine must stop
    e.apply();
    ASSERT_NE(e.st.fatal, 0);
    auto o = e.decode(scene(0.0, 0.1f, -300.0, 8192));
    for (auto& ch : o)
        for (float x : ch)
            ASSERT_EQ(x, 0.0f);
}

TEST(Process, RestoresTheCallersFloatingPointMode)
{
#if defined(__x86_64__) || defined(__SSE__)
    Engine e;
    ASSERT_EQ(e.create(kFs, plugin_params()), 0);
    const unsigned before = _mm_getcsr();
    e.decode(scene(0.0, 0.1f, -300.0, 4096));
    EXPECT_EQ(_mm_getcsr(), before);
    _mm_setcsr(before | 0x8040u);
    e.decode(scene(0.0, 0.1f, -300.0, 4096));
    EXPECT_EQ(_mm_getcsr(), before | 0x8040u);
    _mm_setcsr(before);
#else
    GTEST_SKIP() << "no MXCSR on this machine";
#endif
}

TEST(Process, AllocatesNothing)
{
#ifdef ORVO_COUNT_ALLOCATIONS
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_DIFFUSER | SFM_FLAG_LFE_ON | SFM_FLAG_REAR_DELAY | SFM_FLAG_REAR_LOWPASS;
    ASSERT_EQ(e.create(kFs, p), 0);
    const Capsules c = scene(10.0, 0.1f, -6.0, 512 * 20);
    std::vector<float> in[3], out[kOutputs];
    for (auto& v : in)
        v.assign(512, 0.0f);
    for (auto& v : out)
        v.assign(512, 0.0f);
    const float* ip[3] = {in[0].data(), in[1].data(), in[2].data()};
    float* op[kOutputs];
    for (int j = 0; j < kOutputs; ++j)
        op[j] = out[j].data();
    gAllocations = 0;
    for (int h = 0; h < 20; ++h) {
        std::copy(c.fc.begin() + h * 512, c.fc.begin() + (h + 1) * 512, in[0].begin());
        std::copy(c.f8.begin() + h * 512, c.f8.begin() + (h + 1) * 512, in[1].begin());
        std::copy(c.rc.begin() + h * 512, c.rc.begin() + (h + 1) * 512, in[2].begin());
        gCounting = true;
        sfm_process(&e.st, &e.buf, ip, op, &e.meters);
        if (h == 10) { // parameter changes between hops are real-time too
            e.params.focus = 0.5f;
            sfm_set_params(&e.st, &e.buf, e.params);
        }
        gCounting = false;
    }
    EXPECT_EQ(gAllocations, 0);
#else
    GTEST_SKIP() << "allocation hooks are off under sanitizers";
#endif
}

} // namespace

namespace {

// Decodes `c` with an engine of `outputs` float channels (separate buffers);
// extra input channels (beyond the three capsules) carry `extra`.
std::vector<std::vector<float>> decode_any(const sfm_params& p, const Capsules& c, int outputs,
                                           const std::vector<float>* extra = nullptr, sfm_state* keep = nullptr)
{
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_setup_init(&setup, kFs);
    setup.numOutputs = outputs;
    setup.inputFormat = setup.outputFormat = SFM_FORMAT_FLOAT32 | SFM_FORMAT_SEPARATE;
    std::vector<std::vector<float>> out(outputs, std::vector<float>(c.size(), 0.0f));
    if (sfm_create(&st, &buf, &setup, p, nullptr, nullptr) != 0) {
        sfm_free(&st, &buf, nullptr, nullptr);
        return {};
    }
    const int hop = setup.hopSize;
    std::vector<std::vector<float>> in(SFM_MAX_INPUTS, std::vector<float>(hop, 0.0f));
    std::vector<std::vector<float>> o(outputs, std::vector<float>(hop, 0.0f));
    const float* ip[SFM_MAX_INPUTS];
    std::vector<float*> op(outputs);
    for (int ch = 0; ch < SFM_MAX_INPUTS; ++ch)
        ip[ch] = in[ch].data();
    for (int j = 0; j < outputs; ++j)
        op[j] = o[j].data();
    const std::vector<float>* src[4] = {&c.fc, &c.f8, &c.rc, extra};
    for (size_t pos = 0; pos < c.size(); pos += hop) {
        for (int ch = 0; ch < SFM_MAX_INPUTS; ++ch)
            for (int n = 0; n < hop; ++n)
                in[ch][n] = src[ch] && pos + n < c.size() ? (*src[ch])[pos + n] : 0.0f;
        sfm_process(&st, &buf, ip, op.data(), nullptr);
        for (int j = 0; j < outputs; ++j)
            for (int n = 0; n < hop && pos + n < c.size(); ++n)
                out[j][pos + n] = o[j][n];
    }
    if (keep)
        *keep = st;
    sfm_free(&st, &buf, nullptr, nullptr);
    return out;
}

TEST(Process, EveryFormatDecodesEachSectorIntoItsChannel)
{
    for (int format = 0; format < 10; ++format) {
        sfm_params p = plugin_params();
        p.format = format;
        // The layout of this format, from an initialised (not allocated) engine.
        sfm_setup setup{};
        sfm_state st{};
        sfm_buffers buf{};
        sfm_setup_init(&setup, kFs);
        sfm_init(&st, &buf, &setup, p, nullptr, nullptr);
        const int outputs = st.numEngineOutputs, decoded = st.numDecoded;
        const sfm_state layout = st;
        sfm_free(&st, &buf, nullptr, nullptr);
        for (int c = 0; c < decoded; ++c) {
            if (layout.elevation[c] != 0.0f)
                continue; // the raised layer of format 9: a horizontal source belongs below
            auto out = decode_any(p, scene(layout.centre[c] * 180.0 / orvo_scene::kPi, 0.1f, -300.0, 24000),
                                  outputs);
            ASSERT_EQ(out.size(), static_cast<size_t>(outputs)) << "format " << format;
            int best = 0;
            double bestLevel = -1e9;
            for (int j = 0; j < outputs; ++j) {
                for (float x : out[j])
                    ASSERT_TRUE(std::isfinite(x));
                double l = orvo_scene::rms_db(out[j].data(), 12000, 24000);
                if (l > bestLevel) {
                    bestLevel = l;
                    best = j;
                }
            }
            EXPECT_EQ(layout.channelMap[best], c) << "format " << format << " channel " << c;
        }
    }
}

TEST(Process, OtherMicrophoneTypesRunWithTheirInputs)
{
    const Capsules c = scene(65.0, 0.1f, -6.0, 24000);
    const std::vector<float> fourth = orvo_scene::white_noise(24000, 9, 0.1f);
    for (int type : {0, 1, 2}) {
        sfm_params p = plugin_params();
        p.micType = type;
        sfm_state st{};
        auto out = decode_any(p, c, kOutputs, &fourth, &st);
        ASSERT_EQ(out.size(), static_cast<size_t>(kOutputs)) << "mic type " << type;
        EXPECT_EQ(st.setup.numInputs, type == 0 ? 4 : 3);
        std::array<double, kOutputs> l{};
        for (int j = 0; j < kOutputs; ++j) {
            for (float x : out[j])
                ASSERT_TRUE(std::isfinite(x));
            l[j] = orvo_scene::rms_db(out[j].data(), 12000, 24000);
        }
        EXPECT_EQ(loudest(l), kL) << "mic type " << type;
    }
}

TEST(Process, ALayoutChangeAfterSetUpNeverOutgrowsTheBuffers)
{
    // Set up for five decoded channels, then ask for ten: the engine keeps
    // running within what it allocated (checked under AddressSanitizer).
    // A reset after the change and the diffuser on touch every per-channel array.
    Engine e;
    sfm_params p = plugin_params();
    p.flags |= SFM_FLAG_DIFFUSER;
    ASSERT_EQ(e.create(kFs, p), 0);
    e.params.format = 7;
    e.apply();
    sfm_reset(&e.st, &e.buf, &e.meters);
    auto out = e.decode(scene(0.0, 0.1f, -6.0, 8192));
    EXPECT_TRUE(all_finite(out));
    e.params.format = 3;
    e.apply();
    sfm_reset(&e.st, &e.buf, &e.meters);
    out = e.decode(scene(0.0, 0.1f, -6.0, 8192));
    EXPECT_TRUE(all_finite(out));
}

} // namespace

namespace {

TEST(Process, MutedChannelFallsSilentAndComesBack)
{
    Engine e;
    ASSERT_EQ(e.create(kFs, plugin_params()), 0);
    e.set_width(80.0f, 150.0f);
    const Capsules c = scene(70.0, 0.1f, -6.0, 48000);
    e.params.muteLR = 1;
    e.apply();
    auto muted = e.decode(c);
    for (size_t n = 2 * 512; n < 48000; ++n) {
        ASSERT_EQ(muted[kL][n], 0.0f) << n;
        ASSERT_EQ(muted[kR][n], 0.0f) << n;
    }
    EXPECT_GT(orvo_scene::rms(muted[kC].data(), 24000, 48000), 1e-3);
    e.params.muteLR = 0;
    e.apply();
    auto back = e.decode(c);
    EXPECT_EQ(loudest(levels_db(back, 24000, 48000)), kL);
}

} // namespace
