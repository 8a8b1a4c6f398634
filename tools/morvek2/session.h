// One loaded module as the command line uses it: loading by path, identity checks, programs and
// parameters by name, and the values a --set may give.
#pragma once

#include "host/instance.h"
#include "params/Morvek2ParameterManager.h"
#include "params/PortMapping.h"
#include "tools/morvek2/args.h"

#include <memory>
#include <string>
#include <vector>

namespace morvek2::cli {

// The unique identifier of our own module, the URI of its LV2 plug-in and of the state property
// that holds its program (the bytes of the VST 2.4 program chunk), its CLAP id and its VST3 class
// ID: whichever format it comes in, it is Morvek2 and its programs are the same bytes.
inline constexpr std::int32_t kMorvek2Id = 0x5A4B6D32; // 'ZKm2'
inline constexpr const char* kMorvek2Uri = "urn:zendrik:morvek2";
inline constexpr const char* kMorvek2ProgramKey = "urn:zendrik:morvek2#program";
inline constexpr const char* kMorvek2ClapId = "com.zendrik.morvek2";
inline constexpr const char* kMorvek2Vst3ClassId = "6D3A91C42B7E4F08A15C93D27E40B1F6";

struct ParamInfo
{
    int index = 0;
    std::string name;     // what the host sees (effGetParamName)
    std::string longName; // Morvek2 only: the full name ("Filter Freq"); else empty
    std::string label;
    std::string display;
    float value = 0.0f;
};

class Session
{
public:
    // The Morvek2 module beside this program: ../lib/Morvek2.so from its folder as built, or
    // ../lib/vst/Morvek2.so as installed.
    static std::string defaultModulePath();

    // Loads the module (a VST 2.4 module file or an LV2 bundle folder) and creates its plug-in;
    // throws Error(Exit::Module) when the path is missing, is neither, gives no plug-in or is
    // not an audio effect.
    explicit Session(const std::string& modulePath);

    host::Instance& plugin() { return *plugin_; }
    const std::string& modulePath() const { return path_; }
    bool isMorvek2() const;
    // The ID preset files carry: the VST 2.4 unique ID, and for Morvek2 through LV2 the same as
    // through VST 2.4 since its program chunk is the same.
    std::int32_t pluginId() const;

    // open, sample rate, block size, resume.
    void start(double sampleRate, int maxBlock);

    std::vector<std::string> programNames();
    // A program by index (from 0) or by name; throws Error(Exit::Usage) with suggestions.
    int findProgram(const std::string& text);

    std::vector<ParamInfo> parameters();
    // A parameter by its name (short or, for Morvek2, long; blanks and case do not matter) or
    // index; throws Error(Exit::Usage) with the closest names.
    int findParameter(const std::string& name);
    // The normalised value a --set VALUE stands for; throws Error(Exit::Usage).
    float resolveValue(int index, const std::string& text);
    void applySetting(const ParamSetting& setting);

private:
    std::string parameterTitle(int index);

    std::string path_;
    // Our LV2 bundle's control ports hold plain values: the mapping turns them into the
    // normalised values the commands speak, to the bit, from the table the bundle is built from.
    std::shared_ptr<Morvek2ParameterManager> portTable_;
    std::shared_ptr<morvek2::PortMapping> portMapping_;
    std::unique_ptr<host::Instance> plugin_;
    std::vector<std::string> longNames_;
};

} // namespace morvek2::cli
