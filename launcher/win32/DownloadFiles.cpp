// The download dialog's files on Windows.
#include "DownloadFiles.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

std::FILE* OpenDownloadFile(const vxn::wstring& path)
{
    // A folder named with -temp may be shared, and the file is about to be run: the name
    // is opened itself, never what a reparse point (a symbolic link, a junction) leads to,
    // and only a plain file with no other name is written. Truncating follows the checks.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION facts = {};
    if (!GetFileInformationByHandle(handle, &facts) ||
        (facts.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        facts.nNumberOfLinks != 1 || GetFileType(handle) != FILE_TYPE_DISK || !SetEndOfFile(handle)) {
        CloseHandle(handle);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr)
        _close(fd);
    return file;
}
