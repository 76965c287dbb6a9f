// The binaural renderer as the monitor uses it: 5.1 loudspeakers through the
// built-in MIT KEMAR set, the head turned, any block size, any rate.
#include "plugin/allocation_count.h"
#include "sfm_binaural.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// 5.1 in the engine's order L R C LFE Ls Rs, azimuths counterclockwise.
constexpr int kChannels = 6;
constexpr int kLfe = 3;
const float kAzimuth51[kChannels] = {30.0f, -30.0f, 0.0f, 0.0f, 110.0f, -110.0f};

using Signal = std::vector<float>;

struct Ears {
    Signal left, right;
};

// A prepared set and a renderer on it, laid out as 5.1.
struct Renderer {
    explicit Renderer(float rate, const sfm_hrir_ring* ring = sfm_hrir_builtin())
    {
        EXPECT_EQ(sfm_hrtf_prepare(&hrtf, ring, rate), 0);
        EXPECT_EQ(sfm_binaural_create(&b, rate, &hrtf), 0);
        EXPECT_EQ(sfm_binaural_set_layout(&b, kChannels, kAzimuth51, kLfe), 0);
    }
    ~Renderer()
    {
        sfm_binaural_free(&b);
        sfm_hrtf_free(&hrtf);
    }
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Renders the channels in blocks of `block`; `before(b, start)` runs
    // ahead of every block (parameter changes).
    template <class F>
    Ears render(const std::vector<Signal>& in, int block, F before)
    {
        const size_t n = in[0].size();
        Ears out{Signal(n), Signal(n)};
        for (size_t start = 0; start < n; start += static_cast<size_t>(block)) {
            const int m = static_cast<int>(std::min(n - start, static_cast<size_t>(block)));
            before(&b, start);
            const float* ch[kChannels];
            for (int c = 0; c < kChannels; ++c)
                ch[c] = in[c].data() + start;
            sfm_binaural_process(&b, ch, out.left.data() + start, out.right.data() + start, m);
        }
        return out;
    }
    Ears render(const std::vector<Signal>& in, int block = 512)
    {
        return render(in, block, [](sfm_binaural*, size_t) {});
    }

    sfm_hrtf hrtf{};
    sfm_binaural b{};
};

std::vector<Signal> silence(size_t n) { return std::vector<Signal>(kChannels, Signal(n, 0.0f)); }

std::vector<Signal> impulse(int channel, size_t n, size_t at = 0)
{
    auto in = silence(n);
    in[channel][at] = 1.0f;
    return in;
}

std::vector<Signal> noise(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> d(0.0f, 0.2f);
    auto in = silence(n);
    for (auto& ch : in)
        for (auto& v : ch)
            v = d(rng);
    return in;
}

double energy(const float* x, size_t n)
{
    double e = 0.0;
    for (size_t i = 0; i < n; ++i)
        e += double(x[i]) * x[i];
    return e;
}

// Interaural differences of a response pair: time (s, positive when the
// right ear leads) from the cross-correlation peak, refined by a parabola;
// level (dB, positive when the left ear is louder).
struct Interaural {
    double itd, ild;
};

Interaural interaural(const float* l, const float* r, size_t n, double rate)
{
    const int maxLag = static_cast<int>(0.0012 * rate);
    auto xc = [&](int lag) { // sum l[i] r[i - lag]
        double s = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const long j = static_cast<long>(i) - lag;
            if (j >= 0 && j < static_cast<long>(n))
                s += double(l[i]) * r[j];
        }
        return s;
    };
    int best = 0;
    double bestValue = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag)
        if (xc(lag) > bestValue) {
            bestValue = xc(lag);
            best = lag;
        }
    const double a = xc(best - 1), c = xc(best + 1), b = bestValue;
    const double shift = (a - 2.0 * b + c) < 0.0 ? 0.5 * (a - c) / (a - 2.0 * b + c) : 0.0;
    return {(best + shift) / rate, 10.0 * std::log10(energy(l, n) / energy(r, n))};
}

