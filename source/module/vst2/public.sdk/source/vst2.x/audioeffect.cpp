// The core protocol of a VST 2 plug-in: see audioeffect.h.

#include "public.sdk/source/vst2.x/audioeffect.h"
#include "public.sdk/source/vst2.x/aeffeditor.h"

#include <cstring>

//------------------------------------------------------------------------
AudioEffect::AudioEffect (audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
: audioMaster (audioMaster), numPrograms (numPrograms), numParams (numParams)
{
	std::memset (&cEffect, 0, sizeof (cEffect));
	cEffect.magic = kEffectMagic;
	cEffect.dispatcher = dispatchEffectClass;
	cEffect.process = processClass;
	cEffect.setParameter = setParameterClass;
	cEffect.getParameter = getParameterClass;
	cEffect.numPrograms = numPrograms;
	cEffect.numParams = numParams;
	cEffect.numInputs = 1;
	cEffect.numOutputs = 2;
	cEffect.ioRatio = 1.f;
	cEffect.object = this;
	cEffect.uniqueID = 0x4E6F4566; // 'NoEf' until the plug-in sets its own
	cEffect.version = 1;
	cEffect.processReplacing = processReplacingClass;
	cEffect.processDoubleReplacing = processDoubleReplacingClass;
}

//------------------------------------------------------------------------
AudioEffect::~AudioEffect () = default;

//------------------------------------------------------------------------
VstIntPtr AudioEffect::dispatcher (VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt)
{
	auto* text = static_cast<char*> (ptr);
	switch (opcode)
	{
		case effOpen: open (); return 0;
		case effClose: close (); return 1;

		case effSetProgram:
			if (value >= 0 && value < cEffect.numPrograms)
				setProgram (static_cast<VstInt32> (value));
			return 0;
		case effGetProgram: return getProgram ();
		case effSetProgramName:
			if (text)
				setProgramName (text);
			return 0;
		case effGetProgramName:
			if (text)
				getProgramName (text);
			return 0;

		// An index the host made up must not reach the parameter map.
		case effGetParamLabel:
			if (!text)
				return 0;
			*text = 0;
			if (isParameterIndex (index))
				getParameterLabel (index, text);
			return 0;
		case effGetParamDisplay:
			if (!text)
				return 0;
			*text = 0;
			if (isParameterIndex (index))
				getParameterDisplay (index, text);
			return 0;
		case effGetParamName:
			if (!text)
				return 0;
			*text = 0;
			if (isParameterIndex (index))
				getParameterName (index, text);
			return 0;

		case effSetSampleRate: setSampleRate (opt); return 0;
		case effSetBlockSize: setBlockSize (static_cast<VstInt32> (value)); return 0;
		case effMainsChanged:
			if (value)
				resume ();
			else
				suspend ();
			return 0;

		case effEditGetRect:
			if (!ptr)
				return 0;
			*static_cast<ERect**> (ptr) = nullptr;
			return editor && editor->getRect (static_cast<ERect**> (ptr)) ? 1 : 0;
		case effEditOpen: return editor && editor->open (ptr) ? 1 : 0;
		case effEditClose:
			if (editor)
				editor->close ();
			return 0;
		case effEditIdle:
			if (editor)
				editor->idle ();
			return 0;

		case effGetChunk:
			if (!ptr)
				return 0;
			*static_cast<void**> (ptr) = nullptr;
			return getChunk (static_cast<void**> (ptr), index != 0);
		case effSetChunk:
			if (!ptr || value <= 0)
				return 0;
			return setChunk (ptr, static_cast<VstInt32> (value), index != 0);
	}
	return 0;
}

//------------------------------------------------------------------------
void AudioEffect::setParameterAutomated (VstInt32 index, float value)
{
	setParameter (index, value);
	callHost (audioMasterAutomate, index, 0, nullptr, value);
}

//------------------------------------------------------------------------
void AudioEffect::setEditor (AEffEditor* newEditor)
{
	editor = newEditor;
	setFlag (effFlagsHasEditor, editor != nullptr);
}

//------------------------------------------------------------------------
VstInt32 AudioEffect::getMasterVersion ()
{
	const auto version = static_cast<VstInt32> (callHost (audioMasterVersion));
	return version != 0 ? version : 1;
}

//------------------------------------------------------------------------
VstIntPtr AudioEffect::callHost (VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt)
{
	return audioMaster ? audioMaster (&cEffect, opcode, index, value, ptr, opt) : 0;
}

//------------------------------------------------------------------------
void AudioEffect::setFlag (VstInt32 flag, bool state)
{
	if (state)
		cEffect.flags |= flag;
	else
		cEffect.flags &= ~flag;
}

//------------------------------------------------------------------------
VstIntPtr AudioEffect::dispatchEffectClass (AEffect* e, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt)
{
	auto* effect = e ? static_cast<AudioEffect*> (e->object) : nullptr;
	if (!effect)
		return 0;
	const VstIntPtr result = effect->dispatcher (opcode, index, value, ptr, opt);
	if (opcode == effClose)
	{
		e->object = nullptr;
		delete effect;
		return 1;
	}
	return result;
}

//------------------------------------------------------------------------
float AudioEffect::getParameterClass (AEffect* e, VstInt32 index)
{
	auto* effect = e ? static_cast<AudioEffect*> (e->object) : nullptr;
	return effect && effect->isParameterIndex (index) ? effect->getParameter (index) : 0.f;
}

//------------------------------------------------------------------------
void AudioEffect::setParameterClass (AEffect* e, VstInt32 index, float value)
{
	auto* effect = e ? static_cast<AudioEffect*> (e->object) : nullptr;
	if (effect && effect->isParameterIndex (index))
		effect->setParameter (index, value);
}

//------------------------------------------------------------------------
// The accumulating process call predates processReplacing; every host that
// sees effFlagsCanReplacing uses the latter, so this one leaves the outputs
// as they are.
void AudioEffect::processClass (AEffect* /*e*/, float** /*inputs*/, float** /*outputs*/,
                                VstInt32 /*sampleFrames*/)
{
}

//------------------------------------------------------------------------
void AudioEffect::processReplacingClass (AEffect* e, float** inputs, float** outputs,
                                         VstInt32 sampleFrames)
{
	auto* effect = e ? static_cast<AudioEffect*> (e->object) : nullptr;
	if (effect && sampleFrames > 0)
		effect->processReplacing (inputs, outputs, sampleFrames);
}

//------------------------------------------------------------------------
void AudioEffect::processDoubleReplacingClass (AEffect* e, double** inputs, double** outputs,
                                               VstInt32 sampleFrames)
{
	auto* effect = e ? static_cast<AudioEffect*> (e->object) : nullptr;
	if (effect && sampleFrames > 0)
		effect->processDoubleReplacing (inputs, outputs, sampleFrames);
}
