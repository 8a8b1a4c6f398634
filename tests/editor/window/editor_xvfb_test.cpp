// The built module in a real X server: the host library opens the editor as a child of a plain
// window standing in for the host's, XTest clicks pick the Filter page and draw step values, the
// program chunk shows the drawn lane, and a screenshot of the window is kept and compared with a
// checked-in picture (MORVEK2_REGENERATE_GOLDEN=1 rewrites it). The test starts its own Xvfb and
// skips when none can be started.
#include "host/morvek2_host.h"

// Google Test before Xlib: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

// Where Ardour's process states its release; the module reads it to tell Ardour 7 from others
// that answer the same product and vendor version. Exported from this executable (see CMake),
// against the project's hidden default visibility.
namespace ARDOUR {
extern __attribute__((visibility("default"))) const char* revision;
const char* revision = "none";
} // namespace ARDOUR

namespace {

using morvek2::test::openFds;
using morvek2::test::Xvfb;

using morvek2::host::Plugin;

constexpr int kWidth = 647;
constexpr int kHeight = 447;

const auto* const xvfbEnvironment = ::testing::AddGlobalTestEnvironment(new Xvfb);

int hostErrors = 0;
int countingHandler(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

class EditorXvfb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Xvfb::display.empty()) {
            GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
        }
        std::string error;
        plugin = Plugin::load(MORVEK2_MODULE_PATH, error);
        ASSERT_NE(plugin, nullptr) << error;
        plugin->start(44100.0f, 512);
        host = XOpenDisplay(Xvfb::display.c_str());
        ASSERT_NE(host, nullptr);
        hostErrors = 0;
        previousHandler = XSetErrorHandler(countingHandler);
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
    }
    void TearDown() override
    {
        plugin.reset();
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

    void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }
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
    // Idles the editor as a host's timer would, letting the X server catch up in between.
    void idleFor(int rounds)
    {
        for (int i = 0; i < rounds; ++i) {
            XSync(host, False);
            plugin->editorIdle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void motion(int x, int y)
    {
        XTestFakeMotionEvent(host, DefaultScreen(host), x, y, CurrentTime);
    }
    void button(bool down)
    {
        XTestFakeButtonEvent(host, Button1, down ? True : False, CurrentTime);
    }
    void click(int x, int y)
    {
        motion(x, y);
        button(true);
        button(false);
        XSync(host, False);
    }
    float stepValueInChunk(int module, int step)
    {
        const std::vector<uint8_t> chunk = plugin->getChunk(true);
        EXPECT_EQ(chunk.size(), 2024u);
        float v = -1.0f;
        if (chunk.size() == 2024u) {
            std::memcpy(&v, chunk.data() + 400 + 268 * module + 12 + 8 * step, sizeof v);
        }
        return v;
    }
    int16_t pageInChunk()
    {
        const std::vector<uint8_t> chunk = plugin->getChunk(true);
        int16_t page = -1;
        if (chunk.size() == 2024u) {
            std::memcpy(&page, chunk.data() + 2020, sizeof page);
        }
        return page;
    }

    std::unique_ptr<Plugin> plugin;
    Display* host = nullptr;
    Window parent = 0;
    XErrorHandler previousHandler = nullptr;
};

// The window's pixels as an RGB image.
cairo_surface_t* screenshot(Display* display, Window window)
{
    XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) {
        return nullptr;
    }
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_surface_flush(shot);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(shot) +
                                                y * cairo_image_surface_get_stride(shot));
        for (int x = 0; x < kWidth; ++x) {
            row[x] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffff;
        }
    }
    cairo_surface_mark_dirty(shot);
    XDestroyImage(image);
    return shot;
}

// Pixels whose colour differs from the golden picture by more than a little in any channel.
long differingPixels(cairo_surface_t* a, cairo_surface_t* b)
{
    if (cairo_image_surface_get_width(a) != cairo_image_surface_get_width(b) ||
        cairo_image_surface_get_height(a) != cairo_image_surface_get_height(b)) {
        return -1;
    }
    cairo_surface_flush(a);
    cairo_surface_flush(b);
    long count = 0;
    for (int y = 0; y < kHeight; ++y) {
        const auto* ra = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(a) +
                                                           y * cairo_image_surface_get_stride(a));
        const auto* rb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(b) +
                                                           y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < kWidth; ++x) {
            for (int shift = 0; shift < 24; shift += 8) {
                const int ca = static_cast<int>((ra[x] >> shift) & 0xff);
                const int cb = static_cast<int>((rb[x] >> shift) & 0xff);
                if (std::abs(ca - cb) > 6) {
                    ++count;
                    break;
                }
            }
        }
    }
    return count;
}

} // namespace

