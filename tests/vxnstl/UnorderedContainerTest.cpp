#include <vxnstl/unordered_container>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

using zyrel_test::allocation_stats;
using zyrel_test::counting_allocator;
using zyrel_test::tracked;

// Stands in for the core library's zone description, which names itself the same way.
namespace stand_in {
struct Zone {
    int id = 0;
};
} // namespace stand_in

template <>
struct vxn::type_name<stand_in::Zone> {
    static void write(name_builder& b) { b.add("class VXN::TimeZone"); }
};

namespace {

using zone_map = vxn::unordered_map<vxn::string, stand_in::Zone*>;
using settings_map = vxn::unordered_map<vxn::wstring, vxn::wstring>;
using counted_zone_map =
    vxn::unordered_map<vxn::string, stand_in::Zone*, vxn::hash<vxn::string>, vxn::equal_to<vxn::string>, counting_allocator>;

#if UINTPTR_MAX == 0xFFFFFFFFu
// The 32-bit program's layout: a 4-byte link word, 16-byte strings, 4-byte pointers.
static_assert(zone_map::node_stride == 24, "narrow key with a pointer value");
static_assert(settings_map::node_stride == 36, "wide key with a wide value");
static_assert(zone_map::pool_header_size() + zone_map::chunk_header_size() == 40, "pool block overhead");
#endif

// Fails the allocation after `pass` more successful ones, so a test can let a bucket
// array through and refuse the pool nodes that follow it.
struct picky_allocator {
    static int pass; // below 0: never fail
    void* allocate(std::size_t size, int flags = 0)
    {
        if (pass == 0) {
            pass = -1;
            return nullptr;
        }
        if (pass > 0)
            --pass;
        return counting_allocator().allocate(size, flags);
    }
    void* allocate(std::size_t size, std::size_t, std::size_t, int flags = 0) { return allocate(size, flags); }
    void deallocate(void* pointer, std::size_t size) { counting_allocator().deallocate(pointer, size); }
};
int picky_allocator::pass = -1;

// Integer keys hashed to themselves (buckets are then plain residues), counting calls.
struct identity_hash {
    static int calls;
    vxn::u32 operator()(int key) const
    {
        ++calls;
        return static_cast<vxn::u32>(key);
    }
};
int identity_hash::calls = 0;

// Every key in one bucket: each element after the first needs a pool node.
struct constant_hash {
    vxn::u32 operator()(int) const { return 7; }
};

struct big_value {
    char payload[16000];
};

using int_map = vxn::unordered_map<int, int, identity_hash, vxn::equal_to<int>, counting_allocator>;
using picky_map = vxn::unordered_map<int, int, identity_hash, vxn::equal_to<int>, picky_allocator>;
using chain_map = vxn::unordered_map<int, int, constant_hash, vxn::equal_to<int>, counting_allocator>;
using big_chain_map = vxn::unordered_map<int, big_value, constant_hash, vxn::equal_to<int>, counting_allocator>;
using tracked_map = vxn::unordered_map<int, tracked, identity_hash, vxn::equal_to<int>, counting_allocator>;

vxn::u32 hash_of(const std::string& key)
{
    return vxn::hash<vxn::string>()(vxn::string(key.c_str(), static_cast<vxn::u32>(key.size())));
}

// The next `count` generated keys whose hash satisfies `wanted` and that are not taken yet.
std::vector<std::string> keys_where(std::size_t count, const std::function<bool(vxn::u32)>& wanted,
                                    std::set<std::string>& taken)
{
    std::vector<std::string> found;
    for (int i = 0; found.size() < count; ++i) {
        std::string key = "zone-" + std::to_string(i);
        if (wanted(hash_of(key)) && taken.insert(key).second)
            found.push_back(key);
    }
    return found;
}

template <class Map>
std::vector<std::string> keys_in_order(const Map& map)
{
    std::vector<std::string> keys;
    for (auto it = map.begin(); it != map.end(); ++it)
        keys.emplace_back(it->first.view());
    return keys;
}

vxn::string narrow(const std::string& key)
{
    return vxn::string(key.c_str(), static_cast<vxn::u32>(key.size()));
}

// Buckets, chunks and pool headers must all go back with their allocated sizes.
class UnorderedContainerTest : public zyrel_test::counted_heap_test {
protected:
    void SetUp() override
    {
        counted_heap_test::SetUp();
        identity_hash::calls = 0;
        picky_allocator::pass = -1;
    }
};

TEST_F(UnorderedContainerTest, HashesFoldFourBytesPerStep)
{
    EXPECT_EQ(vxn::hash<vxn::string>()(vxn::string()), 0x811C9DC5u) << "no buffer hashes as zero bytes";
    const std::pair<const char*, vxn::u32> narrow_hashes[] = {
        {"", 0x811C9DC5u}, {"a", 0xE40C292Cu}, {"ab", 0xE7A1BAE5u}, {"abcd", 0xEC7F6F2Cu}, {"UTC", 0x0D283DF2u},
        {"abcde", 0x959C2FEBu}, {"Europe/Berlin", 0xF86ACE13u},
        // Tail bytes are sign-extended, so a high byte swallows the bits before it: these
        // two keys hash alike and must still be told apart by comparison.
        {"\xC3\xA9", 0x2BF3F004u}, {"x\xC3\xA9", 0x2BF3F004u}, {"\xFF\x01\x80", 0x04F3B29Fu},
    };
    for (const auto& [text, hash] : narrow_hashes)
        EXPECT_EQ(vxn::hash<vxn::string>()(vxn::string(text)), hash) << text;

    const vxn::wchar units[] = {0x00E9, 0xFFFF, 0xD83D, 0}; // unsigned 16-bit values
    const std::pair<const vxn::wchar*, vxn::u32> wide_hashes[] = {
        {VXN_W(""), 0x811C9DC5u}, {VXN_W("ab"), 0x7E52292Cu}, {VXN_W("abc"), 0x2A57075Du}, {units, 0x7C0C1A7Bu}};
    for (const auto& [text, hash] : wide_hashes)
        EXPECT_EQ(vxn::hash<vxn::wstring>()(vxn::wstring(text)), hash);

    counted_zone_map zones;
    stand_in::Zone first, second;
    zones.insert(counted_zone_map::value_type(vxn::string("\xC3\xA9"), &first));
    zones.insert(counted_zone_map::value_type(vxn::string("x\xC3\xA9"), &second));
    EXPECT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones.find(vxn::string("\xC3\xA9"))->second, &first);
    EXPECT_EQ(zones.find(vxn::string("x\xC3\xA9"))->second, &second);
}

