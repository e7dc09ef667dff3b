// The pattern language, text arguments, the output protocol and assign_format.
#include "Format.h"

#include "FormatChecks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace format_test;
using zyrel_test::allocation_stats;
using zyrel_test::counted_string;
using zyrel_test::to_units;
using counted_inline256 = vxn::basic_string<char, vxn::fixed_storage<256, zyrel_test::counting_allocator, 1>>;
using FormatTest = zyrel_test::counted_heap_test;

TEST_F(FormatTest, EscapesAndLoneBraces)
{
    expect_cases({
        {"Progress: {0}%%", "Progress: 42%"},
        {"{{0}}", "{0}}"},
        {"}}", "}}"},
        {"}", "}"},
        {"a%%b", "a%b"},
        {"{{{{", "{{"},
        {"%%%%", "%%"},
        {"{{{0}", "{42"},
        {"%%d", "%d"},
        {"100%%%d", "100%42"},
        {"{%%}", "{%}"},   // "{" does not start a placeholder before "%", then "%%" escapes
        {"%{{", "%{"},     // "%" is rejected at "{", which then escapes the next "{"
        {"{0}}}", "42}}"},
        {"no placeholders at all", "no placeholders at all"},
    }, 42);
    EXPECT_EQ(wide(VXN_W("{{{0}}}%%"), vxn::wstring(VXN_W("w"))), u"{w}}%");
}

TEST_F(FormatTest, BraceParserAcceptsAndRejects)
{
    expect_cases({
        // Accepted: width and flags never touch text; precision caps it.
        {"[{0}]", "[abcdef]"},
        {"[{0,5}]", "[abcdef]"},
        {"[{0,-5}]", "[abcdef]"},
        {"[{0,+5}]", "[abcdef]"},
        {"[{0,}]", "[abcdef]"},
        {"[{0,123456789012}]", "[abcdef]"},
        {"[{0:s}{0:S}{0:g}{0:G}]", "[abcdefabcdefabcdefabcdef]"},
        {"[{0:s3}]", "[abc]"},
        {"[{0:s03}]", "[abc]"},
        {"[{0,-9:S2}]", "[ab]"},
        {"[{1}{0}]", "[7abcdef]"},
        // Rejected: output as written, scanning resumes where the parser stopped.
        {"{", "{"},
        {"{x}", "{x}"},
        {"{10}", "{10}"},
        {"{0", "{0"},
        {"{0:}", "{0:}"},
        {"{0:u}{0:i}{0:c}{0:p}", "{0:u}{0:i}{0:c}{0:p}"},
        {"{0:s123}", "{0:s123}"},
        {"{0,5x}", "{0,5x}"},
        {"{0,5:}", "{0,5:}"},
        {"{-1}", "{-1}"},
        {"{ 0}", "{ 0}"},
        {"{0 }", "{0 }"},
        {"{0:s", "{0:s"},
        {"{0:s1", "{0:s1"},
        {"{0:d{1}", "{0:d7"},
        {"{0:{0}", "{0:abcdef"},
        {"{x{1}", "{x7"},
        {"{0,{1}}", "{0,7}"},
    }, "abcdef", std::uint32_t{7});

    // Ten arguments: the last one is reachable, an eleventh index is not.
    EXPECT_EQ(narrow("{9}{0}", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9), "90");
}

