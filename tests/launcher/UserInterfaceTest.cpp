// The user-interface hosts, driven as a user drives them. Windows: the dialog template run
// by DialogBoxParamW under a display, a thread posting progress and a completion, a Cancel
// and its question answered by clicking the message box. Linux: the ui_dialog helper run as
// a child on each host: headless (stderr, the log, the safe answers, SIGTERM and SIGINT), a
// GTK window on a virtual X display (title per language, the bar, Escape and the close box,
// the question answered by key presses, a screenshot), and the terminal line inside tmux
// (redrawn in place, Ctrl-C asks, "n" goes on, "y" ends).
#include "LocalizedExpectations.h"

#include "ChildProcess.h"
#include "LocalizedStrings.h"
#include "TestSupport.h"
#include "resource.h"
#include "ui/UserInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <csignal>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace localized_test;
using zyrel_test::to_units;

constexpr unsigned kProgress = ui::MsgUser + 10;
constexpr unsigned kComplete = ui::MsgUser + 11;

#if defined(_WIN32)

// A download dialog in miniature: the worker thread posts a hundred steps and a completion;
// the completion posts a Cancel, whose question a second thread answers Yes by clicking.
class PostingDialog final : public ui::DialogHandler {
public:
    std::intptr_t HandleDialogMessage(ui::Window window, unsigned message, std::uintptr_t wParam,
                                      std::intptr_t lParam) override
    {
        switch (message) {
        case ui::MsgInitDialog: {
            initialised = lParam == reinterpret_cast<std::intptr_t>(this);
            title = to_units(ui::WindowTitle(window).c_str());
            wchar_t text[64] = {};
            GetClassNameW(GetDlgItem(static_cast<HWND>(window), IDC_DOWNLOAD_PROGRESS), text, 64);
            barClass = text;
            GetDlgItemTextW(static_cast<HWND>(window), IDCANCEL, text, 64);
            buttonText = text;
            ui::SetProgressRange(window, 0, 10000);
            worker = std::thread([window] {
                for (int step = 1; step <= 100; ++step)
                    ui::PostDialogMessage(window, kProgress, static_cast<std::uintptr_t>(step * 100), 0);
                ui::PostDialogMessage(window, kComplete, 1, 200);
            });
            return TRUE;
        }
        case kProgress:
            ui::SetProgressPosition(window, static_cast<int>(wParam));
            positions.push_back(ui::ProgressPosition(window));
            return TRUE;
        case kComplete:
            completions++;
            ui::PostDialogMessage(window, ui::MsgCommand, ui::IdCancel, 0);
            return TRUE;
        case ui::MsgCommand:
            if (LOWORD(wParam) == ui::IdCancel) {
                cancels++;
                const vxn::wstring question = LoadLocalizedString(IDS_CANCEL_DOWNLOAD);
                std::thread clicker([question] {
                    // The message box is a dialog of the system's class, titled with the caption.
                    for (int tries = 0; tries < 1000; ++tries) {
                        HWND box = FindWindowW(L"#32770", question.c_str());
                        if (box != nullptr) {
                            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
                            return;
                        }
                        Sleep(10);
                    }
                });
                answer = ui::ShowMessageBox(window, question, question, ui::StyleYesNo);
                clicker.join();
                if (answer == ui::IdYes)
                    ui::EndModalDialog(window, 5);
            }
            return TRUE;
        default:
            return FALSE;
        }
    }

    bool initialised = false;
    std::u16string title;
    std::wstring barClass;
    std::wstring buttonText;
    std::vector<int> positions;
    int completions = 0;
    int cancels = 0;
    int answer = 0;
    std::thread worker;
};

bool have_display()
{
    // Wine makes windows only on an X display; without one DialogBoxParamW fails at once.
    return !zyrel_test::running_under_wine() || !zyrel_test::variable("DISPLAY", "").empty();
}

