// The 30 parameters and 4 units as a host sees them through IEditController
// and IUnitInfo, and the output-format preset table against the parameters.
#include "params/kv_vstparam.h"
#include "params/orvoparams.h"

#include "pluginterfaces/base/ustring.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string ascii (const TChar* s)
{
	std::string out;
	for (; *s; ++s)
		out += static_cast<char> (*s);
	return out;
}

// The smallest controller that publishes the parameter set the way the
// plug-in's controller does: units first, then createParameters.
class TableController : public EditControllerEx1
{
public:
	tresult PLUGIN_API initialize (FUnknown* context) override
	{
		const tresult r = EditControllerEx1::initialize (context);
		if (r != kResultOk)
			return r;
		for (const OrvoUnitDesc& u : kOrvoUnits)
			addUnit (new Unit (u.name, u.id, u.parentId, u.programListId));
		return createParameters (parameters) ? kResultOk : kOutOfMemory;
	}
};

class ParamTable : public testing::Test
{
protected:
	void SetUp () override { ASSERT_EQ (controller->initialize (nullptr), kResultOk); }
	void TearDown () override { controller->terminate (); }

	IPtr<TableController> controller = owned (new TableController);
	IEditController* host () { return controller; }
};

constexpr int32 A = ParameterInfo::kCanAutomate;
constexpr int32 R = ParameterInfo::kIsReadOnly;
constexpr int32 W = ParameterInfo::kIsWrapAround;
constexpr int32 L = ParameterInfo::kIsList;

struct Expected
{
	ParamID id;
	const char* title;
	const char* shortTitle;
	const char* units;
	int32 flags;
	int32 stepCount;
	UnitID unit;
	double defaultNormalized; // to 4 decimals
};

const Expected kExpected[] = {
    {1, "Beamshaping", "Beamshaping", "", A, 1, 1, 1.0},
    {2, "Diffuser On/Off", "Diffuser On/Off", "", A, 1, 1, 0.0},
    {3, "Rear Width On/Off", "Rear Width On/Off", "", A, 1, 1, 0.0},
    {4, "Rear Delay On/Off", "Rear Delay On/Off", "", A, 1, 1, 0.0},
    {5, "Rear Lowpass On/Off", "Rear Lowpass On/Off", "", A, 1, 1, 0.0},
    {6, "Output Format", "Out Format", "", L | A, 3, 1, 1.0},
    {7, "Focus", "Focus", "", A, 0, 1, 0.8333},
    {8, "Width", "Width", "deg", A, 0, 1, 0.8333},
    {9, "Rear Width", "Rear Width", "deg", A, 0, 1, 0.6667},
    {10, "Rear Delay", "Rear Delay", "ms", A, 0, 1, 0.4},
    {11, "Rear Lowpass", "Rear Lowpass", "Hz", A, 0, 1, 0.1316},
    {12, "Diffuse Gain", "Diffuse Gain", "dB", A, 0, 1, 0.5},
    {13, "Direction", "Direction", "deg", A | W, 0, 1, 0.5},
    {14, "Microphone Response L/R", "Mic Response L/R", "", A, 0, 1, 0.3333},
    {15, "Microphone Response C", "Mic Response C", "", A, 0, 1, 0.3333},
    {16, "Microphone Response Ls/Rs", "Mic Response Ls/Rs", "", A, 0, 1, 0.3333},
    {17, "Mute L/R", "Mute L/R", "", A, 1, 2, 0.0},
    {18, "Mute C", "Mute C", "", A, 1, 2, 0.0},
    {19, "Mute Ls/Rs", "Mute Ls/Rs", "", A, 1, 2, 0.0},
    {20, "Gain L/R", "Gain L/R", "dB", A, 0, 2, 1.0},
    {21, "Gain C", "Gain C", "dB", A, 0, 2, 1.0},
    {22, "Gain Ls/Rs", "Gain Ls/Rs", "dB", A, 0, 2, 1.0},
    {23, "Vu Front Cardioid", "Vu In FC", "", R, 0, 3, 0.0},
    {24, "Vu Figure of Eight", "Vu In 8", "", R, 0, 3, 0.0},
    {25, "Vu Rear Cardioid", "Vu In RC", "", R, 0, 3, 0.0},
    {26, "Vu Out Left", "Vu Out L", "", R, 0, 3, 0.0},
    {27, "Vu Out Right", "Vu Out R", "", R, 0, 3, 0.0},
    {28, "Vu Out Center", "Vu Out C", "", R, 0, 3, 0.0},
    {29, "Vu Out Left Surround", "Vu Out Ls", "", R, 0, 3, 0.0},
    {30, "Vu Out Right Surround", "Vu Out Rs", "", R, 0, 3, 0.0},
    {31, "Bypass", "Bypass", "", A | ParameterInfo::kIsBypass, 1, 0, 0.0},
};

} // namespace

