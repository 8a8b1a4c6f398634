#include "vst/AudioEffect.h"

#include "base/Normalised.h"
#include "vst/AEffEditor.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

void vstCopyString(char* dst, const char* src, int maxChars)
{
    if (!dst || maxChars < 0) {
        return;
    }
    int n = 0;
    if (src) {
        while (n < maxChars && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
}

namespace {

AudioEffect* fromAEffect(AEffect* e)
{
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

// Lets a getter write into a zeroed scratch buffer, then hands the host at most maxChars
// characters and a terminator, so an over-long answer can never run past the host's buffer.
template <typename Fill> void answerText(void* hostBuffer, int maxChars, Fill&& fill)
{
    char scratch[AudioEffect::kTextScratchSize] = {};
    fill(scratch);
    scratch[AudioEffect::kTextScratchSize - 1] = '\0';
    vstCopyString(static_cast<char*>(hostBuffer), scratch, maxChars);
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster)
{
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = &AudioEffect::dispatchEntry;
    cEffect.process = &AudioEffect::processEntry;
    cEffect.setParameter = &AudioEffect::setParameterEntry;
    cEffect.getParameter = &AudioEffect::getParameterEntry;
    cEffect.numPrograms = std::max<VstInt32>(numPrograms, 0);
    cEffect.numParams = std::max<VstInt32>(numParams, 0);
    cEffect.numInputs = 2;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.version = 1;
    cEffect.processReplacing = &AudioEffect::processReplacingEntry;
    cEffect.processDoubleReplacing = &AudioEffect::processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect()
{
    // Cleared first so that the editor's destructor does not find itself registered.
    AEffEditor* owned = editor;
    editor = nullptr;
    delete owned;
}

// ---- Host entries -------------------------------------------------------------------------------

VstIntPtr VSTCALLBACK AudioEffect::dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                 VstIntPtr value, void* ptr, float opt)
{
    AudioEffect* self = fromAEffect(e);
    return self ? self->dispatcher(opcode, index, value, ptr, opt) : 0;
}

void VSTCALLBACK AudioEffect::processEntry(AEffect* e, float** inputs, float** outputs,
                                           VstInt32 sampleFrames)
{
    AudioEffect* self = fromAEffect(e);
    if (self && sampleFrames > 0) {
        self->processThroughScratch(inputs, outputs, sampleFrames, true);
    }
}

void VSTCALLBACK AudioEffect::processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                                    VstInt32 sampleFrames)
{
    AudioEffect* self = fromAEffect(e);
    if (!self || sampleFrames <= 0) {
        return;
    }
    const VstInt32 numIn = self->cEffect.numInputs;
    const VstInt32 numOut = self->cEffect.numOutputs;
    bool complete = (numIn == 0 || inputs) && (numOut == 0 || outputs);
    for (VstInt32 c = 0; complete && c < numIn; ++c) {
        complete = inputs[c] != nullptr;
    }
    for (VstInt32 c = 0; complete && c < numOut; ++c) {
        complete = outputs[c] != nullptr;
    }
    if (complete) {
        self->processReplacing(inputs, outputs, sampleFrames);
    } else {
        self->processThroughScratch(inputs, outputs, sampleFrames, false);
    }
}

void VSTCALLBACK AudioEffect::processDoubleReplacingEntry(AEffect* e, double** inputs,
                                                          double** outputs, VstInt32 sampleFrames)
{
    AudioEffect* self = fromAEffect(e);
    if (self && sampleFrames > 0) {
        self->processDoubleReplacing(inputs, outputs, sampleFrames);
    }
}

void VSTCALLBACK AudioEffect::setParameterEntry(AEffect* e, VstInt32 index, float value)
{
    AudioEffect* self = fromAEffect(e);
    if (self && self->isParameterIndex(index) && sanitizeNormalised(value)) {
        self->setParameter(index, value);
    }
}

float VSTCALLBACK AudioEffect::getParameterEntry(AEffect* e, VstInt32 index)
{
    AudioEffect* self = fromAEffect(e);
    return (self && self->isParameterIndex(index)) ? self->getParameter(index) : 0.0f;
}

void AudioEffect::processThroughScratch(float** inputs, float** outputs, VstInt32 sampleFrames,
                                        bool accumulate)
{
    const VstInt32 numIn = cEffect.numInputs;
    const VstInt32 numOut = cEffect.numOutputs;
    if (numIn < 0 || numOut < 0 || numIn > kMaxScratchChannels || numOut > kMaxScratchChannels) {
        return;
    }
    float* in[kMaxScratchChannels] = {};
    float* out[kMaxScratchChannels] = {};
    for (VstInt32 pos = 0; pos < sampleFrames; pos += kScratchFrames) {
        const VstInt32 n = std::min(kScratchFrames, sampleFrames - pos);
        // A plug-in might scribble over its inputs; silence must stay silence for every pass.
        std::fill(std::begin(scratchSilence), std::end(scratchSilence), 0.0f);
        for (VstInt32 c = 0; c < numIn; ++c) {
            in[c] = (inputs && inputs[c]) ? inputs[c] + pos : scratchSilence;
        }
        for (VstInt32 c = 0; c < numOut; ++c) {
            const bool direct = !accumulate && outputs && outputs[c];
            out[c] = direct ? outputs[c] + pos : scratchOutputs[c];
        }
        processReplacing(in, out, n);
        if (accumulate && outputs) {
            for (VstInt32 c = 0; c < numOut; ++c) {
                if (outputs[c]) {
                    for (VstInt32 i = 0; i < n; ++i) {
                        outputs[c][pos + i] += scratchOutputs[c][i];
                    }
                }
            }
        }
    }
}

// ---- Dispatcher ---------------------------------------------------------------------------------

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt)
{
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        // The window must go while the whole object still exists; afterwards only the base
        // destructor's cleanup of the editor object remains.
        if (editor && editor->isOpen()) {
            editor->close();
        }
        close();
        delete this;
        return 1;

    case effSetProgram:
        // The program number travels in `value`.
        if (isProgramIndex(value)) {
            setProgram(static_cast<VstInt32>(value));
        }
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (ptr) {
            char name[kVstMaxProgNameLen + 1];
            vstCopyString(name, static_cast<const char*>(ptr), kVstMaxProgNameLen);
            setProgramName(name);
        }
        return 0;
    case effGetProgramName:
        if (ptr) {
            answerText(ptr, kVstMaxProgNameLen, [&](char* s) { getProgramName(s); });
        }
        return 0;

    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        if (!ptr) {
            return 0;
        }
        if (!isParameterIndex(index)) {
            static_cast<char*>(ptr)[0] = '\0';
            return 0;
        }
        answerText(ptr, kVstMaxParamStrLen, [&](char* s) {
            if (opcode == effGetParamLabel) {
                getParameterLabel(index, s);
            } else if (opcode == effGetParamDisplay) {
                getParameterDisplay(index, s);
            } else {
                getParameterName(index, s);
            }
        });
        return 0;

    case effSetSampleRate:
        // The rate arrives in `opt`; a zero, negative or non-finite rate would poison every
        // coefficient derived from it.
        if (std::isfinite(opt) && opt > 0.0f) {
            setSampleRate(opt);
        }
        return 0;
    case effSetBlockSize:
        if (value >= 0 && value <= INT32_MAX) {
            setBlockSize(static_cast<VstInt32>(value));
        }
        return 0;
    case effMainsChanged:
        if (value == 0) {
            suspend();
        } else {
            resume();
        }
        return 0;

    case effEditGetRect:
    case effEditOpen:
    case effEditClose:
    case effEditIdle:
        return dispatchEditor(opcode, ptr);

    case effIdentify:
        return kVstIdentifyAnswer;

    case effGetChunk: {
        // `ptr` is a void** that receives a pointer to the plug-in's own memory.
        if (!ptr) {
            return 0;
        }
        void** out = static_cast<void**>(ptr);
        *out = nullptr;
        void* data = nullptr;
        const VstInt32 size = getChunk(&data, index != 0);
        if (!data || size <= 0) {
            return 0;
        }
        *out = data;
        return size;
    }
    case effSetChunk:
        if (!ptr || value <= 0 || value > INT32_MAX) {
            return 0;
        }
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);

    default:
        return 0;
    }
}

