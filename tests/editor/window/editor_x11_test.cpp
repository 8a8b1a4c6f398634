// The editor of a Morvek2 in a real X server, on its own frame's Display connection: what an idle
// costs the server when nothing changed. The test starts its own Xvfb and skips when none can be
// started.
#include "editor/CZKTextDisplay.h"
#include "editor/Morvek2Editor.h"
#include "gui/platform/x11/X11Frame.h"
#include "plugin/Morvek2.h"

// Google Test before Xlib: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <chrono>
#include <thread>

namespace {

using morvek2::test::Xvfb;
using namespace VSTGUI;

const auto* const xvfbEnvironment = ::testing::AddGlobalTestEnvironment(new Xvfb);

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

class EditorX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Xvfb::display.empty()) {
            GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
        }
        host = XOpenDisplay(Xvfb::display.c_str());
        ASSERT_NE(host, nullptr);
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, Morvek2Editor::kWidth,
                                     Morvek2Editor::kHeight, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
    }
    void TearDown() override
    {
        if (!host) {
            return;
        }
        XDestroyWindow(host, parent);
        XSync(host, False);
        XCloseDisplay(host);
    }
    void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }

    Display* host = nullptr;
    Window parent = 0;
};

} // namespace

TEST_F(EditorX11, IdlesWithNothingChangedSendTheServerNothing)
{
    Morvek2 plugin{quietHost};
    Morvek2Editor& editor = *plugin.getGuiEditor();
    ASSERT_TRUE(editor.open(parentHandle()));
    auto* x11 = dynamic_cast<X11Frame*>(editor.getFrame()->getPlatformFrame());
    ASSERT_NE(x11, nullptr);
    Display* display = x11->getDisplay();
    // The first frame, its exposure and anything the server still has to say.
    for (int i = 0; i < 20; ++i) {
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XSync(display, False);
    editor.idle();

    const unsigned long before = NextRequest(display);
    for (int i = 0; i < 100; ++i) {
        editor.idle();
    }
    EXPECT_EQ(NextRequest(display), before);

    // A change is still drawn and sent.
    plugin.setParameter(90, plugin.getParameter(90) < 0.5f ? 0.9f : 0.1f);
    editor.idle();
    EXPECT_GT(NextRequest(display), before);
    editor.close();
}

// The readout follows the real pointer: it reads the control under it and empties when the
// pointer leaves the window.
TEST_F(EditorX11, ReadoutFollowsThePointerAndEmptiesWhenItLeaves)
{
    Morvek2 plugin{quietHost};
    Morvek2Editor& editor = *plugin.getGuiEditor();
    ASSERT_TRUE(editor.open(parentHandle()));
    auto idleUntil = [&](auto done) {
        for (int i = 0; i < 200; ++i) {
            editor.idle();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    CZKTextDisplay* readout = editor.getReadout(Morvek2Editor::kPanelSteps);
    ASSERT_NE(readout, nullptr);
    XWarpPointer(host, None, parent, 0, 0, 0, 0, 320, 178); // the smoothing slider
    XFlush(host);
    EXPECT_TRUE(idleUntil([&] { return readout->getText().rfind("smooth ", 0) == 0; }))
        << readout->getText();
    XWarpPointer(host, None, DefaultRootWindow(host), 0, 0, 0, 0, 760, 560);
    XFlush(host);
    EXPECT_TRUE(idleUntil([&] { return readout->getText().empty(); })) << readout->getText();
    editor.close();
}
