// What a host learns from the built module: entry points, record, identity, capabilities and the
// parameter texts it shows in its generic editor.
#include "module_under_test.h"

#include <cstring>
#include <string>

using namespace morvek2::host;
using binarytest::loadPlugin;

namespace {

// The callback the entry points are called with when a test calls them by hand.
VstIntPtr VSTCALLBACK versionOnlyHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

} // namespace

TEST(ModuleEntry, BothExportedNamesCreateAPlugin)
{
    SharedLibrary library;
    std::string error;
    ASSERT_TRUE(library.open(binarytest::modulePath(), error)) << error;
    for (const char* name : {"VSTPluginMain", "main"}) {
        auto entry = reinterpret_cast<Module::EntryPoint>(library.symbol(name));
        ASSERT_NE(entry, nullptr) << name;
        AEffect* effect = entry(&versionOnlyHost);
        ASSERT_NE(effect, nullptr) << name;
        EXPECT_EQ(effect->magic, kEffectMagic);
        EXPECT_EQ(effect->uniqueID, 0x5A4B6D32);
        EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
    }
    // Without a callback there is no version to ask for, so no plug-in either.
    auto entry = reinterpret_cast<Module::EntryPoint>(library.symbol("VSTPluginMain"));
    EXPECT_EQ(entry(nullptr), nullptr);
}

TEST(ModuleEntry, HostThatAnswersZeroToTheVersionGetsNothing)
{
    HostConfig config;
    config.version = 0;
    std::string error;
    auto plugin = Plugin::load(binarytest::modulePath(), error, config);
    EXPECT_EQ(plugin, nullptr);
    EXPECT_NE(error.find("null"), std::string::npos) << error;
}

TEST(ModuleRecord, FieldsAHostReadsRightAfterTheEntryPoint)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->magic(), kEffectMagic);
    EXPECT_EQ(plugin->uniqueId(), 0x5A4B6D32);
    EXPECT_EQ(plugin->numPrograms(), 40);
    EXPECT_EQ(plugin->numParams(), 93);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_EQ(plugin->version(), 1);
    EXPECT_EQ(plugin->initialDelay(), 0);
    EXPECT_EQ(plugin->effect()->ioRatio, 1.0f);
    // Replacing processing and chunk state; never a synth, never double precision.
    // The editor exists from construction on, so it is announced at once (0x31).
    EXPECT_EQ(plugin->flags(), effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks);
    const auto rect = plugin->editorRect();
    ASSERT_TRUE(rect.has_value()) << "an announced editor must have a size";
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 447);
    EXPECT_EQ(rect->right, 647);
    EXPECT_TRUE(plugin->reservedFieldIntact());
}

