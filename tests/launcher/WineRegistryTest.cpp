// The reader of a Wine prefix's system.reg: excerpts of files that Wine 8.0 wrote (a 64-bit
// and a 32-bit prefix, entries added with `wine reg add`, trimmed to a few keys), and
// hand-made files for each form and escape the writer uses and for what is not a registry.
#include "LauncherTestSupport.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)

#include "posix/WineRegistry.h"

#include <string>

#ifndef ZYREL_SOURCE_DIR
#error "the test reads its fixtures from the source tree"
#endif

namespace {

using launcher_test::W;

const std::string Uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr vxn::u32 Limit = 65536;

std::string Fixture(const char* name)
{
    return zyrel_test::read_file(std::string(ZYREL_SOURCE_DIR) + "/tests/launcher/wine-registry/" + name);
}

// The data as UTF-16 units, or "<none>" when the value was not found.
std::u16string Read(const std::string& text, const std::string& key, const std::string& name = "InstallLocation",
                    vxn::u32 limit = Limit)
{
    vxn::wstring data;
    if (!platform::FindRegistryValue(text, W(key), W(name), limit, data))
        return data.empty() ? u"<none>" : u"<none, but data left behind>";
    return std::u16string(reinterpret_cast<const char16_t*>(data.c_str()), data.size());
}

std::u16string Units(const std::string& utf8)
{
    const vxn::wstring wide = W(utf8);
    return std::u16string(reinterpret_cast<const char16_t*>(wide.c_str()), wide.size());
}

const std::u16string Nul(1, u'\0');

// A literal with its NULs, which the pointer forms would cut.
template <std::size_t N>
std::u16string S(const char16_t (&units)[N])
{
    return std::u16string(units, N - 1);
}

std::string Hive(const std::string& body, const char* arch = "win64")
{
    return std::string("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=") + arch +
           "\n\n" + body;
}

TEST(WineRegistry, ReadsTheThirtyTwoBitViewOfAPrefixWineWrote)
{
    const std::string win64 = Fixture("system-win64.reg");
    ASSERT_FALSE(win64.empty());
    EXPECT_EQ(Read(win64, Uninstall + "Zyrel"), Units("C:\\Program Files\\Zyrel Loop\\") + Nul)
        << "Software\\X of the 32-bit view is Software\\Wow6432Node\\X in a 64-bit prefix";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelN"), u"<none>") << "an entry of the 64-bit view only";
    EXPECT_EQ(Read(win64, "software\\MICROSOFT\\windows\\currentversion\\uninstall\\zYrEl", "installlocation"),
              Units("C:\\Program Files\\Zyrel Loop\\") + Nul)
        << "key and value names compare without regard to case";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelU"),
              Units("C:\\Program Files\\Zyrel Spi\xC3\xA9l\xC3\xA9 \xC3\x86\xC3\x98 \xE6\xB8\xB8\xE6\x88\x8F "
                    "\xF0\x9F\x8E\xAE\\") +
                  Nul)
        << "\\x escapes of one UTF-16 unit each, a surrogate pair among them";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelE"), Units("%ProgramFiles%\\Zyrel") + Nul) << "REG_EXPAND_SZ, str(2)";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelM"), Units("C:\\one") + Nul + Units("C:\\two") + Nul + Nul)
        << "REG_MULTI_SZ, str(7) with \\0 between its strings";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelQ"), Units("C:\\a\"b\tc]d[") + Nul) << "\\\" and \\t";
    EXPECT_EQ(Read(win64, Uninstall + "ZyrelB"), Units("C:\\")) << "REG_BINARY, hex:, without a NUL";
    EXPECT_EQ(Read(win64, Uninstall + "Zyrel", "Missing"), u"<none>");
    EXPECT_EQ(Read(win64, Uninstall + "Zyre"), u"<none>") << "a key is named whole, never by its start";

    // Outside Software nothing is redirected.
    const std::string bus = "System\\CurrentControlSet\\Enum\\ROOT\\WINE\\WINEBUS";
    EXPECT_EQ(Read(win64, bus, "HardwareId"), Units("root\\winebus") + Nul + Nul + Units("C:\\windows\\inf"))
        << "hex(7) continued over three lines (and, as Wine wrote it, without the final NUL)";
    EXPECT_EQ(Read(win64, bus, "ConfigFlags"), std::u16string(2, u'\0')) << "dword: four bytes";
    EXPECT_EQ(Read(win64, bus, "Service"), Units("winebus") + Nul) << "the value after a continued one";

    const std::string win32 = Fixture("system-win32.reg");
    ASSERT_FALSE(win32.empty());
    EXPECT_EQ(Read(win32, Uninstall + "Zyrel"), Units("C:\\Program Files\\Zyrel Loop\\") + Nul)
        << "a 32-bit prefix keeps the 32-bit view's Software\\X as it is";
    EXPECT_EQ(Read(win32, Uninstall + "ZyrelX"), Units("C:\\Spiele\\Zyrel \xC3\x84rger\\") + Nul);
    EXPECT_EQ(Read(win32, "Software\\Classes\\.chm", ""), Units("chm.file") + Nul) << "@ is the default value";
    EXPECT_EQ(Read(win32, "Software\\Classes\\.chm", "@"), u"<none>") << "@ is no value's name";
}

