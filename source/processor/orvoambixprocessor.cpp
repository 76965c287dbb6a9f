#include "processor/orvoambixprocessor.h"

#include "params/orvoambixchunk.h"
#include "params/orvoambixparams.h"
#include "params/orvocids.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {
namespace Vst {
namespace {

inline bool isSilent (const float* samples, int32 count)
{
	for (int32 i = 0; i < count; ++i)
		if (samples[i] != 0.f)
			return false;
	return true;
}

} // namespace

OrvoAmbixProcessor::OrvoAmbixProcessor ()
{
	setControllerClass (OrvoAmbixControllerUID);
}

OrvoAmbixProcessor::~OrvoAmbixProcessor ()
{
	// A host that skips terminate must not leak the engine's buffers.
	freeEngine ();
}

FUnknown* OrvoAmbixProcessor::createInstance (void* /*context*/)
{
	return static_cast<IAudioProcessor*> (new OrvoAmbixProcessor ());
}

tresult PLUGIN_API OrvoAmbixProcessor::initialize (FUnknown* context)
{
	const tresult result = AudioEffect::initialize (context);
	if (result != kResultOk)
		return result;
	addAudioInput (STR16 ("Double M/S Input"), SpeakerArr::k51);
	addAudioOutput (STR16 ("AmbiX Output"), SpeakerArr::kAmbi1stOrderACN);

	parameters.removeAll ();
	if (!createAmbixParameters (parameters))
		return kOutOfMemory;
	directionNormalized.store (parameters.getParameter (kAmbDirection)->getNormalized ());
	engineDirection = -1.;
	return kResultOk;
}

void OrvoAmbixProcessor::freeEngine ()
{
	sfm_fifo_pair_close (&inFifo, &outFifo);
	sfm_ambix_free (&engine);
	latencySamples = 0;
	ringLatency = 0;
}

tresult PLUGIN_API OrvoAmbixProcessor::terminate ()
{
	freeEngine ();
	return AudioEffect::terminate ();
}

tresult PLUGIN_API OrvoAmbixProcessor::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                           SpeakerArrangement* outputs, int32 numOuts)
{
	// One layout each way, as declared: the capsules on the decoder's 5.1
	// bus, first-order Ambisonics out.
	if (numIns != 1 || numOuts != 1 || !inputs || !outputs || inputs[0] != SpeakerArr::k51 ||
	    outputs[0] != SpeakerArr::kAmbi1stOrderACN)
		return kResultFalse;
	return kResultOk;
}

tresult PLUGIN_API OrvoAmbixProcessor::setupProcessing (ProcessSetup& newSetup)
{
	// Every set-up rebuilds the engine from nothing.
	freeEngine ();
	if (newSetup.maxSamplesPerBlock <= 0)
		return kResultFalse;
	sfm_setup setup {};
	if (sfm_setup_init (&setup, static_cast<float> (newSetup.sampleRate)) != 0)
		return kResultFalse;
	setup.inputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	setup.outputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	const int created = sfm_ambix_create (&engine, &setup);
	if (created != 0)
		return created == SFM_ERR_MEMORY ? kOutOfMemory : kResultFalse;
	engineDirection = -1.;
	followDirection ();

	int ring = 0;
	if (sfm_fifo_pair_open (&inFifo, &outFifo, kNumCapsules, kNumOutputs, newSetup.maxSamplesPerBlock,
	                        setup.hopSize, nullptr, &ring) != 0)
	{
		freeEngine ();
		return kOutOfMemory;
	}
	ringLatency = ring;
	latencySamples = ring + sfm_ambix_latency (&engine);
	maxBlockSamples = newSetup.maxSamplesPerBlock;
	if (!bypass.prepare (latencySamples, maxBlockSamples, newSetup.sampleRate))
	{
		freeEngine ();
		return kOutOfMemory;
	}
	return AudioEffect::setupProcessing (newSetup);
}

tresult PLUGIN_API OrvoAmbixProcessor::setActive (TBool state)
{
	if (!state && engine.created)
	{
		sfm_ambix_reset (&engine);
		sfm_fifo_pair_reset (&inFifo, &outFifo, ringLatency);
		bypass.reset ();
	}
	return kResultOk;
}

