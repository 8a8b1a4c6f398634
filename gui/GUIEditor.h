// The editor base that binds the view framework to whichever plug-in format hosts the window: it
// holds the frame, knows the window's size in layout pixels and at the screen's scale, passes
// edits and resize requests to the face that hosts it, and runs the frame's idle with a guard
// against re-entry. A null parent window opens the frame offscreen (used by tests).
#pragma once

#include "gui/CFrame.h"

#include <atomic>
#include <cstdint>

// What the face hosting an editor does for it, in the face's own terms (VST 2.4 host calls, LV2
// port writes and touch, ...).
class GUIEditorFace
{
public:
    virtual ~GUIEditorFace() = default;
    // The window changed parameter `index` to `normalised` (0..1): the plug-in takes the value
    // and the host records it.
    virtual void editorParameterAutomated(int32_t index, float normalised) = 0; // [ui]
    // A gesture on a parameter begins or ends (the host records automation in between).
    virtual void editorBeginEdit(int32_t index) = 0; // [ui]
    virtual void editorEndEdit(int32_t index) = 0;   // [ui]
    // The window switched the plug-in to `program` (the plug-in has already taken it): the host
    // should read the program and every parameter again. Faces whose host keeps no program and
    // no copy of the values need nothing; the default does nothing.
    virtual void editorProgramChanged(int32_t /*program*/) {} // [ui]
    // Whether the host may be asked to resize the window, and asking it (window pixels).
    virtual bool editorCanResize() = 0;                           // [ui]
    virtual bool editorResize(int32_t width, int32_t height) = 0; // [ui]
};

class GUIEditor : public VSTGUI::VSTGUIEditorInterface
{
public:
    GUIEditor();
    ~GUIEditor() override;
    GUIEditor(const GUIEditor&) = delete;
    GUIEditor& operator=(const GUIEditor&) = delete;

    // The face the window talks to; null (the default) keeps every edit inside the window.
    void setFace(GUIEditorFace* newFace) { face = newFace; } // [ui]
    GUIEditorFace* getFace() const { return face; }

    // The window's size in layout pixels, and in the host's pixels (the layout size times the
    // screen's scale, each side rounded).
    int32_t getLayoutWidth() const { return layoutWidth; }
    int32_t getLayoutHeight() const { return layoutHeight; }
    void getWindowSize(int32_t& width, int32_t& height); // [ui]
    // Window pixels per layout pixel: the frame's while open, otherwise the host's announced
    // scale or the desktop's (asked once per closed spell, since hosts ask for the size often).
    double getScaleFactor(); // [ui]
    // The scale the host announced for its windows (0: none, the desktop decides). Taken at the
    // next open.
    void setHostScaleFactor(double scale); // [ui]
    double getHostScaleFactor() const override { return hostScale; }

    // Embeds the window in `parentWindow` (an X11 window id or an HWND; null: offscreen). Releases
    // a frame left from an open without close; a subclass calls this first and then builds its
    // frame on the parent.
    virtual bool open(void* parentWindow); // [ui]
    // Releases the frame if the subclass has not done so.
    virtual void close(); // [ui]
    bool isOpen() const { return opened; }
    void* getParentWindow() const { return parentWindow; }
    // The frame's idle, unless an idle is already running further up the stack.
    virtual void idle(); // [ui]

    // The host's key events, handed to the frame; true when a view used the key (otherwise the
    // host keeps it for its own shortcuts).
    virtual bool onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers); // [ui]
    virtual bool onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers);   // [ui]

    // Called by the plug-in whenever a parameter changes; the default shows nothing.
    virtual void setParameter(int32_t /*index*/, float /*value*/) {} // [any]

    // Edits of a parameter, passed to the face.
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
    // An edit from the window: the face takes it (nothing happens without a face).
    void parameterAutomated(int32_t index, float normalised); // [ui]
    // The window switched programs: the face tells the host.
    void programChanged(int32_t program); // [ui]

    int32_t layoutWidth = 0;
    int32_t layoutHeight = 0;
    VSTGUI::CFrame* frame = nullptr;
    bool inIdleStuff = false;

private:
    void releaseFrame(); // [ui]

    GUIEditorFace* face = nullptr;
    void* parentWindow = nullptr;
    bool opened = false;
    double hostScale = 0.0;
    double closedScale = 0.0; // 0 until asked while closed
    static std::atomic<int32_t> knobMode;
};
