#include "tools/morvek2/files.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace morvek2::cli {

namespace fs = std::filesystem;

namespace {

std::string folderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Temporary files still pending, so that an interrupted run (Ctrl-C, a kill) removes them too.
// Fixed slots of plain characters: the signal handler may only read them and call unlink.
constexpr int kPendingSlots = 16;
constexpr std::size_t kPathBytes = 4096;
char pendingPaths[kPendingSlots][kPathBytes];
volatile std::sig_atomic_t pendingUsed[kPendingSlots];

constexpr int kAsyncSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// A crashing module must not leave partial files either.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction previousActions[NSIG];

extern "C" void removePendingAndDie(int signal)
{
    for (int i = 0; i < kPendingSlots; ++i) {
        if (pendingUsed[i] != 0) {
            ::unlink(pendingPaths[i]);
        }
    }
    ::sigaction(signal, &previousActions[signal], nullptr);
    for (int fault : kFaultSignals) {
        if (fault == signal && signal != SIGABRT) {
            // Returning re-runs the faulting instruction under the previous handler, which
            // then sees the fault where it happened.
            return;
        }
    }
    ::raise(signal);
}

void installSignalCleanup()
{
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    struct sigaction action
    {};
    action.sa_handler = removePendingAndDie;
    ::sigemptyset(&action.sa_mask);
    for (int signal : kAsyncSignals) {
        ::sigaction(signal, &action, &previousActions[signal]);
    }
    for (int signal : kFaultSignals) {
        ::sigaction(signal, &action, &previousActions[signal]);
    }
}

int registerPending(const std::string& path)
{
    if (path.size() >= kPathBytes) {
        return -1;
    }
    for (int i = 0; i < kPendingSlots; ++i) {
        if (pendingUsed[i] == 0) {
            std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
            pendingUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void unregisterPending(int slot)
{
    if (slot >= 0) {
        pendingUsed[slot] = 0;
    }
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target))
{
    checkWritable(target_, "output");
    std::string pattern =
        (fs::path(folderOf(target_)) / ("." + fs::path(target_).filename().string() + ".XXXXXX"))
            .string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        fail(Exit::Output, "cannot write '" + target_ + "': " + std::strerror(errno));
    }
    temp_ = pattern;
    installSignalCleanup();
    slot_ = registerPending(temp_);
    // mkstemp makes the file private; the finished file gets the usual permissions.
    ::fchmod(fd_, 0666 & ~currentUmask());
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)), temp_(std::move(other.temp_)), fd_(other.fd_),
      committed_(other.committed_), slot_(other.slot_)
{
    other.fd_ = -1;
    other.committed_ = true;
    other.slot_ = -1;
}

PendingFile::~PendingFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !temp_.empty()) {
        ::unlink(temp_.c_str());
    }
    unregisterPending(slot_);
}

void PendingFile::write(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(Exit::Output, "cannot write '" + target_ + "': " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

void PendingFile::commit()
{
    if (committed_) {
        return;
    }
    if (fd_ >= 0) {
        const bool synced = ::fsync(fd_) == 0 || errno == EINVAL;
        const int closed = ::close(fd_);
        fd_ = -1;
        if (!synced || closed != 0) {
            fail(Exit::Output, "cannot write '" + target_ + "': " + std::strerror(errno));
        }
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail(Exit::Output, "cannot write '" + target_ + "': " + std::strerror(errno));
    }
    committed_ = true;
    unregisterPending(slot_);
    slot_ = -1;
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, Exit code, const std::string& what)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        fail(code, "cannot read " + what + " '" + path + "': it is a folder");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fail(code, "cannot read " + what + " '" + path + "': " + std::strerror(errno));
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        fail(code, "cannot read " + what + " '" + path + "'");
    }
    return bytes;
}

bool samePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec);
    }
    return fs::weakly_canonical(fs::absolute(a), ec) == fs::weakly_canonical(fs::absolute(b), ec);
}

void checkWritable(const std::string& target, const std::string& what)
{
    std::error_code ec;
    if (target.empty()) {
        fail(Exit::Output, what + " file name is empty");
    }
    if (fs::is_directory(target, ec)) {
        fail(Exit::Output, "cannot write " + what + " '" + target + "': it is a folder");
    }
    const std::string folder = folderOf(target);
    if (!fs::is_directory(folder, ec)) {
        fail(Exit::Output,
             "cannot write " + what + " '" + target + "': folder '" + folder + "' does not exist");
    }
}

} // namespace morvek2::cli
