// Reading a value out of a Wine prefix's machine hive, the text file system.reg that the
// wine server keeps (HKEY_LOCAL_MACHINE; user.reg holds HKEY_CURRENT_USER).
//
// The file, as Wine 8 writes it:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to REGISTRY\\Machine
//
//   #arch=win64
//
//   [Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel] 1796907128
//   #time=1dd88a54441a73e
//   "InstallLocation"="C:\\Program Files\\Zyrel Loop\\"
//   "Path"=str(2):"%ProgramFiles%\\Zyrel"
//   "Raw"=hex(2):43,00,3a,00,5c,00,\ (a continued line)
//     00,00
//   @="the key's default value"
//
// Key paths and value names are written with Wine's escapes (\\ \" \[ \] \a \b \e \f \n
// \r \t \v, \x and up to four hex digits for one UTF-16 unit, \ and up to three octal
// digits); so are string data, which hold the text without its terminating NUL. Hex data
// are the value's bytes, continued on the next line after a trailing backslash. A key that
// Wine keeps as a link to another (#link, as for some keys below Wow6432Node\Classes) is
// not followed: the uninstall keys are never links.
#pragma once

#include <vxnstl/string>

#include <string_view>

namespace platform {

// The raw data of value `name` of key `key_path` (backslash-separated, relative to the
// machine hive) as the 32-bit view of the registry holds it, from the text of a system.reg:
// in a 64-bit prefix (#arch=win64) Software\X of that view is Software\Wow6432Node\X, in a
// 32-bit one (#arch=win32) Software\X itself. Names compare without regard to case; an
// empty name is the key's default value (@). The data are UTF-16 units as the registry
// stores them: string data with their terminating NUL, hex data two bytes a unit (an odd
// last byte is not a unit), dword data as two units.
//
// False when the text is not a registry file of that format (its first line, the #arch
// mark before the first key), when the key or the value is missing, when the value's data
// cannot be read or are larger than `limit_bytes`.
bool FindRegistryValue(std::string_view text, const vxn::wstring& key_path, const vxn::wstring& name,
                       vxn::u32 limit_bytes, vxn::wstring& data);

} // namespace platform
