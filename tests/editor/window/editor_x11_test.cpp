// The editor of a Morvek2 in a real X server, on its own frame's Display connection: what an idle
// costs the server when nothing changed. The test starts its own Xvfb and skips when none can be
// started.
#include "editor/CZKTextDisplay.h"
#include "editor/Morvek2Editor.h"
#include "gui/platform/x11/X11Frame.h"
#include "vst2/Morvek2.h"

// Google Test before Xlib: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

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

namespace {

std::vector<std::pair<int, int>> sizeRequests;

VstIntPtr VSTCALLBACK sizeRecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                        void*, float)
{
    if (opcode == audioMasterSizeWindow) {
        sizeRequests.emplace_back(index, static_cast<int>(value));
        return 1;
    }
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

} // namespace

namespace {

// Takes the desktop's resources off the screen again however the test ends, so that the tests
// after it see an unscaled desktop.
struct ResourcesOnScreen
{
    Display* display;
    ~ResourcesOnScreen()
    {
        XDeleteProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER);
        XSync(display, False);
    }
};

} // namespace

// A desktop that announces its scale through Xft.dpi: the window, the size the host hears and
// the pointer all follow it, while the controls keep their 647 x 447 layout.
TEST_F(EditorX11, WindowFollowsTheDesktopScaleAnnouncedByXftDpi)
{
    struct Row
    {
        const char* resources;
        int width, height;
        double scale;
    };
    const Row rows[] = {{"Xft.dpi:\t192\n", 1294, 894, 2.0},
                        {"Xft.antialias:\t1\nXft.dpi:\t144\n", 971, 671, 1.5},
                        {"Xft.dpi:\t96\n", 647, 447, 1.0},
                        {"Xft.dpi:\tlarge\n", 647, 447, 1.0}};
    const Window root = DefaultRootWindow(host);
    const ResourcesOnScreen cleanup{host};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.resources);
        // What xrdb -merge leaves on the screen; a frame's new connection reads it at open.
        XChangeProperty(host, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(row.resources),
                        static_cast<int>(std::strlen(row.resources)));
        XSync(host, False);
        sizeRequests.clear();
        Morvek2 plugin{sizeRecordingHost};
        Morvek2Editor& editor = *plugin.getGuiEditor();
        ASSERT_TRUE(editor.open(parentHandle()));
        ERect* rect = nullptr;
        ASSERT_TRUE(editor.getRect(&rect));
        EXPECT_EQ(rect->right - rect->left, row.width);
        EXPECT_EQ(rect->bottom - rect->top, row.height);
        if (row.scale == 1.0) {
            EXPECT_TRUE(sizeRequests.empty());
        } else {
            ASSERT_EQ(sizeRequests.size(), 1u);
            EXPECT_EQ(sizeRequests[0], std::make_pair(row.width, row.height));
        }
        const auto window = static_cast<Window>(
            reinterpret_cast<uintptr_t>(editor.getFrame()->getPlatformFrame()->getNativeHandle()));
        XWindowAttributes attributes{};
        ASSERT_NE(XGetWindowAttributes(host, window, &attributes), 0);
        EXPECT_EQ(attributes.width, row.width);
        EXPECT_EQ(attributes.height, row.height);
        EXPECT_EQ(editor.getFrame()->getViewSize().width(), Morvek2Editor::kWidth);

        // A click at the scaled position of the Active switch (509, 324 .. 549, 360) flips it.
        const float active = plugin.getParameter(92);
        for (const int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.display = host;
            event.xbutton.window = window;
            event.xbutton.root = root;
            event.xbutton.x = static_cast<int>(529 * row.scale);
            event.xbutton.y = static_cast<int>(342 * row.scale);
            event.xbutton.button = Button1;
            event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
            event.xbutton.same_screen = True;
            XSendEvent(host, window, False, NoEventMask, &event);
        }
        XSync(host, False);
        for (int i = 0; i < 50 && plugin.getParameter(92) == active; ++i) {
            editor.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_NE(plugin.getParameter(92), active);
        editor.close();
    }
}
