// OrvoBypass: the host's bypass. The input bus is passed through to the
// output bus channel by channel, delayed by the latency the plug-in reports,
// so that a host keeps its delay compensation and the dry signal lines up
// with the decode it replaces. Switching crossfades linearly over a short
// ramp, either way, so a bypass mid-phrase never clicks.
//
// Memory comes from prepare (control thread); capture and mix run on the
// audio thread and allocate nothing.
#pragma once

#include "pluginterfaces/base/ftypes.h"

#include <vector>

namespace Steinberg {
namespace Vst {

class OrvoBypass
{
public:
	static constexpr int32 kMaxChannels = 6;
	// Length of the crossfade: short enough to follow a host's switch at
	// once, long enough that neither edge is heard as a click.
	static constexpr double kRampSeconds = 0.01;

	// Sizes the delay line for 'delaySamples' and blocks of up to
	// 'maxBlock' samples. Returns false when memory could not be had.
	bool prepare (int32 delaySamples, int32 maxBlock, double sampleRate);
	// Silence in the delay line; the switch position is kept.
	void reset ();
	// The host's switch; the output glides there over the ramp.
	void setBypassed (bool on);
	// Fully dry or fully wet, with no ramp under way.
	bool settled () const { return gain == target; }

	// Stores 'count' input samples (at most maxBlock) of each channel; a null
	// channel is silence. Call before the block's output overwrites its input.
	void capture (float* const* in, int32 numChannels, int32 offset, int32 count);
	// Crossfades the samples captured last, delayed, into the output.
	void mix (float* const* out, int32 numChannels, int32 offset, int32 count);

private:
	std::vector<float> ring[kMaxChannels];
	int32 capacity {0};
	int32 delay {0};
	int32 maxBlock {0};
	int32 writePos {0};
	float gain {0.f};   // share of the dry signal in the output, 0 to 1
	float target {0.f};
	float step {1.f};   // gain change per sample
};

} // namespace Vst
} // namespace Steinberg
