// The editor object the plug-in owns: made at construction, and every change the window must show
// passed on to it.
#include "editor/Morvek2Editor.h"
#include "plugin/Morvek2.h"

// ---- Morvek2: the editor it owns
// --------------------------------------------------------------------

void Morvek2::createEditor() // [ui]
{
    // The editor registers itself with the plug-in (AudioEffect owns it from then on and
    // announces it to the host); the window exists only between the host's open and close.
    guiEditor = new Morvek2Editor(this, editorLink);
}

void Morvek2::editorParameterChanged(int index) // [any]
{
    if (guiEditor) {
        guiEditor->setParameter(index, params->getValue(index));
    }
}

void Morvek2::editorProgramChanged() // [any]
{
    if (guiEditor) {
        guiEditor->selectModule(seq::load(currentRecord().editorPage));
        guiEditor->refreshModule();
    }
}

void Morvek2::editorLaneChanged() // [any]
{
    if (guiEditor) {
        guiEditor->refreshModule();
    }
}

void Morvek2::editorOrderChanged(const std::uint16_t (&order)[kNumModules]) // [any]
{
    if (guiEditor) {
        guiEditor->applyModuleOrder(order);
    }
}

void Morvek2::editorLearnMark(int index, bool on) // [any]
{
    if (guiEditor) {
        guiEditor->outlineTag(index, on);
    }
}
