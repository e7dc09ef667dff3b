// Linux half of Process: pidfds for holding, waiting and signalling, /proc for facts, and
// the X11 desktop (loaded at run time) for windows.
#include "FilesPlatform.h"
#include "Format.h"
#include "ProcessPlatform.h"
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

} // namespace

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
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[4096];
    vxn::u32 length = 0;
    for (;;) {
        const ssize_t got = read(fd, text + length, sizeof(text) - 1 - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += static_cast<vxn::u32>(got);
        if (length == sizeof(text) - 1)
            break;
    }
    close(fd);
    text[length] = 0;

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
