#include "clap/ClapGui.h"

#include "editor/Morvek2Editor.h"
#include "plugin/Morvek2Core.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int kNumParams = morvek2::param::kNumParams;
// How often the window idles: redraws, the sequencer's position, events from the window system.
constexpr std::uint32_t kIdleMs = 30;

} // namespace

// ---- ClapEditQueue

bool ClapEditQueue::push(const Edit& edit) // [ui]
{
    const std::size_t h = head.load(std::memory_order_relaxed);
    if (h - tail.load(std::memory_order_acquire) == kSize) {
        return false;
    }
    ring[h % kSize] = edit;
    head.store(h + 1, std::memory_order_release);
    return true;
}

void ClapEditQueue::drainTo(const clap_output_events_t* out) // [audio] or while not processing
{
    if (!out) {
        return;
    }
    const std::size_t h = head.load(std::memory_order_acquire);
    std::size_t t = tail.load(std::memory_order_relaxed);
    for (; t != h; ++t) {
        const Edit& edit = ring[t % kSize];
        if (edit.type == CLAP_EVENT_PARAM_VALUE) {
            clap_event_param_value_t e{};
            e.header.size = sizeof(e);
            e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            e.header.type = CLAP_EVENT_PARAM_VALUE;
            e.param_id = edit.param;
            e.note_id = -1;
            e.port_index = -1;
            e.channel = -1;
            e.key = -1;
            e.value = edit.value;
            out->try_push(out, &e.header);
        } else {
            clap_event_param_gesture_t e{};
            e.header.size = sizeof(e);
            e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            e.header.type = edit.type;
            e.param_id = edit.param;
            out->try_push(out, &e.header);
        }
    }
    tail.store(t, std::memory_order_release);
}

// ---- ClapGui

bool ClapGui::apiSupported(const char* api, bool floating) // [ui]
{
    return api && std::strcmp(api, kApi) == 0 && !floating;
}

ClapGui::ClapGui(const clap_host_t* host_, Morvek2Core& core_, ClapGuiOwner& owner_,
                 ClapEditQueue& queue_)
    : host(host_), core(core_), owner(owner_), queue(queue_),
      editor(std::make_unique<Morvek2Editor>(core_.getEditorLink()))
{
    editor->setFace(this);
    if (host->get_extension) {
        hostParams =
            static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
        hostTimers = static_cast<const clap_host_timer_support_t*>(
            host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
        hostState =
            static_cast<const clap_host_state_t*>(host->get_extension(host, CLAP_EXT_STATE));
    }
}

ClapGui::~ClapGui()
{
    close();
}

bool ClapGui::setScale(double scale) // [ui]
{
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return false;
    }
#ifdef _WIN32
    // A Windows window takes its scale from its own DPI and follows it to other screens; a host
    // the system stretches may still announce the desktop's scale, and drawn at that scale the
    // window would grow twice. Ignored, as the host hears: get_size reports the DPI's size.
    return false;
#else
    // Taken when the window opens; hosts announce it before set_parent.
    editor->setHostScaleFactor(scale);
    return true;
#endif
}

bool ClapGui::getSize(std::uint32_t* width, std::uint32_t* height) // [ui]
{
    if (!width || !height) {
        return false;
    }
    int32_t w = 0;
    int32_t h = 0;
    editor->getWindowSize(w, h);
    *width = static_cast<std::uint32_t>(w);
    *height = static_cast<std::uint32_t>(h);
    return w > 0 && h > 0;
}

bool ClapGui::setParent(const clap_window_t* window) // [ui]
{
    if (!window || !window->api || std::strcmp(window->api, kApi) != 0) {
        return false;
    }
#ifdef _WIN32
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    // A null parent would open the frame offscreen: no window the host could show.
    if (!parent) {
        return false;
    }
    close();
    core.attachEditor(editor.get());
    if (!editor->open(parent)) {
        core.detachEditor();
        return false;
    }
    opened = true;
    if (!hostTimers || !hostTimers->register_timer ||
        !hostTimers->register_timer(host, kIdleMs, &timer)) {
        timer = CLAP_INVALID_ID;
        startTicker();
    }
    return true;
}

