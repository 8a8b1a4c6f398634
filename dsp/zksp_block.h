#pragma once

#include <atomic>

// Common base of every signal-processing object: a sample rate and a per-sample
// operation. A block is built for 44100 Hz and runs at that rate until its owner calls
// setSampleRate. Blocks are not shared between channels and take no locks. The rate is applied
// where the block runs, while setters on other threads may compute from it (a smoother's time),
// so the three rate values are relaxed atomics: a plain load and store where the block uses them.
class zksp_block
{
public:
    zksp_block() = default;
    virtual ~zksp_block() = default;
    // Blocks stay copyable values: a copy takes the rate the original runs at.
    zksp_block(const zksp_block& other)
        : sampleRate(other.getSampleRate()), samplePeriod(other.getSamplePeriod()),
          samplesPerMs(other.getSamplesPerMs())
    {}
    zksp_block& operator=(const zksp_block& other)
    {
        sampleRate.store(other.getSampleRate(), std::memory_order_relaxed);
        samplePeriod.store(other.getSamplePeriod(), std::memory_order_relaxed);
        samplesPerMs.store(other.getSamplesPerMs(), std::memory_order_relaxed);
        return *this;
    }

    // Clears the processing state (delay memories, filter states); the base has none.
    virtual void reset() {} // [ui] while suspended, or [audio]

    // Stores the rate, its period and the samples per millisecond; derived blocks add
    // their own recomputation on top.
    virtual void setSampleRate(float rate); // [ui] while suspended, or [audio]

    // One sample in, one sample out; the base passes the sample through.
    virtual float process(float x) { return x; } // [audio]

    // out[i] := process(in[i]) through the virtual process; count <= 0 does nothing.
    virtual void processBlock(const float* in, float* out, int count); // [audio]

    // Only the biquads give this a meaning.
    virtual void setBypass(bool on) { (void)on; } // [audio]

    float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }     // [any]
    float getSamplePeriod() const { return samplePeriod.load(std::memory_order_relaxed); } // [any]
    float getSamplesPerMs() const { return samplesPerMs.load(std::memory_order_relaxed); } // [any]

private:
    std::atomic<float> sampleRate{44100.0f};
    std::atomic<float> samplePeriod{1.0f / 44100.0f};
    std::atomic<float> samplesPerMs{44100.0f * 0.001f};
};
