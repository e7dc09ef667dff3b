// The run-time binding of GTK 3 (GtkLibrary.h).
#include "GtkLibrary.h"

#include "RuntimeLibrary.h"

#include <clocale>
#include <cstdlib>

namespace VXN::platform {

const gtk_library& gtk()
{
    static const gtk_library library = [] {
        gtk_library g;
        // GDK, GObject and GLib come with GTK; the one handle finds their symbols too,
        // because dlsym searches the library's dependencies.
        const runtime_library gtk3("libgtk-3.so.0");
        g.loaded = gtk3.bind("gtk_init_check", g.init_check) && gtk3.bind("gtk_window_new", g.window_new) &&
                   gtk3.bind("gtk_window_set_title", g.window_set_title) &&
                   gtk3.bind("gtk_window_get_title", g.window_get_title) &&
                   gtk3.bind("gtk_window_set_resizable", g.window_set_resizable) &&
                   gtk3.bind("gtk_window_set_position", g.window_set_position) &&
                   gtk3.bind("gtk_window_set_transient_for", g.window_set_transient_for) &&
                   gtk3.bind("gtk_window_set_modal", g.window_set_modal) &&
                   gtk3.bind("gtk_window_present", g.window_present) &&
                   gtk3.bind("gtk_container_add", g.container_add) &&
                   gtk3.bind("gtk_container_set_border_width", g.container_set_border_width) &&
                   gtk3.bind("gtk_box_new", g.box_new) && gtk3.bind("gtk_box_pack_start", g.box_pack_start) &&
                   gtk3.bind("gtk_progress_bar_new", g.progress_bar_new) &&
                   gtk3.bind("gtk_progress_bar_set_fraction", g.progress_bar_set_fraction) &&
                   gtk3.bind("gtk_progress_bar_get_fraction", g.progress_bar_get_fraction) &&
                   gtk3.bind("gtk_button_new_with_label", g.button_new_with_label) &&
                   gtk3.bind("gtk_label_new", g.label_new) && gtk3.bind("gtk_label_set_text", g.label_set_text) &&
                   gtk3.bind("gtk_label_get_text", g.label_get_text) &&
                   gtk3.bind("gtk_widget_set_halign", g.widget_set_halign) &&
                   gtk3.bind("gtk_widget_set_size_request", g.widget_set_size_request) &&
                   gtk3.bind("gtk_widget_set_valign", g.widget_set_valign) &&
                   gtk3.bind("gtk_widget_show_all", g.widget_show_all) &&
                   gtk3.bind("gtk_widget_destroy", g.widget_destroy) &&
                   gtk3.bind("gtk_widget_get_window", g.widget_get_window) &&
                   gtk3.bind("gtk_message_dialog_new", g.message_dialog_new) &&
                   gtk3.bind("gtk_message_dialog_format_secondary_text", g.format_secondary_text) &&
                   gtk3.bind("gtk_dialog_run", g.dialog_run) && gtk3.bind("gtk_dialog_response", g.dialog_response) &&
                   gtk3.bind("gtk_dialog_set_default_response", g.dialog_set_default_response) &&
                   gtk3.bind("gtk_events_pending", g.events_pending) &&
                   gtk3.bind("gtk_main_iteration", g.main_iteration) &&
                   gtk3.bind("gdk_event_get_keyval", g.event_get_keyval) &&
                   gtk3.bind("g_signal_connect_data", g.signal_connect_data) &&
                   gtk3.bind("g_main_context_iteration", g.main_context_iteration) &&
                   gtk3.bind("g_main_context_wakeup", g.main_context_wakeup) && gtk3.bind("g_idle_add", g.idle_add) &&
                   gtk3.bind("g_timeout_add", g.timeout_add) && gtk3.bind("g_source_remove", g.source_remove) &&
                   gtk3.bind("g_unix_signal_add", g.unix_signal_add);
        // Only an X11 session has window ids; Wayland lacks the symbol's meaning, not the
        // symbol, so the caller checks the window's backend by asking for a non-zero id.
        gtk3.bind("gdk_x11_window_get_xid", g.x11_window_get_xid);
        gtk3.bind("gtk_disable_setlocale", g.disable_setlocale);
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

bool gtk_ready()
{
    static const bool ready = [] {
        if (!desktop_available() || !gtk().loaded)
            return false;
        // gtk_init would set every locale category from the environment, and printf would
        // then write "0,5" under a German locale, in the log too. Only the messages (GTK's
        // own button labels) follow the user's language.
        if (gtk().disable_setlocale != nullptr) {
            gtk().disable_setlocale();
            std::setlocale(LC_MESSAGES, "");
        }
        return gtk().init_check(nullptr, nullptr) != 0;
    }();
    return ready;
}

} // namespace VXN::platform
