#include "params/orvoparams.h"

#include "params/kv_vstparam.h"

#include <limits>
#include <new>

namespace Steinberg {
namespace Vst {

//------------------------------------------------------------------------
const OrvoUnitDesc kOrvoUnits[kNumUnits] = {
    {kRootUnitId, STR16 ("Root Unit"), kNoParentUnitId, kNoProgramListId},
    {kUnitAlgorithm, STR16 ("Algorithm Parameters"), kRootUnitId, kNoProgramListId},
    {kUnitMuteGain, STR16 ("Channel Mute & Gains"), kRootUnitId, kNoProgramListId},
    {kUnitVuMeters, STR16 ("Vu Meters"), kRootUnitId, kNoProgramListId},
};

//------------------------------------------------------------------------
namespace {

constexpr double kThird = 1. / 3.;

constexpr int32 A = ParameterInfo::kCanAutomate;
constexpr int32 R = ParameterInfo::kIsReadOnly;
constexpr int32 W = ParameterInfo::kIsWrapAround;
constexpr int32 L = ParameterInfo::kIsList;

// Host texts, by the resolution a user sets each control to.
constexpr kv_ValueText kWholeUnits {kv_ValueText::kNumber, 0, 1., false};   // "80" deg, "3500" Hz
constexpr kv_ValueText kHundredths {kv_ValueText::kNumber, 2, 1., false};   // "1.00", "0.33"
constexpr kv_ValueText kTenthDb {kv_ValueText::kNumber, 1, 1., false};      // "-12.5" dB, "-∞"
constexpr kv_ValueText kTenthDbSigned {kv_ValueText::kNumber, 1, 1., true}; // "+0.0" dB
constexpr kv_ValueText kSecondsAsMs {kv_ValueText::kNumber, 1, 1000., false}; // 0.02 s: "20.0" ms
constexpr kv_ValueText kLevelDbfs {kv_ValueText::kLevelDb, 1, 1., false, " dBFS"}; // peak 0.5: "-6.0 dBFS"

const TChar* const kOutFormatEntries[] = {
    STR16 ("Stereo"), STR16 ("3 Channels"), STR16 ("4 Channels"), STR16 ("5 Channels")};
// The same layouts named within the 8 characters of a VST 2 display; the
// five-channel decode leaves the LFE channel silent.
const char* const kOutFormatShortEntries[] = {"Stereo", "L C R", "Quad", "5.0"};

// Adds p with its unit and value text; false when the allocation failed.
bool add (ParameterContainer& container, kv_VSTParam* p, UnitID unit,
          const kv_ValueText& text = kv_ValueText {})
{
	if (!p)
		return false;
	p->setUnitID (unit);
	p->setValueText (text);
	container.addParameter (p);
	return true;
}

bool addAll (ParameterContainer& c)
{
	const double minusInf = -std::numeric_limits<double>::infinity ();
	const auto* none = STR16 ("");
	bool ok = true;

	auto toggle = [&] (ParamID id, const TChar* title, int32 flags, bool on, UnitID unit) {
		ok = ok && add (c, new (std::nothrow) kv_VSTParamBool (title, id, flags, on, title), unit);
	};
	auto linear = [&] (ParamID id, const TChar* title, const TChar* shortTitle, int32 flags,
	                   const TChar* units, double lo, double hi, double def, UnitID unit,
	                   const kv_ValueText& text) {
		ok = ok && add (c,
		                new (std::nothrow)
		                    kv_VSTParam (title, id, flags, shortTitle, units, lo, hi, def),
		                unit, text);
	};
	auto angle = [&] (ParamID id, const TChar* title, int32 flags, double lo, double hi,
	                  double def) {
		ok = ok && add (c,
		                new (std::nothrow) kv_VSTParamAngle (title, id, flags, title,
		                                                     STR16 ("deg"), lo, hi, def),
		                kUnitAlgorithm, kWholeUnits);
	};
	auto gain = [&] (ParamID id, const TChar* title) {
		ok = ok && add (c,
		                new (std::nothrow) kv_VSTParamWithEndPoints (
		                    title, id, A, title, STR16 ("dB"), -25., 0., 0., minusInf, 0.),
		                kUnitMuteGain, kTenthDb);
	};

	toggle (kParamBeamshaping, STR16 ("Beamshaping"), A, true, kUnitAlgorithm);
	toggle (kParamDiffuser, STR16 ("Diffuser On/Off"), A, false, kUnitAlgorithm);
	toggle (kParamRearWidthOn, STR16 ("Rear Width On/Off"), A, false, kUnitAlgorithm);
	toggle (kParamRearDelayOn, STR16 ("Rear Delay On/Off"), A, false, kUnitAlgorithm);
	toggle (kParamRearLowpassOn, STR16 ("Rear Lowpass On/Off"), A, false, kUnitAlgorithm);
	auto* outFormat = ok ? new (std::nothrow) kv_VSTParamIndexed (STR16 ("Output Format"),
	                                                              kParamOutFormat, L | A,
	                                                              STR16 ("Out Format"), none,
	                                                              kOutFormatEntries, 4, 3)
	                     : nullptr;
	if (outFormat)
		outFormat->setShortEntryTexts (kOutFormatShortEntries);
	ok = ok && add (c, outFormat, kUnitAlgorithm);
	linear (kParamFocus, STR16 ("Focus"), STR16 ("Focus"), A, none, 0., 1.2, 1., kUnitAlgorithm,
	        kHundredths);
	angle (kParamWidth, STR16 ("Width"), A, 30., 90., 80.);
	angle (kParamRearWidth, STR16 ("Rear Width"), A, 90., 180., 150.);
	// The value is seconds (the state chunk, the editor and the engine
	// mapping all hold seconds), the whole travel covers the 50 ms the engine
	// keeps, and hosts read it in the milliseconds of its units text.
	linear (kParamRearDelay, STR16 ("Rear Delay"), STR16 ("Rear Delay"), A, STR16 ("ms"), 0., 0.05,
	        0.02, kUnitAlgorithm, kSecondsAsMs);
	linear (kParamRearLowpass, STR16 ("Rear Lowpass"), STR16 ("Rear Lowpass"), A, STR16 ("Hz"),
	        1000., 20000., 3500., kUnitAlgorithm, kWholeUnits);
	linear (kParamDiffuseGain, STR16 ("Diffuse Gain"), STR16 ("Diffuse Gain"), A, STR16 ("dB"),
	        -10., 10., 0., kUnitAlgorithm, kTenthDbSigned);
	angle (kParamDirection, STR16 ("Direction"), A | W, -180., 180., 0.);
	linear (kParamMicResponseLR, STR16 ("Microphone Response L/R"), STR16 ("Mic Response L/R"), A,
	        none, 0., 1., kThird, kUnitAlgorithm, kHundredths);
	linear (kParamMicResponseC, STR16 ("Microphone Response C"), STR16 ("Mic Response C"), A, none,
	        0., 1., kThird, kUnitAlgorithm, kHundredths);
	linear (kParamMicResponseLsRs, STR16 ("Microphone Response Ls/Rs"),
	        STR16 ("Mic Response Ls/Rs"), A, none, 0., 1., kThird, kUnitAlgorithm, kHundredths);
	toggle (kParamMuteLR, STR16 ("Mute L/R"), A, false, kUnitMuteGain);
	toggle (kParamMuteC, STR16 ("Mute C"), A, false, kUnitMuteGain);
	toggle (kParamMuteLsRs, STR16 ("Mute Ls/Rs"), A, false, kUnitMuteGain);
	gain (kParamGainLR, STR16 ("Gain L/R"));
	gain (kParamGainC, STR16 ("Gain C"));
	gain (kParamGainLsRs, STR16 ("Gain Ls/Rs"));

	struct Meter
	{
		ParamID id;
		const TChar* title;
		const TChar* shortTitle;
	};
	static const Meter meters[] = {
	    {kParamVuInFront, STR16 ("Vu Front Cardioid"), STR16 ("Vu In FC")},
	    {kParamVuInEight, STR16 ("Vu Figure of Eight"), STR16 ("Vu In 8")},
	    {kParamVuInRear, STR16 ("Vu Rear Cardioid"), STR16 ("Vu In RC")},
	    {kParamVuOutL, STR16 ("Vu Out Left"), STR16 ("Vu Out L")},
	    {kParamVuOutR, STR16 ("Vu Out Right"), STR16 ("Vu Out R")},
	    {kParamVuOutC, STR16 ("Vu Out Center"), STR16 ("Vu Out C")},
	    {kParamVuOutLs, STR16 ("Vu Out Left Surround"), STR16 ("Vu Out Ls")},
	    {kParamVuOutRs, STR16 ("Vu Out Right Surround"), STR16 ("Vu Out Rs")},
	};
	// Meters are linear peaks 0..1; hosts show them as peak levels in dBFS.
	for (const Meter& m : meters)
		linear (m.id, m.title, m.shortTitle, R, none, 0., 1., 0., kUnitVuMeters, kLevelDbfs);

	ok = ok && add (c,
	                new (std::nothrow) kv_VSTParamBool (STR16 ("Bypass"), kParamBypass,
	                                                    A | ParameterInfo::kIsBypass, false,
	                                                    STR16 ("Bypass")),
	                kRootUnitId);
	return ok;
}

} // namespace

//------------------------------------------------------------------------
// Columns: id 0 (none), Beamshaping, Diffuser, Rear Width control, Rear Delay
// control, Rear Lowpass control, Output Format, Focus, Width (deg), Rear Width
// (deg), Rear Delay (s), Rear Lowpass (Hz), Diffuse Gain (dB), Direction (deg),
// Mic Response L/R, C, Ls/Rs, Mutes L/R, C, Ls/Rs, Gains L/R, C, Ls/Rs (dB).
// Fewer loudspeakers get a narrower front pair and a wider rear pair; every
// row resets the mutes and gains.
const double formatPresetTable[kNumFormatPresets][kFormatPresetColumns] = {
    // Stereo
    {0., 1., 0., 0., 0., 0., 0., 1., 50., 180., 0.02, 3500., 0., 0., kThird, 0.5, 0.5,
     0., 0., 0., 0., 0., 0.},
    // 3 Channels
    {0., 1., 0., 0., 0., 0., 1., 1., 65., 180., 0.02, 3500., 0., 0., kThird, kThird, 0.5,
     0., 0., 0., 0., 0., 0.},
    // 4 Channels
    {0., 1., 0., 0., 0., 0., 2., 1., 50., 140., 0.02, 3500., 0., 0., kThird, 0.5, kThird,
     0., 0., 0., 0., 0., 0.},
    // 5 Channels (the creation defaults)
    {0., 1., 0., 0., 0., 0., 3., 1., 80., 150., 0.02, 3500., 0., 0., kThird, kThird, kThird,
     0., 0., 0., 0., 0., 0.},
};

//------------------------------------------------------------------------
bool createParameters (ParameterContainer& container)
{
	try
	{
		return addAll (container);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
}

} // namespace Vst
} // namespace Steinberg
