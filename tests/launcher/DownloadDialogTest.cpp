// The download dialog's logic over a fake platform: every row of the failure table with
// its exact texts, the installer's argument text, the target file, cancel, and the
// messages between the worker and the window. Then the dialog for real: the system
// platform, the real worker and the process's user-interface host, against a local server.
#include "DownloadTestSupport.h"
#include "HttpTestServer.h"
#include "LauncherTestSupport.h"
#include "TestSupport.h"

#include "CommandLine.h"
#include "Settings.h"
#include "ZyrelDownloaderDialog.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace download_test;
using launcher_test::U;
using launcher_test::W;

// The string table's ids, as the resource script numbers them.
constexpr vxn::u32 kNoPermission = 3, kDownloadFailed = 4, kCancelDownload = 5, kLaunchFailed = 6, kUpdateFailed = 7;

const std::map<vxn::u32, std::string> kEnglish = {
    {kNoPermission, "You don't have the necessary permissions to update. Please restart the patcher with "
                    "administrator privileges (error #6001)."},
    {kDownloadFailed, "Download failed"},
    {kCancelDownload, "Cancel download?"},
    {kLaunchFailed, "Downloaded file failed to execute (error #6003)"},
    {kUpdateFailed, "Update failed"},
};

struct message_box {
    std::string text;
    std::string caption;
    unsigned style = 0;
    bool operator==(const message_box&) const = default;
};

struct posted {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

ui::Window const kWindow = reinterpret_cast<ui::Window>(0x5A1);

// Everything the dialog asks of the system, recorded; files are real, in a temporary folder.
class fake_platform : public DownloadDialogPlatform {
public:
    bool ReadSetting(const vxn::wchar* key, vxn::wstring& value) override
    {
        const auto found = settings.find(U(vxn::wstring(key)));
        value = found == settings.end() ? vxn::wstring() : W(found->second);
        return found != settings.end();
    }
    vxn::wstring LoadText(vxn::u32 id) override
    {
        const auto found = texts.find(id);
        return found == texts.end() ? vxn::wstring() : W(found->second);
    }
    void CreateFolder(const vxn::wstring& path) override
    {
        folders_made.push_back(U(path));
        std::error_code ignored;
        std::filesystem::create_directory(zyrel_test::to_utf8(path), ignored);
    }
    vxn::wstring CreateFreshFolder() override
    {
        ++fresh_folders;
        if (!fresh_folder.empty())
            std::filesystem::create_directories(fresh_folder);
        return W(fresh_folder);
    }
    std::FILE* OpenForWriting(const vxn::wstring& path) override
    {
        opened.push_back(U(path));
        return std::fopen(U(path).c_str(), "wb");
    }
    DownloadJob* CreateJob() override
    {
        jobs.push_back(std::make_unique<DownloadJob>());
        return jobs.back().get();
    }
    bool StartThread(DownloadJob* job) override
    {
        started.push_back(job);
        return thread_starts;
    }
    void AttachCounters(ui::Window, DownloadJob* job) override { counters_of = job; }
    int ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style) override
    {
        EXPECT_EQ(owner, kWindow);
        boxes.push_back({U(text), U(caption), style});
        if (while_asking)
            std::exchange(while_asking, nullptr)();
        if (answers.empty())
            return (style & 0x0F) == ui::StyleYesNo ? ui::IdNo : ui::IdOk;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::uintptr_t StartProgram(ui::Window owner, const vxn::wstring& file, const vxn::wstring& parameters) override
    {
        EXPECT_EQ(owner, kWindow);
        programs.push_back({U(file), U(parameters)});
        return start_result;
    }
    void SetProgressRange(ui::Window, int low, int high) override { ranges.push_back({low, high}); }
    void SetProgressPosition(ui::Window, int position) override { positions.push_back(position); }
    bool PostToDialog(ui::Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        EXPECT_EQ(window, kWindow);
        ++post_attempts;
        if (refuse_posts > 0) {
            --refuse_posts;
            return false;
        }
        if (ended > 0)
            return false; // the window is gone
        queue.push_back({message, wParam, lParam});
        return true;
    }
    void EndModal(ui::Window window, std::intptr_t result) override
    {
        EXPECT_EQ(window, kWindow);
        EXPECT_EQ(result, 0);
        ++ended;
    }
    std::intptr_t RunModal(int templateId, ui::DialogHandler* handler) override
    {
        templates.push_back(templateId);
        handler->HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, reinterpret_cast<std::intptr_t>(handler));
        return 0;
    }
    bool VerifySignature(ui::Window parent, const vxn::wstring& path) override
    {
        EXPECT_EQ(parent, kWindow);
        verified.push_back(U(path));
        return verdict;
    }

