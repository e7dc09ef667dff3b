// The process's arguments and inherited environment on Linux. The arguments come from
// /proc/self/cmdline, the kernel's copy of the argv the process was started with (each
// argument followed by a NUL), so the entry needs no argc/argv of its own.
#include "ProcessArguments.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool ReadWholeFile(const char* path, vxn::string& bytes)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    vxn::u32 used = 0;
    bool ok = true;
    for (;;) {
        if (used == bytes.size()) {
            const vxn::u32 grown = bytes.size() < 4096 ? 4096 : bytes.size() * 2;
            bytes.resize(grown, 0);
            if (bytes.size() != grown) {
                ok = false;
                break;
            }
        }
        const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        used += static_cast<vxn::u32>(got);
    }
    ::close(fd);
    bytes.resize(used, 0);
    return ok;
}

} // namespace

ArgumentList ReadProcessArguments()
{
    ArgumentList arguments;
    vxn::string bytes;
    if (!ReadWholeFile("/proc/self/cmdline", bytes))
        return arguments;
    const char* text = bytes.c_str();
    vxn::u32 start = 0;
    for (vxn::u32 i = 0; i < bytes.size(); ++i) {
        if (text[i] != 0)
            continue;
        vxn::wstring& argument = arguments.push_back();
        if (i > start)
            argument.assign_utf8(text + start, i - start);
        start = i + 1;
    }
    return arguments;
}

void SetInheritedEnvironmentVariable(const vxn::wchar* name, const vxn::wchar* value)
{
    vxn::string narrow_name;
    vxn::string narrow_value;
    narrow_name.assign_utf16(name, vxn::length_of(name));
    narrow_value.assign_utf16(value, vxn::length_of(value));
    ::setenv(narrow_name.c_str(), narrow_value.c_str(), 1);
}
