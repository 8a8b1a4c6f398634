// morvek2_render_check: the same module checked on two platforms or in two formats. `report`
// loads a module with our host (a VST 2.4 module through its entry point, or anything
// host::loadInstance takes: a VST3 bundle, an LV2 bundle, a CLAP file), checks that it is Morvek2
// (93 parameters, 40 programs), renders every factory program at 44.1, 48 and 96 kHz in
// 64-frame, 512-frame and irregular blocks from one fixed input, and writes one line per fact:
// identity, parameter names and display texts, program names and chunk sizes, and a hash of the
// bits of every render; then the module under load (every module working, lanes moving every 1/64
// note, in three chain orders, with every gate closed, and with every lane gliding and modulating
// every module) over the same input followed by a second of silence. `compare` reads two reports
// (say the Linux module's and the Windows module's, or one build's and an earlier build's) and
// names every line, and so every program, that differs; with `sound` only the programs (names,
// chunk sizes) and the renders count: two formats of the module differ in identity and parameter
// names, never in these.
//
// On Windows, `lifecycle` measures the process heaps over 50 load/unload cycles and around the
// first blocks and MIDI events on three fresh threads.
//
//   morvek2_render_check report MODULE OUT
//   morvek2_render_check compare REFERENCE REPORT [sound]
//   morvek2_render_check lifecycle MODULE        (Windows)
#include "host/morvek2_host.h"
#include "host/morvek2_scenes.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <thread>
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace morvek2::host;

namespace {

constexpr int kExpectedParams = 93;
constexpr int kExpectedPrograms = 40;
constexpr float kRates[] = {44100.0f, 48000.0f, 96000.0f};
constexpr double kSeconds = 1.5;

struct BlockScheme
{
    const char* name;
    std::vector<int32_t> sizes;
};

// The input is made from integers only, so it is the same bits wherever it is computed: noise
// from a linear congruential generator under a square wave and a slow ramp.
AudioChannels makeInput(float rate)
{
    const auto frames = static_cast<std::size_t>(rate * kSeconds);
    AudioChannels input(2, std::vector<float>(frames));
    std::uint32_t seed[2] = {12345u, 67890u};
    const auto period = static_cast<std::size_t>(rate) / 110;
    for (int c = 0; c < 2; ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            seed[c] = seed[c] * 1664525u + 1013904223u;
            const float noise =
                static_cast<float>(static_cast<int>(seed[c] >> 16) - 32768) / 131072.0f;
            const float square = (i / (period / 2 + c)) % 2 == 0 ? 0.3f : -0.3f;
            const float ramp = static_cast<float>(i % 4096) / 16384.0f;
            input[c][i] = noise + square + ramp - 0.125f;
        }
    }
    return input;
}

std::uint64_t hashBits(const AudioChannels& audio, bool& finite)
{
    std::uint64_t h = 1469598103934665603ull;
    for (const std::vector<float>& channel : audio) {
        for (float v : channel) {
            finite = finite && std::isfinite(v);
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            for (int b = 0; b < 4; ++b) {
                h = (h ^ ((bits >> (8 * b)) & 0xFFu)) * 1099511628211ull;
            }
        }
    }
    return h;
}

// Printable and on one line, whatever the plug-in answered.
std::string clean(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    return out;
}

std::unique_ptr<Instance> loadModule(const std::string& modulePath, std::string& error)
{
    return loadInstance(modulePath, error);
}

const char* formatName(const Instance& instance)
{
    switch (instance.format()) {
    case Instance::Format::Vst2:
        return "VST2";
    case Instance::Format::Lv2:
        return "LV2";
    case Instance::Format::Vst3:
        return "VST3";
    case Instance::Format::Clap:
        return "CLAP";
    }
    return "?";
}

