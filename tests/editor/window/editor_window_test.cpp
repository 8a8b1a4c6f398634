// The editor window on a real Morvek2, opened offscreen and driven with synthetic mouse input:
// what open builds and loads, page selection, routing of control changes to parameters, lanes,
// lane commands, the chain order and MIDI learn, and what the plug-in's changes show.
#include "editor_rig.h"
#include "params/Morvek2Params.h"

#include "editor/CDezadeduResource.h"
#include "editor/CZKKnob.h"
#include "editor/CZKProgramMenu.h"
#include "editor/CZKSlider.h"
#include "editor/CZKTextDisplay.h"
#include "editor/CZKVMultislider.h"
#include "editor/CZKVPopupMenu.h"
#include "gui/platform/PlatformFactory.h"
#include "gui/platform/cairo/CairoDrawDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace edtest;

using namespace morvek2::param;

namespace {

std::string knobText(Rig& rig, int tag)
{
    auto* knob = dynamic_cast<CZKmv2VKnob*>(rig.control(tag));
    return knob ? knob->getValueText() : std::string("<no knob>");
}

std::string expectedText(Rig& rig, int index)
{
    char display[64] = {};
    char label[64] = {};
    rig.plugin.getParameterDisplay(index, display);
    rig.plugin.getParameterLabel(index, label);
    // Milliseconds in their short unit: the long one would run into the next knob's bracket.
    return std::string(display) + (std::string(label) == "msec" ? "ms" : label);
}

// The same as a readout shows it: without the blanks that pad some display texts.
std::string readText(Rig& rig, int index)
{
    const std::string text = expectedText(rig, index);
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

} // namespace

TEST(EditorWindow, RectangleIsTheSameBeforeDuringAndAfterOpen)
{
    Rig rig;
    for (int phase = 0; phase < 3; ++phase) {
        ERect* r = nullptr;
        ASSERT_TRUE(rig.plugin.getEditor()->getRect(&r));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->top, 0);
        EXPECT_EQ(r->left, 0);
        EXPECT_EQ(r->bottom, 447);
        EXPECT_EQ(r->right, 647);
        if (phase == 0) {
            ASSERT_TRUE(rig.open());
        } else if (phase == 1) {
            rig.editor.close();
        }
    }
    EXPECT_TRUE(rig.plugin.getAeffect()->flags & effFlagsHasEditor);
}

TEST(EditorWindow, RegistryHoldsEveryParameterWithAControlAndTheEditorsTags)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    std::set<int> withControl = {0,  1,  2,  3,  4,  5,  9,  10, 11, 12, 13, 17, 18, 19,
                                 21, 22, 26, 27, 32, 33, 34, 35, 39, 40, 44, 45, 46, 47,
                                 48, 49, 50, 54, 55, 56, 60, 61, 62, 63, 64, 65, 69, 70,
                                 71, 72, 76, 77, 78, 79, 80, 84, 85, 86, 90, 91, 92};
    for (int i = 0; i < 93; ++i) {
        CControl* c = rig.control(i);
        if (withControl.count(i)) {
            ASSERT_NE(c, nullptr) << "parameter " << i;
            EXPECT_EQ(c->getTag(), i);
        } else {
            // The per-module sequencer parameters go through the shared controls; Filter Bite
            // and its modulation have no control at all.
            EXPECT_EQ(c, nullptr) << "parameter " << i;
        }
    }
    EXPECT_EQ(rig.control(20), nullptr);
    EXPECT_EQ(rig.control(28), nullptr);
    for (int t = 103; t <= 230; ++t) {
        ASSERT_NE(rig.control(t), nullptr) << t;
    }
    EXPECT_EQ(rig.control(103), rig.editor.getStepEditor());
    EXPECT_EQ(rig.control(134), rig.editor.getStepEditor());
    EXPECT_EQ(rig.control(135), rig.editor.getValueLockRow());
    EXPECT_EQ(rig.control(198), rig.editor.getGateRow());
    EXPECT_EQ(rig.control(230), rig.editor.getGateLockRow());
    for (int t : {94, 200, 201, 203, 204, 205, 206, 207, 208, 209, 210, 212}) {
        EXPECT_NE(rig.control(t), nullptr) << t;
    }
    // Only the VCA page has the cover over the mute caption (its tag, 212, is also gate lock
    // 13, which the registry answers) and only the Delay page the mode switch.
    for (int m = 0; m < 6; ++m) {
        const auto& set = rig.editor.getModuleControls(m);
        const auto covers = std::count_if(set.begin(), set.end(), [](CControl* c) {
            return c->isTypeOf("CMovieBitmap") && c->getTag() == 212;
        });
        EXPECT_EQ(covers, m == 0 ? 1 : 0) << m;
        EXPECT_EQ(std::count(set.begin(), set.end(), rig.control(46)), m == 3 ? 1 : 0) << m;
    }
    EXPECT_EQ(rig.control(212), rig.editor.getGateLockRow());
}

TEST(EditorWindow, PagesShareThePositionsAndOnlyTheSelectedOneIsVisible)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    const int firstKnob[6] = {0, 17, 32, 44, 60, 76};
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(rig.control(firstKnob[m])->getViewSize(), CRect(457, 57, 506, 106)) << m;
        EXPECT_EQ(rig.control(kSoloParam[m])->getViewSize(), CRect(544, 249, 558, 263)) << m;
        for (CControl* c : rig.editor.getModuleControls(m)) {
            EXPECT_EQ(c->isVisible(), m == rig.editor.getSelectedModule()) << c->getTag();
        }
    }
    // The always-visible controls.
    EXPECT_EQ(rig.control(90)->getViewSize(), CRect(437, 312, 509, 384));
    EXPECT_TRUE(rig.control(90)->isVisible());
    EXPECT_EQ(rig.control(92)->getViewSize(), CRect(509, 324, 549, 360));
    EXPECT_EQ(rig.control(91)->getViewSize(), CRect(106, 268, 176, 282));
}

TEST(EditorWindow, ModuleButtonsSitInARowBeforeAnyReordering)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    for (int m = 0; m < 6; ++m) {
        const CRect r = rig.moduleButtonRect(m);
        EXPECT_EQ(r.left, 45 + 60 * m) << m;
        EXPECT_EQ(r.top, 326) << m;
        EXPECT_EQ(r.width(), 46);
        EXPECT_EQ(r.height(), 25);
    }
}

