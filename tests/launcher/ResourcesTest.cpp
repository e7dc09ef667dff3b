// The program's resources as built. Windows: ZyrelDownloader.exe read back through the
// resource loader: the string tables and both dialog templates in the three languages, the
// version information, the manifest and the icon group. Linux: the resource script that the
// Windows build compiles, generated from the same table, checked line by line.
#include "LocalizedExpectations.h"

#include "TestSupport.h"
#include "ZyrelVersion.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace localized_test;

// The build puts the program and its generated files in <build>/launcher, the tests in
// <build>/tests/bin.
fs::path launcher_build_folder()
{
    return zyrel_test::test_program_folder().parent_path().parent_path() / "launcher";
}

#if defined(_WIN32)

const WORD kLanguages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                           MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)};

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = launcher_build_folder() / "ZyrelDownloader.exe";
        m_module = LoadLibraryExW(m_path.wstring().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr) << m_path;
    }
    void TearDown() override
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    // The bytes of one resource in one language; empty when there is none.
    std::string Bytes(LPCWSTR type, LPCWSTR name, WORD language) const
    {
        HRSRC found = FindResourceExW(m_module, type, name, language);
        if (found == nullptr)
            return {};
        const void* data = LockResource(LoadResource(m_module, found));
        return std::string(static_cast<const char*>(data), SizeofResource(m_module, found));
    }

    static BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR counter)
    {
        ++*reinterpret_cast<int*>(counter);
        return TRUE;
    }

    int CountNames(LPCWSTR type) const
    {
        int count = 0;
        EnumResourceNamesW(m_module, type, &CountName, reinterpret_cast<LONG_PTR>(&count));
        return count;
    }

    fs::path m_path;
    HMODULE m_module = nullptr;
};

// Reads a resource's little-endian fields in order.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) {}
    template <class T>
    T Take()
    {
        T value{};
        if (m_at + sizeof(T) <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + m_at, sizeof(T));
        else
            m_overrun = true;
        m_at += sizeof(T);
        return value;
    }
    std::u16string Text() // a zero-terminated UTF-16 text
    {
        std::u16string text;
        for (char16_t unit = Take<char16_t>(); unit != 0 && !m_overrun; unit = Take<char16_t>())
            text += unit;
        return text;
    }
    // sz_Or_Ord: 0 (none), 0xFFFF and an ordinal, or a text.
    std::u16string NameOrOrdinal()
    {
        const std::size_t at = m_at;
        const char16_t first = Take<char16_t>();
        if (first == 0)
            return u"";
        if (first == 0xFFFF)
            return u"#" + std::u16string(1, Take<char16_t>());
        m_at = at;
        return Text();
    }
    void AlignTo(std::size_t unit) { m_at = (m_at + unit - 1) / unit * unit; }
    bool Overrun() const { return m_overrun; }
    std::size_t At() const { return m_at; }

private:
    const std::string& m_bytes;
    std::size_t m_at = 0;
    bool m_overrun = false;
};

TEST_F(ProgramResources, StringTablesHoldIdsThreeToNineInEachLanguage)
{
    for (int language : {English, German, French}) {
        SCOPED_TRACE(LanguageName(language));
        const std::string block = Bytes(RT_STRING, MAKEINTRESOURCEW(1), kLanguages[language]);
        ASSERT_FALSE(block.empty());
        // Block 1 holds ids 0 to 15, each a count and that many UTF-16 units.
        Reader reader(block);
        for (unsigned id = 0; id < 16; ++id) {
            const WORD count = reader.Take<WORD>();
            std::u16string text;
            for (WORD i = 0; i < count; ++i)
                text += reader.Take<char16_t>();
            const Expected* expected = nullptr;
            for (const Expected& candidate : kStrings)
                expected = candidate.id == id ? &candidate : expected;
            EXPECT_EQ(text, expected != nullptr ? std::u16string(expected->text[language]) : std::u16string()) << id;
        }
        EXPECT_FALSE(reader.Overrun());
        EXPECT_TRUE(Bytes(RT_STRING, MAKEINTRESOURCEW(2), kLanguages[language]).empty()) << "only block 1";
    }
}

