// The user-interface seam on Linux: one host per process (GTK window, terminal line, or
// headless), chosen on first use; the dialog's message queue and the termination's Cancel,
// common to all three.
#include "ui/posix/PosixHost.h"

#include "ui/TransferFigures.h"

#include "LocalizedTable.h"
#include "Log.h"
#include "posix/GtkLibrary.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace ui {
namespace platform {
namespace {

// Why GTK cannot serve, or null when it can.
const char* GtkUnavailableReason()
{
    if (!VXN::platform::desktop_available())
        return "no display is set (DISPLAY, WAYLAND_DISPLAY)";
    if (!VXN::platform::gtk().loaded)
        return "libgtk-3 cannot be loaded";
    if (!VXN::platform::gtk_ready())
        return "GTK cannot open the display";
    return nullptr;
}

Host ChooseHost()
{
    const char* asked = std::getenv("ZYREL_UI");
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (asked != nullptr && *asked != 0) {
        if (std::strcmp(asked, "terminal") == 0)
            return Host::Terminal;
        if (std::strcmp(asked, "none") == 0)
            return Host::None;
        if (std::strcmp(asked, "gtk") == 0) {
            const char* reason = GtkUnavailableReason();
            if (reason == nullptr)
                return Host::Gtk;
            const Host next = terminal ? Host::Terminal : Host::None;
            std::fprintf(stderr, "ZyrelDownloader: ZYREL_UI=gtk, but %s; using the %s host\n", reason, HostName(next));
            return next;
        }
        std::fprintf(stderr, "ZyrelDownloader: ZYREL_UI=%s is not one of gtk, terminal, none; choosing by itself\n",
                     asked);
    }
    if (GtkUnavailableReason() == nullptr)
        return Host::Gtk;
    return terminal ? Host::Terminal : Host::None;
}

Backend& Active()
{
    static Backend& backend = [] () -> Backend& {
        switch (ActiveHost()) {
        case Host::Gtk:
            return GtkBackend();
        case Host::Terminal:
            return TerminalBackend();
        default:
            return HeadlessBackend();
        }
    }();
    return backend;
}

// Every dialog ever made stays reachable (see Dialog), also while the program exits: the
// list itself is never destroyed.
std::vector<Dialog*>& AllDialogs()
{
    static auto* dialogs = new std::vector<Dialog*>;
    return *dialogs;
}

Dialog* running = nullptr;

Dialog* AsDialog(Window window)
{
    return static_cast<Dialog*>(window);
}

// Written once, by the main thread before the first dialog's handler runs; read by any
// thread that posts, and by the signal handlers.
std::atomic<int> wakeRead{-1};
std::atomic<int> wakeWrite{-1};

void OnSignal(int number)
{
    const int saved = errno;
    WakeByte(number == SIGTERM ? 'T' : number == SIGHUP ? 'H' : 'I');
    errno = saved;
}

} // namespace

std::string ByteCount(std::uint64_t count)
{
    return vxn::utf8_from(ui::ByteAmountText(count)).c_str();
}

std::string TransferFigures(const Dialog& dialog, std::chrono::steady_clock::time_point now)
{
    if (dialog.received == nullptr)
        return std::string();
    const std::uint64_t total = dialog.total != nullptr ? dialog.total->load() : 0;
    const double seconds = std::chrono::duration<double>(now - dialog.opened).count();
    return vxn::utf8_from(ui::TransferFiguresText(dialog.received->load(), total, seconds)).c_str();
}

void DeliverPosted(Dialog& dialog)
{
    for (;;) {
        if (dialog.ending.load())
            return;
        Posted posted;
        {
            std::lock_guard<std::mutex> held(dialog.lock);
            if (dialog.queue.empty())
                return;
            posted = dialog.queue.front();
            dialog.queue.pop_front();
        }
        // Only the questions of the termination's own Cancel answer Yes; a message that a
        // question's loop delivers meanwhile asks its own questions the ordinary way.
        const bool outerYes = dialog.answerYes;
        dialog.answerYes = posted.terminate;
        if (posted.terminate) {
            dialog.handler->HandleDialogMessage(&dialog, MsgCommand, IdCancel, 0);
            // A handler that does not end the dialog on Cancel must not keep a terminated
            // program alive.
            if (!dialog.ending.load())
                EndModalDialog(&dialog, 0);
        } else {
            dialog.handler->HandleDialogMessage(&dialog, posted.message, posted.wParam, posted.lParam);
        }
        dialog.answerYes = outerYes;
    }
}

void DeliverCancel(Dialog& dialog)
{
    if (dialog.ending.load())
        return;
    dialog.handler->HandleDialogMessage(&dialog, MsgCommand, IdCancel, 0);
}

void BeginTermination(Dialog& dialog, const char* why)
{
    if (dialog.ending.load())
        return;
    if (dialog.terminating) {
        VXN_LOG("UserInterface", VXN::LogLevel::Info, "{0} again: ending the window", why);
        EndModalDialog(&dialog, 0);
        return;
    }
    VXN_LOG("UserInterface", VXN::LogLevel::Info, "{0}: cancelling, every question of the window answered Yes", why);
    dialog.terminating = true;
    Active().CloseQuestions();
    {
        std::lock_guard<std::mutex> held(dialog.lock);
        dialog.queue.push_back({MsgCommand, IdCancel, 0, true});
    }
    Active().Wake(dialog);
}

int WakeDescriptor()
{
    static const bool made = [] {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        wakeRead = ends[0];
        wakeWrite = ends[1];
        return true;
    }();
    (void)made;
    return wakeRead.load();
}

void WakeByte(char byte)
{
    // A full pipe already wakes the loop, which then finds everything in the queue.
    const int end = wakeWrite.load();
    if (end >= 0)
        (void)!write(end, &byte, 1);
}

WakeEvents DrainWake()
{
    WakeEvents events;
    char bytes[64];
    for (;;) {
        const ssize_t got = read(WakeDescriptor(), bytes, sizeof(bytes));
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            events.posted |= bytes[i] == 'P';
            if (bytes[i] == 'T')
                events.terminate = "SIGTERM";
            else if (bytes[i] == 'H' && events.terminate == nullptr)
                events.terminate = "SIGHUP";
            events.interrupt |= bytes[i] == 'I';
        }
    }
    return events;
}

