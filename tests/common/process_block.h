// One host block for the processor: the input and output bus over channel
// pointers the caller owns, the parameter queues, and the ProcessData that
// joins them, filled in as a DAW fills them. Shared by the test host, the
// suites that drive the processor directly, the benchmarks and the Windows
// render host.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace orvotest {

struct ProcessBlock
{
	Steinberg::Vst::AudioBusBuffers inBus {};
	Steinberg::Vst::AudioBusBuffers outBus {};
	Steinberg::Vst::ProcessData data {};

	// 'in' may be null with 'inChannels' 0: a host that deactivated the input
	// bus passes outputs only. The pointer arrays must outlive the block.
	ProcessBlock (float** in, Steinberg::int32 inChannels, float** out, Steinberg::int32 outChannels,
	              Steinberg::int32 numSamples,
	              Steinberg::Vst::IParameterChanges* changes = nullptr,
	              Steinberg::Vst::IParameterChanges* sent = nullptr,
	              Steinberg::int32 mode = Steinberg::Vst::kRealtime)
	{
		inBus.numChannels = inChannels;
		inBus.channelBuffers32 = in;
		outBus.numChannels = outChannels;
		outBus.channelBuffers32 = out;
		data.processMode = mode;
		data.symbolicSampleSize = Steinberg::Vst::kSample32;
		data.numSamples = numSamples;
		data.numInputs = in ? 1 : 0;
		data.inputs = in ? &inBus : nullptr;
		data.numOutputs = 1;
		data.outputs = &outBus;
		data.inputParameterChanges = changes;
		data.outputParameterChanges = sent;
	}

	ProcessBlock (const ProcessBlock&) = delete;
	ProcessBlock& operator= (const ProcessBlock&) = delete;

	Steinberg::tresult run (Steinberg::Vst::IAudioProcessor& processor)
	{
		return processor.process (data);
	}
};

} // namespace orvotest
