// The download dialog's logic over a fake platform: every row of the failure table with
// its exact texts, the installer's argument text, the target file, cancel, and the
// messages between the worker and the window. Then the dialog for real: the system
// platform, the real worker and the process's user-interface host, against a local server.
#include "DownloadTestSupport.h"
#include "HttpTestServer.h"
#include "LauncherTestSupport.h"
#include "TestSupport.h"

#include "CommandLine.h"
#include "InstallerCommandLine.h"
#include "LocalizedStrings.h"
#include "Settings.h"
#include "SignatureCheck.h"
#include "ZyrelDownloaderDialog.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace download_test;
using launcher_test::U;
using launcher_test::W;
using Settings_ = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

// The string table's English texts, by the resource script's ids; the dialog reads the
// real table, in English (see the fixture).
const std::map<vxn::u32, std::string> kEnglish = {
    {3, "You don't have the necessary permissions to update. Please restart the patcher with administrator "
        "privileges (error #6001)."},
    {4, "Download failed"},
    {5, "Cancel download?"},
    {6, "Downloaded file failed to execute (error #6003)"},
    {7, "Update failed"},
};

struct message_box {
    std::string text, caption;
    unsigned style = 0;
    bool operator==(const message_box&) const = default;
};

struct posted {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

ui::Window const kWindow = reinterpret_cast<ui::Window>(0x5A1);

std::string Join(const std::string& folder, const std::string& name)
{
#if defined(_WIN32)
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

std::string Line(const std::string& level, const std::string& message)
{
    return "ZyrelDownloaderDialog " + level + " " + message;
}

// The signature check's verdict on a file, as the warning shows it and the log records it.
message_box SignatureWarning(const std::string& path)
{
    return {U(SignatureWarningText(InstallerSignatureCode(W(path)))), U(LoadLocalizedString(IDS_UPDATE_FAILED)),
            ui::StyleYesNo | ui::StyleIconWarning};
}

std::string SignatureWarningLine(const std::string& path)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(InstallerSignatureCode(W(path))));
    return Line("WRN", "Signature of " + path + " not verified: " + code);
}

// Everything the dialog asks of the system, recorded; files are real.
class fake_platform : public DownloadDialogPlatform {
public:
    bool ReadSetting(const vxn::wchar* key, vxn::wstring& value) override
    {
        const auto found = settings.find(U(vxn::wstring(key)));
        value = found == settings.end() ? vxn::wstring() : W(found->second);
        return found != settings.end();
    }
    void CreateFolder(const vxn::wstring& path) override
    {
        folders_made.push_back(U(path));
        std::error_code ignored;
        std::filesystem::create_directory(U(path), ignored);
    }
    std::FILE* OpenForWriting(const vxn::wstring& path) override
    {
        opened.push_back(U(path));
        return std::fopen(U(path).c_str(), "wb");
    }
    bool StartWorker(ui::Window window, DownloadJob* job) override
    {
        EXPECT_EQ(window, kWindow);
        jobs.push_back(job);
        return thread_starts;
    }
    int ShowMessage(ui::Window owner, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                    const vxn::wstring& detail) override
    {
        details.push_back(U(detail));
        EXPECT_EQ(owner, kWindow);
        boxes.push_back({U(text), U(caption), style});
        if (while_asking)
            std::exchange(while_asking, nullptr)();
        const int answer = answers.empty() ? ((style & 0x0F) == ui::StyleYesNo ? ui::IdNo : ui::IdOk) : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    std::uintptr_t StartProgram(ui::Window owner, const vxn::wstring& file, const vxn::wstring& parameters) override
    {
        EXPECT_EQ(owner, kWindow);
        programs.push_back({U(file), U(parameters)});
        return start_result;
    }
    void SetBar(ui::Window window, BarFigure figure, int value) override
    {
        EXPECT_EQ(window, kWindow);
        (figure == BarFigure::Maximum ? maxima : positions).push_back(value);
    }
    bool PostToDialog(ui::Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        EXPECT_EQ(window, kWindow);
        ++post_attempts;
        if (refuse_posts > 0 && refuse_posts--)
            return false;
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

    Settings_ settings;
    bool thread_starts = true;
    std::deque<int> answers;
    std::function<void()> while_asking; // runs inside the next message box, as its loop would
    std::uintptr_t start_result = 42;
    int refuse_posts = 0;

    Lines folders_made, opened;
    int post_attempts = 0, ended = 0;
    std::vector<DownloadJob*> jobs; // the dialog's, each given to a worker; kept for the process
    std::vector<message_box> boxes;
    std::vector<std::string> details; // what each box gave as its reason
    std::vector<std::pair<std::string, std::string>> programs;
    std::vector<int> maxima, positions;
    std::deque<posted> queue;
};

// One dialog on a fake platform, with its log.
struct rig {
    explicit rig(Settings_ settings) { platform.settings = std::move(settings); }
    ~rig()
    {
        for (const auto& job : platform.jobs)
            if (job->file != nullptr)
                std::fclose(job->file);
    }
    std::intptr_t send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0)
    {
        return dialog.HandleDialogMessage(kWindow, message, wParam, lParam);
    }
    rig& init()
    {
        EXPECT_EQ(send(ui::MsgInitDialog), 1);
        return *this;
    }
    // Delivers what was posted, in order, as the host's loop would.
    void pump()
    {
        while (!platform.queue.empty()) {
            const posted next = platform.queue.front();
            platform.queue.pop_front();
            EXPECT_EQ(send(next.message, next.wParam, next.lParam), 1);
        }
    }
    // The worker's last report, delivered.
    void complete(bool success, int transferCode, int httpCode)
    {
        dialog.OnDownloadComplete(success, transferCode, httpCode);
        pump();
    }
    Lines lines() const { return log.text("ZyrelDownloaderDialog"); }

    fake_platform platform;
    ZyrelDownloaderDialog dialog{platform};
    log_recorder log;
};

class DownloadDialog : public ::testing::Test {
protected:
#if !defined(_WIN32)
    // The string table in English, whatever the machine's locale (Windows follows the
    // user's interface language, which is English in the test prefix).
    zyrel_test::scoped_variable english{"LC_ALL", "C"};
#endif
    Settings_ Ordinary() const { return {{"DownloadUrl", "http://127.0.0.1:9/zyrel/live/ZyrelInstall.exe"}, {"TempDir", temp_dir}}; }
    std::string Target(const std::string& name = "ZyrelInstall.exe") const { return Join(temp_dir, name); }