// Buttons sit 60 pixels apart and are 46 wide: x = 45 + 60m + 50 is between two of them.
TEST(EditorWindow, ClicksThatPickNoModuleLeaveTheRowAndThePageAsTheyAre)
{
    Rig rig;
    rig.plugin.setEditorPage(2);
    ASSERT_TRUE(rig.open());
    auto buttonValues = [&] {
        std::vector<float> values;
        for (int m = 0; m < 6; ++m) {
            values.push_back(dynamic_cast<CControl*>(rig.editor.getModuleGrid()->childWithTag(
                                                         Morvek2Editor::kTagModuleButton + m))
                                 ->getValue());
        }
        return values;
    };
    const std::vector<float> shown = {0.f, 0.f, 1.f, 0.f, 0.f, 0.f};
    ASSERT_EQ(buttonValues(), shown);

    rig.click(45 + 60 * 3 + 50, 338); // between Delay and Shift
    EXPECT_EQ(buttonValues(), shown);
    EXPECT_EQ(rig.editor.getSelectedModule(), 2);

    const CRect shift = rig.moduleButtonRect(4);
    rig.click(shift.left + 10, shift.top + 10, kLButton | kControl | kShift);
    EXPECT_EQ(buttonValues(), shown);
    EXPECT_EQ(rig.editor.getSelectedModule(), 2);

    // The selected button clicked again stays on; another one takes over.
    const CRect distort = rig.moduleButtonRect(2);
    rig.click(distort.left + 10, distort.top + 10);
    EXPECT_EQ(buttonValues(), shown);
    rig.clickModule(5);
    EXPECT_EQ(buttonValues(), (std::vector<float>{0.f, 0.f, 0.f, 0.f, 0.f, 1.f}));
    EXPECT_EQ(rig.editor.getSelectedModule(), 5);
}

TEST(EditorWindow, OpeningOnPageThreeShowsTheDelayLane)
{
    Rig rig;
    rig.plugin.setEditorPage(3);
    rig.plugin.setStepValue(3, 5, 0.75f);
    rig.plugin.setStepGate(3, 6, true);
    rig.plugin.setStepGateLock(3, 7, true);
    rig.plugin.setParameter(52, rig.normalised(52, 12.0f)); // Delay Length
    ASSERT_TRUE(rig.open());

    EXPECT_EQ(rig.editor.getSelectedModule(), 3);
    CZKControlGrid* grid = rig.editor.getModuleGrid();
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(dynamic_cast<CControl*>(grid->childWithTag(95 + m))->getValue(),
                  m == 3 ? 1.0f : 0.0f)
            << m;
    }
    EXPECT_TRUE(rig.control(44)->isVisible());
    EXPECT_FALSE(rig.control(0)->isVisible());
    EXPECT_FLOAT_EQ(rig.editor.getStepEditor()->getStepValue(5), 0.75f);
    EXPECT_EQ(rig.editor.getGateRow()->getStepValue(6), 1.0f);
    EXPECT_EQ(rig.editor.getGateLockRow()->getStepValue(7), 1.0f);
    EXPECT_EQ(rig.editor.getGateRow()->getStepValue(7), 0.0f);
    EXPECT_EQ(rig.editor.getLengthText()->getText(), "12");
    EXPECT_TRUE(rig.editor.getStepEditor()->isStepDisabled(12));
    EXPECT_FALSE(rig.editor.getStepEditor()->isStepDisabled(11));
}

TEST(EditorWindow, LengthOfAHiddenModuleShowsOnlyWhenItsPageIsSelected)
{
    Rig rig;
    rig.plugin.setEditorPage(0);
    ASSERT_TRUE(rig.open());
    const std::string textBefore = rig.editor.getLengthText()->getText();
    const float bracketBefore = rig.editor.getLengthBracket()->getValue();

    const float filterLength5 = rig.normalised(24, 5.0f);
    rig.plugin.setParameter(24, filterLength5); // host automation of Filter Length
    EXPECT_EQ(rig.editor.getLengthText()->getText(), textBefore);
    EXPECT_EQ(rig.editor.getLengthBracket()->getValue(), bracketBefore);

    rig.clickModule(1);
    EXPECT_EQ(rig.editor.getSelectedModule(), 1);
    EXPECT_EQ(rig.editor.getLengthText()->getText(), "5");
    EXPECT_FLOAT_EQ(rig.editor.getLengthBracket()->getValue(), filterLength5);
    EXPECT_TRUE(rig.editor.getStepEditor()->isStepDisabled(5));
    EXPECT_TRUE(rig.editor.getGateRow()->isStepDisabled(5));
    // The page is remembered in the program.
    EXPECT_EQ(rig.plugin.currentRecord().editorPage, 1);
}

TEST(EditorWindow, SelectedModulesSequencerSettingsFollowAutomation)
{
    Rig rig;
    rig.plugin.setEditorPage(2);
    ASSERT_TRUE(rig.open());
    rig.plugin.setParameter(41, 0.3f); // Distort Smoothing
    EXPECT_FLOAT_EQ(rig.editor.sharedControlFor(203)->getValue(), 0.3f);
    rig.plugin.setParameter(14, 0.9f); // VCA Smoothing: not shown
    EXPECT_FLOAT_EQ(rig.editor.sharedControlFor(203)->getValue(), 0.3f);
    rig.plugin.setParameter(38, 1.0f); // Distort Direction
    EXPECT_FLOAT_EQ(rig.editor.sharedControlFor(210)->getValue(), 1.0f);
    rig.plugin.setParameter(42, 1.0f); // Distort Rst Rand
    EXPECT_FLOAT_EQ(rig.editor.sharedControlFor(206)->getValue(), 1.0f);
}

TEST(EditorWindow, ShiftFeedbackModSliderSitsUnderTheFeedbackKnob)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    rig.clickModule(4);
    ASSERT_EQ(rig.editor.getSelectedModule(), 4);
    CView* under = rig.frame().getViewAt(CPoint(480, 196));
    ASSERT_NE(under, nullptr);
    auto* slider = dynamic_cast<CZKmv2ModVSlider*>(under);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->getTag(), 71);
    EXPECT_EQ(rig.control(62)->getViewSize(), CRect(457, 137, 506, 186)); // the fdbk knob

    // A click at the slider's right end drives Shift Feedback Mod through the host.
    automation().clear();
    rig.click(504, 196);
    EXPECT_GT(rig.plugin.getParameter(71), 0.9f);
    ASSERT_FALSE(automation().empty());
    EXPECT_EQ(automation().back().first, 71);
    // And the host moves the slider.
    rig.plugin.setParameter(71, 0.25f);
    EXPECT_FLOAT_EQ(slider->getValue(), 0.25f);
}

TEST(EditorWindow, DelayModeUpdatesTheDelayTimeTextOnAnotherPage)
{
    Rig rig;
    rig.plugin.setEditorPage(0);
    ASSERT_TRUE(rig.open());
    rig.plugin.setParameter(44, 0.5f);
    rig.plugin.setParameter(46, 0.0f);
    const std::string inDelayMode = knobText(rig, 44);
    EXPECT_EQ(inDelayMode, expectedText(rig, 44));
    rig.plugin.setParameter(46, 1.0f); // Flange
    EXPECT_FALSE(rig.control(44)->isVisible());
    EXPECT_EQ(knobText(rig, 44), expectedText(rig, 44));
    EXPECT_NE(knobText(rig, 44), inDelayMode);
    EXPECT_FLOAT_EQ(rig.control(46)->getValue(), 1.0f);
}

