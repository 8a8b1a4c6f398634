#include "editor/CZKProgramMenu.h"

#include "editor/CDezadeduResource.h"
#include "gui/CDrawContext.h"

#include <algorithm>
#include <cstring>

namespace VSTGUI {

namespace {
// Texts start this far from the left of their band.
constexpr CCoord kTextInset = 4;
} // namespace

CZKProgramMenu::CZKProgramMenu(const CRect& size_, CControlListener* listener_, int32_t tag_,
                               CDezadeduResource* font_, CColor frameColour_,
                               CColor closedBackground_, CColor openBackground_,
                               CColor selectionBackground_, CColor textColour_,
                               CColor selectedTextColour_, int32_t rowsPerColumn)
    : CZKVPopupMenu(size_, listener_, tag_, font_, frameColour_, closedBackground_, openBackground_,
                    selectionBackground_, textColour_, selectedTextColour_),
      rows(std::max<int32_t>(rowsPerColumn, 1))
{}

void CZKProgramMenu::setSelectedIndex(int32_t index) // [ui]
{
    const int32_t n = getItemCount();
    index = std::clamp(index, 0, std::max<int32_t>(n - 1, 0));
    selected.store(index, std::memory_order_relaxed);
    CControl::setValue(n > 1 ? static_cast<float>(index) / static_cast<float>(n - 1) : 0.0f);
}

bool CZKProgramMenu::setItemText(int32_t index, const char* text) // [ui]
{
    if (index < 0 || index >= getItemCount() || !text) {
        return false;
    }
    std::string& item = items[static_cast<std::size_t>(index)];
    if (item == text) {
        return false;
    }
    item = text;
    return true;
}

const char* CZKProgramMenu::getItemText(int32_t index) const // [ui]
{
    return index >= 0 && index < getItemCount() ? items[static_cast<std::size_t>(index)].c_str()
                                                : nullptr;
}

void CZKProgramMenu::openList() // [ui]
{
    const int32_t n = std::max<int32_t>(getItemCount(), 1);
    const int32_t columns = (n + rows - 1) / rows;
    const int32_t shownRows = std::min(n, rows);
    CRect r = closedRect;
    r.right = r.left + columns * closedRect.width();
    r.top = closedRect.bottom - shownRows * itemHeight;
    CRect area = r;
    if (pParentView) {
        // Inside the window, and the whole window catches presses while the list is open, so that
        // a press beside it closes it rather than reaching the control underneath.
        area = pParentView->getViewSize();
        area.offset(-area.left, -area.top);
        if (r.right > area.right) {
            r.offset(area.right - r.right, 0);
        }
        if (r.left < 0) {
            r.offset(-r.left, 0);
        }
        if (r.top < 0) {
            r.offset(0, -r.top);
        }
    }
    open = true;
    hot = getSelectedIndex();
    openRect = r;
    setViewSize(openRect);
    setMouseableArea(area);
}

void CZKProgramMenu::closeList() // [ui]
{
    CZKVPopupMenu::closeList();
    hot = -1;
}

CRect CZKProgramMenu::itemRect(int32_t index) const // [ui]
{
    const CCoord width = closedRect.width();
    const CCoord left = openRect.left + (index / rows) * width;
    const CCoord top = openRect.top + (index % rows) * itemHeight;
    return CRect(left, top, left + width, top + itemHeight);
}

int32_t CZKProgramMenu::itemAt(const CPoint& where) const // [ui]
{
    if (!open || !openRect.pointInside(where) || itemHeight <= 0 || closedRect.width() <= 0) {
        return -1;
    }
    const auto column = static_cast<int32_t>((where.x - openRect.left) / closedRect.width());
    const auto row = static_cast<int32_t>((where.y - openRect.top) / itemHeight);
    if (row >= rows) {
        return -1;
    }
    const int32_t index = column * rows + row;
    return index < getItemCount() ? index : -1;
}

void CZKProgramMenu::drawItem(CDrawContext* context, const CRect& band, int32_t index,
                              bool lit) // [ui]
{
    if (!font || index < 0 || index >= getItemCount()) {
        return;
    }
    const char* text = items[static_cast<std::size_t>(index)].c_str();
    // A long name ends at its band rather than running into the next column.
    CRect saved;
    context->getClipRect(saved);
    CRect clip = band;
    clip.inset(1, 0);
    clip.bound(saved);
    context->setClipRect(clip);
    const CPoint at(band.left + kTextInset, band.top + (itemHeight - font->getHeight()) / 2);
    context->setFrameColor(lit ? selectedTextColour : textColour);
    font->drawString(context, at, text, kDezadeduLeft);
    context->setClipRect(saved);
}

void CZKProgramMenu::draw(CDrawContext* context) // [ui]
{
    if (!bVisible) {
        return;
    }
    context->setLineWidth(1);
    context->setFrameColor(frameColour);
    if (!open) {
        context->setFillColor(closedBackground);
        context->drawRect(size, kDrawFilledAndStroked);
        drawItem(context, size, getSelectedIndex(), true);
    } else {
        context->setFillColor(openBackground);
        context->drawRect(size, kDrawFilledAndStroked);
        for (int32_t x = 1; x * rows < getItemCount(); ++x) {
            const CCoord at = size.left + x * closedRect.width();
            context->drawLine(CPoint(at, size.top), CPoint(at, size.bottom - 1));
        }
        if (hot >= 0) {
            CRect band = itemRect(hot);
            band.inset(1, 1);
            context->setFillColor(selectionBackground);
            context->fillRect(band);
        }
        for (int32_t i = 0; i < getItemCount(); ++i) {
            drawItem(context, itemRect(i), i, i == hot);
        }
    }
    setDirty(false);
}

void CZKProgramMenu::choose(int32_t index) // [ui]
{
    if (index < 0 || index >= getItemCount() || index == getSelectedIndex()) {
        return;
    }
    setSelectedIndex(index);
    valueChanged();
    invalid();
}

CMouseEventResult CZKProgramMenu::onMouseDown(CPoint& where, const int32_t& buttons) // [ui]
{
    if (open) {
        // The second click of click, click; any other press closes the list.
        const int32_t index = (buttons & kLButton) ? itemAt(where) : -1;
        if (index < 0) {
            closeList();
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        openedByPress = false;
        pressed = true;
        if (index != hot) {
            hot = index;
            invalid();
        }
        return kMouseEventHandled;
    }
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    openList();
    openedByPress = true;
    leftClosedBox = false;
    pressed = true;
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CZKProgramMenu::onMouseMoved(CPoint& where, const int32_t& buttons) // [ui]
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    if (!(buttons & kLButton) || !open) {
        return kMouseEventHandled;
    }
    if (!closedRect.pointInside(where)) {
        leftClosedBox = true;
    }
    const int32_t index = itemAt(where);
    if (index != hot) {
        hot = index;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZKProgramMenu::onMouseUp(CPoint& where, const int32_t&) // [ui]
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    if (!open) {
        return kMouseEventHandled;
    }
    if (openedByPress && !leftClosedBox) {
        // A click on the closed box: the list stays open for the next click.
        openedByPress = false;
        return kMouseEventHandled;
    }
    openedByPress = false;
    remember();
    const int32_t index = itemAt(where);
    closeList();
    invalid();
    choose(index);
    forget();
    return kMouseEventHandled;
}

} // namespace VSTGUI
