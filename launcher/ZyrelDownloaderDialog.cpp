// The download dialog's logic, and the real platform under it.
#include "ZyrelDownloaderDialog.h"

#include "DownloadFiles.h"
#include "DownloadFolder.h"
#include "InstallerCommandLine.h"
#include "InstallerFileName.h"
#include "LocalizedStrings.h"
#include "ProgramStart.h"
#include "Settings.h"
#include "SignatureCheck.h"

#include "Format.h"
#include "Log.h"
#include "Path.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

constexpr const char* kSource = "ZyrelDownloaderDialog";
constexpr std::intptr_t kTrue = 1;
constexpr std::intptr_t kFalse = 0;
constexpr int kBarMaximum = 10000; // hundredths of a percent

// The address up to its first "?": the query is never fetched.
vxn::wstring WithoutQuery(const vxn::wstring& url)
{
    for (vxn::u32 i = 0; i < url.size(); ++i)
        if (url[i] == '?')
            return url.substr(0, i);
    return url;
}

// The dialog and its job are never freed: the worker may still use them after the window
// is gone, until the process ends. Both stay on process-wide lists, so that a leak checker
// at exit sees them held, as they are meant to be, rather than lost.
struct KeptJob {
    DownloadJob job;
    KeptJob* next = nullptr;
};
std::atomic<KeptJob*> keptJobs{nullptr};

// A new, empty job that lives as long as the process.
DownloadJob* NewKeptJob()
{
    auto* kept = new KeptJob();
    kept->next = keptJobs.load(std::memory_order_relaxed);
    while (!keptJobs.compare_exchange_weak(kept->next, kept, std::memory_order_release, std::memory_order_relaxed)) {
    }
    return &kept->job;
}

std::mutex& LiveDialogsLock()
{
    static std::mutex* lock = new std::mutex(); // used until the very end
    return *lock;
}
ZyrelDownloaderDialog* liveDialogs = nullptr;

} // namespace

// ---- the messages' packing --------------------------------------------------------------

std::intptr_t PackCompletion(int transferCode, int httpCode)
{
    const std::uint32_t packed =
        (static_cast<std::uint32_t>(transferCode) << 16) | (static_cast<std::uint32_t>(httpCode) & 0xFFFFu);
    return static_cast<std::intptr_t>(static_cast<std::int32_t>(packed));
}

int CompletionTransferCode(std::intptr_t lParam)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam)) >> 16;
}

int CompletionHttpCode(std::intptr_t lParam)
{
    return static_cast<int>(static_cast<std::uint32_t>(lParam) & 0xFFFFu);
}

// ---- the dialog -------------------------------------------------------------------------

ZyrelDownloaderDialog::ZyrelDownloaderDialog() : ZyrelDownloaderDialog(SystemDownloadDialogPlatform::Instance()) {}

ZyrelDownloaderDialog::ZyrelDownloaderDialog(DownloadDialogPlatform& platform) : m_platform(&platform)
{
    std::lock_guard<std::mutex> held(LiveDialogsLock());
    m_nextLive = liveDialogs;
    if (m_nextLive != nullptr)
        m_nextLive->m_previousLive = this;
    liveDialogs = this;
}

ZyrelDownloaderDialog::~ZyrelDownloaderDialog()
{
    std::lock_guard<std::mutex> held(LiveDialogsLock());
    if (m_previousLive != nullptr)
        m_previousLive->m_nextLive = m_nextLive;
    else
        liveDialogs = m_nextLive;
    if (m_nextLive != nullptr)
        m_nextLive->m_previousLive = m_previousLive;
}

vxn::wstring ZyrelDownloaderDialog::Setting(const vxn::wchar* key)
{
    vxn::wstring value;
    m_platform->ReadSetting(key, value);
    return value;
}

std::intptr_t ZyrelDownloaderDialog::HandleDialogMessage(ui::Window dialogWindow, unsigned message,
                                                         std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case ui::MsgInitDialog:
        window = dialogWindow;
        VXN_LOG(kSource, VXN::LogLevel::Info, "Dialog initialized");
        if (!BeginDownload()) {
            VXN_LOG(kSource, VXN::LogLevel::Error, "BeginDownload() failed");
            Finalize();
        }
        m_platform->SetBar(window, BarFigure::Maximum, kBarMaximum);
        return kTrue;
    case ui::MsgCommand:
        if ((wParam & 0xFFFFu) == static_cast<std::uintptr_t>(ui::IdCancel)) {
            const vxn::wstring question = LoadLocalizedString(IDS_CANCEL_DOWNLOAD);
            if (m_platform->ShowMessage(window, question, question, ui::StyleYesNo, vxn::wstring()) == ui::IdYes)
                Finalize();
        }
        return kTrue;
    case WM_DOWNLOAD_PROGRESS:
        VXN_LOG(kSource, VXN::LogLevel::Debug, "Progress: {0}%%", static_cast<std::int32_t>(wParam / 100));
        m_platform->SetBar(window, BarFigure::Position, static_cast<int>(wParam));
        return kTrue;
    case WM_DOWNLOAD_COMPLETE:
        HandleCompletion(wParam != 0, lParam);
        return kTrue;
    default:
        return kFalse;
    }
}