TEST(UserInterfaceTest, Win32DialogRunsTheTemplateUntilEndDialog)
{
    if (!have_display())
        GTEST_SKIP() << "no display for Wine's windows (DISPLAY is not set)";
    EXPECT_EQ(ui::ActiveHost(), ui::Host::Win32);

    struct Run {
        int templateId;
        int language;
        LANGID id;
    };
    const Run runs[] = {{IDD_DOWNLOAD, English, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
                        {IDD_DOWNLOAD_UPDATE, German, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)}};
    for (const Run& run : runs) {
        SCOPED_TRACE(run.templateId);
        const LANGID savedUi = GetThreadUILanguage();
        const LCID savedLocale = GetThreadLocale();
        SetThreadUILanguage(run.id);
        SetThreadLocale(MAKELCID(run.id, SORT_DEFAULT));
        PostingDialog dialog;
        const std::intptr_t result = ui::RunModalDialog(run.templateId, &dialog);
        SetThreadUILanguage(savedUi);
        SetThreadLocale(savedLocale);
        if (dialog.worker.joinable())
            dialog.worker.join();

        EXPECT_EQ(result, 5) << "EndModalDialog's result is the run's";
        EXPECT_TRUE(dialog.initialised);
        const Expected& title = kTitles[run.templateId == IDD_DOWNLOAD ? 0 : 1];
        EXPECT_EQ(dialog.title, std::u16string(title.text[run.language]));
        EXPECT_EQ(dialog.barClass, L"msctls_progress32");
        EXPECT_EQ(std::u16string(dialog.buttonText.begin(), dialog.buttonText.end()),
                  std::u16string(kCancelButton.text[run.language]));
        ASSERT_EQ(dialog.positions.size(), 100u) << "every posted message arrives";
        for (int step = 1; step <= 100; ++step)
            EXPECT_EQ(dialog.positions[static_cast<std::size_t>(step - 1)], step * 100) << "in order";
        EXPECT_EQ(dialog.completions, 1);
        EXPECT_EQ(dialog.cancels, 1);
        EXPECT_EQ(dialog.answer, ui::IdYes);
    }
    EXPECT_EQ(ui::RunModalDialog(102, nullptr), -1) << "no such template";
}

#else

std::string utf8(const char16_t* text)
{
    vxn::string out;
    out.assign_utf16(reinterpret_cast<const vxn::wchar*>(text), static_cast<vxn::u32>(std::u16string(text).size()));
    return out.c_str();
}

fs::path helper()
{
    return zyrel_test::test_program("ui_dialog");
}