TEST(EditorWindow, KnobTextIsDisplayFollowedByLabel)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    for (int tag : {0, 2, 17, 19, 45, 60, 77}) {
        EXPECT_EQ(knobText(rig, tag), expectedText(rig, tag)) << tag;
        EXPECT_LE(knobText(rig, tag).size(), 16u);
    }
    rig.plugin.setParameter(46, 0.5f); // Chorus: milliseconds
    char label[64] = {};
    rig.plugin.getParameterLabel(44, label);
    EXPECT_STREQ(label, "msec");
    EXPECT_EQ(knobText(rig, 44).substr(knobText(rig, 44).size() - 2), "ms");
}

TEST(EditorWindow, DragAcrossTheValueLockRowStopsAtTheLength)
{
    Rig rig;
    rig.plugin.setEditorPage(0);
    rig.plugin.setParameter(7, rig.normalised(7, 8.0f)); // VCA Length 8
    ASSERT_TRUE(rig.open());
    rig.press(48, 163);
    for (CCoord x = 48; x <= 396; x += 5) {
        rig.drag(x, 163);
    }
    rig.release(396, 163);
    const SeqLane& lane = rig.plugin.getLane(0);
    const SeqLane& copy = rig.plugin.currentRecord().lanes[0];
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(lane.steps[s].valueLock, s < 8 ? 1 : 0) << s;
        EXPECT_EQ(copy.steps[s].valueLock, s < 8 ? 1 : 0) << s;
    }
    // Step writes are no parameter changes.
    EXPECT_TRUE(automation().empty());
}

TEST(EditorWindow, DrawingStepValuesWritesTheLiveLaneAndTheProgram)
{
    Rig rig;
    rig.plugin.setEditorPage(1);
    const float otherLane = rig.plugin.getLane(0).steps[3].value;
    ASSERT_TRUE(rig.open());
    // y = 65 is the top of the value range, 154 the bottom.
    rig.press(43 + 11 * 3 + 5, 65);
    rig.release(43 + 11 * 3 + 5, 65);
    rig.press(43 + 11 * 4 + 5, 154);
    rig.release(43 + 11 * 4 + 5, 154);
    EXPECT_FLOAT_EQ(rig.plugin.getLane(1).steps[3].value, 1.0f);
    EXPECT_FLOAT_EQ(rig.plugin.currentRecord().lanes[1].steps[3].value, 1.0f);
    EXPECT_FLOAT_EQ(rig.plugin.getLane(1).steps[4].value, 0.0f);
    EXPECT_EQ(rig.plugin.getLane(0).steps[3].value, otherLane); // another lane untouched
}

TEST(EditorWindow, ClearButtonRunsOneClearOnPressAndNoLearning)
{
    Rig rig;
    rig.plugin.setEditorPage(0);
    for (int s = 0; s < 32; ++s) {
        rig.plugin.setStepValue(0, s, 0.5f);
    }
    rig.plugin.setStepValueLock(0, 2, true);
    ASSERT_TRUE(rig.open());
    rig.press(354, 198);
    // The press clears and the editor shows it at once.
    EXPECT_EQ(rig.plugin.getLane(0).steps[0].value, 0.0f);
    EXPECT_EQ(rig.plugin.getLane(0).steps[2].value, 0.5f);
    EXPECT_EQ(rig.editor.getStepEditor()->getStepValue(0), 0.0f);
    EXPECT_FLOAT_EQ(rig.editor.getStepEditor()->getStepValue(2), 0.5f);
    // Values drawn between press and release survive the release: it runs no second clear.
    rig.plugin.setStepValue(0, 0, 0.25f);
    rig.release(354, 198);
    EXPECT_FLOAT_EQ(rig.plugin.getLane(0).steps[0].value, 0.25f);

    // Control+Shift on the clear button clears and learns nothing.
    rig.click(354, 198, kLButton | kControl | kShift);
    EXPECT_EQ(rig.plugin.getLane(0).steps[0].value, 0.0f);
    EXPECT_EQ(rig.plugin.getMarkedParameter(), -1);
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
    EXPECT_TRUE(automation().empty());
}

TEST(EditorWindow, ControlShiftOnTheOutputKnobStartsLearningAndOutlinesIt)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    const float before = rig.plugin.getParameter(90);
    rig.press(473, 348, kLButton | kControl | kShift);
    rig.drag(473, 300, kLButton | kControl | kShift);
    rig.release(473, 300, kLButton | kControl | kShift);
    EXPECT_EQ(rig.plugin.getMarkedParameter(), 90);
    EXPECT_EQ(rig.frame().getOutlinedView(), rig.control(90));
    EXPECT_EQ(rig.plugin.getParameter(90), before);
    // Again: learning stops and the outline goes.
    rig.click(473, 348, kLButton | kControl | kShift);
    EXPECT_EQ(rig.plugin.getMarkedParameter(), -1);
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
    // Control alone is the reset to the default, not learning.
    rig.click(473, 348, kLButton | kControl);
    EXPECT_EQ(rig.plugin.getMarkedParameter(), -1);
}

TEST(EditorWindow, LearnStartedWhileClosedIsOutlinedAtTheNextOpen)
{
    Rig rig;
    rig.plugin.midiLearnToggle(18); // Filter Res
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.frame().getOutlinedView(), rig.control(18));
    rig.editor.close();
    rig.plugin.midiLearnToggle(18);
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
}

TEST(EditorWindow, SharedSequencerControlsLearnTheShownModulesParameter)
{
    Rig rig;
    rig.plugin.setEditorPage(3);
    ASSERT_TRUE(rig.open());
    rig.click(100, 55, kLButton | kControl | kShift); // the length bracket
    EXPECT_EQ(rig.plugin.getMarkedParameter(), 52);   // Delay Length
    EXPECT_EQ(rig.frame().getOutlinedView(), rig.editor.getLengthBracket());
    rig.clickModule(0);
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
}

