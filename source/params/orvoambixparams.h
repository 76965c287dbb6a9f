// "Orvotool AmbiX": parameter identifiers.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

enum OrvoAmbixParamId : ParamID
{
	kAmbDirection = 1, // degrees, -180..180, as the decoder's Direction
	kAmbBypass,              // the host's bypass: input channels 1 to 4 straight to the outputs, delayed by the latency

	kAmbNumParams = kAmbBypass,
};

// Builds Direction and the bypass switch in identifier order into
// 'container' (processor and controller each build their own). Returns false
// when an object could not be allocated.
bool createAmbixParameters (ParameterContainer& container);

} // namespace Vst
} // namespace Steinberg