VstIntPtr AudioEffect::dispatchEditor(VstInt32 opcode, void* ptr)
{
    switch (opcode) {
    case effEditGetRect: {
        if (!ptr) {
            return 0;
        }
        ERect** out = static_cast<ERect**>(ptr);
        *out = nullptr;
        ERect* rect = nullptr;
        if (!editor || !editor->getRect(&rect) || !rect) {
            return 0;
        }
        // Copied into the object so the host's pointer stays valid whatever the editor does.
        editorRect = *rect;
        *out = &editorRect;
        return 1;
    }
    case effEditOpen:
        // `ptr` is the host's parent window; without one there is nothing to embed into.
        if (!editor || !ptr) {
            return 0;
        }
        if (editor->isOpen()) {
            editor->close();
        }
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor && editor->isOpen()) {
            editor->close();
            return 1;
        }
        return 0;
    case effEditIdle:
        if (editor && editor->isOpen()) {
            editor->idle();
        }
        return 0;
    default:
        return 0;
    }
}

// ---- Defaults -----------------------------------------------------------------------------------

void AudioEffect::setSampleRate(float newRate)
{
    sampleRate.store(newRate, std::memory_order_relaxed);
}

void AudioEffect::setBlockSize(VstInt32 newSize)
{
    blockSize.store(newSize, std::memory_order_relaxed);
}

