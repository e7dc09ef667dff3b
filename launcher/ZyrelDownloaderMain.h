#pragma once

#include <vxnstl/string>

// The start-up sequence of the program: logging, settings, and the choice between starting
// an installed client, handing over a self-update, relaunching from a temporary copy and
// the download dialog. Returns the process's exit code, which is 0 on every path.
int ZyrelDownloaderMain();

// Starts ZyrelClient<suffix>.exe in the installation folder; true when it started.
bool LaunchInstalledClient(const vxn::wstring& location);
