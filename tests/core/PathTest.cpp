// Path: the two text forms and the one-time separator normalisation, file names as the
// runtime splits them, the executable's path, directory creation and the current directory.
#include "Path.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using zyrel_test::to_utf8;
using zyrel_test::to_wide;

constexpr char kSep = VXN::Path::PlatformSeparator;

std::string held_utf8(const VXN::Path& path)
{
    return std::string(path.HeldUtf8().c_str(), path.HeldUtf8().size());
}

std::u16string held_wide(const VXN::Path& path)
{
    return zyrel_test::to_units(path.HeldWide().c_str());
}

VXN::Path path_of(const fs::path& path)
{
    return VXN::Path(to_wide(path));
}

// "a/b" with the platform's separator in place of every slash.
std::string with_separators(std::string text)
{
    for (char& c : text) {
        if (c == '/')
            c = kSep;
    }
    return text;
}

// Restores the current directory when a test leaves.
struct current_directory_guard {
    fs::path saved = fs::current_path();
    ~current_directory_guard() { fs::current_path(saved); }
};

} // namespace

TEST(PathForms, ConversionEmptiesTheOtherFormAndNormalisesOnce)
{
    VXN::Path fromWide(to_wide("dir/sub\\Ünïcode/file.txt"));
    EXPECT_FALSE(fromWide.IsNormalized());
    EXPECT_EQ(std::string(fromWide.Utf8()), with_separators("dir/sub/Ünïcode/file.txt"));
    EXPECT_TRUE(fromWide.HeldWide().empty());
    EXPECT_TRUE(fromWide.IsNormalized());

    // Back to UTF-16: the UTF-8 form is emptied, the separators stay as they are.
    const vxn::wstring& back = fromWide.WideString();
    EXPECT_TRUE(fromWide.HeldUtf8().empty());
    EXPECT_EQ(back, to_wide(with_separators("dir/sub/Ünïcode/file.txt")));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(fromWide.Wide())), held_wide(fromWide));

    // The bare conversions do not normalise.
    VXN::Path raw("a\\b/c");
    raw.MakeWide();
    EXPECT_TRUE(raw.HeldUtf8().empty());
    EXPECT_EQ(held_wide(raw), u"a\\b/c");
    raw.MakeUtf8();
    EXPECT_EQ(held_utf8(raw), "a\\b/c");
    EXPECT_FALSE(raw.IsNormalized());
    raw.Normalize();
    EXPECT_EQ(held_utf8(raw), with_separators("a/b/c"));

    // The flag is set once, also on an empty path, and travels with a move.
    VXN::Path empty;
    EXPECT_EQ(std::string(empty.Utf8()), "");
    EXPECT_TRUE(empty.IsNormalized());
    EXPECT_EQ(empty.Separator(), kSep);
    VXN::Path moved(static_cast<VXN::Path&&>(raw));
    EXPECT_TRUE(moved.IsNormalized());
    EXPECT_EQ(held_utf8(moved), with_separators("a/b/c"));
    EXPECT_TRUE(raw.Empty());
}

