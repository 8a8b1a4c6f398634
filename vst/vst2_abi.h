// The VST 2.4 binary interface as this project uses it: records, opcodes, flags and limits.
//
// Everything here is laid out to match what hosts expect from a 64-bit Linux shared object and a
// Windows x64 DLL (the two layouts are identical); every size and offset is pinned by a
// static_assert below the definition. Fixed-width types only: `long` differs between LP64 and
// LLP64. Names follow the conventional public spelling so that logs and other tools stay readable.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

using VstInt16 = int16_t;
using VstInt32 = int32_t;
using VstInt64 = int64_t;
using VstIntPtr = intptr_t;

// Four-character codes read as big-endian integers ('VstP' == 0x56737450).
constexpr VstInt32 vstFourCharCode(char a, char b, char c, char d)
{
    return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                                 static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

constexpr VstInt32 kEffectMagic = vstFourCharCode('V', 's', 't', 'P');
static_assert(kEffectMagic == 0x56737450);

// Answer of effIdentify, kept for hosts that still ask.
constexpr VstInt32 kVstIdentifyAnswer = vstFourCharCode('N', 'v', 'E', 'f');
static_assert(kVstIdentifyAnswer == 0x4E764566);

// Version this interface reports for itself (effGetVstVersion, audioMasterVersion).
constexpr VstInt32 kVstVersion = 2400;

#pragma pack(push, 8)

struct AEffect;

// Host callback: the plug-in's way to talk to the host. `effect` may be null while the entry point
// is still running.
using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                    VstInt32 index, VstIntPtr value, void* ptr,
                                                    float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                      VstInt32 index, VstIntPtr value, void* ptr,
                                                      float opt);
// Used for both the deprecated accumulating process and processReplacing.
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs,
                                                    double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, VstInt32 index,
                                                   float parameter);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, VstInt32 index);

// The record the entry point hands to the host. The plug-in owns the memory; the host owns
// resvd1/resvd2 once the entry point has returned.
struct AEffect
{
    VstInt32 magic;                                  // kEffectMagic
    AEffectDispatcherProc dispatcher;                // host -> plug-in opcodes
    AEffectProcessProc process;                      // deprecated accumulating process
    AEffectSetParameterProc setParameter;            // normalised 0..1
    AEffectGetParameterProc getParameter;            // normalised 0..1
    VstInt32 numPrograms;                            //
    VstInt32 numParams;                              //
    VstInt32 numInputs;                              // audio input channels
    VstInt32 numOutputs;                             // audio output channels
    VstInt32 flags;                                  // VstAEffectFlags
    VstIntPtr resvd1;                                // reserved for the host
    VstIntPtr resvd2;                                // reserved for the host
    VstInt32 initialDelay;                           // latency in samples
    VstInt32 realQualities;                          // deprecated
    VstInt32 offQualities;                           // deprecated
    float ioRatio;                                   // deprecated
    void* object;                                    // the plug-in's own instance
    void* user;                                      // unused, left null
    VstInt32 uniqueID;                               // four-character plug-in identifier
    VstInt32 version;                                // plug-in version
    AEffectProcessProc processReplacing;             // overwrites the outputs
    AEffectProcessDoubleProc processDoubleReplacing; // only with effFlagsCanDoubleReplacing
    char future[56];                                 // reserved, zero
};

// Flags in AEffect::flags.
enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Dispatcher opcodes, host -> plug-in.
enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,
    effGetIcon = 54,
    effSetViewPosition = 55,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// Host callback opcodes, plug-in -> host. 5 was never assigned.
enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4, // answers 0 for a connected pin
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

// Text limits in characters, terminator not included.
enum VstStringConstants : VstInt32 {
    kVstMaxProgNameLen = 24,
    kVstMaxParamStrLen = 8,
    kVstMaxVendorStrLen = 64,
    kVstMaxProductStrLen = 64,
    kVstMaxEffectNameLen = 32,
    kVstMaxNameLen = 64,
    kVstMaxLabelLen = 64,
    kVstMaxShortLabelLen = 8,
    kVstMaxCategLabelLen = 24,
    kVstMaxFileNameLen = 100,
};

// effGetPlugCategory answers.
enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11,
    kPlugCategMaxCount = 12,
};

// effCanDo / audioMasterCanDo answers.
enum VstCanDoAnswer : VstInt32 {
    kVstCanDoNo = -1,
    kVstCanDoUnknown = 0,
    kVstCanDoYes = 1,
};

enum VstProcessPrecision : VstInt32 {
    kVstProcessPrecision32 = 0,
    kVstProcessPrecision64 = 1,
};

