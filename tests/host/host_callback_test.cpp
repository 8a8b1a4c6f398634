#include "host/host_callback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using morvek2::host::Host;
using morvek2::host::HostConfig;
using morvek2::host::HostLog;
using morvek2::host::HostRequest;

#include "support/alloc_counter.h"

namespace {

VstIntPtr call(AEffect* e, int32_t opcode, int32_t index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f)
{
    return Host::callback(e, opcode, index, value, ptr, opt);
}

// A record that only serves as a key for the routing.
struct FakeEffect
{
    AEffect effect{};
};

} // namespace

TEST(HostCallback, VersionAnswerIsConfigurableIncludingZero)
{
    Host host;
    {
        Host::Creation creating(host);
        EXPECT_EQ(call(nullptr, audioMasterVersion), 2400);
        host.config().version = 0;
        EXPECT_EQ(call(nullptr, audioMasterVersion), 0);
    }
    EXPECT_EQ(host.log().count(audioMasterVersion), 2u);
}

TEST(HostCallback, RoutesEachEffectToItsOwnHostAndCountsStrays)
{
    FakeEffect a, b, stray;
    Host hostA, hostB;
    hostA.setSampleRate(44100.0f);
    hostB.setSampleRate(96000.0f);
    ASSERT_TRUE(hostA.attach(&a.effect));
    ASSERT_TRUE(hostB.attach(&b.effect));
    EXPECT_EQ(call(&a.effect, audioMasterGetSampleRate), 44100);
    EXPECT_EQ(call(&b.effect, audioMasterGetSampleRate), 96000);

    const uint64_t unrouted = Host::unroutedCalls();
    EXPECT_EQ(call(&stray.effect, audioMasterVersion), 0);
    EXPECT_EQ(Host::unroutedCalls(), unrouted + 1);

    // Calls during creation (no record yet, or a record not yet attached) reach the new host,
    // and the previous creation is restored after a nested one.
    {
        Host::Creation outer(hostA);
        {
            Host::Creation inner(hostB);
            EXPECT_EQ(call(nullptr, audioMasterGetSampleRate), 96000);
            EXPECT_EQ(call(&stray.effect, audioMasterGetSampleRate), 96000);
        }
        EXPECT_EQ(call(nullptr, audioMasterGetSampleRate), 44100);
    }

    hostB.detach();
    EXPECT_EQ(call(&b.effect, audioMasterGetSampleRate), 0);
    EXPECT_EQ(Host::unroutedCalls(), unrouted + 2);
    EXPECT_EQ(call(&a.effect, audioMasterGetSampleRate), 44100);
}

