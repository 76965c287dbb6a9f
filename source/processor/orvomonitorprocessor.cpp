#include "processor/orvomonitorprocessor.h"

#include "params/orvocids.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace Steinberg {
namespace Vst {
namespace {

// A sample that is no number or infinite, told by its exponent bits: the
// test holds whatever floating-point options the build uses.
inline bool nonFinite (float x)
{
	uint32 bits = 0;
	std::memcpy (&bits, &x, sizeof (bits));
	return (bits & 0x7f800000u) == 0x7f800000u;
}

// The file's name without its folders, for a notice one line long.
const char* fileNameOf (const char* path)
{
	const char* name = path;
	for (const char* p = path; *p; ++p)
		if (*p == '/' || *p == '\\')
			name = p + 1;
	return *name ? name : path;
}

void copyText (char* dst, size_t capacity, const char* src)
{
	std::snprintf (dst, capacity, "%s", src ? src : "");
}

} // namespace

OrvoMonitorProcessor::OrvoMonitorProcessor ()
{
	setControllerClass (OrvoMonitorControllerUID);
}

OrvoMonitorProcessor::~OrvoMonitorProcessor ()
{
	// A host that skips terminate must not leak the sets and renderers.
	freeAll ();
}

FUnknown* OrvoMonitorProcessor::createInstance (void* /*context*/)
{
	return static_cast<IAudioProcessor*> (new OrvoMonitorProcessor ());
}

void OrvoMonitorProcessor::addBuses (SpeakerArrangement input)
{
	inputArrangement = input;
	addAudioInput (STR16 ("Loudspeaker Input"), input);
	addAudioOutput (STR16 ("Headphones"), SpeakerArr::kStereo);
}

tresult PLUGIN_API OrvoMonitorProcessor::initialize (FUnknown* context)
{
	const tresult result = AudioEffect::initialize (context);
	if (result != kResultOk)
		return result;
	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	freeAll ();
	removeAudioBusses ();
	addBuses (SpeakerArr::k51);
	parameters.removeAll ();
	if (!createMonitorParameters (parameters))
		return kOutOfMemory;
	for (ParamID id = kMonHeadRotation; id <= kMonLfeOn; ++id)
		normalized[id].store (parameters.getParameter (id)->getNormalized ());
	hrtfPath[0] = 0;
	hrtfNotice[0] = 0;
	copyText (hrtfName, sizeof (hrtfName), sfm_hrir_builtin ()->name);
	return kResultOk;
}

tresult PLUGIN_API OrvoMonitorProcessor::terminate ()
{
	{
		std::lock_guard<std::recursive_mutex> lock (controlMutex);
		freeAll ();
	}
	return AudioEffect::terminate ();
}

//------------------------------------------------------------------------
// Response sets: prepared here, handed to the audio thread, freed here
//------------------------------------------------------------------------

OrvoMonitorProcessor::HrtfOffer* OrvoMonitorProcessor::prepareOffer ()
{
	auto* offer = new (std::nothrow) HrtfOffer ();
	if (!offer)
		return nullptr;
	const auto rate = static_cast<float> (sampleRate);
	hrtfNotice[0] = 0;
	if (hrtfPath[0])
	{
		char reason[512] {};
		sfm_hrir_file file {};
		int rc = sfm_hrir_read_sofa (&file, hrtfPath, reason, sizeof (reason));
		if (rc == 0)
		{
			rc = sfm_hrtf_prepare (&offer->set, &file.ring, rate);
			if (rc != 0)
				std::snprintf (reason, sizeof (reason), "its responses could not be prepared for %.0f Hz",
				               sampleRate);
			sfm_hrir_file_free (&file);
		}
		if (rc == 0)
			offer->setReady = true;
		else
		{
			sfm_hrtf_free (&offer->set);
			// One sentence: the engine's reason without its own full stop.
			size_t n = std::strlen (reason);
			while (n > 0 && (reason[n - 1] == '.' || reason[n - 1] == '\n'))
				reason[--n] = 0;
			std::snprintf (hrtfNotice, sizeof (hrtfNotice),
			               "Could not read %s: %s. Using the built-in %s set.", fileNameOf (hrtfPath),
			               reason[0] ? reason : "unknown reason", sfm_hrir_builtin ()->name);
		}
	}
	if (!offer->setReady)
	{
		if (sfm_hrtf_prepare (&offer->set, sfm_hrir_builtin (), rate) != 0)
		{
			sfm_hrtf_free (&offer->set);
			delete offer;
			return nullptr;
		}
		offer->setReady = true;
	}
	return offer;
}

void OrvoMonitorProcessor::freeOffer (HrtfOffer* offer)
{
	if (!offer)
		return;
	if (offer->renderer)
	{
		sfm_binaural_free (offer->renderer);
		delete offer->renderer;
	}
	if (offer->setReady)
		sfm_hrtf_free (&offer->set);
	delete offer;
}

void OrvoMonitorProcessor::freeAll ()
{
	// Only while nothing processes (set-up, terminate, destruction).
	offered.store (nullptr);
	for (HrtfOffer* offer : offers)
		freeOffer (offer);
	offers.clear ();
	renderer = nullptr;
	currentSet = nullptr;
	currentSerial = previousSerial = rendererSerial = 0;
	setFloor.store (0);
	rendererFloor.store (0);
	rendererTaps = 0;
}

void OrvoMonitorProcessor::installFirstSet (HrtfOffer* offer)
{
	// Nothing processes: the audio thread's side is set directly.
	offer->serial = ++lastSerial;
	renderer = offer->renderer;
	currentSet = &offer->set;
	currentSerial = previousSerial = rendererSerial = offer->serial;
	rendererTaps = offer->set.length;
	publishInUse ();
}

bool OrvoMonitorProcessor::offerNewSet ()
{
	HrtfOffer* offer = prepareOffer ();
	if (!offer)
	{
		copyText (hrtfNotice, sizeof (hrtfNotice),
		          "Not enough memory for another response set: the set in use stays.");
		return false;
	}
	if (offer->set.length > rendererTaps)
	{
		// The renderer in use holds shorter responses: this set comes with a
		// renderer of its own, built here with the same loudspeakers.
		float az[kMaxSpeakers] {};
		int32 lfe = -1;
		const int32 count = monitorSpeakers (inputArrangement, az, kMaxSpeakers, &lfe);
		offer->renderer = new (std::nothrow) sfm_binaural ();
		bool ok = offer->renderer &&
		          sfm_binaural_create (offer->renderer, static_cast<float> (sampleRate), &offer->set) == 0 &&
		          sfm_binaural_set_layout (offer->renderer, count, az, lfe) == 0;
		// A new latency would need the host to set the plug-in up again.
		ok = ok && sfm_binaural_latency (offer->renderer) == latencySamples.load ();
		if (!ok)
		{
			freeOffer (offer);
			std::snprintf (hrtfNotice, sizeof (hrtfNotice),
			               "%s is used once the host sets the plug-in up again.", fileNameOf (hrtfPath));
			return false;
		}
	}
	try
	{
		offers.push_back (offer);
	}
	catch (const std::bad_alloc&)
	{
		freeOffer (offer);
		return false;
	}
	offer->serial = ++lastSerial;
	if (offer->renderer)
	{
		rendererTaps = offer->set.length;
		tailSamples.store (latencySamples.load () + rendererTaps);
	}
	copyText (hrtfName, sizeof (hrtfName), offer->set.name);
	// An offer the audio thread never took can go at once: it can no longer
	// reach it.
	if (HrtfOffer* untaken = offered.exchange (offer, std::memory_order_acq_rel))
	{
		offers.erase (std::find (offers.begin (), offers.end (), untaken));
		freeOffer (untaken);
	}
	reclaimSets ();
	return true;
}

void OrvoMonitorProcessor::reclaimSets ()
{
	const uint64 sets = setFloor.load (std::memory_order_acquire);
	const uint64 renderers = rendererFloor.load (std::memory_order_acquire);
	for (auto it = offers.begin (); it != offers.end ();)
	{
		HrtfOffer* offer = *it;
		if (offer->setReady && offer->serial < sets)
		{
			sfm_hrtf_free (&offer->set);
			offer->setReady = false;
		}
		if (offer->renderer && offer->serial < renderers)
		{
			sfm_binaural_free (offer->renderer);
			delete offer->renderer;
			offer->renderer = nullptr;
		}
		if (!offer->setReady && !offer->renderer)
		{
			delete offer;
			it = offers.erase (it);
		}
		else
			++it;
	}
}

void OrvoMonitorProcessor::takeOffer ()
{
	// A new set only between crossfades: the renderer then holds one set,
	// and the one it fades out is the only other it may still read.
	if (!renderer || sfm_binaural_hrtf_in_use (renderer) != currentSet)
		return;
	HrtfOffer* offer = offered.exchange (nullptr, std::memory_order_acq_rel);
	if (!offer)
		return;
	if (offer->renderer)
	{
		renderer = offer->renderer;
		rendererSerial = offer->serial;
		previousSerial = offer->serial;
	}
	else
	{
		sfm_binaural_use_hrtf (renderer, &offer->set);
		previousSerial = currentSerial;
	}
	currentSet = &offer->set;
	currentSerial = offer->serial;
}

void OrvoMonitorProcessor::publishInUse ()
{
	if (!renderer)
		return;
	const bool settled = sfm_binaural_hrtf_in_use (renderer) == currentSet;
	setFloor.store (settled ? currentSerial : previousSerial, std::memory_order_release);
	rendererFloor.store (rendererSerial, std::memory_order_release);
}

void OrvoMonitorProcessor::setPath (const char* utf8, size_t bytes)
{
	bytes = std::min<size_t> (bytes, kMonMaxPathBytes);
	hrtfNotice[0] = 0; // a notice belongs to the path it was about
	if (bytes > 0)
		std::memcpy (hrtfPath, utf8, bytes);
	hrtfPath[bytes] = 0;
}

//------------------------------------------------------------------------
// Messages to and from the controller
//------------------------------------------------------------------------

void OrvoMonitorProcessor::sendStatus ()
{
	if (!getPeer ())
		return;
	IPtr<IMessage> message = owned (allocateMessage ());
	IAttributeList* attributes = message ? message->getAttributes () : nullptr;
	if (!attributes)
		return;
	message->setMessageID (kMonMsgHrtfStatus);
	attributes->setBinary ("name", hrtfName, static_cast<uint32> (std::strlen (hrtfName)));
	attributes->setBinary ("notice", hrtfNotice, static_cast<uint32> (std::strlen (hrtfNotice)));
	attributes->setBinary ("path", hrtfPath, static_cast<uint32> (std::strlen (hrtfPath)));
	sendMessage (message);
}

void OrvoMonitorProcessor::sendLayout ()
{
	if (!getPeer ())
		return;
	IPtr<IMessage> message = owned (allocateMessage ());
	IAttributeList* attributes = message ? message->getAttributes () : nullptr;
	if (!attributes)
		return;
	float az[kMaxSpeakers] {};
	int32 lfe = -1;
	const int32 count = monitorSpeakers (inputArrangement, az, kMaxSpeakers, &lfe);
	message->setMessageID (kMonMsgLayout);
	attributes->setInt ("count", count);
	attributes->setInt ("lfe", lfe);
	attributes->setBinary ("azimuths", az, static_cast<uint32> (sizeof (float) * static_cast<size_t> (count)));
	sendMessage (message);
}

tresult PLUGIN_API OrvoMonitorProcessor::connect (IConnectionPoint* other)
{
	const tresult result = AudioEffect::connect (other);
	if (result == kResultOk)
	{
		std::lock_guard<std::recursive_mutex> lock (controlMutex);
		sendLayout ();
		sendStatus ();
	}
	return result;
}

tresult PLUGIN_API OrvoMonitorProcessor::notify (IMessage* message)
{
	if (!message || !message->getMessageID () ||
	    std::strcmp (message->getMessageID (), kMonMsgHrtfPath) != 0)
		return AudioEffect::notify (message);
	IAttributeList* attributes = message->getAttributes ();
	const void* data = nullptr;
	uint32 size = 0;
	if (!attributes || attributes->getBinary ("path", data, size) != kResultOk || (size && !data))
		return kInvalidArgument;
	const auto* bytes = static_cast<const char*> (data);
	while (size > 0 && bytes[size - 1] == 0)
		--size; // a sender's terminator
	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	if (size > static_cast<uint32> (kMonMaxPathBytes) || std::memchr (bytes, 0, size))
	{
		std::snprintf (hrtfNotice, sizeof (hrtfNotice),
		               "The chosen file's path is not one the plug-in can keep (at most %d bytes "
		               "of UTF-8): the set in use stays.",
		               static_cast<int> (kMonMaxPathBytes));
		sendStatus ();
		return kResultFalse;
	}
	setPath (bytes, size);
	if (sampleRate > 0.)
		offerNewSet ();
	sendStatus ();
	return kResultOk;
}

//------------------------------------------------------------------------
// State
//------------------------------------------------------------------------

tresult PLUGIN_API OrvoMonitorProcessor::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	// Refused whole: a damaged chunk changes nothing that plays or is saved.
	static_assert (sizeof (OrvoMonitorState) < 8192, "read on the caller's stack");
	OrvoMonitorState loaded;
	if (readMonitorChunk (state, loaded) != kResultOk)
		return kResultFalse;
	ParameterContainer& p = parameters;
	normalized[kMonHeadRotation].store (
	    p.getParameter (kMonHeadRotation)->toNormalized (wrapHeadRotation (loaded.headRotationDeg)));
	normalized[kMonOutputGain].store (p.getParameter (kMonOutputGain)->toNormalized (loaded.outputGainDb));
	normalized[kMonLfeOn].store (loaded.lfeOn ? 1. : 0.);

	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	// The same file again is read again only when it could not be read
	// before: a project moved back to the machine with the file finds it.
	if (std::strcmp (loaded.path, hrtfPath) == 0 && hrtfNotice[0] == 0)
		return kResultOk;
	setPath (loaded.path, std::strlen (loaded.path));
	if (sampleRate > 0.)
		offerNewSet ();
	sendStatus ();
	return kResultOk;
}