// A program of the system, or empty when it is not installed.
std::string system_program(const char* name)
{
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        const std::string path = std::string(folder) + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

// Reads the child's lines until one equals `wanted`; every line read is kept in `seen`.
bool read_until(zyrel_test::child_process& child, const std::string& wanted, std::vector<std::string>& seen)
{
    for (int i = 0; i < 100000; ++i) {
        std::string line = child.read_line();
        seen.push_back(line);
        if (line == wanted)
            return true;
        if (seen.size() > 2 && seen[seen.size() - 1].empty() && seen[seen.size() - 2].empty() &&
            seen[seen.size() - 3].empty())
            return false; // the output has ended
    }
    return false;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

// The environment of a helper run: one host, one language, the log in the test's folder.
std::vector<std::string> environment(const zyrel_test::temp_folder& folder, const std::string& host,
                                     const char* language = "C")
{
    std::vector<std::string> variables = {"TMPDIR=" + zyrel_test::to_utf8(folder.path()), std::string("LANG=") + language,
                                          "LC_ALL", "LC_MESSAGES", "WAYLAND_DISPLAY"};
    if (host.empty())
        variables.push_back("ZYREL_UI");
    else
        variables.push_back("ZYREL_UI=" + host);
    return variables;
}

std::string log_of(const zyrel_test::temp_folder& folder)
{
    return zyrel_test::read_file(folder.path() / "ZyrelDownloader.log");
}

TEST(UserInterfaceTest, HeadlessHostPrintsLogsAndTakesTheSafeAnswers)
{
    zyrel_test::temp_folder folder;
    zyrel_test::child_options options;
    options.merge_stderr = true;
    options.environment = environment(folder, "none");
    options.environment.push_back("DISPLAY");

    // A whole run: every progress message arrives in order and moves the bar.
    {
        const auto run = zyrel_test::run_child(helper(), {"run", "101", "100", "0", "complete"}, options);
        EXPECT_EQ(run.exit_code, 0);
        std::vector<std::string> expected = {"init Downloading Zyrel"};
        for (int step = 1; step <= 100; ++step)
            expected.push_back("progress " + std::to_string(step * 100) + " " + std::to_string(step * 100));
        expected.push_back("complete");
        expected.push_back("ended 7");
        EXPECT_EQ(zyrel_test::lines_of(run.output), expected);
        EXPECT_NE(log_of(folder).find("[INF] User interface: none"), std::string::npos) << log_of(folder);
    }
    // Messages: caption and whole text on stderr and in the log; a question answers No,
    // and the log says why.
    {
        const auto asked = zyrel_test::run_child(helper(), {"ask"}, options);
        EXPECT_EQ(zyrel_test::lines_of(asked.output),
                  (std::vector<std::string>{"Cancel download?: Cancel download?", "answer no"}));
        const std::string log = log_of(folder);
        EXPECT_NE(log.find("[INF] Message \"Cancel download?\": Cancel download?"), std::string::npos) << log;
        EXPECT_NE(log.find("Question \"Cancel download?\" takes the safe answer No: there is no desktop or terminal"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("[INF] Question \"Cancel download?\" answered No"), std::string::npos) << log;

        zyrel_test::child_options german = options;
        german.environment.push_back("LANG=de_DE.UTF-8");
        const auto told = zyrel_test::run_child(helper(), {"tell"}, german);
        EXPECT_EQ(zyrel_test::lines_of(told.output),
                  (std::vector<std::string>{"Download fehlgeschlagen: Download fehlgeschlagen", "told"}));
        EXPECT_NE(log_of(folder).find("[INF] Message \"Download fehlgeschlagen\": Download fehlgeschlagen"),
                  std::string::npos);
    }
    // SIGTERM, SIGHUP (the session that started it has gone), and SIGINT without a
    // terminal: the Cancel command, its question answered Yes, a clean end with exit code 0
    // and the log's lines written.
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        zyrel_test::child_process child(helper(), {"run", "103", "20", "0", "hold"}, options);
        std::vector<std::string> seen;
        ASSERT_TRUE(read_until(child, "progress 5000 5000", seen)) << joined(seen);
        EXPECT_EQ(seen.front(), "init Downloading Zyrel Update");
        // Without a desktop nothing of GTK is mapped.
        const std::string maps = zyrel_test::read_file("/proc/" + std::to_string(child.id()) + "/maps");
        EXPECT_FALSE(maps.empty());
        EXPECT_EQ(maps.find("libgtk-3"), std::string::npos);
        kill(static_cast<pid_t>(child.id()), signal);
        const std::string rest = child.read_all();
        EXPECT_EQ(zyrel_test::lines_of(rest), (std::vector<std::string>{"cancel", "answer yes", "ended 3"}));
        EXPECT_EQ(child.finish(), 0);
        const std::string log = log_of(folder);
        const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT";
        EXPECT_NE(log.find(std::string(name) + ": cancelling"), std::string::npos) << log;
        EXPECT_NE(log.find("answered Yes: the program is being ended"), std::string::npos) << log;
    }
}

TEST(UserInterfaceTest, HostChoiceFollowsZyrelUiAndWhatCanWork)
{
    zyrel_test::temp_folder folder;
    zyrel_test::child_options options;
    options.merge_stderr = true;

    // stderr is a pipe here and there is no display: nothing but the headless host works.
    options.environment = environment(folder, "");
    options.environment.push_back("DISPLAY");
    EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"host"}, options).output),
              (std::vector<std::string>{"none"}));

    options.environment = environment(folder, "gtk");
    options.environment.push_back("DISPLAY");
    EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"host"}, options).output),
              (std::vector<std::string>{
                  "ZyrelDownloader: ZYREL_UI=gtk, but no display is set (DISPLAY, WAYLAND_DISPLAY); using the none host",
                  "none"}));

    // A display that cannot be opened is no desktop either.
    options.environment = environment(folder, "gtk");
    options.environment.push_back("DISPLAY=:999");
    EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"host"}, options).output),
              (std::vector<std::string>{"ZyrelDownloader: ZYREL_UI=gtk, but GTK cannot open the display; using the none host",
                                        "none"}));

    options.environment = environment(folder, "terminal");
    EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"host"}, options).output),
              (std::vector<std::string>{"terminal"}));

    options.environment = environment(folder, "window");
    options.environment.push_back("DISPLAY");
    EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"host"}, options).output),
              (std::vector<std::string>{
                  "ZyrelDownloader: ZYREL_UI=window is not one of gtk, terminal, none; choosing by itself", "none"}));
}