TEST_F(FormatTest, PrintfParserFlagsWidthsPrecisionsModifiersAndRejections)
{
    expect_cases({
        {"%s", "abcdef"},       {"%5s", "abcdef"},     {"%-10s", "abcdef"},    {"%#s", "abcdef"},
        {"%.2s", "ab"},         {"%.s", ""},           {"%8.3s", "abc"},       {"%.200s", "abcdef"},
        {"%ls", "abcdef"},      {"%hs", "abcdef"},     {"%ws", "abcdef"},      {"%Ls", "abcdef"},
        {"%hhlLws", "abcdef"},  {"%Is", "abcdef"},     {"%I32s", "abcdef"},    {"%I64s", "abcdef"},
        {"%lI64s", "abcdef"},   {"%S", "abcdef"},      {"%c", "abcdef"},       {"%C", "abcdef"},
        {"%g", "abcdef"},       {"%G", "abcdef"},      {"%-+ 0#99.2G", "ab"},
        // Rejections: literal text up to where the parser stopped.
        {"%", "%"},             {"%-", "%-"},          {"%5z", "%5z"},         {"%y", "%y"},
        {"%n", "%n"},           {"%o", "%o"},          {"%a", "%a"},           {"%*s", "%*s"},
        {"%1$s", "%1$s"},       {"%I3s", "%I3s"},      {"%I6", "%I6"},         {"%l", "%l"},
        {"%.", "%."},           {"%5.2", "%5.2"},      {"%Ils", "%Ils"},       {"%I644s", "%I644s"},
        {"%5%s", "%5abcdef"},   {"%{0}", "%abcdef"},   {"%-%%", "%-%"},
    }, "abcdef");
    expect_cases({
        {"%d", "42"},           {"%i", "42"},          {"%+d", "+42"},         {"% d", " 42"},
        {"%05d", "00042"},      {"%-05d", "42   "},    {"%0 5d", "   42"},     {"% 05d", "00042"},
        {"%+ d", "+42"},        {"%.3d", "042"},       {"%8.3d", "     042"},  {"%-8.3d|", "042     |"},
        {"%#x", "2a"},          {"%p", "2a"},          {"%X", "2A"},           {"%04X", "002A"},
        {"%lld", "42"},         {"%I64d", "42"},       {"%I32u", "42"},        {"%hd", "42"},
        {"%ld%%", "42%"},       {"%f", "42.00"},       {"%.0f", "42."},        {"%G", "42"},
    }, 42);
    EXPECT_EQ(narrow("%0100d", 42), std::string(63, '0')) << "width 99, cut to 63 characters";
}

TEST_F(FormatTest, RunningIndexCountsPlaceholdersOfBothSyntaxes)
{
    EXPECT_EQ(narrow("%s and %s", "a", "b"), "a and b");
    EXPECT_EQ(narrow("{1} %s", "a", "b"), "b b");
    EXPECT_EQ(narrow("%s {0}", "a"), "a a");
    EXPECT_EQ(narrow("{0}{0}%s", "a", "b", "c"), "aac");
    EXPECT_EQ(narrow("{2} %d %d", 1, 2, 3), "3 2 3");
    EXPECT_EQ(narrow("%d-%d-%d", 1, 2, 3), "1-2-3");
    // Rejected placeholders do not count; mismatched ones do.
    EXPECT_EQ(narrow("%y %s", "a"), "%y a");
    EXPECT_EQ(narrow("{x} %s", "a"), "{x} a");
    EXPECT_EQ(narrow("%d|%s", "a", "b"), "|b");
    EXPECT_EQ(narrow("{0:d}|%s", "a", "b"), "|b");
    // Escapes do not count either.
    EXPECT_EQ(narrow("%%%s{{%s", "a", "b"), "%a{b");
}

TEST_F(FormatTest, OutOfRangeIndicesStayLiteral)
{
    EXPECT_EQ(narrow("{1}", "x"), "{1}");
    EXPECT_EQ(narrow("{1} {0}", "x"), "{1} x");
    EXPECT_EQ(narrow("{5,3:d2}", "x"), "{5,3:d2}");
    EXPECT_EQ(narrow("{10}", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11), "{10}");
    EXPECT_EQ(narrow("{0}%s"), "{0}%s");
    // Once the running index is out of range, every later printf placeholder is too,
    // while brace placeholders still reach their arguments.
    EXPECT_EQ(narrow("%s %s %-5d {0}", "a"), "a %s %-5d a");
    EXPECT_EQ(narrow("%s {0} %s", "a"), "a a %s");
    EXPECT_EQ(wide(VXN_W("{3}%s"), VXN_W("w")), u"{3}w");
}

