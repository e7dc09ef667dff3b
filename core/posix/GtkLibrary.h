// GTK 3, opened at run time: the one binding of the library for every window the Linux
// program shows (the wait-for-debugger dialog, the launcher's progress window and message
// boxes). Opening it at run time keeps a terminal or headless run from mapping any of it,
// and lets a machine without GTK run the program at all.
#pragma once

#include <cstdint>

namespace VXN::platform {

// GTK's and GLib's enumerations and constants as their ABI fixes them.
namespace gtk_constants {
constexpr int WindowToplevel = 0;       // GTK_WINDOW_TOPLEVEL
constexpr int WindowPositionCenter = 1; // GTK_WIN_POS_CENTER
constexpr int OrientationHorizontal = 0;
constexpr int OrientationVertical = 1;
constexpr int AlignStart = 1;           // GTK_ALIGN_START
constexpr int AlignCenter = 3;          // GTK_ALIGN_CENTER
constexpr int DialogModal = 1;          // GTK_DIALOG_MODAL
constexpr int DialogDestroyWithParent = 2;
constexpr int MessageInfo = 0;
constexpr int MessageWarning = 1;
constexpr int MessageQuestion = 2;
constexpr int MessageError = 3;
constexpr int MessageOther = 4;
constexpr int ButtonsOk = 1;
constexpr int ButtonsCancel = 3;
constexpr int ButtonsYesNo = 4;
constexpr int ResponseDeleteEvent = -4;
constexpr int ResponseOk = -5;
constexpr int ResponseCancel = -6;
constexpr int ResponseYes = -8;
constexpr int ResponseNo = -9;
constexpr unsigned KeyEscape = 0xff1b; // GDK_KEY_Escape
} // namespace gtk_constants

struct gtk_library {
    using callback = void (*)();
    using source_function = int (*)(void*);

    // gtk
    int (*init_check)(int*, char***) = nullptr;
    void (*disable_setlocale)() = nullptr;
    void* (*window_new)(int) = nullptr;
    void (*window_set_title)(void*, const char*) = nullptr;
    const char* (*window_get_title)(void*) = nullptr;
    void (*window_set_resizable)(void*, int) = nullptr;
    void (*window_set_position)(void*, int) = nullptr;
    void (*window_set_transient_for)(void*, void*) = nullptr;
    void (*window_set_modal)(void*, int) = nullptr;
    void (*window_present)(void*) = nullptr;
    void (*container_add)(void*, void*) = nullptr;
    void (*container_set_border_width)(void*, unsigned) = nullptr;
    void* (*box_new)(int, int) = nullptr;
    void (*box_pack_start)(void*, void*, int, int, unsigned) = nullptr;
    void* (*progress_bar_new)() = nullptr;
    void (*progress_bar_set_fraction)(void*, double) = nullptr;
    double (*progress_bar_get_fraction)(void*) = nullptr;
    void* (*button_new_with_label)(const char*) = nullptr;
    void* (*label_new)(const char*) = nullptr;
    void (*label_set_text)(void*, const char*) = nullptr;
    const char* (*label_get_text)(void*) = nullptr;
    void (*widget_set_halign)(void*, int) = nullptr;
    void (*widget_set_size_request)(void*, int, int) = nullptr;
    void (*widget_set_valign)(void*, int) = nullptr;
    void (*widget_show_all)(void*) = nullptr;
    void (*widget_destroy)(void*) = nullptr;
    void* (*widget_get_window)(void*) = nullptr;
    void* (*message_dialog_new)(void*, int, int, int, const char*, ...) = nullptr;
    void (*format_secondary_text)(void*, const char*, ...) = nullptr;
    int (*dialog_run)(void*) = nullptr;
    void (*dialog_response)(void*, int) = nullptr;
    void (*dialog_set_default_response)(void*, int) = nullptr;
    int (*events_pending)() = nullptr;
    int (*main_iteration)() = nullptr;
    // gdk
    int (*event_get_keyval)(const void*, unsigned*) = nullptr;
    unsigned long (*x11_window_get_xid)(void*) = nullptr; // optional: only on X11
    // gobject / glib
    unsigned long (*signal_connect_data)(void*, const char*, callback, void*, void*, int) = nullptr;
    int (*main_context_iteration)(void*, int) = nullptr;
    void (*main_context_wakeup)(void*) = nullptr;
    unsigned (*idle_add)(source_function, void*) = nullptr;
    unsigned (*timeout_add)(unsigned, source_function, void*) = nullptr;
    int (*source_remove)(unsigned) = nullptr;
    unsigned (*unix_signal_add)(int, source_function, void*) = nullptr;

    bool loaded = false;

    // Connects a GObject signal; `handler` is cast to GLib's plain callback type as
    // g_signal_connect does.
    template <class Handler>
    unsigned long connect(void* instance, const char* signal, Handler handler, void* data) const
    {
        return signal_connect_data(instance, signal, reinterpret_cast<callback>(handler), data, nullptr, 0);
    }
};

// The library, bound on first use; `loaded` is false when libgtk-3 or one of the functions
// is missing.
const gtk_library& gtk();

// Whether a desktop session is there to show a window on: DISPLAY or WAYLAND_DISPLAY set.
bool desktop_available();

// GTK bound and initialised on the desktop (once; later calls answer the first outcome).
// False also when the display named cannot be opened. GTK takes over the user's locale for
// its messages only: numbers keep the "C" form that the program's formatting relies on.
bool gtk_ready();

} // namespace VXN::platform
