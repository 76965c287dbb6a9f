// The monitor's editor in a real X11 window (run under Xvfb) against a
// stand-in controller: the user turns the head by dragging the ring with
// the mouse (xdotool), the controller reports a new response set with a
// notice and other loudspeakers, and the window opens at 100 and 200 %.
// Saves a screenshot (5.1, Head Rotation 30°, a notice) as
// monitor-editor.png in the build tree, and monitor-editor_200.png at 200 %.

#include <gtest/gtest.h>

#include "editor/orvomonitortopview.h"
#include "editor/orvomonitorview.h"
#include "params/orvomonitorparams.h"
#include "x11_host_loop.h"

#include "public.sdk/source/vst/vsteditcontroller.h"
#include "vstgui/lib/platform/linux/linuxfactory.h"
#include "vstgui/lib/platform/platformfactory.h"
#include "vstgui/lib/vstguiinit.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class VstguiEnvironment : public ::testing::Environment
{
public:
	void SetUp () override
	{
		VSTGUI::init (nullptr);
		VSTGUI::getPlatformFactory ().asLinuxFactory ()->setResourcePath (ORVO_ART_DIR "/");
	}
	void TearDown () override { VSTGUI::exit (); }
};
const auto* environment = ::testing::AddGlobalTestEnvironment (new VstguiEnvironment);

// The controller as the editor sees it: parameters in plain values, the
// response set's name and notice, the loudspeakers, and the host's edit
// gestures counted per parameter.
class FakeMonitor : public EditController, public kv_IMonitor, public kv_IZoomStore
{
public:
	double getParameter (ParamID id) override { return values[id]; }
	void setParameter (ParamID id, double plain) override
	{
		values[id] = plain;
		++performs[id];
		for (auto* v : views)
			v->parameterChanged (id, plain);
	}
	double getParameterDefault (ParamID) override { return 0; }
	void getDisplayData (int32, void*) override {}
	void getHrtfName (char* utf8, int32 size) override { std::snprintf (utf8, size, "%s", name.c_str ()); }
	void getHrtfNotice (char* utf8, int32 size) override { std::snprintf (utf8, size, "%s", notice.c_str ()); }
	void chooseHrtf (const char* path) override { chosen.push_back (path); }
	int32 getSpeakers (float* azimuthDeg, int32 max, int32* lfeIndex) override
	{
		const int32 n = std::min<int32> (max, static_cast<int32> (speakers.size ()));
		std::copy (speakers.begin (), speakers.begin () + n, azimuthDeg);
		*lfeIndex = lfe;
		return n;
	}
	bool canReadSofa () override { return sofa; }
	double getEditorZoom () const override { return zoom; }
	void setEditorZoom (double z) override { zoom = z; }

	tresult beginEdit (ParamID id) override
	{
		++begins[id];
		return kResultOk;
	}
	tresult endEdit (ParamID id) override
	{
		++ends[id];
		return kResultOk;
	}
	void editorAttached (EditorView* editor) override { views.push_back (dynamic_cast<kv_IView*> (editor)); }
	void editorRemoved (EditorView*) override { views.clear (); }
	// The controller's way to say that the set or the loudspeakers changed.
	void statusChanged ()
	{
		for (auto* v : views)
			v->parameterChanged (kMonStatusChanged, 0);
	}

	std::map<ParamID, double> values {{kMonLfeOn, 1.}};
	std::map<ParamID, int> begins, performs, ends;
	std::string name {"MIT KEMAR"};
	std::string notice;
	std::vector<float> speakers;
	int32 lfe {-1};
	bool sofa {true};
	double zoom {1.};
	std::vector<std::string> chosen;
	std::vector<kv_IView*> views;
};

struct Pixels
{
	int width {0}, height {0};
	std::vector<uint32_t> rgb; // 0x00RRGGBB
	uint32_t at (int x, int y) const { return rgb[static_cast<size_t> (y) * width + x]; }
	// Pixels within 'tolerance' of a colour in the square of half size 'r' around (x, y).
	int count (int x, int y, int r, uint32_t colour, int tolerance) const
	{
		int n = 0;
		for (int py = std::max (0, y - r); py < std::min (height, y + r); ++py)
			for (int px = std::max (0, x - r); px < std::min (width, x + r); ++px)
			{
				const uint32_t c = at (px, py);
				bool near = true;
				for (int shift : {16, 8, 0})
					near = near && std::abs (static_cast<int> ((c >> shift) & 0xff) -
					                         static_cast<int> ((colour >> shift) & 0xff)) <= tolerance;
				n += near;
			}
		return n;
	}
};