TEST_F(EditorXvfb, ClicksPickTheFilterPageAndDrawStepsIntoTheProgram)
{
    ASSERT_TRUE(plugin->editorRect().has_value());
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    EXPECT_EQ(childCount(), 1);
    idleFor(5);

    // The Filter button is the second in the row (x 105..151, y 326..351).
    click(128, 338);
    idleFor(10);
    EXPECT_EQ(pageInChunk(), 1);

    // Draw across steps 2..6 of the step value editor, lower at each step.
    motion(43 + 11 * 2 + 5, 70);
    button(true);
    for (int s = 3; s <= 6; ++s) {
        // One idle per step: the window merges motion that piles up between two idles, and a
        // step the pointer skips keeps its value.
        idleFor(1);
        motion(43 + 11 * s + 5, 70 + 10 * (s - 2));
    }
    button(false);
    XSync(host, False);
    idleFor(10);
    for (int s = 2; s <= 6; ++s) {
        const float expected = 1.0f - static_cast<float>(70 + 10 * (s - 2) - 65) / 89.0f;
        EXPECT_NEAR(stepValueInChunk(1, s), expected, 1e-5f) << "step " << s;
    }
    idleFor(5);

    cairo_surface_t* shot = screenshot(host, parent);
    ASSERT_NE(shot, nullptr);
    const std::string artifact = std::string(MORVEK2_EDITOR_ARTIFACT_DIR) + "/editor_xvfb.png";
    EXPECT_EQ(cairo_surface_write_to_png(shot, artifact.c_str()), CAIRO_STATUS_SUCCESS);
    const std::string golden = std::string(MORVEK2_EDITOR_GOLDEN_DIR) + "/editor_xvfb.png";
    const char* regenerate = std::getenv("MORVEK2_REGENERATE_GOLDEN");
    if (regenerate && std::strcmp(regenerate, "1") == 0) {
        std::filesystem::create_directories(MORVEK2_EDITOR_GOLDEN_DIR);
        EXPECT_EQ(cairo_surface_write_to_png(shot, golden.c_str()), CAIRO_STATUS_SUCCESS);
    } else {
        cairo_surface_t* expected = cairo_image_surface_create_from_png(golden.c_str());
        ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS)
            << "no golden picture at " << golden << " (MORVEK2_REGENERATE_GOLDEN=1 makes it)";
        const long differing = differingPixels(shot, expected);
        EXPECT_GE(differing, 0) << "sizes differ";
        // A few pixels of anti-aliasing may differ between Cairo builds; the layout may not.
        EXPECT_LE(differing, kWidth * kHeight / 1000) << "see " << artifact;
        cairo_surface_destroy(expected);
    }
    cairo_surface_destroy(shot);

    plugin->editorClose();
    EXPECT_EQ(childCount(), 0);
    EXPECT_EQ(hostErrors, 0);
}

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

