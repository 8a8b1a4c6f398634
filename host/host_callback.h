// The host side of the VST 2.4 callback: configurable answers, a thread-safe log of what the
// plug-in asked for, and the routing of callback calls to the right instance.
#pragma once

#include "host/transport.h"
#include "vst/vst2_abi.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvek2::host {

// What the host answers. Change it before the plug-in is created (the entry point already asks
// for the version) or between calls; it is not guarded against concurrent changes.
struct HostConfig
{
    // audioMasterVersion. 0 is what a very old or broken host answers; plug-ins then refuse to
    // load.
    VstIntPtr version = kVstVersion;
    // audioMasterPinConnected: pins 0 .. n-1 answer "connected" (0), all others 1.
    int32_t connectedInputs = 2;
    int32_t connectedOutputs = 2;
    // false: audioMasterGetTime answers null, as scanners and some offline hosts do.
    bool provideTimeInfo = true;
    // audioMasterCanDo answers by exact string; strings not listed get `canDoDefault`
    // (1 yes, -1 no, 0 don't know).
    std::map<std::string, VstIntPtr, std::less<>> canDo = {
        {"sendVstEvents", kVstCanDoYes},   {"sendVstMidiEvent", kVstCanDoYes},
        {"sendVstTimeInfo", kVstCanDoYes}, {"startStopProcess", kVstCanDoNo},
        {"sizeWindow", kVstCanDoNo},       {"acceptIOChanges", kVstCanDoNo},
    };
    VstIntPtr canDoDefault = kVstCanDoUnknown;
    // audioMasterGetCurrentProcessLevel; -1: realtime (2) inside a process call, user (1)
    // elsewhere.
    int32_t processLevel = -1;
    int32_t automationState = kVstAutomationOff;
    VstIntPtr currentId = 0; // audioMasterCurrentId
    std::string vendor = "Morvek2 project";
    std::string product = "morvek2 host";
    VstIntPtr vendorVersion = 1;

    // Called for every audioMasterAutomate after it is logged, on the plug-in's calling thread
    // (possibly the audio thread). A test may call back into the plug-in from here to imitate a
    // re-entrant host.
    std::function<void(AEffect* effect, int32_t index, float value)> onAutomate;
    // Called with the filled time record before audioMasterGetTime returns it, so a test can
    // imitate hosts that report odd or garbage fields. Runs on the plug-in's process thread.
    std::function<void(VstTimeInfo& info)> editTimeInfo;
    // Called first for every request the plug-in makes, on its calling thread, before the host
    // answers; a test may call back into the plug-in from here (hosts that ask for the program
    // or a parameter from inside any callback).
    std::function<void(AEffect* effect, int32_t opcode)> onRequest;
};

// One request from the plug-in. `text` holds the string argument of audioMasterCanDo.
struct HostRequest
{
    int32_t opcode = 0;
    int32_t index = 0;
    VstIntPtr value = 0;
    float opt = 0.0f;
    char text[44] = {};
};

// Everything the plug-in asked for, recorded without locks and without allocating, so it may be
// written from any thread, the audio thread included. Every request is counted; all but the
// per-block ones (audioMasterGetTime, audioMasterGetCurrentProcessLevel, audioMasterIdle) are
// also kept in order, up to the capacity; later ones are only counted (see dropped()).
class HostLog
{
public:
    explicit HostLog(std::size_t capacity = 16384);

    void record(const HostRequest& request); // [any]
    void countOnly(int32_t opcode);          // [any]
    void setLastTimeMask(VstIntPtr mask) { lastTimeMask_.store(mask, std::memory_order_relaxed); }

    // Snapshots, in the order the requests arrived. Safe while the plug-in keeps calling.
    std::vector<HostRequest> requests() const;                  // [any]
    std::vector<HostRequest> requests(int32_t opcode) const;    // [any] only this opcode
    std::vector<std::pair<int32_t, float>> automations() const; // [any] (index, value)
    uint64_t count(int32_t opcode) const;                       // [any] every request so far
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    // The filter mask of the last audioMasterGetTime (-1 before the first).
    VstIntPtr lastTimeMask() const { return lastTimeMask_.load(std::memory_order_relaxed); }

    // Forgets everything. Only while no plug-in call is running.
    void clear(); // [ui]

private:
    struct Slot
    {
        std::atomic<bool> ready{false};
        HostRequest request;
    };
    static constexpr int32_t kCountedOpcodes = 64;

    std::size_t capacity_;
    std::unique_ptr<Slot[]> slots_;
    std::atomic<std::size_t> next_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<VstIntPtr> lastTimeMask_{-1};
    std::array<std::atomic<uint64_t>, kCountedOpcodes + 1> counts_{}; // last: other opcodes
};

// The host as one plug-in instance sees it: its answers, its log, its transport and the time
// record it hands out. Several instances each have their own Host; the static callback finds
// the right one from the AEffect pointer.
class Host
{
public:
    explicit Host(HostConfig config = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HostConfig& config() { return config_; }
    HostLog& log() { return log_; }
    const HostLog& log() const { return log_; }
    Transport& transport() { return transport_; }

    // Answers to audioMasterGetSampleRate / audioMasterGetBlockSize; the Plugin keeps them in
    // step with what it told the plug-in.
    void setSampleRate(float rate);
    void setBlockSize(int32_t frames) { blockSize_.store(frames, std::memory_order_relaxed); }
    // Directory answered to audioMasterGetDirectory.
    void setPluginDirectory(std::string directory) { directory_ = std::move(directory); }
    // Set while a process call runs, for audioMasterGetCurrentProcessLevel.
    void setInProcess(bool inProcess) { inProcess_.store(inProcess, std::memory_order_relaxed); }

    // The answer to one request, logged. [any]
    VstIntPtr answer(AEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr,
                     float opt);

    // The callback handed to plug-ins. Calls carrying a registered AEffect go to its Host;
    // calls before the AEffect exists (audioMasterVersion from the entry point) go to the Host
    // being created on this thread (see Creation); anything else is unrouted and answers 0.
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);

    // Routes calls with `effect` to this Host until detach(). False when too many instances
    // are attached at once.
    bool attach(AEffect* effect);
    void detach();

    // Marks this Host as the one being created on the calling thread while it lives, so the
    // entry point's calls reach it before the AEffect is known.
    class Creation
    {
    public:
        explicit Creation(Host& host);
        ~Creation();
        Creation(const Creation&) = delete;
        Creation& operator=(const Creation&) = delete;

    private:
        Host* previous_;
    };

    // Calls that could not be routed to any Host (for example after effClose), all instances.
    static uint64_t unroutedCalls();

private:
    HostConfig config_;
    HostLog log_;
    Transport transport_;
    VstTimeInfo timeInfo_{};
    std::string directory_;
    std::atomic<float> sampleRate_{44100.0f};
    std::atomic<int32_t> blockSize_{1024};
    std::atomic<bool> inProcess_{false};
    AEffect* attached_ = nullptr;
};

} // namespace morvek2::host
