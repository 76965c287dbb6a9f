// The module's VST 2 wrapper: see orvovst2wrapper.h.

#include "module/orvovst2wrapper.h"

#include "params/kv_vstparam.h"
#include "processor/orvoprocessor.h"

#include "base/source/fstreamer.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <algorithm>
#include <cstring>
#include <new>

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
bool OrvoVst2Wrapper::init ()
{
	if (!Vst2Wrapper::init ())
		return false;
	// Meter values wait here for the editor's thread, which a busy host runs
	// late. The wrapper's queue holds two changes a parameter; once full it
	// keeps overwriting its last entry, so a level that then stays steady is
	// never sent again and never arrives. Room for a few seconds of changes.
	if (mController)
		mOutputTransfer.setMaxParameters (mController->getParameterCount () * kOutputQueueFactor);
	numLatestEdits = static_cast<int32> (mParameterMap.size ());
	latestEdits.reset (new (std::nothrow) LatestEdit[static_cast<size_t> (numLatestEdits)]);
	if (!latestEdits)
		return false;
	// A meter is the processor's to set: what a host writes there (Ardour
	// restores every parameter of a session) must not hide its levels.
	for (int32 i = 0; i < numLatestEdits; ++i)
	{
		ParameterInfo info {};
		latestEdits[i].editable =
		    mController &&
		    mController->getParameterInfo (mParameterMap[static_cast<size_t> (i)].vst3Index, info) ==
		        kResultTrue &&
		    !(info.flags & ParameterInfo::kIsReadOnly);
	}
	return true;
}

//------------------------------------------------------------------------
// Edits
//------------------------------------------------------------------------

void OrvoVst2Wrapper::noteEdit (ParamID id, ParamValue value)
{
	LatestEdit* edit = nullptr;
	if (id == mBypassParameterID && id != kNoParamId)
		edit = &latestBypass;
	else if (const auto it = mParamIndexMap.find (id);
	         it != mParamIndexMap.end () && it->second >= 0 && it->second < numLatestEdits &&
	         latestEdits[it->second].editable)
		edit = &latestEdits[it->second];
	if (!edit)
		return;
	edit->value.store (value, std::memory_order_relaxed);
	edit->made.store (true, std::memory_order_release);
}

bool OrvoVst2Wrapper::latestEdit (VstInt32 index, ParamValue& value) const
{
	if (index < 0 || index >= numLatestEdits || !latestEdits[index].made.load (std::memory_order_acquire))
		return false;
	value = latestEdits[index].value.load (std::memory_order_relaxed);
	return true;
}

ParamValue OrvoVst2Wrapper::currentValue (VstInt32 index) const
{
	ParamValue value = 0.;
	if (latestEdit (index, value) || !mController || index < 0 ||
	    index >= static_cast<VstInt32> (mParameterMap.size ()))
		return value;
	return mController->getParamNormalized (mParameterMap[static_cast<size_t> (index)].vst3ID);
}

void OrvoVst2Wrapper::setParameter (VstInt32 index, float value)
{
	if (index >= 0 && index < static_cast<VstInt32> (mParameterMap.size ()))
		noteEdit (mParameterMap[static_cast<size_t> (index)].vst3ID, value);
	Vst2Wrapper::setParameter (index, value);
}

float OrvoVst2Wrapper::getParameter (VstInt32 index)
{
	// The controller hears of the host's edits only on the wrapper's timer.
	ParamValue value = 0.;
	return latestEdit (index, value) ? static_cast<float> (value) : Vst2Wrapper::getParameter (index);
}

tresult PLUGIN_API OrvoVst2Wrapper::performEdit (ParamID tag, ParamValue valueNormalized)
{
	noteEdit (tag, valueNormalized);
	return Vst2Wrapper::performEdit (tag, valueNormalized);
}

bool OrvoVst2Wrapper::setBypass (bool onOff)
{
	if (mBypassParameterID != kNoParamId)
		noteEdit (mBypassParameterID, onOff ? 1. : 0.);
	return Vst2Wrapper::setBypass (onOff);
}

