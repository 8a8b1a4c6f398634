#include "params/zk_paramManager.h"

#include "dsp/zk_math.h"
#include "dsp/zk_random.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

// Normalised results are kept inside 0..1; NaN lands on 0.
float limit01(float v)
{
    if (v > 1.0f)
        return 1.0f;
    if (v > 0.0f)
        return v;
    return 0.0f;
}

// Maximum tested first, so a reversed range clamps to its maximum.
float limitRange(float w, float minimum, float maximum)
{
    if (w > maximum)
        return maximum;
    if (w < minimum)
        return minimum;
    return w;
}

// Copies at most length characters of text and terminates at the end of the copy, which is
// position length when the text was cut. Nothing past the copied characters is touched.
void copyCut(char* buffer, const char* text, int length)
{
    if (!buffer || length < 0)
        return;
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(length));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

const char* const kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};

// Names accepted when typing a note division, in position order.
const char* const kNoteDivisionInput[15] = {"1/32", "1/16T", "1/16", "1/8T", "1/16.",
                                            "1/8",  "1/4T",  "1/8.", "1/4",  "1/2T",
                                            "1/4.", "1/2",   "1/1T", "1/2.", "1/1"};

void formatByMagnitude(char* out, std::size_t size, float w)
{
    if (w < 1.0f)
        std::snprintf(out, size, "%3.3f", w);
    else if (w < 10.0f)
        std::snprintf(out, size, "%4.2f", w);
    else if (w < 100.0f)
        std::snprintf(out, size, "%4.1f", w);
    else
        std::snprintf(out, size, "%4.0f", w);
}

// Truncation towards zero that is defined for every float: NaN gives 0 and the result is
// bounded so it always prints in a few characters.
int boundedTrunc(float v)
{
    constexpr float kBound = 9999999.0f;
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -kBound, kBound));
}

bool isSyncKind(int kind)
{
    return kind >= kTimeSync && kind <= kCurveSync;
}

} // namespace

const char* const zk_paramManager::kNoteDivisionNames[kNoteDivisions] = {
    "1/32 ", "1/16T", "1/16 ", "1/8 T", "1/16.", "1/8  ", "1/4 T", "1/8. ",
    "1/4  ", "1/2 T", "1/4. ", "1/2  ", "1/1 T", "1/2. ", "1/1  ", "1/1  "};

const float zk_paramManager::kNoteDivisionBeats[kNoteDivisions] = {
    0.125f, 1.0f / 6.0f, 0.25f, 1.0f / 3.0f, 0.375f,      0.5f, 2.0f / 3.0f, 0.75f,
    1.0f,   4.0f / 3.0f, 1.5f,  2.0f,        8.0f / 3.0f, 3.0f, 4.0f,        4.0f};

// ---------------------------------------------------------------------------------------
// CurveTable

void CurveTable::allocate(int points)
{
    count = points;
    entries = std::make_unique<float[]>(static_cast<std::size_t>(points) + 1); // zero-filled
}

void CurveTable::finish()
{
    entries[count] = entries[count - 1];
    lookup(0.0f);
}

void CurveTable::buildExponential(float a, float b)
{
    allocate(kPoints);
    const double octaves = zk_log(static_cast<double>(b) / a) / zk_log(2.0);
    for (int k = 0; k < count; ++k) {
        const double t = static_cast<double>(k) / (count - 1);
        entries[k] = static_cast<float>(a * zk_exp2(t * octaves));
    }
    finish();
}

void CurveTable::buildDecibel(float aDb, float bDb)
{
    allocate(kPoints);
    const float c = zk_powf(10.0f, aDb / 20.0f);
    const float d = zk_powf(10.0f, bDb / 20.0f);
    const float g = zk_logf(d / c);
    // Entry 0 stays 0 so the bottom of the range is silence rather than the gain of aDb.
    for (int k = 1; k < count; ++k)
        entries[k] = zk_expf(static_cast<float>(k) * g / static_cast<float>(count - 1)) * c;
    finish();
}

