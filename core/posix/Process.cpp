// Linux half of Process: pidfds for holding, waiting and signalling, /proc for facts, and
// the X11 desktop (loaded at run time) for windows.
#include "FilesPlatform.h"
#include "Format.h"
#include "ProcessPlatform.h"
#include "ReadFile.h"
#include "RuntimeLibrary.h"
#include "SymbolicLink.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif
#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace VXN::platform {

namespace {

// getppid() changes to the adopter's id once the parent dies, so the parent is taken when
// the program starts, and a forked child takes the id of the process that forked it
// (recorded before the fork, so a forker that dies at once is still recognised).
std::atomic<pid_t> g_parent{0};
std::atomic<pid_t> g_forking{0};

void record_forking_process()
{
    g_forking.store(getpid(), std::memory_order_relaxed);
}

void record_parent_in_child()
{
    g_parent.store(g_forking.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

struct parent_recorder {
    parent_recorder()
    {
        g_parent.store(getppid(), std::memory_order_relaxed);
        pthread_atfork(&record_forking_process, nullptr, &record_parent_in_child);
    }
};
const parent_recorder g_recorder;

bool pidfd_signal(process_handle handle, int signal)
{
    return syscall(SYS_pidfd_send_signal, static_cast<int>(handle), signal, nullptr, 0) == 0;
}

bool has_ended(process_handle handle)
{
    pollfd entry = {static_cast<int>(handle), POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

std::uint64_t monotonic_milliseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

// ---- X11, declared here and loaded at run time (RuntimeLibrary.h). The protocol
// constants are fixed by the X11 standard.
using Display = struct _XDisplay;
using XWindow = unsigned long;
using Atom = unsigned long;
using XErrorHandler = int (*)(Display*, void*);
constexpr int kXSuccess = 0;
constexpr Atom kXAtomCardinal = 6;
constexpr Atom kXAtomWindow = 33;

struct x11_library {
    Display* (*OpenDisplay)(const char*) = nullptr;
    int (*CloseDisplay)(Display*) = nullptr;
    XWindow (*DefaultRootWindow)(Display*) = nullptr;
    Atom (*InternAtom)(Display*, const char*, int) = nullptr;
    int (*GetWindowProperty)(Display*, XWindow, Atom, long, long, int, Atom, Atom*, int*, unsigned long*,
                             unsigned long*, unsigned char**) = nullptr;
    int (*QueryTree)(Display*, XWindow, XWindow*, XWindow*, XWindow**, unsigned int*) = nullptr;
    int (*Free)(void*) = nullptr;
    XErrorHandler (*SetErrorHandler)(XErrorHandler) = nullptr;
    bool loaded = false;
};

const x11_library& x11()
{
    static const x11_library library = [] {
        x11_library x;
        const runtime_library xlib("libX11.so.6");
        x.loaded = xlib.bind("XOpenDisplay", x.OpenDisplay) && xlib.bind("XCloseDisplay", x.CloseDisplay) &&
                   xlib.bind("XDefaultRootWindow", x.DefaultRootWindow) && xlib.bind("XInternAtom", x.InternAtom) &&
                   xlib.bind("XGetWindowProperty", x.GetWindowProperty) && xlib.bind("XQueryTree", x.QueryTree) &&
                   xlib.bind("XFree", x.Free) && xlib.bind("XSetErrorHandler", x.SetErrorHandler);
        return x;
    }();
    return library;
}

// A window can vanish between being listed and being asked about; Xlib's default answer
// to that error is to end the process.
int ignore_x_error(Display*, void*)
{
    return 0;
}

// Format-32 properties arrive as an array of C longs, whatever the long's size.
bool read_window_pid(const x11_library& x, Display* display, XWindow window, Atom pidAtom, std::uint32_t& pid)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = x.GetWindowProperty(display, window, pidAtom, 0, 1, 0, kXAtomCardinal, &type, &format,
                                           &count, &remaining, &data);
    const bool found = status == kXSuccess && data != nullptr && type == kXAtomCardinal && format == 32 && count == 1;
    if (found)
        pid = static_cast<std::uint32_t>(reinterpret_cast<unsigned long*>(data)[0]);
    if (data != nullptr)
        x.Free(data);
    return found;
}

// The window manager's list of client windows where there is one; otherwise the root's
// children, which are the top-level windows themselves when nothing reparents them.
bool list_windows(const x11_library& x, Display* display, window_visitor visit, void* context)
{
    const XWindow root = x.DefaultRootWindow(display);
    const Atom pidAtom = x.InternAtom(display, "_NET_WM_PID", 1);
    if (pidAtom == 0)
        return true; // no client has ever set a pid
    const Atom clientListAtom = x.InternAtom(display, "_NET_CLIENT_LIST", 1);

    if (clientListAtom != 0) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        const int status = x.GetWindowProperty(display, root, clientListAtom, 0, LONG_MAX / 4, 0, kXAtomWindow,
                                               &type, &format, &count, &remaining, &data);
        if (status == kXSuccess && data != nullptr && type == kXAtomWindow && format == 32) {
            const auto* windows = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i) {
                std::uint32_t pid = 0;
                if (read_window_pid(x, display, windows[i], pidAtom, pid))
                    visit(context, static_cast<WindowHandle>(windows[i]), pid);
            }
            x.Free(data);
            return true;
        }
        if (data != nullptr)
            x.Free(data);
    }

    XWindow rootReturn = 0;
    XWindow parentReturn = 0;
    XWindow* children = nullptr;
    unsigned int count = 0;
    if (x.QueryTree(display, root, &rootReturn, &parentReturn, &children, &count) == 0) {
        errno = EIO;
        return false;
    }
    for (unsigned int i = 0; i < count; ++i) {
        std::uint32_t pid = 0;
        if (read_window_pid(x, display, children[i], pidAtom, pid))
            visit(context, static_cast<WindowHandle>(children[i]), pid);
    }
    if (children != nullptr)
        x.Free(children);
    return true;
}

// The simple upper-case pairs that Windows' own table holds for the scripts of file names
// people actually use (see SameFileName): each run maps the code units first, first + step,
// ... up to last, by adding delta.
struct upper_case_run {
    char16_t first;
    char16_t last;
    std::int32_t delta;
    std::uint8_t step;
};
constexpr upper_case_run kUpperCase[] = {
    {0x0061, 0x007A, -32, 1},  // Basic Latin
    {0x00E0, 0x00F6, -32, 1},  // Latin-1, without the division sign
    {0x00F8, 0x00FE, -32, 1},  //   and without the sharp s, which has no single capital
    {0x00FF, 0x00FF, 0x0178 - 0x00FF, 1},
    {0x0101, 0x012F, -1, 2},   // Latin Extended-A: capital and small alternate
    {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},
    {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},
    {0x03AC, 0x03AC, 0x0386 - 0x03AC, 1}, // Greek, with its accented vowels
    {0x03AD, 0x03AF, 0x0388 - 0x03AD, 1},
    {0x03B1, 0x03C1, -32, 1},
    {0x03C2, 0x03C2, 0x03A3 - 0x03C2, 1}, // final sigma
    {0x03C3, 0x03CB, -32, 1},
    {0x03CC, 0x03CC, 0x038C - 0x03CC, 1},
    {0x03CD, 0x03CE, 0x038E - 0x03CD, 1},
    {0x0430, 0x044F, -32, 1},  // Cyrillic
    {0x0450, 0x045F, -80, 1},
    {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},
    {0x04CF, 0x04CF, 0x04C0 - 0x04CF, 1},
    {0x04D1, 0x052F, -1, 2},
    {0x0561, 0x0586, -48, 1},  // Armenian
    {0x1E01, 0x1E95, -1, 2},   // Latin Extended Additional
    {0x1EA1, 0x1EFF, -1, 2},
    {0xFF41, 0xFF5A, -32, 1},  // full-width Latin
};

char16_t upper_case(char16_t unit)
{
    for (const upper_case_run& run : kUpperCase) {
        if (unit < run.first || unit > run.last)
            continue;
        if ((unit - run.first) % run.step != 0)
            return unit;
        return static_cast<char16_t>(unit + run.delta);
    }
    return unit;
}

// The loaders that run Windows programs; the program itself is only mapped.
bool is_wine_loader(const std::string& name)
{
    return name == "wine" || name == "wine64" || name == "wine-preloader" || name == "wine64-preloader";
}

std::string after_last_slash(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with_exe(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const char* tail = name.c_str() + name.size() - 4;
    return tail[0] == '.' && (tail[1] | 0x20) == 'e' && (tail[2] | 0x20) == 'x' && (tail[3] | 0x20) == 'e';
}

// A process's memory map: a line for each mapping, and the kernel caps a process at 65530
// mappings.
constexpr vxn::u32 kLongestMemoryMap = 64u << 20;

// The Windows program of a process that Wine runs: the first .exe file, in address order,
// that is mapped from its start (its PE headers), which is the main image Wine loaded. A
// process that only reads such a file maps nothing of it as an image; one that has not
// mapped its program yet has no answer.
bool wine_program(std::uint32_t id, std::string& name)
{
    native_string file;
    file.assign_format("/proc/{0}/maps", id);
    vxn::string bytes;
    if (!ReadWholeFile(file.c_str(), kLongestMemoryMap, bytes).Succeeded())
        return false;
    const std::string maps(bytes.c_str(), bytes.size());
    std::size_t line = 0;
    while (line < maps.size()) {
        std::size_t end = maps.find('\n', line);
        if (end == std::string::npos)
            end = maps.size();
        // address perms offset device inode   path
        std::size_t at = line;
        std::string fields[5];
        for (std::string& field : fields) {
            while (at < end && maps[at] == ' ')
                ++at;
            const std::size_t start = at;
            while (at < end && maps[at] != ' ')
                ++at;
            field = maps.substr(start, at - start);
        }
        while (at < end && maps[at] == ' ')
            ++at;
        const std::string& offset = fields[2];
        if (!offset.empty() && at < end && maps[at] == '/') {
            const std::string mapped = after_last_slash(maps.substr(at, end - at));
            if (offset.find_first_not_of('0') == std::string::npos && ends_with_exe(mapped)) {
                name = mapped;
                return true;
            }
        }
        line = end + 1;
    }
    return false;
}

} // namespace

std::uint32_t recorded_creator_id()
{
    const pid_t parent = g_parent.load(std::memory_order_relaxed);
    return parent > 0 ? static_cast<std::uint32_t>(parent) : NoProcessId;
}

bool same_file_name(const vxn::wstring& a, const vxn::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (vxn::u32 i = 0; i < a.size(); ++i)
        if (upper_case(a[i]) != upper_case(b[i]))
            return false;
    return true;
}

std::uint32_t recorded_parent_id()
{
    // A parent of 1 is init, which adopts orphans: the real parent died before this
    // program started, and init is never the process to wait for, close or kill.
    const pid_t parent = g_parent.load(std::memory_order_relaxed);
    return parent > 1 ? static_cast<std::uint32_t>(parent) : NoProcessId;
}

bool parent_still_running(std::uint32_t id)
{
    return static_cast<std::uint32_t>(getppid()) == id;
}

bool held_process_is_parent(process_handle, std::uint32_t id)
{
    // While the parent lives this process is its child, and nothing else can take the
    // parent's id; so a parent that is still ours now was alive, and was what the pidfd
    // caught, when it was opened a moment ago.
    return parent_still_running(id);
}

bool open_process(std::uint32_t id, process_handle& handle)
{
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) {
        errno = ESRCH;
        return false;
    }
    // The descriptor comes close-on-exec: children started later do not hold it.
    const long fd = syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0);
    if (fd < 0)
        return false;
    handle = static_cast<process_handle>(fd);
    return true;
}

