// The Linux program as a Unix command: --help, -h and --version, run black-box. They answer
// on stdout and leave nothing behind (no log, no relaunch folder), and only as the one
// argument: among other arguments they are ignored, as on Windows.
#include "StartupSandbox.h"

#include "ZyrelVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#if !defined(_WIN32)
namespace fs = std::filesystem;
using startup_test::Sandbox;

namespace {

struct answer {
    int exit_code;
    std::string out; // stdout alone: stderr goes to the test's own
};

answer ask(const Sandbox& sandbox, const std::vector<std::string>& arguments)
{
    zyrel_test::child_options options;
    options.environment = sandbox.environment();
    const zyrel_test::child_result result = zyrel_test::run_child(Sandbox::program(), arguments, options);
    return {result.exit_code, result.output};
}

const char* const kOptionNames[] = {"existing", "temp",    "language",   "username", "downloadurl",
                                    "proxy",    "proxybypass", "singlegame", "installgame", "depot",
                                    "selfupdate", "debug", "portable",   "steam",    "automatic"};

} // namespace

TEST(UnixCommand, HelpAndVersionAnswerOnStdoutAndLeaveNothingBehind)
{
    Sandbox sandbox;

    const answer version = ask(sandbox, {"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, std::string("ZyrelDownloader ") + ZYREL_VERSION_TEXT + "\n");
    EXPECT_TRUE(std::regex_match(version.out, std::regex("ZyrelDownloader [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;

    const answer help = ask(sandbox, {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(ask(sandbox, {"-h"}).out, help.out);
    const std::vector<std::string> lines = zyrel_test::lines_of(help.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Usage: ZyrelDownloader [OPTION]...");
    // Every option on a line of its own, and every line fits a terminal.
    for (const char* name : kOptionNames) {
        const std::regex line("  -" + std::string(name) + "( [A-Z\\[\\]:]+)? +[a-z].*");
        int found = 0;
        for (const std::string& candidate : lines)
            found += std::regex_match(candidate, line) ? 1 : 0;
        EXPECT_EQ(found, 1) << "-" << name << " in\n" << help.out;
    }
    for (const std::string& text : lines)
        EXPECT_LE(text.size(), 80u) << text;
    EXPECT_NE(help.out.find("  --version "), std::string::npos);

    // No log file and no ZyrelDownloader-<uuid> folder: nothing was started.
    EXPECT_TRUE(fs::is_empty(sandbox.tmp()));

    // An answer that cannot be written is a failure, as for any Unix command.
    zyrel_test::child_options options;
    options.environment = sandbox.environment();
    const auto full = zyrel_test::run_child("/bin/sh", {"-c", "\"$0\" --version >/dev/full", Sandbox::program().string()}, options);
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_TRUE(fs::is_empty(sandbox.tmp()));
}

TEST(UnixCommand, AmongOtherArgumentsTheWordsAreIgnoredLikeOnWindows)
{
    Sandbox sandbox;
    const fs::path client = sandbox.place_client(sandbox.root() / "installed");

    // The start-up sequence runs: the installed client starts, and the log says so.
    EXPECT_EQ(sandbox.run({"--version", "-existing", client.parent_path().string()}), 0);
    EXPECT_EQ(sandbox.last_output().find("ZyrelDownloader 1"), std::string::npos) << sandbox.last_output();
    ASSERT_EQ(sandbox.records().size(), 1u);
    EXPECT_EQ(sandbox.records()[0].program, client.string());
    EXPECT_TRUE(fs::exists(sandbox.tmp() / "ZyrelDownloader.log"));

    // A capital or a single dash for --version is not the word either.
    for (const char* other : {"--VERSION", "-version", "--Help", "-help"}) {
        const answer reply = ask(sandbox, {other, "-existing", client.parent_path().string()});
        EXPECT_EQ(reply.exit_code, 0);
        EXPECT_EQ(reply.out.find("ZyrelDownloader"), std::string::npos) << other;
    }
    EXPECT_EQ(sandbox.records().size(), 5u);
}
#else
TEST(UnixCommand, NotAnsweredByTheWindowsProgram)
{
    GTEST_SKIP() << "the Windows GUI program has no console: --help and --version are ignored arguments there";
}
#endif