TEST(EditorWindow, LearnedFromTheMouseTheKnobFollowsItsController)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "morvek2-editor-learn";
    fs::remove_all(folder);
    Rig rig;
    rig.plugin.setMidiAssignmentsFolder((folder / "Zendrik").string() + "/");
    rig.plugin.setEditorPage(1);
    ASSERT_TRUE(rig.open());
    rig.click(481, 81, kLButton | kControl | kShift); // knob 1 of the Filter page: freq (17)
    ASSERT_EQ(rig.plugin.getMarkedParameter(), 17);

    auto send = [&](int controller, int value) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.midiData[0] = static_cast<char>(0xB0);
        e.midiData[1] = static_cast<char>(controller);
        e.midiData[2] = static_cast<char>(value);
        struct
        {
            VstInt32 numEvents;
            VstIntPtr reserved;
            VstEvent* events[2];
        } list{1, 0, {reinterpret_cast<VstEvent*>(&e), nullptr}};
        rig.plugin.dispatcher(effProcessEvents, 0, 0, &list, 0.0f);
    };
    send(21, 40);
    send(21, 40);
    rig.editor.idle();
    EXPECT_EQ(rig.plugin.getMarkedParameter(), -1);
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
    send(21, 100);
    EXPECT_FLOAT_EQ(rig.plugin.getParameter(17), 100.0f / 127.0f);
    rig.editor.idle();
    EXPECT_FLOAT_EQ(rig.control(17)->getValue(), 100.0f / 127.0f);
    rig.editor.close();

    std::ifstream in(folder / "Zendrik" / "Morvek2 MIDI Assignments.txt");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "17 21\n");
    fs::remove_all(folder);
}

TEST(EditorWindow, ReorderSetsTheChainOnceOnReleaseAndSurvivesReopening)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    const CRect first = rig.moduleButtonRect(0);
    const CPoint start(first.left + 20, first.top + 12);
    rig.press(start.x, start.y);
    // Dragged right past the centre of the second button.
    for (CCoord dx = 4; dx <= 70; dx += 6) {
        rig.drag(start.x + dx, start.y);
        EXPECT_EQ(rig.plugin.getChainSlot(0), 0) << "the chain changed before the release";
    }
    rig.release(start.x + 70, start.y);
    EXPECT_EQ(rig.plugin.getChainSlot(0), 1);
    EXPECT_EQ(rig.plugin.getChainSlot(1), 0);
    EXPECT_EQ(rig.plugin.currentRecord().chainOrder[0], 1);
    EXPECT_EQ(rig.moduleButtonRect(1).left, 45);
    EXPECT_EQ(rig.moduleButtonRect(0).left, 105);
    EXPECT_TRUE(automation().empty()) << "module buttons never automate the host";

    rig.editor.close();
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.moduleButtonRect(1).left, 45);
    EXPECT_EQ(rig.moduleButtonRect(0).left, 105);
    // A chain order set by the plug-in while open re-places the buttons.
    const std::uint16_t order[6] = {5, 4, 3, 2, 1, 0};
    ASSERT_TRUE(rig.plugin.setChainOrder(order));
    EXPECT_EQ(rig.moduleButtonRect(5).left, 45);
    EXPECT_EQ(rig.moduleButtonRect(0).left, 345);
}

TEST(EditorWindow, ModuleButtonsNeverAutomateTheHost)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    for (int m : {2, 5, 0, 3}) {
        rig.clickModule(m);
        EXPECT_EQ(rig.editor.getSelectedModule(), m);
    }
    EXPECT_TRUE(automation().empty());
}

TEST(EditorWindow, ProgramChangeShowsTheProgramsPageAndLanes)
{
    Rig rig;
    rig.plugin.setProgram(0);
    ASSERT_TRUE(rig.open());
    rig.clickModule(4);
    EXPECT_EQ(rig.plugin.getProgramRecord(0).editorPage, 4);
    // Another program remembers its own page.
    rig.plugin.getProgramRecord(1).editorPage = 2;
    rig.plugin.setProgram(1);
    EXPECT_EQ(rig.editor.getSelectedModule(), 2);
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(rig.editor.getStepEditor()->getStepValue(s),
                  rig.plugin.getLane(2).steps[s].value);
    }
    rig.plugin.setProgram(0);
    EXPECT_EQ(rig.editor.getSelectedModule(), 4);
}

// Choosing a program in the window switches the plug-in as a host's program change does and asks
// the host to read it again, by click, click and by press, drag, release; the menu follows the
// host's program changes and renames from any thread.
TEST(EditorWindow, ProgramMenuSwitchesProgramsAndFollowsTheHost)
{
    struct Row
    {
        int program;
        bool drag;
    };
    // 19 lies under the closed box, 27 and 39 in the second column; 0 is the current one.
    for (const Row row :
         {Row{4, false}, Row{19, false}, Row{27, true}, Row{39, false}, Row{0, false}}) {
        SCOPED_TRACE(row.program);
        Rig rig;
        ASSERT_TRUE(rig.open());
        CZKProgramMenu* menu = rig.editor.getProgramMenu();
        ASSERT_NE(menu, nullptr);
        EXPECT_STREQ(menu->getItemText(menu->getSelectedIndex()), "01 Clean Slate");
        const CRect box = menu->getClosedRect();
        const CPoint boxCentre((box.left + box.right) / 2, (box.top + box.bottom) / 2);
        if (row.drag) {
            rig.press(boxCentre.x, boxCentre.y);
            ASSERT_TRUE(menu->isOpen());
            const CRect item = menu->itemRect(row.program);
            rig.drag(item.left + 10, item.top + 5);
            rig.release(item.left + 10, item.top + 5);
        } else {
            rig.click(boxCentre.x, boxCentre.y);
            ASSERT_TRUE(menu->isOpen()) << "a click leaves the list open for the next one";
            const CRect list = menu->getViewSize();
            EXPECT_GE(list.top, 0);
            EXPECT_LE(list.right, Morvek2Editor::kWidth);
            const CRect item = menu->itemRect(row.program);
            rig.click(item.left + 10, item.top + 5);
        }
        EXPECT_FALSE(menu->isOpen());
        EXPECT_EQ(rig.plugin.getProgram(), row.program);
        EXPECT_EQ(displayUpdates(), row.program == 0 ? 0 : 1);
        // The values a host's program change gives.
        Morvek2 reference{recordingHost};
        reference.setProgram(row.program);
        for (int i = 0; i < Morvek2Editor::kNumParams; ++i) {
            EXPECT_EQ(rig.plugin.getParameter(i), reference.getParameter(i)) << i;
        }
        EXPECT_EQ(rig.editor.getSelectedModule(),
                  rig.plugin.getProgramRecord(row.program).editorPage);
        EXPECT_TRUE(automation().empty()) << "a program change is no automation";
        char name[Morvek2Core::kProgramNameOut] = {};
        ASSERT_TRUE(rig.plugin.Morvek2Core::getProgramNameIndexed(row.program, name));
        EXPECT_STREQ(menu->getItemText(menu->getSelectedIndex()), name);

        // A press beside the open list closes it and changes nothing.
        rig.click(boxCentre.x, boxCentre.y);
        ASSERT_TRUE(menu->isOpen());
        rig.click(20, 20);
        EXPECT_FALSE(menu->isOpen());
        EXPECT_EQ(rig.plugin.getProgram(), row.program);
        EXPECT_EQ(displayUpdates(), row.program == 0 ? 0 : 1);

        // The host switches and renames from its own thread: the next idle shows it.
        std::thread([&] {
            rig.plugin.setProgram(7);
            rig.plugin.setProgramName("Mine");
        }).join();
        rig.editor.idle();
        EXPECT_EQ(menu->getSelectedIndex(), 7);
        EXPECT_STREQ(menu->getItemText(7), "08 Mine");
        std::thread([&] { rig.plugin.setProgramName("Yours"); }).join();
        rig.editor.idle();
        EXPECT_STREQ(menu->getItemText(7), "08 Yours");
    }
}

