// Real child processes for the tests: a program started with arguments and environment,
// its output read line by line as it comes (or all of it at the end), input written to it,
// and its end waited for. Every wait has a limit, so a child that hangs fails the test
// instead of stopping the run.
//
// On Linux a child gets its argument vector exactly; on Windows it gets a command line
// text, which is what GetCommandLineW answers in the child: either the arguments joined
// with blanks as they are, or, for tests of quoting, a whole command line given as is.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zyrel_test {

// How long a child may take to print a line or to end before the test gives up on it.
constexpr int kChildPatienceMs = 60000;

struct child_options {
    // "NAME=value" sets a variable for the child, a bare "NAME" removes it (in this process
    // while the child starts, which it inherits: not while other threads read variables).
    std::vector<std::string> environment = {};
    // Whether stderr goes into the output too; otherwise the child writes to the test's.
    bool merge_stderr = false;
#if defined(_WIN32)
    // When set: the child's whole command line, program name included.
    std::wstring command_line = {};
#else
    int stdin_fd = -1; // the child's input, instead of a pipe the test writes to
#endif
};

class child_process {
public:
    child_process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const child_options& options = {});
    // A child still running is killed.
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    std::uint32_t id() const { return m_id; }
    // The next line of output without its line end; the rest (often empty) at the end of
    // the output.
    std::string read_line();
    // Everything the child writes until its output ends.
    std::string read_all();
    // Whether any output (or the end of it) arrives within the time given.
    bool output_within(int milliseconds);
    void write_line(const std::string& line);
    // The child reads the end of its input.
    void close_input();
    // Closes the input, waits for the end and answers the exit code (Linux: 128 + N for
    // death by signal N).
    int finish();
    // For a child that a tracer has already waited for.
    void mark_reaped() { m_running = false; }

private:
    enum class fill_result { data, end, timeout };
    fill_result fill(int milliseconds);
    // Waits for the exit code; false when the child had to be ended after kChildPatienceMs.
    bool wait_for_end(int& code);

    std::uint32_t m_id = 0;
    bool m_running = false;
    std::string m_buffer;
#if defined(_WIN32)
    void* m_process = nullptr; // HANDLEs
    void* m_output = nullptr;
    void* m_input = nullptr;
#else
    int m_output = -1;
    int m_input = -1;
#endif
};

struct child_result {
    int exit_code = -1;
    std::string output;
};

// Runs a program to its end with its input closed.
child_result run_child(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                       const child_options& options = {});

// The lines of a child's output (LF or CR LF ends; a last line without an end counts).
std::vector<std::string> lines_of(const std::string& output);

} // namespace zyrel_test
