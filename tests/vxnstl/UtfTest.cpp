#include <vxnstl/string>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using units = std::vector<vxn::wchar>;

units to_utf16(const std::string& bytes)
{
    const vxn::u32 needed = vxn::utf8_to_utf16(nullptr, 0, bytes.data(), static_cast<vxn::u32>(bytes.size()));
    if (needed == 0)
        return {};
    units out(needed, 0x5555);
    const vxn::u32 written = vxn::utf8_to_utf16(out.data(), needed, bytes.data(), static_cast<vxn::u32>(bytes.size()));
    EXPECT_EQ(written, needed) << "measuring and converting agree";
    EXPECT_EQ(out[needed - 1], 0) << "the terminator is written";
    out.resize(needed - 1);
    return out;
}

std::string to_utf8(const units& text)
{
    const vxn::u32 needed = vxn::utf16_to_utf8(nullptr, 0, text.data(), static_cast<vxn::u32>(text.size()));
    if (needed == 0)
        return {};
    std::string out(needed, '\x55');
    const vxn::u32 written = vxn::utf16_to_utf8(out.data(), needed, text.data(), static_cast<vxn::u32>(text.size()));
    EXPECT_EQ(written, needed);
    EXPECT_EQ(out[needed - 1], 0);
    out.resize(needed - 1);
    return out;
}

TEST(UtfTest, MeasuringNeverWritesAndCountsTheTerminator)
{
    const char hello[] = "h\xC3\xA9llo";
    EXPECT_EQ(vxn::utf8_to_utf16(nullptr, 0, hello, 6), 6u);
    EXPECT_EQ(vxn::utf8_to_utf16(nullptr, 0, hello, 7), 6u) << "a counted terminator is left out";
    EXPECT_EQ(vxn::utf8_to_utf16(nullptr, 0, hello, 0), 0u);
    EXPECT_EQ(vxn::utf8_to_utf16(nullptr, 0, nullptr, 5), 0u);
    EXPECT_EQ(vxn::utf8_to_utf16(nullptr, 0, "", 1), 0u) << "only a terminator: nothing to convert";

    // A capacity of 0 or 1 measures and leaves the destination alone.
    vxn::wchar guard[2] = {0x1111, 0x2222};
    EXPECT_EQ(vxn::utf8_to_utf16(guard, 1, hello, 6), 6u);
    EXPECT_EQ(vxn::utf8_to_utf16(guard, 0, hello, 6), 6u);
    EXPECT_EQ(guard[0], 0x1111);
    EXPECT_EQ(guard[1], 0x2222);

    const vxn::wchar wide[] = {'a', 0xE9, 0};
    char narrow_guard[2] = {'x', 'y'};
    EXPECT_EQ(vxn::utf16_to_utf8(nullptr, 0, wide, 3), 4u);
    EXPECT_EQ(vxn::utf16_to_utf8(narrow_guard, 1, wide, 2), 4u);
    EXPECT_EQ(narrow_guard[0], 'x');
}

TEST(UtfTest, TooSmallDestinationsYieldZeroAndStayInBounds)
{
    const char text[] = "abcdef";
    // Room for exactly the text plus terminator converts; one less fails as a whole.
    std::vector<vxn::wchar> exact(8, 0x7777);
    EXPECT_EQ(vxn::utf8_to_utf16(exact.data(), 7, text, 6), 7u);
    EXPECT_EQ(exact[6], 0);
    EXPECT_EQ(exact[7], 0x7777);

    std::vector<vxn::wchar> small(7, 0x7777);
    EXPECT_EQ(vxn::utf8_to_utf16(small.data(), 6, text, 6), 0u);
    EXPECT_EQ(small[0], 0) << "a failed conversion leaves an empty, terminated text";
    EXPECT_EQ(small[6], 0x7777) << "nothing is written past the capacity";

    const vxn::wchar wide[] = {'a', 'b', 'c'};
    char narrow[5] = {'.', '.', '.', '.', '.'};
    EXPECT_EQ(vxn::utf16_to_utf8(narrow, 3, wide, 3), 0u);
    EXPECT_EQ(narrow[0], 0);
    EXPECT_EQ(narrow[3], '.');
    EXPECT_EQ(vxn::utf16_to_utf8(narrow, 4, wide, 3), 4u);
    EXPECT_STREQ(narrow, "abc");
}

