// The saved state of "Orvotool AmbiX": a small little-endian chunk.
//
//   "OrvA" | int32 version | int32 payload bytes | payload
//   version 1 payload: double Direction in degrees, -180..180 (8 bytes)
//
// A later version may append fields to the payload; this reader takes the
// fields it knows and skips the rest. The bypass is the host's and is not
// saved.
#pragma once

#include "pluginterfaces/base/ibstream.h"

namespace Steinberg {
namespace Vst {

struct OrvoAmbixSettings
{
	double directionDeg {0.};
};

constexpr int32 kAmbixChunkVersion = 1;
constexpr int32 kAmbixChunkBytes = 20; // as written by this version

// kResultOk when every write succeeded, else kResultFalse.
tresult writeAmbixChunk (IBStream* stream, const OrvoAmbixSettings& settings);

// Reads a whole chunk into 'settings'. Anything but a complete chunk of a
// known layout with values in range (a wrong tag, a version below 1, a
// payload size that does not match its version or is implausibly large, a
// short stream, a Direction outside -180..180 or not a number) is refused
// whole: kResultFalse, 'settings' untouched. Nothing is allocated.
tresult readAmbixChunk (IBStream* stream, OrvoAmbixSettings& settings);

} // namespace Vst
} // namespace Steinberg