tresult PLUGIN_API OrvoMonitorProcessor::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	OrvoMonitorState saved;
	ParameterContainer& p = parameters;
	saved.headRotationDeg = p.getParameter (kMonHeadRotation)->toPlain (normalized[kMonHeadRotation].load ());
	saved.outputGainDb = p.getParameter (kMonOutputGain)->toPlain (normalized[kMonOutputGain].load ());
	saved.lfeOn = normalized[kMonLfeOn].load () >= 0.5;
	{
		std::lock_guard<std::recursive_mutex> lock (controlMutex);
		std::memcpy (saved.path, hrtfPath, sizeof (saved.path));
		// Sets the audio thread has let go of since the last load.
		reclaimSets ();
	}
	return writeMonitorChunk (state, saved);
}

//------------------------------------------------------------------------
// Buses, set-up, activation
//------------------------------------------------------------------------

tresult PLUGIN_API OrvoMonitorProcessor::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                             SpeakerArrangement* outputs,
                                                             int32 numOuts)
{
	if (numIns != 1 || numOuts != 1 || !inputs || !outputs ||
	    outputs[0] != SpeakerArr::kStereo || !isMonitorInput (inputs[0]))
		return kResultFalse;
	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	if (inputs[0] != inputArrangement)
	{
		removeAudioBusses ();
		addBuses (inputs[0]);
	}
	// Hosts change buses while nothing processes: every renderer follows.
	float az[kMaxSpeakers] {};
	int32 lfe = -1;
	const int32 count = monitorSpeakers (inputArrangement, az, kMaxSpeakers, &lfe);
	for (HrtfOffer* offer : offers)
		if (offer->renderer)
			sfm_binaural_set_layout (offer->renderer, count, az, lfe);
	numSpeakers = count;
	sendLayout ();
	return kResultOk;
}