TEST_F(ProgramResources, DialogTemplatesAreTheDocumentedLayoutInEachLanguage)
{
    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS;
    for (const Expected& title : kTitles) {
        for (int language : {English, German, French}) {
            SCOPED_TRACE(std::to_string(title.id) + " " + LanguageName(language));
            const std::string bytes = Bytes(RT_DIALOG, MAKEINTRESOURCEW(title.id), kLanguages[language]);
            ASSERT_FALSE(bytes.empty());
            Reader reader(bytes);
            EXPECT_EQ(reader.Take<WORD>(), 1);      // dlgVer: the extended template
            EXPECT_EQ(reader.Take<WORD>(), 0xFFFF); // signature
            EXPECT_EQ(reader.Take<DWORD>(), 0u);    // helpID
            EXPECT_EQ(reader.Take<DWORD>(), 0u);    // exStyle
            EXPECT_EQ(reader.Take<DWORD>(), kStyle);
            EXPECT_EQ(reader.Take<WORD>(), 3);      // controls
            EXPECT_EQ(reader.Take<short>(), 0);
            EXPECT_EQ(reader.Take<short>(), 0);
            EXPECT_EQ(reader.Take<short>(), 384);
            EXPECT_EQ(reader.Take<short>(), 41);
            EXPECT_EQ(reader.NameOrOrdinal(), u"");  // no menu
            EXPECT_EQ(reader.NameOrOrdinal(), u"");  // the default dialog class
            EXPECT_EQ(reader.Text(), std::u16string(title.text[language]));
            EXPECT_EQ(reader.Take<WORD>(), 8);     // points
            EXPECT_EQ(reader.Take<WORD>(), 400);   // weight
            EXPECT_EQ(reader.Take<BYTE>(), 0);     // not italic
            EXPECT_EQ(reader.Take<BYTE>(), 1);     // DEFAULT_CHARSET
            EXPECT_EQ(reader.Text(), u"MS Shell Dlg");

            struct Control {
                DWORD style;
                short x, y, cx, cy;
                DWORD id;
                std::u16string windowClass, text;
            };
            const Control expected[] = {
                {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 327, 7, 50, 15, IDCANCEL, u"#\x0080",
                 kCancelButton.text[language]},
                {WS_CHILD | WS_VISIBLE | WS_BORDER, 7, 7, 312, 15, IDC_DOWNLOAD_PROGRESS, u"msctls_progress32", u""},
                // The bytes and the rate under the bar, filled while the transfer runs.
                {WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 7, 26, 370, 8, IDC_DOWNLOAD_DETAILS,
                 u"#\x0082", u""},
            };
            for (const Control& control : expected) {
                SCOPED_TRACE(control.id);
                reader.AlignTo(4);
                EXPECT_EQ(reader.Take<DWORD>(), 0u); // helpID
                EXPECT_EQ(reader.Take<DWORD>(), 0u); // exStyle
                EXPECT_EQ(reader.Take<DWORD>(), control.style);
                EXPECT_EQ(reader.Take<short>(), control.x);
                EXPECT_EQ(reader.Take<short>(), control.y);
                EXPECT_EQ(reader.Take<short>(), control.cx);
                EXPECT_EQ(reader.Take<short>(), control.cy);
                EXPECT_EQ(reader.Take<DWORD>(), control.id);
                std::u16string windowClass = reader.NameOrOrdinal();
                // The button by its class ordinal (0x0080); the bar by name, which the
                // resource compiler may spell in capitals (Windows ignores the case).
                for (char16_t& c : windowClass)
                    c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
                EXPECT_EQ(windowClass, control.windowClass);
                EXPECT_EQ(reader.NameOrOrdinal(), control.text);
                EXPECT_EQ(reader.Take<WORD>(), 0); // no creation data
            }
            EXPECT_FALSE(reader.Overrun());
        }
    }
}

TEST_F(ProgramResources, VersionInformationInThreeBlocksAndTheTranslationList)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(m_path.wstring().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(m_path.wstring().c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    WORD* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                               &length));
    ASSERT_EQ(length, 12u);
    const WORD expectedTranslations[] = {0x0409, 0x04E4, 0x0407, 0x04E4, 0x040C, 0x04E4};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(translations[i], expectedTranslations[i]) << i;

    struct Block {
        const wchar_t* name;
        const wchar_t* description;
    };
    const Block blocks[] = {
        {L"040904E4", L"Zyrel - Updater"}, {L"040704E4", L"Updater zum Zyrel"}, {L"040C04E4", L"M.A.J. Zyrel"}};
    for (const Block& block : blocks) {
        const std::pair<const wchar_t*, const wchar_t*> values[] = {
            {L"CompanyName", L"Vexal Norim Inc."},   {L"FileDescription", block.description},
            {L"FileVersion", L"" ZYREL_VERSION_NUMBERS_TEXT},            {L"InternalName", L"downloader"},
            {L"OriginalFilename", L"downloader.exe"}, {L"ProductName", L"Zyrel"},
            {L"ProductVersion", L"" ZYREL_VERSION_NUMBERS_TEXT}};
        for (const auto& [key, value] : values) {
            const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block.name + L"\\" + key;
            wchar_t* text = nullptr;
            ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
                << zyrel_test::to_utf8(zyrel_test::to_wide(fs::path(query)));
            EXPECT_EQ(std::wstring(text), std::wstring(value));
        }
    }
}

