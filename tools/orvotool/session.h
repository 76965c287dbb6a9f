// One processor as a DAW runs it, shared by every subcommand that needs
// audio or the processor's state: created from the bundle's factory, given
// 5.1 buses, set up for a rate and block size, activated, handed the
// settings as parameter changes, run block by block and torn down.
#pragma once

#include "controller.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvotool {

// The decoder's buses: 5.1 in (capsules on channels 1 to 3) and out. No
// class of the bundle has a bus of more channels.
constexpr int kBusChannels = 6;

// Which class of the bundle a session runs, and its buses.
struct SessionClass
{
	std::string name;                            // empty: the decoder
	SpeakerArrangement input {SpeakerArr::k51};
	SpeakerArrangement output {SpeakerArr::k51};
	// Runs on the new component after its buses, before its set-up (a file to
	// load, say); false with a message stops the session.
	std::function<bool (IComponent*, std::string&)> prepare;
};

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
	bool start (Plugin& plugin, double rate, int32 maxBlock, std::string& error)
	{
		return start (plugin, SessionClass {}, rate, maxBlock, error);
	}
	bool start (Plugin& plugin, const SessionClass& cls, double rate, int32 maxBlock, std::string& error);
	// A zero-length block that carries every setting as a parameter change,
	// as hosts flush parameters before audio.
	void sendSettings (const SettingValues& values);
	// The same for any parameters: (identifier, normalized value) pairs.
	void sendParameters (const std::vector<std::pair<ParamID, ParamValue>>& values);
	// One block: the buses' channels (at most kBusChannels each) of 'frames' each.
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
	int32 inChannels {kBusChannels}, outChannels {kBusChannels};
	int64 latencySamples {0}, tailSamples {0};
};

} // namespace orvotool
