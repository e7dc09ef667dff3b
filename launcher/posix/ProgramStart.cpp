// Starting a program on Linux, the way the shell's "open" verb starts one on Windows.
//
// The parameter text is split with the Windows rules, so a program receives the same
// arguments on both systems. A Windows program (a file that starts with "MZ") runs through
// wine (WINE when set, else `wine` on PATH) in the user's prefix; any other regular file
// with an execute bit runs directly.
// posix_spawn reports a failed exec itself (glibc runs the child on a vfork-style stack and
// hands the exec's error back), so a program that never ran is never reported as started.
// The child inherits the current folder and the environment, and nothing else of ours: every
// descriptor above stderr is closed (the log file among them), the signal mask is emptied
// and the signals a user interface may catch go back to their defaults.
#include "ProgramStart.h"

#include "ProgramWords.h"
#include "WinePrefix.h"

#include "Log.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// ShellExecuteW's error answers (all 32 or less).
constexpr std::uintptr_t kFileNotFound = 2;   // SE_ERR_FNF
constexpr std::uintptr_t kAccessDenied = 5;   // SE_ERR_ACCESSDENIED
constexpr std::uintptr_t kNoAssociation = 31; // SE_ERR_NOASSOC: no program opens this kind of file
constexpr std::uintptr_t kStarted = 42;

bool StartsWithMz(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    char head[2] = {0, 0};
    ssize_t got;
    do
        got = ::read(fd, head, sizeof head);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    return got == 2 && head[0] == 'M' && head[1] == 'Z';
}

std::uintptr_t SpawnError(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kFileNotFound;
    case ENOEXEC:
        return kNoAssociation;
    default:
        return kAccessDenied;
    }
}

} // namespace

bool CanStartWindowsPrograms()
{
    return !platform::WineProgram().empty();
}

std::uintptr_t OpenProgram(void*, const vxn::wstring& file, const vxn::wstring& parameters)
{
    const std::string path = platform::Utf8(file);
    struct stat facts;
    if (path.empty() || ::stat(path.c_str(), &facts) != 0)
        return kFileNotFound;
    if (!S_ISREG(facts.st_mode))
        return kAccessDenied;

    std::vector<std::string> first;
    std::string program;
    if (StartsWithMz(path)) {
        program = platform::WineProgram();
        if (program.empty())
            return kNoAssociation;
        // Wine reads the prefix from the environment we pass on as it is; the log says
        // which one that is, as the installer writes into it and the client runs from it.
        const std::string prefix = platform::WinePrefixFolder();
        VXN_LOG("ProgramStart", VXN::LogLevel::Info, "Running {0} through {1} in the Wine prefix {2}", path.c_str(),
                program.c_str(), prefix.empty() ? "named by a WINEPREFIX that is not an absolute path" : prefix.c_str());
        first.push_back(program);
    } else {
        if (::access(path.c_str(), X_OK) != 0)
            return kAccessDenied;
        program = path;
    }
    first.push_back(path);
    std::vector<std::string> words = platform::Words(first, parameters);
    std::vector<char*> argv = platform::Argv(words);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2, SIGWINCH, SIGXFSZ})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    const int error = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? kStarted : SpawnError(error);
}
