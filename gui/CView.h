// The base of everything on screen: a rectangle in its parent's coordinates, a mouse area, a
// parent container, an optional background bitmap, visibility, transparency, mouse enabling, a
// dirty state that the frame's idle turns into a redraw, and a list of tagged attributes.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class CFrame;

// Four-character identifier of a view attribute, e.g. 'anno'.
using CViewAttributeID = uint32_t;

class CView : public CBaseObject
{
public:
    explicit CView(const CRect& size);
    // A detached copy: no parent, its own reference to the background, the same attributes.
    CView(const CView& other);
    CView& operator=(const CView&) = delete;
    ~CView() override;

    // Draws the whole view (the default draws the background bitmap) and marks it clean.
    virtual void draw(CDrawContext* context); // [ui]
    // Draws the part of the view inside `updateRect` (parent coordinates); the default draws all.
    virtual void drawRect(CDrawContext* context, const CRect& updateRect); // [ui]
    virtual bool checkUpdate(const CRect& updateRect) const { return updateRect.rectOverlap(size); }
    // Everything the view paints (parent coordinates): its rectangle, unless it draws beyond it
    // on purpose. A repaint that touches any of it draws the view, and a dirty view repaints all
    // of it.
    virtual CRect drawingBounds() const { return size; }

    // `where` is in the parent's coordinates; `buttons` holds kLButton, kShift, kControl, ...
    virtual CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons);  // [ui]
    virtual CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons);    // [ui]
    virtual CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons); // [ui]
    // `distance` is positive for a wheel turned away from the user. True when handled.
    virtual bool onWheel(const CPoint& where, const float& distance,
                         const int32_t& buttons); // [ui]

    // The plug-in may mark views from its own threads; the frame's idle reads the mark.
    // Keys: 1 when the view used the key, -1 when it leaves it to the host.
    virtual int32_t onKeyDown(CKeyCode& /*key*/) { return -1; } // [ui]
    virtual int32_t onKeyUp(CKeyCode& /*key*/) { return -1; }   // [ui]

    virtual void setDirty(bool dirty = true)
    {
        bDirty.store(dirty, std::memory_order_relaxed);
    }                                                                               // [any]
    virtual bool isDirty() const { return bDirty.load(std::memory_order_relaxed); } // [ui]
    // Asks the frame to repaint the view's area (or `rect`, in the parent's coordinates).
    virtual void invalid() { invalidRect(size); } // [ui]
    virtual void invalidRect(const CRect& rect);  // [ui]

    // Hiding or showing marks the view dirty and repaints its area.
    virtual void setVisible(bool visible); // [ui]
    bool isVisible() const { return bVisible; }
    virtual void setTransparency(bool transparent) { bTransparencyEnabled = transparent; }
    bool getTransparency() const { return bTransparencyEnabled; }
    virtual void setMouseEnabled(bool enabled) { bMouseEnabled = enabled; }
    bool getMouseEnabled() const { return bMouseEnabled; }

    // Moves or resizes the view; the mouse area follows.
    virtual void setViewSize(const CRect& rect, bool invalidate = true); // [ui]
    const CRect& getViewSize() const { return size; }
    CRect& getViewSize(CRect& rect) const { return rect = size; }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    const CRect& getMouseableArea() const { return mouseableArea; }
    CRect& getMouseableArea(CRect& rect) const { return rect = mouseableArea; }
    CCoord getWidth() const { return size.width(); }
    CCoord getHeight() const { return size.height(); }

    // The view takes its own reference to the bitmap; null removes it.
    virtual void setBackground(CBitmap* background); // [ui]
    CBitmap* getBackground() const { return pBackground; }

    // Called by a container when the view is added to or removed from it.
    virtual bool attached(CView* parent); // [ui]
    virtual bool removed(CView* parent);  // [ui]
    bool isAttached() const { return pParentView != nullptr; }
    CView* getParentView() const { return pParentView; }
    // The root frame above this view, or null while detached.
    CFrame* getFrame() const; // [ui]

    // Converts a point (or rectangle) in this view's coordinates, i.e. its parent's, to window
    // pixels, and back.
    CPoint& localToFrame(CPoint& point) const; // [ui]
    CPoint& frameToLocal(CPoint& point) const; // [ui]
    CRect& localToFrame(CRect& rect) const;    // [ui]

    // Type names: a class answers its own and those of its bases.
    virtual bool isTypeOf(const char* typeName) const;
    virtual CView* newCopy() const { return new CView(*this); }

    // Attributes: arbitrary bytes under a four-character identifier, replaced on a second set.
    bool setAttribute(CViewAttributeID id, int32_t inSize, const void* inData); // [ui]
    bool getAttributeSize(CViewAttributeID id, int32_t& outSize) const;         // [ui]
    bool getAttribute(CViewAttributeID id, int32_t inSize, void* outData,
                      int32_t& outSize) const; // [ui]
    bool removeAttribute(CViewAttributeID id); // [ui]

protected:
    CRect size;
    CRect mouseableArea;
    CView* pParentView = nullptr;
    CBitmap* pBackground = nullptr;
    std::atomic<bool> bDirty{false};
    bool bMouseEnabled = true;
    bool bTransparencyEnabled = false;
    bool bVisible = true;

private:
    struct Attribute
    {
        CViewAttributeID id;
        std::vector<uint8_t> data;
    };
    std::vector<Attribute> attributes;
};

} // namespace VSTGUI
