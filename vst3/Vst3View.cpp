// The editor window as a VST3 view. Edits reach the core at once (as the VST 2.4 editor's do)
// and the host through its component handler, with begin and end around every gesture, so that
// hosts record automation. The view has a fixed size: the layout size at the host's announced
// scale, or at the desktop's when the host announces none.
#include "vst3/Vst3View.h"

#include "editor/Morvek2Editor.h"
#include "gui/GUIEditor.h"
#include "plugin/Morvek2Core.h"
#include "vst3/vst3_abi.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace morvek2::vst3 {
namespace {

constexpr int kNumParams = Morvek2Editor::kNumParams;
// How often the host's run loop idles the window: often enough for a smooth drag, within what
// hosts give their own editors.
constexpr std::uint64_t kIdleMs = 16;

class View;

// What the host holds for each interface of the view: the table pointer and the way back.
struct ViewPort
{
    const void* table;
    View* owner;
};

View* viewOf(void* self)
{
    return static_cast<ViewPort*>(self)->owner;
}

bool isPlatformSupported(const char* type)
{
    if (!type) {
        return false;
    }
#if defined(_WIN32)
    return std::strcmp(type, kPlatformHwnd) == 0;
#else
    return std::strcmp(type, kPlatformX11) == 0;
#endif
}

class View final : public GUIEditorFace
{
public:
    View(Morvek2Core& core_, void* owner_, void* const* handler_);
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    ViewPort view;
    ViewPort scale;
    ViewPort timer;
    std::atomic<std::uint32_t> references{1};

    Result query(const std::uint8_t* iid, void** object);
    Result attach(void* parent, const char* type);                                      // [ui]
    Result remove();                                                                    // [ui]
    Result setFrame(void* newFrame);                                                    // [ui]
    Result setScale(float factor);                                                      // [ui]
    void size(ViewRect& rect);                                                          // [ui]
    void idle() { editor.idle(); }                                                      // [ui]
    Result key(bool down, Char16 character, std::int16_t code, std::int16_t modifiers); // [ui]

    // ---- GUIEditorFace ----
    void editorParameterAutomated(int32_t index, float normalised) override; // [ui]
    void editorBeginEdit(int32_t index) override;                            // [ui]
    void editorEndEdit(int32_t index) override;                              // [ui]
    // A program chosen in the window: the host re-reads every value, the program's among them.
    void editorProgramChanged(int32_t program) override;         // [ui]
    bool editorCanResize() override { return frame != nullptr; } // [ui]
    bool editorResize(int32_t width, int32_t height) override;   // [ui]

private:
    // Opens the window on `parent` and tells the host its size if that is not what it last
    // heard from getSize.
    bool open(void* parent); // [ui]
    void close();            // [ui]
    const ComponentHandlerTable* handlerTable(void*& object) const;