//------------------------------------------------------------------------
TEST_F (ParamTable, HostSeesThirtyParametersAndTheBypassInIdOrder)
{
	ASSERT_EQ (host ()->getParameterCount (), 31);
	static_assert (sizeof (kExpected) / sizeof (kExpected[0]) == kNumHostParams, "one row per id");
	for (int32 i = 0; i < 31; ++i)
	{
		const Expected& e = kExpected[i];
		SCOPED_TRACE (e.title);
		ParameterInfo info {};
		ASSERT_EQ (host ()->getParameterInfo (i, info), kResultOk);
		EXPECT_EQ (info.id, e.id);
		EXPECT_EQ (ascii (info.title), e.title);
		EXPECT_EQ (ascii (info.shortTitle), e.shortTitle);
		EXPECT_EQ (ascii (info.units), e.units);
		EXPECT_EQ (info.flags, e.flags);
		EXPECT_EQ (info.stepCount, e.stepCount);
		EXPECT_EQ (info.unitId, e.unit);
		EXPECT_NEAR (info.defaultNormalizedValue, e.defaultNormalized, 5e-5);
		// A fresh set stands at its defaults.
		EXPECT_EQ (host ()->getParamNormalized (e.id), info.defaultNormalizedValue);
	}
	ParameterInfo info {};
	EXPECT_NE (host ()->getParameterInfo (31, info), kResultOk);
}

TEST_F (ParamTable, PlainDefaultsAndRanges)
{
	// Plain value at the normalized default, per id; the thirds are exact.
	const double third = 1. / 3.;
	const double plainDefaults[23] = {0.,  1.,    0.,    0.,  0., 0.,    3.,    1.,
	                                  80., 150.,  0.02,  3500., 0., 0.,  third, third,
	                                  third, 0.,  0.,    0.,  0., 0.,    0.};
	for (ParamID id = 1; id <= kNumUserParams; ++id)
	{
		ParameterInfo info {};
		ASSERT_EQ (host ()->getParameterInfo (static_cast<int32> (id) - 1, info), kResultOk);
		EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (id, info.defaultNormalizedValue),
		                  plainDefaults[id])
		    << "id " << id;
	}
	EXPECT_EQ (host ()->normalizedParamToPlain (kParamMicResponseC, 1. / 3.), 1. / 3.);

	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamDirection, 0.), -180.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamDirection, 1.), 180.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamWidth, 0.), 30.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamRearWidth, 1.), 180.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamRearLowpass, 1.), 20000.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamDiffuseGain, 0.), -10.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamFocus, 1.), 1.2);
	// Rear Delay's whole travel is the 0 to 50 ms the engine keeps, in seconds.
	EXPECT_DOUBLE_EQ (host ()->plainParamToNormalized (kParamRearDelay, 0.05), 1.);
	EXPECT_DOUBLE_EQ (host ()->plainParamToNormalized (kParamRearDelay, 0.02), 0.4);
	EXPECT_DOUBLE_EQ (host ()->plainParamToNormalized (kParamRearDelay, 50.), 1.);
	EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (kParamRearDelay, 1.), 0.05);
	for (ParamID id : {kParamGainLR, kParamGainC, kParamGainLsRs})
	{
		EXPECT_EQ (host ()->normalizedParamToPlain (id, 0.), -INFINITY);
		EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (id, 0.5), -12.5);
	}
	for (ParamID id = kParamVuInFront; id <= kNumParams; ++id)
		EXPECT_DOUBLE_EQ (host ()->normalizedParamToPlain (id, 0.7), 0.7);
}

TEST_F (ParamTable, HostTexts)
{
	String128 text {};
	ASSERT_EQ (host ()->getParamStringByValue (kParamOutFormat, 0.2, text), kResultOk);
	EXPECT_EQ (ascii (text), "Stereo");
	host ()->getParamStringByValue (kParamOutFormat, 0.5, text);
	EXPECT_EQ (ascii (text), "4 Channels");
	host ()->getParamStringByValue (kParamOutFormat, 1.0, text);
	EXPECT_EQ (ascii (text), "5 Channels");
	host ()->getParamStringByValue (kParamWidth, 5. / 6., text);
	EXPECT_EQ (ascii (text), "80");

	ParamValue v = -1.;
	const std::u16string in = u"60 deg";
	EXPECT_EQ (host ()->getParamValueByString (kParamWidth, const_cast<TChar*> (in.c_str ()), v),
	           kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.5);
}

