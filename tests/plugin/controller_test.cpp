// The controller as host and editor see it: units and parameters, the edits
// it reports to the host (recorded by a component handler), the views it
// keeps informed and the display response.

#include "params/kv_vstparam.h"
#include "controller/orvocontroller.h"
#include "params/orvoparams.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Records what the controller tells the host, one line per call.
class RecordingHandler : public IComponentHandler, public IComponentHandler2
{
public:
	std::vector<std::string> calls;
	std::vector<std::pair<ParamID, ParamValue>> performed;

	tresult PLUGIN_API beginEdit (ParamID id) override { return log ("begin " + std::to_string (id)); }
	tresult PLUGIN_API performEdit (ParamID id, ParamValue v) override
	{
		performed.emplace_back (id, v);
		return log ("perform " + std::to_string (id));
	}
	tresult PLUGIN_API endEdit (ParamID id) override { return log ("end " + std::to_string (id)); }
	tresult PLUGIN_API restartComponent (int32) override { return kResultOk; }
	tresult PLUGIN_API setDirty (TBool) override { return kResultOk; }
	tresult PLUGIN_API requestOpenEditor (FIDString) override { return kResultOk; }
	tresult PLUGIN_API startGroupEdit () override { return log ("startGroup"); }
	tresult PLUGIN_API finishGroupEdit () override { return log ("finishGroup"); }

	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
	{
		QUERY_INTERFACE (iid, obj, FUnknown::iid, IComponentHandler)
		QUERY_INTERFACE (iid, obj, IComponentHandler::iid, IComponentHandler)
		QUERY_INTERFACE (iid, obj, IComponentHandler2::iid, IComponentHandler2)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }

	void clear ()
	{
		calls.clear ();
		performed.clear ();
	}

private:
	tresult log (std::string s)
	{
		calls.push_back (std::move (s));
		return kResultOk;
	}
};

class RecordingView : public kv_IView
{
public:
	std::vector<std::pair<ParamID, double>> changes;
	void parameterChanged (ParamID id, double plain) override { changes.emplace_back (id, plain); }
	// The last value the view received for 'id' (NaN when none).
	double last (ParamID id) const
	{
		double value = std::nan ("");
		for (const auto& [changed, plain] : changes)
			if (changed == id)
				value = plain;
		return value;
	}
};

// Expected call sequence of a group edit of 'ids'.
std::vector<std::string> groupEdit (const std::vector<ParamID>& ids)
{
	std::vector<std::string> calls {"startGroup"};
	for (const char* verb : {"begin ", "perform ", "end "})
		for (ParamID id : ids)
			calls.push_back (verb + std::to_string (id));
	calls.push_back ("finishGroup");
	return calls;
}

class ControllerTest : public ::testing::Test
{
protected:
	void SetUp () override
	{
		controller = owned (new OrvoController ());
		ASSERT_EQ (controller->initialize (&host), kResultOk);
		controller->setComponentHandler (&handler);
	}
	void TearDown () override
	{
		controller->setComponentHandler (nullptr);
		controller->terminate ();
	}

	double plain (ParamID id) { return controller->getParameter (id); }

	// The SDK's host application object does not count references: one for all.
	static inline HostApplication host;
	IPtr<OrvoController> controller;
	RecordingHandler handler;
};

} // namespace

