#include "editor/Morvek2Editor.h"

#include "editor/CDezadeduResource.h"
#include "editor/CHighlightFrame.h"
#include "editor/CZKButtons.h"
#include "editor/CZKControlGrid.h"
#include "editor/CZKKnob.h"
#include "editor/CZKProgramMenu.h"
#include "editor/CZKSlider.h"
#include "editor/CZKTextDisplay.h"
#include "editor/CZKVMultislider.h"
#include "editor/CZKVPopupMenu.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace VSTGUI;
using namespace morvek2::param;

namespace {

// Resources.
constexpr int32_t kBackgroundBitmap = 10000;
constexpr int32_t kActiveBitmap = 10007;
constexpr int32_t kSmallButtonBitmap = 10008;
constexpr int32_t kDelayModeBitmap = 10009;
constexpr int32_t kDirectionBitmap = 10010;
constexpr int32_t kAboutBitmap = 10011;
constexpr int32_t kOutputKnobBitmap = 10012;
constexpr int32_t kMuteCoverBitmap = 10013;
constexpr int32_t kLargeFont = 20000;
constexpr int32_t kSmallFont = 20001;

constexpr CColor kStepHighlight{255, 132, 0, 255};
constexpr CColor kRowHighlight{255, 255, 0, 255};
constexpr CColor kTransparentWhite{255, 255, 255, 0};
constexpr CColor kPopupBackground{14, 13, 23, 200};
// The open program list covers whole panels: what lies underneath would show through the names.
constexpr CColor kProgramListBackground{14, 13, 23, 255};
constexpr CColor kLockLit{115, 190, 232, 190};

constexpr uint32_t kOrderSet = 1u << 31;

// The open program list: this many programs to a column.
constexpr int32_t kProgramRows = 20;

// Hosts show at most this many characters of a parameter's display text and of its label.
constexpr std::size_t kMaxParamTextLength = 8;

// The same places on every module page.
constexpr CRect kKnobRect[5] = {{457, 57, 506, 106},
                                {457, 137, 506, 186},
                                {457, 217, 506, 266},
                                {544, 57, 593, 106},
                                {544, 137, 593, 186}};
constexpr CRect kSliderRect[5] = {{457, 114, 506, 119},
                                  {457, 194, 506, 199},
                                  {457, 274, 506, 279},
                                  {544, 114, 593, 119},
                                  {544, 194, 593, 199}};
constexpr CRect kMuteRect{544, 232, 558, 246};
constexpr CRect kSoloRect{544, 249, 558, 263};

struct KnobSpec
{
    int position; // 1..5
    const char* label;
    int32_t tag;
    bool modulated;
    bool bipolar;
};
struct SliderSpec
{
    int position; // 1..5
    int32_t tag;
};
struct PageSpec
{
    KnobSpec knobs[5];
    int knobCount;
    SliderSpec sliders[5];
    int sliderCount;
    int32_t mute; // -1: none
    int32_t solo;
};

constexpr PageSpec kPages[Morvek2Editor::kNumModules] = {
    // VCA
    {{{1, "attack", 0, true, false},
      {2, "decay", 1, true, false},
      {3, "depth", 2, true, false},
      {4, "gate", 4, true, false},
      {5, "pan", 3, true, true}},
     5,
     {{1, 12}, {2, 13}, {3, 9}, {4, 11}, {5, 10}},
     5,
     -1,
     5},
    // Filter
    {{{1, "freq", 17, true, false}, {4, "res", 18, true, false}, {2, "type", 19, false, false}},
     3,
     {{1, 26}, {4, 27}},
     2,
     21,
     22},
    // Distort
    {{{1, "fuzz", 32, true, false}, {4, "warp", 33, true, false}},
     2,
     {{1, 39}, {4, 40}},
     2,
     34,
     35},
    // Delay
    {{{1, "time", 44, false, false},
      {4, "fine", 45, true, true},
      {2, "fdbk", 47, true, false},
      {5, "send", 48, true, false}},
     4,
     {{2, 55}, {4, 54}, {5, 56}},
     3,
     49,
     50},
    // Shift
    {{{1, "shift", 60, true, true},
      {4, "fine", 61, true, true},
      {2, "fdbk", 62, true, false},
      {5, "mix", 63, true, true}},
     4,
     {{1, 69}, {2, 71}, {4, 70}, {5, 72}},
     4,
     64,
     65},
    // Bits
    {{{1, "rate", 76, true, false}, {4, "depth", 77, true, false}, {2, "error", 78, true, false}},
     3,
     {{1, 84}, {2, 86}, {4, 85}},
     3,
     79,
     80},
};

uint32_t packOrder(const std::uint16_t (&order)[Morvek2Editor::kNumModules])
{
    uint32_t packed = kOrderSet;
    for (int i = 0; i < Morvek2Editor::kNumModules; ++i) {
        packed |= static_cast<uint32_t>(order[i] & 7u) << (3 * i);
    }
    return packed;
}

// Copies at most `limit` characters of `from` (which may lack its terminator within the buffer).
void appendLimited(char* to, std::size_t toSize, const char* from, std::size_t limit)
{
    const std::size_t used = std::strlen(to);
    std::size_t n = strnlen(from, limit);
    if (used + n + 1 > toSize) {
        n = toSize - used - 1;
    }
    std::memcpy(to + used, from, n);
    to[used + n] = '\0';
}

// The program menu's text for program k: its number and name. Factory names begin with their
// number already; a name that does not (renamed, or from a host's chunk) gets it in front.
void programMenuText(int k, const char* name, char (&text)[48])
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d ", k + 1);
    if (std::strncmp(name, number, std::strlen(number)) == 0) {
        std::snprintf(text, sizeof text, "%s", name);
    } else {
        std::snprintf(text, sizeof text, "%s%s", number, name);
    }
}

