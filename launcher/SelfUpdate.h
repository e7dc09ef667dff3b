// The self-update handoff and the relaunch from a temporary copy.
#pragma once

#include <vxnstl/string>

// In self-update mode: waits for the process that started this one to end, escalating
// from waiting (10 s) to a close request (5 s) to termination (1 s), and tells the user when
// even that did not end it.
void WaitForParentExit();

// The user's temporary folder, "ZyrelDownloader-" and a new UUID in lower case
// (8-4-4-4-12, no braces). Not created.
vxn::wstring NewTempFolderPath();

// A new folder from NewTempFolderPath, created for this process alone (on Linux mode 0700,
// and never a folder or link that was already there): its path, or "" when none could be
// made.
vxn::wstring CreateFreshTempFolder();

// Copies the executable into a fresh temporary folder and starts the copy with this
// process's arguments and -temp; true when the copy was started (on Linux the copy has
// replaced this process by then and the call does not return).
bool RelaunchFromTempCopy(const vxn::wstring& executablePath);
