// A progress bar on standard error, shown only when standard error is a terminal and the work
// has already taken more than a second; silent otherwise.
#pragma once

#include <chrono>
#include <cstdint>

namespace morvek2::cli {

class Progress
{
public:
    explicit Progress(std::int64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t done);
    void finish(); // clears the bar, if one was drawn

private:
    std::int64_t total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace morvek2::cli