namespace {
struct sigaction savedTerm;
struct sigaction savedInt;
struct sigaction savedHup;
} // namespace

SignalScope::SignalScope()
{
    WakeDescriptor();
    struct sigaction action = {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &savedTerm);
    sigaction(SIGINT, &action, &savedInt);
    sigaction(SIGHUP, &action, &savedHup);
}

SignalScope::~SignalScope()
{
    sigaction(SIGTERM, &savedTerm, nullptr);
    sigaction(SIGINT, &savedInt, nullptr);
    sigaction(SIGHUP, &savedHup, nullptr);
}

} // namespace platform

using platform::Active;
using platform::AsDialog;
using platform::Dialog;

Host ActiveHost()
{
    static const Host host = [] {
        const Host chosen = platform::ChooseHost();
        VXN_LOG("UserInterface", VXN::LogLevel::Info, "User interface: {0}", HostName(chosen));
        return chosen;
    }();
    return host;
}

std::intptr_t RunModalDialog(int templateId, DialogHandler* handler)
{
    vxn::wstring title = LocalizedTableText(LocalizedKind::DialogTitle, static_cast<unsigned>(templateId));
    if (title.empty() || handler == nullptr)
        return -1; // no such template, as DialogBoxParamW answers
    auto* dialog = new Dialog;
    platform::AllDialogs().push_back(dialog);
    dialog->templateId = templateId;
    dialog->handler = handler;
    dialog->title = title;
    dialog->opened = std::chrono::steady_clock::now();
    platform::Backend& backend = Active();
    if (!backend.Open(*dialog)) {
        dialog->ending = true;
        return -1;
    }
    Dialog* outer = platform::running;
    platform::running = dialog;
    handler->HandleDialogMessage(dialog, MsgInitDialog, 0, reinterpret_cast<std::intptr_t>(handler));
    backend.Run(*dialog);
    backend.Close(*dialog);
    platform::running = outer;
    return dialog->result;
}

