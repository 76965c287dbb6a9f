// Entry of the VST 2 module: the SDK's VST 2 wrapper (our OrvoVst2Wrapper)
// around the processor and its controller, under the unique ID "Orvo".
// VSTPluginMain itself is the wrapper's (exported also as "main" by the link);
// it calls createEffectInstance below. Also here: checks of what the host
// hands over, and on Linux what the wrapper needs around it there (a run loop
// for its timers and the editor; on Windows the SDK's timers and VSTGUI run on
// the host's window messages).

#include "module/orvovst2wrapper.h"
#include "params/orvocids.h"
#include "pluginterfaces/base/fplatform.h"
#if SMTG_OS_LINUX
#include "module/orvovst2runloop.h"
#endif

#include "public.sdk/source/vst/vst2wrapper/vst2wrapper.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace Steinberg {
namespace Vst {

// The wrapper names parameters by their unit path ("Algorithm Parameters.Width")
// unless this is off; VST 2 hosts show the parameter's own title instead.
extern bool vst2WrapperFullParameterPath;

#if SMTG_OS_LINUX
// The run loop the wrapper's editor hands to the view (declared by our patch
// of the wrapper).
Linux::IRunLoop* getWrapperRunLoop ()
{
	return &OrvoVst2RunLoop::instance ();
}
#endif

} // namespace Vst
} // namespace Steinberg

using namespace Steinberg;
using namespace Steinberg::Vst;

// Hosts store this in their projects: 'Orvo', most significant byte first.
static constexpr VstInt32 kOrvoVst2UniqueId = ('O' << 24) | ('r' << 16) | ('v' << 8) | 'o';
static_assert (kOrvoVst2UniqueId == 0x4F72766F, "unique ID");

// The wrapper copies the host's time-info flags into the VST 3 process context.
constexpr bool sameBit (int32 vst2Flag, int32 vst3State)
{
	return vst2Flag == vst3State;
}
static_assert (sameBit (kVstTransportPlaying, ProcessContext::kPlaying) &&
                   sameBit (kVstTransportCycleActive, ProcessContext::kCycleActive) &&
                   sameBit (kVstTransportRecording, ProcessContext::kRecording) &&
                   sameBit (kVstNanosValid, ProcessContext::kSystemTimeValid) &&
                   sameBit (kVstPpqPosValid, ProcessContext::kProjectTimeMusicValid) &&
                   sameBit (kVstTempoValid, ProcessContext::kTempoValid) &&
                   sameBit (kVstBarsValid, ProcessContext::kBarPositionValid) &&
                   sameBit (kVstCyclePosValid, ProcessContext::kCycleValid) &&
                   sameBit (kVstTimeSigValid, ProcessContext::kTimeSigValid) &&
                   sameBit (kVstSmpteValid, ProcessContext::kSmpteValid) &&
                   sameBit (kVstClockValid, ProcessContext::kClockValid),
               "VST 2 time-info flags are VST 3 process-context states");

