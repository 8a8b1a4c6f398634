// The VST3 editor view: the plug-in's own editor window behind IPlugView, embedded in the host's
// X11 window (idled by a timer on the host's run loop) or HWND (the window's own timer idles it).
#pragma once

class Morvek2Core;

namespace morvek2::vst3 {

// A new view on `core` with one reference for the caller, or null. `owner` is an interface of
// the object that holds the core: the view keeps a reference on it, so the core outlives the
// view. `handler` is where that object keeps the host's IComponentHandler (null for none); the
// view reads it at every edit, so a handler set later is heard too.
void* createEditorView(Morvek2Core& core, void* owner, void* const* handler); // [ui]

} // namespace morvek2::vst3
