// The installed client: its file name and the folder it is installed in.
#pragma once

#include <vxnstl/string>

// The client's file name, "ZyrelClient<suffix>.exe" with the AppSuffix setting: the file
// the launcher starts, the one its lookup looks for, and the parent that a self-update
// waits for. It keeps its Windows name on Linux too.
vxn::wstring ClientFileName();

// The folder of an installed client, or "": the -existing folder (or the current folder)
// when it holds ClientFileName(); otherwise, unless the installation is portable, the
// InstallLocation of the client's uninstall entry (on Linux mapped out of the Wine
// prefix, InstallFolderOfLocation).
vxn::wstring FindInstallLocation();

// The InstallLocation rules, on the value's raw UTF-16 data: the text up to its first NUL
// (or all of it), with one trailing backslash removed.
vxn::wstring InstallLocationFromValue(const vxn::wstring& data);