    std::map<std::string, std::string> settings;
    std::map<vxn::u32, std::string> texts = kEnglish;
    std::string fresh_folder;
    bool thread_starts = true;
    std::deque<int> answers;
    std::function<void()> while_asking; // runs inside the next message box, as its loop would
    std::uintptr_t start_result = 42;
    int refuse_posts = 0;
    bool verdict = true;

    std::vector<std::string> folders_made, opened, verified;
    int fresh_folders = 0;
    std::vector<std::unique_ptr<DownloadJob>> jobs;
    std::vector<DownloadJob*> started;
    DownloadJob* counters_of = nullptr;
    std::vector<message_box> boxes;
    std::vector<std::pair<std::string, std::string>> programs;
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    std::deque<posted> queue;
    int post_attempts = 0;
    int ended = 0;
    std::vector<int> templates;
};

class DownloadDialog : public ::testing::Test {
protected:
    DownloadDialog()
    {
        temp_dir = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-test");
        platform.settings = {{"DownloadUrl", "http://127.0.0.1:9/zyrel/live/ZyrelInstall.exe"}, {"TempDir", temp_dir}};
    }
    ~DownloadDialog() override
    {
        for (const auto& job : platform.jobs)
            if (job->file != nullptr)
                std::fclose(job->file);
    }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0)
    {
        return dialog.HandleDialogMessage(kWindow, message, wParam, lParam);
    }
    std::intptr_t Init() { return Send(ui::MsgInitDialog, 0, reinterpret_cast<std::intptr_t>(&dialog)); }
    // Delivers what the worker side posted, in order, as the host's loop would.
    void Pump()
    {
        while (!platform.queue.empty()) {
            const posted next = platform.queue.front();
            platform.queue.pop_front();
            EXPECT_EQ(Send(next.message, next.wParam, next.lParam), 1);
        }
    }
    // A download that reached its end: the worker's report, delivered.
    void Complete(bool success, int transferCode, int httpCode)
    {
        dialog.OnDownloadComplete(success, transferCode, httpCode);
        Pump();
    }
    std::string Target(const std::string& name = "ZyrelInstall.exe") const
    {
#if defined(_WIN32)
        return temp_dir + "\\" + name;
#else
        return temp_dir + "/" + name;
#endif
    }
    std::vector<std::string> Log() const { return log.text("ZyrelDownloaderDialog"); }

    zyrel_test::temp_folder folder;
    std::string temp_dir;
    fake_platform platform;
    ZyrelDownloaderDialog dialog{platform};
    log_recorder log;
};

std::string Line(const std::string& level, const std::string& message)
{
    return "ZyrelDownloaderDialog " + level + " " + message;
}

TEST_F(DownloadDialog, BeginDownloadCutsTheQueryNamesTheFileAndFillsTheJob)
{
    platform.settings["DownloadUrl"] = "http://127.0.0.1:9/zyrel/live/Setup.exe?token=1&b=?2";
    platform.settings["Proxy"] = "http://proxy.example:3128";
    platform.settings["ProxyBypass"] = "localhost,.zyrel.example";
    EXPECT_EQ(Init(), 1);
    ASSERT_EQ(platform.jobs.size(), 1u);
    DownloadJob& job = *platform.jobs[0];
    EXPECT_EQ(dialog.job, &job);
    EXPECT_EQ(dialog.window, kWindow);
    EXPECT_EQ(U(job.url), "http://127.0.0.1:9/zyrel/live/Setup.exe");
    EXPECT_EQ(U(job.proxy), "http://proxy.example:3128");
    EXPECT_EQ(U(job.proxyBypass), "localhost,.zyrel.example");
    EXPECT_EQ(job.listener.load(), &dialog);
    EXPECT_EQ(U(job.targetPath), Target("Setup.exe"));
    EXPECT_NE(job.file, nullptr);
    EXPECT_TRUE(std::filesystem::is_regular_file(Target("Setup.exe")));
    EXPECT_EQ(platform.folders_made, std::vector<std::string>{temp_dir});
    EXPECT_EQ(platform.started, std::vector<DownloadJob*>{&job});
    EXPECT_EQ(platform.counters_of, &job);
    EXPECT_EQ(platform.ranges, (std::vector<std::pair<int, int>>{{0, 10000}}));
    EXPECT_EQ(platform.ended, 0);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(Log(), (std::vector<std::string>{Line("INF", "Dialog initialized"), Line("INF", "Starting download thread")}));

    // The file name is the last segment, whichever separator comes last, after one
    // trailing separator is dropped; without any separator it is the whole address.
    const std::pair<std::string, std::string> names[] = {
        {"http://h/zyrel/live/", "live"},
        {"http://h/a\\b\\Setup.exe", "Setup.exe"},
        {"http://h\\a/b\\c/Setup2.exe?x", "Setup2.exe"},
        {"Setup3.exe", "Setup3.exe"},
    };
    for (const auto& [url, name] : names) {
        fake_platform other;
        other.settings = {{"DownloadUrl", url}, {"TempDir", temp_dir}};
        ZyrelDownloaderDialog second(other);
        second.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        ASSERT_EQ(other.jobs.size(), 1u) << url;
        EXPECT_EQ(U(other.jobs[0]->targetPath), Target(name)) << url;
        std::fclose(other.jobs[0]->file);
        other.jobs[0]->file = nullptr;
    }
}