TEST(EditorWindow, ChangesWhileClosedShowAtTheNextOpen)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    rig.editor.close();
    // A chunk of program 5 loaded into the current program while the window is closed.
    void* data = nullptr;
    rig.plugin.setProgram(5);
    const VstInt32 size = rig.plugin.getChunk(&data, true);
    std::vector<char> chunk(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    auto* record = reinterpret_cast<ProgramRecord*>(chunk.data());
    record->editorPage = 5;
    record->values[77] = 0.125f;
    record->lanes[5].steps[9].value = 0.625f;
    rig.plugin.setProgram(0);
    ASSERT_EQ(rig.plugin.setChunk(chunk.data(), size, true), 1);
    rig.plugin.setParameter(90, 0.33f);

    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.editor.getSelectedModule(), 5);
    EXPECT_FLOAT_EQ(rig.control(77)->getValue(), 0.125f);
    EXPECT_FLOAT_EQ(rig.control(90)->getValue(), 0.33f);
    EXPECT_FLOAT_EQ(rig.editor.getStepEditor()->getStepValue(9), 0.625f);
    EXPECT_TRUE(rig.control(76)->isVisible());
}

TEST(EditorWindow, OpenTwiceCloseTwiceAndCallsWhileClosedAreHarmless)
{
    Rig rig;
    rig.editor.close();
    rig.editor.idle();
    rig.editor.selectModule(3);
    rig.editor.refreshModule();
    const std::uint16_t order[6] = {1, 0, 2, 3, 4, 5};
    rig.editor.applyModuleOrder(order);
    rig.editor.setParameter(93, 1.0f);
    rig.editor.setParameter(-1, 1.0f);
    rig.editor.outlineTag(5, true);
    EXPECT_TRUE(rig.editor.isClosed());
    EXPECT_EQ(rig.editor.getSelectedModule(), 0);

    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.open());
    EXPECT_FALSE(rig.editor.isClosed());
    rig.editor.idle();
    rig.editor.close();
    rig.editor.close();
    EXPECT_TRUE(rig.editor.isClosed());
    EXPECT_EQ(rig.editor.getFrame(), nullptr);
    for (int m = 0; m < 6; ++m) {
        EXPECT_TRUE(rig.editor.getModuleControls(m).empty());
    }
    // Through the dispatcher: no parent window, no window.
    EXPECT_EQ(rig.plugin.dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 0);
}

TEST(EditorWindow, ParameterChangesFromAnotherThreadShowAtTheNextIdle)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    std::thread automationThread([&] {
        rig.plugin.setParameter(90, 0.875f);
        rig.plugin.setParameter(46, 1.0f);
        rig.plugin.midiLearnToggle(2);
    });
    automationThread.join();
    // Nothing on screen changed from the other thread.
    EXPECT_NE(rig.control(90)->getValue(), 0.875f);
    EXPECT_EQ(rig.frame().getOutlinedView(), nullptr);
    rig.editor.idle();
    EXPECT_FLOAT_EQ(rig.control(90)->getValue(), 0.875f);
    EXPECT_FLOAT_EQ(rig.control(46)->getValue(), 1.0f);
    EXPECT_EQ(knobText(rig, 44), expectedText(rig, 44));
    EXPECT_EQ(rig.frame().getOutlinedView(), rig.control(2));
}

TEST(EditorWindow, IdleShowsThePlayingStepAndRerolledSteps)
{
    Rig rig;
    rig.plugin.setEditorPage(0);
    ASSERT_TRUE(rig.open());
    rig.plugin.getLane(0).position = 6;
    rig.plugin.stepMoved.store(1);
    rig.plugin.getLane(0).steps[3].value = 0.375f;
    rig.plugin.getLane(0).steps[4].gate = 1;
    rig.plugin.lanesRandomised.store(1);
    rig.editor.idle();
    EXPECT_TRUE(rig.editor.getStepEditor()->isStepCurrent(6));
    EXPECT_FALSE(rig.editor.getStepEditor()->isStepCurrent(0));
    EXPECT_EQ(rig.plugin.stepMoved.load(), 0);
    EXPECT_EQ(rig.plugin.lanesRandomised.load(), 0);
    EXPECT_FLOAT_EQ(rig.editor.getStepEditor()->getStepValue(3), 0.375f);
    EXPECT_EQ(rig.editor.getGateRow()->getStepValue(4), 1.0f);
}

TEST(EditorWindow, PopupsListTheValueNames)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    std::vector<std::string> items;
    dynamic_cast<CZKVPopupMenu*>(rig.control(91))->getItems(items);
    EXPECT_EQ(items, rig.plugin.getParameterManager().getValueList(91));
    EXPECT_EQ(items.size(), 5u);
    dynamic_cast<CZKVPopupMenu*>(rig.control(200))->getItems(items);
    EXPECT_EQ(items.size(), 10u);
}

TEST(EditorWindow, FullRenderDrawsTheBackgroundAndTheShownPage)
{
    Rig rig;
    rig.plugin.setEditorPage(1);
    ASSERT_TRUE(rig.open());
    rig.editor.idle();
    rig.screen().renderAll();
    rig.screen().savePNG(MORVEK2_EDITOR_ARTIFACT_DIR "/editor_offscreen.png");
    // The background covers the window: no pixel is left transparent.
    for (CCoord y = 0; y < 447; y += 37) {
        for (CCoord x = 0; x < 647; x += 41) {
            EXPECT_EQ(rig.screen().getPixel(x, y).alpha, 255) << x << "," << y;
        }
    }
    // Every page, for a look at the artifacts; each shows its own first knob caption, so the
    // caption area of knob 1 differs from one page to the next.
    std::vector<CColor> previous;
    for (int m = 0; m < 6; ++m) {
        rig.clickModule(m);
        rig.editor.idle();
        rig.screen().renderAll();
        rig.screen().savePNG(std::string(MORVEK2_EDITOR_ARTIFACT_DIR) + "/editor_page_" +
                             std::to_string(m) + ".png");
        std::vector<CColor> caption;
        for (CCoord y = 84; y < 106; ++y) {
            for (CCoord x = 486; x < 530; ++x) {
                caption.push_back(rig.screen().getPixel(x, y));
            }
        }
        if (m > 0) {
            EXPECT_NE(caption, previous) << "page " << m << " shows the caption of page " << m - 1;
        }
        previous = caption;
    }
}

