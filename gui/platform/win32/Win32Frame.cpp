#include "gui/platform/win32/Win32Frame.h"

#include <windows.h>

#include <ole2.h>
#include <windowsx.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <mutex>

namespace VSTGUI {

namespace {

constexpr UINT_PTR kIdleTimer = 1;
// The timer's period, and how long the host's idle calls may pause before the timer redraws in
// their place (hosts idle the editor 10 to 60 times a second).
constexpr UINT kTimerMs = 40;
constexpr uint64_t kHostIdleGapMs = 150;
// A top-level window moved to a screen of another DPI, and what its child windows hear of it
// afterwards (named only by newer SDKs).
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT kDpiChangedAfterParent = 0x02E3;
// The DPI at which one layout pixel is one device pixel.
constexpr double kBaseDpi = 96.0;

LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The module this code is linked into (the plug-in DLL, not the host's executable).
HINSTANCE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&frameProc), &module);
    return module;
}

// One window class per loaded copy of the module, registered while any of its frames exists:
// the name carries the module's address, so two copies in one host never share a procedure.
class FrameClass
{
public:
    static const wchar_t* acquire()
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (count() == 0) {
            std::swprintf(name(), 64, L"Morvek2Frame%p", static_cast<void*>(thisModule()));
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = frameProc;
            wc.hInstance = thisModule();
            wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
            wc.lpszClassName = name();
            if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
                return nullptr;
            }
        }
        ++count();
        return name();
    }
    static void release()
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (count() > 0 && --count() == 0) {
            UnregisterClassW(name(), thisModule());
        }
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static int& count()
    {
        static int c = 0;
        return c;
    }
    static wchar_t* name()
    {
        static wchar_t n[64] = {};
        return n;
    }
};

Win32Frame* frameOf(HWND hwnd)
{
    return reinterpret_cast<Win32Frame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (Win32Frame* frame = frameOf(hwnd)) {
        return frame->handleMessage(hwnd, message, wParam, lParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int32_t modifiersFromKeys()
{
    int32_t buttons = 0;
    if (GetKeyState(VK_SHIFT) < 0) {
        buttons |= kShift;
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        buttons |= kControl;
    }
    if (GetKeyState(VK_MENU) < 0) {
        buttons |= kAlt;
    }
    return buttons;
}

// Buttons and modifiers as a mouse message reports them (Alt is not in the message).
int32_t buttonsFromMessage(WPARAM wParam)
{
    int32_t buttons = 0;
    if (wParam & MK_LBUTTON) {
        buttons |= kLButton;
    }
    if (wParam & MK_MBUTTON) {
        buttons |= kMButton;
    }
    if (wParam & MK_RBUTTON) {
        buttons |= kRButton;
    }
    if (wParam & MK_SHIFT) {
        buttons |= kShift;
    }
    if (wParam & MK_CONTROL) {
        buttons |= kControl;
    }
    if (GetKeyState(VK_MENU) < 0) {
        buttons |= kAlt;
    }
    return buttons;
}

CPoint pointFrom(LPARAM lParam)
{
    // Signed: while the mouse is captured, positions left of or above the window are negative.
    return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

double scaleForDpi(double dpi)
{
    return dpi > 0.0 ? nearestSupportedScale(dpi / kBaseDpi) : 1.0;
}

LPCWSTR cursorResource(CCursorType type)
{
    switch (type) {
    case kCursorWait:
        return MAKEINTRESOURCEW(32514); // IDC_WAIT
    case kCursorHSize:
        return MAKEINTRESOURCEW(32644); // IDC_SIZEWE
    case kCursorVSize:
        return MAKEINTRESOURCEW(32645); // IDC_SIZENS
    case kCursorSizeAll:
        return MAKEINTRESOURCEW(32646); // IDC_SIZEALL
    case kCursorHand:
        return MAKEINTRESOURCEW(32649); // IDC_HAND
    case kCursorNotAllowed:
        return MAKEINTRESOURCEW(32648); // IDC_NO
    case kCursorDefault:
        break;
    }
    return MAKEINTRESOURCEW(32512); // IDC_ARROW
}

} // namespace

Win32Frame::Win32Frame(IPlatformFrameOwner& owner_, CCoord width_, CCoord height_)
    : owner(owner_), width(std::max<CCoord>(width_, 1)), height(std::max<CCoord>(height_, 1)),
      dirty(CRect(0, 0, width, height))
{
    cursor = LoadCursorW(nullptr, cursorResource(kCursorDefault));
}

double Win32Frame::desktopScale()
{
    // The screen's DPI as this process sees it: the desktop's setting for a DPI-aware host, 96
    // for one that lets the system stretch its windows.
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return 1.0;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return scaleForDpi(dpi);
}

double Win32Frame::windowScale(HWND window)
{
    // A window's own DPI (which follows its screen for hosts aware of each screen's DPI) exists
    // only from Windows 10 1607 on; looked up at run time, the module still loads on older
    // systems, which have one DPI for all screens.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                      : nullptr;
    }();
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window); dpi > 0) {
            return scaleForDpi(dpi);
        }
    }
    return desktopScale();
}

