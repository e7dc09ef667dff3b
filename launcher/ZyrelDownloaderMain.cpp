// The start-up sequence: set up logging, read the settings (command line first, then the
// configuration compiled into the program) and take the first way to a working client
// that applies: start the installed client; in self-update mode wait for the client to
// go; relaunch from a temporary copy; or run the download dialog here.
#include "ZyrelDownloaderMain.h"

#include "CommandLine.h"
#include "InstallLocation.h"
#include "LocalizedStrings.h"
#include "ProgramStart.h"
#include "SelfUpdate.h"
#include "SelfUpdatePlatform.h"
#include "UninstallEntry.h"
#include "Settings.h"
#include "ZyrelDownloaderDialog.h"
#include "ui/UserInterface.h"

#include "Log.h"
#include "Path.h"

namespace {

constexpr const char* kSource = "ZyrelDownloaderMain";

} // namespace

bool LaunchInstalledClient(const vxn::wstring& location)
{
    // The client keeps its Windows file name everywhere; only the separator is the
    // platform's (and on Linux the name is found as Wine finds it, whatever its case).
    const vxn::wstring client = InstalledFilePath(location, ClientFileName());
    VXN_LOG(kSource, VXN::LogLevel::Info, "Launching {0}", client);
    return ProgramStarted(OpenProgram(nullptr, client, vxn::wstring()));
}

int ZyrelDownloaderMain()
{
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "ZyrelDownloader starting up");

    VXN::Path executable = VXN::GetExecutablePath();
    // Read before anything can start a child: a copy that replaced the first instance
    // finds its mark here, and no child of ours inherits it.
    (void)platform::ReplacedFirstInstance();

    // The current folder stays the one we were started in. The change that could go here
    // would take the program's own base name as a relative folder: normally no such folder
    // exists and the change is a no-op, and where one happens to exist it would silently
    // move the lookup of "./ZyrelClient.exe" (and the client's start) somewhere else.

    (void)ParseCommandLine();
    (void)LoadEmbeddedConfiguration();

    // Looked up on every run, self-update included.
    const vxn::wstring location = FindInstallLocation();

    if (!Settings::SelfUpdate() && !location.empty()) {
        if (LaunchInstalledClient(location))
            return 0; // the log sink stays registered, no shutdown line: the client runs
        VXN_LOG(kSource, VXN::LogLevel::Error, "Failed to launch Zyrel executable");
    }

    // Every way on from here downloads the installer, a Windows program. Where none can
    // run (Linux without wine) the download would only end in a failed start, so the run
    // says so before it fetches anything, and what to do about it.
    if (!CanStartWindowsPrograms()) {
        VXN_LOG(kSource, VXN::LogLevel::Error, "No wine program found: the installer could not run, nothing is downloaded");
        (void)ui::ShowMessageBox(nullptr, LoadLocalizedString(IDS_WINE_NEEDED),
                                 LoadLocalizedString(Settings::SelfUpdate() ? IDS_UPDATE_FAILED : IDS_DOWNLOAD_FAILED),
                                 ui::StyleOk | ui::StyleIconError);
        VXN_LOG(kSource, VXN::LogLevel::Info, "ZyrelDownloader shutting down");
        VXN::SetLogSink(nullptr);
        return 0;
    }

    if (Settings::SelfUpdate())
        WaitForParentExit();

    if (Settings::TempDir().empty()) {
        if (RelaunchFromTempCopy(executable.WideString()))
            return 0;
    }

    // The dialog lives until the process ends: after a cancel the worker may still report
    // to it.
    auto* dialog = new ZyrelDownloaderDialog();
    RunDownloadDialog(*dialog);

    VXN_LOG(kSource, VXN::LogLevel::Info, "ZyrelDownloader shutting down");
    VXN::SetLogSink(nullptr);
    return 0;
}