TEST_F(UnorderedContainerTest, BucketsStartAtEightAndGrowByHalf)
{
    {
        int_map map;
        EXPECT_EQ(map.bucket_count(), 0u);
        EXPECT_EQ(map.max_load_factor(), 0.75f);
        // A table without buckets answers lookups without hashing anything.
        EXPECT_TRUE(map.find(5) == map.end());
        EXPECT_TRUE(map.begin() == map.end());
        EXPECT_EQ(identity_hash::calls, 0);
        EXPECT_EQ(allocations(), 0u);

        std::vector<vxn::u32> counts;
        for (int key = 0; key < 20; ++key) {
            map.insert(int_map::value_type(key, key * 10));
            counts.push_back(map.bucket_count());
            if (key == 0) {
                EXPECT_EQ(allocations(), 1u) << "one bucket array and no pool node";
                EXPECT_EQ(last_allocation(), 8u * map.node_size());
            }
        }
        const std::vector<vxn::u32> expected{8, 8, 8, 8, 8, 8, 12, 12, 12, 18, 18, 18, 18, 27, 27, 27, 27, 27, 27, 27};
        EXPECT_EQ(counts, expected);
        EXPECT_GT(identity_hash::calls, 0);
        for (int key = 0; key < 20; ++key)
            EXPECT_EQ(map.find(key)->second, key * 10);
        EXPECT_TRUE(map.find(20) == map.end());
    }

    // The policy itself, also where 32 bits would run out.
    using base = vxn::unordered_container_base;
    const vxn::u32 all = 0xFFFFFFFFu;
    EXPECT_EQ(base::bucket_count_needed(1, 0.75f, 0, all), 8u);
    EXPECT_EQ(base::bucket_count_needed(6, 0.75f, 8, all), 8u);
    EXPECT_EQ(base::bucket_count_needed(7, 0.75f, 8, all), 12u);
    EXPECT_EQ(base::bucket_count_needed(10, 0.75f, 12, all), 18u);
    EXPECT_EQ(base::bucket_count_needed(100, 0.75f, 8, all), 134u) << "a big jump takes what is needed";
    EXPECT_EQ(base::bucket_count_needed(4, 0.75f, 100, all), 8u) << "a smaller answer: the table stays";
    EXPECT_EQ(base::bucket_count_needed(0xF0000000u, 1.0f, 0xE0000000u, all), all) << "growth stops at the limit";
    EXPECT_EQ(base::bucket_count_needed(1000, 1e-30f, 8, 5000), 5000u) << "a tiny factor stops at the limit";
    EXPECT_EQ(base::bucket_count_needed(1000, 0.0f, 8, all), 8u);
    EXPECT_EQ(base::bucket_count_needed(1000, -2.0f, 0, all), 8u);
    EXPECT_EQ(base::bucket_count_needed(1000, std::numeric_limits<float>::quiet_NaN(), 12, all), 8u);

    zone_map zones;
    const std::size_t limit = zones.max_bucket_count();
    EXPECT_LE(limit, static_cast<std::size_t>(-1) / zones.node_size()) << "an array of the limit has a byte size";
}

