// The self-update handoff and the relaunch from a temporary copy.
#include "SelfUpdate.h"

#include "SelfUpdatePlatform.h"
#include "CommandLine.h"
#include "DownloadFolder.h"
#include "InstallLocation.h"
#include "ProgramStart.h"
#include "Settings.h"
#include "ui/UserInterface.h"

#include "Log.h"
#include "Path.h"
#include "Process.h"

namespace {

constexpr const char* kSource = "ZyrelDownloaderMain";

bool Ended(VXN::Process& process, std::uint32_t milliseconds)
{
    return process.Wait(milliseconds).Succeeded();
}

// The process being updated is the client, which the launcher starts as
// "ZyrelClient<suffix>.exe", or an earlier instance of this program that relaunched itself
// (its copy carries the same file name).
bool IsProcessBeingUpdated(const VXN::Process& parent)
{
    if (VXN::SameFileName(parent.ProgramName(), ClientFileName()))
        return true;
    const vxn::wstring own = VXN::GetExecutablePath().FileName().WideString();
    return !own.empty() && VXN::SameFileName(parent.ProgramName(), own);
}

} // namespace

void WaitForParentExit()
{
    // The copy that replaced the first instance has the first instance's parent as its
    // own; that one was already waited for, and the first instance itself is gone.
    if (platform::ReplacedFirstInstance())
        return;

    // Only the process being updated is waited for, asked to close or killed, and only
    // while it is verifiably that process. Open holds the process and checks that it is
    // still this process's parent, so a parent that died is never mistaken for whatever
    // has its id now (init or a subreaper such as systemd --user on Linux, a newer process
    // on Windows). What Linux cannot tell apart is a parent that died before this program's
    // first instruction (the usual hand-over: the client exits at once) and its adopter;
    // that adopter, a shell that started us, or anything else is told from the client by
    // what it runs, read through the held process.
    const std::uint32_t parentId = VXN::GetParentProcessId();
    VXN::Process parent;
    if (parentId == VXN::NoProcessId || !parent.Open(parentId).Succeeded()) {
        std::uint32_t formerId = VXN::NoProcessId;
        vxn::wstring program;
        if (VXN::DescribeFormerParent(formerId, program))
            VXN_LOG(kSource, VXN::LogLevel::Info,
                    "Not waiting for parent process {0} ({1}): the process that started this program has ended",
                    formerId, program);
        return;
    }
    if (!IsProcessBeingUpdated(parent)) {
        VXN_LOG(kSource, VXN::LogLevel::Info, "Not waiting for parent process {0} ({1}): not the Zyrel client",
                parentId, parent.ProgramName());
        return;
    }

    VXN_LOG(kSource, VXN::LogLevel::Info, "Waiting for parent process {0} to exit", parentId);
    if (Ended(parent, 10000))
        return;
    (void)parent.Stop(true);
    if (Ended(parent, 5000))
        return;
    (void)parent.Stop(false);
    if (Ended(parent, 1000))
        return;
    ui::ShowMessageBox(nullptr, VXN_W("Timed out waiting for Zyrel to exit. Self-update may fail with sharing violations."),
                       VXN_W("Timed out"), ui::StyleIconError);
}

bool RelaunchFromTempCopy(const vxn::wstring& executablePath)
{
    const vxn::wstring folder = NewTempFolderPath();
    // A failure shows up as a failed copy below.
    (void)CreateRelaunchFolder(folder);

    VXN::Path executable(executablePath);
    const vxn::wstring target = VXN::JoinPath(folder, executable.FileName().WideString());
    // The arguments end with a space when there are any; the folder is quoted with the
    // passthrough's rules, so a folder with a quote, a space or a trailing backslash in its
    // name reaches the copy exactly (an ordinary folder gives " -temp \"folder\"").
    vxn::wstring parameters = Settings::Arguments();
    parameters.append(VXN_W(" -temp "));
    vxn::wstring quoted;
    AppendQuotedArgument(quoted, folder);
    if (quoted.size() == folder.size() + 1) // needed no quotes: quote it all the same
        quoted = VXN::format(VXN_W("\"{0}\" "), folder);
    parameters.append(quoted.c_str(), quoted.size() - 1); // without the space it ends with

    if (!platform::CopyExecutable(executablePath, target))
        return false;
    if (platform::StartCopy(target, parameters))
        return true;
    VXN_LOG(kSource, VXN::LogLevel::Error, "Failed to launch child ZyrelDownloader executable");
    return false;
}
