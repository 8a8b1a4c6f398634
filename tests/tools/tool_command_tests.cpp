// The morvek2 command as a user runs it: the built program (which finds the module in ../lib,
// as after installation) on short generated files, checked against rendering in-process
// through the host library, plus one line and one exit code for every kind of bad input.
#include "host/plugin.h"
#include "host/render.h"
#include "tools/morvek2/demo.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using morvek2::host::AudioChannels;

const fs::path kTool = MORVEK2_TOOL;
const fs::path kMorvek2 = kTool.parent_path().parent_path() / "lib" / "Morvek2.so";

std::string thirdPartyModule()
{
    for (const char* folder : {"/usr/lib/vst/lsp-plugins", "/usr/lib/lxvst/lsp-plugins",
                               "/usr/local/lib/vst/lsp-plugins"}) {
        const fs::path module = fs::path(folder) / "comp-delay-stereo.so";
        if (fs::exists(module)) {
            return module.string();
        }
    }
    return {};
}

struct Result
{
    int code = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Audio
{
    int channels = 0;
    int rate = 0;
    int format = 0;
    std::vector<float> samples; // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
    AudioChannels split() const
    {
        AudioChannels out(static_cast<std::size_t>(channels), std::vector<float>(frames()));
        for (std::size_t f = 0; f < frames(); ++f) {
            for (int c = 0; c < channels; ++c) {
                out[c][f] = samples[f * channels + c];
            }
        }
        return out;
    }
};

void writeAudio(const fs::path& path, const Audio& audio,
                int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, audio.samples.data(), static_cast<sf_count_t>(audio.frames()));
    sf_close(f);
}

Audio readAudio(const fs::path& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Audio audio;
    if (f == nullptr) {
        return audio;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(f, audio.samples.data(), info.frames);
    sf_close(f);
    return audio;
}

// A sine on the left, noise on the right (or the sine alone for mono).
Audio testSignal(int channels, int rate, double seconds)
{
    Audio a;
    a.channels = channels;
    a.rate = rate;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::uint32_t noise = 12345;
    for (std::size_t f = 0; f < frames; ++f) {
        a.samples.push_back(0.5f * static_cast<float>(std::sin(2.0 * M_PI * 330.0 * f / rate)));
        if (channels == 2) {
            noise = noise * 1664525u + 1013904223u;
            a.samples.push_back(0.3f * (static_cast<float>(noise >> 8) / 8388608.0f - 1.0f));
        }
    }
    return a;
}

struct Transport
{
    double bpm = 120.0;
    int num = 4;
    int den = 4;
    double startPpq = 0.0;
    bool playing = true;
};

// What the command should produce: the same module, started the same way, set up by `setup`,
// rendered in one go through the host library.
AudioChannels renderInProcess(const std::string& module, AudioChannels input, double rate,
                              int maxBlock, const std::vector<int32_t>& sizes, const Transport& t,
                              const std::function<void(morvek2::host::Plugin&)>& setup)
{
    std::string error;
    auto plugin = morvek2::host::Plugin::load(module, error);
    if (!plugin) {
        ADD_FAILURE() << error;
        return {};
    }
    plugin->start(static_cast<float>(rate), maxBlock);
    if (setup) {
        setup(*plugin);
    }
    auto& transport = plugin->transport();
    transport.setSampleRate(rate);
    transport.setTempo(t.bpm);
    transport.setTimeSignature(t.num, t.den);
    transport.locate(t.startPpq);
    transport.setPlaying(t.playing);
    return morvek2::host::render(*plugin, input, {.blockSizes = sizes});
}

void expectSameSamples(const Audio& file, const AudioChannels& expected)
{
    ASSERT_EQ(static_cast<std::size_t>(file.channels), expected.size());
    ASSERT_EQ(file.frames(), expected.front().size());
    const AudioChannels got = file.split();
    for (std::size_t c = 0; c < expected.size(); ++c) {
        for (std::size_t f = 0; f < expected[c].size(); ++f) {
            ASSERT_EQ(got[c][f], expected[c][f]) << "channel " << c << " frame " << f;
        }
    }
}

class ToolCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("morvek2-cli-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path file(const std::string& name) const { return dir_ / name; }

    Result run(const std::vector<std::string>& args) const
    {
        std::string command = quote(kTool.string());
        for (const std::string& a : args) {
            command += " " + quote(a);
        }
        const fs::path out = dir_ / ".stdout";
        const fs::path err = dir_ / ".stderr";
        command += " >" + quote(out.string()) + " 2>" + quote(err.string()) + " </dev/null";
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    // Files in the test folder other than `keep`: what a failed command must not leave.
    std::vector<std::string> strayFiles(const std::vector<std::string>& keep) const
    {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
                stray.push_back(name);
            }
        }
        return stray;
    }

    static void needMorvek2()
    {
        if (!fs::exists(kMorvek2)) {
            GTEST_SKIP() << "the Morvek2 module is not built beside the tool";
        }
    }

    fs::path dir_;
};

