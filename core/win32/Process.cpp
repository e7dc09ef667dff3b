// Windows half of Process.
#include "SystemLibrary.h"
#include "FilesPlatform.h"
#include "ProcessPlatform.h"

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <utility>

namespace VXN::platform {

namespace {

// SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE
constexpr DWORD kProcessAccess = 0x00100411;
constexpr DWORD kFirstImageBuffer = 261;
constexpr DWORD kLongestPath = 32768;

// PROCESS_BASIC_INFORMATION: six pointer-sized fields (24 bytes in the 32-bit program).
struct basic_information {
    ULONG_PTR exitStatus;
    ULONG_PTR environmentBlock;
    ULONG_PTR affinityMask;
    ULONG_PTR basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentProcessId;
};
using query_information_fn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

using task_dialog_fn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

HANDLE as_handle(process_handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::uint64_t creation_time(HANDLE process, bool& known)
{
    FILETIME created = {};
    FILETIME exited = {};
    FILETIME kernel = {};
    FILETIME user = {};
    known = GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A process created after this one cannot have created it: its id was reused.
bool created_before_us(HANDLE candidate)
{
    bool knownCandidate = false;
    bool knownSelf = false;
    const std::uint64_t candidateTime = creation_time(candidate, knownCandidate);
    const std::uint64_t ownTime = creation_time(GetCurrentProcess(), knownSelf);
    if (!knownCandidate || !knownSelf)
        return true; // cannot tell: the id stands, as the system reported it
    return candidateTime <= ownTime;
}

// Every thread with a window also owns the system's input-method windows, which the
// enumeration lists too, typically last. They are not the application's: a close request
// sent there never reaches it.
bool is_input_method_window(HWND window)
{
    wchar_t className[16] = {};
    const int length = GetClassNameW(window, className, 16);
    return (length == 3 && lstrcmpW(className, L"IME") == 0) || (length == 11 && lstrcmpW(className, L"MSCTFIME UI") == 0);
}

BOOL CALLBACK visit_window(HWND window, LPARAM parameter)
{
    if (is_input_method_window(window))
        return TRUE;
    const auto* visitor = reinterpret_cast<const std::pair<window_visitor, void*>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    visitor->first(visitor->second, reinterpret_cast<WindowHandle>(window), owner);
    return TRUE;
}

HRESULT CALLBACK on_dialog_notification(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR)
{
    if (notification == TDN_BUTTON_CLICKED)
        return S_OK;
    if (notification == TDN_TIMER && IsDebuggerPresent()) {
        SendMessageW(dialog, TDM_CLICK_BUTTON, IDCANCEL, 0);
        return S_OK;
    }
    return S_FALSE;
}

} // namespace

std::uint32_t recorded_parent_id()
{
    // Every process has ntdll mapped; asking for it by handle leaves no reference behind.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return NoProcessId;
    const auto query =
        reinterpret_cast<query_information_fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    if (query == nullptr)
        return NoProcessId;
    basic_information information = {};
    ULONG written = 0;
    const LONG status = query(GetCurrentProcess(), 0, &information, sizeof(information), &written);
    if (status < 0 || written != sizeof(information))
        return NoProcessId;
    return static_cast<std::uint32_t>(information.parentProcessId);
}

std::uint32_t recorded_creator_id()
{
    return recorded_parent_id();
}

bool same_file_name(const vxn::wstring& a, const vxn::wstring& b)
{
    // The ordinal comparison that ignores case is the one the file system makes: the
    // system's upper-case table, one code unit at a time, no linguistic rules.
    if (a.size() != b.size())
        return false;
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool held_process_is_parent(process_handle handle, std::uint32_t)
{
    // An ended parent is gone, even while someone's handle keeps its record (and id) alive.
    return created_before_us(as_handle(handle)) && WaitForSingleObject(as_handle(handle), 0) == WAIT_TIMEOUT;
}

bool parent_still_running(std::uint32_t id)
{
    const HANDLE parent = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
    if (parent == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER; // that error: no process has the id
    const bool ours = held_process_is_parent(reinterpret_cast<process_handle>(parent), id);
    CloseHandle(parent);
    return ours;
}

bool open_process(std::uint32_t id, process_handle& handle)
{
    const HANDLE process = OpenProcess(kProcessAccess, FALSE, id);
    if (process == nullptr)
        return false;
    handle = reinterpret_cast<process_handle>(process);
    return true;
}

void close_process(process_handle handle)
{
    CloseHandle(as_handle(handle));
}

bool process_image_path(process_handle handle, std::uint32_t, Path& out)
{
    // A name that does not fit is cut to the buffer; a buffer left with room proves it
    // whole.
    for (DWORD capacity = kFirstImageBuffer;; capacity *= 2) {
        native_string buffer;
        buffer.resize(capacity, 0);
        const DWORD length = GetModuleFileNameExW(as_handle(handle), nullptr, buffer.data(), capacity);
        if (length == 0)
            return false;
        if (length + 1 < capacity) {
            out = Path(buffer.substr(0, length));
            return true;
        }
        if (capacity >= kLongestPath) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
    }
}

bool process_program_name(process_handle, std::uint32_t, Path& image, vxn::wstring& out)
{
    // Read through the handle, the name cannot belong to anyone else.
    const vxn::wstring& path = image.HeldWide();
    vxn::u32 start = path.size();
    while (start > 0 && path[start - 1] != L'\\' && path[start - 1] != L'/')
        --start;
    out = path.substr(start);
    return true;
}

wait_outcome wait_process(process_handle handle, std::uint32_t timeoutMs)
{
    switch (WaitForSingleObjectEx(as_handle(handle), timeoutMs, TRUE)) {
    case WAIT_OBJECT_0:
        return wait_outcome::ended;
    case WAIT_TIMEOUT:
        return wait_outcome::timed_out;
    default:
        return wait_outcome::failed;
    }
}

std::uint32_t exit_code(process_handle handle)
{
    DWORD code = Process::ExitCodeUnknown;
    GetExitCodeProcess(as_handle(handle), &code);
    return code;
}

Result request_close(process_handle, std::uint32_t id)
{
    WindowHandle window = 0;
    Result found = FindProcessWindow(id, &window);
    if (found.status != Result::Success)
        return found;
    if (!PostMessageW(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0))
        return Result::Fail("PostMessageW failed: {0}", system_error_text(GetLastError()));
    return Result();
}

bool terminate_process(process_handle handle)
{
    return TerminateProcess(as_handle(handle), 0) != 0;
}

bool enumerate_windows(window_visitor visit, void* context)
{
    std::pair<window_visitor, void*> visitor(visit, context);
    return EnumWindows(&visit_window, reinterpret_cast<LPARAM>(&visitor)) != 0;
}

bool debugger_attached()
{
    return IsDebuggerPresent() != 0;
}

void pause_milliseconds(std::uint32_t milliseconds)
{
    Sleep(milliseconds);
}

bool show_debugger_dialog(const vxn::wstring& title, const vxn::wstring& instruction, const vxn::wstring& content)
{
    HMODULE comctl = load_system_library(L"comctl32.dll");
    if (comctl == nullptr)
        return false;
    const auto show =
        reinterpret_cast<task_dialog_fn>(reinterpret_cast<void*>(GetProcAddress(comctl, "TaskDialogIndirect")));
    if (show == nullptr) {
        FreeLibrary(comctl);
        return false;
    }

    TASKDIALOGCONFIG config = {};
    config.cbSize = sizeof(config);
    config.hwndParent = nullptr;
    config.hInstance = GetModuleHandleW(nullptr);
    // No main icon is given, so none is shown; the timer drives the debugger check.
    config.dwFlags = TDF_USE_HICON_MAIN | TDF_ALLOW_DIALOG_CANCELLATION | TDF_CALLBACK_TIMER;
    config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = title.c_str();
    config.pszMainInstruction = instruction.c_str();
    config.pszContent = content.c_str();
    config.nDefaultButton = IDCANCEL;
    config.pfCallback = &on_dialog_notification;
    show(&config, nullptr, nullptr, nullptr);

    FreeLibrary(comctl);
    return true;
}

} // namespace VXN::platform