int report(const std::string& modulePath, const std::string& outPath)
{
    std::string error;
    std::unique_ptr<Instance> probe = loadModule(modulePath, error);
    if (!probe) {
        std::fprintf(stderr, "cannot load %s: %s\n", modulePath.c_str(), error.c_str());
        return 2;
    }
    std::ostringstream out;
    int failures = 0;
    auto fail = [&failures](const std::string& what) {
        std::fprintf(stderr, "check failed: %s\n", what.c_str());
        ++failures;
    };

    // Identity. The editor flag is left out: a build may come without the window.
    if (Plugin* vst2 = probe->vst2()) {
        vst2->open();
        out << "entry\t" << vst2->module().entryName() << '\n';
        out << "name\t" << clean(vst2->effectName()) << '\n';
        out << "vendor\t" << clean(vst2->vendorString()) << '\n';
        out << "product\t" << clean(vst2->productString()) << '\n';
        out << "vendorVersion\t" << vst2->vendorVersion() << '\n';
        out << "uniqueId\t" << vst2->uniqueId() << '\n';
        out << "version\t" << vst2->version() << '\n';
        out << "inputs\t" << vst2->numInputs() << "\noutputs\t" << vst2->numOutputs() << '\n';
        out << "flags\t" << (vst2->flags() & ~effFlagsHasEditor) << '\n';
    } else {
        out << "format\t" << formatName(*probe) << '\n';
        out << "id\t" << clean(probe->uri()) << '\n';
        out << "name\t" << clean(probe->effectName()) << '\n';
        out << "inputs\t" << probe->numInputs() << "\noutputs\t" << probe->numOutputs() << '\n';
    }
    out << "params\t" << probe->numParams() << "\nprograms\t" << probe->numPrograms() << '\n';
    if (probe->effectName() != "Morvek2") {
        fail("effect name is \"" + probe->effectName() + "\"");
    }
    if (probe->numParams() != kExpectedParams) {
        fail("parameter count " + std::to_string(probe->numParams()));
    }
    if (probe->numPrograms() != kExpectedPrograms) {
        fail("program count " + std::to_string(probe->numPrograms()));
    }
    for (int i = 0; i < probe->numParams(); ++i) {
        out << "param." << i << "\t" << clean(probe->parameterName(i)) << " | "
            << clean(probe->parameterLabel(i)) << " | " << clean(probe->parameterDisplay(i))
            << '\n';
    }
    for (int p = 0; p < probe->numPrograms(); ++p) {
        probe->setProgram(p);
        out << "program." << p << "\t" << clean(probe->programName()) << " | "
            << probe->getChunk(true).size() << '\n';
    }
    probe.reset();

    const std::vector<BlockScheme> schemes = {
        {"64", {64}}, {"512", {512}}, {"irregular", hostLikeBlockSizes()}};
    for (float rate : kRates) {
        const AudioChannels input = makeInput(rate);
        for (const BlockScheme& scheme : schemes) {
            for (int p = 0; p < kExpectedPrograms; ++p) {
                std::unique_ptr<Instance> plugin = loadModule(modulePath, error);
                if (!plugin) {
                    fail("instance for program " + std::to_string(p) + ": " + error);
                    continue;
                }
                plugin->transport().setTempo(120.0);
                plugin->transport().setPlaying(true);
                plugin->start(rate, 1024);
                plugin->setProgram(p);
                bool finite = true;
                const std::uint64_t h =
                    hashBits(render(*plugin, input, {.blockSizes = scheme.sizes}), finite);
                char line[128];
                std::snprintf(line, sizeof line, "render.%02d.%d.%s\t%016llx\n", p,
                              static_cast<int>(rate), scheme.name,
                              static_cast<unsigned long long>(h));
                out << line;
                if (!finite) {
                    fail(std::string("non-finite output: ") + line);
                }
            }
        }
    }

    // The module under load, in its first chain order and two others, with every gate closed,
    // and with every lane gliding and modulating, each followed by a second of silence: the input,
    // then nothing, as a song ends.
    struct LoadScene
    {
        const char* name;
        Scene scene;
        std::uint16_t order[6];
    };
    const LoadScene scenes[] = {{"heavy", Scene::Busy, {0, 1, 2, 3, 4, 5}},
                                {"heavy-reversed", Scene::Busy, {5, 4, 3, 2, 1, 0}},
                                {"heavy-shuffled", Scene::Busy, {3, 0, 4, 1, 5, 2}},
                                {"gates-closed", Scene::GatesClosed, {0, 1, 2, 3, 4, 5}},
                                {"gliding", Scene::Gliding, {0, 1, 2, 3, 4, 5}}};
    for (float rate : kRates) {
        AudioChannels input = makeInput(rate);
        for (std::vector<float>& channel : input) {
            channel.resize(channel.size() + static_cast<std::size_t>(rate), 0.0f);
        }
        for (const BlockScheme& scheme : schemes) {
            for (const LoadScene& s : scenes) {
                std::unique_ptr<Instance> plugin = loadModule(modulePath, error);
                if (!plugin) {
                    fail(std::string("instance for ") + s.name + ": " + error);
                    continue;
                }
                plugin->transport().setTempo(128.0);
                plugin->transport().setPlaying(true);
                plugin->start(rate, 1024);
                if (!applyScene(*plugin, s.scene, s.order)) {
                    fail(std::string("scene ") + s.name + " not taken");
                    continue;
                }
                bool finite = true;
                const std::uint64_t h =
                    hashBits(render(*plugin, input, {.blockSizes = scheme.sizes}), finite);
                char line[128];
                std::snprintf(line, sizeof line, "scene.%s.%d.%s\t%016llx\n", s.name,
                              static_cast<int>(rate), scheme.name,
                              static_cast<unsigned long long>(h));
                out << line;
                if (!finite) {
                    fail(std::string("non-finite output: ") + line);
                }
            }
        }
    }

    std::ofstream file(outPath, std::ios::binary);
    file << out.str();
    if (!file.flush()) {
        std::fprintf(stderr, "cannot write %s\n", outPath.c_str());
        return 2;
    }
    return failures == 0 ? 0 : 1;
}

