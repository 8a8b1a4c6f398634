#include "gui/AEffGUIEditor.h"

#include "gui/CControl.h"
#include "gui/platform/PlatformFactory.h"
#include "vst/AudioEffectX.h"

#include <cmath>

std::atomic<int32_t> AEffGUIEditor::knobMode{VSTGUI::kKnobModeCircular};

namespace {

// Controls about to go with the frame may still report (an edit in progress ends); their
// listener, usually the editor subclass, is already gone when the base destructor runs.
void detachListeners(VSTGUI::CViewContainer* container)
{
    for (int32_t i = 0; i < container->getNbViews(); ++i) {
        VSTGUI::CView* view = container->getView(i);
        if (auto* control = dynamic_cast<VSTGUI::CControl*>(view)) {
            control->setListener(nullptr);
        }
        if (auto* inner = dynamic_cast<VSTGUI::CViewContainer*>(view)) {
            detachListeners(inner);
        }
    }
}

} // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect_) : AEffEditor(effect_)
{
    // Normally installed at start-up already; a platform a test put in place stays.
    if (!VSTGUI::getPlatformFactory()) {
        VSTGUI::installDefaultPlatform();
    }
}

AEffGUIEditor::~AEffGUIEditor()
{
    // A host that never closed the window must not leave a window or a connection behind.
    if (frame) {
        detachListeners(frame);
        VSTGUI::CFrame* old = frame;
        frame = nullptr;
        old->forget();
    }
}

bool AEffGUIEditor::getRect(ERect** outRect)
{
    if (!outRect) {
        return false;
    }
    const double scale = getScaleFactor();
    const auto scaled = [scale](int16_t v) { return static_cast<int16_t>(std::lround(v * scale)); };
    scaledRect =
        ERect{scaled(rect.top), scaled(rect.left), scaled(rect.bottom), scaled(rect.right)};
    *outRect = &scaledRect;
    return true;
}

double AEffGUIEditor::getScaleFactor()
{
    if (frame) {
        return frame->getScaleFactor();
    }
    if (closedScale <= 0.0) {
        VSTGUI::IPlatformFactory* factory = VSTGUI::getPlatformFactory();
        closedScale = VSTGUI::nearestSupportedScale(factory ? factory->desktopScaleFactor() : 1.0);
    }
    return closedScale;
}

void AEffGUIEditor::announceWindowSize()
{
    if (!frame || frame->getScaleFactor() == 1.0) {
        return;
    }
    auto* effectX = dynamic_cast<AudioEffectX*>(effect);
    if (!effectX || effectX->canHostDo("sizeWindow") == -1) {
        return;
    }
    ERect* scaled = nullptr;
    getRect(&scaled);
    effectX->sizeWindow(scaled->right - scaled->left, scaled->bottom - scaled->top);
}

bool AEffGUIEditor::open(void* parentWindow)
{
    // A second open without a close in between must not leave the first window behind.
    if (frame) {
        VSTGUI::CFrame* old = frame;
        frame = nullptr;
        old->forget();
    }
    return AEffEditor::open(parentWindow);
}

void AEffGUIEditor::close()
{
    // The desktop's scale may have changed by the next open.
    closedScale = 0.0;
    if (frame) {
        VSTGUI::CFrame* old = frame;
        frame = nullptr;
        old->forget();
    }
    AEffEditor::close();
}

void AEffGUIEditor::idle()
{
    if (inIdleStuff) {
        return;
    }
    inIdleStuff = true;
    if (frame) {
        frame->idle();
    }
    inIdleStuff = false;
}

void AEffGUIEditor::doIdleStuff()
{
    idle();
}

void AEffGUIEditor::beginEdit(int32_t index)
{
    if (effect) {
        effect->beginEdit(index);
    }
}

void AEffGUIEditor::endEdit(int32_t index)
{
    if (effect) {
        effect->endEdit(index);
    }
}

bool AEffGUIEditor::setKnobMode(int32_t mode)
{
    if (mode != VSTGUI::kKnobModeCircular && mode != VSTGUI::kKnobModeRelativeCircular &&
        mode != VSTGUI::kKnobModeLinear) {
        return false;
    }
    knobMode.store(mode, std::memory_order_relaxed);
    return true;
}

bool AEffGUIEditor::onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers)
{
    VSTGUI::CKeyCode key{character, virtualKey, modifiers};
    return frame && frame->onKeyDown(key) != -1;
}

bool AEffGUIEditor::onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers)
{
    VSTGUI::CKeyCode key{character, virtualKey, modifiers};
    return frame && frame->onKeyUp(key) != -1;
}
