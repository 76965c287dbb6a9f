// The module's VST 2 wrapper: see orvovst2wrapper.h.

#include "module/orvovst2wrapper.h"

namespace Steinberg {
namespace Vst {

//------------------------------------------------------------------------
OrvoVst2Wrapper::OrvoVst2Wrapper (BaseWrapper::SVST3Config& config,
                                  audioMasterCallback audioMaster, VstInt32 vst2ID)
: Vst2Wrapper (config, audioMaster, vst2ID)
{
}

Vst2Wrapper* OrvoVst2Wrapper::construct (BaseWrapper::SVST3Config& config,
                                         audioMasterCallback audioMaster, VstInt32 vst2ID)
{
	return new OrvoVst2Wrapper (config, audioMaster, vst2ID);
}

//------------------------------------------------------------------------
bool OrvoVst2Wrapper::getParameterProperties (VstInt32 index, VstParameterProperties* p)
{
	if (!Vst2Wrapper::getParameterProperties (index, p))
		return false;
	// VST 2 values run from 0 to 1 whatever the parameter. The wrapper names
	// a list's entries by an integer range (kVstParameterUsesIntegerMinMax),
	// which Ardour takes for its control's range and sends as the value: 2
	// and 3 both meant the last entry. A float step gives every host the
	// entries within 0 to 1.
	if ((p->flags & kVstParameterUsesIntegerMinMax) && p->maxInteger > p->minInteger)
	{
		const float step = 1.f / static_cast<float> (p->maxInteger - p->minInteger);
		p->flags &= ~kVstParameterUsesIntegerMinMax;
		p->flags |= kVstParameterUsesFloatStep;
		p->stepFloat = p->smallStepFloat = p->largeStepFloat = step;
	}
	return true;
}

} // namespace Vst
} // namespace Steinberg
