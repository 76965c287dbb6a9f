// The extended protocol of a VST 2.4 plug-in: see audioeffectx.h.

#include "public.sdk/source/vst2.x/audioeffectx.h"
#include "public.sdk/source/vst2.x/aeffeditor.h"

//------------------------------------------------------------------------
AudioEffectX::AudioEffectX (audioMasterCallback audioMaster, VstInt32 numPrograms,
                            VstInt32 numParams)
: AudioEffect (audioMaster, numPrograms, numParams)
{
}

//------------------------------------------------------------------------
VstIntPtr AudioEffectX::dispatcher (VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt)
{
	auto* text = static_cast<char*> (ptr);
	switch (opcode)
	{
		case effProcessEvents:
			return ptr ? processEvents (static_cast<VstEvents*> (ptr)) : 0;
		case effCanBeAutomated: return isParameterIndex (index) && canParameterBeAutomated (index);
		case effString2Parameter:
			return text && isParameterIndex (index) && string2parameter (index, text);
		case effGetProgramNameIndexed:
			return text && getProgramNameIndexed (static_cast<VstInt32> (value), index, text);
		case effGetParameterProperties:
			return ptr && isParameterIndex (index) &&
			       getParameterProperties (index, static_cast<VstParameterProperties*> (ptr));
		case effBeginSetProgram: return beginSetProgram ();
		case effEndSetProgram: return endSetProgram ();

		case effGetInputProperties:
			return ptr && getInputProperties (index, static_cast<VstPinProperties*> (ptr));
		case effGetOutputProperties:
			return ptr && getOutputProperties (index, static_cast<VstPinProperties*> (ptr));
		// The input arrangement travels in value, the output one in ptr.
		case effSetSpeakerArrangement:
			return setSpeakerArrangement (reinterpret_cast<VstSpeakerArrangement*> (value),
			                              static_cast<VstSpeakerArrangement*> (ptr));
		case effGetSpeakerArrangement:
			return value && ptr &&
			       getSpeakerArrangement (reinterpret_cast<VstSpeakerArrangement**> (value),
			                              static_cast<VstSpeakerArrangement**> (ptr));
		case effSetBypass: return setBypass (value != 0);
		case effSetProcessPrecision: return setProcessPrecision (static_cast<VstInt32> (value));
		case effStartProcess: return startProcess ();
		case effStopProcess: return stopProcess ();
		case effGetTailSize: return getGetTailSize ();

		case effGetEffectName: return text && getEffectName (text);
		case effGetVendorString: return text && getVendorString (text);
		case effGetProductString: return text && getProductString (text);
		case effGetVendorVersion: return getVendorVersion ();
		case effVendorSpecific: return vendorSpecific (index, value, ptr, opt);
		case effGetPlugCategory: return getPlugCategory ();
		case effCanDo: return text ? canDo (text) : 0;
		case effGetVstVersion: return getVstVersion ();

		case effEditKeyDown:
		case effEditKeyUp:
			if (editor)
			{
				VstKeyCode keyCode {index, static_cast<unsigned char> (value),
				                    static_cast<unsigned char> (opt)};
				return opcode == effEditKeyDown ? editor->onKeyDown (keyCode)
				                                : editor->onKeyUp (keyCode);
			}
			return 0;
		case effSetEditKnobMode:
			return editor && editor->setKnobMode (static_cast<VstInt32> (value));

		case effGetNumMidiInputChannels: return getNumMidiInputChannels ();
		case effGetNumMidiOutputChannels: return getNumMidiOutputChannels ();
		case effGetMidiProgramName:
			return ptr ? getMidiProgramName (index, static_cast<MidiProgramName*> (ptr)) : 0;
		case effGetCurrentMidiProgram:
			return ptr ? getCurrentMidiProgram (index, static_cast<MidiProgramName*> (ptr)) : -1;
		case effGetMidiProgramCategory:
			return ptr ? getMidiProgramCategory (index, static_cast<MidiProgramCategory*> (ptr))
			           : 0;
		case effHasMidiProgramsChanged: return hasMidiProgramsChanged (index);
		case effGetMidiKeyName:
			return ptr && getMidiKeyName (index, static_cast<MidiKeyName*> (ptr));
	}
	return AudioEffect::dispatcher (opcode, index, value, ptr, opt);
}

//------------------------------------------------------------------------
bool AudioEffectX::beginEdit (VstInt32 index)
{
	return callHost (audioMasterBeginEdit, index) != 0;
}

//------------------------------------------------------------------------
bool AudioEffectX::endEdit (VstInt32 index)
{
	return callHost (audioMasterEndEdit, index) != 0;
}

//------------------------------------------------------------------------
VstTimeInfo* AudioEffectX::getTimeInfo (VstInt32 filter)
{
	return reinterpret_cast<VstTimeInfo*> (callHost (audioMasterGetTime, 0, filter));
}

//------------------------------------------------------------------------
bool AudioEffectX::sendVstEventsToHost (VstEvents* events)
{
	return events && callHost (audioMasterProcessEvents, 0, 0, events) == 1;
}

//------------------------------------------------------------------------
VstInt32 AudioEffectX::getCurrentProcessLevel ()
{
	return static_cast<VstInt32> (callHost (audioMasterGetCurrentProcessLevel));
}

//------------------------------------------------------------------------
bool AudioEffectX::sizeWindow (VstInt32 width, VstInt32 height)
{
	return callHost (audioMasterSizeWindow, width, height) != 0;
}

//------------------------------------------------------------------------
bool AudioEffectX::ioChanged ()
{
	return callHost (audioMasterIOChanged) != 0;
}

//------------------------------------------------------------------------
bool AudioEffectX::updateDisplay ()
{
	return callHost (audioMasterUpdateDisplay) != 0;
}

//------------------------------------------------------------------------
bool AudioEffectX::getHostProductString (char* text)
{
	if (!text)
		return false;
	*text = 0;
	return callHost (audioMasterGetProductString, 0, 0, text) != 0;
}
