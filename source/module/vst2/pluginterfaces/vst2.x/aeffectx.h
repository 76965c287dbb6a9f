// The VST 2.4 binary interface, extended part: the opcodes added after the core
// protocol, events, time information, speaker arrangements, pin and parameter
// properties, MIDI program names and key codes. Written for Orvotool from the
// published interface; layouts are checked by the static_asserts at the end.
#pragma once

#include "pluginterfaces/vst2.x/aeffect.h"

// VSTGUI's key-code header defines its own VstKeyCode unless this is set.
#define __aeffectx__

// Host -> plug-in, extended protocol: continues the core numbering.
enum AEffectXOpcodes
{
	effProcessEvents = effNumOpcodes, // 25
	effCanBeAutomated,
	effString2Parameter,
	effGetNumProgramCategories, // unused
	effGetProgramNameIndexed,
	effCopyProgram, // unused
	effConnectInput, // unused
	effConnectOutput, // unused
	effGetInputProperties,
	effGetOutputProperties,
	effGetPlugCategory, // 35
	effGetCurrentPosition, // unused
	effGetDestinationBuffer, // unused
	effOfflineNotify,
	effOfflinePrepare,
	effOfflineRun,
	effProcessVarIo,
	effSetSpeakerArrangement,
	effSetBlockSizeAndSampleRate, // unused
	effSetBypass,
	effGetEffectName, // 45
	effGetErrorText, // unused
	effGetVendorString,
	effGetProductString,
	effGetVendorVersion,
	effVendorSpecific,
	effCanDo,
	effGetTailSize,
	effIdle, // unused
	effGetIcon, // unused
	effSetViewPosition, // unused
	effGetParameterProperties,
	effKeysRequired, // unused
	effGetVstVersion,
	effEditKeyDown,
	effEditKeyUp,
	effSetEditKnobMode,
	effGetMidiProgramName,
	effGetCurrentMidiProgram,
	effGetMidiProgramCategory,
	effHasMidiProgramsChanged, // 65
	effGetMidiKeyName,
	effBeginSetProgram,
	effEndSetProgram,
	effGetSpeakerArrangement,
	effShellGetNextPlugin,
	effStartProcess,
	effStopProcess,
	effSetTotalSampleToProcess,
	effSetPanLaw,
	effBeginLoadBank, // 75
	effBeginLoadProgram,
	effSetProcessPrecision,
	effGetNumMidiInputChannels,
	effGetNumMidiOutputChannels
};

// Plug-in -> host, extended protocol: continues the core numbering.
enum AudioMasterOpcodesX
{
	audioMasterWantMidi = audioMasterPinConnected + 2, // 6, unused
	audioMasterGetTime,
	audioMasterProcessEvents,
	audioMasterSetTime, // unused
	audioMasterTempoAt, // unused
	audioMasterGetNumAutomatableParameters, // unused
	audioMasterGetParameterQuantization, // unused
	audioMasterIOChanged,
	audioMasterNeedIdle, // unused
	audioMasterSizeWindow, // 15
	audioMasterGetSampleRate,
	audioMasterGetBlockSize,
	audioMasterGetInputLatency,
	audioMasterGetOutputLatency,
	audioMasterGetPreviousPlug, // unused
	audioMasterGetNextPlug, // unused
	audioMasterWillReplaceOrAccumulate, // unused
	audioMasterGetCurrentProcessLevel,
	audioMasterGetAutomationState,
	audioMasterOfflineStart, // 25
	audioMasterOfflineRead,
	audioMasterOfflineWrite,
	audioMasterOfflineGetCurrentPass,
	audioMasterOfflineGetCurrentMetaPass,
	audioMasterSetOutputSampleRate, // unused
	audioMasterGetOutputSpeakerArrangement, // unused
	audioMasterGetVendorString,
	audioMasterGetProductString,
	audioMasterGetVendorVersion,
	audioMasterVendorSpecific, // 35
	audioMasterSetIcon, // unused
	audioMasterCanDo,
	audioMasterGetLanguage,
	audioMasterOpenWindow, // unused
	audioMasterCloseWindow, // unused
	audioMasterGetDirectory,
	audioMasterUpdateDisplay,
	audioMasterBeginEdit,
	audioMasterEndEdit,
	audioMasterOpenFileSelector, // 45
	audioMasterCloseFileSelector
};

