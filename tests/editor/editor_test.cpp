// The editor without a window: the in-house controls' arithmetic and mouse
// handling, and the main view bound to a real controller (tags, typed text,
// enable rules, the timer's meters and response fetch).

#include "controller/orvocontroller.h"
#include "editor/kv_controls.h"
#include "editor/orvomicresponse.h"
#include "editor/orvoview.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "base/source/fstreamer.h"
#include "vstgui/lib/coffscreencontext.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/controls/cvumeter.h"
#include "vstgui/lib/cvstguitimer.h"
#include "vstgui/lib/platform/linux/linuxfactory.h"
#include "vstgui/lib/platform/platformfactory.h"
#include "vstgui/lib/vstguiinit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace VSTGUI;

namespace {

// VSTGUI once per program, with the bundle's art as its resources.
class VstguiEnvironment : public ::testing::Environment
{
public:
	void SetUp () override
	{
		VSTGUI::init (nullptr);
		getPlatformFactory ().asLinuxFactory ()->setResourcePath (ORVO_BUNDLE_PATH "/Contents/Resources/");
	}
	void TearDown () override { VSTGUI::exit (); }
};
const auto* environment = ::testing::AddGlobalTestEnvironment (new VstguiEnvironment);

struct CountingListener : IControlListener
{
	void valueChanged (CControl* c) override
	{
		++changes;
		last = c->getValue ();
	}
	int changes {0};
	float last {0};
};

// A slider 0..1 of the editor's size (109 x 17, knob 9) with 1/30 and 1/120 steps.
SharedPointer<kv_CSlider> unitSlider (IControlListener* listener)
{
	return makeOwned<kv_CSlider> (CRect (0, 0, 109, 17), listener, 14, 9.f, 1.f / 30, 1.f / 120,
	                              kv_kEnabledColor, kv_kDisabledColor, 0.f, 1.f, 1.f / 3);
}

TEST (KvSlider, DraggingQuantisesToCoarseStepsAndShiftToFineSteps)
{
	CountingListener listener;
	auto slider = unitSlider (&listener);
	// Knob under the mouse: the middle of the 100-pixel knob range.
	CPoint middle (4.5 + 1 + 50, 8);
	EXPECT_EQ (slider->onMouseDown (middle, CButtonState (kLButton)), kMouseEventHandled);
	EXPECT_FLOAT_EQ (slider->getValue (), 0.5f);
	slider->onMouseUp (middle, CButtonState (kLButton));

	// Shift from the press: the knob stays where it was and moves a quarter
	// as fast as the mouse, in 1/120 steps.
	CPoint start (20, 8);
	slider->onMouseDown (start, CButtonState (kLButton | kShift));
	const float before = slider->getValue ();
	EXPECT_FLOAT_EQ (before, 0.5f);
	CPoint moved (120, 8);
	slider->onMouseMoved (moved, CButtonState (kLButton | kShift));
	EXPECT_NEAR (slider->getValue () - before, 0.25f, 1.f / 120);
	EXPECT_NEAR (std::fmod (slider->getValue () * 120.f, 1.f), 0.f, 1e-3);
	slider->onMouseUp (moved, CButtonState (kLButton));
}

TEST (KvSlider, LogarithmicScalePutsTheGeometricMeanInTheMiddle)
{
	auto slider = makeOwned<kv_CSlider> (CRect (0, 0, 109, 17), nullptr, 11, 9.f, 100.f, 1.f,
	                                     kv_kEnabledColor, kv_kDisabledColor, 1000.f, 20000.f, 3500.f);
	slider->setLogScale (true);
	slider->setPosition (0.5f);
	EXPECT_NEAR (slider->getValue (), std::sqrt (1000.f * 20000.f), 1.f);
	slider->quantize (false);
	EXPECT_FLOAT_EQ (slider->getValue (), 4500.f);
	slider->setValue (1000.f);
	EXPECT_FLOAT_EQ (slider->getPosition (), 0.f);
	slider->setValue (50000.f); // clamped
	EXPECT_FLOAT_EQ (slider->getValue (), 20000.f);
}

TEST (KvSlider, WheelResetTicksAndDisabledState)
{
	CountingListener listener;
	auto slider = makeOwned<kv_CSlider> (CRect (0, 0, 109, 17), &listener, 12, 9.f, 1.f, 0.1f,
	                                     kv_kEnabledColor, kv_kDisabledColor, -10.f, 10.f, 0.f);
	EXPECT_TRUE (slider->wheel (1.f, CButtonState ()));
	EXPECT_FLOAT_EQ (slider->getValue (), 1.f);
	slider->wheel (1.f, CButtonState (kAlt));
	EXPECT_FLOAT_EQ (slider->getValue (), 1.1f);
	slider->wheel (-1.f, CButtonState (kShift));
	EXPECT_FLOAT_EQ (slider->getValue (), 1.f);
	EXPECT_EQ (listener.changes, 3);

	// Ctrl+click resets to the default with one edit.
	CPoint p (30, 8);
	EXPECT_EQ (slider->onMouseDown (p, CButtonState (kLButton | kControl)),
	           kMouseDownEventHandledButDontNeedMovedOrUpEvents);
	EXPECT_FLOAT_EQ (slider->getValue (), 0.f);
	EXPECT_EQ (listener.changes, 4);

	// Disabled: presses, resets and the wheel do nothing.
	slider->setValue (5.f);
	slider->setEnabled (false);
	EXPECT_EQ (slider->onMouseDown (p, CButtonState (kLButton | kControl)), kMouseEventNotHandled);
	EXPECT_FALSE (slider->wheel (1.f, CButtonState ()));
	EXPECT_FLOAT_EQ (slider->getValue (), 5.f);
	EXPECT_EQ (listener.changes, 4);

	float many[20] {};
	EXPECT_EQ (slider->setTicks (20, many), 16);
	EXPECT_EQ (slider->setTicks (-1, many), 0);
}

TEST (KvTextEdit, FormatsValuesAndInfinities)
{
	auto field = makeOwned<kv_CTextEdit> (52, nullptr, "%+.1f", CRect (0, 0, 34, 20), 0.f);
	field->setValue (-3.f);
	EXPECT_EQ (field->getText (), "-3.0");
	field->setValue (-std::numeric_limits<float>::infinity ());
	EXPECT_EQ (field->getText (), "-\xE2\x88\x9E");
	field->setValue (std::numeric_limits<float>::infinity ());
	EXPECT_EQ (field->getText (), "+\xE2\x88\x9E");
	char text[64] = "unchanged";
	kv_CTextEdit::formatValue (1.f, text, nullptr);
	EXPECT_STREQ (text, "unchanged");

	field->setColors (kv_kEnabledColor, kv_kDisabledColor);
	field->setEnabled (false);
	EXPECT_EQ (field->getFontColor (), kv_kDisabledColor);
	CPoint p (5, 5);
	EXPECT_EQ (field->onMouseDown (p, CButtonState (kLButton)), kMouseEventNotHandled);
}

TEST (KvOnOffButton, ShowsItsStateFrameAndIgnoresClicksWhenDisabled)
{
	CountingListener listener;
	auto bitmap = makeOwned<CBitmap> (CResourceDescription (103));
	ASSERT_EQ (bitmap->getHeight (), 40) << "editor art not found in the bundle";
	auto button = makeOwned<kv_COnOffButton> (CRect (0, 0, 10, 10), &listener, 3, bitmap);
	CPoint p (5, 5);
	button->onMouseDown (p, CButtonState (kLButton));
	EXPECT_EQ (button->getValue (), 1.f);
	EXPECT_EQ (listener.changes, 1);
	EXPECT_EQ (button->frameOffset (), 10);
	button->setEnabled (false);
	EXPECT_EQ (button->frameOffset (), 30); // the fourth frame: on, disabled
	EXPECT_EQ (button->onMouseDown (p, CButtonState (kLButton)), kMouseEventNotHandled);
	EXPECT_EQ (button->getValue (), 1.f);
	EXPECT_EQ (listener.changes, 1);
}

TEST (MicResponse, HandleDragAndWheel)
{
	CountingListener listener;
	auto display = makeOwned<OrvoMicResponse> (&listener, CRect (335, 43, 620, 328), 27.5f, 4.5f,
	                                           kv_kEnabledColor, -180.f, 180.f, 0.f);
	display->setValue (90.f);
	const CPoint h = display->handleCentre ();
	EXPECT_NEAR (h.x, 335 + 142.5 + 137.5, 1e-9);
	EXPECT_NEAR (h.y, 43 + 142.5, 1e-9);

	// 10 px right of and 100 px above the centre: 5.7 degrees, 5 in coarse
	// steps, 6 with Shift.
	CPoint p (335 + 142.5 + 10, 43 + 142.5 - 100);
	display->onMouseDown (p, CButtonState (kLButton));
	EXPECT_FLOAT_EQ (display->getValue (), 5.f);
	display->onMouseUp (p, CButtonState (kLButton));
	display->onMouseDown (p, CButtonState (kLButton | kShift));
	EXPECT_FLOAT_EQ (display->getValue (), 6.f);
	display->onMouseUp (p, CButtonState (kLButton));
	CPoint far (335 + 142.5 + 150, 43 + 142.5);
	EXPECT_EQ (display->onMouseDown (far, CButtonState (kLButton)), kMouseEventNotHandled);

	// A wheel notch is a degree and wraps around at the back.
	display->wheel (1.f);
	EXPECT_FLOAT_EQ (display->getValue (), 7.f);
	display->setValue (180.f);
	display->wheel (1.f);
	EXPECT_FLOAT_EQ (display->getValue (), -179.f);
	display->wheel (-1.f); // -180: the same direction as 180
	EXPECT_FLOAT_EQ (std::abs (display->getValue ()), 180.f);
}

// Counts the response fetches of the view, passing everything on.
class CountingEffect : public kv_IEffect
{
public:
	explicit CountingEffect (kv_IEffect* e) : effect (e) {}
	double getParameter (ParamID id) override { return effect->getParameter (id); }
	void setParameter (ParamID id, double plain) override { effect->setParameter (id, plain); }
	double getParameterDefault (ParamID id) override { return effect->getParameterDefault (id); }
	void getDisplayData (int32 request, void* buffer) override
	{
		++fetches;
		effect->getDisplayData (request, buffer);
	}
	int fetches {0};

private:
	kv_IEffect* effect;
};

class EditorView : public ::testing::Test
{
protected:
	void SetUp () override
	{
		ASSERT_EQ (controller->initialize (&host), kResultOk);
		view = Steinberg::owned (new OrvoView (controller.get (), &effect));
		ASSERT_TRUE (view->openWithoutWindow ());
		controller->addView (view.get ());
		tick ();
	}
	void TearDown () override
	{
		controller->removeView (view.get ());
		view->close ();
		view = nullptr;
		controller->terminate ();
	}

