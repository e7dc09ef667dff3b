#include <vxnstl/string>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using zyrel_test::allocation_stats;

namespace {

using counted = zyrel_test::counted_string;
using counted_wide = zyrel_test::counted_wstring;
using counted_inline64 = vxn::basic_string<char, vxn::fixed_storage<64, zyrel_test::counting_allocator, 1>>;
using StringTest = zyrel_test::counted_heap_test;

TEST_F(StringTest, AssignGrowsToExactSizeAndNeverShrinks)
{
    counted s;
    EXPECT_EQ(s.data(), nullptr);
    s.assign("", 0);
    EXPECT_EQ(s.data(), nullptr) << "an empty assign on a string without a buffer allocates nothing";
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(allocations(), 0u);

    s.reserve(9);
    EXPECT_EQ(s.capacity(), 10u);
    s.assign("abcde", 5);
    EXPECT_EQ(s.capacity(), 10u);
    EXPECT_EQ(s.view(), "abcde");
    EXPECT_EQ(allocations(), 1u);

    s.assign("abcdefghijkl", 12);
    EXPECT_EQ(s.capacity(), 13u);
    EXPECT_EQ(allocations(), 2u);
    EXPECT_EQ(allocation_stats::get().last_allocation, 13u);

    s.assign("x", 1);
    EXPECT_EQ(s.capacity(), 13u);
    EXPECT_EQ(s.view(), "x");

    // Assigning a piece of the string's own text works although the ranges overlap.
    s.assign("0123456789", 10);
    s.assign(s.c_str() + 2, 5);
    EXPECT_EQ(s.view(), "23456");
    s.assign(s.c_str() + 1, 3);
    EXPECT_EQ(s.view(), "345");

    s.assign(nullptr);
    EXPECT_EQ(s.size(), 0u);
    EXPECT_STREQ(s.c_str(), "");
}

TEST_F(StringTest, AppendAddsExactlyWhatIsNeeded)
{
    counted s("0123456789");
    EXPECT_EQ(s.capacity(), 11u);
    s.append("abc", 3);
    EXPECT_EQ(s.capacity(), 14u);
    EXPECT_EQ(s.view(), "0123456789abc");
    const std::size_t before = allocations();
    s.append("", 0);
    s.append(nullptr, 5);
    EXPECT_EQ(allocations(), before);
    EXPECT_EQ(s.capacity(), 14u);

    // One unit at a time reallocates every time: no geometric growth.
    counted t;
    for (int i = 0; i < 5; ++i)
        t.push_back('a');
    EXPECT_EQ(t.capacity(), 6u);
    EXPECT_EQ(allocations(), before + 5);

    // A string appended to itself survives the move of its buffer.
    counted u("abc");
    u.append(u);
    EXPECT_EQ(u.view(), "abcabc");
    u.append(u.c_str() + 4, 2);
    EXPECT_EQ(u.view(), "abcabcbc");
}

TEST_F(StringTest, ReserveResizeClearAndSubstr)
{
    counted s("ab");
    s.reserve(1);
    EXPECT_EQ(s.capacity(), 3u) << "reserve never shrinks";
    s.resize(5, 'x');
    EXPECT_EQ(s.view(), "abxxx");
    EXPECT_GE(s.capacity(), 6u);
    s.resize(1, 'q');
    EXPECT_EQ(s.view(), "a");
    s.clear();
    EXPECT_EQ(s.size(), 0u);
    EXPECT_NE(s.data(), nullptr) << "clear keeps the buffer";
    EXPECT_STREQ(s.c_str(), "");

    counted_wide path(VXN_W("C:\\Games\\"));
    path.resize(path.size() - 1, 0);
    EXPECT_TRUE(path.view() == std::basic_string_view<vxn::wchar>(VXN_W("C:\\Games")));
    EXPECT_EQ(path.size(), 8u);
    EXPECT_EQ(path[7], VXN_W('s'));

    const counted abc("abc");
    EXPECT_EQ(abc.substr(3).view(), "");
    EXPECT_EQ(abc.substr(1, counted::npos).view(), "bc");
    EXPECT_EQ(abc.substr(1, 5).view(), "bc");
    EXPECT_EQ(abc.substr(7, 1).view(), "");
    EXPECT_EQ(abc.substr(0, 2).view(), "ab");
    EXPECT_EQ(abc.substr(1, 0xFFFFFFFEu).view(), "bc") << "count + start overflowing takes the rest";
    EXPECT_EQ(abc.substr(3).data(), nullptr) << "an empty piece owns no buffer";
}

TEST_F(StringTest, CopiesMovesAndStringsWithoutStorage)
{
    counted big;
    big.reserve(99);
    big.assign("hello");
    counted copy(big);
    EXPECT_EQ(copy.capacity(), 6u) << "a copy is sized to the text, not to the source's capacity";
    EXPECT_TRUE(copy == big);

    counted cleared("x");
    cleared.clear();
    counted copy_of_empty(cleared);
    EXPECT_EQ(copy_of_empty.data(), nullptr);

    const char* buffer = big.data();
    counted moved(static_cast<counted&&>(big));
    EXPECT_EQ(moved.data(), buffer);
    EXPECT_EQ(big.data(), nullptr);
    EXPECT_EQ(big.size(), 0u);
    EXPECT_EQ(big.capacity(), 0u);
    EXPECT_STREQ(big.c_str(), "");

    counted target("old text");
    target = static_cast<counted&&>(moved);
    EXPECT_EQ(target.data(), buffer);
    EXPECT_EQ(target.view(), "hello");

    const vxn::string none;
    const vxn::wstring wide_none;
    EXPECT_NE(none.c_str(), nullptr);
    EXPECT_EQ(none.c_str()[0], 0);
    EXPECT_EQ(wide_none.c_str()[0], 0);
    EXPECT_EQ(vxn::string(nullptr).data(), nullptr);

    EXPECT_TRUE(counted("ab") == counted("ab"));
    EXPECT_FALSE(counted("ab") == counted("abc"));
    EXPECT_FALSE(counted("ab") == counted("ac"));
    EXPECT_TRUE(counted() == counted(""));
}

TEST_F(StringTest, InlineBufferIsUsedLeftAndTakenAgain)
{
    counted_inline64 s;
    EXPECT_TRUE(s.uses_inline_buffer());
    EXPECT_EQ(s.capacity(), 64u);
    s.assign(std::string(63, 'a').c_str());
    EXPECT_TRUE(s.uses_inline_buffer());
    EXPECT_EQ(allocations(), 0u);

    const std::string seventy(70, 'b');
    s.assign(seventy.c_str());
    EXPECT_FALSE(s.uses_inline_buffer());
    EXPECT_EQ(s.capacity(), 71u);
    EXPECT_EQ(s.view(), seventy);
    EXPECT_EQ(allocations(), 1u);

    // Moving out of a heap-held inline string hands the heap block over; the source can
    // take its inline buffer again.
    counted_inline64 other(static_cast<counted_inline64&&>(s));
    EXPECT_EQ(other.view(), seventy);
    EXPECT_EQ(s.size(), 0u);
    s.reserve(10);
    EXPECT_TRUE(s.uses_inline_buffer());

    counted_inline64 small;
    small.assign("short");
    counted_inline64 moved_small(static_cast<counted_inline64&&>(small));
    EXPECT_EQ(moved_small.view(), "short");
    EXPECT_TRUE(moved_small.uses_inline_buffer());

    // Growing from the inline buffer through append.
    counted_inline64 grow;
    for (int i = 0; i < 64; ++i)
        grow.push_back('c');
    EXPECT_FALSE(grow.uses_inline_buffer());
    EXPECT_EQ(grow.size(), 64u);
    EXPECT_EQ(grow.capacity(), 65u);
}

TEST_F(StringTest, FailedAllocationsNeverWritePastTheBuffer)
{
    counted s("abc");
    allocation_stats::get().fail_next = 1;
    s.append("defgh", 5);
    EXPECT_EQ(s.view(), "abc") << "a failed growth leaves the text as it was";
    EXPECT_EQ(s.capacity(), 4u);

    allocation_stats::get().fail_next = 1;
    s.assign("0123456789");
    EXPECT_EQ(s.size(), 0u) << "a failed assign leaves the string empty";
    EXPECT_STREQ(s.c_str(), "");

    s.assign("ab");
    allocation_stats::get().fail_next = 1;
    s.resize(10, 'z');
    EXPECT_EQ(s.view(), "ab");

    allocation_stats::get().fail_next = 1;
    s.reserve(100);
    EXPECT_EQ(s.capacity(), 4u);

    // Lengths that do not fit 32 bits once the terminator is counted are refused, not
    // wrapped around into a tiny buffer.
    s.assign("xyz");
    s.append("q", 0xFFFFFFFFu);
    EXPECT_EQ(s.view(), "xyz");
    s.reserve(0xFFFFFFFFu);
    EXPECT_EQ(s.capacity(), 4u);
    s.resize(0xFFFFFFFFu, 'a');
    EXPECT_EQ(s.view(), "xyz");
    s.assign("q", 0xFFFFFFFFu);
    EXPECT_EQ(s.size(), 0u);
}

TEST_F(StringTest, AssertionHookIsAskedFirstAndGetsExactTexts)
{
    vxn::string narrow("ab");
    vxn::wstring wide(VXN_W("ab"));
    {
        zyrel_test::hook_recorder hook;
        (void)narrow[1];
        EXPECT_TRUE(hook.reports().empty());
        (void)narrow[2];
        (void)wide[5];
        ASSERT_EQ(hook.reports().size(), 2u);
        EXPECT_EQ(hook.reports()[0].text(),
                  "extern/vxnstl/string:169 vxn::basic_string<char,class vxn::allocator>::operator [] (index < size())");
        EXPECT_EQ(hook.reports()[1].function, "vxn::basic_string<wchar_t,class vxn::allocator>::operator []");
    }
    // Without a hook the access goes ahead unchecked (the terminator is readable here).
    EXPECT_EQ(narrow[2], 0);
}

TEST_F(StringTest, Utf8AndUtf16AssignmentRoundTrip)
{
    counted_wide wide;
    const char hello[] = "h\xC3\xA9llo"; // "héllo": 6 bytes, 5 units
    wide.assign_utf8(hello, 6);
    EXPECT_EQ(wide.size(), 5u);
    EXPECT_EQ(wide.capacity(), 6u) << "measured once, grown once to the exact size";
    EXPECT_EQ(wide[1], static_cast<vxn::wchar>(0xE9));

    counted narrow;
    narrow.assign_utf16(wide.c_str(), wide.size());
    EXPECT_EQ(narrow.view(), std::string_view(hello));

    // Counts that include the terminator give the same text.
    wide.assign_utf8(hello, 7);
    EXPECT_EQ(wide.size(), 5u);

    // Nothing to convert empties the string but keeps its buffer.
    wide.assign_utf8(hello, 0);
    EXPECT_EQ(wide.size(), 0u);
    EXPECT_NE(wide.data(), nullptr);
    counted_wide untouched;
    untouched.assign_utf8(nullptr, 4);
    EXPECT_EQ(untouched.data(), nullptr);
}

TEST_F(StringTest, WideHelpersBehaveLikeTheCLibrary)
{
    const vxn::wchar* text = VXN_W("C:\\Program Files\\Zyrel");
    EXPECT_EQ(vxn::find_text(text, VXN_W("Files")), text + 11);
    EXPECT_EQ(vxn::find_text(text, VXN_W("")), text);
    EXPECT_EQ(vxn::find_text(text, VXN_W("zyrel")), nullptr);
    EXPECT_EQ(vxn::compare_prefix(VXN_W("abcd"), VXN_W("abce"), 3), 0);
    EXPECT_LT(vxn::compare_prefix(VXN_W("abcd"), VXN_W("abce"), 4), 0);
    EXPECT_GT(vxn::compare_prefix(VXN_W("ab"), VXN_W("a"), 5), 0);
    EXPECT_EQ(vxn::compare_prefix(VXN_W("ab"), VXN_W("ab"), 10), 0);
    // Units above 0x7FFF compare as unsigned, as wcsncmp does with a 16-bit wchar_t.
    const vxn::wchar high[] = {static_cast<vxn::wchar>(0xE000), 0};
    EXPECT_GT(vxn::compare_prefix(high, VXN_W("a"), 1), 0);
    EXPECT_EQ(vxn::length_of(static_cast<const char*>(nullptr)), 0u);
    EXPECT_EQ(vxn::length_of(text), 22u);
}

} // namespace