TEST_F(UnorderedContainerTest, ChainsTakeNewElementsAtTheHeadAndMovedOnesAtTheEnd)
{
    // Four keys in one bucket of 12: two from old bucket 1 and two from old bucket 5.
    std::set<std::string> taken;
    const auto in = [](vxn::u32 mod8, vxn::u32 mod12) {
        return [=](vxn::u32 h) { return h % 8 == mod8 && h % 12 == mod12; };
    };
    const auto t = keys_where(2, in(1, 1), taken); // old bucket 1: own node, then chain
    const auto u = keys_where(2, in(5, 1), taken); // old bucket 5: own node, then chain
    const auto fillers = keys_where(2, [](vxn::u32 h) { return h % 8 != 1 && h % 8 != 5 && h % 12 != 1; }, taken);
    const auto later = keys_where(1, [](vxn::u32 h) { return h % 12 != 1; }, taken);
    const auto newest = keys_where(1, [](vxn::u32 h) { return h % 12 == 1; }, taken);

    stand_in::Zone zone;
    counted_zone_map map;
    const auto add = [&](const std::string& key) {
        EXPECT_TRUE(map.insert(counted_zone_map::value_type(narrow(key), &zone)).second);
    };
    const auto node_of = [&](const std::string& key) { return map.find(narrow(key)).node(); };
    const auto own_node = [&](const std::string& key) { return map.bucket_node(narrow(key)); };
    const auto in_bucket = [&] {
        std::vector<std::string> keys;
        for (const std::string& key : keys_in_order(map))
            if (hash_of(key) % map.bucket_count() == hash_of(t[0]) % map.bucket_count())
                keys.push_back(key);
        return keys;
    };

    add(u[0]);
    add(u[1]);
    add(t[0]);
    EXPECT_EQ(node_of(u[0]), own_node(u[0])) << "the first key takes the bucket's own node";
    EXPECT_NE(node_of(u[1]), own_node(u[1])) << "the second goes to a pool node";
    EXPECT_EQ(own_node(u[1]), own_node(u[0]));
    add(t[1]);
    add(fillers[0]);
    add(fillers[1]);
    ASSERT_EQ(map.bucket_count(), 8u);
    EXPECT_EQ(in_bucket(), (std::vector<std::string>{t[0], t[1]}));
    const auto relinked_t = node_of(t[1]);
    const auto relinked_u = node_of(u[1]);
    const auto copied_u = node_of(u[0]);

    // The 7th key rehashes to 12 buckets; the four meet in one bucket in the order they
    // are moved (iteration order), whoever was inserted first.
    add(later[0]);
    ASSERT_EQ(map.bucket_count(), 12u);
    EXPECT_EQ(in_bucket(), (std::vector<std::string>{t[0], t[1], u[0], u[1]}));
    EXPECT_EQ(node_of(t[0]), own_node(t[0])) << "moved first: the bucket's own node";
    EXPECT_EQ(node_of(t[1]), relinked_t) << "chain nodes are relinked, not copied";
    EXPECT_EQ(node_of(u[1]), relinked_u);
    EXPECT_NE(node_of(u[0]), copied_u) << "an element from an old bucket node gets a pool node";

    // A new element goes right after the bucket's own node.
    add(newest[0]);
    EXPECT_EQ(in_bucket(), (std::vector<std::string>{t[0], newest[0], t[1], u[0], u[1]}));
    EXPECT_EQ(map.size(), 8u);
    for (const auto* group : {&t, &u, &fillers, &later, &newest})
        for (const std::string& key : *group)
            EXPECT_EQ(map.find(narrow(key))->second, &zone) << key;
}

