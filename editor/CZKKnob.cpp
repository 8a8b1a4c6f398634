#include "editor/CZKKnob.h"

#include "editor/CDezadeduResource.h"
#include "editor/ZKOverflowDraw.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

// ------------------------------------------------------------------------------------- CZKVKnob

CZKVKnob::CZKVKnob(const CRect& size_, CControlListener* listener_, int32_t tag_,
                   CColor enabledOutline, CColor enabledFill, CColor disabledOutline,
                   CColor disabledFill)
    : CKnob(size_, listener_, tag_, nullptr), enabledPair{enabledOutline, enabledFill},
      disabledPair{disabledOutline, disabledFill}, current(enabledPair)
{
    centre = CPoint((size.left + size.right) / 2, (size.top + size.bottom) / 2);
    const double radius = std::min(size.width(), size.height()) / 2.0;
    const double a = 45.0 * 3.14159265358979323846 / 180.0;
    point45 = CPoint(centre.x + static_cast<CCoord>(radius * std::cos(a)),
                     centre.y + static_cast<CCoord>(radius * std::sin(a)));
}

float CZKVKnob::quantise(float v) const
{
    const int32_t s = stepsMinusOne;
    if (s <= 0 || !std::isfinite(v)) {
        return v;
    }
    const float sf = static_cast<float>(s);
    return std::floor(sf * v + 0.5f) / sf;
}

void CZKVKnob::setValue(float v)
{
    CControl::setValue(quantise(v));
}

void CZKVKnob::bounceValue()
{
    CControl::bounceValue();
    value = quantise(value);
}

void CZKVKnob::setEnabled(bool flag)
{
    if (flag == enabled) {
        return;
    }
    enabled = flag;
    current = enabled ? enabledPair : disabledPair;
    setDirty(true);
}

void CZKVKnob::setSteps(int32_t n)
{
    stepsMinusOne = n - 1;
}

void CZKVKnob::setFrameWidth(CCoord w, bool redraw)
{
    frameWidth = std::max<CCoord>(w, 0);
    if (redraw) {
        setDirty(true);
    }
}

void CZKVKnob::draw(CDrawContext* context)
{
    CRect clip = size;
    clip.inset(-frameWidth, -frameWidth);
    context->setClipRect(clip);
    context->setDrawMode(kAntialias);
    context->setFillColor(current.fill);
    context->drawPie(size, 129.f, 129.f + 270.f * normalizedValue() + 6.f, kDrawFilled);
    context->setFrameColor(current.outline);
    context->setLineWidth(frameWidth);
    context->drawEllipse(size, kDrawStroked);
    context->resetClipRect();
    setDirty(false);
}

CMouseEventResult CZKVKnob::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!enabled) {
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return CKnob::onMouseDown(where, buttons);
}

bool CZKVKnob::onWheel(const CPoint& where, const float& distance, const int32_t& buttons)
{
    if (!enabled) {
        return true;
    }
    if (stepsMinusOne <= 0) {
        return CKnob::onWheel(where, distance, buttons);
    }
    if (!std::isfinite(distance) || distance == 0.f) {
        return false;
    }
    // A tenth of the range would round back to the same step on the way down, so a stepped knob
    // moves by whole steps: one per notch, at least one.
    float notches = std::round(distance);
    if (notches == 0.f) {
        notches = distance > 0.f ? 1.f : -1.f;
    }
    const float before = value;
    value = quantise(before) + notches / static_cast<float>(stepsMinusOne);
    bounceValue();
    if (value != before) {
        const bool ownEdit = !editing;
        remember();
        if (ownEdit) {
            beginEdit();
        }
        valueChanged();
        invalid();
        if (ownEdit) {
            endEdit();
        }
        forget();
    }
    return true;
}

// ---------------------------------------------------------------------------------- CZKmv2VKnob

CZKmv2VKnob::CZKmv2VKnob(const CRect& size_, CControlListener* listener_, int32_t tag_, CColor lit,
                         CColor dim, CDezadeduResource* labelFont_, CDezadeduResource* secondFont_,
                         const char* label_, bool modulated_, bool bipolar_)
    : CZKVKnob(size_, listener_, tag_, lit, dim, lit, dim), labelFont(labelFont_),
      secondFont(secondFont_), label(label_ ? label_ : ""), modulated(modulated_), bipolar(bipolar_)
{
    if (labelFont) {
        labelFont->remember();
        labelWidth = labelFont->stringWidth(label.c_str());
        valueTextWidth = labelFont->stringWidth(valueText.c_str());
    }
    if (secondFont) {
        secondFont->remember();
    }
}