bool ZyrelDownloaderDialog::BeginDownload()
{
    VXN_LOG(kSource, VXN::LogLevel::Info, "Starting download thread");
    const vxn::wstring url = WithoutQuery(Setting(Settings::Key::DownloadUrl));
    if (url.empty())
        return false;
    vxn::wstring name = LastUrlSegment(url);
    if (!IsUsableFileName(name)) {
        VXN_LOG(kSource, VXN::LogLevel::Info, "The address ends in \"{0}\", which cannot be a file name; saving as {1}",
                name, FallbackInstallerName);
        name = FallbackInstallerName;
    }
    const vxn::wstring proxy = Setting(Settings::Key::Proxy);
    const vxn::wstring proxyBypass = Setting(Settings::Key::ProxyBypass);
    const vxn::wstring folder = PrepareDownloadFolder(Setting(Settings::Key::TempDir), *m_platform);

    const vxn::wstring target = VXN::JoinPath(folder, name);
    std::FILE* file = folder.empty() ? nullptr : m_platform->OpenForWriting(target);
    if (file == nullptr) {
        m_platform->ShowMessage(window, LoadLocalizedString(IDS_NO_PERMISSION), LoadLocalizedString(IDS_DOWNLOAD_FAILED),
                                ui::StyleIconError, vxn::wstring());
        VXN_LOG(kSource, VXN::LogLevel::Info, "Failed to open {0}", target);
        return false;
    }

    job = NewKeptJob();
    job->url = url;
    job->proxy = proxy;
    job->proxyBypass = proxyBypass;
    job->listener.store(this, std::memory_order_release);
    job->targetPath = target;
    job->file = file;
    // A thread that cannot be made leaves the dialog waiting for the user's Cancel.
    m_platform->StartWorker(window, job);
    return true;
}

void ZyrelDownloaderDialog::HandleCompletion(bool success, std::intptr_t lParam)
{
    VXN_LOG(kSource, VXN::LogLevel::Info, "Download thread reports completion");
    std::int32_t transferCode = CompletionTransferCode(lParam);
    std::int32_t httpCode = CompletionHttpCode(lParam);
    // The worker wrote its words before it posted this message.
    vxn::wstring failure;
    if (job != nullptr)
        failure.assign_utf8(job->failureText.c_str(), job->failureText.size());
    // The worker wrote its last byte before it posted this message. A file that cannot be
    // closed (a network share or a quota that reports only now) was not written whole: it
    // is a failed write, and never reaches the signature question.
    if (job != nullptr && job->file != nullptr) {
        const bool closed = std::fclose(job->file) == 0;
        job->file = nullptr;
        if (!closed && success) {
            VXN_LOG(kSource, VXN::LogLevel::Error, "The downloaded file could not be closed");
            success = false;
            transferCode = 23; // CURLE_WRITE_ERROR
            httpCode = 0;
            failure = VXN_W("Closing the downloaded file failed");
        }
    }
    const vxn::wstring target = job != nullptr ? job->targetPath : vxn::wstring();

    if (!success) {
        const vxn::wstring caption = LoadLocalizedString(IDS_DOWNLOAD_FAILED);
        vxn::wstring text = caption;
        text.append(VXN::format(VXN_W(" Code #%d HTTP #%d"), transferCode, httpCode));
        m_platform->ShowMessage(window, text, caption, ui::StyleIconError, failure);
        VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", text);
        Finalize();
        return;
    }

    VXN_LOG(kSource, VXN::LogLevel::Info, "Verifying signature");
    const auto ask = [this](const vxn::wstring& text, const vxn::wstring& caption, unsigned style) {
        return m_platform->ShowMessage(window, text, caption, style, vxn::wstring());
    };
    if (!VerifyInstallerSignature(target, ask)) {
        VXN_LOG(kSource, VXN::LogLevel::Info, "Verifing signature failed");
        Finalize();
        return;
    }
    const vxn::wstring arguments = InstallerArguments(*m_platform);
    VXN_LOG(kSource, VXN::LogLevel::Info, "Launching {0} {1}", target, arguments);
    if (!ProgramStarted(m_platform->StartProgram(window, target, arguments))) {
        m_platform->ShowMessage(window, LoadLocalizedString(IDS_LAUNCH_FAILED), LoadLocalizedString(IDS_UPDATE_FAILED),
                                ui::StyleIconError, vxn::wstring());
    }
    Finalize();
}