class MonitorWindow : public ::testing::Test
{
protected:
	void SetUp () override
	{
		display = XOpenDisplay (nullptr);
		ASSERT_TRUE (display) << "no X display (run under xvfb-run)";
		window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, 400, 300, 0, 0, 0x202020);
		XMapWindow (display, window);
		XSync (display, False);
		loop.onResize = [this] (const ViewRect& r) { fit (r); };
	}
	void TearDown () override
	{
		close ();
		if (display)
		{
			XDestroyWindow (display, window);
			XCloseDisplay (display);
		}
	}

	void fit (const ViewRect& r)
	{
		XResizeWindow (display, window, static_cast<unsigned> (r.getWidth ()), static_cast<unsigned> (r.getHeight ()));
		XSync (display, False);
	}
	// The editor opened as a VST 3 host opens it.
	bool open ()
	{
		view = Steinberg::owned (new OrvoMonitorView (monitor.get (), monitor.get (), monitor.get ()));
		plugView = view.get ();
		plugView->setFrame (&loop);
		if (plugView->attached (reinterpret_cast<void*> (window), kPlatformTypeX11EmbedWindowID) != kResultOk)
			return false;
		ViewRect r;
		plugView->getSize (&r);
		fit (r);
		loop.pump (300);
		return true;
	}
	void close ()
	{
		if (!view)
			return;
		plugView->removed ();
		plugView->setFrame (nullptr);
		plugView = nullptr;
		view = nullptr;
	}
	// Runs xdotool to its end while the loop serves the editor.
	bool xdotool (std::vector<std::string> args)
	{
		args.insert (args.begin (), "xdotool");
		const pid_t pid = fork ();
		if (pid == 0)
		{
			std::vector<char*> argv;
			for (auto& a : args)
				argv.push_back (a.data ());
			argv.push_back (nullptr);
			execvp (argv[0], argv.data ());
			_exit (127);
		}
		int status = 0;
		while (pid > 0 && waitpid (pid, &status, WNOHANG) != pid)
			loop.pump (10);
		loop.pump (250);
		return pid > 0 && WIFEXITED (status) && WEXITSTATUS (status) == 0;
	}
	static std::vector<std::string> at (const VSTGUI::CPoint& p)
	{
		return {std::to_string (std::lround (p.x)), std::to_string (std::lround (p.y))};
	}
	Pixels grab ()
	{
		Pixels p;
		XWindowAttributes attr;
		XGetWindowAttributes (display, window, &attr);
		XImage* image = XGetImage (display, window, 0, 0, attr.width, attr.height, AllPlanes, ZPixmap);
		if (!image)
			return p;
		p.width = attr.width;
		p.height = attr.height;
		for (int y = 0; y < p.height; ++y)
			for (int x = 0; x < p.width; ++x)
				p.rgb.push_back (static_cast<uint32_t> (XGetPixel (image, x, y)) & 0xffffff);
		XDestroyImage (image);
		return p;
	}
	static bool writePng (const Pixels& p, const char* path)
	{
		cairo_surface_t* s = cairo_image_surface_create (CAIRO_FORMAT_RGB24, p.width, p.height);
		auto* data = cairo_image_surface_get_data (s);
		for (int y = 0; y < p.height; ++y)
			std::memcpy (data + static_cast<size_t> (y) * cairo_image_surface_get_stride (s),
			             &p.rgb[static_cast<size_t> (y) * p.width], static_cast<size_t> (p.width) * 4);
		cairo_surface_mark_dirty (s);
		const bool ok = cairo_surface_write_to_png (s, path) == CAIRO_STATUS_SUCCESS;
		cairo_surface_destroy (s);
		return ok;
	}

	Display* display {nullptr};
	Window window {0};
	orvotest::RunLoop loop;
	IPtr<FakeMonitor> monitor = Steinberg::owned (new FakeMonitor ());
	IPtr<OrvoMonitorView> view;
	IPlugView* plugView {nullptr}; // the same, as a host sees it
};

