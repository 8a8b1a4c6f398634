#include "editor/CZKVPopupMenu.h"

#include "editor/CDezadeduResource.h"
#include "gui/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

CZKVPopupMenu::CZKVPopupMenu(const CRect& size_, CControlListener* listener_, int32_t tag_,
                             CDezadeduResource* font_, CColor frameColour_,
                             CColor closedBackground_, CColor openBackground_,
                             CColor selectionBackground_, CColor textColour_,
                             CColor selectedTextColour_)
    : CControl(size_, listener_, tag_), closedRect(size_), openRect(size_),
      frameColour(frameColour_), closedBackground(closedBackground_),
      openBackground(openBackground_), selectionBackground(selectionBackground_),
      textColour(textColour_), selectedTextColour(selectedTextColour_), font(font_),
      itemHeight(size_.height())
{
    if (font) {
        font->remember();
    }
}

CZKVPopupMenu::CZKVPopupMenu(const CZKVPopupMenu& other)
    : CControl(other), items(other.items), closedRect(other.closedRect), openRect(other.openRect),
      frameColour(other.frameColour), closedBackground(other.closedBackground),
      openBackground(other.openBackground), selectionBackground(other.selectionBackground),
      textColour(other.textColour), selectedTextColour(other.selectedTextColour), font(other.font),
      itemHeight(other.itemHeight), pendingValue(other.pendingValue),
      selected(other.getSelectedIndex())
{
    // A copy starts closed, whatever the original was doing.
    size = closedRect;
    mouseableArea = closedRect;
    if (font) {
        font->remember();
    }
}

CZKVPopupMenu::~CZKVPopupMenu()
{
    if (font) {
        font->forget();
    }
}

void CZKVPopupMenu::selectFromValue(float v)
{
    const auto n = static_cast<int32_t>(items.size());
    int32_t index = 0;
    if (n > 0 && std::isfinite(v)) {
        const float scaled = std::clamp(static_cast<float>(n) * v, 0.f, static_cast<float>(n));
        index = std::min(static_cast<int32_t>(scaled), n - 1);
    }
    selected.store(index, std::memory_order_relaxed);
}

void CZKVPopupMenu::setValue(float v)
{
    CControl::setValue(v);
    selectFromValue(v);
}

void CZKVPopupMenu::addItem(const char* text)
{
    items.emplace_back(text ? text : "");
    openRect.bottom = openRect.top + getItemCount() * itemHeight;
}

void CZKVPopupMenu::setItems(const std::vector<std::string>& list)
{
    items = list;
    openRect.bottom = openRect.top + getItemCount() * itemHeight;
}

void CZKVPopupMenu::getItems(std::vector<std::string>& list) const
{
    list = items;
}

void CZKVPopupMenu::clearItems()
{
    items.clear();
    selected.store(0, std::memory_order_relaxed);
    openRect = size;
}

void CZKVPopupMenu::openList()
{
    open = true;
    CRect r = closedRect;
    r.top = closedRect.top - getSelectedIndex() * itemHeight;
    r.bottom = r.top + getItemCount() * itemHeight;
    if (pParentView) {
        const CCoord parentHeight = pParentView->getViewSize().height();
        if (r.bottom > parentHeight) {
            r.offset(0, parentHeight - r.bottom);
        } else if (r.top < 0) {
            r.offset(0, -r.top);
        }
    }
    openRect = r;
    setViewSize(openRect);
    setMouseableArea(openRect);
}

void CZKVPopupMenu::closeList()
{
    open = false;
    if (pParentView) {
        pParentView->invalidRect(openRect);
    }
    setViewSize(closedRect);
    setMouseableArea(closedRect);
}

void CZKVPopupMenu::itemTextPosition(CPoint& point, const char* text) const
{
    const int32_t textWidth = font ? font->stringWidth(text) : 0;
    const int32_t fontHeight = font ? font->getHeight() : 0;
    point.x = size.left + (size.width() - textWidth) / 2;
    point.y = size.top + (itemHeight - fontHeight) / 2;
}

void CZKVPopupMenu::draw(CDrawContext* context)
{
    if (!bVisible) {
        return;
    }
    context->setFrameColor(frameColour);
    context->setLineWidth(1);
    const int32_t selection = getSelectedIndex();
    if (!open) {
        context->setFillColor(closedBackground);
        context->drawRect(size, kDrawFilledAndStroked);
        if (selection < getItemCount() && font) {
            const char* text = items[static_cast<std::size_t>(selection)].c_str();
            CPoint at;
            itemTextPosition(at, text);
            context->setFrameColor(selectedTextColour);
            font->drawString(context, at, text, kDezadeduLeft);
        }
    } else {
        context->setFillColor(openBackground);
        context->drawRect(size, kDrawFilledAndStroked);
        context->setFillColor(selectionBackground);
        context->fillRect(CRect(size.left + 1, size.top + itemHeight * selection + 1,
                                size.right - 1, size.top + itemHeight * (selection + 1) - 1));
        if (font) {
            for (int32_t i = 0; i < getItemCount(); ++i) {
                const char* text = items[static_cast<std::size_t>(i)].c_str();
                CPoint at;
                itemTextPosition(at, text);
                at.offset(0, i * itemHeight);
                context->setFrameColor(i == selection ? selectedTextColour : textColour);
                font->drawString(context, at, text, kDezadeduLeft);
            }
        }
    }
    setDirty(false);
}

CMouseEventResult CZKVPopupMenu::onMouseDown(CPoint&, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    if (open) {
        closeList();
    } else {
        changed = false;
        openList();
    }
    pressed = true;
    return kMouseEventHandled;
}

CMouseEventResult CZKVPopupMenu::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    const int32_t n = getItemCount();
    // The value is the item's share of count − 1, so a list of fewer than two items has none.
    if (!(buttons & kLButton) || !open || n < 2 || itemHeight <= 0) {
        return kMouseEventHandled;
    }
    if (where.x < size.left || where.x > size.right || where.y < size.top ||
        where.y > size.bottom) {
        return kMouseEventHandled;
    }
    const float position =
        static_cast<float>(where.y - size.top) / static_cast<float>(itemHeight) + 0.5f;
    const int32_t k = std::min(static_cast<int32_t>(position), n - 1);
    if (k != getSelectedIndex()) {
        selected.store(k, std::memory_order_relaxed);
        changed = true;
        pendingValue = static_cast<float>(k) / static_cast<float>(n - 1);
        // The band follows the pointer while the list is open.
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZKVPopupMenu::onMouseUp(CPoint&, const int32_t&)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    remember();
    if (open) {
        closeList();
        invalid();
    }
    if (changed) {
        changed = false;
        // The pick is one complete edit for the host: begin, the new value, end.
        beginEdit();
        value = pendingValue;
        valueChanged();
        invalid();
        endEdit();
    }
    forget();
    return kMouseEventHandled;
}

} // namespace VSTGUI