// The editor's texts end before the next control (a knob's before the bracket of the knob to
// its right): milliseconds take the short unit the parameter manager also gives to narrow
// fields ("10.0msec" would reach the bracket).
void shortenUnit(char* label)
{
    if (std::strcmp(label, "msec") == 0) {
        std::strcpy(label, "ms");
    }
}

} // namespace

// ---- Construction
// ----------------------------------------------------------------------------------

Morvek2Editor::Morvek2Editor(Morvek2EditorHost& host_) : host(host_)
{
    background = new CBitmap(kBackgroundBitmap);
    // The window keeps its size even if the picture could not be decoded: a host must never be
    // told of an empty window.
    const CCoord w = background->getWidth() > 0 ? background->getWidth() : kWidth;
    const CCoord h = background->getHeight() > 0 ? background->getHeight() : kHeight;
    layoutWidth = static_cast<int32_t>(w);
    layoutHeight = static_cast<int32_t>(h);

    largeFont = new CDezadeduResource(kLargeFont);
    largeFont->setAlpha(230);
    smallFont = new CDezadeduResource(kSmallFont);
    smallFont->setAlpha(255);

    editedParameter.fill(-1);

    // Readout captions: the words printed beside each control.
    for (const PageSpec& page : kPages) {
        for (int k = 0; k < page.knobCount; ++k) {
            captions[static_cast<std::size_t>(page.knobs[k].tag)] = page.knobs[k].label;
        }
        for (int k = 0; k < page.sliderCount; ++k) {
            for (int j = 0; j < page.knobCount; ++j) {
                if (page.knobs[j].position == page.sliders[k].position) {
                    captions[static_cast<std::size_t>(page.sliders[k].tag)] =
                        std::string(page.knobs[j].label) + " mod";
                }
            }
        }
        if (page.mute >= 0) {
            captions[static_cast<std::size_t>(page.mute)] = "mute";
        }
        captions[static_cast<std::size_t>(page.solo)] = "solo";
    }
    for (int m = 0; m < kNumModules; ++m) {
        captions[static_cast<std::size_t>(kStepSizeParam[m])] = "step";
        captions[static_cast<std::size_t>(kLengthParam[m])] = "length";
        captions[static_cast<std::size_t>(kDirectionParam[m])] = "direction";
        captions[static_cast<std::size_t>(kSmoothingParam[m])] = "smooth";
        captions[static_cast<std::size_t>(kRstRandParam[m])] = "re-roll";
        captions[static_cast<std::size_t>(kGateRstRandParam[m])] = "gate re-roll";
    }
    captions[kDelayMode] = "mode";
    captions[kResetInterval] = "restart every";
    captions[kOutputGain] = "gain";
    captions[kActive] = "active";

    // Knobs follow straight drags.
    setKnobMode(kKnobModeLinear);
}

Morvek2Editor::~Morvek2Editor()
{
    // A host that never closed the window: the views go now, while the fonts they hold exist.
    if (frame) {
        for (auto& set : moduleControls) {
            set.clear();
        }
        releaseViews();
        GUIEditor::close();
    }
    closed.store(1, std::memory_order_relaxed);
    background->forget();
    largeFont->forget();
    smallFont->forget();
}

const std::vector<CControl*>& Morvek2Editor::getModuleControls(int module) const
{
    return moduleControls[module >= 0 && module < kNumModules ? module : 0];
}

// ---- Window
// ----------------------------------------------------------------------------------------

bool Morvek2Editor::open(void* parentWindow) // [ui]
{
    // A second open without a close: the first window goes first.
    if (frame) {
        close();
    }
    GUIEditor::open(parentWindow);
    rememberWindowThread();
    // Everything is loaded from the plug-in below; older notes are stale.
    anyPendingParameter.store(0, std::memory_order_relaxed);
    for (auto& p : pendingParameter) {
        p.store(0, std::memory_order_relaxed);
    }
    pendingSelect.store(-1, std::memory_order_relaxed);
    pendingRefresh.store(0, std::memory_order_relaxed);
    pendingOrder.store(0, std::memory_order_relaxed);
    closed.store(0, std::memory_order_relaxed);

    auto* f = new CHighlightFrame(CRect(0, 0, kWidth, kHeight), parentWindow, this);
    buildViewTree(f);
    // Only now the window counts as open: parameter reports during the build were ignored.
    highlightFrame = f;
    frame = f;

    int page = host.getEditorPage();
    if (page < 0 || page >= kNumModules) {
        page = 0;
    }
    selectedModule.store(page, std::memory_order_relaxed);
    applySelectModule(page);

    for (int i = 0; i < kNumParams; ++i) {
        applyParameter(i, host.getParameter(i));
    }
    std::uint16_t order[kNumModules];
    host.getChainOrder(order);
    applyModuleOrderNow(order);
    setModuleButton(page, 1.0f);

    // A learn started while the window was closed is shown now.
    learnTag.store(host.getMarkedParameter(), std::memory_order_relaxed);
    shownOutline = -1;
    applyOutline();
    followPrograms();
    host.editorOpened();
    announceWindowSize();
    // The first frame now: a window the host already shows gets its picture without waiting for
    // the host's first idle (a window still on its way is drawn by the idle that finds it).
    frame->idle();
    return true;
}

