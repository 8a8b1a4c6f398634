#include "tools/morvek2/session.h"

#if MORVEK2_HOST_LV2
#include "host/lv2_plugin.h"
#endif
#include "params/Morvek2ParameterManager.h"
#include "tools/morvek2/errors.h"
#include "tools/morvek2/names.h"
#include "tools/morvek2/param_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace morvek2::cli {

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& s)
{
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) {
        return "";
    }
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::optional<long> wholeNumber(const std::string& text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno != 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string Session::defaultModulePath()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return "Morvek2.so";
    }
    // Built: lib/ beside bin/. Installed (cmake --install, the package): lib/vst/ beside bin/.
    const fs::path lib = self.parent_path().parent_path() / "lib";
    const fs::path built = lib / "Morvek2.so";
    const fs::path installed = lib / "vst" / "Morvek2.so";
    if (!fs::exists(built, ec) && fs::exists(installed, ec)) {
        return installed.string();
    }
    return built.string();
}

Session::Session(const std::string& modulePath) : path_(modulePath)
{
    std::string error;
    host::HostConfig config;
    // The renderer's transport is the only time information the plug-in sees.
    config.product = "morvek2 command line";
    plugin_ = host::loadInstance(path_, error, config);
    if (!plugin_) {
        fail(Exit::Module, "cannot use module: " + error);
    }
#if MORVEK2_HOST_LV2
    if (auto* lv2 = dynamic_cast<host::Lv2Plugin*>(plugin_.get()); lv2 && isMorvek2()) {
        lv2->setProgramKey(kMorvek2ProgramKey);
        portTable_ = std::make_shared<Morvek2ParameterManager>();
        portMapping_ = std::make_shared<morvek2::PortMapping>(*portTable_);
        host::Lv2ValueMapping mapping;
        mapping.toPlain = [map = portMapping_, table = portTable_](int32_t index,
                                                                   float normalised) {
            return map->toPlain(index, normalised);
        };
        mapping.toNormalised = [map = portMapping_, table = portTable_](int32_t index,
                                                                        float plain) {
            return map->toNormalised(index, plain);
        };
        lv2->setValueMapping(std::move(mapping));
    }
#endif
    if (plugin_->isInstrument()) {
        fail(Exit::Module, "'" + path_ + "' is an instrument, not an audio effect");
    }
    if (plugin_->numInputs() < 1 || plugin_->numOutputs() < 1) {
        fail(Exit::Module, "'" + path_ + "' has " + std::to_string(plugin_->numInputs()) +
                               " inputs and " + std::to_string(plugin_->numOutputs()) +
                               " outputs; an audio effect needs at least one of each");
    }
    if (isMorvek2()) {
        // Our own module shows the host 8-character names; its full names come from the same
        // parameter table it is built from.
        Morvek2ParameterManager table;
        if (table.getCount() == plugin_->numParams()) {
            for (int i = 0; i < plugin_->numParams(); ++i) {
                longNames_.push_back(table.getLongName(i));
            }
        }
    }
}

bool Session::isMorvek2() const
{
    const std::string uri = plugin_->uri();
    return plugin_->uniqueId() == kMorvek2Id || uri == kMorvek2Uri || uri == kMorvek2ClapId ||
           uri == kMorvek2Vst3ClassId;
}

std::int32_t Session::pluginId() const
{
    return plugin_->uniqueId() == 0 && isMorvek2() ? kMorvek2Id : plugin_->uniqueId();
}

void Session::start(double sampleRate, int maxBlock)
{
    try {
        plugin_->start(static_cast<float>(sampleRate), maxBlock);
    } catch (const std::runtime_error& e) {
        fail(Exit::Module, e.what());
    }
}

std::vector<std::string> Session::programNames()
{
    std::vector<std::string> names;
    const int count = plugin_->numPrograms();
    const int current = plugin_->program();
    for (int i = 0; i < count; ++i) {
        if (std::optional<std::string> name = plugin_->programNameIndexed(i)) {
            names.push_back(*name);
            continue;
        }
        // A plug-in without effGetProgramNameIndexed: switch to the program to ask its name.
        plugin_->setProgram(i);
        names.push_back(plugin_->programName());
    }
    if (count > 0 && plugin_->program() != current) {
        plugin_->setProgram(current);
    }
    return names;
}

int Session::findProgram(const std::string& text)
{
    const int count = plugin_->numPrograms();
    if (count <= 0) {
        fail(Exit::Usage, "'" + path_ + "' has no programs to select");
    }
    if (const std::optional<long> index = wholeNumber(text)) {
        if (*index < 0 || *index >= count) {
            fail(Exit::Usage,
                 "program " + text + " is out of range (0.." + std::to_string(count - 1) + ")");
        }
        return static_cast<int>(*index);
    }
    const std::vector<std::string> names = programNames();
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            const bool same = pass == 0 ? names[i] == text : nameKey(names[i]) == nameKey(text);
            if (same) {
                return i;
            }
        }
    }
    // A name without its number ("Full Of Techno") is enough when only one program has it.
    std::vector<int> containing;
    const std::string key = nameKey(text);
    for (int i = 0; i < static_cast<int>(names.size()) && key.size() >= 3; ++i) {
        if (nameKey(names[i]).find(key) != std::string::npos) {
            containing.push_back(i);
        }
    }
    if (containing.size() == 1) {
        return containing.front();
    }
    fail(Exit::Usage, "no program named '" + text + "'" + suggestionText(text, names));
}