TEST_F(DownloadDialog, EveryRowOfTheFailureTable)
{
    // No address, or nothing before its "?": no message box, the dialog ends.
    for (const char* url : {"", "?installer=1"}) {
        fake_platform empty;
        empty.settings = {{"DownloadUrl", url}, {"TempDir", temp_dir}};
        ZyrelDownloaderDialog silent(empty);
        log_recorder lines;
        EXPECT_EQ(silent.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0), 1);
        EXPECT_TRUE(empty.boxes.empty()) << url;
        EXPECT_TRUE(empty.jobs.empty()) << url;
        EXPECT_TRUE(empty.opened.empty()) << url;
        EXPECT_EQ(empty.ended, 1) << url;
        EXPECT_EQ(empty.ranges.size(), 1u) << "the bar's range is set either way";
        EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
                  (std::vector<std::string>{Line("INF", "Dialog initialized"), Line("INF", "Starting download thread"),
                                            Line("ERR", "BeginDownload() failed"), Line("INF", "Dialog finalizing")}));
    }

    // The target cannot be opened: the permission message, then the dialog ends.
    {
        const std::filesystem::path blocker = folder.write("plain-file", "x");
        fake_platform blocked;
        blocked.settings = {{"DownloadUrl", "http://h/Setup.exe"}, {"TempDir", zyrel_test::to_utf8(blocker / "sub")}};
        ZyrelDownloaderDialog refused(blocked);
        log_recorder lines;
        refused.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        const std::string target = zyrel_test::to_utf8(blocker / "sub") +
#if defined(_WIN32)
                                   "\\Setup.exe";
#else
                                   "/Setup.exe";
#endif
        EXPECT_EQ(blocked.boxes, (std::vector<message_box>{{kEnglish.at(3), kEnglish.at(4), ui::StyleIconError}}));
        EXPECT_TRUE(blocked.jobs.empty());
        EXPECT_EQ(blocked.ended, 1);
        EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
                  (std::vector<std::string>{Line("INF", "Dialog initialized"), Line("INF", "Starting download thread"),
                                            Line("INF", "Failed to open " + target),
                                            Line("ERR", "BeginDownload() failed"), Line("INF", "Dialog finalizing")}));
    }

    // The download failed: the code and the status in the user's language.
    const struct {
        std::string failed;
        int transferCode;
        int httpCode;
        std::string text;
    } failures[] = {
        {"Download failed", 7, 0, "Download failed Code #7 HTTP #0"},
        {"Download failed", 0, 404, "Download failed Code #0 HTTP #404"},
        {"Download failed", 22, 404, "Download failed Code #22 HTTP #404"},
        {"Download failed", 47, 0, "Download failed Code #47 HTTP #0"},
        {"Download fehlgeschlagen", 7, 0, "Download fehlgeschlagen Code #7 HTTP #0"},
        {"Le téléchargement a échoué.", 7, 0, "Le téléchargement a échoué. Code #7 HTTP #0"},
        {"100% {0} failed", 7, 0, "100% {0} failed Code #7 HTTP #0"}, // the table's text is not a pattern
    };
    for (const auto& failure : failures) {
        fake_platform failing;
        failing.settings = platform.settings;
        failing.texts[kDownloadFailed] = failure.failed;
        ZyrelDownloaderDialog failed(failing);
        failed.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        log_recorder lines;
        failed.OnDownloadComplete(false, failure.transferCode, failure.httpCode);
        ASSERT_EQ(failing.queue.size(), 1u);
        const posted report = failing.queue.front();
        EXPECT_EQ(report.message, 1035u);
        EXPECT_EQ(report.wParam, 0u);
        EXPECT_EQ(failed.HandleDialogMessage(kWindow, report.message, report.wParam, report.lParam), 1);
        EXPECT_EQ(failing.boxes, (std::vector<message_box>{{failure.text, failure.failed, ui::StyleIconError}}));
        EXPECT_EQ(failing.jobs[0]->file, nullptr) << "closed on completion";
        EXPECT_TRUE(failing.verified.empty());
        EXPECT_TRUE(failing.programs.empty());
        EXPECT_EQ(failing.ended, 1);
        EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
                  (std::vector<std::string>{Line("INF", "Download thread reports completion"), Line("INF", failure.text),
                                            Line("INF", "Dialog finalizing")}));
        EXPECT_EQ(failing.jobs[0]->listener.load(), nullptr);
    }

    // The signature is not confirmed and the user declines: no installer.
    {
        platform.verdict = false;
        Init();
        log_recorder lines;
        Complete(true, 0, 200);
        EXPECT_EQ(platform.verified, std::vector<std::string>{Target()});
        EXPECT_TRUE(platform.programs.empty());
        EXPECT_TRUE(platform.boxes.empty());
        EXPECT_EQ(platform.ended, 1);
        EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
                  (std::vector<std::string>{Line("INF", "Download thread reports completion"),
                                            Line("INF", "Verifying signature"), Line("INF", "Verifing signature failed"),
                                            Line("INF", "Dialog finalizing")}));
        EXPECT_TRUE(std::filesystem::exists(Target())) << "the file is never deleted";
    }

    // The installer does not start (32 or less): message 6 / 7.
    for (const std::uintptr_t result : {std::uintptr_t{32}, std::uintptr_t{2}, std::uintptr_t{0}}) {
        fake_platform starting;
        starting.settings = platform.settings;
        starting.start_result = result;
        ZyrelDownloaderDialog launch(starting);
        launch.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        log_recorder lines;
        launch.HandleDialogMessage(kWindow, 1035, 1, PackCompletion(0, 200));
        EXPECT_EQ(starting.programs.size(), 1u);
        EXPECT_EQ(starting.boxes, (std::vector<message_box>{{kEnglish.at(6), kEnglish.at(7), ui::StyleIconError}}));
        EXPECT_EQ(starting.ended, 1);
        EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
                  (std::vector<std::string>{Line("INF", "Download thread reports completion"),
                                            Line("INF", "Verifying signature"), Line("INF", "Launching " + Target() + " "),
                                            Line("INF", "Dialog finalizing")}));
    }

    // The worker thread cannot be made: nothing is said, and the dialog waits for Cancel.
    {
        fake_platform stuck;
        stuck.settings = platform.settings;
        stuck.thread_starts = false;
        stuck.answers = {ui::IdYes};
        ZyrelDownloaderDialog waiting(stuck);
        waiting.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        EXPECT_EQ(stuck.started.size(), 1u);
        EXPECT_TRUE(stuck.boxes.empty());
        EXPECT_EQ(stuck.ended, 0);
        waiting.HandleDialogMessage(kWindow, ui::MsgCommand, ui::IdCancel, 0);
        EXPECT_EQ(stuck.ended, 1);
        std::fclose(stuck.jobs[0]->file);
        stuck.jobs[0]->file = nullptr;
    }
}

