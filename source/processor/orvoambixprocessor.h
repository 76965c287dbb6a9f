// OrvoAmbixProcessor: the audio processor of "Orvotool AmbiX". Takes the
// three capsules on the decoder's input bus (a 5.1 bus whose channels 1 to 3
// are the front cardioid, the figure-of-eight and the rear cardioid) and
// writes first-order Ambisonics (AmbiX: W, Y, Z, X) on a first-order ACN bus.
// Host blocks reach the engine's hops through the same rings as the decoder.
#pragma once

#include "processor/orvobypass.h"
#include "sfm_ambix.h"
#include "sfm_api.h"

#include "public.sdk/source/vst/vstaudioeffect.h"
#include "public.sdk/source/vst/vstparameters.h"

#include <atomic>

namespace Steinberg {
namespace Vst {

class OrvoAmbixProcessor : public AudioEffect
{
public:
	OrvoAmbixProcessor ();
	~OrvoAmbixProcessor () override;

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

	static constexpr int32 kNumCapsules = 3;
	static constexpr int32 kNumOutputs = SFM_AMBIX_CHANNELS;
	// The bypass passes input channels 1 to 4 to the four outputs.
	static constexpr int32 kNumBypassed = 4;

private:
	void freeEngine ();
	void applyParameterChanges (IParameterChanges* changes);
	void followDirection ();
	void renderBlock (AudioBusBuffers& inBus, float* const* out, int32 offset, int32 numSamples);
	void renderWithBypass (AudioBusBuffers& inBus, AudioBusBuffers& outBus, int32 numSamples);
	int32 runHops ();

	// Direction's normalized value, written by setState (control thread) and
	// by the host's changes (audio thread); the audio thread turns the engine
	// when it differs from what the engine has. The one setting is a single
	// atomic value: no record needs handing over.
	std::atomic<ParamValue> directionNormalized {0.5};
	ParamValue engineDirection {-1.};
	// For the mapping between normalized and plain values only (read, never
	// changed, after initialize).
	ParameterContainer parameters;

	sfm_ambix engine {};
	sfm_fifo inFifo {};
	sfm_fifo outFifo {};
	OrvoBypass bypass;
	int32 latencySamples {0};
	int32 ringLatency {0};
	int32 maxBlockSamples {0};
};

} // namespace Vst
} // namespace Steinberg
