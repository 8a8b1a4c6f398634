// A private X server for tests that need a real display: a global test environment starts Xvfb
// on a free display number (skipping numbers whose lock or socket exists), exports DISPLAY and
// stops the server at the end. display stays empty when no server could be started, so tests
// can skip with a message.
#pragma once

// Google Test first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace morvek2::test {

class Xvfb : public ::testing::Environment
{
public:
    static inline std::string display;
    static inline pid_t pid = 0;

    void SetUp() override
    {
        for (int n = 93; n < 140 && display.empty(); ++n) {
            // Appended rather than concatenated: GCC 12 misreports "literal" + string as an
            // overlapping copy (-Wrestrict).
            const std::string number = std::to_string(n);
            const std::string lock = std::string("/tmp/.X").append(number).append("-lock");
            const std::string socket = std::string("/tmp/.X11-unix/X").append(number);
            if (std::filesystem::exists(lock) || std::filesystem::exists(socket)) {
                continue;
            }
            const std::string name = std::string(":").append(number);
            std::vector<std::string> args{"Xvfb",       name,        "-screen", "0",
                                          "800x600x24", "-nolisten", "tcp",     "-noreset"};
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            pid_t child = 0;
            const int rc = posix_spawnp(&child, "Xvfb", &actions, nullptr, argv.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (rc != 0) {
                return; // no Xvfb on this machine
            }
            for (int tries = 0; tries < 100; ++tries) {
                if (Display* d = XOpenDisplay(name.c_str())) {
                    XCloseDisplay(d);
                    display = name;
                    pid = child;
                    setenv("DISPLAY", name.c_str(), 1);
                    return;
                }
                int status = 0;
                if (waitpid(child, &status, WNOHANG) == child) {
                    break; // it died (display taken after all): try the next number
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            kill(child, SIGTERM);
            waitpid(child, nullptr, 0);
        }
    }
    void TearDown() override
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = 0;
        }
    }
};

// Open file descriptors of this process: a window or connection left open shows up here.
inline int openFds()
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

} // namespace morvek2::test
