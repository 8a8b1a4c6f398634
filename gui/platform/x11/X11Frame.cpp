#include "gui/platform/x11/X11Frame.h"

#include "gui/platform/cairo/CairoDrawDevice.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <algorithm>
#include <cairo-xlib.h>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace VSTGUI {

namespace {

// Xlib's error handler is one per process. While this code talks to the server it installs its
// own, which swallows errors on the frames' own connections and passes any other to the handler
// that was there before; the previous one comes back afterwards.
class XErrorTrap
{
public:
    explicit XErrorTrap(Display* d) : display(d)
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (depth()++ == 0) {
            previous() = XSetErrorHandler(&XErrorTrap::handler);
        }
        ownDisplays().push_back(display);
    }
    ~XErrorTrap()
    {
        // Errors for requests made inside the trap arrive by the time the sync returns. With
        // every request answered already there is nothing to wait for, and an idle that had
        // nothing to do sends the server nothing.
        if (NextRequest(display) - 1 != LastKnownRequestProcessed(display)) {
            XSync(display, False);
        }
        std::lock_guard<std::mutex> lock(mutex());
        auto& list = ownDisplays();
        const auto it = std::find(list.begin(), list.end(), display);
        if (it != list.end()) {
            list.erase(it);
        }
        if (--depth() == 0) {
            XSetErrorHandler(previous());
            previous() = nullptr;
        }
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    static int errorCount() { return errors(); }

private:
    static int handler(Display* d, XErrorEvent* event)
    {
        XErrorHandler chained = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex());
            const auto& list = ownDisplays();
            if (std::find(list.begin(), list.end(), d) != list.end()) {
                ++errors();
                return 0;
            }
            chained = previous();
        }
        return chained ? chained(d, event) : 0;
    }
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static int& depth()
    {
        static int d = 0;
        return d;
    }
    static XErrorHandler& previous()
    {
        static XErrorHandler h = nullptr;
        return h;
    }
    static std::vector<Display*>& ownDisplays()
    {
        static std::vector<Display*> list;
        return list;
    }
    static int& errors()
    {
        static int count = 0;
        return count;
    }

    Display* display;
};

int32_t modifiersFromState(unsigned int state)
{
    int32_t buttons = 0;
    if (state & ShiftMask) {
        buttons |= kShift;
    }
    if (state & ControlMask) {
        buttons |= kControl;
    }
    if (state & Mod1Mask) {
        buttons |= kAlt;
    }
    return buttons;
}

int32_t buttonsFromState(unsigned int state)
{
    int32_t buttons = modifiersFromState(state);
    if (state & Button1Mask) {
        buttons |= kLButton;
    }
    if (state & Button2Mask) {
        buttons |= kMButton;
    }
    if (state & Button3Mask) {
        buttons |= kRButton;
    }
    return buttons;
}

int32_t buttonBit(unsigned int button)
{
    switch (button) {
    case Button1:
        return kLButton;
    case Button2:
        return kMButton;
    case Button3:
        return kRButton;
    default:
        return 0;
    }
}

constexpr unsigned long kDoubleClickMs = 400;
constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            StructureNotifyMask | EnterWindowMask | LeaveWindowMask;

} // namespace

double X11Frame::desktopScale(Display* d)
{
    const char* resources = d ? XResourceManagerString(d) : nullptr;
    if (!resources) {
        return 1.0;
    }
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (!database) {
        return 1.0;
    }
    double dpi = 0.0;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr &&
        value.size > 0) {
        const std::string text(value.addr, value.size);
        char* end = nullptr;
        dpi = std::strtod(text.c_str(), &end);
        if (end == text.c_str()) {
            dpi = 0.0;
        }
    }
    XrmDestroyDatabase(database);
    return dpi > 0.0 ? nearestSupportedScale(dpi / 96.0) : 1.0;
}

double X11Frame::desktopScale()
{
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        return 1.0;
    }
    const double factor = desktopScale(d);
    XCloseDisplay(d);
    return factor;
}

CCoord X11Frame::deviceWidth() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).right;
}

CCoord X11Frame::deviceHeight() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).bottom;
}

