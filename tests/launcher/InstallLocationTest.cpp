// FindInstallLocation against real folders and a real uninstall entry: the registry under
// Windows (written here in the 32-bit view and removed again), the file-backed stand-in
// below a temporary root on Linux.
#include "LauncherTestSupport.h"

#include "InstallLocation.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
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

std::u16string Units(const std::string& utf8)
{
    const vxn::wstring wide = W(utf8);
    return std::u16string(reinterpret_cast<const char16_t*>(wide.c_str()), wide.size());
}

const std::u16string Nul(1, u'\0');

class InstallLocationTest : public EmptyStoreTest {
protected:
    void SetUp() override
    {
        EmptyStoreTest::SetUp();
        m_previous_folder = fs::current_path();
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

    fs::path registry_root() const { return m_folder.path() / "registry"; }

#if defined(_WIN32)
    static REGSAM view() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0; }
#endif

    // Stores the InstallLocation value of the client with `suffix` as exactly these UTF-16
    // units (NULs included): REG_SZ data on Windows; UTF-8 text in the stand-in's file on
    // Linux, or UTF-16LE after its byte-order mark when `utf16` is set.
    void write_value(const std::string& suffix, const std::u16string& units, bool utf16 = false)
    {
        const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel" + suffix;
#if defined(_WIN32)
        (void)utf16;
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
        std::string relative = key;
        for (char& c : relative) {
            if (c == '\\')
                c = '/';
        }
        std::string bytes;
        if (utf16) {
            bytes = "\xFF\xFE";
            for (char16_t unit : units) {
                bytes.push_back(static_cast<char>(unit & 0xFF));
                bytes.push_back(static_cast<char>(unit >> 8));
            }
        } else {
            vxn::string narrow;
            narrow.assign_utf16(reinterpret_cast<const vxn::wchar*>(units.data()), static_cast<vxn::u32>(units.size()));
            bytes.assign(narrow.c_str(), narrow.size());
            if (!units.empty() && units.back() == 0)
                bytes.push_back('\0'); // the conversion leaves a final NUL out
        }
        m_folder.write("registry/" + relative + "/InstallLocation", bytes);
#endif
    }

    std::string found() { return U(FindInstallLocation()); }

    zyrel_test::temp_folder m_folder;
    // The Linux stand-in's root (Windows reads the real registry instead).
    zyrel_test::scoped_variable m_root{"ZYREL_REGISTRY_ROOT", to_utf8(registry_root()).c_str()};
    const std::string m_suffix = ProcessSuffix;
    fs::path m_previous_folder;
#if defined(_WIN32)
    std::vector<std::wstring> m_created_keys;
#endif
};

TEST_F(InstallLocationTest, ClientInTheCurrentFolderIsFoundFirst)
{
    m_folder.write("here/ZyrelClient.exe", "client");
    m_folder.write("here/ZyrelClient" + m_suffix + ".exe", "client");
#if !defined(_WIN32)
    write_value("", Units("/registry/folder") + Nul); // not consulted
#endif
    fs::current_path(m_folder.path() / "here");
    EXPECT_EQ(found(), ".") << "an empty suffix names ZyrelClient.exe";

    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    write_value(m_suffix, Units("/registry/folder") + Nul);
    EXPECT_EQ(found(), ".") << "ZyrelClient<suffix>.exe, without looking at the registry";

    fs::current_path(m_folder.path());
    m_folder.write("other/ZyrelClient.exe", "client");
    fs::current_path(m_folder.path() / "other");
    EXPECT_EQ(found(), "/registry/folder") << "ZyrelClient.exe is not the client of another suffix";

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

    write_value(m_suffix, Units("/installed/here") + Nul);
    EXPECT_EQ(found(), "/installed/here") << "not portable: the uninstall entry decides";

    Settings::Entry(W("ExistingDir")) = W(to_utf8(m_folder.path() / "missing" / "folder"));
    EXPECT_EQ(found(), "/installed/here") << "a folder that does not exist holds no client either";

    Settings::Entry(W("PortableInstallation")) = W("true");
    EXPECT_EQ(found(), "") << "a portable installation never consults the uninstall entry";
    Settings::Entry(W("ExistingDir")) = W(with_client);
    EXPECT_EQ(found(), with_client) << "but finds its own client";
}

