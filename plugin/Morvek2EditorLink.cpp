// The plug-in's side of the editor window: what the editor asks of the plug-in, answered from the
// core. The editor attached to the core is told of changes in Morvek2EditorOwner.cpp.
#include "plugin/Morvek2EditorLink.h"

#include "plugin/Morvek2Core.h"

#include <optional>

// ---- The editor's questions
// -------------------------------------------------------------------------

float Morvek2EditorLink::getParameter(int index) // [any]
{
    return plugin.getParameter(index);
}

// The window's text fields are laid out for the short texts hosts have always been given.
constexpr int kEditorTextLength = 8;

void Morvek2EditorLink::getParameterDisplay(int index, char* text) // [ui]
{
    plugin.getParameterDisplay(index, text, kEditorTextLength);
}

void Morvek2EditorLink::getParameterLabel(int index, char* text) // [ui]
{
    plugin.getParameterLabel(index, text, kEditorTextLength);
}

float Morvek2EditorLink::getWorkingValue(int index) // [any]
{
    return plugin.getParameterManager().getWorkingValue(index);
}

std::vector<std::string> Morvek2EditorLink::getValueList(int index) // [ui]
{
    return plugin.getParameterManager().getValueList(index);
}

int Morvek2EditorLink::getProgramCount() // [any]
{
    return Morvek2Core::kNumPrograms;
}

int Morvek2EditorLink::getCurrentProgram() // [any]
{
    return plugin.getProgram();
}

static_assert(Morvek2EditorHost::kProgramNameLength >= Morvek2Core::kProgramNameOut);

bool Morvek2EditorLink::getProgramName(int index, char* text) // [ui]
{
    return plugin.getProgramNameIndexed(index, text);
}

void Morvek2EditorLink::selectProgram(int index) // [ui]
{
    // The core's own program switch (virtual: a face that keeps the host's idea of the current
    // program sees it), exactly as a host's program change.
    plugin.setProgram(index);
}

unsigned Morvek2EditorLink::getProgramsApplied() // [any]
{
    return plugin.getProgramsApplied();
}

void Morvek2EditorLink::laneSnapshot(int module, SeqLane& into) // [ui]
{
    plugin.laneSnapshot(module, into);
}

int Morvek2EditorLink::lanePosition(int module) // [ui]
{
    return seq::load(plugin.getLane(module).position);
}

bool Morvek2EditorLink::takeStepMoved() // [ui]
{
    return plugin.stepMoved.exchange(0, std::memory_order_relaxed) != 0;
}

bool Morvek2EditorLink::lanesRandomised() // [ui]
{
    return plugin.lanesRandomised.load(std::memory_order_relaxed) != 0;
}

void Morvek2EditorLink::getChainOrder(std::uint16_t (&order)[kNumModules]) // [ui]
{
    for (int i = 0; i < kNumModules; ++i) {
        order[i] = static_cast<std::uint16_t>(plugin.getChainSlot(i));
    }
}

bool Morvek2EditorLink::setChainOrder(const std::uint16_t (&order)[kNumModules]) // [ui]
{
    return plugin.setChainOrder(order);
}

int Morvek2EditorLink::getEditorPage() // [ui]
{
    return seq::load(plugin.currentRecord().editorPage);
}

void Morvek2EditorLink::setEditorPage(int module) // [ui]
{
    plugin.setEditorPage(module);
}

void Morvek2EditorLink::runLaneCommand(int tag, int module) // [ui]
{
    if (const std::optional<seq::LaneCommand> command = seq::laneCommandForTag(tag)) {
        plugin.runLaneCommand(module, *command);
    }
}

void Morvek2EditorLink::setStepValue(int module, int step, float value) // [ui]
{
    plugin.setStepValue(module, step, value);
}

void Morvek2EditorLink::setStepGate(int module, int step, bool on) // [ui]
{
    plugin.setStepGate(module, step, on);
}

void Morvek2EditorLink::setStepValueLock(int module, int step, bool on) // [ui]
{
    plugin.setStepValueLock(module, step, on);
}

void Morvek2EditorLink::setStepGateLock(int module, int step, bool on) // [ui]
{
    plugin.setStepGateLock(module, step, on);
}

void Morvek2EditorLink::midiLearnToggle(int parameter) // [ui]
{
    plugin.midiLearnToggle(parameter);
}

int Morvek2EditorLink::getMarkedParameter() // [any]
{
    return plugin.getMarkedParameter();
}

void Morvek2EditorLink::editorOpened() // [ui]
{
    // While the window idles, a controller learned on the audio thread is written from here.
    plugin.setMidiAssignmentsDeferred(true);
}

void Morvek2EditorLink::editorClosed() // [ui]
{
    plugin.setMidiAssignmentsDeferred(false);
}

void Morvek2EditorLink::editorIdle() // [ui]
{
    plugin.saveMidiAssignmentsIfChanged();
}
