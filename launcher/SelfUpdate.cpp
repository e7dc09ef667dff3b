// The self-update handoff and the relaunch from a temporary copy.
#include "SelfUpdate.h"

#include "SelfUpdatePlatform.h"
#include "CommandLine.h"
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

} // namespace

void WaitForParentExit()
{
    // The copy that replaced the first instance has the first instance's parent as its
    // own; that one was already waited for, and the first instance itself is gone.
    if (selfupdate_platform::ReplacedFirstInstance())
        return;

    // Open checks, once it holds the process, that it still holds this process's parent:
    // a parent that died is never mistaken for the process that adopted us (init, or a
    // subreaper such as systemd --user), which must never be waited for, asked to close
    // or killed. What is left on Linux: a parent that dies between starting us and our
    // first instruction cannot be told from its adopter, because nothing records the
    // original parent; the program learns it as early as it can (at load time).
    const std::uint32_t parentId = VXN::GetParentProcessId();
    if (parentId == VXN::NoProcessId)
        return;
    VXN::Process parent;
    if (!parent.Open(parentId).Succeeded())
        return;

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

vxn::wstring NewTempFolderPath()
{
    return VXN::format(VXN_W("{0}ZyrelDownloader-{1}"), selfupdate_platform::TempFolder(),
                       selfupdate_platform::NewUuidText());
}

vxn::wstring CreateFreshTempFolder()
{
    // Only an absolute folder of our own will do: without the temporary folder or a UUID
    // the name would be relative or predictable. A name that is taken (vanishingly rare for
    // a random UUID, so more likely planted) gets a new one.
    const vxn::wstring base = selfupdate_platform::TempFolder();
    if (base.empty())
        return vxn::wstring();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const vxn::wstring uuid = selfupdate_platform::NewUuidText();
        if (uuid.empty())
            return vxn::wstring();
        vxn::wstring folder = VXN::format(VXN_W("{0}ZyrelDownloader-{1}"), base, uuid);
        if (selfupdate_platform::CreateRelaunchFolder(folder))
            return folder;
    }
    return vxn::wstring();
}

bool RelaunchFromTempCopy(const vxn::wstring& executablePath)
{
    const vxn::wstring folder = NewTempFolderPath();
    // A failure shows up as a failed copy below.
    (void)selfupdate_platform::CreateRelaunchFolder(folder);

    VXN::Path executable(executablePath);
    const vxn::wstring target =
        VXN::format(selfupdate_platform::JoinPattern, folder, executable.FileName().WideString());
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

    if (!selfupdate_platform::CopyExecutable(executablePath, target))
        return false;
    if (selfupdate_platform::StartCopy(target, parameters))
        return true;
    VXN_LOG(kSource, VXN::LogLevel::Error, "Failed to launch child ZyrelDownloader executable");
    return false;
}