TEST_F (ControllerTest, OffersFourUnitsThirtyParametersAndTheBypass)
{
	EXPECT_EQ (controller->getUnitCount (), 4);
	UnitInfo unit {};
	ASSERT_EQ (controller->getUnitInfo (3, unit), kResultOk);
	EXPECT_EQ (unit.id, kUnitVuMeters);
	EXPECT_EQ (unit.parentUnitId, kRootUnitId);
	EXPECT_EQ (controller->getParameterCount (), 31);
	ParameterInfo info {};
	ASSERT_EQ (controller->getParameterInfo (29, info), kResultOk);
	EXPECT_EQ (info.id, static_cast<ParamID> (kParamVuOutRs));
	EXPECT_TRUE (info.flags & ParameterInfo::kIsReadOnly);

	// A second initialize is refused and adds nothing.
	EXPECT_EQ (controller->initialize (&host), kResultFalse);
	EXPECT_EQ (controller->getUnitCount (), 4);
	EXPECT_EQ (controller->getParameterCount (), 31);

	// The controller's own state holds the bypass switch, which stays out of
	// the processor's chunk; anything but a whole state changes nothing.
	ASSERT_EQ (controller->setParamNormalized (kParamBypass, 1.), kResultOk);
	IPtr<MemoryStream> s = owned (new MemoryStream ());
	ASSERT_EQ (controller->getState (s), kResultOk);
	controller->setParamNormalized (kParamBypass, 0.);
	s->seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (controller->setState (s), kResultOk);
	EXPECT_EQ (controller->getParamNormalized (kParamBypass), 1.);
	for (int64 cut : {int64 (0), int64 (6), s->getSize () - 1})
	{
		IPtr<MemoryStream> part = owned (new MemoryStream (s->getData (), cut));
		controller->setParamNormalized (kParamBypass, 0.);
		EXPECT_EQ (controller->setState (part), kResultFalse) << cut;
		EXPECT_EQ (controller->getParamNormalized (kParamBypass), 0.) << cut;
	}
	EXPECT_EQ (controller->createView ("other"), nullptr);
	EXPECT_EQ (controller->createView (nullptr), nullptr);
}

TEST_F (ControllerTest, OutputFormatLoadsItsPresetRowInOneGroupEdit)
{
	// Move things the preset must reset.
	controller->setParameter (kParamMuteC, 1.0);
	controller->setParameter (kParamGainLR, -12.0);
	handler.clear ();

	controller->setParameter (kParamOutFormat, 1.0); // "3 Channels"
	std::vector<ParamID> all;
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		all.push_back (id);
	EXPECT_EQ (handler.calls, groupEdit (all));
	EXPECT_DOUBLE_EQ (plain (kParamOutFormat), 1.0);
	EXPECT_NEAR (plain (kParamWidth), 65.0, 1e-9);
	EXPECT_NEAR (plain (kParamRearWidth), 180.0, 1e-9);
	EXPECT_NEAR (plain (kParamMicResponseC), 1.0 / 3.0, 1e-9);
	EXPECT_NEAR (plain (kParamMicResponseLsRs), 0.5, 1e-9);
	EXPECT_EQ (plain (kParamMuteC), 0.0);
	EXPECT_NEAR (plain (kParamGainLR), 0.0, 1e-9);
	// What the host heard matches what the controller holds.
	for (const auto& [id, value] : handler.performed)
		EXPECT_DOUBLE_EQ (controller->getParamNormalized (id), value) << id;

	handler.clear ();
	controller->setParameter (kParamOutFormat, 3.4); // rounds to "5 Channels"
	EXPECT_DOUBLE_EQ (plain (kParamOutFormat), 3.0);
	EXPECT_NEAR (plain (kParamWidth), 80.0, 1e-9);
	EXPECT_EQ (handler.calls.size (), 3u * kNumUserParams + 2);

	handler.clear ();
	controller->setParameter (kParamOutFormat, 3.6); // no such entry
	controller->setParameter (kParamOutFormat, -0.6);
	controller->setParameter (kParamOutFormat, 1e12);
	controller->setParameter (kParamOutFormat, std::nan (""));
	// A non-number is no setting for any parameter: nothing moves, nothing is sent.
	controller->setParameter (kParamWidth, std::nan (""));
	controller->setParameter (kParamRearWidthOn, std::nan (""));
	controller->setParameter (kParamGainC, std::nan (""));
	EXPECT_TRUE (handler.calls.empty ());
	EXPECT_DOUBLE_EQ (plain (kParamOutFormat), 3.0);
	EXPECT_NEAR (plain (kParamWidth), 80.0, 1e-9);
	EXPECT_NEAR (plain (kParamGainC), 0.0, 1e-9);
}