enum VstStringConstantsX
{
	kVstMaxNameLen = 64,
	kVstMaxLabelLen = 64,
	kVstMaxShortLabelLen = 8,
	kVstMaxCategLabelLen = 24,
	kVstMaxFileNameLen = 100
};

//------------------------------------------------------------------------ events
enum VstEventTypes
{
	kVstMidiType = 1,
	kVstSysExType = 6
};

struct VstEvent
{
	VstInt32 type;
	VstInt32 byteSize; // of the whole event record
	VstInt32 deltaFrames; // sample offset in the block
	VstInt32 flags;
	char data[16];
};

// A host-allocated list; 'events' really holds numEvents pointers.
struct VstEvents
{
	VstInt32 numEvents;
	VstIntPtr reserved;
	VstEvent* events[2];
};

enum VstMidiEventFlags
{
	kVstMidiEventIsRealtime = 1 << 0
};

struct VstMidiEvent
{
	VstInt32 type;
	VstInt32 byteSize;
	VstInt32 deltaFrames;
	VstInt32 flags;
	VstInt32 noteLength;
	VstInt32 noteOffset;
	char midiData[4];
	char detune;
	char noteOffVelocity;
	char reserved1;
	char reserved2;
};

struct VstMidiSysexEvent
{
	VstInt32 type;
	VstInt32 byteSize;
	VstInt32 deltaFrames;
	VstInt32 flags;
	VstInt32 dumpBytes;
	VstIntPtr resvd1;
	char* sysexDump;
	VstIntPtr resvd2;
};

//------------------------------------------------------------------------ time
struct VstTimeInfo
{
	double samplePos;
	double sampleRate;
	double nanoSeconds;
	double ppqPos;
	double tempo;
	double barStartPos;
	double cycleStartPos;
	double cycleEndPos;
	VstInt32 timeSigNumerator;
	VstInt32 timeSigDenominator;
	VstInt32 smpteOffset;
	VstInt32 smpteFrameRate;
	VstInt32 samplesToNextClock;
	VstInt32 flags;
};

// The bits from 1 to 15 are those of VST 3's process context states: the
// wrapper passes them through unchanged.
enum VstTimeInfoFlags
{
	kVstTransportChanged = 1,
	kVstTransportPlaying = 1 << 1,
	kVstTransportCycleActive = 1 << 2,
	kVstTransportRecording = 1 << 3,
	kVstAutomationWriting = 1 << 6,
	kVstAutomationReading = 1 << 7,
	kVstNanosValid = 1 << 8,
	kVstPpqPosValid = 1 << 9,
	kVstTempoValid = 1 << 10,
	kVstBarsValid = 1 << 11,
	kVstCyclePosValid = 1 << 12,
	kVstTimeSigValid = 1 << 13,
	kVstSmpteValid = 1 << 14,
	kVstClockValid = 1 << 15
};

enum VstSmpteFrameRate
{
	kVstSmpte24fps = 0,
	kVstSmpte25fps = 1,
	kVstSmpte2997fps = 2,
	kVstSmpte30fps = 3,
	kVstSmpte2997dfps = 4,
	kVstSmpte30dfps = 5,
	kVstSmpteFilm16mm = 6,
	kVstSmpteFilm35mm = 7,
	kVstSmpte239fps = 10,
	kVstSmpte249fps = 11,
	kVstSmpte599fps = 12,
	kVstSmpte60fps = 13
};

//------------------------------------------------------------------------ processing
enum VstProcessPrecision
{
	kVstProcessPrecision32 = 0,
	kVstProcessPrecision64
};

enum VstProcessLevels
{
	kVstProcessLevelUnknown = 0,
	kVstProcessLevelUser,
	kVstProcessLevelRealtime,
	kVstProcessLevelPrefetch,
	kVstProcessLevelOffline
};

