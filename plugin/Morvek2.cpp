#include "plugin/Morvek2.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* kEffectName = "Morvek2";
constexpr const char* kVendorName = "Zendrik, Inc.";
constexpr const char* kProductName = "Morvek2";

// The capabilities answered with 1; every other string, however close, answers 0.
constexpr std::string_view kCanDoYes[] = {
    "plugAsChannelInsert", "plugAsSend", "receiveVstMidiEvent", "1in1out", "1in2out", "2in2out",
};

} // namespace

Morvek2::Morvek2(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams)
{
    // Host record: two in, two out, our identity; replacing processing and state as one chunk.
    setSampleRate(kDefaultSampleRate);
    setBlockSize(kDefaultBlockSize);
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    setUniqueID(kUniqueID);
    setVersion(kVersion);
    canProcessReplacing();
    programsAreChunks();

    // Live lanes start like the lanes of an empty program.
    for (SeqLane& lane : lanes) {
        seq::initLane(lane);
    }

    params = std::make_unique<Morvek2ParameterManager>();

    for (int m = 0; m < kNumModules; ++m) {
        chainOrder[m].store(static_cast<std::uint16_t>(m), std::memory_order_relaxed);
        enableFactors[m].store(1.0f, std::memory_order_relaxed);
        gateSmoothers[m].setUpdateInterval(kControlInterval);
        gateSmoothers[m].setTime(0.002f);
        gateSmoothers[m].setTarget(0.0f);
        valueSmoothers[m].setUpdateInterval(kControlInterval);
    }
    activeSmoother.setTime(0.01f);
    activeSmoother.setUpdateInterval(kControlInterval);
    outputGainSmoother.setTime(0.01f);
    outputGainSmoother.setUpdateInterval(kControlInterval);
    soloIndex.store(0, std::memory_order_relaxed);

    // MIDI map (empty; never read from a file), then the bank with the factory programs, and
    // program 0 becomes the live state.
    midiMap = std::make_unique<MidiMap>(static_cast<MidiMapListener&>(*this), kNumParams);
    buildBank();
    setProgram(0);
}

Morvek2::~Morvek2() = default;

// ---- Lifecycle
// ------------------------------------------------------------------------------------

void Morvek2::resume()
{
    // Pin 1 is the second channel; the host answers 0 for a connected pin, and without a host
    // the pin counts as connected.
    inputMode.store(isInputConnected(1) ? 2 : 1, std::memory_order_relaxed);
    outputMode.store(isOutputConnected(1) ? 2 : 1, std::memory_order_relaxed);

    if ((cEffect.flags & effFlagsIsSynth) || canDo("receiveVstMidiEvent") == kVstCanDoYes) {
        wantEvents(1);
    }
}

void Morvek2::setSampleRate(float newRate)
{
    if (newRate == getSampleRate()) {
        return;
    }
    AudioEffectX::setSampleRate(newRate);
    sampleRateReciprocal.store(1.0f / newRate, std::memory_order_relaxed);
    for (int m = 0; m < kNumModules; ++m) {
        valueSmoothers[m].setSampleRate(newRate);
        gateSmoothers[m].setSampleRate(newRate);
    }
    outputGainSmoother.setSampleRate(newRate);
    activeSmoother.setSampleRate(newRate);
}

// ---- Audio
// ----------------------------------------------------------------------------------------

void Morvek2::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    // With one input connected the left input feeds both channels; with one output connected
    // only the left channel is written.
    // memmove: hosts may process in place.
    const std::size_t bytes = static_cast<std::size_t>(sampleFrames) * sizeof(float);
    const float* inRight = getInputMode() == 1 ? inputs[0] : inputs[1];
    if (getOutputMode() == 2) {
        std::memmove(outputs[1], inRight, bytes);
    }
    std::memmove(outputs[0], inputs[0], bytes);
}

// ---- Parameters
// -----------------------------------------------------------------------------------

void Morvek2::setParameter(VstInt32 index, float value)
{
    // Reached from the host, the editor, MIDI and program loads alike, so it guards itself.
    if (index < 0 || index >= kNumParams || !sanitizeNormalised(value)) {
        return;
    }
    params->setValue(index, value);
}

float Morvek2::getParameter(VstInt32 index)
{
    if (index < 0 || index >= kNumParams) {
        return 0.0f;
    }
    return params->getValue(index);
}

void Morvek2::getParameterLabel(VstInt32 index, char* label)
{
    params->getLabel(index, label, kVstMaxParamStrLen);
}

void Morvek2::getParameterDisplay(VstInt32 index, char* text)
{
    params->getDisplay(index, text, kVstMaxParamStrLen);
}

void Morvek2::getParameterName(VstInt32 index, char* text)
{
    params->getName(index, text, kVstMaxParamStrLen);
}

bool Morvek2::canParameterBeAutomated(VstInt32 /*index*/)
{
    return true;
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

// ---- Accessors
// ------------------------------------------------------------------------------------

int Morvek2::getChainSlot(int position) const
{
    return chainOrder[clampModule(position)].load(std::memory_order_relaxed);
}

float Morvek2::getEnableFactor(int module) const
{
    return enableFactors[clampModule(module)].load(std::memory_order_relaxed);
}