std::map<std::string, std::string> readReport(const std::string& path, bool& ok)
{
    std::map<std::string, std::string> lines;
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            lines[line.substr(0, tab)] = line.substr(tab + 1);
        }
    }
    return lines;
}

bool soundLine(const std::string& key)
{
    return key.rfind("render.", 0) == 0 || key.rfind("scene.", 0) == 0 ||
           key.rfind("program.", 0) == 0;
}

int compare(const std::string& referencePath, const std::string& reportPath, bool soundOnly)
{
    bool okA = false;
    bool okB = false;
    const auto reference = readReport(referencePath, okA);
    const auto other = readReport(reportPath, okB);
    if (!okA || !okB || reference.empty()) {
        std::fprintf(stderr, "cannot read %s\n", !okA ? referencePath.c_str() : reportPath.c_str());
        return 2;
    }
    int differences = 0;
    std::set<int> programs;
    int renders = 0;
    for (const auto& [key, value] : reference) {
        const bool render = key.rfind("render.", 0) == 0 || key.rfind("scene.", 0) == 0;
        renders += render ? 1 : 0;
        const auto it = other.find(key);
        if (it != other.end() && it->second == value) {
            continue;
        }
        if (soundOnly && !soundLine(key)) {
            continue;
        }
        ++differences;
        std::printf("differs: %s\n  reference: %s\n  report:    %s\n", key.c_str(), value.c_str(),
                    it == other.end() ? "(missing)" : it->second.c_str());
        if (key.rfind("render.", 0) == 0) {
            programs.insert(std::atoi(key.c_str() + 7));
        }
    }
    for (const auto& [key, value] : other) {
        if ((!soundOnly || soundLine(key)) && reference.find(key) == reference.end()) {
            ++differences;
            std::printf("differs: %s only in the report\n", key.c_str());
        }
    }
    if (!programs.empty()) {
        std::printf("programs whose output differs (%zu of %d):", programs.size(),
                    kExpectedPrograms);
        for (int p : programs) {
            std::printf(" %d", p);
        }
        std::printf("\n");
    }
    std::printf("%zu lines compared, %d renders, %d differ\n", reference.size(), renders,
                differences);
    return differences == 0 ? 0 : 1;
}

#if defined(_WIN32)

struct HeapUse
{
    long long bytes = 0;
    long long blocks = 0;
};

