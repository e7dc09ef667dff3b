// Processes with real children (tests/helpers/process_child.cpp, process_window.cpp): the
// parent's id and the orphan that must not mistake its adopter for its parent, holding,
// waiting, closing and terminating, windows, and the wait for a debugger.
#include "Process.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using zyrel_test::child_options;
using zyrel_test::child_process;

namespace {

constexpr std::uint32_t kForever = 0xFFFFFFFFu;
// Far above any pid the system hands out (Linux caps them at 2^22).
constexpr std::uint32_t kUnusedId = 0x7FFFFFF0u;

const fs::path process_child = zyrel_test::test_program("process_child");
const fs::path process_window = zyrel_test::test_program("process_window");

std::uint32_t own_id()
{
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<std::uint32_t>(getpid());
#endif
}

// The number after "child " or "window " in a helper's line.
std::uint64_t number_after(const std::string& line, const std::string& prefix)
{
    if (line.compare(0, prefix.size(), prefix) != 0)
        return 0;
    return std::strtoull(line.c_str() + prefix.size(), nullptr, 10);
}

// Opens a child once it has said it is ready.
void open_when_ready(VXN::Process& process, child_process& child)
{
    ASSERT_EQ(child.read_line(), "ready");
    ASSERT_EQ(process.Open(child.id()).status, VXN::Result::Success);
}

// The held process and the child's owner see the same end.
void expect_end(VXN::Process& process, child_process& child, int code)
{
    std::uint32_t seen = 99;
    EXPECT_EQ(process.Wait(kForever, &seen).status, VXN::Result::Success);
    EXPECT_EQ(seen, static_cast<std::uint32_t>(code));
    EXPECT_EQ(child.finish(), code);
}

// The first window of a process, once it has one (a dialog is up once it does).
VXN::WindowHandle window_of(std::uint32_t id)
{
    VXN::WindowHandle window = 0;
    for (int attempt = 0; attempt < 1200 && VXN::FindProcessWindow(id, &window).status != 0; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return window;
}

// Debugs (Windows) or traces (Linux) a process from a thread of its own, as debug events
// and ptrace stops go only to the thread that attached; every event is let go on, so the
// process runs as if nobody watched it.
class tracer {
public:
    explicit tracer(std::uint32_t pid) : m_pid(pid)
    {
        m_thread = std::thread([this] {
            const bool attachedNow = attach();
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_state = attachedNow ? state::attached : state::failed;
            }
            m_changed.notify_all();
            if (attachedNow)
                m_exitCode = follow();
        });
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_state != state::starting; });
    }
    ~tracer()
    {
        if (m_thread.joinable()) {
            end_process();
            m_thread.join();
        }
    }
    bool attached() const { return m_state != state::failed; }
    // Waits for the process's end (on Linux this thread reaps it) and answers its exit code.
    int join()
    {
        m_thread.join();
        return m_exitCode;
    }

private:
    enum class state { starting, attached, failed };
    bool attach();
    int follow();
    void end_process();

    std::uint32_t m_pid;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::atomic<state> m_state{state::starting};
    int m_exitCode = -1;
};

#if defined(_WIN32)

bool tracer::attach()
{
    if (!DebugActiveProcess(m_pid))
        return false;
    DebugSetProcessKillOnExit(FALSE);
    return true;
}

int tracer::follow()
{
    for (;;) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, INFINITE))
            return -1;
        DWORD answer = DBG_CONTINUE;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile != nullptr)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile != nullptr)
            CloseHandle(event.u.LoadDll.hFile);
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
            event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            answer = DBG_EXCEPTION_NOT_HANDLED;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            return static_cast<int>(event.u.ExitProcess.dwExitCode);
    }
}