void Morvek2Editor::close() // [ui]
{
    const bool wasOpen = frame != nullptr;
    closed.store(1, std::memory_order_relaxed);
    for (auto& set : moduleControls) {
        set.clear();
    }
    releaseViews();
    GUIEditor::close();
    if (wasOpen) {
        host.editorClosed();
    }
}

void Morvek2Editor::releaseViews() // [ui]
{
    highlightFrame = nullptr;
    stepEditor = nullptr;
    valueLockRow = nullptr;
    gateRow = nullptr;
    gateLockRow = nullptr;
    lengthBracket = nullptr;
    smoothingSlider = nullptr;
    resetButton = nullptr;
    gateResetButton = nullptr;
    stepSizePopup = nullptr;
    resetIntervalPopup = nullptr;
    directionSwitch = nullptr;
    delayModeSwitch = nullptr;
    lengthText = nullptr;
    moduleGrid = nullptr;
    outputKnob = nullptr;
    programMenu = nullptr;
    menuNamesRead = false;
    shownOutline = -1;
    readouts.fill(nullptr);
    hoveredControl = nullptr;
    editedControl = nullptr;
    stepReadout.clear();
}

void Morvek2Editor::idle() // [ui]
{
    if (!frame || isIdleGuardSet()) {
        return;
    }
    rememberWindowThread();
    applyPending();
    followPrograms();

    const int m = getSelectedModule();
    if (host.lanesRandomised()) {
        host.laneSnapshot(m, snapshot);
        for (int i = 0; i < kNumSteps; ++i) {
            stepEditor->setStepValue(i, seq::load(snapshot.steps[i].value));
            gateRow->setStepOn(i, seq::load(snapshot.steps[i].gate) != 0);
        }
    }
    if (host.takeStepMoved()) {
        stepEditor->setPlayPosition(host.lanePosition(m));
    }
    host.editorIdle();

    // Mouse input waiting for the window and the redraw of everything that changed.
    GUIEditor::idle();
}

// ---- Building the view tree
// ------------------------------------------------------------------------

void Morvek2Editor::buildViewTree(CHighlightFrame* f) // [ui]
{
    auto* smallButton = new CBitmap(kSmallButtonBitmap);

    f->setBackground(background);
    f->setOutlineColour(255, 255, 255, 255);

    // The module row: the buttons' order is the chain order.
    moduleGrid = new CZKControlGrid(CRect(30, 316, 407, 361), f, kTagModuleGrid,
                                    CRect(45, 326, 410, 351), false, this);
    f->addView(moduleGrid);
    for (int32_t t = kTagModuleButton; t < kTagModuleButton + kNumModules; ++t) {
        auto* bitmap = new CBitmap(9906 + t);
        auto* button = new CZKMovieButton(CRect(0, 0, 46, 25), this, t, bitmap);
        bitmap->forget();
        button->setValue(0.0f);
        moduleGrid->addView(button);
    }

    auto* activeBitmap = new CBitmap(kActiveBitmap);
    f->addViewWithTag(new CZKMovieButton(CRect(509, 324, 549, 360), this, kActive, activeBitmap));
    activeBitmap->forget();

    buildModulePages(f, smallButton);
    for (auto& set : moduleControls) {
        for (CControl* c : set) {
            c->setVisible(false);
        }
    }
    buildSharedControls(f, smallButton);

    auto* knobBitmap = new CBitmap(kOutputKnobBitmap);
    outputKnob = new CAnimKnob(CRect(437, 312, 509, 384), this, kOutputGain, 65, 72, knobBitmap);
    knobBitmap->forget();
    f->addViewWithTag(outputKnob);

    auto* aboutBitmap = new CBitmap(kAboutBitmap);
    f->addViewWithTag(new CSplashScreen(CRect(17, 392, 156, 419), this, kTagAbout, aboutBitmap,
                                        CRect(0, 0, kWidth, kHeight)));
    aboutBitmap->forget();

    // The program menu beside the name, added last so that its open list lies over every
    // control and takes every press (the about picture opens as a view of its own, on top).
    programMenu =
        new CZKProgramMenu(kProgramMenuRect, this, kTagProgram, smallFont, kLight, kPopupBackground,
                           kProgramListBackground, kFaint, kLight, kLight, kProgramRows);
    const int programs = host.getProgramCount();
    for (int k = 0; k < programs; ++k) {
        programMenu->addItem("");
    }
    f->addViewWithTag(programMenu);

    smallButton->forget();
}

void Morvek2Editor::addToPage(CHighlightFrame* f, int module, CControl* control) // [ui]
{
    f->addViewWithTag(control);
    moduleControls[module].push_back(control);
}

