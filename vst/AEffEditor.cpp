#include "vst/AEffEditor.h"

#include "vst/AudioEffect.h"

// An editor registers itself with its plug-in, which from then on owns it and announces it to the
// host through effFlagsHasEditor.
AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect)
{
    if (effect) {
        effect->setEditor(this);
    }
}

AEffEditor::~AEffEditor()
{
    if (effect) {
        effect->editorDestroyed(this);
    }
}

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