float CurveTable::lookup(float x) // [any]
{
    if (count <= 0 || !entries)
        return 0.0f;
    // Limited here rather than trusted: a host may pass anything through setParameter.
    x = limit01(x);
    const float p = static_cast<float>(count - 1) * x;
    const int k = static_cast<int>(p);
    const float f = p - static_cast<float>(k);
    const float out = static_cast<float>((1.0 - static_cast<double>(f)) * entries[k] +
                                         static_cast<double>(f) * entries[k + 1]);
    lastOutput.store(out, kRelaxed);
    return out;
}

// ---------------------------------------------------------------------------------------
// zk_paramManager: storage

zk_paramManager::zk_paramManager() : slots(std::make_unique<Slot[]>(kCapacity)) {}

zk_paramManager::~zk_paramManager() = default;

zk_paramManager::Slot* zk_paramManager::slot(int index)
{
    if (index < 0 || index >= kCapacity)
        return nullptr;
    Slot& s = slots[index];
    if (!s.defined.load(kRelaxed)) {
        bool expected = false;
        if (s.defined.compare_exchange_strong(expected, true, kRelaxed))
            definedCount.fetch_add(1, kRelaxed);
    }
    return &s;
}

float zk_paramManager::curveAt(Slot* s, float x)
{
    return (s && s->curve) ? s->curve->lookup(x) : 0.0f;
}

int zk_paramManager::tableIndex(float value, int size)
{
    if (!(value > 0.0f))
        return 0; // also NaN
    if (value >= static_cast<float>(size - 1))
        return size - 1;
    return static_cast<int>(value);
}

void zk_paramManager::addParam(int index, const char* longName, const char* shortName,
                               const char* label, float minimum, float maximum, float defaultValue,
                               int kind)
{
    Slot* s = slot(index);
    if (!s)
        return;
    s->longName = longName ? longName : "";
    s->shortName = shortName ? shortName : "";
    s->label = label ? label : "";
    s->minimum = minimum;
    s->maximum = maximum;
    s->defaultValue = defaultValue;
    s->kind = kind;
    s->randomisable.store(true, kRelaxed);
    s->curve.reset();
    switch (kind) {
    case kExponential:
        s->curve = std::make_unique<CurveTable>();
        s->curve->buildExponential(minimum, maximum);
        break;
    case kDecibel:
        s->curve = std::make_unique<CurveTable>();
        s->curve->buildDecibel(minimum, maximum);
        break;
    case kRateSync:
    case kCurveSync:
        s->curve = std::make_unique<CurveTable>();
        s->curve->buildExponential(minimum, maximum);
        setSynced(index, false);
        break;
    case kTimeSync:
    case kLinearSync:
        setSynced(index, false);
        break;
    default:
        break;
    }
    setWorkingValue(index, defaultValue);
}

float zk_paramManager::getValue(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->value.load(kRelaxed) : 0.0f;
}

void zk_paramManager::setValue(int index, float value) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return;
    // Finite values are kept as given; a non-finite one would poison every conversion.
    if (std::isnan(value))
        value = 0.0f;
    else if (std::isinf(value))
        value = value > 0.0f ? 1.0f : 0.0f;
    s->value.store(value, kRelaxed);
    s->working.store(normalisedToWorking(index, value), kRelaxed);
    noteChange();
}

float zk_paramManager::getWorkingValue(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->working.load(kRelaxed) : 0.0f;
}

void zk_paramManager::setWorkingValue(int index, float value) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return;
    if (!std::isfinite(value)) {
        const float lo = std::min(s->minimum, s->maximum);
        const float hi = std::max(s->minimum, s->maximum);
        value = std::isnan(value) ? s->minimum : (value > 0.0f ? hi : lo);
    }
    s->working.store(value, kRelaxed);
    s->value.store(limit01(workingToNormalised(index, value)), kRelaxed);
    noteChange();
}