TEST_F(UnorderedContainerTest, ExistingKeysAreKeptAndValuesMovedIn)
{
    settings_map settings;
    settings_map::value_type first(VXN_W("UserName"), VXN_W("one"));
    auto added = settings.insert(std::move(first));
    EXPECT_TRUE(added.second);
    EXPECT_EQ(added.first->second, VXN_W("one"));
    EXPECT_EQ(first.second.size(), 0u) << "the value was moved out of the argument";
    EXPECT_EQ(first.first, VXN_W("UserName")) << "the key was copied";

    settings_map::value_type second(VXN_W("UserName"), VXN_W("two"));
    auto again = settings.insert(std::move(second));
    EXPECT_FALSE(again.second);
    EXPECT_TRUE(again.first == added.first);
    EXPECT_EQ(again.first->second, VXN_W("one"));
    EXPECT_EQ(second.second, VXN_W("two")) << "a refused argument keeps its value";

    const settings_map::value_type copied(VXN_W("Language"), VXN_W("german"));
    settings.insert(copied);
    EXPECT_EQ(copied.second, VXN_W("german"));

    // Subscript: the existing value, or a new empty one.
    EXPECT_EQ(settings[vxn::wstring(VXN_W("UserName"))], VXN_W("one"));
    EXPECT_EQ(settings[vxn::wstring(VXN_W("Proxy"))].size(), 0u);
    EXPECT_EQ(settings.size(), 3u);

    // The keys of the settings store, set and read back through the subscript.
    const vxn::wchar* keys[] = {
        VXN_W("SelfUpdate"), VXN_W("PortableInstallation"), VXN_W("UseSteam"), VXN_W("Automatic"),
        VXN_W("ExistingDir"), VXN_W("TempDir"), VXN_W("DownloadUrl"), VXN_W("Proxy"), VXN_W("ProxyBypass"),
        VXN_W("Language"), VXN_W("UserName"), VXN_W("SingleGameId"), VXN_W("InstallGame"), VXN_W("Depot"),
        VXN_W("Arguments"), VXN_W("AppSuffix")};
    for (const vxn::wchar* key : keys)
        settings[vxn::wstring(key)] = vxn::wstring(key).substr(0, 4);
    EXPECT_EQ(settings.size(), 16u);
    EXPECT_EQ(settings.bucket_count(), 27u);
    std::size_t visited = 0;
    for (const auto& entry : settings) {
        EXPECT_EQ(entry.second, entry.first.substr(0, 4));
        ++visited;
    }
    EXPECT_EQ(visited, 16u);
    EXPECT_TRUE(settings.find(vxn::wstring(VXN_W("userName"))) == settings.end()) << "keys are case-sensitive";
}

