// OrvoVst2Wrapper: the SDK's VST 2 wrapper with the module's own answers where
// VST 2 hosts take more from a plug-in than the wrapper gives:
// - Edits: every edit (setParameter from any thread, the editor's, bypass) is
//   kept as its parameter's latest value until a chunk is loaded. The wrapper
//   hands edits to the processor only with the next block; reads and the
//   chunk (the processor's state with these edits) have them at once, also
//   while the host has the effect switched off, and the processor takes them
//   all when the host switches it on again.
// - Texts: the value and its unit in the display and label, 8 characters
//   each, from the parameter's own short texts.
// - Steps: a stepped parameter is announced by a float step, not by an
//   integer range, which some hosts (Ardour) send as the value itself.
#pragma once

#include "public.sdk/source/vst/vst2wrapper/vst2wrapper.h"

#include <atomic>
#include <memory>

namespace Steinberg {
namespace Vst {

class kv_VSTParam;

class OrvoVst2Wrapper : public Vst2Wrapper
{
public:
	OrvoVst2Wrapper (BaseWrapper::SVST3Config& config, audioMasterCallback audioMaster,
	                 VstInt32 vst2ID);

	// For vst2WrapperConstructor.
	static Vst2Wrapper* construct (BaseWrapper::SVST3Config& config,
	                               audioMasterCallback audioMaster, VstInt32 vst2ID);

	bool init () SMTG_OVERRIDE;
	void resume () SMTG_OVERRIDE;

	// Edits and what follows from them.
	void setParameter (VstInt32 index, float value) SMTG_OVERRIDE;
	float getParameter (VstInt32 index) SMTG_OVERRIDE;
	tresult PLUGIN_API performEdit (ParamID tag, ParamValue valueNormalized) SMTG_OVERRIDE;
	bool setBypass (bool onOff) SMTG_OVERRIDE;
	VstInt32 getChunk (void** data, bool isPreset = false) SMTG_OVERRIDE;
	VstInt32 setChunk (void* data, VstInt32 byteSize, bool isPreset = false) SMTG_OVERRIDE;

	// Texts and steps.
	void getParameterDisplay (VstInt32 index, char* text) SMTG_OVERRIDE;
	void getParameterLabel (VstInt32 index, char* label) SMTG_OVERRIDE;
	bool getParameterProperties (VstInt32 index, VstParameterProperties* p) SMTG_OVERRIDE;

private:
	// The queue of output changes to the editor's thread, in multiples of the
	// wrapper's own: about 250 blocks of every meter changing, over 2.5 s of
	// 512-sample blocks at 48 kHz.
	static constexpr int32 kOutputQueueFactor = 32;

	// One per VST 2 index; written from any thread, without locks.
	struct LatestEdit
	{
		std::atomic<double> value {0.};
		std::atomic<bool> made {false};
		bool editable {false}; // not read-only; set once in init
	};

	void noteEdit (ParamID id, ParamValue value);
	bool latestEdit (VstInt32 index, ParamValue& value) const;
	void collectLatestEdits (ParameterChanges& edits) const;
	// The parameter's value as the host last made it, else the controller's.
	ParamValue currentValue (VstInt32 index) const;
	kv_VSTParam* parameterObject (VstInt32 index) const;

	std::unique_ptr<LatestEdit[]> latestEdits;
	int32 numLatestEdits {0};
	// The bypass, which the wrapper keeps from VST 2 hosts as a parameter
	// (effSetBypass only).
	LatestEdit latestBypass;
};

} // namespace Vst
} // namespace Steinberg
