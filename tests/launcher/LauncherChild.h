// Starting the launcher's helper programs from a test and collecting what they print.
//
// On Linux a child gets an argument vector, passed through exactly; on Windows it gets a
// command line text, which is what GetCommandLineW answers in the child, so the tests can
// hand it quotes and backslashes exactly as a user or a relaunch would.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;
#endif

namespace launcher_test {

struct ChildResult {
    int exitCode = -1;
    std::string output; // stdout and stderr, in the order written
};

using Environment = std::vector<std::pair<std::string, std::string>>;

inline std::filesystem::path helper_path(const char* name)
{
#if defined(_WIN32)
    return zyrel_test::test_program_folder() / (std::string(name) + ".exe");
#else
    return zyrel_test::test_program_folder() / name;
#endif
}

#if defined(_WIN32)

inline std::wstring widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), needed);
    return out;
}

// Sets variables for the child (children inherit the environment) and restores them after.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment& variables)
    {
        for (const auto& [name, value] : variables) {
            const std::wstring wide_name = widen(name);
            wchar_t previous[32768];
            const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), previous, 32768);
            m_saved.push_back({wide_name, length > 0 ? std::wstring(previous, length) : std::wstring(), length > 0});
            SetEnvironmentVariableW(wide_name.c_str(), widen(value).c_str());
        }
    }
    ~ScopedEnvironment()
    {
        for (const Saved& saved : m_saved)
            SetEnvironmentVariableW(saved.name.c_str(), saved.present ? saved.value.c_str() : nullptr);
    }

private:
    struct Saved {
        std::wstring name;
        std::wstring value;
        bool present;
    };
    std::vector<Saved> m_saved;
};

// Runs program with exactly this command line (program name included).
inline ChildResult run_command_line(const std::filesystem::path& program, const std::wstring& command_line,
                                    const Environment& environment = {})
{
    ChildResult result;
    ScopedEnvironment scoped(environment);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed";
        return result;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    std::wstring mutable_line = command_line;
    const BOOL started = CreateProcessW(program.wstring().c_str(), mutable_line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        ADD_FAILURE() << "CreateProcessW failed for " << program.string() << ": " << GetLastError();
        return result;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        result.output.append(buffer, got);
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

#else

// Runs program with exactly these arguments after argument 0 (the program path).
inline ChildResult run_program(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                               const Environment& environment = {})
{
    ChildResult result;
    std::vector<std::string> argument_texts;
    argument_texts.push_back(program.string());
    argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argument_texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment_texts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool overridden = false;
        for (const auto& variable : environment) {
            const std::string prefix = variable.first + "=";
            overridden = overridden || std::strncmp(*entry, prefix.c_str(), prefix.size()) == 0;
        }
        if (!overridden)
            environment_texts.emplace_back(*entry);
    }
    for (const auto& [name, value] : environment)
        environment_texts.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : environment_texts)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (spawned != 0) {
        ::close(pipe_ends[0]);
        ADD_FAILURE() << "posix_spawn failed for " << program << ": " << std::strerror(spawned);
        return result;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(pipe_ends[0], buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipe_ends[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

#endif

// The lines of a helper's output (LF or CR LF ends).
inline std::vector<std::string> lines_of(const std::string& output)
{
    std::vector<std::string> lines;
    std::string current;
    for (char c : output) {
        if (c == '\n') {
            if (!current.empty() && current.back() == '\r')
                current.pop_back();
            lines.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

} // namespace launcher_test
