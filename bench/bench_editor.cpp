// What the editor costs to draw: opens a bundle's editor in an X11 window
// (run it under Xvfb, or on any X display) and measures, for a few seconds
// each, the CPU time that the host process and the X server spend per second
// with the editor idle, with all eight meters moving (new levels every 20 ms,
// as a playing host sends them) and with Rotate automated (a new value every
// 20 ms: the polar display, a slider and a field redrawn), at content scale 1
// and 2.
//
//   xvfb-run -a -s "-screen 0 2000x1100x24" bench_editor [Orvotool.vst3] [seconds]
//
// Any bundle of the plug-in can be measured, so that two builds compare on
// the same machine (a bundle whose editor ignores the content scale shows
// "-" at scale 2). The X server is found by the display number; without it
// the server column stays empty.

#include "../tests/editor/x11_host_loop.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <X11/Xlib.h>
#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

using namespace orvotest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

double processCpuSeconds ()
{
	timespec t {};
	clock_gettime (CLOCK_PROCESS_CPUTIME_ID, &t);
	return t.tv_sec + t.tv_nsec * 1e-9;
}

// The X server of this display: the process named Xvfb or Xorg whose command
// line names the display (":99").
pid_t serverPid ()
{
	const char* display = std::getenv ("DISPLAY");
	if (!display)
		return 0;
	std::string name (display);
	name = name.substr (0, name.find ('.'));
	pid_t found = 0;
	if (DIR* dir = opendir ("/proc"))
	{
		while (dirent* e = readdir (dir))
		{
			const pid_t pid = std::atoi (e->d_name);
			if (pid <= 0)
				continue;
			std::ifstream in ("/proc/" + std::string (e->d_name) + "/cmdline");
			std::string cmd ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
			std::replace (cmd.begin (), cmd.end (), '\0', ' ');
			if ((cmd.find ("Xvfb") != std::string::npos || cmd.find ("Xorg") != std::string::npos) &&
			    cmd.find (name + " ") != std::string::npos)
				found = pid;
		}
		closedir (dir);
	}
	return found;
}

// User and system time of a process, from /proc/<pid>/stat.
double cpuSecondsOf (pid_t pid)
{
	if (pid <= 0)
		return NAN;
	std::ifstream in ("/proc/" + std::to_string (pid) + "/stat");
	std::string stat ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
	const auto close = stat.rfind (')');
	if (close == std::string::npos)
		return NAN;
	// Fields after the command: state is field 3; utime and stime are 14 and 15.
	const char* p = stat.c_str () + close + 2;
	unsigned long utime = 0, stime = 0;
	int field = 3;
	for (; *p && field < 14; ++p)
		if (*p == ' ')
			++field;
	if (std::sscanf (p, "%lu %lu", &utime, &stime) != 2)
		return NAN;
	return static_cast<double> (utime + stime) / sysconf (_SC_CLK_TCK);
}

struct Cost
{
	double host, server; // CPU milliseconds per second
};

template <typename Each>
Cost measure (RunLoop& loop, pid_t server, double seconds, Each each)
{
	loop.pump (300, each); // settle: the first frames after a change
	const double host0 = processCpuSeconds (), server0 = cpuSecondsOf (server);
	loop.pump (static_cast<int> (seconds * 1000), each);
	const double host1 = processCpuSeconds (), server1 = cpuSecondsOf (server);
	return {(host1 - host0) * 1000 / seconds, (server1 - server0) * 1000 / seconds};
}

} // namespace

int main (int argc, char** argv)
{
	const std::string bundle = argc > 1 ? argv[1] : ORVO_BUNDLE_PATH;
	const double seconds = argc > 2 ? std::atof (argv[2]) : 4.;
	Display* display = XOpenDisplay (nullptr);
	if (!display)
	{
		std::fprintf (stderr, "bench_editor: no X display (run it under xvfb-run)\n");
		return 1;
	}
	std::string error;
	auto module = VST3::Hosting::Module::create (bundle, error);
	if (!module)
	{
		std::fprintf (stderr, "bench_editor: cannot load %s: %s\n", bundle.c_str (), error.c_str ());
		return 1;
	}
	auto host = owned (new HostApplication ());
	IPtr<IEditController> controller;
	for (const auto& info : module->getFactory ().classInfos ())
		if (info.category () == std::string (kVstComponentControllerClass))
			controller = module->getFactory ().createInstance<IEditController> (info.ID ());
	if (!controller || controller->initialize (host) != kResultOk)
	{
		std::fprintf (stderr, "bench_editor: no controller\n");
		return 1;
	}

	RunLoop loop;
	Window window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, 955, 510, 0, 0, 0);
	XMapWindow (display, window);
	XSync (display, False);
	loop.onResize = [&] (const ViewRect& r) {
		XResizeWindow (display, window, r.getWidth (), r.getHeight ());
		XSync (display, False);
	};
	auto view = owned (controller->createView (ViewType::kEditor));
	if (!view)
		return 1;
	view->setFrame (&loop);
	if (view->attached (reinterpret_cast<void*> (window), kPlatformTypeX11EmbedWindowID) != kResultOk)
	{
		std::fprintf (stderr, "bench_editor: the editor does not open\n");
		return 1;
	}
	const pid_t server = serverPid ();
	std::printf ("%s\nCPU milliseconds per second, host process + X server (%s)\n", bundle.c_str (),
	             server ? "found" : "not found");
	std::printf ("%-6s %-12s %10s %10s\n", "scale", "editor", "host", "server");

	FUnknownPtr<IPlugViewContentScaleSupport> scaling (view);
	int tick = 0;
	auto meters = [&] {
		// A level per meter every 20 ms, each moving on its own slow wave.
		static auto next = Clock::now ();
		if (Clock::now () < next)
			return;
		next = Clock::now () + std::chrono::milliseconds (20);
		++tick;
		for (int i = 0; i < 8; ++i)
			controller->setParamNormalized (static_cast<ParamID> (23 + i),
			                                0.5 + 0.45 * std::sin (0.07 * tick + i));
	};
	auto rotate = [&] {
		static auto next = Clock::now ();
		if (Clock::now () < next)
			return;
		next = Clock::now () + std::chrono::milliseconds (20);
		++tick;
		controller->setParamNormalized (13, 0.5 + 0.4 * std::sin (0.05 * tick));
	};
	for (float scale : {1.f, 2.f})
	{
		bool scaled = scale == 1.f;
		if (scaling)
			scaled = scaling->setContentScaleFactor (scale) == kResultTrue;
		ViewRect size;
		view->getSize (&size);
		scaled = scaled && size.getWidth () == std::lround (955 * scale);
		if (!scaled)
		{
			std::printf ("%-6.0f %-12s %10s %10s\n", scale, "idle", "-", "-");
			continue;
		}
		const Cost idle = measure (loop, server, seconds, [] {});
		std::printf ("%-6.0f %-12s %10.1f %10.1f\n", scale, "idle", idle.host, idle.server);
		const Cost moving = measure (loop, server, seconds, meters);
		std::printf ("%-6.0f %-12s %10.1f %10.1f\n", scale, "8 meters", moving.host, moving.server);
		const Cost automated = measure (loop, server, seconds, rotate);
		std::printf ("%-6.0f %-12s %10.1f %10.1f\n", scale, "automation", automated.host, automated.server);
		std::fflush (stdout);
	}
	view->removed ();
	view->setFrame (nullptr);
	view = nullptr;
	controller->terminate ();
	XDestroyWindow (display, window);
	XCloseDisplay (display);
	return 0;
}
