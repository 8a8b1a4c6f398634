// A build without the editor window (MORVEK2_BUILD_EDITOR=OFF): no editor is ever attached, so
// there is nothing to tell of changes.
#include "plugin/Morvek2Core.h"

void Morvek2Core::attachEditor(Morvek2Editor*) {}                             // [ui]
void Morvek2Core::detachEditor() {}                                           // [ui]
void Morvek2Core::editorParameterChanged(int) {}                              // [any]
void Morvek2Core::editorProgramChanged() {}                                   // [any]
void Morvek2Core::editorLaneChanged() {}                                      // [any]
void Morvek2Core::editorOrderChanged(const std::uint16_t (&)[kNumModules]) {} // [any]
void Morvek2Core::editorLearnMark(int, bool) {}                               // [any]