void tracer::end_process()
{
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, m_pid);
    if (process != nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

#else

bool tracer::attach()
{
    return ptrace(PTRACE_SEIZE, static_cast<pid_t>(m_pid), nullptr, nullptr) == 0;
}

int tracer::follow()
{
    for (;;) {
        int status = 0;
        if (waitpid(static_cast<pid_t>(m_pid), &status, __WALL) < 0)
            return -1;
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            return 128 + WTERMSIG(status);
        const bool eventStop = (status >> 16) != 0;
        const long deliver = eventStop ? 0 : WSTOPSIG(status);
        ptrace(PTRACE_CONT, static_cast<pid_t>(m_pid), nullptr, reinterpret_cast<void*>(deliver));
    }
}

void tracer::end_process()
{
    kill(static_cast<pid_t>(m_pid), SIGKILL);
}

// A private X server for the window tests; its display number comes back on its output
// once it accepts clients. -noreset: by default the server resets when its last client
// leaves, and refuses new clients meanwhile, which every window search would cause.
class virtual_display {
public:
    virtual_display()
        : m_server("/bin/sh", {"-c", "exec Xvfb -displayfd 1 -nolisten tcp -noreset -screen 0 320x240x24 2>/dev/null"})
    {
        const std::string number = m_server.read_line();
        if (!number.empty())
            m_name = ":" + number;
    }
    // Asked politely, the server removes its socket and lock file.
    ~virtual_display()
    {
        kill(static_cast<pid_t>(m_server.id()), SIGTERM);
        m_server.finish();
    }
    // Empty when no server could be started.
    const std::string& name() const { return m_name; }

private:
    child_process m_server;
    std::string m_name;
};

// Publishes a window list on the root window as a window manager does (_NET_CLIENT_LIST).
bool publish_client_list(const std::vector<std::uint64_t>& windows)
{
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return false;
    using Display = struct _XDisplay;
    auto openDisplay = reinterpret_cast<Display* (*)(const char*)>(dlsym(library, "XOpenDisplay"));
    auto closeDisplay = reinterpret_cast<int (*)(Display*)>(dlsym(library, "XCloseDisplay"));
    auto rootWindow = reinterpret_cast<unsigned long (*)(Display*)>(dlsym(library, "XDefaultRootWindow"));
    auto internAtom = reinterpret_cast<unsigned long (*)(Display*, const char*, int)>(dlsym(library, "XInternAtom"));
    auto changeProperty =
        reinterpret_cast<int (*)(Display*, unsigned long, unsigned long, unsigned long, int, int, const unsigned char*,
                                 int)>(dlsym(library, "XChangeProperty"));
    Display* display = openDisplay(nullptr);
    if (display == nullptr)
        return false;
    std::vector<unsigned long> list(windows.begin(), windows.end());
    constexpr unsigned long kAtomWindow = 33;
    changeProperty(display, rootWindow(display), internAtom(display, "_NET_CLIENT_LIST", 0), kAtomWindow, 32, 0,
                   reinterpret_cast<const unsigned char*>(list.data()), static_cast<int>(list.size()));
    closeDisplay(display);
    return true;
}

int open_descriptor_count()
{
    int count = 0;
    DIR* directory = opendir("/proc/self/fd");
    while (directory != nullptr && readdir(directory) != nullptr)
        ++count;
    if (directory != nullptr)
        closedir(directory);
    return count;
}

#endif

// Children that wait for a debugger. On Linux the dialog form must not take a desktop the
// test happens to run on for its own; the tests arrange a terminal or a display themselves.
child_options debuggee_options()
{
    child_options options;
    options.merge_stderr = true;
#if !defined(_WIN32)
    options.environment = {"DISPLAY", "WAYLAND_DISPLAY"};
#endif
    return options;
}

// Attaches a debugger to a child inside WaitForDebugger (sending `go` once attached, when
// given) and expects the wait to return at once. With `diagnostics`, lines the child prints
// before (GTK's own) are passed over.
void expect_debugger_releases(child_process& child, const char* go = nullptr, bool diagnostics = false)
{
    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "no debugger can attach here (Linux: ptrace is not permitted)";
    if (go != nullptr)
        child.write_line(go);
    std::string line = child.read_line();
    while (diagnostics && !line.empty() && line != "returned")
        line = child.read_line();
    EXPECT_EQ(line, "returned");
    EXPECT_EQ(debugger.join(), 0);
#if defined(_WIN32)
    EXPECT_EQ(child.finish(), 0);
#else
    child.mark_reaped();
#endif
}

} // namespace

TEST(ProcessParent, AChildSeesTheTestAsItsParent)
{
    child_process child(process_child, {"parent"});
    EXPECT_EQ(child.read_line(), std::to_string(own_id()));
    EXPECT_EQ(child.finish(), 0);
}

