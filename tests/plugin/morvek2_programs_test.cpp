// Programs, names and state chunks of Morvek2 linked into the test: the bank of 40, setProgram,
// the "init" numbering, program and bank chunks with their size rules, and chunks from the
// outside world that must be mended before they reach the engines.
#include "params/Morvek2Params.h"
#include "vst2/Morvek2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

using namespace morvek2::param;

namespace {

VstTimeInfo gTime{};

VstIntPtr VSTCALLBACK programsHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&gTime);
    default:
        return 0;
    }
}

struct Probe : Morvek2
{
    Probe() : Morvek2(programsHost)
    {
        gTime = {};
        gTime.sampleRate = 44100.0;
        gTime.tempo = 120.0;
        gTime.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    }
    using Morvek2::getChainSlot;

    std::string name()
    {
        char text[kTextScratchSize] = {};
        getProgramName(text);
        return text;
    }
    std::string indexedName(int k)
    {
        char text[kTextScratchSize] = {};
        return getProgramNameIndexed(0, k, text) ? std::string(text) : std::string("<none>");
    }
    std::vector<std::uint8_t> chunk(bool preset)
    {
        void* data = nullptr;
        const VstInt32 size = getChunk(&data, preset);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return std::vector<std::uint8_t>(bytes, bytes + size);
    }
    VstInt32 load(std::vector<std::uint8_t> bytes, bool preset)
    {
        return setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), preset);
    }
    // Renders frames of a loud noise with the transport playing; answers whether every output
    // sample was finite.
    bool renderFinite(int frames)
    {
        std::vector<float> l(static_cast<std::size_t>(frames)), r(l.size());
        std::uint32_t seed = 7;
        for (std::size_t i = 0; i < l.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            l[i] = r[i] = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
        float* io[2] = {l.data(), r.data()};
        processReplacing(io, io, frames);
        gTime.ppqPos += frames * 120.0 / 60.0 / 44100.0;
        for (std::size_t i = 0; i < l.size(); ++i) {
            if (!std::isfinite(l[i]) || !std::isfinite(r[i])) {
                return false;
            }
        }
        return true;
    }
};

const char* const kFactoryNames[40] = {
    "01 Clean Slate",
    "02 Shift This",
    "03 Hi-Pass Junkie",
    "04 Random Filterpulse",
    "05 Mr Chunky",
    "06 Skittles",
    "07 Tone In Win Out",
    "08 Self Osc Acid",
    "09 Pulse Beacon",
    "10 Mini Minimal",
    "11 Band Shift",
    "12 Hollow Hills",
    "13 Low Pass Gate 1",
    "14 Low Pass Gate 2",
    "15 Hyper Style",
    "16 The Nerve ",
    "17 Auto Funk",
    "18 A Little Shifty",
    "19 Industro-Stomp",
    "20 Not Coming Through",
    "21 Nice And SImple",
    "22 HP Tinyshift",
    "23 Trips vs Straight",
    "24 Big Triplets",
    "25 Bubbler",
    "26 Full Of Techno",
    "27 Panfilter",
    "28 Polyrhythm",
    "29 Fuller Of Techno",
    "30 Slo Pan Filter",
    "31 Babbler",
    "32 Quarter Pulse",
    "33 Nice Easy Phaser",
    "34 Smooth Pulse",
    "35 Flangerator",
    "36 Four Measure FIlter",
    "37 Four Measure Phase",
    "38 Bandpass Shift",
    "39 Babblebrook",
    "40 Fuzzy Bumper",
};

bool sameLane(const SeqLane& a, const SeqLane& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(Morvek2Programs, FactoryNamesAndIndexedNames)
{
    Probe p;
    EXPECT_EQ(p.name(), "01 Clean Slate");
    for (int k = 0; k < 40; ++k) {
        EXPECT_EQ(p.indexedName(k), kFactoryNames[k]) << k;
    }
    EXPECT_EQ(p.indexedName(40), "<none>");
    EXPECT_EQ(p.indexedName(-1), "<none>");
    // Through the host's door as well: the category is ignored, index 40 answers 0.
    AEffect* e = p.getAeffect();
    char text[64] = {};
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 39, 7, text, 0.0f), 1);
    EXPECT_STREQ(text, "40 Fuzzy Bumper");
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 40, 0, text, 0.0f), 0);
}

