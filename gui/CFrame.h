// The root of a window: a container placed on the host's window through a platform frame (or
// offscreen when no window is given). Its idle repaints the views that became dirty; mouse input
// arrives from the platform, goes to the modal view when there is one, and a pressed view keeps
// the pointer until release.
#pragma once

#include "gui/CViewContainer.h"
#include "gui/IPlatform.h"

#include <memory>

namespace VSTGUI {

// What the frame needs of the editor that owns it.
class VSTGUIEditorInterface
{
public:
    virtual ~VSTGUIEditorInterface() = default;
    virtual void doIdleStuff() {}                                     // [ui]
    virtual int32_t getKnobMode() const { return kKnobModeCircular; } // [ui]
    virtual void beginEdit(int32_t /*index*/) {}                      // [ui]
    virtual void endEdit(int32_t /*index*/) {}                        // [ui]
    // The scale the host announced for its windows, 0 when the desktop decides.
    virtual double getHostScaleFactor() const { return 0.0; } // [ui]
};

class CFrame : public CViewContainer, private IPlatformFrameOwner
{
public:
    // `systemWindow` is the host's window (an X11 window id); null makes an offscreen frame.
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
    ~CFrame() override;
    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    // Handles waiting window events, then repaints every visible dirty view.
    virtual void idle(); // [ui]
    // Repaints every dirty view now (what idle does after the events).
    void updateDirtyViews(); // [ui]

    // The knob handling the frame asks for: the editor's, circular without one.
    virtual int32_t getKnobMode() const; // [ui]
    // Begin and end of an edit of the control with this tag, passed to the editor.
    virtual void beginEdit(int32_t tag); // [ui]
    virtual void endEdit(int32_t tag);   // [ui]
    VSTGUIEditorInterface* getEditor() const { return editor; }

    // The modal view receives every mouse event and is drawn on top. The frame holds its own
    // reference while it is set; setting null removes it. False if another one is set.
    virtual bool setModalView(CView* view); // [ui]
    CView* getModalView() const { return modalView; }

    // The whole window, or a part of it in window pixels, is repainted on the next idle.
    void invalid() override { invalidRect(size); }
    void invalidRect(const CRect& rect) override; // [ui]

    void setCursor(CCursorType type);                  // [ui]
    int32_t getCurrentMouseButtons() const;            // [ui]
    bool getCurrentMouseLocation(CPoint& where) const; // [ui]
    bool setSize(CCoord width, CCoord height);         // [ui]
    void* getSystemWindow() const { return systemWindow; }
    bool isOffscreen() const { return systemWindow == nullptr; }
    // Window pixels per layout pixel on the screen the frame is shown on (1, 1.5 or 2). The
    // frame's size and every view stay in layout pixels.
    double getScaleFactor() const { return platformFrame ? platformFrame->getScaleFactor() : 1.0; }
    IPlatformFrame* getPlatformFrame() const { return platformFrame.get(); }

    // Mouse input in window pixels, as the platform delivers it; tests call these directly.
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const int32_t& buttons) override;

    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Keys go to the modal view if there is one, else to the children from the top until one
    // takes it; -1 when none does.
    int32_t onKeyDown(CKeyCode& key) override;
    int32_t onKeyUp(CKeyCode& key) override;

    bool isTypeOf(const char* typeName) const override;
    CView* newCopy() const override { return nullptr; }

private:
    void platformDrawRect(IDrawDevice& device, const CRect& updateRect) override;
    CMouseEventResult platformOnMouseDown(CPoint where, int32_t buttons) override;
    CMouseEventResult platformOnMouseMoved(CPoint where, int32_t buttons) override;
    CMouseEventResult platformOnMouseUp(CPoint where, int32_t buttons) override;
    bool platformOnMouseWheel(CPoint where, float distance, int32_t buttons) override;
    void platformOnIdleTimer() override;
    void collectDirty(CView* view, const CPoint& origin);

    void* systemWindow;
    VSTGUIEditorInterface* editor;
    std::unique_ptr<IPlatformFrame> platformFrame;
    CView* modalView = nullptr;
    bool modalMouseDown = false;
    bool inIdle = false;
};

} // namespace VSTGUI
