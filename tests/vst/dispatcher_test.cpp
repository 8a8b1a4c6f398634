// The AudioEffect/AudioEffectX host face: argument guards, host callback wrappers, editor and
// chunk memory, and the process wrappers.
#include "probe_effect.h"
#include "vst/HostQuirks.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

using namespace vsttest;

namespace {

VstIntPtr dispatch(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f)
{
    AEffect* e = effect.getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

const VstInt32 kHostileIndices[] = {-1, kProbeParams, INT32_MIN, INT32_MAX, 1000};

} // namespace

TEST(VstAudioEffectRecord, IsCompleteForTheHostAndLeavesHostFieldsZero)
{
    ScopedHost scope;
    ProbeEffect effect;
    const AEffect* e = effect.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_EQ(e->object, &effect);
    EXPECT_EQ(e->numPrograms, kProbePrograms);
    EXPECT_EQ(e->numParams, kProbeParams);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_FLOAT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->flags & effFlagsCanDoubleReplacing, 0);
    for (char c : e->future) {
        EXPECT_EQ(c, 0);
    }
}

TEST(VstDispatcherGuards, ParameterOpcodesIgnoreIndicesOutsideTheRange)
{
    ScopedHost scope;
    ProbeEffect effect;
    for (VstInt32 opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        for (VstInt32 index : kHostileIndices) {
            char text[32];
            std::memset(text, 'x', sizeof(text));
            EXPECT_EQ(dispatch(effect, opcode, index, 0, text), 0);
            EXPECT_EQ(text[0], '\0') << "opcode " << opcode << " index " << index;
        }
    }
    char text[32];
    for (VstInt32 index : kHostileIndices) {
        EXPECT_EQ(dispatch(effect, effCanBeAutomated, index), 0);
        EXPECT_EQ(dispatch(effect, effString2Parameter, index, 0, const_cast<char*>("0.5")), 0);
        VstParameterProperties properties{};
        EXPECT_EQ(dispatch(effect, effGetParameterProperties, index, 0, &properties), 0);
        EXPECT_EQ(dispatch(effect, effGetInputProperties, index, 0, text), 0);
    }
    EXPECT_EQ(dispatch(effect, effCanBeAutomated, kProbeParams - 1), 1);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstDispatcherGuards, ParameterTextsAreCutToEightCharactersAndTerminated)
{
    ScopedHost scope;
    ProbeEffect effect;
    char text[32];
    std::memset(text, 'x', sizeof(text));
    dispatch(effect, effGetParamName, 0, 0, text);
    EXPECT_STREQ(text, "AVeryLon");
    EXPECT_EQ(text[9], 'x') << "wrote past the terminator";
    dispatch(effect, effGetParamLabel, 4, 0, text);
    EXPECT_STREQ(text, "dB");
}

