// A container that lays its children out at equal distances in a row (or a column) and lets the
// user drag a child to another place; the editor's module buttons live in one, and their order is
// the chain order. A translucent image of the dragged child follows the pointer; the listener
// hears one tagValueChanged (grid tag, 1) on release when the order changed.
#pragma once

#include "gui/CViewContainer.h"

#include <cstdint>
#include <vector>

namespace VSTGUI {

class CControl;
class CFrame;
class CZKBitmap;
class CZKControlListener;

class CZKControlGrid : public CViewContainer
{
public:
    // Attribute whose value (at most 4 bytes) stands for a child's tag when it is no control.
    static constexpr CViewAttributeID kZKIDAttribute = 0x5A4B4944; // 'ZKID'
    // How far (in pixels, either direction) the pointer must travel before a press becomes a drag.
    static constexpr CCoord kDragThreshold = 8;

    // `layoutArea` is in the parent's coordinates. `parent` is the frame the grid will be added
    // to; the grid learns its parent when it is added.
    CZKControlGrid(const CRect& size, CFrame* parent, int32_t tag, const CRect& layoutArea,
                   bool vertical, CZKControlListener* listener);
    ~CZKControlGrid() override;
    CZKControlGrid(const CZKControlGrid& other);

    virtual int32_t indexOfChild(const CView* view) const;
    virtual CControl* childWithTag(int32_t tag) const;
    // Appends the tag of each child from first to last (see kZKIDAttribute).
    virtual void getOrder(std::vector<int32_t>& order) const; // [ui]
    // Puts the children in the order of `order`; children whose tag is not in it are released.
    virtual void setOrder(const std::vector<int32_t>& order); // [ui]
    virtual void moveChild(CView* view, int32_t index);       // [ui]
    virtual void layout();                                    // [ui]

    bool addView(CView* view) override;                // [ui]
    bool addView(CView* view, CView* before) override; // [ui]

    void drawRect(CDrawContext* context, const CRect& updateRect) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

    int32_t getTag() const { return tag; }
    const CRect& getLayoutArea() const { return layoutArea; }
    bool isVertical() const { return vertical; }
    bool isDragging() const { return dragging; }
    CView* getDraggedChild() const { return draggedChild; }
    const CRect& getGhostRect() const { return ghostRect; }
    void setListener(CZKControlListener* l) { listener = l; }

    MORVEK2_GUI_TYPE(CZKControlGrid, CViewContainer)

private:
    bool childTag(const CView* view, int32_t& tag) const;
    void endDrag();

    int32_t tag;
    CRect layoutArea;
    bool vertical;
    bool pressed = false;
    bool dragging = false;
    CPoint dragStart;
    CPoint lastPoint;
    CView* draggedChild = nullptr;
    int32_t draggedIndex = -1;
    bool orderChanged = false;
    CZKBitmap* ghost = nullptr;
    CRect ghostRect;
    CZKControlListener* listener;
};

} // namespace VSTGUI