uint32 PLUGIN_API OrvoMonitorProcessor::getLatencySamples ()
{
	return static_cast<uint32> (std::max (latencySamples.load (), 0));
}

uint32 PLUGIN_API OrvoMonitorProcessor::getTailSamples ()
{
	// The responses ring on after the input stops.
	return static_cast<uint32> (std::max (tailSamples.load (), 0));
}

tresult PLUGIN_API OrvoMonitorProcessor::setupProcessing (ProcessSetup& newSetup)
{
	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	// Every set-up starts from nothing: sets are prepared for one rate.
	freeAll ();
	sampleRate = 0.;
	latencySamples.store (0);
	tailSamples.store (0);
	if (!(newSetup.sampleRate >= 8000. && newSetup.sampleRate <= 384000.) ||
	    newSetup.maxSamplesPerBlock <= 0)
		return kResultFalse;
	sampleRate = newSetup.sampleRate;

	HrtfOffer* first = prepareOffer ();
	float az[kMaxSpeakers] {};
	int32 lfe = -1;
	const int32 count = monitorSpeakers (inputArrangement, az, kMaxSpeakers, &lfe);
	if (first)
	{
		first->renderer = new (std::nothrow) sfm_binaural ();
		if (!first->renderer ||
		    sfm_binaural_create (first->renderer, static_cast<float> (sampleRate), &first->set) != 0 ||
		    sfm_binaural_set_layout (first->renderer, count, az, lfe) != 0)
		{
			freeOffer (first);
			first = nullptr;
		}
	}
	if (!first)
	{
		sampleRate = 0.;
		return kOutOfMemory;
	}
	try
	{
		offers.push_back (first);
	}
	catch (const std::bad_alloc&)
	{
		freeOffer (first);
		sampleRate = 0.;
		return kOutOfMemory;
	}
	try
	{
		maxBlockSamples = newSetup.maxSamplesPerBlock;
		for (auto& channel : speakerScratch)
			channel.assign (static_cast<size_t> (maxBlockSamples), 0.f);
		for (auto& ear : earScratch)
			ear.assign (static_cast<size_t> (maxBlockSamples), 0.f);
	}
	catch (const std::bad_alloc&)
	{
		freeAll ();
		sampleRate = 0.;
		maxBlockSamples = 0;
		return kOutOfMemory;
	}
	installFirstSet (first);
	numSpeakers = count;
	copyText (hrtfName, sizeof (hrtfName), first->set.name);
	latencySamples.store (sfm_binaural_latency (renderer));
	tailSamples.store (latencySamples.load () + rendererTaps);
	if (!bypass.prepare (latencySamples.load (), maxBlockSamples, sampleRate))
	{
		freeAll ();
		sampleRate = 0.;
		return kOutOfMemory;
	}
	sendLayout ();
	sendStatus ();
	return AudioEffect::setupProcessing (newSetup);
}