void zk_paramManager::stepUp(int index) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return;
    const float w = s->working.load(kRelaxed);
    float c;
    if (s->kind == kSwitch) {
        c = (w == 0.0f) ? 1.0f : 0.0f;
    } else {
        c = w + 1.0f;
        if (c > s->maximum) {
            const bool wraps =
                s->kind == kStepped || s->kind == kNoteDivision || s->kind == kMidiNote;
            c = wraps ? s->minimum : s->maximum;
        }
    }
    setWorkingValue(index, c);
}

void zk_paramManager::stepDown(int index) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return;
    const float w = s->working.load(kRelaxed);
    float c;
    if (s->kind == kSwitch) {
        c = (w == 0.0f) ? 1.0f : 0.0f;
    } else {
        c = w - 1.0f;
        // Lists of positions wrap as stepUp does for them; the rest stop at the minimum.
        if (c < s->minimum) {
            const bool wraps = s->kind == kStepped || s->kind == kNoteDivision;
            c = wraps ? s->maximum : s->minimum;
        }
    }
    setWorkingValue(index, c);
}

void zk_paramManager::setSyncState(int index, int state) // [any]
{
    if (Slot* s = slot(index)) {
        s->syncState.store(state, kRelaxed);
        noteChange();
    }
}

void zk_paramManager::setSynced(int index, bool synced) // [any]
{
    Slot* s = slot(index);
    if (!s || !isSyncKind(s->kind))
        return;
    s->syncState.store(synced ? 1 : 0, kRelaxed);
    // Same normalised value, working value derived again under the new state.
    setValue(index, s->value.load(kRelaxed));
}

void zk_paramManager::setRandomisable(int index, bool randomise) // [any]
{
    if (Slot* s = slot(index))
        s->randomisable.store(randomise, kRelaxed);
}

bool zk_paramManager::isRandomisable(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->randomisable.load(kRelaxed) : false;
}

void zk_paramManager::randomise(int index) // [any]
{
    Slot* s = slot(index);
    if (!s || !s->randomisable.load(kRelaxed))
        return;
    const bool twoState = s->kind == kSwitch || ((s->kind == kStepped || s->kind == kMidiNote) &&
                                                 s->minimum == 0.0f && s->maximum == 1.0f);
    if (twoState)
        setValue(index, (zk_rand() & 1) ? 1.0f : 0.0f);
    else
        setValue(index, std::fabs(static_cast<float>(zk_rand()) / 32767.0f));
}

float zk_paramManager::getEngineValue(int index) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return 0.0f;
    if (s->kind == kDecibel)
        return curveAt(s, s->value.load(kRelaxed));
    return workingToEngine(index, s->working.load(kRelaxed));
}

float zk_paramManager::getModulatedValue(int index, float stepValue) // [audio]
{
    Slot* s = slot(index);
    if (!s)
        return 0.0f;
    const float n = limit01(s->value.load(kRelaxed) + stepValue);
    return workingToEngine(index, normalisedToWorking(index, n));
}

float zk_paramManager::getDefault(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->defaultValue : 0.0f;
}

float zk_paramManager::getMin(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->minimum : 0.0f;
}

float zk_paramManager::getMax(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->maximum : 0.0f;
}

int zk_paramManager::getSyncState(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->syncState.load(kRelaxed) : 0;
}

bool zk_paramManager::isSynced(int index) // [any]
{
    Slot* s = slot(index);
    return s && isSyncKind(s->kind) && s->syncState.load(kRelaxed) != 0;
}

int zk_paramManager::getKind(int index) // [any]
{
    Slot* s = slot(index);
    return s ? s->kind : 0;
}

// ---------------------------------------------------------------------------------------
// Texts

std::string zk_paramManager::getLongName(int index) // [ui]
{
    Slot* s = slot(index);
    return s ? s->longName : std::string();
}

void zk_paramManager::getName(int index, char* buffer, int length) // [any]
{
    Slot* s = slot(index);
    const char* text = "";
    if (s)
        text = (length < 9 ? s->shortName : s->longName).c_str();
    copyCut(buffer, text, length);
}