// ---- GTK on a virtual X display ---------------------------------------------------------

// An Xvfb server of the test's own, on the first free display of ZYREL_TEST_DISPLAYS
// ("first-last", by default 120-139).
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        const std::string xvfb = system_program("Xvfb");
        if (xvfb.empty())
            return;
        int first = 120;
        int last = 139;
        const std::string range = zyrel_test::variable("ZYREL_TEST_DISPLAYS", "");
        if (std::sscanf(range.c_str(), "%d-%d", &first, &last) != 2)
            first = 120, last = 139;
        for (int number = first; number <= last && m_name.empty(); ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
            if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0)
                continue;
            const std::string name = ":" + std::to_string(number);
            m_server = std::make_unique<zyrel_test::child_process>(
                fs::path(xvfb), std::vector<std::string>{name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            // Another test (or another run on this machine) may take the number first: the
            // display is ours only when the lock file names our server, and a server that
            // lost the race ends, which ends its (otherwise silent) output. The bound is
            // only there against a hung server.
            const std::string ours = std::to_string(m_server->id());
            for (int tries = 0; tries < 1200 && m_name.empty(); ++tries) {
                std::string owner = zyrel_test::read_file(lock);
                owner.erase(std::remove_if(owner.begin(), owner.end(), [](char c) { return c == ' ' || c == '\n'; }),
                            owner.end());
                if (owner == ours && access(socket.c_str(), F_OK) == 0)
                    m_name = name;
                else if (m_server->output_within(0))
                    break;
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (m_name.empty())
                m_server.reset();
        }
    }
    ~VirtualDisplay()
    {
        // SIGTERM, and a wait for the end: the server removes its lock file on the way out,
        // which a SIGKILL would leave behind, blocking the display number.
        if (m_server != nullptr) {
            kill(static_cast<pid_t>(m_server->id()), SIGTERM);
            m_server->finish();
        }
    }
    const std::string& Name() const { return m_name; }

private:
    std::unique_ptr<zyrel_test::child_process> m_server;
    std::string m_name;
};

