// How the command line reports a mistake: one line on standard error and an exit code that says
// which kind of mistake it was, so scripts can tell them apart.
#pragma once

#include <stdexcept>
#include <string>

namespace morvek2::cli {

enum class Exit : int {
    Ok = 0,
    Failure = 1, // the render itself went wrong (the module crashed out, a write failed)
    Usage = 2,   // a bad option, name or value on the command line
    Input = 3,   // the input audio file is missing, unreadable or of an unsupported kind
    Module = 4,  // the module is missing, not a VST 2.4 plug-in or not an effect
    Preset = 5,  // an FXP/FXB file that is unreadable, damaged or for another plug-in
    Output = 6,  // an output file cannot be written (or would overwrite the input)
};

class Error : public std::runtime_error
{
public:
    Error(Exit code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Exit code() const { return code_; }

private:
    Exit code_;
};

[[noreturn]] inline void fail(Exit code, const std::string& message)
{
    throw Error(code, message);
}

} // namespace morvek2::cli
