// The wait-for-debugger dialog on Linux: a GTK message dialog on a desktop (GTK loaded at
// run time, RuntimeLibrary.h), a prompt on a terminal.
#include "ProcessPlatform.h"
#include "RuntimeLibrary.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace VXN::platform {

namespace {

// GTK's enumerations as its ABI fixes them.
constexpr int kGtkMessageOther = 4; // no icon, as the task dialog shows none
constexpr int kGtkButtonsCancel = 3;
constexpr int kGtkResponseCancel = -6;
constexpr unsigned kTimerMilliseconds = 200;

struct gtk_library {
    int (*init_check)(int*, char***) = nullptr;
    void* (*message_dialog_new)(void*, int, int, int, const char*, ...) = nullptr;
    void (*format_secondary_text)(void*, const char*, ...) = nullptr;
    void (*window_set_title)(void*, const char*) = nullptr;
    int (*dialog_run)(void*) = nullptr;
    void (*dialog_response)(void*, int) = nullptr;
    void (*widget_destroy)(void*) = nullptr;
    int (*events_pending)() = nullptr;
    int (*main_iteration)() = nullptr;
    unsigned (*timeout_add)(unsigned, int (*)(void*), void*) = nullptr;
    int (*source_remove)(unsigned) = nullptr;
    bool loaded = false;
};

const gtk_library& gtk()
{
    static const gtk_library library = [] {
        gtk_library g;
        const runtime_library gtk3("libgtk-3.so.0");
        g.loaded = gtk3.bind("gtk_init_check", g.init_check) &&
                   gtk3.bind("gtk_message_dialog_new", g.message_dialog_new) &&
                   gtk3.bind("gtk_message_dialog_format_secondary_text", g.format_secondary_text) &&
                   gtk3.bind("gtk_window_set_title", g.window_set_title) && gtk3.bind("gtk_dialog_run", g.dialog_run) &&
                   gtk3.bind("gtk_dialog_response", g.dialog_response) &&
                   gtk3.bind("gtk_widget_destroy", g.widget_destroy) &&
                   gtk3.bind("gtk_events_pending", g.events_pending) &&
                   gtk3.bind("gtk_main_iteration", g.main_iteration) && gtk3.bind("g_timeout_add", g.timeout_add) &&
                   gtk3.bind("g_source_remove", g.source_remove);
        return g;
    }();
    return library;
}

bool desktop_available()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != 0) || (wayland != nullptr && *wayland != 0);
}

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
    state->gtk->dialog_response(state->dialog, kGtkResponseCancel);
    return 0;
}

bool show_gtk_dialog(const vxn::string& title, const vxn::string& instruction, const vxn::string& content)
{
    if (!desktop_available())
        return false;
    const gtk_library& g = gtk();
    if (!g.loaded || !g.init_check(nullptr, nullptr))
        return false;

    dialog_state state;
    state.gtk = &g;
    state.dialog = g.message_dialog_new(nullptr, 0, kGtkMessageOther, kGtkButtonsCancel, "%s", instruction.c_str());
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
