// A child for the process tests. The first argument picks what it does; every line it
// prints is flushed at once, because the test reads them as they come.
//
//   parent               prints GetParentProcessId()
//   parent-and-adopter   (Linux) prints "parent=<GetParentProcessId()> ppid=<getppid()>"
//   orphan-exec          (Linux) starts a second child that waits until this one has ended
//                        and only then runs "parent-and-adopter" as a new program
//   exit N               exits with code N
//   exit-after-line N    prints "ready", reads a line from stdin, then exits with code N
//   child-exit-after-line N
//                        starts a second child that reads a line from the shared stdin and
//                        exits with N (printing nothing); prints "child <id>" and waits to
//                        be ended
//   sleep                prints "ready" and waits to be ended
//   term-exit N          (Linux) exits with N on SIGTERM
//   term-ignore          (Linux) ignores SIGTERM
//   orphan               starts a second child and ends once that child holds it open; the
//                        second child reports what it can see of its parent before and after
//   debug-poll           WaitForDebugger(false), then prints "returned"
//   debug-dialog         WaitForDebugger(true), then prints "returned"
//   debug-after-line     reads a line from stdin first, then as debug-dialog
#include <Process.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

[[noreturn]] void wait_to_be_ended()
{
    for (;;) {
#if defined(_WIN32)
        Sleep(INFINITE);
#else
        pause();
#endif
    }
}

// Skips the runtime's exit work: the test may be tracing this process, and a leak checker
// that tries to trace it as well at exit would fail.
[[noreturn]] void leave(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
#if defined(_WIN32)
    ExitProcess(static_cast<UINT>(code));
#else
    _exit(code);
#endif
}

int status_of(const VXN::Result& result)
{
    return static_cast<int>(result.status);
}

// The second child of "orphan": holds its parent, lets it end, then asks again.
int report_orphan(void (*release_parent)(std::intptr_t), std::intptr_t channel)
{
    const std::uint32_t before = VXN::GetParentProcessId();
    VXN::Process parent;
    const VXN::Result opened = parent.OpenParent();
    release_parent(channel);
    const VXN::Result waited = opened.status == 0 ? parent.Wait(0xFFFFFFFFu) : VXN::Result(VXN::Result::Failure);

    const std::uint32_t after = VXN::GetParentProcessId();
    VXN::Process again;
    const VXN::Result reopened = again.OpenParent();
    VXN::Process byId;
    const VXN::Result openedById = byId.Open(before);
#if defined(_WIN32)
    const long adopter = 0;
#else
    const long adopter = static_cast<long>(getppid());
#endif
    std::printf("before=%lu open=%d waited=%d after=%lu reopen=%d byid=%d adopter=%ld\n",
                static_cast<unsigned long>(before), status_of(opened), status_of(waited),
                static_cast<unsigned long>(after), status_of(reopened), status_of(openedById), adopter);
    std::fflush(stdout);
    return 0;
}

int exit_after_line(int code)
{
    char line[64];
    (void)!std::fgets(line, sizeof(line), stdin);
    return code;
}

#if defined(_WIN32)

// Starts this program again with the arguments given, inheriting handles.
bool start_self(const wchar_t* arguments, PROCESS_INFORMATION& started)
{
    wchar_t self[32768];
    GetModuleFileNameW(nullptr, self, 32768);
    wchar_t command[33000];
    std::swprintf(command, 33000, L"\"%ls\" %ls", self, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started) != 0;
}

int start_exit_after_line(const char* code)
{
    wchar_t arguments[64];
    std::swprintf(arguments, 64, L"quiet-exit-after-line %hs", code);
    PROCESS_INFORMATION started = {};
    if (!start_self(arguments, started))
        return 3;
    // A process that has only just been created has no module list yet; announce it once
    // it can be opened like any running process.
    for (VXN::Process probe; probe.Open(started.dwProcessId).status != 0;)
        Sleep(10);
    std::printf("child %lu\n", static_cast<unsigned long>(started.dwProcessId));
    std::fflush(stdout);
    wait_to_be_ended();
}

void release_by_pipe(std::intptr_t channel)
{
    const HANDLE pipe = reinterpret_cast<HANDLE>(channel);
    DWORD written = 0;
    WriteFile(pipe, "x", 1, &written, nullptr);
    CloseHandle(pipe);
}

