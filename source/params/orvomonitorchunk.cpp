#include "params/orvomonitorchunk.h"

#include "params/kv_vstparam.h"

#include "base/source/fstreamer.h"

#include <cmath>
#include <cstring>

namespace Steinberg {
namespace Vst {

namespace {

constexpr char kTag[4] = {'O', 'r', 'v', 'M'};
// Head rotation, gain, LFE and the path's length: the body of version 1
// without the path's bytes.
constexpr int32 kFixedBodyBytes = 8 + 8 + 4 + 4;

// Bytes before the first zero byte of 'text', at most 'max'.
int32 boundedLength (const char* text, int32 max)
{
	const void* zero = std::memchr (text, 0, static_cast<size_t> (max));
	return zero ? static_cast<int32> (static_cast<const char*> (zero) - text) : max;
}

// Reads and drops 'count' bytes in pieces (a stream need not seek).
bool skipBytes (IBStreamer& in, int64 count)
{
	char scratch[256];
	while (count > 0)
	{
		const auto n = static_cast<TSize> (count < 256 ? count : 256);
		if (in.readRaw (scratch, n) != n)
			return false;
		count -= n;
	}
	return true;
}

double plainOf (ParameterContainer& params, ParamID id, double fallback)
{
	auto* p = dynamic_cast<kv_VSTParam*> (params.getParameter (id));
	return p ? p->getPlain () : fallback;
}

void setPlainOf (ParameterContainer& params, ParamID id, double plain)
{
	if (auto* p = dynamic_cast<kv_VSTParam*> (params.getParameter (id)))
		p->setPlain (plain);
}

} // namespace

tresult writeMonitorChunk (IBStream* stream, const OrvoMonitorState& state)
{
	if (!stream)
		return kResultFalse;
	const auto pathBytes = boundedLength (state.path, kMonMaxPathBytes);
	IBStreamer out (stream, kLittleEndian);
	bool ok = out.writeRaw (kTag, sizeof (kTag)) == static_cast<TSize> (sizeof (kTag));
	ok = ok && out.writeInt32 (kMonitorChunkVersion);
	ok = ok && out.writeInt32 (kFixedBodyBytes + pathBytes);
	ok = ok && out.writeDouble (state.headRotationDeg);
	ok = ok && out.writeDouble (state.outputGainDb);
	ok = ok && out.writeInt32 (state.lfeOn ? 1 : 0);
	ok = ok && out.writeInt32 (pathBytes);
	ok = ok && (pathBytes == 0 || out.writeRaw (state.path, pathBytes) == pathBytes);
	return ok ? kResultOk : kResultFalse;
}

tresult readMonitorChunk (IBStream* stream, OrvoMonitorState& state)
{
	if (!stream)
		return kResultFalse;
	IBStreamer in (stream, kLittleEndian);
	char tag[sizeof (kTag)] {};
	int32 version = 0;
	int32 bodyBytes = 0;
	if (in.readRaw (tag, sizeof (tag)) != static_cast<TSize> (sizeof (tag)) ||
	    std::memcmp (tag, kTag, sizeof (tag)) != 0 || !in.readInt32 (version) || version < 1 ||
	    !in.readInt32 (bodyBytes) || bodyBytes < kFixedBodyBytes)
		return kResultFalse;

	// Everything is read into a copy first: a chunk damaged anywhere changes
	// nothing (the path arrives last, so applying up to a fault would keep
	// the settings of one project with the file of another).
	double rotation = 0., gain = 0.;
	int32 lfe = 0, pathBytes = 0;
	if (!in.readDouble (rotation) || !in.readDouble (gain) || !in.readInt32 (lfe) ||
	    !in.readInt32 (pathBytes))
		return kResultFalse;
	if (!std::isfinite (rotation) || !std::isfinite (gain) || (lfe != 0 && lfe != 1))
		return kResultFalse;
	if (pathBytes < 0 || pathBytes > kMonMaxPathBytes || pathBytes > bodyBytes - kFixedBodyBytes)
		return kResultFalse;
	char path[kMonMaxPathBytes + 1] {};
	if (pathBytes > 0 && in.readRaw (path, pathBytes) != pathBytes)
		return kResultFalse;
	if (boundedLength (path, pathBytes) != pathBytes)
		return kResultFalse; // a zero byte inside the path names no file
	// A later version's additions: present in full, else the chunk is cut.
	if (!skipBytes (in, static_cast<int64> (bodyBytes) - kFixedBodyBytes - pathBytes))
		return kResultFalse;

	state.headRotationDeg = rotation;
	state.outputGainDb = gain;
	state.lfeOn = lfe == 1;
	std::memcpy (state.path, path, sizeof (path));
	return kResultOk;
}

void monitorStateFromParameters (ParameterContainer& params, OrvoMonitorState& state)
{
	state.headRotationDeg = plainOf (params, kMonHeadRotation, 0.);
	state.outputGainDb = plainOf (params, kMonOutputGain, 0.);
	state.lfeOn = plainOf (params, kMonLfeOn, 1.) >= 0.5;
}

void monitorStateToParameters (const OrvoMonitorState& state, ParameterContainer& params)
{
	setPlainOf (params, kMonHeadRotation, wrapHeadRotation (state.headRotationDeg));
	setPlainOf (params, kMonOutputGain, state.outputGainDb);
	setPlainOf (params, kMonLfeOn, state.lfeOn ? 1. : 0.);
}

} // namespace Vst
} // namespace Steinberg