TEST_F(DownloadDialog, InstallerStartsWithTheOptionsInTheirOrder)
{
    Init();
    Complete(true, 0, 200);
    ASSERT_EQ(platform.programs.size(), 1u);
    EXPECT_EQ(platform.programs[0].first, Target());
    EXPECT_EQ(platform.programs[0].second, "") << "no option: an empty parameter text";
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.ended, 1);
    EXPECT_TRUE(std::filesystem::exists(Target()));

    const struct {
        std::map<std::string, std::string> settings;
        std::string arguments;
    } cases[] = {
        {{{"SelfUpdate", ""}, {"Language", "de"}}, " -selfupdate -language \"de\""},
        {{{"SelfUpdate", "false"}, {"PortableInstallation", "0"}, {"UseSteam", ""}, {"Automatic", "no"}},
         " -selfupdate -portable -steam -automatic"},
        {{{"Language", ""}, {"UserName", ""}, {"Depot", ""}}, ""},
        {{{"SingleGameId", "77"}, {"Depot", "beta"}, {"InstallGame", "42"}, {"UserName", "Ana Lima"},
          {"Language", "fr"}, {"ExistingDir", "C:\\Program Files\\Zyrel"}, {"Automatic", ""}, {"UseSteam", ""},
          {"PortableInstallation", ""}, {"SelfUpdate", ""}},
         " -selfupdate -portable -steam -automatic -existing \"C:\\Program Files\\Zyrel\" -language \"fr\""
         " -username \"Ana Lima\" -installgame \"42\" -depot \"beta\" -singlegame \"77\""},
        {{{"UseSteam", ""}, {"UserName", "Ünïcødé"}}, " -steam -username \"Ünïcødé\""},
    };
    for (const auto& entry : cases) {
        fake_platform options;
        options.settings = platform.settings;
        options.settings.insert(entry.settings.begin(), entry.settings.end());
        ZyrelDownloaderDialog launch(options);
        log_recorder lines;
        launch.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
        launch.HandleDialogMessage(kWindow, 1035, 1, PackCompletion(0, 204));
        ASSERT_EQ(options.programs.size(), 1u);
        EXPECT_EQ(options.programs[0].second, entry.arguments);
        const auto text = lines.text("ZyrelDownloaderDialog");
        EXPECT_NE(std::find(text.begin(), text.end(), Line("INF", "Launching " + Target() + " " + entry.arguments)),
                  text.end());
    }
}