// xdotool, bounded in time: `search --sync` would otherwise wait forever.
std::string xdotool(const std::string& display, const std::vector<std::string>& arguments)
{
    std::vector<std::string> command = {"20", system_program("xdotool")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    zyrel_test::child_options options;
    options.environment = {"DISPLAY=" + display};
    const auto run = zyrel_test::run_child(system_program("timeout"), command, options);
    const auto lines = zyrel_test::lines_of(run.output);
    return lines.empty() ? std::string() : lines.front();
}

std::string find_window(const std::string& display, const std::string& title)
{
    std::string pattern = "^";
    for (const char c : title)
        pattern += c == '?' || c == '.' || c == '-' ? std::string("\\") + c : std::string(1, c);
    return xdotool(display, {"search", "--sync", "--onlyvisible", "--name", pattern + "$"});
}

void press(const std::string& display, const std::string& window, const std::string& keys)
{
    std::vector<std::string> arguments = {"windowfocus", "--sync", window, "key", "--clearmodifiers"};
    for (std::size_t start = 0; start < keys.size();) {
        const std::size_t end = std::min(keys.find(' ', start), keys.size());
        arguments.push_back(keys.substr(start, end - start));
        start = end + 1;
    }
    xdotool(display, arguments);
}

// What a window manager does when the close box is clicked: WM_DELETE_WINDOW.
bool click_close_box(const std::string& display, const std::string& window)
{
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x11 == nullptr)
        return false;
    auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
    auto intern = reinterpret_cast<Atom (*)(Display*, const char*, Bool)>(dlsym(x11, "XInternAtom"));
    auto send = reinterpret_cast<Status (*)(Display*, ::Window, Bool, long, XEvent*)>(dlsym(x11, "XSendEvent"));
    auto flush = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XFlush"));
    auto close = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XCloseDisplay"));
    Display* connection = open != nullptr ? open(display.c_str()) : nullptr;
    if (connection == nullptr)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window);
    event.xclient.message_type = intern(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(intern(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = send(connection, event.xclient.window, False, NoEventMask, &event) != 0;
    flush(connection);
    close(connection);
    return sent;
}

bool gtk_installed()
{
    void* gtk = dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_LOCAL);
    return gtk != nullptr;
}

TEST(UserInterfaceTest, GtkWindowOnAVirtualDisplay)
{
    if (system_program("xdotool").empty() || system_program("timeout").empty() || !gtk_installed())
        GTEST_SKIP() << "needs Xvfb, xdotool and libgtk-3";
    VirtualDisplay display;
    if (display.Name().empty())
        GTEST_SKIP() << "no virtual X display could be started";

    struct Run {
        int templateId;
        int language;
        const char* lang;
    };
    const Run runs[] = {{IDD_DOWNLOAD, English, "en_US.UTF-8"},
                        {IDD_DOWNLOAD, German, "de_DE.UTF-8"},
                        {IDD_DOWNLOAD_UPDATE, French, "fr_FR.UTF-8"}};
    zyrel_test::temp_folder folder;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.lang);
        const std::string title = utf8(kTitles[run.templateId == IDD_DOWNLOAD ? 0 : 1].text[run.language]);
        const std::string question = utf8(kStrings[2].text[run.language]);
        zyrel_test::child_options options;
        options.environment = environment(folder, "gtk", run.lang);
        options.environment.push_back("DISPLAY=" + display.Name());
        zyrel_test::child_process child(helper(), {"run", std::to_string(run.templateId), "20", "0", "hold"}, options);
        std::vector<std::string> seen;
        ASSERT_TRUE(read_until(child, "progress 5000 5000", seen)) << joined(seen);
        EXPECT_EQ(seen.front(), "init " + title);
        // Under the bar, the bytes of the total in the window's language (the rate joins
        // them after half a second, which a slow build may have passed).
        const char* const figures[] = {"details 488.3 KiB of 976.6 KiB", "details 488,3 KiB von 976,6 KiB",
                                       "details 488,3 Kio sur 976,6 Kio"};
        const std::string details = child.read_line();
        EXPECT_EQ(details.rfind(figures[run.language], 0), 0u) << details;

        const std::string window = find_window(display.Name(), title);
        ASSERT_FALSE(window.empty()) << "a window titled " << title;
        if (run.language == English && !system_program("import").empty()) {
            // The picture in the README: the window as the desktop shows it.
            const fs::path shot = zyrel_test::test_program_folder() / "ui-gtk.png";
            // The bar's new position is drawn with the next frame.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            zyrel_test::child_options shooting;
            shooting.environment = {"DISPLAY=" + display.Name()};
            zyrel_test::run_child(system_program("import"), {"-window", window, zyrel_test::to_utf8(shot)}, shooting);
            EXPECT_TRUE(fs::exists(shot));
        }

        // Escape is the Cancel command; its question answered No leaves the window running.
        press(display.Name(), window, "Escape");
        seen.clear();
        ASSERT_TRUE(read_until(child, "cancel", seen)) << joined(seen);
        std::string box = find_window(display.Name(), question);
        ASSERT_FALSE(box.empty()) << "the question " << question;
        // Enter takes the default button, the safe No.
        press(display.Name(), box, "Return");
        ASSERT_TRUE(read_until(child, "answer no", seen)) << joined(seen);

        // The close box too; answered Yes, the window ends.
        ASSERT_TRUE(click_close_box(display.Name(), window));
        ASSERT_TRUE(read_until(child, "cancel", seen)) << joined(seen);
        box = find_window(display.Name(), question);
        ASSERT_FALSE(box.empty());
        // From the default No, Tab moves to Yes (whatever the buttons are called in the
        // language GTK speaks) and Enter presses it.
        press(display.Name(), box, "Tab Return");
        ASSERT_TRUE(read_until(child, "answer yes", seen)) << joined(seen);
        ASSERT_TRUE(read_until(child, "ended 3", seen)) << joined(seen);
        EXPECT_EQ(child.finish(), 0);
    }

    zyrel_test::child_options options;
    options.environment = environment(folder, "gtk");
    options.environment.push_back("DISPLAY=" + display.Name());

    // Initialising GTK leaves numbers in the "C" form, whatever the user's locale.
    {
        zyrel_test::child_options utf8Locale = options;
        utf8Locale.environment.push_back("LANG=C.UTF-8");
        EXPECT_EQ(zyrel_test::lines_of(zyrel_test::run_child(helper(), {"locale"}, utf8Locale).output),
                  (std::vector<std::string>{"gtk C"}));
    }

    // Posted from a worker thread, every message reaches the GTK main loop, in order.
    {
        const auto whole = zyrel_test::run_child(helper(), {"run", "101", "100", "0", "complete"}, options);
        EXPECT_EQ(whole.exit_code, 0);
        std::vector<std::string> expected = {"init Downloading Zyrel"};
        for (int step = 1; step <= 100; ++step)
            expected.push_back("progress " + std::to_string(step * 100) + " " + std::to_string(step * 100));
        expected.push_back("complete");
        expected.push_back("ended 7");
        EXPECT_EQ(zyrel_test::lines_of(whole.output), expected);
    }

    // SIGTERM ends a GTK window the same way as Cancel answered Yes. A question open at that
    // moment is answered No first: ending a run approves nothing it did not ask itself.
    zyrel_test::child_process child(helper(), {"run", "101", "20", "0", "hold"}, options);
    std::vector<std::string> seen;
    ASSERT_TRUE(read_until(child, "progress 5000 5000", seen)) << joined(seen);
    const std::string window = find_window(display.Name(), "Downloading Zyrel");
    ASSERT_FALSE(window.empty());
    press(display.Name(), window, "Escape");
    ASSERT_TRUE(read_until(child, "cancel", seen)) << joined(seen);
    ASSERT_FALSE(find_window(display.Name(), "Cancel download?").empty());
    kill(static_cast<pid_t>(child.id()), SIGTERM);
    EXPECT_EQ(zyrel_test::lines_of(child.read_all()),
              (std::vector<std::string>{"answer no", "cancel", "answer yes", "ended 3"}));
    EXPECT_EQ(child.finish(), 0);

    // SIGHUP, the desktop session gone, ends it the same way.
    zyrel_test::child_process hungUp(helper(), {"run", "101", "20", "0", "hold"}, options);
    seen.clear();
    ASSERT_TRUE(read_until(hungUp, "progress 5000 5000", seen)) << joined(seen);
    kill(static_cast<pid_t>(hungUp.id()), SIGHUP);
    std::vector<std::string> after = zyrel_test::lines_of(hungUp.read_all());
    std::erase_if(after, [](const std::string& line) { return line.rfind("details ", 0) == 0; });
    EXPECT_EQ(after, (std::vector<std::string>{"cancel", "answer yes", "ended 3"}));
    EXPECT_EQ(hungUp.finish(), 0);
}

