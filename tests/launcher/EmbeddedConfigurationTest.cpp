// The embedded configuration as built: the text compiled into ZyrelDownloader, read back
// from the program file and from a helper that carries the same resource and reads its own;
// on Linux also after replacing the section of a built program with objcopy.
#include "LauncherTestSupport.h"

#include "ProgramResource.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using launcher_test::RunSettingsHelper;
using zyrel_test::child_options;
using zyrel_test::lines_of;
using Lines = std::vector<std::string>;

// The build places the program and its generated configuration text in <build>/launcher and
// the test programs in <build>/tests/bin.
fs::path launcher_build_folder()
{
    return zyrel_test::test_program_folder().parent_path().parent_path() / "launcher";
}

std::string compiled_in_text()
{
    return zyrel_test::read_file(launcher_build_folder() / "ZyrelDownloader.ini");
}

fs::path program_path()
{
    return launcher_build_folder() / zyrel_test::test_program("ZyrelDownloader").filename();
}

std::string resource_of(const fs::path& program, vxn::u32 id = EmbeddedConfigurationId)
{
    vxn::string bytes;
    if (!ReadProgramResourceFrom(zyrel_test::to_wide(program), id, bytes))
        return "<none>";
    return std::string(bytes.c_str(), bytes.size());
}

// The text of resource 111 as a helper (or a copy of it) reads it inside itself.
std::string own_resource(const fs::path& helper = zyrel_test::test_program("launcher_settings"))
{
    const zyrel_test::child_result own = RunSettingsHelper({}, child_options{{"ZYREL_TEST_HELPER_MODE=resource"}}, helper);
    EXPECT_EQ(own.exit_code, 0);
    return own.output;
}

// What a helper (or a copy of it) reads at start-up, line by line.
Lines settings_lines(const std::vector<std::string>& arguments,
                     const fs::path& helper = zyrel_test::test_program("launcher_settings"))
{
    return lines_of(RunSettingsHelper(arguments, {}, helper).output);
}

TEST(EmbeddedConfigurationTest, CompiledInTextHasTheAgreedShape)
{
    const std::string text = compiled_in_text();
    ASSERT_FALSE(text.empty()) << "the configuration text is generated at configure time";
    const std::string head = "[Downloader]\r\nDownloadUrl=http://";
    const std::string tail = "/zyrel/live/ZyrelInstall.exe\r\nAppSuffix=\r\n";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    const std::string host = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_EQ(host.find_first_of("/\r\n "), std::string::npos) << "one host name: " << host;
    EXPECT_EQ(text.find('\0'), std::string::npos) << "no NUL";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "every line ends in CR LF";
        }
    }
}

TEST(EmbeddedConfigurationTest, BuiltProgramCarriesTheTextAndAHelperReadsItsOwnCopy)
{
    const std::string expected = compiled_in_text();
    ASSERT_FALSE(expected.empty());

    EXPECT_EQ(resource_of(program_path()), expected) << "resource 111 of " << program_path().string();
    EXPECT_EQ(resource_of(program_path(), 4242), "<none>") << "an id the program does not have";

    EXPECT_EQ(own_resource(), expected) << "LoadResourceText(111) inside a program that carries it";
}

TEST(EmbeddedConfigurationTest, CommandLineBeatsTheCompiledInConfiguration)
{
    const std::string text = compiled_in_text();
    const std::string key = "DownloadUrl=";
    const std::size_t start = text.find(key);
    ASSERT_NE(start, std::string::npos);
    const std::string compiled_url = text.substr(start + key.size(), text.find('\r', start) - start - key.size());

    EXPECT_EQ(settings_lines({}), (Lines{"loaded=1", "Arguments=", "DownloadUrl=" + compiled_url,
                                         "VXN_WAIT_FOR_DEBUGGER is not set"}));
    EXPECT_EQ(settings_lines({"-DownloadUrl", "http://elsewhere/x.exe"}),
              (Lines{"loaded=1", "Arguments=-DownloadUrl http://elsewhere/x.exe ", "DownloadUrl=http://elsewhere/x.exe",
                     "VXN_WAIT_FOR_DEBUGGER is not set"}));
}

#if !defined(_WIN32)

fs::path find_objcopy()
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', begin), folders.size());
        const fs::path candidate = fs::path(folders.substr(begin, end - begin)) / "objcopy";
        std::error_code error;
        if (end > begin && fs::is_regular_file(candidate, error))
            return candidate;
        begin = end + 1;
    }
    return {};
}

// Replaces the section that holds resource 111 in a copy of a program.
void replace_section(const fs::path& program, const fs::path& text)
{
    const zyrel_test::child_result updated = zyrel_test::run_child(
        find_objcopy(), {"--update-section", ".zyrel_rcdata_111=" + text.string(), program.string()},
        child_options{{}, true});
    EXPECT_EQ(updated.exit_code, 0) << updated.output;
}

