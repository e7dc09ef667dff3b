// The name the downloaded installer is saved under: the address's last segment when
// Windows can hold it as a file name, else a fixed name.
#pragma once

#include <vxnstl/string>

// Used when the address's last segment cannot be a file name.
inline constexpr const vxn::wchar* FallbackInstallerName = VXN_W("ZyrelInstall.exe");

// Whether Windows can hold `name` as the name of a file in a folder: not empty, not "."
// or "..", no character it forbids (< > : " / \ | ? * and the control characters), not a
// reserved device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or without an
// extension, in any case), not ending in a dot or a space (Windows drops those, so the file
// would get another name than the one checked and started), and at most 200 characters.
// The same rule holds on Linux, so that both platforms save the same file.
bool IsUsableFileName(const vxn::wstring& name);

// The last segment of the address (the query already cut): after the last "/" or "\",
// once one trailing separator is dropped; the whole text when there is none.
vxn::wstring LastUrlSegment(const vxn::wstring& url);
