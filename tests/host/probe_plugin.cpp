// A tiny VST 2.4 plug-in that the host tests load. It reports what it sees of the host through
// its outputs and parameters:
// - output 0 = input 0 x gain (parameter 0, 0.5 = unity);
// - output 1 = the host's ppq position, interpolated per frame from the block's time record
//   (-1 when the host gives none), so a test can see which position each frame was told;
// - parameter 1: writing it makes the plug-in report a gesture (begin edit, automate, end edit);
// - parameter 2 reads the number of MIDI events received (writing it above 0.5 makes the probe
//   write one sample past the end of every block); parameter 3 reads what resume learnt
//   from the pin queries (1: second input connected, 2: second output connected).
// Built several times with different PROBE_* definitions to exercise the loader's failures.
#include "vst/vst2_abi.h"

#include <cstdio>
#include <cstring>

namespace {

struct Probe
{
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float params[4] = {0.5f, 0.0f, 0.0f, 0.0f};
    int program = 0;
    char programNames[3][kVstMaxProgNameLen + 1] = {"First", "Second", "Third"};
    int midiEvents = 0;
    bool overrun = false; // set by writing parameter 2: write one sample past each block
    float chunk[4] = {};
};

Probe* self(AEffect* e)
{
    return static_cast<Probe*>(e->object);
}

void copyText(void* ptr, const char* text, std::size_t limit)
{
    if (ptr != nullptr) {
        std::snprintf(static_cast<char*>(ptr), limit + 1, "%s", text);
    }
}

VstIntPtr VSTCALLBACK dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float)
{
    Probe* p = self(e);
    static const char* names[4] = {"Gain", "Edit", "Events", "Pins"};
    switch (opcode) {
    case effClose:
        delete p;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < 3) {
            p->program = static_cast<int>(value);
        }
        return 0;
    case effGetProgram:
        return p->program;
    case effSetProgramName:
        copyText(p->programNames[p->program], static_cast<const char*>(ptr), kVstMaxProgNameLen);
        return 0;
    case effGetProgramName:
        copyText(ptr, p->programNames[p->program], kVstMaxProgNameLen);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= 3) {
            return 0;
        }
        copyText(ptr, p->programNames[index], kVstMaxProgNameLen);
        return 1;
    case effGetParamName:
    case effGetParamLabel:
    case effGetParamDisplay:
        if (index < 0 || index >= 4) {
            return 0;
        }
        if (opcode == effGetParamName) {
            copyText(ptr, names[index], kVstMaxParamStrLen);
        } else if (opcode == effGetParamLabel) {
            copyText(ptr, index == 0 ? "x" : "", kVstMaxParamStrLen);
        } else if (ptr != nullptr) {
            std::snprintf(static_cast<char*>(ptr), kVstMaxParamStrLen + 1, "%.3f",
                          p->params[index]);
        }
        return 0;
    case effMainsChanged:
        if (value != 0 && p->host != nullptr) {
            const bool in = p->host(e, audioMasterPinConnected, 1, 0, nullptr, 0.0f) == 0;
            const bool out = p->host(e, audioMasterPinConnected, 1, 1, nullptr, 0.0f) == 0;
            p->params[3] = (in ? 1.0f : 0.0f) + (out ? 2.0f : 0.0f);
            p->host(e, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
        }
        return 0;
    case effGetChunk:
        std::memcpy(p->chunk, p->params, sizeof(p->chunk));
        *static_cast<void**>(ptr) = p->chunk;
        return sizeof(p->chunk);
    case effSetChunk:
        if (value == sizeof(p->chunk) && ptr != nullptr) {
            std::memcpy(p->params, ptr, sizeof(p->params));
            return 1;
        }
        return 0;
    case effProcessEvents: {
        const auto* events = static_cast<const VstEvents*>(ptr);
        for (int i = 0; events != nullptr && i < events->numEvents; ++i) {
            if (events->events[i] != nullptr && events->events[i]->type == kVstMidiType) {
                ++p->midiEvents;
            }
        }
        return 1;
    }
    case effCanBeAutomated:
        return index == 0 || index == 1 ? 1 : 0;
    case effGetEffectName:
        copyText(ptr, "Probe", kVstMaxEffectNameLen);
        return 1;
    case effGetVendorString:
        copyText(ptr, "Morvek2 tests", kVstMaxVendorStrLen);
        return 1;
    case effGetProductString:
        copyText(ptr, "Probe Product", kVstMaxProductStrLen);
        return 1;
    case effGetVendorVersion:
        return 7;
    case effCanDo:
        return ptr != nullptr &&
                       std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0
                   ? 1
                   : -1;
    case effGetPlugCategory:
        return kPlugCategEffect;
    case effGetVstVersion:
        return kVstVersion;
    default:
        return 0;
    }
}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float value)
{
    Probe* p = self(e);
    if (index == 0) {
        p->params[0] = value;
    } else if (index == 2) {
        p->overrun = value > 0.5f;
    } else if (index == 1) {
        p->params[1] = value;
        p->host(e, audioMasterBeginEdit, 1, 0, nullptr, 0.0f);
        p->host(e, audioMasterAutomate, 1, 0, nullptr, value);
        p->host(e, audioMasterEndEdit, 1, 0, nullptr, 0.0f);
    }
}

