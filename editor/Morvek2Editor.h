// The plug-in's window: a fixed 647 × 447 picture with the module row, one module page at a
// time, the step controls bound to the shown module's lane, the output knob, the active switch
// and the about screen. It turns control changes into parameter changes, step writes, lane
// commands, a module selection, a chain order or a MIDI-learn toggle, and shows what the plug-in
// changes.
//
// Threads: the window lives on the thread that opens and idles it. The plug-in may report
// parameter changes, program changes, orders and learn marks from any thread; reports from
// another thread only leave a note in atomics, and the next idle applies them, so no other
// thread ever touches a view or races a close.
#pragma once

#include "editor/CZKControlListener.h"
#include "editor/Morvek2EditorHost.h"
#include "gui/GUIEditor.h"
#include "gui/vstgui.h"
#include "params/Morvek2Params.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace VSTGUI {
class CDezadeduResource;
class CHighlightFrame;
class CZKControlGrid;
class CZKVMultislider;
class CZKVMultibutton;
class CZKVBracketSlider;
class CZKVSlider;
class CZKMovieButton;
class CMomentaryButton;
class CZKVPopupMenu;
class CZKProgramMenu;
class CZKTextDisplay;
} // namespace VSTGUI

class Morvek2Editor : public GUIEditor, public VSTGUI::CZKControlListener
{
public:
    static constexpr int kNumModules = morvek2::param::kNumModules;
    static constexpr int kNumParams = morvek2::param::kNumParams;
    static constexpr int kNumSteps = 32;
    static constexpr int kWidth = 647;
    static constexpr int kHeight = 447;

    // The editor's tags beyond the parameter indices 0..92.
    enum Tag : int32_t {
        kTagAbout = 94,
        kTagModuleButton = 95, // 95..100: module number = tag − 95
        kTagModuleGrid = 102,
        kTagStepValue = 103, // 103..134
        kTagValueLock = 135, // 135..166
        kTagGate = 167,      // 167..198
        kTagGateLock = 199,  // 199..230
        kTagStepSize = 200,
        kTagLength = 201,
        kTagSmoothing = 203,
        kTagRandomiseValues = 204,
        kTagRandomiseGates = 205,
        kTagReset = 206,
        kTagGateReset = 207,
        kTagClearValues = 208,
        kTagClearGates = 209,
        kTagDirection = 210,
        kTagDecoration = 212,
        kTagProgram = 231,
    };

    static constexpr VSTGUI::CColor kLight = {115, 190, 232, 150};
    static constexpr VSTGUI::CColor kFaint = {115, 190, 232, 75};
    static constexpr VSTGUI::CColor kDim = {60, 60, 100, 100};
    static constexpr VSTGUI::CColor kClear = {0, 0, 0, 0};

    explicit Morvek2Editor(Morvek2EditorHost& host); // [ui]
    ~Morvek2Editor() override;                       // [ui]
    Morvek2Editor(const Morvek2Editor&) = delete;
    Morvek2Editor& operator=(const Morvek2Editor&) = delete;

    // ---- Host face (forwarded by the plug-in format's face) ----
    // `parentWindow` is the host's window; null opens the window offscreen (tests, benchmarks).
    bool open(void* parentWindow) override; // [ui]
    void close() override;                  // [ui]
    void idle() override;                   // [ui]

    // ---- Told by the plug-in ----
    // Virtual so that a plug-in binary other than the one that made the window (an LV2 DSP
    // binary beside its UI binary) runs the window's own code.
    // A parameter now holds `value` (normalised).
    void setParameter(int32_t index, float value) override; // [any]
    // Shows module page `module` and writes it as the current program's page.
    virtual void selectModule(int module); // [any]
    // Reloads the step controls and the shared sequencer controls from the shown module.
    virtual void refreshModule(); // [any]
    // Arranges the module row in the chain order `order` (six module numbers).
    virtual void applyModuleOrder(const std::uint16_t (&order)[kNumModules]); // [any]
    // Outlines (or stops outlining) the control of `tag`: a parameter waiting for MIDI learn.
    virtual void outlineTag(int32_t tag, bool on); // [any]