CCoord Win32Frame::deviceWidth() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).right;
}

CCoord Win32Frame::deviceHeight() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).bottom;
}

CPoint Win32Frame::toLayout(CPoint devicePoint) const
{
    return devicePointToLayout(devicePoint, scale);
}

std::unique_ptr<Win32Frame> Win32Frame::create(IPlatformFrameOwner& owner, HWND parent,
                                               CCoord width, CCoord height)
{
    if (!parent || !IsWindow(parent)) {
        return nullptr;
    }
    std::unique_ptr<Win32Frame> frame(new Win32Frame(owner, width, height));
    frame->scale = windowScale(parent);
    if (!frame->gdiplus.isRunning() || !frame->createBackBuffer() || !frame->open(parent)) {
        return nullptr;
    }
    return frame;
}

std::unique_ptr<Win32Frame> Win32Frame::createWindowless(IPlatformFrameOwner& owner, CCoord width,
                                                         CCoord height)
{
    std::unique_ptr<Win32Frame> frame(new Win32Frame(owner, width, height));
    if (!frame->gdiplus.isRunning() || !frame->createBackBuffer()) {
        return nullptr;
    }
    frame->dirty.add(CRect(0, 0, frame->width, frame->height));
    return frame;
}

bool Win32Frame::open(HWND parent)
{
    // The editor's thread takes part in OLE drag and drop while the window exists. A thread the
    // host already set up for COM in another mode refuses; the window works without it.
    const HRESULT ole = OleInitialize(nullptr);
    oleInitialised = SUCCEEDED(ole);

    const wchar_t* className = FrameClass::acquire();
    if (!className) {
        return false;
    }
    registeredClass = true;
    window = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                             deviceWidth(), deviceHeight(), parent, nullptr, thisModule(), this);
    if (!window) {
        return false;
    }
    lastHostIdle = GetTickCount64();
    SetTimer(window, kIdleTimer, kTimerMs, nullptr);
    dirty.add(CRect(0, 0, width, height));
    return true;
}

bool Win32Frame::createBackBuffer()
{
    const CCoord w = deviceWidth();
    const CCoord h = deviceHeight();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down, as GDI+ addresses rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!dib || !pixels) {
        destroyBackBuffer();
        return false;
    }
    memoryDC = CreateCompatibleDC(nullptr);
    if (!memoryDC) {
        destroyBackBuffer();
        return false;
    }
    previousBitmap = static_cast<HBITMAP>(SelectObject(memoryDC, dib));
    // GDI+ draws straight into the DIB's pixels, which WM_PAINT copies to the window.
    surface = std::make_unique<Gdiplus::Bitmap>(w, h, w * 4, PixelFormat32bppRGB,
                                                static_cast<BYTE*>(pixels));
    if (surface->GetLastStatus() != Gdiplus::Ok) {
        destroyBackBuffer();
        return false;
    }
    return true;
}

void Win32Frame::destroyBackBuffer()
{
    surface.reset();
    if (memoryDC) {
        if (previousBitmap) {
            SelectObject(memoryDC, previousBitmap);
            previousBitmap = nullptr;
        }
        DeleteDC(memoryDC);
        memoryDC = nullptr;
    }
    if (dib) {
        DeleteObject(dib);
        dib = nullptr;
    }
    pixels = nullptr;
}

Win32Frame::~Win32Frame()
{
    if (window && !windowGone) {
        HWND old = window;
        detachWindow();
        if (IsWindow(old)) {
            KillTimer(old, kIdleTimer);
            if (GetCapture() == old) {
                ReleaseCapture();
            }
            DestroyWindow(old);
        }
    }
    if (registeredClass) {
        FrameClass::release();
    }
    destroyBackBuffer();
    if (oleInitialised) {
        OleUninitialize();
    }
}

void Win32Frame::detachWindow()
{
    // From here on the window's messages go to the default procedure, never to this object.
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    window = nullptr;
    captured = false;
}

