// Processes with real children (tests/helpers/process_child.cpp, process_window.cpp): the
// parent's id and the orphan that must not mistake its adopter for its parent, holding,
// waiting, closing and terminating, windows, and the wait for a debugger.
#include "Process.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kForever = 0xFFFFFFFFu;
// Far above any pid the system hands out (Linux caps them at 2^22).
constexpr std::uint32_t kUnusedId = 0x7FFFFFF0u;

fs::path helper(const std::string& name)
{
#if defined(_WIN32)
    return zyrel_test::test_program_folder() / (name + ".exe");
#else
    return zyrel_test::test_program_folder() / name;
#endif
}

std::uint32_t own_id()
{
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<std::uint32_t>(getpid());
#endif
}

// "key=value key=value" into a map.
std::map<std::string, std::string> fields(const std::string& line)
{
    std::map<std::string, std::string> result;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string::npos)
            end = line.size();
        const std::string item = line.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos)
            result[item.substr(0, equals)] = item.substr(equals + 1);
        start = end + 1;
    }
    return result;
}

// The number after "child " or "window " in a helper's line.
std::uint64_t number_after(const std::string& line, const std::string& prefix)
{
    if (line.compare(0, prefix.size(), prefix) != 0)
        return 0;
    return std::strtoull(line.c_str() + prefix.size(), nullptr, 10);
}

struct child_options {
    // "NAME=value" sets a variable, a bare "NAME" removes it (Linux).
    std::vector<std::string> environment;
    bool mergeStderr = false;
#if !defined(_WIN32)
    int stdinFd = -1; // instead of a pipe the test writes to
#endif
};

// A started helper with its output (and input) on pipes.
class child_process {
public:
    child_process(const std::string& name, const std::vector<std::string>& arguments, const child_options& options = {});
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    std::uint32_t id() const { return m_id; }
    // The next line of output without its line end; empty at the end of the output.
    std::string read_line();
    // Whether any output arrives within the time given.
    bool output_within(int milliseconds);
    void write_line(const std::string& line);
    // Waits for the end and answers the exit code (Linux: 128 + N for death by signal N).
    int finish();
    // For a child that a tracer has already waited for.
    void mark_reaped() { m_running = false; }

private:
    bool fill();

    std::uint32_t m_id = 0;
    bool m_running = false;
    std::string m_buffer;
#if defined(_WIN32)
    HANDLE m_process = nullptr;
    HANDLE m_output = nullptr;
    HANDLE m_input = nullptr;
#else
    int m_output = -1;
    int m_input = -1;
#endif
};

#if defined(_WIN32)

child_process::child_process(const std::string& name, const std::vector<std::string>& arguments,
                             const child_options& options)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&inRead, &inWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

    std::wstring command = L"\"" + helper(name).wstring() + L"\"";
    for (const std::string& argument : arguments)
        command += L" " + fs::path(argument).wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = options.mergeStderr ? outWrite : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    const BOOL created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &started);
    CloseHandle(outWrite);
    CloseHandle(inRead);
    m_output = outRead;
    m_input = inWrite;
    if (!created) {
        ADD_FAILURE() << "cannot start " << name;
        return;
    }
    CloseHandle(started.hThread);
    m_process = started.hProcess;
    m_id = started.dwProcessId;
    m_running = true;
}

child_process::~child_process()
{
    if (m_running) {
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, INFINITE);
    }
    if (m_process != nullptr)
        CloseHandle(m_process);
    if (m_input != nullptr)
        CloseHandle(m_input);
    CloseHandle(m_output);
}

bool child_process::fill()
{
    char chunk[512];
    DWORD got = 0;
    if (!ReadFile(m_output, chunk, sizeof(chunk), &got, nullptr) || got == 0)
        return false;
    m_buffer.append(chunk, got);
    return true;
}

bool child_process::output_within(int milliseconds)
{
    for (int waited = 0;; waited += 10) {
        DWORD available = 0;
        if (!m_buffer.empty() || !PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr) || available > 0)
            return true;
        if (waited >= milliseconds)
            return false;
        Sleep(10);
    }
}

