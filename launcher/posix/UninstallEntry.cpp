// The uninstall entry on Linux. The installer is a Windows program that runs through wine,
// so it writes the entry into the Wine prefix's registry and installs the client into the
// prefix's drives: the entry is read from the prefix's system.reg (WineRegistry.h) and its
// folder mapped to the Linux folder that Wine gives it (WinePrefix.h).
#include "UninstallEntry.h"

#include "ProgramWords.h"
#include "WinePrefix.h"
#include "WineRegistry.h"

#include "ReadFile.h"

namespace {

// The machine hive of a fresh prefix is about 3 MB (Wine 8.0); a prefix that has seen many
// programs installed grows to some tens of MB. Anything beyond this is not a registry file.
constexpr vxn::u32 MaxRegistryBytes = 128u * 1024 * 1024;

} // namespace

bool ReadUninstallValue(const vxn::wstring& key_path, const vxn::wchar* name, vxn::wstring& data)
{
    data.clear();
    const std::string prefix = platform::WinePrefixFolder();
    if (prefix.empty())
        return false;
    vxn::string bytes;
    if (!VXN::ReadWholeFile((prefix + "/system.reg").c_str(), MaxRegistryBytes, bytes).Succeeded())
        return false;
    return platform::FindRegistryValue(bytes.view(), key_path, vxn::wstring(name), UninstallValueLimitBytes, data);
}

vxn::wstring InstallFolderOfLocation(const vxn::wstring& location)
{
    const std::string folder = platform::UnixPathOfWindowsPath(platform::WinePrefixFolder(), location);
    return vxn::utf16_from(folder.c_str(), static_cast<vxn::u32>(folder.size()));
}

vxn::wstring InstalledFilePath(const vxn::wstring& folder, const vxn::wstring& name)
{
    const std::string path = platform::MatchName(platform::Utf8(folder), platform::Utf8(name));
    return vxn::utf16_from(path.c_str(), static_cast<vxn::u32>(path.size()));
}
