// The LV2 editor binary as a host drives it, beside the LV2 DSP binary of the same bundle, in a
// private Xvfb: refused without instance access; with it, embedded in the host's window, sized
// through ui:resize at the host's scale, drawn as the VST 2.4 editor draws, and a knob drag
// reaching the core and the host's control port inside a touch. The VST3 module's editor view
// likewise: refused without the host's run loop, drawn as the VST 2.4 editor draws, a knob
// drag reaching the host's component handler as begin, perform, end, and MIDI learn started in
// the window ending with a controller the host sends through IMidiMapping.
#include "editor/Morvek2Editor.h"
#include "lv2/Morvek2Lv2Instance.h"
#include "params/MidiAssignmentsFile.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"
#include "vst2/Morvek2.h"
#if defined(MORVEK2_VST3_MODULE)
#include "vst3_fake_host.h"
#endif

// Google Test before Xlib: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "support/x11_window.h"
#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using morvek2::test::Xvfb;

constexpr int kNumParamsInTest = Morvek2Editor::kNumParams;

const auto* const xvfbEnvironment = ::testing::AddGlobalTestEnvironment(new Xvfb);

// What the fake host heard from the editor.
struct Heard
{
    std::vector<std::tuple<char, uint32_t, float>> calls; // 't' touch on/'u' off, 'w' write
    std::vector<std::pair<int, int>> sizes;
};

void writePort(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer)
{
    float value = 0.0f;
    if (format == 0 && size == sizeof value) {
        std::memcpy(&value, buffer, sizeof value);
        static_cast<Heard*>(controller)->calls.emplace_back('w', port, value);
    }
}

void touchPort(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed)
{
    static_cast<Heard*>(handle)->calls.emplace_back(grabbed ? 't' : 'u', port, 0.0f);
}

int resizeWindow(LV2UI_Feature_Handle handle, int width, int height)
{
    static_cast<Heard*>(handle)->sizes.emplace_back(width, height);
    return 0;
}

std::vector<std::string>& uris()
{
    static std::vector<std::string> table;
    return table;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri)
{
    for (std::size_t i = 0; i < uris().size(); ++i) {
        if (uris()[i] == uri) {
            return static_cast<LV2_URID>(i + 1);
        }
    }
    uris().emplace_back(uri);
    return static_cast<LV2_URID>(uris().size());
}

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

using morvek2::test::pixels;