TEST(HostCallback, PinConnectionAnswersAreInvertedBooleans)
{
    HostConfig config;
    config.connectedInputs = 1;
    config.connectedOutputs = 2;
    Host host(config);
    // value 0 asks about an input pin, anything else about an output pin; 0 means connected.
    EXPECT_EQ(host.answer(nullptr, audioMasterPinConnected, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(host.answer(nullptr, audioMasterPinConnected, 1, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(host.answer(nullptr, audioMasterPinConnected, 1, 1, nullptr, 0.0f), 0);
    EXPECT_EQ(host.answer(nullptr, audioMasterPinConnected, 2, 1, nullptr, 0.0f), 1);
    EXPECT_EQ(host.answer(nullptr, audioMasterPinConnected, -1, 0, nullptr, 0.0f), 1);
}

TEST(HostCallback, CanDoAnswersExactStringsOnly)
{
    HostConfig config;
    config.canDoDefault = -1;
    const std::string longKey(43, 'k');
    config.canDo[longKey] = 1;
    Host host(config);
    auto canDo = [&](std::string text) {
        return host.answer(nullptr, audioMasterCanDo, 0, 0, text.data(), 0.0f);
    };
    EXPECT_EQ(canDo("sendVstTimeInfo"), 1);
    EXPECT_EQ(canDo("sizeWindow"), -1);
    EXPECT_EQ(canDo("sendVstTimeInfo "), -1);
    EXPECT_EQ(canDo(""), -1);
    EXPECT_EQ(canDo("somethingNew"), -1);
    EXPECT_EQ(canDo(longKey), 1);
    // Longer than what the log keeps, and starting with a configured key: no match.
    EXPECT_EQ(canDo(longKey + "kkkkk"), -1);
    EXPECT_EQ(host.answer(nullptr, audioMasterCanDo, 0, 0, nullptr, 0.0f), -1);

    const auto asked = host.log().requests(audioMasterCanDo);
    ASSERT_EQ(asked.size(), 8u);
    EXPECT_STREQ(asked[0].text, "sendVstTimeInfo");
    EXPECT_EQ(std::strlen(asked[6].text), 43u); // bounded copy of the long text
}

TEST(HostCallback, TimeInfoFollowsTransportOrIsNull)
{
    HostConfig config;
    config.editTimeInfo = [](VstTimeInfo& info) { info.smpteOffset = 1234; };
    Host host(config);
    host.setSampleRate(48000.0f);
    host.transport().setTempo(140.0);
    host.transport().locate(4.5);

    auto* info = reinterpret_cast<VstTimeInfo*>(
        host.answer(nullptr, audioMasterGetTime, 0, 0x602, nullptr, 0.0f));
    ASSERT_NE(info, nullptr);
    EXPECT_DOUBLE_EQ(info->ppqPos, 4.5);
    EXPECT_DOUBLE_EQ(info->tempo, 140.0);
    EXPECT_DOUBLE_EQ(info->sampleRate, 48000.0);
    EXPECT_EQ(info->smpteOffset, 1234);
    EXPECT_EQ(host.log().lastTimeMask(), 0x602);

    host.config().provideTimeInfo = false;
    EXPECT_EQ(host.answer(nullptr, audioMasterGetTime, 0, 0xff00, nullptr, 0.0f), 0);
    EXPECT_EQ(host.log().lastTimeMask(), 0xff00);
    EXPECT_EQ(host.log().count(audioMasterGetTime), 2u);
    // Per-block requests are counted but do not fill the ordered log.
    EXPECT_TRUE(host.log().requests().empty());
}

TEST(HostCallback, ProcessLevelFollowsProcessCallUnlessConfigured)
{
    Host host;
    EXPECT_EQ(host.answer(nullptr, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f), 1);
    host.setInProcess(true);
    EXPECT_EQ(host.answer(nullptr, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f), 2);
    host.config().processLevel = kVstProcessLevelOffline;
    EXPECT_EQ(host.answer(nullptr, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f), 4);
}

TEST(HostCallback, HostStringsAreTruncatedToTheirLimit)
{
    HostConfig config;
    config.vendor = std::string(100, 'v');
    Host host(config);
    char buffer[80];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(host.answer(nullptr, audioMasterGetVendorString, 0, 0, buffer, 0.0f), 1);
    EXPECT_EQ(std::strlen(buffer), 63u);
    EXPECT_EQ(buffer[64], '#'); // nothing written past the 64-byte limit
    EXPECT_EQ(host.answer(nullptr, audioMasterGetProductString, 0, 0, nullptr, 0.0f), 0);
}

TEST(HostCallback, LogsGesturesAndAutomationInOrder)
{
    std::vector<std::pair<int32_t, float>> seen;
    HostConfig config;
    Host* self = nullptr;
    config.onAutomate = [&](AEffect*, int32_t index, float value) {
        seen.emplace_back(index, value);
        // A host that reacts inside the callback, calling back into the log: no deadlock.
        self->answer(nullptr, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
    };
    Host host(config);
    self = &host;
    host.answer(nullptr, audioMasterBeginEdit, 7, 0, nullptr, 0.0f);
    host.answer(nullptr, audioMasterAutomate, 7, 0, nullptr, 0.25f);
    host.answer(nullptr, audioMasterAutomate, 7, 0, nullptr, 0.5f);
    host.answer(nullptr, audioMasterEndEdit, 7, 0, nullptr, 0.0f);
    host.answer(nullptr, audioMasterWantMidi, 0, 1, nullptr, 0.0f);

    const auto all = host.log().requests();
    const int32_t expected[] = {audioMasterBeginEdit,     audioMasterAutomate,
                                audioMasterUpdateDisplay, audioMasterAutomate,
                                audioMasterUpdateDisplay, audioMasterEndEdit,
                                audioMasterWantMidi};
    ASSERT_EQ(all.size(), std::size(expected));
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].opcode, expected[i]) << "request " << i;
    }
    const auto automations = host.log().automations();
    ASSERT_EQ(automations.size(), 2u);
    EXPECT_EQ(automations[1], std::make_pair(7, 0.5f));
    EXPECT_EQ(seen, automations);
    EXPECT_EQ(host.log().count(audioMasterWantMidi), 1u);

    host.log().clear();
    EXPECT_TRUE(host.log().requests().empty());
    EXPECT_EQ(host.log().count(audioMasterAutomate), 0u);
}

TEST(HostCallback, AutomationFromManyThreadsIsAllLogged)
{
    Host host;
    constexpr int kThreads = 4;
    constexpr int kEach = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&host, t] {
            for (int i = 0; i < kEach; ++i) {
                host.answer(nullptr, audioMasterAutomate, t, 0, nullptr,
                            static_cast<float>(i) / kEach);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(host.log().count(audioMasterAutomate), static_cast<uint64_t>(kThreads * kEach));
    const auto automations = host.log().automations();
    ASSERT_EQ(automations.size(), static_cast<std::size_t>(kThreads * kEach));
    // Each thread's values arrive complete and in the order it sent them.
    std::vector<int> next(kThreads, 0);
    for (const auto& [index, value] : automations) {
        ASSERT_GE(index, 0);
        ASSERT_LT(index, kThreads);
        EXPECT_FLOAT_EQ(value, static_cast<float>(next[index]) / kEach);
        ++next[index];
    }
}

TEST(HostCallback, FullLogKeepsCountingAndReportsDrops)
{
    HostLog log(10);
    HostRequest r;
    r.opcode = audioMasterAutomate;
    for (int i = 0; i < 15; ++i) {
        r.index = i;
        log.record(r);
    }
    EXPECT_EQ(log.requests().size(), 10u);
    EXPECT_EQ(log.requests().back().index, 9);
    EXPECT_EQ(log.dropped(), 5u);
    EXPECT_EQ(log.count(audioMasterAutomate), 15u);
}

TEST(HostCallback, AnswersOnTheAudioPathAllocateNothing)
{
    Host host;
    FakeEffect fx;
    ASSERT_TRUE(host.attach(&fx.effect));
    char text[] = "sendVstEvents";
    morvek2::test::AllocationScope counter;
    for (int i = 0; i < 100; ++i) {
        call(&fx.effect, audioMasterGetTime, 0, 0x602);
        call(&fx.effect, audioMasterAutomate, 3, 0, nullptr, 0.5f);
        call(&fx.effect, audioMasterPinConnected, 1, 0);
        call(&fx.effect, audioMasterCanDo, 0, 0, text);
        call(&fx.effect, audioMasterGetCurrentProcessLevel);
    }
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_EQ(host.log().count(audioMasterAutomate), 100u);
}
