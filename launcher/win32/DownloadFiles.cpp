// The download dialog's files on Windows.
#include "DownloadFiles.h"

#include <windows.h>

#include <stdio.h>

bool MakeDownloadFolder(const vxn::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

std::FILE* OpenDownloadFile(const vxn::wstring& path)
{
    return _wfopen(path.c_str(), L"wb");
}
