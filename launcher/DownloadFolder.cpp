// The download folder and the relaunch's folder (DownloadFolder.h).
#include "DownloadFolder.h"

#include "DownloadFolderPlatform.h"

#include "Format.h"

namespace {

vxn::wstring FolderName(const vxn::wstring& base, const vxn::wstring& uuid)
{
    return VXN::format(VXN_W("{0}ZyrelDownloader-{1}"), base, uuid);
}

} // namespace

vxn::wstring NewTempFolderPath()
{
    // Without the temporary folder the name would be relative: no folder at all, and the
    // relaunch fails instead.
    const vxn::wstring base = platform::TempFolder();
    return base.empty() ? base : FolderName(base, platform::NewUuidText());
}

vxn::wstring CreateFreshTempFolder()
{
    // Only an absolute folder of our own will do: without the temporary folder or a UUID
    // the name would be relative or predictable. A name that is taken (vanishingly rare for
    // a random UUID, so more likely planted) gets a new one.
    const vxn::wstring base = platform::TempFolder();
    if (base.empty())
        return vxn::wstring();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const vxn::wstring uuid = platform::NewUuidText();
        if (uuid.empty())
            return vxn::wstring();
        vxn::wstring folder = FolderName(base, uuid);
        if (CreateRelaunchFolder(folder))
            return folder;
    }
    return vxn::wstring();
}

vxn::wstring PrepareDownloadFolder(const vxn::wstring& tempDir, DownloadFolderSystem& system)
{
    vxn::wstring folder = tempDir;
    // Without a folder (the relaunch could not make one) the file would land in the root
    // of the drive; it goes into a private folder of its own instead.
    if (folder.empty())
        folder = CreateFreshTempFolder();
    if (!folder.empty())
        system.CreateFolder(folder);
    return folder;
}