TEST_F(DownloadDialog, ForwardedValuesArriveAsOneUnchangedArgument)
{
    const std::pair<std::string, std::string> values[] = {
        {"C:\\Games\\", ""},                      // a trailing backslash would escape the closing quote
        {"C:\\My Games\\", ""},                   // the same with a space
        {"a\" -portable \"b", ""},                // a quote would end the value and add an option
        {"say \\\"hi\\\"", ""},                   // backslashes before quotes
        {"C:\\Program Files\\Zyrel", " -existing \"C:\\Program Files\\Zyrel\""}, // ordinary: as it was
        {"C:\\a\\b", " -existing \"C:\\a\\b\""},
    };
    for (const auto& [value, exact] : values) {
        fake_platform options;
        options.settings = {{"ExistingDir", value}, {"UserName", "x"}};
        ZyrelDownloaderDialog launch(options);
        const vxn::wstring text = launch.InstallerArguments();
        const ArgumentList arguments = SplitParameters(text.c_str());
        ASSERT_EQ(arguments.size(), 4u) << U(text);
        EXPECT_EQ(U(arguments[0]), "-existing");
        EXPECT_EQ(U(arguments[1]), value) << U(text);
        EXPECT_EQ(U(arguments[2]), "-username");
        EXPECT_EQ(U(arguments[3]), "x");
        if (!exact.empty()) {
            EXPECT_EQ(U(text), exact + " -username \"x\"");
        }
    }
}

TEST_F(DownloadDialog, EmptyTempDirDownloadsIntoAFreshPrivateFolder)
{
    const std::string fresh = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-fresh");
    platform.settings.erase("TempDir");
    platform.fresh_folder = fresh;
    Init();
    EXPECT_EQ(platform.fresh_folders, 1);
    ASSERT_EQ(platform.jobs.size(), 1u);
#if defined(_WIN32)
    EXPECT_EQ(U(platform.jobs[0]->targetPath), fresh + "\\ZyrelInstall.exe");
#else
    EXPECT_EQ(U(platform.jobs[0]->targetPath), fresh + "/ZyrelInstall.exe");
#endif
    EXPECT_TRUE(std::filesystem::is_regular_file(U(platform.jobs[0]->targetPath)));

    // No folder could be made at all: the permission message, and nothing is opened at
    // the root of the drive.
    fake_platform homeless;
    homeless.settings = {{"DownloadUrl", "http://h/Setup.exe"}, {"TempDir", ""}};
    ZyrelDownloaderDialog refused(homeless);
    refused.HandleDialogMessage(kWindow, ui::MsgInitDialog, 0, 0);
    EXPECT_EQ(homeless.fresh_folders, 1);
    EXPECT_TRUE(homeless.opened.empty());
    EXPECT_EQ(homeless.boxes, (std::vector<message_box>{{kEnglish.at(3), kEnglish.at(4), ui::StyleIconError}}));
    EXPECT_EQ(homeless.ended, 1);
}

