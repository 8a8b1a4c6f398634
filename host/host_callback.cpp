#include "host/host_callback.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace morvek2::host {

namespace {

// Instances that plug-ins may call back, found by their AEffect without a lock: the audio
// thread looks up its Host for every audioMasterGetTime. Registration takes a mutex.
constexpr std::size_t kMaxInstances = 1024;

struct Route
{
    std::atomic<AEffect*> effect{nullptr};
    std::atomic<Host*> host{nullptr};
};

Route g_routes[kMaxInstances];
std::atomic<std::size_t> g_routesUsed{0}; // slots at or above this index were never used
std::mutex g_routesMutex;
std::atomic<uint64_t> g_unrouted{0};

// The Host whose plug-in is being created: on this thread first, then on any thread (for
// plug-ins that call back from a helper thread during their entry point).
thread_local Host* t_creating = nullptr;
std::atomic<Host*> g_creating{nullptr};

Host* findHost(AEffect* effect)
{
    if (effect != nullptr) {
        const std::size_t used = g_routesUsed.load(std::memory_order_acquire);
        for (std::size_t i = 0; i < used; ++i) {
            if (g_routes[i].effect.load(std::memory_order_acquire) == effect) {
                if (Host* host = g_routes[i].host.load(std::memory_order_acquire)) {
                    return host;
                }
            }
        }
    }
    if (t_creating != nullptr) {
        return t_creating;
    }
    return g_creating.load(std::memory_order_acquire);
}

void copyText(char* destination, std::size_t capacity, std::string_view text)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(destination, text.data(), n);
    destination[n] = '\0';
}

} // namespace

// ---- HostLog ------------------------------------------------------------------------------------

HostLog::HostLog(std::size_t capacity)
    : capacity_(capacity), slots_(std::make_unique<Slot[]>(capacity))
{}

void HostLog::countOnly(int32_t opcode)
{
    const std::size_t i = opcode >= 0 && opcode < kCountedOpcodes ? static_cast<std::size_t>(opcode)
                                                                  : kCountedOpcodes;
    counts_[i].fetch_add(1, std::memory_order_relaxed);
}

void HostLog::record(const HostRequest& request)
{
    countOnly(request.opcode);
    const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= capacity_) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    slots_[i].request = request;
    // Release: a reader that sees `ready` also sees the request written before it.
    slots_[i].ready.store(true, std::memory_order_release);
}

std::vector<HostRequest> HostLog::requests() const
{
    std::vector<HostRequest> out;
    const std::size_t n = std::min(next_.load(std::memory_order_acquire), capacity_);
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (slots_[i].ready.load(std::memory_order_acquire)) {
            out.push_back(slots_[i].request);
        }
    }
    return out;
}

std::vector<HostRequest> HostLog::requests(int32_t opcode) const
{
    std::vector<HostRequest> all = requests();
    std::erase_if(all, [opcode](const HostRequest& r) { return r.opcode != opcode; });
    return all;
}

std::vector<std::pair<int32_t, float>> HostLog::automations() const
{
    std::vector<std::pair<int32_t, float>> out;
    for (const HostRequest& r : requests(audioMasterAutomate)) {
        out.emplace_back(r.index, r.opt);
    }
    return out;
}

uint64_t HostLog::count(int32_t opcode) const
{
    const std::size_t i = opcode >= 0 && opcode < kCountedOpcodes ? static_cast<std::size_t>(opcode)
                                                                  : kCountedOpcodes;
    return counts_[i].load(std::memory_order_relaxed);
}

void HostLog::clear()
{
    const std::size_t n = std::min(next_.load(std::memory_order_acquire), capacity_);
    for (std::size_t i = 0; i < n; ++i) {
        slots_[i].ready.store(false, std::memory_order_relaxed);
    }
    next_.store(0, std::memory_order_release);
    dropped_.store(0, std::memory_order_relaxed);
    lastTimeMask_.store(-1, std::memory_order_relaxed);
    for (auto& c : counts_) {
        c.store(0, std::memory_order_relaxed);
    }
}

// ---- Host ---------------------------------------------------------------------------------------

Host::Host(HostConfig config) : config_(std::move(config)) {}

Host::~Host()
{
    detach();
}

void Host::setSampleRate(float rate)
{
    sampleRate_.store(rate, std::memory_order_relaxed);
    transport_.setSampleRate(rate);
}

bool Host::attach(AEffect* effect)
{
    std::lock_guard<std::mutex> lock(g_routesMutex);
    if (attached_ != nullptr) {
        return attached_ == effect;
    }
    for (std::size_t i = 0; i < kMaxInstances; ++i) {
        Route& route = g_routes[i];
        if (route.effect.load(std::memory_order_relaxed) == nullptr) {
            route.host.store(this, std::memory_order_release);
            route.effect.store(effect, std::memory_order_release);
            if (i >= g_routesUsed.load(std::memory_order_relaxed)) {
                g_routesUsed.store(i + 1, std::memory_order_release);
            }
            attached_ = effect;
            return true;
        }
    }
    return false;
}