TEST(VstDispatcherGuards, HostParameterEntriesCheckIndexAndValue)
{
    ScopedHost scope;
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    for (VstInt32 index : kHostileIndices) {
        e->setParameter(e, index, 0.5f);
        EXPECT_EQ(e->getParameter(e, index), 0.0f);
    }
    e->setParameter(e, 1, 0.25f);
    e->setParameter(e, 1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(e->getParameter(e, 1), 0.25f) << "NaN must be dropped, not stored";
    e->setParameter(e, 1, std::numeric_limits<float>::infinity());
    EXPECT_EQ(e->getParameter(e, 1), 1.0f);
    e->setParameter(e, 1, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(e->getParameter(e, 1), 0.0f);
    e->setParameter(e, 1, 7.0f);
    EXPECT_EQ(e->getParameter(e, 1), 1.0f);
    e->setParameter(e, 1, -0.0f);
    EXPECT_FALSE(std::signbit(e->getParameter(e, 1)));
    e->setParameter(e, 1, 1e-30f);
    EXPECT_EQ(e->getParameter(e, 1), 1e-30f);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstDispatcherGuards, NoOpcodeCrashesOrLeaksBadArgumentsWhateverTheHostSends)
{
    ScopedHost scope;
    ProbeEffect effect;
    alignas(16) static unsigned char buffer[4096];
    const VstIntPtr values[] = {0, 1, -1, VstIntPtr{INT32_MAX} + 1, -(VstIntPtr{1} << 40)};
    const float opts[] = {0.0f, -1.0f, 1e30f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()};
    const VstInt32 indices[] = {0, 1, -1, INT32_MIN, INT32_MAX};
    for (VstInt32 opcode = -2; opcode < 128; ++opcode) {
        if (opcode == effClose) {
            continue;
        }
        for (VstInt32 index : indices) {
            for (VstIntPtr value : values) {
                // These two take pointers in `value`; a host passes a record or nothing there.
                if ((opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement) &&
                    value != 0) {
                    value = reinterpret_cast<VstIntPtr>(buffer + 2048);
                }
                for (float opt : opts) {
                    for (void* ptr : {static_cast<void*>(nullptr), static_cast<void*>(buffer)}) {
                        std::memset(buffer, 0, sizeof(buffer));
                        dispatch(effect, opcode, index, value, ptr, opt);
                    }
                }
            }
        }
    }
    EXPECT_EQ(effect.violations, 0);
    EXPECT_GE(effect.getProgram(), 0);
    EXPECT_LT(effect.getProgram(), kProbePrograms);
    EXPECT_TRUE(std::isfinite(effect.getSampleRate()));
    EXPECT_GT(effect.getSampleRate(), 0.0f);
}

TEST(VstDispatcherGuards, ProgramNumberTravelsInValueAndIsChecked)
{
    ScopedHost scope;
    ProbeEffect effect;
    dispatch(effect, effSetProgram, 3, 2);
    EXPECT_EQ(dispatch(effect, effGetProgram), 2) << "the number is in value, not index";
    for (VstIntPtr bad : {VstIntPtr{-1}, VstIntPtr{kProbePrograms}, VstIntPtr{1} << 33}) {
        dispatch(effect, effSetProgram, 0, bad);
        EXPECT_EQ(dispatch(effect, effGetProgram), 2);
    }
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstDispatcherGuards, SampleRateAndBlockSizeRejectNonsense)
{
    ScopedHost scope;
    ProbeEffect effect;
    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    }
    dispatch(effect, effSetBlockSize, 0, 333);
    dispatch(effect, effSetBlockSize, 0, -1);
    EXPECT_EQ(effect.getBlockSize(), 333);
    dispatch(effect, effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstDispatcherTexts, AnswersStayWithinTheHostsBuffers)
{
    ScopedHost scope;
    ProbeEffect effect;
    effect.nameFiller = [](char* s) { std::memset(s, 'n', 200); };
    char host[80];
    std::memset(host, '#', sizeof(host));
    EXPECT_EQ(dispatch(effect, effGetEffectName, 0, 0, host), 1);
    // Some hosts pass exactly 32 bytes.
    EXPECT_EQ(std::strlen(host), 31u);
    EXPECT_EQ(host[32], '#');

    std::memset(host, '#', sizeof(host));
    dispatch(effect, effGetProgramName, 0, 0, host);
    EXPECT_EQ(std::strlen(host), static_cast<size_t>(kVstMaxProgNameLen));
    EXPECT_EQ(host[kVstMaxProgNameLen + 1], '#');

    std::string longName(60, 'r');
    dispatch(effect, effSetProgramName, 0, 0, longName.data());
    ASSERT_EQ(effect.seen.size(), 1u);
    EXPECT_EQ(effect.seen[0], std::string(kVstMaxProgNameLen, 'r'));

    VstPinProperties pin{};
    EXPECT_EQ(dispatch(effect, effGetInputProperties, 1, 0, &pin), 1);
    EXPECT_EQ(std::strlen(pin.label), static_cast<size_t>(kVstMaxLabelLen - 1));
    EXPECT_EQ(dispatch(effect, effGetInputProperties, 2, 0, &pin), 0) << "only two inputs";
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstDispatcherTexts, CanDoNeverReadsFarIntoAnUnterminatedString)
{
    ScopedHost scope;
    ProbeEffect effect;
    // Exactly as long as the scratch copy; a sanitizer build catches a read past its end.
    auto raw = std::make_unique<char[]>(AudioEffect::kTextScratchSize);
    std::memset(raw.get(), 'y', AudioEffect::kTextScratchSize);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, raw.get()), -1);
    ASSERT_FALSE(effect.seen.empty());
    EXPECT_EQ(effect.seen.back().size(), static_cast<size_t>(AudioEffect::kTextScratchSize - 1));
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, const_cast<char*>("yes")), 1);
    EXPECT_EQ(dispatch(effect, effCanDo), 0);
}

