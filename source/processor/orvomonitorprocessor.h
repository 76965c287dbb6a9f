// OrvoMonitorProcessor: the monitor's audio processor. Renders the
// loudspeaker channels of its input bus (stereo to 5.1) to two ears through
// one binaural renderer, with the host's bypass, and keeps the user's HRTF
// file: read and prepared on the control thread, handed to the audio thread
// without locks.
#pragma once

#include "params/orvomonitorchunk.h"
#include "params/orvomonitorparams.h"
#include "processor/orvobypass.h"
#include "sfm_binaural.h"

#include "public.sdk/source/vst/vstaudioeffect.h"
#include "public.sdk/source/vst/vstparameters.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace Steinberg {
namespace Vst {

class OrvoMonitorProcessor : public AudioEffect
{
public:
	OrvoMonitorProcessor ();
	~OrvoMonitorProcessor () override;

	static FUnknown* createInstance (void* context);

	// IPluginBase
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// IComponent
	tresult PLUGIN_API setActive (TBool state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;

	// IAudioProcessor
	tresult PLUGIN_API setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
	                                       SpeakerArrangement* outputs,
	                                       int32 numOuts) SMTG_OVERRIDE;
	uint32 PLUGIN_API getLatencySamples () SMTG_OVERRIDE;
	uint32 PLUGIN_API getTailSamples () SMTG_OVERRIDE;
	tresult PLUGIN_API setupProcessing (ProcessSetup& newSetup) SMTG_OVERRIDE;
	tresult PLUGIN_API process (ProcessData& data) SMTG_OVERRIDE;

	// IConnectionPoint: "hrtfPath" from the controller; on connecting, the
	// controller is told the layout and the response set in use.
	tresult PLUGIN_API connect (IConnectionPoint* other) SMTG_OVERRIDE;
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;

	static constexpr int32 kMaxSpeakers = SFM_BINAURAL_MAX_SPEAKERS;
	static constexpr int32 kNoticeBytes = kMonMaxPathBytes + 512;

private:
	// One prepared response set, with the renderer it needs when the renderer
	// in use cannot hold its responses. Serials grow with every offer.
	struct HrtfOffer
	{
		uint64 serial {0};
		sfm_hrtf set {};
		bool setReady {false};
		sfm_binaural* renderer {nullptr};
	};

	// Control thread (under controlMutex).
	void addBuses (SpeakerArrangement input);
	HrtfOffer* prepareOffer ();
	bool offerNewSet ();
	void installFirstSet (HrtfOffer* offer);
	void reclaimSets ();
	void freeOffer (HrtfOffer* offer);
	void freeAll ();
	void sendStatus ();
	void sendLayout ();
	void setPath (const char* utf8, size_t bytes);

	// Audio thread (or the control thread while the host processes nothing).
	void takeOffer ();
	void publishInUse ();
	void applyParameterChanges (IParameterChanges* changes);
	void renderPiece (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 offset, int32 count);

	// Read-only after initialize: converts values on both threads.
	ParameterContainer parameters;
	// Normalized values of Head Rotation, Output Gain and LFE (index = id).
	// Written by setState and by the host's changes in process, whichever
	// comes last; read by process and getState.
	std::atomic<double> normalized[kMonLfeOn + 1] {};

	// Control thread. Every set and renderer belongs to one offer in
	// 'offers' until it is freed; the path, the set's name and the notice are
	// what the controller is told. Recursive: a controller joined directly
	// may answer a message with "hrtfPath" before sendMessage returns.
	std::recursive_mutex controlMutex;
	std::vector<HrtfOffer*> offers;
	uint64 lastSerial {0};
	int32 rendererTaps {0}; // responses the newest renderer holds
	double sampleRate {0.}; // 0: not set up, sets wait for setupProcessing
	SpeakerArrangement inputArrangement {0};
	char hrtfPath[kMonMaxPathBytes + 1] {};
	char hrtfName[256] {};
	char hrtfNotice[kNoticeBytes] {};

	// The hand-over. The control thread puts a new offer into 'offered' (an
	// offer replaced there before the audio thread took it is freed at
	// once). The audio thread takes it between crossfades and, after every
	// block, publishes the lowest serial whose set, and whose renderer, it
	// may still touch; the control thread frees only what lies below. A
	// freed set can never come back: the audio thread gets new sets only
	// from 'offered', always of a higher serial.
	std::atomic<HrtfOffer*> offered {nullptr};
	std::atomic<uint64> setFloor {0};
	std::atomic<uint64> rendererFloor {0};

	// Audio thread.
	sfm_binaural* renderer {nullptr};
	const sfm_hrtf* currentSet {nullptr};
	uint64 currentSerial {0};
	uint64 previousSerial {0};
	uint64 rendererSerial {0};
	int32 numSpeakers {0};
	OrvoBypass bypass;
	int32 maxBlockSamples {0};
	std::vector<float> speakerScratch[kMaxSpeakers];
	std::vector<float> earScratch[2];
	std::atomic<int32> latencySamples {0};
	std::atomic<int32> tailSamples {0};
};

} // namespace Vst
} // namespace Steinberg