TEST(Morvek2Programs, InitNamesCarryTheirNumberOnlyWhenCurrent)
{
    Probe p;
    p.setProgram(4);
    p.setProgramName("init");
    EXPECT_EQ(p.name(), "init 5");
    EXPECT_EQ(p.indexedName(4), "init");
    // "init" only as the whole name: "init 2" or "Init" stay as they are.
    p.setProgramName("Init");
    EXPECT_EQ(p.name(), "Init");
    // Cut to 23 characters, and the rest of the field is cleared.
    p.setProgramName("abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(p.name(), "abcdefghijklmnopqrstuvw");
    const ProgramRecord& r = p.currentRecord();
    EXPECT_EQ(r.name[23], '\0');
    p.setProgramName("ab");
    for (int i = 2; i < kProgramNameSize; ++i) {
        EXPECT_EQ(r.name[i], '\0') << i;
    }
}

TEST(Morvek2Programs, SetProgramAppliesRecordToLiveState)
{
    Probe p;
    AEffect* e = p.getAeffect();
    e->dispatcher(e, effSetProgram, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(p.getProgram(), 1);
    EXPECT_EQ(p.name(), "02 Shift This");
    const ProgramRecord& r = p.getProgramRecord(1);
    const int order[6] = {4, 5, 1, 2, 0, 3};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p.getChainSlot(i), order[i]);
        EXPECT_TRUE(sameLane(p.getLane(i), r.lanes[i])) << i;
    }
    EXPECT_EQ(r.editorPage, 3);
    EXPECT_EQ(p.getLane(0).length, 32);
    EXPECT_EQ(p.getLane(0).stepSize, 1);
    for (int i = 0; i < 93; ++i) {
        EXPECT_FLOAT_EQ(p.getParameter(i), p.getParameterManager().getValue(i));
    }
    const unsigned applied = p.getProgramsApplied();
    // Program numbers outside the bank change nothing.
    e->dispatcher(e, effSetProgram, 0, 40, nullptr, 0.0f);
    e->dispatcher(e, effSetProgram, 0, -1, nullptr, 0.0f);
    e->dispatcher(e, effSetProgram, 0, VstIntPtr{1} << 40, nullptr, 0.0f);
    EXPECT_EQ(p.getProgram(), 1);
    EXPECT_EQ(p.getProgramsApplied(), applied);
}

TEST(Morvek2Programs, BankRoundTripAndTheOneByteShortAnswer)
{
    Probe p;
    const std::vector<std::uint8_t> saved = p.chunk(false);
    ASSERT_EQ(saved.size(), 80960u);

    // Change things in two programs, then load the saved bank back.
    p.setProgram(2);
    p.setProgramName("changed");
    p.setParameter(17, 0.123f);
    p.setProgram(5);
    p.setParameter(90, 0.2f);
    std::vector<std::uint8_t> shortBank(saved.begin(), saved.end() - 1);
    EXPECT_EQ(p.load(shortBank, false), 0);
    EXPECT_EQ(p.indexedName(2), "changed");
    EXPECT_EQ(p.load(saved, true), 0); // a bank's size is not a program's

    EXPECT_EQ(p.load(saved, false), 1);
    EXPECT_EQ(p.getProgram(), 5);
    EXPECT_EQ(p.indexedName(2), "03 Hi-Pass Junkie");
    EXPECT_EQ(p.chunk(false), saved);
    // The current program was applied again from the restored record.
    EXPECT_FLOAT_EQ(p.getParameter(90), p.getProgramRecord(5).values[90]);
    EXPECT_NE(p.getParameter(90), 0.2f);

    EXPECT_EQ(p.setChunk(nullptr, 80960, false), 0);
    EXPECT_EQ(p.getChunk(nullptr, false), 0);
}