// Every block in use in every heap of the process (the C library's and the system's).
HeapUse heapUse()
{
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    HeapUse use;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                use.bytes += entry.cbData;
                ++use.blocks;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return use;
}

// One host's life of the module: load, instance, a few blocks, close, unload.
bool loadRunUnload(const std::string& modulePath)
{
    std::string error;
    std::unique_ptr<Instance> plugin = loadModule(modulePath, error);
    if (!plugin) {
        std::fprintf(stderr, "cannot load %s: %s\n", modulePath.c_str(), error.c_str());
        return false;
    }
    plugin->start(44100.0f, 512);
    plugin->setProgram(5);
    std::vector<float> left(512, 0.1f), right(512, -0.1f), outL(512), outR(512);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (int b = 0; b < 8; ++b) {
        plugin->process(in, out, 512);
    }
    return true;
}

int lifecycle(const std::string& modulePath)
{
    int failures = 0;
    // Two cycles first: what the C library and the loader keep after the first use is theirs.
    for (int i = 0; i < 2; ++i) {
        if (!loadRunUnload(modulePath)) {
            return 2;
        }
    }
    const HeapUse before = heapUse();
    for (int i = 0; i < 50; ++i) {
        loadRunUnload(modulePath);
    }
    const HeapUse after = heapUse();
    const long long growth = after.bytes - before.bytes;
    const long long newBlocks = after.blocks - before.blocks;
    std::printf("50 load/unload cycles: heap %lld -> %lld bytes (%+lld), %lld -> %lld blocks\n",
                before.bytes, after.bytes, growth, before.blocks, after.blocks);
    // The heap comes back to the byte once the first cycles are done; the bounds leave a little
    // room for the system's own bookkeeping, yet one block of the smallest size lost every
    // second cycle (25 blocks, 200 bytes and more) is caught.
    if (growth > 128 || growth < -128 || newBlocks > 12 || newBlocks < -12) {
        std::printf("FAIL: the heap moved by more than 128 bytes or 12 blocks\n");
        ++failures;
    }

    // Three fresh threads, each one's first blocks and MIDI events (the program re-rolls its
    // lanes' directions, so the random state is touched on each thread too).
    std::string error;
    std::unique_ptr<Instance> plugin = loadModule(modulePath, error);
    if (!plugin) {
        return 2;
    }
    plugin->transport().setPlaying(true);
    plugin->start(44100.0f, 256);
    plugin->setProgram(5);
    std::vector<float> left(256, 0.1f), right(256, -0.1f), outL(256), outR(256);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    MidiEventList events(16);
    for (int t = 0; t < 3; ++t) {
        HeapUse start;
        HeapUse end;
        std::thread audio([&] {
            heapUse(); // whatever the system sets up for a thread's first heap walk
            start = heapUse();
            for (int b = 0; b < 64; ++b) {
                events.clear();
                events.add(0, 0xB0, 7, static_cast<std::uint8_t>(b));
                events.add(10, 0xB1, 1, 64);
                plugin->sendMidi(events);
                plugin->process(in, out, 256);
            }
            end = heapUse();
        });
        audio.join();
        std::printf("fresh thread %d: %lld bytes in %lld blocks before, %lld in %lld after\n",
                    t + 1, start.bytes, start.blocks, end.bytes, end.blocks);
        if (end.bytes != start.bytes || end.blocks != start.blocks) {
            std::printf("FAIL: the first blocks and events on a fresh thread allocated\n");
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "report") == 0) {
        return report(argv[2], argv[3]);
    }
    if ((argc == 4 || (argc == 5 && std::strcmp(argv[4], "sound") == 0)) &&
        std::strcmp(argv[1], "compare") == 0) {
        return compare(argv[2], argv[3], argc == 5);
    }
#if defined(_WIN32)
    if (argc == 3 && std::strcmp(argv[1], "lifecycle") == 0) {
        return lifecycle(argv[2]);
    }
#endif
    std::fprintf(stderr,
                 "usage: %s report MODULE OUT\n       %s compare REFERENCE REPORT [sound]\n"
                 "       %s lifecycle MODULE (Windows)\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
