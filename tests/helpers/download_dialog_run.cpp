// Runs the download dialog as the program's start-up sequence does, with the file log,
// and ends the process the same way: log, unregister the sink, return 0.
//
//   download_dialog_run default URL TEMPDIR   the dialog as the program makes it
//   download_dialog_run cancel URL TEMPDIR    the user cancels once the first bytes are in
//                                             and answers Yes, while the worker transfers
#include "Settings.h"
#include "ZyrelDownloaderDialog.h"

#include "Log.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// The system platform, with a user who presses Cancel as soon as the first bytes are in
// (whether or not the total, and so a percentage, is known).
class cancelling_platform : public SystemDownloadDialogPlatform {
public:
    bool StartWorker(ui::Window window, DownloadJob* job) override
    {
        const bool started = SystemDownloadDialogPlatform::StartWorker(window, job);
        std::thread([this, window, job] {
            for (int waited = 0; waited < 60000 && job->bytesReceived.load() == 0; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            PostToDialog(window, ui::MsgCommand, ui::IdCancel, 0);
        }).detach();
        return started;
    }
    int ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                    const vxn::wstring& detail) override
    {
        // Only the cancel question is this user's; the signature warning is the host's.
        if ((style & 0xF0) == ui::StyleIconWarning)
            return SystemDownloadDialogPlatform::ShowMessage(owner, text, caption, style, detail);
        vxn::string narrow;
        narrow.assign_utf16(text.c_str(), text.size());
        std::printf("asked: %s\n", narrow.c_str());
        std::fflush(stdout);
        return (style & 0x0F) == ui::StyleYesNo ? ui::IdYes : ui::IdOk;
    }
};

vxn::wstring Wide(const char* text)
{
    vxn::wstring out;
    out.assign_utf8(text, static_cast<vxn::u32>(std::strlen(text)));
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_dialog_run default|cancel URL TEMPDIR\n");
        return 2;
    }
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG("ZyrelDownloaderMain", VXN::LogLevel::Info, "ZyrelDownloader starting up");
    Settings::Entry(Settings::Key::DownloadUrl) = Wide(argv[2]);
    Settings::Entry(Settings::Key::TempDir) = Wide(argv[3]);

    if (std::strcmp(argv[1], "cancel") == 0) {
        // Lives as long as the process, like the dialog, and stays reachable.
        static cancelling_platform* platform = new cancelling_platform();
        auto* dialog = new ZyrelDownloaderDialog(*platform);
        RunDownloadDialog(*dialog);
    } else {
        auto* dialog = new ZyrelDownloaderDialog();
        RunDownloadDialog(*dialog);
    }

    VXN_LOG("ZyrelDownloaderMain", VXN::LogLevel::Info, "ZyrelDownloader shutting down");
    VXN::SetLogSink(nullptr);
    std::printf("returning\n");
    return 0;
}
