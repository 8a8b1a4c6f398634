// A plug-in on the AudioEffectX base that records what reaches its virtual operations and counts
// every argument that the dispatcher should have kept away from it.
#pragma once

#include "vst/AEffEditor.h"
#include "vst/AudioEffectX.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace vsttest {

constexpr VstInt32 kProbePrograms = 4;
constexpr VstInt32 kProbeParams = 5;

struct HostCall
{
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// A host callback whose answers a test sets; installed through a global because the callback is
// a plain function pointer.
struct TestHost
{
    std::vector<HostCall> calls;
    VstIntPtr pinAnswer[2][4] = {}; // [output?][pin]: 0 connected
    VstTimeInfo timeInfo{};
    bool provideTime = true;
    std::function<void(AEffect*, VstInt32, float)> onAutomate;

    static TestHost*& current()
    {
        static TestHost* host = nullptr;
        return host;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    std::vector<HostCall> callsOf(VstInt32 opcode) const
    {
        std::vector<HostCall> out;
        for (const HostCall& c : calls) {
            if (c.opcode == opcode) {
                out.push_back(c);
            }
        }
        return out;
    }
};

inline VstIntPtr VSTCALLBACK TestHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                VstIntPtr value, void* /*ptr*/, float opt)
{
    TestHost* host = current();
    if (!host) {
        return 0;
    }
    host->calls.push_back({opcode, index, value, opt});
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterAutomate:
        if (host->onAutomate) {
            host->onAutomate(effect, index, opt);
        }
        return 0;
    case audioMasterPinConnected:
        return (index >= 0 && index < 4) ? host->pinAnswer[value != 0][index] : 1;
    case audioMasterGetTime:
        return host->provideTime ? reinterpret_cast<VstIntPtr>(&host->timeInfo) : 0;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        return 1;
    default:
        return 0;
    }
}

// Installs a TestHost for the lifetime of a test.
struct ScopedHost
{
    TestHost host;
    ScopedHost() { TestHost::current() = &host; }
    ~ScopedHost() { TestHost::current() = nullptr; }
};

struct ProbeEffect : AudioEffectX
{
    // Arguments that must never get past the dispatcher's guards.
    int violations = 0;
    std::vector<std::string> seen;
    float params[kProbeParams] = {};
    std::function<void(char*)> nameFiller; // what getEffectName writes
    char chunk[16] = "chunk-data";
    VstInt32 lastChunkSize = -1;
    bool lastChunkPreset = false;
    float lastSampleRate = 0.0f;
    int suspends = 0;
    int resumes = 0;
    bool* destroyedFlag = nullptr;

    explicit ProbeEffect(audioMasterCallback host = &TestHost::callback)
        : AudioEffectX(host, kProbePrograms, kProbeParams)
    {
        setUniqueID(vstFourCharCode('P', 'r', 'b', '1'));
    }
    ~ProbeEffect() override
    {
        if (destroyedFlag) {
            *destroyedFlag = true;
        }
    }

    void check(bool ok) { violations += ok ? 0 : 1; }
    void checkIndex(VstInt32 index) { check(index >= 0 && index < kProbeParams); }