void ZyrelDownloaderDialog::Finalize()
{
    if (job != nullptr)
        job->listener.store(nullptr, std::memory_order_release);
    VXN_LOG(kSource, VXN::LogLevel::Info, "Dialog finalizing");
    m_platform->EndModal(window, 0);
}

void ZyrelDownloaderDialog::OnDownloadProgress(double percent)
{
    // Hundredths of a percent, truncated; anything outside 0..100 is held at its ends.
    std::uintptr_t hundredths = 0;
    if (percent >= 100.0)
        hundredths = kBarMaximum;
    else if (percent > 0.0)
        hundredths = static_cast<std::uintptr_t>(percent * 100.0);
    m_platform->PostToDialog(window, WM_DOWNLOAD_PROGRESS, hundredths, 0);
}

void ZyrelDownloaderDialog::OnDownloadComplete(bool success, int transferCode, int httpCode)
{
    const std::intptr_t lParam = PackCompletion(transferCode, httpCode);
    // A full queue is waited out; a dialog that has ended (the listener is cleared) will
    // never take the message, and its worker stops asking.
    while (!m_platform->PostToDialog(window, WM_DOWNLOAD_COMPLETE, success ? 1 : 0, lParam)) {
        if (job == nullptr || job->listener.load(std::memory_order_acquire) != this)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int DownloadDialogTemplate(SettingReader& settings)
{
    vxn::wstring value;
    return settings.ReadSetting(Settings::Key::SelfUpdate, value) ? IDD_DOWNLOAD_UPDATE : IDD_DOWNLOAD;
}

void RunDownloadDialog(ZyrelDownloaderDialog& dialog)
{
    // The dialog's result (always 0) means nothing.
    ui::RunModalDialog(DownloadDialogTemplate(dialog.Platform()), &dialog);
}

// ---- the real platform ------------------------------------------------------------------

SystemDownloadDialogPlatform& SystemDownloadDialogPlatform::Instance()
{
    static SystemDownloadDialogPlatform* instance = new SystemDownloadDialogPlatform();
    return *instance;
}

bool SystemDownloadDialogPlatform::ReadSetting(const vxn::wchar* key, vxn::wstring& value)
{
    const vxn::wstring name(key);
    value = Settings::Get(name, vxn::wstring());
    return Settings::Has(name);
}

void SystemDownloadDialogPlatform::CreateFolder(const vxn::wstring& path)
{
    MakeDownloadFolder(path);
}

std::FILE* SystemDownloadDialogPlatform::OpenForWriting(const vxn::wstring& path)
{
    return OpenDownloadFile(path);
}

bool SystemDownloadDialogPlatform::StartWorker(ui::Window window, DownloadJob* job)
{
    ui::AttachTransferCounters(window, &job->bytesReceived, &job->bytesTotal);
    return StartDownloadThread(job);
}

int SystemDownloadDialogPlatform::ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption,
                                              unsigned style, const vxn::wstring& detail)
{
    return ui::ShowMessageBox(owner, text, caption, style, detail);
}

std::uintptr_t SystemDownloadDialogPlatform::StartProgram(ui::Window owner, const vxn::wstring& file,
                                                          const vxn::wstring& parameters)
{
    return OpenProgram(owner, file, parameters);
}

void SystemDownloadDialogPlatform::SetBar(ui::Window window, BarFigure figure, int value)
{
    if (figure == BarFigure::Maximum)
        ui::SetProgressRange(window, 0, value);
    else
        ui::SetProgressPosition(window, value);
}

bool SystemDownloadDialogPlatform::PostToDialog(ui::Window window, unsigned message, std::uintptr_t wParam,
                                                std::intptr_t lParam)
{
    return ui::PostDialogMessage(window, message, wParam, lParam);
}

void SystemDownloadDialogPlatform::EndModal(ui::Window window, std::intptr_t result)
{
    ui::EndModalDialog(window, result);
}
