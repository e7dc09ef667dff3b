// A child that runs the user interface of this process's host with a handler shaped like the
// download dialog's, so that the tests can drive every host from outside.
//
//   ui_dialog run <template> <steps> <pause-ms> complete|hold
//       Runs the template. Once initialised it prints "init <title>", sets the range to
//       0..10000 and starts a thread that posts <steps> progress messages (<pause-ms> apart)
//       and then, with "complete", a completion; with "hold" it stops at half way and posts
//       nothing more. Every progress message sets the bar and prints "progress <sent> <bar>";
//       the completion prints "complete" and ends the window with 7; the Cancel command
//       prints "cancel", asks the cancel question, prints "answer yes|no" and ends the window
//       with 3 on Yes. At the end it prints "ended <result>". The thread also counts bytes
//       for the hosts that show them; with "hold", a host that shows them under the bar
//       (GTK) has them printed after each progress line as "details <text>".
//   ui_dialog ask            asks the cancel question without a window: "answer yes|no"
//   ui_dialog tell           shows the download failure message: "told"
//   ui_dialog host           prints the host's name
//   ui_dialog locale         prints the host's name and the numeric locale after choosing it
// Everything printed goes to stdout, one line at a time, flushed. The log goes to the file
// sink (ZyrelDownloader.log in the temporary folder), as in the program.
#include "LocalizedStrings.h"
#include "Log.h"
#include "ui/UserInterface.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr unsigned kProgress = ui::MsgUser + 10;
constexpr unsigned kComplete = ui::MsgUser + 11;

void Say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Narrow(const vxn::wstring& text)
{
    vxn::string narrow;
    narrow.assign_utf16(text.c_str(), text.size());
    return narrow.c_str();
}

int AskCancel(ui::Window owner)
{
    const vxn::wstring question = LoadLocalizedString(IDS_CANCEL_DOWNLOAD);
    return ui::ShowMessageBox(owner, question, question, ui::StyleYesNo);
}

class FakeDownload final : public ui::DialogHandler {
public:
    FakeDownload(int steps, int pauseMs, bool complete) : m_steps(steps), m_pauseMs(pauseMs), m_complete(complete) {}

    std::intptr_t HandleDialogMessage(ui::Window window, unsigned message, std::uintptr_t wParam,
                                      std::intptr_t) override
    {
        switch (message) {
        case ui::MsgInitDialog:
            ui::SetProgressRange(window, 0, 10000);
            ui::AttachTransferCounters(window, &m_received, &m_total);
            Say("init " + Narrow(ui::WindowTitle(window)));
            std::thread([this, window] { Post(window); }).detach();
            return 1;
        case kProgress:
            ui::SetProgressPosition(window, static_cast<int>(wParam));
            Say("progress " + std::to_string(wParam) + " " + std::to_string(ui::ProgressPosition(window)));
            if (const vxn::wstring details = ui::ProgressDetails(window); !details.empty() && !m_complete)
                Say("details " + Narrow(details));
            return 1;
        case kComplete:
            Say("complete");
            ui::EndModalDialog(window, 7);
            return 1;
        case ui::MsgCommand:
            if ((wParam & 0xFFFF) == static_cast<std::uintptr_t>(ui::IdCancel)) {
                Say("cancel");
                const bool yes = AskCancel(window) == ui::IdYes;
                Say(yes ? "answer yes" : "answer no");
                if (yes)
                    ui::EndModalDialog(window, 3);
            }
            return 1;
        default:
            return 0;
        }
    }

private:
    void Post(ui::Window window)
    {
        m_total = 1000000;
        const int last = m_complete ? m_steps : m_steps / 2;
        for (int step = 1; step <= last; ++step) {
            if (m_pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_pauseMs));
            m_received = static_cast<std::uint64_t>(step) * 1000000 / static_cast<std::uint64_t>(m_steps);
            ui::PostDialogMessage(window, kProgress, static_cast<std::uintptr_t>(step * 10000 / m_steps), 0);
        }
        if (m_complete) {
            // The completion must arrive: the download dialog retries a refused one.
            while (!ui::PostDialogMessage(window, kComplete, 1, 200))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    int m_steps;
    int m_pauseMs;
    bool m_complete;
    std::atomic<std::uint64_t> m_received{0};
    std::atomic<std::uint64_t> m_total{0};
};

} // namespace

int Run(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "host") {
        Say(ui::HostName(ui::ActiveHost()));
        return 0;
    }
    if (mode == "locale") {
        // The host's choice, then the locale that number formatting runs in.
        const char* host = ui::HostName(ui::ActiveHost());
        Say(std::string(host) + " " + std::setlocale(LC_NUMERIC, nullptr));
        return 0;
    }
    if (mode == "ask") {
        Say(AskCancel(nullptr) == ui::IdYes ? "answer yes" : "answer no");
        return 0;
    }
    if (mode == "tell") {
        ui::ShowMessageBox(nullptr, LoadLocalizedString(IDS_DOWNLOAD_FAILED), LoadLocalizedString(IDS_DOWNLOAD_FAILED),
                           ui::StyleIconError);
        Say("told");
        return 0;
    }
    if (mode == "run" && argc == 6) {
        // The dialog object outlives a worker that may still post after the end, as the
        // download dialog's does.
        static FakeDownload* handler = nullptr;
        handler = new FakeDownload(std::atoi(argv[3]), std::atoi(argv[4]), std::strcmp(argv[5], "complete") == 0);
        const std::intptr_t result = ui::RunModalDialog(std::atoi(argv[2]), handler);
        Say("ended " + std::to_string(result));
        return 0;
    }
    std::fprintf(stderr, "usage: ui_dialog run <template> <steps> <pause-ms> complete|hold | ask | tell | host\n");
    return 2;
}

// GTK and the libraries under it keep caches for the life of the process by design; the
// leak checker of the sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgio-2.0.so\n"
           "leak:libfontconfig.so\nleak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11.so\n"
           "leak:libdbus-1.so\nleak:libatk-bridge-2.0.so\nleak:libatspi.so\n";
}

// The same libraries run threads of their own (fonts, D-Bus) that the thread checker of the
// sanitizer builds cannot see into.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libfontconfig.so\nrace:libglib-2.0.so\nrace:libgio-2.0.so\nrace:libgobject-2.0.so\n"
           "race:libgtk-3.so\nrace:libgdk-3.so\nrace:libdbus-1.so\nrace:libatk-bridge-2.0.so\n"
           "race:libpango\nrace:libcairo\nrace:libharfbuzz\n";
}

int main(int argc, char** argv)
{
    VXN::SetLogSink(VXN::FileLogSink);
    const int code = Run(argc, argv);
    VXN::SetLogSink(nullptr);
    return code;
}
