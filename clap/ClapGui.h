// The CLAP editor: the plug-in's own window embedded through the gui extension (an X11 window on
// Linux, an HWND on Windows), on the core of the instance that made it. Edits reach the core at
// once, as the VST 2.4 editor's do, and the host as gesture begin, value and gesture end events
// that the next process or params flush hands over.
#pragma once

#include "clap/ClapThreadCheck.h"
#include "gui/GUIEditor.h"
#include "params/Morvek2Params.h"

#include <clap/events.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class Morvek2Core;
class Morvek2Editor;

// Parameter events from the editor on their way to the host: one producer (the UI thread), one
// consumer (process on the audio thread, or a flush while not processing, which the host never
// runs beside process). A fixed ring, so the consumer neither allocates nor waits.
class ClapEditQueue
{
public:
    struct Edit
    {
        std::uint16_t type = 0; // CLAP_EVENT_PARAM_GESTURE_BEGIN, _END or CLAP_EVENT_PARAM_VALUE
        clap_id param = 0;
        double value = 0.0; // in the host's terms (stepped lists as 0..N-1)
    };

    // False when the ring is full: the host has not taken events for a long while.
    bool push(const Edit& edit); // [ui]
    // Hands every waiting event to `out` at frame 0; none are lost when `out` is null.
    void drainTo(const clap_output_events_t* out); // [audio] or while not processing

private:
    static constexpr std::size_t kSize = 1024; // a power of two
    std::array<Edit, kSize> ring{};
    std::atomic<std::size_t> head{0}; // next to write, the producer's
    std::atomic<std::size_t> tail{0}; // next to read, the consumer's
};

// What the plug-in's face knows that the window's events need.
class ClapGuiOwner
{
public:
    virtual ~ClapGuiOwner() = default;
    // A core (normalised) value in the host's terms.
    virtual double hostValue(int index, float normalised) const = 0; // [any]
    // The edit did not fit in the queue: the value goes out by the face's own path.
    virtual void valueOverflow(int index, float normalised) = 0; // [ui]
};

class ClapGui final : public GUIEditorFace
{
public:
    // The window API this build embeds in.
#ifdef _WIN32
    static constexpr const char* kApi = CLAP_WINDOW_API_WIN32;
#else
    static constexpr const char* kApi = CLAP_WINDOW_API_X11;
#endif
    static bool apiSupported(const char* api, bool floating); // [ui]

    ClapGui(const clap_host_t* host, Morvek2Core& core, ClapGuiOwner& owner,
            ClapEditQueue& queue); // [ui]
    ~ClapGui() override;           // [ui]
    ClapGui(const ClapGui&) = delete;
    ClapGui& operator=(const ClapGui&) = delete;

    // The host's scale on X11; on Windows the window's DPI decides, and the call answers false.
    bool setScale(double scale);                               // [ui]
    bool getSize(std::uint32_t* width, std::uint32_t* height); // [ui]
    bool setParent(const clap_window_t* window);               // [ui]
    bool show();                                               // [ui]
    bool hide();                                               // [ui]
    // The host's timer, or the main-thread callback the fallback ticker asked for.
    void onTimer(clap_id id); // [ui]
    void onMainThread();      // [ui]

    // ---- GUIEditorFace ----
    void editorParameterAutomated(int32_t index, float normalised) override; // [ui]
    void editorBeginEdit(int32_t index) override;                            // [ui]
    void editorEndEdit(int32_t index) override;                              // [ui]
    // A program chosen in the window: the host re-reads every value and knows the project
    // changed.
    void editorProgramChanged(int32_t program) override; // [ui]
    bool editorCanResize() override
    {
        return false;
    } // [ui]
    bool editorResize(int32_t, int32_t) override
    {
        return false;
    } // [ui]

private:
    void close();                                               // [ui]
    void startTicker();                                         // [ui]
    void stopTicker();                                          // [ui]
    void send(std::uint16_t type, int32_t index, double value); // [ui]
    void idle();                                                // [ui]

    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_timer_support_t* hostTimers = nullptr;
    const clap_host_state_t* hostState = nullptr;
    Morvek2Core& core;
    ClapGuiOwner& owner;
    ClapEditQueue& queue;
    std::unique_ptr<Morvek2Editor> editor;
    bool opened = false;
    bool visible = true;
    // The host's timer while the window is open, when the host offers timers.
    clap_id timer = CLAP_INVALID_ID;
    // Without host timers (Linux: the X11 frame has no timer of its own) a thread asks the host
    // for a main-thread callback at the idle rate, and the callback idles the window.
    std::thread ticker;
    std::mutex tickerLock;
    std::condition_variable tickerWake;
    bool tickerStop = false;
    std::atomic<bool> tickPending{false};
    // Gestures the window holds, so that a window closed mid-drag still ends them.
    std::array<std::uint8_t, morvek2::param::kNumParams> gesture{};
};
