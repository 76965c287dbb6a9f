// The plug-ins a render runs, started and handed their settings: the
// decoder alone, the decoder followed by the binaural monitor, or the AmbiX
// converter.
#pragma once

#include "render.h"
#include "session.h"

#include <string>

namespace orvotool {

// Checks that the monitor can use the SOFA file before anything is decoded;
// "" when it can, else the reason. Empty 'path': the built-in set.
std::string hrtfProblem (const std::string& path);

// Starts the chain's first plug-in in 'first' and, for a binaural render,
// the monitor in 'second', at 'rate'; false with a message.
bool startChain (Plugin& plugin, const RenderOptions& o, double rate, ProcessorSession& first,
                 ProcessorSession& second, std::string& error);

} // namespace orvotool
