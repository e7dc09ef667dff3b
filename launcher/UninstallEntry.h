// The OS half of FindInstallLocation: one value of an installed program's uninstall entry
// under the machine-wide registry hive.
//
// Windows reads the registry (HKEY_LOCAL_MACHINE, the 32-bit view). Linux reads a small
// file-backed stand-in that an installer writes: the key path becomes folders below a root
// (ZYREL_REGISTRY_ROOT, by default /etc/zyrel/registry) and the value a file of that name
// holding UTF-8 text, or UTF-16LE text after the byte-order mark FF FE. The README's
// "Installed client lookup on Linux" describes it for installer authors.
#pragma once

#include "Path.h"

#include <vxnstl/string>

// Values larger than this many bytes (as UTF-16 data) do not fit the reader's buffer and
// read as missing.
inline constexpr vxn::u32 UninstallValueLimitBytes = 65536;

// The separator that ends an install folder written with a trailing one.
inline constexpr vxn::wchar InstallFolderSeparator = VXN::Path::PlatformSeparator;

// The raw UTF-16 data of value `name` of key `key_path` (backslash-separated, relative to
// the machine hive): as many units as the value holds, NULs included. False when the key or
// the value is missing, unreadable or larger than UninstallValueLimitBytes.
bool ReadUninstallValue(const vxn::wstring& key_path, const vxn::wchar* name, vxn::wstring& data);
