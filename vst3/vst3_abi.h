// The binary interface of a VST3 module as far as Morvek2 and its host use it: interface IDs,
// result codes, the structs passed across, and each interface's table of functions in the order
// the host and the module agree on. Every interface is a pointer to a table whose first three
// entries are queryInterface, addRef and release; an object hands out a pointer to the member
// that holds its table pointer, and each function gets that pointer back as `self`.
//
// Structs use the natural layout of the 64-bit targets built here (on Windows the interface's own
// packing gives the same), strings are 16-bit code units.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define MORVEK2_VST3_CALL __stdcall
#else
#define MORVEK2_VST3_CALL
#endif

namespace morvek2::vst3 {

using Result = std::int32_t;
using ParamId = std::uint32_t;
using TBool = std::uint8_t;
using Char16 = char16_t;
using String128 = Char16[128];
using SpeakerArrangement = std::uint64_t;

struct Iid
{
    std::uint8_t bytes[16];
};

// Four 32-bit words as they are written down; Windows stores the first three fields of a COM GUID
// little-endian, the other platforms keep the words' bytes in order.
constexpr Iid makeIid(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    auto byte = [](std::uint32_t w, int shift) { return static_cast<std::uint8_t>(w >> shift); };
#if defined(_WIN32)
    return {{byte(a, 0), byte(a, 8), byte(a, 16), byte(a, 24), byte(b, 16), byte(b, 24), byte(b, 0),
             byte(b, 8), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0), byte(d, 24), byte(d, 16),
             byte(d, 8), byte(d, 0)}};
#else
    return {{byte(a, 24), byte(a, 16), byte(a, 8), byte(a, 0), byte(b, 24), byte(b, 16), byte(b, 8),
             byte(b, 0), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0), byte(d, 24), byte(d, 16),
             byte(d, 8), byte(d, 0)}};
#endif
}

inline bool sameIid(const std::uint8_t* a, const Iid& b)
{
    return a && std::memcmp(a, b.bytes, sizeof b.bytes) == 0;
}

#if defined(_WIN32)
constexpr Result kNoInterface = static_cast<Result>(0x80004002L);
constexpr Result kResultOk = 0;
constexpr Result kResultFalse = 1;
constexpr Result kInvalidArgument = static_cast<Result>(0x80070057L);
constexpr Result kNotImplemented = static_cast<Result>(0x80004001L);
constexpr Result kInternalError = static_cast<Result>(0x80004005L);
#else
constexpr Result kNoInterface = -1;
constexpr Result kResultOk = 0;
constexpr Result kResultFalse = 1;
constexpr Result kInvalidArgument = 2;
constexpr Result kNotImplemented = 3;
constexpr Result kInternalError = 4;
#endif
constexpr Result kResultTrue = kResultOk;

// ---- Identities
inline constexpr Iid kIidUnknown = makeIid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
inline constexpr Iid kIidPluginBase = makeIid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
inline constexpr Iid kIidPluginFactory = makeIid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr Iid kIidPluginFactory2 = makeIid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr Iid kIidComponent = makeIid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
inline constexpr Iid kIidAudioProcessor = makeIid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
inline constexpr Iid kIidEditController = makeIid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr Iid kIidProcessContextRequirements =
    makeIid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
inline constexpr Iid kIidBStream = makeIid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
inline constexpr Iid kIidHostApplication = makeIid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
inline constexpr Iid kIidParameterChanges = makeIid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
inline constexpr Iid kIidParamValueQueue = makeIid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
inline constexpr Iid kIidMidiMapping = makeIid(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
inline constexpr Iid kIidComponentHandler = makeIid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
inline constexpr Iid kIidPlugView = makeIid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
inline constexpr Iid kIidPlugFrame = makeIid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
inline constexpr Iid kIidPlugViewContentScaleSupport =
    makeIid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
inline constexpr Iid kIidEventHandler = makeIid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
inline constexpr Iid kIidTimerHandler = makeIid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
inline constexpr Iid kIidRunLoop = makeIid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
inline constexpr Iid kIidUnitInfo = makeIid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);

