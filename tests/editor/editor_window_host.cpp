// A small X11 host for the editor in a real window (run under Xvfb): loads
// the built bundle, serves the editor a Linux::IRunLoop through its
// IPlugFrame as DAWs do, and checks what a user would see and do.
//
//   editor_window_host <screenshot.png> <screenshot at 200 %.png>
//
// 1. Opens the editor, takes a screenshot of the window and checks its size
//    and layout (panels, the polar display's well and curves, controls).
// 2. Drives controls with synthetic mouse input (xdotool) and checks that
//    the parameters moved.
// 3. Zooms the editor to 200 % from its selector and checks the window's size,
//    that the art is the 2x art, and that a reopened editor keeps the zoom.
// 4. Opens and closes the editor 20 times in one process, twice of them with
//    two instances open at once, while the processor renders audio.
// Prints one line per check and "N passed, M failed"; exits non-zero on any
// failure.

#include "testhost.h"
#include "x11_host_loop.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace orvotest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kEditorWidth = 955;
constexpr int kEditorHeight = 510;

int passed = 0;
int failed = 0;

void check (bool ok, const std::string& what)
{
	std::printf ("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str ());
	std::fflush (stdout);
	(ok ? passed : failed)++;
}

// Records the edits the controller reports to its host.
class ComponentHandler : public IComponentHandler
{
public:
	tresult PLUGIN_API beginEdit (ParamID id) override
	{
		++begins[id];
		return kResultOk;
	}
	tresult PLUGIN_API performEdit (ParamID id, ParamValue value) override
	{
		edits[id] = value;
		++performs[id];
		return kResultOk;
	}
	tresult PLUGIN_API endEdit (ParamID id) override
	{
		++ends[id];
		return kResultOk;
	}
	tresult PLUGIN_API restartComponent (int32) override { return kResultOk; }
	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
	{
		QUERY_INTERFACE (iid, obj, FUnknown::iid, IComponentHandler)
		QUERY_INTERFACE (iid, obj, IComponentHandler::iid, IComponentHandler)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1000; }
	uint32 PLUGIN_API release () override { return 1000; }

	std::map<ParamID, ParamValue> edits;
	std::map<ParamID, int> performs, begins, ends;
};

IPtr<IEditController> createController (ComponentHandler* handler)
{
	auto module = loadModule ();
	if (!module)
		return nullptr;
	for (const auto& info : module->getFactory ().classInfos ())
	{
		if (info.category () != kVstComponentControllerClass)
			continue;
		auto controller = module->getFactory ().createInstance<IEditController> (info.ID ());
		if (controller && controller->initialize (hostContext ()) == kResultOk)
		{
			controller->setComponentHandler (handler);
			return controller;
		}
	}
	return nullptr;
}

// One top-level X window holding one editor.
struct HostWindow
{
	HostWindow (Display* d, int x, int y) : display (d)
	{
		window = XCreateSimpleWindow (display, DefaultRootWindow (display), x, y, 400, 300, 0, 0,
		                              0x202020);
		XMapWindow (display, window);
		XSync (display, False);
	}
	~HostWindow ()
	{
		XDestroyWindow (display, window);
		XSync (display, False);
	}
	void fit (const ViewRect& r)
	{
		XResizeWindow (display, window, static_cast<unsigned> (r.getWidth ()),
		               static_cast<unsigned> (r.getHeight ()));
		XSync (display, False);
	}
	Display* display;
	Window window;
};

// An editor opened the way a VST 3 host opens it.
struct OpenEditor
{
	OpenEditor (IEditController* controller, RunLoop& loop, HostWindow& window)
	{
		view = owned (controller->createView (ViewType::kEditor));
		if (!view)
			return;
		view->setFrame (&loop);
		attached = view->isPlatformTypeSupported (kPlatformTypeX11EmbedWindowID) == kResultTrue &&
		           view->attached (reinterpret_cast<void*> (window.window),
		                           kPlatformTypeX11EmbedWindowID) == kResultOk;
		ViewRect r;
		if (attached && view->getSize (&r) == kResultOk)
			window.fit (r);
	}
	~OpenEditor () { close (); }
	void close ()
	{
		if (view && attached)
			view->removed ();
		if (view)
			view->setFrame (nullptr);
		attached = false;
		view = nullptr;
	}
	IPtr<IPlugView> view;
	bool attached {false};
};

// Runs a program to its end while the loop keeps the editors alive.
bool runTool (RunLoop& loop, std::vector<std::string> args)
{
	pid_t pid = fork ();
	if (pid == 0)
	{
		std::vector<char*> argv;
		for (auto& a : args)
			argv.push_back (a.data ());
		argv.push_back (nullptr);
		execvp (argv[0], argv.data ());
		_exit (127);
	}
	if (pid < 0)
		return false;
	int status = 0;
	for (;;)
	{
		pid_t r = waitpid (pid, &status, WNOHANG);
		if (r == pid)
			break;
		loop.pump (10);
	}
	return WIFEXITED (status) && WEXITSTATUS (status) == 0;
}

bool click (RunLoop& loop, int x, int y, int button = 1)
{
	bool ok = runTool (loop, {"xdotool", "mousemove", std::to_string (x), std::to_string (y),
	                          "click", std::to_string (button)});
	loop.pump (250);
	return ok;
}

struct Pixels
{
	int width {0}, height {0};
	std::vector<uint32_t> rgb; // 0x00RRGGBB

	uint32_t at (int x, int y) const { return rgb[static_cast<size_t> (y) * width + x]; }
	static int r (uint32_t c) { return (c >> 16) & 0xff; }
	static int g (uint32_t c) { return (c >> 8) & 0xff; }
	static int b (uint32_t c) { return c & 0xff; }
	bool near (int x, int y, int r0, int g0, int b0, int tolerance) const
	{
		uint32_t c = at (x, y);
		return std::abs (r (c) - r0) <= tolerance && std::abs (g (c) - g0) <= tolerance &&
		       std::abs (b (c) - b0) <= tolerance;
	}
	// Brightest grey level in a small square (controls are thin lines).
	int brightest (int x0, int y0, int size) const
	{
		int best = 0;
		for (int y = y0; y < y0 + size; ++y)
			for (int x = x0; x < x0 + size; ++x)
				best = std::max (best, g (at (x, y)));
		return best;
	}
};

Pixels grab (Display* display, Window window)
{
	Pixels p;
	XWindowAttributes attr;
	XGetWindowAttributes (display, window, &attr);
	XImage* image = XGetImage (display, window, 0, 0, attr.width, attr.height, AllPlanes, ZPixmap);
	if (!image)
		return p;
	p.width = attr.width;
	p.height = attr.height;
	p.rgb.resize (static_cast<size_t> (p.width) * p.height);
	for (int y = 0; y < p.height; ++y)
		for (int x = 0; x < p.width; ++x)
			p.rgb[static_cast<size_t> (y) * p.width + x] =
			    static_cast<uint32_t> (XGetPixel (image, x, y)) & 0xffffff;
	XDestroyImage (image);
	return p;
}

bool writePng (const Pixels& p, const char* path)
{
	cairo_surface_t* s = cairo_image_surface_create (CAIRO_FORMAT_RGB24, p.width, p.height);
	auto* data = cairo_image_surface_get_data (s);
	const int stride = cairo_image_surface_get_stride (s);
	for (int y = 0; y < p.height; ++y)
		std::copy (&p.rgb[static_cast<size_t> (y) * p.width],
		           &p.rgb[static_cast<size_t> (y) * p.width] + p.width,
		           reinterpret_cast<uint32_t*> (data + static_cast<size_t> (y) * stride));
	cairo_surface_mark_dirty (s);
	bool ok = cairo_surface_write_to_png (s, path) == CAIRO_STATUS_SUCCESS;
	cairo_surface_destroy (s);
	return ok;
}

double plain (IEditController* c, ParamID id)
{
	return c->normalizedParamToPlain (id, c->getParamNormalized (id));
}

// Meter levels as the host delivers them from the processor, held while the
// loop runs so the meters stay up for the screenshot.
void feedMeters (IEditController* c)
{
	static const double levels[] = {0.5, 0.35, 0.2, 0.6, 0.55, 0.4, 0.25, 0.22};
	for (int i = 0; i < 8; ++i)
		c->setParamNormalized (static_cast<ParamID> (23 + i), levels[i]);
}

Pixels layoutAndControls (Display* display, RunLoop& loop, const char* screenshot)
{
	Pixels firstShot;
	ComponentHandler handler;
	auto controller = createController (&handler);
	check (controller != nullptr, "controller created from the bundle's factory");
	if (!controller)
		return firstShot;
	HostWindow window (display, 0, 0);
	OpenEditor editor (controller, loop, window);
	check (editor.view != nullptr, "createView(\"editor\") returns a view");
	check (editor.attached, "the view attaches to an X11 window");
	if (!editor.attached)
		return firstShot;
	ViewRect size;
	editor.view->getSize (&size);
	check (size.getWidth () == kEditorWidth && size.getHeight () == kEditorHeight,
	       "getSize is 955 x 510");
	check (editor.view->canResize () == kResultFalse, "the editor has a fixed size");
	check (editor.view->isPlatformTypeSupported (kPlatformTypeHWND) != kResultTrue,
	       "no HWND on Linux");
	// A second attach while the window is open is refused.
	check (editor.view->attached (reinterpret_cast<void*> (window.window),
	                              kPlatformTypeX11EmbedWindowID) != kResultOk,
	       "a second attach while open is refused");

	loop.pump (600, [&] { feedMeters (controller); });
	Pixels shot = grab (display, window.window);
	firstShot = shot;
	check (shot.width == kEditorWidth && shot.height == kEditorHeight, "window is 955 x 510");
	if (shot.width != kEditorWidth || shot.height != kEditorHeight)
		return firstShot;
	check (writePng (shot, screenshot), std::string ("screenshot written to ") + screenshot);

	std::set<uint32_t> colours (shot.rgb.begin (), shot.rgb.end ());
	check (colours.size () > 200, "the window is not blank (" + std::to_string (colours.size ()) +
	                                  " colours)");
	// Panels where the background puts them: side panels, centre panel, well.
	check (shot.near (20, 250, 35, 38, 43, 6), "left panel");
	check (shot.near (935, 230, 35, 38, 43, 6), "right panel");
	check (shot.near (330, 340, 49, 53, 59, 6), "centre panel");
	check (shot.near (470, 58, 24, 26, 29, 6), "the polar display's well");
	// The polar display draws the five curves from the controller's record.
	int curvePixels = 0;
	for (int y = 43; y < 328; ++y)
		for (int x = 335; x < 620; ++x)
		{
			uint32_t c = shot.at (x, y);
			int spread = std::max ({Pixels::r (c), Pixels::g (c), Pixels::b (c)}) -
			             std::min ({Pixels::r (c), Pixels::g (c), Pixels::b (c)});
			curvePixels += spread > 90;
		}
	check (curvePixels > 1500, "polar curves drawn (" + std::to_string (curvePixels) + " coloured pixels)");
	// Width's knob at 80 degrees: 5/6 of the track; lit meters.
	check (shot.brightest (189, 296, 8) >= 180, "Width slider knob at its value");
	check (shot.near (830, 267, 190, 190, 190, 12), "Cardioid Front meter lit");
	check (shot.near (920, 466, 44, 47, 52, 12), "Right Surround meter dark at its top end");
	// Beamshaping on (default): the polar-pattern rows are disabled (dim).
	check (shot.brightest (139, 108, 9) < 120, "Mic Response L/R disabled while Beamshaping is on");

	// Mouse: the third output format (L, R, Ls, Rs) from its caption.
	click (loop, 740, 95);
	check (std::abs (plain (controller, 6) - 2) < 1e-6, "clicking \"L, R, Ls, Rs\" sets Output Format 2");
	check (handler.performs[8] >= 1 && std::abs (plain (controller, 8) - 50) < 1e-3,
	       "the format's preset reached the host (Width 50)");
	// Width slider: the middle of the track is 60 degrees.
	click (loop, 160, 301);
	check (std::abs (plain (controller, 8) - 60) < 1e-3,
	       "clicking the Width track's middle sets 60 (" + std::to_string (plain (controller, 8)) + ")");
	check (handler.begins[8] >= 1 && handler.ends[8] >= 1, "the drag is bracketed by begin/end edit");
	// First Order from the Beamshaping caption's upper line.
	click (loop, 90, 55);
	check (plain (controller, 1) == 0, "clicking \"First Order\" turns Beamshaping off");
	loop.pump (200);
	Pixels after = grab (display, window.window);
	check (after.brightest (139, 108, 9) >= 180, "Mic Response L/R enabled after Beamshaping off");
	// Typing into the Width field: the number becomes the parameter.
	click (loop, 232, 298);
	runTool (loop, {"xdotool", "key", "--delay", "20", "ctrl+a", "BackSpace", "BackSpace", "BackSpace",
	                "4", "5", "Return"});
	loop.pump (250);
	check (std::abs (plain (controller, 8) - 45) < 1e-3,
	       "typing 45 into the Width field sets 45 (" + std::to_string (plain (controller, 8)) + ")");
	// The polar display: a press 100 px right of the centre points Direction right.
	click (loop, 577, 185);
	check (std::abs (plain (controller, 13) - 90) < 1e-3, "a press right of the centre sets Direction 90");
	click (loop, 577, 185, 4);
	const double wheeled = plain (controller, 13);
	check (std::abs (std::abs (wheeled - 90) - 1) < 1e-3,
	       "one wheel notch on the display turns Direction by 1 degree (" + std::to_string (wheeled) + ")");
	// Mute L/R (C has no output in this format: its button is disabled).
	click (loop, 703, 171);
	check (plain (controller, 18) == 0, "the C mute button is disabled without a C output");
	click (loop, 703, 191);
	check (plain (controller, 17) == 1, "the L, R mute button mutes L/R");
	// The about screen opens and closes without editing anything.
	const auto performsBefore = handler.performs;
	click (loop, 477, 470);
	Pixels about = grab (display, window.window);
	check (about.near (20, 20, 0, 0, 0, 4), "a click on the title opens the about screen");
	std::string aboutShot (screenshot);
	aboutShot.insert (aboutShot.rfind ('.'), "_about");
	writePng (about, aboutShot.c_str ());
	click (loop, 477, 470);
	Pixels closed = grab (display, window.window);
	check (closed.near (20, 250, 35, 38, 43, 6), "a second click closes it");
	check (handler.performs == performsBefore, "the about screen edits nothing");

	editor.close ();
	controller->terminate ();
	return firstShot;
}

// The 2x background art as the bundle carries it, in the screenshot's form.
Pixels doubleArt ()
{
	Pixels p;
	cairo_surface_t* s =
	    cairo_image_surface_create_from_png (ORVO_BUNDLE_PATH "/Contents/Resources/bmp00101_2x.png");
	if (cairo_surface_status (s) == CAIRO_STATUS_SUCCESS)
	{
		cairo_surface_flush (s);
		p.width = cairo_image_surface_get_width (s);
		p.height = cairo_image_surface_get_height (s);
		const auto* data = cairo_image_surface_get_data (s);
		const int stride = cairo_image_surface_get_stride (s);
		p.rgb.resize (static_cast<size_t> (p.width) * p.height);
		for (int y = 0; y < p.height; ++y)
			for (int x = 0; x < p.width; ++x)
				p.rgb[static_cast<size_t> (y) * p.width + x] =
				    reinterpret_cast<const uint32_t*> (data + static_cast<size_t> (y) * stride)[x] & 0xffffff;
	}
	cairo_surface_destroy (s);
	return p;
}

// Mean absolute difference of the grey levels of 'a' and 'b' over a region
// (in the pixels of both); 'b' read at half resolution doubled when
// 'bHalf' (a 1x picture blown up to 2x by repeating pixels).
double meanDifference (const Pixels& a, const Pixels& b, int x0, int y0, int x1, int y1, bool bHalf)
{
	double sum = 0;
	int n = 0;
	for (int y = y0; y < y1; ++y)
		for (int x = x0; x < x1; ++x)
		{
			const uint32_t cb = bHalf ? b.at (x / 2, y / 2) : b.at (x, y);
			sum += std::abs (Pixels::g (a.at (x, y)) - Pixels::g (cb));
			++n;
		}
	return n ? sum / n : 0;
}

// 200 % chosen in the editor: the host's window follows, the art is the 2x
// art pixel for pixel (not the 1x art enlarged), a 1-pixel line of the design
// is 2 sharp pixels, and the zoom holds when the editor is closed and opened
// again.
void zoomed (Display* display, RunLoop& loop, const char* screenshot, const Pixels& atOne)
{
	ComponentHandler handler;
	auto controller = createController (&handler);
	if (!controller)
		return;
	HostWindow window (display, 0, 0);
	loop.onResize = [&window] (const ViewRect& r) { window.fit (r); };
	{
		OpenEditor editor (controller, loop, window);
		check (editor.attached, "the editor opens at 100 %");
		// The selector's fourth segment (200 %): 534 to 638, four equal parts.
		click (loop, 625, 24);
		loop.pump (300, [&] { feedMeters (controller); });
		ViewRect size;
		editor.view->getSize (&size);
		check (size.getWidth () == 2 * kEditorWidth && size.getHeight () == 2 * kEditorHeight &&
		           loop.lastResize.getWidth () == 2 * kEditorWidth,
		       "200 % chosen in the editor: the view asks its host for 1910 x 1020");
		Pixels shot = grab (display, window.window);
		check (shot.width == 2 * kEditorWidth && shot.height == 2 * kEditorHeight,
		       "the window is 1910 x 1020 (" + std::to_string (shot.width) + " x " +
		           std::to_string (shot.height) + ")");
		if (shot.width != 2 * kEditorWidth || shot.height != 2 * kEditorHeight)
			return;
		check (writePng (shot, screenshot), std::string ("screenshot written to ") + screenshot);
		check (shot.near (40, 500, 35, 38, 43, 6) && shot.near (1870, 460, 35, 38, 43, 6) &&
		           shot.near (660, 680, 49, 53, 59, 6) && shot.near (940, 116, 24, 26, 29, 6),
		       "panels and the well at twice their places");
		// The left panel's 1-pixel outline (x 8 at 100 %): window, two
		// pixels of outline, panel; an enlarged 1x picture would blur it.
		check (shot.near (15, 500, 20, 22, 25, 3) && shot.near (16, 500, 62, 67, 74, 3) &&
		           shot.near (17, 500, 62, 67, 74, 3) && shot.near (18, 500, 35, 38, 43, 3),
		       "the panel outline is 2 sharp pixels wide");
		// The title and a section caption, where no control draws: the 2x
		// art itself, visibly unlike the 100 % window enlarged.
		const Pixels art = doubleArt ();
		struct Region
		{
			int x0, y0, x1, y1;
			const char* name;
		};
		for (const Region& r : {Region {680, 750, 1230, 900, "title"}, Region {44, 40, 280, 72, "caption"}})
		{
			const double toArt = art.width == shot.width ? meanDifference (shot, art, r.x0, r.y0, r.x1, r.y1, false) : 255;
			const double toEnlarged =
			    atOne.width == kEditorWidth ? meanDifference (shot, atOne, r.x0, r.y0, r.x1, r.y1, true) : 0;
			check (toArt < 1 && toEnlarged > 3 * toArt + 1,
			       std::string ("the ") + r.name + " is drawn from the 2x art (mean difference " +
			           std::to_string (toArt) + ", to the 100 % window enlarged " +
			           std::to_string (toEnlarged) + ")");
		}
		// The fields' numbers are drawn by the font at 200 %, not enlarged:
		// the Width field's digits have edges as fine as one 2x pixel.
		int fineEdges = 0;
		for (int y = 2 * 294; y < 2 * 310; ++y)
			for (int x = 2 * 225; x < 2 * 249; x += 2)
				fineEdges += Pixels::g (shot.at (x, y)) != Pixels::g (shot.at (x + 1, y));
		check (fineEdges > 20, "the Width field's text is drawn at 200 % (" + std::to_string (fineEdges) +
		                           " pixel pairs split by an edge)");
	}
	// Closed and opened again: the controller kept the zoom.
	{
		OpenEditor editor (controller, loop, window);
		ViewRect size;
		editor.view->getSize (&size);
		loop.pump (200);
		Pixels shot = grab (display, window.window);
		check (size.getWidth () == 2 * kEditorWidth && shot.width == 2 * kEditorWidth,
		       "reopened at 200 %");
		click (loop, 2 * 547, 2 * 24);
		ViewRect back;
		editor.view->getSize (&back);
		check (back.getWidth () == kEditorWidth && back.getHeight () == kEditorHeight,
		       "100 % from the selector at 200 % brings the window back to 955 x 510");
	}
	loop.onResize = nullptr;
	controller->terminate ();
}

void reopen (Display* display, RunLoop& loop)
{
	// The processor renders on its own thread meanwhile, as in a playing host.
	std::atomic<bool> running {true};
	std::thread audio ([&running] {
		PluginInstance plugin;
		if (!plugin.valid () || plugin.setup (48000, 256) != kResultOk || plugin.activate (true) != kResultOk)
			return;
		Audio in (3, std::vector<float> (256)), out (6, std::vector<float> (256));
		unsigned seed = 1;
		while (running)
		{
			for (auto& ch : in)
				for (auto& s : ch)
					s = static_cast<float> ((seed = seed * 1664525u + 1013904223u) >> 8) / 16777216.f - 0.5f;
			plugin.processBlock (in, out, 0, 256);
		}
	});

	ComponentHandler handlerA, handlerB;
	auto a = createController (&handlerA);
	auto b = createController (&handlerB);
	int opened = 0;
	const size_t handlersBefore = loop.handlerCount ();
	int automation = 0;
	for (int cycle = 0; cycle < 20; ++cycle)
	{
		const bool two = cycle == 7 || cycle == 15;
		// Some hosts destroy their window before they detach the view.
		const bool windowGoesFirst = cycle == 11;
		auto windowA = std::make_unique<HostWindow> (display, 0, 0);
		std::unique_ptr<HostWindow> windowB;
		OpenEditor editorA (a, loop, *windowA);
		std::unique_ptr<OpenEditor> editorB;
		if (two)
		{
			windowB = std::make_unique<HostWindow> (display, 0, 520);
			editorB = std::make_unique<OpenEditor> (b, loop, *windowB);
		}
		// Meters and automation arrive while the editors are open.
		loop.pump (120, [&] {
			feedMeters (a);
			a->setParamNormalized (13, (++automation % 100) / 100.0);
			b->setParamNormalized (8, (automation % 50) / 50.0);
		});
		opened += editorA.attached && (!two || editorB->attached);
		if (windowGoesFirst)
		{
			windowA = nullptr;
			loop.pump (20);
		}
		if (two)
			editorB->close ();
		editorA.close ();
		loop.pump (20);
	}
	running = false;
	audio.join ();
	check (opened == 20, "20 open/close cycles in one process, two of them with two editors, one "
	                     "window destroyed before the view was removed, audio and automation running (" +
	                         std::to_string (opened) + " opened)");
	check (loop.handlerCount () == handlersBefore, "every closed editor left the run loop");
	a->terminate ();
	b->terminate ();
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 3)
	{
		std::fprintf (stderr, "usage: editor_window_host <screenshot.png> <screenshot at 200 %%.png>\n");
		return 2;
	}
	Display* display = XOpenDisplay (nullptr);
	if (!display)
	{
		std::fprintf (stderr, "editor_window_host: no X display\n");
		return 1;
	}
	RunLoop loop;
	const Pixels atOne = layoutAndControls (display, loop, argv[1]);
	zoomed (display, loop, argv[2], atOne);
	reopen (display, loop);
	XCloseDisplay (display);
	std::printf ("%d passed, %d failed\n", passed, failed);
	return failed == 0 && passed > 0 ? 0 : 1;
}
