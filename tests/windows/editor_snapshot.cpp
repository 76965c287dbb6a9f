// editor_snapshot: the Windows editor as a user would see it, under Wine.
// Wine shows an editor's Direct2D window black, so the main view is drawn
// into an offscreen bitmap instead (Direct2D on a WIC bitmap, the path every
// Windows editor draws through) and saved as a PNG; its layout is then
// compared with the Linux editor's screenshot.
//
//   editor_snapshot <snapshot.png> <linux editor screenshot.png>
//
// The two pictures come from the same art and layout, drawn by different
// graphics stacks and fonts, with the meters lit only in the Linux one. The
// comparison is of what a user would notice: the size, the three panels and
// the polar display's well in their places (mean colours of regions), content
// that is not black, the section captions, choices and the title (their edge
// maps agree) and the curves of the polar display. The editor's Direct2D
// device comes from a hidden window, so the program needs a display (Xvfb).

#include "controller/orvocontroller.h"
#include "editor/orvoview.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/coffscreencontext.h"
#include "vstgui/lib/platform/iplatformbitmap.h"
#include "vstgui/lib/cvstguitimer.h"
#include "vstgui/lib/platform/platformfactory.h"
#include "vstgui/lib/platform/win32/win32factory.h"
#include "vstgui/lib/vstguiinit.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The module handle that the SDK's module code reads; in a module its entry
// point sets it, here the program's own instance (where the art is).
void* moduleHandle = nullptr;

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace VSTGUI;

namespace {

int failures = 0;

void check (bool ok, const std::string& what)
{
	std::printf ("%s: %s\n", ok ? "ok" : "FAILED", what.c_str ());
	if (!ok)
		++failures;
}

struct Picture
{
	int width {0}, height {0};
	std::vector<CColor> pixels;
	const CColor& at (int x, int y) const { return pixels[static_cast<size_t> (y) * width + x]; }
};

Picture read (CBitmap* bitmap)
{
	Picture p;
	auto access = VSTGUI::owned (CBitmapPixelAccess::create (bitmap, false));
	if (!access)
		return p;
	p.width = static_cast<int> (access->getBitmapWidth ());
	p.height = static_cast<int> (access->getBitmapHeight ());
	p.pixels.resize (static_cast<size_t> (p.width) * p.height);
	size_t i = 0;
	do
		access->getColor (p.pixels[i++]);
	while (++*access && i < p.pixels.size ());
	return p;
}

struct Region
{
	int x0, y0, x1, y1;
	const char* name;
};

// Mean red, green and blue of a region.
void mean (const Picture& p, const Region& r, double rgb[3])
{
	rgb[0] = rgb[1] = rgb[2] = 0;
	int n = 0;
	for (int y = r.y0; y < r.y1; ++y)
		for (int x = r.x0; x < r.x1; ++x, ++n)
		{
			rgb[0] += p.at (x, y).red;
			rgb[1] += p.at (x, y).green;
			rgb[2] += p.at (x, y).blue;
		}
	for (int c = 0; c < 3; ++c)
		rgb[c] /= std::max (n, 1);
}

double grey (const CColor& c) { return 0.299 * c.red + 0.587 * c.green + 0.114 * c.blue; }

// Horizontal edges of a region: where the grey level steps by more than 40.
std::vector<bool> edges (const Picture& p, const Region& r)
{
	std::vector<bool> e;
	for (int y = r.y0; y < r.y1; ++y)
		for (int x = r.x0; x < r.x1; ++x)
			e.push_back (std::abs (grey (p.at (x + 1, y)) - grey (p.at (x, y))) > 40);
	return e;
}

// Of the edge pixels of either picture, the share that both have, allowing
// one pixel of shift (the same art placed by two graphics stacks).
double edgeAgreement (const Picture& a, const Picture& b, const Region& r)
{
	const int w = r.x1 - r.x0;
	const auto ea = edges (a, r), eb = edges (b, r);
	auto nearEdge = [&] (const std::vector<bool>& e, size_t i) {
		const int x = static_cast<int> (i % w);
		return e[i] || (x > 0 && e[i - 1]) || (x + 1 < w && e[i + 1]);
	};
	int both = 0, any = 0;
	for (size_t i = 0; i < ea.size (); ++i)
	{
		if (!ea[i] && !eb[i])
			continue;
		++any;
		both += nearEdge (ea, i) && nearEdge (eb, i);
	}
	return any ? static_cast<double> (both) / any : 0;
}

int colouredPixels (const Picture& p, const Region& r)
{
	int n = 0;
	for (int y = r.y0; y < r.y1; ++y)
		for (int x = r.x0; x < r.x1; ++x)
		{
			const CColor& c = p.at (x, y);
			n += std::max ({c.red, c.green, c.blue}) - std::min ({c.red, c.green, c.blue}) > 90;
		}
	return n;
}

bool writePng (CBitmap* bitmap, const char* path)
{
	auto png = getPlatformFactory ().createBitmapMemoryPNGRepresentation (bitmap->getPlatformBitmap ());
	if (png.empty ())
		return false;
	FILE* f = std::fopen (path, "wb");
	if (!f)
		return false;
	const bool ok = std::fwrite (png.data (), 1, png.size (), f) == png.size ();
	return std::fclose (f) == 0 && ok;
}

void compare (const Picture& win, const Picture& linux)
{
	check (win.width == 955 && win.height == 510,
	       "the offscreen picture is 955 x 510 (" + std::to_string (win.width) + " x " +
	           std::to_string (win.height) + ")");
	check (linux.width == 955 && linux.height == 510, "the Linux screenshot is 955 x 510");
	if (win.width != 955 || win.height != 510 || linux.width != 955 || linux.height != 510)
		return;
	int lit = 0;
	for (const auto& c : win.pixels)
		lit += grey (c) > 12;
	check (lit > static_cast<int> (win.pixels.size ()) * 9 / 10,
	       "the picture is not black (" + std::to_string (lit) + " pixels lit)");

	// Plain stretches of the panels and the well: the same mean colour.
	for (const Region& r : {Region {14, 245, 40, 265, "left panel"}, Region {318, 335, 332, 345, "centre panel"},
	                        Region {930, 225, 942, 240, "right panel"}, Region {460, 55, 480, 62, "well"},
	                        Region {0, 0, 955, 4, "window edge"}})
	{
		double a[3], b[3];
		mean (win, r, a);
		mean (linux, r, b);
		const double diff = std::max ({std::abs (a[0] - b[0]), std::abs (a[1] - b[1]), std::abs (a[2] - b[2])});
		char what[160];
		std::snprintf (what, sizeof (what), "%s: mean colour %.0f,%.0f,%.0f (Linux %.0f,%.0f,%.0f)", r.name,
		               a[0], a[1], a[2], b[0], b[1], b[2]);
		check (diff <= 6, what);
	}
	// Captions and the title, drawn from the same art: their edges agree.
	for (const Region& r :
	     {Region {22, 20, 140, 36, "POLAR PATTERN caption"}, Region {22, 264, 180, 278, "MICROPHONE ANGLE caption"},
	      Region {667, 20, 790, 36, "OUTPUT FORMAT caption"}, Region {340, 376, 615, 450, "title"},
	      Region {40, 46, 175, 86, "Beamshaping choices"}, Region {697, 46, 800, 126, "output formats"}})
	{
		const double agree = edgeAgreement (win, linux, r);
		check (agree > 0.8, std::string (r.name) + " in place (edges agree " +
		                        std::to_string (static_cast<int> (agree * 100)) + " %)");
	}
	// Drawn by the editor itself: the five curves. (Wine's Direct2D fills no
	// path and draws no text into a bitmap, so the fields' numbers and the
	// sliders' knobs are not there to compare; on Windows they are drawn as
	// on Linux, through the same VSTGUI calls.)
	const int curves = colouredPixels (win, Region {335, 43, 620, 328, "polar display"});
	check (curves > 1500, "the polar display's curves (" + std::to_string (curves) + " coloured pixels)");
}

} // namespace

