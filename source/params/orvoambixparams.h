// "Orvotool AmbiX": parameter identifiers.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

enum OrvoAmbixParamId : ParamID
{
	kAmbDirection = 1, // degrees, -180..180, as the decoder's Direction
	kAmbBypass,              // the host's bypass: input channels 1 to 4 straight to the outputs, delayed by the latency

	kAmbNumParams = kAmbBypass,
};

} // namespace Vst
} // namespace Steinberg
