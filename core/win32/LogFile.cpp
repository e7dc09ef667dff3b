// The log file in the user's temporary folder.
#include "LogPlatform.h"

#include "Format.h"

#include <windows.h>

namespace VXN::platform {

LogFileHandle OpenLogFile()
{
    // The longest path Windows knows; a folder that does not fit, or none at all, leaves
    // the log in the current folder.
    constexpr DWORD kFolderCapacity = 32768;
    vxn::wstring folder;
    folder.resize(kFolderCapacity - 1, 0);
    DWORD length = GetTempPathW(kFolderCapacity, folder.data());
    if (length >= kFolderCapacity)
        length = 0;
    folder.resize(length, 0);
    const vxn::wstring path = format(VXN_W("{0}ZyrelDownloader.log"), folder);

    // Others may read the log while it is written, and delete it; CREATE_ALWAYS starts a
    // new log on every run.
    const HANDLE file = CreateFileW(path.c_str(), FILE_GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kNoLogFile;
    return reinterpret_cast<LogFileHandle>(file);
}

void WriteLogFile(LogFileHandle file, const char* bytes, vxn::u32 count)
{
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(file), bytes, count, &written, nullptr);
}

void CloseLogFile(LogFileHandle file)
{
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

} // namespace VXN::platform