// The window is a child of the host's: it shows and hides with it.
bool ClapGui::show() // [ui]
{
    return opened;
}

bool ClapGui::hide() // [ui]
{
    return opened;
}

void ClapGui::onTimer(clap_id id) // [ui]
{
    if (opened && id == timer && timer != CLAP_INVALID_ID) {
        idle();
    }
}

void ClapGui::onMainThread() // [ui]
{
    tickPending.store(false, std::memory_order_relaxed);
    if (opened && timer == CLAP_INVALID_ID) {
        idle();
    }
}

void ClapGui::idle() // [ui]
{
    editor->idle();
}

void ClapGui::close() // [ui]
{
    if (!opened) {
        return;
    }
    if (timer != CLAP_INVALID_ID && hostTimers->unregister_timer) {
        hostTimers->unregister_timer(host, timer);
    }
    timer = CLAP_INVALID_ID;
    stopTicker();
    // The core stops reporting before the window goes.
    core.detachEditor();
    editor->close();
    opened = false;
    // A drag the window did not finish still ends for the host.
    for (int i = 0; i < kNumParams; ++i) {
        if (gesture[static_cast<std::size_t>(i)] != 0) {
            editorEndEdit(i);
        }
    }
}

void ClapGui::startTicker() // [ui]
{
#ifndef _WIN32
    // (On Windows the frame's own timer idles the window when the host does not.)
    if (ticker.joinable() || !host->request_callback) {
        return;
    }
    tickerStop = false;
    try {
        ticker = std::thread([this] {
            std::unique_lock<std::mutex> lock(tickerLock);
            while (!tickerWake.wait_for(lock, std::chrono::milliseconds(kIdleMs),
                                        [this] { return tickerStop; })) {
                // One request at a time, so that a busy host is not flooded.
                if (!tickPending.exchange(true, std::memory_order_relaxed)) {
                    lock.unlock();
                    host->request_callback(host);
                    lock.lock();
                }
            }
        });
    } catch (...) {
        // No thread: the window shows what it has and idles no more.
    }
#endif
}

void ClapGui::stopTicker() // [ui]
{
    if (!ticker.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(tickerLock);
        tickerStop = true;
    }
    tickerWake.notify_one();
    ticker.join();
}

void ClapGui::send(std::uint16_t type, int32_t index, double value) // [ui]
{
    queue.push({type, static_cast<clap_id>(index), value});
    if (hostParams && hostParams->request_flush) {
        hostParams->request_flush(host);
    }
}

void ClapGui::editorParameterAutomated(int32_t index, float normalised) // [ui]
{
    if (index < 0 || index >= kNumParams || !std::isfinite(normalised)) {
        return;
    }
    core.setParameter(index, normalised);
    const float now = core.getParameter(index);
    if (!queue.push(
            {CLAP_EVENT_PARAM_VALUE, static_cast<clap_id>(index), owner.hostValue(index, now)})) {
        owner.valueOverflow(index, now);
    }
    if (hostParams && hostParams->request_flush) {
        hostParams->request_flush(host);
    }
}

void ClapGui::editorBeginEdit(int32_t index) // [ui]
{
    if (index < 0 || index >= kNumParams) {
        return;
    }
    gesture[static_cast<std::size_t>(index)] = 1;
    send(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0);
}

void ClapGui::editorProgramChanged(int32_t /*program*/) // [ui]
{
    if (hostParams && hostParams->rescan) {
        hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    }
    if (hostState && hostState->mark_dirty) {
        hostState->mark_dirty(host);
    }
}

void ClapGui::editorEndEdit(int32_t index) // [ui]
{
    if (index < 0 || index >= kNumParams || gesture[static_cast<std::size_t>(index)] == 0) {
        return;
    }
    gesture[static_cast<std::size_t>(index)] = 0;
    send(CLAP_EVENT_PARAM_GESTURE_END, index, 0.0);
}
