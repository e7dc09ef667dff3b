// The Windows half of the download folder: GetTempPathW, RPC UUIDs and CreateDirectoryW.
#include "DownloadFolder.h"
#include "DownloadFolderPlatform.h"

#include "Path.h"

#include <windows.h>
#include <rpc.h>

namespace platform {

vxn::wstring TempFolder()
{
    // 32,767 characters is the longest path Windows has.
    static constexpr DWORD kCapacity = 32768;
    vxn::wstring folder;
    folder.resize(kCapacity, 0);
    const DWORD length = GetTempPathW(kCapacity - 1, folder.data());
    folder.resize(length < kCapacity ? length : 0, 0);
    return folder;
}

vxn::wstring NewUuidText()
{
    UUID uuid;
    if (UuidCreate(&uuid) != RPC_S_OK)
        return vxn::wstring();
    RPC_WSTR text = nullptr;
    if (UuidToStringW(&uuid, &text) != RPC_S_OK || text == nullptr)
        return vxn::wstring();
    vxn::wstring result(reinterpret_cast<const wchar_t*>(text));
    RpcStringFreeW(&text);
    return result;
}

} // namespace platform

bool CreateRelaunchFolder(const vxn::wstring& path)
{
    // The parents as needed, then the folder itself, which must be new: a name that is
    // already taken is not ours.
    vxn::u32 cut = path.size();
    while (cut > 0 && path[cut - 1] != L'\\' && path[cut - 1] != L'/')
        --cut;
    if (cut > 1)
        (void)VXN::CreateDirectories(VXN::Path(path.substr(0, cut - 1)));
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool MakeDownloadFolder(const vxn::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}
