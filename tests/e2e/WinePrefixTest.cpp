// The Linux program against a real Wine prefix: one made by wineboot for this ctest run
// (scripts/lib/make-wine-prefix.sh, the WinePrefixFixture test), uninstall entries written
// into it by `wine reg add` as an installer run through wine writes them. The program must
// find the client where Wine put it and start it through wine, without downloading. The
// client is no real Windows program, so the wine it is started through is a stand-in that
// records its arguments (named by WINE); the prefix's registry and drives are Wine's own.
#include "StartupSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using startup_test::Sandbox;
using startup_test::wine_kind;

#if !defined(_WIN32)

namespace {

// The prefix of this run, or "" with the reason in `why`.
fs::path shared_prefix(std::string& why)
{
    const std::string folder = zyrel_test::variable("ZYREL_TEST_WINE_PREFIX", "");
    if (folder.empty()) {
        why = "ZYREL_TEST_WINE_PREFIX is not set: ctest's WinePrefixFixture makes the prefix";
        return fs::path();
    }
    if (fs::exists(fs::path(folder) / "no-wine")) {
        why = "wine is not installed here, so no prefix was made";
        return fs::path();
    }
    if (!fs::exists(fs::path(folder) / "ready")) {
        why = "the prefix in " + folder + " was not completed (see its wineboot.log)";
        return fs::path();
    }
    return fs::path(folder) / "prefix";
}

// Runs a shell command with wine's variables for `prefix`, Wine's output kept away from
// the test's (its background programs would hold it open); true when it succeeded.
bool run_wine(const fs::path& prefix, const std::string& command)
{
    zyrel_test::child_options options;
    options.environment = {"WINEPREFIX=" + prefix.string(), "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml=",
                           "DISPLAY", "WAYLAND_DISPLAY"};
    const auto result = zyrel_test::run_child("/bin/sh", {"-c", command + " </dev/null >/dev/null 2>&1"}, options);
    return result.exit_code == 0;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

// Every form an installer leaves: a trailing backslash, names outside ASCII, REG_EXPAND_SZ;
// folders and file names in another letter case than the entry writes them.
TEST(WinePrefix, FindsTheClientThatWineRegisteredAndStartsItThroughWine)
{
    std::string why;
    const fs::path prefix = shared_prefix(why);
    if (prefix.empty())
        GTEST_SKIP() << why;

    struct Entry {
        std::string suffix;
        const char* type;
        std::string location; // as the installer writes it
        fs::path on_disk;     // below drive_c, as the files really are named
    };
    const std::string pid = std::to_string(::getpid());
    const std::vector<Entry> entries = {
        {"L" + pid, "REG_SZ", "C:\\Program Files\\Zyrel Loop " + pid + "\\",
         fs::path("Program Files") / ("zyrel loop " + pid) / ("zyrelclientl" + pid + ".exe")},
        {"U" + pid, "REG_SZ", "C:\\Spiele " + pid + "\\Zyrel Spi\xC3\xA9l\xC3\xA9 \xC3\x84rger",
         fs::path("SPIELE " + pid) / "zyrel SPI\xC3\x89L\xC3\x89 \xC3\xA4rger" / ("ZyrelClientU" + pid + ".exe")},
        {"E" + pid, "REG_EXPAND_SZ", "C:\\Zyrel Expand " + pid + "\\",
         fs::path("Zyrel Expand " + pid) / ("ZYRELCLIENTE" + pid + ".EXE")},
    };
    std::string commands = "set -e";
    for (const Entry& entry : entries)
        commands += "; wine reg add " +
                    quoted("HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel" +
                           entry.suffix) +
                    " /v InstallLocation /t " + entry.type + " /d " + quoted(entry.location) + " /f /reg:64";
    // The entries reach system.reg when the server ends.
    ASSERT_TRUE(run_wine(prefix, commands + "; wineserver -w")) << commands;

    const fs::path drive_c = fs::canonical(prefix / "drive_c");
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.location);
        fs::create_directories((drive_c / entry.on_disk).parent_path());
        std::ofstream(drive_c / entry.on_disk, std::ios::binary) << "MZ\x90\x00 a Windows client, as far as Linux knows";

        Sandbox box;
        const fs::path program =
            box.program_with_configuration("[Downloader]\r\nDownloadUrl=?\r\nAppSuffix=" + entry.suffix + "\r\n");
        if (program.empty())
            GTEST_SKIP() << "no way to replace the embedded configuration here";
        box.use_prefix(prefix);
        box.use_wine(wine_kind::by_variable);
        EXPECT_EQ(box.run({}, program), 0);
        ASSERT_TRUE(box.wait_for_records(1, 30000)) << box.last_output();
        const auto records = box.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].program, box.wine_variable().string());
        EXPECT_EQ(records[0].arguments, std::vector<std::string>{(drive_c / entry.on_disk).string()});
        EXPECT_EQ(records[0].wine_prefix, prefix.string()) << "the environment passes on as it is";
        const auto log = box.log_messages();
        EXPECT_TRUE(startup_test::has_line(log, "[INF] Launching " + (drive_c / entry.on_disk).string()));
        EXPECT_TRUE(startup_test::has_line(log, "[INF] Running " + (drive_c / entry.on_disk).string() + " through " +
                                                    box.wine_variable().string() + " in the Wine prefix " +
                                                    prefix.string()));
        EXPECT_TRUE(box.relaunch_folders().empty()) << "nothing is downloaded";
    }
}

#endif
