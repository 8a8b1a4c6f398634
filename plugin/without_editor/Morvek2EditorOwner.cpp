// A build without the editor window (MORVEK2_BUILD_EDITOR=OFF): the plug-in owns no editor, so
// it does not announce one to the host, and there is nothing to tell of changes.
#include "plugin/Morvek2.h"

void Morvek2::createEditor() {}                                           // [ui]
void Morvek2::attachEditor(Morvek2Editor*) {}                             // [ui]
void Morvek2::detachEditor() {}                                           // [ui]
void Morvek2::editorParameterChanged(int) {}                              // [any]
void Morvek2::editorProgramChanged() {}                                   // [any]
void Morvek2::editorLaneChanged() {}                                      // [any]
void Morvek2::editorOrderChanged(const std::uint16_t (&)[kNumModules]) {} // [any]
void Morvek2::editorLearnMark(int, bool) {}                               // [any]