TEST(EditorWindow, AboutAreaShowsTheAboutScreenUntilClickedAndAutomatesNothing)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.editor.getFrame()->getModalView(), nullptr);
    rig.click(80, 405);
    ASSERT_NE(rig.editor.getFrame()->getModalView(), nullptr);
    rig.editor.idle();
    rig.screen().renderAll();
    rig.screen().savePNG(MORVEK2_EDITOR_ARTIFACT_DIR "/editor_about.png");
    // While it shows, a click on a knob's place reaches no knob.
    const float gain = rig.plugin.getParameter(90);
    rig.press(473, 348);
    rig.drag(473, 250);
    rig.release(473, 250);
    EXPECT_EQ(rig.plugin.getParameter(90), gain);
    EXPECT_EQ(rig.editor.getFrame()->getModalView(), nullptr) << "a click closes it";
    EXPECT_TRUE(automation().empty());
}

// Every control that moves a host parameter, driven as a user would: the host hears one begin,
// the new values and one end, all for the parameter the control stands for on the shown page.
TEST(EditorWindow, EveryGestureThatMovesAParameterIsOneBracketedEdit)
{
    struct Gesture
    {
        const char* what;
        int page;
        CPoint from;
        CPoint to;
        int32_t buttons;
        int parameter;
    };
    const Gesture gestures[] = {
        {"module knob drag", 0, {481, 81}, {481, 40}, kLButton, 0},
        {"module knob Control-click", 0, {481, 81}, {481, 81}, kLButton | kControl, 0},
        {"stepped knob drag", 1, {481, 161}, {481, 120}, kLButton, 19},
        {"modulation slider drag", 0, {470, 116}, {500, 116}, kLButton, 12},
        {"modulation slider Control-click", 0, {470, 116}, {470, 116}, kLButton | kControl, 12},
        {"smoothing slider drag", 0, {280, 178}, {380, 178}, kLButton, 14},
        {"smoothing slider on another page", 4, {280, 178}, {380, 178}, kLButton, 73},
        {"length bracket drag", 0, {390, 55}, {200, 55}, kLButton, 7},
        {"length bracket on another page", 2, {390, 55}, {200, 55}, kLButton, 37},
        {"step size pop-up pick", 0, {103, 178}, {103, 194}, kLButton, 6},
        {"step size pop-up on another page", 5, {103, 178}, {103, 194}, kLButton, 81},
        {"reset interval pop-up pick", 0, {136, 275}, {136, 291}, kLButton, 91},
        {"direction switch click", 0, {120, 198}, {120, 198}, kLButton, 8},
        {"direction switch drag", 3, {50, 198}, {120, 198}, kLButton, 53},
        {"direction switch Control-click", 0, {120, 198}, {120, 198}, kLButton | kControl, 8},
        {"value reset button", 0, {303, 198}, {303, 198}, kLButton, 15},
        {"gate reset button", 1, {303, 275}, {303, 275}, kLButton, 31},
        {"solo button", 0, {551, 256}, {551, 256}, kLButton, 5},
        {"mute button", 2, {551, 239}, {551, 239}, kLButton, 34},
        {"delay mode switch", 3, {486, 236}, {486, 276}, kLButton, 46},
        {"active switch", 0, {529, 342}, {529, 342}, kLButton, 92},
        {"output knob drag", 0, {473, 348}, {473, 300}, kLButton, 90},
        {"output knob Control-click", 0, {473, 348}, {473, 348}, kLButton | kControl, 90},
    };
    for (const Gesture& g : gestures) {
        SCOPED_TRACE(g.what);
        Rig rig;
        rig.plugin.setEditorPage(g.page);
        ASSERT_TRUE(rig.open());
        // Off the default, so that a Control-click has something to reset.
        rig.plugin.setParameter(g.parameter, 0.37f);
        hostEdits().clear();
        rig.press(g.from.x, g.from.y, g.buttons);
        for (int i = 1; i <= 4; ++i) {
            rig.drag(g.from.x + (g.to.x - g.from.x) * i / 4, g.from.y + (g.to.y - g.from.y) * i / 4,
                     g.buttons);
        }
        rig.release(g.to.x, g.to.y, g.buttons);
        rig.editor.idle();

        const auto& heard = hostEdits();
        EXPECT_GE(heard.size(), 3u);
        if (heard.empty()) {
            continue;
        }
        EXPECT_EQ(heard.front().kind, 'b');
        EXPECT_EQ(heard.back().kind, 'e');
        for (std::size_t i = 0; i < heard.size(); ++i) {
            EXPECT_EQ(heard[i].index, g.parameter) << "call " << i;
            if (i > 0 && i + 1 < heard.size()) {
                EXPECT_EQ(heard[i].kind, 'v') << "call " << i;
            }
        }
    }
}

// Steps, locks, gates, module buttons and lane commands are no host parameters: the host hears
// no edit of them (nor of the tags they carry).
TEST(EditorWindow, StepAndCommandGesturesTellTheHostNothing)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    hostEdits().clear();
    rig.press(60, 100);
    rig.drag(200, 80);
    rig.release(200, 80);
    rig.click(60, 163);  // value lock
    rig.click(60, 247);  // gate
    rig.click(249, 198); // randomise values
    rig.click(354, 275); // clear gates
    rig.clickModule(2);
    EXPECT_TRUE(hostEdits().empty())
        << hostEdits().size() << " calls, first for " << hostEdits().front().index;
}