void AudioEffect::processDoubleReplacing(double** /*inputs*/, double** outputs,
                                         VstInt32 sampleFrames)
{
    if (!outputs) {
        return;
    }
    for (VstInt32 c = 0; c < cEffect.numOutputs; ++c) {
        if (outputs[c]) {
            std::fill(outputs[c], outputs[c] + sampleFrames, 0.0);
        }
    }
}

void AudioEffect::setParameter(VstInt32 /*index*/, float /*value*/) {}

float AudioEffect::getParameter(VstInt32 /*index*/)
{
    return 0.0f;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    if (!isParameterIndex(index) || !sanitizeNormalised(value)) {
        return;
    }
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

bool AudioEffect::beginEdit(VstInt32 index)
{
    return isParameterIndex(index) && callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffect::endEdit(VstInt32 index)
{
    return isParameterIndex(index) && callHost(audioMasterEndEdit, index) != 0;
}

void AudioEffect::setProgram(VstInt32 program)
{
    if (isProgramIndex(program)) {
        curProgram.store(program, std::memory_order_relaxed);
    }
}

VstInt32 AudioEffect::getProgram()
{
    return curProgram.load(std::memory_order_relaxed);
}

VstInt32 AudioEffect::getChunk(void** data, bool /*isPreset*/)
{
    if (data) {
        *data = nullptr;
    }
    return 0;
}

VstInt32 AudioEffect::setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/)
{
    return 0;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    if (newEditor == editor) {
        hasEditor(editor != nullptr);
        return;
    }
    AEffEditor* old = editor;
    editor = newEditor;
    hasEditor(newEditor != nullptr);
    delete old;
}

void AudioEffect::editorDestroyed(AEffEditor* dying)
{
    if (dying && editor == dying) {
        editor = nullptr;
        hasEditor(false);
    }
}

VstInt32 AudioEffect::getMasterVersion()
{
    return static_cast<VstInt32>(callHost(audioMasterVersion));
}

VstInt32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(audioMasterIdle);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt)
{
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setFlag(VstInt32 flag, bool state)
{
    if (state) {
        cEffect.flags |= flag;
    } else {
        cEffect.flags &= ~flag;
    }
}

bool AudioEffect::sanitizeNormalised(float& value)
{
    return morvek2::sanitizeNormalised(value);
}
