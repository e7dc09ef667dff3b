// TokenList: how text splits, and that the configuration reader's lists of up to 8 tokens
// never reach the heap. This program counts every heap block (support/HeapCount.cpp), so
// nothing else lives in it.
#include "Settings.h"
#include "TokenList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zyrel_test::heap_blocks;
using zyrel_test::to_units;

std::vector<std::u16string> Tokens(const TokenList& list)
{
    std::vector<std::u16string> out;
    for (vxn::wchar* token : list)
        out.push_back(to_units(token));
    return out;
}

using Expected = std::vector<std::u16string>;

TEST(TokenListTest, TokensAreTheMaximalRunsBetweenDelimiters)
{
    TokenList list;
    list.Split(VXN_W("a,b,,c"), VXN_W(","));
    EXPECT_EQ(Tokens(list), (Expected{u"a", u"b", u"c"})) << "repeated delimiters give no empty token";

    list.Split(VXN_W(",,lead and trail,,"), VXN_W(","));
    EXPECT_EQ(Tokens(list), (Expected{u"lead and trail"}));

    list.Split(VXN_W("one\r\ntwo\rthree\n\n\r\nfour"), VXN_W("\r\n"));
    EXPECT_EQ(Tokens(list), (Expected{u"one", u"two", u"three", u"four"})) << "every character of the set delimits";

    list.Split(VXN_W("no delimiter here"), VXN_W("="));
    EXPECT_EQ(Tokens(list), (Expected{u"no delimiter here"}));

    list.Split(VXN_W("==="), VXN_W("="));
    EXPECT_EQ(list.Count(), 0u) << "only delimiters";
    list.Split(VXN_W(""), VXN_W("="));
    EXPECT_EQ(list.Count(), 0u) << "empty text";
    list.Split(nullptr, VXN_W("="));
    EXPECT_EQ(list.Count(), 0u) << "no text";

    list.Split(VXN_W("a=b"), VXN_W(""));
    EXPECT_EQ(Tokens(list), (Expected{u"a=b"})) << "an empty set delimits nothing";
}

TEST(TokenListTest, TokensPointIntoAPrivateCopyWithDelimitersOverwritten)
{
    const vxn::wchar source[] = VXN_W("key = value");
    TokenList list;
    list.Split(source, VXN_W("="));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(to_units(source), u"key = value") << "the caller's text is left alone";
    EXPECT_NE(list[0], source);
    EXPECT_EQ(list[1] - list[0], 5) << "both tokens live in one copy";
    EXPECT_EQ(list[0][4], 0) << "the delimiter became the first token's terminator";
    EXPECT_EQ(to_units(list[0]), u"key ");
    EXPECT_EQ(to_units(list[1]), u" value");

    // A new split replaces the old tokens; pointers into the new text only.
    list.Split(VXN_W("x|y|z"), VXN_W("|"));
    EXPECT_EQ(Tokens(list), (Expected{u"x", u"y", u"z"}));

    // A line taken from one list can be split again by another (the configuration reader
    // splits each line of the first list at "=").
    TokenList lines;
    lines.Split(VXN_W("a=1\nb=2"), VXN_W("\n"));
    TokenList pieces;
    pieces.Split(lines[1], VXN_W("="));
    EXPECT_EQ(Tokens(pieces), (Expected{u"b", u"2"}));
    EXPECT_EQ(Tokens(lines), (Expected{u"a=1", u"b=2"}));
}

TEST(TokenListTest, EightTokensStayOffTheHeapAndANinthGrowsOnto)
{
    std::size_t before = heap_blocks();
    TokenList list(8);
    EXPECT_EQ(heap_blocks() - before, 0u) << "reserving 8 entries uses the inline buffer";
    EXPECT_TRUE(list.UsesInlineStorage());

    before = heap_blocks();
    list.Split(VXN_W("1 2 3 4 5 6 7 8"), VXN_W(" "));
    EXPECT_EQ(list.Count(), 8u);
    EXPECT_EQ(heap_blocks() - before, 1u) << "only the private copy of the text is allocated";
    EXPECT_TRUE(list.UsesInlineStorage());

    TokenList longer(8);
    before = heap_blocks();
    longer.Split(VXN_W("1 2 3 4 5 6 7 8 9"), VXN_W(" "));
    EXPECT_EQ(longer.Count(), 9u);
    EXPECT_EQ(heap_blocks() - before, 2u) << "the copy, and the pointer list moving to the heap";
    EXPECT_FALSE(longer.UsesInlineStorage());
    EXPECT_EQ(to_units(longer[8]), u"9");

    // The shape of the compiled-in configuration: three lines, two pieces each at most.
    const vxn::wchar configuration[] = VXN_W("[Downloader]\r\nDownloadUrl=http://h/zyrel/live/ZyrelInstall.exe\r\nAppSuffix=\r\n");
    TokenList lines(8);
    TokenList pieces(8);
    before = heap_blocks();
    lines.Split(configuration, VXN_W("\r\n"));
    for (vxn::wchar* line : lines)
        pieces.Split(line, VXN_W("="));
    EXPECT_EQ(lines.Count(), 3u);
    EXPECT_TRUE(lines.UsesInlineStorage());
    EXPECT_TRUE(pieces.UsesInlineStorage());
    EXPECT_LE(heap_blocks() - before, 1u + 3u) << "copies of the texts at most, nothing for the lists";
}

} // namespace
