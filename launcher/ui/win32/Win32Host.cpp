// The Windows host: the resource templates as a modal dialog box, the progress bar of the
// common controls, MessageBoxW.
#include "ui/UserInterface.h"

#include "ui/TransferFigures.h"

#include "resource.h"

#include <windows.h>

#include <commctrl.h>

namespace ui {
namespace {

// The creation parameter (the handler) travels in the window's user data from
// WM_INITDIALOG on; messages before it (WM_SETFONT) go to the dialog manager.
INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
#if defined(_WIN64)
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    auto* handler = reinterpret_cast<DialogHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
#else
    if (message == WM_INITDIALOG)
        SetWindowLongW(window, GWL_USERDATA, static_cast<LONG>(lParam));
    auto* handler = reinterpret_cast<DialogHandler*>(static_cast<LONG_PTR>(GetWindowLongW(window, GWL_USERDATA)));
#endif
    if (handler == nullptr)
        return FALSE;
    return handler->HandleDialogMessage(window, message, wParam, lParam);
}

// The progress class must be registered before a template names it; the manifest makes it
// version 6 of the library.
void RegisterProgressClass()
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_PROGRESS_CLASS;
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

} // namespace

Host ActiveHost()
{
    return Host::Win32;
}

std::intptr_t RunModalDialog(int templateId, DialogHandler* handler)
{
    RegisterProgressClass();
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr, &DialogProcedure,
                           reinterpret_cast<LPARAM>(handler));
}

void EndModalDialog(Window window, std::intptr_t result)
{
    EndDialog(static_cast<HWND>(window), result);
}

void SetProgressRange(Window window, int low, int high)
{
    SendDlgItemMessageW(static_cast<HWND>(window), IDC_DOWNLOAD_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void SetProgressPosition(Window window, int position)
{
    SendDlgItemMessageW(static_cast<HWND>(window), IDC_DOWNLOAD_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressPosition(Window window)
{
    return static_cast<int>(SendDlgItemMessageW(static_cast<HWND>(window), IDC_DOWNLOAD_PROGRESS, PBM_GETPOS, 0, 0));
}

vxn::wstring WindowTitle(Window window)
{
    wchar_t title[256] = {};
    const int length = GetWindowTextW(static_cast<HWND>(window), title, 256);
    return vxn::wstring(title, static_cast<vxn::u32>(length > 0 ? length : 0));
}

vxn::wstring ProgressDetails(Window window)
{
    wchar_t text[256] = {};
    const UINT length = GetDlgItemTextW(static_cast<HWND>(window), IDC_DOWNLOAD_DETAILS, text, 256);
    return vxn::wstring(text, static_cast<vxn::u32>(length));
}

bool PostDialogMessage(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    return PostMessageW(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

namespace {

// The counters the line under the bar shows; one download window at a time, and only its
// thread (the timer's) reads these.
struct TransferLine {
    HWND window = nullptr;
    const std::atomic<std::uint64_t>* received = nullptr;
    const std::atomic<std::uint64_t>* total = nullptr;
    DWORD opened = 0;
};
TransferLine transferLine;

// A few times a second: the figures move even while the bar cannot (no total yet).
constexpr UINT_PTR kTransferTimer = 0x5A59;
constexpr UINT kRefreshMilliseconds = 250;

void RefreshTransferLine(HWND window)
{
    if (window != transferLine.window || transferLine.received == nullptr)
        return;
    const double seconds = static_cast<double>(GetTickCount() - transferLine.opened) / 1000.0;
    const std::uint64_t total = transferLine.total != nullptr ? transferLine.total->load() : 0;
    const vxn::wstring line = TransferFiguresText(transferLine.received->load(), total, seconds);
    SetDlgItemTextW(window, IDC_DOWNLOAD_DETAILS, line.c_str());
}

void CALLBACK OnTransferTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    RefreshTransferLine(window);
}

} // namespace

// The timer belongs to the window and ends with it; the handler's own messages are untouched.
void AttachTransferCounters(Window window, const std::atomic<std::uint64_t>* received,
                            const std::atomic<std::uint64_t>* total)
{
    HWND dialog = static_cast<HWND>(window);
    transferLine = {dialog, received, total, GetTickCount()};
    RefreshTransferLine(dialog);
    SetTimer(dialog, kTransferTimer, kRefreshMilliseconds, &OnTransferTimer);
}

int ShowMessageBox(Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                   const vxn::wstring&)
{
    return MessageBoxW(static_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

} // namespace ui
