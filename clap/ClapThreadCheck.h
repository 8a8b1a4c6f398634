// Debug builds assert that each call of the plug-in comes on the thread CLAP promises for it,
// asking the host's thread-check where the host offers one. Release builds check nothing.
#pragma once

#include <clap/ext/thread-check.h>
#include <clap/host.h>

#include <cassert>

class ClapThreadCheck
{
public:
    // Looks the host's thread-check up (in init, on the main thread).
    void bind(const clap_host_t* clapHost) // [ui]
    {
        host = clapHost;
        check = host && host->get_extension ? static_cast<const clap_host_thread_check_t*>(
                                                  host->get_extension(host, CLAP_EXT_THREAD_CHECK))
                                            : nullptr;
    }

    // GUI, state and parameter information calls.
    void mainThread() const // [ui]
    {
#ifndef NDEBUG
        assert(!check || !check->is_main_thread || check->is_main_thread(host));
#endif
    }

    // process.
    void audioThread() const // [audio]
    {
#ifndef NDEBUG
        assert(!check || !check->is_audio_thread || check->is_audio_thread(host));
#endif
    }

private:
    const clap_host_t* host = nullptr;
    const clap_host_thread_check_t* check = nullptr;
};
