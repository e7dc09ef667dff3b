// STAND-IN until the real hosts land: a headless host that prints message boxes on stderr
// and in the log, answers every question No, and runs the dialog as a plain message queue.
#include "ui/UserInterface.h"

#include "Log.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace ui {
namespace {

struct Posted {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

struct StandInDialog {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Posted> queue;
    bool ending = false;
    std::intptr_t result = 0;
};

} // namespace

Host ActiveHost()
{
    return Host::None;
}

std::intptr_t RunModalDialog(int, DialogHandler* handler)
{
    auto* dialog = new StandInDialog; // outlives a worker that may still post to it
    handler->HandleDialogMessage(dialog, MsgInitDialog, 0, reinterpret_cast<std::intptr_t>(handler));
    std::unique_lock<std::mutex> held(dialog->lock);
    while (!dialog->ending) {
        if (dialog->queue.empty()) {
            dialog->ready.wait(held);
            continue;
        }
        const Posted posted = dialog->queue.front();
        dialog->queue.pop_front();
        held.unlock();
        handler->HandleDialogMessage(dialog, posted.message, posted.wParam, posted.lParam);
        held.lock();
    }
    return dialog->result;
}

void EndModalDialog(Window window, std::intptr_t result)
{
    auto* dialog = static_cast<StandInDialog*>(window);
    std::lock_guard<std::mutex> held(dialog->lock);
    if (!dialog->ending)
        dialog->result = result;
    dialog->ending = true;
    dialog->ready.notify_all();
}

void SetProgressRange(Window, int, int) {}
void SetProgressPosition(Window, int) {}

bool PostDialogMessage(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto* dialog = static_cast<StandInDialog*>(window);
    if (dialog == nullptr)
        return false;
    std::lock_guard<std::mutex> held(dialog->lock);
    if (dialog->ending)
        return false;
    dialog->queue.push_back({message, wParam, lParam});
    dialog->ready.notify_all();
    return true;
}

void AttachTransferCounters(Window, const std::atomic<std::uint64_t>*, const std::atomic<std::uint64_t>*) {}

int ShowMessageBox(Window, const vxn::wstring& text, const vxn::wstring& caption, unsigned style)
{
    vxn::string text8;
    vxn::string caption8;
    text8.assign_utf16(text.c_str(), text.size());
    caption8.assign_utf16(caption.c_str(), caption.size());
    std::fprintf(stderr, "%s: %s\n", caption8.c_str(), text8.c_str());
    VXN_LOG("UserInterface", VXN::LogLevel::Info, "{0}: {1}", caption8, text8);
    return (style & 0x0F) == StyleYesNo ? IdNo : IdOk;
}

} // namespace ui
