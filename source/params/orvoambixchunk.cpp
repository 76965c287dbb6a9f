#include "params/orvoambixchunk.h"

#include "base/source/fstreamer.h"

#include <cmath>
#include <cstring>

namespace Steinberg {
namespace Vst {

namespace {

constexpr char kTag[4] = {'O', 'r', 'v', 'A'};
constexpr int32 kVersion1Payload = 8;
// Room for what later versions may append; a larger size is damage.
constexpr int32 kMaxPayload = 1024;

bool readExactly (IBStreamer& in, void* dst, int32 n)
{
	return in.readRaw (dst, n) == static_cast<TSize> (n);
}

} // namespace

tresult writeAmbixChunk (IBStream* stream, const OrvoAmbixSettings& settings)
{
	if (!stream)
		return kResultFalse;
	IBStreamer out (stream, kLittleEndian);
	const bool ok = out.writeRaw (kTag, sizeof (kTag)) == static_cast<TSize> (sizeof (kTag)) &&
	                out.writeInt32 (kAmbixChunkVersion) && out.writeInt32 (kVersion1Payload) &&
	                out.writeDouble (settings.directionDeg);
	return ok ? kResultOk : kResultFalse;
}

tresult readAmbixChunk (IBStream* stream, OrvoAmbixSettings& settings)
{
	if (!stream)
		return kResultFalse;
	IBStreamer in (stream, kLittleEndian);
	char tag[sizeof (kTag)] {};
	int32 version = 0;
	int32 payload = 0;
	if (!readExactly (in, tag, sizeof (tag)) || std::memcmp (tag, kTag, sizeof (kTag)) != 0)
		return kResultFalse;
	if (!in.readInt32 (version) || version < 1 || !in.readInt32 (payload))
		return kResultFalse;
	if (version == 1 ? payload != kVersion1Payload : (payload < kVersion1Payload || payload > kMaxPayload))
		return kResultFalse;

	double direction = 0.;
	if (!in.readDouble (direction))
		return kResultFalse;
	// The fields of later versions must be there in full, or the chunk is cut short.
	char skipped[kMaxPayload];
	if (payload > kVersion1Payload && !readExactly (in, skipped, payload - kVersion1Payload))
		return kResultFalse;
	if (!(direction >= -180. && direction <= 180.))
		return kResultFalse; // out of range or not a number: never written by us
	settings.directionDeg = direction;
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