// ---- the terminal line, inside tmux -------------------------------------------------------

class Tmux {
public:
    // A server of its own for every session: a server that the previous test's kill-server
    // is still taking down would refuse the next session on the same socket.
    explicit Tmux(const std::string& command)
        : m_socket("zyrel-ui-test-" + std::to_string(getpid()) + "-" + std::to_string(++s_sessions))
    {
        Call({"new-session", "-d", "-x", "100", "-y", "12", "-s", "ui", command});
    }
    ~Tmux() { Call({"kill-server"}); }

    std::string Call(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {"-L", m_socket});
        return zyrel_test::run_child(system_program("tmux"), arguments).output;
    }
    std::string Screen() const { return Call({"capture-pane", "-p", "-t", "ui"}); }
    void Keys(const std::vector<std::string>& keys) const
    {
        std::vector<std::string> arguments = {"send-keys", "-t", "ui"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Call(arguments);
    }

private:
    static inline int s_sessions = 0;
    std::string m_socket;
};

// Waits (up to a minute) until `ready` holds for the text `read` answers.
template <class Read, class Ready>
bool wait_for(Read read, Ready ready, std::string& last)
{
    for (int tries = 0; tries < 600; ++tries) {
        last = read();
        if (ready(last))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

int count_of(const std::string& text, const std::string& piece)
{
    int count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

TEST(UserInterfaceTest, TerminalLineInTmux)
{
    if (system_program("tmux").empty())
        GTEST_SKIP() << "needs tmux";
    zyrel_test::temp_folder folder;
    const fs::path out = folder.path() / "out.txt";
    // No ZYREL_UI and no display: stderr being a terminal chooses the terminal host. The
    // helper's own lines go to a file; the pane shows only what the host draws.
    const std::string command = "env -u ZYREL_UI -u DISPLAY -u WAYLAND_DISPLAY -u LC_ALL -u LC_MESSAGES LANG=C TMPDIR='" +
                                zyrel_test::to_utf8(folder.path()) + "' '" + zyrel_test::to_utf8(helper()) +
                                "' run 101 40 50 hold >'" + zyrel_test::to_utf8(out) +
                                "'; echo \"exit=$?\" >>'" + zyrel_test::to_utf8(out) + "'; sleep 120";
    Tmux tmux(command);
    const auto screen = [&] { return tmux.Screen(); };
    const auto output = [&] { return zyrel_test::read_file(out); };
    std::string last;

    // The line is redrawn in place: one line, at half way, with the bytes.
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("progress 5000 5000\n") != std::string::npos; }, last)) << last;
    ASSERT_TRUE(wait_for(screen, [](const std::string& text) { return text.find("]  50%") != std::string::npos; }, last)) << last;
    EXPECT_EQ(count_of(last, "Downloading Zyrel ["), 1) << last;
    EXPECT_NE(last.find("Downloading Zyrel [###"), std::string::npos) << last;
    EXPECT_NE(last.find("---]  50%  488.3 KiB / 976.6 KiB  "), std::string::npos) << last;
    // The rate, shown once half a second of transfer has passed: twenty steps 50 ms apart
    // take longer than that.
    EXPECT_NE(last.find(" KiB/s"), std::string::npos) << last;

    // Ctrl-C asks; "n" goes on with the line back in place.
    tmux.Keys({"C-c"});
    ASSERT_TRUE(wait_for(screen, [](const std::string& text) { return text.find("Cancel download? [y/N]") != std::string::npos; }, last)) << last;
    tmux.Keys({"n", "Enter"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("answer no\n") != std::string::npos; }, last)) << last;
    ASSERT_TRUE(wait_for(screen, [](const std::string& text) { return text.find("n\nDownloading Zyrel [") != std::string::npos; }, last)) << last;


    // An empty answer is No as well.
    tmux.Keys({"C-c"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return count_of(text, "cancel\n") == 2; }, last)) << last;
    tmux.Keys({"Enter"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return count_of(text, "answer no\n") == 2; }, last)) << last;

    // "y" ends the window; the line is finished and the program ends cleanly.
    tmux.Keys({"C-c"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return count_of(text, "cancel\n") == 3; }, last)) << last;
    tmux.Keys({"y", "Enter"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("exit=") != std::string::npos; }, last)) << last;
    EXPECT_NE(last.find("answer yes\nended 3\nexit=0\n"), std::string::npos) << last;
    EXPECT_EQ(tmux.Call({"display-message", "-p", "-t", "ui", "#{cursor_x}"}), "0\n") << "the line was ended";
}

