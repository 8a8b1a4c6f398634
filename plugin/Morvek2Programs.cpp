// The bank of 40 programs: factory programs, program changes, names and the host's state chunks.

#include "plugin/FactoryPrograms.h"
#include "plugin/Morvek2Core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace {

// A record's name, read field by field (another thread may be renaming it), always terminated.
void readName(const ProgramRecord& record, char (&out)[kProgramNameSize])
{
    for (int i = 0; i < kProgramNameSize; ++i) {
        out[i] = seq::load(record.name[i]);
    }
    out[kProgramNameSize - 1] = '\0';
}

// Writes a factory program into an empty record: the values, the chain order, the editor page,
// and each lane from its header and steps.
void writeFactoryProgram(ProgramRecord& r, int k)
{
    std::memset(r.name, 0, sizeof r.name);
    std::strncpy(r.name, factory::kNames[k], kProgramNameSize - 1);
    std::memcpy(r.values, factory::kValues[k], sizeof r.values);
    for (int m = 0; m < kProgramLaneCount; ++m) {
        r.chainOrder[m] = factory::kChainOrders[k][m];
    }
    r.editorPage = static_cast<std::int16_t>(factory::kEditorPages[k]);

    for (int m = 0; m < kProgramLaneCount; ++m) {
        SeqLane& lane = r.lanes[m];
        const std::int16_t* h = factory::kLaneHeaders[k][m];
        lane.length = h[1];
        lane.position = h[0] < h[1] ? h[0] : static_cast<std::int16_t>(h[1] - 1);
        lane.direction = h[2];
        if (h[3] < seq::kStepSizeCount) {
            lane.stepSize = h[3];
        }
        lane.reserved = h[4];
        for (int s = 0; s < kSeqStepCount; ++s) {
            const std::uint16_t flags = factory::kStepFlags[k][m][s];
            SeqStep& step = lane.steps[s];
            step.value = factory::kStepValues[k][m][s];
            step.gate = (flags & factory::kFlagGate) ? 1 : 0;
            step.valueLock = (flags & factory::kFlagValueLock) ? 1 : 0;
            step.gateLock = (flags & factory::kFlagGateLock) ? 1 : 0;
        }
    }
}

} // namespace

void Morvek2Core::buildBank()
{
    // Fallbacks for values a damaged chunk leaves undefined: the parameters' defaults.
    for (int i = 0; i < kNumParams; ++i) {
        defaultValues[i] = params->workingToNormalised(i, params->getDefault(i));
    }
    for (int k = 0; k < kNumPrograms; ++k) {
        program::initRecord(bank[k]);
        writeFactoryProgram(bank[k], k);
        // The generator checks its data; this only keeps a bad table from reaching the engines.
        repairIncoming(bank[k]);
    }
}

unsigned Morvek2Core::repairIncoming(ProgramRecord& record) // [ui]
{
    return program::repairRecord(record, defaultValues.data());
}

void Morvek2Core::setProgram(int program) // [ui]
{
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    const std::lock_guard<std::recursive_mutex> writers(programWriters);
    curProgram.store(program, std::memory_order_relaxed);
    applyProgram(program);
}

bool Morvek2Core::trySetProgram(int program) // [audio]
{
    if (program < 0 || program >= kNumPrograms) {
        return true;
    }
    const std::unique_lock<std::recursive_mutex> writers(programWriters, std::try_to_lock);
    if (!writers.owns_lock()) {
        return false;
    }
    curProgram.store(program, std::memory_order_relaxed);
    applyProgram(program, true);
    return true;
}

void Morvek2Core::applyProgram(int k, bool live) // [ui], or [audio] under programWriters
{
    ProgramRecord& record = bank[clampProgram(k)];
    // The parameters first: their Step Size, Length and Direction are written into the record's
    // lanes, so they win over the lane headers copied next.
    for (int i = 0; i < kNumParams; ++i) {
        setParameter(i, seq::load(record.values[i]));
    }
    for (int m = 0; m < kNumModules; ++m) {
        seq::copyLane(lanes[m], record.lanes[m]);
    }
    std::uint16_t order[kNumModules];
    for (int m = 0; m < kNumModules; ++m) {
        order[m] = seq::load(record.chainOrder[m]);
    }
    if (live) {
        if (!isChainOrder(order)) {
            const std::uint16_t straight[kNumModules] = {0, 1, 2, 3, 4, 5};
            storeLiveChainOrder(straight);
        } else {
            storeLiveChainOrder(order);
        }
    } else if (!setChainOrder(order)) {
        // Records in the bank are mended on the way in, so this is only a last guard.
        const std::uint16_t straight[kNumModules] = {0, 1, 2, 3, 4, 5};
        setChainOrder(straight);
    }
    // The editor's idle shows the record's page and reloads its step controls on this count.
    programsApplied.fetch_add(1, std::memory_order_release);
    editorProgramChanged();
}