tresult PLUGIN_API OrvoAmbixProcessor::setState (IBStream* state)
{
	OrvoAmbixSettings settings;
	if (!state || readAmbixChunk (state, settings) != kResultOk)
		return kResultFalse;
	Parameter* direction = parameters.getParameter (kAmbDirection);
	if (!direction)
		return kResultFalse;
	// The audio thread turns the engine at its next block.
	directionNormalized.store (direction->toNormalized (settings.directionDeg));
	return kResultOk;
}

tresult PLUGIN_API OrvoAmbixProcessor::getState (IBStream* state)
{
	Parameter* direction = parameters.getParameter (kAmbDirection);
	if (!state || !direction)
		return kResultFalse;
	OrvoAmbixSettings settings;
	settings.directionDeg = direction->toPlain (directionNormalized.load ());
	return writeAmbixChunk (state, settings);
}

uint32 PLUGIN_API OrvoAmbixProcessor::getLatencySamples ()
{
	return static_cast<uint32> (latencySamples);
}

uint32 PLUGIN_API OrvoAmbixProcessor::getTailSamples ()
{
	// The last input sample's window still sounds one hop past the latency.
	return static_cast<uint32> (latencySamples + engine.st.setup.hopSize);
}

//------------------------------------------------------------------------
// Audio thread
//------------------------------------------------------------------------

void OrvoAmbixProcessor::followDirection ()
{
	const ParamValue normalized = directionNormalized.load (std::memory_order_relaxed);
	if (normalized == engineDirection || !engine.created)
		return;
	Parameter* direction = parameters.getParameter (kAmbDirection);
	if (!direction)
		return;
	engineDirection = normalized;
	// The parameter turns clockwise, the engine counter-clockwise (as the
	// decoder maps it).
	sfm_ambix_set_direction (&engine, static_cast<float> (-direction->toPlain (normalized)));
}

void OrvoAmbixProcessor::applyParameterChanges (IParameterChanges* changes)
{
	const int32 count = changes->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		IParamValueQueue* queue = changes->getParameterData (i);
		if (!queue || queue->getPointCount () <= 0)
			continue;
		// Only the last point counts, for the whole block.
		int32 offset = 0;
		ParamValue value = 0.;
		if (queue->getPoint (queue->getPointCount () - 1, offset, value) != kResultOk || !(value == value))
			continue;
		value = std::min (std::max (value, 0.), 1.);
		if (queue->getParameterId () == kAmbBypass)
			bypass.setBypassed (value >= 0.5);
		else if (queue->getParameterId () == kAmbDirection)
			directionNormalized.store (value, std::memory_order_relaxed);
	}
}

int32 OrvoAmbixProcessor::runHops ()
{
	// The engine reads and writes the ring memory in place; both ring sizes
	// are whole hops, so a hop never straddles a wrap point.
	const auto hop = static_cast<unsigned> (engine.st.setup.hopSize);
	int32 hops = 0;
	for (;;)
	{
		float* inPtrs[SFM_MAX_CHANNELS] = {};
		float* outPtrs[SFM_MAX_CHANNELS] = {};
		if (sfm_fifo_read_ptrs (&inFifo, inPtrs) < hop || sfm_fifo_write_ptrs (&outFifo, outPtrs) < hop)
			break;
		sfm_ambix_process (&engine, inPtrs, outPtrs);
		sfm_fifo_read (&inFifo, nullptr, hop);
		sfm_fifo_write (&outFifo, nullptr, hop);
		++hops;
	}
	return hops;
}

void OrvoAmbixProcessor::renderBlock (AudioBusBuffers& inBus, float* const* out, int32 offset,
                                      int32 numSamples)
{
	// Fewer channels than the arrangement, null pointers and channels flagged
	// silent are silence.
	float* in[kNumCapsules] = {};
	for (int32 c = 0; c < kNumCapsules; ++c)
		if (c < inBus.numChannels && inBus.channelBuffers32 && !(inBus.silenceFlags & (uint64 (1) << c)))
			in[c] = inBus.channelBuffers32[c] ? inBus.channelBuffers32[c] + offset : nullptr;
	float* o[kNumOutputs] = {};
	for (int32 c = 0; c < kNumOutputs; ++c)
		o[c] = out[c] ? out[c] + offset : nullptr;

	// In pieces that fit, as the decoder moves a block: input as far as the
	// ring has room, every whole hop, output up to the input position (so a
	// buffer the host shares between input and output is read first).
	int32 inPos = 0;
	int32 outPos = 0;
	while (outPos < numSamples)
	{
		const int32 written = sfm_fifo_write_from (&inFifo, in, kNumCapsules, inPos, numSamples - inPos);
		inPos += written;
		const int32 hops = runHops ();
		const int32 read = sfm_fifo_read_into (&outFifo, o, kNumOutputs, outPos, inPos - outPos);
		outPos += read;
		if (written == 0 && hops == 0 && read == 0)
			break;
	}
	for (int32 c = 0; c < kNumOutputs; ++c)
		if (o[c] && outPos < numSamples)
			std::memset (o[c] + outPos, 0, sizeof (float) * static_cast<size_t> (numSamples - outPos));
}

