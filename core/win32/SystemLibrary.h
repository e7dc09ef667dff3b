// Loading a Windows system DLL from System32 and nowhere else.
//
// A user runs this program from a Downloads folder, where any site may have left a file
// named like a system DLL; the default search would find that file first (the program's
// own folder, then the current one). Windows' own KnownDLLs are always taken from System32;
// every other DLL the program uses goes through here.
#pragma once

#include <windows.h>

namespace VXN::platform {

inline HMODULE load_system_library(const wchar_t* name)
{
    // Windows 7 without KB2533623 does not know the flag and answers ERROR_INVALID_PARAMETER;
    // the full System32 path is just as exact there.
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t path[MAX_PATH + 64];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    path[length] = L'\\';
    lstrcpynW(path + length + 1, name, 63);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace VXN::platform
