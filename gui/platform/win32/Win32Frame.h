// A platform frame on Windows: a child window of the host's window with a class of this module's
// own. Drawing goes with GDI+ into a back buffer that WM_PAINT copies to the window; mouse
// messages reach the frame as the host's message loop dispatches them. The host's idle calls
// drive redrawing, and a timer takes over while they stop. A window the host destroyed (with
// its own) is noticed and never touched again. Without a parent the frame draws into its back
// buffer only.
//
// On a high-density screen the frame follows the DPI of the host's window: window and back
// buffer are sized in device pixels, drawing is scaled from the layout's pixels, and mouse
// positions are mapped back to them.
#pragma once

#include "gui/IPlatform.h"
#include "gui/platform/DirtyRegion.h"
#include "gui/platform/win32/GdiplusDrawDevice.h"

#include <cstdint>
#include <memory>

struct HWND__;
struct HDC__;
struct HBITMAP__;
struct HICON__;

namespace VSTGUI {

class Win32Frame : public IPlatformFrame
{
public:
    // Null when `parent` is not a window or GDI+ cannot start.
    static std::unique_ptr<Win32Frame> create(IPlatformFrameOwner& owner, HWND__* parent,
                                              CCoord width, CCoord height);
    // A frame without a window, drawing into its back buffer only; null when GDI+ cannot start.
    static std::unique_ptr<Win32Frame> createWindowless(IPlatformFrameOwner& owner, CCoord width,
                                                        CCoord height);
    ~Win32Frame() override;
    Win32Frame(const Win32Frame&) = delete;
    Win32Frame& operator=(const Win32Frame&) = delete;

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

    // The scale the desktop asks DPI-aware windows to use (1, 1.5 or 2), from the screen's DPI.
    static double desktopScale();
    // The scale for a window shown in `window`: its own DPI where the system can tell it,
    // otherwise the screen's.
    static double windowScale(HWND__* window);

    // True once the window was destroyed from outside (with its parent).
    bool isWindowGone() const { return windowGone; }

    // The message handler of the frame class; public only for the window procedure.
    intptr_t handleMessage(HWND__* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    Win32Frame(IPlatformFrameOwner& owner, CCoord width, CCoord height);
    bool open(HWND__* parent);
    bool createBackBuffer();
    void destroyBackBuffer();
    // Renders what was invalidated into the back buffer.
    void renderDirty();
    void mouseButton(unsigned message, uintptr_t wParam, intptr_t lParam);
    void lostCapture();
    void detachWindow();
    CCoord deviceWidth() const;
    CCoord deviceHeight() const;
    // From the window's pixels to the layout's.
    CPoint toLayout(CPoint devicePoint) const;
    // Takes the DPI a window now has: a new scale resizes window and back buffer.
    void changeScale(double newScale);

    IPlatformFrameOwner& owner;
    GdiplusSession gdiplus;
    CCoord width; // layout pixels
    CCoord height;
    double scale = 1.0;
    HWND__* window = nullptr;
    bool windowGone = false;
    bool registeredClass = false;
    bool oleInitialised = false;
    bool captured = false;
    bool inTimerIdle = false;
    bool rendered = false;
    uint64_t lastHostIdle = 0;
    uint64_t lastTimerIdleEnd = 0;
    HICON__* cursor = nullptr;
    HDC__* memoryDC = nullptr;
    HBITMAP__* dib = nullptr;
    HBITMAP__* previousBitmap = nullptr;
    void* pixels = nullptr;
    std::unique_ptr<Gdiplus::Bitmap> surface;
    DirtyRegion dirty;
    CPoint lastPoint;
    int32_t lastButtons = 0;
};

} // namespace VSTGUI