// The built-in ring's measured direction at `azimuth` (-1: none).
int ring_index(float azimuth)
{
    const sfm_hrir_ring* ring = sfm_hrir_builtin();
    for (int j = 0; j < ring->numDirections; ++j)
        if (std::fabs(ring->azimuth[j] - azimuth) < 0.01f)
            return j;
    ADD_FAILURE() << "no measured direction at " << azimuth;
    return -1;
}

// The built-in ring's measured responses at direction j, through the
// equaliser a set prepared from it applies (at the ring's own rate): what
// the renderer is meant to play, before alignment and rate conversion.
struct EqualisedRing {
    std::vector<float> left, right;
    EqualisedRing(int j)
    {
        const sfm_hrir_ring* ring = sfm_hrir_builtin();
        sfm_hrtf set{};
        EXPECT_EQ(sfm_hrtf_prepare(&set, ring, ring->sampleRate), 0);
        const size_t len = static_cast<size_t>(ring->length), o = static_cast<size_t>(j) * len;
        for (auto [src, dst] : {std::pair{ring->left + o, &left}, std::pair{ring->right + o, &right}}) {
            dst->assign(len + static_cast<size_t>(set.equaliserLength), 0.0f);
            for (size_t i = 0; i < len; ++i)
                for (int k = 0; k < set.equaliserLength; ++k)
                    (*dst)[i + static_cast<size_t>(k)] += src[i] * set.equaliser[k];
        }
        sfm_hrtf_free(&set);
    }
};

// The interaural differences of a measured azimuth, as equalised.
Interaural ring_interaural(float azimuth)
{
    const int j = ring_index(azimuth);
    if (j < 0)
        return {0.0, 0.0};
    const EqualisedRing r(j);
    return interaural(r.left.data(), r.right.data(), r.left.size(), sfm_hrir_builtin()->sampleRate);
}

// The largest sample-to-sample step of either ear from `from` on.
float largest_step(const Ears& e, size_t from)
{
    float step = 0.0f;
    for (const Signal* s : {&e.left, &e.right})
        for (size_t i = std::max<size_t>(from, 1); i < s->size(); ++i)
            step = std::max(step, std::fabs((*s)[i] - (*s)[i - 1]));
    return step;
}

Signal sine(size_t n, double hz, double rate, float amplitude = 0.5f)
{
    Signal s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = amplitude * static_cast<float>(std::sin(2.0 * SFM_PI * hz * i / rate));
    return s;
}

// ITD within one sample at 48 kHz (the precision of the measured set's own
// estimate at 44.1 kHz) and ILD within 1 dB of the measured responses of
// `azimuth`, for an impulse in `channel` of the rendered output.
void expect_direction(Renderer& r, int channel, float azimuth, float yaw, float rate, const char* what)
{
    const int lat = sfm_binaural_latency(&r.b);
    const size_t n = static_cast<size_t>(lat + 2 * sfm_binaural_capacity(&r.b));
    sfm_binaural_reset(&r.b);
    sfm_binaural_set_params(&r.b, yaw, 1.0f, 0);
    const Ears e = r.render(impulse(channel, n));
    const Interaural got = interaural(e.left.data() + lat, e.right.data() + lat, n - lat, rate);
    const Interaural want = ring_interaural(azimuth);
    EXPECT_NEAR(got.itd, want.itd, 1.0 / 48000.0) << what;
    EXPECT_NEAR(got.ild, want.ild, 1.0) << what;
}

TEST(Binaural, EachLoudspeakerOf51HasItsDirectionsInterauralDifferences)
{
    Renderer r(48000.0f);
    for (int c = 0; c < kChannels; ++c) {
        if (c == kLfe)
            continue;
        SCOPED_TRACE(c);
        expect_direction(r, c, kAzimuth51[c], 0.0f, 48000.0f, "unrotated");
        const Interaural want = ring_interaural(kAzimuth51[c]);
        // The measured set itself: the left loudspeakers lead at the left ear.
        if (kAzimuth51[c] > 0.0f) {
            EXPECT_LT(want.itd, -2e-4);
        } else if (kAzimuth51[c] < 0.0f) {
            EXPECT_GT(want.itd, 2e-4);
        }
    }
}