TEST_F(UnorderedContainerTest, RandomKeysAgreeWithStdMap)
{
    using map_type = vxn::unordered_map<vxn::string, vxn::u32, vxn::hash<vxn::string>, vxn::equal_to<vxn::string>,
                                        counting_allocator>;
    std::mt19937 random(20240611u); // fixed start value: every run sees the same keys
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> byte(0, 255);
    std::map<std::string, vxn::u32> reference;
    {
        map_type map;
        for (vxn::u32 i = 0; i < 10000; ++i) {
            std::string key(static_cast<std::size_t>(length(random)), '\0');
            for (char& c : key)
                c = static_cast<char>(byte(random) % 4 == 0 ? byte(random) : 'a' + byte(random) % 6);
            const bool fresh = reference.emplace(key, i).second;
            const auto result = map.insert(map_type::value_type(narrow(key), i));
            ASSERT_EQ(result.second, fresh) << "key " << i;
            EXPECT_EQ(result.first->second, reference[key]);
        }
        ASSERT_EQ(map.size(), reference.size());
        EXPECT_LE(map.size(), map.bucket_count() * 0.75);

        for (const auto& [key, value] : reference) {
            const auto found = map.find(narrow(key));
            ASSERT_TRUE(found != map.end()) << key;
            EXPECT_EQ(found->second, value);
        }
        std::map<std::string, int> visits;
        for (const auto& entry : map) {
            ++visits[std::string(entry.first.view())];
            EXPECT_EQ(entry.second, reference[std::string(entry.first.view())]);
        }
        EXPECT_EQ(visits.size(), reference.size());
        for (const auto& [key, count] : visits)
            EXPECT_EQ(count, 1) << key;

        // Cleared, the table keeps its buckets and pool and fills up again without them.
        const vxn::u32 buckets = map.bucket_count();
        map.clear();
        EXPECT_EQ(map.size(), 0u);
        EXPECT_TRUE(map.begin() == map.end());
        EXPECT_TRUE(map.find(narrow(reference.begin()->first)) == map.end());
        EXPECT_EQ(map.bucket_count(), buckets);
        const std::size_t before = allocations();
        for (const auto& [key, value] : reference)
            map.insert(map_type::value_type(narrow(key), value));
        EXPECT_EQ(allocations(), before) << "nodes come back from the pool";
        EXPECT_EQ(map.size(), reference.size());
    }

    // Elements are constructed and destroyed exactly once across rehashes and clear.
    tracked_map values;
    for (int i = 0; i < 3000; ++i)
        values.insert(tracked_map::value_type(static_cast<int>(random() % 100000u), tracked(i)));
    EXPECT_EQ(tracked::live, static_cast<int>(values.size()));
    values.clear();
    EXPECT_EQ(tracked::live, 0);
    for (int i = 0; i < 100; ++i)
        values.insert(tracked_map::value_type(i * 8, tracked(i)));
    EXPECT_EQ(tracked::live, 100);
}

TEST_F(UnorderedContainerTest, PoolHandsOutReleasedNodesLastInFirstOut)
{
    // Two chains: identity hash, 8 buckets: 1 and 9 share bucket 1, 3 and 11 bucket 3.
    int_map map;
    for (int key : {1, 9, 3, 11})
        map.insert(int_map::value_type(key, key));
    const auto first_chain = map.find(9).node();
    const auto second_chain = map.find(11).node();
    EXPECT_EQ(map.pool_chunk_count(), 1u);
    EXPECT_EQ(map.pool_flags(), 13u) << "may grow, owns its header, one reference";
    const std::size_t before = allocations();

    // clear() returns bucket 1's node first, then bucket 3's: the latter comes back first.
    map.clear();
    map.insert(int_map::value_type(1, 1));
    map.insert(int_map::value_type(9, 9));
    EXPECT_EQ(map.find(9).node(), second_chain);
    map.insert(int_map::value_type(3, 3));
    map.insert(int_map::value_type(11, 11));
    EXPECT_EQ(map.find(11).node(), first_chain);
    EXPECT_EQ(allocations(), before);
    EXPECT_EQ(map.pool_chunk_count(), 1u);
}