X11Frame::X11Frame(IPlatformFrameOwner& owner_, CCoord width_, CCoord height_)
    : owner(owner_), width(std::max<CCoord>(width_, 1)), height(std::max<CCoord>(height_, 1)),
      dirty(CRect(0, 0, width, height)), exposed(CRect(0, 0, width, height))
{}

std::unique_ptr<X11Frame> X11Frame::create(IPlatformFrameOwner& owner, XID parent, CCoord width,
                                           CCoord height, double hostScale)
{
    std::unique_ptr<X11Frame> frame(new X11Frame(owner, width, height));
    if (!frame->open(parent, hostScale)) {
        return nullptr;
    }
    return frame;
}

bool X11Frame::open(XID parentWindow, double hostScale)
{
    // Our own connection: the host's belongs to the host's thread.
    display = XOpenDisplay(nullptr);
    if (!display) {
        return false;
    }
    scale = hostScale > 0.0 ? nearestSupportedScale(hostScale) : desktopScale(display);
    exposed.setBounds(CRect(0, 0, deviceWidth(), deviceHeight()));
    parent = parentWindow;
    // When the host has not flushed its window yet, pumpEvents attaches later.
    attach();
    return true;
}

bool X11Frame::attach()
{
    bool ok = false;
    {
        XErrorTrap trap(display);
        const int before = XErrorTrap::errorCount();
        XWindowAttributes parentAttributes{};
        if (XGetWindowAttributes(display, parent, &parentAttributes) != 0) {
            XSetWindowAttributes attributes{};
            attributes.event_mask = kEventMask;
            attributes.background_pixmap = None; // no flash of a background before the first paint
            attributes.border_pixel = 0;
            window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(deviceWidth()),
                                   static_cast<unsigned>(deviceHeight()), 0, CopyFromParent,
                                   InputOutput, CopyFromParent,
                                   CWEventMask | CWBackPixmap | CWBorderPixel, &attributes);
            XMapWindow(display, window);
            XSync(display, False);
            ok = window != 0 && XErrorTrap::errorCount() == before && createSurfaces();
        }
        if (!ok && window) {
            destroySurfaces();
            XDestroyWindow(display, window);
            window = 0;
        }
    }
    if (!ok) {
        return false;
    }
    // Everything drawn while there was no window is drawn again, and shown whole.
    dirty.add(CRect(0, 0, width, height));
    exposed.add(CRect(0, 0, deviceWidth(), deviceHeight()));
    return true;
}

bool X11Frame::createSurfaces()
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return false;
    }
    backBuffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, deviceWidth(), deviceHeight());
    if (cairo_surface_status(backBuffer) != CAIRO_STATUS_SUCCESS) {
        destroySurfaces();
        return false;
    }
    const Visual* visual = attributes.visual;
    // A 32-bit visual would take the back buffer's unused top byte as alpha; Cairo's Xlib
    // surface writes it properly there.
    const bool directCopy = attributes.depth == 24 && visual->red_mask == 0xff0000 &&
                            visual->green_mask == 0x00ff00 && visual->blue_mask == 0x0000ff;
    if (directCopy) {
        image = XCreateImage(
            display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0,
            reinterpret_cast<char*>(cairo_image_surface_get_data(backBuffer)),
            static_cast<unsigned>(deviceWidth()), static_cast<unsigned>(deviceHeight()), 32,
            cairo_image_surface_get_stride(backBuffer));
        if (image) {
            // The back buffer holds native 32-bit words; Xlib converts if the server differs.
            const uint32_t probe = 1;
            image->byte_order = *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
            gc = XCreateGC(display, window, 0, nullptr);
            return true;
        }
    }
    windowSurface = cairo_xlib_surface_create(display, window, attributes.visual, deviceWidth(),
                                              deviceHeight());
    if (cairo_surface_status(windowSurface) != CAIRO_STATUS_SUCCESS) {
        destroySurfaces();
        return false;
    }
    return true;
}