TEST(Morvek2Programs, ProgramChunkOfThreeLoadedOverSeven)
{
    Probe p;
    p.setProgram(3);
    const std::vector<std::uint8_t> three = p.chunk(true);
    ASSERT_EQ(three.size(), 2024u);
    p.setProgram(7);
    const std::vector<std::uint8_t> before3 = [&] {
        const auto* b = reinterpret_cast<const std::uint8_t*>(&p.getProgramRecord(3));
        return std::vector<std::uint8_t>(b, b + 2024);
    }();

    std::vector<std::uint8_t> shortOne(three.begin(), three.end() - 1);
    EXPECT_EQ(p.load(shortOne, true), 0);
    EXPECT_EQ(p.name(), "08 Self Osc Acid");

    EXPECT_EQ(p.load(three, true), 1);
    EXPECT_EQ(p.getProgram(), 7);
    EXPECT_EQ(p.name(), "04 Random Filterpulse");
    EXPECT_EQ(p.chunk(true), three);
    EXPECT_EQ(std::memcmp(&p.getProgramRecord(3), before3.data(), 2024), 0);
    for (int i = 0; i < 93; ++i) {
        EXPECT_FLOAT_EQ(p.getParameter(i), p.getProgramRecord(7).values[i]) << i;
    }
    for (int m = 0; m < 6; ++m) {
        EXPECT_TRUE(sameLane(p.getLane(m), p.getProgramRecord(7).lanes[m])) << m;
    }
}

TEST(Morvek2Programs, LengthParameterWinsOverTheLaneHeader)
{
    Probe p;
    std::vector<std::uint8_t> bytes = p.chunk(true);
    ProgramRecord r;
    std::memcpy(&r, bytes.data(), sizeof r);
    r.values[kLengthParam[1]] = 7.0f / 32.0f; // Filter Length 8
    r.lanes[1].length = 16;
    r.lanes[1].position = 12;
    r.lanes[2].length = 16; // Distort Length stays 16: position 12 stays
    r.lanes[2].position = 12;
    std::memcpy(bytes.data(), &r, sizeof r);
    ASSERT_EQ(p.load(bytes, true), 1);
    EXPECT_EQ(p.getLane(1).length, 8);
    EXPECT_EQ(p.getLane(1).position, 7);
    EXPECT_EQ(p.currentRecord().lanes[1].length, 8);
    EXPECT_EQ(p.currentRecord().lanes[1].position, 7);
    EXPECT_EQ(p.getLane(2).length, 16);
    EXPECT_EQ(p.getLane(2).position, 12);
}

