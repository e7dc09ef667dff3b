// FindInstallLocation against real folders and a real uninstall entry: the registry under
// Windows (written here in the 32-bit view and removed again); on Linux the system.reg of a
// Wine prefix in a temporary folder, written here in Wine's format, with the prefix's
// drives.
#include "LauncherTestSupport.h"

#include "InstallLocation.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace launcher_test;
using zyrel_test::to_utf8;

#if defined(_WIN32)
const std::string Sep = "\\";
const std::string ProcessSuffix = "Test" + std::to_string(GetCurrentProcessId());
#else
const std::string Sep = "/";
const std::string ProcessSuffix = "Test" + std::to_string(::getpid());
#endif

// An installed client's folder on drive Z:, which Wine maps to the file system's root.
const std::string Registered = "Z:\\registry\\folder";
const std::string Installed = "Z:\\installed\\here";

std::u16string Units(const std::string& utf8)
{
    const vxn::wstring wide = W(utf8);
    return std::u16string(reinterpret_cast<const char16_t*>(wide.c_str()), wide.size());
}

const std::u16string Nul(1, u'\0');

// The folder that the InstallLocation `windows` (a path on drive Z:, already without its
// trailing backslash) names here: the text itself on Windows; on Linux the folder that Wine
// gives it, Z: being the file system's root.
std::string Native(const std::string& windows)
{
#if defined(_WIN32)
    return windows;
#else
    std::string path;
    for (char c : windows.substr(2)) {
        if (c != '\\')
            path += c;
        else if (path.empty() || path.back() != '/')
            path += '/';
    }
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.empty() ? "/" : path;
#endif
}


class InstallLocationTest : public EmptyStoreTest {
protected:
    void SetUp() override
    {
        EmptyStoreTest::SetUp();
        m_previous_folder = fs::current_path();
#if !defined(_WIN32)
        // A prefix as wineboot leaves it: drive C: its own folder, Z: the root.
        fs::create_directories(prefix() / "drive_c");
        fs::create_directories(prefix() / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
        fs::create_directory_symlink("/", prefix() / "dosdevices" / "z:");
#endif
    }

    void TearDown() override
    {
        EmptyStoreTest::TearDown();
        fs::current_path(m_previous_folder);
#if defined(_WIN32)
        for (const std::wstring& key : m_created_keys)
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view(), 0);
#endif
    }

    fs::path prefix() const { return m_folder.path() / "prefix"; }

#if defined(_WIN32)
    static REGSAM view() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0; }
#endif

    // Stores the InstallLocation value of the client with `suffix` as exactly these UTF-16
    // units (NULs included): REG_SZ data on Windows; on Linux in the prefix's system.reg, in
    // the 64-bit layout that keeps the 32-bit view below Wow6432Node.
    void write_value(const std::string& suffix, const std::u16string& units)
    {
#if defined(_WIN32)
        const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel" + suffix;
        const vxn::wstring wide_key = W(key);
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | view(), nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        m_created_keys.push_back(wide_key.c_str());
        ASSERT_EQ(RegSetValueExW(handle, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(units.data()),
                                 static_cast<DWORD>(units.size() * 2)),
                  ERROR_SUCCESS);
        RegCloseKey(handle);
#else
        m_values[suffix] = units;
        m_folder.write("prefix/system.reg", zyrel_test::wine_uninstall_hive(m_values));
#endif
    }

    std::string found() { return U(FindInstallLocation()); }

    zyrel_test::temp_folder m_folder;
    // The Linux prefix (Windows reads the real registry instead).
    zyrel_test::scoped_variable m_prefix{"WINEPREFIX", to_utf8(m_folder.path() / "prefix").c_str()};
    const std::string m_suffix = ProcessSuffix;
    fs::path m_previous_folder;
#if defined(_WIN32)
    std::vector<std::wstring> m_created_keys;
#else
    std::map<std::string, std::u16string> m_values;
#endif
};

TEST_F(InstallLocationTest, ClientInTheCurrentFolderIsFoundFirst)
{
    m_folder.write("here/ZyrelClient.exe", "client");
    m_folder.write("here/ZyrelClient" + m_suffix + ".exe", "client");
#if !defined(_WIN32)
    write_value("", Units(Registered) + Nul); // not consulted
#endif
    fs::current_path(m_folder.path() / "here");
    EXPECT_EQ(found(), ".") << "an empty suffix names ZyrelClient.exe";

    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    write_value(m_suffix, Units(Registered) + Nul);
    EXPECT_EQ(found(), ".") << "ZyrelClient<suffix>.exe, without looking at the registry";

    fs::current_path(m_folder.path());
    m_folder.write("other/ZyrelClient.exe", "client");
    fs::current_path(m_folder.path() / "other");
    EXPECT_EQ(found(), Native(Registered)) << "ZyrelClient.exe is not the client of another suffix";

    fs::create_directories(m_folder.path() / "other" / ("ZyrelClient" + m_suffix + ".exe"));
    EXPECT_EQ(found(), ".") << "a folder of that name counts, as anything that opens does";
}