TEST_F (ControllerTest, RearWidthFollowsWidthWhileItsControlIsOff)
{
	ASSERT_EQ (plain (kParamRearWidthOn), 0.0);
	const double rearBefore = plain (kParamRearWidth);
	controller->setParameter (kParamWidth, 60.0);
	EXPECT_EQ (handler.calls, groupEdit ({kParamWidth, kParamRearWidth}));
	EXPECT_NEAR (plain (kParamWidth), 60.0, 1e-9);
	const double follow = controller->rearWidthForWidth (60.0);
	EXPECT_NEAR (plain (kParamRearWidth), follow, 1e-6);
	EXPECT_GE (follow, 90.0);
	EXPECT_LE (follow, 180.0);
	(void)rearBefore;

	// Switching the control on is one plain edit of its own.
	handler.clear ();
	controller->setParameter (kParamRearWidthOn, 1.0);
	EXPECT_EQ (handler.calls, std::vector<std::string> {"perform 3"});

	// With the control on, Width moves alone.
	handler.clear ();
	controller->setParameter (kParamRearWidth, 120.0);
	controller->setParameter (kParamWidth, 45.0);
	EXPECT_EQ (handler.calls, (std::vector<std::string> {"perform 9", "perform 8"}));
	EXPECT_NEAR (plain (kParamRearWidth), 120.0, 1e-9);

	// Switching it off snaps Rear Width back to what Width implies.
	handler.clear ();
	controller->setParameter (kParamRearWidthOn, 0.0);
	EXPECT_EQ (handler.calls, groupEdit ({kParamRearWidthOn, kParamRearWidth}));
	EXPECT_NEAR (plain (kParamRearWidth), controller->rearWidthForWidth (45.0), 1e-6);
}

TEST_F (ControllerTest, MetersCannotBeEditedButReachTheViews)
{
	RecordingView view;
	controller->addView (&view);
	EXPECT_EQ (view.changes.size (), 31u); // every value on attach
	view.changes.clear ();

	controller->setParameter (kParamVuInRear, 0.5);
	controller->setParameter (kParamVuOutRs + 7, 0.5);
	controller->setParameter (0, 0.5); // names no parameter
	EXPECT_TRUE (handler.calls.empty ());
	EXPECT_TRUE (view.changes.empty ());

	EXPECT_EQ (controller->setParamNormalized (kParamVuOutL, 0.7), kResultOk);
	ASSERT_EQ (view.changes.size (), 1u);
	EXPECT_EQ (view.changes[0].first, static_cast<ParamID> (kParamVuOutL));
	EXPECT_DOUBLE_EQ (view.changes[0].second, 0.7);
	EXPECT_EQ (controller->setParamNormalized (99, 0.5), kResultFalse);
	EXPECT_EQ (controller->setParamNormalized (kParamWidth, std::nan ("")), kResultFalse);
	EXPECT_EQ (view.changes.size (), 1u);

	// An ordinary edit reaches the host and the view in plain units.
	view.changes.clear ();
	controller->setParameter (kParamRearLowpass, 5000.0);
	EXPECT_EQ (handler.calls, std::vector<std::string> {"perform 11"});
	ASSERT_EQ (view.changes.size (), 1u);
	EXPECT_NEAR (view.changes[0].second, 5000.0, 1e-6);
	controller->removeView (&view);
	controller->setParameter (kParamRearLowpass, 6000.0);
	EXPECT_EQ (view.changes.size (), 1u);
}

TEST_F (ControllerTest, ComponentStateUpdatesViewsAndTheResponse)
{
	RecordingView view;
	controller->addView (&view);
	sfm_response before {};
	controller->getDisplayData (kv_IEffect::kResponseRequest, &before);

	// A processor-style chunk with another output format and width.
	ParameterContainer params;
	ASSERT_TRUE (createParameters (params));
	params.getParameter (kParamOutFormat)->setNormalized (0.0); // Stereo
	params.getParameter (kParamWidth)->setNormalized (0.0);     // 30 degrees
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	ASSERT_EQ (writeStateChunk (stream, params), kResultOk);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);

	view.changes.clear ();
	EXPECT_EQ (controller->setComponentState (stream), kResultOk);
	EXPECT_EQ (view.changes.size (), 31u);
	EXPECT_NEAR (plain (kParamWidth), 30.0, 1e-9);

	sfm_response after {}, again {};
	controller->getDisplayData (kv_IEffect::kResponseRequest, &after);
	controller->getDisplayData (kv_IEffect::kResponseRequest, &again);
	EXPECT_NE (std::memcmp (&before, &after, sizeof (sfm_response)), 0);
	EXPECT_EQ (std::memcmp (&after, &again, sizeof (sfm_response)), 0);

	// Other requests and null buffers do nothing.
	sfm_response untouched {};
	untouched.numPoints = -7;
	controller->getDisplayData (30, &untouched);
	controller->getDisplayData (kv_IEffect::kResponseRequest, nullptr);
	EXPECT_EQ (untouched.numPoints, -7);

	// A damaged chunk is refused, yet the entries before its fault are set
	// (and heard): the views show them.
	params.getParameter (kParamOutFormat)->setNormalized (1.0); // 5 Channels, an early entry
	IPtr<MemoryStream> whole = owned (new MemoryStream ());
	ASSERT_EQ (writeStateChunk (whole, params), kResultOk);
	IPtr<MemoryStream> cut = owned (new MemoryStream (whole->getData (), whole->getSize () - 40));
	view.changes.clear ();
	EXPECT_NE (controller->setComponentState (cut), kResultOk);
	EXPECT_EQ (plain (kParamOutFormat), 3.0);
	ASSERT_EQ (view.changes.size (), 31u);
	EXPECT_EQ (view.last (kParamOutFormat), 3.0);
}