// On a desktop at 192 dots per inch the host hears a window twice the size before opening it,
// and real pointer input at twice a control's position reaches that control.
TEST_F(EditorXvfb, AtXftDpi192TheWindowIsTwiceAsLargeAndClicksMapBack)
{
    const Window root = DefaultRootWindow(host);
    const ResourcesOnScreen cleanup{host};
    const char resources[] = "Xft.dpi:\t192\n";
    XChangeProperty(host, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources),
                    static_cast<int>(sizeof resources - 1));
    XSync(host, False);

    const std::optional<ERect> rect = plugin->editorRect();
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->right - rect->left, 2 * kWidth);
    EXPECT_EQ(rect->bottom - rect->top, 2 * kHeight);
    // The host sizes its window from the rectangle, as hosts do before opening.
    XResizeWindow(host, parent, static_cast<unsigned>(rect->right - rect->left),
                  static_cast<unsigned>(rect->bottom - rect->top));
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    idleFor(5);
    Window root2 = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(host, parent, &root2, &parentOfParent, &children, &count));
    ASSERT_EQ(count, 1u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(host, children[0], &attributes);
    XFree(children);
    EXPECT_EQ(attributes.width, 1294);
    EXPECT_EQ(attributes.height, 894);

    // Step 2 of the VCA lane lies at 70, 70 in the layout (the screen is smaller than the window,
    // so the click stays in the upper left).
    const float neighbour = stepValueInChunk(0, 3);
    click(2 * 70, 2 * 70);
    idleFor(10);
    EXPECT_NEAR(stepValueInChunk(0, 2), 1.0f - 5.0f / 89.0f, 1e-5f);
    EXPECT_EQ(stepValueInChunk(0, 3), neighbour);

    plugin->editorClose();
    EXPECT_EQ(hostErrors, 0);
}

// A drag on the output knob in three hosts: Ardour 7 (as Debian 12's answers) hears the values
// without begin and end edit, Ardour 8 and any other host hear the whole gesture. The host is
// asked who it is once per instance.
TEST_F(EditorXvfb, OutputKnobDragBracketsTheEditExceptInArdour7)
{
    struct HostCase
    {
        const char* product;
        VstIntPtr version;
        const char* release;
        uint64_t edits;
    };
    const HostCase hosts[] = {
        {"Ardour", 900, "7.3.0~ds0-1", 0}, {"Ardour", 900, "8.12", 1}, {"morvek2 host", 1, "", 1}};
    for (const HostCase& h : hosts) {
        SCOPED_TRACE(h.product + std::string(" ") + h.release);
        ARDOUR::revision = h.release;
        morvek2::host::HostConfig config;
        config.product = h.product;
        config.vendorVersion = h.version;
        std::string error;
        plugin = Plugin::load(MORVEK2_MODULE_PATH, error, config);
        ASSERT_NE(plugin, nullptr) << error;
        plugin->start(44100.0f, 512);
        ASSERT_TRUE(plugin->editorOpen(parentHandle()));
        idleFor(5);
        motion(473, 348);
        button(true);
        for (int y = 340; y >= 300; y -= 10) {
            idleFor(1);
            motion(473, y);
        }
        button(false);
        idleFor(10);
        plugin->editorClose();
        EXPECT_GT(plugin->log().count(audioMasterAutomate), 0u);
        EXPECT_EQ(plugin->log().count(audioMasterBeginEdit), h.edits);
        EXPECT_EQ(plugin->log().count(audioMasterEndEdit), h.edits);
        EXPECT_EQ(plugin->log().count(audioMasterGetProductString), 1u);
    }
    ARDOUR::revision = "none";
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(EditorXvfb, HundredOpenCloseCyclesLeaveNoWindowAndNoConnection)
{
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    idleFor(2);
    plugin->editorClose();
    const int fdsBefore = openFds();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(plugin->editorOpen(parentHandle())) << i;
        plugin->editorIdle();
        ASSERT_EQ(childCount(), 1) << "cycle " << i;
        plugin->editorClose();
        ASSERT_EQ(childCount(), 0) << "cycle " << i;
    }
    EXPECT_EQ(openFds(), fdsBefore);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(EditorXvfb, HostCallsInAnyOrder)
{
    // Open twice, rectangle in between, close twice, idle while closed.
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    EXPECT_EQ(childCount(), 1);
    const auto rect = plugin->editorRect();
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->right, kWidth);
    plugin->editorClose();
    plugin->editorClose();
    plugin->editorIdle();
    EXPECT_EQ(childCount(), 0);

    // The host destroys its window before closing the editor.
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    idleFor(2);
    XDestroyWindow(host, parent);
    parent = 0;
    XSync(host, False);
    plugin->editorIdle();
    plugin->editorClose();
    // And the editor still opens in a new window afterwards.
    parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
    ASSERT_TRUE(plugin->editorOpen(parentHandle()));
    EXPECT_EQ(childCount(), 1);
    plugin->editorClose();
    EXPECT_EQ(hostErrors, 0);
}