TEST_F (MonitorWindow, DraggingTheRingTurnsTheHeadAsOneEdit)
{
	ASSERT_TRUE (open ());
	auto* top = view->getTopView ();
	ASSERT_TRUE (top);
	EXPECT_EQ (view->getRotationText (), "Head Rotation 0.0\xC2\xB0");
	// No layout from the processor yet: the default 5.1, its LFE apart.
	EXPECT_EQ (top->getSpeakerCount (), 6);

	// The handle (the room's front) from the top of the ring a quarter turn
	// clockwise: the front now lies at the right ear, so the head has turned
	// 90° to the left.
	const VSTGUI::CPoint handle = top->handleCentre ();
	const VSTGUI::CPoint right = top->getViewSize ().getCenter () + VSTGUI::CPoint (144, 0);
	auto drag = at (handle);
	drag.insert (drag.begin (), "mousemove");
	for (const auto& part : std::vector<std::string> {"mousedown", "1", "mousemove"})
		drag.push_back (part);
	for (const auto& part : at (right))
		drag.push_back (part);
	drag.push_back ("mouseup");
	drag.push_back ("1");
	ASSERT_TRUE (xdotool (drag));
	EXPECT_NEAR (monitor->values[kMonHeadRotation], 90., 1e-6);
	EXPECT_GE (monitor->performs[kMonHeadRotation], 1);
	EXPECT_EQ (monitor->begins[kMonHeadRotation], 1);
	EXPECT_EQ (monitor->ends[kMonHeadRotation], 1);
	EXPECT_EQ (view->getRotationText (), "Head Rotation 90.0\xC2\xB0");
	// The centre loudspeaker is heard at the right ear now.
	EXPECT_NEAR (top->speakerCentre (2).x, right.x - 40, 1e-6);

	// Ctrl-click faces the front again, as one more complete edit.
	auto reset = at (top->getViewSize ().getCenter ());
	reset.insert (reset.begin (), "mousemove");
	for (const auto& part : std::vector<std::string> {"keydown", "ctrl", "click", "1", "keyup", "ctrl"})
		reset.push_back (part);
	ASSERT_TRUE (xdotool (reset));
	EXPECT_EQ (monitor->values[kMonHeadRotation], 0.);
	EXPECT_EQ (monitor->begins[kMonHeadRotation], 2);
	EXPECT_EQ (monitor->ends[kMonHeadRotation], 2);

	// The buttons edit no parameter: one asks for the built-in set.
	auto builtIn = at (VSTGUI::CRect (516, 126, 616, 146).getCenter ());
	builtIn.insert (builtIn.begin (), "mousemove");
	builtIn.push_back ("click");
	builtIn.push_back ("1");
	ASSERT_TRUE (xdotool (builtIn));
	EXPECT_EQ (monitor->chosen, std::vector<std::string> {""});
	EXPECT_EQ (monitor->begins.size (), 1u);
	// Without zenity or kdialog (which VSTGUI asks for a file on Linux) the
	// other opens nothing and chooses nothing; with one, a dialog would wait.
	if (access ("/usr/bin/zenity", X_OK) != 0 && access ("/usr/bin/kdialog", X_OK) != 0)
	{
		auto choose = at (VSTGUI::CRect (410, 126, 508, 146).getCenter ());
		choose.insert (choose.begin (), "mousemove");
		choose.push_back ("click");
		choose.push_back ("1");
		ASSERT_TRUE (xdotool (choose));
		EXPECT_EQ (monitor->chosen.size (), 1u);
	}

	// The LFE's check box turns it off; the sub below the head dims.
	auto lfe = at (VSTGUI::CPoint (415, 264));
	lfe.insert (lfe.begin (), "mousemove");
	lfe.push_back ("click");
	lfe.push_back ("1");
	ASSERT_TRUE (xdotool (lfe));
	EXPECT_EQ (monitor->values[kMonLfeOn], 0.);
	EXPECT_EQ (monitor->begins[kMonLfeOn], 1);
	EXPECT_EQ (monitor->ends[kMonLfeOn], 1);
}