void Win32Frame::invalidRect(const CRect& rect)
{
    dirty.add(rect);
}

void Win32Frame::pumpEvents()
{
    // Messages reach the window through the host's own loop; an idle call from the host only
    // tells the timer that it need not stand in.
    if (!inTimerIdle) {
        lastHostIdle = GetTickCount64();
    }
}

void Win32Frame::renderDirty()
{
    if (!surface) {
        dirty.clear();
        return;
    }
    const std::vector<CRect> rects = dirty.take();
    if (rects.empty()) {
        return;
    }
    rendered = true;

    std::vector<CRect> devices;
    devices.reserve(rects.size());
    {
        DevicePaint black;
        black.fillColor = kBlackCColor;
        for (const CRect& r : rects) {
            // Every device pixel the rectangle touches is drawn whole, from the layout pixels
            // that cover it; the device's bound keeps their overhang off the pixels around.
            const CRect deviceRect = layoutToDevice(r, scale);
            const CRect layoutRect = deviceToLayout(deviceRect, scale);
            devices.push_back(deviceRect);
            Gdiplus::Graphics graphics(surface.get());
            GdiplusDrawDevice device(graphics, scale, scale == 1.0 ? CRect() : deviceRect);
            device.setClip(layoutRect);
            device.drawRect(layoutRect, kDrawFilled, black);
            owner.platformDrawRect(device, layoutRect);
            graphics.Flush(Gdiplus::FlushIntentionSync);
        }
    }
    GdiFlush();
    if (window) {
        for (const CRect& r : devices) {
            const RECT area{r.left, r.top, r.right, r.bottom};
            InvalidateRect(window, &area, FALSE);
        }
    }
}

void Win32Frame::paint()
{
    if (windowGone) {
        dirty.clear();
        return;
    }
    renderDirty();
    if (window) {
        UpdateWindow(window);
    }
}

void Win32Frame::mouseButton(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    const CPoint where = toLayout(pointFrom(lParam));
    int32_t buttons = buttonsFromMessage(wParam) & ~(kLButton | kMButton | kRButton);
    int32_t bit = 0;
    bool down = true;
    switch (message) {
    case WM_LBUTTONDBLCLK:
        buttons |= kDoubleClick;
        [[fallthrough]];
    case WM_LBUTTONDOWN:
        bit = kLButton;
        break;
    case WM_MBUTTONDBLCLK:
        buttons |= kDoubleClick;
        [[fallthrough]];
    case WM_MBUTTONDOWN:
        bit = kMButton;
        break;
    case WM_RBUTTONDBLCLK:
        buttons |= kDoubleClick;
        [[fallthrough]];
    case WM_RBUTTONDOWN:
        bit = kRButton;
        break;
    case WM_LBUTTONUP:
        bit = kLButton;
        down = false;
        break;
    case WM_MBUTTONUP:
        bit = kMButton;
        down = false;
        break;
    case WM_RBUTTONUP:
        bit = kRButton;
        down = false;
        break;
    default:
        return;
    }
    lastPoint = where;
    if (down) {
        lastButtons = bit | buttons;
        owner.platformOnMouseDown(where, lastButtons);
    } else {
        lastButtons = 0;
        owner.platformOnMouseUp(where, bit | buttons);
    }
}

void Win32Frame::lostCapture()
{
    // Another window took the mouse in the middle of a drag (a host dialog, Alt+Tab): the drag
    // ends where the pointer was last seen, so no edit stays open.
    if (!captured) {
        return;
    }
    captured = false;
    const int32_t buttons = lastButtons;
    lastButtons = 0;
    if (buttons & (kLButton | kMButton | kRButton)) {
        owner.platformOnMouseUp(lastPoint, buttons & ~kDoubleClick);
    }
}

