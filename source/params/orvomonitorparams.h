// "Orvotool Monitor": parameter identifiers, the messages between its
// processor and controller, and the loudspeaker directions of each input
// arrangement.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"
#include "public.sdk/source/vst/vstparameters.h"

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

// Builds the monitor's parameters (Head Rotation, Output Gain, LFE, Bypass)
// in identifier order into 'container'. Processor and controller each build
// their own set. Returns false when an object could not be allocated.
bool createMonitorParameters (ParameterContainer& container);

// Degrees brought into -180..180 the way the Head Rotation control wraps
// (a value a host or a saved state holds beyond a half turn).
double wrapHeadRotation (double degrees);

// The input arrangements the monitor renders (stereo, L/C/R, quad, 5.0, 5.1).
bool isMonitorInput (SpeakerArrangement arrangement);

// The loudspeakers of an input arrangement, in the SDK's channel order:
// fills up to 'max' azimuths (degrees, left positive; the LFE's entry is 0)
// and the LFE's channel index (-1 for none). Returns the channel count, or 0
// for an arrangement the monitor does not render.
int32 monitorSpeakers (SpeakerArrangement arrangement, float* azimuthDeg, int32 max,
                       int32* lfeIndex);

} // namespace Vst
} // namespace Steinberg