TEST(Binaural, TurningTheHeadByALoudspeakersAngleBringsItToTheFront)
{
    Renderer r(48000.0f);
    for (int c : {0, 1, 4, 5}) {
        SCOPED_TRACE(c);
        expect_direction(r, c, 0.0f, kAzimuth51[c], 48000.0f, "rotated to the front");
        // Turned the other way it moves to twice its angle.
        const float twice = 2.0f * kAzimuth51[c];
        const float wrapped = twice > 180.0f ? twice - 360.0f : (twice < -180.0f ? twice + 360.0f : twice);
        expect_direction(r, c, wrapped, -kAzimuth51[c], 48000.0f, "rotated away");
    }
    const Interaural front = ring_interaural(0.0f);
    EXPECT_NEAR(front.itd, 0.0, 2.5e-5);
    EXPECT_NEAR(front.ild, 0.0, 1.5);
}

TEST(Binaural, DirectionsBetweenMeasuredOnesInterpolateTheTimeDifference)
{
    // 32.5 degrees lies halfway between the measurements at 30 and 35.
    Renderer r(48000.0f);
    const int lat = sfm_binaural_latency(&r.b);
    const size_t n = static_cast<size_t>(lat + 2 * sfm_binaural_capacity(&r.b));
    sfm_binaural_set_params(&r.b, -2.5f, 1.0f, 0);
    const Ears e = r.render(impulse(0, n));
    const double itd = interaural(e.left.data() + lat, e.right.data() + lat, n - lat, 48000.0).itd;
    const double a = ring_interaural(30.0f).itd, b = ring_interaural(35.0f).itd;
    EXPECT_NEAR(itd, 0.5 * (a + b), 0.5 / 48000.0);
}

TEST(Binaural, AnyBlockSizeGivesTheSameOutput)
{
    const auto in = noise(48000 / 2, 7u);
    Ears reference;
    for (int block : {512, 1, 37, 4096}) {
        Renderer r(48000.0f);
        sfm_binaural_set_params(&r.b, 40.0f, 0.7f, 1);
        const Ears e = r.render(in, block);
        if (block == 512) {
            reference = e;
            EXPECT_GT(energy(e.left.data(), e.left.size()), 1.0);
            continue;
        }
        EXPECT_EQ(e.left, reference.left) << "block " << block;
        EXPECT_EQ(e.right, reference.right) << "block " << block;
    }
}

TEST(Binaural, LatencyIsTheDelayOfTheOutput)
{
    Renderer r(48000.0f);
    const int lat = sfm_binaural_latency(&r.b);
    EXPECT_GT(lat, 0);
    const size_t at = 100, n = at + lat + 2 * sfm_binaural_capacity(&r.b);
    // The LFE path has no acoustic onset: its impulse response starts at once.
    sfm_binaural_set_params(&r.b, 0.0f, 1.0f, 1);
    Ears e = r.render(impulse(kLfe, n, at), 64);
    for (size_t i = 0; i < at + lat; ++i)
        ASSERT_EQ(e.left[i], 0.0f) << i;
    EXPECT_GT(e.left[at + lat], 0.0f);
    EXPECT_EQ(e.left, e.right);

    // A loudspeaker's response peaks where the measured one does, after the latency.
    sfm_binaural_reset(&r.b);
    sfm_binaural_set_params(&r.b, 0.0f, 1.0f, 0);
    e = r.render(impulse(2, n, at), 64);
    size_t peak = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::fabs(e.left[i]) > std::fabs(e.left[peak]))
            peak = i;
    const sfm_hrir_ring* ring = sfm_hrir_builtin();
    const EqualisedRing equalised(ring_index(0.0f));
    const float* front = equalised.left.data();
    int ringPeak = 0;
    for (int i = 0; i < ring->length; ++i)
        if (std::fabs(front[i]) > std::fabs(front[ringPeak]))
            ringPeak = i;
    EXPECT_NEAR(static_cast<double>(peak - at - lat) / 48000.0, ringPeak / 44100.0, 1.0 / 44100.0);
}