    zyrel_test::temp_folder folder;
    std::string temp_dir = zyrel_test::to_utf8(folder.path() / "ZyrelDownloader-test");
};

TEST_F(DownloadDialog, BeginDownloadCutsTheQueryNamesTheFileAndFillsTheJob)
{
    rig r({{"DownloadUrl", "http://127.0.0.1:9/zyrel/live/Setup.exe?token=1&b=?2"},
           {"Proxy", "http://proxy.example:3128"},
           {"ProxyBypass", "localhost,.zyrel.example"},
           {"TempDir", temp_dir}});
    r.init();
    ASSERT_EQ(r.platform.jobs.size(), 1u);
    DownloadJob& job = *r.platform.jobs[0];
    EXPECT_EQ(r.dialog.job, &job);
    EXPECT_EQ(r.dialog.window, kWindow);
    EXPECT_EQ(U(job.url), "http://127.0.0.1:9/zyrel/live/Setup.exe");
    EXPECT_EQ(U(job.proxy), "http://proxy.example:3128");
    EXPECT_EQ(U(job.proxyBypass), "localhost,.zyrel.example");
    EXPECT_EQ(job.listener.load(), &r.dialog);
    EXPECT_EQ(U(job.targetPath), Target("Setup.exe"));
    EXPECT_NE(job.file, nullptr);
    EXPECT_TRUE(std::filesystem::is_regular_file(Target("Setup.exe")));
    EXPECT_EQ(r.platform.folders_made, Lines{temp_dir});
    EXPECT_EQ(r.platform.maxima, std::vector<int>{10000});
    EXPECT_EQ(r.platform.ended, 0);
    EXPECT_TRUE(r.platform.boxes.empty());
    EXPECT_EQ(r.lines(), (Lines{Line("INF", "Dialog initialized"), Line("INF", "Starting download thread")}));

    // The last segment, whichever separator comes last, after one trailing separator is
    // dropped; without any separator, the whole address.
    for (const auto& [url, name] : std::vector<std::pair<std::string, std::string>>{
             {"http://h/zyrel/live/", "live"},
             {"http://h/a\\b\\Setup.exe", "Setup.exe"},
             {"http://h\\a/b\\c/Setup2.exe?x", "Setup2.exe"},
             {"Setup3.exe", "Setup3.exe"},
             {"http://h/" + std::string(200, 'n'), std::string(200, 'n')},
             {"http://h/console.exe", "console.exe"},
             {"http://h/COM0", "COM0"}}) {
        rig other({{"DownloadUrl", url}, {"TempDir", temp_dir}});
        other.init();
        ASSERT_EQ(other.platform.jobs.size(), 1u) << url;
        EXPECT_EQ(U(other.platform.jobs[0]->targetPath), Target(name)) << url;
    }

    // A last segment that Windows cannot hold as a file name gives the fixed name, on both
    // systems, and the log says why: a port (an alternate data stream on NTFS), "." and
    // "..", forbidden characters, device names, a trailing dot or space, overlong names.
    for (const std::string& url : Lines{"http://127.0.0.1:8080/", "http://h/a/..", "http://h/.", "http://h/a\x01" "b.exe", "http://h/a|b.exe",
          "http://h/a\"b.exe", "http://h/a*.exe", "http://h/a<b>.exe", "http://h/nul", "http://h/CON.exe", "http://h/con.exe.zip",
          "http://h/Lpt9.tar.gz", "http://h/com1 .exe", "http://h/Setup.exe.", "http://h/Setup.exe ",
          "http://h/" + std::string(201, 'n'), "http://h/line\r\nbreak.exe"}) {
        rig other({{"DownloadUrl", url}, {"TempDir", temp_dir}});
        other.init();
        ASSERT_EQ(other.platform.jobs.size(), 1u) << url;
        EXPECT_EQ(U(other.platform.jobs[0]->targetPath), Target("ZyrelInstall.exe")) << url;
        EXPECT_TRUE(other.platform.boxes.empty()) << url;
        const Lines lines = other.lines();
        ASSERT_EQ(lines.size(), 3u) << url;
        EXPECT_EQ(lines[2].rfind(Line("INF", "The address ends in \""), 0), 0u) << lines[2];
        EXPECT_NE(lines[2].find("\", which cannot be a file name; saving as ZyrelInstall.exe"), std::string::npos)
            << lines[2];
    }
}

TEST_F(DownloadDialog, EveryRowOfTheFailureTable)
{
    const Lines opening = {Line("INF", "Dialog initialized"), Line("INF", "Starting download thread")};
    // No address, or nothing before its "?": no message box, the dialog ends.
    for (const char* url : {"", "?installer=1"}) {
        rig r({{"DownloadUrl", url}, {"TempDir", temp_dir}});
        r.init();
        EXPECT_TRUE(r.platform.boxes.empty() && r.platform.jobs.empty() && r.platform.opened.empty()) << url;
        EXPECT_EQ(r.platform.ended, 1) << url;
        EXPECT_EQ(r.platform.maxima.size(), 1u) << "the bar's range is set either way";
        Lines expected = opening;
        expected.insert(expected.end(), {Line("ERR", "BeginDownload() failed"), Line("INF", "Dialog finalizing")});
        EXPECT_EQ(r.lines(), expected);
    }

    // The target cannot be opened: the permission message, then the dialog ends.
    {
        const std::string below_a_file = zyrel_test::to_utf8(folder.write("plain-file", "x") / "sub");
        rig r({{"DownloadUrl", "http://h/Setup.exe"}, {"TempDir", below_a_file}});
        r.init();
        EXPECT_EQ(r.platform.boxes, (std::vector<message_box>{{kEnglish.at(3), kEnglish.at(4), ui::StyleIconError}}));
        EXPECT_TRUE(r.platform.jobs.empty());
        EXPECT_EQ(r.platform.ended, 1);
        Lines expected = opening;
        expected.insert(expected.end(), {Line("INF", "Failed to open " + Join(below_a_file, "Setup.exe")),
                                         Line("ERR", "BeginDownload() failed"), Line("INF", "Dialog finalizing")});
        EXPECT_EQ(r.lines(), expected);
    }

    // The download failed: the code and the status, in the user's language.
    // In the user's language: on Linux the table's other languages are a locale away.
    const struct {
        const char* locale; // LC_ALL; null for the fixture's English
        int transferCode, httpCode;
        std::string codes;
    } failures[] = {
        {nullptr, 7, 0, " Code #7 HTTP #0"},
        {nullptr, 0, 404, " Code #0 HTTP #404"},
        {nullptr, 22, 404, " Code #22 HTTP #404"},
#if !defined(_WIN32)
        {"de_DE.UTF-8", 7, 0, " Code #7 HTTP #0"},
        {"fr_FR.UTF-8", 47, 0, " Code #47 HTTP #0"},
#endif
    };
    for (const auto& failure : failures) {
        std::optional<zyrel_test::scoped_variable> language;
        if (failure.locale != nullptr)
            language.emplace("LC_ALL", failure.locale);
        const std::string failed = U(LoadLocalizedString(4));
        if (failure.locale == nullptr)
            EXPECT_EQ(failed, kEnglish.at(4));
        else
            EXPECT_NE(failed, kEnglish.at(4)) << failure.locale;
        const std::string text = failed + failure.codes;
        rig r(Ordinary());
        r.init();
        r.platform.jobs[0]->failureText = "Could not connect to server";
        r.dialog.OnDownloadComplete(false, failure.transferCode, failure.httpCode);
        ASSERT_EQ(r.platform.queue.size(), 1u);
        EXPECT_EQ(r.platform.queue[0].message, 1035u);
        EXPECT_EQ(r.platform.queue[0].wParam, 0u);
        r.pump();
        EXPECT_EQ(r.platform.boxes, (std::vector<message_box>{{text, failed, ui::StyleIconError}}));
        EXPECT_EQ(r.platform.details, Lines{"Could not connect to server"}) << "the worker's words, beside the box";
        EXPECT_EQ(r.platform.jobs[0]->file, nullptr) << "closed on completion";
        EXPECT_EQ(r.platform.jobs[0]->listener.load(), nullptr);
        EXPECT_TRUE(r.platform.programs.empty());
        EXPECT_EQ(r.platform.ended, 1);
        Lines expected = opening;
        expected.insert(expected.end(), {Line("INF", "Download thread reports completion"), Line("INF", text),
                                         Line("INF", "Dialog finalizing")});
        EXPECT_EQ(r.lines(), expected);
    }

    // The signature is not confirmed (the file is the worker's, here empty and unsigned;
    // the signature check's own tests cover its verdicts) and the user declines the
    // warning: no installer.
    {
        rig r(Ordinary());
        r.init().complete(true, 0, 200);
        EXPECT_EQ(r.platform.boxes, std::vector<message_box>{SignatureWarning(Target())});
        EXPECT_TRUE(r.platform.programs.empty());
        EXPECT_EQ(r.platform.ended, 1);
        Lines expected = opening;
        expected.insert(expected.end(), {Line("INF", "Download thread reports completion"), Line("INF", "Verifying signature"),
                                         SignatureWarningLine(Target()), Line("INF", "Verifing signature failed"),
                                         Line("INF", "Dialog finalizing")});
        EXPECT_EQ(r.lines(), expected);
        EXPECT_TRUE(std::filesystem::exists(Target())) << "the file is never deleted";
    }

    // The user accepts the warning, and the installer does not start (32 or less):
    // message 6 / 7.
    for (const std::uintptr_t result : {32u, 2u, 0u}) {
        rig r(Ordinary());
        r.platform.start_result = result;
        r.platform.answers = {ui::IdYes};
        r.init().complete(true, 0, 200);
        EXPECT_EQ(r.platform.programs.size(), 1u);
        EXPECT_EQ(r.platform.boxes, (std::vector<message_box>{SignatureWarning(Target()),
                                                              {kEnglish.at(6), kEnglish.at(7), ui::StyleIconError}}));
        EXPECT_EQ(r.platform.ended, 1);
        Lines expected = opening;
        expected.insert(expected.end(), {Line("INF", "Download thread reports completion"), Line("INF", "Verifying signature"),
                                         SignatureWarningLine(Target()), Line("INF", "Launching " + Target() + " "),
                                         Line("INF", "Dialog finalizing")});
        EXPECT_EQ(r.lines(), expected);
    }

    // The worker thread cannot be made: nothing is said, and the dialog waits for Cancel.
    rig stuck(Ordinary());
    stuck.platform.thread_starts = false;
    stuck.platform.answers = {ui::IdYes};
    stuck.init();
    EXPECT_EQ(stuck.platform.jobs.size(), 1u);
    EXPECT_TRUE(stuck.platform.boxes.empty());
    EXPECT_EQ(stuck.platform.ended, 0);
    stuck.send(ui::MsgCommand, ui::IdCancel);
    EXPECT_EQ(stuck.platform.ended, 1);
}

TEST_F(DownloadDialog, InstallerStartsWithTheOptionsInTheirOrder)
{
    const struct {
        Settings_ settings;
        std::string arguments;
    } cases[] = {
        {{}, ""},
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
        Settings_ settings = Ordinary();
        settings.insert(entry.settings.begin(), entry.settings.end());
        rig r(settings);
        r.platform.answers = {ui::IdYes}; // to the signature warning
        r.init().complete(true, 0, 204);
        ASSERT_EQ(r.platform.programs.size(), 1u);
        EXPECT_EQ(r.platform.programs[0], std::make_pair(Target(), entry.arguments));
        EXPECT_EQ(r.platform.boxes, std::vector<message_box>{SignatureWarning(Target())});
        EXPECT_EQ(r.platform.ended, 1);
        const Lines lines = r.lines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), Line("INF", "Launching " + Target() + " " + entry.arguments)),
                  lines.end());
    }
}

