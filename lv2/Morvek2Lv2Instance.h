#pragma once

// What the LV2 plug-in's handle is, for the editor that runs beside it in the same process.
//
// The DSP binary (Morvek2.so) hands the host an LV2_Handle that points to a Morvek2Lv2Instance.
// A UI that the host grants instance access (the lv2:instance-access feature, whose data is that
// LV2_Handle) reaches the processing core through morvek2Lv2Core(handle) and may call the core's
// [ui] and [any] methods from the UI thread; the [audio] ones belong to the plug-in's run().
// The handle and the core stay valid until the host calls cleanup, which it does only after
// the UI is gone. The layout is fixed: `core` is the first member and stays so, because the UI
// binary is built from this header and may be loaded beside a DSP binary of another build.

class Morvek2Core;

namespace morvek2::lv2 {

// The LV2 identity of the plug-in. Released URIs never change.
inline constexpr const char* kPluginUri = "urn:zendrik:morvek2";
inline constexpr const char* kUiUri = "urn:zendrik:morvek2#ui";
// The state property holding the current program: the bytes of getChunk(isPreset = true).
inline constexpr const char* kProgramStateUri = "urn:zendrik:morvek2#program";
// Factory program k (0..39) is preset kPresetUriPrefix + two digits k + 1 ("...:preset:01").
inline constexpr const char* kPresetUriPrefix = "urn:zendrik:morvek2:preset:";

// Port indices.
enum Port : unsigned {
    kPortInL = 0,
    kPortInR = 1,
    kPortOutL = 2,
    kPortOutR = 3,
    kPortTime = 4,     // atom:Sequence, time:Position objects only
    kPortMidi = 5,     // atom:Sequence, midi:MidiEvent
    kPortControl0 = 6, // port kPortControl0 + i is parameter i (93 of them, in VST2 order)
};

} // namespace morvek2::lv2

// Standard layout, core first; the rest is the DSP face's own and none of the UI's business.
struct Morvek2Lv2Instance
{
    Morvek2Core* core = nullptr;
};

// The core behind an LV2_Handle of this plug-in (nullptr for a null handle).
inline Morvek2Core* morvek2Lv2Core(void* handle) // [any]
{
    return handle ? static_cast<Morvek2Lv2Instance*>(handle)->core : nullptr;
}
