// The module's VST 2 wrapper: see orvovst2wrapper.h.

#include "module/orvovst2wrapper.h"

#include "params/kv_vstparam.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {
namespace Vst {
namespace {

// 8-bit text of at most 'room' characters for VST 2 hosts: infinity spelled
// out as the VST 3 text reads back, any other character beyond ASCII as '_'.
void toEightBit (const TChar* text, char* out, size_t room)
{
	size_t n = 0;
	for (size_t i = 0; text[i] && n < room; ++i)
	{
		if (text[i] == 0x221E)
			for (const char* inf = "inf"; *inf && n < room; ++inf)
				out[n++] = *inf;
		else
			out[n++] = text[i] < 0x80 ? static_cast<char> (text[i]) : '_';
	}
	out[n] = 0;
}

} // namespace

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
// Texts and steps
//------------------------------------------------------------------------

ParamValue OrvoVst2Wrapper::currentValue (VstInt32 index)
{
	const ParamID id = mParameterMap[static_cast<size_t> (index)].vst3ID;
	ParamValue value = 0.;
	return getLastParamChange (id, value) ? value : mController->getParamNormalized (id);
}

kv_VSTParam* OrvoVst2Wrapper::parameterObject (VstInt32 index) const
{
	if (index < 0 || index >= static_cast<VstInt32> (mParameterMap.size ()))
		return nullptr;
	auto* controller = dynamic_cast<EditController*> (mController.get ());
	return controller ? dynamic_cast<kv_VSTParam*> (controller->getParameterObject (
	                        mParameterMap[static_cast<size_t> (index)].vst3ID))
	                  : nullptr;
}

void OrvoVst2Wrapper::getParameterDisplay (VstInt32 index, char* text)
{
	kv_VSTParam* p = parameterObject (index);
	if (!p)
	{
		Vst2Wrapper::getParameterDisplay (index, text);
		return;
	}
	String128 value {};
	p->toShortString (currentValue (index), value);
	toEightBit (value, text, kVstMaxParamStrLen);
	// Ardour (VSTPlugin::print_parameter, versions 6 and 7) shows the display,
	// a blank and the label, but appends no more than strlen (display) - 1
	// characters of the blank and label: "150" and "deg" read "150 d". Blanks
	// after the value make room for the whole unit there.
	char label[kVstMaxParamStrLen + 1] {};
	getParameterLabel (index, label);
	const size_t labelLength = std::strlen (label);
	const size_t wanted = labelLength > 0 ? std::min<size_t> (labelLength + 2, kVstMaxParamStrLen) : 0;
	size_t length = std::strlen (text);
	while (length < wanted)
		text[length++] = ' ';
	text[length] = 0;
}

void OrvoVst2Wrapper::getParameterLabel (VstInt32 index, char* label)
{
	kv_VSTParam* p = parameterObject (index);
	if (!p)
	{
		Vst2Wrapper::getParameterLabel (index, label);
		return;
	}
	String128 units {};
	p->getShortUnits (units);
	toEightBit (units, label, kVstMaxParamStrLen);
}

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