void zk_paramManager::getLabel(int index, char* buffer, int length) // [any]
{
    Slot* s = slot(index);
    const char* text = "";
    if (s) {
        const bool synced = s->syncState.load(kRelaxed) != 0;
        switch (s->kind) {
        case kTimeSync:
        case kLinearSync:
            text = synced ? "" : (length >= 5 ? "msec" : "ms");
            break;
        case kRateSync:
        case kCurveSync:
            text = synced ? "" : "Hz";
            break;
        default:
            text = s->label.c_str();
            break;
        }
    }
    copyCut(buffer, text, length);
}

void zk_paramManager::getDisplay(int index, char* buffer, int length) // [any]
{
    formatValue(index, buffer, getWorkingValue(index), length);
}

void zk_paramManager::formatValue(int index, char* buffer, float w, int length) // [any]
{
    if (!buffer || length <= 0)
        return;
    char scratch[64];
    scratch[0] = '\0';
    Slot* s = slot(index);
    const int kind = s ? s->kind : 0;
    const bool synced = s && s->syncState.load(kRelaxed) != 0;
    const float minimum = s ? s->minimum : 0.0f;
    const float maximum = s ? s->maximum : 0.0f;
    switch (kind) {
    case kSwitch:
        std::snprintf(scratch, sizeof scratch, "%s", w > 0.5f ? "On" : "Off");
        break;
    case kLinearFine:
    case kExponential:
        formatByMagnitude(scratch, sizeof scratch, w);
        break;
    case kStepped:
        std::snprintf(scratch, sizeof scratch, "%4d", boundedTrunc(w));
        break;
    case kNoteDivision: {
        const float n = workingToNormalised(index, w);
        std::snprintf(scratch, sizeof scratch, "%s",
                      kNoteDivisionNames[tableIndex(15.0f * n, kNoteDivisions)]);
        break;
    }
    case kTimeSync:
        if (synced)
            std::snprintf(scratch, sizeof scratch, "%s",
                          kNoteDivisionNames[tableIndex(w, kNoteDivisions)]);
        else
            std::snprintf(scratch, sizeof scratch, "%4.0f", w);
        break;
    case kRateSync:
    case kCurveSync:
        if (synced) {
            const float n = workingToNormalised(index, w);
            std::snprintf(scratch, sizeof scratch, "%s",
                          kNoteDivisionNames[tableIndex(15.0f * (1.0f - n), kNoteDivisions)]);
        } else {
            formatByMagnitude(scratch, sizeof scratch, w);
        }
        break;
    case kLinearSync:
        if (synced) {
            const float n = workingToNormalised(index, w);
            std::snprintf(scratch, sizeof scratch, "%s",
                          kNoteDivisionNames[tableIndex(15.0f * n, kNoteDivisions)]);
        } else {
            std::snprintf(scratch, sizeof scratch, "%4.0f", minimum + (maximum - minimum) * w);
        }
        break;
    case kMidiNote: {
        const int note = boundedTrunc(w);
        std::snprintf(scratch, sizeof scratch, "%s%d", kNoteNames[((note % 12) + 12) % 12],
                      note / 12 - 2);
        break;
    }
    default: // kLinear, kPercent, kDecibel and unknown codes
        std::snprintf(scratch, sizeof scratch, "%4.0f", w);
        break;
    }
    const std::size_t n = std::min(std::strlen(scratch), static_cast<std::size_t>(length));
    std::memcpy(buffer, scratch, n);
    if (n < static_cast<std::size_t>(length))
        buffer[n] = '\0';
    buffer[length - 1] = '\0';
}

void zk_paramManager::formatNormalised(int index, char* buffer, float normalisedValue) // [any]
{
    formatValue(index, buffer, normalisedToWorking(index, normalisedValue), 8);
}

void zk_paramManager::getValueText(int index, char* buffer) // [any]
{
    if (!buffer)
        return;
    char scratch[64];
    std::snprintf(scratch, sizeof scratch, "%f", getValue(index));
    copyCut(buffer, scratch, 8);
}