TEST_F(FormatTest, KindAndConversionMismatchesRenderNothing)
{
    const vxn::string text("ab");
    const vxn::wstring wide_text(VXN_W("ab"));
    const vxn::string no_storage;
    const char* null_text = nullptr;
    for (const char* pattern : {"[{0:d}]", "[{0:D}]", "[{0:e}]", "[{0:E}]", "[{0:f}]", "[{0:F}]", "[{0:x}]",
                                "[{0:X3}]", "[%d]", "[%i]", "[%u]", "[%e]", "[%f]", "[%x]", "[%p]", "[%X]"}) {
        EXPECT_EQ(narrow(pattern, "ab"), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, text), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, wide_text), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, no_storage), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, null_text), "[]") << pattern;
    }
    for (const char* pattern : {"[{0:s}]", "[{0:S5}]", "[%s]", "[%S]", "[%c]", "[%5C]"}) {
        EXPECT_EQ(narrow(pattern, 42), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, std::uint16_t{7}), "[]") << pattern;
        EXPECT_EQ(narrow(pattern, std::uint64_t{7}), "[]") << pattern;
    }
    // Any argument may be used by several placeholders, or by none.
    EXPECT_EQ(narrow("{0} and {0}", "x", "unused"), "x and x");
}

TEST_F(FormatTest, TextPrecisionNullPointersAndStringsWithoutStorage)
{
    const char* null_text = nullptr;
    const vxn::wchar* null_wide = nullptr;
    EXPECT_EQ(narrow("{0:s3}|%.3s|{0:s0}|{0:s99}", "abcdef", "abcdef"), "abc|abc||abcdef");
    EXPECT_EQ(narrow("[{0,10}][%10s][%-10s]", "ab", "ab", "ab"), "[ab][ab][ab]");
    EXPECT_EQ(narrow("{0}|{0:s3}|%s", null_text, null_text, null_text), "(null)|(nu|(null)");
    EXPECT_EQ(narrow("[{0}]", null_wide), "[(null)]");
    EXPECT_EQ(wide(VXN_W("[{0}][{1}]"), null_wide, null_text), u"[(null)][(null)]");
    EXPECT_EQ(narrow("[{0}][{1}]", vxn::string(), vxn::wstring()), "[][]");
    EXPECT_EQ(wide(VXN_W("[{0}][{1}]"), vxn::wstring(), vxn::string()), u"[][]");

    // A string is read up to its first terminator; its stored length is not consulted.
    const vxn::string embedded("ab\0cd", 5);
    EXPECT_EQ(narrow("[{0}]", embedded), "[ab]");

    // A precision also bounds the scan: three characters without a terminator are enough.
    const char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(narrow("%.3s|{0:s2}", static_cast<const char*>(unterminated)), "xyz|xy");

    // Narrow text is copied byte for byte, so a precision may cut a UTF-8 sequence.
    EXPECT_EQ(narrow("{0:s1}", "\xC3\xA9"), "\xC3");
    // Wide text is cut in UTF-16 units before it is converted.
    EXPECT_EQ(narrow("{0:s2}", VXN_W("\u00e9\u20acx")), "\xC3\xA9\xE2\x82\xAC");
}

TEST_F(FormatTest, NarrowAndWideTextMix)
{
    // Wide into narrow is UTF-8, and the total counts its bytes.
    EXPECT_EQ(narrow("{0}", vxn::wstring(VXN_W("\u00e9"))), "\xC3\xA9");
    EXPECT_EQ(VXN::format_to<char>(nullptr, 0, "{0}", vxn::wstring(VXN_W("\u00e9"))), 3u);
    EXPECT_EQ(narrow("<{0}>", VXN_W("\U0001F600")), "<\xF0\x9F\x98\x80>");
    const vxn::wchar lone[] = {0xD800, 'x', 0};
    EXPECT_EQ(narrow("<{0}>", lone), "<\xEF\xBF\xBDx>");
    EXPECT_EQ(narrow("Launching {0} {1}", vxn::wstring(VXN_W("C:\\a b.exe")), vxn::wstring(VXN_W("-x"))),
              "Launching C:\\a b.exe -x");

    // Narrow into wide: each byte becomes the unit of the same value, no decoding.
    EXPECT_EQ(wide(VXN_W("{0}"), "\xC3\xA9"), std::u16string({0x00C3, 0x00A9}));
    EXPECT_EQ(wide(VXN_W("{0}|{1}"), vxn::string("\xFF" "a"), "\x80"), std::u16string({0xFF, 'a', '|', 0x80}));

    // The wide patterns of the program.
    const vxn::wstring folder(VXN_W("C:\\Temp\\ZyrelDownloader-1234"));
    const vxn::wstring suffix(VXN_W("Beta"));
    EXPECT_EQ(wide(VXN_W("{0}\\{1}"), folder, "ZyrelDownloader.exe"), u"C:\\Temp\\ZyrelDownloader-1234\\ZyrelDownloader.exe");
    EXPECT_EQ(wide(VXN_W("{0}\\ZyrelClient{1}.exe"), folder, suffix), u"C:\\Temp\\ZyrelDownloader-1234\\ZyrelClientBeta.exe");
    EXPECT_EQ(wide(VXN_W(" -temp \"{0}\""), folder), u" -temp \"C:\\Temp\\ZyrelDownloader-1234\"");
    EXPECT_EQ(wide(VXN_W("{0}ZyrelDownloader.log"), VXN_W("/tmp/")), u"/tmp/ZyrelDownloader.log");

    // Numbers in a wide pattern are rendered narrow and widened.
    EXPECT_EQ(wide(VXN_W("{0:d3}|%x|{2,-4}|%+d"), 7, 255u, std::uint16_t{9}, 5), u"007|ff|9   |+5");
}