// ---- Tables of functions (each interface's table begins with those of the interfaces it
// extends)
struct UnknownTable
{
    Result(MORVEK2_VST3_CALL* queryInterface)(void* self, const std::uint8_t* iid, void** object);
    std::uint32_t(MORVEK2_VST3_CALL* addRef)(void* self);
    std::uint32_t(MORVEK2_VST3_CALL* release)(void* self);
};

struct FactoryInfo
{
    char vendor[64];
    char url[256];
    char email[128];
    std::int32_t flags;
};
constexpr std::int32_t kFactoryUnicode = 1 << 4;

struct ClassInfo
{
    std::uint8_t classId[16];
    std::int32_t cardinality;
    char category[32];
    char name[64];
};
constexpr std::int32_t kManyInstances = 0x7FFFFFFF;

struct ClassInfo2
{
    std::uint8_t classId[16];
    std::int32_t cardinality;
    char category[32];
    char name[64];
    std::uint32_t classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PluginFactoryTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* getFactoryInfo)(void* self, FactoryInfo* info);
    std::int32_t(MORVEK2_VST3_CALL* countClasses)(void* self);
    Result(MORVEK2_VST3_CALL* getClassInfo)(void* self, std::int32_t index, ClassInfo* info);
    Result(MORVEK2_VST3_CALL* createInstance)(void* self, const std::uint8_t* classId,
                                              const std::uint8_t* iid, void** object);
    // IPluginFactory2
    Result(MORVEK2_VST3_CALL* getClassInfo2)(void* self, std::int32_t index, ClassInfo2* info);
};

struct PluginBaseTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* initialize)(void* self, void* context);
    Result(MORVEK2_VST3_CALL* terminate)(void* self);
};

enum MediaType : std::int32_t { kAudio = 0, kEvent = 1 };
enum BusDirection : std::int32_t { kInput = 0, kOutput = 1 };
enum BusType : std::int32_t { kMain = 0, kAux = 1 };
constexpr std::uint32_t kBusDefaultActive = 1;

struct BusInfo
{
    std::int32_t mediaType;
    std::int32_t direction;
    std::int32_t channelCount;
    String128 name;
    std::int32_t busType;
    std::uint32_t flags;
};

struct RoutingInfo
{
    std::int32_t mediaType;
    std::int32_t busIndex;
    std::int32_t channel;
};

struct ComponentTable
{
    PluginBaseTable base;
    Result(MORVEK2_VST3_CALL* getControllerClassId)(void* self, std::uint8_t* classId);
    Result(MORVEK2_VST3_CALL* setIoMode)(void* self, std::int32_t mode);
    std::int32_t(MORVEK2_VST3_CALL* getBusCount)(void* self, std::int32_t type, std::int32_t dir);
    Result(MORVEK2_VST3_CALL* getBusInfo)(void* self, std::int32_t type, std::int32_t dir,
                                          std::int32_t index, BusInfo* info);
    Result(MORVEK2_VST3_CALL* getRoutingInfo)(void* self, RoutingInfo* in, RoutingInfo* out);
    Result(MORVEK2_VST3_CALL* activateBus)(void* self, std::int32_t type, std::int32_t dir,
                                           std::int32_t index, TBool state);
    Result(MORVEK2_VST3_CALL* setActive)(void* self, TBool state);
    Result(MORVEK2_VST3_CALL* setState)(void* self, void* stream);
    Result(MORVEK2_VST3_CALL* getState)(void* self, void* stream);
};

struct BStreamTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* read)(void* self, void* buffer, std::int32_t bytes,
                                    std::int32_t* done);
    Result(MORVEK2_VST3_CALL* write)(void* self, void* buffer, std::int32_t bytes,
                                     std::int32_t* done);
    Result(MORVEK2_VST3_CALL* seek)(void* self, std::int64_t position, std::int32_t mode,
                                    std::int64_t* result);
    Result(MORVEK2_VST3_CALL* tell)(void* self, std::int64_t* position);
};

// ---- Processing
enum ProcessMode : std::int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
enum SampleSize : std::int32_t { kSample32 = 0, kSample64 = 1 };
constexpr SpeakerArrangement kSpeakerStereo = 0x3; // left and right

struct ProcessSetup
{
    std::int32_t processMode;
    std::int32_t sampleSize;
    std::int32_t maxBlock;
    double sampleRate;
};