TEST(ProcessParent, AnOrphanIsNotMistakenForItsAdopter)
{
#if !defined(_WIN32)
    // With the test as subreaper the orphan is adopted by the test itself: the adopter is
    // alive, openable and killable, which is exactly what must not be taken for the parent.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0), 0);
    struct reset_subreaper {
        ~reset_subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0); }
    } reset;
#endif
    child_process first(process_child, {"orphan"});
    const std::uint64_t second = number_after(first.read_line(), "child ");
    ASSERT_NE(second, 0u);
    EXPECT_EQ(first.finish(), 0);

    const std::string report = first.read_line();
#if defined(_WIN32)
    const std::string adopter = "0"; // not reported
#else
    waitpid(static_cast<pid_t>(second), nullptr, 0);
    const std::string adopter = std::to_string(own_id());
#endif
    // While the first child lived, the second saw and held it as its parent (open, waited);
    // once it had gone, neither the id nor any way of opening the parent is offered.
    EXPECT_EQ(report, "before=" + std::to_string(first.id()) + " open=0 waited=0 after=" +
                          std::to_string(VXN::NoProcessId) + " reopen=1 byid=1 adopter=" + adopter);
}

#if !defined(_WIN32)

TEST(ProcessParent, AProgramStartedAsAnOrphanOfInitHasNoParent)
{
    child_process first(process_child, {"orphan-exec"});
    EXPECT_EQ(first.finish(), 0);
    unsigned long parent = 0;
    long ppid = 0;
    ASSERT_EQ(std::sscanf(first.read_line().c_str(), "parent=%lu ppid=%ld", &parent, &ppid), 2);
    if (ppid != 1)
        GTEST_SKIP() << "orphans are adopted by a subreaper here (process " << ppid
                     << "), which a program that starts as an orphan cannot tell from a parent";
    EXPECT_EQ(parent, VXN::NoProcessId);
}

#endif

// File names as Windows compares them: case does not count, one code unit at a time.
TEST(ProcessName, FileNamesCompareWithoutRegardToCaseAsWindowsDoes)
{
    const auto same = [](const char* a, const char* b) {
        vxn::wstring first;
        vxn::wstring second;
        first.assign_utf8(a, static_cast<vxn::u32>(std::strlen(a)));
        second.assign_utf8(b, static_cast<vxn::u32>(std::strlen(b)));
        return VXN::SameFileName(first, second);
    };
    EXPECT_TRUE(same("ZyrelClient.exe", "ZyrelClient.exe"));
    EXPECT_TRUE(same("ZyrelClient.exe", "zyrelclient.EXE"));
    EXPECT_TRUE(same("ZyrelClient\xC3\xA9t\xC3\xA9.exe", "ZYRELCLIENT\xC3\x89T\xC3\x89.EXE")); // Latin-1
    EXPECT_TRUE(same("\xD0\xBA\xD0\xBB\xD0\xB8\xD0\xB5\xD0\xBD\xD1\x82.exe",
                     "\xD0\x9A\xD0\x9B\xD0\x98\xD0\x95\xD0\x9D\xD0\xA2.EXE")); // Cyrillic
    EXPECT_TRUE(same("\xCE\xB6\xCF\x89.exe", "\xCE\x96\xCE\xA9.exe"));                   // Greek
    EXPECT_TRUE(same("\xC5\x82\xC3\xB3" "d\xC5\xBA.exe", "\xC5\x81\xC3\x93" "D\xC5\xB9.exe")); // Latin Extended-A
    EXPECT_TRUE(same("", ""));

    EXPECT_FALSE(same("ZyrelClient.exe", "ZyrelClientX.exe"));
    EXPECT_FALSE(same("ZyrelClient.exe", "ZyrelClient.exe "));
    EXPECT_FALSE(same("ZyrelClient.exe", "ZyrelClient.ex"));
    EXPECT_FALSE(same("ZyrelClient.exe", "ZyrelClient"));
    EXPECT_FALSE(same("Stra\xC3\x9F" "e.exe", "STRASSE.EXE")); // no expansion
    EXPECT_FALSE(same("a.exe", "b.exe"));
    EXPECT_FALSE(same("[.exe", "{.exe")); // next to the letters, not letters
    EXPECT_FALSE(same("@.exe", "`.exe"));
}