	void tick () { view->notify (nullptr, CVSTGUITimer::kMsgTimer); }

	// Every control of the frame with this tag.
	std::vector<CControl*> controls (int32_t tag)
	{
		std::vector<CControl*> found;
		view->getFrame ()->forEachChild ([&] (CView* v) {
			auto* c = dynamic_cast<CControl*> (v);
			if (c && c->getTag () == tag && !dynamic_cast<CVuMeter*> (v))
				found.push_back (c);
		});
		return found;
	}
	template <typename T>
	T* control (int32_t tag)
	{
		for (auto* c : controls (tag))
			if (auto* t = dynamic_cast<T*> (c))
				return t;
		return nullptr;
	}
	// The caption image whose rectangle starts at (left, top).
	CMovieBitmap* labelAt (CCoord left, CCoord top)
	{
		CMovieBitmap* found = nullptr;
		view->getFrame ()->forEachChild ([&] (CView* v) {
			if (auto* m = dynamic_cast<CMovieBitmap*> (v))
				if (m->getViewSize ().left == left && m->getViewSize ().top == top)
					found = m;
		});
		return found;
	}
	bool sliderEnabled (ParamID id) { return control<kv_CSlider> (static_cast<int32_t> (id))->isEnabled (); }
	bool fieldEnabled (ParamID id)
	{
		return control<kv_CTextEdit> (static_cast<int32_t> (id + OrvoView::kTextTagOffset))->isEnabled ();
	}

