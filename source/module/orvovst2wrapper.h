// OrvoVst2Wrapper: the SDK's VST 2 wrapper with the module's own answers where
// VST 2 hosts take more from a plug-in than the wrapper gives:
// - Texts: the value and its unit in the display and label, 8 characters
//   each, from the parameter's own short texts.
// - Steps: a stepped parameter is announced by a float step, not by an
//   integer range, which some hosts (Ardour) send as the value itself.
#pragma once

#include "public.sdk/source/vst/vst2wrapper/vst2wrapper.h"

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

	// Texts and steps.
	void getParameterDisplay (VstInt32 index, char* text) SMTG_OVERRIDE;
	void getParameterLabel (VstInt32 index, char* label) SMTG_OVERRIDE;
	bool getParameterProperties (VstInt32 index, VstParameterProperties* p) SMTG_OVERRIDE;

private:
	// The parameter's value with the host's latest change.
	ParamValue currentValue (VstInt32 index);
	kv_VSTParam* parameterObject (VstInt32 index) const;
};

} // namespace Vst
} // namespace Steinberg
