// The process's arguments and inherited environment on Linux. The arguments come from
// /proc/self/cmdline, the kernel's copy of the argv the process was started with (each
// argument followed by a NUL), so the entry needs no argc/argv of its own.
#include "ProcessArguments.h"

#include "ReadFile.h"

#include <cstdlib>

namespace {

// The kernel holds at most 6 MiB of arguments and environment together.
constexpr vxn::u32 kLongestCommandLine = 16u << 20;

} // namespace

ArgumentList ReadProcessArguments()
{
    ArgumentList arguments;
    vxn::string bytes;
    if (!VXN::ReadWholeFile("/proc/self/cmdline", kLongestCommandLine, bytes).Succeeded())
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
