// A Morvek2 with its editor window opened offscreen, a host callback that records automation,
// and mouse input in window pixels.
#pragma once

#include "editor/CHighlightFrame.h"
#include "editor/CZKControlGrid.h"
#include "editor/Morvek2Editor.h"
#include "gui/platform/offscreen/OffscreenFrame.h"
#include "vst/AEffEditor.h"
#include "vst2/Morvek2.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace edtest {

using namespace VSTGUI;

// What the host heard through audioMasterAutomate, by index and value.
inline std::vector<std::pair<int, float>>& automation()
{
    static std::vector<std::pair<int, float>> calls;
    return calls;
}

// Everything the host heard of edits, in order: 'b' begin, 'v' a value, 'e' end.
struct HostEdit
{
    char kind;
    int index;
};
inline std::vector<HostEdit>& hostEdits()
{
    static std::vector<HostEdit> calls;
    return calls;
}

// How often the plug-in asked the host to read its programs and values again.
inline int& displayUpdates()
{
    static int count = 0;
    return count;
}

// The window sizes the plug-in asked the host for (width, height).
inline std::vector<std::pair<int, int>>& sizeWindowRequests()
{
    static std::vector<std::pair<int, int>> calls;
    return calls;
}

inline VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void*, float opt)
{
    if (opcode == audioMasterAutomate) {
        automation().emplace_back(index, opt);
        hostEdits().push_back({'v', index});
    } else if (opcode == audioMasterBeginEdit) {
        hostEdits().push_back({'b', index});
    } else if (opcode == audioMasterEndEdit) {
        hostEdits().push_back({'e', index});
    } else if (opcode == audioMasterUpdateDisplay) {
        ++displayUpdates();
    } else if (opcode == audioMasterSizeWindow) {
        sizeWindowRequests().emplace_back(index, static_cast<int>(value));
    }
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

struct Rig
{
    Morvek2 plugin{recordingHost};
    Morvek2Editor& editor = *plugin.getGuiEditor();

    Rig()
    {
        automation().clear();
        hostEdits().clear();
        sizeWindowRequests().clear();
        displayUpdates() = 0;
    }

    bool open() { return editor.open(nullptr); }
    CHighlightFrame& frame() { return *editor.getHighlightFrame(); }
    OffscreenFrame& screen()
    {
        return *dynamic_cast<OffscreenFrame*>(editor.getFrame()->getPlatformFrame());
    }
    CControl* control(int tag) { return frame().controlForTag(tag); }

    void press(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        screen().mouseDown(CPoint(x, y), buttons);
    }
    void drag(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        screen().mouseMoved(CPoint(x, y), buttons);
    }
    void release(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        screen().mouseUp(CPoint(x, y), buttons);
    }
    void click(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        press(x, y, buttons);
        release(x, y, buttons);
    }
    // The module button of module m, in window pixels.
    CRect moduleButtonRect(int m)
    {
        CZKControlGrid* grid = editor.getModuleGrid();
        CRect r = grid->childWithTag(Morvek2Editor::kTagModuleButton + m)->getViewSize();
        r.offset(grid->getViewSize().left, grid->getViewSize().top);
        return r;
    }
    void clickModule(int m)
    {
        const CRect r = moduleButtonRect(m);
        click(r.left + 10, r.top + 10);
    }
    float normalised(int index, float working)
    {
        return plugin.getParameterManager().workingToNormalised(index, working);
    }
};

} // namespace edtest
