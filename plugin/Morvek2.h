// The plug-in object as the host sees it: identity, capabilities, the host requests it answers
// itself, and the parts it owns for its whole life.
#pragma once

#include "dsp/zksp_smoother.h"
#include "params/Morvek2ParameterManager.h"
#include "sequencer/seq_lane.h"
#include "vst/AudioEffectX.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class Morvek2 : public AudioEffectX
{
public:
    static constexpr VstInt32 kNumPrograms = 40;
    static constexpr VstInt32 kNumParams = Morvek2ParameterManager::kNumParams;
    static constexpr VstInt32 kNumInputs = 2;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr int kNumModules = 6;
    static constexpr VstInt32 kUniqueID = vstFourCharCode('Z', 'K', 'm', '2');
    static constexpr VstInt32 kVersion = 1;
    static constexpr VstInt32 kVendorVersion = 1200;
    static constexpr float kDefaultSampleRate = 44100.0f;
    static constexpr VstInt32 kDefaultBlockSize = 1024;
    // Control-rate smoothers update once every this many samples.
    static constexpr int kControlInterval = 32;

    // Module numbers: index of engines, lanes, smoothers, enable factors and the chain order.
    enum Module : int { kVCA = 0, kFilter = 1, kDistort = 2, kDelay = 3, kShift = 4, kBits = 5 };

    explicit Morvek2(audioMasterCallback audioMaster);
    ~Morvek2() override;

    // ---- Host face ----
    void resume() override;                        // [ui]
    void setSampleRate(float sampleRate) override; // [ui] while suspended
    void processReplacing(float** inputs, float** outputs,
                          VstInt32 sampleFrames) override; // [audio]

    void setParameter(VstInt32 index, float value) override; // [any]
    float getParameter(VstInt32 index) override;             // [any]

    void getProgramName(char* name) override;                                           // [ui]
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override; // [ui]

    void getParameterLabel(VstInt32 index, char* label) override;  // [any]
    void getParameterDisplay(VstInt32 index, char* text) override; // [any]
    void getParameterName(VstInt32 index, char* text) override;    // [any]
    bool canParameterBeAutomated(VstInt32 index) override;         // [any]

    VstInt32 processEvents(VstEvents* events) override; // [audio]

    bool getEffectName(char* name) override;    // [any]
    bool getVendorString(char* text) override;  // [any]
    bool getProductString(char* text) override; // [any]
    VstInt32 getVendorVersion() override;       // [any]
    VstInt32 canDo(const char* text) override;  // [any]
    VstPlugCategory getPlugCategory() override; // [any]

    // ---- For the other parts of the plug-in ----
    Morvek2ParameterManager& getParameterManager() { return *params; } // [any]
    float getSampleRateReciprocal() const
    {
        return sampleRateReciprocal.load(std::memory_order_relaxed);
    } // [any]
    // 2 = stereo; 1 = only the first pin is connected (fixed at each resume).
    int getInputMode() const { return inputMode.load(std::memory_order_relaxed); }   // [any]
    int getOutputMode() const { return outputMode.load(std::memory_order_relaxed); } // [any]
    int getChainSlot(int position) const;    // [any] module number at chain position 0..5
    float getEnableFactor(int module) const; // [any]
    int getSoloIndex() const { return soloIndex.load(std::memory_order_relaxed); } // [any]
    SeqLane& getLane(int module) { return lanes[clampModule(module)]; }            // [any]

    // One-byte flags raised by the audio thread and polled by the editor's idle.
    std::atomic<std::uint8_t> stepMoved{0};
    std::atomic<std::uint8_t> lanesRandomised{0};

protected:
    static int clampModule(int module)
    {
        return (module >= 0 && module < kNumModules) ? module : 0;
    }

    std::array<std::atomic<std::uint16_t>, kNumModules> chainOrder{};
    std::array<SeqLane, kNumModules> lanes{};
    std::array<zksp_smoother, kNumModules> valueSmoothers{};
    std::array<zksp_smoother, kNumModules> gateSmoothers{};
    zksp_smoother outputGainSmoother;
    zksp_smoother activeSmoother;
    std::array<std::atomic<float>, kNumModules> enableFactors{};
    // Index of the Solo parameter that is on; 0 = none.
    std::atomic<int> soloIndex{0};

    std::atomic<float> sampleRateReciprocal{1.0f / kDefaultSampleRate};
    std::atomic<int> inputMode{2};
    std::atomic<int> outputMode{2};

    std::unique_ptr<Morvek2ParameterManager> params;
};
