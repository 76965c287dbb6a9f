// Placeholder renderer: amplitude panning, no responses. Replaced by the
// partitioned convolution.
#include "sfm_binaural.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
const float kRingAz[2] = {-90.0f, 90.0f};
const float kImpulse[2] = {1.0f, 0.0f};
const sfm_hrir_ring kPlaceholder = {48000.0f, 1, 2, kRingAz, kImpulse, kImpulse + 1, "placeholder"};
} // namespace

const sfm_hrir_ring* sfm_hrir_builtin() { return &kPlaceholder; }
bool sfm_hrir_sofa_supported() { return false; }

int sfm_hrir_read_sofa(sfm_hrir_file* file, const char* path, char* message, int messageSize)
{
    std::memset(file, 0, sizeof(*file));
    if (message && messageSize > 0)
        std::snprintf(message, messageSize, "cannot read \"%s\"", path ? path : "");
    return SFM_ERR_SETUP;
}

void sfm_hrir_file_free(sfm_hrir_file* file) { std::memset(file, 0, sizeof(*file)); }

int sfm_hrtf_prepare(sfm_hrtf* hrtf, const sfm_hrir_ring* ring, float sampleRate)
{
    std::memset(hrtf, 0, sizeof(*hrtf));
    hrtf->sampleRate = sampleRate;
    std::snprintf(hrtf->name, sizeof(hrtf->name), "%s", ring->name);
    return 0;
}

void sfm_hrtf_free(sfm_hrtf* hrtf) { std::memset(hrtf, 0, sizeof(*hrtf)); }

int sfm_binaural_create(sfm_binaural* b, float sampleRate, const sfm_hrtf* hrtf)
{
    std::memset(b, 0, sizeof(*b));
    b->sampleRate = sampleRate;
    b->hrtf = hrtf;
    b->gain = 1.0f;
    b->lfeIndex = -1;
    return 0;
}

void sfm_binaural_free(sfm_binaural* b) { std::memset(b, 0, sizeof(*b)); }

int sfm_binaural_set_layout(sfm_binaural* b, int count, const float* azimuthDeg, int lfeIndex)
{
    if (count < 1 || count > SFM_BINAURAL_MAX_SPEAKERS)
        return SFM_ERR_SETUP;
    b->numSpeakers = count;
    b->lfeIndex = lfeIndex;
    for (int i = 0; i < count; ++i)
        b->azimuth[i] = azimuthDeg[i];
    return 0;
}

void sfm_binaural_use_hrtf(sfm_binaural* b, const sfm_hrtf* hrtf) { b->hrtf = hrtf; }
const sfm_hrtf* sfm_binaural_hrtf_in_use(const sfm_binaural* b) { return b->hrtf; }

void sfm_binaural_set_params(sfm_binaural* b, float yawDeg, float gain, int lfeOn)
{
    b->yaw = yawDeg;
    b->gain = gain;
    b->lfeOn = lfeOn;
}

void sfm_binaural_process(sfm_binaural* b, const float* const* speakers, float* left, float* right, int n)
{
    std::memset(left, 0, sizeof(float) * n);
    std::memset(right, 0, sizeof(float) * n);
    for (int s = 0; s < b->numSpeakers; ++s) {
        const bool lfe = s == b->lfeIndex;
        if (lfe && !b->lfeOn)
            continue;
        const float a = lfe ? 0.0f : (b->azimuth[s] - b->yaw) * static_cast<float>(SFM_PI) / 180.0f;
        const float gl = b->gain * std::sqrt(0.5f * (1.0f + std::sin(a)));
        const float gr = b->gain * std::sqrt(0.5f * (1.0f - std::sin(a)));
        for (int i = 0; i < n; ++i) {
            left[i] += gl * speakers[s][i];
            right[i] += gr * speakers[s][i];
        }
    }
}

int sfm_binaural_latency(const sfm_binaural*) { return 0; }
void sfm_binaural_reset(sfm_binaural*) {}
