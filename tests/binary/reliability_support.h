// Shared pieces of the reliability tests: test signals, a program with moving lanes written
// through the program chunk, and checks on rendered audio.
#pragma once

#include "binary/module_under_test.h"
#include "params/Morvek2Params.h"
#include "plugin/ProgramRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace reliability {

using morvek2::host::AudioChannels;
using morvek2::host::Plugin;
using namespace morvek2::param;

// Sanitizer builds run several times slower: the long renders are cut short there.
#ifdef MORVEK2_SANITIZED_BUILD
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
constexpr int32_t kNumPrograms = 40;

inline AudioChannels noise(std::size_t frames, uint32_t seed, float amplitude = 0.5f)
{
    AudioChannels in(2, std::vector<float>(frames));
    for (auto& channel : in) {
        for (float& s : channel) {
            seed = seed * 1664525u + 1013904223u;
            s = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
        }
    }
    return in;
}

inline AudioChannels constant(std::size_t frames, float value)
{
    return AudioChannels(2, std::vector<float>(frames, value));
}

// Full scale, +1 and -1 in turn, `period` frames long.
inline AudioChannels square(std::size_t frames, std::size_t period)
{
    AudioChannels in(2, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        in[0][i] = in[1][i] = (i % period) < period / 2 ? 1.0f : -1.0f;
    }
    return in;
}

inline AudioChannels impulse(std::size_t frames, std::size_t at = 0)
{
    AudioChannels in(2, std::vector<float>(frames, 0.0f));
    in[0][at] = in[1][at] = 1.0f;
    return in;
}

inline ProgramRecord readProgram(Plugin& plugin)
{
    ProgramRecord record{};
    const std::vector<uint8_t> chunk = plugin.getChunk(true);
    EXPECT_EQ(chunk.size(), sizeof(ProgramRecord));
    if (chunk.size() == sizeof(ProgramRecord)) {
        std::memcpy(&record, chunk.data(), sizeof record);
    }
    return record;
}

inline void writeProgram(Plugin& plugin, const ProgramRecord& record)
{
    std::vector<uint8_t> chunk(sizeof record);
    std::memcpy(chunk.data(), &record, sizeof record);
    plugin.setChunk(true, chunk);
}

// Every lane short and moving, with values and gates, a reset each measure, and the delay,
// fuzz and shifter audible: a program in which every part of the loop is at work.
inline void makeLanesMove(Plugin& plugin)
{
    ProgramRecord record = readProgram(plugin);
    const int16_t sizes[6] = {4, 2, 3, 5, 0, 9};
    for (int m = 0; m < 6; ++m) {
        SeqLane& lane = record.lanes[m];
        lane.length = static_cast<int16_t>(3 + m);
        lane.position = 0;
        lane.direction = m == 3 ? 1 : 0;
        lane.stepSize = sizes[m];
        for (int s = 0; s < 32; ++s) {
            lane.steps[s].value = static_cast<float>((s * 5 + m) % 9) / 8.0f;
            lane.steps[s].gate = (s + m) % 3 != 0;
        }
        // The lane parameters hold the lanes' own settings, a third of a position above each.
        record.values[kStepSizeParam[m]] = (sizes[m] + 0.3f) / 9.0f;
        record.values[kLengthParam[m]] = (3.0f + m - 1.0f + 0.3f) / 31.0f;
        record.values[kDirectionParam[m]] = m == 3 ? 0.5f : 0.0f;
    }
    record.values[kResetInterval] = 1.3f / 4.0f; // one measure
    record.values[32] = 0.7f;                    // fuzz
    record.values[kDelayFeedback] = 0.5f;
    record.values[kDelaySend] = 0.5f;
    record.values[63] = 0.5f; // shift mix
    record.values[kActive] = 1.0f;
    writeProgram(plugin, record);
}

// A host that knows its sample position exactly and reports ppq from it.
inline morvek2::host::HostConfig exactHost(double tempo)
{
    morvek2::host::HostConfig config;
    config.editTimeInfo = [tempo](VstTimeInfo& info) {
        info.ppqPos = info.samplePos * tempo / 60.0 / info.sampleRate;
    };
    return config;
}

// The first sample that is NaN or infinite, as "channel c frame i", or empty.
inline std::string firstNonFinite(const AudioChannels& audio)
{
    for (std::size_t c = 0; c < audio.size(); ++c) {
        for (std::size_t i = 0; i < audio[c].size(); ++i) {
            if (!std::isfinite(audio[c][i])) {
                return "channel " + std::to_string(c) + " frame " + std::to_string(i) + " is " +
                       std::to_string(audio[c][i]);
            }
        }
    }
    return {};
}

inline float peak(const AudioChannels& audio, std::size_t from = 0)
{
    float p = 0.0f;
    for (const auto& channel : audio) {
        for (std::size_t i = from; i < channel.size(); ++i) {
            p = std::fmax(p, std::fabs(channel[i]));
        }
    }
    return p;
}

inline std::size_t countSubnormal(const AudioChannels& audio, std::size_t from = 0)
{
    std::size_t n = 0;
    for (const auto& channel : audio) {
        for (std::size_t i = from; i < channel.size(); ++i) {
            n += std::fpclassify(channel[i]) == FP_SUBNORMAL ? 1 : 0;
        }
    }
    return n;
}

} // namespace reliability