TEST_F(UnorderedContainerTest, PoolChunksDoubleUpToABoundedSize)
{
    {
        // A node is the pointer-sized link word and the element.
        EXPECT_EQ(zone_map().node_size(), sizeof(std::uintptr_t) + sizeof(vxn::string) + sizeof(void*));
        chain_map map;
        map.insert(chain_map::value_type(0, 0));
        EXPECT_EQ(map.pool_chunk_count(), 0u) << "one element per bucket needs no pool";
        std::vector<std::size_t> chunk_nodes;
        for (int key = 1; key <= 496; ++key) {
            const vxn::u32 chunks = map.pool_chunk_count();
            map.insert(chain_map::value_type(key, key));
            if (map.pool_chunk_count() == chunks)
                continue;
            const std::size_t overhead =
                chunks == 0 ? chain_map::pool_header_size() + chain_map::chunk_header_size() : chain_map::chunk_header_size();
            ASSERT_EQ((last_allocation() - overhead) % map.node_size(), 0u);
            chunk_nodes.push_back((last_allocation() - overhead) / map.node_size());
        }
        // The first block holds the pool header, a chunk header and 16 nodes.
        EXPECT_EQ(chunk_nodes, (std::vector<std::size_t>{16, 32, 64, 128, 256}));
        for (int key = 0; key <= 496; ++key)
            ASSERT_EQ(map.find(key)->second, key);
    }

    // Large nodes: doubling stops once a chunk would pass about a mebibyte.
    big_chain_map big;
    const std::size_t cap = (std::size_t(1) << 20) / big.node_size();
    std::vector<std::size_t> chunk_nodes;
    for (int key = 0; key < 200; ++key) {
        const vxn::u32 chunks = big.pool_chunk_count();
        big.insert(big_chain_map::value_type(key, big_value{}));
        if (big.pool_chunk_count() != chunks && chunks > 0)
            chunk_nodes.push_back((last_allocation() - big_chain_map::chunk_header_size()) / big.node_size());
    }
    ASSERT_GE(chunk_nodes.size(), 3u);
    EXPECT_EQ(chunk_nodes[0], 32u);
    EXPECT_EQ(chunk_nodes[1], 64u);
    for (std::size_t i = 2; i < chunk_nodes.size(); ++i)
        EXPECT_EQ(chunk_nodes[i], cap);
    EXPECT_EQ(big.size(), 200u);
}