TEST_F(ProgramResources, ManifestAsksForCommonControlsSixNoElevationAndTheScreensScale)
{
    EXPECT_EQ(CountNames(RT_MANIFEST), 1) << "one manifest, ours";
    HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(m_module, found))),
                           SizeofResource(m_module, found));
#if defined(_WIN64)
    const char* architecture = "processorArchitecture=\"amd64\"";
#else
    const char* architecture = "processorArchitecture=\"X86\"";
#endif
    for (const char* piece : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"", architecture,
                              "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
                              "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
                              "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>",
                              "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
                              "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",
                              "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",
                              "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
                              "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
                              "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                              "PerMonitorV2, System</dpiAwareness>"}) {
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
    }
}

// The pixels of an icon image as Windows itself decodes it, top row first, 0xAARRGGBB.
std::vector<std::uint32_t> DecodedIcon(const std::string& image, int size)
{
    std::vector<std::uint32_t> pixels;
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(const_cast<char*>(image.data())),
                                          static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size,
                                          LR_DEFAULTCOLOR);
    if (icon == nullptr)
        return pixels;
    ICONINFO info = {};
    if (GetIconInfo(icon, &info)) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size; // top-down
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        pixels.resize(static_cast<std::size_t>(size) * size);
        HDC screen = GetDC(nullptr);
        if (GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS) != size)
            pixels.clear();
        ReleaseDC(nullptr, screen);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    DestroyIcon(icon);
    return pixels;
}

// The small images are 32-bit bitmaps, the large ones PNG (a few kilobytes where the
// bitmaps took 340): either way Windows decodes each to the picture at its size.
TEST_F(ProgramResources, IconGroupHasSixThirtyTwoBitImages)
{
    const std::string group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_ZYREL), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_FALSE(group.empty());
    Reader reader(group);
    EXPECT_EQ(reader.Take<WORD>(), 0); // reserved
    EXPECT_EQ(reader.Take<WORD>(), 1); // icons
    ASSERT_EQ(reader.Take<WORD>(), 6);
    std::size_t imageBytes = 0;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(reader.Take<BYTE>(), size & 0xFF); // 0 stands for 256
        EXPECT_EQ(reader.Take<BYTE>(), size & 0xFF);
        EXPECT_EQ(reader.Take<BYTE>(), 0); // no palette
        reader.Take<BYTE>();
        EXPECT_EQ(reader.Take<WORD>(), 1);  // planes
        EXPECT_EQ(reader.Take<WORD>(), 32); // bits per pixel
        const DWORD bytes = reader.Take<DWORD>();
        const WORD id = reader.Take<WORD>();

        const std::string image = Bytes(RT_ICON, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_EQ(image.size(), bytes);
        imageBytes += image.size();
        if (size >= 64) {
            // PNG: the signature, then IHDR with the size (big-endian), 8-bit RGBA.
            ASSERT_GE(image.size(), 33u);
            EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
            EXPECT_EQ(image.substr(12, 4), "IHDR");
            const auto big_endian = [&](std::size_t at) {
                return (std::uint32_t(std::uint8_t(image[at])) << 24) | (std::uint32_t(std::uint8_t(image[at + 1])) << 16) |
                       (std::uint32_t(std::uint8_t(image[at + 2])) << 8) | std::uint32_t(std::uint8_t(image[at + 3]));
            };
            EXPECT_EQ(big_endian(16), static_cast<std::uint32_t>(size));
            EXPECT_EQ(big_endian(20), static_cast<std::uint32_t>(size));
            EXPECT_EQ(image[24], 8); // bits per channel
            EXPECT_EQ(image[25], 6); // RGBA
        } else {
            BITMAPINFOHEADER header = {};
            ASSERT_GE(image.size(), sizeof(header));
            std::memcpy(&header, image.data(), sizeof(header));
            EXPECT_EQ(header.biSize, sizeof(header));
            EXPECT_EQ(header.biWidth, size);
            EXPECT_EQ(header.biHeight, 2 * size); // colour and mask
            EXPECT_EQ(header.biBitCount, 32);
            EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        }
        // A picture, not a blank: transparent corners, an opaque middle, two colours there.
        const std::vector<std::uint32_t> pixels = DecodedIcon(image, size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size) * size) << "Windows could not decode the image";
        const auto pixel = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * size + x]; };
        EXPECT_EQ(pixel(0, 0) >> 24, 0u);
        EXPECT_EQ(pixel(size / 2, size / 2) >> 24, 0xFFu);
        EXPECT_NE(pixel(size / 2, size / 2), pixel(size / 2, size / 8));
    }
    // All six images together stay small.
    EXPECT_LT(imageBytes, 48u * 1024);
}