float VSTCALLBACK getParameter(AEffect* e, VstInt32 index)
{
    Probe* p = self(e);
    if (index == 2) {
        return static_cast<float>(p->midiEvents);
    }
    return index >= 0 && index < 4 ? p->params[index] : 0.0f;
}

void VSTCALLBACK processReplacing(AEffect* e, float** in, float** out, VstInt32 frames)
{
    Probe* p = self(e);
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        p->host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
    double ppq = -1.0;
    double perFrame = 0.0;
    if (time != nullptr) {
        ppq = time->ppqPos;
        if ((time->flags & kVstTransportPlaying) != 0 && time->sampleRate > 0.0) {
            perFrame = time->tempo / 60.0 / time->sampleRate;
        }
    }
    const float gain = p->params[0] * 2.0f;
    for (VstInt32 i = 0; i < frames; ++i) {
        const float x = in[0][i];
        out[0][i] = x * gain;
        out[1][i] = static_cast<float>(time != nullptr ? ppq + i * perFrame : -1.0);
    }
    if (p->overrun && frames > 0) {
        out[0][frames] = 0.0f; // the fault a host must catch
    }
}

AEffect* create(audioMasterCallback host)
{
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
#if defined(PROBE_BAD_MAGIC)
    // A host must not talk to a record without the magic, so nobody will ever close this one:
    // keep it static rather than leak it.
    static Probe unclosable;
    Probe* p = &unclosable;
#else
    Probe* p = new Probe;
#endif
    p->host = host;
    AEffect& e = p->effect;
#if defined(PROBE_BAD_MAGIC)
    e.magic = vstFourCharCode('N', 'o', 'p', 'e');
#else
    e.magic = kEffectMagic;
#endif
    e.dispatcher = dispatch;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = 3;
    e.numParams = 4;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    e.object = p;
    e.uniqueID = vstFourCharCode('M', '2', 'p', 'r');
    e.version = 3;
    // Plug-ins ask for host facts with their own record before returning it.
    host(&e, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
#if defined(PROBE_ALWAYS_NULL)
    // Changed its mind: a plug-in that cannot run here says so with null.
    delete p;
    return nullptr;
#else
    return &e;
#endif
}

} // namespace

#if !defined(PROBE_NO_ENTRY)
#if !defined(PROBE_MAIN_ONLY)
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    return create(host);
}
#endif

// The pre-2.4 name; C++ cannot declare ::main with this signature, so give it an assembler name.
extern "C" __attribute__((visibility("default"))) AEffect*
probeMain(audioMasterCallback host) __asm__("main");
extern "C" AEffect* probeMain(audioMasterCallback host)
{
    return create(host);
}
#else
// Exports something, but under a name no host looks for.
extern "C" __attribute__((visibility("default"))) AEffect* probeNotAnEntry(audioMasterCallback h)
{
    return create(h);
}
#endif