TEST_F(UnorderedContainerTest, AllocationsThatYieldNothingLeaveTheTableWhole)
{
    stand_in::Zone zone;
    {
        counted_zone_map map;
        allocation_stats::get().fail_next = 1;
        EXPECT_THROW(map.insert(counted_zone_map::value_type(vxn::string("UTC"), &zone)), std::bad_alloc);
        EXPECT_EQ(map.size(), 0u);
        EXPECT_EQ(map.bucket_count(), 0u);
        EXPECT_TRUE(map.find(vxn::string("UTC")) == map.end());

        // A rehash that cannot get its array: the element goes into the present buckets.
        for (int i = 0; i < 6; ++i)
            map.insert(counted_zone_map::value_type(narrow(std::to_string(i)), &zone));
        allocation_stats::get().fail_next = 1;
        map.insert(counted_zone_map::value_type(vxn::string("6"), &zone));
        EXPECT_EQ(map.bucket_count(), 8u);
        EXPECT_EQ(map.size(), 7u);
        map.insert(counted_zone_map::value_type(vxn::string("7"), &zone));
        EXPECT_EQ(map.bucket_count(), 12u);
        for (int i = 0; i < 8; ++i)
            EXPECT_TRUE(map.find(narrow(std::to_string(i))) != map.end()) << i;
    }
    {
        // No pool, then no further chunk: the insertion fails and the rest stays.
        chain_map map;
        map.insert(chain_map::value_type(0, 0));
        allocation_stats::get().fail_next = 1;
        EXPECT_THROW(map.insert(chain_map::value_type(1, 1)), std::bad_alloc);
        EXPECT_EQ(map.size(), 1u);
        for (int key = 1; key <= 16; ++key)
            map.insert(chain_map::value_type(key, key));
        allocation_stats::get().fail_next = 1;
        EXPECT_THROW(map.insert(chain_map::value_type(17, 17)), std::bad_alloc);
        EXPECT_EQ(map.size(), 17u);
        EXPECT_TRUE(map.find(17) == map.end());
        map.insert(chain_map::value_type(17, 17));
        for (int key = 0; key <= 17; ++key)
            EXPECT_EQ(map.find(key)->second, key);
    }
    {
        // A rehash whose move needs a pool node it cannot get is not started at all:
        // 0 and 12 sit in buckets 0 and 4 of 8 and meet in bucket 0 of 12.
        picky_map map;
        for (int key : {0, 12, 1, 2, 3, 5})
            map.insert(picky_map::value_type(key, key));
        EXPECT_EQ(map.pool_chunk_count(), 0u);
        picky_allocator::pass = 1; // the new array, then no pool
        map.insert(picky_map::value_type(6, 6));
        EXPECT_EQ(map.bucket_count(), 8u);
        EXPECT_EQ(map.size(), 7u);
        map.insert(picky_map::value_type(7, 7));
        EXPECT_EQ(map.bucket_count(), 12u);
        EXPECT_EQ(map.pool_chunk_count(), 1u);
        for (int key : {0, 12, 1, 2, 3, 5, 6, 7})
            EXPECT_EQ(map.find(key)->second, key);
    }
}

TEST_F(UnorderedContainerTest, LoadFactorsThatAreNotPositiveAreStoredAndReported)
{
    zone_map map;
    {
        zyrel_test::hook_recorder hook;
        map.max_load_factor(0.5f);
        EXPECT_TRUE(hook.reports().empty());
        map.max_load_factor(0.0f);
        EXPECT_EQ(map.max_load_factor(), 0.0f);
        map.max_load_factor(-1.5f);
        EXPECT_EQ(map.max_load_factor(), -1.5f);
        ASSERT_EQ(hook.reports().size(), 2u);
        EXPECT_EQ(hook.reports()[0].text(), "extern/vxnstl/unordered_container:273 "
                                            "vxn::unordered_container_base::max_load_factor (value > 0.0f)");
    }
    // Such a factor bounds nothing: the table keeps its 8 buckets and works on.
    stand_in::Zone zone;
    for (int i = 0; i < 40; ++i)
        map.insert(zone_map::value_type(narrow(std::to_string(i)), &zone));
    EXPECT_EQ(map.bucket_count(), 8u);
    map.max_load_factor(0.0f);
    for (int i = 40; i < 60; ++i)
        map.insert(zone_map::value_type(narrow(std::to_string(i)), &zone));
    EXPECT_EQ(map.bucket_count(), 8u);
    EXPECT_EQ(map.size(), 60u);
    for (int i = 0; i < 60; ++i)
        EXPECT_TRUE(map.find(narrow(std::to_string(i))) != map.end());
    map.max_load_factor(0.75f);
    map.insert(zone_map::value_type(vxn::string("60"), &zone));
    EXPECT_EQ(map.bucket_count(), 82u) << "61 / 0.75 rounded up";
}

// A hook that stops the operation, so dereferencing an end iterator can be observed.
struct hook_stop {};
std::vector<zyrel_test::hook_report> g_stops;
void stopping_hook(const char* source, const char* function, int line, const char* expression)
{
    g_stops.push_back({source, function, line, expression});
    throw hook_stop{};
}

