// The Linux half of the self-update handoff: the temporary folder, UUIDs from the kernel's
// generator, a private relaunch folder, and the relaunch as an exec.
#include "SelfUpdatePlatform.h"

#include "ProgramWords.h"

#include "Format.h"
#include "Path.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace selfupdate_platform {

namespace {

// Set by the first instance for the copy that replaces it: the process id, which an exec
// keeps, so a mark inherited from anywhere else never matches.
constexpr const char* kReplacedMark = "ZYREL_REPLACED_INSTANCE";

using program_words::Utf8;

vxn::wstring Wide(const std::string& text)
{
    vxn::wstring wide;
    wide.assign_utf8(text.c_str(), static_cast<vxn::u32>(text.size()));
    return wide;
}

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

const vxn::wchar* const JoinPattern = VXN_W("{0}/{1}");

vxn::wstring TempFolder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string text = folder != nullptr && folder[0] != 0 ? folder : "/tmp";
    if (text.back() != '/')
        text += '/';
    return Wide(text);
}

vxn::wstring NewUuidText()
{
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return vxn::wstring();
        got += static_cast<std::size_t>(n);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return Wide(text);
}

bool CreateRelaunchFolder(const vxn::wstring& path)
{
    const std::string folder = Utf8(path);
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        (void)VXN::CreateDirectories(VXN::Path(vxn::string(folder.c_str(), static_cast<vxn::u32>(slash))));
    // mkdir never follows a link and fails on any name that exists; the mode is set again
    // because the umask may have taken bits from it.
    if (::mkdir(folder.c_str(), 0700) != 0)
        return false;
    return ::chmod(folder.c_str(), 0700) == 0;
}

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
    std::vector<std::string> words = program_words::Words({program}, parameters);
    std::vector<char*> argv = program_words::Argv(words);

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

} // namespace selfupdate_platform