void idleFor(const std::function<void()>& idle, int times)
{
    for (int i = 0; i < times; ++i) {
        idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

#if defined(MORVEK2_VST3_MODULE)
TEST(Vst3View, DrawsAsTheVst2EditorAndBracketsAKnobDragForTheHost)
{
    if (Xvfb::display.empty()) {
        GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
    }
    namespace v3 = morvek2::vst3;
    namespace fs = std::filesystem;
    // The plug-in finds the assignments file's folder from the environment when it is made.
    const fs::path dataHome = fs::temp_directory_path() / "morvek2-vst3view-learn";
    fs::remove_all(dataHome);
    const char* oldDataHome = std::getenv("XDG_DATA_HOME");
    const bool hadDataHome = oldDataHome != nullptr;
    const std::string savedDataHome = oldDataHome ? oldDataHome : "";
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    morvek2::test::Vst3FakeHost vst3Host;
    void* module = dlopen(MORVEK2_VST3_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using FactoryEntry = void* (*)();
    auto entry = reinterpret_cast<FactoryEntry>(dlsym(module, "GetPluginFactory"));
    ASSERT_NE(entry, nullptr);
    void* factory = entry();
    constexpr v3::Iid kClassId = v3::makeIid(0x6D3A91C4, 0x2B7E4F08, 0xA15C93D2, 0x7E40B1F6);
    void* controller = nullptr;
    ASSERT_EQ(v3::tableOf<v3::PluginFactoryTable>(factory).createInstance(
                  factory, kClassId.bytes, v3::kIidEditController.bytes, &controller),
              v3::kResultOk);
    const auto& edit = v3::tableOf<v3::EditControllerTable>(controller);
    edit.setComponentHandler(controller, vst3Host.handler());
    EXPECT_EQ(edit.createView(controller, "other"), nullptr);
    void* view = edit.createView(controller, "editor");
    ASSERT_NE(view, nullptr);
    const auto& plugView = v3::tableOf<v3::PlugViewTable>(view);
    EXPECT_EQ(plugView.isPlatformTypeSupported(view, v3::kPlatformX11), v3::kResultTrue);
    EXPECT_EQ(plugView.isPlatformTypeSupported(view, v3::kPlatformHwnd), v3::kResultFalse);

    // The host's scale decides the size it hears.
    void* scale = nullptr;
    ASSERT_EQ(
        plugView.unknown.queryInterface(view, v3::kIidPlugViewContentScaleSupport.bytes, &scale),
        v3::kResultOk);
    const auto size = [&] {
        v3::ViewRect rect{};
        EXPECT_EQ(plugView.getSize(view, &rect), v3::kResultOk);
        return std::make_pair(rect.right - rect.left, rect.bottom - rect.top);
    };
    const auto& scaling = v3::tableOf<v3::PlugViewContentScaleSupportTable>(scale);
    scaling.setContentScaleFactor(scale, 2.0f);
    EXPECT_EQ(size(), std::make_pair(1294, 894));
    scaling.setContentScaleFactor(scale, 1.0f);
    EXPECT_EQ(size(), std::make_pair(Morvek2Editor::kWidth, Morvek2Editor::kHeight));
    plugView.unknown.release(scale);

    Display* host = XOpenDisplay(Xvfb::display.c_str());
    ASSERT_NE(host, nullptr);
    const Window parent =
        XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, Morvek2Editor::kWidth,
                            Morvek2Editor::kHeight, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
    void* parentHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    const auto children = [&] { return morvek2::test::children(host, parent); };

    // Without a run loop nothing would ever idle the window: no window, and it says why.
    vst3Host.offerRunLoop = false;
    plugView.setFrame(view, vst3Host.frame());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(plugView.attached(view, parentHandle, v3::kPlatformX11), v3::kResultFalse);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("IRunLoop"), std::string::npos);
    EXPECT_TRUE(children().empty());

    vst3Host.offerRunLoop = true;
    ASSERT_EQ(plugView.attached(view, parentHandle, v3::kPlatformX11), v3::kResultOk);
    ASSERT_NE(vst3Host.timer, nullptr);
    EXPECT_TRUE(vst3Host.sizes.empty()) << "the host heard the size from getSize already";
    const auto timerIdle = [&] { vst3Host.fireTimer(); };
    idleFor(timerIdle, 30);
    ASSERT_EQ(children().size(), 1u);
    const Window uiWindow = children().front();
    const auto vst3Picture = pixels(host, uiWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight);
    ASSERT_FALSE(vst3Picture.empty());
    {
        Morvek2 vst2{quietHost};
        Morvek2Editor& vstEditor = *vst2.getGuiEditor();
        const Window vstParent =
            XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 700, 500, 0, 0, 0);
        XMapWindow(host, vstParent);
        XSync(host, False);
        ASSERT_TRUE(vstEditor.open(reinterpret_cast<void*>(static_cast<uintptr_t>(vstParent))));
        idleFor([&] { vstEditor.idle(); }, 30);
        const auto vstWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(
            vstEditor.getFrame()->getPlatformFrame()->getNativeHandle()));
        EXPECT_TRUE(vst3Picture ==
                    pixels(host, vstWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight))
            << "the VST3 editor draws what the VST 2.4 editor draws";
        vstEditor.close();
        XDestroyWindow(host, vstParent);
        XSync(host, False);
    }

    // A drag up on the output knob: the host hears begin, the values, end.
    constexpr int kGain = morvek2::param::kOutputGain;
    const double before = edit.getParamNormalized(controller, kGain);
    const auto sendAt = [&](int type, int x, int y, unsigned state) {
        morvek2::test::sendPointer(host, uiWindow, type, x, y, state);
        idleFor(timerIdle, 3);
    };
    const auto send = [&](int type, int y, unsigned state) { sendAt(type, 473, y, state); };
    send(ButtonPress, 348, 0);
    send(MotionNotify, 320, Button1Mask);
    send(MotionNotify, 290, Button1Mask);
    send(ButtonRelease, 290, Button1Mask);
    const double after = edit.getParamNormalized(controller, kGain);
    EXPECT_NE(after, before);
    const auto& edits = vst3Host.edits;
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front(), std::make_tuple('b', uint32_t{kGain}, 0.0));
    EXPECT_EQ(edits[edits.size() - 2], std::make_tuple('p', uint32_t{kGain}, after));
    EXPECT_EQ(edits.back(), std::make_tuple('e', uint32_t{kGain}, 0.0));

    // The host sets the value back: the window follows.
    EXPECT_EQ(edit.setParamNormalized(controller, kGain, before), v3::kResultOk);
    idleFor(timerIdle, 10);
    EXPECT_TRUE(vst3Picture ==
                pixels(host, uiWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight));

    // MIDI learn as a user starts it, Control+Shift on the knob; then the host's controller 21
    // on channel 3, mapped to a hidden parameter and sent from the audio thread twice (learned)
    // and once more (moving the knob), as a VST 2.4 host sends it.
    send(ButtonPress, 348, ControlMask | ShiftMask);
    send(ButtonRelease, 348, Button1Mask | ControlMask | ShiftMask);
    EXPECT_EQ(edit.getParamNormalized(controller, kGain), before);
    void* mapping = nullptr;
    void* component = nullptr;
    void* processor = nullptr;
    ASSERT_EQ(edit.base.unknown.queryInterface(controller, v3::kIidMidiMapping.bytes, &mapping),
              v3::kResultOk);
    ASSERT_EQ(edit.base.unknown.queryInterface(controller, v3::kIidComponent.bytes, &component),
              v3::kResultOk);
    ASSERT_EQ(
        edit.base.unknown.queryInterface(controller, v3::kIidAudioProcessor.bytes, &processor),
        v3::kResultOk);
    // A host gives MIDI only to an event input, and asks the mapping for that bus.
    const auto& parts = v3::tableOf<v3::ComponentTable>(component);
    ASSERT_EQ(parts.getBusCount(component, v3::kEvent, v3::kInput), 1);
    v3::BusInfo midiIn{};
    ASSERT_EQ(parts.getBusInfo(component, v3::kEvent, v3::kInput, 0, &midiIn), v3::kResultOk);
    EXPECT_EQ(midiIn.channelCount, 16);
    EXPECT_EQ(midiIn.busType, v3::kMain);
    EXPECT_EQ(parts.activateBus(component, v3::kEvent, v3::kInput, 0, 1), v3::kResultOk);
    v3::ParamId cc21 = 0;
    ASSERT_EQ(v3::tableOf<v3::MidiMappingTable>(mapping).getMidiControllerAssignment(mapping, 0, 2,
                                                                                     21, &cc21),
              v3::kResultTrue);
    const auto& audio = v3::tableOf<v3::AudioProcessorTable>(processor);
    v3::ProcessSetup setup{v3::kRealtime, v3::kSample32, 64, 44100.0};
    ASSERT_EQ(audio.setupProcessing(processor, &setup), v3::kResultOk);
    parts.setActive(component, 1);
    audio.setProcessing(processor, 1);
    morvek2::test::Vst3FakeChanges changes;
    changes.id = cc21;
    const auto block = [&] {
        std::vector<float> left(64), right(64);
        float* channels[2] = {left.data(), right.data()};
        v3::AudioBusBuffers ins{2, 0, {channels}}, outs{2, 0, {channels}};
        v3::ProcessData data{};
        data.processMode = v3::kRealtime;
        data.sampleSize = v3::kSample32;
        data.numSamples = 64;
        data.numInputs = 1;
        data.numOutputs = 1;
        data.inputs = &ins;
        data.outputs = &outs;
        data.inputParameterChanges = changes.changes();
        std::thread([&] { EXPECT_EQ(audio.process(processor, &data), v3::kResultOk); }).join();
        changes.points.clear();
        idleFor(timerIdle, 3);
    };
    changes.points = {{10, 40 / 127.0}, {30, 40 / 127.0}};
    block();
    EXPECT_EQ(edit.getParamNormalized(controller, kGain), before);
    changes.points = {{5, 100 / 127.0}};
    block();
    EXPECT_FLOAT_EQ(static_cast<float>(edit.getParamNormalized(controller, kGain)),
                    100.0f / 127.0f);
    // The assignment is in the file the VST 2.4 module writes in this environment.
    const fs::path file = dataHome / "Zendrik" / MidiAssignmentsFile::kFileName;
    EXPECT_EQ(MidiAssignmentsFile().getPath(), file.string());
    std::ifstream assignments(file);
    std::string line;
    EXPECT_TRUE(std::getline(assignments, line));
    EXPECT_EQ(line, "90 21");
    audio.setProcessing(processor, 0);
    parts.setActive(component, 0);
    for (void* port : {mapping, component, processor}) {
        v3::tableOf<v3::UnknownTable>(port).release(port);
    }

    // A program chosen in the window: the host is told to re-read every value, the program
    // list's among them, and hears no edit.
    vst3Host.edits.clear();
    const VSTGUI::CRect box = Morvek2Editor::kProgramMenuRect;
    const int boxX = static_cast<int>(box.left + box.right) / 2;
    const int boxY = static_cast<int>(box.top + box.bottom) / 2;
    for (int click = 0; click < 2; ++click) {
        sendAt(ButtonPress, boxX, boxY, 0);
        sendAt(ButtonRelease, boxX, boxY, Button1Mask);
    }
    EXPECT_NE(edit.getParamNormalized(controller, morvek2::param::kNumParams), 0.0);
    EXPECT_EQ(vst3Host.edits, (decltype(vst3Host.edits){std::make_tuple(
                                  'r', v3::ParamId{v3::kRestartParamValuesChanged}, 0.0)}));

    // Removed: the timer and the window are gone.
    EXPECT_EQ(plugView.removed(view), v3::kResultOk);
    EXPECT_EQ(vst3Host.timer, nullptr);
    EXPECT_TRUE(children().empty());
    EXPECT_EQ(plugView.unknown.release(view), 0u);
    v3::tableOf<v3::UnknownTable>(controller).release(controller);
    XDestroyWindow(host, parent);
    XCloseDisplay(host);
    if (hadDataHome) {
        setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
    fs::remove_all(dataHome);
}
#endif

