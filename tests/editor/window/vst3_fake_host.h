// The host's side of a VST3 editor view, for the view tests on Linux and under wine: a component
// handler that notes the edits it hears, a plug-in frame that notes size requests and hands out
// a run loop (or none) whose timer the test calls itself; and the parameter changes a host hands
// to process.
#pragma once

#include "vst3/vst3_abi.h"

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace morvek2::test {

class Vst3FakeHost
{
public:
    using Edit = std::tuple<char, std::uint32_t, double>; // 'b' begin, 'p' perform, 'e' end

    Vst3FakeHost() = default;
    Vst3FakeHost(const Vst3FakeHost&) = delete;
    Vst3FakeHost& operator=(const Vst3FakeHost&) = delete;

    std::vector<Edit> edits;
    std::vector<std::pair<int, int>> sizes;
    void* timer = nullptr; // the view's ITimerHandler while it is registered
    bool offerRunLoop = true;

    void* handler() { return &handlerPort; }
    void* frame() { return &framePort; }
    // Runs the view's timer once, as the host's run loop would.
    void fireTimer()
    {
        if (timer) {
            vst3::tableOf<vst3::TimerHandlerTable>(timer).onTimer(timer);
        }
    }

private:
    using Result = vst3::Result;
    struct Port
    {
        const void* table;
        Vst3FakeHost* host;
    };
    static Vst3FakeHost& of(void* self) { return *static_cast<Port*>(self)->host; }

    static Result MORVEK2_VST3_CALL none(void*, const std::uint8_t*, void** object)
    {
        *object = nullptr;
        return vst3::kNoInterface;
    }
    static std::uint32_t MORVEK2_VST3_CALL one(void*) { return 1; }
    static Result MORVEK2_VST3_CALL begin(void* self, vst3::ParamId id)
    {
        of(self).edits.emplace_back('b', id, 0.0);
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL perform(void* self, vst3::ParamId id, double value)
    {
        of(self).edits.emplace_back('p', id, value);
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL end(void* self, vst3::ParamId id)
    {
        of(self).edits.emplace_back('e', id, 0.0);
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL restart(void* self, std::int32_t flags)
    {
        of(self).edits.emplace_back('r', static_cast<vst3::ParamId>(flags), 0.0);
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL frameQuery(void* self, const std::uint8_t* iid, void** object)
    {
        Vst3FakeHost& host = of(self);
        const bool loop = host.offerRunLoop && vst3::sameIid(iid, vst3::kIidRunLoop);
        *object = loop ? &host.runLoopPort : nullptr;
        return loop ? vst3::kResultOk : vst3::kNoInterface;
    }
    static Result MORVEK2_VST3_CALL resize(void* self, void*, vst3::ViewRect* rect)
    {
        of(self).sizes.emplace_back(rect->right - rect->left, rect->bottom - rect->top);
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL addTimer(void* self, void* handler, std::uint64_t)
    {
        of(self).timer = handler;
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL removeTimer(void* self, void* handler)
    {
        if (handler == of(self).timer) {
            of(self).timer = nullptr;
        }
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL addFd(void*, void*, int) { return vst3::kResultFalse; }
    static Result MORVEK2_VST3_CALL removeFd(void*, void*) { return vst3::kResultFalse; }

    static constexpr vst3::ComponentHandlerTable kHandler{
        {none, one, one}, begin, perform, end, restart};
    static constexpr vst3::PlugFrameTable kFrame{{frameQuery, one, one}, resize};
    static constexpr vst3::RunLoopTable kRunLoop{
        {none, one, one}, addFd, removeFd, addTimer, removeTimer};

    Port handlerPort{&kHandler, this};
    Port framePort{&kFrame, this};
    Port runLoopPort{&kRunLoop, this};
};

// Input parameter changes for one process call: the points of one parameter, added in the
// order of their offsets.
class Vst3FakeChanges
{
public:
    Vst3FakeChanges() = default;
    Vst3FakeChanges(const Vst3FakeChanges&) = delete;
    Vst3FakeChanges& operator=(const Vst3FakeChanges&) = delete;

    vst3::ParamId id = 0;
    std::vector<std::pair<std::int32_t, double>> points;

    void* changes() { return &changesPort; }

private:
    using Result = vst3::Result;
    struct Port
    {
        const void* table;
        Vst3FakeChanges* changes;
    };
    static Vst3FakeChanges& of(void* self) { return *static_cast<Port*>(self)->changes; }

    static Result MORVEK2_VST3_CALL none(void*, const std::uint8_t*, void** object)
    {
        *object = nullptr;
        return vst3::kNoInterface;
    }
    static std::uint32_t MORVEK2_VST3_CALL one(void*) { return 1; }
    static vst3::ParamId MORVEK2_VST3_CALL queueId(void* self) { return of(self).id; }
    static std::int32_t MORVEK2_VST3_CALL pointCount(void* self)
    {
        return static_cast<std::int32_t>(of(self).points.size());
    }
    static Result MORVEK2_VST3_CALL point(void* self, std::int32_t index, std::int32_t* offset,
                                          double* value)
    {
        const auto& points = of(self).points;
        if (index < 0 || static_cast<std::size_t>(index) >= points.size()) {
            return vst3::kInvalidArgument;
        }
        std::tie(*offset, *value) = points[static_cast<std::size_t>(index)];
        return vst3::kResultOk;
    }
    static Result MORVEK2_VST3_CALL addPoint(void*, std::int32_t, double, std::int32_t*)
    {
        return vst3::kResultFalse;
    }
    static std::int32_t MORVEK2_VST3_CALL count(void* self)
    {
        return of(self).points.empty() ? 0 : 1;
    }
    static void* MORVEK2_VST3_CALL data(void* self, std::int32_t index)
    {
        return index == 0 ? &of(self).queuePort : nullptr;
    }
    static void* MORVEK2_VST3_CALL addData(void*, const vst3::ParamId*, std::int32_t*)
    {
        return nullptr;
    }

    static constexpr vst3::ParamValueQueueTable kQueue{
        {none, one, one}, queueId, pointCount, point, addPoint};
    static constexpr vst3::ParameterChangesTable kChanges{{none, one, one}, count, data, addData};

    Port changesPort{&kChanges, this};
    Port queuePort{&kQueue, this};
};

} // namespace morvek2::test