TEST(Binaural, TurningTheHeadDoesNotClick)
{
    constexpr float kRate = 48000.0f;
    const size_t n = 48000;
    auto in = silence(n);
    in[2] = sine(n, 500.0, kRate);
    // Static heads over the swept range give the steps a steady tone has.
    float steady = 0.0f;
    for (float yaw = 0.0f; yaw <= 90.0f; yaw += 5.0f) {
        Renderer r(kRate);
        sfm_binaural_set_params(&r.b, yaw, 1.0f, 0);
        steady = std::max(steady, largest_step(r.render(in), 4096));
    }
    // A sweep of 90 degrees in one second, moved every 64 samples, then a jump back.
    Renderer r(kRate);
    const Ears swept = r.render(in, 64, [&](sfm_binaural* b, size_t start) {
        const float yaw = start < n * 3 / 4 ? 90.0f * start / (n * 3 / 4) : 0.0f;
        sfm_binaural_set_params(b, yaw, 1.0f, 0);
    });
    EXPECT_LE(largest_step(swept, 4096), 1.05f * steady);
    EXPECT_GT(steady, 0.01f);
}

TEST(Binaural, SwitchingSetsCrossfadesIntoTheNewSet)
{
    // The other set: the built-in mirrored (ears swapped), so every
    // loudspeaker sounds from the other side.
    const sfm_hrir_ring* ring = sfm_hrir_builtin();
    std::vector<float> az(ring->azimuth, ring->azimuth + ring->numDirections);
    sfm_hrir_ring mirrored = *ring;
    mirrored.left = ring->right;
    mirrored.right = ring->left;
    mirrored.name = "mirrored";
    sfm_hrtf other{};
    ASSERT_EQ(sfm_hrtf_prepare(&other, &mirrored, 48000.0f), 0);
    EXPECT_STREQ(other.name, "mirrored");

    const auto in = noise(48000 / 4, 3u);
    Renderer fresh(48000.0f, &mirrored);
    const Ears want = fresh.render(in);

    Renderer r(48000.0f);
    const size_t switchAt = 4096;
    const Ears got = r.render(in, 256, [&](sfm_binaural* b, size_t start) {
        if (start == switchAt) {
            sfm_binaural_use_hrtf(b, &other);
            EXPECT_EQ(sfm_binaural_hrtf_in_use(b), &r.hrtf) << "until the next partition";
        }
        if (start == switchAt + 2048) {
            EXPECT_EQ(sfm_binaural_hrtf_in_use(b), &other);
        }
    });
    // Two partitions after the switch the output is the new set's alone.
    const size_t settled = switchAt + 2 * sfm_binaural_latency(&r.b) + 1024;
    double err = 0.0, ref = 0.0;
    for (size_t i = settled; i < in[0].size(); ++i) {
        err += std::pow(got.left[i] - want.left[i], 2) + std::pow(got.right[i] - want.right[i], 2);
        ref += std::pow(want.left[i], 2) + std::pow(want.right[i], 2);
    }
    EXPECT_LT(err, 1e-10 * ref);
    sfm_binaural_free(&r.b); // before the set it may still point to
    sfm_hrtf_free(&other);
}

TEST(Binaural, LfeGoesToBothEarsThroughTheLowpassWith10dBGain)
{
    constexpr float kRate = 48000.0f;
    const size_t n = 24000;
    for (int on : {1, 0}) {
        for (double hz : {40.0, 1000.0}) {
            Renderer r(kRate);
            auto in = silence(n);
            in[kLfe] = sine(n, hz, kRate, 0.1f);
            sfm_binaural_set_params(&r.b, 30.0f, 1.0f, on);
            const Ears e = r.render(in);
            EXPECT_EQ(e.left, e.right);
            const double rms = std::sqrt(energy(e.left.data() + n / 2, n / 2) / (n / 2));
            const double inRms = 0.1 / std::sqrt(2.0);
            if (!on)
                EXPECT_EQ(rms, 0.0);
            else if (hz < 100.0)
                EXPECT_NEAR(20.0 * std::log10(rms / inRms), 10.0, 0.3) << hz;
            else
                EXPECT_LT(20.0 * std::log10(rms / inRms), -50.0) << hz; // 3 octaves of 24 dB, +10
        }
    }
}

