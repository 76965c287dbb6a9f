// The demo: a generated scene of five sources decoded through the plug-in,
// and a report of where each source landed.
#pragma once

#include "controller.h"

#include <string>

namespace orvotool {

struct DemoArgs
{
	std::string dir {"orvotool-demo"};
	std::string decoded;   // report only: a decode of the scene in dir
	double marginDb {6.0}; // a source must lead in its own channel by this much
};

// Exit status: kExitOk when every source is loudest in its own channel by
// the margin, kExitFailed otherwise or when a step fails.
int runDemo (Plugin& plugin, Controller& controller, const DemoArgs& args);

} // namespace orvotool
