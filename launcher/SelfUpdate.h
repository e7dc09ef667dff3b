// The self-update handoff and the relaunch from a temporary copy.
#pragma once

#include <vxnstl/string>

// In self-update mode: waits for the process that started this one to end, escalating
// from waiting (10 s) to a close request (5 s) to termination (1 s), and tells the user when
// even that did not end it. Only the process being updated is treated so: a parent that
// runs the client ("ZyrelClient<suffix>.exe") or a program of this program's own file
// name (an earlier instance that relaunched), names compared as Windows compares file
// names. Any other parent (init, a subreaper, a shell, a reused id) is left alone, with one
// log line that says so, and the program goes on at once.
void WaitForParentExit();

// Copies the executable into a fresh temporary folder and starts the copy with this
// process's arguments and -temp; true when the copy was started (on Linux the copy has
// replaced this process by then and the call does not return).
bool RelaunchFromTempCopy(const vxn::wstring& executablePath);
