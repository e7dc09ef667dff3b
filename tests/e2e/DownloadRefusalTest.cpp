// The real program refusing, clearly, what it cannot save or finish: a file size limit that
// cuts the installer short, an address whose last segment Windows cannot hold as a name, a
// line break in an address, and a download folder where a link waits under the file's name.
#include "HttpTestServer.h"
#include "StartupSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using startup_test::has_line;
using startup_test::Sandbox;

#if !defined(_WIN32)
namespace {

bool has_line_starting(const std::vector<std::string>& lines, const std::string& start)
{
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0)
            return true;
    return false;
}

void write_text(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

TEST(DownloadRefusal, TheProgramNeverVerifiesOrStartsWhatItCouldNotSaveWhole)
{
    zyrel_test::http_test_server server;
    Sandbox sandbox;
    const std::string folder = (sandbox.root() / "download").string();

    // A file size limit (a full disk or a quota acts the same) below the body: the last
    // block fails when the stream is flushed, and the download fails with a write error.
    ASSERT_EQ(sandbox.run_wrapped({"prlimit", "--fsize=524288", Sandbox::program().string(), "-temp", folder,
                                   "-downloadurl", server.url("/file/700000")}),
              0)
        << sandbox.last_output();
    auto lines = sandbox.log_messages();
    EXPECT_TRUE(has_line(lines, "[INF] Download failed Code #23 HTTP #0")) << sandbox.last_output();
    // The box's text, and under it on stderr (and in the log) why, in words.
    EXPECT_NE(sandbox.last_output().find("Download failed Code #23 HTTP #0\nWriting the downloaded file failed: File too large\n"),
              std::string::npos)
        << sandbox.last_output();
    EXPECT_TRUE(has_line(lines, "[INF] Transfer error: Writing the downloaded file failed: File too large"));
    EXPECT_FALSE(has_line(lines, "[INF] Verifying signature"));
    // The same limit with writes that fail before the flush.
    ASSERT_EQ(sandbox.run_wrapped({"prlimit", "--fsize=524288", Sandbox::program().string(), "-temp", folder,
                                   "-downloadurl", server.url("/file/3000000")}),
              0);
    lines = sandbox.log_messages();
    EXPECT_TRUE(has_line(lines, "[INF] Download failed Code #23 HTTP #0")) << sandbox.last_output();
    EXPECT_FALSE(has_line(lines, "[INF] Verifying signature"));

    // "127.0.0.1:PORT" would be an alternate data stream on Windows: the fixed name, and
    // the download goes on to the signature question.
    server.publish("/", zyrel_test::http_test_server::body_bytes(5000));
    ASSERT_EQ(sandbox.run({"-temp", folder, "-downloadurl", server.url("/")}), 0);
    lines = sandbox.log_messages();
    EXPECT_TRUE(has_line(lines, "[INF] The address ends in \"" + server.authority() +
                                    "\", which cannot be a file name; saving as ZyrelInstall.exe"));
    EXPECT_EQ(zyrel_test::read_file(fs::path(folder) / "ZyrelInstall.exe"),
              zyrel_test::http_test_server::body_bytes(5000));
    EXPECT_TRUE(has_line(lines, "[INF] Verifying signature"));

    // A line break in the address cannot forge a line of the log.
    const std::string forged = "2026-12-10 03:00:00.000+00 [INF] Download complete with code 0 and httpCode 200";
    ASSERT_EQ(sandbox.run({"-temp", folder, "-downloadurl", server.url("/Setup.exe\r\n" + forged)}), 0);
    lines = sandbox.log_messages();
    EXPECT_FALSE(has_line(lines, "[INF] Download complete with code 0 and httpCode 200"));
    EXPECT_TRUE(has_line_starting(lines, "[INF] Remote url: " + server.url("/Setup.exe\\r\\n" + forged)));
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("[", 0), 0u) << "every line is a record of its own: " << line;
}

TEST(DownloadRefusal, TheTargetIsNeverOpenedThroughALink)
{
    zyrel_test::http_test_server server;
    server.publish("/Setup.exe", zyrel_test::http_test_server::body_bytes(4000));
    Sandbox sandbox;
    const fs::path folder = sandbox.root() / "shared";
    fs::create_directories(folder);
    const fs::path victim = sandbox.root() / "victim.txt";
    write_text(victim, "precious");

    // A symbolic link and a hard link planted under the installer's name: both refused
    // with the permission message, and the file they lead to is untouched.
    for (const char* kind : {"symbolic", "hard"}) {
        fs::remove(folder / "Setup.exe");
        if (std::string(kind) == "symbolic")
            fs::create_symlink(victim, folder / "Setup.exe");
        else
            fs::create_hard_link(victim, folder / "Setup.exe");
        ASSERT_EQ(sandbox.run({"-temp", folder.string(), "-downloadurl", server.url("/Setup.exe")}), 0);
        EXPECT_NE(sandbox.last_output().find("(error #6001)"), std::string::npos) << kind << sandbox.last_output();
        EXPECT_TRUE(has_line(sandbox.log_messages(), "[INF] Failed to open " + (folder / "Setup.exe").string()))
            << kind;
        EXPECT_EQ(zyrel_test::read_file(victim), "precious") << kind;
    }

    // A plain file of ours under the name is replaced, as always.
    fs::remove(folder / "Setup.exe");
    write_text(folder / "Setup.exe", "an older download");
    ASSERT_EQ(sandbox.run({"-temp", folder.string(), "-downloadurl", server.url("/Setup.exe")}), 0);
    EXPECT_EQ(zyrel_test::read_file(folder / "Setup.exe"), zyrel_test::http_test_server::body_bytes(4000));
}
#endif
