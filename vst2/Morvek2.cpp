#include "vst2/Morvek2.h"

#include "editor/Morvek2Editor.h"

#include <string_view>

namespace {

// The capabilities answered with 1; every other string, however close, answers 0.
constexpr std::string_view kCanDoYes[] = {
    "plugAsChannelInsert", "plugAsSend", "receiveVstMidiEvent", "1in1out", "1in2out", "2in2out",
};

} // namespace

Morvek2::Morvek2(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams)
{
    // Host record: two in, two out, our identity; replacing processing and state as one chunk.
    setBlockSize(kDefaultBlockSize);
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    setUniqueID(kUniqueID);
    setVersion(kVersion);
    canProcessReplacing();
    programsAreChunks();
    setCoreHost(this);
#if defined(MORVEK2_WITH_EDITOR)
    // The editor object (its window opens only on the host's request). It registers itself
    // with AudioEffect, which owns it from then on and announces it to the host.
    attachEditor(new Morvek2Editor(this, getEditorLink()));
    editorProgramChanged();
#endif
}

Morvek2::~Morvek2()
{
    // AudioEffect deletes the editor after the core is gone: nothing may reach it meanwhile.
    detachEditor();
}

void Morvek2::suspend() // [ui]
{
    Morvek2Core::suspend();
}

void Morvek2::resume() // [ui]
{
    // Pin 1 is the second channel; the host answers 0 for a connected pin, and without a host
    // the pin counts as connected.
    Morvek2Core::resume(isInputConnected(1), isOutputConnected(1));
    if ((cEffect.flags & effFlagsIsSynth) || canDo("receiveVstMidiEvent") == kVstCanDoYes) {
        wantEvents(1);
    }
}

void Morvek2::setSampleRate(float rate) // [any]
{
    Morvek2Core::setSampleRate(rate);
}

Morvek2Transport Morvek2::readHostTransport() // [audio]
{
    Morvek2Transport t;
    const VstTimeInfo* info = getTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
    if (!info) {
        return t;
    }
    t.present = true;
    t.playing = (info->flags & kVstTransportPlaying) != 0;
    // The tempo is used as the host gives it, whatever its validity flag says.
    t.tempo = info->tempo;
    t.tempoPresent = true;
    // Both positions go over even when not valid: the clock compares them from block to block.
    t.position = info->ppqPos;
    t.positionPresent = (info->flags & kVstPpqPosValid) != 0;
    t.samplePosition = info->samplePos;
    t.samplePositionPresent = true;
    t.numerator = info->timeSigNumerator;
    t.denominator = info->timeSigDenominator;
    t.signaturePresent = (info->flags & kVstTimeSigValid) != 0;
    t.barStart = info->barStartPos;
    t.barStartPresent = (info->flags & kVstBarsValid) != 0;
    return t;
}

void Morvek2::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) // [audio]
{
    // Nothing to do for an empty block: the host is not even asked for its time.
    if (sampleFrames <= 0 || !inputs || !outputs || !inputs[0] || !outputs[0]) {
        return;
    }
    process(inputs, outputs, sampleFrames, readHostTransport());
}

VstInt32 Morvek2::processEvents(VstEvents* events) // [audio]
{
    // The list comes from the host as it is: a negative count or a missing event is skipped.
    if (!events || events->numEvents <= 0) {
        return 1;
    }
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = events->events[i];
        if (!e || e->type != kVstMidiType) {
            continue;
        }
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
        receiveMidi(static_cast<std::uint8_t>(midi->midiData[0]),
                    static_cast<std::uint8_t>(midi->midiData[1]),
                    static_cast<std::uint8_t>(midi->midiData[2]));
    }
    return 1;
}

void Morvek2::parameterAutomated(int index, float value) // [any]
{
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

// ---- Parameters
// -----------------------------------------------------------------------------------

void Morvek2::setParameter(VstInt32 index, float value) // [any]
{
    Morvek2Core::setParameter(index, value);
}

float Morvek2::getParameter(VstInt32 index) // [any]
{
    return Morvek2Core::getParameter(index);
}

void Morvek2::getParameterLabel(VstInt32 index, char* label) // [any]
{
    Morvek2Core::getParameterLabel(index, label, kVstMaxParamStrLen);
}

void Morvek2::getParameterDisplay(VstInt32 index, char* text) // [any]
{
    Morvek2Core::getParameterDisplay(index, text, kVstMaxParamStrLen);
}

void Morvek2::getParameterName(VstInt32 index, char* text) // [any]
{
    Morvek2Core::getParameterName(index, text, kVstMaxParamStrLen);
}

bool Morvek2::canParameterBeAutomated(VstInt32 /*index*/) // [any]
{
    return true;
}

// ---- Programs and chunks
// --------------------------------------------------------------------------

VstInt32 Morvek2::getProgram() // [any]
{
    return Morvek2Core::getProgram();
}

void Morvek2::setProgram(VstInt32 program) // [ui]
{
    Morvek2Core::setProgram(program);
}

void Morvek2::setProgramName(const char* name) // [ui]
{
    Morvek2Core::setProgramName(name);
}

void Morvek2::getProgramName(char* name) // [ui]
{
    Morvek2Core::getProgramName(name);
}

bool Morvek2::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) // [ui]
{
    return Morvek2Core::getProgramNameIndexed(index, text);
}

VstInt32 Morvek2::getChunk(void** data, bool isPreset) // [ui]
{
    return Morvek2Core::getChunk(data, isPreset);
}

VstInt32 Morvek2::setChunk(void* data, VstInt32 byteSize, bool isPreset) // [ui]
{
    return Morvek2Core::setChunk(data, byteSize, isPreset);
}

// ---- Identity
// -------------------------------------------------------------------------------------

bool Morvek2::getEffectName(char* name)
{
    vstCopyString(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool Morvek2::getVendorString(char* text)
{
    vstCopyString(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool Morvek2::getProductString(char* text)
{
    vstCopyString(text, kProductName, kVstMaxProductStrLen);
    return true;
}

VstInt32 Morvek2::getVendorVersion()
{
    return kVendorVersion;
}

VstInt32 Morvek2::canDo(const char* text)
{
    if (!text) {
        return kVstCanDoUnknown;
    }
    const std::string_view asked(text);
    for (std::string_view known : kCanDoYes) {
        if (asked == known) {
            return kVstCanDoYes;
        }
    }
    return kVstCanDoUnknown;
}

VstPlugCategory Morvek2::getPlugCategory()
{
    return kPlugCategEffect;
}
