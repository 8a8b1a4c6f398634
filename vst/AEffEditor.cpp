#include "vst/AEffEditor.h"

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect) {}

AEffEditor::~AEffEditor() = default;

bool AEffEditor::getRect(ERect** rect)
{
    if (rect) {
        *rect = nullptr;
    }
    return false;
}

bool AEffEditor::open(void* parentWindow)
{
    systemWindow = parentWindow;
    opened = true;
    return true;
}

void AEffEditor::close()
{
    systemWindow = nullptr;
    opened = false;
}

bool AEffEditor::isOpen() const
{
    return opened;
}

void AEffEditor::idle() {}

AudioEffect* AEffEditor::getEffect() const
{
    return effect;
}