void zk_paramManager::getDisplayNoSpaces(int index, char* buffer, int length) // [any]
{
    if (!buffer)
        return;
    if (length <= 0) {
        buffer[0] = '\0';
        return;
    }
    char scratch[256];
    const int shown = std::min(length, static_cast<int>(sizeof scratch) - 1);
    scratch[0] = '\0';
    scratch[shown] = '\0';
    getDisplay(index, scratch, shown);
    int out = 0;
    for (int k = 0; k <= shown && scratch[k] != '\0'; ++k)
        if (scratch[k] != ' ')
            buffer[out++] = scratch[k];
    buffer[out] = '\0';
}

void zk_paramManager::formatTime(char* buffer, float milliseconds, int length) // [any]
{
    char scratch[64];
    if (milliseconds >= 1000.0f)
        std::snprintf(scratch, sizeof scratch, "%4.3f", milliseconds * 0.001f);
    else
        std::snprintf(scratch, sizeof scratch, "%3.0f", milliseconds);
    copyCut(buffer, scratch, length);
}

// ---------------------------------------------------------------------------------------
// Conversions

float zk_paramManager::workingToNormalised(int index, float w) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return 0.0f;
    const float minimum = s->minimum;
    const float maximum = s->maximum;
    const bool synced = s->syncState.load(kRelaxed) != 0;
    float n;
    switch (s->kind) {
    case kSwitch:
    case kLinearSync:
    case kCurveSync:
        n = w;
        break;
    case kExponential:
        n = zk_logf(w / minimum) / zk_logf(maximum / minimum);
        break;
    case kNoteDivision:
        n = w / 15.0f;
        break;
    case kTimeSync:
        n = synced ? w / 15.0f : (w - minimum) / (maximum - minimum);
        break;
    case kRateSync:
        n = synced ? 1.0f - w / 15.0f : zk_logf(w / minimum) / zk_logf(maximum / minimum);
        break;
    default: // linear, percent, linear fine, decibel, stepped, MIDI note, unknown
        n = (w - minimum) / (maximum - minimum);
        break;
    }
    return limit01(n);
}

float zk_paramManager::normalisedToWorking(int index, float n) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return 0.0f;
    const float minimum = s->minimum;
    const float maximum = s->maximum;
    const bool synced = s->syncState.load(kRelaxed) != 0;
    const float lin = minimum + (maximum - minimum) * n;
    // Positions in a list are taken from n limited to 0..1, so a value a host should not
    // send still picks an entry of the list instead of a position past its end.
    const float n01 = limit01(n);
    switch (s->kind) {
    case kSwitch:
        return n > 0.5f ? 1.0f : 0.0f;
    case kExponential:
        return curveAt(s, n);
    case kStepped:
    case kMidiNote:
        return std::floor(minimum + (maximum - minimum) * n01 + 0.5f);
    case kNoteDivision:
        return std::floor(n01 * 0.99f * 15.0f);
    case kTimeSync:
        return synced ? std::floor(15.0f * n01) : lin;
    case kRateSync:
        return synced ? std::floor(15.0f * (1.0f - n01)) : curveAt(s, n);
    case kLinearSync:
    case kCurveSync:
        return n;
    default: // linear, percent, linear fine, decibel, unknown
        return lin;
    }
}

float zk_paramManager::workingToEngine(int index, float w) // [any]
{
    Slot* s = slot(index);
    if (!s)
        return 0.0f;
    const float minimum = s->minimum;
    const float maximum = s->maximum;
    const bool synced = s->syncState.load(kRelaxed) != 0;
    switch (s->kind) {
    case kPercent:
        return limitRange(w, minimum, maximum) * 0.01f;
    case kDecibel:
        return curveAt(s, (w - minimum) / (maximum - minimum));
    case kNoteDivision:
        return kNoteDivisionBeats[tableIndex(w, kNoteDivisions)];
    case kTimeSync:
        return synced ? kNoteDivisionBeats[tableIndex(w, kNoteDivisions)] : w;
    case kRateSync:
        return synced ? 1.0f / kNoteDivisionBeats[tableIndex(w, kNoteDivisions)] : w;
    case kLinearSync:
        return synced ? kNoteDivisionBeats[tableIndex(15.0f * w, kNoteDivisions)]
                      : minimum + (maximum - minimum) * w;
    case kCurveSync:
        return synced ? 1.0f / kNoteDivisionBeats[tableIndex(15.0f * (1.0f - w), kNoteDivisions)]
                      : curveAt(s, w);
    default: // linear, switch, linear fine, exponential, stepped, MIDI note, unknown
        return limitRange(w, minimum, maximum);
    }
}

