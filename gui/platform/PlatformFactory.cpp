#include "gui/platform/PlatformFactory.h"

#include "gui/IPlatform.h"
#include "gui/platform/cairo/CairoDrawDevice.h"
#include "gui/platform/offscreen/OffscreenFrame.h"
#include "gui/platform/x11/X11Frame.h"

#include <cstdint>

namespace VSTGUI {

namespace {

class DefaultPlatformFactory : public IPlatformFactory
{
public:
    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameOwner& owner, void* parent,
                                                CCoord width, CCoord height) override
    {
        return createFrameAtScale(owner, parent, width, height, 0.0);
    }

    std::unique_ptr<IPlatformFrame> createFrameAtScale(IPlatformFrameOwner& owner, void* parent,
                                                       CCoord width, CCoord height,
                                                       double scale) override
    {
        if (parent) {
            const auto window = static_cast<XID>(reinterpret_cast<uintptr_t>(parent));
            if (auto frame = X11Frame::create(owner, window, width, height, scale)) {
                return frame;
            }
            // Without a usable display or parent the views still work, just unseen.
        }
        return std::make_unique<OffscreenFrame>(owner, width, height);
    }

    std::unique_ptr<IPlatformBitmap> decodePNG(const void* data, std::size_t size) override
    {
        return decodePNGWithCairo(data, size);
    }

    double desktopScaleFactor() override { return X11Frame::desktopScale(); }
};

DefaultPlatformFactory& defaultFactory()
{
    static DefaultPlatformFactory factory;
    return factory;
}

// Installs the platform before any editor or bitmap can be created.
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
