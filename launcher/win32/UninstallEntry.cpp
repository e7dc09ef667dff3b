// The uninstall entry on Windows: a value under HKEY_LOCAL_MACHINE.
#include "UninstallEntry.h"

#include <windows.h>

bool ReadUninstallValue(const vxn::wstring& key_path, const vxn::wchar* name, vxn::wstring& data)
{
    data.clear();
    // The program ships as a 32-bit process, which reads the 32-bit view of the hive
    // without asking for it; a 64-bit build (the tests under 64-bit Windows) asks for that
    // view so that it reads the same entry.
    REGSAM access = KEY_READ;
#if defined(_WIN64)
    access |= KEY_WOW64_32KEY;
#endif
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return false;

    vxn::wstring buffer;
    buffer.resize(UninstallValueLimitBytes / sizeof(vxn::wchar), 0);
    DWORD size = UninstallValueLimitBytes;
    LSTATUS status = ERROR_OUTOFMEMORY;
    if (buffer.size() == UninstallValueLimitBytes / sizeof(vxn::wchar))
        status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    // A value that does not fit answers ERROR_MORE_DATA and counts as missing.
    if (status != ERROR_SUCCESS || size > UninstallValueLimitBytes)
        return false;
    data.assign(buffer.data(), static_cast<vxn::u32>(size / sizeof(vxn::wchar)));
    return true;
}

vxn::wstring InstallFolderOfLocation(const vxn::wstring& location)
{
    return location;
}

vxn::wstring InstalledFilePath(const vxn::wstring& folder, const vxn::wstring& name)
{
    return VXN::JoinPath(folder, name);
}
