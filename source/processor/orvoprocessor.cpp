#include "processor/orvoprocessor.h"

#include "params/kv_vstparam.h"
#include "params/orvoparams.h"
#include "params/orvocids.h"
#include "params/orvoparammap.h"
#include "params/orvostatechunk.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/vstbus.h"

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

// Meter levels are linear peaks; the host sees them clamped to 0..1 and a
// non-number as full scale, so a fault shows rather than hides.
inline float meterValue (float peak)
{
	if (!(peak == peak))
		return 1.f;
	return std::min (std::max (peak, 0.f), 1.f);
}

} // namespace

OrvoProcessor::OrvoProcessor ()
{
	setControllerClass (OrvoControllerUID);
}

OrvoProcessor::~OrvoProcessor ()
{
	// A host that skips terminate must not leak the engine's buffers.
	sfm_fifo_pair_close (&inFifo, &outFifo);
	sfm_free (&engineState, &engineBuffers, nullptr, nullptr);
}

FUnknown* OrvoProcessor::createInstance (void* /*context*/)
{
	return static_cast<IAudioProcessor*> (new OrvoProcessor ());
}

void OrvoProcessor::addBuses ()
{
	addAudioInput (STR16 ("Double M/S Input"), SpeakerArr::k51);
	addAudioOutput (STR16 ("5.1 Output"), SpeakerArr::k51);
}

tresult PLUGIN_API OrvoProcessor::initialize (FUnknown* context)
{
	const tresult result = AudioEffect::initialize (context);
	if (result != kResultOk)
		return result;

	addBuses ();

	sfm_fifo_pair_close (&inFifo, &outFifo);
	sfm_free (&engineState, &engineBuffers, nullptr, nullptr);
	inFifo = {};
	outFifo = {};
	engineSetup = {};
	engineParams = {};
	engineState = {};
	engineBuffers = {};
	meters = {};
	sentMeters = {};

	sfm_setup_init (&engineSetup, static_cast<float> (processSetup.sampleRate));
	engineSetup.numInputs = kNumCapsules;
	engineSetup.numOutputs = kNumOutputs;
	engineSetup.inputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	engineSetup.outputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;

	sfm_params_default (&engineParams);
	engineParams.flags &= ~static_cast<uint32_t> (SFM_FLAG_LFE_ON); // the LFE channel stays silent
	engineParams.format = 3;
	engineParams.micType = 3;
	sfm_init (&engineState, &engineBuffers, &engineSetup, engineParams, &meters, nullptr);
	engineInitialised = true;
	paramsPending = false;

	// A processor initialised again after terminate starts from fresh defaults.
	parameters.removeAll ();
	audioParameters.removeAll ();
	if (!createParameters (parameters) || !createParameters (audioParameters))
		return kOutOfMemory;
	resetSettings ();
	applyParameters (audioParameters, &engineState, &engineParams);
	return kResultOk;
}

void OrvoProcessor::resetSettings ()
{
	// Nothing processes here: drop a record still in transit and start both
	// sides from the same (default) values.
	settingsHandOver.take ();
	settingsGeneration = 0;
	audioGeneration.store (0);
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		if (Parameter* p = audioParameters.getParameter (id))
			audioValues[id].store (p->getNormalized ());
}

void OrvoProcessor::freeEngine ()
{
	sfm_fifo_pair_close (&inFifo, &outFifo);
	sfm_free (&engineState, &engineBuffers, &meters, nullptr);
	engineInitialised = false;
	latencySamples = 0;
	ringLatency = 0;
}

tresult PLUGIN_API OrvoProcessor::terminate ()
{
	freeEngine ();
	return AudioEffect::terminate ();
}

bool OrvoProcessor::engineRunning () const
{
	return engineBuffers.allocated != 0 && inFifo.size > 0 && outFifo.size > 0 &&
	       engineSetup.hopSize > 0;
}

