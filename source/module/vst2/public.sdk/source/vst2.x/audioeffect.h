// Base class of a VST 2 plug-in: owns the AEffect record handed to the host,
// routes the host's calls of the core protocol to virtual functions and wraps
// the host callback. Written for Orvotool from the published VST 2.4 interface,
// with what the VST 3 SDK's VST 2 wrapper builds on.
#pragma once

#include "pluginterfaces/vst2.x/aeffect.h"

class AEffEditor;

class AudioEffect
{
public:
	AudioEffect (audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
	// The editor is not deleted here: whoever sets one owns it.
	virtual ~AudioEffect ();

	// Host calls of the core protocol; the extended protocol in AudioEffectX.
	virtual VstIntPtr dispatcher (VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
	                              float opt);

	virtual void open () {}
	virtual void close () {}
	virtual void suspend () {}
	virtual void resume () {}
	virtual void setSampleRate (float newSampleRate) { sampleRate = newSampleRate; }
	virtual void setBlockSize (VstInt32 newBlockSize) { blockSize = newBlockSize; }

	virtual void processReplacing (float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
	virtual void processDoubleReplacing (double** /*inputs*/, double** /*outputs*/,
	                                     VstInt32 /*sampleFrames*/)
	{
	}

	virtual void setParameter (VstInt32 /*index*/, float /*value*/) {}
	virtual float getParameter (VstInt32 /*index*/) { return 0.f; }
	// Sets the parameter and tells the host, which records it as automation.
	virtual void setParameterAutomated (VstInt32 index, float value);
	virtual void getParameterLabel (VstInt32 /*index*/, char* label) { *label = 0; }
	virtual void getParameterDisplay (VstInt32 /*index*/, char* text) { *text = 0; }
	virtual void getParameterName (VstInt32 /*index*/, char* text) { *text = 0; }

	virtual VstInt32 getProgram () { return curProgram; }
	virtual void setProgram (VstInt32 program) { curProgram = program; }
	virtual void setProgramName (char* /*name*/) {}
	virtual void getProgramName (char* name) { *name = 0; }
	// The plug-in keeps the chunk's memory until the next call.
	virtual VstInt32 getChunk (void** /*data*/, bool /*isPreset*/ = false) { return 0; }
	virtual VstInt32 setChunk (void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false)
	{
		return 0;
	}

	// What the AEffect record announces.
	virtual void setUniqueID (VstInt32 id) { cEffect.uniqueID = id; }
	virtual void setNumInputs (VstInt32 inputs) { cEffect.numInputs = inputs; }
	virtual void setNumOutputs (VstInt32 outputs) { cEffect.numOutputs = outputs; }
	virtual void canProcessReplacing (bool state = true) { setFlag (effFlagsCanReplacing, state); }
	virtual void canDoubleReplacing (bool state = true)
	{
		setFlag (effFlagsCanDoubleReplacing, state);
	}
	virtual void programsAreChunks (bool state = true) { setFlag (effFlagsProgramChunks, state); }
	virtual void setInitialDelay (VstInt32 delay) { cEffect.initialDelay = delay; }
	virtual void setEditor (AEffEditor* newEditor);

	// The host's VST version (1 when it does not say).
	virtual VstInt32 getMasterVersion ();

	AEffect* getAeffect () { return &cEffect; }

	// The functions the AEffect record points to: they find the object and call
	// its virtual functions. effClose deletes the object.
	static VstIntPtr dispatchEffectClass (AEffect* e, VstInt32 opcode, VstInt32 index,
	                                      VstIntPtr value, void* ptr, float opt);
	static float getParameterClass (AEffect* e, VstInt32 index);
	static void setParameterClass (AEffect* e, VstInt32 index, float value);
	static void processClass (AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
	static void processReplacingClass (AEffect* e, float** inputs, float** outputs,
	                                   VstInt32 sampleFrames);
	static void processDoubleReplacingClass (AEffect* e, double** inputs, double** outputs,
	                                         VstInt32 sampleFrames);

protected:
	// The host callback, or 0 when the host gave none.
	VstIntPtr callHost (VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
	                    void* ptr = nullptr, float opt = 0.f);
	void setFlag (VstInt32 flag, bool state);
	bool isParameterIndex (VstInt32 index) const { return index >= 0 && index < cEffect.numParams; }

	audioMasterCallback audioMaster;
	AEffEditor* editor {nullptr};
	float sampleRate {44100.f};
	VstInt32 blockSize {1024};
	VstInt32 numPrograms;
	VstInt32 numParams;
	VstInt32 curProgram {0};
	AEffect cEffect;
};
