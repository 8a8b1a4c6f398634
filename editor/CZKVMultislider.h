// Step editors over a whole lane: CZKVMultislider shows one value per step as a stem with a round
// handle and lets a drag draw values across the steps; CZKVMultibutton shows on/off steps as
// boxes, a click toggles one and a drag paints the same state over further steps. Steps beyond
// the lane's length are drawn in the disabled colours and cannot be edited; the playing step is
// highlighted.
#pragma once

#include "editor/CZKControl.h"

#include <array>
#include <cstdint>

namespace VSTGUI {

class CZKVMultislider : public CZKControl
{
public:
    static constexpr int16_t kMaxSteps = 32;
    // Style bits.
    static constexpr int32_t kSideBySide = 0x02; // the width is shared among the steps
    static constexpr int32_t kTopIsOne = 0x40;   // value 1 at the top
    static constexpr int32_t kBipolar = 0x2000;  // stems from the centre (implies kTopIsOne)

    CZKVMultislider(const CRect& size, CControlListener* listener, int32_t tag, CColor gridColour,
                    CColor stepColour, CColor disabledGridColour, CColor disabledStepColour,
                    CColor highlightColour);

    // Every step takes the value.
    void setValue(float v) override; // [ui]

    virtual void drawStep(CDrawContext* context, int32_t step, const CRect& stepRect,
                          const CRect& handleRect); // [ui]
    virtual void drawCurrentStep(CDrawContext* context, int32_t step,
                                 const CRect& stepRect); // [ui]
    // Per-step access; indices outside 0..count−1 are ignored (getters answer 0 or false).
    virtual void setStepValue(int32_t step, float value);      // [ui]
    virtual float getStepValue(int32_t step) const;            // [ui]
    virtual void setStepDisabled(int32_t step, bool disabled); // [ui]
    virtual bool isStepDisabled(int32_t step) const;           // [ui]
    // Steps 0..n−1 enabled, the rest disabled.
    virtual void setLength(int32_t n);                       // [ui]
    virtual void setStepCurrent(int32_t step, bool current); // [ui]
    // Highlights step p alone; a position outside the steps leaves the highlight as it was.
    virtual void setPlayPosition(int32_t p);        // [ui]
    virtual bool isStepCurrent(int32_t step) const; // [ui]
    virtual void setStepColour(CColor c);           // [ui]
    virtual void setGridColour(CColor c);           // [ui]
    virtual void setHighlightColour(CColor c);      // [ui]
    virtual void setDisabledStepColour(CColor c);   // [ui]
    virtual void setDisabledGridColour(CColor c);   // [ui]
    virtual CColor getStepColour() const { return stepColour; }
    virtual CColor getGridColour() const { return gridColour; }
    virtual CColor getDisabledStepColour() const { return disabledStepColour; }
    virtual CColor getDisabledGridColour() const { return disabledGridColour; }
    virtual void setStyle(int32_t flags); // [ui]
    // The step under the point (parent coordinates), or −1.
    virtual int16_t stepAt(const CPoint& where) const;
    virtual CRect stepRect(int32_t step) const;
    virtual CRect handleRect(int32_t step, const CRect& stepRect) const;
    // The value the pointer's height stands for, 0..1.
    virtual float valueAt(int32_t step, const CPoint& where) const;

    // Tags tag .. tag + count − 1.
    void getTags(std::vector<int32_t>& tags) const override;
    int16_t getStepCount() const { return stepCount; }
    int32_t getStyle() const { return style; }
    CColor getHighlightColour() const { return highlightColour; }
    CCoord getStepWidth() const { return stepWidth; }
    CCoord getHandleHeight() const { return handleHeight; }

    void draw(CDrawContext* context) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

    MORVEK2_GUI_TYPE(CZKVMultislider, CZKControl)

protected:
    struct Step
    {
        float value = 0.f;
        uint8_t disabled = 0;
        uint8_t current = 0;
    };
    bool validStep(int32_t step) const { return step >= 0 && step < stepCount; }
    CColor stemColour(int32_t step) const;
    CColor edgeColour(int32_t step) const;

    int16_t stepCount = kMaxSteps;
    std::array<Step, kMaxSteps> steps{};
    int32_t style = kSideBySide | kTopIsOne;
    CColor gridColour;
    CColor stepColour;
    CColor disabledGridColour;
    CColor disabledStepColour;
    CColor highlightColour;
    CCoord width;
    CCoord height;
    CCoord stepWidth;
    CCoord stepHeight;
    CCoord handleWidth;
    CCoord handleHeight;
    bool pressed = false;
};

class CZKVMultibutton : public CZKVMultislider
{
public:
    using CZKVMultislider::CZKVMultislider;

    // Step i on (1) when the value is above 0.5, else off (0).
    virtual void setStepOn(int32_t step, float value); // [ui]
    virtual void setStepOn(int32_t step, bool on);     // [ui]
    float getPaintValue() const { return paintValue; }

    void drawStep(CDrawContext* context, int32_t step, const CRect& stepRect,
                  const CRect& handleRect) override; // [ui]
    void drawCurrentStep(CDrawContext* context, int32_t step,
                         const CRect& stepRect) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;

    MORVEK2_GUI_TYPE(CZKVMultibutton, CZKVMultislider)

protected:
    float paintValue = 0.f;
    // A drag paints only when its press landed on an enabled step.
    bool painting = false;
};

} // namespace VSTGUI
