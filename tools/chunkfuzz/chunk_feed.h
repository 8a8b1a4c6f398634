#pragma once

// One fuzz input turned into a state chunk for Morvek2::setChunk, followed by processing: shared
// by the libFuzzer target (tools/chunkfuzz) and the fixed-corpus test in the normal suite.
//
// Input layout: byte 0 chooses what to build, the rest is payload.
//   bit 0     program chunk (1) or bank chunk (0)
//   bits 1-2  0: the payload is laid over a valid chunk taken from the plug-in, starting at the
//                offset in bytes 1-3, so most of the chunk stays well-formed and the damage
//                lands in fields the plug-in must mend;
//             1: the payload is the chunk, repeated or cut to the exact size;
//             2: the payload is the chunk as it is, whatever its size;
//             3: like 1, but one byte short.
//   bits 3-7  the program made current first (modulo 40)

#include "vst2/Morvek2.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace chunkfeed {

inline VstTimeInfo& timeInfo()
{
    static VstTimeInfo info = [] {
        VstTimeInfo t{};
        t.sampleRate = 44100.0;
        t.tempo = 133.0;
        t.timeSigNumerator = 4;
        t.timeSigDenominator = 4;
        t.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
        return t;
    }();
    return info;
}

inline VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    if (opcode == audioMasterVersion) {
        return kVstVersion;
    }
    if (opcode == audioMasterGetTime) {
        return reinterpret_cast<VstIntPtr>(&timeInfo());
    }
    return 0;
}

// What must hold after any chunk: answers false when something the audio thread reads is out
// of range or the output is not finite.
inline bool feed(Morvek2& plugin, const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return true;
    }
    const std::uint8_t mode = data[0];
    const bool preset = (mode & 1) != 0;
    const int build = (mode >> 1) & 3;
    plugin.setProgram((mode >> 3) % 40);
    const std::size_t exact = preset ? sizeof(ProgramRecord) : sizeof(ProgramBank);
    const std::uint8_t* payload = data + 1;
    const std::size_t payloadSize = size - 1;

    std::vector<std::uint8_t> chunk;
    if (build == 0) {
        void* own = nullptr;
        const VstInt32 n = plugin.getChunk(&own, preset);
        chunk.assign(static_cast<const std::uint8_t*>(own),
                     static_cast<const std::uint8_t*>(own) + n);
        std::size_t offset = 0;
        std::size_t used = 0;
        if (payloadSize >= 3) {
            offset = (payload[0] | payload[1] << 8 | payload[2] << 16) % exact;
            used = 3;
        }
        for (std::size_t i = used; i < payloadSize && offset + i - used < chunk.size(); ++i) {
            chunk[offset + i - used] = payload[i];
        }
    } else if (build == 2) {
        chunk.assign(payload, payload + payloadSize);
    } else {
        chunk.resize(build == 3 ? exact - 1 : exact);
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = payloadSize ? payload[i % payloadSize] : 0;
        }
    }
    const VstInt32 answer = plugin.setChunk(chunk.empty() ? nullptr : chunk.data(),
                                            static_cast<VstInt32>(chunk.size()), preset);
    if (answer != (chunk.size() == exact ? 1 : 0)) {
        return false;
    }

    // Everything the processing reads by index must be in range now.
    unsigned seen = 0;
    for (int i = 0; i < Morvek2::kNumModules; ++i) {
        const SeqLane& lane = plugin.getLane(i);
        if (lane.length < 1 || lane.length > 32 || lane.position < 0 ||
            lane.position >= lane.length || lane.stepSize < 0 || lane.stepSize > 9 ||
            lane.direction < 0 || lane.direction > 2) {
            return false;
        }
        const int slot = plugin.getChainSlot(i);
        if (slot < 0 || slot >= Morvek2::kNumModules) {
            return false;
        }
        seen |= 1u << slot;
    }
    if (seen != 63u) {
        return false;
    }
    for (int k = 0; k < 40; ++k) {
        const ProgramRecord& r = plugin.getProgramRecord(k);
        if (std::memchr(r.name, 0, sizeof r.name) == nullptr) {
            return false;
        }
        for (float v : r.values) {
            if (!(v >= 0.0f && v <= 1.0f)) {
                return false;
            }
        }
    }

    // A few blocks of a loud signal with the transport running.
    constexpr int kFrames = 512;
    float left[kFrames];
    float right[kFrames];
    for (int block = 0; block < 4; ++block) {
        for (int i = 0; i < kFrames; ++i) {
            left[i] = ((i * 37 + block * 11) % 101) / 50.0f - 1.0f;
            right[i] = -left[i];
        }
        float* io[2] = {left, right};
        plugin.processReplacing(io, io, kFrames);
        timeInfo().ppqPos += kFrames * timeInfo().tempo / 60.0 / 44100.0;
        for (int i = 0; i < kFrames; ++i) {
            if (!std::isfinite(left[i]) || !std::isfinite(right[i])) {
                return false;
            }
        }
    }
    return true;
}

} // namespace chunkfeed
