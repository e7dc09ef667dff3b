#include "ChildProcess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace zyrel_test {

namespace {

// The child inherits this process's environment, changed while it starts.
std::vector<std::unique_ptr<scoped_variable>> change_environment(const std::vector<std::string>& changes)
{
    std::vector<std::unique_ptr<scoped_variable>> changed;
    for (const std::string& change : changes) {
        const std::size_t equals = change.find('=');
        const std::string name = change.substr(0, equals);
        changed.push_back(std::make_unique<scoped_variable>(
            name.c_str(), equals == std::string::npos ? nullptr : change.c_str() + equals + 1));
    }
    return changed;
}

} // namespace

#if defined(_WIN32)

child_process::child_process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                             const child_options& options)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out_read = nullptr;
    HANDLE out_write = nullptr;
    HANDLE in_read = nullptr;
    HANDLE in_write = nullptr;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0) || !CreatePipe(&in_read, &in_write, &inherit, 0)) {
        ADD_FAILURE() << "no pipes for " << program.string();
        return;
    }
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);

    std::wstring command = options.command_line;
    if (command.empty()) {
        command = L"\"" + program.wstring() + L"\"";
        for (const std::string& argument : arguments) {
            const vxn::wstring wide = to_wide(argument);
            command += L" " + std::wstring(wide.c_str(), wide.size());
        }
    }
    const auto environment = change_environment(options.environment);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = options.merge_stderr ? out_write : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    const BOOL created = CreateProcessW(program.wstring().c_str(), command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    CloseHandle(out_write);
    CloseHandle(in_read);
    m_output = out_read;
    m_input = in_write;
    if (!created) {
        ADD_FAILURE() << "cannot start " << program.string() << ": error " << GetLastError();
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
    for (HANDLE handle : {m_process, m_input, m_output}) {
        if (handle != nullptr)
            CloseHandle(handle);
    }
}

child_process::fill_result child_process::fill(int milliseconds)
{
    for (int waited = 0;; waited += 10) {
        DWORD available = 0;
        if (m_output == nullptr || !PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr))
            return fill_result::end;
        if (available > 0) {
            char chunk[4096];
            DWORD got = 0;
            if (!ReadFile(m_output, chunk, std::min<DWORD>(available, sizeof(chunk)), &got, nullptr) || got == 0)
                return fill_result::end;
            m_buffer.append(chunk, got);
            return fill_result::data;
        }
        if (waited >= milliseconds)
            return fill_result::timeout;
        Sleep(10);
    }
}

void child_process::write_line(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

void child_process::close_input()
{
    if (m_input != nullptr)
        CloseHandle(m_input);
    m_input = nullptr;
}

bool child_process::wait_for_end(int& code)
{
    if (WaitForSingleObject(m_process, kChildPatienceMs) != WAIT_OBJECT_0) {
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, INFINITE);
        return false;
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(m_process, &exit_code);
    code = static_cast<int>(exit_code);
    return true;
}

#else

child_process::child_process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                             const child_options& options)
{
    std::vector<std::string> argument_texts = {program.string()};
    argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argument_texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    int output[2];
    int input[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes for " << program;
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, options.stdin_fd >= 0 ? options.stdin_fd : input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (options.merge_stderr)
        posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    pid_t pid = 0;
    const auto environment = change_environment(options.environment);
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    close(input[0]);
    m_output = output[0];
    m_input = input[1];
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(error);
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
    close_input();
    if (m_output >= 0)
        close(m_output);
}

child_process::fill_result child_process::fill(int milliseconds)
{
    if (m_output < 0)
        return fill_result::end;
    pollfd entry = {m_output, POLLIN, 0};
    int ready = 0;
    while ((ready = poll(&entry, 1, milliseconds)) < 0 && errno == EINTR) {
    }
    if (ready == 0)
        return fill_result::timeout;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(m_output, chunk, sizeof(chunk))) < 0 && errno == EINTR) {
    }
    if (got <= 0)
        return fill_result::end;
    m_buffer.append(chunk, static_cast<std::size_t>(got));
    return fill_result::data;
}

void child_process::write_line(const std::string& line)
{
    const std::string text = line + "\n";
    EXPECT_EQ(write(m_input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void child_process::close_input()
{
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
}

bool child_process::wait_for_end(int& code)
{
    const pid_t pid = static_cast<pid_t>(m_id);
    int status = 0;
    pid_t ended = 0;
    for (int waited = 0; (ended = waitpid(pid, &status, WNOHANG)) == 0 && waited < kChildPatienceMs; waited += 5)
        usleep(5000);
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }
    code = ended < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

#endif

int child_process::finish()
{
    close_input();
    if (!m_running)
        return -1;
    m_running = false;
    int code = -1;
    if (!wait_for_end(code))
        ADD_FAILURE() << "the child did not end within " << kChildPatienceMs / 1000 << " s";
    return code;
}

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
        const fill_result result = fill(kChildPatienceMs);
        if (result == fill_result::timeout)
            ADD_FAILURE() << "no line from the child within " << kChildPatienceMs / 1000 << " s";
        if (result != fill_result::data)
            return std::exchange(m_buffer, std::string());
    }
}

std::string child_process::read_all()
{
    fill_result result = fill_result::data;
    while ((result = fill(kChildPatienceMs)) == fill_result::data) {
    }
    if (result == fill_result::timeout)
        ADD_FAILURE() << "the child's output did not end within " << kChildPatienceMs / 1000 << " s";
    return std::exchange(m_buffer, std::string());
}

bool child_process::output_within(int milliseconds)
{
    return !m_buffer.empty() || fill(milliseconds) != fill_result::timeout;
}

child_result run_child(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                       const child_options& options)
{
    child_process child(program, arguments, options);
    child.close_input();
    child_result result;
    result.output = child.read_all();
    result.exit_code = child.finish();
    return result;
}

std::vector<std::string> lines_of(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace zyrel_test