TEST(UtfTest, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart)
{
    const vxn::wchar R = 0xFFFD;
    struct Case {
        std::string input;
        units expected;
    };
    const Case cases[] = {
        {"\x80", {R}},                                   // stray continuation byte
        {"\xC3", {R}},                                   // truncated two-byte sequence
        {"\xE2\x82", {R}},                               // truncated three-byte sequence: one subpart
        {"\xE2\x82" "A", {R, 'A'}},                      // the next character survives
        {"\xE0\x80\x80", {R, R, R}},                     // overlong: E0 cannot take 80
        {"\xC0\xAF", {R, R}},                            // C0 never starts a sequence
        {"\xED\xA0\x80", {R, R, R}},                     // an encoded surrogate
        {"\xED\x9F\xBF", {0xD7FF}},                      // the last scalar value before them
        {"\xF4\x90\x80\x80", {R, R, R, R}},              // above U+10FFFF
        {"\xF0\x9F\x98", {R}},                           // truncated four-byte sequence
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},          // a surrogate pair
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},          // U+10FFFF
        {"\xFF\xFE", {R, R}},
        {"a\xE2\x82\xAC" "b", {'a', 0x20AC, 'b'}},
        {std::string("a\0b", 3), {'a', 0, 'b'}},         // an inner zero is text
    };
    for (const Case& c : cases) {
        vxn::wchar out[16];
        const vxn::u32 produced = vxn::detail::portable_utf8_to_utf16(out, 16, c.input.data(),
                                                                      static_cast<vxn::u32>(c.input.size()));
        EXPECT_EQ(units(out, out + produced), c.expected) << "input of " << c.input.size() << " bytes";
#if !defined(_WIN32)
        EXPECT_EQ(to_utf16(c.input), c.expected) << "input of " << c.input.size() << " bytes";
#endif
    }
}