// A process is known by the file name of the program it runs, read through the held
// process, whatever its arguments say.
TEST(ProcessName, AProcessIsKnownByTheFileItRuns)
{
    zyrel_test::temp_folder folder;
    const std::string extension = process_child.extension().string();
    std::vector<std::string> names = {"ZyrelClient" + extension, "Zyrel Client (\xC3\xA9)" + extension};
#if !defined(_WIN32)
    // A backslash is an ordinary character of a Linux file name, not a folder's end.
    names.push_back("folder\\ZyrelClient.exe");
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path copy = folder.path() / fs::path(std::u8string(reinterpret_cast<const char8_t*>(name.c_str())));
        fs::copy_file(process_child, copy);
        child_process child(copy, {"sleep"});
        VXN::Process process;
        open_when_ready(process, child);
        vxn::wstring expected;
        expected.assign_utf8(name.c_str(), static_cast<vxn::u32>(name.size()));
        EXPECT_TRUE(process.ProgramName() == expected);
        EXPECT_EQ(process.Stop(false).status, VXN::Result::Success);
        EXPECT_EQ(process.Wait(kForever).status, VXN::Result::Success);
        child.finish();
        EXPECT_TRUE(process.ProgramName() == expected) << "kept while held";
    }
    VXN::Process idle;
    EXPECT_TRUE(idle.ProgramName().empty());
}

#if !defined(_WIN32) && defined(ZYREL_WINE_RUN)

// A Windows program under Wine: the executable is the Wine loader, the program is the
// Windows file that the loader mapped as its main image.
TEST(ProcessName, AWineProcessIsKnownByItsWindowsProgram)
{
    fs::path windows_program;
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/i386-linux-gnu/wine/i386-windows",
                               "/usr/lib/wine/x86_64-windows", "/usr/lib/wine/i386-windows"})
        if (fs::exists(fs::path(folder) / "find.exe")) {
            windows_program = fs::path(folder) / "find.exe";
            break;
        }
    if (windows_program.empty() || zyrel_test::run_child("/bin/sh", {"-c", "command -v wine"}).exit_code != 0)
        GTEST_SKIP() << "Wine is not installed here";

    zyrel_test::temp_folder folder;
    const fs::path copy = folder.path() / "ZyrelClient.exe";
    fs::copy_file(windows_program, copy);
    // find.exe reads its input until the end: it runs until the test closes it.
    child_process wine(ZYREL_WINE_RUN, {copy.string(), "never found"});
    VXN::Process process;
    const vxn::wstring client(VXN_W("ZyrelClient.exe"));
    // A first run of Wine makes its prefix before it starts the program.
    for (int attempt = 0; attempt < 3600; ++attempt) {
        if (process.Open(wine.id()).status == VXN::Result::Success && process.ProgramName() == client)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(process.ProgramName() == client) << process.ProgramName().size();
    const std::string loader = fs::path(process.ImagePath().Utf8()).filename().string();
    EXPECT_EQ(loader.rfind("wine", 0), 0u) << loader;
    wine.close_input();
    EXPECT_EQ(process.Wait(kForever).status, VXN::Result::Success);
    wine.finish();
}

#endif