TEST(PathNames, StemAndFileNameSplitLikeTheRuntime)
{
    struct example {
        const char* path;
        const char* stem;
        const char* fileName;
    };
    const example examples[] = {
        {"C:\\Program Files\\Zyrel\\ZyrelDownloader.exe", "ZyrelDownloader", "ZyrelDownloader.exe"},
        {"/opt/zyrel/archive.tar.gz", "archive.tar", "archive.tar.gz"},
        {"dir.with.dots/README", "README", "README"},
        {"folder/sub/", "", ""},
        {"folder\\sub\\", "", ""},
        {"mixed\\seps/last.part.txt", "last.part", "last.part.txt"},
        {".profile", "", ".profile"},
        {"name.", "name", "name."},
        {"C:drive-relative.ini", "drive-relative", "drive-relative.ini"},
        {"dossier/Über-Größe.exe", "Über-Größe", "Über-Größe.exe"},
        {"", "", ""},
    };
    for (const example& e : examples) {
        VXN::Path path(e.path);
        VXN::Path stem;
        EXPECT_EQ(path.Stem(stem).status, VXN::Result::Success) << e.path;
        EXPECT_EQ(held_utf8(stem), e.stem) << e.path;
        EXPECT_FALSE(stem.IsNormalized());
        EXPECT_EQ(stem.Separator(), kSep);
        VXN::Path name;
        EXPECT_EQ(path.FileName(name).status, VXN::Result::Success) << e.path;
        EXPECT_EQ(held_utf8(name), e.fileName) << e.path;
        EXPECT_EQ(held_utf8(VXN::Path(e.path).Stem()), e.stem) << e.path;
        EXPECT_EQ(held_utf8(VXN::Path(e.path).FileName()), e.fileName) << e.path;
    }

    // A Path may receive its own name.
    VXN::Path self("dir/self.txt");
    EXPECT_EQ(self.FileName(self).status, VXN::Result::Success);
    EXPECT_EQ(held_utf8(self), "self.txt");
}

TEST(PathNames, APartOf256BytesOrMoreCannotBeSplit)
{
    const std::string directory(1000, 'd'); // only the name and extension parts are limited
    const std::string longest(255, 'n');
    VXN::Path fits((directory + "/" + longest + ".exe").c_str());
    EXPECT_EQ(held_utf8(fits.Stem()), longest);
    EXPECT_EQ(held_utf8(fits.FileName()), longest + ".exe");

    VXN::Path tooLong(("dir/" + std::string(256, 'n') + ".exe").c_str());
    VXN::Path out("left over");
    const VXN::Result failed = tooLong.Stem(out);
    EXPECT_EQ(failed.status, VXN::Result::Failure);
    EXPECT_TRUE(failed.message.empty());
    EXPECT_TRUE(out.Empty());
    EXPECT_TRUE(tooLong.Stem().Empty());
    EXPECT_EQ(tooLong.FileName(out).status, VXN::Result::Failure);
    EXPECT_TRUE(tooLong.FileName().Empty());

    // Bytes count, not characters: 128 two-byte letters are 256 bytes.
    std::string letters;
    for (int i = 0; i < 128; ++i)
        letters += "é";
    EXPECT_EQ(VXN::Path(to_wide(letters)).Stem(out).status, VXN::Result::Failure);
    EXPECT_EQ(VXN::Path(to_wide(letters.substr(2) + "a")).Stem(out).status, VXN::Result::Success);

    // The extension has its own buffer, asked for by FileName only.
    VXN::Path longExtension(("short." + std::string(255, 'x')).c_str());
    EXPECT_EQ(longExtension.Stem(out).status, VXN::Result::Success);
    EXPECT_EQ(held_utf8(out), "short");
    EXPECT_EQ(longExtension.FileName(out).status, VXN::Result::Failure);
    EXPECT_TRUE(out.Empty());
}

TEST(PathExecutable, IsTheRunningTestProgram)
{
    VXN::Path executable = VXN::GetExecutablePath();
    ASSERT_FALSE(executable.Empty());
    EXPECT_EQ(fs::path(std::u8string(reinterpret_cast<const char8_t*>(executable.Utf8()))),
              zyrel_test::test_program("PathTest"));
    EXPECT_EQ(held_utf8(executable.Stem()), "PathTest");
}

