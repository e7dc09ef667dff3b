// Starting a program with the shell's "open" verb: the client, the relaunched copy and the
// installer all start through here.
//
// Windows: ShellExecuteW(owner, "open", file, parameters, no folder, SW_SHOW).
// Linux: `parameters` is split with the Windows rules (SplitParameters); a file that starts
// with "MZ" runs through wine (the program WINE names, else `wine` on PATH; the
// environment, WINEPREFIX included, passes on as it is), any other regular executable file
// runs directly; anything else, and an exec that fails, is a failed start. The program inherits
// the current folder and the environment, no descriptor of ours, and outlives us.
#pragma once

#include <vxnstl/string>

#include <cstdint>

// ShellExecuteW's answer: greater than 32 when the program was started.
std::uintptr_t OpenProgram(void* owner, const vxn::wstring& file, const vxn::wstring& parameters);

// Whether a Windows program (the installer) can be started here at all: always on Windows;
// on Linux when the wine program that OpenProgram would run it through exists.
bool CanStartWindowsPrograms();

inline bool ProgramStarted(std::uintptr_t result)
{
    return result > 32;
}
