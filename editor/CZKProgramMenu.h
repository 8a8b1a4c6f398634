// The program list of the title strip: a pop-up list in the look of CZKVPopupMenu whose items are
// laid out in columns, since a long list in one column would not fit the window. It opens upwards
// from the closed box (shifted to stay inside the window).
//
// Two ways to pick: press, move onto an item and release (as with the other pop-up lists); or
// click to open, then click an item. A press outside the open list closes it and picks nothing.
#pragma once

#include "editor/CZKVPopupMenu.h"

namespace VSTGUI {

class CZKProgramMenu : public CZKVPopupMenu
{
public:
    // `rowsPerColumn` items go into each column of the open list.
    CZKProgramMenu(const CRect& size, CControlListener* listener, int32_t tag,
                   CDezadeduResource* font, CColor frameColour, CColor closedBackground,
                   CColor openBackground, CColor selectionBackground, CColor textColour,
                   CColor selectedTextColour, int32_t rowsPerColumn);

    // Selects item `index` (kept within the list) without telling the listener.
    void setSelectedIndex(int32_t index); // [ui]
    // Replaces the text of item `index`; false when it is out of range or already has it.
    bool setItemText(int32_t index, const char* text); // [ui]
    const char* getItemText(int32_t index) const;      // [ui] null when out of range

    void openList() override;  // [ui]
    void closeList() override; // [ui]
    // The item under `where` (parent coordinates) in the open list, or -1.
    int32_t itemAt(const CPoint& where) const; // [ui]
    // The band of item `index` in the open list (parent coordinates).
    CRect itemRect(int32_t index) const; // [ui]
    int32_t getRowsPerColumn() const { return rows; }
    int32_t getHotItem() const { return hot; }

    void draw(CDrawContext* context) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

    MORVEK2_GUI_TYPE(CZKProgramMenu, CZKVPopupMenu)

private:
    void drawItem(CDrawContext* context, const CRect& band, int32_t index, bool lit); // [ui]
    // Takes item `index` as the choice: the listener hears of it if it differs.
    void choose(int32_t index); // [ui]

    int32_t rows;
    int32_t hot = -1;           // the item under the pointer while the list is open
    bool openedByPress = false; // the press that opened the list has not been released yet
    bool leftClosedBox = false; // since that press the pointer has left the closed box
};

} // namespace VSTGUI