intptr_t Win32Frame::handleMessage(HWND hwnd, unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (!window) {
        window = hwnd; // messages arrive from inside CreateWindowExW, before it returns
    }
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // everything is painted from the back buffer
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        // Only the first paint renders here; after that the back buffer is complete and the
        // idle renders what changed. Rendering here again would repaint for ever whenever
        // drawing marks further views dirty.
        if (!rendered) {
            renderDirty();
        }
        if (dc && memoryDC) {
            const RECT& r = ps.rcPaint;
            BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memoryDC, r.left, r.top,
                   SRCCOPY);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
        mouseButton(message, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        lastPoint = toLayout(pointFrom(lParam));
        owner.platformOnMouseMoved(lastPoint, buttonsFromMessage(wParam));
        return 0;
    case WM_MOUSEWHEEL: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; // screen coordinates
        ScreenToClient(hwnd, &p);
        const float distance =
            static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / static_cast<float>(WHEEL_DELTA);
        const int32_t buttons = buttonsFromMessage(GET_KEYSTATE_WPARAM(wParam));
        if (owner.platformOnMouseWheel(toLayout(CPoint(p.x, p.y)), distance, buttons)) {
            return 0;
        }
        break; // unused wheel turns go on to the host's window
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) {
            lostCapture();
        }
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && cursor) {
            SetCursor(cursor);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == kIdleTimer) {
            // Hosts that stop idling the editor (while a menu is open, or for good) still see
            // it redraw and follow the plug-in.
            // A timer message that waited behind a slow idle is dropped, so the timer never
            // takes more than about half of the thread however long an idle takes.
            const uint64_t now = GetTickCount64();
            if (!inTimerIdle && now - lastHostIdle > kHostIdleGapMs &&
                now - lastTimerIdleEnd >= kTimerMs) {
                inTimerIdle = true;
                owner.platformOnIdleTimer();
                inTimerIdle = false;
                lastTimerIdleEnd = GetTickCount64();
            }
            return 0;
        }
        break;
    case kDpiChanged:
        // Only top-level windows hear of it, but a host may pass it on.
        changeScale(scaleForDpi(LOWORD(wParam)));
        break;
    case kDpiChangedAfterParent:
        changeScale(windowScale(hwnd));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_NCDESTROY:
        // Destroyed from outside, usually with the host's window: forget it for good.
        detachWindow();
        windowGone = true;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Frame::setMouseCapture(bool capture)
{
    if (!window || windowGone || capture == captured) {
        return;
    }
    if (capture) {
        SetCapture(window);
        captured = GetCapture() == window;
    } else {
        captured = false; // before the release, whose WM_CAPTURECHANGED is no lost drag
        ReleaseCapture();
    }
}

void Win32Frame::setCursor(CCursorType type)
{
    // System cursors are shared and never destroyed.
    if (HCURSOR next = LoadCursorW(nullptr, cursorResource(type))) {
        cursor = next;
    }
    if (!window || windowGone) {
        return;
    }
    POINT p{};
    RECT client{};
    if (GetCursorPos(&p) && ScreenToClient(window, &p) && GetClientRect(window, &client) &&
        PtInRect(&client, p)) {
        SetCursor(cursor);
    }
}

int32_t Win32Frame::getCurrentButtons() const
{
    int32_t buttons = modifiersFromKeys();
    if (GetKeyState(VK_LBUTTON) < 0) {
        buttons |= kLButton;
    }
    if (GetKeyState(VK_MBUTTON) < 0) {
        buttons |= kMButton;
    }
    if (GetKeyState(VK_RBUTTON) < 0) {
        buttons |= kRButton;
    }
    return buttons;
}

bool Win32Frame::getCurrentMousePosition(CPoint& where) const
{
    if (!window || windowGone) {
        return false;
    }
    POINT p{};
    if (!GetCursorPos(&p) || !ScreenToClient(window, &p)) {
        return false;
    }
    where = toLayout(CPoint(p.x, p.y));
    return true;
}

bool Win32Frame::setSize(CCoord w, CCoord h)
{
    if (windowGone || w <= 0 || h <= 0) {
        return false;
    }
    destroyBackBuffer();
    width = w;
    height = h;
    dirty.setBounds(CRect(0, 0, width, height));
    if (!createBackBuffer()) {
        return false;
    }
    if (window) {
        SetWindowPos(window, nullptr, 0, 0, deviceWidth(), deviceHeight(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    dirty.add(CRect(0, 0, width, height));
    return true;
}

void Win32Frame::changeScale(double newScale)
{
    // The window moved to a screen of another DPI: the same layout in the new screen's pixels.
    if (newScale == scale || windowGone || !window) {
        return;
    }
    const double oldScale = scale;
    destroyBackBuffer();
    scale = newScale;
    if (!createBackBuffer()) {
        // Too large for memory at the new scale: keep drawing at the old one.
        scale = oldScale;
        if (!createBackBuffer()) {
            return;
        }
    }
    SetWindowPos(window, nullptr, 0, 0, deviceWidth(), deviceHeight(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    dirty.add(CRect(0, 0, width, height));
    rendered = false; // the next paint draws the new buffer before showing it
    InvalidateRect(window, nullptr, FALSE);
}

void* Win32Frame::getNativeHandle() const
{
    return window;
}

} // namespace VSTGUI
