#include "gui/GUIEditor.h"

#include "gui/CControl.h"
#include "gui/platform/PlatformFactory.h"

#include <cmath>

std::atomic<int32_t> GUIEditor::knobMode{VSTGUI::kKnobModeCircular};

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

GUIEditor::GUIEditor()
{
    // Normally installed at start-up already; a platform a test put in place stays.
    if (!VSTGUI::getPlatformFactory()) {
        VSTGUI::installDefaultPlatform();
    }
}

GUIEditor::~GUIEditor()
{
    // A host that never closed the window must not leave a window or a connection behind.
    if (frame) {
        detachListeners(frame);
        releaseFrame();
    }
}

void GUIEditor::releaseFrame()
{
    if (frame) {
        VSTGUI::CFrame* old = frame;
        frame = nullptr;
        old->forget();
    }
}

void GUIEditor::getWindowSize(int32_t& width, int32_t& height)
{
    const double scale = getScaleFactor();
    width = static_cast<int32_t>(std::lround(layoutWidth * scale));
    height = static_cast<int32_t>(std::lround(layoutHeight * scale));
}

double GUIEditor::getScaleFactor()
{
    if (frame) {
        return frame->getScaleFactor();
    }
    if (closedScale <= 0.0) {
        if (hostScale > 0.0) {
            closedScale = VSTGUI::nearestSupportedScale(hostScale);
        } else {
            VSTGUI::IPlatformFactory* factory = VSTGUI::getPlatformFactory();
            closedScale =
                VSTGUI::nearestSupportedScale(factory ? factory->desktopScaleFactor() : 1.0);
        }
    }
    return closedScale;
}

void GUIEditor::setHostScaleFactor(double scale)
{
    hostScale = std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
    closedScale = 0.0;
}

void GUIEditor::announceWindowSize()
{
    if (!frame || frame->getScaleFactor() == 1.0 || !face || !face->editorCanResize()) {
        return;
    }
    int32_t width = 0;
    int32_t height = 0;
    getWindowSize(width, height);
    face->editorResize(width, height);
}

bool GUIEditor::open(void* parent)
{
    // A second open without a close in between must not leave the first window behind.
    releaseFrame();
    parentWindow = parent;
    opened = true;
    return true;
}

void GUIEditor::close()
{
    // The desktop's scale may have changed by the next open.
    closedScale = 0.0;
    releaseFrame();
    parentWindow = nullptr;
    opened = false;
}

void GUIEditor::idle()
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

void GUIEditor::doIdleStuff()
{
    idle();
}

void GUIEditor::beginEdit(int32_t index)
{
    if (face) {
        face->editorBeginEdit(index);
    }
}

void GUIEditor::endEdit(int32_t index)
{
    if (face) {
        face->editorEndEdit(index);
    }
}

void GUIEditor::parameterAutomated(int32_t index, float normalised)
{
    if (face) {
        face->editorParameterAutomated(index, normalised);
    }
}

void GUIEditor::programChanged(int32_t program)
{
    if (face) {
        face->editorProgramChanged(program);
    }
}

bool GUIEditor::setKnobMode(int32_t mode)
{
    if (mode != VSTGUI::kKnobModeCircular && mode != VSTGUI::kKnobModeRelativeCircular &&
        mode != VSTGUI::kKnobModeLinear) {
        return false;
    }
    knobMode.store(mode, std::memory_order_relaxed);
    return true;
}

bool GUIEditor::onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers)
{
    VSTGUI::CKeyCode key{character, virtualKey, modifiers};
    return frame && frame->onKeyDown(key) != -1;
}

bool GUIEditor::onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers)
{
    VSTGUI::CKeyCode key{character, virtualKey, modifiers};
    return frame && frame->onKeyUp(key) != -1;
}
