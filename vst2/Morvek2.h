// Morvek2 as a VST 2.4 plug-in: the core behind the host's dispatcher calls, with the identity,
// capabilities and transport reading that belong to this format.
#pragma once

#include "plugin/Morvek2Core.h"
#include "vst/AudioEffectX.h"

class Morvek2 : public AudioEffectX, public Morvek2Core, private Morvek2CoreHost
{
public:
    static constexpr VstInt32 kUniqueID = vstFourCharCode('Z', 'K', 'm', '2');
    static constexpr VstInt32 kVersion = 1;
    static constexpr VstInt32 kVendorVersion = 1200;

    explicit Morvek2(audioMasterCallback audioMaster);
    ~Morvek2() override;

    void suspend() override;                       // [ui]
    void resume() override;                        // [ui]
    void setSampleRate(float sampleRate) override; // [any]
    using Morvek2Core::getSampleRate;
    void processReplacing(float** inputs, float** outputs,
                          VstInt32 sampleFrames) override; // [audio]
    VstInt32 processEvents(VstEvents* events) override;    // [audio]

    void setParameter(VstInt32 index, float value) override;       // [any]
    float getParameter(VstInt32 index) override;                   // [any]
    void getParameterLabel(VstInt32 index, char* label) override;  // [any]
    void getParameterDisplay(VstInt32 index, char* text) override; // [any]
    void getParameterName(VstInt32 index, char* text) override;    // [any]
    bool canParameterBeAutomated(VstInt32 index) override;         // [any]

    VstInt32 getProgram() override;                                                     // [any]
    void setProgram(VstInt32 program) override;                                         // [ui]
    void setProgramName(const char* name) override;                                     // [ui]
    void getProgramName(char* name) override;                                           // [ui]
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override; // [ui]
    VstInt32 getChunk(void** data, bool isPreset) override;                             // [ui]
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;           // [ui]

    bool getEffectName(char* name) override;    // [any]
    bool getVendorString(char* text) override;  // [any]
    bool getProductString(char* text) override; // [any]
    VstInt32 getVendorVersion() override;       // [any]
    VstInt32 canDo(const char* text) override;  // [any]
    VstPlugCategory getPlugCategory() override; // [any]

private:
    // Morvek2CoreHost: a change the core made by itself reaches the host as automation.
    void parameterAutomated(int index, float value) override; // [any]
    // What the host's time record says, in the core's terms.
    Morvek2Transport readHostTransport(); // [audio]
};