template <class Map>
void expect_map_texts(Map& map, const std::string& prefix)
{
    const std::string at = "extern/vxnstl/unordered_container:";
    {
        zyrel_test::hook_recorder hook;
        const vxn::u32 before = map.size();
        EXPECT_EQ(map.insert_after(typename Map::value_type(), nullptr), nullptr);
        EXPECT_EQ(map.size(), before);
        ASSERT_EQ(hook.reports().size(), 1u);
        EXPECT_EQ(hook.reports()[0].text(), at + "794 " + prefix + "::insert_after (position != 0)");

        // Dereferencing a real element reports nothing.
        typename Map::iterator it = map.begin();
        (void)*it;
        (void)it->second;
        typename Map::const_iterator cit = it;
        (void)cit->first;
        EXPECT_EQ(hook.reports().size(), 1u);
    }
    g_stops.clear();
    vxn::set_assert_handler(&stopping_hook);
    typename Map::iterator end = map.end();
    typename Map::const_iterator const_end = end;
    EXPECT_THROW((void)*const_end, hook_stop);
    EXPECT_THROW((void)const_end->first, hook_stop);
    EXPECT_THROW((void)end->first, hook_stop);
    vxn::set_assert_handler(nullptr);
    ASSERT_EQ(g_stops.size(), 3u);
    EXPECT_EQ(g_stops[0].text(), at + "930 " + prefix + "::const_iterator::operator * (m_node != 0)");
    EXPECT_EQ(g_stops[1].text(), at + "937 " + prefix + "::const_iterator::operator -> (m_node != 0)");
    EXPECT_EQ(g_stops[2].text(), at + "1011 " + prefix + "::iterator::operator -> (this->m_node != 0)");
}

TEST_F(UnorderedContainerTest, AssertionHookGetsTheFullInstantiationNames)
{
    const std::string wide = "class vxn::basic_string<wchar_t,class vxn::allocator>";
    const std::string settings_prefix =
        "vxn::unordered_container<" + wide + ",struct vxn::pair<" + wide + " const ," + wide +
        " >,class vxn::unordered_map_hash<" + wide + "," + wide + ",class vxn::hash<" + wide +
        " > >,class vxn::unordered_map_compare<" + wide + "," + wide + ",class vxn::equal_to<" + wide +
        " > >,class vxn::allocator>";
    settings_map settings;
    settings[vxn::wstring(VXN_W("DownloadUrl"))] = VXN_W("https://example.invalid/setup.exe");
    expect_map_texts(settings, settings_prefix);

    // The time-zone map, word for word as the core library's instantiation reports it.
    const std::string zone_insert_after =
        "vxn::unordered_container<class vxn::basic_string<char,class vxn::allocator>,struct "
        "vxn::pair<class vxn::basic_string<char,class vxn::allocator> const ,class VXN::TimeZone *>,class "
        "vxn::unordered_map_hash<class vxn::basic_string<char,class vxn::allocator>,class VXN::TimeZone *,class "
        "vxn::hash<class vxn::basic_string<char,class vxn::allocator> > >,class vxn::unordered_map_compare<class "
        "vxn::basic_string<char,class vxn::allocator>,class VXN::TimeZone *,class vxn::equal_to<class "
        "vxn::basic_string<char,class vxn::allocator> > >,class vxn::allocator>::insert_after";
    zone_map zones;
    stand_in::Zone utc;
    zones.insert(zone_map::value_type(vxn::string("UTC"), &utc));
    expect_map_texts(zones, zone_insert_after.substr(0, zone_insert_after.size() - std::string("::insert_after").size()));

    // Given the key's own bucket, insert_after places the element where find looks.
    const auto position = zones.bucket_node(vxn::string("Etc/UTC"));
    stand_in::Zone other;
    const auto node = zones.insert_after(zone_map::value_type(vxn::string("Etc/UTC"), &other), position);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones.find(vxn::string("Etc/UTC")).node(), node);
    EXPECT_EQ(zones.find(vxn::string("Etc/UTC"))->second, &other);
}

} // namespace
