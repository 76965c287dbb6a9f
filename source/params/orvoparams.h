// The plug-in's parameter set: identifiers, the unit tree that groups them for
// the host, the routine that builds all 30 parameter objects, and the plain
// values loaded by the output-format presets.
//
// Processor and controller each build their own separate set with
// createParameters; container index i holds identifier i + 1.
#pragma once

#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vsttypes.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

//------------------------------------------------------------------------
// Parameter identifiers. 1 to 22 are the user's settings (saved in the state
// chunk, applied to the engine); 23 to 30 are read-only meters (linear peak
// levels 0..1) written by the processor.
enum OrvoParamId : ParamID
{
	kParamBeamshaping = 1,   // on/off
	kParamDiffuser,          // on/off
	kParamRearWidthOn,       // on/off: Rear Width set by hand instead of following Width
	kParamRearDelayOn,       // on/off
	kParamRearLowpassOn,     // on/off
	kParamOutFormat,         // list: 0 Stereo, 1 3 Channels, 2 4 Channels, 3 5 Channels
	kParamFocus,             // 0..1.2
	kParamWidth,             // degrees, 30..90
	kParamRearWidth,         // degrees, 90..180
	kParamRearDelay,         // seconds, 0..0.05 (hosts read milliseconds)
	kParamRearLowpass,       // Hz, 1000..20000
	kParamDiffuseGain,       // dB, -10..10
	kParamDirection,         // degrees, -180..180, wraps around
	kParamMicResponseLR,     // 0..1
	kParamMicResponseC,      // 0..1
	kParamMicResponseLsRs,   // 0..1
	kParamMuteLR,            // on/off
	kParamMuteC,             // on/off
	kParamMuteLsRs,          // on/off
	kParamGainLR,            // dB, -25..0, bottom = minus infinity
	kParamGainC,             // dB, -25..0, bottom = minus infinity
	kParamGainLsRs,          // dB, -25..0, bottom = minus infinity
	kParamVuInFront,         // meter: front cardioid capsule
	kParamVuInEight,         // meter: figure-of-eight capsule
	kParamVuInRear,          // meter: rear cardioid capsule
	kParamVuOutL,            // meter: output left
	kParamVuOutR,            // meter: output right
	kParamVuOutC,            // meter: output centre
	kParamVuOutLs,           // meter: output left surround
	kParamVuOutRs,           // meter: output right surround (30)

	kNumUserParams = kParamGainLsRs,   // 22
	kNumParams = kParamVuOutRs,        // 30: the settings and the meters

	// The host's bypass switch. Not a setting of the decode: hosts keep it
	// themselves, so it is never saved in the state chunk.
	kParamBypass = kNumParams + 1,     // 31
	kNumHostParams = kParamBypass,
};

//------------------------------------------------------------------------
// Units (kRootUnitId = 0 is the root).
enum OrvoUnitId : UnitID
{
	kUnitAlgorithm = 1,
	kUnitMuteGain = 2,
	kUnitVuMeters = 3,
};

struct OrvoUnitDesc
{
	UnitID id;
	const TChar* name;
	UnitID parentId;
	ProgramListID programListId;
};

constexpr int32 kNumUnits = 4;
// Root first, then the three groups; the controller adds them in this order.
extern const OrvoUnitDesc kOrvoUnits[kNumUnits];

//------------------------------------------------------------------------
// Builds the 30 parameters and the bypass switch in identifier order into 'container'. Returns false
// when an object could not be allocated (the container may then hold the
// parameters created before the failure).
bool createParameters (ParameterContainer& container);

//------------------------------------------------------------------------
// Output-format presets: one row per Output Format index, plain values for
// identifiers 0 to 22 (column 0 names no parameter and is 0). Row 3 equals the
// creation defaults.
constexpr int32 kNumFormatPresets = 4;
constexpr int32 kFormatPresetColumns = kNumUserParams + 1;
extern const double formatPresetTable[kNumFormatPresets][kFormatPresetColumns];

//------------------------------------------------------------------------
} // namespace Vst
} // namespace Steinberg
