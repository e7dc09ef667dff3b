// The wait-for-debugger dialog on Linux: a GTK message dialog on a desktop (GTK loaded at
// run time, GtkLibrary.h), a prompt on a terminal.
#include "ProcessPlatform.h"
#include "GtkLibrary.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace VXN::platform {

namespace {

constexpr unsigned kTimerMilliseconds = 200;

struct dialog_state {
    const gtk_library* gtk = nullptr;
    void* dialog = nullptr;
    bool timerRunning = true;
};

// Presses Cancel on the user's behalf once a debugger has come.
int on_timer(void* context)
{
    auto* state = static_cast<dialog_state*>(context);
    if (!debugger_attached())
        return 1;
    state->timerRunning = false;
    state->gtk->dialog_response(state->dialog, gtk_constants::ResponseCancel);
    return 0;
}

bool show_gtk_dialog(const vxn::string& title, const vxn::string& instruction, const vxn::string& content)
{
    if (!gtk_ready())
        return false;
    const gtk_library& g = gtk();

    dialog_state state;
    state.gtk = &g;
    state.dialog = g.message_dialog_new(nullptr, 0, gtk_constants::MessageOther, gtk_constants::ButtonsCancel, "%s", instruction.c_str());
    if (state.dialog == nullptr)
        return false;
    g.window_set_title(state.dialog, title.c_str());
    g.format_secondary_text(state.dialog, "%s", content.c_str());
    const unsigned timer = g.timeout_add(kTimerMilliseconds, &on_timer, &state);
    g.dialog_run(state.dialog);
    if (state.timerRunning)
        g.source_remove(timer);
    g.widget_destroy(state.dialog);
    // Let the desktop take the window down before the program goes on.
    while (g.events_pending())
        g.main_iteration();
    return true;
}

// On a terminal Enter stands in for the Cancel button.
bool show_terminal_prompt(const vxn::string& instruction)
{
    std::fprintf(stderr, "%s\n", instruction.c_str());
    if (!isatty(STDIN_FILENO))
        return false;
    std::fputs("Press Enter to continue without a debugger.\n", stderr);
    std::fflush(stderr);
    for (;;) {
        if (debugger_attached())
            return true;
        pollfd entry = {STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&entry, 1, 100);
        if (ready > 0) {
            char line[256];
            (void)!read(STDIN_FILENO, line, sizeof(line));
            return true;
        }
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

bool show_debugger_dialog(const vxn::wstring& title, const vxn::wstring& instruction, const vxn::wstring& content)
{
    vxn::string title8;
    title8.assign_utf16(title.data(), title.size());
    vxn::string instruction8;
    instruction8.assign_utf16(instruction.data(), instruction.size());
    vxn::string content8;
    content8.assign_utf16(content.data(), content.size());

    if (show_gtk_dialog(title8, instruction8, content8))
        return true;
    return show_terminal_prompt(instruction8);
}

} // namespace VXN::platform
