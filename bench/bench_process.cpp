// One engine hop at 48 kHz in the plug-in's configuration (5 channels,
// beamshaping on), diffuser off and on, against the hop's transforms alone
// (3 forward + 5 inverse real FFTs of fftSize; with the diffuser also 5 + 5 of
// 4096). Counters: per-hop time in microseconds, the transforms' time and the
// ratio of the two.
#include "orvo_scene.h"
#include "sfm_internal.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr float kFs = 48000.0f;

sfm_params plugin_params(bool diffuser)
{
    sfm_params p;
    sfm_params_default(&p);
    p.flags &= ~uint32_t(SFM_FLAG_LFE_ON);
    if (diffuser)
        p.flags |= SFM_FLAG_DIFFUSER;
    p.format = 3;
    p.micType = 3;
    p.micResponseLR = p.micResponseC = p.micResponseLsRs = 1.0f / 3.0f;
    p.rearLowpass = 3500.0f;
    return p;
}

// Time of `forwards` forward and `inverses` inverse transforms of length n, in nanoseconds.
double transforms_ns(int n, int forwards, int inverses)
{
    sfm_fft fft{};
    sfm_fft_init(&fft, n);
    std::vector<float> x(n), re(n / 2 + 1), im(n / 2 + 1);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>((i * 7919) % 1000) * 1e-3f - 0.5f;
    const int reps = 4000;
    double best = 1e30;
    for (int trial = 0; trial < 5; ++trial) {
        auto t0 = Clock::now();
        for (int r = 0; r < reps; ++r) {
            for (int k = 0; k < forwards; ++k)
                sfm_fft_forward(&fft, x.data(), re.data(), im.data());
            for (int k = 0; k < inverses; ++k)
                sfm_fft_inverse(&fft, re.data(), im.data(), x.data());
            benchmark::DoNotOptimize(x.data());
        }
        double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / reps;
        best = ns < best ? ns : best;
    }
    sfm_fft_free(&fft);
    return best;
}

void process_hop(benchmark::State& state)
{
    const bool diffuser = state.range(0) != 0;
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_meters meters{};
    sfm_setup_init(&setup, kFs);
    setup.inputFormat = setup.outputFormat = SFM_FORMAT_FLOAT32 | SFM_FORMAT_SEPARATE;
    sfm_params p = plugin_params(diffuser);
    if (sfm_create(&st, &buf, &setup, p, &meters, nullptr) != 0) {
        state.SkipWithError("sfm_create failed");
        return;
    }
    const float pi = 3.1415927f;
    sfm_solve_width(p, 2.0f * 80.0f * pi / 180.0f, &p.widthCoef, nullptr, 2.0f * 30.0f * pi / 180.0f,
                    &p.rearWidthCoef);
    sfm_set_params(&st, &buf, p);

    const int hop = setup.hopSize, hops = 200;
    orvo_scene::Capsules c(static_cast<size_t>(hop) * hops);
    orvo_scene::add_plane_wave(c, orvo_scene::white_noise(c.size(), 1, 0.1f), 1.0);
    orvo_scene::add_plane_wave(c, orvo_scene::white_noise(c.size(), 2, 0.05f), -2.2);
    orvo_scene::add_diffuse(c, 3, 0.03f, kFs, 50.0, 18000.0, 16);
    std::vector<float> out[6];
    float* outPtrs[6];
    for (int j = 0; j < 6; ++j) {
        out[j].assign(hop, 0.0f);
        outPtrs[j] = out[j].data();
    }
    int h = 0;
    auto t0 = Clock::now();
    for (auto _ : state) {
        const float* in[3] = {c.fc.data() + h * hop, c.f8.data() + h * hop, c.rc.data() + h * hop};
        sfm_process(&st, &buf, in, outPtrs, &meters);
        benchmark::DoNotOptimize(outPtrs[0][0]);
        h = (h + 1) % hops;
    }
    const double hopNs = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() /
                         static_cast<double>(state.iterations());
    // The hop's transforms: 3 forward and one inverse per decoded channel of
    // the STFT, and with the diffuser one forward and one inverse block
    // convolution transform per decoded channel.
    double fftNs = transforms_ns(setup.fftSize, 3, st.numDecoded);
    if (diffuser)
        fftNs += transforms_ns(SFM_DIFFUSER_SIZE, st.numDecoded, st.numDecoded);
    state.counters["hop_us"] = hopNs * 1e-3;
    state.counters["transforms_us"] = fftNs * 1e-3;
    state.counters["ratio"] = hopNs / fftNs;
    state.counters["realtime_share_%"] = 100.0 * hopNs * 1e-9 / (hop / kFs);
    sfm_free(&st, &buf, &meters, nullptr);
}

BENCHMARK(process_hop)->ArgName("diffuser")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
