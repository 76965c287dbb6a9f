#include "processor/orvobypass.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace Steinberg {
namespace Vst {

bool OrvoBypass::prepare (int32 delaySamples, int32 maxBlockSamples, double sampleRate)
{
	delay = std::max<int32> (delaySamples, 0);
	maxBlock = std::max<int32> (maxBlockSamples, 1);
	// A block is written before the delayed samples it replaces are read.
	capacity = delay + maxBlock;
	const double rampSamples = std::max (1.0, std::round (kRampSeconds * sampleRate));
	step = static_cast<float> (1.0 / rampSamples);
	try
	{
		for (auto& channel : ring)
			channel.assign (static_cast<size_t> (capacity), 0.f);
	}
	catch (const std::bad_alloc&)
	{
		for (auto& channel : ring)
			std::vector<float> ().swap (channel);
		capacity = 0;
		return false;
	}
	writePos = 0;
	gain = target;
	return true;
}

void OrvoBypass::reset ()
{
	for (auto& channel : ring)
		std::fill (channel.begin (), channel.end (), 0.f);
	writePos = 0;
	gain = target;
}

void OrvoBypass::setBypassed (bool on)
{
	target = on ? 1.f : 0.f;
}

void OrvoBypass::capture (float* const* in, int32 numChannels, int32 offset, int32 count)
{
	if (capacity <= 0 || count <= 0)
		return;
	count = std::min (count, maxBlock);
	for (int32 c = 0; c < kMaxChannels; ++c)
	{
		float* line = ring[c].data ();
		const float* src = c < numChannels && in ? in[c] : nullptr;
		int32 pos = writePos;
		for (int32 i = 0; i < count; ++i)
		{
			line[pos] = src ? src[offset + i] : 0.f;
			if (++pos == capacity)
				pos = 0;
		}
	}
	writePos = (writePos + count) % capacity;
}

void OrvoBypass::mix (float* const* out, int32 numChannels, int32 offset, int32 count)
{
	if (capacity <= 0 || count <= 0 || !out)
		return;
	count = std::min (count, maxBlock);
	if (gain == 0.f && target == 0.f)
		return; // fully wet: the decode stands as it is
	// The block just captured starts 'count' samples before writePos; its
	// delayed counterpart 'delay' samples before that.
	const int32 start = ((writePos - count - delay) % capacity + capacity) % capacity;
	const bool dryOnly = gain == 1.f && target == 1.f;
	for (int32 c = 0; c < kMaxChannels && c < numChannels; ++c)
	{
		float* dst = out[c];
		if (!dst)
			continue;
		dst += offset;
		const float* line = ring[c].data ();
		float g = gain;
		int32 pos = start;
		for (int32 i = 0; i < count; ++i)
		{
			if (dryOnly)
				dst[i] = line[pos];
			else
			{
				g = g < target ? std::min (g + step, target) : std::max (g - step, target);
				dst[i] += g * (line[pos] - dst[i]);
			}
			if (++pos == capacity)
				pos = 0;
		}
	}
	// The ramp runs its course in time whether or not a channel carried it.
	const float span = step * static_cast<float> (count);
	const float end = gain < target ? std::min (gain + span, target) : std::max (gain - span, target);
	gain = end;
}

} // namespace Vst
} // namespace Steinberg