TEST_F(ToolCommand, RenderEqualsInProcessRenderingSampleForSample)
{
    needMorvek2();
    const Audio input = testSignal(2, 44100, 0.4);
    writeAudio(file("in.wav"), input);
    const Result r = run({"render",       file("in.wav").string(),
                          "-o",           file("out.wav").string(),
                          "--block-size", "256",
                          "--bpm",        "140",
                          "--time-sig",   "6/8",
                          "--start-ppq",  "2",
                          "--program",    "3",
                          "--set",        "Filter Freq=0.25",
                          "--set",        "VCA Pan=0.7",
                          "--tail",       "0.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "") << "quiet when not on a terminal";
    EXPECT_NE(r.out.find("44100 Hz"), std::string::npos) << "the file's rate is reported";
    const Audio out = readAudio(file("out.wav"));
    EXPECT_EQ(out.rate, 44100);
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    AudioChannels in = input.split();
    for (auto& channel : in) {
        channel.resize(channel.size() + 4410, 0.0f); // the tail
    }
    const AudioChannels expected =
        renderInProcess(kMorvek2, in, 44100, 256, {256}, {140, 6, 8, 2.0, true}, [](auto& p) {
            p.setProgram(3);
            p.setParameter(17, 0.25f);
            p.setParameter(3, 0.7f);
        });
    expectSameSamples(out, expected);
}

TEST_F(ToolCommand, IrregularBlocksAndAMonoFileMatchTheHostsIrregularRender)
{
    needMorvek2();
    const Audio input = testSignal(1, 48000, 0.5);
    writeAudio(file("mono.aiff"), input, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    const Result r = run({"render", file("mono.aiff").string(), "-o", file("out.wav").string(),
                          "--irregular-blocks", "--block-size", "1024", "--stopped"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Audio out = readAudio(file("out.wav"));
    EXPECT_EQ(out.rate, 48000) << "no resampling";
    AudioChannels in{input.split()[0], input.split()[0]};
    Transport stopped;
    stopped.playing = false;
    const AudioChannels expected = renderInProcess(
        kMorvek2, in, 48000, 1024, morvek2::host::hostLikeBlockSizes(), stopped, nullptr);
    expectSameSamples(out, expected);
}

TEST_F(ToolCommand, ThirdPartyEffectRendersLikeInProcess)
{
    const std::string module = thirdPartyModule();
    if (module.empty()) {
        GTEST_SKIP() << "lsp-plugins-vst is not installed";
    }
    const Audio input = testSignal(2, 44100, 0.3);
    writeAudio(file("in.flac"), input, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const Audio decoded = readAudio(file("in.flac"));
    const Result r = run({"render", file("in.flac").string(), "-o", file("out.wav").string(),
                          "--module", module, "--block-size", "128", "--set", "time=0.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    const AudioChannels expected =
        renderInProcess(module, decoded.split(), 44100, 128, {128}, {}, [](auto& p) {
            for (int i = 0; i < p.numParams(); ++i) {
                if (p.parameterName(i) == "time") {
                    p.setParameter(i, 0.5f);
                }
            }
        });
    expectSameSamples(readAudio(file("out.wav")), expected);
}

TEST_F(ToolCommand, WorkingValuesAndTextsReachAThirdPartyEffect)
{
    const std::string module = thirdPartyModule();
    if (module.empty()) {
        GTEST_SKIP() << "lsp-plugins-vst is not installed";
    }
    const Result r = run({"params", "--module", module, "--set", "time=5ms", "--set", "mode=Time",
                          "--set", "dry=-6 dB"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::map<std::string, std::string> shown;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string index, name, display;
        fields >> index >> name >> display;
        shown[name] = display;
    }
    EXPECT_EQ(shown["time"], "5.00");
    EXPECT_EQ(shown["mode"], "Time");
    EXPECT_EQ(shown["dry"], "-6.00") << "found past the '-inf' at the bottom of its range";
}

TEST_F(ToolCommand, DemoRendersWithoutInputAndDrawsAPicture)
{
    needMorvek2();
    const Result r = run({"render", "-o", file("demo.wav").string(), "--plot",
                          file("demo.png").string(), "--sample-rate", "48000", "--program", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Audio out = readAudio(file("demo.wav"));
    EXPECT_EQ(out.rate, 48000);
    EXPECT_EQ(out.frames(), 16u * 48000u) << "eight bars at 120 bpm";
    morvek2::cli::DemoSpec settings;
    settings.sampleRate = 48000.0;
    const std::vector<float> demo = morvek2::cli::synthesizeDemo(settings);
    AudioChannels in(2);
    for (std::size_t i = 0; i < demo.size(); ++i) {
        in[i % 2].push_back(demo[i]);
    }
    expectSameSamples(out, renderInProcess(kMorvek2, in, 48000, 512, {512}, {},
                                           [](auto& p) { p.setProgram(2); }));

    const std::string png = slurp(file("demo.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // Width from the image header, big-endian at 16.
    const auto* b = reinterpret_cast<const unsigned char*>(png.data());
    EXPECT_EQ((b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19], 1600);
    // Taller than the two waveforms alone: the spectra of input and output and the six lanes
    // of the program are drawn below them.
    EXPECT_GT((b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23], 900);

    const Result pcm = run({"render", "-o", file("demo24.wav").string(), "--pcm24"});
    ASSERT_EQ(pcm.code, 0) << pcm.err;
    const Audio out24 = readAudio(file("demo24.wav"));
    EXPECT_EQ(out24.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(out24.rate, 44100);
}

// Saves a program and a bank, loads each into a fresh instance and saves again: the files and
// the chunks inside them must come back unchanged.
void roundTrip(ToolCommand& test, const std::function<Result(const std::vector<std::string>&)>& run,
               const std::vector<std::string>& module, const std::string& select)
{
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), module.begin(), module.end());
        return run(args);
    };
    std::vector<std::string> first = {"params", "--save-fxp", "a.fxp", "--save-fxb", "a.fxb"};
    if (!select.empty()) {
        first.insert(first.end(), {"--program", select});
    }
    Result r = with(first);
    ASSERT_EQ(r.code, 0) << r.err;
    r = with({"params", "--load-fxp", "a.fxp", "--save-fxp", "b.fxp"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = with({"params", "--load-fxb", "a.fxb", "--save-fxb", "b.fxb"});
    ASSERT_EQ(r.code, 0) << r.err;
    (void)test;
}

TEST_F(ToolCommand, PresetFilesRoundTripTheChunk)
{
    std::vector<std::pair<std::string, std::string>> modules;
    if (fs::exists(kMorvek2)) {
        modules.emplace_back(kMorvek2.string(), "3");
    }
    if (!thirdPartyModule().empty()) {
        modules.emplace_back(thirdPartyModule(), "");
    }
    if (modules.empty()) {
        GTEST_SKIP() << "no module with chunks available";
    }
    std::size_t skipped = 0;
    for (const auto& [module, program] : modules) {
        std::string error;
        auto plugin = morvek2::host::Plugin::load(module, error);
        ASSERT_TRUE(plugin) << error;
        plugin->start(44100.0f, 512);
        if (!program.empty()) {
            plugin->setProgram(std::stoi(program));
        }
        const std::vector<std::uint8_t> chunk = plugin->getChunk(true);
        const std::vector<std::uint8_t> bankChunk = plugin->getChunk(false);
        if (chunk.empty() || bankChunk.empty()) {
            // The command refuses to write an empty preset; that refusal is checked here, the
            // round trip waits for a module that gives its state.
            const Result r = run({"params", "--module", module, "--save-fxp", file("x.fxp")});
            EXPECT_EQ(r.code, 1) << r.err;
            EXPECT_NE(r.err.find("gave no chunk"), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(file("x.fxp")));
            ++skipped;
            continue;
        }
        const fs::path cwd = fs::current_path();
        fs::current_path(dir_);
        roundTrip(
            *this, [&](const auto& args) { return run(args); }, {"--module", module}, program);
        fs::current_path(cwd);
        const std::string a = slurp(file("a.fxp"));
        ASSERT_EQ(a.size(), 60u + chunk.size()) << module;
        EXPECT_EQ(a.substr(0, 4), "CcnK");
        EXPECT_EQ(a.substr(8, 4), "FPCh");
        EXPECT_EQ(std::memcmp(a.data() + 60, chunk.data(), chunk.size()), 0)
            << "the file holds the module's own program chunk";
        // Compared whole, reported briefly: the files are binary.
        EXPECT_TRUE(slurp(file("b.fxp")) == a) << module << ": the program file changed";
        const std::string bank = slurp(file("a.fxb"));
        ASSERT_EQ(bank.size(), 160u + bankChunk.size());
        EXPECT_EQ(bank.substr(8, 4), "FBCh");
        EXPECT_TRUE(slurp(file("b.fxb")) == bank) << module << ": the bank file changed";
        for (const char* name : {"a.fxp", "b.fxp", "a.fxb", "b.fxb"}) {
            fs::remove(file(name));
        }
    }
    if (skipped == modules.size()) {
        GTEST_SKIP() << "no module gave a chunk to round-trip";
    }

    // A program file saved with the VST 2.4 module loads into every other format of our plug-in
    // (each is recognised as Morvek2 and takes the same program chunk), and saved from there it
    // holds the same chunk.
    if (!fs::exists(kMorvek2)) {
        return;
    }
    const fs::path lib = kMorvek2.parent_path();
    Result r = run({"params", "--program", "3", "--save-fxp", file("vst2.fxp")});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string saved = slurp(file("vst2.fxp"));
    ASSERT_GT(saved.size(), 60u);
    for (const fs::path& module : {lib / "lv2" / "Morvek2.lv2", lib / "vst3" / "Morvek2.vst3",
                                   lib / "clap" / "Morvek2.clap"}) {
        if (!fs::exists(module)) {
            continue;
        }
        SCOPED_TRACE(module.string());
        r = run({"params", "--module", module.string(), "--load-fxp", file("vst2.fxp"),
                 "--save-fxp", file("other.fxp")});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string again = slurp(file("other.fxp"));
        EXPECT_EQ(again.substr(0, 20), saved.substr(0, 20)) << "header and plug-in ID";
        EXPECT_TRUE(again.substr(56) == saved.substr(56)) << "the program chunk changed";
        fs::remove(file("other.fxp"));
    }
}

// One bad input: the exit code, one line naming the problem, and nothing written.
struct BadCase
{
    std::string what;
    std::vector<std::string> args;
    int code;
    std::string message;
};

TEST_F(ToolCommand, EveryBadInputGetsOneLineAnExitCodeAndNoOutput)
{
    needMorvek2();
    writeAudio(file("in.wav"), testSignal(2, 44100, 0.05));
    Audio six = testSignal(1, 44100, 0.01);
    six.channels = 3;
    six.samples.resize(six.samples.size() / 3 * 3);
    writeAudio(file("three.wav"), six);
    std::ofstream(file("text.wav")) << "this is not audio\n";
    std::ofstream(file("garbage.fxp")) << "garbage that is no preset";
    {
        // A program file for a plug-in with another identifier.
        std::string other(60 + 8, '\0');
        std::memcpy(other.data(), "CcnK", 4);
        std::memcpy(other.data() + 8, "FPCh", 4);
        std::memcpy(other.data() + 16, "ABCD", 4);
        other[59] = 8;
        std::ofstream(file("other.fxp"), std::ios::binary) << other;
        // Its chunk claims more bytes than the file has.
        other[16] = 'Z', other[17] = 'K', other[18] = 'm', other[19] = '2';
        other[58] = 1;
        std::ofstream(file("short.fxp"), std::ios::binary) << other;
    }
    // An older output that a failed render must leave alone.
    std::ofstream(file("out.wav")) << "previous render";

    const std::string in = file("in.wav").string();
    const std::string out = file("out.wav").string();
    const std::vector<BadCase> cases = {
        {"missing input", {"render", file("nope.wav").string(), "-o", out}, 3, "no such file"},
        {"unsupported format",
         {"render", file("text.wav").string(), "-o", out},
         3,
         "not a supported audio file"},
        {"three channels",
         {"render", file("three.wav").string(), "-o", out},
         3,
         "only mono and stereo"},
        {"not a module",
         {"render", in, "-o", out, "--module", file("text.wav").string()},
         4,
         "not a loadable module"},
        {"no entry point",
         {"render", in, "-o", out, "--module", "/lib/x86_64-linux-gnu/libsndfile.so.1"},
         4,
         "exports neither"},
        {"entry returns nothing",
         {"render", in, "-o", out, "--module", MORVEK2_NULL_EFFECT},
         4,
         "returned no plug-in"},
        {"not an effect record",
         {"render", in, "-o", out, "--module", MORVEK2_BAD_MAGIC},
         4,
         "without the VST magic"},
        {"missing module", {"info", "--module", file("gone.so").string()}, 4, "no such file"},
        {"unknown program",
         {"render", in, "-o", out, "--program", "Zyxxy Qwerty"},
         2,
         "no program named 'Zyxxy Qwerty'"},
        {"program index", {"render", in, "-o", out, "--program", "40"}, 2, "out of range (0..39)"},
        {"misspelt program",
         {"render", in, "-o", out, "--program", "Full Of Tecno"},
         2,
         "did you mean '26 Full Of Techno'"},
        {"ambiguous program",
         {"render", in, "-o", out, "--program", "Techno"},
         2,
         "no program named 'Techno'"},
        {"unknown parameter",
         {"render", in, "-o", out, "--set", "Filter Frq=0.5"},
         2,
         "did you mean 'Filter Freq'"},
        {"normalised out of range",
         {"render", in, "-o", out, "--set", "Filter Freq=1.5"},
         2,
         "out of range"},
        {"working value out of range",
         {"render", in, "-o", out, "--set", "Filter Freq=30000Hz"},
         2,
         "out of range"},
        {"wrong unit", {"render", in, "-o", out, "--set", "Filter Freq=3ms"}, 2, "does not fit"},
        {"preset for another plug-in",
         {"render", in, "-o", out, "--load-fxp", file("other.fxp")},
         5,
         "is for plug-in 'ABCD'"},
        {"bad preset header",
         {"render", in, "-o", out, "--load-fxp", file("garbage.fxp")},
         5,
         "not a VST preset file"},
        {"truncated preset",
         {"render", in, "-o", out, "--load-fxp", file("short.fxp")},
         5,
         "damaged"},
        {"program file as bank",
         {"params", "--load-fxb", file("other.fxp").string()},
         5,
         "--load-fxp"},
        {"output is the input",
         {"render", in, "-o", file(".").string() + "/in.wav"},
         2,
         "is the input"},
        {"output folder missing",
         {"render", in, "-o", file("no/such/out.wav").string()},
         6,
         "does not exist"},
        {"rate of a file", {"render", in, "-o", out, "--sample-rate", "48000"}, 2, "not resampled"},
        {"bad option", {"render", in, "-o", out, "--time-sig", "7/5"}, 2, "power of two"},
    };
    for (const BadCase& c : cases) {
        std::vector<std::string> args;
        for (const auto& a : c.args) {
            args.push_back(a);
        }
        const Result r = run(args);
        EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.rfind("morvek2: error: ", 0), 0u) << c.what;
        EXPECT_EQ(slurp(file("out.wav")), "previous render") << c.what;
        EXPECT_EQ(strayFiles({"in.wav", "three.wav", "text.wav", "garbage.fxp", "other.fxp",
                              "short.fxp", "out.wav"}),
                  std::vector<std::string>{})
            << c.what << ": a temporary or partial file was left";
    }
}

// Finding the setting for "16" tries other lengths on the way; none of those trials may leave a
// trace, such as a lane position pulled back by a shorter length.
TEST_F(ToolCommand, WorkingValuesLeaveTheRestOfTheProgramAlone)
{
    needMorvek2();
    const std::string program = "06 Skittles"; // its Filter lane starts away from step 0
    Result r = run({"params", "--program", program, "--set", "Filter Length=16", "--save-fxp",
                    file("working.fxp").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    r = run({"params", "--program", program, "--save-fxp", file("plain.fxp").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string working = slurp(file("working.fxp"));
    const std::string plain = slurp(file("plain.fxp"));
    ASSERT_EQ(working.size(), 60u + 2024u);
    const std::size_t filterLane = 60 + 400 + 268;
    EXPECT_NE(plain[filterLane], 0) << "the program no longer starts its Filter lane elsewhere";
    EXPECT_TRUE(working == plain) << "setting the length it already has changed the program";
}

TEST_F(ToolCommand, AModuleThatCrashesLeavesNoFileBehind)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps the fault signals to itself";
#endif
    writeAudio(file("in.wav"), testSignal(2, 44100, 0.05));
    std::ofstream(file("out.wav")) << "previous render";
    const Result r = run({"render", file("in.wav").string(), "-o", file("out.wav").string(),
                          "--plot", file("out.png").string(), "--module", MORVEK2_CRASH});
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(slurp(file("out.wav")), "previous render");
    EXPECT_EQ(strayFiles({"in.wav", "out.wav"}), std::vector<std::string>{});
}

TEST_F(ToolCommand, InformationCommandsListWhatTheModuleSays)
{
    needMorvek2();
    Result r = run({"info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("VST2 ID:      'ZKm2'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 in, 2 out"), std::string::npos);
    // Each format's identity under its own name.
    const fs::path lib = kMorvek2.parent_path();
    const std::pair<fs::path, std::string> identities[] = {
        {lib / "lv2" / "Morvek2.lv2", "LV2 URI:      urn:zendrik:morvek2\n"},
        {lib / "vst3" / "Morvek2.vst3", "VST3 class ID: 6D3A91C42B7E4F08A15C93D27E40B1F6\n"},
        {lib / "clap" / "Morvek2.clap", "CLAP id:      com.zendrik.morvek2\n"}};
    for (const auto& [module, line] : identities) {
        if (fs::exists(module)) {
            r = run({"info", "--module", module.string()});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        }
    }
    r = run({"programs", "--program", "full of techno"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 40);
    EXPECT_NE(r.out.find("*  25  26 Full Of Techno"), std::string::npos)
        << "a name without its number selects the one program that has it: " << r.out;
    r = run({"params", "--set", "Filter Freq=800Hz", "--set", "VCA Length=8"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 94) << "a heading and 93 rows";
    std::istringstream lines(r.out);
    std::string line;
    bool sawFreq = false;
    bool sawLength = false;
    while (std::getline(lines, line)) {
        if (line.find(" FiltFreq ") != std::string::npos) {
            sawFreq = true;
            EXPECT_NE(line.find(" 800 "), std::string::npos) << line;
            EXPECT_NE(line.find("Hz"), std::string::npos) << line;
        }
        if (line.find(" VCA Leng ") != std::string::npos) {
            sawLength = true;
            EXPECT_NE(line.find(" 8 "), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(sawFreq && sawLength) << r.out;
    EXPECT_EQ(r.err, "") << "settings the module plays as typed need no note";

    // A setting inside a snap-to-centre zone or between whole steps plays as something else.
    r = run({"params", "--set", "Shift Frequency=20Hz", "--set", "VCA Length=0.47"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("'Shift Frequency=20Hz' was"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("40 Hz"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'VCA Length=0.47' was snapped by the module to '16'"), std::string::npos)
        << r.err;
}

// analyse measures a factory program file before it is built in, and names the file and line
// of a value the module would not play as written.
TEST_F(ToolCommand, AnalyseMeasuresAProgramFileAndRefusesABadOne)
{
    needMorvek2();
    const std::string good = std::string(MORVEK2_PRESET_DIR) + "/21-nice-and-simple.txt";
    Result r = run({"analyse", good});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << "a heading and one row";
    EXPECT_NE(r.out.find("21 Nice And SImple"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" ok\n"), std::string::npos) << r.out;

    std::ofstream(file("bad.txt")) << "name = Bad\nShift Frequency = 20\n";
    r = run({"analyse", file("bad.txt").string()});
    EXPECT_EQ(r.code, 5);
    EXPECT_NE(r.err.find("bad.txt:2: 'Shift Frequency = 20' lies in the snap-to-centre zone"),
              std::string::npos)
        << r.err;
}

} // namespace
