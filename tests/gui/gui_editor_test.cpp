// The editor base behind its VST 2.4 adapter, bound to a real AudioEffect and a recording host
// callback, opened offscreen.
#include "gui/GUIEditor.h"
#include "gui_test_support.h"
#include "vst/AudioEffect.h"
#include "vst2/Vst2EditorAdapter.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {

std::vector<std::pair<VstInt32, VstInt32>> hostCalls; // (opcode, index)

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                    float)
{
    if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit) {
        hostCalls.push_back({opcode, index});
        return 1;
    }
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Effect : public AudioEffect
{
public:
    Effect() : AudioEffect(recordingHost, 1, 93) {}
    void processReplacing(float**, float**, VstInt32) override {}
};

// A minimal editor in the way a plug-in's editor uses the base: the frame is built in open.
class Editor : public GUIEditor, public CControlListener
{
public:
    Editor()
    {
        layoutWidth = 400;
        layoutHeight = 300;
        setKnobMode(kKnobModeLinear);
    }
    bool open(void* parent) override
    {
        GUIEditor::open(parent);
        auto* newFrame = new CFrame(CRect(0, 0, layoutWidth, layoutHeight), parent, this);
        for (int32_t tag : {0, 92, 93, 94, 200, -1}) {
            auto* knob = new CKnob(CRect(tag == -1 ? 0 : 10, 10, 60, 60), this, tag, nullptr);
            knobs.push_back(knob);
            newFrame->addView(knob);
            knob->setVisible(false);
        }
        frame = newFrame;
        return true;
    }
    void close() override
    {
        knobs.clear();
        GUIEditor::close();
    }
    void valueChanged(CControl*) override
    {
        ++changes;
        // A host may call idle from inside a parameter change; the guard stops the recursion.
        idle();
    }
    void idle() override
    {
        ++idleCalls;
        GUIEditor::idle();
    }

    std::vector<CKnob*> knobs;
    int changes = 0;
    int idleCalls = 0;
};

void dragKnob(CFrame* frame, CKnob* knob)
{
    for (CKnob* k : {knob}) {
        k->setVisible(true);
    }
    auto* window = offscreen(frame);
    window->postEvent(OffscreenFrame::EventType::down, CPoint(20, 20), kLButton);
    window->postEvent(OffscreenFrame::EventType::moved, CPoint(60, 20), kLButton);
    window->postEvent(OffscreenFrame::EventType::up, CPoint(60, 20), kLButton);
    knob->getFrame()->idle();
    knob->setVisible(false);
}

} // namespace

