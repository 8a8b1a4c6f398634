#include "tools/morvek2/presets.h"

#include "tools/morvek2/errors.h"
#include "tools/morvek2/files.h"

#include <cmath>

namespace morvek2::cli {

namespace {

bool usesChunks(host::Instance& plugin)
{
    return plugin.programChunks();
}

PresetProgram currentValues(host::Instance& plugin)
{
    PresetProgram program;
    program.name = plugin.programName();
    for (int i = 0; i < plugin.numParams(); ++i) {
        program.values.push_back(plugin.getParameter(i));
    }
    return program;
}

void applyValues(host::Instance& plugin, const PresetProgram& program, const std::string& path)
{
    if (static_cast<int>(program.values.size()) > plugin.numParams()) {
        fail(Exit::Preset, "preset '" + path + "' has " + std::to_string(program.values.size()) +
                               " parameter values; the module has only " +
                               std::to_string(plugin.numParams()));
    }
    for (std::size_t i = 0; i < program.values.size(); ++i) {
        const float v = program.values[i];
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f) {
            fail(Exit::Preset, "preset '" + path + "' is damaged: parameter " + std::to_string(i) +
                                   " has the value " + std::to_string(v) + " (not 0..1)");
        }
    }
    for (std::size_t i = 0; i < program.values.size(); ++i) {
        plugin.setParameter(static_cast<int32_t>(i), program.values[i]);
    }
    if (!program.name.empty()) {
        plugin.setProgramName(program.name);
    }
}

} // namespace

void loadPreset(Session& session, const std::string& path, bool bank)
{
    host::Instance& plugin = session.plugin();
    const PresetFile preset = decodePreset(readWholeFile(path, Exit::Preset, "preset"), bank, path);
    if (preset.pluginId != session.pluginId()) {
        fail(Exit::Preset, "preset '" + path + "' is for plug-in " + idText(preset.pluginId) +
                               ", not for this module's " + idText(session.pluginId()));
    }
    if (preset.opaque) {
        if (!usesChunks(plugin)) {
            fail(Exit::Preset,
                 "preset '" + path + "' holds chunk data, but the module keeps no chunks");
        }
        const VstIntPtr accepted = plugin.setChunk(!bank, preset.chunk);
        // Many plug-ins answer 0 whatever happens; our own module answers 1 when it took the
        // data, so for it a 0 is a refusal worth reporting.
        if (accepted == 0 && session.isMorvek2()) {
            fail(Exit::Preset, "module refused the " + std::to_string(preset.chunk.size()) +
                                   "-byte chunk of preset '" + path + "'");
        }
        // A bank file of format 2 says which program was selected when it was saved.
        if (bank && preset.currentProgram >= 0 && preset.currentProgram < plugin.numPrograms()) {
            plugin.setProgram(preset.currentProgram);
        }
        return;
    }
    if (!bank) {
        applyValues(plugin, preset.programs.front(), path);
        return;
    }
    if (plugin.numPrograms() == 0 && preset.programs.size() == 1) {
        applyValues(plugin, preset.programs.front(), path);
        return;
    }
    if (static_cast<int>(preset.programs.size()) > plugin.numPrograms()) {
        fail(Exit::Preset, "bank '" + path + "' has " + std::to_string(preset.programs.size()) +
                               " programs; the module has only " +
                               std::to_string(plugin.numPrograms()));
    }
    for (std::size_t i = 0; i < preset.programs.size(); ++i) {
        plugin.setProgram(static_cast<int32_t>(i));
        applyValues(plugin, preset.programs[i], path);
    }
    if (preset.currentProgram >= 0 && preset.currentProgram < plugin.numPrograms()) {
        plugin.setProgram(preset.currentProgram);
    } else if (!preset.programs.empty()) {
        plugin.setProgram(0);
    }
}

std::vector<std::uint8_t> savePreset(Session& session, bool bank)
{
    host::Instance& plugin = session.plugin();
    PresetFile preset;
    preset.bank = bank;
    preset.pluginId = session.pluginId();
    preset.pluginVersion = plugin.version();
    preset.currentProgram = plugin.program();
    preset.opaque = usesChunks(plugin);
    preset.count = bank ? plugin.numPrograms() : plugin.numParams();
    preset.programName = plugin.programName();
    if (preset.opaque) {
        preset.chunk = plugin.getChunk(!bank);
        if (preset.chunk.empty()) {
            fail(Exit::Failure, "the module gave no chunk to save");
        }
        return encodePreset(preset);
    }
    if (!bank) {
        preset.programs.push_back(currentValues(plugin));
        return encodePreset(preset);
    }
    const int current = plugin.program();
    for (int i = 0; i < plugin.numPrograms(); ++i) {
        plugin.setProgram(i);
        preset.programs.push_back(currentValues(plugin));
    }
    plugin.setProgram(current);
    if (preset.programs.empty()) {
        // A module without programs still has one set of values.
        preset.programs.push_back(currentValues(plugin));
    }
    return encodePreset(preset);
}

} // namespace morvek2::cli
