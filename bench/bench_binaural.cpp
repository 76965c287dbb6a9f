// The binaural renderer at 5.1, 48 kHz, in 512-sample blocks (the head still,
// and turning at every block), against a plain FFTW overlap-add convolution
// of the same responses: per block one r2c transform per loudspeaker, the
// spectra multiplied and summed per ear, two c2r transforms. Counters: per
// block time in microseconds and the share of real time. Compare with
// bench_process's hop (512 samples at 48 kHz) run in the same session.
#include "sfm_binaural.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <vector>

#if ORVO_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr float kFs = 48000.0f;
constexpr int kBlock = 512;
constexpr int kChannels = 6; // L R C LFE Ls Rs
constexpr int kLfe = 3;
const float kAzimuth[kChannels] = {30.0f, -30.0f, 0.0f, 0.0f, 110.0f, -110.0f};
constexpr int kBlocks = 64; // input cycled through

std::vector<float> noise(size_t n, unsigned seed)
{
    std::vector<float> x(n);
    unsigned s = seed;
    for (auto& v : x) {
        s = s * 1664525u + 1013904223u;
        v = (static_cast<float>(s >> 8) / 16777216.0f - 0.5f) * 0.2f;
    }
    return x;
}

struct Set {
    Set() { sfm_hrtf_prepare(&hrtf, sfm_hrir_builtin(), kFs); }
    ~Set() { sfm_hrtf_free(&hrtf); }
    sfm_hrtf hrtf{};
};

void report(benchmark::State& state, Clock::time_point t0)
{
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() /
                      static_cast<double>(state.iterations());
    state.counters["block_us"] = ns * 1e-3;
    state.counters["realtime_share_%"] = 100.0 * ns * 1e-9 / (kBlock / kFs);
}

