#include "Process.h"

#include "FilesPlatform.h"
#include "Format.h"
#include "ProcessPlatform.h"

namespace VXN {

namespace {

struct window_search {
    std::uint32_t processId = NoProcessId;
    WindowHandle window = 0;
};

// Every match overwrites the last one: the window kept is the last the system lists.
void match_window(void* context, WindowHandle window, std::uint32_t processId)
{
    auto* search = static_cast<window_search*>(context);
    if (processId == search->processId)
        search->window = window;
}

} // namespace

std::uint32_t GetParentProcessId()
{
    const std::uint32_t id = platform::recorded_parent_id();
    if (id == NoProcessId || !platform::parent_still_running(id))
        return NoProcessId;
    return id;
}

bool DescribeFormerParent(std::uint32_t& id, vxn::wstring& programName)
{
    id = platform::recorded_creator_id();
    programName.clear();
    platform::process_handle handle = platform::invalid_process;
    if (id == NoProcessId || !platform::open_process(id, handle))
        return false;
    Path image;
    const bool named = platform::process_image_path(handle, id, image) &&
                       platform::process_program_name(handle, id, image, programName);
    platform::close_process(handle);
    return named;
}

bool SameFileName(const vxn::wstring& a, const vxn::wstring& b)
{
    return platform::same_file_name(a, b);
}

Process::Process() : m_handle(platform::invalid_process), m_id(NoProcessId) {}

Process::~Process()
{
    Release();
}

void Process::Release()
{
    if (m_handle != platform::invalid_process)
        platform::close_process(m_handle);
    m_handle = platform::invalid_process;
    m_id = NoProcessId;
    m_imagePath = Path();
    m_programName.clear();
}

bool Process::IsOpen() const
{
    return m_handle != platform::invalid_process;
}

Result Process::Open(std::uint32_t processId)
{
    Release();

    platform::process_handle handle = platform::invalid_process;
    if (!platform::open_process(processId, handle))
        return Result::Fail("OpenProcess failed: {0}", system_error_text(platform::last_error()));

    // The parent's id names the parent only while the parent lives; once this process
    // holds the process behind the id, the answer can no longer change under it.
    if (processId == platform::recorded_parent_id() && !platform::held_process_is_parent(handle, processId)) {
        platform::close_process(handle);
        return Result::Fail("OpenProcess failed: {0}", "the parent process has exited");
    }

    Path image;
    vxn::wstring program;
    if (!platform::process_image_path(handle, processId, image) ||
        !platform::process_program_name(handle, processId, image, program)) {
        const std::uint32_t error = platform::last_error();
        platform::close_process(handle);
        return Result::Fail("GetModuleFileNameExW failed: {0}", system_error_text(error));
    }

    m_handle = handle;
    m_id = processId;
    m_imagePath = static_cast<Path&&>(image);
    m_programName = static_cast<vxn::wstring&&>(program);
    return Result();
}

Result Process::OpenParent()
{
    const std::uint32_t parent = GetParentProcessId();
    if (parent == NoProcessId) {
        Release();
        return Result::Fail("OpenProcess failed: {0}", "the parent process has exited");
    }
    return Open(parent);
}

Result Process::Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode)
{
    if (!IsOpen())
        return Result::Fail("Process is not running");

    switch (platform::wait_process(m_handle, timeoutMs)) {
    case platform::wait_outcome::ended:
        if (exitCode != nullptr)
            *exitCode = platform::exit_code(m_handle);
        return Result();
    case platform::wait_outcome::timed_out:
        return Result(Result::TimedOut);
    case platform::wait_outcome::failed:
        break;
    }
    return Result::Fail("WaitforSingleObject failed: {0}", system_error_text(platform::last_error()));
}

Result Process::Stop(bool closeWindows)
{
    if (!IsOpen())
        return Result::Missing("Process is not running");

    if (closeWindows)
        return platform::request_close(m_handle, m_id);

    if (!platform::terminate_process(m_handle))
        return Result::Fail("TerminateProcess() failed: {0}", system_error_text(platform::last_error()));
    return Result();
}

Result FindProcessWindow(std::uint32_t processId, WindowHandle* window)
{
    window_search search;
    search.processId = processId;
    if (!platform::enumerate_windows(&match_window, &search))
        return Result::Fail("EnumWindows failed: {0}", system_error_text(platform::last_error()));
    if (search.window == 0)
        return Result(Result::NotFound);
    if (window != nullptr)
        *window = search.window;
    return Result();
}

void WaitForDebugger(bool showDialog)
{
    if (platform::debugger_attached())
        return;

    if (showDialog) {
        Path stem = GetExecutablePath().Stem();
        const vxn::wstring title(VXN_W("Waiting"));
        const vxn::wstring instruction = format(VXN_W("{0}.exe is waiting for a debugger"), stem.WideString());
        const vxn::wstring content(VXN_W("Press cancel to continue without a debugger."));
        if (platform::show_debugger_dialog(title, instruction, content))
            return;
    }

    while (!platform::debugger_attached())
        platform::pause_milliseconds(100);
}

} // namespace VXN
