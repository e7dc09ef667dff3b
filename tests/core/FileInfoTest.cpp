// FileInfo::Query: facts about files and directories, "missing" told apart from "cannot be
// reached", and the identity that recognises one file under two names.
#include "FileInfo.h"
#include "ReadFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using zyrel_test::to_wide;

VXN::FileInfo queried(const fs::path& path)
{
    VXN::FileInfo info(to_wide(path));
    EXPECT_EQ(info.Query().status, VXN::Result::Success) << path;
    return info;
}

} // namespace

TEST(FileInfoQuery, FileReportsSizeTimesAndIdentity)
{
    zyrel_test::temp_folder temp;
    const std::uint64_t before = VXN::DateTime::Now().UtcTicks();
    const fs::path file = temp.write("data Ü.bin", std::string(12345, 'z'));
    const std::uint64_t after = VXN::DateTime::Now().UtcTicks();

    VXN::FileInfo info(to_wide(file));
    EXPECT_FALSE(info.queried);
    EXPECT_EQ(info.size, 0u);
    EXPECT_EQ(info.lastWriteTime.UtcTicks(), 0u);
    ASSERT_EQ(info.Query().status, VXN::Result::Success);
    EXPECT_TRUE(info.queried);
    EXPECT_TRUE(info.exists);
    EXPECT_FALSE(info.isDirectory);
    EXPECT_EQ(info.size, 12345u);

    // File-system clocks may lag the system clock by a tick; a second either side is room.
    const std::uint64_t second = VXN::DateTime::TicksPerSecond;
    EXPECT_GE(info.lastWriteTime.UtcTicks() + second, before);
    EXPECT_LE(info.lastWriteTime.UtcTicks(), after + second);
    EXPECT_GE(info.creationTime.UtcTicks() + second, before);
    EXPECT_LE(info.creationTime.UtcTicks(), after + second);

    // The same file reached by another name, and through a hard link, is the same object;
    // another file is not.
    const VXN::FileInfo dotted = queried(temp.path() / "." / "data Ü.bin");
    EXPECT_EQ(dotted.volumeSerial, info.volumeSerial);
    EXPECT_EQ(dotted.fileIndex, info.fileIndex);
    fs::create_hard_link(file, temp.path() / "link.bin");
    const VXN::FileInfo linked = queried(temp.path() / "link.bin");
    EXPECT_EQ(linked.volumeSerial, info.volumeSerial);
    EXPECT_EQ(linked.fileIndex, info.fileIndex);
    const VXN::FileInfo other = queried(temp.write("other.bin", "x"));
    EXPECT_EQ(other.volumeSerial, info.volumeSerial);
    EXPECT_NE(other.fileIndex, info.fileIndex);
    EXPECT_EQ(other.size, 1u);
}

TEST(FileInfoQuery, DirectoryExistsWithSizeZero)
{
    zyrel_test::temp_folder temp;
    temp.write("folder/content.txt", std::string(5000, 'c'));
    const VXN::FileInfo folder = queried(temp.path() / "folder");
    EXPECT_TRUE(folder.exists);
    EXPECT_TRUE(folder.isDirectory);
    EXPECT_EQ(folder.size, 0u);
    EXPECT_NE(folder.lastWriteTime.UtcTicks(), 0u);

    // Named with a trailing separator it is still the same directory.
    VXN::FileInfo trailing(to_wide(temp.path() / "folder" / ""));
    ASSERT_EQ(trailing.Query().status, VXN::Result::Success);
    EXPECT_TRUE(trailing.isDirectory);
    EXPECT_EQ(trailing.fileIndex, folder.fileIndex);
}

TEST(FileInfoQuery, MissingFileIsAnAnswerButAMissingFolderIsAFailure)
{
    zyrel_test::temp_folder temp;

    VXN::FileInfo missing(to_wide(temp.path() / "absent.txt"));
    ASSERT_EQ(missing.Query().status, VXN::Result::Success);
    EXPECT_TRUE(missing.queried);
    EXPECT_FALSE(missing.exists);

    VXN::FileInfo inMissingFolder(to_wide(temp.path() / "no-such-folder" / "file.txt"));
    const VXN::Result failed = inMissingFolder.Query();
    EXPECT_EQ(failed.status, VXN::Result::Failure);
    EXPECT_TRUE(failed.message.empty());
    EXPECT_FALSE(inMissingFolder.queried);
    EXPECT_FALSE(inMissingFolder.exists);

    // A file standing where a folder should be cannot hold anything either.
    const fs::path plain = temp.write("plain.txt", "p");
    VXN::FileInfo throughFile(to_wide(plain / "inner.txt"));
    EXPECT_EQ(throughFile.Query().status, VXN::Result::Failure);
    EXPECT_FALSE(throughFile.queried);

    // A second query follows the file system: the file went away.
    VXN::FileInfo vanishing(to_wide(plain));
    ASSERT_EQ(vanishing.Query().status, VXN::Result::Success);
    EXPECT_TRUE(vanishing.exists);
    fs::remove(plain);
    ASSERT_EQ(vanishing.Query().status, VXN::Result::Success);
    EXPECT_TRUE(vanishing.queried);
    EXPECT_FALSE(vanishing.exists);

    // A failure leaves the flags of an earlier answer as they were.
    const fs::path kept = temp.write("sub/kept.txt", "k");
    VXN::FileInfo stale(to_wide(kept));
    ASSERT_EQ(stale.Query().status, VXN::Result::Success);
    fs::remove_all(temp.path() / "sub");
    EXPECT_EQ(stale.Query().status, VXN::Result::Failure);
    EXPECT_TRUE(stale.queried);
    EXPECT_TRUE(stale.exists);
}

