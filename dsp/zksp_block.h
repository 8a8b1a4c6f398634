#pragma once

// Common base of every signal-processing object: a sample rate and a per-sample
// operation. A block is built for 44100 Hz and runs at that rate until its owner calls
// setSampleRate. Blocks are not shared between channels and take no locks.
class zksp_block
{
public:
    zksp_block() = default;
    virtual ~zksp_block() = default;

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

    float getSampleRate() const { return sampleRate; }     // [any]
    float getSamplePeriod() const { return samplePeriod; } // [any]
    float getSamplesPerMs() const { return samplesPerMs; } // [any]

protected:
    float sampleRate = 44100.0f;
    float samplePeriod = 1.0f / 44100.0f;
    float samplesPerMs = 44100.0f * 0.001f;
};