void Morvek2Core::setEditorPage(int module) // [ui]
{
    if (module >= 0 && module < kNumModules) {
        seq::store(currentRecord().editorPage, module);
    }
}

// ---- Names
// ----------------------------------------------------------------------------------------

void Morvek2Core::setProgramName(const char* name) // [ui]
{
    if (!name) {
        return;
    }
    const std::lock_guard<std::recursive_mutex> writers(programWriters);
    const std::lock_guard<std::mutex> image(recordImage);
    ProgramRecord& record = currentRecord();
    const std::size_t n = strnlen(name, kProgramNameSize - 1);
    for (int i = 0; i < kProgramNameSize; ++i) {
        seq::store(record.name[i], static_cast<std::size_t>(i) < n ? name[i] : '\0');
    }
}

void Morvek2Core::getProgramName(char* name) // [ui]
{
    const int k = clampProgram(getProgram());
    char stored[kProgramNameSize];
    readName(bank[k], stored);
    // Programs nobody has named yet tell themselves apart by their number.
    if (std::strcmp(stored, "init") == 0) {
        std::snprintf(name, kProgramNameOut, "init %d", k + 1);
    } else {
        std::snprintf(name, kProgramNameOut, "%s", stored);
    }
}

bool Morvek2Core::getProgramNameIndexed(int index, char* text) // [ui]
{
    if (index < 0 || index >= kNumPrograms) {
        return false;
    }
    char stored[kProgramNameSize];
    readName(bank[index], stored);
    std::snprintf(text, kProgramNameOut, "%s", stored);
    return true;
}

// ---- State chunks
// ---------------------------------------------------------------------------------

Morvek2Core::ChunkOut* Morvek2Core::chunkOutForThisThread() // [ui] under recordImage
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_ptr<ChunkOut>* pick = nullptr;
    for (std::unique_ptr<ChunkOut>& out : chunkOuts) {
        if (out && out->thread == self) {
            pick = &out;
            break;
        }
        // Empty first, then the longest unused.
        if (!pick || (*pick && (!out || out->lastUse < (*pick)->lastUse))) {
            pick = &out;
        }
    }
    if (!*pick) {
        pick->reset(new (std::nothrow) ChunkOut);
        if (!*pick) {
            return nullptr;
        }
    }
    (*pick)->thread = self;
    (*pick)->lastUse = ++chunkOutUses;
    return pick->get();
}

int Morvek2Core::getChunk(void** data, bool isPreset) // [ui]
{
    if (!data) {
        return 0;
    }
    // A copy of our own, so the host reads a stable image even while the audio thread moves
    // the current record's positions, taken while no other thread is half way through writing
    // records.
    const std::lock_guard<std::mutex> image(recordImage);
    ChunkOut* out = chunkOutForThisThread();
    if (!out) {
        return 0;
    }
    if (isPreset) {
        program::copyRecord(out->program, currentRecord());
        *data = &out->program;
        return kProgramChunkSize;
    }
    for (int k = 0; k < kNumPrograms; ++k) {
        program::copyRecord(out->bank[k], bank[k]);
    }
    *data = out->bank.data();
    return kBankChunkSize;
}

int Morvek2Core::setChunk(const void* data, int byteSize, bool isPreset) // [ui]
{
    if (!data) {
        return 0;
    }
    if (byteSize != (isPreset ? kProgramChunkSize : kBankChunkSize)) {
        return 0;
    }
    // A restore from another thread waits until this one has written and applied its records.
    const std::lock_guard<std::recursive_mutex> writers(programWriters);
    // Mended in the staging records first, so nothing out of range ever reaches the records or
    // the live state that the audio thread reads.
    std::memcpy(chunkIn.data(), data, static_cast<std::size_t>(byteSize));
    const int records = isPreset ? 1 : kNumPrograms;
    for (int k = 0; k < records; ++k) {
        repairIncoming(chunkIn[k]);
    }
    {
        const std::lock_guard<std::mutex> image(recordImage);
        if (isPreset) {
            program::copyRecord(currentRecord(), chunkIn[0]);
        } else {
            for (int k = 0; k < kNumPrograms; ++k) {
                program::copyRecord(bank[k], chunkIn[k]);
            }
        }
    }
    setProgram(getProgram());
    return 1;
}
