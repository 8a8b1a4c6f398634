// What a test reads back from an X window: its pixels as the server holds them, and the windows
// embedded in it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace morvek2::test {

inline std::vector<unsigned long> pixels(Display* display, Window window, int width, int height)
{
    std::vector<unsigned long> out;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) {
        return out;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.push_back(XGetPixel(image, x, y));
        }
    }
    XDestroyImage(image);
    return out;
}

inline std::vector<Window> children(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    XSync(display, False);
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parent, &list, &count) != 0 && list) {
        out.assign(list, list + count);
        XFree(list);
    }
    return out;
}

// A button press or release, or a motion with the button held (`type`), sent straight to
// `window` at (x, y) with the modifier and button `state`, as a user's pointer would make it.
inline void sendPointer(Display* display, Window window, int type, int x, int y, unsigned state)
{
    XEvent event{};
    event.type = type;
    event.xbutton.display = display;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.button = Button1;
    event.xbutton.state = state;
    event.xbutton.same_screen = True;
    if (type == MotionNotify) {
        event.xmotion.is_hint = NotifyNormal;
    }
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

} // namespace morvek2::test
