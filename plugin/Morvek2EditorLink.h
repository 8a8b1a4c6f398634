// The plug-in's side of its editor window: what the editor asks of the plug-in (lanes, chain
// order, editor page, lane commands, MIDI learn, the loop's flags) answered from the core.
#pragma once

#include "editor/Morvek2EditorHost.h"

class Morvek2Core;

class Morvek2EditorLink final : public Morvek2EditorHost
{
public:
    explicit Morvek2EditorLink(Morvek2Core& plugin) : plugin(plugin) {}

    float getParameter(int index) override;                                 // [any]
    void getParameterDisplay(int index, char* text) override;               // [ui]
    void getParameterLabel(int index, char* text) override;                 // [ui]
    float getWorkingValue(int index) override;                              // [any]
    std::vector<std::string> getValueList(int index) override;              // [ui]
    int getProgramCount() override;                                         // [any]
    int getCurrentProgram() override;                                       // [any]
    bool getProgramName(int index, char* text) override;                    // [ui]
    void selectProgram(int index) override;                                 // [ui]
    unsigned getProgramsApplied() override;                                 // [any]
    void laneSnapshot(int module, SeqLane& into) override;                  // [ui]
    int lanePosition(int module) override;                                  // [ui]
    bool takeStepMoved() override;                                          // [ui]
    bool lanesRandomised() override;                                        // [ui]
    void getChainOrder(std::uint16_t (&order)[kNumModules]) override;       // [ui]
    bool setChainOrder(const std::uint16_t (&order)[kNumModules]) override; // [ui]
    int getEditorPage() override;                                           // [ui]
    void setEditorPage(int module) override;                                // [ui]
    void runLaneCommand(int tag, int module) override;                      // [ui]
    void setStepValue(int module, int step, float value) override;          // [ui]
    void setStepGate(int module, int step, bool on) override;               // [ui]
    void setStepValueLock(int module, int step, bool on) override;          // [ui]
    void setStepGateLock(int module, int step, bool on) override;           // [ui]
    void midiLearnToggle(int parameter) override;                           // [ui]
    int getMarkedParameter() override;                                      // [any]
    void editorOpened() override;                                           // [ui]
    void editorClosed() override;                                           // [ui]
    void editorIdle() override;                                             // [ui]

private:
    Morvek2Core& plugin;
};