TEST(ProcessWait, RunningChildTimesOutAndEndedChildGivesItsExitCode)
{
    child_process child(process_child, {"exit-after-line", "42"});
    VXN::Process process;
    open_when_ready(process, child);
    EXPECT_TRUE(process.IsOpen());
    EXPECT_EQ(process.Id(), child.id());
    EXPECT_EQ(fs::path(std::u8string(reinterpret_cast<const char8_t*>(process.ImagePath().Utf8()))), process_child);

    std::uint32_t code = 12345;
    EXPECT_EQ(process.Wait(0, &code).status, VXN::Result::TimedOut);
    EXPECT_EQ(code, 12345u);

    child.write_line("end");
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 42u);
    // The ended process stays held: waiting again answers the same.
    code = 0;
    EXPECT_EQ(process.Wait(0, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(process.Wait(0).status, VXN::Result::Success);
    // Waiting did not take the child away from its owner.
    EXPECT_EQ(child.finish(), 42);
}

TEST(ProcessWait, AGrandchildGivesItsExitCodeWhereTheSystemKnowsIt)
{
    child_process parent(process_child, {"child-exit-after-line", "7"});
    const std::uint64_t grandchild = number_after(parent.read_line(), "child ");
    ASSERT_NE(grandchild, 0u);
    VXN::Process process;
    ASSERT_EQ(process.Open(static_cast<std::uint32_t>(grandchild)).status, VXN::Result::Success);
    parent.write_line("end"); // the grandchild reads the shared input
    std::uint32_t code = 0;
    ASSERT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
#if defined(_WIN32)
    EXPECT_EQ(code, 7u);
#else
    EXPECT_EQ(code, VXN::Process::ExitCodeUnknown);
#endif
}

TEST(ProcessStop, NothingHeldIsReportedAndNothingLeaks)
{
    VXN::Process idle;
    EXPECT_FALSE(idle.IsOpen());
    EXPECT_EQ(idle.Id(), VXN::NoProcessId);
    EXPECT_TRUE(idle.ImagePath().Empty());
    EXPECT_EQ(idle.Wait(0).status, VXN::Result::Failure);
    EXPECT_EQ(idle.Stop(true).status, VXN::Result::NotFound);
    EXPECT_EQ(idle.Stop(false).status, VXN::Result::NotFound);

    VXN::Process unknown;
    EXPECT_EQ(unknown.Open(kUnusedId).status, VXN::Result::Failure);
    EXPECT_FALSE(unknown.IsOpen());
    EXPECT_EQ(unknown.Id(), VXN::NoProcessId);
    EXPECT_EQ(unknown.Wait(0).status, VXN::Result::Failure);
    EXPECT_EQ(unknown.Stop(false).status, VXN::Result::NotFound);

    // A process that has ended (not yet reaped, so its id is still taken) cannot be opened.
    child_process ended(process_child, {"exit", "5"});
#if defined(_WIN32)
    const HANDLE watch = OpenProcess(SYNCHRONIZE, FALSE, ended.id());
    ASSERT_NE(watch, nullptr);
    WaitForSingleObject(watch, INFINITE);
    CloseHandle(watch);
#else
    siginfo_t info = {};
    ASSERT_EQ(waitid(P_PID, ended.id(), &info, WEXITED | WNOWAIT), 0);
#endif
    VXN::Process late;
    EXPECT_EQ(late.Open(ended.id()).status, VXN::Result::Failure);
    EXPECT_FALSE(late.IsOpen());
    EXPECT_EQ(ended.finish(), 5);

    // Opening again releases what was held before.
    child_process first(process_child, {"sleep"});
    child_process second(process_child, {"sleep"});
    ASSERT_EQ(first.read_line(), "ready");
    ASSERT_EQ(second.read_line(), "ready");
#if !defined(_WIN32)
    const int descriptors = open_descriptor_count();
#endif
    {
        VXN::Process process;
        for (int round = 0; round < 10; ++round) {
            ASSERT_EQ(process.Open(first.id()).status, VXN::Result::Success);
            ASSERT_EQ(process.Open(second.id()).status, VXN::Result::Success);
        }
        EXPECT_EQ(process.Id(), second.id());
#if !defined(_WIN32)
        EXPECT_EQ(open_descriptor_count(), descriptors + 1);
#endif
    }
#if !defined(_WIN32)
    EXPECT_EQ(open_descriptor_count(), descriptors);
#endif
}

#if defined(_WIN32)

TEST(ProcessStop, WithoutWindowsOnlyTerminationEndsTheProcess)
{
    child_process child(process_child, {"sleep"});
    VXN::Process process;
    open_when_ready(process, child);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::NotFound);
    EXPECT_EQ(process.Wait(0).status, VXN::Result::TimedOut);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Success);
    expect_end(process, child, 0);
}

#else

