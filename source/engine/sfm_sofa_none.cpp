// Builds without libmysofa (the Windows modules): SOFA files are not read,
// the built-in set is the only one.
#include "sfm_binaural.h"

#include <cstdio>
#include <cstring>

bool sfm_hrir_sofa_supported() { return false; }

int sfm_hrir_read_sofa(sfm_hrir_file* file, const char* path, char* message, int messageSize)
{
    (void)path;
    std::memset(file, 0, sizeof(*file));
    if (message && messageSize > 0)
        std::snprintf(message, static_cast<size_t>(messageSize), "SOFA files are not supported in this build");
    return SFM_ERR_SETUP;
}