enum VstProcessLevels : VstInt32 {
    kVstProcessLevelUnknown = 0,
    kVstProcessLevelUser = 1,
    kVstProcessLevelRealtime = 2,
    kVstProcessLevelPrefetch = 3,
    kVstProcessLevelOffline = 4,
};

enum VstAutomationStates : VstInt32 {
    kVstAutomationUnsupported = 0,
    kVstAutomationOff = 1,
    kVstAutomationRead = 2,
    kVstAutomationWrite = 3,
    kVstAutomationReadWrite = 4,
};

// Editor rectangle handed out by effEditGetRect; width = right - left, height = bottom - top.
struct ERect
{
    VstInt16 top;
    VstInt16 left;
    VstInt16 bottom;
    VstInt16 right;
};

// ---- Events -------------------------------------------------------------------------------------

enum VstEventTypes : VstInt32 {
    kVstMidiType = 1,
    kVstAudioType = 2,     // deprecated
    kVstVideoType = 3,     // deprecated
    kVstParameterType = 4, // deprecated
    kVstTriggerType = 5,   // deprecated
    kVstSysExType = 6,
};

enum VstMidiEventFlags : VstInt32 {
    kVstMidiEventIsRealtime = 1 << 0,
};

// Generic event header. byteSize is filled inconsistently by hosts: dispatch on `type` only.
struct VstEvent
{
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames; // sample offset inside the coming block
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent
{
    VstInt32 type; // kVstMidiType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags; // VstMidiEventFlags
    VstInt32 noteLength;
    VstInt32 noteOffset;
    uint8_t midiData[4]; // status and up to two data bytes, fourth byte zero
    int8_t detune;
    uint8_t noteOffVelocity;
    int8_t reserved1;
    int8_t reserved2;
};

struct VstMidiSysexEvent
{
    VstInt32 type; // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump;
    VstIntPtr resvd2;
};

// Event list: the pointer array is inline and the sender allocates room for numEvents entries.
struct VstEvents
{
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

// ---- Time information ---------------------------------------------------------------------------

enum VstTimeInfoFlags : VstInt32 {
    kVstTransportChanged = 1 << 0,
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
    kVstClockValid = 1 << 15,
};

enum VstSmpteFrameRate : VstInt32 {
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
    kVstSmpte60fps = 13,
};

// Host-owned transport record returned by audioMasterGetTime. Fields other than samplePos and
// sampleRate are meaningful only when their validity flag is set.
struct VstTimeInfo
{
    double samplePos;
    double sampleRate;
    double nanoSeconds;          // kVstNanosValid
    double ppqPos;               // kVstPpqPosValid
    double tempo;                // kVstTempoValid
    double barStartPos;          // kVstBarsValid
    double cycleStartPos;        // kVstCyclePosValid
    double cycleEndPos;          // kVstCyclePosValid
    VstInt32 timeSigNumerator;   // kVstTimeSigValid
    VstInt32 timeSigDenominator; // kVstTimeSigValid
    VstInt32 smpteOffset;        // kVstSmpteValid
    VstInt32 smpteFrameRate;     // kVstSmpteValid
    VstInt32 samplesToNextClock; // kVstClockValid
    VstInt32 flags;              // VstTimeInfoFlags
};

// ---- Pins, parameters, speakers, patches --------------------------------------------------------

enum VstPinPropertiesFlags : VstInt32 {
    kVstPinIsActive = 1 << 0,
    kVstPinIsStereo = 1 << 1,
    kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties
{
    char label[kVstMaxLabelLen];
    VstInt32 flags; // VstPinPropertiesFlags
    VstInt32 arrangementType;
    char shortLabel[kVstMaxShortLabelLen];
    char future[48];
};

enum VstParameterFlags : VstInt32 {
    kVstParameterIsSwitch = 1 << 0,
    kVstParameterUsesIntegerMinMax = 1 << 1,
    kVstParameterUsesFloatStep = 1 << 2,
    kVstParameterUsesIntStep = 1 << 3,
    kVstParameterSupportsDisplayIndex = 1 << 4,
    kVstParameterSupportsDisplayCategory = 1 << 5,
    kVstParameterCanRamp = 1 << 6,
};

struct VstParameterProperties
{
    float stepFloat;
    float smallStepFloat;
    float largeStepFloat;
    char label[kVstMaxLabelLen];
    VstInt32 flags; // VstParameterFlags
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

enum VstSpeakerArrangementType : VstInt32 {
    kSpeakerArrUserDefined = -2,
    kSpeakerArrEmpty = -1,
    kSpeakerArrMono = 0,
    kSpeakerArrStereo = 1,
    kSpeakerArrStereoSurround = 2,
    kSpeakerArrStereoCenter = 3,
    kSpeakerArrStereoSide = 4,
    kSpeakerArrStereoCLfe = 5,
    kSpeakerArr30Cine = 6,
    kSpeakerArr30Music = 7,
    kSpeakerArr31Cine = 8,
    kSpeakerArr31Music = 9,
    kSpeakerArr40Cine = 10,
    kSpeakerArr40Music = 11,
    kSpeakerArr41Cine = 12,
    kSpeakerArr41Music = 13,
    kSpeakerArr50 = 14,
    kSpeakerArr51 = 15,
    kSpeakerArr60Cine = 16,
    kSpeakerArr60Music = 17,
    kSpeakerArr61Cine = 18,
    kSpeakerArr61Music = 19,
    kSpeakerArr70Cine = 20,
    kSpeakerArr70Music = 21,
    kSpeakerArr71Cine = 22,
    kSpeakerArr71Music = 23,
    kSpeakerArr80Cine = 24,
    kSpeakerArr80Music = 25,
    kSpeakerArr81Cine = 26,
    kSpeakerArr81Music = 27,
    kSpeakerArr102 = 28,
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

// Declared with eight speakers; senders treat the array as numChannels long.
struct VstSpeakerArrangement
{
    VstInt32 type; // VstSpeakerArrangementType
    VstInt32 numChannels;
    VstSpeakerProperties speakers[8];
};

// Passed with effBeginLoadBank / effBeginLoadProgram.
struct VstPatchChunkInfo
{
    VstInt32 version;
    VstInt32 pluginUniqueID;
    VstInt32 pluginVersion;
    VstInt32 numElements;
    char future[48];
};

// ---- Editor keyboard ----------------------------------------------------------------------------

enum VstModifierKey : VstInt32 {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

enum VstKnobMode : VstInt32 {
    kCircularMode = 0,
    kRelativCircularMode = 1,
    kLinearMode = 2,
};

#pragma pack(pop)

// ---- Layout checks ------------------------------------------------------------------------------
// The numbers are the ones hosts were observed to use; a mismatch here means a host would read
// garbage, so the build stops.

static_assert(sizeof(VstInt32) == 4 && sizeof(VstInt16) == 2 && sizeof(float) == 4 &&
              sizeof(double) == 8);
static_assert(sizeof(ERect) == 8);
static_assert(offsetof(ERect, top) == 0 && offsetof(ERect, left) == 2 &&
              offsetof(ERect, bottom) == 4 && offsetof(ERect, right) == 6);

static_assert(sizeof(VstEvent) == 32);
static_assert(offsetof(VstEvent, type) == 0 && offsetof(VstEvent, byteSize) == 4 &&
              offsetof(VstEvent, deltaFrames) == 8 && offsetof(VstEvent, flags) == 12 &&
              offsetof(VstEvent, data) == 16);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, noteLength) == 16 &&
              offsetof(VstMidiEvent, noteOffset) == 20 && offsetof(VstMidiEvent, midiData) == 24 &&
              offsetof(VstMidiEvent, detune) == 28 &&
              offsetof(VstMidiEvent, noteOffVelocity) == 29 &&
              offsetof(VstMidiEvent, reserved1) == 30 && offsetof(VstMidiEvent, reserved2) == 31);

static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, samplePos) == 0 && offsetof(VstTimeInfo, sampleRate) == 8 &&
              offsetof(VstTimeInfo, nanoSeconds) == 16 && offsetof(VstTimeInfo, ppqPos) == 24 &&
              offsetof(VstTimeInfo, tempo) == 32 && offsetof(VstTimeInfo, barStartPos) == 40 &&
              offsetof(VstTimeInfo, cycleStartPos) == 48 &&
              offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64 &&
              offsetof(VstTimeInfo, timeSigDenominator) == 68 &&
              offsetof(VstTimeInfo, smpteOffset) == 72 &&
              offsetof(VstTimeInfo, smpteFrameRate) == 76 &&
              offsetof(VstTimeInfo, samplesToNextClock) == 80 &&
              offsetof(VstTimeInfo, flags) == 84);

static_assert(sizeof(VstPinProperties) == 128);
static_assert(offsetof(VstPinProperties, label) == 0 && offsetof(VstPinProperties, flags) == 64 &&
              offsetof(VstPinProperties, arrangementType) == 68 &&
              offsetof(VstPinProperties, shortLabel) == 72 &&
              offsetof(VstPinProperties, future) == 80);

static_assert(sizeof(VstParameterProperties) == 152);
static_assert(offsetof(VstParameterProperties, stepFloat) == 0 &&
              offsetof(VstParameterProperties, smallStepFloat) == 4 &&
              offsetof(VstParameterProperties, largeStepFloat) == 8 &&
              offsetof(VstParameterProperties, label) == 12 &&
              offsetof(VstParameterProperties, flags) == 76);
static_assert(offsetof(VstParameterProperties, minInteger) == 80 &&
              offsetof(VstParameterProperties, maxInteger) == 84 &&
              offsetof(VstParameterProperties, stepInteger) == 88 &&
              offsetof(VstParameterProperties, largeStepInteger) == 92 &&
              offsetof(VstParameterProperties, shortLabel) == 96);
static_assert(offsetof(VstParameterProperties, displayIndex) == 104 &&
              offsetof(VstParameterProperties, category) == 106 &&
              offsetof(VstParameterProperties, numParametersInCategory) == 108 &&
              offsetof(VstParameterProperties, reserved) == 110 &&
              offsetof(VstParameterProperties, categoryLabel) == 112 &&
              offsetof(VstParameterProperties, future) == 136);

static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerProperties, azimuth) == 0 &&
              offsetof(VstSpeakerProperties, elevation) == 4 &&
              offsetof(VstSpeakerProperties, radius) == 8 &&
              offsetof(VstSpeakerProperties, reserved) == 12 &&
              offsetof(VstSpeakerProperties, name) == 16 &&
              offsetof(VstSpeakerProperties, type) == 80 &&
              offsetof(VstSpeakerProperties, future) == 84);