TEST_F (ParamTable, UnitTree)
{
	auto* units = FUnknownPtr<IUnitInfo> (controller->unknownCast ()).getInterface ();
	ASSERT_NE (units, nullptr);
	ASSERT_EQ (units->getUnitCount (), 4);
	const struct
	{
		UnitID id;
		const char* name;
		UnitID parent;
	} expected[] = {{0, "Root Unit", -1},
	                {1, "Algorithm Parameters", 0},
	                {2, "Channel Mute & Gains", 0},
	                {3, "Vu Meters", 0}};
	for (int32 i = 0; i < 4; ++i)
	{
		UnitInfo info {};
		ASSERT_EQ (units->getUnitInfo (i, info), kResultOk);
		EXPECT_EQ (info.id, expected[i].id);
		EXPECT_EQ (ascii (info.name), expected[i].name);
		EXPECT_EQ (info.parentUnitId, expected[i].parent);
		EXPECT_EQ (info.programListId, kNoProgramListId);
	}
	EXPECT_EQ (units->getProgramListCount (), 0);
}

//------------------------------------------------------------------------
TEST_F (ParamTable, FormatPresetsFitTheParameters)
{
	for (int32 row = 0; row < kNumFormatPresets; ++row)
	{
		EXPECT_EQ (formatPresetTable[row][0], 0.);
		EXPECT_EQ (formatPresetTable[row][kParamOutFormat], row);
		for (ParamID id = 1; id <= kNumUserParams; ++id)
		{
			const double plain = formatPresetTable[row][id];
			// A preset value survives the host's conversion: it lies inside
			// the parameter's range (and on a list/switch position).
			const double n = host ()->plainParamToNormalized (id, plain);
			EXPECT_NEAR (host ()->normalizedParamToPlain (id, n), plain, 1e-12)
			    << "row " << row << " id " << id;
			// Rows differ from the creation defaults only in the layout columns.
			const bool layout = id == kParamOutFormat || id == kParamWidth ||
			                    id == kParamRearWidth || id == kParamMicResponseC ||
			                    id == kParamMicResponseLsRs;
			if (!layout || row == kNumFormatPresets - 1)
			{
				ParameterInfo info {};
				host ()->getParameterInfo (static_cast<int32> (id) - 1, info);
				EXPECT_NEAR (n, info.defaultNormalizedValue, 1e-12) << "row " << row << " id " << id;
			}
		}
	}
}

TEST_F (ParamTable, FormatPresetLayouts)
{
	const double third = 1. / 3.;
	const struct
	{
		double width, rearWidth, micC, micLsRs;
	} layouts[kNumFormatPresets] = {
	    {50., 180., 0.5, 0.5}, {65., 180., third, 0.5}, {50., 140., 0.5, third}, {80., 150., third, third}};
	for (int32 row = 0; row < kNumFormatPresets; ++row)
	{
		SCOPED_TRACE (row);
		EXPECT_EQ (formatPresetTable[row][kParamWidth], layouts[row].width);
		EXPECT_EQ (formatPresetTable[row][kParamRearWidth], layouts[row].rearWidth);
		EXPECT_EQ (formatPresetTable[row][kParamMicResponseC], layouts[row].micC);
		EXPECT_EQ (formatPresetTable[row][kParamMicResponseLsRs], layouts[row].micLsRs);
	}
}

TEST (ParamTableSets, TwoSetsAreIndependent)
{
	ParameterContainer a, b;
	ASSERT_TRUE (createParameters (a));
	ASSERT_TRUE (createParameters (b));
	ASSERT_EQ (a.getParameterCount (), 31);
	auto* wa = dynamic_cast<kv_VSTParamAngle*> (a.getParameter (kParamWidth));
	auto* wb = dynamic_cast<kv_VSTParamAngle*> (b.getParameter (kParamWidth));
	ASSERT_TRUE (wa && wb);
	ASSERT_NE (wa, wb);
	wa->setPlain (40.);
	EXPECT_DOUBLE_EQ (wb->getPlain (), 80.);
	// The classes the engine mapping casts to.
	EXPECT_NE (dynamic_cast<kv_VSTParamBool*> (a.getParameter (kParamMuteC)), nullptr);
	EXPECT_NE (dynamic_cast<kv_VSTParamIndexed*> (a.getParameter (kParamOutFormat)), nullptr);
	EXPECT_NE (dynamic_cast<kv_VSTParamWithEndPoints*> (a.getParameter (kParamGainC)), nullptr);
	EXPECT_NE (dynamic_cast<kv_VSTParamAngle*> (a.getParameter (kParamDirection)), nullptr);
}