struct ParamValueQueueTable
{
    UnknownTable unknown;
    ParamId(MORVEK2_VST3_CALL* getParameterId)(void* self);
    std::int32_t(MORVEK2_VST3_CALL* getPointCount)(void* self);
    Result(MORVEK2_VST3_CALL* getPoint)(void* self, std::int32_t index, std::int32_t* offset,
                                        double* value);
    Result(MORVEK2_VST3_CALL* addPoint)(void* self, std::int32_t offset, double value,
                                        std::int32_t* index);
};

struct ParameterChangesTable
{
    UnknownTable unknown;
    std::int32_t(MORVEK2_VST3_CALL* getParameterCount)(void* self);
    void*(MORVEK2_VST3_CALL* getParameterData)(void* self, std::int32_t index);
    void*(MORVEK2_VST3_CALL* addParameterData)(void* self, const ParamId* id, std::int32_t* index);
};

// ProcessContext::state bits.
constexpr std::uint32_t kContextPlaying = 1u << 1;
constexpr std::uint32_t kContextCycleActive = 1u << 2;
constexpr std::uint32_t kContextRecording = 1u << 3;
constexpr std::uint32_t kContextProjectTimeValid = 1u << 9;
constexpr std::uint32_t kContextTempoValid = 1u << 10;
constexpr std::uint32_t kContextBarPositionValid = 1u << 11;
constexpr std::uint32_t kContextCycleValid = 1u << 12;
constexpr std::uint32_t kContextTimeSigValid = 1u << 13;

struct ProcessContext
{
    std::uint32_t state;
    double sampleRate;
    std::int64_t projectTimeSamples;
    std::int64_t systemTime;
    std::int64_t continousTimeSamples;
    double projectTimeMusic; // quarter notes
    double barPositionMusic; // quarter notes at the start of the current bar
    double cycleStartMusic;
    double cycleEndMusic;
    double tempo;
    std::int32_t timeSigNumerator;
    std::int32_t timeSigDenominator;
    struct
    {
        std::uint8_t keyNote;
        std::uint8_t rootNote;
        std::int16_t chordMask;
    } chord;
    std::int32_t smpteOffsetSubframes;
    struct
    {
        std::uint32_t framesPerSecond;
        std::uint32_t flags;
    } frameRate;
    std::int32_t samplesToNextClock;
};

// What ProcessContextRequirements answers.
constexpr std::uint32_t kNeedContinousTime = 1u << 1;
constexpr std::uint32_t kNeedProjectTimeMusic = 1u << 2;
constexpr std::uint32_t kNeedBarPositionMusic = 1u << 3;
constexpr std::uint32_t kNeedTempo = 1u << 6;
constexpr std::uint32_t kNeedTimeSignature = 1u << 7;
constexpr std::uint32_t kNeedTransportState = 1u << 10;

struct ProcessContextRequirementsTable
{
    UnknownTable unknown;
    std::uint32_t(MORVEK2_VST3_CALL* getProcessContextRequirements)(void* self);
};

struct AudioBusBuffers
{
    std::int32_t numChannels;
    std::uint64_t silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

struct ProcessData
{
    std::int32_t processMode;
    std::int32_t sampleSize;
    std::int32_t numSamples;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    void* inputParameterChanges;
    void* outputParameterChanges;
    void* inputEvents;
    void* outputEvents;
    ProcessContext* processContext;
};

struct AudioProcessorTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* setBusArrangements)(void* self, SpeakerArrangement* inputs,
                                                  std::int32_t numIns, SpeakerArrangement* outputs,
                                                  std::int32_t numOuts);
    Result(MORVEK2_VST3_CALL* getBusArrangement)(void* self, std::int32_t dir, std::int32_t index,
                                                 SpeakerArrangement* arrangement);
    Result(MORVEK2_VST3_CALL* canProcessSampleSize)(void* self, std::int32_t size);
    std::uint32_t(MORVEK2_VST3_CALL* getLatencySamples)(void* self);
    Result(MORVEK2_VST3_CALL* setupProcessing)(void* self, ProcessSetup* setup);
    Result(MORVEK2_VST3_CALL* setProcessing)(void* self, TBool state);
    Result(MORVEK2_VST3_CALL* process)(void* self, ProcessData* data);
    std::uint32_t(MORVEK2_VST3_CALL* getTailSamples)(void* self);
};

