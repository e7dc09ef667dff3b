// What the Linux hosts share: the running dialog's state and the backend interface that the
// GTK window, the terminal line and the headless host implement. The public functions of
// UserInterface.h (PosixHost.cpp) do the common part (the message queue, the Cancel that a
// termination delivers) and hand the rest to the backend chosen for the process.
#pragma once

#include "ui/UserInterface.h"

#include <vxnstl/string>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace ui::platform {

struct Posted {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool terminate; // the Cancel of a termination, delivered with its questions answered Yes
};

// One modal dialog. Never freed: a worker may still post to it after it has ended, and the
// post must then be refused, not crash.
struct Dialog {
    int templateId = 0;
    DialogHandler* handler = nullptr;
    vxn::wstring title;

    std::mutex lock;
    std::deque<Posted> queue; // guarded by lock
    std::atomic<bool> ending{false};
    std::intptr_t result = 0;

    // Main thread only from here on.
    int low = 0;
    int high = 100;
    int position = 0;
    const std::atomic<std::uint64_t>* received = nullptr;
    const std::atomic<std::uint64_t>* total = nullptr;
    bool terminating = false; // SIGTERM (or a headless SIGINT) came
    bool answerYes = false;   // the termination's Cancel is being handled
    std::atomic<bool> drainScheduled{false};

    void* window = nullptr; // the backend's own window object (the GtkWindow)
    void* bar = nullptr;
    void* details = nullptr; // the GTK label under the bar
    std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
};

// A byte count as people read it: "512 B", "12.3 MiB".
std::string ByteCount(std::uint64_t count);
// The dialog's attached counters in words: "12.3 MiB of 48.0 MiB, 3.1 MiB/s" (without the
// total while it is unknown, without the rate in the first half second); "" when no
// counters are attached.
std::string TransferFigures(const Dialog& dialog, std::chrono::steady_clock::time_point now);

class Backend {
public:
    virtual ~Backend() = default;
    virtual Host Kind() const = 0;
    // Shows the dialog's window; false when none can be made.
    virtual bool Open(Dialog& dialog) = 0;
    // Runs the dialog's loop until it ends, delivering posted messages and signals.
    virtual void Run(Dialog& dialog) = 0;
    virtual void Close(Dialog& dialog) = 0;
    // Any thread: something was queued for the dialog, or it ends.
    virtual void Wake(Dialog& dialog) = 0;
    virtual void ProgressChanged(Dialog&) {}
    virtual int ProgressPosition(Dialog& dialog) { return dialog.position; }
    virtual vxn::wstring Title(Dialog& dialog) { return dialog.title; }
    virtual vxn::wstring Details(Dialog&) { return vxn::wstring(); }
    // A termination closes every open question of the dialog (answered No; its Cancel
    // follows and asks again).
    virtual void CloseQuestions() {}
    // A question (MB_YESNO): IdYes or IdNo. `dialog` may be null.
    virtual int Ask(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned style) = 0;
    // A message with one OK button.
    // `detail`: why, in words, for the hosts that print messages (the box itself is
    // `text`); may be empty.
    virtual void Tell(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned style,
                      const vxn::string& detail) = 0;
};

Backend& GtkBackend();
Backend& TerminalBackend();
Backend& HeadlessBackend();

// Main thread: hands the queued messages to the dialog's handler in order, until the
// queue is empty or the dialog ends.
void DeliverPosted(Dialog& dialog);
// The Cancel command, as the button, Escape or the close box give it.
void DeliverCancel(Dialog& dialog);
// SIGTERM (and, where nobody can be asked, SIGINT): open questions close, and the Cancel
// command follows with its questions answered Yes. A second termination ends the dialog
// without asking the handler.
void BeginTermination(Dialog& dialog, const char* why);

// For the backends that wait in poll(2) (terminal, headless): a pipe whose reading end
// becomes readable when a message is posted ('P') or a signal arrives ('T' for SIGTERM,
// 'H' for SIGHUP, 'I' for SIGINT); the signal handlers are installed while a dialog runs.
int WakeDescriptor();
void WakeByte(char byte);
// Reads the pipe empty; answers what arrived.
struct WakeEvents {
    bool posted = false;
    const char* terminate = nullptr; // the name of a signal that ends the run: SIGTERM, SIGHUP
    bool interrupt = false;
};
WakeEvents DrainWake();
class SignalScope {
public:
    SignalScope();
    ~SignalScope();
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;
};

} // namespace ui::platform
