// Base class of a VST 2.4 plug-in: AudioEffect plus the extended protocol
// (events, pins and speakers, parameter properties, names, process control)
// and the host callbacks that go with it. Written for Orvotool from the
// published VST 2.4 interface, with what the VST 3 SDK's VST 2 wrapper uses.
#pragma once

#include "pluginterfaces/vst2.x/aeffectx.h"
#include "public.sdk/source/vst2.x/audioeffect.h"

class AudioEffectX : public AudioEffect
{
public:
	AudioEffectX (audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

	VstIntPtr dispatcher (VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
	                      float opt) override;

	//--- host -> plug-in
	virtual bool canParameterBeAutomated (VstInt32 /*index*/) { return true; }
	virtual bool string2parameter (VstInt32 /*index*/, char* /*text*/) { return false; }
	virtual bool getParameterProperties (VstInt32 /*index*/, VstParameterProperties* /*p*/)
	{
		return false;
	}
	virtual bool getProgramNameIndexed (VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/)
	{
		return false;
	}
	virtual bool beginSetProgram () { return false; }
	virtual bool endSetProgram () { return false; }

	virtual VstInt32 processEvents (VstEvents* /*events*/) { return 0; }
	virtual bool getInputProperties (VstInt32 /*index*/, VstPinProperties* /*properties*/)
	{
		return false;
	}
	virtual bool getOutputProperties (VstInt32 /*index*/, VstPinProperties* /*properties*/)
	{
		return false;
	}
	virtual bool setSpeakerArrangement (VstSpeakerArrangement* /*pluginInput*/,
	                                    VstSpeakerArrangement* /*pluginOutput*/)
	{
		return false;
	}
	virtual bool getSpeakerArrangement (VstSpeakerArrangement** pluginInput,
	                                    VstSpeakerArrangement** pluginOutput)
	{
		*pluginInput = nullptr;
		*pluginOutput = nullptr;
		return false;
	}
	virtual bool setBypass (bool /*onOff*/) { return false; }
	virtual bool setProcessPrecision (VstInt32 /*precision*/) { return false; }
	virtual VstInt32 startProcess () { return 0; }
	virtual VstInt32 stopProcess () { return 0; }
	virtual VstInt32 getGetTailSize () { return 0; }

	virtual bool getEffectName (char* /*name*/) { return false; }
	virtual bool getVendorString (char* /*text*/) { return false; }
	virtual bool getProductString (char* /*text*/) { return false; }
	virtual VstInt32 getVendorVersion () { return 0; }
	virtual VstIntPtr vendorSpecific (VstInt32 /*lArg*/, VstIntPtr /*lArg2*/, void* /*ptrArg*/,
	                                  float /*floatArg*/)
	{
		return 0;
	}
	virtual VstPlugCategory getPlugCategory () { return kPlugCategUnknown; }
	// 1: can do, -1: cannot, 0: does not know.
	virtual VstInt32 canDo (char* /*text*/) { return 0; }
	virtual VstInt32 getVstVersion () { return kVstVersion; }

	virtual VstInt32 getNumMidiInputChannels () { return 0; }
	virtual VstInt32 getNumMidiOutputChannels () { return 0; }
	virtual VstInt32 getMidiProgramName (VstInt32 /*channel*/, MidiProgramName* /*name*/)
	{
		return 0;
	}
	virtual VstInt32 getCurrentMidiProgram (VstInt32 /*channel*/, MidiProgramName* /*current*/)
	{
		return -1;
	}
	virtual VstInt32 getMidiProgramCategory (VstInt32 /*channel*/,
	                                         MidiProgramCategory* /*category*/)
	{
		return 0;
	}
	virtual bool hasMidiProgramsChanged (VstInt32 /*channel*/) { return false; }
	virtual bool getMidiKeyName (VstInt32 /*channel*/, MidiKeyName* /*keyName*/) { return false; }

	//--- plug-in -> host (each does nothing when the host gave no callback)
	// The parameter index is the host's, signed as on the wire.
	virtual bool beginEdit (VstInt32 index);
	virtual bool endEdit (VstInt32 index);
	// Null when the host has no time information.
	virtual VstTimeInfo* getTimeInfo (VstInt32 filter);
	virtual bool sendVstEventsToHost (VstEvents* events);
	virtual VstInt32 getCurrentProcessLevel ();
	virtual bool sizeWindow (VstInt32 width, VstInt32 height);
	virtual bool ioChanged ();
	virtual bool updateDisplay ();
	virtual bool getHostProductString (char* text);

	virtual void isSynth (bool state = true) { setFlag (effFlagsIsSynth, state); }
	virtual void noTail (bool state = true) { setFlag (effFlagsNoSoundInStop, state); }
};
