// The monitor's saved state: a little-endian chunk with its own tag.
//
//   "OrvM" | int32 version (1) | int32 body size | body
//   body, version 1: double head rotation (degrees) | double output gain (dB)
//                    | int32 LFE (0 or 1) | int32 path bytes | the path
//
// The path is the personal HRTF file, UTF-8 without a terminator, at most
// kMonMaxPathBytes; empty for the built-in set. A later version appends to
// the body; its size tells a reader of this version how much to skip. The
// host's bypass is not part of it (hosts keep that themselves).
#pragma once

#include "params/orvomonitorparams.h"

#include "pluginterfaces/base/ibstream.h"

namespace Steinberg {
namespace Vst {

constexpr int32 kMonitorChunkVersion = 1;

struct OrvoMonitorState
{
	double headRotationDeg {0.};
	double outputGainDb {0.};
	bool lfeOn {true};
	char path[kMonMaxPathBytes + 1] {}; // UTF-8, terminated
};

// Writes 'state'. kResultOk when every write succeeded.
tresult writeMonitorChunk (IBStream* stream, const OrvoMonitorState& state);

// Reads a chunk into 'state'. All or nothing: a chunk with another tag, a
// version below 1, a body that the stream does not hold, a path longer than
// kMonMaxPathBytes or holding a zero byte, a non-number or an LFE value other
// than 0 or 1 leaves 'state' untouched and returns kResultFalse. A later
// version's extra body bytes are skipped. Values outside a parameter's range
// are kept as read (the parameters clamp them). Nothing is allocated.
tresult readMonitorChunk (IBStream* stream, OrvoMonitorState& state);

// Between the chunk's values and a parameter set built by
// createMonitorParameters (the path stays outside the parameters).
void monitorStateFromParameters (ParameterContainer& params, OrvoMonitorState& state);
void monitorStateToParameters (const OrvoMonitorState& state, ParameterContainer& params);

} // namespace Vst
} // namespace Steinberg