static_assert(sizeof(VstSpeakerArrangement) == 904);
static_assert(offsetof(VstSpeakerArrangement, type) == 0 &&
              offsetof(VstSpeakerArrangement, numChannels) == 4 &&
              offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstPatchChunkInfo) == 64);
static_assert(offsetof(VstPatchChunkInfo, version) == 0 &&
              offsetof(VstPatchChunkInfo, pluginUniqueID) == 4 &&
              offsetof(VstPatchChunkInfo, pluginVersion) == 8 &&
              offsetof(VstPatchChunkInfo, numElements) == 12 &&
              offsetof(VstPatchChunkInfo, future) == 16);

#if INTPTR_MAX == INT64_MAX
// 64-bit Linux (LP64) and Windows x64 (LLP64) share these layouts.
static_assert(sizeof(AEffect) == 192 && alignof(AEffect) == 8);
static_assert(offsetof(AEffect, magic) == 0 && offsetof(AEffect, dispatcher) == 8 &&
              offsetof(AEffect, process) == 16 && offsetof(AEffect, setParameter) == 24 &&
              offsetof(AEffect, getParameter) == 32 && offsetof(AEffect, numPrograms) == 40 &&
              offsetof(AEffect, numParams) == 44 && offsetof(AEffect, numInputs) == 48 &&
              offsetof(AEffect, numOutputs) == 52 && offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, resvd2) == 72 &&
              offsetof(AEffect, initialDelay) == 80 && offsetof(AEffect, realQualities) == 84 &&
              offsetof(AEffect, offQualities) == 88 && offsetof(AEffect, ioRatio) == 92 &&
              offsetof(AEffect, object) == 96 && offsetof(AEffect, user) == 104 &&
              offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120 &&
              offsetof(AEffect, processDoubleReplacing) == 128 && offsetof(AEffect, future) == 136);