TEST(UserInterfaceTest, TerminalEndsOnSigtermEvenWhileAsking)
{
    if (system_program("tmux").empty())
        GTEST_SKIP() << "needs tmux";
    zyrel_test::temp_folder folder;
    const fs::path out = folder.path() / "out.txt";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY ZYREL_UI=terminal LANG=C TMPDIR='" +
                                zyrel_test::to_utf8(folder.path()) + "' '" + zyrel_test::to_utf8(helper()) +
                                "' run 101 10 0 hold >'" + zyrel_test::to_utf8(out) +
                                "'; echo \"exit=$?\" >>'" + zyrel_test::to_utf8(out) + "'; sleep 120";
    Tmux tmux(command);
    const auto output = [&] { return zyrel_test::read_file(out); };
    const auto screen = [&] { return tmux.Screen(); };
    std::string last;
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("progress 5000 5000\n") != std::string::npos; }, last)) << last;
    tmux.Keys({"C-c"});
    ASSERT_TRUE(wait_for(screen, [](const std::string& text) { return text.find("Cancel download? [y/N]") != std::string::npos; }, last)) << last;
    // The pane runs a shell whose one child is the helper (env replaced itself with it).
    std::string shell = tmux.Call({"display-message", "-p", "-t", "ui", "#{pane_pid}"});
    shell.erase(shell.find_last_not_of("\n") + 1);
    const std::string children = zyrel_test::read_file("/proc/" + shell + "/task/" + shell + "/children");
    ASSERT_FALSE(children.empty());
    kill(static_cast<pid_t>(std::stol(children)), SIGTERM);
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("exit=") != std::string::npos; }, last)) << last;
    EXPECT_NE(last.find("cancel\nanswer no\ncancel\nanswer yes\nended 3\nexit=0\n"), std::string::npos) << last;
}