void close_process(process_handle handle)
{
    close(static_cast<int>(handle));
}

bool process_image_path(process_handle handle, std::uint32_t id, Path& out)
{
    native_string link;
    link.assign_format("/proc/{0}/exe", id);
    native_string target;
    if (!read_link(link.c_str(), target))
        return false;
    // /proc/<pid> names whoever has the id now: the answer is the held process's only if
    // that process was still alive after it was read.
    if (has_ended(handle)) {
        errno = ESRCH;
        return false;
    }
    out = Path(target);
    return true;
}

bool process_program_name(process_handle handle, std::uint32_t id, Path& image, vxn::wstring& out)
{
    // The executable's own name: a name is what follows the last slash, as a backslash is
    // an ordinary character in a Linux file name.
    const vxn::string& executable = image.HeldUtf8();
    std::string program = after_last_slash(std::string(executable.c_str(), executable.size()));
    std::string windows;
    if (is_wine_loader(program) && wine_program(id, windows))
        program = windows;
    // As for the image path: the answer is the held process's only if it still lives.
    if (has_ended(handle)) {
        errno = ESRCH;
        return false;
    }
    out.assign_utf8(program.c_str(), static_cast<vxn::u32>(program.size()));
    return true;
}

wait_outcome wait_process(process_handle handle, std::uint32_t timeoutMs)
{
    const bool unlimited = timeoutMs == 0xFFFFFFFFu;
    const std::uint64_t deadline = monotonic_milliseconds() + timeoutMs;
    for (;;) {
        int slice = -1;
        if (!unlimited) {
            const std::uint64_t now = monotonic_milliseconds();
            const std::uint64_t left = deadline > now ? deadline - now : 0;
            slice = left > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
        }
        pollfd entry = {static_cast<int>(handle), POLLIN, 0};
        const int ready = poll(&entry, 1, slice);
        if (ready > 0)
            return wait_outcome::ended;
        if (ready == 0) {
            if (slice == 0 || monotonic_milliseconds() >= deadline)
                return wait_outcome::timed_out;
            continue;
        }
        if (errno != EINTR)
            return wait_outcome::failed;
    }
}