void Morvek2Editor::buildModulePages(CHighlightFrame* f, CBitmap* smallButton) // [ui]
{
    for (int m = 0; m < kNumModules; ++m) {
        const PageSpec& page = kPages[m];
        for (int k = 0; k < page.knobCount; ++k) {
            const KnobSpec& layout = page.knobs[k];
            auto* knob =
                new CFxKnob(kKnobRect[layout.position - 1], this, layout.tag, kLight, kDim,
                            largeFont, smallFont, layout.label, layout.modulated, layout.bipolar);
            knob->setFrameWidth(2, false);
            if (layout.tag == 19) {
                // Filter Type: six positions.
                knob->setSteps(6);
            }
            addToPage(f, m, knob);
        }
        for (int k = 0; k < page.sliderCount; ++k) {
            const SliderSpec& layout = page.sliders[k];
            auto* slider = new CZKmv2ModVSlider(kSliderRect[layout.position - 1], this, layout.tag,
                                                kClear, kLight, kClear,
                                                CZKVSlider::kHorizontal | CZKVSlider::kBipolar);
            slider->setFineFactor(0.2f);
            slider->setFrameWidth(1, false);
            addToPage(f, m, slider);
        }
        if (page.mute >= 0) {
            addToPage(f, m, new CZKMovieButton(kMuteRect, this, page.mute, smallButton));
        }
        addToPage(f, m, new CZKMovieButton(kSoloRect, this, page.solo, smallButton));

        if (m == 0) {
            // The VCA has no mute: a plate covers the caption.
            auto* cover = new CBitmap(kMuteCoverBitmap);
            addToPage(
                f, m,
                new CMovieBitmap(CRect(560, 233, 586, 243), this, kTagDecoration, 1, 10, cover));
            cover->forget();
        } else if (m == 3) {
            auto* modeBitmap = new CBitmap(kDelayModeBitmap);
            delayModeSwitch = new CVerticalSwitch(CRect(461, 231, 511, 281), this, kDelayMode, 3,
                                                  50, 3, modeBitmap);
            modeBitmap->forget();
            delayModeSwitch->setDefaultValue(0.0f);
            addToPage(f, m, delayModeSwitch);
        }
    }
}