TEST(WineRegistry, DecodesEveryEscapeAndFormTheWriterUses)
{
    const std::string key = Uninstall + "Zyrel";
    const auto entry = [&](const std::string& data, const char* arch = "win32") {
        return Hive("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Zyrel] 1796907480\n"
                    "#time=1dd88a6160a01f8\n\"InstallLocation\"=" + data + "\n",
                    arch);
    };
    struct Case {
        std::string data;
        std::u16string units;
        const char* what;
    };
    const std::vector<Case> cases = {
        {"\"\\a\\b\\e\\f\\n\\r\\t\\v\"", u"\a\b\x1b\f\n\r\t\v" + Nul, "the C escapes, \\e included"},
        {"\"\\x41\\xe9\\x20ac\\x00410\"", u"A\u00e9\u20ac" u"A0" + Nul,
         "\\x takes at most four digits, so a digit after it needs all four"},
        {"\"a\\xzb\"", u"axzb" + Nul, "\\x without a digit stands for x"},
        {"\"\\0\\101\\0101\\7\"", S(u"\0" u"A" u"\x08" u"1\a") + Nul, "octal, at most three digits"},
        {"\"\\\\\\\"\\[\\]\\q\"", u"\\\"[]q" + Nul, "any other escaped character stands for itself"},
        {"\"Spi\xC3\xA9le \xF0\x9F\x8E\xAE\"", Units("Spi\xC3\xA9le \xF0\x9F\x8E\xAE") + Nul,
         "UTF-8 bytes, which Wine does not write but an editor may"},
        {"\"\"", Nul, "an empty string"},
        {"str:\"plain\"", Units("plain") + Nul, "str: is REG_SZ"},
        {"str(2):\"C:\\\\expand\"", Units("C:\\expand") + Nul, "REG_EXPAND_SZ"},
        {"hex(2):43,00,3a,00,5c,00,5a,00,\\\n  00,00", Units("C:\\Z") + Nul, "hex(2) over two lines"},
        {"hex(2):43,00,3a,00,\\\r\n\t5c,00", Units("C:\\"), "a CR LF line end and a tab before the continuation"},
        {"hex(1):41,00,42", Units("A"), "an odd last byte is not a unit"},
        {"hex:", u"", "no bytes at all"},
        {"hex(ffff0009):41,00", Units("A"), "any type number"},
        {"dword:00410042", u"\x0042\x0041", "dword data, little-endian"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(entry(c.data), key), c.units) << c.what << ": " << c.data;

    EXPECT_EQ(Read(entry("\"win64\"", "win64"), key), u"<none>") << "a 64-bit prefix keeps it below Wow6432Node";
    const std::string crlf = "WINE REGISTRY Version 2\r\n#arch=win32\r\n[Software\\\\Zyrel\\\\Escaped\\]Key\\x0020A] 1\r\n"
                             "@=\"default\"\r\n\"Name \\\"quoted\\\"\"=\"value\"\r\n";
    EXPECT_EQ(Read(crlf, "Software\\Zyrel\\Escaped]Key A", ""), Units("default") + Nul)
        << "CR LF lines, escapes in a key path";
    EXPECT_EQ(Read(crlf, "Software\\Zyrel\\Escaped]Key A", "Name \"quoted\""), Units("value") + Nul)
        << "escapes in a value name";

    // Escapes that Wine does not write where it needs none still spell the same key.
    const std::string spelled = "WINE REGISTRY Version 2\n#arch=win32\n[Software\\\\Zyrel\\\\Other] 1\n@=\"other\"\n"
                                "[Soft\\x0077are\\x5cZyrel\\\\\\101bc] 1\n@=\"escaped\"\n"
                                "[SOFTWARE\\\\ZYREL\\\\ABCD] 1\n@=\"longer\"\n";
    EXPECT_EQ(Read(spelled, "Software\\Zyrel\\Abc", ""), Units("escaped") + Nul)
        << "\\x0077 for w, \\x5c for the separator, octal \\101 for A";
    EXPECT_EQ(Read(spelled, "software\\zyrel\\abcd", ""), Units("longer") + Nul);
    EXPECT_EQ(Read(spelled, "Software\\Zyrel\\Ab", ""), u"<none>") << "a key's start is not the key";
}

TEST(WineRegistry, WhatIsNotUnderstoodIsNoEntry)
{
    const std::string key = Uninstall + "Zyrel";
    const std::string section = "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Zyrel] 1\n";
    const std::string good = section + "\"InstallLocation\"=\"C:\\\\Zyrel\"\n";
    ASSERT_EQ(Read(Hive(good), key), Units("C:\\Zyrel") + Nul);

    const std::vector<std::pair<std::string, const char*>> broken = {
        {"", "an empty file"},
        {"REGEDIT4\n\n" + good, "another header"},
        {"WINE REGISTRY Version 2\n\n" + good, "no #arch mark"},
        {Hive(good).substr(1), "a damaged header"},
        {Hive(section + "\"InstallLocation\"=\"C:\\\\Zyrel\n"), "a string that never closes"},
        {Hive(section + "\"InstallLocation\"=\"C:\\\\Zyrel\\\n\"\n"), "a string broken over lines"},
        {Hive(section + "\"InstallLocation\"=hex:43,zz\n"), "hex that is not hex"},
        {Hive(section + "\"InstallLocation\"=hex:43,00,\\\n"), "a continuation at the end of the file"},
        {Hive(section + "\"InstallLocation\"=str(2)\"C:\"\n"), "a type without its colon"},
        {Hive(section + "\"InstallLocation\"=dword:123\n"), "a dword of three digits"},
        {Hive(section + "\"InstallLocation\"=C:\\\\Zyrel\n"), "an unquoted string"},
        {Hive(section + "\"InstallLocation\" = \"C:\\\\Zyrel\"\n"), "blanks around ="},
        {Hive(section + "\"InstallLocationX\"=\"C:\\\\Zyrel\"\n"), "another value's name"},
        {Hive("[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall] 1\n"
              "\"InstallLocation\"=\"C:\\\\Zyrel\"\n" + section),
         "the value of another key"},
    };
    for (const auto& [text, what] : broken)
        EXPECT_EQ(Read(text, key), u"<none>") << what;

    // The value's size as the registry counts it, terminating NUL included.
    const std::string fits(32767, 'x');
    EXPECT_EQ(Read(Hive(section + "\"InstallLocation\"=\"" + fits + "\"\n"), key).size(), 32768u);
    EXPECT_EQ(Read(Hive(section + "\"InstallLocation\"=\"" + fits + "x\"\n"), key), u"<none>");
    std::string hex;
    for (int i = 0; i < 65536; ++i)
        hex += i == 0 ? "41" : ",41";
    EXPECT_EQ(Read(Hive(section + "\"InstallLocation\"=hex:" + hex + "\n"), key).size(), 32768u);
    EXPECT_EQ(Read(Hive(section + "\"InstallLocation\"=hex:" + hex + ",41,41\n"), key), u"<none>");
}

} // namespace

#endif
