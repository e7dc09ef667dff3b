// The OS half of the self-update handoff and the relaunch (launcher/posix/SelfUpdate.cpp,
// launcher/win32/SelfUpdate.cpp).
#pragma once

#include <vxnstl/string>

namespace platform {

// Copies the executable file; fails when the target exists.
bool CopyExecutable(const vxn::wstring& from, const vxn::wstring& to);

// Starts the copy with the parameter text. Windows: ShellExecuteW, and this process exits
// afterwards. Linux: the copy replaces this process (exec), keeping its id, terminal,
// parent and exit status: the Unix form of "start the copy and exit". It only returns when
// the copy could not be started.
bool StartCopy(const vxn::wstring& target, const vxn::wstring& parameters);

// Whether this process is a copy that replaced the first instance (Linux only; the mark
// is read from the environment once and removed at once, so no later child inherits it).
// Such a copy's parent is not the instance it was started by, and is never waited for.
bool ReplacedFirstInstance();

} // namespace platform
