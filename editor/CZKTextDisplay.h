// A text display drawn with a bitmap font: the step count of the lane panel.
#pragma once

#include "editor/CCharacterDisplay.h"

#include <cstdint>

namespace VSTGUI {

class CDezadeduResource;

class CZKTextDisplay : public CCharacterDisplay
{
public:
    // Takes a reference on the font (which may be null: the display then draws nothing) and sets
    // its alpha to 255; the text starts as "--", left-aligned, and the view is opaque.
    CZKTextDisplay(const CRect& size, CDezadeduResource* font);
    CZKTextDisplay(const CZKTextDisplay& other);
    ~CZKTextDisplay() override;

    // 255 makes the display opaque, any other value transparent; the font draws with `alpha`.
    virtual void setTextAlpha(uint8_t alpha);           // [ui]
    uint8_t getTextAlpha() const { return textAlpha; }  // [ui]
    CDezadeduResource* getFont() const { return font; } // [ui]

    void draw(CDrawContext* context) override; // [ui]

    MORVEK2_GUI_TYPE(CZKTextDisplay, CCharacterDisplay)

private:
    CDezadeduResource* font = nullptr;
    uint8_t textAlpha = 255;
};

} // namespace VSTGUI
