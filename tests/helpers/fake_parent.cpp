// The process that starts ZyrelDownloader in the self-update tests, standing in for the
// client that is being updated. It starts the program given after the mode and its log
// file, prints the program's process id, and then behaves as the mode says:
//   exit-after-start  exits as soon as the log shows that the program has started
//   exit-soon         exits after two seconds
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
// Windows knows the one mode its tests need: exit-soon.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || std::wstring(argv[1]) != L"exit-soon")
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
    Sleep(2000);
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

bool log_shows_start(const char* log)
{
    std::ifstream file(log);
    std::stringstream text;
    text << file.rdbuf();
    return text.str().find("ZyrelDownloader starting up") != std::string::npos;
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

    if (mode == "exit-after-start") {
        for (int i = 0; i < 30000 && !log_shows_start(log); ++i)
            sleep_ms(1);
        return 0;
    }
    if (mode == "exit-soon") {
        sleep_ms(2000);
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
