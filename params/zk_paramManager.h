#pragma once

// Generic, table-driven parameter manager. Each parameter index holds its definition
// (names, label, range, default, kind, curve, sync state, randomisable flag) and its value
// twice: normalised (0..1, what hosts, programs and chunks exchange) and working (the
// parameter's own units). The kind decides every conversion and the generic display.
//
// Storage is a fixed table of kCapacity slots so that nothing on the audio path can
// allocate: texts and curve tables are built by addParam (construction time), values are
// relaxed atomics because the host may store from one thread while the audio thread reads.
// An index inside 0..kCapacity-1 that was never defined reads as zeros and empty texts and
// counts as defined from then on (getCount grows), without allocating. An index outside
// that range reads as zeros and is never stored.
//
// Values a host should not send: setValue keeps a finite value as given (getValue returns
// it) but stores NaN as 0 and an infinity as 0 or 1; setWorkingValue puts a non-finite
// working value on the nearer end of the range. Whatever is stored, every curve lookup,
// list position and table index derived from it stays inside its table.

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

enum ParamKind : int {
    kLinear = 0,
    kSwitch = 1,
    kPercent = 2,
    kLinearFine = 3,
    kExponential = 4,
    kDecibel = 5,
    kStepped = 6,
    kNoteDivision = 7,
    kTimeSync = 8,
    kRateSync = 9,
    kLinearSync = 10,
    kCurveSync = 11,
    kMidiNote = 12,
};

// A precomputed mapping of 0..1 with linear interpolation between count points. The extra
// entry past the last point repeats it so that a lookup at exactly 1 stays inside.
class CurveTable
{
public:
    static constexpr int kPoints = 1024;

    // Exponential from a to b (a > 0, b > 0): entry k is a * (b / a)^(k / (count - 1)).
    void buildExponential(float a, float b);
    // Gains from aDb to bDb with entry 0 kept at silence.
    void buildDecibel(float aDb, float bDb);

    // Interpolated value at x. x is limited to 0..1 (NaN counts as 0) so no caller can
    // read outside the table; an empty table gives 0.
    float lookup(float x); // [any]
    float getLastOutput() const { return lastOutput.load(std::memory_order_relaxed); }
    int getCount() const { return count; }
    const float* getEntries() const { return entries.get(); }

private:
    void allocate(int points);
    void finish();

    int count = 0;
    std::unique_ptr<float[]> entries;
    std::atomic<float> lastOutput{0.0f};
};

class zk_paramManager
{
public:
    static constexpr int kCapacity = 256;
    static constexpr int kNoteDivisions = 16;

    // Names ("1/8. ") and lengths in beats of the note-division positions 0..15.
    static const char* const kNoteDivisionNames[kNoteDivisions];
    static const float kNoteDivisionBeats[kNoteDivisions];

    zk_paramManager();
    zk_paramManager(const zk_paramManager&) = delete;
    zk_paramManager& operator=(const zk_paramManager&) = delete;

    virtual ~zk_paramManager();
    virtual void addParam(int index, const char* longName, const char* shortName, const char* label,
                          float minimum, float maximum, float defaultValue, int kind);
    virtual float getValue(int index);                            // [any]
    virtual void setValue(int index, float value);                // [any]
    virtual float getWorkingValue(int index);                     // [any]
    virtual void setWorkingValue(int index, float value);         // [any]
    virtual void stepUp(int index);                               // [any]
    virtual void stepDown(int index);                             // [any]
    virtual void setSyncState(int index, int state);              // [any]
    virtual void setSynced(int index, bool synced);               // [any]
    virtual void setRandomisable(int index, bool randomise);      // [any]
    virtual bool isRandomisable(int index);                       // [any]
    virtual void randomise(int index);                            // [any]
    virtual float getEngineValue(int index);                      // [any]
    virtual float getModulatedValue(int index, float stepValue);  // [audio]
    virtual float getDefault(int index);                          // [any]
    virtual float getMin(int index);                              // [any]
    virtual float getMax(int index);                              // [any]
    virtual int getSyncState(int index);                          // [any]
    virtual bool isSynced(int index);                             // [any]
    virtual int getKind(int index);                               // [any]
    virtual std::string getLongName(int index);                   // [ui] allocates
    virtual void getName(int index, char* buffer, int length);    // [any]
    virtual void getLabel(int index, char* buffer, int length);   // [any]
    virtual void getDisplay(int index, char* buffer, int length); // [any]
    virtual void formatValue(int index, char* buffer, float workingValue, int length); // [any]
    virtual void formatNormalised(int index, char* buffer, float normalisedValue);     // [any]
    virtual void getValueText(int index, char* buffer);                                // [any]
    virtual void getDisplayNoSpaces(int index, char* buffer, int length);              // [any]
    virtual float workingToNormalised(int index, float workingValue);                  // [any]
    virtual float normalisedToWorking(int index, float normalisedValue);               // [any]
    virtual float workingToEngine(int index, float workingValue);                      // [any]
    virtual bool parseValue(int index, const char* text, float& result);               // [ui]
    virtual int getCount();                                                            // [any]
    virtual float getExposedValue(int index);                                          // [any]
    virtual bool exposesWorkingValues(int index);                                      // [any]
    virtual void getValueStrings(int index, std::vector<std::string>& list); // [ui] allocates
    virtual int createSnapshot(const std::set<int>& indices);                // [ui] allocates
    virtual void updateSnapshot(int snapshot);                               // [ui]
    virtual void restoreSnapshot(int snapshot);                              // [ui]
    virtual void formatTime(char* buffer, float milliseconds, int length);   // [any]
    virtual bool parseNoteDivision(const char* text, int& position);         // [any]

    // Counts changes to anything a modulated value is computed from: every value, working value
    // and sync state stored, and whatever a derived class adds. A reader that sees the count it
    // saw before may reuse what it computed then. Released after the change it counts, so a
    // reader that acquires the new count also sees the new values.
    std::uint32_t changeCount() const { return changes.load(std::memory_order_acquire); } // [any]
    void noteChange() { changes.fetch_add(1u, std::memory_order_release); }               // [any]

protected:
    struct Slot
    {
        std::atomic<bool> defined{false};
        std::atomic<float> value{0.0f};
        std::atomic<float> working{0.0f};
        std::atomic<int> syncState{0};
        std::atomic<bool> randomisable{false};
        // Written by addParam only, before any other thread can see the manager.
        float minimum = 0.0f;
        float maximum = 0.0f;
        float defaultValue = 0.0f;
        int kind = 0;
        std::string longName;
        std::string shortName;
        std::string label;
        std::unique_ptr<CurveTable> curve;
    };

    // The slot of an index, marking it defined; nullptr outside 0..kCapacity-1.
    std::atomic<std::uint32_t> changes{0};
    Slot* slot(int index);
    // Curve lookup of a slot; 0 when the parameter has no curve.
    static float curveAt(Slot* s, float x);
    // A working value truncated into 0..size-1 (NaN and infinities land inside too), for
    // every place a value picks an entry of a table.
    static int tableIndex(float value, int size);

private:
    std::unique_ptr<Slot[]> slots;
    std::atomic<int> definedCount{0};
    std::vector<std::vector<std::pair<int, float>>> snapshots;
};