TEST_F(InstallLocationTest, ExistingFolderWithoutAClientFallsBackUnlessPortable)
{
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    const std::string with_client = to_utf8(m_folder.path() / "with") + Sep;
    m_folder.write("with/ZyrelClient" + m_suffix + ".exe", "client");
    Settings::Entry(W("ExistingDir")) = W(with_client);
    EXPECT_EQ(found(), with_client) << "the folder comes back as given";

    const std::string without = to_utf8(m_folder.path() / "without");
    fs::create_directories(without);
    Settings::Entry(W("ExistingDir")) = W(without);
    EXPECT_EQ(found(), "") << "no client and no uninstall entry";

    write_value(m_suffix, Units(Installed) + Nul);
    EXPECT_EQ(found(), Native(Installed)) << "not portable: the uninstall entry decides";

    Settings::Entry(W("ExistingDir")) = W(to_utf8(m_folder.path() / "missing" / "folder"));
    EXPECT_EQ(found(), Native(Installed)) << "a folder that does not exist holds no client either";

    Settings::Entry(W("PortableInstallation")) = W("true");
    EXPECT_EQ(found(), "") << "a portable installation never consults the uninstall entry";
    Settings::Entry(W("ExistingDir")) = W(with_client);
    EXPECT_EQ(found(), with_client) << "but finds its own client";
}

TEST_F(InstallLocationTest, UninstallValueIsCutAtItsFirstNulAndLosesOneTrailingBackslash)
{
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    struct Case {
        std::u16string value;
        std::string expected;
        const char* what;
    };
    const std::string root = "Z:\\games\\zyrel";
    const std::string any = root + "\\Spi\xC3\xA9le \xF0\x9F\x8E\xAE";
    const std::vector<Case> cases = {
        {Units(root) + Nul, Native(root), "no backslash"},
        {Units(root + "\\") + Nul, Native(root), "one backslash is removed"},
        {Units(root + "\\\\") + Nul, Native(root + "\\"), "of two backslashes one stays"},
        {Units(root + "\\"), Native(root), "data without a NUL ends at its length"},
        {Units(root), Native(root), "data without a NUL or backslash"},
        {Nul, "", "an empty text"},
        {u"", "", "no data at all"},
        {Units("\\") + Nul, "", "only a backslash"},
        {Units(root + "\\") + Nul + Units("junk"), Native(root), "the text ends at the first NUL"},
        {Units(any) + Nul, Native(any), "any characters"},
    };
    for (const Case& c : cases) {
        write_value(m_suffix, c.value);
        EXPECT_EQ(found(), c.expected) << c.what;
    }

    const std::string longest = "Z:\\" + std::string(32764, 'x');
    write_value(m_suffix, Units(longest) + Nul);
    EXPECT_EQ(found(), Native(longest)) << "65,536 bytes with the NUL still fit";
    write_value(m_suffix, Units(longest + "y") + Nul);
    EXPECT_EQ(found(), "") << "a value that does not fit reads as missing";
    write_value(m_suffix, Units("Z:\\" + std::string(40000, 'x')) + Nul);
    EXPECT_EQ(found(), "");
#if !defined(_WIN32)
    write_value(m_suffix, Units(longest + "y"));
    EXPECT_EQ(found(), Native(longest + "y")) << "65,536 bytes without a NUL fit";
#endif
}

TEST_F(InstallLocationTest, SuffixNamesBothTheClientAndTheUninstallKey)
{
    const std::string suffixed = "Z:\\suffixed";
    const std::string other = "Z:\\other";
    write_value(m_suffix, Units(suffixed) + Nul);
    write_value(m_suffix + "X", Units(other) + Nul);
    const std::string empty_folder = to_utf8(m_folder.path());
    Settings::Entry(W("ExistingDir")) = W(empty_folder);

    EXPECT_EQ(found(), "") << "no suffix: the key Uninstall\\Zyrel, which does not exist here";
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    EXPECT_EQ(found(), Native(suffixed)) << "Uninstall\\Zyrel" << m_suffix;
    Settings::Entry(W("AppSuffix")) = W(m_suffix + "X");
    EXPECT_EQ(found(), Native(other));

    m_folder.write("ZyrelClient" + m_suffix + "X.exe", "client");
    EXPECT_EQ(found(), empty_folder) << "ZyrelClient" << m_suffix << "X.exe";
}

