// One processor as a DAW runs it, shared by every subcommand that needs
// audio or the processor's state: created from the bundle's factory, given
// 5.1 buses, set up for a rate and block size, activated, handed the
// settings as parameter changes, run block by block and torn down.
#pragma once

#include "controller.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <string>

namespace orvotool {

// The plug-in's buses: 5.1 in (capsules on channels 1 to 3) and out.
constexpr int kBusChannels = 6;

class ProcessorSession
{
public:
	ProcessorSession () = default;
	ProcessorSession (const ProcessorSession&) = delete;
	ProcessorSession& operator= (const ProcessorSession&) = delete;
	// Stops processing and terminates the component.
	~ProcessorSession ();

	// Creates the processor and starts it at 'rate' with blocks of up to
	// 'maxBlock' frames, offline and in 32-bit float; false with a message
	// (the plug-in refuses a rate it has no decode for).
	bool start (Plugin& plugin, double rate, int32 maxBlock, std::string& error);
	// A zero-length block that carries every setting as a parameter change,
	// as hosts flush parameters before audio.
	void sendSettings (const SettingValues& values);
	// One block: kBusChannels input and output channels of 'frames' each.
	bool process (float* const* in, float* const* out, int32 frames);
	// Processing off, then the component deactivated; its state stays.
	void stop ();

	int64 latency () const { return latencySamples; }
	int64 tail () const { return tailSamples; }
	IComponent* component () { return comp.get (); }

private:
	bool run (ProcessData& data, float* const* in, float* const* out, int32 frames);

	IPtr<IComponent> comp;
	IPtr<IAudioProcessor> processor;
	bool active {false};
	int64 latencySamples {0}, tailSamples {0};
};

} // namespace orvotool
