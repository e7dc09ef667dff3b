// The OS half of FindInstallLocation: one value of an installed program's uninstall entry
// under the machine-wide registry hive, and the folder its InstallLocation names.
//
// Windows reads the registry (HKEY_LOCAL_MACHINE, the 32-bit view). On Linux the installer
// is a Windows program run through wine, so the entry is in the Wine prefix's registry
// (the system.reg of WINEPREFIX, or of ~/.wine) and the folder is a Windows path of that
// prefix, which Linux reaches through the prefix's drives (dosdevices). The README's
// "Installed client lookup on Linux" describes it for users.
#pragma once

#include "Path.h"

#include <vxnstl/string>

// Values larger than this many bytes (as UTF-16 data) do not fit the reader's buffer and
// read as missing.
inline constexpr vxn::u32 UninstallValueLimitBytes = 65536;

// The separator that ends an install folder written with a trailing one: the location is a
// Windows path on both systems.
inline constexpr vxn::wchar InstallFolderSeparator = VXN_W('\\');

// The raw UTF-16 data of value `name` of key `key_path` (backslash-separated, relative to
// the machine hive): as many units as the value holds, NULs included. False when the key or
// the value is missing, unreadable or larger than UninstallValueLimitBytes.
bool ReadUninstallValue(const vxn::wstring& key_path, const vxn::wchar* name, vxn::wstring& data);

// The folder that an InstallLocation (already cut by InstallLocationFromValue) names, as
// this system reaches it: on Windows the location itself; on Linux the Windows path mapped
// into the prefix as Wine maps it, or "" when it is not an absolute path with a drive
// letter.
vxn::wstring InstallFolderOfLocation(const vxn::wstring& location);

// The file `name` in an installed client's folder: on Windows the two joined; on Linux a
// name that does not exist as written is matched without regard to case, as Wine finds
// files.
vxn::wstring InstalledFilePath(const vxn::wstring& folder, const vxn::wstring& name);