tresult PLUGIN_API OrvoProcessor::setupProcessing (ProcessSetup& newSetup)
{
	// Every set-up rebuilds the engine from nothing.
	freeEngine ();

	SpeakerArrangement outArr = 0;
	if (getBusArrangement (kOutput, 0, outArr) != kResultOk || outArr != SpeakerArr::k51)
		return kResultFalse;
	if (newSetup.maxSamplesPerBlock <= 0)
		return kResultFalse;
	if (sfm_setup_init (&engineSetup, static_cast<float> (newSetup.sampleRate)) != 0)
		return kResultFalse;
	engineSetup.numInputs = kNumCapsules;
	engineSetup.numOutputs = kNumOutputs;
	engineSetup.inputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	engineSetup.outputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	engineParams.format = 3;

	if (paramsPending)
	{
		// Values arrived while the engine was freed: solve the widths on a
		// freshly initialised state before the engine is created from them.
		sfm_init (&engineState, &engineBuffers, &engineSetup, engineParams, &meters, nullptr);
		applyParameters (audioParameters, &engineState, &engineParams);
		paramsPending = false;
	}

	if (sfm_create (&engineState, &engineBuffers, &engineSetup, engineParams, &meters, nullptr) != 0)
	{
		sfm_free (&engineState, &engineBuffers, &meters, nullptr);
		return kResultFalse;
	}
	engineInitialised = true;

	int latency = 0;
	if (sfm_fifo_pair_open (&inFifo, &outFifo, kNumCapsules, kNumOutputs,
	                        newSetup.maxSamplesPerBlock, engineSetup.hopSize, nullptr,
	                        &latency) != 0)
	{
		freeEngine ();
		return kOutOfMemory;
	}
	ringLatency = latency;
	latencySamples = latency + engineSetup.hopSize;
	maxBlockSamples = newSetup.maxSamplesPerBlock;
	if (!bypass.prepare (latencySamples, maxBlockSamples, newSetup.sampleRate))
	{
		freeEngine ();
		return kOutOfMemory;
	}

	return AudioEffect::setupProcessing (newSetup);
}

tresult PLUGIN_API OrvoProcessor::setActive (TBool state)
{
	if (state)
	{
		processingActive.store (true);
		return kResultOk;
	}
	processingActive.store (false);
	if (engineBuffers.allocated)
	{
		sfm_reset (&engineState, &engineBuffers, &meters);
		sfm_fifo_pair_reset (&inFifo, &outFifo, ringLatency);
		bypass.reset ();
	}
	// A state loaded while active that no process took is applied now.
	takeSettings ();
	return kResultOk;
}

//------------------------------------------------------------------------
// Settings between the threads
//------------------------------------------------------------------------

void OrvoProcessor::pullAudioSettings ()
{
	// Control thread. Once the audio thread holds the latest loaded state,
	// its values are that state plus the host's changes since: adopt them.
	// Before that, 'parameters' already holds what was loaded.
	if (audioGeneration.load (std::memory_order_acquire) != settingsGeneration)
		return;
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		if (Parameter* p = parameters.getParameter (id))
			p->setNormalized (audioValues[id].load (std::memory_order_relaxed));
}

tresult PLUGIN_API OrvoProcessor::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	// Entries missing from the chunk keep the values in effect.
	pullAudioSettings ();
	const tresult result = readStateChunk (state, parameters);

	// A damaged chunk still sets the entries before its fault; the engine
	// follows the parameter objects either way, so what is heard is what the
	// controller shows and what the next save writes.
	Settings& next = settingsHandOver.next ();
	next.generation = ++settingsGeneration;
	for (ParamID id = 1; id <= kNumUserParams; ++id)
	{
		Parameter* p = parameters.getParameter (id);
		next.normalized[id] = p ? p->getNormalized () : 0.;
	}
	settingsHandOver.publish ();
	// With nothing processing, the engine follows at once.
	if (!processingActive.load ())
		takeSettings ();
	return result == kResultOk ? kResultOk : kResultFalse;
}

tresult PLUGIN_API OrvoProcessor::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	pullAudioSettings ();
	return writeStateChunk (state, parameters) == kResultOk ? kResultOk : kResultFalse;
}

