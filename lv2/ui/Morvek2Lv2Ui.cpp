// The LV2 editor (ui:X11UI): the plug-in's own editor window embedded in the host's parent
// window, on the processing core the host shares through instance access. Edits reach the core
// at once (as the VST 2.4 editor's do) and the host through the control ports, as plain values,
// with touch around every gesture so that hosts record automation.
//
// Without instance access there is no core to show, and a window that cannot work is worse than
// none: instantiation then fails with a message, and the host shows its own controls for the
// ports.
#include "editor/Morvek2Editor.h"
#include "gui/GUIEditor.h"
#include "lv2/Morvek2Lv2Instance.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

using morvek2::lv2::kPortControl0;

constexpr int kNumParams = Morvek2Editor::kNumParams;

class Morvek2Lv2Ui final : public GUIEditorFace
{
public:
    Morvek2Lv2Ui(Morvek2Core& core_, LV2UI_Write_Function write_, LV2UI_Controller controller_,
                 const LV2UI_Resize* resize_, const LV2UI_Touch* touch_)
        : core(core_), mapping(core_.getParameterManager()), editor(core_.getEditorLink()),
          write(write_), controller(controller_), resize(resize_), touch(touch_)
    {
        editor.setFace(this);
        for (int i = 0; i < kNumParams; ++i) {
            known[static_cast<std::size_t>(i)] = core.getParameter(i);
        }
        gesture.fill(0);
    }

    // Attaches the editor to the core and embeds its window in `parent`; the host hears the size
    // once, at every scale. The editor announces a scaled window by itself (a VST 2.4 host learns
    // the unscaled size from the window rectangle), so that announcement is held back while it
    // opens and the one made here stands for both.
    bool open(void* parent, double hostScale) // [ui]
    {
        editor.setHostScaleFactor(hostScale);
        core.attachEditor(&editor);
        opening = true;
        const bool opened = editor.open(parent);
        opening = false;
        if (!opened) {
            core.detachEditor();
            return false;
        }
        int32_t width = 0;
        int32_t height = 0;
        editor.getWindowSize(width, height);
        editorResize(width, height);
        return true;
    }

    // The core stops reporting before the window goes.
    void close() // [ui]
    {
        core.detachEditor();
        editor.close();
    }

    // The editor's X11 window (the parent until the window exists: a host that has not flushed
    // its parent yet gets the child at a later idle).
    void* widget(void* parent) const // [ui]
    {
        VSTGUI::CFrame* frame = editor.getFrame();
        void* handle = frame && frame->getPlatformFrame()
                           ? frame->getPlatformFrame()->getNativeHandle()
                           : nullptr;
        return handle ? handle : parent;
    }

    int idle() // [ui]
    {
        editor.idle();
        return 0;
    }

    // A control port changed on the host's side: the window shows it (the core takes it in the
    // plug-in's next run). Echoes of the window's own writes and values arriving during a
    // gesture on the port are left alone, so a drag is never pulled back to an older value.
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) // [ui]
    {
        if (format != 0 || size != sizeof(float) || !buffer || port < kPortControl0 ||
            port >= kPortControl0 + kNumParams) {
            return;
        }
        const int index = static_cast<int>(port - kPortControl0);
        float plain = 0.0f;
        std::memcpy(&plain, buffer, sizeof plain);
        if (!std::isfinite(plain) || gesture[static_cast<std::size_t>(index)] != 0) {
            return;
        }
        const float normalised = mapping.toNormalised(index, plain);
        if (normalised == known[static_cast<std::size_t>(index)]) {
            return;
        }
        known[static_cast<std::size_t>(index)] = normalised;
        editor.setParameter(index, normalised);
    }

    // ---- GUIEditorFace ----
    void editorParameterAutomated(int32_t index, float normalised) override // [ui]
    {
        if (index < 0 || index >= kNumParams || !std::isfinite(normalised)) {
            return;
        }
        // The core may change other parameters with this one (a Solo switches the others off);
        // the host hears of every value this edit changed.
        std::array<float, kNumParams> before{};
        for (int i = 0; i < kNumParams; ++i) {
            before[static_cast<std::size_t>(i)] = core.getParameter(i);
        }
        core.setParameter(index, normalised);
        for (int i = 0; i < kNumParams; ++i) {
            const float now = core.getParameter(i);
            if (i == index || now != before[static_cast<std::size_t>(i)]) {
                sendPort(i, now);
            }
        }
    }

    void editorBeginEdit(int32_t index) override // [ui]
    {
        if (index < 0 || index >= kNumParams) {
            return;
        }
        gesture[static_cast<std::size_t>(index)] = 1;
        if (touch) {
            touch->touch(touch->handle, kPortControl0 + static_cast<uint32_t>(index), true);
        }
    }

    void editorEndEdit(int32_t index) override // [ui]
    {
        if (index < 0 || index >= kNumParams) {
            return;
        }
        gesture[static_cast<std::size_t>(index)] = 0;
        if (touch) {
            touch->touch(touch->handle, kPortControl0 + static_cast<uint32_t>(index), false);
        }
    }

    // A program chosen in the window is in the core already; the host's ports still hold the
    // old program's values. All of them are written, so the host shows, automates and saves
    // with its session what the core now holds (the plug-in's next run reads back exactly the
    // values it has).
    void editorProgramChanged(int32_t /*program*/) override // [ui]
    {
        for (int i = 0; i < kNumParams; ++i) {
            sendPort(i, core.getParameter(i));
        }
    }

    bool editorCanResize() override { return resize != nullptr; } // [ui]

    bool editorResize(int32_t width, int32_t height) override // [ui]
    {
        if (opening) {
            return resize != nullptr; // open() announces the final size when the window exists
        }
        return resize && resize->ui_resize(resize->handle, width, height) == 0;
    }

