#include "params/zk_paramManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A manager with one parameter of each kind that matters, on indices of our own.
struct CoreFixture : ::testing::Test
{
    zk_paramManager m;
    enum { lin = 0, sw = 1, step = 2, expo = 3, db = 4, tsync = 5, rsync = 6, note = 7, midi = 8 };

    void SetUp() override
    {
        m.addParam(lin, "Linear Long Name", "Lin", "msec", 0.0f, 100.0f, 10.0f, kLinear);
        m.addParam(sw, "Switch", "Sw", "", 0.0f, 1.0f, 0.0f, kSwitch);
        m.addParam(step, "Stepped", "Step", "", 0.0f, 5.0f, 0.0f, kStepped);
        m.addParam(expo, "Freq", "Freq", "Hz", 40.0f, 20000.0f, 1000.0f, kExponential);
        m.addParam(db, "Gain", "Gain", "dB", -40.0f, 6.0f, 0.0f, kDecibel);
        m.addParam(tsync, "Time", "Time", "msec", 4.0f, 2000.0f, 1000.0f, kTimeSync);
        m.addParam(rsync, "Rate", "Rate", "Hz", 0.1f, 20.0f, 1.0f, kRateSync);
        m.addParam(note, "Division", "Div", "", 0.0f, 14.0f, 0.0f, kNoteDivision);
        m.addParam(midi, "Note", "Note", "", 0.0f, 127.0f, 60.0f, kMidiNote);
    }
};

// The documented generator, written out here so a wrong use of it shows.
int referenceRand(std::uint32_t& s)
{
    s = s * 214013u + 2531011u;
    return static_cast<int>((s >> 16) & 0x7FFFu);
}

} // namespace

TEST_F(CoreFixture, UndefinedIndicesReadZeroAndInsideCapacityCountAsDefined)
{
    const int before = m.getCount();
    EXPECT_EQ(before, 9);
    EXPECT_EQ(m.getValue(50), 0.0f);
    EXPECT_EQ(m.getCount(), before + 1);
    EXPECT_EQ(m.getWorkingValue(50), 0.0f); // already counted
    EXPECT_EQ(m.getCount(), before + 1);
    EXPECT_EQ(m.getKind(50), 0);

    // Outside the table: zeros, nothing inserted, nothing written.
    for (int bad : {-1, 256, 100000, std::numeric_limits<int>::min()}) {
        m.setValue(bad, 0.7f);
        m.setWorkingValue(bad, 3.0f);
        EXPECT_EQ(m.getValue(bad), 0.0f);
        EXPECT_EQ(m.getEngineValue(bad), 0.0f);
        EXPECT_EQ(m.getModulatedValue(bad, 0.5f), 0.0f);
        char buf[16];
        std::memset(buf, 'x', sizeof buf);
        m.getName(bad, buf, 8);
        EXPECT_STREQ(buf, "");
    }
    EXPECT_EQ(m.getCount(), before + 1);
}

TEST_F(CoreFixture, SwitchAndSteppedThresholds)
{
    m.setValue(sw, 0.5f);
    EXPECT_EQ(m.getWorkingValue(sw), 0.0f);
    m.setValue(sw, 0.5000001f);
    EXPECT_EQ(m.getWorkingValue(sw), 1.0f);

    m.setValue(step, 0.5f); // floor(2.5 + 0.5): a half goes up
    EXPECT_EQ(m.getWorkingValue(step), 3.0f);
    m.setValue(step, 0.49f);
    EXPECT_EQ(m.getWorkingValue(step), 2.0f);

    // A position never leaves its list, even for values a host should not send; the
    // normalised value is kept as given.
    m.setValue(step, 2.0f);
    EXPECT_EQ(m.getWorkingValue(step), 5.0f);
    EXPECT_EQ(m.getValue(step), 2.0f);
    m.setValue(step, -1.0f);
    EXPECT_EQ(m.getWorkingValue(step), 0.0f);
    m.setSynced(tsync, true);
    m.setValue(tsync, 1.7f);
    EXPECT_EQ(m.getWorkingValue(tsync), 15.0f);
}

