// editor_win32: the Windows module's editor as a host opens it. Loads the
// bundle through the SDK's hosting code, creates the controller's "editor"
// view and attaches it to a host window handle ("HWND") several times: the
// view must take HWND (and nothing else), make a child window of its size in
// the host's, draw from the PNG resources compiled into the module, and leave
// nothing behind when removed.
//
//   editor_win32 <Orvotool.vst3 bundle>
//
// Needs a display (xvfb-run under Wine). Wine's Direct2D may paint the frame
// black; the test reports how much of the window is not black but does not
// judge the drawing.

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

int failures = 0;

void check (bool ok, const char* what, int round = -1)
{
	if (round >= 0)
		std::printf ("%s: %s (opening %d)\n", ok ? "ok" : "FAILED", what, round + 1);
	else
		std::printf ("%s: %s\n", ok ? "ok" : "FAILED", what);
	if (!ok)
		++failures;
}

void pumpMessages (int milliseconds)
{
	const DWORD end = GetTickCount () + static_cast<DWORD> (milliseconds);
	MSG msg;
	while (GetTickCount () < end)
	{
		while (PeekMessageW (&msg, nullptr, 0, 0, PM_REMOVE))
		{
			TranslateMessage (&msg);
			DispatchMessageW (&msg);
		}
		Sleep (5);
	}
}

// Share of a grid of the window's pixels that are not black (0 to 1).
double paintedShare (HWND window)
{
	RECT r {};
	GetClientRect (window, &r);
	HDC dc = GetDC (window);
	if (!dc)
		return 0.0;
	int painted = 0, total = 0;
	for (int y = 2; y < r.bottom; y += 16)
		for (int x = 2; x < r.right; x += 16)
		{
			const COLORREF c = GetPixel (dc, x, y);
			++total;
			if (c != CLR_INVALID && (c & 0xFFFFFF) != 0)
				++painted;
		}
	ReleaseDC (window, dc);
	return total ? static_cast<double> (painted) / total : 0.0;
}

} // namespace

int main (int argc, char** argv)
{
	std::setvbuf (stdout, nullptr, _IONBF, 0);
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: editor_win32 <bundle>\n");
		return 2;
	}
	// A host's UI thread has COM set up; VSTGUI's image decoder (WIC) needs it.
	CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED);
	{
		std::string error;
		auto module = VST3::Hosting::Module::create (argv[1], error);
		if (!module)
		{
			std::printf ("FAILED: cannot load %s: %s\n", argv[1], error.c_str ());
			return 1;
		}
		// The art, compiled in as PNG resources 101 to 124 of the module (the
		// decoder's 101 to 122, the monitor's 123 and 124).
		HMODULE dll = GetModuleHandleW (L"Orvotool.vst3");
		int found = 0;
		for (int id = 101; dll && id <= 125; ++id)
		{
			HRSRC resource = FindResourceW (dll, MAKEINTRESOURCEW (id), L"PNG");
			HGLOBAL data = resource ? LoadResource (dll, resource) : nullptr;
			const auto* bytes = data ? static_cast<const unsigned char*> (LockResource (data)) : nullptr;
			if (bytes && SizeofResource (dll, resource) > 24 && std::memcmp (bytes, "\x89PNG\r\n\x1a\n", 8) == 0)
				found += id <= 124 ? 1 : 100;
		}
		check (dll && found == 24, "the module holds PNG resources 101 to 124 and no 125");

		IPtr<HostApplication> host = owned (new HostApplication ());
		IPtr<IEditController> controller;
		for (const auto& info : module->getFactory ().classInfos ())
			if (info.category () == kVstComponentControllerClass)
				controller = module->getFactory ().createInstance<IEditController> (info.ID ());
		check (controller && controller->initialize (host) == kResultOk, "controller created");
		if (!controller)
			return 1;

		HWND parent = CreateWindowExW (0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
		                               1100, 700, nullptr, nullptr, GetModuleHandleW (nullptr), nullptr);
		check (parent != nullptr, "host window (is there a display?)");
		if (parent)
			ShowWindow (parent, SW_SHOW);
		for (int round = 0; parent && round < 4; ++round)
		{
			IPtr<IPlugView> view = owned (controller->createView (ViewType::kEditor));
			check (view != nullptr, "the controller makes an editor view", round);
			if (!view)
				break;
			check (view->isPlatformTypeSupported (kPlatformTypeHWND) == kResultTrue, "the view takes HWND",
			       round);
			check (view->isPlatformTypeSupported (kPlatformTypeX11EmbedWindowID) != kResultTrue,
			       "the view refuses X11 on Windows", round);
			ViewRect size {};
			check (view->getSize (&size) == kResultOk && size.getWidth () > 0 && size.getHeight () > 0,
			       "the view has a size", round);
			check (view->attached (parent, kPlatformTypeHWND) == kResultOk, "attached to the host's HWND",
			       round);
			check (view->attached (parent, kPlatformTypeHWND) != kResultOk, "a second attach is refused",
			       round);
			HWND child = GetWindow (parent, GW_CHILD);
			RECT r {};
			if (child)
				GetClientRect (child, &r);
			check (child && r.right == size.getWidth () && r.bottom == size.getHeight (),
			       "the editor's child window has the view's size", round);
			pumpMessages (round == 0 ? 1500 : 300); // the first opening draws and runs its timers
			if (child && round == 0)
				std::printf ("note: %.0f%% of the editor window's sample pixels are not black "
				             "(Wine's Direct2D may leave it black)\n",
				             100.0 * paintedShare (child));
			check (view->removed () == kResultOk, "removed", round);
			pumpMessages (50);
			check (GetWindow (parent, GW_CHILD) == nullptr, "no child window left after removal", round);
		}
		if (parent)
			DestroyWindow (parent);
		controller->terminate ();
	}
	CoUninitialize ();
	std::printf ("%s\n", failures ? "FAILED" : "editor on Windows: ok");
	return failures ? 1 : 0;
}
