// SOFA files (AES69) through libmysofa: the horizontal ring of a user's set.
//
// The file is loaded and checked by libmysofa, then sampled at 5 degree steps
// on the horizontal plane with mysofa_getfilter_float, which interpolates
// between the nearest measurements. The responses stay at the file's rate
// and as measured (no loudness normalisation, no minimum-phase trimming:
// sfm_hrtf_prepare does the level and the alignment for every set alike);
// the delays libmysofa returns are the file's Data.Delay, which AES69 gives
// in samples, and go into the ring's delays.
//
// libmysofa trusts its input more than a plug-in can, so a file is first
// screened here: a readable regular file of sane size that starts with the
// HDF5 signature (a SOFA file is netCDF-4, i.e. HDF5), then its dimensions.
#include "sfm_binaural.h"

#include <mysofa.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long kMaxFileBytes = 256L << 20;
constexpr int kRingStepDeg = 5;
constexpr int kRingDirections = 360 / kRingStepDeg;
// The ring must come from measurements near the horizontal plane.
constexpr float kMaxElevationDeg = 10.0f;

int fail(sfm_hrir_file* file, char* message, int size, const char* text, const char* detail = "")
{
    sfm_hrir_file_free(file);
    if (message && size > 0)
        std::snprintf(message, static_cast<size_t>(size), "%s%s", text, detail);
    return SFM_ERR_SETUP;
}

// A regular file of 1 byte to kMaxFileBytes starting with the HDF5 signature
// (at offset 0, or 512, 1024, 2048 where a user block comes first).
const char* screen(const char* path)
{
    struct stat st {};
    if (stat(path, &st) != 0)
        return "the file cannot be found";
    if (!S_ISREG(st.st_mode))
        return "not a file";
    if (st.st_size < 8 || st.st_size > kMaxFileBytes)
        return "not a SOFA file (size)";
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return "the file cannot be read";
    static const unsigned char kSignature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    bool found = false;
    for (long offset : {0L, 512L, 1024L, 2048L}) {
        unsigned char head[8] = {};
        if (offset + 8 > st.st_size || std::fseek(f, offset, SEEK_SET) != 0 || std::fread(head, 1, 8, f) != 8)
            break;
        if (std::memcmp(head, kSignature, 8) == 0) {
            found = true;
            break;
        }
    }
    std::fclose(f);
    return found ? nullptr : "not a SOFA file";
}

const char* base_name(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Checks a loaded set; nullptr when it is a usable set of two-ear responses.
const char* check_set(MYSOFA_HRTF* h)
{
    if (mysofa_check(h) != MYSOFA_OK)
        return "not a set of head-related impulse responses";
    if (h->R != 2)
        return "not two ears";
    if (h->N < 1 || h->N > SFM_HRIR_MAX_TAPS || h->M < 1)
        return "responses too long or missing";
    if (h->DataSamplingRate.elements < 1)
        return "no sample rate";
    const float rate = h->DataSamplingRate.values[0];
    if (!(rate >= SFM_MIN_SAMPLE_RATE && rate <= 2.0f * SFM_MAX_SAMPLE_RATE))
        return "sample rate out of range";
    if (static_cast<float>(h->N) > 0.1f * rate)
        return "responses longer than 100 ms (room responses?)";
    mysofa_tospherical(h);
    float lowest = 90.0f;
    for (unsigned m = 0; m < h->M; ++m)
        lowest = std::min(lowest, std::fabs(h->SourcePosition.values[3 * m + 1]));
    if (!(lowest <= kMaxElevationDeg))
        return "no measurements near the horizontal plane";
    return nullptr;
}

} // namespace

bool sfm_hrir_sofa_supported() { return true; }

int sfm_hrir_read_sofa(sfm_hrir_file* file, const char* path, char* message, int messageSize)
{
    std::memset(file, 0, sizeof(*file));
    if (!path || !*path)
        return fail(file, message, messageSize, "no file named");
    if (const char* why = screen(path))
        return fail(file, message, messageSize, why);

    int err = 0;
    MYSOFA_HRTF* h = mysofa_load(path, &err);
    if (!h || err != MYSOFA_OK) {
        if (h)
            mysofa_free(h);
        return fail(file, message, messageSize, "not a readable SOFA file");
    }
    if (const char* why = check_set(h)) {
        mysofa_free(h);
        return fail(file, message, messageSize, why);
    }
    const float rate = h->DataSamplingRate.values[0];
    const int n = static_cast<int>(h->N);

    // libmysofa's own lookup over the loaded set (mysofa_close frees it all).
    mysofa_tocartesian(h);
    MYSOFA_EASY* easy = static_cast<MYSOFA_EASY*>(calloc(1, sizeof(MYSOFA_EASY)));
    if (!easy) {
        mysofa_free(h);
        return fail(file, message, messageSize, "out of memory");
    }
    easy->hrtf = h;
    easy->fir = static_cast<float*>(calloc(static_cast<size_t>(n) * 2, sizeof(float)));
    easy->lookup = easy->fir ? mysofa_lookup_init(h) : nullptr;
    easy->neighborhood = easy->lookup ? mysofa_neighborhood_init(h, easy->lookup) : nullptr;
    const size_t floats = kRingDirections * (3 + 2 * static_cast<size_t>(n));
    file->storage = easy->neighborhood ? static_cast<float*>(calloc(floats, sizeof(float))) : nullptr;
    if (!file->storage) {
        mysofa_close(easy);
        return fail(file, message, messageSize, "cannot index the measurements");
    }

    float* az = file->storage;
    float* left = az + kRingDirections;
    float* right = left + static_cast<size_t>(kRingDirections) * n;
    float* delayLeft = right + static_cast<size_t>(kRingDirections) * n;
    float* delayRight = delayLeft + kRingDirections;
    const float radius = 0.5f * (easy->lookup->radius_min + easy->lookup->radius_max);
    bool sane = true;
    for (int j = 0; j < kRingDirections; ++j) {
        const int deg = -180 + kRingStepDeg * (j + 1); // -175 ... 180
        az[j] = static_cast<float>(deg);
        const double a = deg * SFM_PI / 180.0;
        float dl = 0.0f, dr = 0.0f;
        mysofa_getfilter_float(easy, static_cast<float>(radius * std::cos(a)),
                               static_cast<float>(radius * std::sin(a)), 0.0f, left + static_cast<size_t>(j) * n,
                               right + static_cast<size_t>(j) * n, &dl, &dr);
        delayLeft[j] = dl;
        delayRight[j] = dr;
        sane = sane && std::isfinite(dl) && std::isfinite(dr) && dl >= 0.0f && dr >= 0.0f && dl <= 0.1f * rate
               && dr <= 0.1f * rate;
    }
    mysofa_close(easy);
    for (size_t i = 0; sane && i < 2 * static_cast<size_t>(kRingDirections) * n; ++i)
        sane = std::isfinite(left[i]);
    if (!sane)
        return fail(file, message, messageSize, "responses or delays out of range");

    std::snprintf(file->name, sizeof(file->name), "%s", base_name(path));
    file->ring = {rate, n, kRingDirections, az, left, right, delayLeft, delayRight, file->name};
    if (message && messageSize > 0)
        message[0] = '\0';
    return 0;
}
