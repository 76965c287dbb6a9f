// The engine's real FFT, forward and inverse, at the STFT length of 44.1/48 kHz
// (1024) and the diffuser's block length (4096); FFTW's single-precision
// r2c/c2r at the same lengths when it is available.
#include "sfm_internal.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#if ORVO_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

std::vector<float> signal(int n)
{
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[i] = std::sin(0.1f * i) + 0.25f * std::cos(0.37f * i);
    return x;
}

void engine_forward(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    sfm_fft fft{};
    sfm_fft_init(&fft, n);
    auto x = signal(n);
    std::vector<float> re(n / 2 + 1), im(n / 2 + 1);
    for (auto _ : state) {
        sfm_fft_forward(&fft, x.data(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    sfm_fft_free(&fft);
}

void engine_inverse(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    sfm_fft fft{};
    sfm_fft_init(&fft, n);
    auto x = signal(n);
    std::vector<float> re(n / 2 + 1), im(n / 2 + 1), y(n);
    sfm_fft_forward(&fft, x.data(), re.data(), im.data());
    for (auto _ : state) {
        sfm_fft_inverse(&fft, re.data(), im.data(), y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    sfm_fft_free(&fft);
}

BENCHMARK(engine_forward)->Arg(1024)->Arg(4096);
BENCHMARK(engine_inverse)->Arg(1024)->Arg(4096);

#if ORVO_BENCH_FFTW
void fftw_forward(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    float* x = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* X = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwf_plan p = fftwf_plan_dft_r2c_1d(n, x, X, FFTW_MEASURE);
    auto s = signal(n);
    std::copy(s.begin(), s.end(), x);
    for (auto _ : state) {
        fftwf_execute(p);
        benchmark::DoNotOptimize(X);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(p);
    fftwf_free(x);
    fftwf_free(X);
}

void fftw_inverse(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    float* x = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* X = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwf_plan p = fftwf_plan_dft_c2r_1d(n, X, x, FFTW_MEASURE | FFTW_PRESERVE_INPUT);
    // Planned to preserve its input, like the engine's inverse.
    float* bins = reinterpret_cast<float*>(X);
    for (int i = 0; i < n + 2; ++i)
        bins[i] = 1.0f / static_cast<float>(1 + i);
    bins[1] = bins[n + 1] = 0.0f;
    for (auto _ : state) {
        fftwf_execute(p);
        benchmark::DoNotOptimize(x);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(p);
    fftwf_free(x);
    fftwf_free(X);
}

BENCHMARK(fftw_forward)->Arg(1024)->Arg(4096);
BENCHMARK(fftw_inverse)->Arg(1024)->Arg(4096);
#endif

} // namespace
