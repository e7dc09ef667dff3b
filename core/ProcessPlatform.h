// The operating-system half of Process (core/posix/Process.cpp, core/win32/Process.cpp and
// the debugger dialogs). A call that answers false leaves the cause in last_error()
// (FilesPlatform.h).
#pragma once

#include "Process.h"

#include <vxnstl/string>

#include <cstdint>

namespace VXN::platform {

// A process handle (Windows) or pidfd (Linux).
using process_handle = std::intptr_t;
inline constexpr process_handle invalid_process = -1;

// The id this process was started by as the system records it, whether or not that
// process still lives; NoProcessId when unknown.
std::uint32_t recorded_parent_id();
// Whether the process with that id is still the one that started this one.
bool parent_still_running(std::uint32_t id);
// The same, for a process already held, so that the answer cannot go stale.
bool held_process_is_parent(process_handle handle, std::uint32_t id);
// The creator's id as recorded, without the rules of recorded_parent_id (Linux: init too).
std::uint32_t recorded_creator_id();

bool open_process(std::uint32_t id, process_handle& handle);
void close_process(process_handle handle);
// The full path of the held process's executable, whatever its length; fails for a
// process that has ended.
bool process_image_path(process_handle handle, std::uint32_t id, Path& out);
// The file name of the program the held process runs (Process::ProgramName), given the
// image path just read; fails for a process that has ended meanwhile.
bool process_program_name(process_handle handle, std::uint32_t id, Path& image, vxn::wstring& out);

// SameFileName: the platform's case-insensitive comparison of file names.
bool same_file_name(const vxn::wstring& a, const vxn::wstring& b);

enum class wait_outcome { ended, timed_out, failed };
wait_outcome wait_process(process_handle handle, std::uint32_t timeoutMs);
// The exit code of an ended process (Process::ExitCodeUnknown when it cannot be known).
std::uint32_t exit_code(process_handle handle);

// The polite close request, with its Result (statuses as Process::Stop documents).
Result request_close(process_handle handle, std::uint32_t id);
bool terminate_process(process_handle handle);

// Calls visit(context, window, owning process id) for every top-level window in the
// system's order; false when the windows cannot be listed. No desktop: no windows.
using window_visitor = void (*)(void* context, WindowHandle window, std::uint32_t processId);
bool enumerate_windows(window_visitor visit, void* context);

bool debugger_attached();
void pause_milliseconds(std::uint32_t milliseconds);

// Shows the wait-for-debugger dialog until a debugger attaches or the user dismisses it;
// false when no dialog can be shown here (the caller then polls).
bool show_debugger_dialog(const vxn::wstring& title, const vxn::wstring& instruction,
                          const vxn::wstring& content);

} // namespace VXN::platform