TEST_F(DownloadDialog, ProgressAndCompletionTravelAsPostedMessages)
{
    Init();
    dialog.OnDownloadProgress(42.579);
    dialog.OnDownloadProgress(1.0);
    dialog.OnDownloadProgress(100.0);
    dialog.OnDownloadProgress(std::nan(""));
    dialog.OnDownloadProgress(-3.0);
    dialog.OnDownloadProgress(250.0);
    ASSERT_EQ(platform.queue.size(), 6u);
    const std::uintptr_t expected[] = {4257, 100, 10000, 0, 0, 10000};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(platform.queue[i].message, 1034u);
        EXPECT_EQ(platform.queue[i].wParam, expected[i]) << i;
        EXPECT_EQ(platform.queue[i].lParam, 0);
    }
    log_recorder lines;
    Pump();
    EXPECT_EQ(platform.positions, (std::vector<int>{4257, 100, 10000, 0, 0, 10000}));
    EXPECT_EQ(lines.text("ZyrelDownloaderDialog"),
              (std::vector<std::string>{Line("DBG", "Progress: 42%"), Line("DBG", "Progress: 1%"),
                                        Line("DBG", "Progress: 100%"), Line("DBG", "Progress: 0%"),
                                        Line("DBG", "Progress: 0%"), Line("DBG", "Progress: 100%")}));

    // The completion's packing: code in the upper 16 bits, sign-extended when unpacked.
    EXPECT_EQ(PackCompletion(7, 0), 7 << 16);
    EXPECT_EQ(PackCompletion(0, 404), 404);
    EXPECT_EQ(CompletionTransferCode(PackCompletion(23, 0)), 23);
    EXPECT_EQ(CompletionTransferCode(PackCompletion(-1, 200)), -1);
    EXPECT_EQ(CompletionHttpCode(PackCompletion(-1, 200)), 200);
    EXPECT_EQ(CompletionTransferCode(PackCompletion(0x7FFF, 0xFFFF)), 0x7FFF);
    EXPECT_EQ(CompletionHttpCode(PackCompletion(0x7FFF, 0xFFFF)), 0xFFFF);

    // A refused completion is posted again until it is taken.
    platform.refuse_posts = 3;
    const int before = platform.post_attempts;
    dialog.OnDownloadComplete(false, 7, 0);
    EXPECT_EQ(platform.post_attempts - before, 4);
    ASSERT_EQ(platform.queue.size(), 1u);
    EXPECT_EQ(platform.queue[0].message, 1035u);
    EXPECT_EQ(platform.queue[0].lParam, 7 << 16);

    // Unknown messages are left to the host; a command other than Cancel does nothing.
    EXPECT_EQ(Send(0x000F), 0);
    EXPECT_EQ(Send(ui::MsgCommand, ui::IdOk), 1);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(DownloadDialog, CancelAsksAndEndsOnlyOnYes)
{
    Init();
    platform.answers = {ui::IdNo};
    EXPECT_EQ(Send(ui::MsgCommand, ui::IdCancel), 1);
    EXPECT_EQ(platform.boxes, (std::vector<message_box>{{kEnglish.at(5), kEnglish.at(5), ui::StyleYesNo}}));
    EXPECT_EQ(platform.ended, 0);
    EXPECT_EQ(platform.jobs[0]->listener.load(), &dialog) << "No leaves the download running";
    dialog.OnDownloadProgress(12.5);
    Pump();
    EXPECT_EQ(platform.positions, std::vector<int>{1250});

    platform.answers = {ui::IdYes};
    log_recorder lines;
    Send(ui::MsgCommand, ui::IdCancel);
    EXPECT_EQ(platform.ended, 1);
    EXPECT_EQ(platform.jobs[0]->listener.load(), nullptr) << "the worker is detached";
    EXPECT_NE(platform.jobs[0]->file, nullptr) << "the worker may still write; the file stays open";
    EXPECT_EQ(lines.text("ZyrelDownloaderDialog"), std::vector<std::string>{Line("INF", "Dialog finalizing")});

    // A report that still reaches the ended dialog goes nowhere, and a refused completion
    // is not retried for ever.
    const int before = platform.post_attempts;
    dialog.OnDownloadProgress(50.0);
    dialog.OnDownloadComplete(true, 0, 200);
    EXPECT_EQ(platform.post_attempts - before, 2);
    EXPECT_TRUE(platform.queue.empty());
}

