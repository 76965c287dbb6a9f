// orvo_scene: synthetic double mid-side recordings for the demo and the tests.
//
// A plane wave of signal x from azimuth az and elevation el (radians,
// counter-clockwise positive, 0 = front) reaches the three capsules as
//   front cardioid  FC = 0.5 (1 + cos el cos az) x
//   rear cardioid   RC = 0.5 (1 - cos el cos az) x
//   figure-of-eight F8 = (sqrt(2) / 1.8385) cos el sin az x   (facing left)
// The engine forms S0 = FC + RC = x, S1 = sqrt(2)(FC - RC) = sqrt(2) cos az x and
// S2 = 1.8385 F8 = sqrt(2) sin az x, so its cardioid beams 0.5 S0 + 0.35355 (d . S)
// have unit gain on axis. The figure-of-eight's bass roll-off is modelled as
// the inverse of the engine's 30 low-frequency gains (zero phase).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvo_scene {

constexpr double kPi = 3.14159265358979323846;

struct Capsules {
    std::vector<float> fc, f8, rc;
    explicit Capsules(size_t n = 0) : fc(n, 0.0f), f8(n, 0.0f), rc(n, 0.0f) {}
    size_t size() const { return fc.size(); }
};

// Deterministic white noise (uniform, unit variance) from a 64-bit seed.
class Noise {
public:
    explicit Noise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    float next();

private:
    uint64_t state_;
};

std::vector<float> white_noise(size_t n, uint64_t seed, float rms);
// Noise band-passed (second-order sections, 4th order) between loHz and hiHz.
std::vector<float> band_noise(size_t n, uint64_t seed, float rms, double fs, double loHz, double hiHz);
std::vector<float> sine(size_t n, double fs, double hz, float peak);

// Adds a plane wave of `x` (starting at sample `offset`) to the capsules,
// without the figure-of-eight roll-off (apply it once at the end).
void add_plane_wave(Capsules& c, const std::vector<float>& x, double azRad, double elRad = 0.0,
                    size_t offset = 0);

// A diffuse field: `directions` plane waves of independent noise spread
// evenly over the sphere, total pressure RMS `rms`, band `loHz`..`hiHz`.
void add_diffuse(Capsules& c, uint64_t seed, float rms, double fs, double loHz, double hiHz,
                 int directions = 48);

// The figure-of-eight's low-frequency roll-off: the inverse of the engine's
// low-frequency gains at the engine's bin spacing for sample rate `fs`.
void apply_figure_of_eight_rolloff(std::vector<float>& f8, double fs);

// Engine transform length at a sample rate (twice the power-of-two hop of ~10 ms).
int engine_fft_size(double fs);

// RMS of x[begin, end), and in dBFS (-inf for silence reported as -300).
double rms(const float* x, size_t begin, size_t end);
double rms_db(const float* x, size_t begin, size_t end);

} // namespace orvo_scene
