#include "vst2/Vst2EditorAdapter.h"

#include "vst/AudioEffectX.h"

Vst2EditorAdapter::Vst2EditorAdapter(AudioEffect* effect_, GUIEditor* editor_)
    : AEffEditor(effect_), editor(editor_)
{
    if (editor) {
        editor->setFace(this);
    }
}

Vst2EditorAdapter::~Vst2EditorAdapter()
{
    // The editor goes first: an edit still in progress ends through this face, so the host
    // hears the end of every begin.
    delete editor;
    editor = nullptr;
}

bool Vst2EditorAdapter::getRect(ERect** rect)
{
    if (!rect) {
        return false;
    }
    if (!editor) {
        return AEffEditor::getRect(rect);
    }
    int32_t width = 0;
    int32_t height = 0;
    editor->getWindowSize(width, height);
    scaledRect = ERect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    *rect = &scaledRect;
    return true;
}

bool Vst2EditorAdapter::open(void* parentWindow)
{
    AEffEditor::open(parentWindow);
    return editor && editor->open(parentWindow);
}

void Vst2EditorAdapter::close()
{
    if (editor) {
        editor->close();
    }
    AEffEditor::close();
}

bool Vst2EditorAdapter::isOpen() const
{
    return editor ? editor->isOpen() : AEffEditor::isOpen();
}

void Vst2EditorAdapter::idle()
{
    if (editor) {
        editor->idle();
    }
}

void Vst2EditorAdapter::editorParameterAutomated(int32_t index, float normalised)
{
    if (effect) {
        effect->setParameterAutomated(index, normalised);
    }
}

void Vst2EditorAdapter::editorBeginEdit(int32_t index)
{
    if (effect) {
        effect->beginEdit(index);
    }
}

void Vst2EditorAdapter::editorEndEdit(int32_t index)
{
    if (effect) {
        effect->endEdit(index);
    }
}

void Vst2EditorAdapter::editorProgramChanged(int32_t /*program*/)
{
    if (auto* effectX = dynamic_cast<AudioEffectX*>(effect)) {
        effectX->updateDisplay();
    }
}

bool Vst2EditorAdapter::editorCanResize()
{
    auto* effectX = dynamic_cast<AudioEffectX*>(effect);
    return effectX && effectX->canHostDo("sizeWindow") != -1;
}

bool Vst2EditorAdapter::editorResize(int32_t width, int32_t height)
{
    auto* effectX = dynamic_cast<AudioEffectX*>(effect);
    return effectX && effectX->sizeWindow(width, height);
}