TEST_F(DownloadDialog, CompletionWhileTheCancelQuestionIsOpenIsHandledAtOnce)
{
    Init();
    platform.answers = {ui::IdYes};
    // The message box runs its own loop, which delivers the worker's completion.
    platform.while_asking = [this] { Complete(true, 0, 200); };
    Send(ui::MsgCommand, ui::IdCancel);
    EXPECT_EQ(platform.programs.size(), 1u) << "the installer started from inside the question";
    EXPECT_EQ(platform.ended, 2) << "Yes ends the already ending dialog again, to no effect";
    EXPECT_EQ(Log().back(), Line("INF", "Dialog finalizing"));
}

TEST_F(DownloadDialog, TemplateFollowsSelfUpdateMode)
{
    RunDownloadDialog(dialog);
    EXPECT_EQ(platform.templates, std::vector<int>{101});
    fake_platform update;
    update.settings = {{"SelfUpdate", "false"}};
    ZyrelDownloaderDialog updating(update);
    RunDownloadDialog(updating);
    EXPECT_EQ(update.templates, std::vector<int>{103});
}

// The system platform with the installer's start and its signature check recorded; the
// rest (settings, files, worker, the user-interface host) is real.
class recording_system_platform : public SystemDownloadDialogPlatform {
public:
    bool VerifySignature(ui::Window, const vxn::wstring& path) override
    {
        verified.push_back(U(path));
        return true;
    }
    std::uintptr_t StartProgram(ui::Window, const vxn::wstring& file, const vxn::wstring& parameters) override
    {
        programs.push_back({U(file), U(parameters)});
        return 42;
    }
    std::vector<std::string> verified;
    std::vector<std::pair<std::string, std::string>> programs;
};

TEST(DownloadDialogForReal, DownloadsWithTheWorkerAndStartsTheInstaller)
{
    zyrel_test::http_test_server server;
    zyrel_test::temp_folder folder;
    Settings::Clear();
    const std::size_t size = 2 * 1024 * 1024 + 3;
    const std::string temp_dir = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-real");
    Settings::Entry(W("DownloadUrl")) = W(server.url("/file/" + std::to_string(size) + "?channel=live"));
    Settings::Entry(W("TempDir")) = W(temp_dir);
    Settings::Entry(W("Language")) = W("de");
    Settings::Entry(W("Automatic"));

    log_recorder log;
    recording_system_platform platform;
    auto* dialog = new ZyrelDownloaderDialog(platform);
    {
#if defined(__SANITIZE_ADDRESS__)
        // A host keeps its window's record for the life of the process, since a worker
        // may still post to it; that is by design, not a leak.
        __lsan::ScopedDisabler host_records_are_kept;
#endif
        RunDownloadDialog(*dialog);
    }
    ASSERT_TRUE(log.wait_for("Download thread exiting"));
#if defined(_WIN32)
    const std::string target = temp_dir + "\\" + std::to_string(size);
#else
    const std::string target = temp_dir + "/" + std::to_string(size);
#endif
    EXPECT_EQ(platform.verified, std::vector<std::string>{target});
    ASSERT_EQ(platform.programs.size(), 1u);
    EXPECT_EQ(platform.programs[0].first, target);
    EXPECT_EQ(platform.programs[0].second, " -automatic -language \"de\"");
    EXPECT_TRUE(zyrel_test::read_file(target) == zyrel_test::http_test_server::body_bytes(size));
    EXPECT_EQ(dialog->job->file, nullptr);
    EXPECT_EQ(dialog->job->bytesReceived.load(), size);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/file/" + std::to_string(size)) << "the query is not fetched";

    const auto lines = log.text("", false);
    const std::vector<std::string> expected = {
        Line("INF", "Dialog initialized"),
        Line("INF", "Starting download thread"),
        "ZyrelDownloaderThread INF Download thread running",
        "ZyrelDownloaderThread INF Download complete with code 0 and httpCode 200",
        Line("INF", "Download thread reports completion"),
        Line("INF", "Verifying signature"),
        Line("INF", "Launching " + target + "  -automatic -language \"de\""), // the text starts with its space
        Line("INF", "Dialog finalizing"),
    };
    std::size_t at = 0;
    for (const std::string& line : lines)
        if (at < expected.size() && line == expected[at])
            ++at;
    EXPECT_EQ(at, expected.size()) << "in this order:\n" << ::testing::PrintToString(lines);
    const auto all = log.text();
    EXPECT_GE(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.find(" DBG Progress: ") != std::string::npos; }), 1);
    Settings::Clear();
    // The worker has ended (its last line is in the log), so the dialog can go.
    delete dialog;
}

} // namespace

