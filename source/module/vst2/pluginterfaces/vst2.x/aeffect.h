// The VST 2.4 binary interface, core part: the AEffect record that a VST 2 host
// and a plug-in exchange, the plug-in and host opcodes of the core protocol and
// the effect flags. Written for Orvotool from the published interface: every
// value and layout here is what hosts rely on, checked by the static_asserts at
// the end. Only what the VST 3 SDK's VST 2 wrapper and our module use is here.
#pragma once

#include <cstddef>
#include <cstdint>

#define __aeffect__

typedef int32_t VstInt32;
typedef int16_t VstInt16;
typedef intptr_t VstIntPtr; // pointer-sized: 64 bits on x86_64

#define VSTCALLBACK

struct AEffect;

// host -> plug-in and plug-in -> host calls share one signature
typedef VstIntPtr (*audioMasterCallback) (AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
typedef VstIntPtr (*AEffectDispatcherProc) (AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt);
typedef void (*AEffectProcessProc) (AEffect* effect, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
typedef void (*AEffectProcessDoubleProc) (AEffect* effect, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);
typedef void (*AEffectSetParameterProc) (AEffect* effect, VstInt32 index, float parameter);
typedef float (*AEffectGetParameterProc) (AEffect* effect, VstInt32 index);

// The four characters 'VstP', most significant first.
constexpr VstInt32 kEffectMagic = 0x56737450;
// The interface version a 2.4 plug-in reports (effGetVstVersion).
constexpr VstInt32 kVstVersion = 2400;

struct AEffect
{
	VstInt32 magic;
	AEffectDispatcherProc dispatcher;
	AEffectProcessProc process; // accumulating process, no longer used by hosts
	AEffectSetParameterProc setParameter;
	AEffectGetParameterProc getParameter;

	VstInt32 numPrograms;
	VstInt32 numParams;
	VstInt32 numInputs;
	VstInt32 numOutputs;
	VstInt32 flags;

	VstIntPtr resvd1; // reserved for the host, 0
	VstIntPtr resvd2; // reserved for the host, 0

	VstInt32 initialDelay; // latency in samples
	VstInt32 realQualities; // unused
	VstInt32 offQualities; // unused
	float ioRatio; // unused

	void* object; // the plug-in's own object (AudioEffect*)
	void* user; // free for the host

	VstInt32 uniqueID;
	VstInt32 version;

	AEffectProcessProc processReplacing;
	AEffectProcessDoubleProc processDoubleReplacing;

	char future[56];
};

enum VstAEffectFlags
{
	effFlagsHasEditor = 1 << 0,
	effFlagsCanReplacing = 1 << 4,
	effFlagsProgramChunks = 1 << 5,
	effFlagsIsSynth = 1 << 8,
	effFlagsNoSoundInStop = 1 << 9,
	effFlagsCanDoubleReplacing = 1 << 12,
};

// Host -> plug-in, core protocol (the numbers are the wire values).
enum AEffectOpcodes
{
	effOpen = 0,
	effClose,
	effSetProgram,
	effGetProgram,
	effSetProgramName,
	effGetProgramName,
	effGetParamLabel,
	effGetParamDisplay,
	effGetParamName,
	effGetVu, // unused
	effSetSampleRate,
	effSetBlockSize,
	effMainsChanged,
	effEditGetRect,
	effEditOpen,
	effEditClose,
	effEditDraw, // unused
	effEditMouse, // unused
	effEditKey, // unused
	effEditIdle,
	effEditTop, // unused
	effEditSleep, // unused
	effIdentify, // unused
	effGetChunk,
	effSetChunk,
	effNumOpcodes
};

// Plug-in -> host, core protocol.
enum AudioMasterOpcodes
{
	audioMasterAutomate = 0,
	audioMasterVersion,
	audioMasterCurrentId,
	audioMasterIdle,
	audioMasterPinConnected // unused
};

// String sizes including the terminating zero.
enum VstStringConstants
{
	kVstMaxProgNameLen = 24,
	kVstMaxParamStrLen = 8,
	kVstMaxVendorStrLen = 64,
	kVstMaxProductStrLen = 64,
	kVstMaxEffectNameLen = 32
};

// The editor rectangle (effEditGetRect), in pixels.
struct ERect
{
	VstInt16 top;
	VstInt16 left;
	VstInt16 bottom;
	VstInt16 right;
};

#if INTPTR_MAX == INT64_MAX
static_assert (sizeof (AEffect) == 192, "AEffect layout");
static_assert (offsetof (AEffect, dispatcher) == 8, "AEffect layout");
static_assert (offsetof (AEffect, numPrograms) == 40, "AEffect layout");
static_assert (offsetof (AEffect, flags) == 56, "AEffect layout");
static_assert (offsetof (AEffect, resvd1) == 64, "AEffect layout");
static_assert (offsetof (AEffect, initialDelay) == 80, "AEffect layout");
static_assert (offsetof (AEffect, ioRatio) == 92, "AEffect layout");
static_assert (offsetof (AEffect, object) == 96, "AEffect layout");
static_assert (offsetof (AEffect, uniqueID) == 112, "AEffect layout");
static_assert (offsetof (AEffect, processReplacing) == 120, "AEffect layout");
static_assert (offsetof (AEffect, processDoubleReplacing) == 128, "AEffect layout");
static_assert (offsetof (AEffect, future) == 136, "AEffect layout");
#endif
static_assert (sizeof (ERect) == 8, "ERect layout");
