// The command line: the option scan that fills the settings store, the passthrough text that
// a relaunched copy receives, and a splitter with the rules of the Windows shell.
//
// Options start with "-" or "/" and are matched after folding A-Z to a-z; value options take
// the next argument unchanged. Unknown options and stray values are ignored, and every
// argument, in the case it was typed, goes into the passthrough text stored under
// "Arguments", quoted so that splitting that text gives the same arguments back.
#pragma once

#include <vxnstl/string>
#include <vxnstl/vector>

#include <cstdio>

// An argument vector whose texts the scan may change in place.
using ArgumentList = vxn::vector<vxn::wstring>;

// Splits a whole command line the way CommandLineToArgvW does:
// - argument 0, the program name, ends at the next quote when it starts with one, and
//   otherwise at the first space, tab or control character (U+0001 to U+0020), which is
//   dropped; backslashes mean nothing in it;
// - the other arguments are separated by spaces and tabs outside quotes; 2n backslashes
//   before a quote give n backslashes and the quote opens or closes a quoted run, 2n+1 give
//   n backslashes and a literal quote; backslashes elsewhere are literal; inside a quoted
//   run, two quotes give one literal quote and the run goes on;
// - an empty command line gives the running program's path as its only argument.
ArgumentList SplitCommandLine(const vxn::wchar* command_line);

// Splits a parameter text, what follows the program name on a command line, into the
// arguments that a program started with it receives (argument 1 onwards).
ArgumentList SplitParameters(const vxn::wchar* parameters);

// Appends one argument and a space to a passthrough text. Arguments that need no quotes go
// in as they are; an empty one becomes "", and one with a space, a tab or a quote is quoted,
// its quotes escaped and the backslashes before them (and before the closing quote)
// doubled, so that SplitParameters gives exactly the argument back.
void AppendQuotedArgument(vxn::wstring& text, const vxn::wstring& argument);

// The passthrough text of arguments 1 to the last (argument 0, the program, is left out),
// without a value option given last without its value, which the scan ignores and which
// would take whatever the relaunch appends as its value.
vxn::wstring PassthroughText(const ArgumentList& arguments);

// Waits for a debugger to attach; injected so that tests can run the scan without waiting.
using DebuggerWait = void (*)();

// The scan of one argument vector (argument 0 is never looked at): folds the case of every
// argument it visits in place, writes the options to the store, writes Arguments, and with
// -debug calls `wait` and then sets VXN_WAIT_FOR_DEBUGGER=true for every later child.
void ScanArguments(ArgumentList& arguments, DebuggerWait wait);

// ScanArguments over the process's own command line; the debugger wait shows its dialog.
// Always true.
bool ParseCommandLine();

// The same with another debugger wait.
bool ParseCommandLine(DebuggerWait wait);

// What a user of a Unix command expects of it: `--help` (or `-h`) and `--version`, each only
// as the one and only argument, answered on stdout before anything else happens (no log, no
// relaunch folder, no download). Only the Linux entry asks: the Windows program is a GUI
// program without a console, and there these words stay ignored arguments like any other
// unknown option. Among other arguments they are ignored on Linux too, so a command line that
// the Windows program accepts means the same on both.
enum class UnixCommand { None, Help, Version };

// The request that `argv` (argument 0 the program, as main receives it) makes.
UnixCommand FindUnixCommand(int argc, const char* const* argv);

// The text that answers `command`: the usage and one line for every option, or
// "ZyrelDownloader <version>"; both end with a line end. Empty for UnixCommand::None.
vxn::string UnixCommandText(UnixCommand command);

// Writes the answer to `out`; the exit code: 0, or 1 when it could not be written (a full
// disk, a closed pipe), as a Unix command reports that.
int AnswerUnixCommand(UnixCommand command, std::FILE* out);
