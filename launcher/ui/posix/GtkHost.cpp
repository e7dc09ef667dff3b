// The desktop host: the progress window as a GTK 3 window laid out like the dialog
// template (a bar and a Cancel button in a row), message boxes as GtkMessageDialog. GTK is
// the run-time binding of core (posix/GtkLibrary.h).
#include "ui/posix/PosixHost.h"

#include "LocalizedTable.h"
#include "posix/GtkLibrary.h"

#include <chrono>
#include <csignal>
#include <cmath>
#include <cstring>

#include <vector>

namespace ui::platform {
namespace {

namespace gc = VXN::platform::gtk_constants;
using VXN::platform::gtk;

// The template's measures (dialog units) at the dialog font's 7 x 13 pixel base units:
// 1 unit is 7/4 pixels across and 13/8 down.
constexpr int kButtonWidth = 50 * 7 / 4;
constexpr int kMargin = 7 * 7 / 4;
constexpr int kWindowWidth = 384 * 7 / 4;
constexpr unsigned kRefreshMilliseconds = 250;

// The message boxes now open, innermost last.
std::vector<void*> openBoxes;

int OnDrain(void* data)
{
    auto* dialog = static_cast<Dialog*>(data);
    dialog->drainScheduled = false;
    DeliverPosted(*dialog);
    return 0; // G_SOURCE_REMOVE
}

// Any thread: GLib's idle sources are the thread-safe way into the main loop. One is
// pending at a time; it delivers everything queued when it runs, in order.
void ScheduleDrain(Dialog& dialog)
{
    if (!dialog.drainScheduled.exchange(true))
        gtk().idle_add(&OnDrain, &dialog);
}

void OnCancelClicked(void*, void* data)
{
    DeliverCancel(*static_cast<Dialog*>(data));
}

// The close box: the window stays; the handler decides.
int OnDeleteEvent(void*, void*, void* data)
{
    DeliverCancel(*static_cast<Dialog*>(data));
    return 1;
}

int OnKeyPress(void*, void* event, void* data)
{
    unsigned key = 0;
    if (gtk().event_get_keyval(event, &key) == 0 || key != gc::KeyEscape)
        return 0;
    DeliverCancel(*static_cast<Dialog*>(data));
    return 1;
}

int OnTerminate(void* data)
{
    BeginTermination(*static_cast<Dialog*>(data), "SIGTERM");
    return 1; // G_SOURCE_CONTINUE: a second one ends the window
}

// A few times a second: the figures move even while the bar cannot (no total yet).
int OnRefresh(void* data)
{
    auto* dialog = static_cast<Dialog*>(data);
    if (dialog->details != nullptr)
        gtk().label_set_text(dialog->details, TransferFigures(*dialog, std::chrono::steady_clock::now()).c_str());
    return 1; // G_SOURCE_CONTINUE
}

// The desktop session or the terminal that started the program has gone: as SIGTERM.
int OnHangUp(void* data)
{
    BeginTermination(*static_cast<Dialog*>(data), "SIGHUP");
    return 1;
}

int OnInterrupt(void* data)
{
    BeginTermination(*static_cast<Dialog*>(data), "SIGINT");
    return 1;
}

int MessageType(unsigned style)
{
    switch (style & 0xF0) {
    case StyleIconError:
        return gc::MessageError;
    case StyleIconWarning:
        return gc::MessageWarning;
    case 0x20: // MB_ICONQUESTION
        return gc::MessageQuestion;
    case 0x40: // MB_ICONINFORMATION
        return gc::MessageInfo;
    default:
        return gc::MessageOther;
    }
}

class GtkHost final : public Backend {
public:
    Host Kind() const override { return Host::Gtk; }

    bool Open(Dialog& dialog) override
    {
        const auto& g = gtk();
        void* window = g.window_new(gc::WindowToplevel);
        if (window == nullptr)
            return false;
        g.window_set_title(window, vxn::utf8_from(dialog.title).c_str());
        g.window_set_resizable(window, 0);
        g.window_set_position(window, gc::WindowPositionCenter);
        g.widget_set_size_request(window, kWindowWidth, -1);
        g.container_set_border_width(window, kMargin);
        void* row = g.box_new(gc::OrientationHorizontal, kMargin);
        void* bar = g.progress_bar_new();
        g.widget_set_valign(bar, gc::AlignCenter);
        const vxn::string cancel = vxn::utf8_from(LocalizedTableText(LocalizedKind::Button, IdCancel));
        void* button = g.button_new_with_label(cancel.c_str());
        g.widget_set_size_request(button, kButtonWidth, -1);
        g.box_pack_start(row, bar, 1, 1, 0);
        g.box_pack_start(row, button, 0, 0, 0);
        // Under the bar, what the terminal line shows: bytes of the total, and the rate.
        void* column = g.box_new(gc::OrientationVertical, kMargin / 2);
        void* details = g.label_new("");
        g.widget_set_halign(details, gc::AlignStart);
        g.box_pack_start(column, row, 0, 0, 0);
        g.box_pack_start(column, details, 0, 0, 0);
        g.container_add(window, column);
        dialog.details = details;
        g.connect(button, "clicked", &OnCancelClicked, &dialog);
        g.connect(window, "delete-event", &OnDeleteEvent, &dialog);
        g.connect(window, "key-press-event", &OnKeyPress, &dialog);
        dialog.window = window;
        dialog.bar = bar;
        g.widget_show_all(window);
        return true;
    }

