#include "host/instance.h"

#include "host/render.h"
#include "host/vst2_instance.h"
#include "host/vst3_plugin.h"
#if MORVEK2_HOST_LV2
#include "host/lv2_plugin.h"
#endif
#if MORVEK2_HOST_CLAP
#include "host/clap_plugin.h"
#endif

#include <filesystem>
#include <system_error>

namespace morvek2::host {

void Vst2Instance::sendMidi(MidiEventList& events)
{
    plugin_->sendEvents(events.events());
}

std::unique_ptr<Instance> loadInstance(const std::string& path, std::string& error,
                                       HostConfig config, const std::string& lv2Uri)
{
    std::error_code ec;
    const std::filesystem::path p(path);
    if (p.extension() == ".vst3" ||
        (p.filename().empty() && p.parent_path().extension() == ".vst3")) { // "Name.vst3/"
        return Vst3Plugin::load(path, error);
    }
    const bool bundle =
        std::filesystem::is_directory(p, ec) || p.extension() == ".lv2" ||
        (p.filename().empty() && p.parent_path().extension() == ".lv2"); // "Name.lv2/"
    if (!bundle && p.extension() == ".clap") {
#if MORVEK2_HOST_CLAP
        return ClapPlugin::load(path, error);
#else
        error = "cannot load '" + path +
                "': this build has no CLAP support (it needs the CLAP "
                "headers)";
        return nullptr;
#endif
    }
    if (!bundle) {
        std::unique_ptr<Plugin> plugin = Plugin::load(path, error, std::move(config));
        if (!plugin) {
            return nullptr;
        }
        return std::make_unique<Vst2Instance>(std::move(plugin));
    }
#if MORVEK2_HOST_LV2
    return Lv2Plugin::load(path, error, lv2Uri);
#else
    (void)lv2Uri;
    error = "cannot load '" + path + "': this build has no LV2 support (it needs lilv)";
    return nullptr;
#endif
}

} // namespace morvek2::host
