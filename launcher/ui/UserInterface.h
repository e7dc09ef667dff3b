// The user-interface seam: everything the launcher shows a person goes through here.
//
// The launcher's windows are modelled on a Win32 modal dialog, because that is what ships:
// a handler receives window messages (WM_INITDIALOG, WM_COMMAND, and the private messages
// it posts to itself) and answers TRUE or FALSE for them, exactly as a dialog procedure
// does. One host implements the seam per process, chosen once at first use:
//   - Windows: DialogBoxParamW on the resource templates, MessageBoxW, PostMessageW;
//   - Linux desktop (DISPLAY or WAYLAND_DISPLAY set and libgtk-3 loadable): a GTK 3 window,
//     GTK loaded at run time so that other hosts map none of it;
//   - Linux terminal (stderr is a terminal, no desktop): one progress line on stderr;
//   - Linux without either: messages on stderr and in the log, questions take the safe
//     answer (No).
// ZYREL_UI=gtk|terminal|none overrides the choice on Linux.
//
// Threads: everything here runs on the main thread, except PostDialogMessage, which any
// thread may call. A posted message is delivered to the handler on the main thread, in the
// order of posting, also while a message box of the same window is open (a message box
// runs its own loop, as on Windows).
#pragma once

#include <vxnstl/string>

#include <atomic>
#include <cstdint>

namespace ui {

// The window of a running dialog: an HWND on Windows, the host's own window object
// elsewhere; null for none (a message box without owner).
using Window = void*;

// Win32's numbers, so that the portable dialog logic reads like the dialog procedure.
inline constexpr unsigned MsgInitDialog = 0x0110; // WM_INITDIALOG
inline constexpr unsigned MsgCommand = 0x0111;    // WM_COMMAND, wParam's low word is the id
inline constexpr unsigned MsgUser = 0x0400;       // WM_USER

inline constexpr int IdOk = 1;     // IDOK
inline constexpr int IdCancel = 2; // IDCANCEL: the Cancel button, Escape, the close box
inline constexpr int IdYes = 6;    // IDYES
inline constexpr int IdNo = 7;     // IDNO

inline constexpr unsigned StyleOk = 0x00;          // MB_OK
inline constexpr unsigned StyleYesNo = 0x04;       // MB_YESNO
inline constexpr unsigned StyleIconError = 0x10;   // MB_ICONERROR
inline constexpr unsigned StyleIconWarning = 0x30; // MB_ICONWARNING

// What a dialog procedure is: the handler of one modal dialog's messages. The answer is
// the dialog procedure's (TRUE when handled, FALSE to leave the message to the host).
// WM_INITDIALOG arrives once the window is up, with the handler as lParam; the host's
// Cancel (button, Escape, close box; Ctrl-C on a terminal) arrives as WM_COMMAND with
// IDCANCEL in wParam.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    virtual std::intptr_t HandleDialogMessage(Window window, unsigned message, std::uintptr_t wParam,
                                              std::intptr_t lParam) = 0;
};

enum class Host { Win32, Gtk, Terminal, None };

// The host of this process, chosen on first use. On Linux: ZYREL_UI (gtk, terminal or none)
// when set; otherwise GTK on a desktop, the terminal when stderr is one, else none. A host
// asked for that cannot work (gtk without a display or without libgtk-3) is reported in one
// line on stderr and the next one that can work is taken.
Host ActiveHost();

// "win32", "gtk", "terminal" or "none".
const char* HostName(Host host);

// Runs dialog template `templateId` (101 IDD_DOWNLOAD or 103 IDD_DOWNLOAD_UPDATE)
// modally with `handler` as its creation parameter; returns EndModalDialog's result once
// the handler ended it, or -1 when no window could be made. On Linux a SIGTERM (and,
// without a terminal, SIGINT) delivers the Cancel command with the questions it asks
// answered Yes, so a stuck run can always be ended cleanly. A question open when the signal
// comes (the signature warning, say) answers No first: ending a run never approves
// anything. A second signal ends the dialog without asking its handler.
std::intptr_t RunModalDialog(int templateId, DialogHandler* handler);

// Ends the running dialog; RunModalDialog returns `result` after the current message.
// Ending an already ending dialog does nothing more.
void EndModalDialog(Window window, std::intptr_t result);

// The progress bar (IDC_DOWNLOAD_PROGRESS): PBM_SETRANGE and PBM_SETPOS.
void SetProgressRange(Window window, int low, int high);
void SetProgressPosition(Window window, int position);

// Reading the window back (PBM_GETPOS, GetWindowTextW): what the user sees now. Main thread.
int ProgressPosition(Window window);
vxn::wstring WindowTitle(Window window);
// The figures under the bar (bytes received of the total, and the rate) as the window
// shows them (Windows: the template's line under the bar; GTK: the label); empty where
// the window shows none (the terminal line carries them itself).
vxn::wstring ProgressDetails(Window window);

// Any thread: queues `message` for the dialog's handler. False when the message was
// refused (the window is gone or its queue is full); nothing is delivered then.
bool PostDialogMessage(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// Live figures for the hosts that show bytes and rate (the Windows dialog's line, the GTK
// label, the terminal line). The counters belong to the caller and must outlive the
// dialog; null detaches them.
void AttachTransferCounters(Window window, const std::atomic<std::uint64_t>* received,
                            const std::atomic<std::uint64_t>* total);

// A message box: the button pressed (IdOk, IdYes or IdNo). Without a way to ask, a question
// (StyleYesNo) answers IdNo and the log says so. `detail` (why something failed, in words)
// does not change the box: the terminal and headless hosts print it on stderr under the
// message; Windows and GTK show the box alone.
int ShowMessageBox(Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                   const vxn::wstring& detail = vxn::wstring());

} // namespace ui
