// A view that owns an ordered list of child views (drawn first to last, the last on top) whose
// rectangles are relative to the container's top-left corner. It passes mouse events to the
// child under the pointer and keeps sending the following moved and up events to the child that
// took the press.
#pragma once

#include "gui/CView.h"

#include <vector>

namespace VSTGUI {

class CViewContainer : public CView
{
public:
    explicit CViewContainer(const CRect& size);
    // Copies the children too.
    CViewContainer(const CViewContainer& other);
    ~CViewContainer() override;

    // Adding takes over the caller's reference; null or an attached view is refused.
    virtual bool addView(CView* view);                // [ui]
    virtual bool addView(CView* view, CView* before); // [ui]
    // Removing a view that is not a child does nothing; `withForget` releases it.
    virtual bool removeView(CView* view, bool withForget = true); // [ui]
    virtual bool removeAll(bool withForget = true);               // [ui]
    bool isChild(const CView* view) const;
    int32_t getNbViews() const { return static_cast<int32_t>(children.size()); }
    CView* getView(int32_t index) const; // null out of range
    // The topmost visible child whose mouse area holds `where` (container coordinates).
    virtual CView* getViewAt(const CPoint& where, bool deep = false) const; // [ui]
    CView* getMouseDownView() const { return mouseDownView; }

    void setBackgroundColor(const CColor& color) { backgroundColor = color; }
    CColor getBackgroundColor() const { return backgroundColor; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Draws the container's own background in `rect` (container coordinates).
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect); // [ui]

    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const int32_t& buttons) override;

    // `rect` is in this container's coordinates.
    void invalidRect(const CRect& rect) override;
    bool removed(CView* parent) override;

    MORVEK2_GUI_TYPE(CViewContainer, CView)

protected:
    // Paints the children meeting `updateRect` (container coordinates).
    void drawChildren(CDrawContext* context, const CRect& updateRect);
    void dropMouseDownView(const CView* view);

    std::vector<CView*> children;
    CView* mouseDownView = nullptr;
    CColor backgroundColor = kTransparentCColor;
};

} // namespace VSTGUI