int main (int argc, char** argv)
{
	std::setvbuf (stdout, nullptr, _IONBF, 0);
	if (argc != 3)
	{
		std::fprintf (stderr, "usage: editor_snapshot <snapshot.png> <linux editor screenshot.png>\n");
		return 2;
	}
	// A host's UI thread has COM set up; VSTGUI's image decoder (WIC) needs it.
	CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED);
	moduleHandle = GetModuleHandleW (nullptr);
	VSTGUI::init (static_cast<HINSTANCE> (moduleHandle));
	{
		HostApplication host;
		auto controller = Steinberg::owned (new OrvoController ());
		check (controller->initialize (&host) == kResultOk, "controller initialized");
		auto plugView = Steinberg::owned (controller->createView (ViewType::kEditor));
		auto* view = dynamic_cast<OrvoView*> (plugView.get ());
		check (view && view->openWithoutWindow (), "the editor's view built");
		if (view)
		{
			controller->addView (view);
			// The art at both densities, the 2x from the named PNG resources.
			CBitmap* art = view->getFrame ()->getView (0)->getDrawBackground ();
			auto sharp = art ? art->getBestPlatformBitmapForScaleFactor (2.) : nullptr;
			check (sharp && sharp->getScaleFactor () == 2. && sharp->getSize ().x == 1910,
			       "the background art has its 2x image (resource bmp00101_2x)");
			// The first tick fetches the polar response, as the timer does.
			view->notify (nullptr, CVSTGUITimer::kMsgTimer);
			// VSTGUI takes its Direct2D device from DirectComposition, which
			// Wine lacks, or from the first window it draws into: a hidden
			// host window gives it one (this needs a display: Xvfb).
			HWND window = CreateWindowExW (0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 955, 510,
			                               nullptr, nullptr, GetModuleHandleW (nullptr), nullptr);
			check (window && getPlatformFactory ().asWin32Factory ()->createGraphicsDeviceContext (window),
			       "a Direct2D device from a window (is there a display?)");
			auto offscreen = COffscreenContext::create ({955, 510}, 1.);
			check (offscreen != nullptr, "an offscreen Direct2D bitmap");
			if (offscreen)
			{
				offscreen->beginDraw ();
				view->getFrame ()->drawRect (offscreen, view->getFrame ()->getViewSize ());
				offscreen->endDraw ();
				check (writePng (offscreen->getBitmap (), argv[1]), std::string ("snapshot written to ") + argv[1]);
				auto linuxShot = getPlatformFactory ().createBitmapFromPath (argv[2]);
				check (linuxShot != nullptr, std::string ("Linux screenshot read from ") + argv[2]);
				if (linuxShot)
				{
					auto linuxBitmap = makeOwned<CBitmap> (linuxShot);
					compare (read (offscreen->getBitmap ()), read (linuxBitmap));
				}
			}
			controller->removeView (view);
			view->close ();
			if (window)
				DestroyWindow (window);
		}
		plugView = nullptr;
		controller->terminate ();
	}
	VSTGUI::exit ();
	CoUninitialize ();
	std::printf ("%s\n", failures ? "FAILED" : "the Windows editor matches the Linux layout");
	return failures ? 1 : 0;
}
