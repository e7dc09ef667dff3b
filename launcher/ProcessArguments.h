// The OS half of the command line: the process's own arguments, and the environment that
// the processes it starts later inherit.
#pragma once

#include "CommandLine.h"

// The process's arguments, program first. Windows splits GetCommandLineW with
// CommandLineToArgvW; Linux reads the argv it was started with from /proc/self/cmdline and
// converts each argument from UTF-8. Empty when the system cannot tell.
ArgumentList ReadProcessArguments();

// Sets a variable of the process's environment, which every process started afterwards
// inherits.
void SetInheritedEnvironmentVariable(const vxn::wchar* name, const vxn::wchar* value);
