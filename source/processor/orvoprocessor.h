// OrvoProcessor: the audio processor component. Owns one decoding engine, the
// two rings that adapt host blocks to the engine's hop, its own parameter set
// and the meter values last sent to the host.
#pragma once

#include "sfm_api.h"

#include "public.sdk/source/vst/vstaudioeffect.h"
#include "public.sdk/source/vst/vstparameters.h"

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

private:
	void addBuses ();
	void freeEngine ();
	bool engineRunning () const;
	void resetRings ();
	void applyParameterChanges (IParameterChanges* changes);
	void holdRearDelayToHistory ();
	void renderBlock (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 numSamples);
	int32 writeInput (float* const* in, int32 offset, int32 count);
	int32 readOutput (float* const* out, int32 offset, int32 count);
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

	// Output ring pre-fill in samples, restored when the rings are reset.
	int32 ringLatency {0};
	// The engine state holds a valid decode (sfm_init or sfm_create ran).
	bool engineInitialised {false};
	// Parameters changed while the engine was freed: apply before the next create.
	bool paramsPending {false};
};

} // namespace Vst
} // namespace Steinberg