tresult OrvoProcessor::getStateWithChanges (IBStream* state, IParameterChanges& changes)
{
	if (!state)
		return kResultFalse;
	pullAudioSettings ();
	// Written with the changes, then put back: only process changes settings.
	ParamValue kept[kNumUserParams + 1] {};
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		if (Parameter* p = parameters.getParameter (id))
			kept[id] = p->getNormalized ();
	for (int32 i = 0; i < changes.getParameterCount (); ++i)
	{
		IParamValueQueue* queue = changes.getParameterData (i);
		const ParamID id = queue ? queue->getParameterId () : kNoParamId;
		Parameter* p = id >= 1 && id <= kNumUserParams ? parameters.getParameter (id) : nullptr;
		int32 offset = 0;
		ParamValue value = 0.;
		if (p && queue->getPoint (queue->getPointCount () - 1, offset, value) == kResultOk)
			p->setNormalized (value);
	}
	const tresult result = writeStateChunk (state, parameters);
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		if (Parameter* p = parameters.getParameter (id))
			p->setNormalized (kept[id]);
	return result == kResultOk ? kResultOk : kResultFalse;
}

tresult PLUGIN_API OrvoProcessor::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                      SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns != 1 || numOuts != 1 || !inputs || !outputs || inputs[0] != SpeakerArr::k51 ||
	    outputs[0] != SpeakerArr::k51)
		return kResultFalse;
	if (audioInputs.empty ())
		return kResultFalse;
	auto* bus = FCast<AudioBus> (audioInputs.at (0));
	if (!bus)
		return kResultFalse;
	if (bus->getArrangement () != SpeakerArr::k51)
	{
		removeAudioBusses ();
		addBuses ();
	}
	return kResultOk;
}

uint32 PLUGIN_API OrvoProcessor::getLatencySamples ()
{
	return static_cast<uint32> (latencySamples);
}

uint32 PLUGIN_API OrvoProcessor::getTailSamples ()
{
	// After the input stops, the output still carries the diffuser's
	// convolution tail and the surround delay history beyond one hop.
	const int32 tail = engineState.diffuserSize - engineSetup.overlapSize +
	                   engineSetup.historySizeOut + engineSetup.hopSize;
	return tail > 0 ? static_cast<uint32> (tail) : 0;
}

//------------------------------------------------------------------------
// Audio thread
//------------------------------------------------------------------------

bool OrvoProcessor::takeSettings ()
{
	// Audio side (or the control thread while nothing processes).
	const Settings* next = settingsHandOver.take ();
	if (!next)
		return false;
	for (ParamID id = 1; id <= kNumUserParams; ++id)
	{
		if (auto* p = dynamic_cast<kv_VSTParam*> (audioParameters.getParameter (id)))
		{
			p->setNormalizedQuiet (next->normalized[id]);
			audioValues[id].store (p->getNormalized (), std::memory_order_relaxed);
		}
	}
	audioGeneration.store (next->generation, std::memory_order_release);
	updateEngine ();
	return true;
}

void OrvoProcessor::updateEngine ()
{
	if (engineInitialised)
	{
		applyParameters (audioParameters, &engineState, &engineParams);
		holdRearDelayToHistory ();
		sfm_set_params (&engineState, &engineBuffers, engineParams);
	}
	else
		paramsPending = true;
}

void OrvoProcessor::applyParameterChanges (IParameterChanges* changes)
{
	int32 counted = 0;
	const int32 count = changes->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		IParamValueQueue* queue = changes->getParameterData (i);
		if (!queue)
			continue;
		const int32 points = queue->getPointCount ();
		if (points <= 0)
			continue;
		// Only the last point counts, for the whole block.
		int32 offset = 0;
		ParamValue value = 0.;
		if (queue->getPoint (points - 1, offset, value) != kResultOk)
			continue;
		if (!(value == value))
			continue; // a non-number carries no setting
		const ParamID id = queue->getParameterId ();
		if (id == kParamBypass)
		{
			// The host's switch leaves the decode as it is.
			bypass.setBypassed (value >= 0.5);
			continue;
		}
		++counted;
		// Stored without the SDK's change notification, which would take the
		// module-wide update handler's lock on the audio thread.
		if (auto* p = dynamic_cast<kv_VSTParam*> (audioParameters.getParameter (id)))
		{
			p->setNormalizedQuiet (value);
			if (id >= 1 && id <= kNumUserParams)
				audioValues[id].store (p->getNormalized (), std::memory_order_relaxed);
		}
	}
	if (counted > 0)
		updateEngine ();
}