void X11Frame::destroySurfaces()
{
    if (image) {
        image->data = nullptr; // the pixels belong to the back buffer
        XDestroyImage(image);
        image = nullptr;
    }
    if (gc) {
        XFreeGC(display, gc);
        gc = nullptr;
    }
    if (windowSurface) {
        cairo_surface_finish(windowSurface);
        cairo_surface_destroy(windowSurface);
        windowSurface = nullptr;
    }
    if (backBuffer) {
        cairo_surface_destroy(backBuffer);
        backBuffer = nullptr;
    }
}

X11Frame::~X11Frame()
{
    if (!display) {
        return;
    }
    {
        XErrorTrap trap(display);
        destroySurfaces();
        if (captured) {
            XUngrabPointer(display, CurrentTime);
        }
        // The host may have destroyed its window (and ours with it) already; the trap swallows
        // the BadWindow that destroying it again would cause.
        if (window && !windowGone) {
            XDestroyWindow(display, window);
        }
        if (cursor) {
            XFreeCursor(display, cursor);
        }
    }
    XCloseDisplay(display);
}

void X11Frame::invalidRect(const CRect& rect)
{
    dirty.add(rect);
}

void X11Frame::pumpEvents()
{
    if (!display || (!window && !attach())) {
        return;
    }
    XErrorTrap trap(display);
    // Everything that is waiting, so that a host idling slowly still sees every click and drag.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handleEvent(event);
    }
}

void X11Frame::handleEvent(XEvent& event)
{
    if (event.xany.window != window) {
        return;
    }
    switch (event.type) {
    case Expose: {
        const XExposeEvent& e = event.xexpose;
        exposed.add(CRect(e.x, e.y, e.x + e.width, e.y + e.height));
        break;
    }
    case ButtonPress: {
        const XButtonEvent& e = event.xbutton;
        const CPoint where(e.x, e.y);
        const int32_t modifiers = modifiersFromState(e.state);
        if (e.button == Button4 || e.button == Button5) {
            owner.platformOnMouseWheel(devicePointToLayout(where, scale),
                                       e.button == Button4 ? 1.f : -1.f, modifiers);
            break;
        }
        const int32_t bit = buttonBit(e.button);
        if (!bit) {
            break;
        }
        int32_t buttons = bit | modifiers;
        if (e.button == lastPressButton && e.time - lastPressTime < kDoubleClickMs &&
            std::abs(where.x - lastPressPoint.x) <= 4 &&
            std::abs(where.y - lastPressPoint.y) <= 4) {
            buttons |= kDoubleClick;
            lastPressButton = 0;
        } else {
            lastPressButton = e.button;
            lastPressTime = e.time;
            lastPressPoint = where;
        }
        owner.platformOnMouseDown(devicePointToLayout(where, scale), buttons);
        break;
    }
    case ButtonRelease: {
        const XButtonEvent& e = event.xbutton;
        const int32_t bit = buttonBit(e.button);
        if (bit) {
            owner.platformOnMouseUp(devicePointToLayout(CPoint(e.x, e.y), scale),
                                    bit | modifiersFromState(e.state));
        }
        break;
    }
    case MotionNotify: {
        // Only the latest position of a burst of motion matters, but never past another event:
        // a press or release in between must see the motion before it.
        XEvent latest = event;
        while (XEventsQueued(display, QueuedAlready) > 0) {
            XEvent next;
            XPeekEvent(display, &next);
            if (next.type != MotionNotify || next.xany.window != window) {
                break;
            }
            XNextEvent(display, &latest);
        }
        const XMotionEvent& e = latest.xmotion;
        owner.platformOnMouseMoved(devicePointToLayout(CPoint(e.x, e.y), scale),
                                   buttonsFromState(e.state));
        break;
    }
    case LeaveNotify: {
        // The pointer left the window with no button held: it is over no view any more.
        const XCrossingEvent& e = event.xcrossing;
        const int32_t buttons = buttonsFromState(e.state);
        if (e.mode == NotifyNormal && !(buttons & (kLButton | kMButton | kRButton))) {
            owner.platformOnMouseMoved(CPoint(-1, -1), buttons);
        }
        break;
    }
    case DestroyNotify:
        if (event.xdestroywindow.window == window) {
            windowGone = true;
        }
        break;
    default:
        break;
    }
}