void EndModalDialog(Window window, std::intptr_t result)
{
    Dialog* dialog = AsDialog(window);
    if (dialog == nullptr)
        return;
    {
        std::lock_guard<std::mutex> held(dialog->lock);
        if (dialog->ending.load())
            return;
        dialog->result = result;
        dialog->ending = true;
        dialog->queue.clear();
    }
    Active().Wake(*dialog);
}

void SetProgressRange(Window window, int low, int high)
{
    Dialog* dialog = AsDialog(window);
    if (dialog == nullptr)
        return;
    dialog->low = low;
    dialog->high = high;
    Active().ProgressChanged(*dialog);
}

void SetProgressPosition(Window window, int position)
{
    Dialog* dialog = AsDialog(window);
    if (dialog == nullptr)
        return;
    // The bar keeps its position inside its range, as the progress control does.
    if (position < dialog->low)
        position = dialog->low;
    if (position > dialog->high)
        position = dialog->high;
    dialog->position = position;
    Active().ProgressChanged(*dialog);
}

int ProgressPosition(Window window)
{
    Dialog* dialog = AsDialog(window);
    return dialog == nullptr ? 0 : Active().ProgressPosition(*dialog);
}

vxn::wstring WindowTitle(Window window)
{
    Dialog* dialog = AsDialog(window);
    return dialog == nullptr ? vxn::wstring() : Active().Title(*dialog);
}

vxn::wstring ProgressDetails(Window window)
{
    Dialog* dialog = AsDialog(window);
    return dialog == nullptr ? vxn::wstring() : Active().Details(*dialog);
}

bool PostDialogMessage(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    Dialog* dialog = AsDialog(window);
    if (dialog == nullptr)
        return false;
    {
        std::lock_guard<std::mutex> held(dialog->lock);
        if (dialog->ending.load())
            return false;
        dialog->queue.push_back({message, wParam, lParam, false});
    }
    Active().Wake(*dialog);
    return true;
}

void AttachTransferCounters(Window window, const std::atomic<std::uint64_t>* received,
                            const std::atomic<std::uint64_t>* total)
{
    Dialog* dialog = AsDialog(window);
    if (dialog == nullptr)
        return;
    dialog->received = received;
    dialog->total = total;
    Active().ProgressChanged(*dialog);
}

int ShowMessageBox(Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                   const vxn::wstring& detail)
{
    // A box without owner during a dialog still belongs to it: there is one per process.
    Dialog* dialog = owner != nullptr ? AsDialog(owner) : platform::running;
    const vxn::string text8 = vxn::utf8_from(text);
    const vxn::string caption8 = vxn::utf8_from(caption);
    VXN_LOG("UserInterface", VXN::LogLevel::Info, "Message \"{0}\": {1}", caption8, text8);
    if ((style & 0x0F) != StyleYesNo) {
        Active().Tell(dialog, text8, caption8, style, vxn::utf8_from(detail));
        return IdOk;
    }
    if (dialog != nullptr && dialog->answerYes) {
        VXN_LOG("UserInterface", VXN::LogLevel::Info,
                "Question \"{0}\" answered Yes: the program is being ended and this is its Cancel", caption8);
        return IdYes;
    }
    if (dialog != nullptr && dialog->terminating) {
        VXN_LOG("UserInterface", VXN::LogLevel::Info, "Question \"{0}\" answered No: the program is being ended",
                caption8);
        return IdNo;
    }
    const int answer = Active().Ask(dialog, text8, caption8, style);
    VXN_LOG("UserInterface", VXN::LogLevel::Info, "Question \"{0}\" answered {1}", caption8,
            answer == IdYes ? "Yes" : "No");
    return answer;
}

} // namespace ui
