#pragma once

// The plug-in's 93 parameters on top of the generic manager, with the per-index rules for
// storing, converting, modulating and showing them.

#include "params/Morvek2Params.h"
#include "params/zk_paramManager.h"

#include <atomic>
#include <string>
#include <vector>

class Morvek2ParameterManager : public zk_paramManager
{
public:
    static constexpr int kNumParams = morvek2::param::kNumParams;
    // getValueList index standing for the step-size names shared by all modules.
    static constexpr int kStepSizeListIndex = morvek2::param::kStepSizeList;

    Morvek2ParameterManager();
    ~Morvek2ParameterManager() override;
    void setValue(int index, float value) override;                       // [any]
    void setWorkingValue(int index, float value) override;                // [any]
    float getEngineValue(int index) override;                             // [any]
    float getModulatedValue(int index, float stepValue) override;         // [audio]
    void getDisplay(int index, char* buffer, int length) override;        // [any]
    float workingToNormalised(int index, float workingValue) override;    // [any]
    float normalisedToWorking(int index, float normalisedValue) override; // [any]
    virtual std::vector<std::string> getValueList(int index);             // [ui] allocates

    // Length of one beat in Delay mode (the processing loop writes 60000 / tempo), or the
    // delay range in ms in Chorus (50) and Flange (10) mode. Follows the mode read now, so a
    // beat length written by the loop while another thread switches the mode is never taken
    // for the Chorus or Flange range.
    float getDelayTimeBase(); // [any]
    // The beat length of Delay mode. Ignores values that are not a positive finite length
    // (e.g. 60000 / tempo at tempo 0), keeping the last usable one.
    void setDelayTimeBase(float ms) // [audio]
    {
        if (ms > 0.0f && ms <= 3.0e38f && ms != beatLength.load(std::memory_order_relaxed)) {
            beatLength.store(ms, std::memory_order_relaxed);
            noteChange();
        }
    }

    // Length of one step of each step-size position, in 1/64 notes.
    static const float kStepLengths64[10];

private:
    void applyDelayMode(); // [any]

    // The Delay mode base; the Chorus and Flange bases are constants.
    std::atomic<float> beatLength{2000.0f};
};