TEST_F(CoreFixture, ExponentialEndsAndCurveShape)
{
    m.setValue(expo, 0.0f);
    EXPECT_FLOAT_EQ(m.getWorkingValue(expo), 40.0f);
    m.setValue(expo, 1.0f);
    EXPECT_FLOAT_EQ(m.getWorkingValue(expo), 20000.0f);
    EXPECT_EQ(m.workingToNormalised(expo, 20000.0f), 1.0f);
    // Midway is the geometric mean, not the arithmetic one.
    m.setValue(expo, 0.5f);
    EXPECT_NEAR(m.getWorkingValue(expo), std::sqrt(40.0f * 20000.0f), 2.0f);
    EXPECT_NEAR(m.workingToNormalised(expo, 894.43f), 0.5f, 1e-4f);
}

TEST(CurveTable, BuildsEndsRepeatLastEntryAndLimitsLookups)
{
    CurveTable c;
    c.buildExponential(40.0f, 20000.0f);
    ASSERT_EQ(c.getCount(), 1024);
    const float* e = c.getEntries();
    EXPECT_EQ(e[0], 40.0f);
    EXPECT_NEAR(e[1023], 20000.0f, 0.01f);
    EXPECT_EQ(e[1024], e[1023]);
    EXPECT_EQ(c.getLastOutput(), 40.0f); // lookup at 0 when built

    // Halfway between two points interpolates linearly.
    const float x = 100.5f / 1023.0f;
    EXPECT_NEAR(c.lookup(x), 0.5f * (e[100] + e[101]), 1e-3f);
    EXPECT_EQ(c.getLastOutput(), c.lookup(x));

    // Hostile arguments stay inside the table.
    EXPECT_EQ(c.lookup(1.7f), e[1023]);
    EXPECT_EQ(c.lookup(-3.0f), e[0]);
    EXPECT_EQ(c.lookup(kNaN), e[0]);
    EXPECT_EQ(c.lookup(kInf), e[1023]);

    CurveTable empty;
    EXPECT_EQ(empty.lookup(0.5f), 0.0f);

    CurveTable d;
    d.buildDecibel(-40.0f, 6.0f);
    EXPECT_EQ(d.getEntries()[0], 0.0f); // silence, not the gain of -40 dB
    EXPECT_NEAR(d.getEntries()[1023], std::pow(10.0f, 6.0f / 20.0f), 1e-4f);
    EXPECT_GT(d.getEntries()[1], 0.01f); // just above the gain of -40 dB
    EXPECT_LT(d.getEntries()[1], 0.0105f);
}

TEST_F(CoreFixture, DecibelEngineValue)
{
    m.setValue(db, 0.0f);
    EXPECT_EQ(m.getWorkingValue(db), -40.0f);
    EXPECT_EQ(m.getEngineValue(db), 0.0f);
    m.setWorkingValue(db, 0.0f);
    EXPECT_NEAR(m.getEngineValue(db), 1.0f, 0.002f);
    m.setValue(db, 1.0f);
    EXPECT_NEAR(m.getEngineValue(db), 1.9953f, 1e-3f);
}

TEST_F(CoreFixture, SyncedTimeUsesNoteDivisions)
{
    EXPECT_FALSE(m.isSynced(tsync));
    char label[16];
    m.getLabel(tsync, label, 8);
    EXPECT_STREQ(label, "msec");
    m.getLabel(tsync, label, 4);
    EXPECT_STREQ(label, "ms");

    m.setValue(tsync, 0.5f);
    m.setSynced(tsync, true);
    EXPECT_TRUE(m.isSynced(tsync));
    EXPECT_EQ(m.getValue(tsync), 0.5f); // normalised value kept
    EXPECT_EQ(m.getWorkingValue(tsync), 7.0f);
    EXPECT_EQ(m.getEngineValue(tsync), 0.75f);
    char buf[16];
    m.getDisplay(tsync, buf, 8);
    EXPECT_STREQ(buf, "1/8. ");
    m.getLabel(tsync, label, 8);
    EXPECT_STREQ(label, "");

    m.setValue(tsync, 1.0f);
    EXPECT_EQ(m.getWorkingValue(tsync), 15.0f);
    EXPECT_EQ(m.getEngineValue(tsync), 4.0f);
    m.getDisplay(tsync, buf, 8);
    EXPECT_STREQ(buf, "1/1  ");

    // Rate sync runs the other way and gives a frequency in beats.
    m.setSynced(rsync, true);
    m.setValue(rsync, 1.0f);
    EXPECT_EQ(m.getWorkingValue(rsync), 0.0f);
    EXPECT_EQ(m.getEngineValue(rsync), 8.0f);

    // Only syncable kinds take a sync state.
    m.setValue(lin, 0.3f);
    m.setSynced(lin, true);
    EXPECT_EQ(m.getSyncState(lin), 0);
    EXPECT_FALSE(m.isSynced(lin));
    EXPECT_EQ(m.getValue(lin), 0.3f);
    EXPECT_FLOAT_EQ(m.getWorkingValue(lin), 30.0f);
}