TEST(ModuleIdentity, StringsVersionsAndFixedAnswers)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->effectName(), "Morvek2");
    EXPECT_EQ(plugin->productString(), "Morvek2");
    EXPECT_EQ(plugin->vendorString(), "Zendrik, Inc.");
    EXPECT_EQ(plugin->vendorVersion(), 1200);
    EXPECT_EQ(plugin->vstVersion(), 2400);
    EXPECT_EQ(plugin->plugCategory(), kPlugCategEffect);
    EXPECT_EQ(plugin->tailSize(), 0);
    EXPECT_EQ(plugin->dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(plugin->dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(plugin->dispatch(effString2Parameter, 0, 0, const_cast<char*>("0.5")), 0);
    VstPinProperties pin{};
    EXPECT_EQ(plugin->dispatch(effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(plugin->dispatch(effGetOutputProperties, 1, 0, &pin), 0);
    EXPECT_EQ(plugin->dispatch(effProcessEvents, 0, 0, nullptr), 0) << "no event list";
    for (int32_t i = 0; i < 93; ++i) {
        EXPECT_TRUE(plugin->canBeAutomated(i)) << i;
    }
    EXPECT_FALSE(plugin->canBeAutomated(93));
    EXPECT_FALSE(plugin->canBeAutomated(-1));
}

TEST(ModuleIdentity, CanDoComparesWholeStrings)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    for (const char* yes : {"plugAsChannelInsert", "plugAsSend", "receiveVstMidiEvent", "1in1out",
                            "1in2out", "2in2out"}) {
        EXPECT_EQ(plugin->canDo(yes), 1) << yes;
    }
    for (const char* other :
         {"2in2out ", "", "2in2ou", "2IN2OUT", " 2in2out", "receiveVstEvents",
          "receiveVstMidiEvents", "bypass", "hasCockosExtensions", "sendVstMidiEvent"}) {
        EXPECT_EQ(plugin->canDo(other), 0) << '"' << other << '"';
    }
    EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST(ModuleParameterTexts, ShortNamesAndLabelsTheHostShows)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->parameterName(0), "VCAAtak");
    EXPECT_EQ(plugin->parameterName(4), "VCA Gate");
    EXPECT_EQ(plugin->parameterName(17), "FiltFreq");
    EXPECT_EQ(plugin->parameterName(38), "Dist Dir");
    EXPECT_EQ(plugin->parameterName(63), "Mix");
    EXPECT_EQ(plugin->parameterName(90), "Out Gain");
    EXPECT_EQ(plugin->parameterName(92), "Active");
    EXPECT_EQ(plugin->parameterLabel(0), "ms");
    EXPECT_EQ(plugin->parameterLabel(2), "%");
    EXPECT_EQ(plugin->parameterLabel(3), "");
    EXPECT_EQ(plugin->parameterLabel(17), "Hz");
    EXPECT_EQ(plugin->parameterLabel(90), "dB");
    for (int32_t i = 0; i < 93; ++i) {
        const std::string name = plugin->parameterName(i);
        EXPECT_FALSE(name.empty()) << i;
        EXPECT_LE(name.size(), 8u) << i;
        EXPECT_LE(plugin->parameterLabel(i).size(), 8u) << i;
        EXPECT_LE(plugin->parameterDisplay(i).size(), 8u) << i;
    }
    for (int32_t bad : {-1, 93, 1000}) {
        EXPECT_EQ(plugin->parameterName(bad), "");
        EXPECT_EQ(plugin->parameterDisplay(bad), "");
        EXPECT_EQ(plugin->getParameter(bad), 0.0f);
    }
}

TEST(ModuleParameterTexts, DisplaysOfTheHostVisibleEdgeCases)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(0, 0.0f); // VCA Attack at its minimum of 1 ms
    EXPECT_EQ(plugin->parameterDisplay(0), "   1");
    plugin->setParameter(17, 1.0f); // Filter Freq at 20 kHz
    EXPECT_EQ(plugin->parameterDisplay(17), " 20.0k");

    plugin->setParameter(9, 0.75f); // a modulation amount of +0.5
    EXPECT_EQ(plugin->parameterDisplay(9), "+50");
    plugin->setParameter(9, 0.51f); // snapped to the centre
    EXPECT_EQ(plugin->getParameter(9), 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(9), " +0");
    plugin->setParameter(9, 0.53f);
    EXPECT_EQ(plugin->getParameter(9), 0.53f);
    EXPECT_EQ(plugin->parameterDisplay(9), " +6");
    plugin->setParameter(71, 0.51f); // Shift Feedback Mod is not snapped
    EXPECT_EQ(plugin->getParameter(71), 0.51f);

    plugin->setParameter(3, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(3), " CTR");
    plugin->setParameter(3, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(3), " L100");
    plugin->setParameter(3, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(3), " R100");

    plugin->setParameter(90, 0.0f); // Output Gain at -40 dB
    EXPECT_EQ(plugin->parameterDisplay(90), " -40");
    EXPECT_EQ(plugin->parameterLabel(90), "dB");

    plugin->setParameter(77, 0.0f); // Bits Bit Depth
    EXPECT_EQ(plugin->parameterDisplay(77), "24");
    plugin->setParameter(77, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(77), "1");

    plugin->setParameter(7, 0.99f); // a Length: whole steps only
    EXPECT_EQ(plugin->getParameter(7), 0.96875f);
    plugin->setParameter(7, 0.5f);
    EXPECT_EQ(plugin->getParameter(7), 0.5f);
}

TEST(ModuleParameterTexts, DelayTimeFollowsTheDelayMode)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(46, 0.0f); // Delay mode: note divisions
    plugin->setParameter(44, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(44), "1/1  ");
    EXPECT_EQ(plugin->parameterLabel(44), "");

    plugin->setParameter(46, 0.5f); // Chorus: milliseconds of a 50 ms range
    EXPECT_EQ(plugin->getParameter(44), 1.0f) << "the mode change keeps the normalised value";
    EXPECT_EQ(plugin->parameterLabel(44), "msec");
    plugin->setParameter(44, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(44), " 25");
    EXPECT_EQ(plugin->parameterDisplay(46), "Chorus");

    plugin->setParameter(46, 0.0f);
    EXPECT_EQ(plugin->parameterLabel(44), "");
}

TEST(ModulePrograms, ProgramNumbersStayInRange)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->program(), 0);
    plugin->setProgram(5);
    EXPECT_EQ(plugin->program(), 5);
    for (int32_t bad : {40, -1, 1000}) {
        plugin->setProgram(bad);
        EXPECT_EQ(plugin->program(), 5);
    }
    const std::string name = plugin->programName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 24u);
    EXPECT_TRUE(plugin->programNameIndexed(0).has_value());
    EXPECT_TRUE(plugin->programNameIndexed(39).has_value());
    EXPECT_FALSE(plugin->programNameIndexed(40).has_value());
    EXPECT_FALSE(plugin->programNameIndexed(-1).has_value());
}