VstInt32 OrvoVst2Wrapper::setChunk (void* data, VstInt32 byteSize, bool isPreset)
{
	// The chunk replaces every earlier edit (the wrapper drops the ones still
	// on their way to the processor).
	for (int32 i = 0; i < numLatestEdits; ++i)
		latestEdits[i].made.store (false, std::memory_order_release);
	latestBypass.made.store (false, std::memory_order_release);
	return Vst2Wrapper::setChunk (data, byteSize, isPreset);
}

void OrvoVst2Wrapper::collectLatestEdits (ParameterChanges& edits) const
{
	for (VstInt32 index = 0; index < numLatestEdits; ++index)
	{
		ParamValue value = 0.;
		int32 queueIndex = 0;
		int32 pointIndex = 0;
		if (!latestEdit (index, value))
			continue;
		if (IParamValueQueue* queue =
		        edits.addParameterData (mParameterMap[static_cast<size_t> (index)].vst3ID, queueIndex))
			queue->addPoint (0, value, pointIndex);
	}
	int32 queueIndex = 0;
	int32 pointIndex = 0;
	if (latestBypass.made.load (std::memory_order_acquire))
		if (IParamValueQueue* queue = edits.addParameterData (mBypassParameterID, queueIndex))
			queue->addPoint (0, latestBypass.value.load (std::memory_order_relaxed), pointIndex);
}

void OrvoVst2Wrapper::resume ()
{
	Vst2Wrapper::resume ();
	// The wrapper's queue to the processor holds twice as many changes as
	// there are parameters and drops what comes after: edits made while the
	// host had the effect switched off (a fader dragged with the engine
	// stopped) would reach the engine only in part. Before the host processes
	// again, the processor takes the latest edits instead, in a block of no
	// samples (VST 3's parameter flush).
	if (!mProcessor)
		return;
	ParameterChanges edits (numLatestEdits + 1);
	collectLatestEdits (edits);
	mInputTransfer.removeChanges ();
	if (edits.getParameterCount () == 0)
		return;
	ProcessData flush;
	flush.processMode = mVst3processMode;
	flush.symbolicSampleSize = mVst3SampleSize;
	flush.inputParameterChanges = &edits;
	mProcessor->process (flush);
}

VstInt32 OrvoVst2Wrapper::getChunk (void** data, bool isPreset)
{
	auto* processor = dynamic_cast<OrvoProcessor*> (mComponent.get ());
	if (!processor)
		return Vst2Wrapper::getChunk (data, isPreset);

	ParameterChanges edits (numLatestEdits + 1);
	collectLatestEdits (edits);
	MemoryStream processorState;
	if (processor->getStateWithChanges (&processorState, edits) != kResultOk)
		processorState.setSize (0);
	// The bypass is kept in the controller's part (the processor's state leaves
	// it out): the controller takes the host's latest one before writing it.
	if (mController && latestBypass.made.load (std::memory_order_acquire))
		mController->setParamNormalized (mBypassParameterID,
		                                 latestBypass.value.load (std::memory_order_relaxed));
	MemoryStream controllerState;
	if (mController && mController->getState (&controllerState) != kResultTrue)
		controllerState.setSize (0);
	if (processorState.getSize () + controllerState.getSize () == 0)
		return 0;

	// The wrapper's layout: the two sizes (little-endian 64 bits), then the
	// processor's and the controller's state.
	mChunk.setSize (0);
	IBStreamer out (&mChunk, kLittleEndian);
	out.writeInt64 (processorState.getSize ());
	out.writeInt64 (controllerState.getSize ());
	out.writeRaw (processorState.getData (), static_cast<int32> (processorState.getSize ()));
	out.writeRaw (controllerState.getData (), static_cast<int32> (controllerState.getSize ()));
	*data = mChunk.getData ();
	return static_cast<VstInt32> (mChunk.getSize ());
}

//------------------------------------------------------------------------
// Texts and steps
//------------------------------------------------------------------------

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