void renderer(benchmark::State& state)
{
    const bool turning = state.range(0) != 0;
    Set set;
    sfm_binaural b{};
    sfm_binaural_create(&b, kFs, &set.hrtf);
    sfm_binaural_set_layout(&b, kChannels, kAzimuth, kLfe);
    sfm_binaural_set_params(&b, 0.0f, 1.0f, 1);
    std::vector<std::vector<float>> in;
    for (int c = 0; c < kChannels; ++c)
        in.push_back(noise(static_cast<size_t>(kBlock) * kBlocks, 1u + c));
    std::vector<float> left(kBlock), right(kBlock);
    int blk = 0;
    float yaw = 0.0f;
    const auto t0 = Clock::now();
    for (auto _ : state) {
        if (turning) {
            yaw = yaw >= 180.0f ? -180.0f : yaw + 1.0f;
            sfm_binaural_set_params(&b, yaw, 1.0f, 1);
        }
        const float* ch[kChannels];
        for (int c = 0; c < kChannels; ++c)
            ch[c] = in[c].data() + static_cast<size_t>(blk) * kBlock;
        sfm_binaural_process(&b, ch, left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
        blk = (blk + 1) % kBlocks;
    }
    report(state, t0);
    state.counters["partition"] = sfm_binaural_latency(&b);
    state.counters["taps"] = sfm_binaural_capacity(&b);
    sfm_binaural_free(&b);
}
BENCHMARK(renderer)->ArgName("turning")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#if ORVO_BENCH_FFTW
// The renderer's own responses (an impulse per loudspeaker through it, the
// head still), so both convolve the same filters.
std::vector<std::vector<float>> rendered_responses(const sfm_hrtf* hrtf, int* length)
{
    sfm_binaural b{};
    sfm_binaural_create(&b, kFs, hrtf);
    sfm_binaural_set_layout(&b, kChannels, kAzimuth, kLfe);
    const int lat = sfm_binaural_latency(&b), taps = sfm_binaural_capacity(&b);
    const int n = lat + taps;
    std::vector<std::vector<float>> h; // speaker-major, left then right
    for (int s = 0; s < kChannels; ++s) {
        if (s == kLfe)
            continue;
        sfm_binaural_reset(&b);
        std::vector<std::vector<float>> in(kChannels, std::vector<float>(n, 0.0f));
        in[s][0] = 1.0f;
        std::vector<float> l(n), r(n);
        const float* ch[kChannels];
        for (int c = 0; c < kChannels; ++c)
            ch[c] = in[c].data();
        sfm_binaural_process(&b, ch, l.data(), r.data(), n);
        h.emplace_back(l.begin() + lat, l.end());
        h.emplace_back(r.begin() + lat, r.end());
    }
    sfm_binaural_free(&b);
    *length = taps;
    return h;
}

void fftw_overlap_add(benchmark::State& state)
{
    Set set;
    int taps = 0;
    const auto h = rendered_responses(&set.hrtf, &taps);
    const int speakers = static_cast<int>(h.size()) / 2;
    int n = 1;
    while (n < kBlock + taps - 1)
        n *= 2;
    const int nb = n / 2 + 1;
    float* time = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* spectrum = fftwf_alloc_complex(static_cast<size_t>(nb));
    fftwf_plan fwd = fftwf_plan_dft_r2c_1d(n, time, spectrum, FFTW_MEASURE);
    fftwf_plan inv = fftwf_plan_dft_c2r_1d(n, spectrum, time, FFTW_MEASURE);
    // The responses' spectra, scaled by 1/n for FFTW's unnormalised inverse.
    std::vector<std::vector<std::complex<float>>> H;
    for (const auto& r : h) {
        std::fill(time, time + n, 0.0f);
        std::copy(r.begin(), r.end(), time);
        fftwf_execute(fwd);
        H.emplace_back(nb);
        for (int k = 0; k < nb; ++k)
            H.back()[k] = std::complex<float>(spectrum[k][0], spectrum[k][1]) / static_cast<float>(n);
    }
    std::vector<std::vector<std::complex<float>>> X(speakers, std::vector<std::complex<float>>(nb));
    std::vector<std::complex<float>> Y(nb);
    std::vector<float> tail[2] = {std::vector<float>(n, 0.0f), std::vector<float>(n, 0.0f)};
    std::vector<std::vector<float>> in;
    for (int c = 0; c < speakers; ++c)
        in.push_back(noise(static_cast<size_t>(kBlock) * kBlocks, 1u + c));
    std::vector<float> out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
    int blk = 0;
    const auto t0 = Clock::now();
    for (auto _ : state) {
        for (int s = 0; s < speakers; ++s) {
            std::copy_n(in[s].data() + static_cast<size_t>(blk) * kBlock, kBlock, time);
            std::fill(time + kBlock, time + n, 0.0f);
            fftwf_execute(fwd);
            std::copy_n(reinterpret_cast<std::complex<float>*>(spectrum), nb, X[s].data());
        }
        for (int ear = 0; ear < 2; ++ear) {
            std::fill(Y.begin(), Y.end(), std::complex<float>());
            for (int s = 0; s < speakers; ++s) {
                const std::complex<float>* x = X[s].data();
                const std::complex<float>* g = H[2 * s + ear].data();
                for (int k = 0; k < nb; ++k)
                    Y[k] += x[k] * g[k];
            }
            std::copy(Y.begin(), Y.end(), reinterpret_cast<std::complex<float>*>(spectrum));
            fftwf_execute(inv);
            float* t = tail[ear].data();
            for (int i = 0; i < n; ++i)
                t[i] += time[i];
            std::copy_n(t, kBlock, out[ear].data());
            std::copy(t + kBlock, t + n, t);
            std::fill(t + n - kBlock, t + n, 0.0f);
        }
        benchmark::DoNotOptimize(out[0].data());
        blk = (blk + 1) % kBlocks;
    }
    report(state, t0);
    state.counters["fft_size"] = n;
    fftwf_destroy_plan(fwd);
    fftwf_destroy_plan(inv);
    fftwf_free(time);
    fftwf_free(spectrum);
}
BENCHMARK(fftw_overlap_add)->Unit(benchmark::kMicrosecond);
#endif

} // namespace