private:
    void sendPort(int index, float normalised) // [ui]
    {
        known[static_cast<std::size_t>(index)] = normalised;
        const float plain = mapping.toPlain(index, normalised);
        write(controller, kPortControl0 + static_cast<uint32_t>(index), sizeof plain, 0, &plain);
    }

    Morvek2Core& core;
    morvek2::PortMapping mapping;
    Morvek2Editor editor;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Resize* resize;
    const LV2UI_Touch* touch;
    // The normalised value of each parameter as this window last sent or heard it.
    std::array<float, kNumParams> known{};
    // 1 while the window holds a gesture on the parameter.
    std::array<uint8_t, kNumParams> gesture{};
    // True while the editor opens: its own size announcement waits for open()'s.
    bool opening = false;
};

// The scale the host announces for its windows (ui:scaleFactor among the options), 0 for none.
double hostScaleFactor(const LV2_Options_Option* options, const LV2_URID_Map* map)
{
    if (!options || !map) {
        return 0.0;
    }
    const LV2_URID scaleKey = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = map->map(map->handle, LV2_ATOM__Double);
    for (const LV2_Options_Option* o = options; o->key != 0; ++o) {
        if (o->key != scaleKey || !o->value) {
            continue;
        }
        if (o->type == floatType && o->size == sizeof(float)) {
            return *static_cast<const float*>(o->value);
        }
        if (o->type == doubleType && o->size == sizeof(double)) {
            return *static_cast<const double*>(o->value);
        }
    }
    return 0.0;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    if (!pluginUri || std::strcmp(pluginUri, morvek2::lv2::kPluginUri) != 0 || !write) {
        return nullptr;
    }
    void* instance = nullptr;
    void* parent = nullptr;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        const char* uri = (*f)->URI;
        if (std::strcmp(uri, LV2_INSTANCE_ACCESS_URI) == 0) {
            instance = (*f)->data;
        } else if (std::strcmp(uri, LV2_UI__parent) == 0) {
            parent = (*f)->data;
        } else if (std::strcmp(uri, LV2_UI__resize) == 0) {
            resize = static_cast<const LV2UI_Resize*>((*f)->data);
        } else if (std::strcmp(uri, LV2_UI__touch) == 0) {
            touch = static_cast<const LV2UI_Touch*>((*f)->data);
        } else if (std::strcmp(uri, LV2_URID__map) == 0) {
            map = static_cast<const LV2_URID_Map*>((*f)->data);
        } else if (std::strcmp(uri, LV2_OPTIONS__options) == 0) {
            options = static_cast<const LV2_Options_Option*>((*f)->data);
        }
    }
    Morvek2Core* core = morvek2Lv2Core(instance);
    if (!core) {
        std::fprintf(stderr,
                     "Morvek2: the editor needs the host to share the plug-in instance "
                     "(lv2:instance-access); this host does not, so there is no editor window. "
                     "The host's own controls for the plug-in's ports still work.\n");
        return nullptr;
    }
    if (!parent) {
        std::fprintf(stderr, "Morvek2: the editor needs a parent window (ui:parent) to embed in; "
                             "this host gave none, so there is no editor window.\n");
        return nullptr;
    }
    auto* ui = new (std::nothrow) Morvek2Lv2Ui(*core, write, controller, resize, touch);
    if (!ui) {
        return nullptr;
    }
    if (!ui->open(parent, hostScaleFactor(options, map))) {
        delete ui;
        return nullptr;
    }
    if (widget) {
        *widget = ui->widget(parent);
    }
    return ui;
}

void cleanup(LV2UI_Handle handle)
{
    auto* ui = static_cast<Morvek2Lv2Ui*>(handle);
    ui->close();
    delete ui;
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer)
{
    static_cast<Morvek2Lv2Ui*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle)
{
    return static_cast<Morvek2Lv2Ui*>(handle)->idle();
}

const void* extensionData(const char* uri)
{
    static const LV2UI_Idle_Interface idleInterface{idle};
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) {
        return &idleInterface;
    }
    return nullptr;
}

const LV2UI_Descriptor descriptor{morvek2::lv2::kUiUri, instantiate, cleanup, portEvent,
                                  extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &descriptor : nullptr;
}