    Morvek2Core& core;
    void* owner;
    void* const* handler;
    Morvek2Editor editor;
    void* frame = nullptr;   // IPlugFrame, referenced
    void* runLoop = nullptr; // IRunLoop, referenced while the timer runs
    void* parent = nullptr;
    // The size the host last heard (getSize or resizeView), in its pixels.
    std::int32_t toldWidth = -1;
    std::int32_t toldHeight = -1;
    // True while the editor opens: its own size announcement waits for open()'s.
    bool opening = false;
};

// ---- FUnknown shared by the view's three tables

Result MORVEK2_VST3_CALL viewQuery(void* self, const std::uint8_t* iid, void** object)
{
    return viewOf(self)->query(iid, object);
}

std::uint32_t MORVEK2_VST3_CALL viewAddRef(void* self)
{
    return viewOf(self)->references.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t MORVEK2_VST3_CALL viewRelease(void* self)
{
    View* v = viewOf(self);
    const std::uint32_t left = v->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete v;
    }
    return left;
}

constexpr UnknownTable kViewUnknown = {viewQuery, viewAddRef, viewRelease};

// ---- IPlugView

Result MORVEK2_VST3_CALL isPlatformTypeSupported(void*, const char* type)
{
    return isPlatformSupported(type) ? kResultTrue : kResultFalse;
}

Result MORVEK2_VST3_CALL attached(void* self, void* parent, const char* type)
{
    return viewOf(self)->attach(parent, type);
}

Result MORVEK2_VST3_CALL removed(void* self)
{
    return viewOf(self)->remove();
}

Result MORVEK2_VST3_CALL onWheel(void*, float)
{
    return kResultFalse; // the window takes the wheel from its own events
}

Result MORVEK2_VST3_CALL onKeyDown(void* self, Char16 character, std::int16_t code,
                                   std::int16_t modifiers)
{
    return viewOf(self)->key(true, character, code, modifiers);
}

Result MORVEK2_VST3_CALL onKeyUp(void* self, Char16 character, std::int16_t code,
                                 std::int16_t modifiers)
{
    return viewOf(self)->key(false, character, code, modifiers);
}

Result MORVEK2_VST3_CALL getSize(void* self, ViewRect* rect)
{
    if (!rect) {
        return kInvalidArgument;
    }
    viewOf(self)->size(*rect);
    return kResultOk;
}

// The size is fixed (checkSizeConstraint tells the host so): whatever the host made of the parent,
// the window stays as it is.
Result MORVEK2_VST3_CALL onSize(void*, ViewRect* rect)
{
    return rect ? kResultOk : kInvalidArgument;
}

Result MORVEK2_VST3_CALL onFocus(void*, TBool)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL setFrame(void* self, void* frame)
{
    return viewOf(self)->setFrame(frame);
}

Result MORVEK2_VST3_CALL canResize(void*)
{
    return kResultFalse;
}

Result MORVEK2_VST3_CALL checkSizeConstraint(void* self, ViewRect* rect)
{
    if (!rect) {
        return kInvalidArgument;
    }
    ViewRect own{};
    viewOf(self)->size(own);
    rect->right = rect->left + own.right;
    rect->bottom = rect->top + own.bottom;
    return kResultOk;
}

constexpr PlugViewTable kPlugView = {
    kViewUnknown,
    isPlatformTypeSupported,
    attached,
    removed,
    onWheel,
    onKeyDown,
    onKeyUp,
    getSize,
    onSize,
    onFocus,
    setFrame,
    canResize,
    checkSizeConstraint,
};

// ---- IPlugViewContentScaleSupport

Result MORVEK2_VST3_CALL setContentScaleFactor(void* self, float factor)
{
    return viewOf(self)->setScale(factor);
}

constexpr PlugViewContentScaleSupportTable kScaleSupport = {kViewUnknown, setContentScaleFactor};

// ---- ITimerHandler (the run loop's idle)

void MORVEK2_VST3_CALL onTimer(void* self)
{
    viewOf(self)->idle();
}

constexpr TimerHandlerTable kTimerHandler = {kViewUnknown, onTimer};

// ---- The view

View::View(Morvek2Core& core_, void* owner_, void* const* handler_)
    : view{&kPlugView, this}, scale{&kScaleSupport, this}, timer{&kTimerHandler, this}, core(core_),
      owner(owner_), handler(handler_), editor(core_.getEditorLink())
{
    tableOf<UnknownTable>(owner).addRef(owner);
    editor.setFace(this);
}

View::~View()
{
    // A host that releases the view without removing it first leaves no window behind; the
    // editor then reports to no one, and the owner (with the core) goes last.
    close();
    editor.setFace(nullptr);
    if (frame) {
        tableOf<UnknownTable>(frame).release(frame);
    }
    tableOf<UnknownTable>(owner).release(owner);
}

Result View::query(const std::uint8_t* iid, void** object)
{
    if (!object) {
        return kInvalidArgument;
    }
    void* found = nullptr;
    if (sameIid(iid, kIidUnknown) || sameIid(iid, kIidPlugView)) {
        found = &view;
    } else if (sameIid(iid, kIidPlugViewContentScaleSupport)) {
        found = &scale;
    } else if (sameIid(iid, kIidTimerHandler)) {
        found = &timer;
    }
    *object = found;
    if (!found) {
        return kNoInterface;
    }
    references.fetch_add(1, std::memory_order_relaxed);
    return kResultOk;
}

Result View::attach(void* parentWindow, const char* type)
{
    if (!parentWindow || !isPlatformSupported(type)) {
        return kInvalidArgument;
    }
    if (parent) {
        return kResultFalse; // attached already
    }
    Morvek2Editor* shown = core.getGuiEditor();
    if (shown && shown != &editor) {
        return kResultFalse; // the plug-in shows one window at a time
    }
#if !defined(_WIN32)
    // The X11 window handles its events in its idle, and only the host's run loop calls it
    // here: without one the window could draw once but never answer a click.
    void* loop = nullptr;
    if (frame &&
        tableOf<UnknownTable>(frame).queryInterface(frame, kIidRunLoop.bytes, &loop) != kResultOk) {
        loop = nullptr;
    }
    if (!loop) {
        std::fprintf(stderr, "Morvek2: the editor needs the host's run loop (IRunLoop from the "
                             "plug-in frame) to run its window; this host gives none, so there "
                             "is no editor window.\n");
        return kResultFalse;
    }
    if (tableOf<RunLoopTable>(loop).registerTimer(loop, &timer, kIdleMs) != kResultOk) {
        tableOf<UnknownTable>(loop).release(loop);
        return kResultFalse;
    }
    runLoop = loop;
#endif
    if (!open(parentWindow)) {
        close();
        return kResultFalse;
    }
    return kResultOk;
}

bool View::open(void* parentWindow)
{
    core.attachEditor(&editor);
    parent = parentWindow;
    opening = true;
    const bool opened = editor.open(parentWindow);
    opening = false;
    if (!opened) {
        return false;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    editor.getWindowSize(width, height);
    if (width != toldWidth || height != toldHeight) {
        editorResize(width, height);
    }
    return true;
}

void View::close()
{
    if (runLoop) {
        tableOf<RunLoopTable>(runLoop).unregisterTimer(runLoop, &timer);
        tableOf<UnknownTable>(runLoop).release(runLoop);
        runLoop = nullptr;
    }
    if (!parent) {
        return;
    }
    // The core stops reporting before the window goes.
    if (core.getGuiEditor() == &editor) {
        core.detachEditor();
    }
    editor.close();
    parent = nullptr;
}

Result View::remove()
{
    if (!parent) {
        return kResultFalse;
    }
    close();
    return kResultOk;
}

Result View::setFrame(void* newFrame)
{
    if (newFrame) {
        tableOf<UnknownTable>(newFrame).addRef(newFrame);
    }
    if (frame) {
        tableOf<UnknownTable>(frame).release(frame);
    }
    frame = newFrame;
    return kResultOk;
}

Result View::setScale(float factor)
{
    if (!std::isfinite(factor) || factor <= 0.0f) {
        return kInvalidArgument;
    }
#if defined(_WIN32)
    // A Windows window takes its scale from its own DPI and follows it to other screens; drawn
    // at a scale the host announces as well it would grow twice. Refused, as the host hears:
    // getSize gives the DPI's size.
    return kResultFalse;
#endif
    if (factor == editor.getHostScaleFactor()) {
        return kResultOk;
    }
    editor.setHostScaleFactor(factor);
    // An open window is built for one scale: it is built again for the new one.
    if (parent) {
        void* parentWindow = parent;
        core.detachEditor();
        editor.close();
        if (!open(parentWindow)) {
            close();
            return kResultFalse;
        }
    }
    return kResultOk;
}

void View::size(ViewRect& rect)
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    editor.getWindowSize(width, height);
    rect = ViewRect{0, 0, width, height};
    toldWidth = width;
    toldHeight = height;
}

Result View::key(bool down, Char16 character, std::int16_t code, std::int16_t modifiers)
{
    if (!parent) {
        return kResultFalse;
    }
    // The key codes and modifier bits are those of the VST 2.4 key events the window knows.
    const bool used = down ? editor.onKeyDown(character, code, modifiers)
                           : editor.onKeyUp(character, code, modifiers);
    return used ? kResultTrue : kResultFalse;
}

const ComponentHandlerTable* View::handlerTable(void*& object) const
{
    object = handler ? *handler : nullptr;
    return object ? &tableOf<ComponentHandlerTable>(object) : nullptr;
}

void View::editorParameterAutomated(int32_t index, float normalised)
{
    if (index < 0 || index >= kNumParams || !std::isfinite(normalised)) {
        return;
    }
    // The core may change other parameters with this one (a Solo switches the others off); the
    // face reports those to the host as gestures of their own, as it does for MIDI-driven changes.
    core.setParameter(index, normalised);
    void* h = nullptr;
    const ComponentHandlerTable* table = handlerTable(h);
    if (table) {
        table->performEdit(h, static_cast<ParamId>(index), core.getParameter(index));
    }
}

void View::editorBeginEdit(int32_t index)
{
    void* h = nullptr;
    const ComponentHandlerTable* table = handlerTable(h);
    if (table && index >= 0 && index < kNumParams) {
        table->beginEdit(h, static_cast<ParamId>(index));
    }
}

void View::editorEndEdit(int32_t index)
{
    void* h = nullptr;
    const ComponentHandlerTable* table = handlerTable(h);
    if (table && index >= 0 && index < kNumParams) {
        table->endEdit(h, static_cast<ParamId>(index));
    }
}

void View::editorProgramChanged(int32_t /*program*/)
{
    void* h = nullptr;
    const ComponentHandlerTable* table = handlerTable(h);
    if (table) {
        table->restartComponent(h, kRestartParamValuesChanged);
    }
}

bool View::editorResize(int32_t width, int32_t height)
{
    if (opening) {
        return frame != nullptr; // open() announces the final size when the window exists
    }
    if (!frame) {
        return false;
    }
    ViewRect rect{0, 0, width, height};
    if (tableOf<PlugFrameTable>(frame).resizeView(frame, &view, &rect) != kResultOk) {
        return false;
    }
    toldWidth = width;
    toldHeight = height;
    return true;
}

} // namespace

void* createEditorView(Morvek2Core& core, void* owner, void* const* handler)
{
    if (!owner) {
        return nullptr;
    }
    try {
        return &(new View(core, owner, handler))->view;
    } catch (...) {
        return nullptr; // nothing may unwind into the host
    }
}

} // namespace morvek2::vst3