tresult PLUGIN_API OrvoMonitorProcessor::setActive (TBool state)
{
	if (state)
		return kResultOk;
	// Switched off, nothing processes: start the next run from silence, and
	// let the set chosen meanwhile in and the sets let go of out.
	std::lock_guard<std::recursive_mutex> lock (controlMutex);
	if (renderer)
	{
		sfm_binaural_reset (renderer);
		bypass.reset ();
		takeOffer ();
		publishInUse ();
		reclaimSets ();
	}
	return kResultOk;
}

//------------------------------------------------------------------------
// Audio thread
//------------------------------------------------------------------------

void OrvoMonitorProcessor::applyParameterChanges (IParameterChanges* changes)
{
	const int32 count = changes->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		IParamValueQueue* queue = changes->getParameterData (i);
		const int32 points = queue ? queue->getPointCount () : 0;
		if (points <= 0)
			continue;
		// The last point stands for the whole block; the renderer glides.
		int32 offset = 0;
		ParamValue value = 0.;
		if (queue->getPoint (points - 1, offset, value) != kResultOk || !(value == value))
			continue;
		value = std::min (std::max (value, 0.), 1.);
		const ParamID id = queue->getParameterId ();
		if (id == kMonBypass)
			bypass.setBypassed (value >= 0.5);
		else if (id >= kMonHeadRotation && id <= kMonLfeOn)
			normalized[id].store (value, std::memory_order_relaxed);
	}
}