// Copies the helper (and the child it starts) into folder and replaces its section.
fs::path replaced_helper(const zyrel_test::temp_folder& folder, const std::string& name, const std::string& text)
{
    const fs::path copy = folder.path() / name / "launcher_settings";
    fs::create_directories(copy.parent_path());
    fs::copy_file(zyrel_test::test_program("launcher_settings"), copy);
    fs::copy_file(zyrel_test::test_program("launcher_print_environment"), copy.parent_path() / "launcher_print_environment");
    replace_section(copy, folder.write(name + ".ini", text));
    return copy;
}

TEST(EmbeddedConfigurationTest, ReplacedSectionIsReadBackWithoutRebuilding)
{
    if (find_objcopy().empty())
        GTEST_SKIP() << "objcopy is not installed";
    zyrel_test::temp_folder folder;

    const std::string replacement = "[Downloader]\nDownloadUrl=file:///srv/ZyrelInstall.exe\nAppSuffix=Beta\n";
    const fs::path helper = replaced_helper(folder, "replaced", replacement);
    EXPECT_EQ(resource_of(helper), replacement);
    EXPECT_EQ(own_resource(helper), replacement);
    EXPECT_EQ(settings_lines({"-portable"}, helper),
              (Lines{"loaded=1", "AppSuffix=Beta", "Arguments=-portable ", "DownloadUrl=file:///srv/ZyrelInstall.exe",
                     "PortableInstallation=true", "VXN_WAIT_FOR_DEBUGGER is not set"}));

    // The program itself, copied and updated the way the README describes.
    const fs::path program = folder.path() / "ZyrelDownloader";
    fs::copy_file(program_path(), program);
    replace_section(program, folder.write("program.ini", "DownloadUrl=http://mirror.example/zyrel/live/ZyrelInstall.exe\r\n"));
    EXPECT_EQ(resource_of(program), "DownloadUrl=http://mirror.example/zyrel/live/ZyrelInstall.exe\r\n");
}

TEST(EmbeddedConfigurationTest, ResourceBytesDecodeAsUtf8WithoutATrailingNul)
{
    if (find_objcopy().empty())
        GTEST_SKIP() << "objcopy is not installed";
    zyrel_test::temp_folder folder;

    const fs::path bom = replaced_helper(folder, "bom", std::string("\xEF\xBB\xBFk=v\xC3\xA9\0", 9));
    EXPECT_EQ(own_resource(bom), "\xEF\xBB\xBFk=v\xC3\xA9") << "the byte-order mark stays, the final NUL goes";
    EXPECT_EQ(settings_lines({}, bom).at(2), "\xEF\xBB\xBFk=v\xC3\xA9") << "so the first key starts with U+FEFF";

    const fs::path broken = replaced_helper(folder, "broken", "a=\xFF\xC3");
    EXPECT_EQ(own_resource(broken), "a=\xEF\xBF\xBD\xEF\xBF\xBD") << "ill-formed bytes become U+FFFD";

    const fs::path empty = replaced_helper(folder, "empty", "");
    EXPECT_EQ(own_resource(empty), "");
    EXPECT_EQ(settings_lines({}, empty), (Lines{"loaded=0", "Arguments=", "VXN_WAIT_FOR_DEBUGGER is not set"}))
        << "an empty resource leaves everything to the command line";
}

TEST(EmbeddedConfigurationTest, FilesThatAreNotIntactProgramsHaveNoResource)
{
    zyrel_test::temp_folder folder;
    const std::string program = zyrel_test::read_file(program_path());
    ASSERT_GT(program.size(), 4096u);

    EXPECT_EQ(resource_of(folder.path() / "missing"), "<none>");
    EXPECT_EQ(resource_of(folder.path()), "<none>") << "a folder";
    EXPECT_EQ(resource_of(folder.write("text", "[Downloader]\r\nDownloadUrl=x\r\n")), "<none>");
    EXPECT_EQ(resource_of(folder.write("empty", "")), "<none>");
    EXPECT_EQ(resource_of(folder.write("header-only", program.substr(0, 64))), "<none>");
    EXPECT_EQ(resource_of(folder.write("first-page", program.substr(0, 4096))), "<none>")
        << "the section headers sit at the end of the file";

    // Section headers said to lie beyond the end of the file.
    std::string moved = program;
    for (int i = 0; i < 8; ++i)
        moved[0x28 + i] = '\x7F';
    EXPECT_EQ(resource_of(folder.write("moved", moved)), "<none>");

    std::string cut = program;
    cut.resize(program.size() - 1);
    EXPECT_EQ(resource_of(folder.write("cut", cut)), "<none>") << "the last section header is cut short";
}

#endif

} // namespace