void OrvoAmbixProcessor::renderWithBypass (AudioBusBuffers& inBus, AudioBusBuffers& outBus,
                                           int32 numSamples)
{
	// The bypass keeps input channels 1 to 4 while the encoder plays too, so
	// that a switch starts from the input of one latency ago; its delay line
	// holds one announced block, so longer blocks go in announced pieces.
	float* in[kNumBypassed] = {};
	for (int32 c = 0; c < kNumBypassed && c < inBus.numChannels; ++c)
		if (inBus.channelBuffers32 && !(inBus.silenceFlags & (uint64 (1) << c)))
			in[c] = inBus.channelBuffers32[c];
	float* out[kNumOutputs] = {};
	for (int32 c = 0; c < kNumOutputs && c < outBus.numChannels; ++c)
		out[c] = outBus.channelBuffers32 ? outBus.channelBuffers32[c] : nullptr;
	const int32 piece = std::max<int32> (maxBlockSamples, 1);
	for (int32 done = 0; done < numSamples;)
	{
		const int32 count = std::min (numSamples - done, piece);
		bypass.capture (in, kNumBypassed, done, count);
		renderBlock (inBus, out, done, count);
		bypass.mix (out, kNumOutputs, done, count);
		done += count;
	}
	for (int32 c = kNumOutputs; c < outBus.numChannels; ++c)
		if (outBus.channelBuffers32 && outBus.channelBuffers32[c])
			std::memset (outBus.channelBuffers32[c], 0, sizeof (float) * static_cast<size_t> (numSamples));

	uint64 flags = 0;
	for (int32 c = 0; c < std::min<int32> (outBus.numChannels, 64); ++c)
	{
		const float* samples = outBus.channelBuffers32 ? outBus.channelBuffers32[c] : nullptr;
		if (samples && isSilent (samples, numSamples))
			flags |= uint64 (1) << c;
	}
	outBus.silenceFlags = flags;
}

tresult PLUGIN_API OrvoAmbixProcessor::process (ProcessData& data)
{
	if (data.inputParameterChanges)
		applyParameterChanges (data.inputParameterChanges);
	followDirection ();

	if (data.numOutputs <= 0 || !data.outputs)
		return kResultOk;
	AudioBusBuffers noInput {};
	AudioBusBuffers& inBus = data.numInputs > 0 && data.inputs ? data.inputs[0] : noInput;
	AudioBusBuffers& outBus = data.outputs[0];
	const int32 numSamples = std::max<int32> (data.numSamples, 0);

	const bool running = engine.created && inFifo.size > 0 && outFifo.size > 0;
	if (data.symbolicSampleSize != kSample32 || !running)
	{
		// Nothing to encode with: silence rather than what the buffers held.
		for (int32 c = 0; c < outBus.numChannels; ++c)
		{
			if (data.symbolicSampleSize == kSample64)
			{
				if (outBus.channelBuffers64 && outBus.channelBuffers64[c])
					std::memset (outBus.channelBuffers64[c], 0, sizeof (double) * static_cast<size_t> (numSamples));
			}
			else if (outBus.channelBuffers32 && outBus.channelBuffers32[c])
				std::memset (outBus.channelBuffers32[c], 0, sizeof (float) * static_cast<size_t> (numSamples));
		}
		const int32 channels = std::max<int32> (outBus.numChannels, 0);
		outBus.silenceFlags = channels >= 64 ? ~uint64 (0) : (uint64 (1) << channels) - 1;
		return kResultOk;
	}
	renderWithBypass (inBus, outBus, numSamples);
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
