// "Orvotool Monitor": parameter identifiers, the messages between its
// processor and controller, and the loudspeaker directions of each input
// arrangement.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

enum OrvoMonitorParamId : ParamID
{
	kMonHeadRotation = 1, // degrees, -180..180, positive turns the head to the left; automatable
	kMonOutputGain,       // dB, -24..12
	kMonLfeOn,            // on/off
	kMonBypass,           // the host's bypass: L/R of the input straight to the ears

	kMonNumParams = kMonBypass,

	// Not a parameter: the identifier the controller passes to its views'
	// parameterChanged when the response set's name or notice, or the
	// loudspeakers, changed (the views read them again through kv_IMonitor).
	kMonStatusChanged = 100,
};

// Messages (IConnectionPoint) between the monitor's processor and controller.
// Controller -> processor: "hrtfPath", attribute "path" (UTF-8 binary; empty
// for the built-in set).
// Processor -> controller: "hrtfStatus", attributes "name" (UTF-8 binary, the
// set in use), "notice" (UTF-8 binary, empty unless a chosen file could not
// be used) and "path" (the path as saved in the state).
// Processor -> controller: "layout", attributes "count" (int), "lfe" (int,
// -1 for none) and "azimuths" (binary, count floats, degrees).
constexpr const char* kMonMsgHrtfPath = "hrtfPath";
constexpr const char* kMonMsgHrtfStatus = "hrtfStatus";
constexpr const char* kMonMsgLayout = "layout";

// The longest HRTF path the state keeps, in bytes of UTF-8.
constexpr int32 kMonMaxPathBytes = 4096;

} // namespace Vst
} // namespace Steinberg