TEST(VstAutomation, SetParameterAutomatedStoresFirstThenTellsTheHost)
{
    ScopedHost scope;
    ProbeEffect effect;
    std::vector<float> valueSeenByHost;
    scope.host.onAutomate = [&](AEffect* e, VstInt32 index, float value) {
        valueSeenByHost.push_back(e->getParameter(e, index));
        // A re-entrant host writing the same value back must not cause another report.
        e->setParameter(e, index, value);
    };
    effect.setParameterAutomated(3, 0.75f);
    const auto automates = scope.host.callsOf(audioMasterAutomate);
    ASSERT_EQ(automates.size(), 1u);
    EXPECT_EQ(automates[0].index, 3);
    EXPECT_EQ(automates[0].opt, 0.75f);
    ASSERT_EQ(valueSeenByHost.size(), 1u);
    EXPECT_EQ(valueSeenByHost[0], 0.75f);

    effect.setParameterAutomated(kProbeParams, 0.5f);
    effect.setParameterAutomated(-1, 0.5f);
    effect.setParameterAutomated(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(scope.host.callsOf(audioMasterAutomate).size(), 1u);
    EXPECT_EQ(effect.params[0], 0.0f);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstAutomation, BeginAndEndEditReachTheHostForValidIndicesOnly)
{
    ScopedHost scope;
    ProbeEffect effect;
    EXPECT_TRUE(effect.beginEdit(2));
    EXPECT_TRUE(effect.endEdit(2));
    EXPECT_FALSE(effect.beginEdit(-1));
    EXPECT_FALSE(effect.endEdit(kProbeParams));
    const auto begins = scope.host.callsOf(audioMasterBeginEdit);
    const auto ends = scope.host.callsOf(audioMasterEndEdit);
    ASSERT_EQ(begins.size(), 1u);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(begins[0].index, 2);
    EXPECT_EQ(ends[0].index, 2);
}

namespace {

const char* releaseForTest = nullptr;
int releaseReads = 0;
const char* readTestRelease(const char* symbol)
{
    ++releaseReads;
    return symbol && std::strcmp(symbol, "_ZN6ARDOUR8revisionE") == 0 ? releaseForTest : nullptr;
}

} // namespace

TEST(VstHostQuirks, OnlyArdour7LosesEditGestures)
{
    struct Row
    {
        const char* product;
        VstInt32 version;
        const char* release;
        uint32_t quirks;
        int reads;
    };
    const Row rows[] = {
        {"Ardour", 900, "7.3.0~ds0-1", kHostQuirkNoEditGestures, 1}, // Debian 12
        {"Ardour", 900, "7.5", kHostQuirkNoEditGestures, 1},
        {"Ardour", 900, "8.12", kHostQuirkNone, 1},
        {"Ardour", 900, "6.9", kHostQuirkNone, 1},
        {"Ardour", 900, "17.0", kHostQuirkNone, 1},
        {"Ardour", 900, "", kHostQuirkNone, 1},
        {"Ardour", 900, "seven", kHostQuirkNone, 1},
        {"Ardour", 900, nullptr, kHostQuirkNone, 1}, // release not found in the process
        {"Ardour", 7, "7.3", kHostQuirkNone, 0},
        {"Ardour 7", 900, "7.3", kHostQuirkNone, 0},
        {"ardour", 900, "7.3", kHostQuirkNone, 0},
        {"Qtractor", 0, "7.3", kHostQuirkNone, 0},
        {"", 0, "7.3", kHostQuirkNone, 0}, // a host that answers nothing
        {nullptr, 900, "7.3", kHostQuirkNone, 0},
    };
    for (const Row& row : rows) {
        releaseForTest = row.release;
        releaseReads = 0;
        EXPECT_EQ(hostQuirksFor(row.product, row.version, &readTestRelease), row.quirks)
            << (row.product ? row.product : "null") << " " << row.version << " "
            << (row.release ? row.release : "null");
        EXPECT_EQ(releaseReads, row.reads) << (row.product ? row.product : "null");
    }
    EXPECT_EQ(hostQuirksFor("Ardour", 900, nullptr), kHostQuirkNone);
}

TEST(VstHostCallback, TimeInfoCarriesTheFilterAndPinsAnswerInverted)
{
    ScopedHost scope;
    ProbeEffect effect;
    const VstInt32 filter = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    EXPECT_EQ(effect.getTimeInfo(filter), &scope.host.timeInfo);
    ASSERT_EQ(scope.host.callsOf(audioMasterGetTime).size(), 1u);
    EXPECT_EQ(scope.host.callsOf(audioMasterGetTime)[0].value, 0x602);
    scope.host.provideTime = false;
    EXPECT_EQ(effect.getTimeInfo(filter), nullptr);

    scope.host.pinAnswer[0][1] = 1; // second input not connected
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_FALSE(effect.isInputConnected(1));
    EXPECT_TRUE(effect.isOutputConnected(1));
    const auto pins = scope.host.callsOf(audioMasterPinConnected);
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(pins[1].index, 1);
    EXPECT_EQ(pins[1].value, 0) << "inputs are asked with value 0";
    EXPECT_NE(pins[2].value, 0) << "outputs are asked with a non-zero value";
}

TEST(VstHostCallback, NoCallbackMeansHarmlessDefaults)
{
    ProbeEffect effect(nullptr);
    effect.setParameterAutomated(1, 0.5f);
    EXPECT_EQ(effect.params[1], 0.5f);
    EXPECT_EQ(effect.getTimeInfo(0xFFFF), nullptr);
    EXPECT_TRUE(effect.isInputConnected(1)) << "without a host a pin counts as connected";
    EXPECT_EQ(effect.getMasterVersion(), 0);
    EXPECT_FALSE(effect.beginEdit(1));
    effect.wantEvents();
    EXPECT_EQ(effect.canHostDo("sendVstTimeInfo"), 0);
}

TEST(VstEditor, RegistersItselfIsOwnedAndSetsTheEditorFlag)
{
    ScopedHost scope;
    ProbeEffect effect;
    EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, 0);
    bool firstGone = false;
    auto* first = new ProbeEditor(&effect);
    first->destroyedFlag = &firstGone;
    EXPECT_EQ(effect.getEditor(), first);
    EXPECT_NE(effect.getAeffect()->flags & effFlagsHasEditor, 0);

    // An editor deleted by someone else leaves no dangling registration behind.
    delete first;
    EXPECT_TRUE(firstGone);
    EXPECT_EQ(effect.getEditor(), nullptr);
    EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, 0);

    bool secondGone = false;
    auto* second = new ProbeEditor(&effect);
    second->destroyedFlag = &secondGone;
    bool thirdGone = false;
    auto* third = new ProbeEditor(&effect);
    third->destroyedFlag = &thirdGone;
    EXPECT_TRUE(secondGone) << "a replaced editor is deleted";
    EXPECT_EQ(effect.getEditor(), third);
    effect.setEditor(third); // registering the same editor again changes nothing
    EXPECT_FALSE(thirdGone);
}

