// Starting a program on Windows: the shell's "open" verb, as a user's double click would.
#include "ProgramStart.h"

#include <windows.h>
#include <shellapi.h>

std::uintptr_t OpenProgram(void* owner, const vxn::wstring& file, const vxn::wstring& parameters)
{
    const HINSTANCE result = ShellExecuteW(static_cast<HWND>(owner), L"open", file.c_str(),
                                           parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOW);
    return reinterpret_cast<std::uintptr_t>(result);
}

bool CanStartWindowsPrograms()
{
    return true;
}
