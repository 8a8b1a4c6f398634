#include "vst/AudioEffectX.h"

#include "vst/HostQuirks.h"

#include <climits>
#include <cstring>

namespace {

// Same bounded hand-over as the base class uses for its texts.
template <typename Fill> VstIntPtr answerText(void* hostBuffer, int maxChars, Fill&& fill)
{
    char scratch[AudioEffect::kTextScratchSize] = {};
    const VstIntPtr answer = fill(scratch);
    scratch[AudioEffect::kTextScratchSize - 1] = '\0';
    vstCopyString(static_cast<char*>(hostBuffer), scratch, maxChars);
    return answer;
}

// Reads a host text into a terminated local copy, so an unterminated host string is never read
// past kTextScratchSize bytes.
struct HostText
{
    explicit HostText(const void* ptr)
    {
        vstCopyString(text, static_cast<const char*>(ptr), AudioEffect::kTextScratchSize - 1);
    }
    char text[AudioEffect::kTextScratchSize];
};

VstInt32 clampToInt32(VstIntPtr value)
{
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<VstInt32>(value);
}

// Modifier bits arrive as a float; a NaN or huge value must not reach an int conversion.
VstInt32 modifiersFromOpt(float opt)
{
    return (opt >= 0.0f && opt < 65536.0f) ? static_cast<VstInt32>(opt) : 0;
}

} // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams)
{}

AudioEffectX::~AudioEffectX() = default;

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt)
{
    switch (opcode) {
    case effProcessEvents:
        return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;

    case effCanBeAutomated:
        return (isParameterIndex(index) && canParameterBeAutomated(index)) ? 1 : 0;
    case effString2Parameter:
        if (!ptr || !isParameterIndex(index)) {
            return 0;
        }
        return string2parameter(index, HostText(ptr).text) ? 1 : 0;
    case effGetParameterProperties:
        if (!ptr || !isParameterIndex(index)) {
            return 0;
        }
        return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;

    case effGetProgramNameIndexed:
        if (!ptr) {
            return 0;
        }
        return answerText(ptr, kVstMaxProgNameLen, [&](char* s) -> VstIntPtr {
            return getProgramNameIndexed(clampToInt32(value), index, s) ? 1 : 0;
        });
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effBeginLoadBank:
        return ptr ? beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)) : 0;
    case effBeginLoadProgram:
        return ptr ? beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)) : 0;

    case effGetInputProperties:
    case effGetOutputProperties:
        return answerPinProperties(opcode, index, ptr);
    case effSetSpeakerArrangement:
        // Both arrangements are pointers: the input one travels in `value`.
        if (value == 0 || !ptr) {
            return 0;
        }
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effGetSpeakerArrangement: {
        // Both are pointer-to-pointer; the plug-in hands out its own records.
        auto** input = reinterpret_cast<VstSpeakerArrangement**>(value);
        auto** output = static_cast<VstSpeakerArrangement**>(ptr);
        if (!input || !output) {
            return 0;
        }
        *input = nullptr;
        *output = nullptr;
        return getSpeakerArrangement(input, output) ? 1 : 0;
    }
    case effSetBlockSizeAndSampleRate:
        if (value >= 0 && value <= INT32_MAX) {
            setBlockSize(static_cast<VstInt32>(value));
        }
        return AudioEffect::dispatcher(effSetSampleRate, 0, 0, nullptr, opt);
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effSetProcessPrecision:
        return setProcessPrecision(clampToInt32(value)) ? 1 : 0;
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetTotalSampleToProcess:
        return setTotalSampleToProcess(clampToInt32(value));
    case effSetPanLaw:
        return setPanLaw(clampToInt32(value), opt) ? 1 : 0;

    case effGetEffectName:
        if (!ptr) {
            return 0;
        }
        // Several hosts pass exactly 32 bytes, so the terminator must fit in them.
        return answerText(ptr, kVstMaxEffectNameLen - 1,
                          [&](char* s) -> VstIntPtr { return getEffectName(s) ? 1 : 0; });
    case effGetVendorString:
        if (!ptr) {
            return 0;
        }
        return answerText(ptr, kVstMaxVendorStrLen - 1,
                          [&](char* s) -> VstIntPtr { return getVendorString(s) ? 1 : 0; });
    case effGetProductString:
        if (!ptr) {
            return 0;
        }
        return answerText(ptr, kVstMaxProductStrLen - 1,
                          [&](char* s) -> VstIntPtr { return getProductString(s) ? 1 : 0; });
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return ptr ? canDo(HostText(ptr).text) : 0;
    case effGetTailSize:
        return getGetTailSize();
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetVstVersion:
        return getVstVersion();
    case effShellGetNextPlugin:
        if (!ptr) {
            return 0;
        }
        return answerText(ptr, kVstMaxProductStrLen - 1,
                          [&](char* s) -> VstIntPtr { return getNextShellPlugin(s); });
    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();

    case effEditKeyDown:
        return editorKeyDown(index, clampToInt32(value), modifiersFromOpt(opt)) ? 1 : 0;
    case effEditKeyUp:
        return editorKeyUp(index, clampToInt32(value), modifiersFromOpt(opt)) ? 1 : 0;
    case effSetEditKnobMode:
        return setEditKnobMode(clampToInt32(value)) ? 1 : 0;

    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstIntPtr AudioEffectX::answerPinProperties(VstInt32 opcode, VstInt32 index, void* ptr)
{
    const bool input = opcode == effGetInputProperties;
    const VstInt32 count = input ? cEffect.numInputs : cEffect.numOutputs;
    if (!ptr || index < 0 || index >= count) {
        return 0;
    }
    auto* properties = static_cast<VstPinProperties*>(ptr);
    const bool filled =
        input ? getInputProperties(index, properties) : getOutputProperties(index, properties);
    if (filled) {
        properties->label[kVstMaxLabelLen - 1] = '\0';
        properties->shortLabel[kVstMaxShortLabelLen - 1] = '\0';
    }
    return filled ? 1 : 0;
}

