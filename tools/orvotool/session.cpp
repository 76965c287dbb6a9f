#include "session.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"

namespace orvotool {

ProcessorSession::~ProcessorSession ()
{
	stop ();
	if (comp)
		comp->terminate ();
}

bool ProcessorSession::start (Plugin& plugin, const SessionClass& cls, double rate, int32 maxBlock,
                              std::string& error)
{
	comp = cls.name.empty () ? plugin.createComponent (error) : plugin.createComponent (cls.name, error);
	if (!comp)
		return false;
	const std::string who = cls.name.empty () ? std::string ("the plug-in") : "\"" + cls.name + "\"";
	processor = FUnknownPtr<IAudioProcessor> (comp);
	if (!processor)
	{
		error = who + "'s component is no audio processor";
		return false;
	}
	inChannels = SpeakerArr::getChannelCount (cls.input);
	outChannels = SpeakerArr::getChannelCount (cls.output);
	SpeakerArrangement inArr = cls.input, outArr = cls.output;
	if (inChannels > kBusChannels || outChannels > kBusChannels ||
	    processor->setBusArrangements (&inArr, 1, &outArr, 1) != kResultOk)
	{
		error = who + " refuses its buses";
		return false;
	}
	if (cls.prepare && !cls.prepare (comp.get (), error))
		return false;
	ProcessSetup setup {kOffline, kSample32, maxBlock, rate};
	if (processor->setupProcessing (setup) != kResultOk)
	{
		error = who + (cls.name.empty () ? " does not decode at " : " does not run at ") +
		        std::to_string (static_cast<long> (rate)) + " Hz";
		return false;
	}
	latencySamples = processor->getLatencySamples ();
	tailSamples = processor->getTailSamples ();
	comp->activateBus (kAudio, kInput, 0, true);
	comp->activateBus (kAudio, kOutput, 0, true);
	comp->setActive (true);
	active = true;
	processor->setProcessing (true);
	return true;
}

void ProcessorSession::stop ()
{
	if (!active)
		return;
	processor->setProcessing (false);
	comp->setActive (false);
	active = false;
}

bool ProcessorSession::run (ProcessData& data, float* const* in, float* const* out, int32 frames)
{
	AudioBusBuffers inBus {}, outBus {};
	inBus.numChannels = inChannels;
	inBus.channelBuffers32 = const_cast<float**> (in);
	outBus.numChannels = outChannels;
	outBus.channelBuffers32 = const_cast<float**> (out);
	// The meters the processor reports; orvotool reads none of them.
	ParameterChanges meters (32);
	data.processMode = kOffline;
	data.symbolicSampleSize = kSample32;
	data.numSamples = frames;
	data.numInputs = 1;
	data.numOutputs = 1;
	data.inputs = &inBus;
	data.outputs = &outBus;
	data.outputParameterChanges = &meters;
	return processor->process (data) == kResultOk;
}

void ProcessorSession::sendSettings (const SettingValues& values)
{
	std::vector<std::pair<ParamID, ParamValue>> all;
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		all.emplace_back (id, valueOf (values, id));
	sendParameters (all);
}

void ProcessorSession::sendParameters (const std::vector<std::pair<ParamID, ParamValue>>& values)
{
	ParameterChanges changes (static_cast<int32> (values.size ()));
	for (const auto& [id, value] : values)
	{
		int32 index = 0;
		if (IParamValueQueue* q = changes.addParameterData (id, index))
			q->addPoint (0, value, index);
	}
	// Zero frames, yet every channel gets a buffer for a careful plug-in.
	float scratch[kBusChannels] = {};
	float* none[kBusChannels] = {scratch, scratch + 1, scratch + 2, scratch + 3, scratch + 4, scratch + 5};
	ProcessData data {};
	data.inputParameterChanges = &changes;
	run (data, none, none, 0);
}

bool ProcessorSession::process (float* const* in, float* const* out, int32 frames)
{
	ParameterChanges noChanges (0);
	ProcessData data {};
	data.inputParameterChanges = &noChanges;
	return run (data, in, out, frames);
}

} // namespace orvotool