#if defined(_WIN32)

TEST(FileInfoQuery, AFileThatCannotBeOpenedIsAFailure)
{
    zyrel_test::temp_folder temp;
    const fs::path file = temp.write("locked.txt", "locked");
    // Nobody else may open it while this handle is held.
    const HANDLE exclusive = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    VXN::FileInfo info(to_wide(file));
    EXPECT_EQ(info.Query().status, VXN::Result::Failure);
    EXPECT_FALSE(info.queried);
    CloseHandle(exclusive);
    EXPECT_EQ(info.Query().status, VXN::Result::Success);
    EXPECT_TRUE(info.exists);
}

#else

TEST(FileInfoQuery, AFileThatCannotBeOpenedIsAFailure)
{
    zyrel_test::temp_folder temp;
    const fs::path file = temp.write("secret.txt", "secret");
    ASSERT_EQ(chmod(file.c_str(), 0), 0);

    // Root reads anything, so the query runs in a child that has given up root.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        VXN::FileInfo info(to_wide(file));
        const bool failed = info.Query().status == VXN::Result::Failure && !info.queried;
        _exit(failed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop root privileges here, so an unreadable file cannot be arranged";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FileInfoQuery, SpecialFilesAnswerWithoutBlocking)
{
    zyrel_test::temp_folder temp;
    // Opening a pipe for reading would wait for a writer.
    const fs::path fifo = temp.path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const VXN::FileInfo info = queried(fifo);
    EXPECT_TRUE(info.exists);
    EXPECT_FALSE(info.isDirectory);

    // A link to nothing is a missing file; a link to a file is that file.
    fs::create_symlink(temp.path() / "nowhere", temp.path() / "dangling");
    EXPECT_FALSE(queried(temp.path() / "dangling").exists);
    const fs::path target = temp.write("target.txt", "12345");
    fs::create_symlink(target, temp.path() / "alias");
    const VXN::FileInfo alias = queried(temp.path() / "alias");
    EXPECT_EQ(alias.size, 5u);
    EXPECT_EQ(alias.fileIndex, queried(target).fileIndex);
}

#endif

// ReadWholeFile, the readers' one reader: the whole file up to its limit, one byte more is a
// failure, and only a regular file is read.
TEST(ReadWholeFile, ReadsARegularFileUpToItsLimit)
{
    zyrel_test::temp_folder temp;
    std::string content(70000, 'x');
    for (std::size_t i = 0; i < content.size(); i += 7)
        content[i] = static_cast<char>(i % 251);
    const std::string file = zyrel_test::to_utf8(temp.write("data \xC3\x9C.bin", content));

    vxn::string bytes;
    ASSERT_TRUE(VXN::ReadWholeFile(file.c_str(), 70000, bytes).Succeeded());
    EXPECT_EQ(std::string(bytes.c_str(), bytes.size()), content);
    ASSERT_TRUE(VXN::ReadWholeFile(file.c_str(), 1u << 20, bytes).Succeeded());
    EXPECT_EQ(bytes.size(), 70000u);

    EXPECT_FALSE(VXN::ReadWholeFile(file.c_str(), 69999, bytes).Succeeded()) << "one byte over the limit";
    EXPECT_TRUE(bytes.empty());

    const std::string empty = zyrel_test::to_utf8(temp.write("empty", ""));
    bytes.assign("left over");
    ASSERT_TRUE(VXN::ReadWholeFile(empty.c_str(), 0, bytes).Succeeded());
    EXPECT_TRUE(bytes.empty());

    EXPECT_FALSE(VXN::ReadWholeFile(zyrel_test::to_utf8(temp.path() / "missing").c_str(), 100, bytes).Succeeded());
    EXPECT_FALSE(VXN::ReadWholeFile(zyrel_test::to_utf8(temp.path()).c_str(), 100, bytes).Succeeded()) << "a folder";

#if !defined(_WIN32)
    // A /proc record reports no size and is read until it ends; a device or a pipe is not a
    // file to read whole.
    ASSERT_TRUE(VXN::ReadWholeFile("/proc/self/cmdline", 1u << 20, bytes).Succeeded());
    EXPECT_GT(bytes.size(), 0u);
    EXPECT_FALSE(VXN::ReadWholeFile("/dev/zero", 1u << 20, bytes).Succeeded());
    // A pipe that nobody writes to is refused at once, not waited on (a hang fails the test).
    const fs::path fifo = temp.path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(VXN::ReadWholeFile(fifo.c_str(), 100, bytes).Succeeded());
#endif
}