TEST(UserInterfaceTest, TerminalDeliversMessagesWhileAQuestionWaits)
{
    if (system_program("tmux").empty())
        GTEST_SKIP() << "needs tmux";
    zyrel_test::temp_folder folder;
    const fs::path out = folder.path() / "out.txt";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY ZYREL_UI=terminal LANG=C TMPDIR='" +
                                zyrel_test::to_utf8(folder.path()) + "' '" + zyrel_test::to_utf8(helper()) +
                                "' run 101 40 50 complete >'" + zyrel_test::to_utf8(out) +
                                "'; echo \"exit=$?\" >>'" + zyrel_test::to_utf8(out) + "'; sleep 120";
    Tmux tmux(command);
    const auto output = [&] { return zyrel_test::read_file(out); };
    std::string last;
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("progress 250 250\n") != std::string::npos; }, last)) << last;
    tmux.Keys({"C-c"});
    // The download completes while the question is still open, and is handled at once.
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("complete\n") != std::string::npos; }, last)) << last;
    EXPECT_NE(last.find("progress 10000 10000\ncomplete\n"), std::string::npos) << last;
    EXPECT_EQ(last.find("answer"), std::string::npos) << "the question is still open";
    // Answering it afterwards ends the already ending window again, without effect.
    tmux.Keys({"y", "Enter"});
    ASSERT_TRUE(wait_for(output, [](const std::string& text) { return text.find("exit=") != std::string::npos; }, last)) << last;
    EXPECT_NE(last.find("answer yes\nended 7\nexit=0\n"), std::string::npos) << last;
}

#endif

} // namespace
