// A control listener that also hears changes of single tags: a control standing for several
// tags (one per step) or the module row reports which tag changed and its new value.
#pragma once

#include "gui/CControl.h"

#include <cstdint>

namespace VSTGUI {

class CZKControlListener : public CControlListener
{
public:
    virtual void tagValueChanged(int32_t tag, float value) = 0; // [ui]
    // The pointer, with no button held, came over `control` (null: over no control).
    virtual void controlHovered(CControl* /*control*/) {} // [ui]
};

} // namespace VSTGUI