void child_process::write_line(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int child_process::finish()
{
    if (m_input != nullptr) {
        CloseHandle(m_input);
        m_input = nullptr;
    }
    if (!m_running)
        return -1;
    WaitForSingleObject(m_process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    m_running = false;
    return static_cast<int>(code);
}

#else

child_process::child_process(const std::string& name, const std::vector<std::string>& arguments,
                             const child_options& options)
{
    const std::string program = helper(name).string();
    std::vector<std::string> argumentTexts = {program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    std::vector<std::string> environmentTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& change : options.environment)
            replaced = replaced || change.substr(0, change.find('=')) == key;
        if (!replaced)
            environmentTexts.push_back(text);
    }
    for (const std::string& change : options.environment) {
        if (change.find('=') != std::string::npos)
            environmentTexts.push_back(change);
    }
    std::vector<char*> envp;
    for (std::string& text : environmentTexts)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    int output[2];
    int input[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes";
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(options.stdinFd >= 0 ? options.stdinFd : input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        if (options.mergeStderr)
            dup2(output[1], STDERR_FILENO);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(output[1]);
    close(input[0]);
    m_output = output[0];
    m_input = input[1];
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << name;
        return;
    }
    m_id = static_cast<std::uint32_t>(pid);
    m_running = true;
}

child_process::~child_process()
{
    if (m_running) {
        kill(static_cast<pid_t>(m_id), SIGKILL);
        waitpid(static_cast<pid_t>(m_id), nullptr, 0);
    }
    if (m_input >= 0)
        close(m_input);
    close(m_output);
}

bool child_process::fill()
{
    char chunk[512];
    for (;;) {
        const ssize_t got = read(m_output, chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

bool child_process::output_within(int milliseconds)
{
    if (!m_buffer.empty())
        return true;
    pollfd entry = {m_output, POLLIN, 0};
    return poll(&entry, 1, milliseconds) > 0;
}

void child_process::write_line(const std::string& line)
{
    const std::string text = line + "\n";
    EXPECT_EQ(write(m_input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

int child_process::finish()
{
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
    if (!m_running)
        return -1;
    int status = 0;
    waitpid(static_cast<pid_t>(m_id), &status, 0);
    m_running = false;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

std::string child_process::read_line()
{
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (!fill()) {
            std::string rest = m_buffer;
            m_buffer.clear();
            return rest;
        }
    }
}

#if defined(_WIN32)

// Debugs a process from a thread of its own (debug events go to the thread that
// attached), letting every event go on so that the debuggee runs as if undebugged.
class tracer {
public:
    explicit tracer(std::uint32_t pid) : m_pid(pid)
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_state != state::starting; });
    }
    ~tracer()
    {
        if (m_thread.joinable()) {
            const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, m_pid);
            if (process != nullptr) {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
            m_thread.join();
        }
    }
    bool attached() const { return m_state != state::failed; }
    int join()
    {
        m_thread.join();
        return m_exitCode;
    }

private:
    enum class state { starting, attached, failed };

    void run()
    {
        const bool attachedNow = DebugActiveProcess(m_pid) != 0;
        if (attachedNow)
            DebugSetProcessKillOnExit(FALSE);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_state = attachedNow ? state::attached : state::failed;
        }
        m_changed.notify_all();
        if (!attachedNow)
            return;
        for (;;) {
            DEBUG_EVENT event = {};
            if (!WaitForDebugEvent(&event, INFINITE))
                return;
            DWORD answer = DBG_CONTINUE;
            if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile != nullptr)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile != nullptr)
                CloseHandle(event.u.LoadDll.hFile);
            if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                answer = DBG_EXCEPTION_NOT_HANDLED;
            const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
            if (exited)
                m_exitCode = static_cast<int>(event.u.ExitProcess.dwExitCode);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
            if (exited)
                return;
        }
    }

    DWORD m_pid;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::atomic<state> m_state{state::starting};
    int m_exitCode = -1;
};

#else

// Sets or removes a variable of this process for the length of a scope.
class scoped_variable {
public:
    scoped_variable(const char* name, const char* value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~scoped_variable()
    {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

// A private X server for the window tests; its display number comes back through
// -displayfd once it accepts clients. -noreset: by default the server resets when its last
// client leaves, and refuses new clients meanwhile, which every window search would cause.
class virtual_display {
public:
    virtual_display()
    {
        int channel[2];
        if (pipe2(channel, O_CLOEXEC) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            if (channel[1] == 3)
                fcntl(3, F_SETFD, 0);
            else
                dup2(channel[1], 3);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(channel[1]);
        std::string number;
        char c = 0;
        while (read(channel[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        close(channel[0]);
        if (!number.empty())
            m_name = ":" + number;
    }
    ~virtual_display()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // Empty when no server could be started.
    const std::string& name() const { return m_name; }

private:
    pid_t m_pid = -1;
    std::string m_name;
};

// Traces a process from a thread of its own (ptrace answers only the thread that
// attached), letting every stop go on so that the tracee runs as if untraced.
class tracer {
public:
    explicit tracer(std::uint32_t pid) : m_pid(static_cast<pid_t>(pid))
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_state != state::starting; });
    }
    ~tracer()
    {
        if (m_thread.joinable()) {
            kill(m_pid, SIGKILL);
            m_thread.join();
        }
    }
    bool attached() const { return m_state != state::failed; }
    // Waits for the tracee's end (which this thread also reaps) and answers its exit code.
    int join()
    {
        m_thread.join();
        return m_exitCode;
    }

private:
    enum class state { starting, attached, failed };

    void run()
    {
        const bool seized = ptrace(PTRACE_SEIZE, m_pid, nullptr, nullptr) == 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_state = seized ? state::attached : state::failed;
        }
        m_changed.notify_all();
        if (!seized)
            return;
        for (;;) {
            int status = 0;
            if (waitpid(m_pid, &status, __WALL) < 0)
                return;
            if (WIFEXITED(status)) {
                m_exitCode = WEXITSTATUS(status);
                return;
            }
            if (WIFSIGNALED(status)) {
                m_exitCode = 128 + WTERMSIG(status);
                return;
            }
            const bool eventStop = (status >> 16) != 0;
            const long deliver = eventStop ? 0 : WSTOPSIG(status);
            ptrace(PTRACE_CONT, m_pid, nullptr, reinterpret_cast<void*>(deliver));
        }
    }

    pid_t m_pid;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::atomic<state> m_state{state::starting};
    int m_exitCode = -1;
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

} // namespace

TEST(ProcessParent, AChildSeesTheTestAsItsParent)
{
    child_process child("process_child", {"parent"});
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
    child_process first("process_child", {"orphan"});
    const std::uint64_t second = number_after(first.read_line(), "child ");
    ASSERT_NE(second, 0u);
    EXPECT_EQ(first.finish(), 0);

    const std::map<std::string, std::string> report = fields(first.read_line());
#if !defined(_WIN32)
    waitpid(static_cast<pid_t>(second), nullptr, 0);
    EXPECT_EQ(report.at("adopter"), std::to_string(own_id()));
#endif
    // While the first child lived, the second saw and held it as its parent...
    EXPECT_EQ(report.at("before"), std::to_string(first.id()));
    EXPECT_EQ(report.at("open"), "0");
    EXPECT_EQ(report.at("waited"), "0");
    // ...and once it had gone, neither the id nor any way of opening the parent is offered.
    EXPECT_EQ(report.at("after"), std::to_string(VXN::NoProcessId));
    EXPECT_EQ(report.at("reopen"), "1");
    EXPECT_EQ(report.at("byid"), "1");
}

#if !defined(_WIN32)

TEST(ProcessParent, AProgramStartedAsAnOrphanOfInitHasNoParent)
{
    child_process first("process_child", {"orphan-exec"});
    EXPECT_EQ(first.finish(), 0);
    const std::map<std::string, std::string> report = fields(first.read_line());
    ASSERT_FALSE(report.empty());
    if (report.at("ppid") != "1")
        GTEST_SKIP() << "orphans are adopted by a subreaper here (process " << report.at("ppid")
                     << "), which a program that starts as an orphan cannot tell from a parent";
    EXPECT_EQ(report.at("parent"), std::to_string(VXN::NoProcessId));
}

#endif

TEST(ProcessWait, RunningChildTimesOutAndEndedChildGivesItsExitCode)
{
    child_process child("process_child", {"exit-after-line", "42"});
    ASSERT_EQ(child.read_line(), "ready");
    VXN::Process process;
    ASSERT_EQ(process.Open(child.id()).status, VXN::Result::Success);
    EXPECT_TRUE(process.IsOpen());
    EXPECT_EQ(process.Id(), child.id());
    EXPECT_EQ(fs::path(std::u8string(reinterpret_cast<const char8_t*>(process.ImagePath().Utf8()))),
              helper("process_child"));

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
    child_process parent("process_child", {"child-exit-after-line", "7"});
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
    child_process ended("process_child", {"exit", "5"});
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
    child_process first("process_child", {"sleep"});
    child_process second("process_child", {"sleep"});
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
    child_process child("process_child", {"sleep"});
    ASSERT_EQ(child.read_line(), "ready");
    VXN::Process process;
    ASSERT_EQ(process.Open(child.id()).status, VXN::Result::Success);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::NotFound);
    EXPECT_EQ(process.Wait(0).status, VXN::Result::TimedOut);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Success);
    std::uint32_t code = 99;
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(child.finish(), 0);
}

#else

TEST(ProcessStop, PoliteCloseIsSigtermAndTerminationIsSigkill)
{
    // A child that handles the request leaves on its own terms.
    child_process polite("process_child", {"term-exit", "3"});
    ASSERT_EQ(polite.read_line(), "ready");
    VXN::Process process;
    ASSERT_EQ(process.Open(polite.id()).status, VXN::Result::Success);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    std::uint32_t code = 0;
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(polite.finish(), 3);
    // Its id is free again: the request cannot reach anyone, termination fails.
    EXPECT_EQ(process.Stop(true).status, VXN::Result::NotFound);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Failure);

    // A child that ignores it stays until it is terminated.
    child_process stubborn("process_child", {"term-ignore"});
    ASSERT_EQ(stubborn.read_line(), "ready");
    ASSERT_EQ(process.Open(stubborn.id()).status, VXN::Result::Success);
    EXPECT_EQ(process.Stop(true).status, VXN::Result::Success);
    EXPECT_EQ(process.Wait(300).status, VXN::Result::TimedOut);
    EXPECT_EQ(process.Stop(false).status, VXN::Result::Success);
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 128u + SIGKILL);
    EXPECT_EQ(stubborn.finish(), 128 + SIGKILL);
}

#endif

#if defined(_WIN32)

TEST(ProcessDebugger, PollingWaitsUntilADebuggerAttaches)
{
    child_process child("process_child", {"debug-poll"});
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_FALSE(child.output_within(300)) << "returned without a debugger";
    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "no debugger can attach here";
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    EXPECT_EQ(child.finish(), 0);
}

TEST(ProcessDebugger, AnAttachedDebuggerEndsTheDialogFormAtOnce)
{
    child_process child("process_child", {"debug-after-line"}, {{}, true});
    ASSERT_EQ(child.read_line(), "ready");
    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "no debugger can attach here";
    child.write_line("go");
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    EXPECT_EQ(child.finish(), 0);
}

TEST(ProcessDebugger, TheTaskDialogClosesItselfWhenADebuggerAttaches)
{
    child_process child("process_child", {"debug-dialog"});
    ASSERT_EQ(child.read_line(), "waiting");
    // A dialog that cannot be shown (Wine without a display) ends the wait at once.
    if (child.output_within(1000))
        GTEST_SKIP() << "the task dialog could not be shown here (no display); run the test with "
                        "DISPLAY set (for example under xvfb-run) to cover it";
    VXN::WindowHandle window = 0;
    for (int attempt = 0; attempt < 400 && VXN::FindProcessWindow(child.id(), &window).status != 0; ++attempt)
        Sleep(50);
    ASSERT_NE(window, 0u) << "no dialog window appeared";

    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "no debugger can attach here";
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    EXPECT_EQ(child.finish(), 0);
}

TEST(ProcessWindows, TheLastListedWindowReceivesTheCloseRequest)
{
    child_process child("process_window", {"2"});
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
    std::uint32_t code = 0;
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(child.finish(), 7);
}

#else

TEST(ProcessWindows, WithoutADisplayNoWindowIsFound)
{
    scoped_variable noX11("DISPLAY", nullptr);
    scoped_variable noWayland("WAYLAND_DISPLAY", nullptr);
    VXN::WindowHandle window = 0;
    EXPECT_EQ(VXN::FindProcessWindow(own_id(), &window).status, VXN::Result::NotFound);
    EXPECT_EQ(window, 0u);
}

TEST(ProcessWindows, TheLastListedX11WindowOfTheProcessIsFound)
{
    virtual_display display;
    if (display.name().empty())
        GTEST_SKIP() << "Xvfb is not available, so the X11 window search cannot be exercised";
    scoped_variable useDisplay("DISPLAY", display.name().c_str());

    child_process windowless("process_child", {"sleep"});
    ASSERT_EQ(windowless.read_line(), "ready");
    child_process child("process_window", {"2"}, {{"DISPLAY=" + display.name()}});
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
    std::uint32_t code = 0;
    EXPECT_EQ(process.Wait(kForever, &code).status, VXN::Result::Success);
    EXPECT_EQ(code, 128u + SIGTERM);
    EXPECT_EQ(child.finish(), 128 + SIGTERM);
}

// The dialog and terminal forms must not be taken for a desktop the test happens to run on.
const std::vector<std::string> kNoDesktop = {"DISPLAY", "WAYLAND_DISPLAY"};

TEST(ProcessDebugger, PollingWaitsUntilATracerAttaches)
{
    child_process child("process_child", {"debug-poll"}, {kNoDesktop, true});
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_FALSE(child.output_within(300)) << "returned without a debugger";

    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "ptrace is not permitted here";
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    child.mark_reaped();
}

TEST(ProcessDebugger, AnAttachedTracerEndsTheWaitAtOnceWithoutAMessage)
{
    child_process child("process_child", {"debug-after-line"}, {kNoDesktop, true});
    ASSERT_EQ(child.read_line(), "ready");
    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "ptrace is not permitted here";
    child.write_line("go");
    // Nothing was shown: the next line is the return itself.
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    child.mark_reaped();
}

TEST(ProcessDebugger, OnATerminalEnterContinuesWithoutADebugger)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);

    child_options options{kNoDesktop, true};
    options.stdinFd = terminal;
    child_process child("process_child", {"debug-dialog"}, options);
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
    child_process child("process_child", {"debug-dialog"}, {kNoDesktop, true});
    ASSERT_EQ(child.read_line(), "waiting");
    EXPECT_EQ(child.read_line(), "process_child.exe is waiting for a debugger");
    EXPECT_FALSE(child.output_within(300)) << "returned without a debugger";
    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "ptrace is not permitted here";
    EXPECT_EQ(child.read_line(), "returned");
    EXPECT_EQ(debugger.join(), 0);
    child.mark_reaped();
}