std::uint32_t exit_code(process_handle handle)
{
    // WNOWAIT: the child stays for whoever started it to reap, as a Windows process
    // object outlives its waiters.
    siginfo_t info = {};
    if (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(handle), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid == 0)
        return Process::ExitCodeUnknown;
    if (info.si_code == CLD_EXITED)
        return static_cast<std::uint32_t>(info.si_status);
    return 128u + static_cast<std::uint32_t>(info.si_status);
}

Result request_close(process_handle handle, std::uint32_t)
{
    if (pidfd_signal(handle, SIGTERM))
        return Result();
    if (errno == ESRCH)
        return Result::Missing("Process is not running");
    return Result::Fail("pidfd_send_signal(SIGTERM) failed: {0}", system_error_text(last_error()));
}

bool terminate_process(process_handle handle)
{
    return pidfd_signal(handle, SIGKILL);
}

bool enumerate_windows(window_visitor visit, void* context)
{
    const x11_library& x = x11();
    if (!x.loaded)
        return true;
    Display* display = x.OpenDisplay(nullptr);
    if (display == nullptr)
        return true;
    const XErrorHandler previous = x.SetErrorHandler(&ignore_x_error);
    const bool listed = list_windows(x, display, visit, context);
    const int error = errno;
    x.CloseDisplay(display);
    x.SetErrorHandler(previous);
    errno = error;
    return listed;
}

bool debugger_attached()
{
    // A status record is a few kilobytes; its Groups line alone can grow to some hundred.
    constexpr vxn::u32 kLongestStatus = 1u << 20;
    vxn::string status;
    if (!ReadWholeFile("/proc/self/status", kLongestStatus, status).Succeeded())
        return false;
    const char* text = status.c_str();
    const vxn::u32 length = status.size();

    static constexpr char kField[] = "\nTracerPid:";
    for (vxn::u32 i = 0; i + sizeof(kField) - 1 <= length; ++i) {
        if (std::memcmp(text + i, kField, sizeof(kField) - 1) != 0)
            continue;
        const char* value = text + i + sizeof(kField) - 1;
        while (*value == ' ' || *value == '\t')
            ++value;
        return *value >= '1' && *value <= '9';
    }
    return false;
}

void pause_milliseconds(std::uint32_t milliseconds)
{
    timespec wanted = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
    }
}

} // namespace VXN::platform