#else

std::string utf8(const char16_t* text)
{
    vxn::string out;
    out.assign_utf16(reinterpret_cast<const vxn::wchar*>(text), static_cast<vxn::u32>(std::u16string(text).size()));
    return out.c_str();
}

// The resource script that the Windows build compiles, as generated in this build.
std::vector<std::string> generated_script()
{
    const std::string text = zyrel_test::read_file(launcher_build_folder() / "ZyrelTexts.rc");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(ResourcesTest, GeneratedScriptCarriesTheTablesAndTemplatesOfEachLanguage)
{
    const std::vector<std::string> lines = generated_script();
    ASSERT_FALSE(lines.empty()) << "the build generates ZyrelTexts.rc from resources/ZyrelTexts.txt";
    EXPECT_EQ(lines[1], "#pragma code_page(65001)");
    const char* const names[] = {"IDS_NO_PERMISSION", "IDS_DOWNLOAD_FAILED", "IDS_CANCEL_DOWNLOAD",     "IDS_LAUNCH_FAILED",
                                 "IDS_UPDATE_FAILED", "IDS_SIGNATURE_UNVERIFIED", "IDS_WINE_NEEDED", "IDS_BYTES_OF_TOTAL",
                                 "IDS_BYTE_UNITS", "IDS_DECIMAL_SEPARATOR"};
    const char* const languages[] = {"LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US", "LANGUAGE LANG_GERMAN, SUBLANG_GERMAN",
                                     "LANGUAGE LANG_FRENCH, SUBLANG_FRENCH"};
    std::vector<std::string> expected;
    for (int language : {English, German, French}) {
        expected.push_back(languages[language]);
        expected.push_back("STRINGTABLE");
        for (int i = 0; i < 10; ++i)
            expected.push_back(std::string("    ") + names[i] + " \"" + utf8(kStrings[i].text[language]) + "\"");
        for (const Expected& title : kTitles) {
            expected.push_back(std::string(title.id == 101 ? "IDD_DOWNLOAD" : "IDD_DOWNLOAD_UPDATE") +
                               " DIALOGEX 0, 0, 384, 41");
            expected.push_back("STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | "
                               "DS_FIXEDSYS");
            expected.push_back("CAPTION \"" + utf8(title.text[language]) + "\"");
            expected.push_back("FONT 8, \"MS Shell Dlg\", 400, 0, 0x1");
            expected.push_back("    PUSHBUTTON \"" + utf8(kCancelButton.text[language]) +
                               "\", IDCANCEL, 327, 7, 50, 15, WS_CHILD | WS_VISIBLE | WS_TABSTOP");
            expected.push_back("    CONTROL \"\", IDC_DOWNLOAD_PROGRESS, \"msctls_progress32\", WS_CHILD | WS_VISIBLE | "
                               "WS_BORDER, 7, 7, 312, 15");
            expected.push_back("    LTEXT \"\", IDC_DOWNLOAD_DETAILS, 7, 26, 370, 8, SS_NOPREFIX");
        }
    }
    // Every expected line, in this order (BEGIN, END and blank lines between them).
    std::size_t at = 0;
    for (const std::string& line : expected) {
        while (at < lines.size() && lines[at] != line)
            ++at;
        ASSERT_LT(at, lines.size()) << "missing or out of order: " << line;
        ++at;
    }
}

#endif

} // namespace
