// The mapping from the parameter objects to the engine's parameter record,
// shared by processor and controller.

#include "params/orvoparams.h"
#include "params/orvoparammap.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class ParamMapTest : public ::testing::Test
{
protected:
	void SetUp () override
	{
		ASSERT_TRUE (createParameters (params));
		sfm_setup_init (&setup, 48000.f);
		sfm_params_default (&engine);
		engine.flags &= ~static_cast<uint32_t> (SFM_FLAG_LFE_ON);
		sfm_init (&state, &buffers, &setup, engine, nullptr, nullptr);
	}
	void TearDown () override { sfm_free (&state, &buffers, nullptr, nullptr); }

	void setPlain (ParamID id, double plain)
	{
		Parameter* p = params.getParameter (id);
		p->setNormalized (p->toNormalized (plain));
	}
	void map () { applyParameters (params, &state, &engine); }

	ParameterContainer params;
	sfm_setup setup {};
	sfm_params engine {};
	sfm_state state {};
	sfm_buffers buffers {};
};

} // namespace

TEST_F (ParamMapTest, SwitchesAndOutputFormatSetTheirFlagBits)
{
	map (); // defaults: beamshaping on, everything else off, five channels
	EXPECT_EQ (engine.flags & SFM_FLAG_BEAMSHAPING_OFF, 0u);
	EXPECT_EQ (engine.flags & (SFM_FLAG_DIFFUSER | SFM_FLAG_REAR_WIDTH | SFM_FLAG_REAR_DELAY |
	                           SFM_FLAG_REAR_LOWPASS | SFM_FLAG_NO_CENTRE | SFM_FLAG_NO_SURROUND),
	           0u);
	EXPECT_TRUE (engine.flags & SFM_FLAG_BEAMS_WIDENED) << "bits no parameter owns are kept";

	setPlain (kParamBeamshaping, 0);
	setPlain (kParamDiffuser, 1);
	setPlain (kParamRearWidthOn, 1);
	setPlain (kParamRearDelayOn, 1);
	setPlain (kParamRearLowpassOn, 1);
	map ();
	const uint32_t all = SFM_FLAG_BEAMSHAPING_OFF | SFM_FLAG_DIFFUSER | SFM_FLAG_REAR_WIDTH |
	                     SFM_FLAG_REAR_DELAY | SFM_FLAG_REAR_LOWPASS;
	EXPECT_EQ (engine.flags & all, all);

	const struct { double format; bool noCentre, noSurround; } formats[] = {
	    {0, true, true}, {1, false, true}, {2, true, false}, {3, false, false}};
	for (const auto& f : formats)
	{
		setPlain (kParamOutFormat, f.format);
		map ();
		EXPECT_EQ ((engine.flags & SFM_FLAG_NO_CENTRE) != 0, f.noCentre) << f.format;
		EXPECT_EQ ((engine.flags & SFM_FLAG_NO_SURROUND) != 0, f.noSurround) << f.format;
	}
}

TEST_F (ParamMapTest, ValuesReachTheEngineInItsUnits)
{
	setPlain (kParamFocus, 0.6);
	setPlain (kParamRearDelay, 0.035); // seconds
	setPlain (kParamRearLowpass, 8000);
	setPlain (kParamDiffuseGain, -4);
	setPlain (kParamDirection, 30);
	setPlain (kParamMicResponseLR, 0.25);
	setPlain (kParamMicResponseC, 0.5);
	setPlain (kParamMicResponseLsRs, 0.75);
	setPlain (kParamGainLR, -6);
	setPlain (kParamGainC, -12);
	setPlain (kParamGainLsRs, -18);
	setPlain (kParamMuteC, 1);
	map ();
	EXPECT_FLOAT_EQ (engine.focus, 0.6f);
	EXPECT_FLOAT_EQ (engine.rearDelay, 35.f); // milliseconds
	EXPECT_FLOAT_EQ (engine.rearLowpass, 8000.f);
	EXPECT_FLOAT_EQ (engine.diffGainDb, -4.f);
	EXPECT_FLOAT_EQ (engine.direction, -30.f); // the engine turns the other way
	EXPECT_FLOAT_EQ (engine.micResponseLR, 0.25f);
	EXPECT_FLOAT_EQ (engine.micResponseC, 0.5f);
	EXPECT_FLOAT_EQ (engine.micResponseLsRs, 0.75f);
	EXPECT_NEAR (engine.gainLR, -6.f, 1e-4);
	EXPECT_NEAR (engine.gainC, -12.f, 1e-4);
	EXPECT_NEAR (engine.gainLsRs, -18.f, 1e-4);
	EXPECT_EQ (engine.muteLR, 0);
	EXPECT_EQ (engine.muteC, 1);
	EXPECT_EQ (engine.muteLsRs, 0);
	// The default Rear Delay of 0.02 s is the engine's 20 ms.
	setPlain (kParamRearDelay, 0.02);
	map ();
	EXPECT_FLOAT_EQ (engine.rearDelay, 20.f);
	// Gain at its bottom end is silence, not a large negative number.
	params.getParameter (kParamGainC)->setNormalized (0.0);
	map ();
	EXPECT_TRUE (std::isinf (engine.gainC) && engine.gainC < 0);
}

TEST_F (ParamMapTest, WidthAnglesAreSolvedAsTheEngineDoes)
{
	// Width 80 and Rear Width 150: opening angles of 160 and 60 degrees.
	map ();
	sfm_params expected = engine;
	const float pi = 3.1415927f;
	sfm_solve_width (engine, 160.f * pi / 180.f, &expected.widthCoef, nullptr, 60.f * pi / 180.f,
	                 &expected.rearWidthCoef);
	EXPECT_NEAR (engine.widthCoef, expected.widthCoef, 1e-6);
	EXPECT_NEAR (engine.rearWidthCoef, expected.rearWidthCoef, 1e-6);

	// A wider front gives another coefficient.
	const float before = engine.widthCoef;
	setPlain (kParamWidth, 40);
	map ();
	EXPECT_NE (engine.widthCoef, before);
}