void X11Frame::paint()
{
    if (display && !window) {
        return; // waiting for the host's window: everything is drawn once it is there
    }
    if (!display || windowGone || !backBuffer) {
        dirty.clear();
        exposed.clear();
        return;
    }
    if (dirty.empty() && exposed.empty()) {
        return;
    }
    XErrorTrap trap(display);
    std::vector<CRect> redrawn = dirty.take();
    if (!redrawn.empty()) {
        cairo_t* cr = cairo_create(backBuffer);
        for (const CRect& r : redrawn) {
            exposed.add(
                paintLayoutRect(cr, owner, r, scale, CAIRO_OPERATOR_OVER, CColor{0, 0, 0, 255}));
        }
        cairo_destroy(cr);
        cairo_surface_flush(backBuffer);
    }
    for (const CRect& r : exposed.take()) {
        present(r);
    }
    if (windowSurface) {
        cairo_surface_flush(windowSurface);
    }
    XFlush(display);
}

void X11Frame::present(const CRect& rect)
{
    if (image) {
        XPutImage(display, window, gc, image, rect.left, rect.top, rect.left, rect.top,
                  static_cast<unsigned>(rect.width()), static_cast<unsigned>(rect.height()));
        return;
    }
    cairo_t* cr = cairo_create(windowSurface);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_set_source_surface(cr, backBuffer, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_fill(cr);
    cairo_destroy(cr);
}

void X11Frame::setMouseCapture(bool capture)
{
    if (!display || !window || windowGone || capture == captured) {
        return;
    }
    XErrorTrap trap(display);
    if (capture) {
        captured =
            XGrabPointer(display, window, False,
                         ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                         GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    } else {
        XUngrabPointer(display, CurrentTime);
        captured = false;
    }
    XFlush(display);
}

void X11Frame::setCursor(CCursorType type)
{
    if (!display || !window || windowGone) {
        return;
    }
    unsigned int shape = XC_left_ptr;
    switch (type) {
    case kCursorWait:
        shape = XC_watch;
        break;
    case kCursorHSize:
        shape = XC_sb_h_double_arrow;
        break;
    case kCursorVSize:
        shape = XC_sb_v_double_arrow;
        break;
    case kCursorSizeAll:
        shape = XC_fleur;
        break;
    case kCursorHand:
        shape = XC_hand2;
        break;
    case kCursorNotAllowed:
        shape = XC_X_cursor;
        break;
    case kCursorDefault:
        break;
    }
    XErrorTrap trap(display);
    const Cursor next = XCreateFontCursor(display, shape);
    XDefineCursor(display, window, next);
    if (cursor) {
        XFreeCursor(display, cursor);
    }
    cursor = next;
    XFlush(display);
}

int32_t X11Frame::getCurrentButtons() const
{
    if (!display || !window || windowGone) {
        return 0;
    }
    XErrorTrap trap(display);
    Window root = 0;
    Window child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        return 0;
    }
    return buttonsFromState(mask);
}

bool X11Frame::getCurrentMousePosition(CPoint& where) const
{
    if (!display || !window || windowGone) {
        return false;
    }
    XErrorTrap trap(display);
    Window root = 0;
    Window child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        return false;
    }
    where = devicePointToLayout(CPoint(x, y), scale);
    return true;
}

bool X11Frame::setSize(CCoord w, CCoord h)
{
    if (!display || windowGone || w <= 0 || h <= 0) {
        return false;
    }
    if (!window) {
        // The window is made at this size once the host's window exists.
        width = w;
        height = h;
        dirty.setBounds(CRect(0, 0, width, height));
        exposed.setBounds(CRect(0, 0, deviceWidth(), deviceHeight()));
        return true;
    }
    XErrorTrap trap(display);
    width = w;
    height = h;
    XResizeWindow(display, window, static_cast<unsigned>(deviceWidth()),
                  static_cast<unsigned>(deviceHeight()));
    destroySurfaces();
    dirty.setBounds(CRect(0, 0, width, height));
    exposed.setBounds(CRect(0, 0, deviceWidth(), deviceHeight()));
    if (!createSurfaces()) {
        return false;
    }
    dirty.add(CRect(0, 0, width, height));
    return true;
}

void* X11Frame::getNativeHandle() const
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}

} // namespace VSTGUI