TEST(GuiEditor, RectIsStableAndKnobModeIsProcessWide)
{
    auto* effect = new Effect;
    auto* editor = new Editor;
    auto* adapter = new Vst2EditorAdapter(effect, editor);
    ERect* first = nullptr;
    ERect* second = nullptr;
    ASSERT_TRUE(adapter->getRect(&first));
    ASSERT_TRUE(adapter->getRect(&second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->right, 400);
    EXPECT_EQ(first->bottom, 300);
    EXPECT_FALSE(adapter->getRect(nullptr));

    EXPECT_EQ(GUIEditor::getGlobalKnobMode(), kKnobModeLinear);
    EXPECT_FALSE(GUIEditor::setKnobMode(7));
    EXPECT_EQ(editor->getKnobMode(), kKnobModeLinear);
    EXPECT_TRUE(GUIEditor::setKnobMode(kKnobModeCircular));
    EXPECT_EQ(editor->getKnobMode(), kKnobModeCircular);
    GUIEditor::setKnobMode(kKnobModeLinear);
    delete effect; // owns and deletes the editor
}

TEST(GuiEditor, BeginAndEndEditReachTheHostOnlyForParameterIndices)
{
    auto* effect = new Effect;
    auto* editor = new Editor;
    new Vst2EditorAdapter(effect, editor); // owned by the effect, it owns the editor
    ASSERT_TRUE(editor->open(nullptr));
    ASSERT_NE(editor->getFrame(), nullptr);
    EXPECT_TRUE(editor->getFrame()->isOffscreen());
    hostCalls.clear();
    for (CKnob* knob : std::vector<CKnob*>(editor->knobs)) {
        dragKnob(editor->getFrame(), knob);
    }
    const std::vector<std::pair<VstInt32, VstInt32>> expected{{audioMasterBeginEdit, 0},
                                                              {audioMasterEndEdit, 0},
                                                              {audioMasterBeginEdit, 92},
                                                              {audioMasterEndEdit, 92}};
    EXPECT_EQ(hostCalls, expected);
    EXPECT_EQ(editor->changes, 6) << "every knob moved and told its listener";
    editor->close();
    EXPECT_EQ(editor->getFrame(), nullptr);
    delete effect;
}

TEST(GuiEditor, IdleIsNotReenteredFromInsideAnEdit)
{
    auto* effect = new Effect;
    auto* editor = new Editor;
    new Vst2EditorAdapter(effect, editor); // owned by the effect, it owns the editor
    editor->open(nullptr);
    editor->idleCalls = 0;
    editor->knobs[0]->setVisible(true);
    auto* window = offscreen(editor->getFrame());
    window->postEvent(OffscreenFrame::EventType::down, CPoint(20, 20), kLButton);
    window->postEvent(OffscreenFrame::EventType::moved, CPoint(60, 20), kLButton);
    window->postEvent(OffscreenFrame::EventType::up, CPoint(60, 20), kLButton);
    editor->idle(); // the events arrive here; the listener calls idle again from inside
    EXPECT_EQ(editor->changes, 1);
    EXPECT_EQ(editor->idleCalls, 2);
    EXPECT_FALSE(editor->isIdleGuardSet());
    EXPECT_NEAR(editor->knobs[0]->getValue(), 0.2f, 1e-6);
    delete effect; // still open: the editor's end releases the frame
}

TEST(GuiEditor, KeysReachTheFrameAndUnusedOnesStayWithTheHost)
{
    struct KeyView : CView
    {
        KeyView() : CView(CRect(0, 0, 10, 10)) {}
        int32_t onKeyDown(CKeyCode& key) override
        {
            last = key.character;
            return key.character == 'x' ? 1 : -1;
        }
        int32_t last = 0;
    };
    auto* effect = new Effect;
    auto* editor = new Editor;
    new Vst2EditorAdapter(effect, editor); // owned by the effect, it owns the editor
    EXPECT_FALSE(editor->onKeyDown('x', 0, 0)) << "closed: nothing takes keys";
    editor->open(nullptr);
    auto* view = new KeyView;
    editor->getFrame()->addView(view);
    EXPECT_TRUE(editor->onKeyDown('x', 0, 0));
    EXPECT_FALSE(editor->onKeyDown('y', 0, 0));
    EXPECT_EQ(view->last, 'y');
    EXPECT_FALSE(editor->onKeyUp('x', 0, 0));
    view->setVisible(false);
    EXPECT_FALSE(editor->onKeyDown('x', 0, 0)) << "hidden views take no keys";
    delete effect;
}

TEST(GuiEditor, OpenCloseCyclesReleaseEverything)
{
    auto* effect = new Effect;
    auto* editor = new Editor;
    new Vst2EditorAdapter(effect, editor); // owned by the effect, it owns the editor
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(editor->open(nullptr));
        editor->idle();
        editor->close();
        EXPECT_FALSE(editor->isOpen());
        EXPECT_EQ(editor->getFrame(), nullptr);
    }
    // A host opening twice without closing: the first frame goes, its views with it.
    ASSERT_TRUE(editor->open(nullptr));
    CFrame* firstFrame = editor->getFrame();
    firstFrame->remember();
    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_NE(editor->getFrame(), firstFrame);
    EXPECT_EQ(firstFrame->getNbReference(), 1) << "only this test still holds the first frame";
    firstFrame->forget();
    editor->close();
    editor->close(); // closing twice is harmless
    editor->idle();  // and so is an idle while closed
    delete effect;
}

TEST(GuiEditor, DestroyedInTheMiddleOfADragTheHostStillHearsTheEnd)
{
    auto* effect = new Effect;
    auto* editor = new Editor;
    new Vst2EditorAdapter(effect, editor); // owned by the effect, it owns the editor
    editor->open(nullptr);
    editor->knobs[0]->setVisible(true);
    hostCalls.clear();
    offscreen(editor->getFrame())
        ->postEvent(OffscreenFrame::EventType::down, CPoint(20, 20), kLButton);
    editor->idle();
    ASSERT_EQ(hostCalls.size(), 1u);
    delete effect; // the host removes the plug-in while the button is still held
    const std::vector<std::pair<VstInt32, VstInt32>> expected{{audioMasterBeginEdit, 0},
                                                              {audioMasterEndEdit, 0}};
    EXPECT_EQ(hostCalls, expected);
}
