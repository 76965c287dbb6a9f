// Parameter-to-engine mapping shared by the processor (initialise, state,
// every block with changes) and the controller (display response).
#pragma once

#include "sfm_api.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

// Reads the plain values of parameters 1 to 22 from 'parameters' and writes
// the matching fields of 'engineParams', solving the width coefficients on
// 'engineState'. Fields that no parameter reaches keep their values. Does not
// call sfm_set_params: the caller decides when the engine takes the record.
void applyParameters (ParameterContainer& parameters, sfm_state* engineState,
                      sfm_params* engineParams);

// The Rear Width (degrees) that the engine derives from a Width (degrees)
// while the Rear Width control is off: the inverse of the rear mapping in
// applyParameters, so switching the control off snaps to what is heard.
double rearWidthForWidth (const sfm_params& engineParams, double widthDegrees);

} // namespace Vst
} // namespace Steinberg