TEST(Morvek2Programs, DamagedChunkIsMendedAndInRangeBytesStay)
{
    Probe p;
    std::vector<std::uint8_t> bytes = p.chunk(true);
    ProgramRecord r;
    std::memcpy(&r, bytes.data(), sizeof r);
    std::memset(r.name, 'A', sizeof r.name); // no terminator
    r.header = 77;
    r.values[17] = std::numeric_limits<float>::quiet_NaN();
    r.values[90] = 5.0f;
    r.values[91] = -std::numeric_limits<float>::infinity();
    r.lanes[0].position = 400;
    r.lanes[0].length = 0;
    r.lanes[1].stepSize = 12;
    r.lanes[2].direction = 9;
    r.lanes[3].steps[4].value = std::numeric_limits<float>::infinity();
    r.lanes[4].reserved = 1234;
    r.lanes[4].padding[0] = 0x5A;
    const std::uint16_t badOrder[6] = {0, 0, 7, 3, 4, 5};
    std::memcpy(r.chainOrder, badOrder, sizeof badOrder);
    r.editorPage = 17;
    r.padding[1] = 0xEE;
    // The parameters would rewrite the lane fields; make them disagree so only repair shows.
    r.values[kLengthParam[0]] = 1.0f; // VCA Length 32
    std::memcpy(bytes.data(), &r, sizeof r);

    ASSERT_EQ(p.load(bytes, true), 1);
    const ProgramRecord& got = p.currentRecord();
    EXPECT_EQ(got.header, 77);
    EXPECT_EQ(std::string(got.name), std::string(23, 'A'));
    EXPECT_TRUE(std::isfinite(got.values[17]));
    EXPECT_EQ(got.values[90], 1.0f);
    EXPECT_TRUE(got.values[91] >= 0.0f && got.values[91] <= 1.0f);
    for (int m = 0; m < 6; ++m) {
        EXPECT_GE(got.lanes[m].length, 1);
        EXPECT_LE(got.lanes[m].length, 32);
        EXPECT_GE(got.lanes[m].position, 0);
        EXPECT_LT(got.lanes[m].position, got.lanes[m].length);
        EXPECT_GE(got.lanes[m].stepSize, 0);
        EXPECT_LE(got.lanes[m].stepSize, 9);
        EXPECT_GE(got.lanes[m].direction, 0);
        EXPECT_LE(got.lanes[m].direction, 2);
        EXPECT_EQ(p.getChainSlot(m), m);
        EXPECT_EQ(got.chainOrder[m], m);
    }
    EXPECT_EQ(got.lanes[3].steps[4].value, 0.0f);
    // Fields in range are carried exactly, including the ones nothing reads.
    EXPECT_EQ(got.lanes[4].reserved, 1234);
    EXPECT_EQ(got.lanes[4].padding[0], 0x5A);
    EXPECT_EQ(got.padding[1], 0xEE);
    EXPECT_EQ(got.editorPage, 0);
    EXPECT_EQ(std::memcmp(got.lanes[5].steps, r.lanes[5].steps, sizeof r.lanes[5].steps), 0);
    EXPECT_TRUE(p.renderFinite(8192));
}

TEST(Morvek2Programs, RepairKeepsSaneRecordsByteForByte)
{
    Probe p;
    for (int k = 0; k < 40; ++k) {
        ProgramRecord r = p.getProgramRecord(k);
        EXPECT_EQ(program::repairRecord(r), 0u) << k;
        EXPECT_EQ(std::memcmp(&r, &p.getProgramRecord(k), sizeof r), 0) << k;
    }
    ProgramRecord r{};
    program::initRecord(r);
    r.chainOrder[5] = 4; // two 4s, no 5
    EXPECT_EQ(program::repairRecord(r), unsigned{program::kRepairedChainOrder});
    EXPECT_TRUE(program::isChainPermutation(r.chainOrder));
}

TEST(Morvek2Programs, ChunksAndProgramChangesWhileAnotherThreadProcesses)
{
    Probe p;
    std::vector<std::uint8_t> bank = p.chunk(false);
    // A damaged copy: the audio thread must never see its raw fields.
    std::vector<std::uint8_t> damaged = bank;
    for (std::size_t i = 400; i < damaged.size(); i += 97) {
        damaged[i] = 0xFF;
    }
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        while (!stop.load()) {
            if (!p.renderFinite(256)) {
                finite = false;
            }
        }
    });
    for (int round = 0; round < 30; ++round) {
        p.setProgram(round % 40);
        EXPECT_EQ(p.load(round % 2 ? damaged : bank, false), 1);
        EXPECT_EQ(p.load(std::vector<std::uint8_t>(damaged.begin() + 2024 * (round % 40),
                                                   damaged.begin() + 2024 * (round % 40 + 1)),
                         true),
                  1);
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite.load());
    for (int m = 0; m < 6; ++m) {
        const SeqLane& lane = p.getLane(m);
        EXPECT_TRUE(lane.length >= 1 && lane.length <= 32);
        EXPECT_TRUE(lane.position >= 0 && lane.position < lane.length);
    }
}