TEST(Lv2Ui, RefusedWithoutInstanceAccessAndWorksWithIt)
{
    if (Xvfb::display.empty()) {
        GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
    }
    const std::string bundle = std::string(MORVEK2_LV2_BUNDLE) + "/";
    void* dsp = dlopen((bundle + "Morvek2.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(dsp, nullptr) << dlerror();
    void* uiLibrary = dlopen((bundle + "Morvek2_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(uiLibrary, nullptr) << dlerror();
    auto dspEntry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(dsp, "lv2_descriptor"));
    auto uiEntry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(uiLibrary, "lv2ui_descriptor"));
    ASSERT_TRUE(dspEntry && uiEntry);
    const LV2_Descriptor* dspDescriptor = dspEntry(0);
    const LV2UI_Descriptor* uiDescriptor = uiEntry(0);
    ASSERT_TRUE(dspDescriptor && uiDescriptor);
    EXPECT_STREQ(uiDescriptor->URI, "urn:zendrik:morvek2#ui");
    EXPECT_EQ(uiEntry(1), nullptr);

    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* dspFeatures[] = {&mapFeature, nullptr};
    LV2_Handle instance =
        dspDescriptor->instantiate(dspDescriptor, 44100.0, bundle.c_str(), dspFeatures);
    ASSERT_NE(instance, nullptr);
    Morvek2Core* core = morvek2Lv2Core(instance);
    ASSERT_NE(core, nullptr);

    Display* host = XOpenDisplay(Xvfb::display.c_str());
    ASSERT_NE(host, nullptr);
    const auto parentWindow = [&] {
        const Window w =
            XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 700, 500, 0, 0, 0);
        XMapWindow(host, w);
        XSync(host, False);
        return w;
    };
    const Window parent = parentWindow();
    void* parentHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));

    Heard heard;
    LV2UI_Resize resize{&heard, resizeWindow};
    LV2UI_Touch touch{&heard, touchPort};
    const LV2_Feature parentFeature{LV2_UI__parent, parentHandle};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
    const LV2_Feature accessFeature{LV2_INSTANCE_ACCESS_URI, instance};
    const auto uiInstantiate = [&](const LV2_Feature* const* features, LV2UI_Widget* widget) {
        return uiDescriptor->instantiate(uiDescriptor, "urn:zendrik:morvek2", bundle.c_str(),
                                         writePort, &heard, widget, features);
    };

    // A host that does not share the instance: no window at all, and it says why.
    {
        const LV2_Feature* features[] = {&parentFeature, &resizeFeature, nullptr};
        LV2UI_Widget widget = nullptr;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(uiInstantiate(features, &widget), nullptr);
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("instance-access"),
                  std::string::npos);
        EXPECT_TRUE(heard.sizes.empty());
    }

    // A host announcing a 2x scale: the window and the size the host hears follow it.
    {
        const float scale = 2.0f;
        const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0,
                                               mapUri(nullptr, LV2_UI__scaleFactor), sizeof scale,
                                               mapUri(nullptr, LV2_ATOM__Float), &scale},
                                              {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options,
                                         const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature* features[] = {&mapFeature,    &optionsFeature, &parentFeature,
                                         &accessFeature, &resizeFeature,  nullptr};
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle ui = uiInstantiate(features, &widget);
        ASSERT_NE(ui, nullptr);
        ASSERT_EQ(heard.sizes.size(), 1u);
        EXPECT_EQ(heard.sizes[0], std::make_pair(1294, 894));
        XWindowAttributes attributes{};
        ASSERT_NE(XGetWindowAttributes(host, reinterpret_cast<uintptr_t>(widget), &attributes), 0);
        EXPECT_EQ(attributes.width, 1294);
        uiDescriptor->cleanup(ui);
        heard.sizes.clear();
    }

    // At 1x: the picture is the VST 2.4 editor's for the same program.
    const LV2_Feature* features[] = {&mapFeature,    &parentFeature, &accessFeature,
                                     &resizeFeature, &touchFeature,  nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = uiInstantiate(features, &widget);
    ASSERT_NE(ui, nullptr);
    ASSERT_EQ(heard.sizes.size(), 1u);
    EXPECT_EQ(heard.sizes[0], std::make_pair(Morvek2Editor::kWidth, Morvek2Editor::kHeight));
    const auto* idleInterface = static_cast<const LV2UI_Idle_Interface*>(
        uiDescriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idleInterface, nullptr);
    const auto uiIdle = [&] { EXPECT_EQ(idleInterface->idle(ui), 0); };
    idleFor(uiIdle, 30);
    const auto uiWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(widget));
    ASSERT_NE(uiWindow, parent) << "the editor's own window exists";
    // Read before the VST 2.4 window covers it: the server keeps no pixels of a covered window.
    const auto lv2Picture = pixels(host, uiWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight);
    ASSERT_FALSE(lv2Picture.empty());

    Morvek2 vst2{quietHost};
    const Window vstParent = parentWindow();
    Morvek2Editor& vstEditor = *vst2.getGuiEditor();
    ASSERT_TRUE(vstEditor.open(reinterpret_cast<void*>(static_cast<uintptr_t>(vstParent))));
    idleFor([&] { vstEditor.idle(); }, 30);
    const auto vstWindow = static_cast<Window>(
        reinterpret_cast<uintptr_t>(vstEditor.getFrame()->getPlatformFrame()->getNativeHandle()));
    EXPECT_TRUE(lv2Picture ==
                pixels(host, vstWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight))
        << "the LV2 editor draws what the VST 2.4 editor draws";
    vstEditor.close();
    XDestroyWindow(host, vstParent); // uncovers the LV2 editor, which draws itself again
    XSync(host, False);

    // A drag up on the output knob: touch, the new value on its port as a plain value, the same
    // value in the core, touch released.
    constexpr int kGain = morvek2::param::kOutputGain;
    const float before = core->getParameter(kGain);
    heard.calls.clear();
    const auto sendAt = [&](int type, int x, int y, unsigned state) {
        morvek2::test::sendPointer(host, uiWindow, type, x, y, state);
        idleFor(uiIdle, 3);
    };
    const auto send = [&](int type, int y, unsigned state) { sendAt(type, 473, y, state); };
    send(ButtonPress, 348, 0);
    send(MotionNotify, 320, Button1Mask);
    send(MotionNotify, 290, Button1Mask);
    send(ButtonRelease, 290, Button1Mask);
    const float after = core->getParameter(kGain);
    EXPECT_NE(after, before);
    const uint32_t port = morvek2::lv2::kPortControl0 + kGain;
    ASSERT_GE(heard.calls.size(), 3u);
    EXPECT_EQ(heard.calls.front(), std::make_tuple('t', port, 0.0f));
    EXPECT_EQ(heard.calls.back(), std::make_tuple('u', port, 0.0f));
    const morvek2::PortMapping mapping(core->getParameterManager());
    const auto& last = heard.calls[heard.calls.size() - 2];
    EXPECT_EQ(last, std::make_tuple('w', port, mapping.toPlain(kGain, after)));

    EXPECT_FALSE(lv2Picture ==
                 pixels(host, uiWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight))
        << "the knob shows the drag";

    // The host moves the port back: the window follows (its picture returns to the first one)
    // from the port event alone, before the plug-in's next run sets the core.
    const float plainBefore = mapping.toPlain(kGain, before);
    uiDescriptor->port_event(ui, port, sizeof plainBefore, 0, &plainBefore);
    idleFor(uiIdle, 10);
    EXPECT_TRUE(lv2Picture ==
                pixels(host, uiWindow, Morvek2Editor::kWidth, Morvek2Editor::kHeight));
    core->setParameter(kGain, before); // what the plug-in's next run does with the port

    // A program chosen in the window (a click opens the list, a second one on the same spot
    // picks the program listed there): the core switches, and every control port hears the new
    // value as a plain value, so that the host's ports and its saved session hold the program.
    heard.calls.clear();
    const VSTGUI::CRect box = Morvek2Editor::kProgramMenuRect;
    const int boxX = static_cast<int>(box.left + box.right) / 2;
    const int boxY = static_cast<int>(box.top + box.bottom) / 2;
    for (int click = 0; click < 2; ++click) {
        sendAt(ButtonPress, boxX, boxY, 0);
        sendAt(ButtonRelease, boxX, boxY, Button1Mask);
    }
    EXPECT_NE(core->getProgram(), 0);
    std::vector<int> writes(kNumParamsInTest, 0);
    for (const auto& [kind, p, value] : heard.calls) {
        ASSERT_EQ(kind, 'w');
        ASSERT_GE(p, morvek2::lv2::kPortControl0);
        const int index = static_cast<int>(p - morvek2::lv2::kPortControl0);
        ASSERT_LT(index, kNumParamsInTest);
        ++writes[static_cast<std::size_t>(index)];
        EXPECT_EQ(value, mapping.toPlain(index, core->getParameter(index))) << index;
        // What the plug-in's next run takes from the port is the value the core holds.
        EXPECT_EQ(mapping.toNormalised(index, value), core->getParameter(index)) << index;
    }
    EXPECT_EQ(writes, std::vector<int>(kNumParamsInTest, 1));

    // Closing leaves the host's window and the plug-in as they were.
    uiDescriptor->cleanup(ui);
    XSync(host, False);
    Window root = 0;
    Window parentOfParent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    ASSERT_NE(XQueryTree(host, parent, &root, &parentOfParent, &children, &count), 0);
    EXPECT_EQ(count, 0u) << "the editor's window went with it";
    if (children) {
        XFree(children);
    }
    core->setParameter(kGain, after); // the core reports to no window any more
    dspDescriptor->cleanup(instance);
    XCloseDisplay(host);
}