int start_orphan()
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return 2;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    wchar_t arguments[64];
    std::swprintf(arguments, 64, L"orphan-child %llu",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(writeEnd)));
    PROCESS_INFORMATION started = {};
    if (!start_self(arguments, started))
        return 3;
    CloseHandle(writeEnd);
    std::printf("child %lu\n", static_cast<unsigned long>(started.dwProcessId));
    std::fflush(stdout);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    char byte = 0;
    DWORD got = 0;
    ReadFile(readEnd, &byte, 1, &got, nullptr);
    return 0;
}

#else

void release_by_pipe(std::intptr_t channel)
{
    const int fd = static_cast<int>(channel);
    (void)!write(fd, "x", 1);
    close(fd);
}

int start_orphan()
{
    int channel[2];
    if (pipe(channel) != 0)
        return 2;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return 3;
    if (child == 0) {
        close(channel[0]);
        leave(report_orphan(&release_by_pipe, channel[1]));
    }
    close(channel[1]);
    std::printf("child %ld\n", static_cast<long>(child));
    std::fflush(stdout);
    char byte = 0;
    (void)!read(channel[0], &byte, 1);
    return 0;
}

int start_exit_after_line(const char* code)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return 3;
    if (child == 0)
        leave(exit_after_line(std::atoi(code)));
    std::printf("child %ld\n", static_cast<long>(child));
    std::fflush(stdout);
    wait_to_be_ended();
}

// The second child becomes an orphan before the new program starts at all.
int start_orphan_exec(const char* self)
{
    std::fflush(stdout);
    const pid_t first = getpid();
    const pid_t child = fork();
    if (child < 0)
        return 3;
    if (child == 0) {
        while (getppid() == first)
            usleep(1000);
        execl(self, self, "parent-and-adopter", static_cast<char*>(nullptr));
        _exit(127);
    }
    return 0;
}

void exit_on_term(int)
{
    _exit(std::atoi(std::getenv("PROCESS_CHILD_TERM_CODE")));
}

#endif

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";

    if (std::strcmp(mode, "parent") == 0) {
        std::printf("%lu\n", static_cast<unsigned long>(VXN::GetParentProcessId()));
        return 0;
    }
    if (std::strcmp(mode, "exit") == 0 && argc > 2)
        return std::atoi(argv[2]);
    if (std::strcmp(mode, "exit-after-line") == 0 && argc > 2) {
        say("ready");
        return exit_after_line(std::atoi(argv[2]));
    }
    if (std::strcmp(mode, "quiet-exit-after-line") == 0 && argc > 2)
        return exit_after_line(std::atoi(argv[2]));
    if (std::strcmp(mode, "child-exit-after-line") == 0 && argc > 2)
        return start_exit_after_line(argv[2]);
    if (std::strcmp(mode, "sleep") == 0) {
        say("ready");
        wait_to_be_ended();
    }
#if !defined(_WIN32)
    if (std::strcmp(mode, "parent-and-adopter") == 0) {
        std::printf("parent=%lu ppid=%ld\n", static_cast<unsigned long>(VXN::GetParentProcessId()),
                    static_cast<long>(getppid()));
        return 0;
    }
    if (std::strcmp(mode, "orphan-exec") == 0)
        return start_orphan_exec(argv[0]);
    if (std::strcmp(mode, "term-exit") == 0 && argc > 2) {
        setenv("PROCESS_CHILD_TERM_CODE", argv[2], 1);
        std::signal(SIGTERM, &exit_on_term);
        say("ready");
        wait_to_be_ended();
    }
    if (std::strcmp(mode, "term-ignore") == 0) {
        std::signal(SIGTERM, SIG_IGN);
        say("ready");
        wait_to_be_ended();
    }
#endif
    if (std::strcmp(mode, "orphan") == 0)
        return start_orphan();
#if defined(_WIN32)
    if (std::strcmp(mode, "orphan-child") == 0 && argc > 2)
        leave(report_orphan(&release_by_pipe, static_cast<std::intptr_t>(std::strtoull(argv[2], nullptr, 10))));
#endif
    const bool poll = std::strcmp(mode, "debug-poll") == 0;
    const bool after_line = std::strcmp(mode, "debug-after-line") == 0;
    if (poll || after_line || std::strcmp(mode, "debug-dialog") == 0) {
        say(after_line ? "ready" : "waiting");
        char line[64];
        if (after_line && std::fgets(line, sizeof(line), stdin) == nullptr)
            return 4;
        VXN::WaitForDebugger(!poll);
        say("returned");
        leave(0);
    }
    std::fprintf(stderr, "process_child: unknown mode \"%s\"\n", mode);
    return 64;
}
