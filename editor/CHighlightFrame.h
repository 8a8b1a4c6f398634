// The editor's root view: a frame that finds its controls by tag (or views by a key of the
// editor's choosing) and outlines one control, the one waiting for a MIDI controller to be
// learned. Its knobs always follow straight drags.
#pragma once

#include "gui/CFrame.h"

#include <cstdint>
#include <map>

namespace VSTGUI {

class CControl;
class CZKControlListener;

class CHighlightFrame : public CFrame
{
public:
    // `parentWindow` is the host's window (null: offscreen).
    CHighlightFrame(const CRect& size, void* parentWindow, VSTGUIEditorInterface* editor);
    ~CHighlightFrame() override;

    // Adds the view and registers it under `key`.
    virtual bool addViewWithKey(CView* view, int32_t key); // [ui]
    // Adds the view and registers it under every tag it stands for (see CZKControl::getTags).
    virtual bool addViewWithTags(CView* view); // [ui]
    // Adds the view and registers it under its tag; a later control with the same tag wins.
    virtual bool addViewWithTag(CView* view);  // [ui]
    virtual void setOutlinedView(CView* view); // [ui]
    virtual CView* getOutlinedView() const { return outlinedView; }
    // Red in the lowest byte, then green, blue and alpha in the highest.
    virtual void setOutlineColour(uint32_t packed); // [ui]
    virtual void setOutlineColour(uint8_t red, uint8_t green, uint8_t blue,
                                  uint8_t alpha); // [ui]
    // Outlines the control registered under `tag` (on) or nothing (off).
    virtual void outlineTag(int32_t tag, bool on); // [ui]
    // The outlined view's bounds in window pixels; empty when nothing is outlined.
    virtual void getOutlineRect(CRect& rect) const;     // [ui]
    virtual CControl* controlForTag(int32_t tag) const; // [any]
    virtual CView* viewForKey(int32_t key) const;       // [ui]
    CColor getOutlineColour() const { return outlineColour; }

    // Views leaving the frame leave its registries too.
    bool removeView(CView* view, bool withForget = true) override; // [ui]
    bool removeAll(bool withForget = true) override;               // [ui]

    void drawRect(CDrawContext* context, const CRect& updateRect) override; // [ui]
    int32_t getKnobMode() const override { return kKnobModeLinear; }

    // Who hears which control the pointer is over while no button is held (null: nobody).
    void setHoverListener(CZKControlListener* listener) { hoverListener = listener; } // [ui]
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

private:
    // Tells the hover listener when the control under the pointer changed (or `always`).
    void trackHover(const CPoint& where, bool always = false); // [ui]

    void unregister(const CView* view);

    CView* outlinedView = nullptr;
    CZKControlListener* hoverListener = nullptr;
    CControl* hovered = nullptr;
    CColor outlineColour = kWhiteCColor;
    std::map<int32_t, CControl*> tagMap;
    std::map<int32_t, CView*> keyMap;
};

} // namespace VSTGUI