TEST_F(DownloadDialog, ForwardedValuesArriveAsOneUnchangedArgument)
{
    for (const auto& [value, exact] : std::vector<std::pair<std::string, std::string>>{
             {"C:\\Games\\", ""},       // a trailing backslash would escape the closing quote
             {"C:\\My Games\\", ""},    // the same with a space
             {"a\" -portable \"b", ""}, // a quote would end the value and add an option
             {"say \\\"hi\\\"", ""},    // backslashes before quotes
             {"C:\\Program Files\\Zyrel", " -existing \"C:\\Program Files\\Zyrel\" -username \"x\""},
             {"C:\\a\\b", " -existing \"C:\\a\\b\" -username \"x\""}}) {
        rig r({{"ExistingDir", value}, {"UserName", "x"}});
        const vxn::wstring text = InstallerArguments(r.platform);
        const ArgumentList arguments = SplitParameters(text.c_str());
        ASSERT_EQ(arguments.size(), 4u) << U(text);
        EXPECT_EQ(U(arguments[0]) + "|" + U(arguments[1]) + "|" + U(arguments[2]) + "|" + U(arguments[3]),
                  "-existing|" + value + "|-username|x")
            << U(text);
        EXPECT_TRUE(exact.empty() || U(text) == exact) << U(text);
    }
}

