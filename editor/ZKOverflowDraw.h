// Containers clip each child to its own rectangle. A few of the editor's controls draw a little
// beyond it on purpose (a knob's caption and the bracket towards its slider, the length bracket's
// end marker), so they widen the clip to the area they really cover, within what the current
// repaint may touch, while their rectangle and mouse area stay as laid out.
#pragma once

#include "gui/CDrawContext.h"
#include "gui/CView.h"

namespace VSTGUI::zk {

// Draws `view` with the clip opened to `bounds` (parent coordinates).
inline void drawWithOverflow(CView& view, CDrawContext* context, const CRect& bounds) // [ui]
{
    if (!context) {
        return;
    }
    const CRect saved = context->getBaseClip();
    CRect device = bounds;
    device.offset(context->getOffset().x, context->getOffset().y);
    context->setBaseClip(device);
    view.draw(context);
    context->setBaseClip(saved);
}

} // namespace VSTGUI::zk
