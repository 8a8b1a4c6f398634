#include "params/MidiAssignmentsFile.h"
#include "params/MidiMap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Records every call the map makes, and writes the file as the plug-in does.
struct Recorder : MidiMapListener
{
    std::vector<std::pair<int, float>> sets;
    std::vector<int> marks;
    std::vector<int> unmarks;
    std::vector<std::vector<MidiMapEntry>> changes;
    const MidiAssignmentsFile* file = nullptr;

    void midiSetParameter(int index, float value) override { sets.emplace_back(index, value); }
    void midiMarkParameter(int index) override { marks.push_back(index); }
    void midiUnmarkParameter(int index) override { unmarks.push_back(index); }
    void midiMapChanged(const std::vector<MidiMapEntry>& entries) override
    {
        changes.push_back(entries);
        if (file)
            file->save(entries);
    }
};

void learn(MidiMap& map, int parameter, int controller)
{
    map.learnToggle(parameter);
    map.handleControlChange(controller, 1);
    map.handleControlChange(controller, 2);
}

std::vector<MidiMapEntry> E(std::initializer_list<std::pair<int, int>> pairs)
{
    std::vector<MidiMapEntry> v;
    for (auto [c, p] : pairs)
        v.push_back({static_cast<std::int8_t>(c), p});
    return v;
}