TEST(Binaural, BadInputGivesFiniteOutputAndNoAllocation)
{
    Renderer r(48000.0f);
    auto in = noise(20000, 5u);
    in[0][300] = std::nanf("");
    in[1][301] = INFINITY;
    in[2][302] = -INFINITY;
    in[4][303] = 1e30f;
    in[kLfe][304] = std::nanf("");
    // The head turning, the LFE switched and the set changed while counting.
    sfm_hrtf other{};
    ASSERT_EQ(sfm_hrtf_prepare(&other, sfm_hrir_builtin(), 48000.0f), 0);
    Ears e{Signal(in[0].size()), Signal(in[0].size())};
    const float* ch[kChannels];
#ifdef ORVO_COUNT_ALLOCATIONS
    orvotest::gAllocations = 0;
    orvotest::gCounting = true;
#endif
    for (size_t start = 0; start < in[0].size(); start += 100) {
        sfm_binaural_set_params(&r.b, static_cast<float>(start) * 0.01f, 1.0f, (start / 5000) & 1);
        if (start == 10000)
            sfm_binaural_use_hrtf(&r.b, &other);
        for (int c = 0; c < kChannels; ++c)
            ch[c] = in[c].data() + start;
        sfm_binaural_process(&r.b, ch, e.left.data() + start, e.right.data() + start, 100);
    }
#ifdef ORVO_COUNT_ALLOCATIONS
    orvotest::gCounting = false;
    EXPECT_EQ(orvotest::gAllocations, 0);
#endif
    EXPECT_EQ(sfm_binaural_hrtf_in_use(&r.b), &other);
    sfm_binaural_free(&r.b);
    sfm_hrtf_free(&other);
    for (size_t i = 0; i < e.left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(e.left[i]) && std::isfinite(e.right[i])) << i;
        ASSERT_LT(std::fabs(e.left[i]), 1e6f);
    }
}

TEST(Binaural, WorksAtOtherRates)
{
    for (float rate : {44100.0f, 96000.0f, 384000.0f, 8000.0f}) {
        SCOPED_TRACE(rate);
        Renderer r(rate);
        EXPECT_GE(sfm_binaural_latency(&r.b), 0.01f * rate);
        if (rate >= 44100.0f) {
            expect_direction(r, 0, 30.0f, 0.0f, rate, "L");
            expect_direction(r, 5, -110.0f, 0.0f, rate, "Rs");
        } else {
            // 8 kHz keeps the time difference (below 4 kHz) but not the level one.
            sfm_binaural_set_params(&r.b, 0.0f, 1.0f, 0);
            const int lat = sfm_binaural_latency(&r.b);
            const size_t n = static_cast<size_t>(lat + 2 * sfm_binaural_capacity(&r.b));
            const Ears e = r.render(impulse(0, n));
            const double itd = interaural(e.left.data() + lat, e.right.data() + lat, n - lat, rate).itd;
            EXPECT_NEAR(itd, ring_interaural(30.0f).itd, 1.0 / rate);
        }
    }
}

TEST(Binaural, RefusesWhatItCannotUse)
{
    sfm_hrtf h{};
    sfm_hrir_ring bad = *sfm_hrir_builtin();
    EXPECT_EQ(sfm_hrtf_prepare(&h, &bad, 500000.0f), SFM_ERR_SAMPLE_RATE);
    bad.length = 0;
    EXPECT_EQ(sfm_hrtf_prepare(&h, &bad, 48000.0f), SFM_ERR_SETUP);
    bad = *sfm_hrir_builtin();
    std::vector<float> unsorted(bad.azimuth, bad.azimuth + bad.numDirections);
    std::swap(unsorted[3], unsorted[4]);
    bad.azimuth = unsorted.data();
    EXPECT_EQ(sfm_hrtf_prepare(&h, &bad, 48000.0f), SFM_ERR_SETUP);

    Renderer r(48000.0f);
    const float az[7] = {};
    EXPECT_EQ(sfm_binaural_set_layout(&r.b, 7, az, -1), SFM_ERR_SETUP);
    EXPECT_EQ(sfm_binaural_set_layout(&r.b, 2, az, 2), SFM_ERR_SETUP);
    sfm_binaural b{};
    EXPECT_EQ(sfm_binaural_create(&b, 44100.0f, &r.hrtf), SFM_ERR_SETUP) << "a set of another rate";
    sfm_hrtf other{};
    ASSERT_EQ(sfm_hrtf_prepare(&other, sfm_hrir_builtin(), 44100.0f), 0);
    sfm_binaural_use_hrtf(&r.b, &other);
    r.render(noise(2048, 1u));
    EXPECT_EQ(sfm_binaural_hrtf_in_use(&r.b), &r.hrtf) << "a set of another rate is not taken";
    sfm_hrtf_free(&other);
}

