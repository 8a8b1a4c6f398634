// A view that holds a line of text, its character count and its alignment. It draws nothing
// itself; subclasses decide how the text looks.
#pragma once

#include "gui/CView.h"

#include <cstdint>
#include <string>

namespace VSTGUI {

class CCharacterDisplay : public CView
{
public:
    explicit CCharacterDisplay(const CRect& size);

    // Stores the text and marks the view dirty only if it differs from the stored one; the
    // character count becomes the new length either way. Null counts as "".
    virtual void setText(const char* text);        // [ui]
    virtual void setText(const std::string& text); // [ui]
    // Replaces the stored characters from `position` on by `text`, growing the text when it
    // reaches past the end (a gap before `position` is filled with blanks). Negative positions
    // are ignored.
    virtual void overwriteText(const char* text, int32_t position);        // [ui]
    virtual void overwriteText(const std::string& text, int32_t position); // [ui]
    virtual void clearText();                                              // [ui]
    // 0 left, 1 centred, 2 right; other values are ignored. Dirty only when it changes.
    virtual void setAlignment(uint16_t alignment);                     // [ui]
    virtual void setOption(uint16_t option) { this->option = option; } // [ui]
    virtual uint16_t getCount() const { return count; }                // [ui]

    const std::string& getText() const { return text; } // [ui]
    uint16_t getAlignment() const { return alignment; } // [ui]
    uint16_t getOption() const { return option; }       // [ui]

    void draw(CDrawContext* context) override; // [ui]

    MORVEK2_GUI_TYPE(CCharacterDisplay, CView)

protected:
    std::string text;
    uint16_t count = 0;
    uint16_t option = 1;
    uint16_t alignment = 0;
};

} // namespace VSTGUI
