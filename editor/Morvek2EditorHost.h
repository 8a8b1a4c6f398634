// What the editor window needs of the plug-in: the parameters' values and texts, the programs,
// the lanes, the chain order, the editor page of the current program, lane commands, MIDI learn and
// the flags the processing loop raises. The plug-in implements it; the editor library stays free of
// the plug-in's own headers and of any plug-in format. Edits go out through the face that hosts the
// window (GUIEditorFace), since how the host hears of them differs per format.
#pragma once

#include "params/Morvek2Params.h"
#include "sequencer/seq_lane.h"

#include <cstdint>
#include <string>
#include <vector>

class Morvek2EditorHost
{
public:
    static constexpr int kNumModules = morvek2::param::kNumModules;

    virtual ~Morvek2EditorHost() = default;

    // Normalised value (0..1) of parameter `index`, and its display text and unit label as the
    // plug-in's host sees them (`text` holds at least 64 bytes).
    virtual float getParameter(int index) = 0;                   // [any]
    virtual void getParameterDisplay(int index, char* text) = 0; // [ui]
    virtual void getParameterLabel(int index, char* text) = 0;   // [ui]
    // Working value of parameter `index` (a step count for Length).
    virtual float getWorkingValue(int index) = 0; // [any]
    // Value names of a list parameter (91) or of the step sizes (200).
    virtual std::vector<std::string> getValueList(int index) = 0; // [ui] allocates

    // The programs: how many, the current one, the name of program `index` as a VST 2.4 host
    // reads it (`text` holds at least kProgramNameLength bytes; false for an index out of range),
    // and switching to a program as such a host does.
    static constexpr int kProgramNameLength = 25;
    virtual int getProgramCount() = 0;                      // [any]
    virtual int getCurrentProgram() = 0;                    // [any]
    virtual bool getProgramName(int index, char* text) = 0; // [ui]
    virtual void selectProgram(int index) = 0;              // [ui]
    // Grows with every program applied (a program change, a state chunk): the names of programs
    // other than the current one can only change with it.
    virtual unsigned getProgramsApplied() = 0; // [any]

    // Copies live lane `module` and clears the lanes-randomised flag.
    virtual void laneSnapshot(int module, SeqLane& into) = 0; // [ui]
    // Position of live lane `module` (0..31).
    virtual int lanePosition(int module) = 0; // [ui]
    // The processing loop's one-byte flags: a lane moved; a reset re-rolled steps.
    virtual bool takeStepMoved() = 0;   // [ui] reads and clears
    virtual bool lanesRandomised() = 0; // [ui]

    // The chain order as six module numbers, and setting it (live and in the current program).
    virtual void getChainOrder(std::uint16_t (&order)[kNumModules]) = 0;       // [ui]
    virtual bool setChainOrder(const std::uint16_t (&order)[kNumModules]) = 0; // [ui]

    // The module page stored in the current program.
    virtual int getEditorPage() = 0;            // [ui]
    virtual void setEditorPage(int module) = 0; // [ui]

    // Lane command by its control tag (204, 205, 208, 209) on a module.
    virtual void runLaneCommand(int tag, int module) = 0; // [ui]
    // Direct step edits into the live lane and the current program's copy.
    virtual void setStepValue(int module, int step, float value) = 0; // [ui]
    virtual void setStepGate(int module, int step, bool on) = 0;      // [ui]
    virtual void setStepValueLock(int module, int step, bool on) = 0; // [ui]
    virtual void setStepGateLock(int module, int step, bool on) = 0;  // [ui]

    // MIDI learn toggle on a parameter, and the parameter being learned now (-1 for none).
    virtual void midiLearnToggle(int parameter) = 0; // [ui]
    virtual int getMarkedParameter() = 0;            // [any]

    // The window opened or closed, and the editor's idle: lets the plug-in move work that must
    // not run on the audio thread (writing the assignments file) to the user-interface thread.
    virtual void editorOpened() {} // [ui]
    virtual void editorClosed() {} // [ui]
    virtual void editorIdle() {}   // [ui]
};