TEST_F(InstallLocationTest, UninstallValueIsCutAtItsFirstNulAndLosesOneTrailingSeparator)
{
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    struct Case {
        std::u16string value;
        std::string expected;
        const char* what;
    };
    const std::string root = Sep == "\\" ? "C:\\Games\\Zyrel" : "/opt/games/zyrel";
    const std::vector<Case> cases = {
        {Units(root) + Nul, root, "no separator"},
        {Units(root + Sep) + Nul, root, "one separator is removed"},
        {Units(root + Sep + Sep) + Nul, root + Sep, "of two separators one stays"},
        {Units(root + Sep), root, "data without a NUL ends at its length"},
        {Units(root), root, "data without a NUL or separator"},
        {Nul, "", "an empty text"},
        {u"", "", "no data at all"},
        {Units(Sep) + Nul, "", "only a separator"},
        {Units(root + Sep) + Nul + Units("junk"), root, "the text ends at the first NUL"},
        {Units("Spi\xC3\xA9le \xF0\x9F\x8E\xAE") + Nul, "Spi\xC3\xA9le \xF0\x9F\x8E\xAE", "any characters"},
    };
    for (const Case& c : cases) {
        write_value(m_suffix, c.value);
        EXPECT_EQ(found(), c.expected) << c.what;
    }

    const std::u16string longest(32767, u'x');
    write_value(m_suffix, longest + Nul);
    EXPECT_EQ(found().size(), 32767u) << "65,536 bytes with the NUL still fit";
    write_value(m_suffix, longest + u"y" + Nul);
    EXPECT_EQ(found(), "") << "a value that does not fit reads as missing";
    write_value(m_suffix, std::u16string(40000, u'x') + Nul);
    EXPECT_EQ(found(), "");

#if !defined(_WIN32)
    write_value(m_suffix, Units("/opt/zyrel\\") + Nul);
    EXPECT_EQ(found(), "/opt/zyrel\\") << "a backslash is a name character on Linux";
    write_value(m_suffix, Units("/opt/utf16/") + Nul, true);
    EXPECT_EQ(found(), "/opt/utf16") << "UTF-16LE after its byte-order mark";
    write_value(m_suffix, std::u16string(32768, u'x'), true);
    EXPECT_EQ(found().size(), 32768u) << "65,536 bytes of UTF-16 without a NUL fit";
    write_value(m_suffix, std::u16string(32768, u'x') + Nul, true);
    EXPECT_EQ(found(), "");
#endif
}

TEST_F(InstallLocationTest, SuffixNamesBothTheClientAndTheUninstallKey)
{
    write_value(m_suffix, Units("/suffixed") + Nul);
    write_value(m_suffix + "X", Units("/other") + Nul);
    const std::string empty_folder = to_utf8(m_folder.path());
    Settings::Entry(W("ExistingDir")) = W(empty_folder);

    EXPECT_EQ(found(), "") << "no suffix: the key Uninstall\\Zyrel, which does not exist here";
    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    EXPECT_EQ(found(), "/suffixed") << "Uninstall\\Zyrel" << m_suffix;
    Settings::Entry(W("AppSuffix")) = W(m_suffix + "X");
    EXPECT_EQ(found(), "/other");

    m_folder.write("ZyrelClient" + m_suffix + "X.exe", "client");
    EXPECT_EQ(found(), empty_folder) << "ZyrelClient" << m_suffix << "X.exe";
}

#if !defined(_WIN32)

TEST_F(InstallLocationTest, StandInStaysBelowItsRootAndReadsOnlyFiles)
{
    Settings::Entry(W("ExistingDir")) = W(to_utf8(m_folder.path()));
    m_folder.write("registry/Software/Microsoft/Windows/CurrentVersion/escaped/InstallLocation", "/escaped");
    Settings::Entry(W("AppSuffix")) = W("\\..\\..\\escaped");
    EXPECT_EQ(found(), "") << "'..' in a key name never leaves the key's folder";

    Settings::Entry(W("AppSuffix")) = W(m_suffix);
    fs::create_directories(registry_root() / "Software/Microsoft/Windows/CurrentVersion/Uninstall" /
                           ("Zyrel" + m_suffix) / "InstallLocation");
    EXPECT_EQ(found(), "") << "a folder in place of the value file";

    m_folder.write("registry/Software/Microsoft/Windows/CurrentVersion/Uninstall/Zyrel" + m_suffix + "B/InstallLocation",
                   "\xEF\xBB\xBF/with/bom/");
    Settings::Entry(W("AppSuffix")) = W(m_suffix + "B");
    EXPECT_EQ(found(), "/with/bom") << "a UTF-8 byte-order mark is skipped";

    m_root.set(to_utf8(m_folder.path() / "elsewhere").c_str());
    EXPECT_EQ(found(), "") << "the root decides where entries are looked for";
}

#endif

} // namespace