TEST_F(DownloadDialog, EmptyTempDirDownloadsIntoAFreshPrivateFolder)
{
#if defined(_WIN32)
    const char* const temp_variable = "TMP";
#else
    const char* const temp_variable = "TMPDIR";
#endif
    const std::filesystem::path temp = folder.path() / "temp";
    std::filesystem::create_directories(temp);
    std::optional<zyrel_test::scoped_variable> user_temp;
    user_temp.emplace(temp_variable, zyrel_test::to_utf8(temp).c_str());
    rig r(Settings_{{"DownloadUrl", "http://h/ZyrelInstall.exe"}});
    r.init();
    std::vector<std::filesystem::path> made;
    for (const auto& entry : std::filesystem::directory_iterator(temp))
        made.push_back(entry.path());
    ASSERT_EQ(made.size(), 1u);
    const std::string fresh = zyrel_test::to_utf8(made[0]);
    EXPECT_EQ(made[0].filename().string().rfind("ZyrelDownloader-", 0), 0u) << fresh;
    EXPECT_EQ(made[0].filename().string().size(), 16u + 36u) << fresh;
    ASSERT_EQ(r.platform.jobs.size(), 1u);
    EXPECT_EQ(U(r.platform.jobs[0]->targetPath), Join(fresh, "ZyrelInstall.exe"));
    EXPECT_TRUE(std::filesystem::is_regular_file(Join(fresh, "ZyrelInstall.exe")));

    // No folder could be made at all (the temporary folder lies below a plain file): the
    // permission message; nothing is opened at the root of the drive.
    user_temp.reset();
    user_temp.emplace(temp_variable, zyrel_test::to_utf8(folder.write("plain-file", "x") / "temp").c_str());
    rig homeless({{"DownloadUrl", "http://h/Setup.exe"}, {"TempDir", ""}});
    homeless.init();
    EXPECT_TRUE(homeless.platform.folders_made.empty());
    EXPECT_TRUE(homeless.platform.opened.empty());
    EXPECT_EQ(homeless.platform.boxes, (std::vector<message_box>{{kEnglish.at(3), kEnglish.at(4), ui::StyleIconError}}));
    EXPECT_EQ(homeless.platform.ended, 1);
}