namespace {

// The log of a finished child: every line whole ("stamp [LVL] message" and CR LF).
std::vector<std::string> LogMessagesOf(const std::filesystem::path& log_file)
{
    const std::string bytes = zyrel_test::read_file(log_file);
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.substr(bytes.size() >= 2 ? bytes.size() - 2 : 0), "\r\n") << "the last line is complete";
    std::vector<std::string> messages;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos)
            break;
        const std::string line = bytes.substr(at, end - at);
        const std::size_t level = line.find(" [");
        EXPECT_NE(level, std::string::npos) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << "no line inside another: " << line;
        if (level != std::string::npos && line.size() > level + 7)
            messages.push_back(line.substr(level + 2, 3) + " " + line.substr(level + 7));
        at = end + 2;
    }
    return messages;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(DownloadDialogProcess, CancelEndsTheProcessCleanlyWhileTheWorkerTransfers)
{
    zyrel_test::http_test_server server;
    zyrel_test::temp_folder folder;
    const std::string temp = zyrel_test::to_utf8(folder.path());
    const std::string download_dir = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-cancel");
    zyrel_test::child_options options;
    options.environment = {"TMPDIR=" + temp, "TMP=" + temp, "TEMP=" + temp};
    const auto result = zyrel_test::run_child(zyrel_test::test_program("download_dialog_run"),
                                              {"cancel", server.url("/slow/400000"), download_dir}, options);
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_NE(result.output.find("asked: Cancel download?"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("returning"), std::string::npos) << result.output;

    const auto messages = LogMessagesOf(folder.path() / "ZyrelDownloader.log");
    EXPECT_TRUE(Contains(messages, "INF Dialog finalizing"));
    EXPECT_TRUE(Contains(messages, "INF ZyrelDownloader shutting down"));
    EXPECT_FALSE(Contains(messages, "INF Download thread reports completion")) << "it ended mid-transfer";
    const auto partial = std::filesystem::file_size(folder.path() / "ZyrelDownloader-cancel" / "400000");
    EXPECT_LT(partial, 400000u) << "the partial file stays";
}

TEST(DownloadDialogProcess, TheProgramsOwnCompositionDownloadsAndChecksTheSignature)
{
    zyrel_test::http_test_server server;
    zyrel_test::temp_folder folder;
    const std::string temp = zyrel_test::to_utf8(folder.path());
    const std::string download_dir = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-default");
    zyrel_test::child_options options;
    options.environment = {"TMPDIR=" + temp, "TMP=" + temp, "TEMP=" + temp, "ZYREL_UI=none"};
    options.merge_stderr = true;
    const auto result = zyrel_test::run_child(zyrel_test::test_program("download_dialog_run"),
                                              {"default", server.url("/file/300000"), download_dir}, options);
    EXPECT_EQ(result.exit_code, 0) << result.output;
    const auto messages = LogMessagesOf(folder.path() / "ZyrelDownloader.log");
    EXPECT_TRUE(Contains(messages, "INF Download complete with code 0 and httpCode 200"));
    EXPECT_TRUE(Contains(messages, "INF Verifying signature"));
    // A test file carries no signature, and a run without a desktop answers the warning No.
    EXPECT_TRUE(Contains(messages, "INF Verifing signature failed"));
    EXPECT_TRUE(Contains(messages, "INF Dialog finalizing"));
    EXPECT_EQ(zyrel_test::read_file(folder.path() / "ZyrelDownloader-default" / "300000").size(), 300000u);
}

} // namespace