// ---------------------------------------------------------------------------------------
// Parsing, lists, snapshots

bool zk_paramManager::parseNoteDivision(const char* text, int& position) // [any]
{
    if (!text)
        return false;
    char compact[7];
    int n = 0;
    for (int k = 0; k < 6 && text[k] != '\0'; ++k)
        if (text[k] != ' ')
            compact[n++] = text[k];
    compact[n] = '\0';
    for (int p = 0; p < 15; ++p) {
        if (std::strcmp(compact, kNoteDivisionInput[p]) == 0) {
            position = p;
            return true;
        }
    }
    return false;
}

bool zk_paramManager::parseValue(int index, const char* text, float& result) // [ui]
{
    Slot* s = slot(index);
    if (!s || !text)
        return false;
    const int kind = s->kind;
    const bool synced = s->syncState.load(kRelaxed) != 0;
    bool ok = false;
    float v = result;
    if (kind == kSwitch) {
        ok = false;
    } else if (kind == kNoteDivision || (kind == kTimeSync && synced)) {
        int position = 0;
        ok = parseNoteDivision(text, position);
        if (ok)
            v = static_cast<float>(position);
    } else if (kind == kRateSync && synced) {
        int position = 0;
        ok = parseNoteDivision(text, position);
        if (ok)
            v = static_cast<float>(14 - position);
    } else {
        ok = std::sscanf(text, "%10f", &v) == 1;
    }
    if (std::isnan(v))
        v = s->minimum;
    if (v > s->maximum)
        v = s->maximum;
    else if (v < s->minimum)
        v = s->minimum;
    result = v;
    return ok;
}

int zk_paramManager::getCount() // [any]
{
    return definedCount.load(kRelaxed);
}

float zk_paramManager::getExposedValue(int index) // [any]
{
    return exposesWorkingValues(index) ? getWorkingValue(index) : getValue(index);
}

bool zk_paramManager::exposesWorkingValues(int index) // [any]
{
    slot(index);
    return false;
}

void zk_paramManager::getValueStrings(int index, std::vector<std::string>& list) // [ui]
{
    Slot* s = slot(index);
    if (!s || s->kind != kStepped)
        return;
    list.clear();
    // Bounded so that a huge range cannot run away.
    constexpr float kBound = 100000.0f;
    if (!(std::fabs(s->minimum) < kBound) || !(std::fabs(s->maximum) < kBound))
        return;
    const int lo = static_cast<int>(s->minimum);
    const int hi = static_cast<int>(s->maximum);
    char text[16];
    for (int v = lo; v <= hi; ++v) {
        std::snprintf(text, sizeof text, "%d", v);
        list.emplace_back(text);
    }
}

int zk_paramManager::createSnapshot(const std::set<int>& indices) // [ui]
{
    std::vector<std::pair<int, float>> snap;
    snap.reserve(indices.size());
    for (int index : indices)
        snap.emplace_back(index, getValue(index));
    snapshots.push_back(std::move(snap));
    return static_cast<int>(snapshots.size()) - 1;
}

void zk_paramManager::updateSnapshot(int snapshot) // [ui]
{
    if (snapshot < 0 || snapshot >= static_cast<int>(snapshots.size()))
        return;
    for (auto& entry : snapshots[static_cast<std::size_t>(snapshot)])
        entry.second = getValue(entry.first);
}

void zk_paramManager::restoreSnapshot(int snapshot) // [ui]
{
    if (snapshot < 0 || snapshot >= static_cast<int>(snapshots.size()))
        return;
    for (const auto& entry : snapshots[static_cast<std::size_t>(snapshot)])
        setValue(entry.first, entry.second);
}