enum VstPlugCategory
{
	kPlugCategUnknown = 0,
	kPlugCategEffect,
	kPlugCategSynth,
	kPlugCategAnalysis,
	kPlugCategMastering,
	kPlugCategSpacializer,
	kPlugCategRoomFx,
	kPlugSurroundFx,
	kPlugCategRestoration,
	kPlugCategOfflineProcess,
	kPlugCategShell,
	kPlugCategGenerator,
	kPlugCategMaxCount
};

//------------------------------------------------------------------------ parameters
struct VstParameterProperties
{
	float stepFloat;
	float smallStepFloat;
	float largeStepFloat;
	char label[kVstMaxLabelLen];
	VstInt32 flags;
	VstInt32 minInteger;
	VstInt32 maxInteger;
	VstInt32 stepInteger;
	VstInt32 largeStepInteger;
	char shortLabel[kVstMaxShortLabelLen];
	VstInt16 displayIndex;
	VstInt16 category;
	VstInt16 numParametersInCategory;
	VstInt16 reserved;
	char categoryLabel[kVstMaxCategLabelLen];
	char future[16];
};

enum VstParameterFlags
{
	kVstParameterIsSwitch = 1 << 0,
	kVstParameterUsesIntegerMinMax = 1 << 1,
	kVstParameterUsesFloatStep = 1 << 2,
	kVstParameterUsesIntStep = 1 << 3,
	kVstParameterSupportsDisplayIndex = 1 << 4,
	kVstParameterSupportsDisplayCategory = 1 << 5,
	kVstParameterCanRamp = 1 << 6
};

//------------------------------------------------------------------------ pins and speakers
struct VstPinProperties
{
	char label[kVstMaxLabelLen];
	VstInt32 flags;
	VstInt32 arrangementType;
	char shortLabel[kVstMaxShortLabelLen];
	char future[48];
};

enum VstPinPropertiesFlags
{
	kVstPinIsActive = 1 << 0,
	kVstPinIsStereo = 1 << 1,
	kVstPinUseSpeaker = 1 << 2
};

struct VstSpeakerProperties
{
	float azimuth;
	float elevation;
	float radius;
	float reserved;
	char name[kVstMaxNameLen];
	VstInt32 type;
	char future[28];
};

// A host-allocated arrangement may hold more than 8 speakers.
struct VstSpeakerArrangement
{
	VstInt32 type;
	VstInt32 numChannels;
	VstSpeakerProperties speakers[8];
};

// Speaker types 0 to 19 in this order: the wrapper indexes its name table
// with them.
enum VstSpeakerType
{
	kSpeakerUndefined = 0x7fffffff,
	kSpeakerM = 0,
	kSpeakerL,
	kSpeakerR,
	kSpeakerC,
	kSpeakerLfe,
	kSpeakerLs,
	kSpeakerRs,
	kSpeakerLc,
	kSpeakerRc,
	kSpeakerS,
	kSpeakerCs = kSpeakerS,
	kSpeakerSl,
	kSpeakerSr,
	kSpeakerTm,
	kSpeakerTfl,
	kSpeakerTfc,
	kSpeakerTfr,
	kSpeakerTrl,
	kSpeakerTrc,
	kSpeakerTrr,
	kSpeakerLfe2
};

enum VstSpeakerArrangementType
{
	kSpeakerArrUserDefined = -2,
	kSpeakerArrEmpty = -1,
	kSpeakerArrMono = 0,
	kSpeakerArrStereo,
	kSpeakerArrStereoSurround,
	kSpeakerArrStereoCenter,
	kSpeakerArrStereoSide,
	kSpeakerArrStereoCLfe,
	kSpeakerArr30Cine,
	kSpeakerArr30Music,
	kSpeakerArr31Cine,
	kSpeakerArr31Music,
	kSpeakerArr40Cine,
	kSpeakerArr40Music,
	kSpeakerArr41Cine,
	kSpeakerArr41Music,
	kSpeakerArr50,
	kSpeakerArr51, // 15
	kSpeakerArr60Cine,
	kSpeakerArr60Music,
	kSpeakerArr61Cine,
	kSpeakerArr61Music,
	kSpeakerArr70Cine,
	kSpeakerArr70Music,
	kSpeakerArr71Cine,
	kSpeakerArr71Music,
	kSpeakerArr80Cine,
	kSpeakerArr80Music,
	kSpeakerArr81Cine,
	kSpeakerArr81Music,
	kSpeakerArr102, // 28
	kNumSpeakerArr
};

