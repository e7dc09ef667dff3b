// Processes and windows: the parent's id, opening a process by id, waiting for it with a
// time-out, asking it to close or terminating it, finding its top-level window, and the
// start-up wait for a debugger.
//
// The parent process. Once the parent has died, its id says nothing: on Linux the orphan
// is adopted by init or a subreaper, whose id getppid then answers; on Windows the id may
// already belong to an unrelated process. Such a process must never be waited for, asked
// to close or killed in the parent's place, so:
//   - GetParentProcessId answers NoProcessId (all bits set) once the parent is gone;
//   - Process::Open of the parent's id checks, after it holds the process, that it still
//     holds the parent, and fails otherwise; Process::OpenParent does both in one call.
// Holding the process is what makes the check race-free: a held process cannot vanish and
// have its id reused. Windows compares creation times (a process created after this one
// cannot be its parent). Linux learns the parent when the program starts (and again in each
// forked child); a parent that died before that moment cannot be told from its adopter,
// except that init (id 1) is never taken for the parent. A program started by a parent
// that exits at once (a relaunch, say) should therefore not rely on GetParentProcessId on
// Linux when a subreaper (systemd --user, for one) may adopt it: it checks what the parent
// runs (Process::ProgramName) before doing anything to it, or is handed the id explicitly.
//
// What a process runs. ProgramName is the file name of the program, read with the image
// path while the process is held: on Windows the main module's; on Linux the executable's
// (/proc/<pid>/exe), except for a process that Wine runs, whose executable is the Wine
// loader: there it is the Windows program that the loader mapped as its main image (from
// /proc/<pid>/maps). The command line that Wine shows for such a process is not used: its
// first word is whatever the starter of the Windows program put first on its command line.
//
// Linux equivalents of the Windows calls:
//   - a process is held through a pidfd (pidfd_open); without pidfd support (kernels before
//     5.3) Open fails rather than fall back to a reusable bare id;
//   - the image path is /proc/<pid>/exe, read while the process is known to be alive;
//   - Wait polls the pidfd. The exit code is known only for a child of this process
//     (waitid on the pidfd, leaving the child for its owner to reap): a normal exit gives
//     its status, death by signal N gives 128 + N. For any other process the exit code is
//     not available on Linux and ExitCodeUnknown is stored. A signal handled while waiting
//     does not end the wait;
//   - Stop(true) sends SIGTERM, the platform's close request for any process, with or
//     without windows (NotFound when the process has already gone); Stop(false) sends
//     SIGKILL;
//   - FindProcessWindow looks at the X11 desktop (libX11 loaded at run time) and matches
//     _NET_WM_PID; without a display nothing is found;
//   - WaitForDebugger sees a tracer through TracerPid; its dialog is a GTK dialog (libgtk-3
//     loaded at run time) on a desktop, and on a terminal a message on stderr with Enter to
//     continue without a debugger; with neither it polls.
//
// Windows: the polite close posts WM_CLOSE instead of sending it. A sent message waits for
// the window's thread to answer, which a hung client never does; a posted one is queued at
// once, and the caller's own Wait decides how long to give it.
#pragma once

#include "Path.h"
#include "Result.h"

#include <vxnstl/string>

#include <cstdint>

namespace VXN {

// A top-level window: an HWND on Windows, an X11 window id on Linux; 0 for none.
using WindowHandle = std::uintptr_t;

inline constexpr std::uint32_t NoProcessId = 0xFFFFFFFFu;

// The id of the process that created this one, or NoProcessId when it cannot be
// determined or that process has ended.
std::uint32_t GetParentProcessId();

// When GetParentProcessId has no answer: the id the system recorded for this process's
// creator and the program file name of whatever process has that id now (init or an
// adopter on Linux, a newer process that reused the id on Windows), for saying in the log
// what is not waited for. False when the system recorded nothing or no readable process has
// the id. It holds nothing afterwards: that process is not ours to wait for or signal.
bool DescribeFormerParent(std::uint32_t& id, vxn::wstring& programName);

// Whether two file names are the same name to Windows, which compares them without regard
// to case: code unit by code unit after simple (one-to-one) upper-casing. On Windows the
// system's own upper-case table decides (CompareStringOrdinal); on Linux a table of the
// simple upper-case pairs of Latin (ASCII, Latin-1, Latin Extended-A, Latin Extended
// Additional), Greek, Cyrillic, Armenian and the full-width Latin letters, which agrees with
// Windows there. Nothing is normalised or expanded ("\u00DF" never equals "SS").
bool SameFileName(const vxn::wstring& a, const vxn::wstring& b);

class Process {
public:
    // Stored by Wait on Linux when the process was not a child of this one.
    static constexpr std::uint32_t ExitCodeUnknown = 0xFFFFFFFFu;

    Process();
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Holds the process and reads its image path. A process held before is released first.
    Result Open(std::uint32_t processId);
    // Open(GetParentProcessId()), failing when the parent has gone.
    Result OpenParent();

    // Success once the process has ended (its exit code stored through `exitCode` when
    // given), TimedOut when `timeoutMs` ran out (0xFFFFFFFF: no limit), Failure when no
    // process is held or the wait fails.
    Result Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode = nullptr);

    // closeWindows true: the polite close request; false: termination (exit code 0 on
    // Windows). Does not wait. NotFound when no process is held.
    Result Stop(bool closeWindows);

    bool IsOpen() const;
    std::uint32_t Id() const { return m_id; }
    Path& ImagePath() { return m_imagePath; }
    // The file name of the program the process runs (see above); "" while none is held.
    const vxn::wstring& ProgramName() const { return m_programName; }

private:
    void Release();

    Path m_imagePath;
    vxn::wstring m_programName;
    std::intptr_t m_handle;
    std::uint32_t m_id;
};

// The process's top-level window (the last one the system lists when it has several):
// Success and the window, NotFound when it has none, Failure when the windows cannot be
// listed.
Result FindProcessWindow(std::uint32_t processId, WindowHandle* window);

// Returns once a debugger is attached to this process, or, with the dialog, once the user
// dismisses the dialog. With no way to show one it waits for the debugger.
void WaitForDebugger(bool showDialog);

} // namespace VXN
