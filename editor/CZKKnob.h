// Knobs drawn with vector graphics. CZKVKnob is a pie knob with enabled and disabled colours and
// optional steps; CZKmv2VKnob draws a ring of nineteen segments with a label and a value text
// beside it (and optionally a bracket down to its modulation slider); CFxKnob is the editor's
// module knob. Mouse handling is the framework knob's.
#pragma once

#include "gui/CControls.h"

#include <cstdint>
#include <string>

namespace VSTGUI {

class CDezadeduResource;

class CZKVKnob : public CKnob
{
public:
    CZKVKnob(const CRect& size, CControlListener* listener, int32_t tag, CColor enabledOutline,
             CColor enabledFill, CColor disabledOutline, CColor disabledFill);

    // Stepped knobs store the nearest step: floor(s·x + 0.5)/s with s = steps − 1.
    void setValue(float v) override; // [any]
    void bounceValue() override;     // [ui]

    virtual void setEnabled(bool enabled);                        // [ui]
    virtual void setSteps(int32_t n);                             // [ui]
    virtual void setFrameWidth(CCoord width, bool redraw = true); // [ui]
    bool isEnabled() const { return enabled; }
    // Steps − 1; 0 or less is continuous.
    int32_t getStepsMinusOne() const { return stepsMinusOne; }
    CCoord getFrameWidth() const { return frameWidth; }
    CColor getOutlineColour() const { return current.outline; }
    CColor getFillColour() const { return current.fill; }

    void draw(CDrawContext* context) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const int32_t& buttons) override;

    MORVEK2_GUI_TYPE(CZKVKnob, CKnob)

protected:
    struct ColourPair
    {
        CColor outline;
        CColor fill;
    };
    float quantise(float v) const;

    ColourPair enabledPair;
    ColourPair disabledPair;
    ColourPair current;
    CPoint centre;
    CPoint point45;
    bool enabled = true;
    int32_t stepsMinusOne = 0;
    CCoord frameWidth = 1;
};

class CZKmv2VKnob : public CZKVKnob
{
public:
    // Takes a reference on both fonts (either may be null: no text is drawn then).
    CZKmv2VKnob(const CRect& size, CControlListener* listener, int32_t tag, CColor lit, CColor dim,
                CDezadeduResource* labelFont, CDezadeduResource* secondFont, const char* label,
                bool modulated, bool bipolar);
    CZKmv2VKnob(const CZKmv2VKnob& other);
    ~CZKmv2VKnob() override;

    // The text under the label (the parameter's display text and unit).
    virtual void setValueText(const char* text); // [ui]
    // Where the label and value text may draw: the rectangle widened by 1.25 × its width on both
    // sides and moved down 10 pixels.
    virtual void textRect(CRect& rect) const; // [ui]

    // The ring rectangle the segments are drawn on.
    CRect ringRect() const;
    // Whether ring segment i (0..18) shows the lit colour for the current value.
    bool isSegmentLit(int32_t i) const;
    // Everything the knob draws: its rectangle, the text right of it and the bracket on the
    // left. The frame repaints this much whenever the knob changes.
    CRect drawBounds() const;

    const std::string& getLabel() const { return label; }
    const std::string& getValueText() const { return valueText; }
    int32_t getLabelWidth() const { return labelWidth; }
    int32_t getValueTextWidth() const { return valueTextWidth; }
    bool isModulated() const { return modulated; }
    bool isBipolar() const { return bipolar; }

    void draw(CDrawContext* context) override;                              // [ui]
    void drawRect(CDrawContext* context, const CRect& updateRect) override; // [ui]
    bool checkUpdate(const CRect& updateRect) const override;               // [ui]
    void invalid() override { invalidRect(drawBounds()); }                  // [ui]
    CRect drawingBounds() const override { return drawBounds(); }

    MORVEK2_GUI_TYPE(CZKmv2VKnob, CZKVKnob)

protected:
    static constexpr int32_t kSegments = 19;

    CDezadeduResource* labelFont = nullptr;
    CDezadeduResource* secondFont = nullptr;
    std::string label;
    std::string valueText = "--";
    int32_t labelWidth = 0;
    int32_t valueTextWidth = 0;
    bool modulated;
    bool bipolar;
};

class CFxKnob : public CZKmv2VKnob
{
public:
    using CZKmv2VKnob::CZKmv2VKnob;
    MORVEK2_GUI_TYPE(CFxKnob, CZKmv2VKnob)
};

} // namespace VSTGUI
