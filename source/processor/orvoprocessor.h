// OrvoProcessor: the audio processor component. Owns one decoding engine, the
// two rings that adapt host blocks to the engine's hop, its own parameter set
// and the meter values last sent to the host.
#pragma once

#include "params/orvoparams.h"
#include "processor/orvobypass.h"
#include "processor/orvohandover.h"
#include "sfm_api.h"

#include "public.sdk/source/vst/vstaudioeffect.h"
#include "public.sdk/source/vst/vstparameters.h"

#include <atomic>

namespace Steinberg {
namespace Vst {

class OrvoProcessor : public AudioEffect
{
public:
	OrvoProcessor ();
	~OrvoProcessor () override;

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
	tresult PLUGIN_API setupProcessing (ProcessSetup& newSetup) SMTG_OVERRIDE;
	tresult PLUGIN_API process (ProcessData& data) SMTG_OVERRIDE;
	uint32 PLUGIN_API getTailSamples () SMTG_OVERRIDE;

	static constexpr int32 kNumCapsules = 3;
	static constexpr int32 kNumOutputs = 6;

	// For a host that keeps edits on their way to process, as the VST 2
	// wrapper does until the next block (or, while switched off, until it is
	// switched on): the state getState would write once 'changes' (the last
	// point of each queue) were applied. Control thread; the settings in
	// effect stay as they are, the edits reach the engine through process.
	tresult getStateWithChanges (IBStream* state, IParameterChanges& changes);

private:
	// Normalized values of the user's settings (index = identifier; 0 unused).
	struct Settings
	{
		uint64 generation;
		ParamValue normalized[kNumUserParams + 1];
	};

	void addBuses ();
	void resetSettings ();
	void pullAudioSettings ();
	bool takeSettings ();
	void updateEngine ();
	void freeEngine ();
	bool engineRunning () const;
	void applyParameterChanges (IParameterChanges* changes);
	void holdRearDelayToHistory ();
	void renderBlock (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 offset,
	                  int32 numSamples);
	void renderWithBypass (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 numSamples);
	int32 runHops ();
	void sendMeters (IParameterChanges* outChanges, int32 numOutputChannels);

	int32 latencySamples {0};
	sfm_fifo inFifo {};
	sfm_fifo outFifo {};
	sfm_setup engineSetup {};
	sfm_params engineParams {};
	sfm_state engineState {};
	sfm_buffers engineBuffers {};
	sfm_meters meters {};
	sfm_meters sentMeters {};
	ParameterContainer parameters;

	// Two threads change the settings: the control thread (setState) and the
	// audio thread (the host's parameter changes in process). Each has its
	// own parameter set, and neither writes anything the other reads:
	// - 'parameters' belongs to the control thread: setState reads the chunk
	//   into it, getState writes it out.
	// - 'audioParameters' and the engine records belong to the audio thread:
	//   process applies host changes to them and maps them to the engine.
	// A loaded state travels to the audio thread as a Settings record through
	// 'settingsHandOver'; process takes it at the start of its next call (or
	// setState takes it itself when processing is not active). Host changes
	// travel back through 'audioValues' (one atomic per identifier), stamped
	// with the generation of the last record the audio thread took; the
	// control thread adopts them only once that is its latest record, so
	// getState returns what was set even before the next process, and host
	// changes made after that.
	ParameterContainer audioParameters;
	OrvoHandOver<Settings> settingsHandOver;
	uint64 settingsGeneration {0};                // control thread: last record sent
	std::atomic<uint64> audioGeneration {0};      // last record the audio thread took
	std::atomic<ParamValue> audioValues[kNumUserParams + 1] {};
	std::atomic<bool> processingActive {false};

	// The host's bypass: the input, delayed by the latency, crossfaded in.
	OrvoBypass bypass;
	int32 maxBlockSamples {0};

	// Output ring pre-fill in samples, restored when the rings are reset.
	int32 ringLatency {0};
	// The engine state holds a valid decode (sfm_init or sfm_create ran).
	bool engineInitialised {false};
	// Parameters changed while the engine was freed: apply before the next create.
	bool paramsPending {false};
};

} // namespace Vst
} // namespace Steinberg
