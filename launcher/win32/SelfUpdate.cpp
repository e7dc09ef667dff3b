// The Windows half of the self-update handoff: GetTempPathW, RPC UUIDs, CopyFileW and
// ShellExecuteW.
#include "SelfUpdatePlatform.h"

#include "ProgramStart.h"

#include "Path.h"

#include <windows.h>
#include <rpc.h>

namespace selfupdate_platform {

const vxn::wchar* const JoinPattern = L"{0}\\{1}";

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

bool CopyExecutable(const vxn::wstring& from, const vxn::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

bool StartCopy(const vxn::wstring& target, const vxn::wstring& parameters)
{
    return ProgramStarted(OpenProgram(nullptr, target, parameters));
}

bool ReplacedFirstInstance()
{
    return false;
}

} // namespace selfupdate_platform