TEST(VstEditor, GetRectHandsOutMemoryThatOutlivesTheEditor)
{
    ScopedHost scope;
    ProbeEffect effect;
    ERect* rect = reinterpret_cast<ERect*>(uintptr_t{1});
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(dispatch(effect, effEditGetRect), 0);

    auto* editor = new ProbeEditor(&effect);
    ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    ERect* again = nullptr;
    dispatch(effect, effEditGetRect, 0, 0, &again);
    EXPECT_EQ(again, rect);
    editor->rect.right = 1;
    delete editor;
    // Still the answer of the call, readable after the editor is gone.
    EXPECT_EQ(rect->bottom, 300);
    EXPECT_EQ(rect->right, 400);
}

TEST(VstEditor, OpenIdleCloseInAnyOrder)
{
    ScopedHost scope;
    ProbeEffect effect;
    int parent = 0;
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, &parent), 0) << "no editor yet";
    auto* editor = new ProbeEditor(&effect);
    dispatch(effect, effEditIdle);
    EXPECT_EQ(editor->idles, 0) << "idle before open does nothing";
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(editor->opens, 0);
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(editor->lastParent, &parent);
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(editor->closes, 1) << "a second open closes the first window";
    dispatch(effect, effEditIdle);
    EXPECT_EQ(editor->idles, 1);
    dispatch(effect, effEditClose);
    dispatch(effect, effEditClose);
    EXPECT_EQ(editor->closes, 2);
    dispatch(effect, effEditIdle);
    EXPECT_EQ(editor->idles, 1);
}

