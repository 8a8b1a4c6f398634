// The editor attached to the core: every change the window must show is passed on to it.
#include "editor/Morvek2Editor.h"
#include "plugin/Morvek2Core.h"

#include <thread>

// Holds the attached editor for one notification; a detach waits until it is let go.
class Morvek2Core::EditorUse
{
public:
    explicit EditorUse(Morvek2Core& core_) : core(core_)
    {
        core.editorUsers.fetch_add(1);
        editor = core.guiEditor.load();
    }
    ~EditorUse() { core.editorUsers.fetch_sub(1); }
    EditorUse(const EditorUse&) = delete;
    EditorUse& operator=(const EditorUse&) = delete;
    Morvek2Editor* get() const { return editor; }

private:
    Morvek2Core& core;
    Morvek2Editor* editor;
};

void Morvek2Core::attachEditor(Morvek2Editor* editor) // [ui]
{
    guiEditor.store(editor);
}

void Morvek2Core::detachEditor() // [ui]
{
    guiEditor.store(nullptr);
    // A notification that counted itself before the pointer was cleared may still hold the
    // editor; one that counts itself later reads null. Notifications are short.
    while (editorUsers.load() != 0) {
        std::this_thread::yield();
    }
}

void Morvek2Core::editorParameterChanged(int index) // [any]
{
    const EditorUse use(*this);
    if (Morvek2Editor* editor = use.get()) {
        editor->setParameter(index, params->getValue(index));
    }
}

void Morvek2Core::editorProgramChanged() // [any]
{
    const EditorUse use(*this);
    if (Morvek2Editor* editor = use.get()) {
        editor->selectModule(seq::load(currentRecord().editorPage));
        editor->refreshModule();
    }
}

void Morvek2Core::editorLaneChanged() // [any]
{
    const EditorUse use(*this);
    if (Morvek2Editor* editor = use.get()) {
        editor->refreshModule();
    }
}

void Morvek2Core::editorOrderChanged(const std::uint16_t (&order)[kNumModules]) // [any]
{
    const EditorUse use(*this);
    if (Morvek2Editor* editor = use.get()) {
        editor->applyModuleOrder(order);
    }
}

void Morvek2Core::editorLearnMark(int index, bool on) // [any]
{
    const EditorUse use(*this);
    if (Morvek2Editor* editor = use.get()) {
        editor->outlineTag(index, on);
    }
}
