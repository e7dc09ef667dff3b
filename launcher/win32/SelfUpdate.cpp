// The Windows half of the self-update handoff: CopyFileW and ShellExecuteW.
#include "SelfUpdatePlatform.h"

#include "ProgramStart.h"

#include <windows.h>

namespace platform {

bool CopyExecutable(const vxn::wstring& from, const vxn::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

bool StartCopy(const vxn::wstring& target, const vxn::wstring& parameters)
{
    return ProgramStarted(OpenProgram(nullptr, target, parameters));
}

bool ReplacedFirstInstance()
{
    return false;
}

} // namespace platform