void OrvoProcessor::holdRearDelayToHistory ()
{
	// The engine clips a surround delay longer than its output history and
	// says so on the console. On the audio thread the request is held to that
	// limit here instead: the same delay is heard and nothing is printed.
	if (!engineBuffers.allocated || !(engineSetup.sampleRate > 0.f))
		return;
	const auto limitSamples = static_cast<float> (engineSetup.historySizeOut - engineSetup.historySizeIn);
	const float limitMs = limitSamples * 1000.f / engineSetup.sampleRate;
	if (engineParams.rearDelay > limitMs)
		engineParams.rearDelay = limitMs;
}

int32 OrvoProcessor::runHops ()
{
	// The engine reads and writes the ring memory in place; a hop never
	// straddles a ring's wrap point because both sizes are whole hops.
	const auto hop = static_cast<unsigned> (engineSetup.hopSize);
	int32 hops = 0;
	for (;;)
	{
		float* inPtrs[SFM_MAX_CHANNELS] = {};
		float* outPtrs[SFM_MAX_CHANNELS] = {};
		if (sfm_fifo_read_ptrs (&inFifo, inPtrs) < hop)
			break;
		if (sfm_fifo_write_ptrs (&outFifo, outPtrs) < hop)
			break;
		sfm_process (&engineState, &engineBuffers, inPtrs, outPtrs, &meters);
		sfm_fifo_read (&inFifo, nullptr, hop);
		sfm_fifo_write (&outFifo, nullptr, hop);
		++hops;
	}
	return hops;
}

void OrvoProcessor::renderBlock (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 offset,
                                 int32 numSamples)
{
	// Hosts may hand fewer channels than the arrangement, or null pointers:
	// missing capsules are silence, missing outputs are skipped. A capsule the
	// host flags as silent is taken as silence whatever its buffer holds.
	float* in[kNumCapsules] = {};
	for (int32 c = 0; c < kNumCapsules; ++c)
		if (c < inBus.numChannels && inBus.channelBuffers32 &&
		    !(inBus.silenceFlags & (uint64 (1) << c)))
			in[c] = inBus.channelBuffers32[c] ? inBus.channelBuffers32[c] + offset : nullptr;
	float* out[kNumOutputs] = {};
	for (int32 c = 0; c < kNumOutputs; ++c)
		if (c < outBus.numChannels && outBus.channelBuffers32 && outBus.channelBuffers32[c])
			out[c] = outBus.channelBuffers32[c] + offset;

	// The block moves through the rings in pieces that fit: input enters as
	// far as the input ring has room, the engine runs every whole hop it can,
	// and output is taken up to the input position (so in-place buffers are
	// never overwritten before they are read). A block longer than announced
	// therefore loses nothing, and a block shorter than announced never makes
	// a later write fail.
	int32 inPos = 0;
	int32 outPos = 0;
	while (outPos < numSamples)
	{
		const int32 written = sfm_fifo_write_from (&inFifo, in, kNumCapsules, inPos, numSamples - inPos);
		inPos += written;
		const int32 hops = runHops ();
		const int32 read = sfm_fifo_read_into (&outFifo, out, kNumOutputs, outPos, inPos - outPos);
		outPos += read;
		if (written == 0 && hops == 0 && read == 0)
			break;
	}
	// What the output ring could not supply (only possible for a block longer
	// than announced) is silence, never old content.
	for (int32 c = 0; c < kNumOutputs; ++c)
		if (out[c] && outPos < numSamples)
			std::memset (out[c] + outPos, 0, sizeof (float) * static_cast<size_t> (numSamples - outPos));
	for (int32 c = kNumOutputs; c < outBus.numChannels; ++c)
		if (outBus.channelBuffers32 && outBus.channelBuffers32[c])
			std::memset (outBus.channelBuffers32[c] + offset, 0,
			             sizeof (float) * static_cast<size_t> (numSamples));
}