// Every text a knob or pop-up can show fits its box in the editor's own font: a knob's value
// text ends before the bracket of the knob to its right (or the panel's edge), a pop-up item
// inside the pop-up's border.
TEST(EditorWindow, EveryDisplayTextFitsItsBox)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    constexpr CCoord kPanelRight = 630;
    constexpr CCoord kSecondColumnBracket = 544 - 10;
    for (int m = 0; m < Morvek2Editor::kNumModules; ++m) {
        for (CControl* c : rig.editor.getModuleControls(m)) {
            auto* knob = dynamic_cast<CZKmv2VKnob*>(c);
            if (!knob) {
                continue;
            }
            const int index = knob->getTag();
            const CRect r = knob->getViewSize();
            const CCoord right =
                r.left < kSecondColumnBracket ? kSecondColumnBracket - 2 : kPanelRight;
            const CCoord room = right - (r.left + 30);
            // Delay Time reads differently in each delay mode.
            const int modes = index == 44 ? 3 : 1;
            for (int mode = 0; mode < modes; ++mode) {
                if (modes > 1) {
                    rig.plugin.setParameter(46, static_cast<float>(mode) / 2.f);
                }
                for (int i = 0; i <= 1000; ++i) {
                    rig.plugin.setParameter(index, static_cast<float>(i) / 1000.f);
                    EXPECT_LE(knob->getValueTextWidth(), room)
                        << "parameter " << index << " \"" << knob->getValueText() << "\"";
                }
            }
        }
    }
    // Every readout text of every control, at every value, inside its readout.
    for (int m = 0; m < Morvek2Editor::kNumModules; ++m) {
        rig.clickModule(m);
        std::vector<CControl*> shown = rig.editor.getModuleControls(m);
        for (int kind : {Morvek2Editor::kTagStepSize, Morvek2Editor::kTagLength,
                         Morvek2Editor::kTagSmoothing, Morvek2Editor::kTagReset,
                         Morvek2Editor::kTagGateReset, Morvek2Editor::kTagDirection}) {
            shown.push_back(rig.editor.sharedControlFor(kind));
        }
        for (int tag : {90, 91, 92}) {
            shown.push_back(rig.control(tag));
        }
        for (CControl* c : shown) {
            if (c->getTag() == Morvek2Editor::kTagDecoration) {
                continue;
            }
            rig.editor.controlHovered(c);
            const int modes = c->getTag() == 44 ? 3 : 1;
            for (int mode = 0; mode < modes; ++mode) {
                if (modes > 1) {
                    rig.plugin.setParameter(46, static_cast<float>(mode) / 2.f);
                }
                for (int i = 0; i <= 200; ++i) {
                    c->setValue(static_cast<float>(i) / 200.f);
                    c->valueChanged();
                    bool any = false;
                    for (int p = 0; p < Morvek2Editor::kNumPanels; ++p) {
                        CZKTextDisplay* readout = rig.editor.getReadout(p);
                        const std::string& text = readout->getText();
                        any |= !text.empty();
                        EXPECT_LE(readout->getFont()->stringWidth(text.c_str()),
                                  readout->getViewSize().width())
                            << "\"" << text << "\"";
                    }
                    ASSERT_TRUE(any) << "control " << c->getTag() << " on page " << m;
                }
            }
        }
    }
    rig.editor.controlHovered(nullptr);

    for (int tag : {91, static_cast<int>(Morvek2Editor::kTagStepSize),
                    static_cast<int>(Morvek2Editor::kTagProgram)}) {
        auto* popup = dynamic_cast<CZKVPopupMenu*>(rig.control(tag));
        ASSERT_NE(popup, nullptr);
        std::vector<std::string> items;
        popup->getItems(items);
        const CCoord room = popup->getViewSize().width() - 4;
        for (const std::string& item : items) {
            EXPECT_LE(popup->getFont()->stringWidth(item.c_str()), room)
                << tag << " \"" << item << "\"";
        }
    }
}

// The control under the pointer reads its value in its panel's readout, and so does the one
// being dragged; every other readout stays empty. A value the host moves shows there too.
TEST(EditorWindow, TheHoveredOrDraggedControlReadsItsValueInItsPanel)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    auto texts = [&] {
        std::vector<std::string> all;
        for (int p = 0; p < Morvek2Editor::kNumPanels; ++p) {
            all.push_back(rig.editor.getReadout(p)->getText());
        }
        return all;
    };
    const std::vector<std::string> none(Morvek2Editor::kNumPanels);
    EXPECT_EQ(texts(), none);

    rig.drag(320, 178, 0); // over the smoothing slider
    std::vector<std::string> expected = none;
    expected[Morvek2Editor::kPanelSteps] = "smooth " + readText(rig, 14);
    EXPECT_EQ(texts(), expected);
    rig.plugin.setParameter(14, 0.8f);
    expected[Morvek2Editor::kPanelSteps] = "smooth " + readText(rig, 14);
    EXPECT_EQ(texts(), expected);

    rig.drag(470, 116, 0); // over the attack modulation slider
    expected = none;
    expected[Morvek2Editor::kPanelModule] = "attack mod " + readText(rig, 12);
    EXPECT_EQ(texts(), expected);

    // A drag keeps reading its own control even where the pointer passes others.
    rig.press(473, 348);
    rig.drag(473, 300);
    rig.drag(300, 100);
    expected = none;
    expected[Morvek2Editor::kPanelOutput] = "gain " + readText(rig, 90);
    EXPECT_EQ(texts(), expected);
    rig.release(300, 100);
    EXPECT_EQ(texts(), none); // over the step editor, which reads only while drawn on

    rig.press(60, 100);
    rig.drag(70, 60);
    EXPECT_EQ(texts()[Morvek2Editor::kPanelSteps], "step 3  100%");
    rig.release(70, 60);

    rig.drag(10, 10, 0); // over no control
    EXPECT_EQ(texts(), none);
}

