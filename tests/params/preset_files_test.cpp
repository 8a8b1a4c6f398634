#include "params/Morvek2ParameterManager.h"
#include "tools/presetgen/preset_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> presetFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(MORVEK2_PRESET_DIR)) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

bool isListOrNorm(const std::string& text)
{
    // Names of list entries, switches and note divisions start with a letter or carry a '/';
    // "norm X" is the raw value itself.
    return text.empty() || text.rfind("norm ", 0) == 0 || text.find('/') != std::string::npos ||
           std::isalpha(static_cast<unsigned char>(text[0]));
}

// Every number a preset file writes is what the editor shows for the program the build makes
// from it: set the stored value, read the display, and find the file's value there.
TEST(PresetFiles, EveryValueReadsBackThroughTheDisplay)
{
    const auto files = presetFiles();
    ASSERT_EQ(files.size(), 40u);
    int checked = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        presetfile::Program program;
        ASSERT_NO_THROW(program = presetfile::readProgram(file));
        Morvek2ParameterManager pm;
        pm.setValue(46, program.values[46]); // Delay Mode decides how Delay Time reads
        for (int i = 0; i < presetfile::kParams; ++i) {
            pm.setValue(i, program.values[i]);
        }
        for (const presetfile::Assignment& a : program.assignments) {
            SCOPED_TRACE("line " + std::to_string(a.line) + ": " + pm.getLongName(a.index) + " = " +
                         a.text);
            EXPECT_EQ(program.values[a.index], a.normalised);
            if (isListOrNorm(a.text)) {
                continue;
            }
            char display[64] = {};
            pm.getDisplay(a.index, display, 63);
            const auto shown = presetfile::readDisplay(pm, a.index, display);
            if (!shown) {
                continue; // the error bit patterns carry no number
            }
            const double written = std::stod(a.text);
            EXPECT_NEAR(shown->value, written, 0.5 * shown->resolution + 1e-6)
                << "display '" << display << "'";
            ++checked;
        }
    }
    EXPECT_GT(checked, 300);
}

struct Refusal
{
    const char* line;
    const char* says;
};

// One-line programs the reader must refuse, with the line and what the plug-in would play.
TEST(PresetFiles, ValuesThePlugInWouldNotPlayAsWrittenAreRefused)
{
    const Refusal rows[] = {
        {"Shift Frequency = 20", "snap-to-centre zone: the plug-in would play it as '0'"},
        {"Shift Fine = -0.4", "snap-to-centre zone"},
        {"Filter Freq Mod = 0.02", "snap-to-centre zone: the plug-in would play it as '+0'"},
        {"Bits Bit Depth = 20", "has no setting that reads 20"},
        {"Filter Freq = 30", "outside the range 40 to 20000"},
        {"VCA Depth = 101", "outside the range"},
        {"level = -7 LU", "between -6 LU and 0 LU"},
        {"level = -3", "'-N LU'"},
    };
    const std::string path = ::testing::TempDir() + "morvek2_refused_preset.txt";
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.line);
        {
            std::ofstream out(path);
            out << "name = Test\n# a comment line\n" << row.line << "\n";
        }
        try {
            presetfile::readProgram(path);
            ADD_FAILURE() << "accepted";
        } catch (const presetfile::Error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(path + ":3: "), std::string::npos) << what;
            EXPECT_NE(what.find(row.says), std::string::npos) << what;
        }
    }
    std::remove(path.c_str());
}

// The bit depth reads back through its own rule, not the table's linear one: 12 plays 12.
TEST(PresetFiles, BitDepthIsStoredAsThePlugInReadsIt)
{
    const std::string path = ::testing::TempDir() + "morvek2_bits_preset.txt";
    for (const int bits : {4, 7, 12, 16, 24}) {
        {
            std::ofstream out(path);
            out << "name = Bits\nBits Bit Depth = " << bits << "\nlevel = -2 LU\n";
        }
        const presetfile::Program p = presetfile::readProgram(path);
        Morvek2ParameterManager pm;
        pm.setValue(77, p.values[77]);
        EXPECT_EQ(pm.getModulatedValue(77, 0.0f), static_cast<float>(bits));
        EXPECT_EQ(p.levelLu, -2.0);
    }
    std::remove(path.c_str());
}

} // namespace
