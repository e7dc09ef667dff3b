// The process that starts ZyrelDownloader in the self-update tests, standing in for the
// client that is being updated. It starts the program given after the mode and its log
// file, prints the program's process id, and then behaves as the mode says:
//   exit-after-start  exits as soon as the log shows that the program has started
//   exit-when-waited  exits once the log shows that the program waits for this process, or
//                     that it has finished without waiting: it outlives the program's
//                     decision however slowly the machine runs, and never holds it up
//   term-exits        exits when it receives SIGTERM
//   term-ignored      ignores SIGTERM (only SIGKILL ends it)
//   survivor          starts the program as user nobody with CAP_SYS_PTRACE alone, so it
//                     can see us but not signal us, and exits once the program has
//   subreaper         (Linux) becomes a child subreaper; a child of it starts the program
//                     and exits before the program runs its first instruction, so the
//                     program starts adopted by this process, which exits once it has ended
// Every SIGTERM it receives is printed as "SIGTERM". The tests run it under its own name or
// as a copy named like the client.
#if defined(_WIN32)
// Windows knows the one mode its tests need: exit-when-waited.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The log as it is now; the program keeps it open for writing, so ours shares that.
std::string read_log(const wchar_t* path)
{
    std::string text;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || std::wstring(argv[1]) != L"exit-when-waited")
        return 2;
    // The rest of our own command line, after the mode and the log, is the program's.
    std::wstring command = L"\"" + std::wstring(argv[3]) + L"\"";
    for (int i = 4; i < argc; ++i)
        command += L" " + std::wstring(argv[i]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(argv[3], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return 3;
    std::printf("%lu\n", static_cast<unsigned long>(started.dwProcessId));
    std::fflush(stdout);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    const std::string waited = "Waiting for parent process " + std::to_string(GetCurrentProcessId()) + " to exit";
    // The bound only keeps a broken run from leaving this process behind for ever.
    for (int i = 0; i < 600000; ++i) {
        const std::string log = read_log(argv[2]);
        if (log.find(waited) != std::string::npos || log.find("ZyrelDownloader shutting down") != std::string::npos)
            break;
        Sleep(1);
    }
    return 0;
}
#else
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t g_terms = 0;

void on_term(int)
{
    g_terms = g_terms + 1;
    const char text[] = "SIGTERM\n";
    (void)!write(1, text, sizeof text - 1);
}

bool log_shows(const char* log, const std::string& line)
{
    std::ifstream file(log);
    std::stringstream text;
    text << file.rdbuf();
    return text.str().find(line) != std::string::npos;
}

void sleep_ms(long ms)
{
    timespec pause = {ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const std::string mode = argv[1];
    const char* log = argv[2];

    struct sigaction action = {};
    action.sa_handler = on_term;
    sigaction(SIGTERM, &action, nullptr);

    if (mode == "subreaper") {
        if (prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0)
            return 4;
        int report[2];
        if (pipe(report) != 0)
            return 4;
        const pid_t middle = fork();
        if (middle == 0) {
            const pid_t starter = getpid();
            const pid_t program = fork();
            if (program == 0) {
                signal(SIGTERM, SIG_DFL);
                close(report[0]);
                close(report[1]);
                // The middle process is gone before the program starts: adopted from its
                // first instruction on, as when a client starts the update and exits at once.
                while (getppid() == starter)
                    sleep_ms(1);
                execv(argv[3], argv + 3);
                _exit(127);
            }
            (void)!write(report[1], &program, sizeof program);
            _exit(0);
        }
        close(report[1]);
        pid_t program = 0;
        if (read(report[0], &program, sizeof program) != static_cast<ssize_t>(sizeof program))
            return 4;
        std::printf("%d\n", static_cast<int>(program));
        std::fflush(stdout);
        int status = 0;
        while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
        }
        while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
        }
        return 0;
    }

    const pid_t child = fork();
    if (child == 0) {
        signal(SIGTERM, SIG_DFL);
        if (mode == "survivor") {
            // Another user that may read our facts (CAP_SYS_PTRACE) but not signal us
            // (no CAP_KILL): the parent it finds cannot be ended.
            std::vector<char*> words = {const_cast<char*>("setpriv"), const_cast<char*>("--reuid=65534"),
                                        const_cast<char*>("--regid=65534"), const_cast<char*>("--clear-groups"),
                                        const_cast<char*>("--inh-caps=+sys_ptrace"),
                                        const_cast<char*>("--ambient-caps=+sys_ptrace")};
            for (int i = 3; i < argc; ++i)
                words.push_back(argv[i]);
            words.push_back(nullptr);
            execvp("setpriv", words.data());
            _exit(126);
        }
        execv(argv[3], argv + 3);
        _exit(127);
    }
    std::printf("%d\n", static_cast<int>(child));
    std::fflush(stdout);

    // The bounds only keep a broken run from leaving this process behind for ever.
    if (mode == "exit-after-start") {
        for (int i = 0; i < 600000 && !log_shows(log, "ZyrelDownloader starting up"); ++i)
            sleep_ms(1);
        return 0;
    }
    if (mode == "exit-when-waited") {
        const std::string waited = "Waiting for parent process " + std::to_string(getpid()) + " to exit";
        for (int i = 0; i < 600000 && !log_shows(log, waited) && !log_shows(log, "ZyrelDownloader shutting down"); ++i)
            sleep_ms(1);
        return 0;
    }
    if (mode == "term-exits") {
        while (g_terms == 0)
            pause();
        return 15;
    }
    if (mode == "term-ignored") {
        for (;;)
            pause();
    }
    if (mode == "survivor") {
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
        }
        return 0;
    }
    return 2;
}
#endif
