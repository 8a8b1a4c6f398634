// The X11 backend against a real X server. The test starts its own Xvfb on a free display and
// skips when none can be started. A plain window stands in for the host's window.
#include "gui_test_support.h"

// Google Test first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace guitest;

namespace {

using morvek2::test::openFds;
using morvek2::test::Xvfb;

const auto* const xvfbEnvironment = ::testing::AddGlobalTestEnvironment(new Xvfb);

int hostErrors = 0;
int countingHandler(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

class X11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Xvfb::display.empty()) {
            GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
        }
        host = XOpenDisplay(Xvfb::display.c_str());
        ASSERT_NE(host, nullptr);
        hostErrors = 0;
        previousHandler = XSetErrorHandler(countingHandler);
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 320, 240, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
    }
    void TearDown() override
    {
        if (!host) {
            return;
        }
        if (parent) {
            XDestroyWindow(host, parent);
        }
        XSync(host, False);
        XSetErrorHandler(previousHandler);
        XCloseDisplay(host);
    }

    int childCount()
    {
        Window root = 0, parentOfParent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XSync(host, False);
        if (!XQueryTree(host, parent, &root, &parentOfParent, &children, &count)) {
            return -1;
        }
        if (children) {
            XFree(children);
        }
        return static_cast<int>(count);
    }
    void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }
    // Idles until `done` holds, as a host's timer would, for at most about two seconds.
    template <typename F> bool idleUntil(CFrame* frame, F done)
    {
        for (int i = 0; i < 200; ++i) {
            frame->idle();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void click(int x, int y, unsigned int button)
    {
        XTestFakeMotionEvent(host, DefaultScreen(host), x, y, CurrentTime);
        XTestFakeButtonEvent(host, button, True, CurrentTime);
        XTestFakeButtonEvent(host, button, False, CurrentTime);
        XFlush(host);
    }

    Display* host = nullptr;
    Window parent = 0;
    XErrorHandler previousHandler = nullptr;
    RecordingEditor editor;
    RecordingListener listener;
};

} // namespace