// SOFA files: garbage is refused with a one-line reason; the file the
// built-in set comes from reads as the same responses.
TEST(BinauralSofa, RefusesGarbageWithAMessage)
{
    sfm_hrir_file file{};
    char message[256] = "unchanged";
    if (!sfm_hrir_sofa_supported()) {
        EXPECT_LT(sfm_hrir_read_sofa(&file, "any.sofa", message, sizeof(message)), 0);
        EXPECT_STRNE(message, "unchanged");
        GTEST_SKIP() << "no SOFA reader in this build";
    }
    const std::string dir = ::testing::TempDir();
    std::mt19937 rng(11u);
    const std::string plain = dir + "garbage.sofa", hdf = dir + "garbage_hdf5.sofa";
    const std::string huge = dir + "huge.sofa", tiny = dir + "tiny.sofa";
    {
        std::ofstream(tiny, std::ios::binary).write("\x89HD", 3);
        std::ofstream h(huge, std::ios::binary);
        h.write("\x89HDF\r\n\x1a\n", 8);
        h.seekp((300L << 20) - 1); // sparse: 300 MB without writing them
        h.put('\0');
    }
    {
        std::ofstream a(plain, std::ios::binary), b(hdf, std::ios::binary);
        b.write("\x89HDF\r\n\x1a\n", 8);
        for (int i = 0; i < 100000; ++i) {
            const char c = static_cast<char>(rng());
            a.put(c);
            b.put(c);
        }
    }
    for (const std::string& path : {plain, hdf, huge, tiny, dir + "missing.sofa", dir}) {
        SCOPED_TRACE(path);
        std::snprintf(message, sizeof(message), "unchanged");
        EXPECT_LT(sfm_hrir_read_sofa(&file, path.c_str(), message, sizeof(message)), 0);
        EXPECT_EQ(file.storage, nullptr);
        EXPECT_GT(std::strlen(message), 0u);
        EXPECT_STRNE(message, "unchanged");
        EXPECT_EQ(std::strchr(message, '\n'), nullptr);
    }
    for (const std::string& path : {plain, hdf, huge, tiny})
        std::remove(path.c_str());
}

TEST(BinauralSofa, ReadsTheKemarFileAsTheBuiltInSet)
{
    const char* path = "/usr/share/libmysofa/MIT_KEMAR_normal_pinna.sofa";
    if (!sfm_hrir_sofa_supported() || !std::ifstream(path))
        GTEST_SKIP() << "no SOFA reader or no KEMAR file";
    sfm_hrir_file file{};
    char message[256] = {};
    ASSERT_EQ(sfm_hrir_read_sofa(&file, path, message, sizeof(message)), 0) << message;
    EXPECT_STREQ(file.ring.name, "MIT_KEMAR_normal_pinna.sofa");
    EXPECT_EQ(file.ring.sampleRate, 44100.0f);
    EXPECT_EQ(file.ring.numDirections, 72);

    // Rendered through either set, the loudspeakers sound alike.
    Renderer fromFile(48000.0f, &file.ring), builtIn(48000.0f);
    const auto in = noise(24000, 9u);
    const Ears a = fromFile.render(in), b = builtIn.render(in);
    double err = 0.0, ref = 0.0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        err += std::pow(a.left[i] - b.left[i], 2) + std::pow(a.right[i] - b.right[i], 2);
        ref += std::pow(b.left[i], 2) + std::pow(b.right[i], 2);
    }
    EXPECT_LT(10.0 * std::log10(err / ref), -30.0);
    sfm_hrir_file_free(&file);
}

} // namespace