TEST(VstLifecycle, MainsChangedAndCloseRequest)
{
    ScopedHost scope;
    bool effectGone = false;
    bool editorGone = false;
    int closes = 0;
    auto* effect = new ProbeEffect;
    effect->destroyedFlag = &effectGone;
    auto* editor = new ProbeEditor(effect);
    editor->destroyedFlag = &editorGone;
    editor->closesSeenOutside = &closes;
    dispatch(*effect, effMainsChanged, 0, 1);
    dispatch(*effect, effMainsChanged, 0, 0);
    EXPECT_EQ(effect->resumes, 1);
    EXPECT_EQ(effect->suspends, 1);
    int parent = 0;
    dispatch(*effect, effEditOpen, 0, 0, &parent);
    EXPECT_EQ(dispatch(*effect, effClose), 1);
    EXPECT_TRUE(effectGone);
    EXPECT_TRUE(editorGone);
    EXPECT_EQ(closes, 1) << "an open window is closed while the plug-in still exists";
}

TEST(VstChunks, PointerIsHandedOverAndSizesAreChecked)
{
    ScopedHost scope;
    ProbeEffect effect;
    void* data = nullptr;
    EXPECT_EQ(dispatch(effect, effGetChunk, 1, 0, &data), 16);
    EXPECT_EQ(data, effect.chunk);
    EXPECT_TRUE(effect.lastChunkPreset);
    EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 16);
    EXPECT_FALSE(effect.lastChunkPreset);
    EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, nullptr), 0);

    char bytes[8] = {};
    for (VstIntPtr bad : {VstIntPtr{0}, VstIntPtr{-5}, VstIntPtr{1} << 40}) {
        EXPECT_EQ(dispatch(effect, effSetChunk, 0, bad, bytes), 0);
    }
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, 8, nullptr), 0);
    EXPECT_EQ(effect.lastChunkSize, -1);
    EXPECT_EQ(dispatch(effect, effSetChunk, 1, 8, bytes), 1);
    EXPECT_EQ(effect.lastChunkSize, 8);
    EXPECT_TRUE(effect.lastChunkPreset);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstProcess, MissingChannelBuffersAreStoodInFor)
{
    ScopedHost scope;
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    const VstInt32 frames = 1000; // several passes of the stand-in buffers
    std::vector<float> in0(frames), out0(frames, -9.0f);
    for (VstInt32 i = 0; i < frames; ++i) {
        in0[i] = static_cast<float>(i);
    }
    float* inputs[2] = {in0.data(), nullptr};
    float* outputs[2] = {out0.data(), nullptr};
    e->processReplacing(e, inputs, outputs, frames);
    for (VstInt32 i = 0; i < frames; ++i) {
        ASSERT_EQ(out0[i], 2.0f * in0[i]) << "frame " << i;
    }
    e->processReplacing(e, nullptr, outputs, frames);
    EXPECT_EQ(out0[frames - 1], 0.0f) << "no inputs reads as silence";
    e->processReplacing(e, inputs, nullptr, frames);
    EXPECT_EQ(effect.violations, 0);
}

TEST(VstProcess, AccumulatingProcessAddsToTheOutputs)
{
    ScopedHost scope;
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    const VstInt32 frames = 600;
    std::vector<float> in0(frames, 0.25f), in1(frames, -0.5f);
    std::vector<float> out0(frames, 1.0f), out1(frames, 1.0f);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    e->process(e, inputs, outputs, frames);
    for (VstInt32 i = 0; i < frames; ++i) {
        ASSERT_EQ(out0[i], 1.5f);
        ASSERT_EQ(out1[i], 0.0f);
    }
}

TEST(VstProcess, EmptyBlocksAndDoublePrecision)
{
    ScopedHost scope;
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    float in[4] = {1, 1, 1, 1}, out[4] = {7, 7, 7, 7};
    float* inputs[2] = {in, in};
    float* outputs[2] = {out, out};
    e->processReplacing(e, inputs, outputs, 0);
    e->processReplacing(e, inputs, outputs, -5);
    EXPECT_EQ(out[0], 7.0f);

    double din[4] = {1, 1, 1, 1}, dout[4] = {7, 7, 7, 7};
    double* dinputs[2] = {din, din};
    double* doutputs[2] = {dout, nullptr};
    e->processDoubleReplacing(e, dinputs, doutputs, 4);
    EXPECT_EQ(dout[3], 0.0) << "double precision is not offered, so it gives silence";
}
