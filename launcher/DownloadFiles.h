// The OS half of the download dialog's file: opening the installer's file for writing
// (the folder it goes into: DownloadFolder.h).
#pragma once

#include <vxnstl/string>

#include <cstdio>

// Opens the file for binary writing, truncating it, never through a link: what already has
// the name must be a plain file of ours with no other name (a link, a hard link, a device
// or a folder is refused). Linux: close-on-exec, so the installer started later does not
// inherit it.
std::FILE* OpenDownloadFile(const vxn::wstring& path);
