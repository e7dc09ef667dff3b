// The Linux half of the self-update handoff: the copy of the program, and the relaunch as
// an exec.
#include "SelfUpdatePlatform.h"

#include "ProgramWords.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// Set by the first instance for the copy that replaces it: the process id, which an exec
// keeps, so a mark inherited from anywhere else never matches.
constexpr const char* kReplacedMark = "ZYREL_REPLACED_INSTANCE";

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

bool CopyExecutable(const vxn::wstring& from, const vxn::wstring& to)
{
    const int source = ::open(Utf8(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return false;
    const int target = ::open(Utf8(to).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (target < 0) {
        ::close(source);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        if (got <= 0)
            break;
        if (!WriteAll(target, buffer.data(), static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    ::close(source);
    // A copy that was cut short must not be started: its close is part of the copy.
    if (::close(target) != 0)
        ok = false;
    if (!ok)
        ::unlink(Utf8(to).c_str());
    return ok;
}

bool StartCopy(const vxn::wstring& target, const vxn::wstring& parameters)
{
    const std::string program = Utf8(target);
    std::vector<std::string> words = Words({program}, parameters);
    std::vector<char*> argv = Argv(words);

    const std::string mark = std::to_string(::getpid());
    ::setenv(kReplacedMark, mark.c_str(), 1);
    std::fflush(nullptr);
    ::execv(program.c_str(), argv.data());
    // Still here: the copy could not be started, and this process goes on as the first
    // instance, whose children must not see the mark.
    ::unsetenv(kReplacedMark);
    return false;
}

bool ReplacedFirstInstance()
{
    static const bool replaced = [] {
        const char* mark = std::getenv(kReplacedMark);
        const bool ours = mark != nullptr && std::to_string(::getpid()) == mark;
        ::unsetenv(kReplacedMark);
        return ours;
    }();
    return replaced;
}

} // namespace platform
