#include "tools/morvek2/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace morvek2::cli {

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWidth = 40;
} // namespace

Progress::Progress(std::int64_t total)
    : total_(std::max<std::int64_t>(total, 1)), terminal_(::isatty(STDERR_FILENO) == 1),
      start_(Clock::now()), lastDraw_(start_)
{}

Progress::~Progress()
{
    finish();
}

void Progress::update(std::int64_t done)
{
    if (!terminal_) {
        return;
    }
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) ||
        now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    shown_ = true;
    const double fraction = std::clamp(static_cast<double>(done) / total_, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kWidth);
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\rrendering [%s] %3d%%  %.1f s", bar.c_str(),
                 static_cast<int>(fraction * 100.0), elapsed);
    std::fflush(stderr);
}

void Progress::finish()
{
    if (shown_) {
        // Wipe the line so the next message starts clean.
        std::fprintf(stderr, "\r%*s\r", kWidth + 32, "");
        std::fflush(stderr);
        shown_ = false;
    }
}

} // namespace morvek2::cli
