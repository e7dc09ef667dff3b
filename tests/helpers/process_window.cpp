// A child that owns top-level windows, for the window search and the polite close.
//
//   process_window N     creates N windows, prints "window <id>" for each in creation
//                        order, then "ready". Windows: a WM_CLOSE prints "closed <id>" and
//                        ends the program with code 7; before "ready" it prints "listed <id>
//                        <class>" for every window the system lists for the process, in the
//                        system's order. Linux (X11, from $DISPLAY): each window
//                        carries _NET_WM_PID; the program then waits to be ended.
// Without a display it prints "nowindow" and exits with code 5.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        std::printf("closed %llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
        std::fflush(stdout);
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL CALLBACK list_own_window(HWND window, LPARAM)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) {
        wchar_t className[128] = {};
        GetClassNameW(window, className, 128);
        std::printf("listed %llu %ls\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)),
                    className);
    }
    return TRUE;
}

int run(int count)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &window_procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZyrelProcessWindowTest";
    RegisterClassW(&windowClass);
    for (int i = 0; i < count; ++i) {
        const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"process_window", WS_OVERLAPPEDWINDOW,
                                            0, 0, 100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (window == nullptr) {
            std::printf("nowindow\n");
            return 5;
        }
        std::printf("window %llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    }
    // What the system lists for this process, in its order, with each window's class.
    EnumWindows(&list_own_window, 0);
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

#else

// Just enough of Xlib, loaded at run time like the library under test does.
using Display = struct _XDisplay;
using XWindow = unsigned long;
using Atom = unsigned long;
constexpr Atom kXAtomCardinal = 6;
constexpr int kPropModeReplace = 0;

int run(int count)
{
    void* library = dlopen("libX11.so.6", RTLD_NOW);
    if (library == nullptr) {
        std::printf("nowindow\n");
        return 5;
    }
    auto openDisplay = reinterpret_cast<Display* (*)(const char*)>(dlsym(library, "XOpenDisplay"));
    auto rootWindow = reinterpret_cast<XWindow (*)(Display*)>(dlsym(library, "XDefaultRootWindow"));
    auto createWindow = reinterpret_cast<XWindow (*)(Display*, XWindow, int, int, unsigned, unsigned, unsigned,
                                                     unsigned long, unsigned long)>(dlsym(library, "XCreateSimpleWindow"));
    auto internAtom = reinterpret_cast<Atom (*)(Display*, const char*, int)>(dlsym(library, "XInternAtom"));
    auto changeProperty = reinterpret_cast<int (*)(Display*, XWindow, Atom, Atom, int, int, const unsigned char*, int)>(
        dlsym(library, "XChangeProperty"));
    auto mapWindow = reinterpret_cast<int (*)(Display*, XWindow)>(dlsym(library, "XMapWindow"));
    auto sync = reinterpret_cast<int (*)(Display*, int)>(dlsym(library, "XSync"));

    Display* display = openDisplay(nullptr);
    if (display == nullptr) {
        std::printf("nowindow\n");
        return 5;
    }
    const Atom pidAtom = internAtom(display, "_NET_WM_PID", 0);
    const long pid = static_cast<long>(getpid());
    for (int i = 0; i < count; ++i) {
        const XWindow window = createWindow(display, rootWindow(display), 0, 0, 100, 100, 0, 0, 0);
        changeProperty(display, window, pidAtom, kXAtomCardinal, 32, kPropModeReplace,
                       reinterpret_cast<const unsigned char*>(&pid), 1);
        mapWindow(display, window);
        std::printf("window %lu\n", window);
    }
    sync(display, 0);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

#endif

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1;
    return run(count < 1 ? 1 : count);
}
