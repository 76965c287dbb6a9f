// The plug-in's saved state: a big-endian chunk of a version section and a
// section of key/double entries holding the plain values of parameters 1..22.
//
//   int32 size1 (22) | str8 "presetVersion" | int32 version (1)
//   int32 size2      | 22 x ( str8 key | double plain value )
//
// str8 = int32 (length + 1), the bytes, a zero byte. 533 bytes in all.
#pragma once

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/vsttypes.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

struct OrvoStateKey
{
	const char* key;
	ParamID id;
};

constexpr int32 kNumStateKeys = 22;
// In the order written; ids 1 to 22.
extern const OrvoStateKey kOrvoStateKeys[kNumStateKeys];

constexpr int32 kStateChunkVersion = 1;

// Writes the plain values of parameters 1..22. The stream must support tell
// and seek (each section size is patched after its section). kResultOk when
// every write succeeded, else kResultFalse.
tresult writeStateChunk (IBStream* stream, ParameterContainer& params);

// Reads a chunk into 'params' with setPlain (values clamped to each range).
// kResultOk when the whole chunk was valid. A chunk of another version, or
// with a malformed version section, changes nothing. A damaged entry section
// (bad lengths, truncation) stops reading at the fault: entries before it are
// applied, the result is kResultFalse. Unknown keys are skipped; a repeated
// key sets its parameter again. Reads never go past the stream's end or the
// section's declared size, and nothing is allocated.
tresult readStateChunk (IBStream* stream, ParameterContainer& params);

} // namespace Vst
} // namespace Steinberg