TEST_F(X11Test, OpensAChildOfTheHostWindowAndClicksReachAControl)
{
    const auto png = makePNG(320, 240, [](int x, int) {
        return x < 160 ? MakeCColor(200, 40, 40) : MakeCColor(40, 40, 200);
    });
    auto* background = new CBitmap(png.data(), png.size());
    CFrame* frame = new CFrame(CRect(0, 0, 320, 240), parentHandle(), &editor);
    frame->setBackground(background);
    background->forget();
    ASSERT_FALSE(frame->isOffscreen());
    ASSERT_NE(frame->getPlatformFrame()->getNativeHandle(), nullptr);
    EXPECT_EQ(childCount(), 1);

    auto* knob = new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr);
    knob->setValue(0.f);
    frame->addView(knob);
    frame->idle();

    click(120, 120, Button1);
    ASSERT_TRUE(idleUntil(frame, [&] { return listener.kinds().find('e') != std::string::npos; }))
        << "the click never reached the knob";
    EXPECT_EQ(listener.kinds().front(), 'b');

    // A whole drag queued before the next idle (a host idling slowly) arrives in one idle.
    listener.events.clear();
    XTestFakeMotionEvent(host, DefaultScreen(host), 120, 120, CurrentTime);
    XTestFakeButtonEvent(host, Button1, True, CurrentTime);
    XTestFakeMotionEvent(host, DefaultScreen(host), 160, 120, CurrentTime);
    XTestFakeMotionEvent(host, DefaultScreen(host), 400, 120, CurrentTime); // outside: captured
    XTestFakeMotionEvent(host, DefaultScreen(host), 180, 120, CurrentTime);
    XTestFakeButtonEvent(host, Button1, False, CurrentTime);
    XSync(host, False);
    ASSERT_TRUE(idleUntil(frame, [&] { return listener.kinds().find('e') != std::string::npos; }));
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-5) << "60 px of drag with 200 px for the range";

    click(120, 120, Button4); // wheel away from the user
    ASSERT_TRUE(idleUntil(frame, [&] { return knob->getValue() > 0.35f; }));
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-5);

    // What the window shows is what was drawn: the background's two halves.
    ASSERT_TRUE(idleUntil(frame, [] { return true; }));
    XImage* image = XGetImage(host, parent, 0, 0, 320, 240, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 320, 240);
    cairo_surface_flush(shot);
    for (int y = 0; y < 240; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(shot) +
                                                y * cairo_image_surface_get_stride(shot));
        for (int x = 0; x < 320; ++x) {
            row[x] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffff;
        }
    }
    cairo_surface_mark_dirty(shot);
    XDestroyImage(image);
    const std::string path = std::string(MORVEK2_GUI_ARTIFACT_DIR) + "/x11_window.png";
    EXPECT_EQ(cairo_surface_write_to_png(shot, path.c_str()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(readSurfacePixel(shot, 10, 10), MakeCColor(200, 40, 40));
    EXPECT_EQ(readSurfacePixel(shot, 300, 230), MakeCColor(40, 40, 200));
    cairo_surface_destroy(shot);

    frame->forget();
    EXPECT_EQ(childCount(), 0);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Test, FiftyOpenCloseCyclesLeaveNoWindowAndNoConnection)
{
    // Warm up once: Xlib and Cairo keep some process-wide state after their first use.
    CFrame* first = new CFrame(CRect(0, 0, 100, 80), parentHandle(), nullptr);
    first->idle();
    first->forget();
    const int fdsBefore = openFds();
    for (int i = 0; i < 50; ++i) {
        CFrame* frame = new CFrame(CRect(0, 0, 100, 80), parentHandle(), nullptr);
        frame->addView(new CKnob(CRect(10, 10, 40, 40), nullptr, 1, nullptr));
        frame->idle();
        ASSERT_EQ(childCount(), 1) << "cycle " << i;
        frame->forget();
        ASSERT_EQ(childCount(), 0) << "cycle " << i;
    }
    EXPECT_EQ(openFds(), fdsBefore);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Test, HostDestroyingItsWindowFirstIsSurvivedQuietly)
{
    const int fdsBefore = openFds();
    CFrame* frame = new CFrame(CRect(0, 0, 100, 80), parentHandle(), nullptr);
    frame->addView(new CKnob(CRect(10, 10, 40, 40), nullptr, 1, nullptr));
    frame->idle();
    XDestroyWindow(host, parent);
    parent = 0;
    XSync(host, False);
    frame->invalid();
    frame->setCursor(kCursorHand);
    frame->idle(); // draws into a window that is gone
    frame->forget();
    EXPECT_EQ(hostErrors, 0) << "no error reached the host's handler";
    EXPECT_EQ(XSetErrorHandler(countingHandler), countingHandler)
        << "the host's handler is back in place";
    EXPECT_EQ(openFds(), fdsBefore);
}

TEST_F(X11Test, AMissingParentWindowLeavesAFrameWithoutAWindow)
{
    const Window bogus = parent + 12345;
    CFrame* frame = new CFrame(CRect(0, 0, 100, 80),
                               reinterpret_cast<void*>(static_cast<uintptr_t>(bogus)), nullptr);
    EXPECT_EQ(frame->getPlatformFrame()->getNativeHandle(), nullptr);
    frame->idle(); // looks for the parent again, quietly
    frame->setCursor(kCursorHand);
    EXPECT_EQ(frame->getPlatformFrame()->getNativeHandle(), nullptr);
    frame->forget();
    EXPECT_EQ(hostErrors, 0);
    EXPECT_EQ(childCount(), 0);
}

TEST_F(X11Test, AParentTheHostHasNotFlushedYetShowsThePictureWithoutAReopen)
{
    // The host makes its window and opens the editor before its connection sent the window to
    // the server (it maps and flushes in its own loop, after the open returned).
    const Window late = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 120, 90, 0, 0, 0);
    const auto png = makePNG(120, 90, [](int x, int) {
        return x < 60 ? MakeCColor(200, 40, 40) : MakeCColor(40, 40, 200);
    });
    auto* background = new CBitmap(png.data(), png.size());
    CFrame* frame = new CFrame(CRect(0, 0, 120, 90),
                               reinterpret_cast<void*>(static_cast<uintptr_t>(late)), &editor);
    frame->setBackground(background);
    background->forget();
    frame->idle();
    XMapWindow(host, late);
    XSync(host, False);

    auto children = [&] {
        Window root = 0, up = 0;
        Window* list = nullptr;
        unsigned int count = 0;
        XSync(host, False);
        if (!XQueryTree(host, late, &root, &up, &list, &count)) {
            return -1;
        }
        if (list) {
            XFree(list);
        }
        return static_cast<int>(count);
    };
    ASSERT_TRUE(idleUntil(frame, [&] { return children() == 1; }))
        << "the frame never made its window on the host's";
    EXPECT_NE(frame->getPlatformFrame()->getNativeHandle(), nullptr);
    auto pixel = [&](int x, int y) {
        XImage* image = XGetImage(host, late, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) {
            return 0ul;
        }
        const unsigned long p = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return p;
    };
    EXPECT_TRUE(idleUntil(frame, [&] { return pixel(10, 10) == 0xc82828ul; }))
        << std::hex << pixel(10, 10);
    EXPECT_EQ(pixel(110, 80), 0x2828c8ul);

    frame->forget();
    EXPECT_EQ(children(), 0);
    XDestroyWindow(host, late);
    XSync(host, False);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Test, TwoWindowsAtOnceCloseInEitherOrder)
{
    const Window secondParent =
        XCreateSimpleWindow(host, DefaultRootWindow(host), 400, 0, 200, 200, 0, 0, 0);
    XMapWindow(host, secondParent);
    XSync(host, False);
    const int fdsBefore = openFds();
    for (int order = 0; order < 2; ++order) {
        CFrame* a = new CFrame(CRect(0, 0, 100, 80), parentHandle(), nullptr);
        CFrame* b =
            new CFrame(CRect(0, 0, 100, 80),
                       reinterpret_cast<void*>(static_cast<uintptr_t>(secondParent)), nullptr);
        a->idle();
        b->idle();
        ASSERT_NE(a->getPlatformFrame()->getNativeHandle(),
                  b->getPlatformFrame()->getNativeHandle());
        EXPECT_EQ(childCount(), 1);
        (order == 0 ? a : b)->forget();
        (order == 0 ? b : a)->idle(); // the survivor keeps working
        (order == 0 ? b : a)->forget();
        EXPECT_EQ(childCount(), 0);
    }
    XDestroyWindow(host, secondParent);
    XSync(host, False);
    EXPECT_EQ(openFds(), fdsBefore);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Test, AHostWindowOnA32BitVisualGetsAnOpaqueChild)
{
    XVisualInfo info{};
    if (!XMatchVisualInfo(host, DefaultScreen(host), 32, TrueColor, &info)) {
        GTEST_SKIP() << "the server offers no 32-bit visual";
    }
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(host, DefaultRootWindow(host), info.visual, AllocNone);
    attributes.border_pixel = 0;
    attributes.background_pixel = 0;
    const Window argbParent =
        XCreateWindow(host, DefaultRootWindow(host), 0, 300, 120, 100, 0, 32, InputOutput,
                      info.visual, CWColormap | CWBorderPixel | CWBackPixel, &attributes);
    XMapWindow(host, argbParent);
    XSync(host, False);

    const auto png = makePNG(120, 100, [](int, int) { return MakeCColor(30, 160, 90); });
    auto* background = new CBitmap(png.data(), png.size());
    CFrame* frame =
        new CFrame(CRect(0, 0, 120, 100),
                   reinterpret_cast<void*>(static_cast<uintptr_t>(argbParent)), nullptr);
    frame->setBackground(background);
    background->forget();
    ASSERT_NE(frame->getPlatformFrame()->getNativeHandle(), nullptr)
        << "the child window was created on the parent's visual";
    for (int i = 0; i < 5; ++i) {
        frame->idle();
    }
    XImage* image = XGetImage(host, argbParent, 60, 50, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    EXPECT_EQ(pixel & 0xffffff, 0x1ea05aul) << "the picture reached the window";
    EXPECT_EQ(pixel >> 24, 0xfful) << "and it is opaque";
    frame->forget();
    XDestroyWindow(host, argbParent);
    XFreeColormap(host, attributes.colormap);
    XSync(host, False);
    EXPECT_EQ(hostErrors, 0);
}
