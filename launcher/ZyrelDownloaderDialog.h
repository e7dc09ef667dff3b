// The download dialog: the window with the bar and Cancel, the target file, the worker's
// start, and what happens once the worker reports: the failure message, or the signature
// check and the installer's start with the user's options.
//
// The logic runs on the main thread over DownloadDialogPlatform, the operations it needs
// from the system, so that every branch also runs with a fake. Only the two listener
// operations run on the worker thread, and they only post a message.
#pragma once

#include "DownloadFolder.h"
#include "InstallerCommandLine.h"
#include "ZyrelDownloaderThread.h"
#include "ui/UserInterface.h"

#include <vxnstl/string>

#include <cstdint>
#include <cstdio>

// The worker's reports as window messages. Progress: wParam in hundredths of a percent
// (0 to 10000), lParam 0. Completion: wParam 1 for success, 0 for failure; lParam the
// transfer code in the upper 16 bits and the HTTP status in the lower 16.
inline constexpr unsigned WM_DOWNLOAD_PROGRESS = ui::MsgUser + 10;
inline constexpr unsigned WM_DOWNLOAD_COMPLETE = ui::MsgUser + 11;

// The completion's lParam, packed in 32 bits as a Windows LPARAM of the 32-bit program
// holds it; unpacking takes the code with sign extension.
std::intptr_t PackCompletion(int transferCode, int httpCode);
int CompletionTransferCode(std::intptr_t lParam);
int CompletionHttpCode(std::intptr_t lParam);

// Which of the bar's figures SetBar sets: its range (0 to the value) or its position.
enum class BarFigure { Maximum, Position };

// What the dialog asks of the system, and nothing more. Everything but PostToDialog runs on
// the main thread. The settings come through ReadSetting (InstallerCommandLine.h), the
// download folder's levels through CreateFolder (DownloadFolder.h).
class DownloadDialogPlatform : public SettingReader, public DownloadFolderSystem {
public:
    // Opens a file for binary writing, truncating it ("wb"); null on failure.
    virtual std::FILE* OpenForWriting(const vxn::wstring& path) = 0;
    // Starts a worker thread on `job` (which lives as long as the process), with live byte
    // counts under the bar for hosts that show them; false when no thread was made.
    virtual bool StartWorker(ui::Window window, DownloadJob* job) = 0;
    // `detail` says in words why something failed: the box's text stays as it is, and hosts
    // without a window print the detail under it.
    virtual int ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                            const vxn::wstring& detail) = 0;
    // The "open" verb; greater than 32 when the program started.
    virtual std::uintptr_t StartProgram(ui::Window owner, const vxn::wstring& file,
                                        const vxn::wstring& parameters) = 0;
    virtual void SetBar(ui::Window window, BarFigure figure, int value) = 0;
    // Any thread. False when the message was refused.
    virtual bool PostToDialog(ui::Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void EndModal(ui::Window window, std::intptr_t result) = 0;
};

// The real operations: the settings store, the files of the system, the worker thread and
// the user-interface host, and OpenProgram. Stateless; the methods are virtual so that a
// test can replace one or two of them.
class SystemDownloadDialogPlatform : public DownloadDialogPlatform {
public:
    // The process's instance; never destroyed, since a worker may still report through it
    // while the process ends.
    static SystemDownloadDialogPlatform& Instance();

    bool ReadSetting(const vxn::wchar* key, vxn::wstring& value) override;
    void CreateFolder(const vxn::wstring& path) override;
    std::FILE* OpenForWriting(const vxn::wstring& path) override;
    bool StartWorker(ui::Window window, DownloadJob* job) override;
    int ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                    const vxn::wstring& detail) override;
    std::uintptr_t StartProgram(ui::Window owner, const vxn::wstring& file, const vxn::wstring& parameters) override;
    void SetBar(ui::Window window, BarFigure figure, int value) override;
    bool PostToDialog(ui::Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void EndModal(ui::Window window, std::intptr_t result) override;
};

// The dialog controller. One lives for the whole process (the worker may report to it
// after the window is gone), made by the start-up sequence:
//
//     auto* dialog = new ZyrelDownloaderDialog();
//     RunDownloadDialog(*dialog);
class ZyrelDownloaderDialog : public DownloadListener, public ui::DialogHandler {
public:
    ZyrelDownloaderDialog();
    explicit ZyrelDownloaderDialog(DownloadDialogPlatform& platform);
    ~ZyrelDownloaderDialog() override;
    ZyrelDownloaderDialog(const ZyrelDownloaderDialog&) = delete;
    ZyrelDownloaderDialog& operator=(const ZyrelDownloaderDialog&) = delete;

    // The dialog procedure's part: WM_INITDIALOG, WM_COMMAND, the two download messages
    // (TRUE); FALSE for everything else.
    std::intptr_t HandleDialogMessage(ui::Window window, unsigned message, std::uintptr_t wParam,
                                      std::intptr_t lParam) override;

    // Prepares the target file from the settings and starts the worker; false when no
    // worker was started.
    bool BeginDownload();
    // Detaches the worker from the dialog and ends the dialog.
    void Finalize();

    // DownloadListener, on the worker thread.
    void OnDownloadProgress(double percent) override;
    void OnDownloadComplete(bool success, int transferCode, int httpCode) override;

    DownloadDialogPlatform& Platform() { return *m_platform; }

    DownloadJob* job = nullptr;   // made by BeginDownload, never freed (kept for the process)
    ui::Window window = nullptr;  // stored by WM_INITDIALOG, before the worker starts

private:
    void HandleCompletion(bool success, std::intptr_t lParam);
    vxn::wstring Setting(const vxn::wchar* key);

    DownloadDialogPlatform* m_platform;
    // The process-wide list of dialogs that exist (see the constructor).
    ZyrelDownloaderDialog* m_previousLive = nullptr;
    ZyrelDownloaderDialog* m_nextLive = nullptr;
};

// The dialog's template: IDD_DOWNLOAD_UPDATE (103) in self-update mode, IDD_DOWNLOAD (101)
// otherwise.
int DownloadDialogTemplate(SettingReader& settings);

// Runs the dialog modally with its template (DownloadDialogTemplate). Returns when the
// dialog has ended.
void RunDownloadDialog(ZyrelDownloaderDialog& dialog);