namespace {

double luminance(const CColor& c)
{
    auto channel = [](uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red) + 0.7152 * channel(c.green) + 0.0722 * channel(c.blue);
}

double contrast(const CColor& a, const CColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

// Text must be legible: within each caption's box the text's colour (the pixel farthest from the
// box's commonest colour) stands at least 4.5 : 1 from the background (the WCAG measure), and a
// set lock stands as far from an unset one.
TEST(EditorWindow, CaptionsAndLockRowsHaveLegibleContrast)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    rig.click(48, 163); // value lock of step 1
    rig.click(48, 256); // gate lock of step 1
    rig.editor.idle();
    rig.screen().renderAll();
    struct Box
    {
        const char* what;
        CRect area;
    };
    const Box boxes[] = {
        {"title line", {440, 8, 636, 20}},     {"chain hint", {130, 364, 312, 377}},
        {"version", {162, 404, 192, 418}},     {"step", {60, 171, 86, 184}},
        {"smooth", {225, 172, 265, 185}},      {"direction", {135, 192, 186, 205}},
        {"gate", {42, 230, 70, 242}},          {"restart every", {35, 269, 104, 282}},
        {"solo", {560, 249, 587, 262}},        {"gain", {455, 379, 492, 392}},
        {"knob caption", {487, 84, 530, 106}}, {"module button", {105, 330, 145, 348}},
    };
    for (const Box& box : boxes) {
        std::map<uint32_t, int> counts;
        std::vector<CColor> pixels;
        for (CCoord y = box.area.top; y < box.area.bottom; ++y) {
            for (CCoord x = box.area.left; x < box.area.right; ++x) {
                const CColor c = rig.screen().getPixel(x, y);
                pixels.push_back(c);
                ++counts[(uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue];
            }
        }
        const auto commonest = std::max_element(
            counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; });
        const CColor background = MakeCColor(static_cast<uint8_t>(commonest->first >> 16),
                                             static_cast<uint8_t>(commonest->first >> 8),
                                             static_cast<uint8_t>(commonest->first));
        double best = 1.0;
        for (const CColor& c : pixels) {
            best = std::max(best, contrast(c, background));
        }
        EXPECT_GE(best, 4.5) << box.what;
    }
    for (CCoord y : {163, 256}) {
        EXPECT_GE(contrast(rig.screen().getPixel(48, y), rig.screen().getPixel(59, y)), 4.5)
            << "lock row at " << y;
    }
}

// Each module button's name keeps clear of the button's border: at least four pixels of face
// on either side of the ink.
TEST(EditorWindow, ModuleButtonNamesLeaveMarginsInTheirButtons)
{
    Rig rig;
    ASSERT_TRUE(rig.open());
    rig.editor.idle();
    rig.screen().renderAll();
    for (int m = 0; m < Morvek2Editor::kNumModules; ++m) {
        const CRect r = rig.moduleButtonRect(m);
        const CColor face = rig.screen().getPixel(r.left + 3, r.top + 12);
        CCoord first = r.right;
        CCoord last = r.left;
        for (CCoord y = r.top + 9; y < r.top + 21; ++y) {
            for (CCoord x = r.left + 2; x < r.right - 2; ++x) {
                if (contrast(rig.screen().getPixel(x, y), face) >= 3.0) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        ASSERT_LE(first, last) << "module " << m << " shows no name";
        EXPECT_GE(first - r.left, 4) << "module " << m;
        EXPECT_GE(r.right - 1 - last, 4) << "module " << m;
    }
}

namespace {

// Offscreen frames at a chosen screen scale, as a desktop announcing it would give them.
class ScaledOffscreenPlatform : public IPlatformFactory
{
public:
    explicit ScaledOffscreenPlatform(double scale_) : scale(scale_) { setPlatformFactory(this); }
    ~ScaledOffscreenPlatform() override { installDefaultPlatform(); }
    ScaledOffscreenPlatform(const ScaledOffscreenPlatform&) = delete;
    ScaledOffscreenPlatform& operator=(const ScaledOffscreenPlatform&) = delete;

    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameOwner& owner, void*, CCoord width,
                                                CCoord height) override
    {
        return std::make_unique<OffscreenFrame>(owner, width, height, scale);
    }
    std::unique_ptr<IPlatformBitmap> decodePNG(const void* data, std::size_t size) override
    {
        return decodePNGWithCairo(data, size);
    }
    double desktopScaleFactor() override { return scale; }

private:
    double scale;
};

bool regenerateGolden()
{
    const char* v = std::getenv("MORVEK2_REGENERATE_GOLDEN");
    return v && std::string(v) == "1";
}

} // namespace

TEST(EditorWindow, HighDensityScreensScaleTheWindowTheDrawingAndTheMouse)
{
    struct Row
    {
        double scale;
        const char* golden;
        int width, height;
    };
    // 1.5 x 647.5 rounds up: the window covers every device pixel the layout touches.
    const Row rows[] = {{1.0, "editor_scale_1x", 647, 447},
                        {1.5, "editor_scale_1.5x", 971, 671},
                        {2.0, "editor_scale_2x", 1294, 894}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.golden);
        ScaledOffscreenPlatform platform(row.scale);
        Rig rig;
        rig.plugin.setEditorPage(1);
        ERect* r = nullptr;
        ASSERT_TRUE(rig.plugin.getEditor()->getRect(&r));
        EXPECT_EQ(r->right - r->left, row.width);
        EXPECT_EQ(r->bottom - r->top, row.height);
        ASSERT_TRUE(rig.open());
        ASSERT_TRUE(rig.plugin.getEditor()->getRect(&r));
        EXPECT_EQ(r->right - r->left, row.width);
        EXPECT_EQ(r->bottom - r->top, row.height);
        // The host is asked to resize only when the size differs from the layout's.
        if (row.scale == 1.0) {
            EXPECT_TRUE(sizeWindowRequests().empty());
        } else {
            ASSERT_EQ(sizeWindowRequests().size(), 1u);
            EXPECT_EQ(sizeWindowRequests()[0], std::make_pair(row.width, row.height));
        }
        // The layout stays in its own pixels; only the image grows.
        EXPECT_EQ(rig.frame().getViewSize().width(), 647);
        EXPECT_EQ(rig.screen().getDeviceWidth(), row.width);
        EXPECT_EQ(rig.screen().getDeviceHeight(), row.height);

        rig.editor.idle();
        rig.screen().renderAll();
        const std::string golden =
            std::string(MORVEK2_EDITOR_GOLDEN_DIR) + "/" + row.golden + ".png";
        const std::string actual =
            std::string(MORVEK2_EDITOR_ARTIFACT_DIR) + "/" + row.golden + ".png";
        rig.screen().savePNG(actual);
        if (regenerateGolden()) {
            ASSERT_TRUE(rig.screen().savePNG(golden));
        }
        cairo_surface_t* expected = cairo_image_surface_create_from_png(golden.c_str());
        ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS)
            << "missing " << golden << " (run with MORVEK2_REGENERATE_GOLDEN=1)";
        ASSERT_EQ(cairo_image_surface_get_width(expected), row.width);
        ASSERT_EQ(cairo_image_surface_get_height(expected), row.height);
        long differing = 0;
        for (CCoord y = 0; y < row.height; ++y) {
            for (CCoord x = 0; x < row.width; ++x) {
                const CColor a = rig.screen().getPixel(x, y);
                const CColor b = readSurfacePixel(expected, x, y);
                differing += !(a == b);
            }
        }
        cairo_surface_destroy(expected);
        EXPECT_EQ(differing, 0) << "differs from " << golden << "; this render is " << actual;

        // A click at the scaled position of a control reaches that control: the Active switch
        // (509, 324 .. 549, 360) and the module button of the Distort page.
        const float active = rig.control(92)->getValue();
        rig.click(static_cast<CCoord>(529 * row.scale), static_cast<CCoord>(342 * row.scale));
        EXPECT_NE(rig.control(92)->getValue(), active);
        const CRect button = rig.moduleButtonRect(2);
        rig.click(static_cast<CCoord>((button.left + 10) * row.scale),
                  static_cast<CCoord>((button.top + 10) * row.scale));
        EXPECT_EQ(rig.editor.getSelectedModule(), 2);
        // The last device pixel still belongs to the layout's last pixel.
        CPoint where;
        rig.screen().mouseMoved(CPoint(row.width - 1, row.height - 1), 0);
        ASSERT_TRUE(rig.screen().getCurrentMousePosition(where));
        EXPECT_EQ(where, CPoint(646, 446));
        rig.editor.close();
    }
}