void Morvek2Editor::buildSharedControls(CHighlightFrame* f, CBitmap* smallButton) // [ui]
{
    stepEditor = new CZKVMultislider(CRect(43, 59, 398, 160), this, kTagStepValue, kLight, kLight,
                                     kDim, kDim, kStepHighlight);
    stepEditor->setValue(0.0f);
    f->addViewWithTags(stepEditor);

    lengthBracket = new CZKVBracketSlider(CRect(43, 52, 396, 58), this, kTagLength,
                                          kTransparentWhite, kLight, kTransparentWhite,
                                          CZKVSlider::kHorizontal | CZKVSlider::kFromLeft, 32, 11);
    f->addViewWithTag(lengthBracket);

    auto makeRow = [&](const CRect& r, int32_t tag, CColor on) {
        auto* row = new CZKVMultibutton(r, this, tag, kLight, on, kDim, kDim, kRowHighlight);
        f->addViewWithTags(row);
        return row;
    };
    // A set lock is a thin mark: it needs more light than a gate to stand out from the screen.
    valueLockRow = makeRow(CRect(43, 160, 398, 167), kTagValueLock, kLockLit);
    gateRow = makeRow(CRect(43, 242, 398, 253), kTagGate, kFaint);
    gateLockRow = makeRow(CRect(43, 253, 398, 260), kTagGateLock, kLockLit);

    smoothingSlider =
        new CZKVSlider(CRect(267, 171, 397, 185), this, kTagSmoothing, kLight, kFaint,
                       kTransparentWhite, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
    f->addViewWithTag(smoothingSlider);

    f->addViewWithTag(
        new CMomentaryButton(CRect(242, 191, 256, 205), this, kTagRandomiseValues, smallButton));
    f->addViewWithTag(
        new CMomentaryButton(CRect(242, 268, 256, 282), this, kTagRandomiseGates, smallButton));
    resetButton = new CZKMovieButton(CRect(296, 191, 310, 205), this, kTagReset, smallButton);
    f->addViewWithTag(resetButton);
    gateResetButton =
        new CZKMovieButton(CRect(296, 268, 310, 282), this, kTagGateReset, smallButton);
    f->addViewWithTag(gateResetButton);
    f->addViewWithTag(
        new CMomentaryButton(CRect(347, 191, 361, 205), this, kTagClearValues, smallButton));
    f->addViewWithTag(
        new CMomentaryButton(CRect(347, 268, 361, 282), this, kTagClearGates, smallButton));

    lengthText = new CZKTextDisplay(CRect(178, 169, 214, 169 + largeFont->getHeight()), largeFont);
    f->addView(lengthText);

    auto* directionBitmap = new CBitmap(kDirectionBitmap);
    directionSwitch = new CHorizontalSwitch(CRect(42, 191, 131, 205), this, kTagDirection, 3, 14, 3,
                                            directionBitmap);
    directionBitmap->forget();
    directionSwitch->setDefaultValue(0.0f);
    f->addViewWithTag(directionSwitch);

    auto makePopup = [&](const CRect& r, int32_t tag, int listIndex) {
        auto* popup = new CZKVPopupMenu(r, this, tag, smallFont, kLight, kPopupBackground,
                                        kPopupBackground, kFaint, kLight, kLight);
        for (const std::string& item : host.getValueList(listIndex)) {
            popup->addItem(item.c_str());
        }
        f->addViewWithTag(popup);
        return popup;
    };
    resetIntervalPopup = makePopup(CRect(106, 268, 176, 282), kResetInterval, kResetInterval);
    stepSizePopup = makePopup(CRect(88, 171, 122, 185), kTagStepSize, kStepSizeList);

    // One readout per panel, right-aligned in the free strip under the panel's title.
    const CCoord h = smallFont->getHeight();
    const CRect readoutRect[kNumPanels] = {{120, 38, 405, 38 + h},
                                           {120, 229, 405, 229 + h},
                                           {440, 38, 628, 38 + h},
                                           {480, 305, 628, 305 + h}};
    for (int p = 0; p < kNumPanels; ++p) {
        auto* readout = new CZKTextDisplay(readoutRect[p], smallFont);
        readout->setAlignment(2);
        readout->setText("");
        readout->setMouseEnabled(false);
        f->addView(readout);
        readouts[static_cast<std::size_t>(p)] = readout;
    }
    f->setHoverListener(this);
}

// ---- Told by the plug-in
// ---------------------------------------------------------------------------

void Morvek2Editor::rememberWindowThread() // [ui]
{
    windowThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

bool Morvek2Editor::onWindowThread() const // [any]
{
    return closed.load(std::memory_order_relaxed) == 0 &&
           windowThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Morvek2Editor::setParameter(int32_t index, float value) // [any]
{
    if (index < 0 || index >= kNumParams || !std::isfinite(value)) {
        return;
    }
    if (onWindowThread()) {
        // A note left earlier by another thread is older than this value.
        pendingParameter[index].store(0, std::memory_order_relaxed);
        applyParameter(index, value);
        return;
    }
    if (closed.load(std::memory_order_relaxed)) {
        return; // the next open loads every value
    }
    pendingValue[index].store(value, std::memory_order_relaxed);
    pendingParameter[index].store(1, std::memory_order_release);
    anyPendingParameter.store(1, std::memory_order_release);
}

void Morvek2Editor::selectModule(int module) // [any]
{
    if (module < 0 || module >= kNumModules) {
        return;
    }
    if (onWindowThread()) {
        applySelectModule(module);
    } else if (!closed.load(std::memory_order_relaxed)) {
        pendingSelect.store(module, std::memory_order_release);
    }
}

void Morvek2Editor::refreshModule() // [any]
{
    if (onWindowThread()) {
        applyRefreshModule();
    } else if (!closed.load(std::memory_order_relaxed)) {
        pendingRefresh.store(1, std::memory_order_release);
    }
}

void Morvek2Editor::applyModuleOrder(const std::uint16_t (&order)[kNumModules]) // [any]
{
    if (onWindowThread()) {
        applyModuleOrderNow(order);
    } else if (!closed.load(std::memory_order_relaxed)) {
        pendingOrder.store(packOrder(order), std::memory_order_release);
    }
}

void Morvek2Editor::outlineTag(int32_t tag, bool on) // [any]
{
    learnTag.store(on ? tag : -1, std::memory_order_relaxed);
    learnTagChanged.store(1, std::memory_order_release);
    if (onWindowThread()) {
        applyOutline();
    }
}

void Morvek2Editor::applyPending() // [ui]
{
    if (learnTagChanged.load(std::memory_order_acquire)) {
        applyOutline();
    }
    const int select = pendingSelect.exchange(-1, std::memory_order_acquire);
    if (select >= 0) {
        applySelectModule(select);
    }
    if (pendingRefresh.exchange(0, std::memory_order_acquire)) {
        applyRefreshModule();
    }
    const uint32_t order = pendingOrder.exchange(0, std::memory_order_acquire);
    if (order & kOrderSet) {
        std::uint16_t unpacked[kNumModules];
        for (int i = 0; i < kNumModules; ++i) {
            unpacked[i] = static_cast<std::uint16_t>((order >> (3 * i)) & 7u);
        }
        applyModuleOrderNow(unpacked);
    }
    if (anyPendingParameter.exchange(0, std::memory_order_acquire)) {
        for (int i = 0; i < kNumParams; ++i) {
            if (pendingParameter[i].exchange(0, std::memory_order_acquire)) {
                applyParameter(i, pendingValue[i].load(std::memory_order_relaxed));
            }
        }
    }
}

CControl* Morvek2Editor::sharedControlForParameter(int index) const // [ui]
{
    const int m = getSelectedModule();
    if (kStepSizeParam[m] == index) {
        return stepSizePopup;
    }
    if (kLengthParam[m] == index) {
        return lengthBracket;
    }
    if (kDirectionParam[m] == index) {
        return directionSwitch;
    }
    if (kRstRandParam[m] == index) {
        return resetButton;
    }
    if (kGateRstRandParam[m] == index) {
        return gateResetButton;
    }
    if (kSmoothingParam[m] == index) {
        return smoothingSlider;
    }
    return nullptr;
}

CControl* Morvek2Editor::sharedControlFor(int kindTag) const // [ui]
{
    switch (kindTag) {
    case kTagStepSize:
        return stepSizePopup;
    case kTagLength:
        return lengthBracket;
    case kTagSmoothing:
        return smoothingSlider;
    case kTagReset:
        return resetButton;
    case kTagGateReset:
        return gateResetButton;
    case kTagDirection:
        return directionSwitch;
    default:
        return nullptr;
    }
}

void Morvek2Editor::applyParameter(int index, float value) // [ui]
{
    if (!highlightFrame) {
        return;
    }
    showParameter(index, value);
    // The readout follows a value the host moves under the pointer.
    CControl* shown = editedControl ? editedControl : hoveredControl;
    if (shown && parameterForTag(shown->getTag()) == index) {
        refreshReadouts();
    }
}

void Morvek2Editor::showParameter(int index, float value) // [ui]
{
    const bool perModule =
        moduleOf(kStepSizeParam, index) >= 0 || moduleOf(kLengthParam, index) >= 0 ||
        moduleOf(kDirectionParam, index) >= 0 || moduleOf(kRstRandParam, index) >= 0 ||
        moduleOf(kGateRstRandParam, index) >= 0 || moduleOf(kSmoothingParam, index) >= 0;
    if (perModule) {
        // Only the shown module's sequencer settings are on screen.
        if (CControl* shared = sharedControlForParameter(index)) {
            shared->setValue(value);
            if (shared == lengthBracket) {
                showLength(static_cast<int>(host.getWorkingValue(index)));
            }
        }
        return;
    }
    if (index == kDelayMode) {
        // The Delay Time text depends on the mode.
        if (CControl* time = highlightFrame->controlForTag(kDelayTime)) {
            updateKnobText(time);
        }
        if (CControl* mode = highlightFrame->controlForTag(kDelayMode)) {
            mode->setValue(value);
        }
        return;
    }
    if (CControl* control = highlightFrame->controlForTag(index)) {
        control->setValue(value);
        if (control->isTypeOf("CFxKnob")) {
            updateKnobText(control);
        }
    }
}

void Morvek2Editor::setModuleButton(int module, float value) // [ui]
{
    if (!moduleGrid || module < 0 || module >= kNumModules) {
        return;
    }
    if (auto* button =
            dynamic_cast<CControl*>(moduleGrid->childWithTag(kTagModuleButton + module))) {
        button->setValue(value);
        button->invalid();
    }
}

void Morvek2Editor::applySelectModule(int module) // [ui]
{
    if (!highlightFrame || module < 0 || module >= kNumModules) {
        return;
    }
    const int current = getSelectedModule();
    for (CControl* c : moduleControls[current]) {
        c->setVisible(false);
    }
    setModuleButton(current, 0.0f);
    highlightFrame->invalid();

    selectedModule.store(module, std::memory_order_relaxed);
    for (CControl* c : moduleControls[module]) {
        c->setVisible(true);
    }
    applyRefreshModule();
    setModuleButton(module, 1.0f);
    highlightFrame->invalid();
    host.setEditorPage(module);
    refreshReadouts();
    // A learn outline on a shared control belongs to the module it was started on.
    if (learnTag.load(std::memory_order_relaxed) >= 0) {
        applyOutline();
    }
}

void Morvek2Editor::applyRefreshModule() // [ui]
{
    if (!highlightFrame) {
        return;
    }
    const int m = getSelectedModule();
    host.laneSnapshot(m, snapshot);
    for (int i = 0; i < kNumSteps; ++i) {
        const SeqStep& step = snapshot.steps[i];
        stepEditor->setStepValue(i, seq::load(step.value));
        valueLockRow->setStepOn(i, seq::load(step.valueLock) != 0);
        gateLockRow->setStepOn(i, seq::load(step.gateLock) != 0);
        gateRow->setStepOn(i, seq::load(step.gate) != 0);
    }
    // Where the lane stands, also while the transport is stopped.
    const int position = seq::load(snapshot.position);
    if (position >= 0 && position < kNumSteps) {
        stepEditor->setPlayPosition(position);
    }
    showLength(static_cast<int>(host.getWorkingValue(kLengthParam[m])));

    auto normalised = [this](int index) { return host.getParameter(index); };
    lengthBracket->setValue(normalised(kLengthParam[m]));
    stepSizePopup->setValue(normalised(kStepSizeParam[m]));
    directionSwitch->setValue(normalised(kDirectionParam[m]));
    gateResetButton->setValue(normalised(kGateRstRandParam[m]));
    resetButton->setValue(normalised(kRstRandParam[m]));
    smoothingSlider->setValue(normalised(kSmoothingParam[m]));
    highlightFrame->invalid();
}

void Morvek2Editor::applyModuleOrderNow(const std::uint16_t (&order)[kNumModules]) // [ui]
{
    if (!moduleGrid) {
        return;
    }
    // Only a whole permutation is shown: a row that lost a button could not get it back.
    unsigned seen = 0;
    for (std::uint16_t m : order) {
        if (m >= kNumModules) {
            return;
        }
        seen |= 1u << m;
    }
    if (seen != (1u << kNumModules) - 1u) {
        return;
    }
    std::vector<int32_t> tags;
    tags.reserve(kNumModules);
    for (std::uint16_t m : order) {
        tags.push_back(kTagModuleButton + m);
    }
    std::vector<int32_t> current;
    moduleGrid->getOrder(current);
    if (current != tags) {
        moduleGrid->setOrder(tags);
        moduleGrid->invalid();
    }
}

void Morvek2Editor::applyOutline() // [ui]
{
    learnTagChanged.store(0, std::memory_order_relaxed);
    if (!highlightFrame) {
        return;
    }
    const int32_t tag = learnTag.load(std::memory_order_relaxed);
    CControl* target = nullptr;
    if (tag >= 0) {
        target = highlightFrame->controlForTag(tag);
        if (!target) {
            target = sharedControlForParameter(tag);
        }
    }
    if (target != highlightFrame->getOutlinedView()) {
        highlightFrame->setOutlinedView(target);
        highlightFrame->invalid();
    }
    shownOutline = tag;
}

void Morvek2Editor::followPrograms() // [ui]
{
    if (!programMenu) {
        return;
    }
    // The count first: a change after it is seen at the next idle.
    const unsigned applied = host.getProgramsApplied();
    const int current = host.getCurrentProgram();
    bool changed = false;
    if (current != programMenu->getSelectedIndex()) {
        programMenu->setSelectedIndex(current);
        changed = true;
    }
    const bool all = !menuNamesRead || applied != menuProgramsApplied;
    menuNamesRead = true;
    menuProgramsApplied = applied;
    char name[Morvek2EditorHost::kProgramNameLength + 8] = {};
    char text[48];
    const int32_t first = all ? 0 : programMenu->getSelectedIndex();
    const int32_t end = all ? programMenu->getItemCount() : first + 1;
    for (int32_t k = first; k < end; ++k) {
        if (!host.getProgramName(k, name)) {
            name[0] = '\0';
        }
        programMenuText(k, name, text);
        changed = programMenu->setItemText(k, text) || changed;
    }
    if (changed) {
        programMenu->invalid();
    }
}

// ---- Helpers
// ---------------------------------------------------------------------------------------

void Morvek2Editor::showLength(int n) // [ui]
{
    if (!highlightFrame) {
        return;
    }
    stepEditor->setLength(n);
    valueLockRow->setLength(n);
    gateRow->setLength(n);
    gateLockRow->setLength(n);
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    lengthText->setText(text);
}

void Morvek2Editor::displayAndLabel(int index, char (&display)[64], char (&label)[64]) // [ui]
{
    // Hosts' limits are 8 characters per part; the buffers are larger so that a longer text
    // cannot overrun them.
    host.getParameterDisplay(index, display);
    host.getParameterLabel(index, label);
    shortenUnit(label);
}

void Morvek2Editor::updateKnobText(CControl* knob) // [ui]
{
    auto* fx = dynamic_cast<CZKmv2VKnob*>(knob);
    if (!fx) {
        return;
    }
    const int32_t index = knob->getTag();
    if (index < 0 || index >= kNumParams) {
        return;
    }
    char display[64] = {};
    char label[64] = {};
    displayAndLabel(index, display, label);
    char text[32] = {};
    appendLimited(text, sizeof text, display, kMaxParamTextLength);
    appendLimited(text, sizeof text, label, kMaxParamTextLength);
    fx->setValueText(text);
}

void Morvek2Editor::valueText(int index, std::string& text) // [ui]
{
    text.clear();
    if (index < 0 || index >= kNumParams) {
        return;
    }
    char display[64] = {};
    char label[64] = {};
    displayAndLabel(index, display, label);
    const char* start = display;
    while (*start == ' ') {
        ++start;
    }
    text.append(start, strnlen(start, kMaxParamTextLength));
    text.append(label, strnlen(label, kMaxParamTextLength));
}

int Morvek2Editor::panelOf(const CControl* control) const // [ui]
{
    if (!control) {
        return -1;
    }
    // An open pop-up list reaches beyond its panel; it belongs where it sits closed.
    if (control == resetIntervalPopup) {
        return kPanelGates;
    }
    if (control == stepSizePopup) {
        return kPanelSteps;
    }
    const CRect& r = control->getViewSize();
    const CCoord x = (r.left + r.right) / 2;
    const CCoord y = (r.top + r.bottom) / 2;
    if (x >= 420) {
        return y < 290 ? kPanelModule : kPanelOutput;
    }
    return y < 215 ? kPanelSteps : kPanelGates;
}

void Morvek2Editor::readoutText(const CControl* control, std::string& text) // [ui]
{
    text.clear();
    if (!control) {
        return;
    }
    if (dynamic_cast<const CZKVMultislider*>(control)) {
        if (control == editedControl) {
            text = stepReadout;
        }
        return;
    }
    const int32_t parameter = parameterForTag(control->getTag());
    if (parameter < 0 || control->getListener() != this) {
        return;
    }
    std::string value;
    valueText(parameter, value);
    text = captions[static_cast<std::size_t>(parameter)];
    text += ' ';
    text += value;
}

void Morvek2Editor::refreshReadouts() // [ui]
{
    if (!highlightFrame) {
        return;
    }
    CControl* shown = editedControl ? editedControl : hoveredControl;
    if (shown && !shown->isVisible()) {
        shown = nullptr;
    }
    const int panel = panelOf(shown);
    std::string text;
    for (int p = 0; p < kNumPanels; ++p) {
        if (CZKTextDisplay* readout = readouts[static_cast<std::size_t>(p)]) {
            if (p == panel) {
                readoutText(shown, text);
                readout->setText(text);
            } else {
                readout->setText("");
            }
        }
    }
}

// ---- Listener
// --------------------------------------------------------------------------------------

void Morvek2Editor::controlBeginEdit(CControl* control) // [ui]
{
    editedControl = control;
    stepReadout.clear();
    refreshReadouts();
}

void Morvek2Editor::controlEndEdit(CControl* control) // [ui]
{
    if (control == editedControl) {
        editedControl = nullptr;
        refreshReadouts();
    }
}

void Morvek2Editor::controlHovered(CControl* control) // [ui]
{
    hoveredControl = control;
    refreshReadouts();
}

void Morvek2Editor::valueChanged(CControl* control) // [ui]
{
    if (!control || !highlightFrame) {
        return;
    }
    const int32_t tag = control->getTag();
    const int m = getSelectedModule();
    const float value = control->getValue();
    bool handled = true;

    if (tag >= kTagModuleButton && tag < kTagModuleButton + kNumModules) {
        selectModule(tag - kTagModuleButton);
    } else if (tag == kTagProgram) {
        // The plug-in switches as on a host's program change (the window follows through its
        // reports); then the host hears of it through the face.
        const int program = static_cast<int>(programMenu->getSelectedIndex());
        host.selectProgram(program);
        followPrograms();
        programChanged(program);
    } else if (tag == kTagStepSize) {
        parameterAutomated(kStepSizeParam[m], value);
    } else if (tag == kTagLength) {
        parameterAutomated(kLengthParam[m], value);
        showLength(static_cast<int>(host.getWorkingValue(kLengthParam[m])));
    } else if (tag == kTagSmoothing) {
        parameterAutomated(kSmoothingParam[m], value);
    } else if (tag == kTagReset) {
        parameterAutomated(kRstRandParam[m], value);
    } else if (tag == kTagGateReset) {
        parameterAutomated(kGateRstRandParam[m], value);
    } else if (tag == kTagDirection) {
        parameterAutomated(kDirectionParam[m], value);
    } else if (tag == kTagRandomiseValues || tag == kTagRandomiseGates || tag == kTagClearValues ||
               tag == kTagClearGates) {
        // The press runs the command; the release does nothing.
        if (value == 1.0f) {
            host.runLaneCommand(tag, m);
        }
    } else {
        handled = false;
    }

    if (control->isTypeOf("CFxKnob")) {
        updateKnobText(control);
    }
    if (!handled && tag >= 0 && tag < kNumParams) {
        parameterAutomated(tag, value);
    }
    if (control == editedControl || control == hoveredControl) {
        refreshReadouts();
    }
}

int32_t Morvek2Editor::parameterForTag(int32_t tag) const // [ui]
{
    const int m = getSelectedModule();
    switch (tag) {
    case kTagStepSize:
        return kStepSizeParam[m];
    case kTagLength:
        return kLengthParam[m];
    case kTagSmoothing:
        return kSmoothingParam[m];
    case kTagReset:
        return kRstRandParam[m];
    case kTagGateReset:
        return kGateRstRandParam[m];
    case kTagDirection:
        return kDirectionParam[m];
    default:
        return tag >= 0 && tag < kNumParams ? tag : -1;
    }
}

void Morvek2Editor::beginEdit(int32_t tag) // [ui]
{
    const int32_t parameter = parameterForTag(tag);
    if (tag >= kTagStepSize && tag <= kTagDirection) {
        editedParameter[static_cast<std::size_t>(tag - kTagStepSize)] = parameter;
    }
    if (parameter >= 0) {
        GUIEditor::beginEdit(parameter);
    }
}

void Morvek2Editor::endEdit(int32_t tag) // [ui]
{
    int32_t parameter = parameterForTag(tag);
    if (tag >= kTagStepSize && tag <= kTagDirection) {
        parameter = editedParameter[static_cast<std::size_t>(tag - kTagStepSize)];
        editedParameter[static_cast<std::size_t>(tag - kTagStepSize)] = -1;
    }
    if (parameter >= 0) {
        GUIEditor::endEdit(parameter);
    }
}

int32_t Morvek2Editor::controlModifierClicked(CControl* control, int32_t buttons) // [ui]
{
    if (!control || (buttons & (kControl | kShift)) != (kControl | kShift)) {
        return 0;
    }
    static constexpr const char* kLearnable[] = {"CFxKnob",          "CZKMovieButton",
                                                 "CZKmv2ModVSlider", "CHorizontalSwitch",
                                                 "CAnimKnob",        "CZKVSlider"};
    bool learnable = false;
    for (const char* type : kLearnable) {
        learnable = learnable || control->isTypeOf(type);
    }
    if (!learnable) {
        return 0;
    }
    int32_t parameter = control->getTag();
    // The shared sequencer controls stand for the shown module's parameter of their kind.
    const int m = getSelectedModule();
    switch (parameter) {
    case kTagLength:
        parameter = kLengthParam[m];
        break;
    case kTagSmoothing:
        parameter = kSmoothingParam[m];
        break;
    case kTagReset:
        parameter = kRstRandParam[m];
        break;
    case kTagGateReset:
        parameter = kGateRstRandParam[m];
        break;
    case kTagDirection:
        parameter = kDirectionParam[m];
        break;
    default:
        break;
    }
    host.midiLearnToggle(parameter);
    return 1;
}

void Morvek2Editor::tagValueChanged(int32_t tag, float value) // [ui]
{
    if (!highlightFrame) {
        return;
    }
    const int m = getSelectedModule();
    if (tag >= kTagStepValue && tag < kTagStepValue + kNumSteps) {
        host.setStepValue(m, tag - kTagStepValue, value);
        if (editedControl == stepEditor) {
            char text[32];
            std::snprintf(text, sizeof text, "step %d  %d%%", tag - kTagStepValue + 1,
                          static_cast<int>(std::lround(value * 100.f)));
            stepReadout = text;
            refreshReadouts();
        }
    } else if (tag >= kTagValueLock && tag < kTagValueLock + kNumSteps) {
        host.setStepValueLock(m, tag - kTagValueLock, value > 0.5f);
    } else if (tag >= kTagGate && tag < kTagGate + kNumSteps) {
        host.setStepGate(m, tag - kTagGate, value > 0.5f);
    } else if (tag >= kTagGateLock && tag < kTagGateLock + kNumSteps) {
        host.setStepGateLock(m, tag - kTagGateLock, value > 0.5f);
    } else if (tag >= kTagModuleButton && tag < kTagModuleButton + kNumModules) {
        selectModule(tag - kTagModuleButton);
    } else if (tag == kTagModuleGrid && moduleGrid) {
        std::vector<int32_t> tags;
        moduleGrid->getOrder(tags);
        if (tags.size() != static_cast<std::size_t>(kNumModules)) {
            return;
        }
        std::uint16_t order[kNumModules];
        for (int i = 0; i < kNumModules; ++i) {
            const int32_t module = tags[i] - kTagModuleButton;
            if (module < 0 || module >= kNumModules) {
                return;
            }
            order[i] = static_cast<std::uint16_t>(module);
        }
        // The plug-in stores it and calls applyModuleOrder back.
        host.setChainOrder(order);
    }
}
