// vstgui_win32: VSTGUI as the Windows editor uses it, in a MinGW build under
// Wine: bitmaps from PNG resources compiled in by orvo_windows_png_resources
// (found by number through the instance handle given to VSTGUI), Direct2D
// drawing into an offscreen bitmap, and a frame opened as the child of a
// host's window handle ("HWND") and closed again.
//
// Checks what a MinGW build could get wrong: the resource script, the
// patched and relinked VSTGUI sources, the instance handle. The window part
// needs a display (xvfb-run); without one it reports the missing window.

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/vstguiinit.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

using namespace VSTGUI;

namespace {

int failures = 0;

void check (bool ok, const char* what)
{
	std::printf ("%s: %s\n", ok ? "ok" : "FAILED", what);
	if (!ok)
		++failures;
}

} // namespace

int main ()
{
	std::setvbuf (stdout, nullptr, _IONBF, 0);
	// A host's UI thread has COM set up; VSTGUI's image decoder (WIC) needs it.
	CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED);
	HINSTANCE instance = GetModuleHandleW (nullptr);
	VSTGUI::init (instance);
	{
		// Resources 101 (8 x 4, red) and 102 (3 x 5, blue), in that order.
		auto red = makeOwned<CBitmap> (CResourceDescription (101));
		auto blue = makeOwned<CBitmap> (CResourceDescription (102));
		check (red->getWidth () == 8 && red->getHeight () == 4, "PNG resource 101 is the 8 x 4 image");
		check (blue->getWidth () == 3 && blue->getHeight () == 5, "PNG resource 102 is the 3 x 5 image");
		auto missing = makeOwned<CBitmap> (CResourceDescription (150));
		check (missing->getWidth () == 0, "no PNG resource 150");

		// A frame as the child of the host's window.
		HWND parent = CreateWindowExW (0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
		                               nullptr, nullptr, instance, nullptr);
		if (!parent)
			check (false, "host window (is there a display?)");
		else
		{
			auto frame = new CFrame ({0, 0, 200, 100}, nullptr);
			frame->setBackground (blue);
			const bool opened = frame->open (parent, PlatformType::kHWND);
			check (opened && frame->getPlatformFrame () != nullptr, "frame opened in the host's HWND");
			HWND child = GetWindow (parent, GW_CHILD);
			RECT r {};
			if (child)
				GetClientRect (child, &r);
			check (child && r.right == 200 && r.bottom == 100, "the frame's 200 x 100 child window");
			ShowWindow (parent, SW_SHOW);
			frame->invalid ();
			MSG msg;
			for (int i = 0; i < 50; ++i)
			{
				while (PeekMessageW (&msg, nullptr, 0, 0, PM_REMOVE))
				{
					TranslateMessage (&msg);
					DispatchMessageW (&msg);
				}
				Sleep (10);
			}
			frame->close (); // releases the frame
			check (GetWindow (parent, GW_CHILD) == nullptr, "the child window is gone after close");
			DestroyWindow (parent);
		}
	}
	VSTGUI::exit ();
	CoUninitialize ();
	std::printf ("%s\n", failures ? "FAILED" : "VSTGUI on Windows: ok");
	return failures ? 1 : 0;
}
