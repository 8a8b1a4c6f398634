#pragma once

// Program records that put Morvek2 under load, for benchmarks and whole-module comparisons:
// every lane 32 steps long and moving every 1/64 note, and every module doing audible work.
// Applied to a loaded instance (a VST 2.4 Plugin or any Instance) through its program chunk, as
// a host restores a session.
#include "params/Morvek2Params.h"
#include "plugin/ProgramRecord.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace morvek2::host {

enum class Scene {
    Busy,        // every step's gate on
    GatesClosed, // every step's gate off
    Gliding,     // Busy with every lane smoothed and depth on every modulated parameter
};

// Sets the scene on `plugin` (a Plugin or an Instance), optionally with another chain order
// (module numbers, VCA 0 to Bits 5, first to last); false when the module's chunk is not a
// program record.
template <class Target>
bool applyScene(Target& plugin, Scene scene, const std::uint16_t* chainOrder = nullptr)
{
    std::vector<std::uint8_t> chunk = plugin.getChunk(true);
    if (chunk.size() != sizeof(ProgramRecord)) {
        return false;
    }
    ProgramRecord record;
    std::memcpy(&record, chunk.data(), sizeof record);
    for (int m = 0; m < 6; ++m) {
        SeqLane& lane = record.lanes[m];
        lane.length = 32;
        lane.position = 0;
        lane.direction = 0;
        lane.stepSize = 0; // 1/64: the lanes move as often as they can
        for (int s = 0; s < 32; ++s) {
            lane.steps[s].value = static_cast<float>((s * 7 + m) % 13) / 12.0f;
            lane.steps[s].gate = scene == Scene::GatesClosed ? 0 : 1;
        }
        record.values[morvek2::param::kStepSizeParam[m]] = 0.0f;
        record.values[morvek2::param::kLengthParam[m]] = 1.0f;
        if (chainOrder) {
            record.chainOrder[m] = chainOrder[m];
        }
    }
    // Every module doing audible work; Active on.
    const std::pair<int, float> settings[] = {
        {2, 1.0f},  {9, 0.8f},  {17, 0.5f}, {18, 0.7f}, {26, 0.8f}, {32, 0.6f}, {33, 0.5f},
        {39, 0.8f}, {47, 0.6f}, {48, 0.7f}, {56, 0.8f}, {60, 0.6f}, {62, 0.4f}, {63, 0.8f},
        {69, 0.9f}, {76, 0.5f}, {77, 0.5f}, {78, 0.3f}, {85, 0.8f}, {91, 0.5f}, {92, 1.0f},
    };
    for (auto [index, value] : settings) {
        record.values[index] = value;
    }
    if (scene == Scene::Gliding) {
        // Every lane glides between its steps, and every parameter a lane can move is moved by
        // it, some up and some down (0.5 is no depth), so every control tick touches every
        // module's settings.
        for (int m = 0; m < 6; ++m) {
            record.values[morvek2::param::kSmoothingParam[m]] = 0.3f + 0.1f * static_cast<float>(m);
        }
        const std::pair<int, float> depths[] = {
            {9, 0.8f},  {10, 0.3f}, {11, 0.75f}, {12, 0.7f}, {13, 0.35f}, {26, 0.8f}, {27, 0.7f},
            {28, 0.8f}, {39, 0.8f}, {40, 0.3f},  {54, 0.7f}, {55, 0.75f}, {56, 0.8f}, {69, 0.9f},
            {70, 0.3f}, {71, 0.7f}, {72, 0.25f}, {84, 0.3f}, {85, 0.8f},  {86, 0.7f},
        };
        for (auto [index, value] : depths) {
            record.values[index] = value;
        }
    }
    std::memcpy(chunk.data(), &record, sizeof record);
    plugin.setChunk(true, chunk);
    return true;
}

} // namespace morvek2::host
