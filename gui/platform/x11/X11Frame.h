// A platform frame on X11: a child window of the host's window on the frame's own Display
// connection. Drawing goes to an offscreen image that is copied to the window, events are
// handled from the frame's idle, and X errors on this connection (a host window destroyed under
// us) are caught instead of reaching the process's error handler.
//
// A host may hand over a window that its own connection has not flushed to the server yet, so
// the server does not know it when the frame opens. The frame then waits for it: every idle
// looks for the host's window again, and the child window is made (and drawn) as soon as it
// exists, instead of leaving the host an empty box until the editor is opened again.
#pragma once

#include "gui/IPlatform.h"
#include "gui/platform/DirtyRegion.h"

#include <cairo.h>
#include <memory>

typedef struct _XDisplay Display;
typedef unsigned long XID;
union _XEvent;
struct _XImage;
struct _XGC;

namespace VSTGUI {

class X11Frame : public IPlatformFrame
{
public:
    // Null when no display can be opened. A parent the server does not know (yet) gives a frame
    // without a window, which makes its window at the first idle that finds the parent. The
    // scale is the host's when it announced one (`hostScale` > 0), else the desktop's.
    static std::unique_ptr<X11Frame> create(IPlatformFrameOwner& owner, XID parent, CCoord width,
                                            CCoord height, double hostScale = 0.0);
    ~X11Frame() override;
    X11Frame(const X11Frame&) = delete;
    X11Frame& operator=(const X11Frame&) = delete;

    void invalidRect(const CRect& rect) override;
    void pumpEvents() override;
    void paint() override;
    void setMouseCapture(bool captured) override;
    void setCursor(CCursorType type) override;
    int32_t getCurrentButtons() const override;
    bool getCurrentMousePosition(CPoint& where) const override;
    bool setSize(CCoord width, CCoord height) override;
    void* getNativeHandle() const override;
    double getScaleFactor() const override { return scale; }

    // The scale the desktop announces through the `Xft.dpi` resource of the display (96 dots
    // per inch is 1x), as the nearest supported scale; 1 when the display says nothing or
    // cannot be opened.
    static double desktopScale(Display* display);
    static double desktopScale();

    Display* getDisplay() const { return display; }
    XID getWindow() const { return window; }
    // True once the window was destroyed from outside (with its parent).
    bool isWindowGone() const { return windowGone; }
    // False while the frame waits for the host's window to reach the server.
    bool hasWindow() const { return window != 0; }

private:
    X11Frame(IPlatformFrameOwner& owner, CCoord width, CCoord height);
    bool open(XID parent, double hostScale);
    // Makes the child window on the parent, if the server knows the parent by now.
    bool attach();
    void handleEvent(_XEvent& event);
    void present(const CRect& rect);
    bool createSurfaces();
    void destroySurfaces();

    CCoord deviceWidth() const;
    CCoord deviceHeight() const;

    IPlatformFrameOwner& owner;
    // Layout size; the window and its buffers have `scale` times as many pixels.
    CCoord width;
    CCoord height;
    double scale = 1.0;
    Display* display = nullptr;
    XID parent = 0;
    XID window = 0;
    XID cursor = 0;
    bool windowGone = false;
    bool captured = false;
    cairo_surface_t* backBuffer = nullptr;
    // Copies go straight from the back buffer with XPutImage when the window's visual stores
    // pixels as the back buffer does (24-bit true colour); otherwise through a Cairo surface.
    _XImage* image = nullptr;
    _XGC* gc = nullptr;
    cairo_surface_t* windowSurface = nullptr;
    // Views to repaint, in layout pixels; window pixels to copy to the screen, in device pixels.
    DirtyRegion dirty;
    DirtyRegion exposed;
    unsigned long lastPressTime = 0;
    unsigned int lastPressButton = 0;
    CPoint lastPressPoint;
};

} // namespace VSTGUI
