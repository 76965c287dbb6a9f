// Base class of a VST 2 plug-in editor: the host's editor opcodes arrive here
// through AudioEffect's dispatcher. Written for Orvotool from the published
// VST 2.4 interface.
#pragma once

#include "pluginterfaces/vst2.x/aeffectx.h"

class AudioEffect;

class AEffEditor
{
public:
	explicit AEffEditor (AudioEffect* effect = nullptr) : effect (effect) {}
	virtual ~AEffEditor () {}

	virtual AudioEffect* getEffect () { return effect; }

	// The editor's size; false (and *rect null) when there is none.
	virtual bool getRect (ERect** rect)
	{
		*rect = nullptr;
		return false;
	}
	// ptr is the host's parent window (an X11 window id on Linux).
	virtual bool open (void* ptr)
	{
		systemWindow = ptr;
		return false;
	}
	virtual void close () { systemWindow = nullptr; }
	virtual bool isOpen () { return systemWindow != nullptr; }
	virtual void idle () {}

	virtual bool setKnobMode (VstInt32 /*val*/) { return false; }
	virtual bool onKeyDown (VstKeyCode& /*keyCode*/) { return false; }
	virtual bool onKeyUp (VstKeyCode& /*keyCode*/) { return false; }
	virtual bool onWheel (float /*distance*/) { return false; }

protected:
	AudioEffect* effect;
	void* systemWindow {nullptr};
};
