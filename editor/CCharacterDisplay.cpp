#include "editor/CCharacterDisplay.h"

#include <algorithm>

namespace VSTGUI {

namespace {

// Texts longer than this are cut: the count is 16-bit and no display shows more.
constexpr std::size_t kMaxTextLength = 0xFFFF;

} // namespace

CCharacterDisplay::CCharacterDisplay(const CRect& size) : CView(size) {}

void CCharacterDisplay::setText(const char* newText) // [ui]
{
    setText(std::string(newText ? newText : ""));
}

void CCharacterDisplay::setText(const std::string& newText) // [ui]
{
    const std::string cut = newText.substr(0, std::min(newText.size(), kMaxTextLength));
    if (cut != text) {
        text = cut;
        setDirty(true);
    }
    count = static_cast<uint16_t>(cut.size());
}

void CCharacterDisplay::overwriteText(const char* newText, int32_t position) // [ui]
{
    overwriteText(std::string(newText ? newText : ""), position);
}

void CCharacterDisplay::overwriteText(const std::string& newText, int32_t position) // [ui]
{
    if (position < 0 || static_cast<std::size_t>(position) >= kMaxTextLength) {
        return;
    }
    const std::size_t from = static_cast<std::size_t>(position);
    const std::size_t n = std::min(newText.size(), kMaxTextLength - from);
    if (text.size() < from + n) {
        text.resize(from + n, ' ');
    }
    text.replace(from, n, newText, 0, n);
    setDirty(true);
}

void CCharacterDisplay::clearText() // [ui]
{
    text.clear();
    setDirty(true);
}

void CCharacterDisplay::setAlignment(uint16_t newAlignment) // [ui]
{
    if (newAlignment > 2 || newAlignment == alignment) {
        return;
    }
    alignment = newAlignment;
    setDirty(true);
}

void CCharacterDisplay::draw(CDrawContext* /*context*/) // [ui]
{
    setDirty(false);
}

} // namespace VSTGUI
