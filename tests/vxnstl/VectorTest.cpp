#include <vxnstl/string>
#include <vxnstl/vector>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

using zyrel_test::allocation_stats;
using zyrel_test::counting_allocator;
using zyrel_test::tracked;

namespace {

// The shape of an early log entry: three 32-bit fields and a narrow string.
struct record {
    vxn::u32 line;
    vxn::u32 level;
    vxn::u32 category;
    zyrel_test::counted_string text;
};

using plain_words = vxn::vector<vxn::u32, counting_allocator>;
using inline_words = vxn::vector<vxn::u32, vxn::fixed_storage<32, counting_allocator, 4>>;
using inline_tokens = vxn::vector<vxn::wchar*, vxn::fixed_storage<32, counting_allocator, 4>>;
using token_list = vxn::vector<vxn::wchar*, vxn::fixed_storage<32, vxn::allocator, 4>>;

using VectorTest = zyrel_test::counted_heap_test;

TEST_F(VectorTest, GrowsByEightThenByHalf)
{
    plain_words v;
    EXPECT_EQ(v.data(), nullptr);
    EXPECT_EQ(v.capacity(), 0u);

    std::vector<std::size_t> capacities;
    for (vxn::u32 i = 0; i < 61; ++i) {
        const std::size_t before = v.capacity();
        v.push_back(i * 3);
        if (v.capacity() != before) {
            capacities.push_back(v.capacity());
            EXPECT_EQ(last_allocation(), v.capacity() * sizeof(vxn::u32));
        }
    }
    EXPECT_EQ(capacities, (std::vector<std::size_t>{8, 12, 18, 27, 40, 60, 90}));
    EXPECT_EQ(allocations(), 7u);
    ASSERT_EQ(v.size(), 61u);
    for (vxn::u32 i = 0; i < 61; ++i)
        EXPECT_EQ(v[i], i * 3);

    // A reserve that is not above the capacity changes nothing; a larger one is exact.
    v.reserve(10);
    v.reserve(90);
    EXPECT_EQ(v.capacity(), 90u);
    EXPECT_EQ(allocations(), 7u);
    v.reserve(100);
    EXPECT_EQ(v.capacity(), 100u);
    EXPECT_EQ(v.size(), 61u);
    EXPECT_EQ(v.back(), 180u);

    // The rule stops at the largest representable count instead of wrapping.
    EXPECT_EQ(plain_words::next_capacity(5), 13u);
    EXPECT_EQ(plain_words::next_capacity(plain_words::max_size()), plain_words::max_size());
    EXPECT_EQ(plain_words::next_capacity(plain_words::max_size() - 10), plain_words::max_size());
}

TEST_F(VectorTest, InlineBufferIsTakenLeftAndTakenAgain)
{
    {
        inline_words v;
        EXPECT_FALSE(v.uses_inline_buffer());
        v.reserve(8);
        EXPECT_TRUE(v.uses_inline_buffer());
        EXPECT_EQ(v.capacity(), 8u);
        for (vxn::u32 i = 0; i < 8; ++i)
            v.push_back(100 + i);
        EXPECT_EQ(allocations(), 0u) << "eight 4-byte elements fit the 32-byte buffer";

        // The 9th element moves all of them to a heap block of 12.
        v.push_back(108);
        EXPECT_FALSE(v.uses_inline_buffer());
        EXPECT_EQ(v.capacity(), 12u);
        EXPECT_EQ(allocations(), 1u);
        EXPECT_EQ(last_allocation(), 12 * sizeof(vxn::u32));
        for (vxn::u32 i = 0; i < 9; ++i)
            EXPECT_EQ(v[i], 100 + i);

        // The heap block changes owners; the emptied vector takes its own buffer again.
        inline_words taker(std::move(v));
        EXPECT_EQ(taker.size(), 9u);
        EXPECT_EQ(v.size(), 0u);
        EXPECT_EQ(v.data(), nullptr);
        v.reserve(8);
        EXPECT_TRUE(v.uses_inline_buffer());
        v.push_back(7);
        EXPECT_EQ(allocations(), 1u);

        // Elements held inline cannot change owners: they are copied into the target,
        // which returns its heap block first.
        taker = std::move(v);
        EXPECT_TRUE(taker.uses_inline_buffer());
        ASSERT_EQ(taker.size(), 1u);
        EXPECT_EQ(taker[0], 7u);
        EXPECT_EQ(v.size(), 0u);
        EXPECT_FALSE(v.uses_inline_buffer());
    }

    // The token list's pointers: 8 of them inline on 32-bit, as many as fit elsewhere.
    allocation_stats::reset();
    vxn::wchar text[16] = {};
    inline_tokens tokens;
    const std::size_t fit = 32 / sizeof(vxn::wchar*);
    EXPECT_EQ(inline_tokens::inline_capacity, fit);
    tokens.reserve(fit);
    for (std::size_t i = 0; i < fit; ++i)
        tokens.push_back(text + i);
    EXPECT_TRUE(tokens.uses_inline_buffer());
    EXPECT_EQ(allocations(), 0u);
    tokens.push_back(text + fit);
    EXPECT_FALSE(tokens.uses_inline_buffer());
    EXPECT_EQ(tokens.capacity(), inline_tokens::next_capacity(fit));
    for (std::size_t i = 0; i <= fit; ++i)
        EXPECT_EQ(tokens[i], text + i);
#if UINTPTR_MAX == 0xFFFFFFFFu
    EXPECT_EQ(tokens.capacity(), 12u);
#endif
}

TEST_F(VectorTest, RecordsWithStringsAreCopiedOnGrowthAndReleasedByClear)
{
    {
        vxn::vector<record, counting_allocator> records;
        for (vxn::u32 i = 0; i < 30; ++i) {
            record& entry = records.push_back();
            EXPECT_EQ(entry.text.size(), 0u) << "the string member starts out empty";
            EXPECT_EQ(entry.line, 0u);
            entry.line = i;
            entry.level = 2;
            entry.category = 7;
            entry.text.assign(("message number " + std::to_string(i)).c_str());
        }
        ASSERT_EQ(records.size(), 30u);
        EXPECT_EQ(records.capacity(), 40u);
        for (vxn::u32 i = 0; i < 30; ++i) {
            EXPECT_EQ(records[i].line, i);
            EXPECT_EQ(records[i].text.view(), "message number " + std::to_string(i));
        }

        // Clearing frees every string and keeps the element block.
        const std::size_t block = records.capacity() * sizeof(record);
        records.clear();
        EXPECT_EQ(records.size(), 0u);
        EXPECT_EQ(records.capacity(), 40u);
        EXPECT_EQ(allocation_stats::get().bytes_live, block);
        records.push_back().text.assign("again");
        EXPECT_EQ(records[0].text.view(), "again");
    }

    // Each growth copies every element into the new block and destroys the old ones.
    vxn::vector<tracked> items;
    for (int i = 0; i < 50; ++i)
        items.push_back(tracked(i));
    EXPECT_EQ(tracked::live, 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(items[static_cast<std::size_t>(i)].value, i);

    // Appending one of its own elements while it grows reads the element before it moves.
    vxn::vector<tracked> own;
    for (int i = 0; i < 8; ++i)
        own.push_back(tracked(i));
    own.push_back(own[3]);
    ASSERT_EQ(own.size(), 9u);
    EXPECT_EQ(own[8].value, 3);
    items.clear();
    EXPECT_EQ(tracked::live, 9);
    own.clear();
    EXPECT_EQ(tracked::live, 0);
}

TEST_F(VectorTest, StorageThatCannotBeHadIsNeverWrittenPast)
{
    plain_words v;
    for (vxn::u32 i = 0; i < 8; ++i)
        v.push_back(i);

    // The allocator yields nothing: the append fails loudly and the vector is intact.
    allocation_stats::get().fail_next = 1;
    EXPECT_THROW(v.push_back(8), std::bad_alloc);
    EXPECT_EQ(v.size(), 8u);
    EXPECT_EQ(v.capacity(), 8u);
    allocation_stats::get().fail_next = 1;
    v.reserve(100);
    EXPECT_EQ(v.capacity(), 8u);
    for (vxn::u32 i = 0; i < 8; ++i)
        EXPECT_EQ(v[i], i);
    v.push_back(8);
    EXPECT_EQ(v.capacity(), 12u);

    // A count whose byte size wraps around must neither take the inline buffer (the
    // wrapped product is small) nor reach the allocator.
    struct eight_bytes {
        std::uint64_t word;
    };
    vxn::vector<eight_bytes, vxn::fixed_storage<32, counting_allocator, 8>> wide;
    const std::size_t before = allocations();
    wide.reserve(static_cast<std::size_t>(-1) / sizeof(eight_bytes) + 2);
    EXPECT_EQ(wide.capacity(), 0u);
    EXPECT_FALSE(wide.uses_inline_buffer());
    EXPECT_EQ(allocations(), before);
    wide.reserve(4);
    EXPECT_TRUE(wide.uses_inline_buffer()) << "the buffer is still free for a count that fits";
    EXPECT_EQ(allocations(), before);
    wide.push_back(eight_bytes{42});
    EXPECT_EQ(wide[0].word, 42u);

    // A record vector whose growth fails keeps its records and their strings.
    vxn::vector<record, counting_allocator> records;
    for (int i = 0; i < 8; ++i)
        records.push_back().text.assign("kept");
    allocation_stats::get().fail_next = 1;
    EXPECT_THROW(records.push_back(), std::bad_alloc);
    ASSERT_EQ(records.size(), 8u);
    for (const record& entry : records)
        EXPECT_EQ(entry.text.view(), "kept");
}

TEST_F(VectorTest, AssertionHookGetsTheTokenListTexts)
{
    vxn::wchar text[4] = {};
    token_list tokens;
    tokens.reserve(2);
    tokens.push_back(text);
    {
        zyrel_test::hook_recorder hook;
        (void)tokens[0];
        EXPECT_TRUE(hook.reports().empty());
        (void)tokens[1];
        ASSERT_EQ(hook.reports().size(), 1u);
        EXPECT_EQ(hook.reports()[0].text(), "extern/vxnstl/vector:219 vxn::vector<wchar_t *,class vxn::fixed_storage<32,"
                                            "class vxn::allocator,4> >::operator [] (m_start + offset < m_end)");

        const token_list& view = tokens;
        (void)view[3];
        EXPECT_EQ(hook.reports().size(), 2u);
    }
    // Without a hook the access goes ahead unchecked.
    EXPECT_EQ(tokens[0], text);
}

} // namespace