void Host::detach()
{
    std::lock_guard<std::mutex> lock(g_routesMutex);
    if (attached_ == nullptr) {
        return;
    }
    const std::size_t used = g_routesUsed.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < used; ++i) {
        Route& route = g_routes[i];
        if (route.host.load(std::memory_order_relaxed) == this) {
            route.effect.store(nullptr, std::memory_order_release);
            route.host.store(nullptr, std::memory_order_release);
        }
    }
    attached_ = nullptr;
}

Host::Creation::Creation(Host& host) : previous_(t_creating)
{
    t_creating = &host;
    g_creating.store(&host, std::memory_order_release);
}

Host::Creation::~Creation()
{
    t_creating = previous_;
    g_creating.store(previous_, std::memory_order_release);
}

uint64_t Host::unroutedCalls()
{
    return g_unrouted.load(std::memory_order_relaxed);
}

VstIntPtr VSTCALLBACK Host::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt)
{
    Host* host = findHost(effect);
    if (host == nullptr) {
        g_unrouted.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    return host->answer(effect, opcode, index, value, ptr, opt);
}

VstIntPtr Host::answer(AEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr,
                       float opt)
{
    if (config_.onRequest) {
        config_.onRequest(effect, opcode);
    }
    // The per-block requests are only counted, so that long renders do not fill the log.
    switch (opcode) {
    case audioMasterGetTime: {
        log_.countOnly(opcode);
        log_.setLastTimeMask(value);
        if (!config_.provideTimeInfo) {
            return 0;
        }
        transport_.fill(timeInfo_);
        if (config_.editTimeInfo) {
            config_.editTimeInfo(timeInfo_);
        }
        return reinterpret_cast<VstIntPtr>(&timeInfo_);
    }
    case audioMasterGetCurrentProcessLevel:
        log_.countOnly(opcode);
        if (config_.processLevel >= 0) {
            return config_.processLevel;
        }
        return inProcess_.load(std::memory_order_relaxed) ? kVstProcessLevelRealtime
                                                          : kVstProcessLevelUser;
    case audioMasterIdle:
        log_.countOnly(opcode);
        return 0;
    default:
        break;
    }

    HostRequest request;
    request.opcode = opcode;
    request.index = index;
    request.value = value;
    request.opt = opt;
    bool textTooLong = false;
    if (opcode == audioMasterCanDo && ptr != nullptr) {
        // Bounded copy: the text comes from the plug-in and need not be terminated in reach.
        const char* text = static_cast<const char*>(ptr);
        std::size_t n = 0;
        while (n < sizeof(request.text) - 1 && text[n] != '\0') {
            ++n;
        }
        std::memcpy(request.text, text, n);
        textTooLong = text[n] != '\0';
    }
    log_.record(request);

    switch (opcode) {
    case audioMasterAutomate:
        if (config_.onAutomate) {
            config_.onAutomate(effect, index, opt);
        }
        return 0;
    case audioMasterVersion:
        return config_.version;
    case audioMasterCurrentId:
        return config_.currentId;
    case audioMasterPinConnected: {
        const int32_t connected = value == 0 ? config_.connectedInputs : config_.connectedOutputs;
        return index >= 0 && index < connected ? 0 : 1; // 0 means connected
    }
    case audioMasterWantMidi:
        return 1;
    case audioMasterProcessEvents:
        return 1;
    case audioMasterIOChanged:
        return 0;
    case audioMasterSizeWindow: {
        const auto it = config_.canDo.find(std::string_view("sizeWindow"));
        return it != config_.canDo.end() && it->second == kVstCanDoYes ? 1 : 0;
    }
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(sampleRate_.load(std::memory_order_relaxed));
    case audioMasterGetBlockSize:
        return blockSize_.load(std::memory_order_relaxed);
    case audioMasterGetInputLatency:
    case audioMasterGetOutputLatency:
        return 0;
    case audioMasterGetAutomationState:
        return config_.automationState;
    case audioMasterGetVendorString:
        if (ptr != nullptr) {
            copyText(static_cast<char*>(ptr), kVstMaxVendorStrLen, config_.vendor);
            return 1;
        }
        return 0;
    case audioMasterGetProductString:
        if (ptr != nullptr) {
            copyText(static_cast<char*>(ptr), kVstMaxProductStrLen, config_.product);
            return 1;
        }
        return 0;
    case audioMasterGetVendorVersion:
        return config_.vendorVersion;
    case audioMasterCanDo: {
        if (ptr == nullptr) {
            return config_.canDoDefault;
        }
        // A string longer than the copy is matched by no configured answer.
        const auto it = config_.canDo.find(std::string_view(request.text));
        if (textTooLong || it == config_.canDo.end()) {
            return config_.canDoDefault;
        }
        return it->second;
    }
    case audioMasterGetLanguage:
        return 1; // English
    case audioMasterGetDirectory:
        return directory_.empty() ? 0 : reinterpret_cast<VstIntPtr>(directory_.c_str());
    case audioMasterUpdateDisplay:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterNeedIdle:
        return 1;
    default:
        return 0;
    }
}

} // namespace morvek2::host