#if !defined(_WIN32)

// The folder of a Windows path, found as Wine finds it: through the prefix's drive links,
// each name matched without regard to case where it does not exist as written.
TEST_F(InstallLocationTest, WindowsPathMapsThroughThePrefixDrives)
{
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    Settings::Entry(W("ExistingDir")) = W(to_utf8(m_folder.path()));
    const std::string drive_c = to_utf8(fs::canonical(prefix() / "drive_c"));
    const auto location = [&](const std::string& windows) {
        write_value(m_suffix, Units(windows) + Nul);
        return found();
    };

    fs::create_directories(prefix() / "drive_c" / "Program Files" / "Zyrel Loop");
    EXPECT_EQ(location("C:\\Program Files\\Zyrel Loop\\"), drive_c + "/Program Files/Zyrel Loop")
        << "C: is the prefix's drive_c";
    EXPECT_EQ(location("c:\\PROGRAM FILES\\zyrel loop"), drive_c + "/Program Files/Zyrel Loop")
        << "a name that does not exist as written is matched without regard to case";
    fs::create_directories(prefix() / "drive_c" / "SPI\xC3\x89L\xC3\x89 \xC3\x86\xC3\x98");
    EXPECT_EQ(location("C:\\spi\xC3\xA9l\xC3\xA9 \xC3\xA6\xC3\xB8"), drive_c + "/SPI\xC3\x89L\xC3\x89 \xC3\x86\xC3\x98")
        << "letters outside ASCII too";
    EXPECT_EQ(location("C:\\Program Files\\Not There\\bin"), drive_c + "/Program Files/Not There/bin")
        << "a folder that does not exist is named as written; the start will fail";
    EXPECT_EQ(location("C:/Program Files\\.\\x\\..\\..\\..\\..\\Program Files//Zyrel Loop"),
              drive_c + "/Program Files/Zyrel Loop")
        << "slashes, '.' and '..' as Windows reads them, never above the drive";
    EXPECT_EQ(location("C:\\"), drive_c) << "the drive itself";

    const fs::path elsewhere = m_folder.path() / "games disk";
    fs::create_directories(elsewhere / "Zyrel");
    fs::create_directory_symlink(elsewhere, prefix() / "dosdevices" / "d:");
    EXPECT_EQ(location("D:\\zyrel"), to_utf8(fs::canonical(elsewhere)) + "/Zyrel") << "a drive the user mapped";
    EXPECT_EQ(location("Q:\\Zyrel"), "") << "a drive the prefix does not have";

    for (const char* windows : {"\\\\server\\share\\Zyrel", "\\\\?\\C:\\Program Files\\Zyrel Loop", "\\Zyrel",
                                "Zyrel\\Loop", "C:Zyrel", "/opt/zyrel", "%ProgramFiles%\\Zyrel"})
        EXPECT_EQ(location(windows), "") << windows << " is not an absolute path with a drive letter";
}

// Where the prefix is: WINEPREFIX when set (an absolute path, as wine demands), else
// ~/.wine; a prefix whose system.reg is missing or no registry holds no entry.
TEST_F(InstallLocationTest, PrefixComesFromWinePrefixOrTheHomeFolder)
{
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    Settings::Entry(W("ExistingDir")) = W(to_utf8(m_folder.path()));
    write_value(m_suffix, Units(Installed) + Nul);
    ASSERT_EQ(found(), Native(Installed));

    fs::create_directories(m_folder.path() / "home");
    fs::rename(prefix(), m_folder.path() / "home" / ".wine");
    zyrel_test::scoped_variable home("HOME", to_utf8(m_folder.path() / "home").c_str());
    EXPECT_EQ(found(), "") << "the prefix named by WINEPREFIX is gone";
    m_prefix.set(nullptr);
    EXPECT_EQ(found(), Native(Installed)) << "without WINEPREFIX: ~/.wine";
    m_prefix.set("");
    EXPECT_EQ(found(), Native(Installed)) << "an empty WINEPREFIX counts as unset";

    fs::current_path(m_folder.path() / "home");
    m_prefix.set(".wine");
    EXPECT_EQ(found(), "") << "a relative WINEPREFIX, which wine refuses";

    m_prefix.set(to_utf8(m_folder.path() / "home" / ".wine").c_str());
    m_folder.write("home/.wine/system.reg", "REGEDIT4\n");
    EXPECT_EQ(found(), "") << "a file that is not a registry of Wine's";
    fs::remove(m_folder.path() / "home" / ".wine" / "system.reg");
    fs::create_directory(m_folder.path() / "home" / ".wine" / "system.reg");
    EXPECT_EQ(found(), "") << "a folder in place of the file";
}

#endif

} // namespace