// Formats pattern at every capacity from 0 to past the full size and checks the protocol:
// same total, nothing written past the capacity, always terminated, and the text a prefix
// of the complete output of the expected length.
template <class CharT, class... Args>
void check_every_capacity(const CharT* pattern, const Args&... args)
{
    const vxn::u32 total = VXN::format_to<CharT>(nullptr, 0, pattern, args...);
    ASSERT_GT(total, 0u);
    std::vector<CharT> full(total);
    ASSERT_EQ(VXN::format_to(full.data(), total, pattern, args...), total);
    for (vxn::u32 capacity = 0; capacity <= total + 2; ++capacity) {
        std::vector<CharT> buffer(capacity + 8, CharT('#'));
        EXPECT_EQ(VXN::format_to(buffer.data(), capacity, pattern, args...), total) << capacity;
        for (vxn::u32 i = capacity; i < capacity + 8; ++i)
            ASSERT_EQ(buffer[i], CharT('#')) << "written past capacity " << capacity;
        if (capacity == 0)
            continue;
        vxn::u32 length = 0;
        while (length < capacity && buffer[length] != 0)
            ++length;
        ASSERT_LT(length, capacity) << "not terminated at capacity " << capacity;
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + length, full.begin())) << capacity;
        if (capacity >= total) {
            EXPECT_EQ(length, total - 1);
        }
    }
}