// ---- Controller
constexpr std::int32_t kParamCanAutomate = 1 << 0;
constexpr std::int32_t kParamReadOnly = 1 << 1;
constexpr std::int32_t kParamIsList = 1 << 3;
constexpr std::int32_t kParamIsHidden = 1 << 4;
constexpr std::int32_t kParamIsProgramChange = 1 << 15;

struct ParameterInfo
{
    ParamId id;
    String128 title;
    String128 shortTitle;
    String128 units;
    std::int32_t stepCount;
    double defaultNormalizedValue;
    std::int32_t unitId;
    std::int32_t flags;
};

struct ComponentHandlerTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* beginEdit)(void* self, ParamId id);
    Result(MORVEK2_VST3_CALL* performEdit)(void* self, ParamId id, double normalised);
    Result(MORVEK2_VST3_CALL* endEdit)(void* self, ParamId id);
    Result(MORVEK2_VST3_CALL* restartComponent)(void* self, std::int32_t flags);
};
constexpr std::int32_t kRestartParamValuesChanged = 1 << 2;

struct EditControllerTable
{
    PluginBaseTable base;
    Result(MORVEK2_VST3_CALL* setComponentState)(void* self, void* stream);
    Result(MORVEK2_VST3_CALL* setState)(void* self, void* stream);
    Result(MORVEK2_VST3_CALL* getState)(void* self, void* stream);
    std::int32_t(MORVEK2_VST3_CALL* getParameterCount)(void* self);
    Result(MORVEK2_VST3_CALL* getParameterInfo)(void* self, std::int32_t index,
                                                ParameterInfo* info);
    Result(MORVEK2_VST3_CALL* getParamStringByValue)(void* self, ParamId id, double normalised,
                                                     Char16* text);
    Result(MORVEK2_VST3_CALL* getParamValueByString)(void* self, ParamId id, Char16* text,
                                                     double* normalised);
    double(MORVEK2_VST3_CALL* normalizedParamToPlain)(void* self, ParamId id, double normalised);
    double(MORVEK2_VST3_CALL* plainParamToNormalized)(void* self, ParamId id, double plain);
    double(MORVEK2_VST3_CALL* getParamNormalized)(void* self, ParamId id);
    Result(MORVEK2_VST3_CALL* setParamNormalized)(void* self, ParamId id, double normalised);
    Result(MORVEK2_VST3_CALL* setComponentHandler)(void* self, void* handler);
    void*(MORVEK2_VST3_CALL* createView)(void* self, const char* name);
};

struct MidiMappingTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* getMidiControllerAssignment)(void* self, std::int32_t bus,
                                                           std::int16_t channel,
                                                           std::int16_t controller, ParamId* id);
};

// ---- Units and program lists
constexpr std::int32_t kRootUnitId = 0;
constexpr std::int32_t kNoParentUnitId = -1;
constexpr std::int32_t kNoProgramListId = -1;

struct UnitInfo
{
    std::int32_t id;
    std::int32_t parentUnitId;
    String128 name;
    std::int32_t programListId;
};

struct ProgramListInfo
{
    std::int32_t id;
    String128 name;
    std::int32_t programCount;
};

struct UnitInfoTable
{
    UnknownTable unknown;
    std::int32_t(MORVEK2_VST3_CALL* getUnitCount)(void* self);
    Result(MORVEK2_VST3_CALL* getUnitInfo)(void* self, std::int32_t index, UnitInfo* info);
    std::int32_t(MORVEK2_VST3_CALL* getProgramListCount)(void* self);
    Result(MORVEK2_VST3_CALL* getProgramListInfo)(void* self, std::int32_t index,
                                                  ProgramListInfo* info);
    Result(MORVEK2_VST3_CALL* getProgramName)(void* self, std::int32_t listId, std::int32_t index,
                                              Char16* name);
    Result(MORVEK2_VST3_CALL* getProgramInfo)(void* self, std::int32_t listId, std::int32_t index,
                                              const char* attribute, Char16* value);
    Result(MORVEK2_VST3_CALL* hasProgramPitchNames)(void* self, std::int32_t listId,
                                                    std::int32_t index);
    Result(MORVEK2_VST3_CALL* getProgramPitchName)(void* self, std::int32_t listId,
                                                   std::int32_t index, std::int16_t pitch,
                                                   Char16* name);
    std::int32_t(MORVEK2_VST3_CALL* getSelectedUnit)(void* self);
    Result(MORVEK2_VST3_CALL* selectUnit)(void* self, std::int32_t unitId);
    Result(MORVEK2_VST3_CALL* getUnitByBus)(void* self, std::int32_t type, std::int32_t dir,
                                            std::int32_t busIndex, std::int32_t channel,
                                            std::int32_t* unitId);
    Result(MORVEK2_VST3_CALL* setUnitProgramData)(void* self, std::int32_t listOrUnitId,
                                                  std::int32_t index, void* stream);
};