std::vector<ParamInfo> Session::parameters()
{
    std::vector<ParamInfo> list;
    for (int i = 0; i < plugin_->numParams(); ++i) {
        ParamInfo info;
        info.index = i;
        info.name = plugin_->parameterName(i);
        if (i < static_cast<int>(longNames_.size())) {
            info.longName = longNames_[i];
        }
        info.label = plugin_->parameterLabel(i);
        info.display = plugin_->parameterDisplay(i);
        info.value = plugin_->getParameter(i);
        list.push_back(std::move(info));
    }
    return list;
}

int Session::findParameter(const std::string& name)
{
    const int count = plugin_->numParams();
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(plugin_->parameterName(i));
    }
    // Exact spellings first, then the forgiving key; long names before short ones, since a
    // short name may equal another parameter's long name.
    for (int pass = 0; pass < 2; ++pass) {
        auto same = [&](const std::string& candidate) {
            return pass == 0 ? candidate == name : nameKey(candidate) == nameKey(name);
        };
        for (int i = 0; i < static_cast<int>(longNames_.size()); ++i) {
            if (same(longNames_[i])) {
                return i;
            }
        }
        for (int i = 0; i < count; ++i) {
            if (same(names[i])) {
                return i;
            }
        }
    }
    if (const std::optional<long> index = wholeNumber(name)) {
        if (*index >= 0 && *index < count) {
            return static_cast<int>(*index);
        }
        fail(Exit::Usage,
             "parameter index " + name + " is out of range (0.." + std::to_string(count - 1) + ")");
    }
    std::vector<std::string> all = longNames_;
    all.insert(all.end(), names.begin(), names.end());
    fail(Exit::Usage, "no parameter named '" + name + "'" + suggestionText(name, all));
}

std::string Session::parameterTitle(int index)
{
    if (index < static_cast<int>(longNames_.size())) {
        return longNames_[static_cast<std::size_t>(index)];
    }
    return plugin_->parameterName(index);
}

float Session::resolveValue(int index, const std::string& text)
{
    // Our module's Length parameters pull lane positions back, which only its chunk restores.
    return resolveParameterValue(*plugin_, index, text, parameterTitle(index), isMorvek2());
}

void Session::applySetting(const ParamSetting& setting)
{
    const int index = findParameter(setting.name);
    const float sent = resolveValue(index, setting.value);
    plugin_->setParameter(index, sent);
    // The module may keep another value than the one sent (a snap to a centre, whole steps),
    // and a typed number may lie beyond what the parameter can show: say what plays instead.
    const float kept = plugin_->getParameter(index);
    const std::string shown = trimmed(plugin_->parameterDisplay(index));
    const std::string label = trimmed(plugin_->parameterLabel(index));
    const std::string playsAs = "'" + shown + (label.empty() ? "" : " " + label) + "'";
    if (kept != sent && std::fabs(static_cast<double>(kept) - static_cast<double>(sent)) > 1e-6) {
        std::fprintf(stderr, "morvek2: note: '%s=%s' was snapped by the module to %s (%g)\n",
                     setting.name.c_str(), setting.value.c_str(), playsAs.c_str(),
                     static_cast<double>(kept));
        return;
    }
    const auto typed = parseLeadingNumber(setting.value);
    const auto displayed = parseLeadingNumber(shown);
    if (!typed || !displayed ||
        (typed->rest.empty() && typed->value >= 0.0 && typed->value <= 1.0)) {
        return;
    }
    // Displays are rounded: a difference within the last shown digit is no limit.
    const auto dot = shown.find('.');
    double digit = 1.0;
    if (dot != std::string::npos) {
        std::size_t end = dot + 1;
        while (end < shown.size() && std::isdigit(static_cast<unsigned char>(shown[end]))) {
            ++end;
        }
        digit = std::pow(10.0, -static_cast<double>(end - dot - 1));
    }
    if (shown.find('k') != std::string::npos) {
        digit *= 1000.0;
    }
    if (std::fabs(typed->value - displayed->value) > 0.5 * digit + 1e-9 * std::fabs(typed->value)) {
        std::fprintf(
            stderr,
            "morvek2: note: '%s=%s' was limited: the nearest setting the module plays is %s\n",
            setting.name.c_str(), setting.value.c_str(), playsAs.c_str());
    }
}

} // namespace morvek2::cli
