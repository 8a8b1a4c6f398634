// The factory programs offered to CLAP hosts that ask for them. CLAP 1.1 has no program list, so
// the plug-in's entry offers a factory of its own beside the plug-in factory:
//
//   const auto* programs = static_cast<const morvek2_clap_program_factory_t*>(
//       entry->get_factory(MORVEK2_CLAP_PROGRAM_FACTORY_ID));
//
// It lists the factory programs by index and gives each as the bytes the plug-in's state
// extension saves and loads (the VST 2.4 program chunk). A host selects program k by loading
// those bytes into an instance through clap.state: the instance then sounds and stores as the
// VST 2.4 module does after selecting program k. Hosts that do not know the id get null and
// lose nothing. Every function may be called from any thread, before or without any instance.
#pragma once

#include <clap/stream.h>

#include <stdbool.h>
#include <stdint.h>

#define MORVEK2_CLAP_PROGRAM_FACTORY_ID "com.zendrik.morvek2.factory-programs/1"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvek2_clap_program_factory
{
    // The number of factory programs.
    uint32_t (*count)(const struct morvek2_clap_program_factory* factory);
    // Program `index`'s name, cut to `size` bytes with the terminator; false for an index out
    // of range.
    bool (*get_name)(const struct morvek2_clap_program_factory* factory, uint32_t index, char* name,
                     uint32_t size);
    // Writes program `index` to `stream` as clap.state saves it; false for an index out of
    // range or a stream that took less than all of it.
    bool (*save_state)(const struct morvek2_clap_program_factory* factory, uint32_t index,
                       const clap_ostream_t* stream);
} morvek2_clap_program_factory_t;

#ifdef __cplusplus
}
#endif
