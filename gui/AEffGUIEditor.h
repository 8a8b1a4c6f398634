// The editor base that binds the view framework to the VST editor calls: it holds the plug-in
// and the frame, answers the host's rectangle request from the rectangle a subclass fills in,
// passes begin and end of edits to the host, and runs the frame's idle with a guard against
// re-entry. A null parent window opens the frame offscreen (used by tests).
#pragma once

#include "gui/CFrame.h"
#include "vst/AEffEditor.h"

#include <atomic>
#include <cstdint>

class AEffGUIEditor : public AEffEditor, public VSTGUI::VSTGUIEditorInterface
{
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;
    AEffGUIEditor(const AEffGUIEditor&) = delete;
    AEffGUIEditor& operator=(const AEffGUIEditor&) = delete;

    // Points the host at the window's size in its own pixels: `rect` (layout pixels) times the
    // scale of the screen, which lives as long as the editor.
    bool getRect(ERect** rect) override; // [ui]
    // Window pixels per layout pixel: the frame's while open, otherwise the desktop's (asked once
    // per closed spell, since hosts ask for the rectangle often).
    double getScaleFactor(); // [ui]
    // Records the parent window and releases a frame left from an open without close; a
    // subclass calls this first and then builds its frame on `systemWindow`.
    bool open(void* parentWindow) override; // [ui]
    // Releases the frame if the subclass has not done so.
    void close() override; // [ui]
    // The frame's idle, unless an idle is already running further up the stack.
    void idle() override; // [ui]

    // The host's key events, handed to the frame; true when a view used the key (otherwise the
    // host keeps it for its own shortcuts).
    virtual bool onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers); // [ui]
    virtual bool onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers);   // [ui]

    // Called by the plug-in whenever a parameter changes; the default shows nothing.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {} // [any]

    // Edits of a parameter, passed to the host (which hears only valid parameter indices).
    void beginEdit(int32_t index) override; // [ui]
    void endEdit(int32_t index) override;   // [ui]
    void doIdleStuff() override;            // [ui]

    // The process-wide knob handling: kKnobModeCircular (0) or kKnobModeLinear (2). Other values
    // are refused.
    int32_t getKnobMode() const override { return knobMode.load(std::memory_order_relaxed); }
    static bool setKnobMode(int32_t mode); // [any]
    static int32_t getGlobalKnobMode() { return knobMode.load(std::memory_order_relaxed); }

    VSTGUI::CFrame* getFrame() const { return frame; }
    bool isIdleGuardSet() const { return inIdleStuff; }

protected:
    // For the subclass once its frame exists: on a scaled screen the host hears the window's
    // size in its pixels, unless it says it cannot resize.
    void announceWindowSize(); // [ui]

    ERect rect{};
    VSTGUI::CFrame* frame = nullptr;
    bool inIdleStuff = false;

private:
    ERect scaledRect{};
    double closedScale = 0.0; // 0 until asked while closed
    static std::atomic<int32_t> knobMode;
};