TEST(PathDirectories, CreatesEveryMissingLevelTopDown)
{
    zyrel_test::temp_folder temp;
    const fs::path deep = temp.path() / "one" / "two" / "three";
    ASSERT_EQ(VXN::CreateDirectories(path_of(deep)).status, VXN::Result::Success);
    EXPECT_TRUE(fs::is_directory(temp.path() / "one"));
    EXPECT_TRUE(fs::is_directory(temp.path() / "one" / "two"));
    EXPECT_TRUE(fs::is_directory(deep));

    // Existing levels are only confirmed; a trailing separator or mixed separators change
    // nothing.
    fs::create_directories(deep / "keep");
    temp.write("one/two/three/keep/file.txt", "kept");
    EXPECT_EQ(VXN::CreateDirectories(path_of(deep)).status, VXN::Result::Success);
    EXPECT_EQ(VXN::CreateDirectories(VXN::Path(to_wide(to_utf8(deep) + "\\"))).status, VXN::Result::Success);
    EXPECT_EQ(zyrel_test::read_file(deep / "keep" / "file.txt"), "kept");

    // "." and ".." are resolved before anything is created.
    ASSERT_EQ(VXN::CreateDirectories(VXN::Path(to_wide(to_utf8(temp.path()) + "/x/./y/../z"))).status,
              VXN::Result::Success);
    EXPECT_TRUE(fs::is_directory(temp.path() / "x" / "z"));
    EXPECT_FALSE(fs::exists(temp.path() / "x" / "y"));

    // A path longer than the old 260-character buffers is created whole, not cut.
    fs::path longPath = temp.path();
    for (int level = 0; level < 6; ++level)
        longPath /= std::string(60, static_cast<char>('a' + level));
    ASSERT_GT(to_utf8(longPath).size(), 360u);
    EXPECT_EQ(VXN::CreateDirectories(path_of(longPath)).status, VXN::Result::Success);
    EXPECT_TRUE(fs::is_directory(longPath));
}

TEST(PathDirectories, AFileInTheWayFailsAndRelativePathsStartHere)
{
    zyrel_test::temp_folder temp;
    const fs::path file = temp.write("plain.txt", "not a folder");
    const VXN::Result blocked = VXN::CreateDirectories(path_of(file / "below" / "deeper"));
    EXPECT_EQ(blocked.status, VXN::Result::Failure);
    EXPECT_TRUE(blocked.message.empty());
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(zyrel_test::read_file(file), "not a folder");

    // Levels made before the failing one stay (no file system takes a 300-byte name).
    const fs::path unnameable = temp.path() / "made" / "too" / std::string(300, 'n');
    EXPECT_EQ(VXN::CreateDirectories(path_of(unnameable)).status, VXN::Result::Failure);
    EXPECT_TRUE(fs::is_directory(temp.path() / "made" / "too"));

    current_directory_guard guard;
    fs::current_path(temp.path());
    EXPECT_EQ(VXN::CreateDirectories(VXN::Path("relative/inner")).status, VXN::Result::Success);
    EXPECT_TRUE(fs::is_directory(temp.path() / "relative" / "inner"));
    EXPECT_EQ(VXN::CreateDirectories(VXN::Path("relative/../sibling")).status, VXN::Result::Success);
    EXPECT_TRUE(fs::is_directory(temp.path() / "sibling"));

#if !defined(_WIN32)
    // When the current directory no longer exists a relative path has no absolute form:
    // nothing can be created, and that is a failure, not a success.
    fs::create_directory(temp.path() / "doomed");
    fs::current_path(temp.path() / "doomed");
    fs::remove(temp.path() / "doomed");
    EXPECT_EQ(VXN::CreateDirectories(VXN::Path("orphan/level")).status, VXN::Result::Failure);
#endif
}

TEST(PathDirectories, ChangeDirectoryMovesTheProcessAndRefusesMissingFolders)
{
    zyrel_test::temp_folder temp;
    current_directory_guard guard;
    const fs::path inside = temp.path() / "inside Ü";
    fs::create_directory(inside);

    ASSERT_EQ(VXN::ChangeDirectory(path_of(inside)).status, VXN::Result::Success);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), inside));
    ASSERT_EQ(VXN::ChangeDirectory(VXN::Path("..")).status, VXN::Result::Success);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), temp.path()));

    const VXN::Result missing = VXN::ChangeDirectory(path_of(temp.path() / "absent"));
    EXPECT_EQ(missing.status, VXN::Result::Failure);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), temp.path()));

    ASSERT_EQ(VXN::ChangeDirectory(path_of(guard.saved)).status, VXN::Result::Success);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), guard.saved));
}
