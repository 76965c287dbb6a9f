#include "testhost.h"

#include "../common/process_block.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvotest {

VST3::Hosting::Module::Ptr loadModule ()
{
	static VST3::Hosting::Module::Ptr module;
#ifdef ORVO_BUNDLE_PATH
	if (!module)
	{
		std::string error;
		module = VST3::Hosting::Module::create (ORVO_BUNDLE_PATH, error);
		if (!module)
			std::fprintf (stderr, "cannot load %s: %s\n", ORVO_BUNDLE_PATH, error.c_str ());
		// Unload (ModuleExit) before the module's own static objects are
		// destroyed at exit, as a host unloads before it quits: the handler
		// registered after the load runs before those of the module.
		else
			std::atexit ([] { module.reset (); });
	}
#endif
	return module;
}

FUnknown* hostContext ()
{
	static IPtr<HostApplication> host = owned (new HostApplication ());
	return host.get ();
}

namespace {

const VST3::Hosting::ClassInfo* findClass (const char* category)
{
	static std::vector<VST3::Hosting::ClassInfo> infos;
	auto module = loadModule ();
	if (!module)
		return nullptr;
	infos = module->getFactory ().classInfos ();
	for (const auto& info : infos)
		if (info.category () == category)
			return &info;
	return nullptr;
}

} // namespace

PluginInstance::PluginInstance ()
{
	auto module = loadModule ();
	const auto* info = findClass (kVstAudioEffectClass);
	if (!module || !info)
		return;
	component = module->getFactory ().createInstance<IComponent> (info->ID ());
	if (!component)
		return;
	if (component->initialize (hostContext ()) != kResultOk)
	{
		component = nullptr;
		return;
	}
	processor = FUnknownPtr<IAudioProcessor> (component);
}

PluginInstance::PluginInstance (IPtr<IComponent> created)
{
	if (!created || created->initialize (hostContext ()) != kResultOk)
		return;
	component = created;
	processor = FUnknownPtr<IAudioProcessor> (component);
}

PluginInstance::~PluginInstance ()
{
	if (!component)
		return;
	if (active)
		component->setActive (false);
	component->terminate ();
}

tresult PluginInstance::setup (double sampleRate, int32 maxBlock)
{
	ProcessSetup s {kRealtime, kSample32, maxBlock, sampleRate};
	return processor->setupProcessing (s);
}

tresult PluginInstance::activate (bool on)
{
	const tresult r = component->setActive (on);
	if (r == kResultOk)
		active = on;
	if (on)
		processor->setProcessing (true);
	return r;
}

namespace {

// One block through the processor, its buses over the given channel pointers.
tresult runBlock (IAudioProcessor* processor, std::vector<float*>& inPtrs,
                  std::vector<float*>& outPtrs, int32 numSamples,
                  const std::vector<ParamPoint>& params, SentValues* sent,
                  uint64* outSilenceFlags, uint64 inSilenceFlags)
{
	ParameterChanges inChanges (static_cast<int32> (params.size ()) + 1);
	for (const auto& p : params)
	{
		int32 index = 0;
		if (auto* q = inChanges.addParameterData (p.id, index))
			q->addPoint (p.offset, p.value, index);
	}
	ParameterChanges outChanges (32);
	ProcessBlock block (inPtrs.data (), static_cast<int32> (inPtrs.size ()), outPtrs.data (),
	                    static_cast<int32> (outPtrs.size ()), numSamples, &inChanges, &outChanges);
	block.inBus.silenceFlags = inSilenceFlags;
	AudioBusBuffers& outBus = block.outBus;
	const tresult r = block.run (*processor);
	if (outSilenceFlags)
		*outSilenceFlags = outBus.silenceFlags;
	if (sent)
	{
		for (int32 i = 0; i < outChanges.getParameterCount (); ++i)
		{
			IParamValueQueue* q = outChanges.getParameterData (i);
			if (!q || q->getPointCount () <= 0)
				continue;
			int32 o = 0;
			ParamValue v = 0;
			q->getPoint (q->getPointCount () - 1, o, v);
			sent->value[q->getParameterId ()] = v;
			sent->points[q->getParameterId ()] += q->getPointCount ();
		}
	}
	return r;
}

} // namespace

tresult PluginInstance::processBlock (const Audio& in, Audio& out, int32 offset, int32 numSamples,
                                      const std::vector<ParamPoint>& params, SentValues* sent,
                                      uint64* outSilenceFlags, uint64 inSilenceFlags)
{
	std::vector<float*> inPtrs, outPtrs;
	for (const auto& ch : in)
		inPtrs.push_back (const_cast<float*> (ch.data ()) + offset);
	for (auto& ch : out)
		outPtrs.push_back (ch.data () + offset);
	return runBlock (processor.get (), inPtrs, outPtrs, numSamples, params, sent, outSilenceFlags,
	                 inSilenceFlags);
}

tresult PluginInstance::processInPlace (Audio& io, int32 offset, int32 numSamples,
                                        const std::vector<ParamPoint>& params, SentValues* sent)
{
	std::vector<float*> ptrs;
	for (auto& ch : io)
		ptrs.push_back (ch.data () + offset);
	std::vector<float*> outPtrs = ptrs;
	return runBlock (processor.get (), ptrs, outPtrs, numSamples, params, sent, nullptr, 0);
}

Audio PluginInstance::render (const Audio& in, const std::vector<int32>& blockSizes)
{
	const auto length = static_cast<int32> (in.empty () ? 0 : in[0].size ());
	Audio out (6, std::vector<float> (static_cast<size_t> (length), 0.f));
	int32 pos = 0;
	size_t k = 0;
	while (pos < length)
	{
		const int32 n = std::min (blockSizes[k++ % blockSizes.size ()], length - pos);
		processBlock (in, out, pos, n);
		pos += n;
	}
	return out;
}

std::vector<char> PluginInstance::saveState ()
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	if (component->getState (stream) != kResultOk)
		return {};
	const auto size = static_cast<size_t> (stream->getSize ());
	return std::vector<char> (stream->getData (), stream->getData () + size);
}

tresult PluginInstance::loadState (const std::vector<char>& chunk)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (chunk.data ()), static_cast<int32> (chunk.size ()), &written);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	return component->setState (stream);
}

Audio capsuleSignal (int32 numSamples, uint32 seed, float amplitude)
{
	Audio a (3, std::vector<float> (static_cast<size_t> (numSamples)));
	uint32 state = seed * 2654435761u + 12345u;
	auto noise = [&state] () {
		state = state * 1664525u + 1013904223u;
		return static_cast<float> (static_cast<int32> (state >> 8) - (1 << 23)) / float (1 << 23);
	};
	const double tones[3] = {220.0, 1375.0, 4100.0};
	for (int32 i = 0; i < numSamples; ++i)
	{
		const double t = i / 48000.0;
		for (int32 c = 0; c < 3; ++c)
			a[c][i] = amplitude * (0.5f * noise () +
			                       0.5f * static_cast<float> (std::sin (2.0 * M_PI * tones[c] * t + c)));
	}
	return a;
}

float maxDifference (const Audio& a, const Audio& b, int32 from, int32 to, int32 shift)
{
	float worst = 0.f;
	for (size_t c = 0; c < a.size () && c < b.size (); ++c)
		for (int32 i = from; i < to; ++i)
		{
			const int32 j = i + shift;
			if (i < 0 || j < 0 || i >= static_cast<int32> (a[c].size ()) ||
			    j >= static_cast<int32> (b[c].size ()))
				continue;
			worst = std::max (worst, std::fabs (a[c][i] - b[c][j]));
		}
	return worst;
}

} // namespace orvotest
