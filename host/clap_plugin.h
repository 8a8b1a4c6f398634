// Loading a CLAP plug-in from its .clap file and driving one instance of it.
#pragma once

#include "host/instance.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvek2::host {

// The file's first plug-in (or the one whose id is `id`). Parameters are the plug-in's in
// params order, their normalised values mapped linearly onto each parameter's range (stepped
// ones snap to the nearest step). Each block carries the transport as a CLAP host gives it:
// positions in fixed point, from the simulated timeline. Parameter values and MIDI sent between
// blocks arrive as events at their frames of the next block. Programs: CLAP has no program
// list; a plug-in that offers its factory programs through the program factory of
// clap/Morvek2ClapPrograms.h has them listed here, and selecting one loads its bytes through
// clap.state (0 programs otherwise). The program chunk is the plug-in's saved state; there is
// no bank.
//
// The host offers params (request_flush is remembered), thread-check (the main thread is the one
// that loaded the plug-in, the audio thread the one inside process), timer-support (timers fire
// at each editorIdle) and request_callback (on_main_thread at the next editorIdle). Parameter
// events the plug-in sends out (gestures and values) are kept for the caller.
class ClapPlugin final : public Instance
{
public:
    static std::unique_ptr<ClapPlugin> load(const std::string& path, std::string& error,
                                            const std::string& id = {});
    ~ClapPlugin() override;

    Format format() const override { return Format::Clap; }
    const std::string& path() const override;
    int32_t uniqueId() const override { return 0; }
    // The plug-in's CLAP id.
    std::string uri() const override;
    int32_t version() const override { return 0; }

    int32_t numInputs() const override;
    int32_t numOutputs() const override;
    int32_t numParams() const override;
    int32_t numPrograms() const override;
    bool isInstrument() const override;
    bool programChunks() const override;

    std::string effectName() override;
    std::string productString() override;

    // Activates (again, for another rate or a larger block) and starts processing.
    void start(float sampleRate, int32_t maxBlock) override;
    int32_t blockSize() const override;
    Transport& transport() override;

    float getParameter(int32_t index) override;
    void setParameter(int32_t index, float normalised) override;
    // A value event at `frame` of the next block, on the plug-in's own (plain) scale.
    void setPlainValueAt(int32_t index, double plain, uint32_t frame);
    std::string parameterName(int32_t index) override;
    std::string parameterLabel(int32_t) override { return {}; }
    // The plug-in's value_to_text of the current value.
    std::string parameterDisplay(int32_t index) override;
    // value_to_text and text_to_value on the plug-in's own (plain) values.
    std::string valueText(int32_t index, double plain);
    bool textValue(int32_t index, const std::string& text, double& plain);
    // Whether the parameter takes whole steps only.
    bool stepped(int32_t index) const;
    // The plain value as the plug-in reports it.
    double plainValue(int32_t index);

    // The program selected last (0 before any); a selection out of range is ignored, like one
    // the plug-in's state refuses.
    int32_t program() override;
    void setProgram(int32_t index) override;
    std::string programName() override;
    void setProgramName(const std::string&) override {}
    std::optional<std::string> programNameIndexed(int32_t index) override;
    std::vector<uint8_t> getChunk(bool program) override;
    intptr_t setChunk(bool program, std::span<const uint8_t> data) override;

    // ---- Parameter events from the plug-in (its editor's gestures and values, its own changes)
    struct ParamOutput
    {
        enum class Kind { Begin, Value, End };
        Kind kind;
        int32_t index;
        double value; // plain; 0 for gestures
    };
    // What the plug-in sent since the last call (up to 4096 events; more are dropped).
    std::vector<ParamOutput> takeParamOutput();
    // Whether the plug-in asked for a flush since the last call.
    bool takeFlushRequest();
    // What the plug-in asked the host to re-read (clap_param_rescan_flags), and whether it
    // marked its state dirty, since the last call.
    uint32_t takeRescanFlags();
    bool takeStateDirty();
    // params.flush with what is queued, as a host does while not processing.
    void flush();

    // ---- Editor, through the gui extension (x11 on Linux, win32 on Windows)
    // Whether the host offers timer-support; asked when the editor is created.
    void offerTimers(bool offer);
    // Creates the editor (at `scale` when positive), embeds it in `parent` and shows it.
    bool editorOpen(void* parent, double scale = 0.0);
    std::optional<std::pair<uint32_t, uint32_t>> editorSize();
    // The size get_size gave at the last editorOpen before set_parent (0 x 0 if it failed): the
    // size a host gives its own window.
    std::pair<uint32_t, uint32_t> editorAnnouncedSize() const;
    // Fires the plug-in's timers and the main-thread callback it asked for.
    void editorIdle();
    void editorClose();
    // The plug-in's reset: processing starts over, parameters and state kept. [audio]
    void reset();

    void sendMidi(MidiEventList& events) override;
    void process(float* const* inputs, float* const* outputs, int32_t frames) override;

    struct Impl;

private:
    explicit ClapPlugin(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace morvek2::host