//------------------------------------------------------------------------ MIDI programs
struct MidiProgramName
{
	VstInt32 thisProgramIndex;
	char name[kVstMaxNameLen];
	char midiProgram;
	char midiBankMsb;
	char midiBankLsb;
	char reserved;
	VstInt32 parentCategoryIndex;
	VstInt32 flags;
};

struct MidiProgramCategory
{
	VstInt32 thisCategoryIndex;
	char name[kVstMaxNameLen];
	VstInt32 parentCategoryIndex;
	VstInt32 flags;
};

struct MidiKeyName
{
	VstInt32 thisProgramIndex;
	VstInt32 thisKeyNumber;
	char keyName[kVstMaxNameLen];
	VstInt32 reserved;
	VstInt32 flags;
};

//------------------------------------------------------------------------ keys
// effEditKeyDown/Up: character in index, virtual key in value, modifiers in opt.
struct VstKeyCode
{
	VstInt32 character;
	unsigned char virt;
	unsigned char modifier;
};

//------------------------------------------------------------------------ layout checks
static_assert (sizeof (VstEvent) == 32, "VstEvent layout");
static_assert (sizeof (VstMidiEvent) == 32, "VstMidiEvent layout");
static_assert (offsetof (VstMidiEvent, midiData) == 24, "VstMidiEvent layout");
static_assert (sizeof (VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert (offsetof (VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo layout");
static_assert (offsetof (VstTimeInfo, flags) == 84, "VstTimeInfo layout");
static_assert (sizeof (VstParameterProperties) == 152, "VstParameterProperties layout");
static_assert (offsetof (VstParameterProperties, flags) == 76, "VstParameterProperties layout");
static_assert (offsetof (VstParameterProperties, shortLabel) == 96, "VstParameterProperties layout");
static_assert (offsetof (VstParameterProperties, categoryLabel) == 112,
               "VstParameterProperties layout");
static_assert (sizeof (VstPinProperties) == 128, "VstPinProperties layout");
static_assert (offsetof (VstPinProperties, arrangementType) == 68, "VstPinProperties layout");
static_assert (sizeof (VstSpeakerProperties) == 112, "VstSpeakerProperties layout");
static_assert (offsetof (VstSpeakerProperties, type) == 80, "VstSpeakerProperties layout");
static_assert (sizeof (VstSpeakerArrangement) == 8 + 8 * 112, "VstSpeakerArrangement layout");
static_assert (sizeof (MidiProgramName) == 80, "MidiProgramName layout");
static_assert (sizeof (MidiProgramCategory) == 76, "MidiProgramCategory layout");
static_assert (sizeof (MidiKeyName) == 80, "MidiKeyName layout");
static_assert (sizeof (VstKeyCode) == 8, "VstKeyCode layout");
#if INTPTR_MAX == INT64_MAX
static_assert (sizeof (VstEvents) == 32 && offsetof (VstEvents, events) == 16, "VstEvents layout");
static_assert (sizeof (VstMidiSysexEvent) == 48, "VstMidiSysexEvent layout");
static_assert (offsetof (VstMidiSysexEvent, sysexDump) == 32, "VstMidiSysexEvent layout");
#endif
static_assert (effGetPlugCategory == 35 && effGetVendorString == 47 && effCanDo == 51 &&
                   effGetVstVersion == 58 && effStartProcess == 71 &&
                   effGetNumMidiOutputChannels == 79,
               "extended opcode numbering");
static_assert (audioMasterGetTime == 7 && audioMasterSizeWindow == 15 &&
                   audioMasterGetCurrentProcessLevel == 23 && audioMasterGetProductString == 33 &&
                   audioMasterUpdateDisplay == 42 && audioMasterEndEdit == 44,
               "host opcode numbering");