TEST(ProcessStop, PoliteCloseIsSigtermAndTerminationIsSigkill)
{
    // A child that handles the request leaves on its own terms.
    child_process polite(process_child, {"term-exit", "3"});
    VXN::Process process;
    open_when_ready(process, polite);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    expect_end(process, polite, 3);
    // Its id is free again: the request cannot reach anyone, termination fails.
    EXPECT_EQ(process.Stop(true).status, VXN::Result::NotFound);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Failure);

    // A child that ignores it stays until it is terminated.
    child_process stubborn(process_child, {"term-ignore"});
    open_when_ready(process, stubborn);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    EXPECT_EQ(process.Wait(300).status, VXN::Result::TimedOut);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Success);
    expect_end(process, stubborn, 128 + SIGKILL);
}

#endif

TEST(ProcessDebugger, PollingWaitsUntilADebuggerAttaches)
{
    child_process child(process_child, {"debug-poll"}, debuggee_options());
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_FALSE(child.output_within(300)) << "returned without a debugger";
    expect_debugger_releases(child);
}

TEST(ProcessDebugger, AnAttachedDebuggerEndsTheDialogFormAtOnceWithoutAMessage)
{
    child_process child(process_child, {"debug-after-line"}, debuggee_options());
    ASSERT_EQ(child.read_line(), "ready");
    // Nothing is shown: the next line is the return itself.
    expect_debugger_releases(child, "go");
}

#if defined(_WIN32)

TEST(ProcessDebugger, TheTaskDialogClosesItselfWhenADebuggerAttaches)
{
    child_process child(process_child, {"debug-dialog"});
    ASSERT_EQ(child.read_line(), "waiting");
    // A dialog that cannot be shown (Wine without a display) ends the wait at once.
    if (child.output_within(1000))
        GTEST_SKIP() << "the task dialog could not be shown here (no display); run the test with "
                        "DISPLAY set (for example under xvfb-run) to cover it";
    ASSERT_NE(window_of(child.id()), 0u) << "no dialog window appeared";
    expect_debugger_releases(child);
}

TEST(ProcessWindows, TheLastListedWindowReceivesTheCloseRequest)
{
    child_process child(process_window, {"2"});
    std::vector<std::uint64_t> windows;
    std::uint64_t lastOwnListed = 0;
    for (std::string line = child.read_line(); line != "ready"; line = child.read_line()) {
        if (line == "nowindow" || line.empty())
            GTEST_SKIP() << "this Wine has no display, so no window can be created; run the test "
                            "with DISPLAY set (for example under xvfb-run) to cover the window search";
        if (line.compare(0, 7, "window ") == 0)
            windows.push_back(number_after(line, "window "));
        else if (line.find(" ZyrelProcessWindowTest") != std::string::npos)
            lastOwnListed = number_after(line, "listed ");
    }
    ASSERT_EQ(windows.size(), 2u);
    ASSERT_TRUE(lastOwnListed == windows[0] || lastOwnListed == windows[1]);

    // The system's input-method window of the process is passed over: the request goes to
    // the last of the process's own windows in the system's order.
    VXN::WindowHandle found = 0;
    ASSERT_EQ(VXN::FindProcessWindow(child.id(), &found).status, VXN::Result::Success);
    EXPECT_EQ(found, lastOwnListed);
    VXN::WindowHandle none = 0;
    EXPECT_EQ(VXN::FindProcessWindow(own_id(), &none).status, VXN::Result::NotFound);
    EXPECT_EQ(none, 0u);

    VXN::Process process;
    ASSERT_EQ(process.Open(child.id()).status, VXN::Result::Success);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    EXPECT_EQ(child.read_line(), "closed " + std::to_string(found));
    expect_end(process, child, 7);
}

#else

TEST(ProcessWindows, WithoutADisplayNoWindowIsFound)
{
    zyrel_test::scoped_variable noX11("DISPLAY", nullptr);
    zyrel_test::scoped_variable noWayland("WAYLAND_DISPLAY", nullptr);
    VXN::WindowHandle window = 0;
    EXPECT_EQ(VXN::FindProcessWindow(own_id(), &window).status, VXN::Result::NotFound);
    EXPECT_EQ(window, 0u);
}