	HostApplication host;
	IPtr<OrvoController> controller = Steinberg::owned (new OrvoController ());
	CountingEffect effect {controller.get ()};
	IPtr<OrvoView> view;
};

TEST_F (EditorView, EveryParameterHasItsControlsAndTheyFollowIt)
{
	// Slider/field pairs, the field showing Rear Delay in milliseconds.
	const std::map<ParamID, double> values = {{7, 0.55},  {8, 45},  {9, 120},  {10, 0.031},
	                                          {11, 8000}, {12, -4}, {13, -35}, {14, 0.2},
	                                          {15, 0.8},  {16, 0.6}, {20, -12}, {21, -3},
	                                          {22, -20}};
	for (const auto& [id, plain] : values)
	{
		auto* slider = control<kv_CSlider> (static_cast<int32_t> (id));
		auto* field = control<kv_CTextEdit> (static_cast<int32_t> (id + 32));
		ASSERT_TRUE (slider && field) << "id " << id;
		controller->setParamNormalized (id, controller->plainParamToNormalized (id, plain));
		EXPECT_NEAR (slider->getValue (), plain, 1e-4 * std::abs (plain) + 1e-6) << "id " << id;
		EXPECT_NEAR (field->getValue (), id == 10 ? plain * 1000 : plain, 1e-3) << "id " << id;
	}
	EXPECT_FLOAT_EQ (view->getMicResponse ()->getValue (), -35.f);
	// Switches: two per on/off parameter, the mutes one each, the formats
	// and Beamshaping two each.
	for (int32_t id : {1, 2, 3, 4, 5, 6})
		EXPECT_EQ (controls (id).size (), 2u) << "id " << id;
	for (int32_t id : {17, 18, 19})
		EXPECT_EQ (controls (id).size (), 1u) << "id " << id;
	controller->setParamNormalized (6, controller->plainParamToNormalized (6, 1));
	for (auto* c : controls (6))
		EXPECT_NEAR (c->getValue (), 1.f / 3, 1e-6);

	// The other way: a control's edit reaches the parameter.
	auto* slider = control<kv_CSlider> (12);
	slider->setValue (3.f);
	view->valueChanged (slider);
	EXPECT_NEAR (controller->getParameter (12), 3.0, 1e-6);
	auto* formats = controls (6).back ();
	formats->setValue (2.f / 3);
	view->valueChanged (formats);
	EXPECT_NEAR (controller->getParameter (6), 2.0, 1e-6);
}

TEST_F (EditorView, TypedTextBecomesThePlainValue)
{
	auto* delay = control<kv_CTextEdit> (42);
	delay->setText ("25");
	view->valueChanged (delay);
	EXPECT_NEAR (controller->getParameter (10), 0.025, 1e-7);
	EXPECT_EQ (delay->getText (), "25.0");

	auto* focus = control<kv_CTextEdit> (39);
	const double before = controller->getParameter (7);
	focus->setText ("abc");
	view->valueChanged (focus);
	EXPECT_DOUBLE_EQ (controller->getParameter (7), before);
	EXPECT_EQ (focus->getText (), "1.00");
}

TEST_F (EditorView, EnableRulesFollowFormatBeamshapingAndSurroundSwitches)
{
	controller->setParameter (6, 0); // Stereo; its preset keeps Beamshaping on
	EXPECT_FALSE (sliderEnabled (15));
	EXPECT_FALSE (sliderEnabled (16));
	EXPECT_FALSE (sliderEnabled (14)); // Beamshaping on
	EXPECT_TRUE (sliderEnabled (7));
	EXPECT_TRUE (sliderEnabled (20));
	EXPECT_FALSE (sliderEnabled (21));
	EXPECT_FALSE (sliderEnabled (22));
	EXPECT_FALSE (sliderEnabled (9));
	for (int32_t id : {3, 4, 5})
		for (auto* c : controls (id))
			EXPECT_FALSE (dynamic_cast<kv_COnOffButton*> (c)->isEnabled ()) << "id " << id;
	EXPECT_TRUE (control<kv_COnOffButton> (17)->isEnabled ());
	EXPECT_FALSE (control<kv_COnOffButton> (18)->isEnabled ());

	controller->setParameter (1, 0); // First Order: the pattern rows light up
	EXPECT_TRUE (sliderEnabled (14));
	EXPECT_FALSE (sliderEnabled (15));
	EXPECT_FALSE (sliderEnabled (7));
	EXPECT_FALSE (fieldEnabled (12));
	EXPECT_FALSE (control<kv_COnOffButton> (2)->isEnabled ());
	EXPECT_EQ (labelAt (74, 108)->getValue (), 1.f);
	EXPECT_EQ (labelAt (60, 148)->getValue (), 0.f);

	controller->setParameter (6, 3); // 5 channels, Rear Delay off
	controller->setParameter (1, 0);
	EXPECT_TRUE (control<kv_COnOffButton> (4)->isEnabled ());
	EXPECT_FALSE (sliderEnabled (10));
	EXPECT_FALSE (fieldEnabled (10));
	EXPECT_EQ (labelAt (254, 395)->getValue (), 0.f); // ms unit dim
	controller->setParameter (4, 1);
	EXPECT_TRUE (sliderEnabled (10));
	EXPECT_EQ (labelAt (254, 395)->getValue (), 1.f);
	EXPECT_TRUE (sliderEnabled (15) && sliderEnabled (16) && sliderEnabled (22));
	// Width and Direction never dim.
	EXPECT_TRUE (sliderEnabled (8) && sliderEnabled (13));
	EXPECT_EQ (labelAt (54, 333)->getValue (), 1.f);
}

TEST_F (EditorView, TimerFetchesTheResponseOncePerTickAndScalesMeters)
{
	const int fetches = effect.fetches;
	for (int i = 0; i < 10; ++i)
		controller->setParameter (8, 40 + i);
	EXPECT_EQ (effect.fetches, fetches);
	tick ();
	EXPECT_EQ (effect.fetches, fetches + 1);
	tick ();
	EXPECT_EQ (effect.fetches, fetches + 1);
	EXPECT_GT (view->getMicResponse ()->getResponse ().numChannels, 0);

	// Meters: 1.5 full, 0.0005 empty, 0.1 two thirds (-20 dB on a -60 dB scale).
	view->parameterChanged (23, 1.5);
	view->parameterChanged (24, 0.0005);
	view->parameterChanged (25, 0.1);
	view->parameterChanged (30, 1.0);
	tick ();
	EXPECT_FLOAT_EQ (view->getMeter (0)->getValue (), 1.f);
	EXPECT_FLOAT_EQ (view->getMeter (1)->getValue (), 0.f);
	EXPECT_NEAR (view->getMeter (2)->getValue (), 2.f / 3, 1e-6);
	EXPECT_FLOAT_EQ (view->getMeter (7)->getValue (), 1.f);
	EXPECT_FLOAT_EQ (OrvoView::meterPosition (-1.f), 0.f);

	// Hosts pass a meter level on only when it changed: a steady tone sends
	// one level through the controller and then nothing. The meter holds it
	// until the next level, silence included, arrives.
	controller->setParamNormalized (23, 0.1);
	for (int i = 0; i < 5; ++i)
		tick ();
	EXPECT_NEAR (view->getMeter (0)->getValue (), 2.f / 3, 1e-6);
	controller->setParamNormalized (23, 0.0);
	tick ();
	EXPECT_FLOAT_EQ (view->getMeter (0)->getValue (), 0.f);
}

TEST_F (EditorView, ASecondOpenIsRefused)
{
	CFrame* frame = view->getFrame ();
	EXPECT_FALSE (view->openWithoutWindow ());
	EXPECT_EQ (view->getFrame (), frame);
	// The about screen edits nothing.
	const double before = controller->getParameter (13);
	for (auto* c : controls (OrvoView::kSplashTag))
		view->valueChanged (c);
	EXPECT_EQ (controller->getParameter (13), before);
}

// The editor's zoom through the host's interfaces: the size a host reads, the
// host's content scale, the selector in the editor, and the controller's
// state that keeps the zoom for the next window and the next session.
class EditorZoom : public ::testing::Test
{
protected:
	void SetUp () override { ASSERT_EQ (controller->initialize (&host), kResultOk); }
	void TearDown () override { controller->terminate (); }