struct HostApplicationTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* getName)(void* self, Char16* name);
    Result(MORVEK2_VST3_CALL* createInstance)(void* self, const std::uint8_t* classId,
                                              const std::uint8_t* iid, void** object);
};

// ---- Editor view
// The parent window kinds a view may be attached to.
inline constexpr const char* kPlatformX11 = "X11EmbedWindowID";
inline constexpr const char* kPlatformHwnd = "HWND";

struct ViewRect
{
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct PlugViewTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* isPlatformTypeSupported)(void* self, const char* type);
    Result(MORVEK2_VST3_CALL* attached)(void* self, void* parent, const char* type);
    Result(MORVEK2_VST3_CALL* removed)(void* self);
    Result(MORVEK2_VST3_CALL* onWheel)(void* self, float distance);
    Result(MORVEK2_VST3_CALL* onKeyDown)(void* self, Char16 key, std::int16_t keyCode,
                                         std::int16_t modifiers);
    Result(MORVEK2_VST3_CALL* onKeyUp)(void* self, Char16 key, std::int16_t keyCode,
                                       std::int16_t modifiers);
    Result(MORVEK2_VST3_CALL* getSize)(void* self, ViewRect* size);
    Result(MORVEK2_VST3_CALL* onSize)(void* self, ViewRect* size);
    Result(MORVEK2_VST3_CALL* onFocus)(void* self, TBool state);
    Result(MORVEK2_VST3_CALL* setFrame)(void* self, void* frame);
    Result(MORVEK2_VST3_CALL* canResize)(void* self);
    Result(MORVEK2_VST3_CALL* checkSizeConstraint)(void* self, ViewRect* rect);
};

struct PlugFrameTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* resizeView)(void* self, void* view, ViewRect* size);
};

struct PlugViewContentScaleSupportTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* setContentScaleFactor)(void* self, float factor);
};

struct EventHandlerTable
{
    UnknownTable unknown;
    void(MORVEK2_VST3_CALL* onFdIsSet)(void* self, int fd);
};

struct TimerHandlerTable
{
    UnknownTable unknown;
    void(MORVEK2_VST3_CALL* onTimer)(void* self);
};

struct RunLoopTable
{
    UnknownTable unknown;
    Result(MORVEK2_VST3_CALL* registerEventHandler)(void* self, void* handler, int fd);
    Result(MORVEK2_VST3_CALL* unregisterEventHandler)(void* self, void* handler);
    Result(MORVEK2_VST3_CALL* registerTimer)(void* self, void* handler, std::uint64_t ms);
    Result(MORVEK2_VST3_CALL* unregisterTimer)(void* self, void* handler);
};

// Calls function `f` of the interface `object` (a pointer to a table pointer).
template <class Table> const Table& tableOf(void* object)
{
    return **static_cast<const Table* const*>(object);
}

// ASCII or UTF-8 into a 16-bit string of `capacity` units with its terminator (bytes above 0x7f
// are kept as Latin-1; our texts are ASCII).
inline void toString16(const char* text, Char16* out, int capacity)
{
    int i = 0;
    for (; text && text[i] && i < capacity - 1; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    out[i] = 0;
}

inline void toString8(const Char16* text, char* out, int capacity)
{
    int i = 0;
    for (; text && text[i] && i < capacity - 1; ++i)
        out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    out[i] = 0;
}

} // namespace morvek2::vst3
