// The VST 2.4 face of an editor window: an AEffEditor the plug-in owns, forwarding the host's
// effEdit* requests to a format-neutral GUIEditor it owns, and turning the editor's edits,
// gestures and size requests into host calls.
#pragma once

#include "gui/GUIEditor.h"
#include "vst/AEffEditor.h"

class Vst2EditorAdapter final : public AEffEditor, public GUIEditorFace
{
public:
    // Registers with `effect` (which owns the adapter from then on) and takes `editor`.
    Vst2EditorAdapter(AudioEffect* effect, GUIEditor* editor); // [ui]
    ~Vst2EditorAdapter() override;                             // [ui]
    Vst2EditorAdapter(const Vst2EditorAdapter&) = delete;
    Vst2EditorAdapter& operator=(const Vst2EditorAdapter&) = delete;

    // Points the host at the window's size in its own pixels (layout size times the screen's
    // scale); the rectangle lives as long as the adapter.
    bool getRect(ERect** rect) override;    // [ui]
    bool open(void* parentWindow) override; // [ui]
    void close() override;                  // [ui]
    bool isOpen() const override;           // [any]
    void idle() override;                   // [ui]

    GUIEditor* getGuiEditor() const { return editor; }

    // The editor's side: edits reach the host as automation and begin/end edits (which the host
    // hears only for valid parameter indices), size requests as audioMasterSizeWindow unless the
    // host says it cannot.
    void editorParameterAutomated(int32_t index, float normalised) override; // [ui]
    void editorBeginEdit(int32_t index) override;                            // [ui]
    void editorEndEdit(int32_t index) override;                              // [ui]
    // A program chosen in the window: the host reads the program and the values again.
    void editorProgramChanged(int32_t program) override;       // [ui]
    bool editorCanResize() override;                           // [ui]
    bool editorResize(int32_t width, int32_t height) override; // [ui]

private:
    GUIEditor* editor;
    ERect scaledRect{};
};