    void Run(Dialog& dialog) override
    {
        const auto& g = gtk();
        const unsigned term = g.unix_signal_add(SIGTERM, &OnTerminate, &dialog);
        const unsigned interrupt = g.unix_signal_add(SIGINT, &OnInterrupt, &dialog);
        const unsigned hangUp = g.unix_signal_add(SIGHUP, &OnHangUp, &dialog);
        const unsigned refresh = g.timeout_add(kRefreshMilliseconds, &OnRefresh, &dialog);
        ScheduleDrain(dialog); // whatever the handler posted while initialising
        while (!dialog.ending.load())
            g.main_context_iteration(nullptr, 1);
        g.source_remove(refresh);
        g.source_remove(term);
        g.source_remove(interrupt);
        g.source_remove(hangUp);
    }

    void Close(Dialog& dialog) override
    {
        const auto& g = gtk();
        g.widget_destroy(dialog.window);
        dialog.window = nullptr;
        dialog.bar = nullptr;
        dialog.details = nullptr;
        // Let the desktop take the window down before the program goes on.
        while (g.events_pending())
            g.main_iteration();
    }

    void Wake(Dialog& dialog) override
    {
        if (dialog.ending.load())
            gtk().main_context_wakeup(nullptr);
        else
            ScheduleDrain(dialog);
    }

    void ProgressChanged(Dialog& dialog) override
    {
        if (dialog.bar == nullptr)
            return;
        const double span = dialog.high - dialog.low;
        const double fraction = span > 0 ? (dialog.position - dialog.low) / span : 0.0;
        gtk().progress_bar_set_fraction(dialog.bar, fraction);
        OnRefresh(&dialog);
    }

    vxn::wstring Details(Dialog& dialog) override
    {
        vxn::wstring wide;
        const char* text = dialog.details != nullptr ? gtk().label_get_text(dialog.details) : nullptr;
        if (text != nullptr)
            wide.assign_utf8(text, static_cast<vxn::u32>(std::strlen(text)));
        return wide;
    }

    int ProgressPosition(Dialog& dialog) override
    {
        if (dialog.bar == nullptr)
            return dialog.position;
        const double fraction = gtk().progress_bar_get_fraction(dialog.bar);
        return dialog.low + static_cast<int>(std::lround(fraction * (dialog.high - dialog.low)));
    }

    vxn::wstring Title(Dialog& dialog) override
    {
        if (dialog.window == nullptr)
            return dialog.title;
        const char* title = gtk().window_get_title(dialog.window);
        vxn::wstring wide;
        if (title != nullptr)
            wide.assign_utf8(title, static_cast<vxn::u32>(std::strlen(title)));
        return wide;
    }

    void CloseQuestions() override
    {
        for (auto box = openBoxes.rbegin(); box != openBoxes.rend(); ++box)
            gtk().dialog_response(*box, gc::ResponseNo);
    }

    int Ask(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned style) override
    {
        return Show(dialog, text, caption, style, gc::ButtonsYesNo) == gc::ResponseYes ? IdYes : IdNo;
    }

    void Tell(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned style,
              const vxn::string&) override
    {
        Show(dialog, text, caption, style, gc::ButtonsOk);
    }

private:
    int Show(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned style, int buttons)
    {
        const auto& g = gtk();
        void* parent = dialog != nullptr ? dialog->window : nullptr;
        void* box = g.message_dialog_new(parent, gc::DialogModal | gc::DialogDestroyWithParent, MessageType(style),
                                         buttons, "%s", text.c_str());
        if (box == nullptr)
            return gc::ResponseNo;
        g.window_set_title(box, caption.c_str());
        if (parent == nullptr)
            g.window_set_position(box, gc::WindowPositionCenter);
        // Enter and Escape take the safe answer.
        if (buttons == gc::ButtonsYesNo)
            g.dialog_set_default_response(box, gc::ResponseNo);
        openBoxes.push_back(box);
        // Messages posted meanwhile keep arriving: the box's own loop runs the idle source.
        if (dialog != nullptr) {
            bool pending = false;
            {
                std::lock_guard<std::mutex> held(dialog->lock);
                pending = !dialog->queue.empty();
            }
            if (pending)
                ScheduleDrain(*dialog);
        }
        const int response = g.dialog_run(box);
        openBoxes.pop_back();
        g.widget_destroy(box);
        return response;
    }
};

} // namespace

Backend& GtkBackend()
{
    // Never destroyed: a worker thread may still post while the program exits.
    static auto* host = new GtkHost;
    return *host;
}

} // namespace ui::platform