// ---- Edit gestures ------------------------------------------------------------------------------

bool AudioEffectX::beginEdit(VstInt32 index)
{
    if (!isParameterIndex(index) || (getHostQuirks() & kHostQuirkNoEditGestures) != 0) {
        return false;
    }
    return AudioEffect::beginEdit(index);
}

bool AudioEffectX::endEdit(VstInt32 index)
{
    if (!isParameterIndex(index) || (getHostQuirks() & kHostQuirkNoEditGestures) != 0) {
        return false;
    }
    return AudioEffect::endEdit(index);
}

uint32_t AudioEffectX::getHostQuirks()
{
    uint32_t known = hostQuirks.load(std::memory_order_acquire);
    if ((known & kHostQuirksKnown) == 0) {
        // Some hosts fill the text and answer 0, so the text counts whatever the answer; it
        // stays empty for a host that answers nothing.
        char product[kVstMaxProductStrLen + 1] = {};
        getHostProductString(product);
        known = hostQuirksFor(product, getHostVendorVersion(), &readReleaseFromProcess) |
                kHostQuirksKnown;
        hostQuirks.store(known, std::memory_order_release);
    }
    return known & ~kHostQuirksKnown;
}

// ---- Defaults -----------------------------------------------------------------------------------

VstInt32 AudioEffectX::processEvents(VstEvents* /*events*/)
{
    return 0;
}

bool AudioEffectX::canParameterBeAutomated(VstInt32 /*index*/)
{
    return true;
}

bool AudioEffectX::string2parameter(VstInt32 /*index*/, const char* /*text*/)
{
    return false;
}

bool AudioEffectX::getParameterProperties(VstInt32 /*index*/,
                                          VstParameterProperties* /*properties*/)
{
    return false;
}

bool AudioEffectX::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/)
{
    return false;
}

VstPlugCategory AudioEffectX::getPlugCategory()
{
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/)
{
    return false;
}

bool AudioEffectX::getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/)
{
    return false;
}

// ---- Host callback ------------------------------------------------------------------------------

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter)
{
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::isInputConnected(VstInt32 input)
{
    // The host answers 0 for a connected pin.
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffectX::isOutputConnected(VstInt32 output)
{
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

void AudioEffectX::wantEvents(VstInt32 filter)
{
    callHost(audioMasterWantMidi, 0, filter);
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events)
{
    return events && callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::ioChanged()
{
    return callHost(audioMasterIOChanged) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height)
{
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::updateDisplay()
{
    return callHost(audioMasterUpdateDisplay) != 0;
}

VstInt32 AudioEffectX::getCurrentProcessLevel()
{
    return clampToInt32(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState()
{
    return clampToInt32(callHost(audioMasterGetAutomationState));
}

VstInt32 AudioEffectX::getHostLanguage()
{
    return clampToInt32(callHost(audioMasterGetLanguage));
}

VstInt32 AudioEffectX::canHostDo(const char* text)
{
    if (!text) {
        return 0;
    }
    char copy[kTextScratchSize];
    vstCopyString(copy, text, kTextScratchSize - 1);
    return clampToInt32(callHost(audioMasterCanDo, 0, 0, copy));
}

bool AudioEffectX::getHostVendorString(char* text)
{
    if (!text) {
        return false;
    }
    return answerText(text, kVstMaxVendorStrLen, [&](char* s) -> VstIntPtr {
               return callHost(audioMasterGetVendorString, 0, 0, s);
           }) != 0;
}

bool AudioEffectX::getHostProductString(char* text)
{
    if (!text) {
        return false;
    }
    return answerText(text, kVstMaxProductStrLen, [&](char* s) -> VstIntPtr {
               return callHost(audioMasterGetProductString, 0, 0, s);
           }) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion()
{
    return clampToInt32(callHost(audioMasterGetVendorVersion));
}