TEST(ProcessWindows, TheLastListedX11WindowOfTheProcessIsFound)
{
    virtual_display display;
    if (display.name().empty())
        GTEST_SKIP() << "Xvfb is not available, so the X11 window search cannot be exercised";
    zyrel_test::scoped_variable useDisplay("DISPLAY", display.name().c_str());

    child_process windowless(process_child, {"sleep"});
    ASSERT_EQ(windowless.read_line(), "ready");
    child_process child(process_window, {"2"}, {{"DISPLAY=" + display.name()}});
    std::vector<std::uint64_t> windows;
    for (std::string line = child.read_line(); line != "ready"; line = child.read_line()) {
        ASSERT_NE(line, "nowindow");
        ASSERT_FALSE(line.empty());
        windows.push_back(number_after(line, "window "));
    }
    ASSERT_EQ(windows.size(), 2u);

    // Without a window manager the root's children come in stacking order: the window
    // made last is listed last.
    VXN::WindowHandle found = 0;
    ASSERT_EQ(VXN::FindProcessWindow(child.id(), &found).status, VXN::Result::Success);
    EXPECT_EQ(found, windows[1]);
    EXPECT_EQ(VXN::FindProcessWindow(windowless.id(), &found).status, VXN::Result::NotFound);
    EXPECT_EQ(found, windows[1]);

    // Under a window manager its client list is the order that counts.
    ASSERT_TRUE(publish_client_list({windows[1], windows[0]}));
    ASSERT_EQ(VXN::FindProcessWindow(child.id(), &found).status, VXN::Result::Success);
    EXPECT_EQ(found, windows[0]);
    ASSERT_TRUE(publish_client_list({windows[0]}));
    ASSERT_EQ(VXN::FindProcessWindow(child.id(), &found).status, VXN::Result::Success);
    EXPECT_EQ(found, windows[0]);

    VXN::Process process;
    ASSERT_EQ(process.Open(child.id()).status, VXN::Result::Success);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    expect_end(process, child, 128 + SIGTERM);
}

TEST(ProcessDebugger, OnATerminalEnterContinuesWithoutADebugger)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);

    child_options options = debuggee_options();
    options.stdin_fd = terminal;
    child_process child(process_child, {"debug-dialog"}, options);
    close(terminal);
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_EQ(child.read_line(), "process_child.exe is waiting for a debugger");
    EXPECT_EQ(child.read_line(), "Press Enter to continue without a debugger.");
    EXPECT_FALSE(child.output_within(300)) << "returned before Enter";
    ASSERT_EQ(write(master, "\n", 1), 1);
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(child.finish(), 0);
    close(master);
}

TEST(ProcessDebugger, WithNeitherDesktopNorTerminalTheDialogFormPolls)
{
    child_process child(process_child, {"debug-dialog"}, debuggee_options());
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_EQ(child.read_line(), "process_child.exe is waiting for a debugger");
    EXPECT_FALSE(child.output_within(300)) << "returned without a debugger";
    expect_debugger_releases(child);
}

TEST(ProcessDebugger, TheGtkDialogClosesItselfWhenATracerAttaches)
{
    virtual_display display;
    if (display.name().empty())
        GTEST_SKIP() << "Xvfb is not available, so the desktop dialog cannot be shown";
    zyrel_test::scoped_variable useDisplay("DISPLAY", display.name().c_str());

    // GTK's font threads race in libraries that ThreadSanitizer cannot see into; what the
    // child itself does runs on one thread.
    child_options options = debuggee_options();
    options.environment = {"DISPLAY=" + display.name(), "WAYLAND_DISPLAY", "NO_AT_BRIDGE=1", "GTK_A11Y=none",
                           "TSAN_OPTIONS=report_bugs=0"};
    child_process child(process_child, {"debug-dialog"}, options);
    ASSERT_EQ(child.read_line(), "waiting");
    // Only the terminal form writes the instruction as text.
    if (child.output_within(300) && child.read_line() == "process_child.exe is waiting for a debugger")
        GTEST_SKIP() << "GTK 3 cannot be loaded here, so the desktop dialog cannot be shown";
    ASSERT_NE(window_of(child.id()), 0u) << "no dialog window appeared";
    EXPECT_FALSE(child.output_within(300)) << "the dialog ended without a debugger";
    expect_debugger_releases(child, nullptr, true);
}

#endif
