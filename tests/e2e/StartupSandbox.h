// A sandbox for running the real ZyrelDownloader: its own temporary folder (TMPDIR, so
// the log and the relaunch folders land there), working folder and Wine prefix (WINEPREFIX:
// the uninstall entries in its system.reg, its drives C: and Z:), no desktop, and a fake
// client (tests/helpers/fake_program) that records how it was started. On Linux a stand-in
// for wine, which records what it was asked to run the same way, is the `wine` first on
// PATH, so a run never depends on the machine's Wine (wine_kind changes that).
#pragma once

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef ZYREL_DOWNLOADER_PROGRAM
#error "the tests are told where the program is"
#endif

namespace startup_test {

namespace fs = std::filesystem;

inline std::string join(const std::string& folder, const std::string& name)
{
#if defined(_WIN32)
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

inline bool has_line(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& candidate : lines)
        if (candidate == line)
            return true;
    return false;
}

// The seconds from a log's first line to its last, by their time stamps
// ("2026-01-31 12:34:56.789+01 ..."); across midnight too.
inline double log_seconds(const fs::path& log)
{
    const std::vector<std::string> lines = zyrel_test::lines_of(zyrel_test::read_file(log));
    const auto time_of_day = [](const std::string& line) {
        int hours = 0;
        int minutes = 0;
        double seconds = 0;
        if (line.size() < 23 || std::sscanf(line.c_str() + 11, "%d:%d:%lf", &hours, &minutes, &seconds) != 3)
            return -1.0;
        return hours * 3600.0 + minutes * 60.0 + seconds;
    };
    if (lines.empty())
        return -1;
    const double first = time_of_day(lines.front());
    const double last = time_of_day(lines.back());
    if (first < 0 || last < 0)
        return -1;
    return last >= first ? last - first : last + 86400 - first;
}

// What one start of the fake program recorded.
struct record {
    std::string program;
    std::vector<std::string> arguments;
    std::string cwd;
    std::vector<std::string> descriptors;
    std::string debugger_variable;
    std::string replaced_mark;
    std::string wine_prefix; // as the wine stand-in saw it
};

struct exec_event {
    int pid = 0;
    std::string exe;
    std::vector<std::string> argv;
};

struct parent_run {
    zyrel_test::child_process parent;
    std::string collected;
    parent_run(const fs::path& program, const std::vector<std::string>& arguments, const zyrel_test::child_options& options)
        : parent(program, arguments, options)
    {
    }
    // Everything the parent printed (and, sharing its output, the program started by it).
    const std::string& output()
    {
        collected += parent.read_all();
        return collected;
    }
};

// Which wine a run of the program finds on Linux.
enum class wine_kind {
    on_path,     // the stand-in, as `wine` first on PATH; WINE unset
    by_variable, // another stand-in, named by WINE (the one on PATH stays)
    none,        // neither WINE nor a `wine` on PATH
    machine,     // whatever the machine has: WINE and PATH as the test runs with them
};

class Sandbox {
public:
    explicit Sandbox(const std::string& tmp_name = "tmp")
        : m_tmp(m_root.path() / tmp_name), m_work(m_root.path() / "work"), m_prefix(m_root.path() / "prefix"),
          m_record(m_root.path() / "record.txt")
    {
        fs::create_directories(m_tmp);
        fs::create_directories(m_work);
        fs::create_directories(m_root.path() / "bin");
#if !defined(_WIN32)
        // The drives as wineboot makes them.
        fs::create_directories(m_prefix / "drive_c");
        fs::create_directories(m_prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
        fs::create_directory_symlink("/", m_prefix / "dosdevices" / "z:");
        fs::create_directories(m_root.path() / "tools");
        fs::create_directories(m_root.path() / "no-wine");
        for (const fs::path& wine : {m_root.path() / "bin" / "wine", wine_variable()}) {
            std::ofstream(wine) << "#!/bin/sh\n{ echo begin; echo \"program $0\"; for a in \"$@\"; do echo \"arg $a\"; done;"
                                   " echo \"cwd $(pwd)\"; echo \"env WINEPREFIX=${WINEPREFIX-<unset>}\"; echo end; }"
                                   " >> \"$ZYREL_FAKE_RECORD\"\n";
            fs::permissions(wine, fs::perms::owner_all);
        }
#endif
    }

    const fs::path& root() const { return m_root.path(); }
    const fs::path& tmp() const { return m_tmp; }
    const fs::path& work() const { return m_work; }
    const fs::path& prefix() const { return m_prefix; }
    static fs::path program() { return fs::path(ZYREL_DOWNLOADER_PROGRAM); }
    // The stand-ins for wine: on PATH, and the one that WINE names for wine_kind::by_variable.
    fs::path wine_on_path() const { return m_root.path() / "bin" / "wine"; }
    fs::path wine_variable() const { return m_root.path() / "tools" / "wine-stand-in"; }
    void use_wine(wine_kind kind) { m_wine = kind; }
    void use_prefix(const fs::path& prefix) { m_prefix = prefix; }
    // One more variable ("NAME=value", or "NAME" to remove it) for every run.
    void add_variable(const std::string& variable) { m_extra.push_back(variable); }

    std::vector<std::string> environment() const
    {
        std::vector<std::string> variables = {"TMPDIR=" + m_tmp.string(), "TMP=" + m_tmp.string(),
                                              "WINEPREFIX=" + m_prefix.string(), "ZYREL_UI=none",
                                              "ZYREL_FAKE_RECORD=" + m_record.string()};
#if !defined(_WIN32)
        // No desktop on Linux, so the headless host answers; Wine needs the display for
        // every window of the Windows program.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "ZYREL_REPLACED_INSTANCE"})
            variables.push_back(name);
#endif
#if !defined(_WIN32)
        const std::string path = zyrel_test::variable("PATH", "");
        if (m_wine == wine_kind::on_path || m_wine == wine_kind::by_variable)
            variables.push_back("PATH=" + (m_root.path() / "bin").string() + ":" + path);
        if (m_wine == wine_kind::on_path || m_wine == wine_kind::none)
            variables.push_back("WINE");
        if (m_wine == wine_kind::by_variable)
            variables.push_back("WINE=" + wine_variable().string());
        if (m_wine == wine_kind::none)
            variables.push_back("PATH=" + (m_root.path() / "no-wine").string());
#endif
        variables.insert(variables.end(), m_extra.begin(), m_extra.end());
        return variables;
    }

    // The fake client under `name` in `folder`.
    fs::path place_client(const fs::path& folder, const std::string& name = "ZyrelClient.exe") const
    {
        fs::create_directories(folder);
        const fs::path target = folder / name;
        fs::copy_file(zyrel_test::test_program("fake_program"), target, fs::copy_options::overwrite_existing);
        return target;
    }

    // The uninstall entry of the client with `suffix`, naming the Linux `folder` as Wine
    // names it, on drive Z: with a trailing backslash, as an installer writes it.
    void install(const std::string& suffix, const fs::path& folder)
    {
        std::string windows = "Z:";
        for (char c : folder.string())
            windows += c == '/' ? '\\' : c;
        install_location(suffix, windows + "\\");
    }

    // The uninstall entry of the client with `suffix` in the prefix's system.reg, as Wine
    // keeps it in a 64-bit prefix (the 32-bit view below Wow6432Node), holding `windows`.
    void install_location(const std::string& suffix, const std::string& windows)
    {
        const vxn::wstring wide = zyrel_test::to_wide(windows);
        m_entries[suffix] = std::u16string(reinterpret_cast<const char16_t*>(wide.c_str()), wide.size()) + u'\0';
        const std::string file = zyrel_test::wine_uninstall_hive(m_entries);
        std::ofstream(m_prefix / "system.reg", std::ios::binary) << file;
    }

    // A copy of the program under another name.
    fs::path copy_program(const std::string& name) const
    {
        const fs::path target = m_root.path() / name;
        fs::copy_file(program(), target, fs::copy_options::overwrite_existing);
        return target;
    }

    // A copy of the program carrying another embedded configuration; empty when the
    // configuration cannot be replaced on this system.
    fs::path program_with_configuration(const std::string& text) const
    {
#if defined(_WIN32)
        (void)text;
        return fs::path();
#else
        const fs::path target = copy_program("ZyrelDownloaderConfigured");
        const fs::path ini = m_root.path() / "configuration.ini";
        std::ofstream(ini, std::ios::binary) << text;
        const auto result = zyrel_test::run_child(
            "/bin/sh", {"-c", "objcopy --update-section .zyrel_rcdata_111=\"$0\" \"$1\"", ini.string(), target.string()});
        return result.exit_code == 0 ? target : fs::path();
#endif
    }

    // Runs the program (or another) in the working folder to its end; its exit code.
    int run(const std::vector<std::string>& arguments, const fs::path& which = program()) const
    {
        zyrel_test::child_options options;
        options.environment = environment();
        options.merge_stderr = true;
        const fs::path saved = fs::current_path();
        fs::current_path(m_work);
        auto result = zyrel_test::run_child(which, arguments, options);
        fs::current_path(saved);
        m_last_output = result.output;
        return result.exit_code;
    }

    const std::string& last_output() const { return m_last_output; }

    std::vector<record> records() const
    {
        std::vector<record> out;
        std::istringstream lines(zyrel_test::read_file(m_record));
        std::string line;
        while (std::getline(lines, line)) {
            if (line == "begin") {
                out.emplace_back();
                continue;
            }
            if (out.empty())
                continue;
            record& r = out.back();
            const auto value = [&](const std::string& key) { return line.substr(key.size()); };
            if (line.rfind("program ", 0) == 0)
                r.program = value("program ");
            else if (line.rfind("arg ", 0) == 0)
                r.arguments.push_back(value("arg "));
            else if (line == "arg")
                r.arguments.emplace_back();
            else if (line.rfind("cwd ", 0) == 0)
                r.cwd = value("cwd ");
            else if (line.rfind("fd ", 0) == 0)
                r.descriptors.push_back(value("fd "));
            else if (line.rfind("env VXN_WAIT_FOR_DEBUGGER=", 0) == 0)
                r.debugger_variable = value("env VXN_WAIT_FOR_DEBUGGER=");
            else if (line.rfind("env ZYREL_REPLACED_INSTANCE=", 0) == 0)
                r.replaced_mark = value("env ZYREL_REPLACED_INSTANCE=");
            else if (line.rfind("env WINEPREFIX=", 0) == 0)
                r.wine_prefix = value("env WINEPREFIX=");
        }
        return out;
    }

    // The log's lines as "[LVL] message", without the time stamps.
    std::vector<std::string> log_messages(const fs::path& file = fs::path()) const
    {
        std::vector<std::string> out;
        const fs::path log = file.empty() ? m_tmp / "ZyrelDownloader.log" : file;
        for (const std::string& line : zyrel_test::lines_of(zyrel_test::read_file(log))) {
            const std::size_t level = line.find(" [");
            out.push_back(level == std::string::npos ? line : line.substr(level + 1));
        }
        return out;
    }

    bool wait_for_log_line(const std::string& line, int milliseconds) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < until) {
            if (has_line(log_messages(), line))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    bool wait_for_records(std::size_t count, int milliseconds) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < until) {
            if (records().size() >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::vector<fs::path> relaunch_folders() const
    {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(m_tmp))
            if (entry.path().filename().string().rfind("ZyrelDownloader-", 0) == 0)
                out.push_back(entry.path());
        return out;
    }

    // The fake parent under the name of the client being updated, "ZyrelClient.exe" (or
    // another name): a copy, since the program reads the name of the file the parent runs
    // (a link would resolve).
    fs::path client_parent(const std::string& name = "ZyrelClient.exe") const
    {
        const fs::path target = m_root.path() / "client" / name;
        fs::create_directories(target.parent_path());
        fs::copy_file(zyrel_test::test_program("fake_parent"), target, fs::copy_options::overwrite_existing);
        return target;
    }

    // Starts the fake parent in `mode` (or `parent`, a copy of it), which starts the program
    // with `arguments`.
    std::unique_ptr<parent_run> start_parent(const std::string& mode, const std::vector<std::string>& arguments,
                                             const fs::path& parent = fs::path()) const
    {
        std::vector<std::string> words = {mode, (m_tmp / "ZyrelDownloader.log").string(), program().string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        zyrel_test::child_options options;
        options.environment = environment();
        const fs::path saved = fs::current_path();
        fs::current_path(m_work);
        auto run = std::make_unique<parent_run>(parent.empty() ? zyrel_test::test_program("fake_parent") : parent,
                                                words, options);
        fs::current_path(saved);
        return run;
    }

#if !defined(_WIN32)
    // Lets another user (the survivor scenario) write the log and find its folders.
    void open_to_everyone() const
    {
        for (const fs::path& folder : {m_root.path(), m_tmp, m_work, m_prefix})
            chmod(folder.c_str(), 01777); // sticky, as /tmp: a folder the program trusts as TMPDIR
    }


    // Runs a command found on PATH with the sandbox's environment; its exit code.
    int run_wrapped(const std::vector<std::string>& words) const
    {
        const std::vector<std::string> arguments(words.begin() + 1, words.end());
        zyrel_test::child_options options;
        options.environment = environment();
        options.merge_stderr = true;
        const fs::path saved = fs::current_path();
        fs::current_path(m_work);
        auto result = zyrel_test::run_child("/usr/bin/" + words[0], arguments, options);
        fs::current_path(saved);
        m_last_output = result.output;
        return result.exit_code;
    }

    // Runs the program to its end under ptrace and answers every exec it made: the first
    // start and, when it relaunched, the copy that replaced it.
    std::vector<exec_event> trace_execs(const fs::path& which, const std::vector<std::string>& arguments,
                                        const std::vector<std::string>& extra_environment = {}) const
    {
        std::vector<std::string> variables = environment();
        variables.insert(variables.end(), extra_environment.begin(), extra_environment.end());
        std::vector<std::string> words = {which.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        const pid_t child = fork();
        if (child == 0) {
            for (const std::string& variable : variables) {
                const std::size_t equals = variable.find('=');
                if (equals == std::string::npos)
                    unsetenv(variable.c_str());
                else
                    setenv(variable.substr(0, equals).c_str(), variable.c_str() + equals + 1, 1);
            }
            if (chdir(m_work.c_str()) != 0 || ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
                _exit(125);
            execv(argv[0], argv.data());
            _exit(126);
        }
        std::vector<exec_event> events;
        const auto note = [&] {
            exec_event event;
            event.pid = child;
            std::error_code error;
            event.exe = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", error).string();
            const std::string cmdline = zyrel_test::read_file("/proc/" + std::to_string(child) + "/cmdline");
            std::size_t start = 0;
            for (std::size_t i = 0; i < cmdline.size(); ++i)
                if (cmdline[i] == 0) {
                    event.argv.push_back(cmdline.substr(start, i - start));
                    start = i + 1;
                }
            events.push_back(event);
        };
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(zyrel_test::kChildPatienceMs);
        bool first = true;
        for (;;) {
            int status = 0;
            const pid_t got = waitpid(child, &status, WNOHANG);
            if (got == 0) {
                if (std::chrono::steady_clock::now() > until) {
                    kill(child, SIGKILL);
                    ADD_FAILURE() << "the traced program did not finish";
                    waitpid(child, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (got < 0 || WIFEXITED(status) || WIFSIGNALED(status))
                break;
            if (!WIFSTOPPED(status))
                continue;
            int deliver = 0;
            if (first) {
                // The stop after the first exec.
                first = false;
                note();
                ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL));
            } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXEC << 8))) {
                note();
            } else if (WSTOPSIG(status) != SIGTRAP) {
                deliver = WSTOPSIG(status);
            }
            ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<long>(deliver)));
        }
        return events;
    }
#endif

private:
    zyrel_test::temp_folder m_root;
    fs::path m_tmp;
    fs::path m_work;
    fs::path m_prefix;
    fs::path m_record;
    wine_kind m_wine = wine_kind::on_path;
    std::map<std::string, std::u16string> m_entries;
    std::vector<std::string> m_extra;
    mutable std::string m_last_output;
};

} // namespace startup_test
