// The start-up sequence, run black-box: the real ZyrelDownloader in a sandbox of its own
// (temporary folder, working folder, Wine prefix), with a fake client that
// records how it was started.
#include "HttpTestServer.h"
#include "StartupSandbox.h"
#include "../launcher/LocalizedExpectations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using startup_test::Sandbox;
using startup_test::has_line;
using startup_test::wine_kind;

namespace {

const char* const kStart = "[INF] ZyrelDownloader starting up";
const char* const kShutdown = "[INF] ZyrelDownloader shutting down";
const char* const kLaunchFailed = "[ERR] Failed to launch Zyrel executable";

#if !defined(_WIN32)
std::string utf8(const char16_t* text)
{
    return zyrel_test::to_utf8(vxn::wstring(reinterpret_cast<const vxn::wchar*>(text)));
}
#endif

std::string client_path(const fs::path& folder, const std::string& name = "ZyrelClient.exe")
{
    return startup_test::join(folder.string(), name);
}

} // namespace

#if !defined(_WIN32)
// Every way to an installed client: the uninstall entry, -existing, the current folder,
// the suffix of the embedded configuration; and the ways a start fails.
TEST(Startup, StartsAnInstalledClientOrFallsBackToTheDownload)
{
    {
        Sandbox box;
        const fs::path installed = box.root() / "Program Files" / "Zyrel";
        box.place_client(installed);
        box.install("", installed);
        EXPECT_EQ(box.run({}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        const auto records = box.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].program, client_path(installed));
        EXPECT_TRUE(records[0].arguments.empty());
        EXPECT_EQ(fs::path(records[0].cwd), box.work());
        EXPECT_TRUE(records[0].descriptors.empty()) << "inherited descriptors: " << records[0].descriptors.size();
        EXPECT_EQ(records[0].replaced_mark, "<unset>");
        const auto log = box.log_messages();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), kStart);
        EXPECT_EQ(log.back(), "[INF] Launching " + client_path(installed));
        EXPECT_FALSE(has_line(log, kShutdown));
        EXPECT_TRUE(box.relaunch_folders().empty());
    }
    {
        // -existing beats the uninstall entry; the current folder counts as the default.
        Sandbox box;
        const fs::path chosen = box.root() / "portable copy";
        box.place_client(chosen);
        box.place_client(box.work());
        EXPECT_EQ(box.run({"-existing", chosen.string()}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        ASSERT_EQ(box.records().size(), 1u);
        EXPECT_EQ(box.records()[0].program, client_path(chosen));
    }
    {
        Sandbox box;
        box.place_client(box.work());
        EXPECT_EQ(box.run({}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        ASSERT_EQ(box.records().size(), 1u);
        EXPECT_EQ(box.log_messages().back(), "[INF] Launching " + client_path(".") );
    }
    {
        // The suffix comes from the embedded configuration and names both the entry and
        // the file.
        Sandbox box;
        const fs::path program = box.program_with_configuration("[Downloader]\r\nDownloadUrl=?\r\nAppSuffix=X\r\n");
        if (program.empty())
            GTEST_SKIP() << "no way to replace the embedded configuration here";
        const fs::path installed = box.root() / "ZyrelX";
        box.place_client(installed, "ZyrelClientX.exe");
        box.place_client(installed, "ZyrelClient.exe");
        box.install("X", installed);
        EXPECT_EQ(box.run({}, program), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        ASSERT_EQ(box.records().size(), 1u);
        EXPECT_EQ(box.records()[0].program, client_path(installed, "ZyrelClientX.exe"));
    }
    {
        // An entry whose folder holds no client: the failure is logged and the download
        // path runs (here in this process, as -temp is given).
        Sandbox box;
        box.install("", box.root() / "gone");
        EXPECT_EQ(box.run({"-temp", (box.tmp() / "dl").string(), "-downloadurl", "?"}), 0);
        const auto log = box.log_messages();
        EXPECT_TRUE(box.records().empty());
        EXPECT_TRUE(has_line(log, "[INF] Launching " + client_path(box.root() / "gone")));
        EXPECT_TRUE(has_line(log, kLaunchFailed));
        EXPECT_EQ(log.back(), kShutdown);
    }
    {
        // A Windows client runs through the wine on PATH; a file that is neither a Windows
        // program nor executable is a failed start.
        Sandbox box;
        const fs::path installed = box.root() / "wine client";
        fs::create_directories(installed);
        std::ofstream(installed / "ZyrelClient.exe", std::ios::binary) << "MZ\x90\x00 not really a program";
        box.install("", installed);
        EXPECT_EQ(box.run({}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        ASSERT_EQ(box.records().size(), 1u);
        EXPECT_EQ(box.records()[0].program, (box.root() / "bin" / "wine").string());
        EXPECT_EQ(box.records()[0].arguments, std::vector<std::string>{client_path(installed)});

        Sandbox plain;
        const fs::path other = plain.root() / "text";
        fs::create_directories(other);
        std::ofstream(other / "ZyrelClient.exe") << "#!/bin/sh\necho not executable\n";
        plain.install("", other);
        EXPECT_EQ(plain.run({"-temp", (plain.tmp() / "dl").string(), "-downloadurl", "?"}), 0);
        EXPECT_TRUE(has_line(plain.log_messages(), kLaunchFailed));
    }
}

// A Windows client installed into the prefix's drive C: is found in whatever letter case
// its folder and file have on disk, and runs through wine: the program WINE names, else the
// `wine` on PATH, with the environment (the prefix among it) as it is; the log says which.
TEST(Startup, WindowsClientRunsThroughWineInTheUsersPrefix)
{
    struct Way {
        wine_kind kind;
        const char* wine_variable; // set after the kind's own, when not null
        bool through_variable;     // the stand-in that WINE names runs it, else the one on PATH
    };
    for (const Way way : {Way{wine_kind::on_path, nullptr, false}, Way{wine_kind::by_variable, nullptr, true},
                          Way{wine_kind::on_path, "WINE=wine", false} /* a name: looked up on PATH */}) {
        Sandbox box;
        box.use_wine(way.kind);
        if (way.wine_variable != nullptr)
            box.add_variable(way.wine_variable);
        const fs::path drive_c = fs::canonical(box.prefix() / "drive_c");
        const fs::path client = drive_c / "Program Files" / "zyrel loop" / "zyrelclient.exe";
        fs::create_directories(client.parent_path());
        std::ofstream(client, std::ios::binary) << "MZ\x90\x00 not really a program";
        box.install_location("", "C:\\Program Files\\Zyrel Loop\\");
        EXPECT_EQ(box.run({}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        const auto records = box.records();
        ASSERT_EQ(records.size(), 1u);
        const fs::path wine = way.through_variable ? box.wine_variable() : box.wine_on_path();
        EXPECT_EQ(records[0].program, wine.string());
        EXPECT_EQ(records[0].arguments, std::vector<std::string>{client.string()});
        EXPECT_EQ(records[0].wine_prefix, box.prefix().string());
        EXPECT_EQ(fs::path(records[0].cwd), box.work());
        const auto log = box.log_messages();
        EXPECT_TRUE(has_line(log, "[INF] Launching " + client.string()));
        EXPECT_EQ(log.back(), "[INF] Running " + client.string() + " through " + wine.string() + " in the Wine prefix " +
                                  box.prefix().string());
    }
}

// Without a wine program the installer could never run, so a run that would download says
// so before it fetches anything, in the user's language; an installed Windows client is
// still tried first (a failed start) and the run goes on to that message.
TEST(Startup, WithoutWineNothingIsDownloaded)
{
    zyrel_test::http_test_server server;
    server.publish("/ZyrelInstall.exe", "MZ an installer");
    const std::string url = server.url("/ZyrelInstall.exe");
    const std::string message = "[INF] Message \"" + utf8(localized_test::kStrings[1].text[localized_test::English]) +
                                "\": " + utf8(localized_test::kStrings[6].text[localized_test::English]);
    const char* const refused = "[ERR] No wine program found: the installer could not run, nothing is downloaded";
    {
        Sandbox box;
        box.use_wine(wine_kind::none);
        box.add_variable("LANG=C");
        EXPECT_EQ(box.run({"-downloadurl", url}), 0);
        const auto log = box.log_messages();
        EXPECT_TRUE(has_line(log, refused));
        EXPECT_TRUE(has_line(log, message));
        EXPECT_EQ(log.back(), kShutdown);
        EXPECT_NE(box.last_output().find(utf8(localized_test::kStrings[6].text[localized_test::English])),
                  std::string::npos)
            << "shown on stderr without a desktop or terminal: " << box.last_output();
        EXPECT_TRUE(box.relaunch_folders().empty()) << "not even the relaunch";
    }
    for (const int language : {localized_test::German, localized_test::French}) {
        Sandbox box;
        box.use_wine(wine_kind::none);
        box.add_variable(language == localized_test::German ? "LANG=de_DE.UTF-8" : "LANG=fr_FR.UTF-8");
        box.add_variable("LC_ALL");
        box.add_variable("LC_MESSAGES");
        EXPECT_EQ(box.run({"-temp", (box.tmp() / "dl").string(), "-downloadurl", url}), 0);
        EXPECT_NE(box.last_output().find(utf8(localized_test::kStrings[6].text[language])), std::string::npos)
            << box.last_output();
        EXPECT_FALSE(fs::exists(box.tmp() / "dl" / "ZyrelInstall.exe")) << "the copy with -temp refuses too";
    }
    {
        Sandbox box;
        box.use_wine(wine_kind::none);
        const fs::path installed = box.root() / "wine client";
        fs::create_directories(installed);
        std::ofstream(installed / "ZyrelClient.exe", std::ios::binary) << "MZ\x90\x00 not really a program";
        box.install("", installed);
        EXPECT_EQ(box.run({"-downloadurl", url}), 0);
        const auto log = box.log_messages();
        EXPECT_TRUE(has_line(log, "[INF] Launching " + client_path(installed)));
        EXPECT_TRUE(has_line(log, kLaunchFailed));
        EXPECT_TRUE(has_line(log, refused));
        EXPECT_EQ(log.back(), kShutdown);
        EXPECT_TRUE(box.records().empty());
    }
    {
        // WINE decides when it is set, even where a wine is on PATH.
        Sandbox box;
        box.add_variable("WINE=" + (box.root() / "no such wine").string());
        EXPECT_EQ(box.run({"-temp", (box.tmp() / "dl").string(), "-downloadurl", url}), 0);
        EXPECT_TRUE(has_line(box.log_messages(), refused));
    }
    EXPECT_TRUE(server.requests().empty()) << "nothing was downloaded";

    // With wine, the same run downloads.
    Sandbox box;
    EXPECT_EQ(box.run({"-temp", (box.tmp() / "dl").string(), "-downloadurl", url}), 0);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(has_line(box.log_messages(), refused));
}

// -selfupdate never starts a client, even an installed one. (The program waits for its
// parent in this mode, so a fake parent starts it: never the test itself.)
TEST(Startup, SelfUpdateNeverStartsTheClient)
{
    Sandbox box;
    const fs::path installed = box.root() / "Zyrel";
    box.place_client(installed);
    box.install("", installed);
    box.place_client(box.work());
    auto run = box.start_parent("exit-after-start", {"-selfupdate", "-temp", (box.tmp() / "dl").string(), "-downloadurl", "?"});
    EXPECT_EQ(run->parent.finish(), 0);
    ASSERT_TRUE(box.wait_for_log_line(kShutdown, 30000));
    EXPECT_TRUE(box.records().empty());
    const auto log = box.log_messages();
    EXPECT_EQ(log.front(), kStart);
    EXPECT_EQ(log.back(), kShutdown);
    for (const std::string& line : log)
        EXPECT_EQ(line.find("Launching"), std::string::npos) << line;
}

// The relaunch, traced: the first instance replaces itself with a copy of the same name in
// a new private folder, and the copy receives exactly the arguments plus -temp.
TEST(Startup, RelaunchesFromAPrivateCopyWithTheSameArguments)
{
    Sandbox box("tmp with \"quote\" and space");
    const fs::path program = box.copy_program("MyDownloader");
    const std::vector<std::string> arguments = {
        "-language", "de", "-username", "J\xC3\xBCrgen \"the\" user", "", "tab\there", "trail\\",
        "-proxy", "C:\\Proxy Folder\\", "-downloadurl", "?"};
    const auto execs = box.trace_execs(program, arguments);
    ASSERT_EQ(execs.size(), 2u) << "the first instance and its copy";
    const std::regex folder_name("ZyrelDownloader-[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    const fs::path copy(execs[1].exe);
    const fs::path folder = copy.parent_path();
    EXPECT_EQ(copy.filename(), "MyDownloader");
    EXPECT_EQ(folder.parent_path(), box.tmp());
    EXPECT_TRUE(std::regex_match(folder.filename().string(), folder_name)) << folder;
    struct stat facts;
    ASSERT_EQ(stat(folder.c_str(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 07777, 0700u);
    std::vector<std::string> expected = {copy.string()};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    expected.push_back("-temp");
    expected.push_back(folder.string());
    EXPECT_EQ(execs[1].argv, expected);
    EXPECT_EQ(execs[0].pid, execs[1].pid) << "the copy replaces the first instance";

    // The copy logs as a run of its own, and goes to the download.
    const auto log = box.log_messages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), kStart);
    EXPECT_EQ(log.back(), kShutdown);

    // A second relaunch gets a folder of its own.
    const auto again = box.trace_execs(program, {"-downloadurl", "?"});
    ASSERT_EQ(again.size(), 2u);
    EXPECT_NE(fs::path(again[1].exe).parent_path(), folder);
    EXPECT_EQ(box.relaunch_folders().size(), 2u);

    // A value option given last without its value is not passed on: it would take the
    // appended -temp as its value, and the copy would relaunch once more (or, with -temp
    // itself, download into ./-temp/ of the current folder).
    for (const char* dangling : {"-username", "-TEMP"}) {
        const auto cut = box.trace_execs(program, {"-downloadurl", "?", "-portable", dangling});
        ASSERT_EQ(cut.size(), 2u) << dangling << ": one relaunch only";
        const fs::path copied(cut[1].exe);
        EXPECT_EQ(cut[1].argv, (std::vector<std::string>{copied.string(), "-downloadurl", "?", "-portable", "-temp",
                                                          copied.parent_path().string()}))
            << dangling;
        EXPECT_FALSE(fs::exists(box.work() / "-temp")) << dangling;
    }
}

// A shared machine: without TMPDIR, or with one that another user can rearrange, the log
// and the download folders go into a 0700 folder of the user's own under /tmp; one that
// another user planted under that name, or a link there, is never used. The runs are made
// as users that exist only here (uids of this test's own), so nothing of a real user's is
// touched.
TEST(Startup, OtherUsersCannotTakeTheLogOrTheFoldersOnASharedMachine)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "running as other users needs root";
    const unsigned base = 200000u + static_cast<unsigned>(getpid()) % 100000u * 4u;
    const unsigned user = base, other = base + 1, victim = base + 2;
    const auto own_folder = [](unsigned uid) { return fs::path("/tmp/ZyrelDownloader-" + std::to_string(uid)); };
    struct cleanup {
        std::vector<fs::path> paths;
        ~cleanup()
        {
            for (const fs::path& path : paths)
                fs::remove_all(path);
        }
    } made{{own_folder(user), own_folder(other), own_folder(victim)}};
    for (const fs::path& path : made.paths)
        fs::remove_all(path);

    Sandbox box;
    box.open_to_everyone();
    const auto run_as = [&](unsigned uid, const std::string& tmpdir) {
        zyrel_test::child_options options;
        options.environment = box.environment();
        options.environment.push_back(tmpdir.empty() ? std::string("TMPDIR") : "TMPDIR=" + tmpdir);
        options.merge_stderr = true;
        return zyrel_test::run_child("/usr/bin/setpriv",
                                     {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(uid), "--clear-groups",
                                      Sandbox::program().string(), "-downloadurl", "?"},
                                     options);
    };
    const auto owner_and_mode = [](const fs::path& path) {
        struct stat facts = {};
        return lstat(path.c_str(), &facts) == 0 ? std::make_pair(facts.st_uid, facts.st_mode & 07777)
                                                : std::make_pair(static_cast<uid_t>(-1), 0u);
    };

    // No TMPDIR: the user's own folder, made 0700, holds the log and the relaunch folder.
    EXPECT_EQ(run_as(user, "").exit_code, 0);
    EXPECT_EQ(owner_and_mode(own_folder(user)), std::make_pair(static_cast<uid_t>(user), 0700u));
    const auto log = box.log_messages(own_folder(user) / "ZyrelDownloader.log");
    ASSERT_FALSE(log.empty()) << "no log in the user's own folder";
    EXPECT_EQ(log.back(), kShutdown);
    EXPECT_EQ(owner_and_mode(own_folder(user) / "ZyrelDownloader.log"), std::make_pair(static_cast<uid_t>(user), 0600u));
    bool relaunched = false;
    for (const auto& entry : fs::directory_iterator(own_folder(user)))
        relaunched = relaunched || entry.path().filename().string().rfind("ZyrelDownloader-", 0) == 0;
    EXPECT_TRUE(relaunched) << "the relaunch folder is not in the user's own folder";

    // A TMPDIR that another user owns and anybody may write to is passed over.
    const fs::path foreign = box.root() / "foreign";
    fs::create_directory(foreign);
    ASSERT_EQ(chown(foreign.c_str(), other, other), 0);
    ASSERT_EQ(chmod(foreign.c_str(), 0777), 0);
    fs::remove(own_folder(user) / "ZyrelDownloader.log");
    EXPECT_EQ(run_as(user, foreign.string()).exit_code, 0);
    EXPECT_TRUE(fs::is_empty(foreign)) << "the program wrote into another user's folder";
    EXPECT_FALSE(box.log_messages(own_folder(user) / "ZyrelDownloader.log").empty());

    // The name planted first by another user, as a folder or as a link to one: left alone.
    fs::create_directory(own_folder(victim));
    ASSERT_EQ(chown(own_folder(victim).c_str(), other, other), 0);
    ASSERT_EQ(chmod(own_folder(victim).c_str(), 0777), 0);
    run_as(victim, "");
    EXPECT_TRUE(fs::is_empty(own_folder(victim))) << "the program used a folder another user planted";
    fs::remove_all(own_folder(victim));
    fs::create_directory_symlink(foreign, own_folder(victim));
    run_as(victim, "");
    EXPECT_TRUE(fs::is_empty(foreign)) << "the program followed a planted link";
}

// When the copy cannot be made or cannot run, the first instance goes on to the download
// itself; only a failed start is logged.
TEST(Startup, FailedRelaunchGoesOnInTheFirstProcess)
{
    {
        Sandbox box;
        // The temporary folder is a file: no folder, no copy, no log.
        std::ofstream(box.root() / "not a folder") << "x";
        const auto execs = box.trace_execs(box.program(), {"-downloadurl", "?"},
                                           {"TMPDIR=" + (box.root() / "not a folder").string()});
        EXPECT_EQ(execs.size(), 1u);
        EXPECT_TRUE(box.relaunch_folders().empty());
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "a noexec mount needs root";
    Sandbox box;
    // The copy is made on a noexec file system, so its start fails. The mount lives in a
    // namespace of its own and goes with it, so the log is kept beside it first.
    const std::string script = "mount -t tmpfs -o noexec,size=64m tmpfs \"$1\" || exit 99; dir=$1; shift; \"$@\"; "
                               "code=$?; cp \"$dir/ZyrelDownloader.log\" \"$dir/../noexec.log\"; "
                               "ls \"$dir\" > \"$dir/../noexec.list\"; exit $code";
    const int result = box.run_wrapped({"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh",
                                        box.tmp().string(), box.program().string(), "-downloadurl", "?"});
    if (result == 99)
        GTEST_SKIP() << "mounting is not allowed here";
    EXPECT_EQ(result, 0) << box.last_output();
    const auto log = box.log_messages(box.root() / "noexec.log");
    EXPECT_TRUE(has_line(log, "[ERR] Failed to launch child ZyrelDownloader executable"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), kShutdown) << "the first instance went on itself";
    EXPECT_NE(zyrel_test::read_file(box.root() / "noexec.list").find("ZyrelDownloader-"), std::string::npos);
}

// The self-update handoff against real parents, all at once: each scenario takes up to 16
// seconds of the program's own waiting. Only a parent that runs the client (a copy of the
// fake parent named ZyrelClient.exe) is waited for and escalated against; a parent of any
// other name, and the subreaper that adopts the program when its starter exits at once, is
// named in the log and left alone, and the program goes on at once.
TEST(SelfUpdate, WaitsAndEscalatesOnlyForTheClientWhileItLives)
{
    struct scenario {
        std::string mode;
        bool client;
        std::unique_ptr<Sandbox> box;
        std::unique_ptr<startup_test::parent_run> run;
    };
    std::vector<scenario> scenarios;
    const bool root = geteuid() == 0;
    const std::vector<std::pair<const char*, bool>> modes = {
        {"exit-when-waited", true}, {"term-exits", true}, {"term-ignored", true}, {"survivor", true},
        {"exit-after-start", true}, {"term-ignored", false}, {"subreaper", false}};
    for (const auto& [mode, client] : modes) {
        if (std::string(mode) == "survivor" && !root)
            continue;
        scenario s{mode, client, std::make_unique<Sandbox>(), nullptr};
        s.box->open_to_everyone();
        const fs::path parent = client ? s.box->client_parent() : fs::path();
        s.run = s.box->start_parent(mode, {"-selfupdate", "-temp", (s.box->tmp() / "dl").string(), "-downloadurl", "?"},
                                    parent);
        scenarios.push_back(std::move(s));
    }
    for (scenario& s : scenarios) {
        SCOPED_TRACE(s.mode + (s.client ? " (client)" : " (other name)"));
        if (!s.client) {
            // Not the client: the program ends by itself while the parent still runs, which it
            // never would after a wait and a termination.
            ASSERT_TRUE(s.box->wait_for_log_line(kShutdown, 30000)) << "the program did not finish";
            const auto log = s.box->log_messages();
            const int program = std::stoi(s.run->parent.read_line());
            const int parent = static_cast<int>(s.run->parent.id());
            EXPECT_TRUE(has_line(log, "[INF] Not waiting for parent process " + std::to_string(parent) +
                                          " (fake_parent): not the Zyrel client"));
            for (const std::string& line : log)
                EXPECT_EQ(line.find("Waiting for parent process"), std::string::npos) << line;
            if (s.mode == "term-ignored") {
                const std::string stat = zyrel_test::read_file("/proc/" + std::to_string(parent) + "/stat");
                const std::size_t state = stat.rfind(") ");
                ASSERT_NE(state, std::string::npos);
                EXPECT_NE(stat[state + 2], 'Z') << "the parent was ended";
                kill(parent, SIGKILL);
                EXPECT_EQ(s.run->parent.finish(), 128 + SIGKILL);
            } else {
                // The subreaper reaps the program and then ends by itself.
                EXPECT_EQ(s.run->parent.finish(), 0);
            }
            EXPECT_GT(program, 0);
            EXPECT_EQ(s.run->output().find("SIGTERM"), std::string::npos) << "the parent was asked to close";
            EXPECT_EQ(log.back(), kShutdown);
            continue;
        }
        const int parent_code = s.run->parent.finish();
        const std::string parent_output = s.run->output();
        ASSERT_TRUE(s.box->wait_for_log_line(kShutdown, 30000)) << "the program did not finish";
        const auto log = s.box->log_messages();
        const std::string waiting = "[INF] Waiting for parent process " + std::to_string(s.run->parent.id()) + " to exit";
        const bool timed_out = has_line(log, "[INF] Message \"Timed out\": Timed out waiting for Zyrel to exit. "
                                             "Self-update may fail with sharing violations.");
        if (s.mode == "exit-when-waited") {
            EXPECT_TRUE(has_line(log, waiting));
            EXPECT_EQ(parent_output.find("SIGTERM"), std::string::npos) << "a parent that exits in time is left alone";
            EXPECT_EQ(parent_code, 0);
        } else if (s.mode == "term-exits") {
            EXPECT_TRUE(has_line(log, waiting));
            EXPECT_NE(parent_output.find("SIGTERM"), std::string::npos);
            EXPECT_EQ(parent_code, 15);
            EXPECT_FALSE(timed_out);
        } else if (s.mode == "term-ignored") {
            // The full escalation: the close request after 10 s, termination after 5 more.
            EXPECT_TRUE(has_line(log, waiting));
            EXPECT_NE(parent_output.find("SIGTERM"), std::string::npos);
            EXPECT_EQ(parent_code, 128 + SIGKILL);
            EXPECT_FALSE(timed_out);
            EXPECT_GE(startup_test::log_seconds(s.box->tmp() / "ZyrelDownloader.log"), 15.0);
        } else if (s.mode == "survivor") {
            // Running as another user, the program can signal nothing of ours: only the
            // message remains (on stderr and in the log without a desktop).
            EXPECT_TRUE(has_line(log, waiting));
            EXPECT_TRUE(timed_out);
            EXPECT_EQ(parent_code, 0);
        } else {
            // Gone by the time the program looks, or going while it waits: no close request
            // either way, and no escalation.
            EXPECT_EQ(parent_output.find("SIGTERM"), std::string::npos);
            EXPECT_FALSE(timed_out);
        }
        EXPECT_EQ(log.back(), kShutdown);
    }
}

namespace {
volatile sig_atomic_t g_test_terms = 0;
void count_term(int)
{
    g_test_terms = g_test_terms + 1;
}
} // namespace

// A client that dies while the program runs leaves it to an adopter: here the test itself,
// as a subreaper. The adopter is never waited for, asked to close or killed.
TEST(SelfUpdate, NeverSignalsTheProcessThatAdoptedIt)
{
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0), 0);
    struct sigaction counting = {};
    counting.sa_handler = count_term;
    struct sigaction saved = {};
    sigaction(SIGTERM, &counting, &saved);
    g_test_terms = 0;

    Sandbox box;
    auto run = box.start_parent("exit-after-start", {"-selfupdate", "-temp", (box.tmp() / "dl").string(), "-downloadurl", "?"},
                                box.client_parent());
    EXPECT_EQ(run->parent.finish(), 0);
    const int program = std::stoi(run->output());
    const bool finished = box.wait_for_log_line(kShutdown, 30000);
    // The orphan is ours now: reap it.
    int status = 0;
    for (int i = 0; i < 3000 && waitpid(program, &status, WNOHANG) == 0; ++i)
        usleep(10000);
    prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
    sigaction(SIGTERM, &saved, nullptr);

    EXPECT_TRUE(finished);
    EXPECT_EQ(g_test_terms, 0) << "the adopter received a close request";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const std::string& line : box.log_messages())
        EXPECT_EQ(line.find("Waiting for parent process " + std::to_string(getpid())), std::string::npos) << line;
}
#endif

#if defined(_WIN32)
// Windows: the client from -existing through ShellExecuteW, and the relaunch into a new
// ZyrelDownloader-<uuid> folder under the temporary folder, run by the copy.
TEST(Startup, StartsTheClientAndRelaunchesOnWindows)
{
    {
        Sandbox box;
        const fs::path chosen = box.root() / "portable copy";
        box.place_client(chosen);
        EXPECT_EQ(box.run({"-existing", "\"" + chosen.string() + "\""}), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000));
        EXPECT_EQ(box.records()[0].program, client_path(chosen));
        EXPECT_EQ(box.log_messages().back(), "[INF] Launching " + client_path(chosen));
    }
    {
        Sandbox box;
        EXPECT_EQ(box.run({"-downloadurl", "?"}), 0);
        ASSERT_TRUE(box.wait_for_log_line(kShutdown, 30000)) << "the copy did not run";
        const auto folders = box.relaunch_folders();
        ASSERT_EQ(folders.size(), 1u);
        const std::regex folder_name("ZyrelDownloader-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
        EXPECT_TRUE(std::regex_match(folders[0].filename().string(), folder_name)) << folders[0];
        EXPECT_TRUE(fs::exists(folders[0] / box.program().filename()));
    }
}

// Windows: only a parent that runs the client, or a program of this program's own file
// name (an earlier instance that relaunched), is waited for; any other is named in the log
// and the program goes on at once. Names compare without regard to case.
TEST(SelfUpdate, WaitsOnlyForTheClientOnWindows)
{
    struct scenario {
        std::string parent_name; // empty: the fake parent under its own name
        bool waited;
    };
    for (const scenario& s : {scenario{"ZyrelClient.exe", true}, scenario{"zyrelCLIENT.EXE", true},
                              scenario{Sandbox::program().filename().string(), true}, scenario{"", false}}) {
        SCOPED_TRACE(s.parent_name);
        Sandbox box;
        const fs::path parent = s.parent_name.empty() ? fs::path() : box.client_parent(s.parent_name);
        // The parent lives until the program has decided: until it waits for the parent,
        // or, when it does not, until it has finished (which it could not have while waiting).
        auto run = box.start_parent("exit-when-waited",
                                    {"-selfupdate", "-temp", (box.tmp() / "dl").string(), "-downloadurl", "?"}, parent);
        EXPECT_FALSE(run->parent.read_line().empty());
        const std::string id = std::to_string(run->parent.id());
        ASSERT_TRUE(box.wait_for_log_line(kShutdown, 60000)) << "the program did not finish";
        EXPECT_EQ(run->parent.finish(), 0);
        const auto log = box.log_messages();
        EXPECT_EQ(has_line(log, "[INF] Waiting for parent process " + id + " to exit"), s.waited);
        EXPECT_EQ(has_line(log, "[INF] Not waiting for parent process " + id + " (fake_parent.exe): not the Zyrel client"),
                  !s.waited);
        EXPECT_EQ(log.back(), kShutdown);
    }
}
#endif
