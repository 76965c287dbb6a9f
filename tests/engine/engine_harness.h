// A small host for the engine in tests: one instance, float channel buffers,
// whole recordings decoded hop by hop with the latency removed.
#pragma once

#include "orvo_scene.h"
#include "sfm_api.h"

#include <array>
#include <cstring>
#include <vector>

namespace orvo_test {

// Engine output order of format 3: L R C LFE Ls Rs.
enum { kL = 0, kR = 1, kC = 2, kLfe = 3, kLs = 4, kRs = 5, kOutputs = 6 };

// The plug-in's configuration: format 3, mic type 3, LFE off, beamshaping on,
// diffuser off, Width 80, Rear Width 150, mic responses 1/3.
inline sfm_params plugin_params()
{
    sfm_params p;
    sfm_params_default(&p);
    p.flags &= ~uint32_t(SFM_FLAG_LFE_ON);
    p.format = 3;
    p.micType = 3;
    p.micResponseLR = p.micResponseC = p.micResponseLsRs = 1.0f / 3.0f;
    p.rearDelay = 20.0f;
    p.rearLowpass = 3500.0f;
    return p;
}

constexpr int kSeparateFloat = SFM_FORMAT_FLOAT32 | SFM_FORMAT_SEPARATE;
// Keeps the sample format that sfm_setup_init chose.
constexpr int kSetupFormat = -1;

// One engine instance as its owner embeds it: the records, the rate's
// set-up and the engine's default parameters until a test changes them;
// create() builds it, the destructor frees it.
struct Instance {
    explicit Instance(float rate = 48000.0f, int inputFormat = kSetupFormat, int outputFormat = kSetupFormat)
    {
        sfm_setup_init(&setup, rate);
        if (inputFormat != kSetupFormat)
            setup.inputFormat = inputFormat;
        if (outputFormat != kSetupFormat)
            setup.outputFormat = outputFormat;
        sfm_params_default(&params);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() { sfm_free(&st, &buf, &meters, nullptr); }

    int create() { return sfm_create(&st, &buf, &setup, params, &meters, nullptr); }

    sfm_setup setup{};
    sfm_params params{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_meters meters{};
};

// An instance that decodes whole recordings, set up as the plug-in sets it up.
class Engine : public Instance {
public:
    Engine() = default;

    // Separate float buffers (the plug-in's format) unless told otherwise.
    int create(float fs, const sfm_params& p, int inputFormat = kSeparateFloat, int outputFormat = kSeparateFloat)
    {
        sfm_free(&st, &buf, &meters, nullptr);
        params = p;
        if (sfm_setup_init(&setup, fs) != 0)
            return -5;
        setup.numInputs = 3;
        setup.numOutputs = kOutputs;
        setup.inputFormat = inputFormat;
        setup.outputFormat = outputFormat;
        return Instance::create();
    }

    // Width and Rear Width in degrees through the solver, as the plug-in maps them.
    void set_width(float widthDeg, float rearWidthDeg)
    {
        const double pi = static_cast<float>(SFM_PI); // as the plug-in maps them: pi in float
        float w = static_cast<float>(2.0 * widthDeg * pi / 180.0);
        float r = static_cast<float>(2.0 * (180.0 - rearWidthDeg) * pi / 180.0);
        sfm_solve_width(params, w, &params.widthCoef, nullptr, r, &params.rearWidthCoef);
        sfm_set_params(&st, &buf, params);
    }

    void apply() { sfm_set_params(&st, &buf, params); }

    int hop() const { return setup.hopSize; }
    // Input-to-output delay of the transform path: one window less one hop.
    int latency() const { return setup.windowSize - setup.hopSize; }

    // Decodes the capsules; returns kOutputs channels of c.size() samples,
    // aligned with the input.
    std::array<std::vector<float>, kOutputs> decode(const orvo_scene::Capsules& c)
    {
        const int h = hop();
        const size_t n = c.size(), total = n + latency() + h;
        std::array<std::vector<float>, kOutputs> out;
        for (auto& ch : out)
            ch.assign(n, 0.0f);
        std::vector<float> in[3] = {std::vector<float>(h), std::vector<float>(h), std::vector<float>(h)};
        std::vector<float> o[kOutputs];
        for (auto& ch : o)
            ch.assign(h, 0.0f);
        const float* inPtrs[3] = {in[0].data(), in[1].data(), in[2].data()};
        float* outPtrs[kOutputs];
        for (int j = 0; j < kOutputs; ++j)
            outPtrs[j] = o[j].data();
        const std::vector<float>* src[3] = {&c.fc, &c.f8, &c.rc};
        for (size_t pos = 0; pos < total; pos += h) {
            for (int ch = 0; ch < 3; ++ch)
                for (int i = 0; i < h; ++i)
                    in[ch][i] = pos + i < n ? (*src[ch])[pos + i] : 0.0f;
            sfm_process(&st, &buf, inPtrs, outPtrs, &meters);
            for (int j = 0; j < kOutputs; ++j)
                for (int i = 0; i < h; ++i) {
                    long t = static_cast<long>(pos + i) - latency();
                    if (t >= 0 && static_cast<size_t>(t) < n)
                        out[j][t] = o[j][i];
                }
        }
        return out;
    }
};

// RMS level (dB) per output channel over [begin, end).
inline std::array<double, kOutputs> levels_db(const std::array<std::vector<float>, kOutputs>& out, size_t begin,
                                              size_t end)
{
    std::array<double, kOutputs> l{};
    for (int j = 0; j < kOutputs; ++j)
        l[j] = orvo_scene::rms_db(out[j].data(), begin, end);
    return l;
}

inline double deg(double d) { return d * orvo_scene::kPi / 180.0; }

} // namespace orvo_test