static_assert(sizeof(VstEvents) == 32);
static_assert(offsetof(VstEvents, numEvents) == 0 && offsetof(VstEvents, reserved) == 8 &&
              offsetof(VstEvents, events) == 16);
static_assert(sizeof(VstMidiSysexEvent) == 48);
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16 &&
              offsetof(VstMidiSysexEvent, resvd1) == 24 &&
              offsetof(VstMidiSysexEvent, sysexDump) == 32 &&
              offsetof(VstMidiSysexEvent, resvd2) == 40);
#elif INTPTR_MAX == INT32_MAX
// 32-bit x86 layouts, kept checked for completeness.
static_assert(sizeof(AEffect) == 144);
static_assert(offsetof(AEffect, dispatcher) == 4 && offsetof(AEffect, numPrograms) == 20 &&
              offsetof(AEffect, flags) == 36 && offsetof(AEffect, resvd1) == 40 &&
              offsetof(AEffect, initialDelay) == 48 && offsetof(AEffect, ioRatio) == 60 &&
              offsetof(AEffect, object) == 64 && offsetof(AEffect, uniqueID) == 72 &&
              offsetof(AEffect, processReplacing) == 80 &&
              offsetof(AEffect, processDoubleReplacing) == 84 && offsetof(AEffect, future) == 88);
static_assert(sizeof(VstEvents) == 16 && offsetof(VstEvents, events) == 8);
static_assert(sizeof(VstMidiSysexEvent) == 32 && offsetof(VstMidiSysexEvent, sysexDump) == 24);
#else
#error "Unsupported pointer size for the VST 2.4 interface"
#endif
