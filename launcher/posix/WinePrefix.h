// The Wine prefix that Windows programs run in on Linux, and the wine program that runs
// them: where the installer, itself a Windows program, left the client and its uninstall
// entry, and how a Windows path of that prefix is found on the Linux side.
#pragma once

#include <vxnstl/string>

#include <string>

namespace platform {

// The prefix wine uses: WINEPREFIX when set and not empty, else ~/.wine (HOME, or the
// user's home folder from the password database). "" when WINEPREFIX is not an absolute
// path (wine refuses such a prefix) or no home folder is known.
std::string WinePrefixFolder();

// The wine program: WINE when set and not empty (a path when it holds a slash, otherwise a
// name looked up on PATH), else "wine" on PATH; "" when that names no executable file.
std::string WineProgram();

// The first executable regular file called `name` in PATH's folders, or "".
std::string FindOnPath(const char* name);

// The Linux path of the absolute Windows path `windows` ("C:\Program Files\Zyrel") in
// `prefix`, as Wine maps it: the drive through the prefix's dosdevices/<letter>: link
// (c: is ../drive_c, z: is /, any other mapping is honoured), then one folder a name, each
// taken as written when it exists and otherwise matched without regard to case in its
// folder (MatchName). "." and empty names are skipped and ".." goes up, never above the
// drive. "" for anything else than a drive letter, a colon and a backslash (or nothing)
// (UNC \\server\share, \\?\ forms, relative paths) and for a drive the prefix lacks.
std::string UnixPathOfWindowsPath(const std::string& prefix, const vxn::wstring& windows);

// `folder`/`name` when it exists as written; otherwise with the first entry of `folder`
// whose name equals `name` without regard to case, as Wine finds a file; otherwise as
// written. The empty folder is the file system's root.
std::string MatchName(const std::string& folder, const std::string& name);

} // namespace platform