// The file is written in text mode: its lines end the platform's way.
std::string fileLines(std::initializer_list<const char*> lines)
{
#ifdef _WIN32
    constexpr const char* kLineEnd = "\r\n";
#else
    constexpr const char* kLineEnd = "\n";
#endif
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + kLineEnd;
    return text;
}

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A scratch folder of our own, removed afterwards.
struct TempDir
{
    fs::path path;
    TempDir()
    {
        path = fs::temp_directory_path() /
               ("morvek2-params-test-" + std::to_string(std::rand()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::remove_all(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

} // namespace

TEST(MidiMap, OnlyControlChangesActAndChannelsAreEqual)
{
    Recorder r;
    MidiMap map(r);
    learn(map, 17, 7);
    learn(map, 90, 123); // skipped while learning too: nothing learned, still waiting
    EXPECT_EQ(map.getLearnState(), 1);
    map.learnToggle(90); // stop learning, nothing to forget
    ASSERT_EQ(map.entries(), E({{7, 17}}));

    r.sets.clear();
    map.handleMidiMessage(0x90, 7, 100); // note on
    map.handleMidiMessage(0xE0, 7, 100); // pitch bend
    map.handleMidiMessage(0xB0, 123, 0);
    map.handleMidiMessage(0xB0, 0x87, 0); // not a MIDI data byte
    map.handleMidiMessage(0xB0, 9, 100);  // not mapped
    EXPECT_TRUE(r.sets.empty());

    map.handleMidiMessage(0xBF, 7, 127); // channel 16
    map.handleMidiMessage(0xB0, 7, 0);   // channel 1
    ASSERT_EQ(r.sets.size(), 2u);
    EXPECT_EQ(r.sets[0], std::make_pair(17, 1.0f));
    EXPECT_EQ(r.sets[1], std::make_pair(17, 0.0f));
}

TEST(MidiMap, OneControllerDrivesParametersInLearningOrder)
{
    Recorder r;
    MidiMap map(r);
    learn(map, 48, 7); // Delay Send first
    learn(map, 17, 7); // then Filter Freq
    learn(map, 90, 1);
    EXPECT_EQ(map.entries(), E({{1, 90}, {7, 48}, {7, 17}}));
    map.handleControlChange(7, 64);
    ASSERT_EQ(r.sets.size(), 2u);
    EXPECT_EQ(r.sets[0].first, 48);
    EXPECT_EQ(r.sets[1].first, 17);
    EXPECT_FLOAT_EQ(r.sets[0].second, 64.0f / 127.0f);

    // Learning a pair again leaves one entry, now last among its controller.
    learn(map, 48, 7);
    EXPECT_EQ(map.entries(), E({{1, 90}, {7, 17}, {7, 48}}));
    EXPECT_EQ(r.changes.size(), 4u);
    EXPECT_EQ(r.changes.back(), map.entries());
}

TEST(MidiMap, TwoEqualMessagesInARowAreNeeded)
{
    Recorder r;
    MidiMap map(r);
    map.learnToggle(5);
    EXPECT_EQ(r.marks, std::vector<int>{5});
    for (int c : {10, 11, 10})
        map.handleControlChange(c, 64);
    EXPECT_TRUE(map.entries().empty());
    EXPECT_EQ(map.getLearnState(), 1);
    EXPECT_EQ(map.getLastLearnController(), 10);
    map.handleControlChange(10, 64);
    EXPECT_EQ(map.entries(), E({{10, 5}}));
    EXPECT_EQ(map.getLearnState(), 0);
    EXPECT_EQ(map.getLastLearnController(), MidiMap::kNoController);
    EXPECT_EQ(r.unmarks, std::vector<int>{5});
    EXPECT_TRUE(r.sets.empty()); // learning messages do not move the parameter
}

TEST(MidiMap, LearnToggleSwitchesAndClears)
{
    Recorder r;
    MidiMap map(r);
    learn(map, 2, 20);
    learn(map, 2, 21);
    learn(map, 3, 20);

    // Another parameter while learning: unmark the old one, mark the new one.
    map.learnToggle(2);
    map.handleControlChange(30, 1); // remembered across the toggle
    map.learnToggle(4);
    EXPECT_EQ(map.getLearnState(), 1);
    EXPECT_EQ(map.getLearnParameter(), 4);
    EXPECT_EQ(map.getLastLearnController(), 30);
    EXPECT_EQ(r.unmarks.back(), 2);
    EXPECT_EQ(r.marks.back(), 4);

    // Twice on the same parameter: every controller of it is forgotten, learning ends.
    map.learnToggle(2);
    const std::size_t changesBefore = r.changes.size();
    map.learnToggle(2);
    EXPECT_EQ(map.getLearnState(), 0);
    EXPECT_EQ(map.entries(), E({{20, 3}}));
    EXPECT_EQ(map.getChangeCount(), 4u); // three learned, one cleared
    ASSERT_EQ(r.changes.size(), changesBefore + 1);
    EXPECT_EQ(r.changes.back(), E({{20, 3}}));
    EXPECT_EQ(r.unmarks.back(), 2);

    // Indices that are not parameters are ignored.
    map.learnToggle(-1);
    map.learnToggle(93);
    EXPECT_EQ(map.getLearnState(), 0);
}

TEST(MidiMap, ReadersNeverSeeAMapHalfChanged)
{
    Recorder r;
    MidiMap map(r);
    std::atomic<bool> stop{false};
    std::atomic<long> bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const auto& e = map.entries();
            for (std::size_t k = 1; k < e.size(); ++k)
                if (e[k - 1].controller > e[k].controller || e[k].parameter < 0 ||
                    e[k].parameter > 92)
                    ++bad;
        }
    });
    for (int round = 0; round < 2000; ++round) {
        const int p = round % 93;
        learn(map, p, round % 120);
        if (round % 3 == 0) {
            map.learnToggle(p);
            map.learnToggle(p);
        }
    }
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_FALSE(map.entries().empty());
}

TEST(MidiAssignmentsFile, FormatIsOneLinePerEntryParameterFirst)
{
    EXPECT_EQ(MidiAssignmentsFile::format(E({{1, 17}, {7, 90}})), "17 1\n90 7\n");
    EXPECT_EQ(MidiAssignmentsFile::format({}), "");
}

TEST(MidiAssignmentsFile, LearningCreatesFolderAndRewritesTheFile)
{
    TempDir tmp;
    const fs::path folder = tmp.path / "share" / "Zendrik";
    const MidiAssignmentsFile file(folder.string());
    Recorder r;
    r.file = &file;
    MidiMap map(r);
    const fs::path before = fs::current_path();

    learn(map, 90, 7);
    learn(map, 17, 1);
    learn(map, 17, 1); // the same pair again: still one line
    learn(map, 48, 7);
    const fs::path target = folder / "Morvek2 MIDI Assignments.txt";
    EXPECT_EQ(file.getPath(), target.string());
    EXPECT_EQ(readFile(target), fileLines({"17 1", "90 7", "48 7"}));
    EXPECT_EQ(fs::current_path(), before);

    map.learnToggle(90);
    map.learnToggle(90);
    map.learnToggle(17);
    map.learnToggle(17);
    EXPECT_EQ(readFile(target), fileLines({"48 7"}));
    map.learnToggle(48);
    map.learnToggle(48);
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(readFile(target), "");

    // Nothing but the file is left in the folder: the temporary copies were renamed.
    int files = 0;
    for (const auto& item : fs::directory_iterator(folder))
        files += item.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST(MidiAssignmentsFile, FailuresAreSilentAndLeaveTheDirectoryAlone)
{
    TempDir tmp;
    fs::create_directories(tmp.path);
    const fs::path blocker = tmp.path / "not-a-folder";
    std::ofstream(blocker) << "x";
    const fs::path before = fs::current_path();

    const MidiAssignmentsFile file(blocker.string());
    EXPECT_FALSE(file.save(E({{1, 2}})));
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(readFile(blocker), "x");

    EXPECT_FALSE(MidiAssignmentsFile(std::string()).save(E({{1, 2}})));

    // A map whose file cannot be written keeps its entries.
    Recorder r;
    r.file = &file;
    MidiMap map(r);
    learn(map, 3, 4);
    EXPECT_EQ(map.entries(), E({{4, 3}}));
}

#ifdef _WIN32
TEST(MidiAssignmentsFile, FolderIsTheMakersFolderInTheMachineWideApplicationData)
{
    const char* old = std::getenv("ALLUSERSPROFILE");
    const std::string saved = old ? old : "";
    _putenv_s("ALLUSERSPROFILE", "C:\\Shared");
    EXPECT_EQ(MidiAssignmentsFile::defaultFolder(), "C:\\Shared\\Application Data\\Zendrik\\");
    EXPECT_EQ(MidiAssignmentsFile().getFolder(), MidiAssignmentsFile::defaultFolder());
    // A path with no room left for the file, or no variable at all, gives no folder.
    _putenv_s("ALLUSERSPROFILE", ("C:\\" + std::string(232, 'x')).c_str());
    EXPECT_EQ(MidiAssignmentsFile::defaultFolder(), "");
    _putenv_s("ALLUSERSPROFILE", "");
    EXPECT_EQ(MidiAssignmentsFile::defaultFolder(), "");
    _putenv_s("ALLUSERSPROFILE", saved.c_str());
}
#else
TEST(MidiAssignmentsFile, FolderFollowsTheDataHome)
{
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(MidiAssignmentsFile::defaultFolder(), "/data/home/Zendrik/");
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    const char* home = std::getenv("HOME");
    if (home && home[0]) {
        EXPECT_EQ(MidiAssignmentsFile::defaultFolder(),
                  std::string(home) + (std::string(home).back() == '/' ? "" : "/") +
                      ".local/share/Zendrik/");
    }
    unsetenv("XDG_DATA_HOME");
    if (home && home[0]) {
        EXPECT_EQ(MidiAssignmentsFile().getFolder(), MidiAssignmentsFile::defaultFolder());
    }
    if (oldXdg)
        setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
}
#endif