TEST_F (ControllerTest, DefaultsAndPlainValuesFollowTheParameterTable)
{
	EXPECT_NEAR (controller->getParameterDefault (kParamWidth), 80.0, 1e-9);
	EXPECT_NEAR (controller->getParameterDefault (kParamRearWidth), 150.0, 1e-9);
	EXPECT_NEAR (controller->getParameterDefault (kParamRearDelay), 0.02, 1e-9);
	EXPECT_NEAR (controller->getParameterDefault (kParamOutFormat), 3.0, 1e-9);
	EXPECT_NEAR (plain (kParamDirection), 0.0, 1e-9);
	controller->setParameter (kParamDirection, -90.0);
	EXPECT_NEAR (plain (kParamDirection), -90.0, 1e-9);
	EXPECT_NEAR (controller->getParamNormalized (kParamDirection), 0.25, 1e-9);
}

//------------------------------------------------------------------------
// Host texts: what generic views, automation lanes and typed values see.
namespace {

std::u16string hostText (IEditController* c, ParamID id, ParamValue normalized)
{
	String128 text {};
	EXPECT_EQ (c->getParamStringByValue (id, normalized, text), kResultOk);
	return text;
}

std::string utf8 (const std::u16string& s)
{
	std::string out;
	for (char16_t c : s)
		out += c == u'\u221E' ? std::string ("\u221E") : std::string (1, static_cast<char> (c));
	return out;
}

} // namespace

TEST_F (ControllerTest, HostTextsAtTheDefaultsArePlainValues)
{
	const std::u16string level = u"-\u221E dBFS";
	const std::u16string expected[kNumParams + 1] = {
	    u"",     u"On",   u"Off",  u"Off",  u"Off",  u"Off",  u"5 Channels", u"1.00",
	    u"80",   u"150",  u"20.0", u"3500", u"+0.0", u"0",    u"0.33",       u"0.33",
	    u"0.33", u"Off",  u"Off",  u"Off",  u"0.0",  u"0.0",  u"0.0",        level,
	    level,   level,   level,   level,   level,   level,   level};
	for (int32 i = 0; i < static_cast<int32> (kNumParams); ++i)
	{
		ParameterInfo info {};
		ASSERT_EQ (controller->getParameterInfo (i, info), kResultOk);
		EXPECT_EQ (utf8 (hostText (controller, info.id, info.defaultNormalizedValue)),
		           utf8 (expected[info.id]))
		    << "id " << info.id;
	}
	// The gains' bottom is minus infinity; a meter shows the peak in dBFS.
	EXPECT_EQ (hostText (controller, kParamGainC, 0.), u"-\u221E");
	EXPECT_EQ (hostText (controller, kParamVuOutC, 0.5), u"-6.0 dBFS");
	EXPECT_EQ (hostText (controller, kParamRearDelay, 1.), u"50.0");
	EXPECT_EQ (hostText (controller, kParamDirection, 0.25), u"-90");
}