    // Output = 2 * input, so a test can tell processed samples from untouched ones.
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override
    {
        check(inputs && outputs && frames > 0);
        for (VstInt32 c = 0; c < cEffect.numOutputs; ++c) {
            check(outputs[c] != nullptr && inputs[c] != nullptr);
            for (VstInt32 i = 0; i < frames; ++i) {
                outputs[c][i] = 2.0f * inputs[c][i];
            }
        }
    }
    void setParameter(VstInt32 index, float value) override
    {
        checkIndex(index);
        check(value >= 0.0f && value <= 1.0f && !std::signbit(value));
        if (index >= 0 && index < kProbeParams) {
            params[index] = value;
        }
    }
    float getParameter(VstInt32 index) override
    {
        checkIndex(index);
        return (index >= 0 && index < kProbeParams) ? params[index] : -1.0f;
    }
    void getParameterName(VstInt32 index, char* text) override
    {
        checkIndex(index);
        check(text != nullptr);
        std::strcpy(text, "AVeryLongParameterName");
    }
    void getParameterLabel(VstInt32 index, char* text) override
    {
        checkIndex(index);
        std::strcpy(text, "dB");
    }
    void getParameterDisplay(VstInt32 index, char* text) override
    {
        checkIndex(index);
        std::strcpy(text, "-3.0");
    }
    void setProgram(VstInt32 program) override
    {
        check(program >= 0 && program < kProbePrograms);
        AudioEffectX::setProgram(program);
    }
    void setProgramName(const char* name) override
    {
        check(name != nullptr && std::strlen(name) <= kVstMaxProgNameLen);
        seen.emplace_back(name ? name : "");
    }
    void getProgramName(char* name) override { std::memset(name, 'p', 100); }
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override
    {
        if (index < 0 || index >= kProbePrograms) {
            return false;
        }
        std::strcpy(text, "prog");
        return true;
    }
    VstInt32 getChunk(void** data, bool isPreset) override
    {
        check(data != nullptr);
        lastChunkPreset = isPreset;
        *data = chunk;
        return static_cast<VstInt32>(sizeof(chunk));
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override
    {
        check(data != nullptr && size > 0);
        lastChunkSize = size;
        lastChunkPreset = isPreset;
        return 1;
    }
    void setSampleRate(float rate) override
    {
        check(std::isfinite(rate) && rate > 0.0f);
        lastSampleRate = rate;
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(VstInt32 size) override
    {
        check(size >= 0);
        AudioEffectX::setBlockSize(size);
    }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }
    VstInt32 processEvents(VstEvents* events) override
    {
        check(events != nullptr);
        return 1;
    }
    bool canParameterBeAutomated(VstInt32 index) override
    {
        checkIndex(index);
        return true;
    }
    bool string2parameter(VstInt32 index, const char* text) override
    {
        checkIndex(index);
        check(text != nullptr);
        return true;
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override
    {
        checkIndex(index);
        check(p != nullptr);
        return false;
    }
    bool getInputProperties(VstInt32 index, VstPinProperties* p) override
    {
        check(index >= 0 && index < cEffect.numInputs && p != nullptr);
        std::memset(p->label, 'L', sizeof(p->label)); // unterminated on purpose
        return true;
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* p) override
    {
        check(index >= 0 && index < cEffect.numOutputs && p != nullptr);
        return false;
    }
    bool getEffectName(char* name) override
    {
        check(name != nullptr);
        if (nameFiller) {
            nameFiller(name);
        } else {
            std::strcpy(name, "Probe");
        }
        return true;
    }
    VstInt32 canDo(const char* text) override
    {
        check(text != nullptr);
        seen.emplace_back(text ? text : "");
        return std::strcmp(text, "yes") == 0 ? 1 : -1;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override
    {
        check(in != nullptr && out != nullptr);
        return false;
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override
    {
        check(in != nullptr && out != nullptr);
        return false;
    }
    VstInt32 beginLoadBank(VstPatchChunkInfo* info) override
    {
        check(info != nullptr);
        return 0;
    }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* info) override
    {
        check(info != nullptr);
        return 0;
    }
    VstInt32 getNextShellPlugin(char* name) override
    {
        check(name != nullptr);
        return 0;
    }
};

// An editor that records its calls and hands out a rectangle it owns.
struct ProbeEditor : AEffEditor
{
    ERect rect{0, 0, 300, 400};
    int opens = 0;
    int closes = 0;
    int idles = 0;
    void* lastParent = nullptr;
    bool* destroyedFlag = nullptr;
    int* closesSeenOutside = nullptr;

    explicit ProbeEditor(AudioEffect* effect) : AEffEditor(effect) {}
    ~ProbeEditor() override
    {
        if (destroyedFlag) {
            *destroyedFlag = true;
        }
    }
    bool getRect(ERect** out) override
    {
        *out = &rect;
        return true;
    }
    bool open(void* parent) override
    {
        ++opens;
        lastParent = parent;
        return AEffEditor::open(parent);
    }
    void close() override
    {
        ++closes;
        if (closesSeenOutside) {
            ++*closesSeenOutside;
        }
        AEffEditor::close();
    }
    void idle() override { ++idles; }
};

} // namespace vsttest
