// The platform of the Windows build: Win32 child windows on the host's window, windowless back
// buffers without one, GDI+ for drawing and PNG decoding.
#include "gui/platform/PlatformFactory.h"

#include "gui/IPlatform.h"
#include "gui/platform/win32/GdiplusDrawDevice.h"
#include "gui/platform/win32/Win32Frame.h"

#include <windows.h>

namespace VSTGUI {

namespace {

// A frame that shows nothing and draws nothing: what remains when GDI+ cannot start.
class InertFrame : public IPlatformFrame
{
public:
    void invalidRect(const CRect&) override {}
    void pumpEvents() override {}
    void paint() override {}
    void setMouseCapture(bool) override {}
    void setCursor(CCursorType) override {}
    int32_t getCurrentButtons() const override { return 0; }
    bool getCurrentMousePosition(CPoint&) const override { return false; }
    bool setSize(CCoord, CCoord) override { return true; }
    void* getNativeHandle() const override { return nullptr; }
};

class Win32PlatformFactory : public IPlatformFactory
{
public:
    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameOwner& owner, void* parent,
                                                CCoord width, CCoord height) override
    {
        if (parent) {
            if (auto frame = Win32Frame::create(owner, static_cast<HWND>(parent), width, height)) {
                return frame;
            }
            // Without a usable parent the views still work, just unseen.
        }
        if (auto frame = Win32Frame::createWindowless(owner, width, height)) {
            return frame;
        }
        return std::make_unique<InertFrame>();
    }

    std::unique_ptr<IPlatformBitmap> decodePNG(const void* data, std::size_t size) override
    {
        return GdiplusBitmap::decodePNG(data, size);
    }

    double desktopScaleFactor() override { return Win32Frame::desktopScale(); }
};

Win32PlatformFactory& defaultFactory()
{
    static Win32PlatformFactory factory;
    return factory;
}

// Installs the platform before any editor or bitmap can be created. Nothing of GDI+ starts
// here: that waits for the first window or bitmap, outside the loader's lock.
const bool installed = [] {
    installDefaultPlatform();
    return true;
}();

} // namespace

void installDefaultPlatform()
{
    setPlatformFactory(&defaultFactory());
}

} // namespace VSTGUI