TEST_F(CoreFixture, WorkingValueOutOfRangeIsKeptButNormalisedIsLimited)
{
    m.setWorkingValue(lin, 250.0f);
    EXPECT_EQ(m.getWorkingValue(lin), 250.0f);
    EXPECT_EQ(m.getValue(lin), 1.0f);
    EXPECT_EQ(m.getEngineValue(lin), 100.0f); // limited
    m.setWorkingValue(lin, -5.0f);
    EXPECT_EQ(m.getValue(lin), 0.0f);
    // Non-finite working values land on the range instead of poisoning the engine value.
    m.setWorkingValue(lin, kNaN);
    EXPECT_EQ(m.getWorkingValue(lin), 0.0f);
    m.setWorkingValue(lin, kInf);
    EXPECT_EQ(m.getWorkingValue(lin), 100.0f);
    EXPECT_EQ(m.getValue(lin), 1.0f);
}

TEST_F(CoreFixture, NamesAndLabelsKeepTheirBufferRules)
{
    char buf[32];
    std::memset(buf, '#', sizeof buf);
    m.getName(lin, buf, 8);
    EXPECT_STREQ(buf, "Lin");
    EXPECT_EQ(buf[4], '#'); // nothing written past the terminator
    m.getName(lin, buf, 9);
    EXPECT_STREQ(buf, "Linear Lo"); // long name, cut to 9, terminator at 9
    m.getName(lin, buf, 30);
    EXPECT_STREQ(buf, "Linear Long Name");
    EXPECT_EQ(m.getLongName(lin), "Linear Long Name");
    m.getName(lin, buf, 0);
    EXPECT_STREQ(buf, "");

    // formatValue leaves at most length - 1 visible characters and stays inside length.
    std::memset(buf, '#', sizeof buf);
    m.formatValue(lin, buf, 123456789.0f, 8);
    EXPECT_STREQ(buf, "1234567");
    EXPECT_EQ(buf[8], '#');
    m.formatValue(lin, buf, 5.0f, 8);
    EXPECT_STREQ(buf, "   5");
    m.formatValue(sw, buf, 1.0f, 8);
    EXPECT_STREQ(buf, "On");
    m.formatValue(midi, buf, 60.0f, 8);
    EXPECT_STREQ(buf, "C3");
    m.formatValue(midi, buf, 13.0f, 8);
    EXPECT_STREQ(buf, "C#-1");
    m.formatValue(expo, buf, 0.5f, 8);
    EXPECT_STREQ(buf, "0.500");
    m.formatValue(expo, buf, 45.25f, 8);
    EXPECT_STREQ(buf, "45.2");
    m.formatValue(note, buf, 8.0f, 8);
    EXPECT_STREQ(buf, "1/4  ");

    std::memset(buf, '#', sizeof buf);
    m.setValue(lin, 0.5f);
    m.getValueText(lin, buf);
    EXPECT_STREQ(buf, "0.500000");
    m.getDisplayNoSpaces(lin, buf, 8);
    EXPECT_STREQ(buf, "50");
    m.getDisplayNoSpaces(lin, buf, 0);
    EXPECT_STREQ(buf, "");

    m.formatTime(buf, 1500.0f, 8);
    EXPECT_STREQ(buf, "1.500");
    m.formatTime(buf, 250.0f, 8);
    EXPECT_STREQ(buf, "250");
}

