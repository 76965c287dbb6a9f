// OrvoVst2Wrapper: the SDK's VST 2 wrapper with the module's own answers where
// VST 2 hosts take more from a plug-in than the wrapper gives:
// - Steps: a stepped parameter is announced by a float step, not by an
//   integer range, which some hosts (Ardour) send as the value itself.
#pragma once

#include "public.sdk/source/vst/vst2wrapper/vst2wrapper.h"

namespace Steinberg {
namespace Vst {

class OrvoVst2Wrapper : public Vst2Wrapper
{
public:
	OrvoVst2Wrapper (BaseWrapper::SVST3Config& config, audioMasterCallback audioMaster,
	                 VstInt32 vst2ID);

	// For vst2WrapperConstructor.
	static Vst2Wrapper* construct (BaseWrapper::SVST3Config& config,
	                               audioMasterCallback audioMaster, VstInt32 vst2ID);

	// Steps.
	bool getParameterProperties (VstInt32 index, VstParameterProperties* p) SMTG_OVERRIDE;
};

} // namespace Vst
} // namespace Steinberg