TEST_F(DownloadDialog, ProgressAndCompletionTravelAsPostedMessages)
{
    rig r(Ordinary());
    r.init();
    for (const double percent : {42.579, 1.0, 100.0, std::nan(""), -3.0, 250.0})
        r.dialog.OnDownloadProgress(percent);
    std::vector<std::uintptr_t> sent;
    for (const posted& p : r.platform.queue) {
        EXPECT_EQ(p.message, 1034u);
        EXPECT_EQ(p.lParam, 0);
        sent.push_back(p.wParam);
    }
    EXPECT_EQ(sent, (std::vector<std::uintptr_t>{4257, 100, 10000, 0, 0, 10000}));
    const std::size_t before = r.lines().size();
    r.pump();
    EXPECT_EQ(r.platform.positions, (std::vector<int>{4257, 100, 10000, 0, 0, 10000}));
    const Lines lines = r.lines();
    EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
              (Lines{Line("DBG", "Progress: 42%"), Line("DBG", "Progress: 1%"), Line("DBG", "Progress: 100%"),
                     Line("DBG", "Progress: 0%"), Line("DBG", "Progress: 0%"), Line("DBG", "Progress: 100%")}));

    // The completion's packing: the code in the upper 16 bits, sign-extended when unpacked.
    EXPECT_EQ(PackCompletion(7, 0), 7 << 16);
    EXPECT_EQ(PackCompletion(0, 404), 404);
    EXPECT_EQ(CompletionTransferCode(PackCompletion(-1, 200)), -1);
    EXPECT_EQ(CompletionHttpCode(PackCompletion(-1, 200)), 200);
    EXPECT_EQ(CompletionTransferCode(PackCompletion(0x7FFF, 0xFFFF)), 0x7FFF);
    EXPECT_EQ(CompletionHttpCode(PackCompletion(0x7FFF, 0xFFFF)), 0xFFFF);

    // A refused completion is posted again until it is taken.
    r.platform.refuse_posts = 3;
    const int attempts = r.platform.post_attempts;
    r.dialog.OnDownloadComplete(false, 7, 0);
    EXPECT_EQ(r.platform.post_attempts - attempts, 4);
    ASSERT_EQ(r.platform.queue.size(), 1u);
    EXPECT_EQ(r.platform.queue[0].message, 1035u);
    EXPECT_EQ(r.platform.queue[0].lParam, 7 << 16);

    // Other messages are left to the host; a command other than Cancel does nothing.
    EXPECT_EQ(r.send(0x000F), 0);
    EXPECT_EQ(r.send(ui::MsgCommand, ui::IdOk), 1);
    EXPECT_TRUE(r.platform.boxes.empty());
}

