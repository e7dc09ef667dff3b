// The process's arguments and inherited environment on Windows.
#include "ProcessArguments.h"

#include <windows.h>
#include <shellapi.h>

ArgumentList ReadProcessArguments()
{
    ArgumentList arguments;
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(GetCommandLineW(), &count);
    if (vector == nullptr)
        return arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back().assign(vector[i]);
    LocalFree(vector);
    return arguments;
}

void SetInheritedEnvironmentVariable(const vxn::wchar* name, const vxn::wchar* value)
{
    SetEnvironmentVariableW(name, value);
}