CZKmv2VKnob::CZKmv2VKnob(const CZKmv2VKnob& other)
    : CZKVKnob(other), labelFont(other.labelFont), secondFont(other.secondFont), label(other.label),
      valueText(other.valueText), labelWidth(other.labelWidth),
      valueTextWidth(other.valueTextWidth), modulated(other.modulated), bipolar(other.bipolar)
{
    if (labelFont) {
        labelFont->remember();
    }
    if (secondFont) {
        secondFont->remember();
    }
}

CZKmv2VKnob::~CZKmv2VKnob()
{
    if (labelFont) {
        labelFont->forget();
    }
    if (secondFont) {
        secondFont->forget();
    }
}

void CZKmv2VKnob::setValueText(const char* text)
{
    if (valueText == (text ? text : "")) {
        return;
    }
    valueText = text ? text : "";
    valueTextWidth = labelFont ? labelFont->stringWidth(valueText.c_str()) : 0;
    CRect r;
    textRect(r);
    invalidRect(r);
    setDirty(true);
}

void CZKmv2VKnob::textRect(CRect& r) const
{
    r = size;
    const auto grow = static_cast<CCoord>(1.25 * size.width());
    r.left -= grow;
    r.right += grow;
    r.offset(0, 10);
}

CRect CZKmv2VKnob::ringRect() const
{
    CRect r = size;
    r.inset(frameWidth, frameWidth);
    const auto dx = static_cast<CCoord>(0.12 * r.width());
    const auto dy = static_cast<CCoord>(0.12 * r.height());
    r.inset(dx, dy);
    return r;
}

bool CZKmv2VKnob::isSegmentLit(int32_t i) const
{
    const float n = normalizedValue() * 18.f + 1.f;
    const auto k = static_cast<int32_t>(n);
    if (!bipolar) {
        return i < k;
    }
    if (k > 9) {
        return i >= 9 && i <= k - 1;
    }
    return i >= k - 1 && i <= 9;
}

CRect CZKmv2VKnob::drawBounds() const
{
    CRect r = size;
    if (labelFont) {
        // The two lines of text, a pixel wider for glyphs that hang left of the pen, within the
        // area the text is clipped to.
        const CCoord textWidth = std::max(labelWidth, valueTextWidth);
        CRect text(size.left + 29, size.bottom - 20, size.left + 31 + textWidth,
                   size.bottom - 10 + labelFont->getHeight());
        CRect limit;
        textRect(limit);
        text.bound(limit);
        r.unite(text);
    }
    if (modulated) {
        r.unite(CRect(size.left - 10, size.top, size.left, size.bottom + 15));
    }
    return r;
}

bool CZKmv2VKnob::checkUpdate(const CRect& updateRect) const
{
    return updateRect.rectOverlap(drawBounds());
}

void CZKmv2VKnob::drawRect(CDrawContext* context, const CRect&)
{
    zk::drawWithOverflow(*this, context, drawBounds());
}

void CZKmv2VKnob::draw(CDrawContext* context)
{
    if (pBackground) {
        pBackground->draw(context, size);
    }
    context->setDrawMode(kAntialias);

    const CRect ring = ringRect();
    context->setLineWidth(12);
    for (int32_t i = 0; i < kSegments; ++i) {
        context->setFrameColor(isSegmentLit(i) ? current.outline : current.fill);
        const float start = 90.f + 14.5f * static_cast<float>(i);
        context->drawArc(ring, start, start + 8.f, kDrawStroked);
    }

    if (modulated) {
        const CCoord c = size.top + (size.bottom - size.top) / 2;
        context->setLineWidth(2);
        context->setFrameColor(current.fill);
        context->setClipRect(CRect(size.left - 10, c, size.left - 1, size.bottom + 15));
        context->drawLine(CPoint(size.left - 9, c + 9), CPoint(size.left - 9, c + 26));
        context->drawArc(CRect(size.left - 9, c, size.left + 8, c + 18), 180.f, 270.f);
        context->drawArc(CRect(size.left - 9, c + 17, size.left + 8, c + 35), 90.f, 180.f);
        context->resetClipRect();
    }

    if (labelFont) {
        CRect text;
        textRect(text);
        context->setClipRect(text);
        labelFont->drawString(context, CPoint(size.left + 30, size.bottom - 20), label.c_str(),
                              kDezadeduLeft);
        labelFont->drawString(context, CPoint(size.left + 30, size.bottom - 10), valueText.c_str(),
                              kDezadeduLeft);
        context->resetClipRect();
    }
    setDirty(false);
}

} // namespace VSTGUI
