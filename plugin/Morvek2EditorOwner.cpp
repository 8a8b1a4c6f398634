// The editor object the plug-in owns: made at construction, and every change the window must show
// passed on to it.
#include "editor/Morvek2Editor.h"
#include "plugin/Morvek2.h"
#include "vst2/Vst2EditorAdapter.h"

#include <thread>

// ---- Morvek2: the editor it owns
// --------------------------------------------------------------------

void Morvek2::createEditor() // [ui]
{
    // The adapter registers itself with the plug-in (AudioEffect owns it from then on and
    // announces it to the host) and owns the editor; the window exists only between the host's
    // open and close.
    guiEditor = new Morvek2Editor(editorLink);
    new Vst2EditorAdapter(this, guiEditor);
    attachEditor(guiEditor);
}

void Morvek2::attachEditor(Morvek2Editor* editor) // [ui]
{
    detachEditor();
    attachedEditor.store(editor);
}

void Morvek2::detachEditor() // [ui]
{
    attachedEditor.store(nullptr);
    // A report that counted itself in before the store may still hold the old editor: it is a
    // few stores into atomics, so waiting for it is short.
    while (editorReports.load() != 0) {
        std::this_thread::yield();
    }
}

template <class Report> void Morvek2::reportToEditor(Report&& report) // [any]
{
    editorReports.fetch_add(1);
    if (Morvek2Editor* editor = attachedEditor.load()) {
        report(*editor);
    }
    editorReports.fetch_sub(1);
}

void Morvek2::editorParameterChanged(int index) // [any]
{
    reportToEditor([&](Morvek2Editor& e) { e.setParameter(index, params->getValue(index)); });
}

void Morvek2::editorProgramChanged() // [any]
{
    reportToEditor([&](Morvek2Editor& e) {
        e.selectModule(seq::load(currentRecord().editorPage));
        e.refreshModule();
    });
}

void Morvek2::editorLaneChanged() // [any]
{
    reportToEditor([](Morvek2Editor& e) { e.refreshModule(); });
}

void Morvek2::editorOrderChanged(const std::uint16_t (&order)[kNumModules]) // [any]
{
    reportToEditor([&](Morvek2Editor& e) { e.applyModuleOrder(order); });
}

void Morvek2::editorLearnMark(int index, bool on) // [any]
{
    reportToEditor([&](Morvek2Editor& e) { e.outlineTag(index, on); });
}
