// The installed client's name and folder (InstallLocation.h).
#include "InstallLocation.h"

#include "Settings.h"
#include "UninstallEntry.h"

#include "FileInfo.h"
#include "Format.h"
#include "Path.h"

vxn::wstring ClientFileName()
{
    return VXN::format(VXN_W("ZyrelClient{0}.exe"), Settings::Get(Settings::Key::AppSuffix, VXN_W("")));
}

vxn::wstring InstallLocationFromValue(const vxn::wstring& data)
{
    vxn::u32 length = 0;
    while (length < data.size() && data[length] != 0)
        ++length;
    if (length > 0 && data[length - 1] == InstallFolderSeparator)
        --length;
    return data.substr(0, length);
}

vxn::wstring FindInstallLocation()
{
    const vxn::wstring suffix = Settings::Get(Settings::Key::AppSuffix, VXN_W(""));

    vxn::wstring folder = Settings::ExistingDir();
    if (folder.empty())
        folder = VXN_W(".");

    VXN::FileInfo candidate(VXN::JoinPath(folder, ClientFileName()));
    (void)candidate.Query();
    if (candidate.exists)
        return folder;

    // A portable installation lives only where it was unpacked; an installed client of the
    // same suffix elsewhere is not this one.
    if (Settings::PortableInstallation())
        return vxn::wstring();

    const vxn::wstring key = VXN::format(VXN_W("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel{0}"), suffix);
    vxn::wstring data;
    if (!ReadUninstallValue(key, VXN_W("InstallLocation"), data))
        return vxn::wstring();
    return InstallFolderOfLocation(InstallLocationFromValue(data));
}