TEST_F (MonitorWindow, AStatusChangeShowsTheSetItsNoticeAndTheLoudspeakers)
{
	monitor->speakers = {30.f, -30.f, 0.f, 0.f, 110.f, -110.f};
	monitor->lfe = 3;
	monitor->values[kMonHeadRotation] = 30.;
	ASSERT_TRUE (open ());
	EXPECT_EQ (view->getHrtfText (), "HRTF: MIT KEMAR");
	EXPECT_EQ (view->getNoticeLine (0), "");
	EXPECT_EQ (view->getRotationText (), "Head Rotation 30.0\xC2\xB0");

	monitor->name = "MIT KEMAR";
	monitor->notice = "kemar_far.sofa holds no measurements on the horizontal plane; the built-in set "
	                  "plays instead, which is what you hear until another file is chosen or the "
	                  "built-in set is chosen again";
	monitor->statusChanged ();
	loop.pump (300);
	const std::string first = view->getNoticeLine (0), second = view->getNoticeLine (1);
	EXPECT_EQ (first.rfind ("kemar_far.sofa holds", 0), 0u) << first;
	// Too long for two lines: the second ends in an ellipsis.
	EXPECT_EQ (second.substr (second.size () - 3), "\xE2\x80\xA6") << second;

	// The picture: the centre loudspeaker (orange) 30° right of the nose,
	// the notice in amber, the head in the middle.
	const Pixels shot = grab ();
	ASSERT_EQ (shot.width, 640);
	ASSERT_EQ (shot.height, 420);
	EXPECT_TRUE (writePng (shot, ORVO_MONITOR_SHOT));
	auto* top = view->getTopView ();
	const VSTGUI::CPoint c = top->speakerCentre (2);
	const VSTGUI::CPoint mid = top->getViewSize ().getCenter ();
	EXPECT_NEAR (c.x - mid.x, 104 * std::sin (M_PI / 6), 1e-6);
	EXPECT_GT (shot.count (static_cast<int> (c.x), static_cast<int> (c.y), 8, 0xFF9A40, 30), 20);
	EXPECT_EQ (shot.count (static_cast<int> (mid.x), static_cast<int> (mid.y - 104), 8, 0xFF9A40, 30), 0)
	    << "nothing orange straight ahead";
	EXPECT_GT (shot.count (500, 166, 90, 0xF0B040, 40), 50) << "the notice in amber";

	// Quad without an LFE, then nothing at all: the view follows and draws.
	monitor->speakers = {45.f, -45.f, 135.f, -135.f};
	monitor->lfe = -1;
	monitor->notice.clear ();
	monitor->statusChanged ();
	EXPECT_EQ (top->getSpeakerCount (), 4);
	EXPECT_EQ (view->getNoticeLine (0), "");
	monitor->speakers.clear ();
	monitor->sofa = false;
	monitor->statusChanged ();
	loop.pump (200);
	EXPECT_EQ (top->getSpeakerCount (), 0);
	EXPECT_FALSE (view->getChooseButton ()->isVisible ()) << "no SOFA reader: no file to choose";
}

TEST_F (MonitorWindow, OpensAtItsZoomAtTheRightSize)
{
	for (double zoom : {1., 2.})
	{
		monitor->zoom = zoom;
		ASSERT_TRUE (open ());
		ViewRect r;
		plugView->getSize (&r);
		const Pixels shot = grab ();
		EXPECT_EQ (r.getWidth (), std::lround (640 * zoom));
		EXPECT_EQ (r.getHeight (), std::lround (420 * zoom));
		EXPECT_EQ (shot.width, r.getWidth ());
		EXPECT_EQ (shot.height, r.getHeight ());
		if (zoom == 2.)
			writePng (shot, ORVO_MONITOR_SHOT_200);
		// The right panel's colour at its place, in the zoom's pixels.
		EXPECT_EQ (shot.count (static_cast<int> (620 * zoom), static_cast<int> (300 * zoom), 2, 0x23262B, 4), 16);
		close ();
	}
}

} // namespace