	static ViewRect sizeOf (IPlugView* view)
	{
		ViewRect r;
		EXPECT_EQ (view->getSize (&r), kResultOk);
		return r;
	}
	IPtr<MemoryStream> savedState ()
	{
		auto stream = Steinberg::owned (new MemoryStream ());
		EXPECT_EQ (controller->getState (stream), kResultOk);
		stream->seek (0, IBStream::kIBSeekSet, nullptr);
		return stream;
	}

	HostApplication host;
	IPtr<OrvoController> controller = Steinberg::owned (new OrvoController ());
};

TEST_F (EditorZoom, TheSelectorAndTheHostScaleSizeTheViewAndItsArt)
{
	auto plugView = Steinberg::owned (controller->createView (ViewType::kEditor));
	ASSERT_TRUE (plugView);
	EXPECT_EQ (sizeOf (plugView).getWidth (), 955);
	EXPECT_EQ (sizeOf (plugView).getHeight (), 510);
	auto* view = dynamic_cast<OrvoView*> (plugView.get ());
	ASSERT_TRUE (view && view->openWithoutWindow ());
	controller->addView (view);

	// 150 % chosen in the editor, applied at the next tick.
	auto* selector = view->getZoomSelector ();
	ASSERT_TRUE (selector);
	selector->setSelectedSegment (2);
	view->notify (nullptr, CVSTGUITimer::kMsgTimer);
	EXPECT_EQ (sizeOf (plugView).getWidth (), 1433);
	EXPECT_EQ (sizeOf (plugView).getHeight (), 765);
	EXPECT_DOUBLE_EQ (view->getFrame ()->getZoom (), 1.5);

	// A host on a high-density screen doubles it; the art offers pixels for
	// that density rather than stretched ones.
	FUnknownPtr<IPlugViewContentScaleSupport> scale (plugView);
	ASSERT_TRUE (scale);
	EXPECT_EQ (scale->setContentScaleFactor (2.f), kResultTrue);
	EXPECT_EQ (sizeOf (plugView).getWidth (), 2865);
	EXPECT_EQ (sizeOf (plugView).getHeight (), 1530);
	EXPECT_DOUBLE_EQ (view->getFrame ()->getZoom (), 3.);
	auto art = CBitmap (CResourceDescription (OrvoView::kFirstBitmap));
	EXPECT_EQ (art.getBestPlatformBitmapForScaleFactor (3.)->getScaleFactor (), 1.)
	    << "a bitmap built from the id alone has only the 1x art";
	auto* well = view->getFrame ()->getView (0);
	ASSERT_TRUE (well && well->getDrawBackground ());
	auto best = well->getDrawBackground ()->getBestPlatformBitmapForScaleFactor (3.);
	ASSERT_TRUE (best);
	EXPECT_EQ (best->getScaleFactor (), 2.);
	EXPECT_EQ (best->getSize ().x, 1910);
	EXPECT_EQ (scale->setContentScaleFactor (0.f), kInvalidArgument);
	EXPECT_EQ (scale->setContentScaleFactor (1.f), kResultTrue);

	controller->removeView (view);
	view->close ();
}

TEST_F (EditorZoom, TheControllerStateKeepsTheZoomAndReadsItsFirstVersion)
{
	{
		auto plugView = Steinberg::owned (controller->createView (ViewType::kEditor));
		auto* view = dynamic_cast<OrvoView*> (plugView.get ());
		ASSERT_TRUE (view && view->openWithoutWindow ());
		view->getZoomSelector ()->setSelectedSegment (3);
		view->notify (nullptr, CVSTGUITimer::kMsgTimer);
		view->close ();
	}
	// The next window opens at the zoom the last one closed with.
	auto reopened = Steinberg::owned (controller->createView (ViewType::kEditor));
	EXPECT_EQ (sizeOf (reopened).getWidth (), 1910);
	EXPECT_EQ (sizeOf (reopened).getHeight (), 1020);

	// Saved and loaded into another controller (a session reopened).
	auto state = savedState ();
	HostApplication otherHost;
	auto other = Steinberg::owned (new OrvoController ());
	ASSERT_EQ (other->initialize (&otherHost), kResultOk);
	ASSERT_EQ (other->setState (state), kResultOk);
	auto restored = Steinberg::owned (other->createView (ViewType::kEditor));
	EXPECT_EQ (sizeOf (restored).getWidth (), 1910);

	// A state loaded while the editor is open resizes it.
	auto* openView = dynamic_cast<OrvoView*> (restored.get ());
	ASSERT_TRUE (openView && openView->openWithoutWindow ());
	other->addView (openView);
	controller->setEditorZoom (1.25);
	ASSERT_EQ (other->setState (savedState ()), kResultOk);
	EXPECT_EQ (sizeOf (restored).getWidth (), 1194);
	EXPECT_EQ (openView->getZoomSelector ()->getSelectedSegment (), 1u);
	other->removeView (openView);
	openView->close ();
	other->terminate ();

	// A session saved before the zoom existed: "OrvC", version 1, bypass.
	auto first = Steinberg::owned (new MemoryStream ());
	{
		IBStreamer out (first, kLittleEndian);
		out.writeRaw ("OrvC", 4);
		out.writeInt32 (1);
		out.writeDouble (1.);
	}
	first->seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (controller->setState (first), kResultOk);
	EXPECT_EQ (controller->getParamNormalized (31), 1.);
	EXPECT_EQ (controller->getEditorZoom (), 1.25);
}

// What the editor redraws: a meter paints its whole rectangle itself, so the
// background art is not drawn under it; a field and the polar display are
// drawn over their own piece of the art only.
TEST_F (EditorView, RedrawsDrawOnlyTheirOwnPieceOfTheBackground)
{
	auto context = COffscreenContext::create ({955, 510});
	ASSERT_TRUE (context);
	auto redraw = [&] (const CRect& r) {
		const auto before = view->getDrawStatistics ();
		context->beginDraw ();
		view->getFrame ()->drawRect (context, r);
		context->endDraw ();
		const auto after = view->getDrawStatistics ();
		return std::make_pair (after.area - before.area, after.backgroundArea - before.backgroundArea);
	};
	for (int32 i = 0; i < OrvoView::kMeterCount; ++i)
	{
		const auto [area, art] = redraw (view->getMeter (i)->getViewSize ());
		EXPECT_EQ (area, 101. * 11) << "meter " << i;
		EXPECT_EQ (art, 0.) << "meter " << i;
	}
	const CRect field = control<kv_CTextEdit> (8 + OrvoView::kTextTagOffset)->getViewSize ();
	EXPECT_EQ (redraw (field).second, field.getWidth () * field.getHeight ());
	const CRect display = view->getMicResponse ()->getViewSize ();
	EXPECT_EQ (redraw (display).second, display.getWidth () * display.getHeight ());
}

} // namespace
