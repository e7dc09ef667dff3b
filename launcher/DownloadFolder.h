// The folder an installer is downloaded into: the -temp folder that the relaunch hands to
// its copy, or, without one, a fresh private folder in the user's temporary folder. The
// relaunch makes its folder here too, so both name it the same way:
// <temporary folder>ZyrelDownloader-<uuid>.
//
// The OS half: posix/DownloadFolder.cpp and win32/DownloadFolder.cpp (DownloadFolderPlatform.h
// for what only this module uses).
#pragma once

#include <vxnstl/string>

// The user's temporary folder, "ZyrelDownloader-" and a new UUID in lower case
// (8-4-4-4-12, no braces). Not created.
vxn::wstring NewTempFolderPath();

// A new folder from NewTempFolderPath, created for this process alone (on Linux mode 0700,
// and never a folder or link that was already there): its path, or "" when none could be
// made.
vxn::wstring CreateFreshTempFolder();

// Creates a folder of NewTempFolderPath with its missing parents; the last level must be
// new, so a name that already exists (a folder, or a link someone planted) fails. Linux:
// that level gets mode 0700.
bool CreateRelaunchFolder(const vxn::wstring& path);

// One folder level. Windows: CreateDirectoryW without security attributes. Linux: mkdir
// with mode 0700, since the folder receives a program that is about to run.
bool MakeDownloadFolder(const vxn::wstring& path);

// What choosing the download folder asks of the system; the download dialog's platform
// supplies it, so that a test can drive it.
class DownloadFolderSystem {
public:
    virtual ~DownloadFolderSystem() = default;
    // Creates one folder level; an existing folder is fine and nothing is reported.
    virtual void CreateFolder(const vxn::wstring& path) = 0;
};

// The download folder, made ready: `tempDir` (the TempDir setting, created through
// `system` when missing), or a fresh private folder (CreateFreshTempFolder) when it is
// empty; "" when there is none.
vxn::wstring PrepareDownloadFolder(const vxn::wstring& tempDir, DownloadFolderSystem& system);