TEST_F(CoreFixture, SteppingWrapsListsAndStopsRanges)
{
    m.setWorkingValue(step, 5.0f);
    m.stepUp(step);
    EXPECT_EQ(m.getWorkingValue(step), 0.0f);
    m.stepDown(step);
    EXPECT_EQ(m.getWorkingValue(step), 5.0f);

    m.setWorkingValue(lin, 100.0f);
    m.stepUp(lin);
    EXPECT_EQ(m.getWorkingValue(lin), 100.0f);
    m.setWorkingValue(lin, 0.5f);
    m.stepDown(lin);
    EXPECT_EQ(m.getWorkingValue(lin), 0.0f);

    m.setWorkingValue(sw, 0.0f);
    m.stepUp(sw);
    EXPECT_EQ(m.getWorkingValue(sw), 1.0f);
    m.stepDown(sw);
    EXPECT_EQ(m.getWorkingValue(sw), 0.0f);

    m.setWorkingValue(midi, 127.0f);
    m.stepUp(midi);
    EXPECT_EQ(m.getWorkingValue(midi), 0.0f);
}

TEST_F(CoreFixture, RandomiseUsesTheSharedGeneratorAndHonoursTheFlag)
{
    // A fresh thread starts the generator from 1, so the draws are known.
    std::thread([this] {
        std::uint32_t s = 1;
        m.setValue(lin, 0.25f);
        m.setRandomisable(lin, false);
        EXPECT_FALSE(m.isRandomisable(lin));
        m.randomise(lin);
        EXPECT_EQ(m.getValue(lin), 0.25f);

        m.setRandomisable(lin, true);
        m.randomise(lin);
        EXPECT_FLOAT_EQ(m.getValue(lin), static_cast<float>(referenceRand(s)) / 32767.0f);
        m.randomise(sw);
        EXPECT_EQ(m.getValue(sw), (referenceRand(s) & 1) ? 1.0f : 0.0f);
        m.randomise(step); // 0..5 is not two-state: a fraction
        EXPECT_FLOAT_EQ(m.getValue(step), static_cast<float>(referenceRand(s)) / 32767.0f);
    }).join();
}

TEST_F(CoreFixture, ParsingTextsAndNoteDivisions)
{
    float v = 0.0f;
    EXPECT_TRUE(m.parseValue(lin, "12.5", v));
    EXPECT_EQ(v, 12.5f);
    EXPECT_TRUE(m.parseValue(lin, "1e9", v));
    EXPECT_EQ(v, 100.0f);
    EXPECT_FALSE(m.parseValue(lin, "abc", v));
    EXPECT_FALSE(m.parseValue(sw, "1", v));

    int p = -1;
    EXPECT_TRUE(m.parseNoteDivision(" 1/ 8.", p));
    EXPECT_EQ(p, 7);
    EXPECT_TRUE(m.parseNoteDivision("1/1", p));
    EXPECT_EQ(p, 14);
    EXPECT_FALSE(m.parseNoteDivision("1/3", p));
    EXPECT_FALSE(m.parseNoteDivision("1/16.x", p)); // six characters, no name

    m.setSynced(tsync, true);
    EXPECT_TRUE(m.parseValue(tsync, "1/4", v));
    EXPECT_EQ(v, 8.0f);
    m.setSynced(rsync, true);
    EXPECT_TRUE(m.parseValue(rsync, "1/4", v)); // 14 - 8, then limited to 0.1..20
    EXPECT_EQ(v, 6.0f);
}

TEST_F(CoreFixture, ValueStringsAndSnapshots)
{
    std::vector<std::string> list{"keep"};
    m.getValueStrings(lin, list);
    EXPECT_EQ(list, std::vector<std::string>{"keep"});
    m.getValueStrings(step, list);
    EXPECT_EQ(list, (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));

    m.setValue(lin, 0.1f);
    m.setValue(step, 0.2f);
    const int a = m.createSnapshot({step, lin});
    EXPECT_EQ(a, 0);
    m.setValue(lin, 0.9f);
    m.setValue(step, 0.9f);
    m.restoreSnapshot(a);
    EXPECT_EQ(m.getValue(lin), 0.1f);
    EXPECT_EQ(m.getValue(step), 0.2f);
    m.setValue(lin, 0.7f);
    m.updateSnapshot(a);
    m.setValue(lin, 0.0f);
    m.restoreSnapshot(a);
    EXPECT_EQ(m.getValue(lin), 0.7f);
    EXPECT_EQ(m.createSnapshot({}), 1);
    m.restoreSnapshot(5); // unknown numbers are ignored
    m.updateSnapshot(-1);
    EXPECT_EQ(m.getValue(lin), 0.7f);
}
