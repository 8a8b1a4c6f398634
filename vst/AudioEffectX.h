// The VST 2.x extension of AudioEffect: the later dispatcher opcodes (events, identity strings,
// capabilities, pins, speaker arrangements, editor keys) as virtual operations with safe defaults,
// and the 2.x host callback requests (time information, pin connections, MIDI, window size).
#pragma once

#include "vst/AudioEffect.h"

#include <atomic>
#include <cstdint>

class AudioEffectX : public AudioEffect
{
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    ~AudioEffectX() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override; // [any]

    // ---- Events ----
    // `events` is non-null; its contents are the host's and valid for the coming block only.
    virtual VstInt32 processEvents(VstEvents* events); // [audio]

    // ---- Parameters (index already checked) ----
    // Bracket a user gesture, except in hosts that the host table (vst/HostQuirks) says break
    // on it; the values still reach every host through setParameterAutomated. False when not
    // sent.
    bool beginEdit(VstInt32 index) override;                         // [ui]
    bool endEdit(VstInt32 index) override;                           // [ui]
    virtual bool canParameterBeAutomated(VstInt32 index);            // [any]
    virtual bool string2parameter(VstInt32 index, const char* text); // [any]
    virtual bool getParameterProperties(VstInt32 index,
                                        VstParameterProperties* properties); // [any]

    // ---- Programs ----
    // `index` is unchecked here because an answer of 0 is how hosts learn where the list ends.
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text); // [ui]
    virtual bool beginSetProgram() { return false; }                                   // [ui]
    virtual bool endSetProgram() { return false; }                                     // [ui]
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }          // [ui]
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }       // [ui]

    // ---- Identity and capabilities ----
    // Text getters receive a zeroed scratch buffer of kTextScratchSize bytes.
    virtual bool getEffectName(char* /*name*/) { return false; }    // [any]
    virtual bool getVendorString(char* /*text*/) { return false; }  // [any]
    virtual bool getProductString(char* /*text*/) { return false; } // [any]
    virtual VstInt32 getVendorVersion() { return 0; }               // [any]
    virtual VstIntPtr vendorSpecific(VstInt32 /*index*/, VstIntPtr /*value*/, void* /*ptr*/,
                                     float /*opt*/)
    {
        return 0;
    } // [any]
    // 1 yes, -1 no, 0 don't know. `text` is non-null and terminated.
    virtual VstInt32 canDo(const char* /*text*/) { return kVstCanDoUnknown; } // [any]
    virtual VstPlugCategory getPlugCategory();                                // [any]
    virtual VstInt32 getVstVersion() { return kVstVersion; }                  // [any]
    // Samples of tail; 0 means the host's default, 1 no tail.
    virtual VstInt32 getGetTailSize() { return 0; } // [any]

    // ---- Audio configuration ----
    // `index` is already checked against numInputs/numOutputs.
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);  // [any]
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties); // [any]
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/)
    {
        return false;
    } // [ui]
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** /*input*/,
                                       VstSpeakerArrangement** /*output*/)
    {
        return false;
    }                                                                           // [ui]
    virtual bool setBypass(bool /*onOff*/) { return false; }                    // [any]
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }  // [ui]
    virtual VstInt32 startProcess() { return 0; }                               // [ui]
    virtual VstInt32 stopProcess() { return 0; }                                // [ui]
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }  // [ui]
    virtual bool setPanLaw(VstInt32 /*type*/, float /*gain*/) { return false; } // [ui]
    virtual VstInt32 getNumMidiInputChannels() { return 0; }                    // [any]
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }                   // [any]
    virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }           // [ui]

    // ---- Editor extras ----
    // A key pressed or released while the editor has focus; true if it was used.
    virtual bool editorKeyDown(VstInt32 /*character*/, VstInt32 /*virtualKey*/,
                               VstInt32 /*modifiers*/)
    {
        return false;
    } // [ui]
    virtual bool editorKeyUp(VstInt32 /*character*/, VstInt32 /*virtualKey*/,
                             VstInt32 /*modifiers*/)
    {
        return false;
    } // [ui]
    // 0 circular, 1 relative circular, 2 linear.
    virtual bool setEditKnobMode(VstInt32 /*mode*/) { return false; } // [ui]

    // ---- AEffect set-up ----
    void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
    void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }
    void canDoubleReplacing(bool state = true) { setFlag(effFlagsCanDoubleReplacing, state); }

    // ---- Host callback ----
    // The host's transport record for the bits in `filter` (VstTimeInfoFlags), or null. The record
    // belongs to the host and is meant to be read during the current block only.
    VstTimeInfo* getTimeInfo(VstInt32 filter); // [audio]
    // Pin connection as the host reports it; without a host a pin counts as connected.
    bool isInputConnected(VstInt32 input);   // [ui]
    bool isOutputConnected(VstInt32 output); // [ui]
    // Announces that the plug-in takes MIDI (2.0-era hosts rely on it).
    void wantEvents(VstInt32 filter = 1);             // [ui]
    bool sendVstEventsToHost(VstEvents* events);      // [audio]
    bool ioChanged();                                 // [ui]
    bool sizeWindow(VstInt32 width, VstInt32 height); // [ui]
    bool updateDisplay();                             // [ui]
    VstInt32 getCurrentProcessLevel();                // [any]
    VstInt32 getAutomationState();                    // [any]
    VstInt32 getHostLanguage();                       // [any]
    // 1 yes, -1 no, 0 don't know.
    VstInt32 canHostDo(const char* text);  // [any]
    bool getHostVendorString(char* text);  // [any] text holds kVstMaxVendorStrLen + 1
    bool getHostProductString(char* text); // [any] text holds kVstMaxProductStrLen + 1
    VstInt32 getHostVendorVersion();       // [any]
    // The host's HostQuirk bits, asked of the host at the first need and kept for the
    // instance's life.
    uint32_t getHostQuirks(); // [ui]

private:
    static constexpr uint32_t kHostQuirksKnown = 1u << 31;
    std::atomic<uint32_t> hostQuirks{0}; // kHostQuirksKnown once asked
    VstIntPtr answerPinProperties(VstInt32 opcode, VstInt32 index, void* ptr); // [any]
};