TEST_F(DownloadDialog, CancelAsksAndEndsOnlyOnYes)
{
    rig r(Ordinary());
    r.init();
    r.platform.answers = {ui::IdNo, ui::IdYes};
    EXPECT_EQ(r.send(ui::MsgCommand, ui::IdCancel), 1);
    EXPECT_EQ(r.platform.boxes, (std::vector<message_box>{{kEnglish.at(5), kEnglish.at(5), ui::StyleYesNo}}));
    EXPECT_EQ(r.platform.ended, 0);
    EXPECT_EQ(r.platform.jobs[0]->listener.load(), &r.dialog) << "No leaves the download running";
    r.dialog.OnDownloadProgress(12.5);
    r.pump();
    EXPECT_EQ(r.platform.positions, std::vector<int>{1250});

    r.send(ui::MsgCommand, ui::IdCancel);
    EXPECT_EQ(r.platform.ended, 1);
    EXPECT_EQ(r.platform.jobs[0]->listener.load(), nullptr) << "the worker is detached";
    EXPECT_NE(r.platform.jobs[0]->file, nullptr) << "the worker may still write; the file stays open";
    EXPECT_EQ(r.lines().back(), Line("INF", "Dialog finalizing"));

    // A report that still reaches the ended dialog goes nowhere, and a refused completion
    // is not retried for ever.
    const int attempts = r.platform.post_attempts;
    r.dialog.OnDownloadProgress(50.0);
    r.dialog.OnDownloadComplete(true, 0, 200);
    EXPECT_EQ(r.platform.post_attempts - attempts, 2);
    EXPECT_TRUE(r.platform.queue.empty());
}