TEST(ProcessDebugger, TheGtkDialogClosesItselfWhenATracerAttaches)
{
    virtual_display display;
    if (display.name().empty())
        GTEST_SKIP() << "Xvfb is not available, so the desktop dialog cannot be shown";
    scoped_variable useDisplay("DISPLAY", display.name().c_str());

    // GTK's font threads race in libraries that ThreadSanitizer cannot see into; what the
    // child itself does runs on one thread.
    child_process child("process_child", {"debug-dialog"},
                        {{"DISPLAY=" + display.name(), "WAYLAND_DISPLAY", "NO_AT_BRIDGE=1", "GTK_A11Y=none",
                          "TSAN_OPTIONS=report_bugs=0"},
                         true});
    ASSERT_EQ(child.read_line(), "waiting");
    // Only the terminal form writes the instruction as text.
    if (child.output_within(300) && child.read_line() == "process_child.exe is waiting for a debugger")
        GTEST_SKIP() << "GTK 3 cannot be loaded here, so the desktop dialog cannot be shown";
    // The dialog is up once the process owns a window.
    VXN::WindowHandle window = 0;
    for (int attempt = 0; attempt < 400 && VXN::FindProcessWindow(child.id(), &window).status != 0; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(window, 0u) << "no dialog window appeared";
    EXPECT_FALSE(child.output_within(300)) << "the dialog ended without a debugger";

    tracer debugger(child.id());
    ASSERT_TRUE(debugger.attached()) << "ptrace is not permitted here";
    // GTK may have diagnostics of its own to print first.
    std::string line = child.read_line();
    while (!line.empty() && line != "returned")
        line = child.read_line();
    EXPECT_EQ(line, "returned");
    EXPECT_EQ(debugger.join(), 0);
    child.mark_reaped();
}

#endif
