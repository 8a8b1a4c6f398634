// morvek2_host: a small VST 2.4 host for tests, tools and benchmarks.
//
//     #include "host/morvek2_host.h"
//     using namespace morvek2::host;
//
//     std::string error;
//     std::unique_ptr<Plugin> plugin = Plugin::load("build/dev/lib/Morvek2.so", error);
//     if (!plugin) { /* error says why: missing file, not a module, no entry, null, bad magic */ }
//     plugin->transport().setTempo(128.0);          // quarter notes per minute
//     plugin->start(48000.0f, 512);                 // effOpen, rate, block size, resume
//     plugin->setParameter(3, 0.25f);
//     AudioChannels out = render(*plugin, input, {.blockSizes = hostLikeBlockSizes()});
//     for (auto [index, value] : plugin->log().automations()) { ... }
//
// The parts:
// - Module / Plugin (host/plugin.h): load a module file by path and drive one instance through
//   the dispatcher: life cycle, parameters, programs, chunks, canDo, identity strings,
//   processReplacing, MIDI events, editor calls. Several instances may live at once, from one
//   module (Module::instantiate) or several.
// - HostConfig / Host / HostLog (host/host_callback.h): what the host answers to the plug-in
//   (version, pin connections, canDo, whether time information exists, ...) and a lock-free log
//   of everything the plug-in asked for (automation, begin/end edit, wantMidi, ...).
// - Transport (host/transport.h): tempo, time signature, play state and position; fills the
//   time record for each block and moves on by the block's frames.
// - render / MidiEventList (host/render.h): a whole buffer through the plug-in in fixed or
//   irregular blocks, with timed MIDI and a per-block hook.
// - SharedLibrary (host/shared_library.h): the only platform-specific part (dlopen/LoadLibrary).
// - Instance (host/instance.h): one plug-in of either format for renders and tools;
//   loadInstance() takes a VST 2.4 module file or an LV2 bundle folder. Lv2Plugin
//   (host/lv2_plugin.h, built where lilv is installed) is the LV2 side: presets, state through
//   state:interface, MIDI and time:Position on atom ports.
#pragma once

#include "host/host_callback.h"
#include "host/instance.h"
#include "host/plugin.h"
#include "host/render.h"
#include "host/shared_library.h"
#include "host/transport.h"