void OrvoMonitorProcessor::renderPiece (AudioBusBuffers& inBus, AudioBusBuffers& outBus,
                                        int32 offset, int32 count)
{
	// The loudspeakers are copied first: hosts may hand the same buffers for
	// input and output, channels may be missing or flagged silent (silence),
	// and a non-number must never reach the renderer's filter memory.
	const float* speakers[kMaxSpeakers] {};
	for (int32 c = 0; c < numSpeakers && c < kMaxSpeakers; ++c)
	{
		float* dst = speakerScratch[c].data ();
		const bool present = c < inBus.numChannels && inBus.channelBuffers32 &&
		                     inBus.channelBuffers32[c] && !(inBus.silenceFlags & (uint64 (1) << c));
		if (present)
		{
			const float* src = inBus.channelBuffers32[c] + offset;
			for (int32 i = 0; i < count; ++i)
				dst[i] = nonFinite (src[i]) ? 0.f : src[i];
		}
		else
			std::memset (dst, 0, sizeof (float) * static_cast<size_t> (count));
		speakers[c] = dst;
	}
	// The bypass plays the input's L and R (the first two channels of every
	// arrangement) to the ears.
	float* frontPair[2] = {speakerScratch[0].data (), speakerScratch[1].data ()};
	bypass.capture (frontPair, 2, 0, count);
	sfm_binaural_process (renderer, speakers, earScratch[0].data (), earScratch[1].data (), count);
	if (!outBus.channelBuffers32)
		return;
	for (int32 c = 0; c < outBus.numChannels; ++c)
		if (float* dst = outBus.channelBuffers32[c])
		{
			if (c < 2)
				std::memcpy (dst + offset, earScratch[c].data (), sizeof (float) * static_cast<size_t> (count));
			else
				std::memset (dst + offset, 0, sizeof (float) * static_cast<size_t> (count));
		}
	bypass.mix (outBus.channelBuffers32, std::min<int32> (outBus.numChannels, 2), offset, count);
}

