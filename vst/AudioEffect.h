// Base class of a VST 2.4 plug-in object: owns the AEffect record handed to the host, turns the
// host's dispatcher calls into virtual operations with safe defaults, and wraps the host callback.
//
// Every host entry (dispatcher, process, setParameter, getParameter) goes through guards here, so a
// derived class only sees indices inside its declared ranges, non-null buffers and terminated
// texts.
#pragma once

#include "vst/vst2_abi.h"

#include <atomic>

class AEffEditor;

class AudioEffect
{
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // The record the entry point returns to the host.
    AEffect* getAeffect() { return &cEffect; } // [any]

    // Host -> plug-in. Guards the arguments and forwards to the virtual operations below. effClose
    // deletes the object; nothing may touch it after that call returns.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt); // [any]

    // ---- Lifecycle ----
    virtual void open() {}                                                              // [ui]
    virtual void close() {}                                                             // [ui]
    virtual void suspend() {}                                                           // [ui]
    virtual void resume() {}                                                            // [ui]
    virtual void setSampleRate(float sampleRate);                                       // [ui]
    virtual void setBlockSize(VstInt32 blockSize);                                      // [ui]
    float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }  // [any]
    VstInt32 getBlockSize() const { return blockSize.load(std::memory_order_relaxed); } // [any]

    // ---- Audio ----
    // Outputs are overwritten. The host-facing wrapper has already replaced missing channel
    // buffers, so every pointer is valid for sampleFrames > 0 samples.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // Default: silence, since double precision is not announced unless a subclass says so.
    virtual void processDoubleReplacing(double** inputs, double** outputs,
                                        VstInt32 sampleFrames); // [audio]

    // ---- Parameters (index already checked against numParams, value finite and in 0..1) ----
    virtual void setParameter(VstInt32 index, float value); // [any]
    virtual float getParameter(VstInt32 index);             // [any]
    // setParameter, then tells the host so it can record the change.
    virtual void setParameterAutomated(VstInt32 index, float value); // [any]
    // Bracket a user gesture on one parameter.
    virtual bool beginEdit(VstInt32 index); // [ui]
    virtual bool endEdit(VstInt32 index);   // [ui]

    // Text getters receive a zeroed scratch buffer of kTextScratchSize bytes; the dispatcher copies
    // the result to the host within the interface's length limit and always terminates it.
    virtual void getParameterLabel(VstInt32 /*index*/, char* /*label*/) {}  // [any]
    virtual void getParameterDisplay(VstInt32 /*index*/, char* /*text*/) {} // [any]
    virtual void getParameterName(VstInt32 /*index*/, char* /*text*/) {}    // [any]

    // ---- Programs (program number already checked against numPrograms) ----
    virtual void setProgram(VstInt32 program);           // [ui]
    virtual VstInt32 getProgram();                       // [any]
    virtual void setProgramName(const char* /*name*/) {} // [ui]
    virtual void getProgramName(char* /*name*/) {}       // [ui]

    // ---- State ----
    // Sets *data to memory owned by the plug-in that stays valid until the next getChunk or the
    // object's end; answers the size in bytes (0: no chunk).
    virtual VstInt32 getChunk(void** data, bool isPreset); // [ui]
    // Answers non-zero when the data were taken.
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset); // [ui]

    // ---- Editor ----
    // Takes ownership; a previous different editor is deleted. Sets or clears effFlagsHasEditor.
    void setEditor(AEffEditor* newEditor);           // [ui]
    AEffEditor* getEditor() const { return editor; } // [any]
    // Called by an editor's destructor so that an editor deleted by someone else is not deleted
    // again here.
    void editorDestroyed(AEffEditor* dying); // [ui]

    // ---- AEffect set-up, for constructors ----
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    void setVersion(VstInt32 version) { cEffect.version = version; }
    void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    void hasEditor(bool state) { setFlag(effFlagsHasEditor, state); }

    VstInt32 getNumPrograms() const { return cEffect.numPrograms; } // [any]
    VstInt32 getNumParams() const { return cEffect.numParams; }     // [any]

    // ---- Host callback ----
    // Version of the host's interface; 0 when there is no callback or the host does not answer.
    VstInt32 getMasterVersion();                                       // [any]
    VstInt32 getCurrentUniqueId();                                     // [ui]
    void masterIdle();                                                 // [ui]
    audioMasterCallback getAudioMaster() const { return audioMaster; } // [any]

    // Size of the scratch buffer handed to the text getters.
    static constexpr int kTextScratchSize = 256;
    // Frames per pass and channels that the process wrappers can stand in for.
    static constexpr VstInt32 kScratchFrames = 256;
    static constexpr VstInt32 kMaxScratchChannels = 8;

    // Brings a host-supplied normalised value into 0..1; false for NaN (the value is dropped).
    static bool sanitizeNormalised(float& value);

protected:
    // Calls the host; 0 when there is no callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f); // [any]
    void setFlag(VstInt32 flag, bool state);

    bool isParameterIndex(VstInt32 index) const { return index >= 0 && index < cEffect.numParams; }
    bool isProgramIndex(VstIntPtr program) const
    {
        return program >= 0 && program < cEffect.numPrograms;
    }

    AEffect cEffect{};
    audioMasterCallback audioMaster = nullptr;
    AEffEditor* editor = nullptr;
    std::atomic<float> sampleRate{44100.0f};
    std::atomic<VstInt32> blockSize{1024};
    std::atomic<VstInt32> curProgram{0};

private:
    // Host-facing wrappers stored in the AEffect record.
    static VstIntPtr VSTCALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* ptr, float opt);
    static void VSTCALLBACK processEntry(AEffect* e, float** inputs, float** outputs,
                                         VstInt32 sampleFrames);
    static void VSTCALLBACK processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                                  VstInt32 sampleFrames);
    static void VSTCALLBACK processDoubleReplacingEntry(AEffect* e, double** inputs,
                                                        double** outputs, VstInt32 sampleFrames);
    static void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value);
    static float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index);

    // Runs processReplacing in passes of kScratchFrames, standing in for missing channel buffers;
    // with `accumulate` the result is added to the host's outputs instead of replacing them.
    void processThroughScratch(float** inputs, float** outputs, VstInt32 sampleFrames,
                               bool accumulate);          // [audio]
    VstIntPtr dispatchEditor(VstInt32 opcode, void* ptr); // [ui]

    // The rectangle handed to the host lives here, so the pointer outlives the call.
    ERect editorRect{};
    float scratchSilence[kScratchFrames]{};
    float scratchOutputs[kMaxScratchChannels][kScratchFrames]{};
};

// Copies at most maxChars characters of src into dst and terminates it (dst holds maxChars + 1).
void vstCopyString(char* dst, const char* src, int maxChars);