TEST(UtfTest, UnpairedSurrogatesBecomeReplacementInUtf8)
{
    const std::string R = "\xEF\xBF\xBD";
    EXPECT_EQ(to_utf8({0xD800}), R);
    EXPECT_EQ(to_utf8({0xDC00}), R);
    EXPECT_EQ(to_utf8({0xD800, 'a'}), R + "a");
    EXPECT_EQ(to_utf8({'a', 0xDFFF, 0xD800}), "a" + R + R);
    EXPECT_EQ(to_utf8({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(to_utf8({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
}

TEST(UtfTest, RandomValidTextRoundTrips)
{
    std::mt19937 generator(20261209u); // fixed start value so a failure reproduces
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> plane(0, 9);
    for (int round = 0; round < 5000; ++round) {
        std::u32string scalars;
        const int n = length(generator);
        for (int i = 0; i < n; ++i) {
            char32_t value;
            const int kind = plane(generator);
            if (kind < 3)
                value = std::uniform_int_distribution<int>(1, 0x7F)(generator);
            else if (kind < 5)
                value = std::uniform_int_distribution<int>(0x80, 0x7FF)(generator);
            else if (kind < 8)
                value = std::uniform_int_distribution<int>(0x800, 0xFFFF)(generator);
            else
                value = std::uniform_int_distribution<int>(0x10000, 0x10FFFF)(generator);
            if (value >= 0xD800 && value <= 0xDFFF)
                value = 0xE000;
            scalars.push_back(value);
        }
        units wide;
        for (char32_t v : scalars) {
            if (v >= 0x10000) {
                wide.push_back(static_cast<vxn::wchar>(0xD800 + ((v - 0x10000) >> 10)));
                wide.push_back(static_cast<vxn::wchar>(0xDC00 + ((v - 0x10000) & 0x3FF)));
            } else {
                wide.push_back(static_cast<vxn::wchar>(v));
            }
        }
        const std::string narrow = to_utf8(wide);
        ASSERT_EQ(to_utf16(narrow), wide) << "round " << round;

        vxn::string s;
        s.assign_utf16(wide.data(), static_cast<vxn::u32>(wide.size()));
        vxn::wstring back;
        back.assign_utf8(s.c_str(), s.size());
        ASSERT_EQ(std::basic_string<vxn::wchar>(back.c_str(), back.size()),
                  std::basic_string<vxn::wchar>(wide.begin(), wide.end()));
    }
}

#if defined(_WIN32)
// Well-formed sequences with lone bytes that can never start or continue one (stray
// continuation bytes, C0, C1, F5..FF) between them: input on whose reading every
// converter that substitutes U+FFFD agrees.
std::string mixed_utf8(std::mt19937& generator)
{
    static const unsigned char stray[] = {0x80, 0x9F, 0xA5, 0xBF, 0xC0, 0xC1, 0xF5, 0xF8, 0xFE, 0xFF};
    std::uniform_int_distribution<int> kind(0, 5);
    std::uniform_int_distribution<int> length(1, 12);
    units wide;
    std::string bytes;
    for (int i = length(generator); i > 0; --i) {
        if (kind(generator) == 0) {
            bytes.push_back(static_cast<char>(stray[std::uniform_int_distribution<int>(0, 9)(generator)]));
            continue;
        }
        const vxn::wchar unit = static_cast<vxn::wchar>(std::uniform_int_distribution<int>(1, 0xD7FF)(generator));
        const vxn::wchar one[] = {unit};
        char encoded[8];
        const vxn::u32 n = vxn::detail::portable_utf16_to_utf8(encoded, 8, one, 1);
        bytes.append(encoded, n);
    }
    return bytes;
}

// The Windows program converts with the system's converter; the library's own converter
// must give the same units. Arbitrary bytes are compared on Windows itself; Wine's
// converter reads some ill-formed input differently from Windows (a lead byte with a
// second byte it does not allow, a sequence cut off by the end of the input), so under
// Wine the comparison uses input without such pieces.
TEST(UtfTest, LibraryConverterMatchesTheSystemConverter)
{
    const bool wine = zyrel_test::running_under_wine();
    RecordProperty("system_converter", wine ? "wine" : "windows");
    std::mt19937 generator(77u);
    std::uniform_int_distribution<int> length(1, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> unit(0, 0xFFFF);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        if (wine) {
            bytes = mixed_utf8(generator);
        } else {
            bytes.assign(length(generator), '\0');
            for (char& b : bytes)
                b = static_cast<char>(byte(generator) | 1);
        }
        vxn::wchar mine[128];
        const vxn::u32 ours =
            vxn::detail::portable_utf8_to_utf16(mine, 127, bytes.data(), static_cast<vxn::u32>(bytes.size()));
        ASSERT_EQ(units(mine, mine + ours), to_utf16(bytes)) << "bytes " << ::testing::PrintToString(bytes);

        // Any UTF-16, unpaired surrogates included, reads the same on Wine and Windows.
        units wide(length(generator));
        for (vxn::wchar& u : wide) {
            u = static_cast<vxn::wchar>(unit(generator));
            if (u == 0)
                u = 'z';
        }
        char narrow[256];
        const vxn::u32 produced = vxn::detail::portable_utf16_to_utf8(narrow, 255, wide.data(),
                                                                      static_cast<vxn::u32>(wide.size()));
        ASSERT_EQ(std::string(narrow, produced), to_utf8(wide)) << "round " << round;
    }
}
#endif

TEST(UtfTest, CopyCharsCutsToTheFieldAndReportsTheWholeSize)
{
    const std::string name(40, 'n');
    char field[32];
    std::fill(field, field + 32, 'x');
    EXPECT_EQ(vxn::copy_chars(field, 32, name.c_str(), 40), 41u);
    EXPECT_EQ(std::string(field), std::string(31, 'n'));
    EXPECT_EQ(vxn::copy_chars(field, 32, "UTC", 4), 4u) << "a counted terminator is left out";
    EXPECT_STREQ(field, "UTC");
    EXPECT_EQ(vxn::copy_chars(nullptr, 0, "UTC", 3), 4u);
    EXPECT_EQ(vxn::copy_chars(field, 32, nullptr, 3), 0u);
    EXPECT_EQ(vxn::copy_chars(field, 32, "UTC", 0), 0u);
}

} // namespace

TEST(UtfTest, FreeConversionsGiveTheOtherFormAsANewString)
{
    const vxn::wstring wide(VXN_W("Gr\u00FC\u00DFe \U0001F600"));
    const vxn::string narrow = vxn::utf8_from(wide);
    EXPECT_EQ(std::string(narrow.c_str(), narrow.size()), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80");
    EXPECT_TRUE(vxn::utf16_from(narrow) == wide);
    EXPECT_TRUE(vxn::utf16_from("ab\xFF", 3) == VXN_W("ab\uFFFD")) << "the converters' replacement rule";
    EXPECT_TRUE(vxn::utf8_from(vxn::wstring()).empty());
    EXPECT_TRUE(vxn::utf16_from("", 0).empty());
}