    // ---- Listener ----
    void valueChanged(VSTGUI::CControl* control) override;                               // [ui]
    int32_t controlModifierClicked(VSTGUI::CControl* control, int32_t buttons) override; // [ui]
    void tagValueChanged(int32_t tag, float value) override;                             // [ui]

    // The control being dragged, or the one under the pointer, shows its value in its panel's
    // readout.
    void controlBeginEdit(VSTGUI::CControl* control) override; // [ui]
    void controlEndEdit(VSTGUI::CControl* control) override;   // [ui]
    void controlHovered(VSTGUI::CControl* control) override;   // [ui]

    // ---- Edits, as the host hears them ----
    // A control's edit begins or ends: the host hears it for the parameter the control stands
    // for (the shown module's one for the shared sequencer controls); tags that are no
    // parameter (steps, module buttons, lane commands) reach it not at all.
    void beginEdit(int32_t tag) override; // [ui]
    void endEdit(int32_t tag) override;   // [ui]

    // ---- Helpers ----
    // Step count n on the step controls and the length text.
    void showLength(int n); // [ui]
    // The knob's value text: the display text of its parameter followed by its label.
    void updateKnobText(VSTGUI::CControl* knob); // [ui]
    // The parameter's display text and its label with the unit shortened for narrow fields.
    void displayAndLabel(int index, char (&display)[64], char (&label)[64]); // [ui]

    // The panels that have a readout.
    enum Panel : int { kPanelSteps, kPanelGates, kPanelModule, kPanelOutput, kNumPanels };

    // ---- Inspection (tests, benchmarks) ----
    VSTGUI::CZKTextDisplay* getReadout(int panel) const
    {
        return panel >= 0 && panel < kNumPanels ? readouts[static_cast<std::size_t>(panel)]
                                                : nullptr;
    }
    bool isClosed() const { return closed.load(std::memory_order_relaxed) != 0; }
    int getSelectedModule() const { return selectedModule.load(std::memory_order_relaxed); }
    VSTGUI::CHighlightFrame* getHighlightFrame() const { return highlightFrame; }
    VSTGUI::CZKControlGrid* getModuleGrid() const { return moduleGrid; }
    VSTGUI::CZKVMultislider* getStepEditor() const { return stepEditor; }
    VSTGUI::CZKVMultibutton* getValueLockRow() const { return valueLockRow; }
    VSTGUI::CZKVMultibutton* getGateRow() const { return gateRow; }
    VSTGUI::CZKVMultibutton* getGateLockRow() const { return gateLockRow; }
    VSTGUI::CZKVBracketSlider* getLengthBracket() const { return lengthBracket; }
    VSTGUI::CZKTextDisplay* getLengthText() const { return lengthText; }
    VSTGUI::CZKProgramMenu* getProgramMenu() const { return programMenu; }
    // Where the program menu sits (closed) in the window's layout.
    static constexpr VSTGUI::CRect kProgramMenuRect{250, 400, 415, 414};
    const std::vector<VSTGUI::CControl*>& getModuleControls(int module) const;
    // The controls the current page shows for the per-module kinds (null while closed).
    VSTGUI::CControl* sharedControlFor(int kindTag) const; // [ui]

private:
    void buildViewTree(VSTGUI::CHighlightFrame* f);                                     // [ui]
    void buildModulePages(VSTGUI::CHighlightFrame* f, VSTGUI::CBitmap* smallButton);    // [ui]
    void buildSharedControls(VSTGUI::CHighlightFrame* f, VSTGUI::CBitmap* smallButton); // [ui]
    void addToPage(VSTGUI::CHighlightFrame* f, int module, VSTGUI::CControl* control);  // [ui]
    void releaseViews();                                                                // [ui]