void OrvoProcessor::renderWithBypass (AudioBusBuffers& inBus, AudioBusBuffers& outBus,
                                      int32 numSamples)
{
	// The bypass passes through every input channel the host hands over (one
	// flagged silent as silence). Its delay line keeps at most one announced
	// block, so a longer block is taken in announced pieces, and each piece's
	// input is kept before its output overwrites it (hosts may share the
	// buffers). The input is kept while the decode plays too, so that a
	// switch to bypass starts from the input of one latency ago.
	float* in[OrvoBypass::kMaxChannels] = {};
	for (int32 c = 0; c < OrvoBypass::kMaxChannels && c < inBus.numChannels; ++c)
		if (inBus.channelBuffers32 && !(inBus.silenceFlags & (uint64 (1) << c)))
			in[c] = inBus.channelBuffers32[c];
	const int32 piece = std::max<int32> (maxBlockSamples, 1);
	for (int32 done = 0; done < numSamples;)
	{
		const int32 count = std::min (numSamples - done, piece);
		bypass.capture (in, OrvoBypass::kMaxChannels, done, count);
		renderBlock (inBus, outBus, done, count);
		if (outBus.channelBuffers32)
			bypass.mix (outBus.channelBuffers32, std::min<int32> (outBus.numChannels, kNumOutputs), done,
			            count);
		done += count;
	}

	// A channel is flagged silent only when its block truly is: the output
	// carries the decoded tail well after the input has gone quiet.
	uint64 flags = 0;
	const int32 flagged = std::min<int32> (outBus.numChannels, 64);
	for (int32 c = 0; c < flagged; ++c)
	{
		const float* samples = outBus.channelBuffers32 ? outBus.channelBuffers32[c] : nullptr;
		if (samples && isSilent (samples, numSamples))
			flags |= uint64 (1) << c;
	}
	outBus.silenceFlags = flags;
}

void OrvoProcessor::sendMeters (IParameterChanges* outChanges, int32 numOutputChannels)
{
	auto send = [outChanges] (ParamID id, float peak, float& sent) {
		const float v = meterValue (peak);
		if (v != sent)
		{
			int32 index = 0;
			if (IParamValueQueue* queue = outChanges->addParameterData (id, index))
			{
				int32 pointIndex = 0;
				queue->addPoint (0, v, pointIndex);
			}
		}
		sent = v;
	};
	for (int32 k = 0; k < kNumCapsules; ++k)
		send (kParamVuInFront + k, meters.input[k], sentMeters.input[k]);
	// Output meters follow the 5.1 channel order with the LFE channel left out:
	// L, R, C, Ls, Rs are identifiers 26 to 30.
	const int32 channels = std::min (numOutputChannels, kNumOutputs);
	for (int32 c = 0; c < channels; ++c)
	{
		if (c == 3)
			continue;
		const auto id = static_cast<ParamID> (kParamVuOutL + (c < 3 ? c : c - 1));
		send (id, meters.output[c], sentMeters.output[c]);
	}
}

tresult PLUGIN_API OrvoProcessor::process (ProcessData& data)
{
	// Also for a host that processes without activating first: from now on
	// setState leaves the engine to this thread.
	processingActive.store (true, std::memory_order_relaxed);
	// A state loaded since the last block first, then the host's changes of
	// this block on top of it.
	takeSettings ();
	if (data.inputParameterChanges)
		applyParameterChanges (data.inputParameterChanges);

	if (IEventList* events = data.inputEvents)
	{
		const int32 count = events->getEventCount ();
		for (int32 i = 0; i < count; ++i)
		{
			Event e {};
			events->getEvent (i, e);
		}
	}

	if (data.numOutputs <= 0 || !data.outputs)
		return kResultOk;

	// Without an input bus (a host that deactivated it) the capsules are
	// silent; the output still carries the decoded tail and is never left
	// holding whatever the host's buffers contained.
	AudioBusBuffers noInput {};
	AudioBusBuffers& inBus = data.numInputs > 0 && data.inputs ? data.inputs[0] : noInput;
	AudioBusBuffers& outBus = data.outputs[0];
	const int32 numSamples = std::max<int32> (data.numSamples, 0);

	if (data.symbolicSampleSize != kSample32 || !engineRunning ())
	{
		// Nothing to decode with: hand back silence rather than what the
		// buffers happened to hold.
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

	if (data.outputParameterChanges)
		sendMeters (data.outputParameterChanges, outBus.numChannels);
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
