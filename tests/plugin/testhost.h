// A small VST 3 host for the plug-in suites: loads the built Orvotool.vst3
// bundle through the SDK's hosting module, creates processor and controller
// from its factory and drives them as a DAW would.
#pragma once

#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvotest {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Multichannel audio, one vector per channel.
using Audio = std::vector<std::vector<float>>;

// The bundle in the build tree, loaded once per test program (null in suites
// built without one).
VST3::Hosting::Module::Ptr loadModule ();
// The host application object handed to initialize.
FUnknown* hostContext ();

// One parameter point for a block: identifier, sample offset, normalized value.
struct ParamPoint
{
	ParamID id;
	int32 offset;
	ParamValue value;
};

// Last value per identifier of the output parameter changes of one block,
// with the number of points seen for each.
struct SentValues
{
	std::map<ParamID, ParamValue> value;
	std::map<ParamID, int32> points;
};

// Processor (and optionally controller) of one plug-in instance.
class PluginInstance
{
public:
	// The processor from the built bundle's factory.
	PluginInstance ();
	// A processor component the caller created (suites that compile the
	// processor in, without the bundle); initialized here.
	explicit PluginInstance (IPtr<IComponent> created);
	~PluginInstance ();

	bool valid () const { return component && processor; }
	IComponent* comp () { return component.get (); }
	IAudioProcessor* proc () { return processor.get (); }

	// setupProcessing with 32-bit realtime processing.
	tresult setup (double sampleRate, int32 maxBlock);
	tresult activate (bool on);

	// Runs one block. 'in' and 'out' hold at least 'numSamples' per channel;
	// the buses carry as many channels as the vectors have (a host may hand
	// fewer than the arrangement). Returns the process result.
	tresult processBlock (const Audio& in, Audio& out, int32 offset, int32 numSamples,
	                      const std::vector<ParamPoint>& params = {}, SentValues* sent = nullptr,
	                      uint64* outSilenceFlags = nullptr, uint64 inSilenceFlags = 0);

	// Runs one block in place, as hosts that share their buffers do (Ardour):
	// 'io' is the input bus and the output bus at once.
	tresult processInPlace (Audio& io, int32 offset, int32 numSamples,
	                        const std::vector<ParamPoint>& params = {}, SentValues* sent = nullptr);

	// Renders 'in' (3 capsule channels) in blocks of the given sizes (the list
	// repeats) into 6 output channels of the same length.
	Audio render (const Audio& in, const std::vector<int32>& blockSizes);

	std::vector<char> saveState ();
	tresult loadState (const std::vector<char>& chunk);

private:
	IPtr<IComponent> component;
	IPtr<IAudioProcessor> processor;
	bool active {false};
};

// Test signal: 3 capsule channels of decorrelated noise-like content with a
// few tones, deterministic for a seed.
Audio capsuleSignal (int32 numSamples, uint32 seed = 1, float amplitude = 0.25f);

// Largest absolute difference of a and b over [from, to), channel by channel;
// b is read shifted by 'shift' samples (b[i + shift]).
float maxDifference (const Audio& a, const Audio& b, int32 from, int32 to, int32 shift = 0);

} // namespace orvotest
