// The VST 2 plugin interface as this host uses it: records, opcodes and flags.
// Declared here from the published layout; the 32-bit build checks the offsets
// that the host relies on.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t VstInt32;
typedef intptr_t VstIntPtr;  // pointer-sized value and return type

#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

struct AEffect;

typedef VstIntPtr(VSTCALLBACK *audioMasterCallback)(AEffect *effect, VstInt32 opcode, VstInt32 index,
                                                     VstIntPtr value, void *ptr, float opt);
typedef VstIntPtr(VSTCALLBACK *AEffectDispatcherProc)(AEffect *effect, VstInt32 opcode, VstInt32 index,
                                                      VstIntPtr value, void *ptr, float opt);
typedef void(VSTCALLBACK *AEffectProcessProc)(AEffect *effect, float **inputs, float **outputs,
                                              VstInt32 sampleFrames);
typedef void(VSTCALLBACK *AEffectProcessDoubleProc)(AEffect *effect, double **inputs, double **outputs,
                                                    VstInt32 sampleFrames);
typedef void(VSTCALLBACK *AEffectSetParameterProc)(AEffect *effect, VstInt32 index, float parameter);
typedef float(VSTCALLBACK *AEffectGetParameterProc)(AEffect *effect, VstInt32 index);

// The entry point "vstfx" of the module.
typedef AEffect *(VSTCALLBACK *VstEntryProc)(audioMasterCallback host);

const VstInt32 kEffectMagic = 0x56737450;  // 'VstP'

struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;  // accumulating form
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;  // reserved for the host
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void *object;
    void *user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

enum VstAEffectFlags {
    effFlagsHasEditor = 1 << 0,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
};

// Dispatcher opcodes (host to plugin).
enum AEffectOpcodes {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,  // value = program number
    effGetProgram = 3,
    effSetProgramName = 4,  // ptr = name of the current program
    effGetProgramName = 5,  // ptr = room for the current program's name
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effGetChunk = 23,  // index 0 = bank, 1 = program; ptr = address of the data pointer; returns the size
    effSetChunk = 24,  // index as effGetChunk; value = size; ptr = data; returns 0 when refused
    effProcessEvents = 25,
    effGetProgramNameIndexed = 29,  // index = program; ptr = room for its name
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effVendorSpecific = 50,
    effCanDo = 51,
    effIdle = 53,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
};

// Host callback opcodes (plugin to host).
enum AudioMasterOpcodes {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterTempoAt = 10,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
};

struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

// Program names: 24 characters with the terminator, as plugins write them.
const int kVstMaxProgNameLen = 24;

enum VstEventTypes { kVstMidiType = 1 };

struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;         // kVstMidiType
    VstInt32 byteSize;     // 24
    VstInt32 deltaFrames;  // frames from the start of the block
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4];  // status, data 1, data 2, 0
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent *events[2];  // really numEvents entries
};

enum VstTimeInfoFlags {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
};

struct VstTimeInfo {
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

// Answer to effGetInputProperties / effGetOutputProperties: 128 bytes, label first.
struct VstPinProperties {
    char label[64];
    VstInt32 flags;
    VstInt32 arrangementType;
    char shortLabel[8];
    char future[48];
};

static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent is 32 bytes");
static_assert(sizeof(ERect) == 8, "ERect is four 16-bit values");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert(sizeof(VstPinProperties) == 128, "pin properties are 128 bytes");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "MIDI data follows six 32-bit fields");

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit layout the host relies on.
static_assert(offsetof(AEffect, dispatcher) == 4, "dispatcher at 4");
static_assert(offsetof(AEffect, process) == 8, "process at 8");
static_assert(offsetof(AEffect, numInputs) == 28, "numInputs at 28");
static_assert(offsetof(AEffect, numOutputs) == 32, "numOutputs at 32");
static_assert(offsetof(AEffect, flags) == 36, "flags at 36");
static_assert(offsetof(AEffect, resvd1) == 40, "resvd1 at 40");
static_assert(offsetof(AEffect, processReplacing) == 80, "processReplacing at 80");
static_assert(sizeof(AEffect) == 144, "AEffect is 144 bytes");
static_assert(offsetof(VstEvents, events) == 8, "event pointers at 8");
#else
static_assert(offsetof(AEffect, resvd1) == 64, "resvd1 is pointer-aligned after flags");
static_assert(offsetof(VstEvents, events) == 16, "event pointers after the pointer-sized reserved word");
#endif