namespace {

// The wrapper's chunk: two little-endian 64-bit sizes (processor state,
// controller state), then the two states. The wrapper trusts both sizes; a
// damaged project must not make it read past the host's buffer.
bool isWholeChunk (const void* data, VstIntPtr byteSize)
{
	constexpr VstIntPtr kHeaderSize = 16;
	if (!data || byteSize < kHeaderSize)
		return false;
	auto readSize = [data] (int offset) {
		const auto* bytes = static_cast<const unsigned char*> (data) + offset;
		uint64 value = 0;
		for (int i = 7; i >= 0; --i)
			value = (value << 8) | bytes[i];
		return value;
	};
	const uint64 room = static_cast<uint64> (byteSize - kHeaderSize);
	const uint64 processorSize = readSize (0);
	const uint64 controllerSize = readSize (8);
	return processorSize <= room && controllerSize <= room - processorSize;
}

Vst2Wrapper* wrapperOf (AEffect* effect)
{
	auto* object = effect ? static_cast<AudioEffect*> (effect->object) : nullptr;
	return object ? dynamic_cast<Vst2Wrapper*> (object) : nullptr;
}

// The wrapper's processor, which it keeps to itself (reached through a
// pointer to the protected member, named from a derived class).
struct WrappedProcessor : Vst2Wrapper
{
	static IAudioProcessor* of (Vst2Wrapper& wrapper)
	{
		return (wrapper.*(&WrappedProcessor::mProcessor)).get ();
	}
};

// The wrapper announces the latency once, before the processor has been set
// up; the processor's latency follows sample rate and block size. Tells the
// host (audioMasterIOChanged) when it differs from what the host was told.
void updateInitialDelay (AEffect* effect)
{
	auto* wrapper = wrapperOf (effect);
	auto* processor = wrapper ? WrappedProcessor::of (*wrapper) : nullptr;
	if (processor && static_cast<VstInt32> (processor->getLatencySamples ()) != effect->initialDelay)
		wrapper->restartComponent (kLatencyChanged);
}

// Every host call passes here first. Each call also runs what is due in the
// run loop on the calling thread, if that thread registered anything there
// (the host's user-interface thread; never its audio thread): parameter
// changes on their way to the controller, the editor's X11 events and timers.
// A VST 2 host gives no other chance to run them. While an editor is open,
// the wrapper's timer runs on the editor's thread: a host may run editors on
// a thread of their own (Ardour does) and not call in on the thread that
// created the effect, whose timer would then hold back the meters.
VstIntPtr dispatch (AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                    float opt)
{
	if (opcode == effSetChunk && !isWholeChunk (ptr, value))
		return 0;
	const VstIntPtr result =
	    AudioEffect::dispatchEffectClass (effect, opcode, index, value, ptr, opt);
	switch (opcode)
	{
		case effSetSampleRate:
		case effSetBlockSize:
		case effMainsChanged:
		case effSetProcessPrecision: updateInitialDelay (effect); break;
#if SMTG_OS_LINUX
		case effEditOpen:
			if (result)
				OrvoVst2RunLoop::instance ().adoptTimers (wrapperOf (effect));
			break;
		case effEditClose: OrvoVst2RunLoop::instance ().returnTimers (wrapperOf (effect)); break;
#endif
	}
#if SMTG_OS_LINUX
	OrvoVst2RunLoop::instance ().pump ();
#endif
	return result;
}

// The wrapper reads the processor's output values (meters) from the
// controller, which learns of them on the wrapper's timer: run it now, where
// it runs, so that a host reading a meter gets its latest level.
float getParameter (AEffect* effect, VstInt32 index)
{
	if (auto* wrapper = wrapperOf (effect))
	{
#if SMTG_OS_LINUX
		OrvoVst2RunLoop::instance ().fire (wrapper);
#else
		wrapper->onTimer (nullptr);
#endif
	}
	return AudioEffect::getParameterClass (effect, index);
}

} // namespace

//------------------------------------------------------------------------
::AudioEffect* createEffectInstance (audioMasterCallback audioMaster)
{
#if SMTG_OS_LINUX
	InjectCreateTimerFunction (OrvoVst2RunLoop::createTimer);
#endif
	vst2WrapperFullParameterPath = false;
	vst2WrapperConstructor = OrvoVst2Wrapper::construct;

	// The wrapper takes over this reference to the factory.
	IPluginFactory* factory = GetPluginFactory ();
	::AudioEffect* effect =
	    Vst2Wrapper::create (factory, OrvoProcessorUID, kOrvoVst2UniqueId, audioMaster);
	if (!effect)
		return nullptr;
	AEffect* aeffect = effect->getAeffect ();
	aeffect->dispatcher = dispatch;
	aeffect->getParameter = getParameter;
	// Set quietly: the host does not know this effect yet.
	if (auto* processor = WrappedProcessor::of (*static_cast<Vst2Wrapper*> (effect)))
		aeffect->initialDelay = static_cast<VstInt32> (processor->getLatencySamples ());
	return effect;
}