TEST_F(DownloadDialog, CompletionWhileTheCancelQuestionIsOpenIsHandledAtOnce)
{
    rig r(Ordinary());
    r.init();
    r.platform.answers = {ui::IdYes, ui::IdYes}; // the signature warning's, then the question's
    // The message box runs its own loop, which delivers the worker's completion.
    r.platform.while_asking = [&r] { r.complete(true, 0, 200); };
    r.send(ui::MsgCommand, ui::IdCancel);
    EXPECT_EQ(r.platform.programs.size(), 1u) << "the installer started from inside the question";
    EXPECT_EQ(r.platform.ended, 2) << "Yes ends the already ending dialog again, to no effect";
    EXPECT_EQ(r.lines().back(), Line("INF", "Dialog finalizing"));
}

TEST_F(DownloadDialog, TemplateFollowsSelfUpdateMode)
{
    rig ordinary(Ordinary());
    EXPECT_EQ(DownloadDialogTemplate(ordinary.platform), 101);
    rig update(Settings_{{"SelfUpdate", "false"}});
    EXPECT_EQ(DownloadDialogTemplate(update.platform), 103);
}


// The system platform with the installer's start and the questions recorded, and a user
// who accepts the signature warning; the rest (settings, files, worker, the signature
// check, the user-interface host) is real.
class recording_system_platform : public SystemDownloadDialogPlatform {
public:
    int ShowMessage(ui::Window, const vxn::wstring& text, const vxn::wstring& caption, unsigned style,
                    const vxn::wstring&) override
    {
        boxes.push_back({U(text), U(caption), style});
        return ui::IdYes;
    }
    std::uintptr_t StartProgram(ui::Window, const vxn::wstring& file, const vxn::wstring& parameters) override
    {
        programs.push_back({U(file), U(parameters)});
        return 42;
    }
    std::vector<message_box> boxes;
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
    EXPECT_EQ(platform.boxes, std::vector<message_box>{SignatureWarning(target)}) << "the test file is unsigned";
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

#if !defined(_WIN32)
// (On Windows the warning is a real message box that waits for a user; the end-to-end
// test of the Windows program answers it there.)
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
#endif

} // namespace

#if !defined(_WIN32)
namespace {

// The same over HTTPS (openssl s_server, no length, so no percentage): the process ends
// while the worker is inside a TLS read (after a cancel) or still closing its connection
// (after a completed download), and the TLS library must still be there for it. A race,
// so several rounds.
TEST(DownloadDialogProcess, CancelDuringATlsTransferEndsCleanly)
{
    zyrel_test::temp_folder folder;
    const auto openssl = zyrel_test::run_child("/usr/bin/openssl",
                                               {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                                                "-days", "1", "-keyout", zyrel_test::to_utf8(folder.path() / "key.pem"),
                                                "-out", zyrel_test::to_utf8(folder.path() / "cert.pem")},
                                               {.merge_stderr = true});
    ASSERT_EQ(openssl.exit_code, 0) << openssl.output;
    folder.write("www/Setup.exe", std::string(16 * 1024 * 1024, 'z'));
    const std::uint16_t port = zyrel_test::unused_loopback_port();
    zyrel_test::child_process server(
        "/bin/sh", {"-c", "cd '" + zyrel_test::to_utf8(folder.path() / "www") + "' && exec /usr/bin/openssl s_server -quiet -WWW"
                              " -accept 127.0.0.1:" + std::to_string(port) + " -cert ../cert.pem -key ../key.pem"});
    // Ready once it accepts a connection.
    bool ready = false;
    for (int attempt = 0; attempt < 200 && !ready; ++attempt) {
        ready = zyrel_test::loopback_port_accepts(port);
        if (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_TRUE(ready);

    const std::string temp = zyrel_test::to_utf8(folder.path());
    for (int run = 0; run < 8; ++run) {
        const bool cancel = run % 2 == 0;
        zyrel_test::child_options options;
        options.environment = {"TMPDIR=" + temp, "ZYREL_UI=none"};
        options.merge_stderr = true;
        const auto result = zyrel_test::run_child(
            zyrel_test::test_program("download_dialog_run"),
            {cancel ? "cancel" : "default", "https://127.0.0.1:" + std::to_string(port) + "/Setup.exe",
             temp + "/run" + std::to_string(run)},
            options);
        EXPECT_EQ(result.exit_code, 0) << result.output;
        EXPECT_EQ(result.output.find("asked: Cancel download?") != std::string::npos, cancel) << result.output;
    }
}

} // namespace
#endif
