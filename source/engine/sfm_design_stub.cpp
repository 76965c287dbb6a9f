// Temporary stand-ins for the decode design until it is linked in: a fixed
// five-channel layout (L, R, C, Ls, Rs + LFE) so the engine can be set up.
#include "sfm_internal.h"

__attribute__((weak)) int sfm_design(sfm_state* st, const sfm_params* params)
{
    if (params->format < 0 || params->format >= 10) {
        st->fatal = 1;
        return -1;
    }
    static const int32_t types[6] = {SFM_TYPE_FRONT, SFM_TYPE_FRONT, SFM_TYPE_CENTRE,
                                     SFM_TYPE_SURROUND, SFM_TYPE_SURROUND, SFM_TYPE_LFE};
    st->numDecoded = 5;
    st->numEngineOutputs = 6;
    for (int c = 0; c < 6; ++c)
        st->channelType[c] = types[c];
    return 0;
}

__attribute__((weak)) void sfm_equaliser_build(sfm_state*, sfm_buffers*) {}
