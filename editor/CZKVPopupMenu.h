// A pop-up list drawn with a bitmap font. Pressing opens the list in place (the selected item
// lies over the control), moving with the button held picks an item, releasing closes the list
// and reports the item picked, if another one was.
#pragma once

#include "gui/CControl.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace VSTGUI {

class CDezadeduResource;

class CZKVPopupMenu : public CControl
{
public:
    // Takes a reference on the font (null draws no text).
    CZKVPopupMenu(const CRect& size, CControlListener* listener, int32_t tag,
                  CDezadeduResource* font, CColor frameColour, CColor closedBackground,
                  CColor openBackground, CColor selectionBackground, CColor textColour,
                  CColor selectedTextColour);
    CZKVPopupMenu(const CZKVPopupMenu& other);
    ~CZKVPopupMenu() override;

    // Stores the value and selects item floor(count × value), kept within the list.
    void setValue(float v) override; // [any]

    virtual void addItem(const char* text);                      // [ui]
    virtual void setItems(const std::vector<std::string>& list); // [ui]
    virtual void getItems(std::vector<std::string>& list) const; // [ui]
    virtual void clearItems();                                   // [ui]
    virtual void openList();                                     // [ui]
    virtual void closeList();                                    // [ui]
    // Where `text` starts inside an item band at the control's top (parent coordinates).
    virtual void itemTextPosition(CPoint& point, const char* text) const; // [ui]

    int32_t getSelectedIndex() const { return selected.load(std::memory_order_relaxed); }
    int32_t getItemCount() const { return static_cast<int32_t>(items.size()); }
    CCoord getItemHeight() const { return itemHeight; }
    CDezadeduResource* getFont() const { return font; }
    bool isOpen() const { return open; }
    const CRect& getClosedRect() const { return closedRect; }
    const CRect& getOpenRect() const { return openRect; }

    void draw(CDrawContext* context) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

    MORVEK2_GUI_TYPE(CZKVPopupMenu, CControl)

protected:
    void selectFromValue(float v);

    std::vector<std::string> items;
    CRect closedRect;
    CRect openRect;
    CColor frameColour;
    CColor closedBackground;
    CColor openBackground;
    CColor selectionBackground;
    CColor textColour;
    CColor selectedTextColour;
    CDezadeduResource* font = nullptr;
    CCoord itemHeight;
    bool open = false;
    bool changed = false;
    bool pressed = false;
    float pendingValue = 0.f;
    // The plug-in may set the value (and so the selection) from its audio thread.
    std::atomic<int32_t> selected{0};
};

} // namespace VSTGUI
