// The OS half of the download dialog's file operations.
#pragma once

#include <vxnstl/string>

#include <cstdio>

// The separator between the download folder and the file name.
#if defined(_WIN32)
inline constexpr vxn::wchar DownloadPathSeparator = '\\';
#else
inline constexpr vxn::wchar DownloadPathSeparator = '/';
#endif

// One folder level. Windows: CreateDirectoryW without security attributes. Linux: mkdir
// with mode 0700, since the folder receives a program that is about to run.
bool MakeDownloadFolder(const vxn::wstring& path);

// Opens the file for binary writing, truncating it, never through a link: what already has
// the name must be a plain file of ours with no other name (a link, a hard link, a device
// or a folder is refused). Linux: close-on-exec, so the installer started later does not
// inherit it.
std::FILE* OpenDownloadFile(const vxn::wstring& path);