TEST_F(FormatTest, TruncationAndTotalsAtEveryCapacity)
{
    char buffer[16] = "untouched";
    EXPECT_EQ(VXN::format_to(buffer, 4, "abcdef"), 7u);
    EXPECT_STREQ(buffer, "abc");
    std::memcpy(buffer, "untouched", 10);
    EXPECT_EQ(VXN::format_to(buffer, 0, "abcdef"), 7u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(VXN::format_to<char>(nullptr, 12, "abcdef"), 7u);
    EXPECT_EQ(VXN::format_to(buffer, 16, static_cast<const char*>(nullptr), 1), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(VXN::format_to(buffer, 16, ""), 1u);
    EXPECT_STREQ(buffer, "");

    // The time-zone offset's call: a buffer of 8.
    char offset[8];
    EXPECT_EQ(VXN::format_to(offset, 8, "{0}{1:d2}{2:d2}", "+", 1, 30), 6u);
    EXPECT_STREQ(offset, "+0130");
    EXPECT_EQ(VXN::format_to(offset, 8, "{0}{1:d2}", "-", 12345678), 10u);
    EXPECT_STREQ(offset, "-123456");

    check_every_capacity("abcdef");
    check_every_capacity("{0:d4}-{1:d2}-{2:d2} {3:d2}:{4:d2}:{5:d2}.{6:d3}{7}", std::uint16_t{2015},
                         std::uint16_t{4}, std::uint16_t{2}, std::uint16_t{9}, std::uint16_t{5}, std::uint16_t{7},
                         std::uint16_t{3}, "+02");
    check_every_capacity("{0,99}|{1:s3}|%%|{{|%x|{9}", 5, "abcdef", 255u);
    check_every_capacity("ab{0}cd{1}", vxn::wstring(VXN_W("\u00e9\u20ac")), VXN_W("\U0001F600"));
    check_every_capacity(VXN_W("{0}\\{1} %d"), vxn::wstring(VXN_W("dir\U0001F600")), "name", -7);

    // A UTF-8 piece that does not fit is left out whole, and so is everything after it:
    // a cut output is a prefix of the full one, never one with a piece missing inside.
    const vxn::wstring euro(VXN_W("\u00e9\u20ac"));
    EXPECT_EQ(VXN::format_to(buffer, 5, "ab{0}cd", euro), 10u);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(VXN::format_to(buffer, 8, "ab{0}cd", euro), 10u);
    EXPECT_STREQ(buffer, "ab\xC3\xA9\xE2\x82\xAC");
}

TEST_F(FormatTest, AssignFormatFormatsOnceWhenLargeEnoughAndTwiceOtherwise)
{
    counted_string s;
    s.assign_format("{0}-{1}", "abc", 42);
    EXPECT_EQ(s.view(), "abc-42");
    EXPECT_EQ(allocation_stats::get().allocations, 1u) << "measured first, then allocated once";
    EXPECT_EQ(allocation_stats::get().last_allocation, 7u) << "exactly the measured size";
    s.assign_format("{0}", "xy");
    EXPECT_EQ(s.view(), "xy");
    EXPECT_EQ(allocation_stats::get().allocations, 1u) << "a string with room formats in place";
    s.assign_format("{0}{0}{0}", "xyz");
    EXPECT_EQ(s.view(), "xyzxyzxyz");
    EXPECT_EQ(allocation_stats::get().allocations, 2u);
    EXPECT_EQ(allocation_stats::get().last_allocation, 10u);

    counted_inline256 line;
    const std::string message255(255, 'm');
    line.assign_format("{0}", message255.c_str());
    EXPECT_EQ(line.size(), 255u);
    EXPECT_TRUE(line.uses_inline_buffer());
    EXPECT_EQ(allocation_stats::get().allocations, 2u) << "255 characters fit the inline buffer";
    const std::string message300(300, 'n');
    line.assign_format("{0}", message300.c_str());
    EXPECT_EQ(std::string(line.c_str(), line.size()), message300);
    EXPECT_EQ(allocation_stats::get().allocations, 3u) << "exactly one allocation for 300 characters";
    EXPECT_EQ(allocation_stats::get().last_allocation, 301u);

    vxn::inline_string<64> stamp;
    stamp.assign_format("{0:d4}-{1:d2}-{2:d2} {3:d2}:{4:d2}:{5:d2}.{6:d3}{7}", std::uint16_t{2015}, std::uint16_t{4},
                        std::uint16_t{2}, std::uint16_t{9}, std::uint16_t{5}, std::uint16_t{7}, std::uint16_t{3},
                        "+02");
    EXPECT_EQ(stamp.view(), "2015-04-02 09:05:07.003+02");
    EXPECT_TRUE(stamp.uses_inline_buffer());

    zyrel_test::counted_wstring w;
    w.assign_format(VXN_W("{0}\\{1}"), VXN_W("dir"), "file");
    EXPECT_EQ(to_units(w.c_str()), u"dir\\file");
    EXPECT_EQ(allocation_stats::get().last_allocation, 9 * sizeof(vxn::wchar));

    // A failed allocation leaves an empty, terminated string; a null pattern empties it.
    allocation_stats::get().fail_next = 1;
    s.assign_format("{0}", message300.c_str());
    EXPECT_EQ(s.size(), 0u);
    EXPECT_STREQ(s.c_str(), "");
    s.assign_format("kept");
    s.assign_format(static_cast<const char*>(nullptr));
    EXPECT_EQ(s.size(), 0u);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(VXN::format(static_cast<const char*>(nullptr)).size(), 0u);
    EXPECT_EQ(VXN::format("{0}", "").size(), 0u);
}

TEST_F(FormatTest, StringFormattingItselfKeepsItsText)
{
    // The path idiom: the target is also an argument, with and without room to spare.
    vxn::string path("dir");
    path.assign_format("{0}\\{1}", path, "file");
    EXPECT_EQ(path.view(), "dir\\file");
    path.reserve(100);
    path.assign_format("{0}/{0}", path);
    EXPECT_EQ(path.view(), "dir\\file/dir\\file");
    vxn::wstring wide_path(VXN_W("C:"));
    wide_path.assign_format(VXN_W("{0}\\{1}"), wide_path, VXN_W("Temp"));
    EXPECT_EQ(to_units(wide_path.c_str()), u"C:\\Temp");

    // The pattern or a text pointer inside the string: rendered aside when it fits.
    vxn::string pattern("x{0}y");
    pattern.reserve(40);
    pattern.assign_format(pattern.c_str(), "A");
    EXPECT_EQ(pattern.view(), "xAy");
    vxn::string quoted("abc");
    quoted.reserve(40);
    quoted.assign_format("<{0}>", quoted.c_str());
    EXPECT_EQ(quoted.view(), "<abc>");
    // When it does not fit, the string would free what the pattern points into before
    // formatting again; it ends empty instead of reading freed memory.
    vxn::string grows("{0}{0}{0}{0}");
    grows.assign_format(grows.c_str(), "long enough text");
    EXPECT_EQ(grows.size(), 0u);
}

TEST_F(FormatTest, TotalThatOverflowsStaysAboveEveryCapacity)
{
    // 33 copies of 128 MiB need more than 2^32 characters.
    vxn::string big;
    big.resize(128u << 20, 'b');
    const char* pattern = "{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}{0}";
    char buffer[8];
    EXPECT_EQ(VXN::format_to(buffer, 8, pattern, big), 0xFFFFFFFFu);
    EXPECT_STREQ(buffer, "bbbbbbb");
    // No string can hold it: assign_format gives up without trying to allocate 4 GiB.
    counted_string s;
    s.assign_format(pattern, big);
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(allocation_stats::get().allocations, 0u);
}

TEST_F(FormatTest, ArgumentTypesMapToKinds)
{
    static_assert(VXN::is_format_argument_v<int> && VXN::is_format_argument_v<unsigned>);
    static_assert(VXN::is_format_argument_v<long> && VXN::is_format_argument_v<unsigned long>);
    static_assert(VXN::is_format_argument_v<long long> && VXN::is_format_argument_v<std::size_t>);
    static_assert(VXN::is_format_argument_v<std::uint16_t> && VXN::is_format_argument_v<const char[4]>);
    static_assert(VXN::is_format_argument_v<vxn::inline_string<64>> && VXN::is_format_argument_v<vxn::wstring>);
    static_assert(VXN::is_format_argument_v<const vxn::wchar*> && VXN::is_format_argument_v<char*>);
    static_assert(!VXN::is_format_argument_v<bool> && !VXN::is_format_argument_v<char>);
    static_assert(!VXN::is_format_argument_v<double> && !VXN::is_format_argument_v<float>);
    static_assert(!VXN::is_format_argument_v<std::int16_t> && !VXN::is_format_argument_v<std::uint8_t>);
    static_assert(!VXN::is_format_argument_v<const void*> && !VXN::is_format_argument_v<std::string>);
    static_assert(!VXN::is_format_argument_v<const unsigned char*> && !VXN::is_format_argument_v<std::nullptr_t>);
    static_assert(VXN::is_format_argument_v<const wchar_t*> == (sizeof(wchar_t) == 2));

    EXPECT_EQ(narrow("{0} {1} {2} {3}", -1, 4000000000u, std::size_t{12}, -5LL), "-1 4000000000 12 -5");
    // "%u" and "%d" reread a value at its own width; 64-bit values keep their type.
    EXPECT_EQ(narrow("%u %u", -1, std::int64_t{-1}), "4294967295 18446744073709551615");
    EXPECT_EQ(narrow("%d %d", 4294967295u, ~std::uint64_t{0}), "-1 -1");
    const long minus_two = -2;
    EXPECT_EQ(narrow("%u", minus_two), sizeof(long) == 4 ? "4294967294" : "18446744073709551614");
}

} // namespace