TEST_F (ControllerTest, HostRangesAreFiniteAndAClosedGainStillReadsMinusInfinity)
{
	// Hosts draw generic controls from the plain values at both ends.
	for (int32 i = 0; i < controller->getParameterCount (); ++i)
	{
		ParameterInfo info {};
		ASSERT_EQ (controller->getParameterInfo (i, info), kResultOk);
		for (ParamValue x : {0., 0.5, 1.})
			EXPECT_TRUE (std::isfinite (controller->normalizedParamToPlain (info.id, x)))
			    << "id " << info.id << " at " << x;
	}
	for (ParamID id : {kParamGainLR, kParamGainC, kParamGainLsRs})
	{
		EXPECT_DOUBLE_EQ (controller->normalizedParamToPlain (id, 0.), -25.);
		EXPECT_EQ (controller->plainParamToNormalized (id, -25.), 0.);
		EXPECT_EQ (hostText (controller, id, 0.), u"-\u221E");
		EXPECT_EQ (plain (id), 0.);
		controller->setParamNormalized (id, 0.);
		EXPECT_EQ (plain (id), -INFINITY) << "the editor and the state keep minus infinity";
	}
}

TEST_F (ControllerTest, HostTextsReadBackAsTheValueTheyShow)
{
	// Every parameter, over a sweep, random values and both ends: the text a
	// host shows reads back (getParamValueByString) as a value showing the
	// same text, within half a displayed step of the value shown.
	std::mt19937 random (8);
	std::uniform_real_distribution<double> unit (0., 1.);
	std::vector<double> values;
	for (int k = 0; k <= 400; ++k)
		values.push_back (k / 400.);
	for (int k = 0; k < 400; ++k)
		values.push_back (unit (random));
	values.push_back (1e-9);
	values.push_back (1. - 1e-9);

	for (ParamID id = 1; id <= kNumParams; ++id)
	{
		auto* param = dynamic_cast<kv_VSTParam*> (controller->getParameterObject (id));
		ASSERT_NE (param, nullptr);
		const kv_ValueText& format = param->getValueText ();
		const bool numeric = param->getInfo ().stepCount == 0 &&
		                     !dynamic_cast<kv_VSTParamBool*> (param) &&
		                     format.kind == kv_ValueText::kNumber;
		for (double x : values)
		{
			const std::u16string shown = hostText (controller, id, x);
			ParamValue back = -1.;
			ASSERT_EQ (controller->getParamValueByString (id, const_cast<TChar*> (shown.c_str ()), back),
			           kResultOk)
			    << "id " << id << " text " << utf8 (shown);
			EXPECT_EQ (utf8 (hostText (controller, id, back)), utf8 (shown)) << "id " << id << " x " << x;
			const double a = param->toPlain (x);
			const double b = param->toPlain (back);
			if (numeric && std::isfinite (a))
			{
				EXPECT_LE (std::fabs (a - b) * format.scale, 0.5 * std::pow (10., -format.precision) + 1e-9)
				    << "id " << id << " x " << x;
			}
			else if (!std::isfinite (a))
			{
				EXPECT_EQ (a, b) << "id " << id;
			}
		}
	}

	// The forms a user types: entry names in any case and indices, words for
	// switches, minus infinity for gains, units after numbers.
	auto read = [this] (ParamID id, const std::u16string& text, ParamValue& out) {
		return controller->getParamValueByString (id, const_cast<TChar*> (text.c_str ()), out);
	};
	ParamValue v = -1.;
	EXPECT_EQ (read (kParamOutFormat, u"3 channels", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 1. / 3.);
	EXPECT_EQ (read (kParamOutFormat, u"0", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.);
	EXPECT_EQ (read (kParamMuteC, u"on", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 1.);
	EXPECT_EQ (read (kParamMuteC, u"0", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.);
	EXPECT_EQ (read (kParamGainLR, u"-inf", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.);
	EXPECT_EQ (read (kParamRearDelay, u"35 ms", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.7);
	EXPECT_EQ (read (kParamWidth, u"60 deg", v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.5);

	// Text that is no value changes nothing and prints nothing.
	testing::internal::CaptureStderr ();
	for (ParamID id = 1; id <= kNumParams; ++id)
		for (const char16_t* text : {u"", u"abc", u"nan", u"Mono", u"-"})
		{
			v = 0.123;
			EXPECT_NE (read (id, text, v), kResultOk) << "id " << id << " " << utf8 (text);
			EXPECT_EQ (v, 0.123);
		}
	EXPECT_EQ (testing::internal::GetCapturedStderr (), "");
}
