// A control that stands for several tags at once and reports a change of one of them through
// the listener's tagValueChanged instead of valueChanged.
#pragma once

#include "gui/CControl.h"

#include <cstdint>
#include <vector>

namespace VSTGUI {

class CZKControl : public CControl
{
public:
    using CControl::CControl;

    // The base ignores the tag and sets or reads the control's own value.
    virtual void setTagValue(int32_t tag, float value); // [ui]
    virtual float getTagValue(int32_t tag) const;       // [ui]
    // Tells a CZKControlListener (only that kind of listener hears tag values).
    virtual void notifyTagValue(int32_t tag, float value); // [ui]
    // True for the control's own tag, unless that is 0.
    virtual bool hasTag(int32_t tag) const;
    // Appends every tag the control stands for.
    virtual void getTags(std::vector<int32_t>& tags) const;

    MORVEK2_GUI_TYPE(CZKControl, CControl)
};

} // namespace VSTGUI