tresult PLUGIN_API OrvoMonitorProcessor::process (ProcessData& data)
{
	if (data.inputParameterChanges)
		applyParameterChanges (data.inputParameterChanges);
	takeOffer ();
	if (data.numOutputs <= 0 || !data.outputs)
	{
		publishInUse ();
		return kResultOk;
	}
	AudioBusBuffers noInput {};
	AudioBusBuffers& inBus = data.numInputs > 0 && data.inputs ? data.inputs[0] : noInput;
	AudioBusBuffers& outBus = data.outputs[0];
	const int32 numSamples = std::max<int32> (data.numSamples, 0);

	if (data.symbolicSampleSize != kSample32 || !renderer || maxBlockSamples <= 0)
	{
		// Nothing to render with: silence rather than what the buffers held.
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
		const int32 channels = std::min<int32> (std::max<int32> (outBus.numChannels, 0), 63);
		outBus.silenceFlags = (uint64 (1) << channels) - 1;
		publishInUse ();
		return kResultOk;
	}

	const double yawDeg = parameters.getParameter (kMonHeadRotation)->toPlain (normalized[kMonHeadRotation].load ());
	const double gainDb = parameters.getParameter (kMonOutputGain)->toPlain (normalized[kMonOutputGain].load ());
	sfm_binaural_set_params (renderer, static_cast<float> (yawDeg),
	                         static_cast<float> (std::pow (10., gainDb / 20.)),
	                         normalized[kMonLfeOn].load () >= 0.5 ? 1 : 0);

	// Scratch and bypass hold one announced block: a longer one goes in pieces.
	for (int32 done = 0; done < numSamples;)
	{
		const int32 count = std::min (numSamples - done, maxBlockSamples);
		renderPiece (inBus, outBus, done, count);
		done += count;
	}

	uint64 flags = 0;
	for (int32 c = 0; c < std::min<int32> (outBus.numChannels, 64); ++c)
	{
		const float* samples = outBus.channelBuffers32 ? outBus.channelBuffers32[c] : nullptr;
		bool silent = samples != nullptr;
		for (int32 i = 0; silent && i < numSamples; ++i)
			silent = samples[i] == 0.f;
		if (silent)
			flags |= uint64 (1) << c;
	}
	outBus.silenceFlags = flags;
	publishInUse ();
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