    // True on the thread that runs the window while it is open: only there are views touched.
    bool onWindowThread() const; // [any]
    void rememberWindowThread(); // [ui]
    // Applies whatever other threads reported since the last idle.
    void applyPending();                                                 // [ui]
    void applyParameter(int index, float value);                         // [ui]
    void showParameter(int index, float value);                          // [ui]
    void applySelectModule(int module);                                  // [ui]
    void applyRefreshModule();                                           // [ui]
    void applyModuleOrderNow(const std::uint16_t (&order)[kNumModules]); // [ui]
    void applyOutline();                                                 // [ui]
    // The program menu shows the plug-in's current program and names (changed by the host, a
    // chunk or a rename at any time) and updates what differs: every name after a program was
    // applied, otherwise only the current program's (the one a host renames).
    void followPrograms();                         // [ui]
    void setModuleButton(int module, float value); // [ui]
    // The readouts: which panel a control belongs to, what it reads, and showing the control
    // being dragged or hovered (every other readout empty).
    int panelOf(const VSTGUI::CControl* control) const;                   // [ui]
    void readoutText(const VSTGUI::CControl* control, std::string& text); // [ui]
    void refreshReadouts();                                               // [ui]
    // The parameter's display text and label as the editor shows them.
    void valueText(int index, std::string& text); // [ui]
    // The parameter a control's tag stands for now, or -1.
    int32_t parameterForTag(int32_t tag) const; // [ui]
    // The control that shows parameter `index` of the selected module among the shared ones.
    VSTGUI::CControl* sharedControlForParameter(int index) const; // [ui]

    Morvek2EditorHost& host;
    VSTGUI::CHighlightFrame* highlightFrame = nullptr;
    std::array<std::vector<VSTGUI::CControl*>, kNumModules> moduleControls;
    std::atomic<int> selectedModule{0};

    VSTGUI::CBitmap* background = nullptr;
    VSTGUI::CDezadeduResource* largeFont = nullptr;
    VSTGUI::CDezadeduResource* smallFont = nullptr;

    // Non-owning references, valid while the window is open.
    VSTGUI::CZKVMultislider* stepEditor = nullptr;
    VSTGUI::CZKVMultibutton* valueLockRow = nullptr;
    VSTGUI::CZKVMultibutton* gateRow = nullptr;
    VSTGUI::CZKVMultibutton* gateLockRow = nullptr;
    VSTGUI::CZKVBracketSlider* lengthBracket = nullptr;
    VSTGUI::CZKVSlider* smoothingSlider = nullptr;
    VSTGUI::CZKMovieButton* resetButton = nullptr;
    VSTGUI::CZKMovieButton* gateResetButton = nullptr;
    VSTGUI::CZKVPopupMenu* stepSizePopup = nullptr;
    VSTGUI::CZKVPopupMenu* resetIntervalPopup = nullptr;
    VSTGUI::CHorizontalSwitch* directionSwitch = nullptr;
    VSTGUI::CVerticalSwitch* delayModeSwitch = nullptr;
    VSTGUI::CZKTextDisplay* lengthText = nullptr;
    VSTGUI::CZKControlGrid* moduleGrid = nullptr;
    VSTGUI::CAnimKnob* outputKnob = nullptr;
    VSTGUI::CZKProgramMenu* programMenu = nullptr;
    // The plug-in's count of programs applied when the menu last read every name.
    unsigned menuProgramsApplied = 0;
    bool menuNamesRead = false;

    std::atomic<uint8_t> closed{1};
    std::atomic<std::thread::id> windowThread{};

    // Notes left by other threads for the next idle.
    std::array<std::atomic<float>, kNumParams> pendingValue{};
    std::array<std::atomic<uint8_t>, kNumParams> pendingParameter{};
    std::atomic<uint8_t> anyPendingParameter{0};
    std::atomic<int> pendingSelect{-1};
    std::atomic<uint8_t> pendingRefresh{0};
    std::atomic<uint32_t> pendingOrder{0}; // packed 3 bits per slot, bit 31 = set
    // The tag being learned (outlined), -1 for none; the window shows it at its next idle.
    std::atomic<int32_t> learnTag{-1};
    std::atomic<uint8_t> learnTagChanged{0};
    int32_t shownOutline = -1;
    // The parameter each shared sequencer control began an edit for (kTagStepSize..
    // kTagDirection), so that its end reaches the same parameter even if the page changed.
    std::array<int32_t, kTagDirection - kTagStepSize + 1> editedParameter{};
    // What each parameter is called in a readout: the caption the editor shows beside it.
    std::array<std::string, kNumParams> captions;
    std::array<VSTGUI::CZKTextDisplay*, kNumPanels> readouts{};
    VSTGUI::CControl* hoveredControl = nullptr;
    VSTGUI::CControl* editedControl = nullptr;
    // The step control being dragged reads the last step it wrote.
    std::string stepReadout;
    SeqLane snapshot{};
};
