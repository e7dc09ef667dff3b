// The container library against the standard library on the work the program does: the
// settings store's short wide keys, a large table of random keys, and strings built by
// appending and re-assigning. Every row runs the same code over both libraries; the rows
// keep the names <Row>_Vxn and <Row>_Std that bench/README.md reports.
#include <vxnstl/string>
#include <vxnstl/unordered_container>

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// What differs between the libraries: the types, and the spelling of building a text,
// inserting an element and assigning a text.
struct vxn_library {
    using text = vxn::wstring;
    using map = vxn::unordered_map<text, text>;

    static text make(const vxn::wchar* units, std::size_t length) { return text(units, static_cast<vxn::u32>(length)); }
    static void insert(map& into, const text& key, const text& value) { into.insert(map::value_type(key, value)); }
    static void assign(text& target, const text& source) { target.assign(source.data(), source.size()); }
};

struct std_library {
    using text = std::u16string;
    using map = std::unordered_map<text, text>;

    static text make(const vxn::wchar* units, std::size_t length)
    {
        return text(reinterpret_cast<const char16_t*>(units), length);
    }
    static void insert(map& into, const text& key, const text& value) { into.emplace(key, value); }
    static void assign(text& target, const text& source) { target.assign(source); }
};

template <class Library>
typename Library::text make_text(const vxn::wchar* units)
{
    return Library::make(units, vxn::length_of(units));
}

const vxn::wchar* const settings_keys[] = {
    VXN_W("SelfUpdate"), VXN_W("PortableInstallation"), VXN_W("UseSteam"),     VXN_W("Automatic"),
    VXN_W("ExistingDir"), VXN_W("TempDir"),             VXN_W("DownloadUrl"),  VXN_W("Proxy"),
    VXN_W("ProxyBypass"), VXN_W("Language"),            VXN_W("UserName"),     VXN_W("SingleGameId"),
    VXN_W("InstallGame"), VXN_W("Depot"),               VXN_W("Arguments"),    VXN_W("AppSuffix")};

template <class Library>
std::vector<typename Library::text> settings_texts()
{
    std::vector<typename Library::text> keys;
    for (const vxn::wchar* key : settings_keys)
        keys.push_back(make_text<Library>(key));
    return keys;
}

// Random wide keys of 6 to 24 units, the same on every run and for both libraries (fixed
// start value).
template <class Library>
const std::vector<typename Library::text>& random_keys()
{
    static const std::vector<typename Library::text> keys = [] {
        std::mt19937 random(12345u);
        std::uniform_int_distribution<int> length(6, 24);
        std::uniform_int_distribution<int> unit(0x21, 0x7E);
        std::vector<typename Library::text> made;
        made.reserve(100000);
        vxn::wchar units[24];
        for (int i = 0; i < 100000; ++i) {
            const auto count = static_cast<std::size_t>(length(random));
            for (std::size_t j = 0; j < count; ++j)
                units[j] = static_cast<vxn::wchar>(unit(random));
            made.push_back(Library::make(units, count));
        }
        return made;
    }();
    return keys;
}

// A new map, every key inserted, every key looked up.
template <class Library>
void fill_and_find(benchmark::State& state, const std::vector<typename Library::text>& keys,
                   const typename Library::text& value)
{
    for (auto _ : state) {
        typename Library::map map;
        for (const auto& key : keys)
            Library::insert(map, key, value);
        std::size_t found = 0;
        for (const auto& key : keys)
            found += map.find(key) != map.end() ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}

// ---- maps ---------------------------------------------------------------------------

template <class Library>
void SettingsKeys(benchmark::State& state)
{
    fill_and_find<Library>(state, settings_texts<Library>(), make_text<Library>(VXN_W("value")));
}
BENCHMARK_TEMPLATE(SettingsKeys, vxn_library)->Name("SettingsKeys_Vxn");
BENCHMARK_TEMPLATE(SettingsKeys, std_library)->Name("SettingsKeys_Std");

// Lookups alone in a filled settings map: what the accessors do after start-up.
template <class Library>
void SettingsFind(benchmark::State& state)
{
    const std::vector<typename Library::text> keys = settings_texts<Library>();
    typename Library::map map;
    for (const auto& key : keys)
        Library::insert(map, key, make_text<Library>(VXN_W("value")));
    for (auto _ : state) {
        for (const auto& key : keys)
            benchmark::DoNotOptimize(map.find(key));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK_TEMPLATE(SettingsFind, vxn_library)->Name("SettingsFind_Vxn");
BENCHMARK_TEMPLATE(SettingsFind, std_library)->Name("SettingsFind_Std");

template <class Library>
void RandomKeys(benchmark::State& state)
{
    fill_and_find<Library>(state, random_keys<Library>(), make_text<Library>(VXN_W("v")));
}
BENCHMARK_TEMPLATE(RandomKeys, vxn_library)->Name("RandomKeys_Vxn")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(RandomKeys, std_library)->Name("RandomKeys_Std")->Unit(benchmark::kMillisecond);

// ---- strings ------------------------------------------------------------------------

// A path-like text built from 10-unit pieces: the string grows to exactly what it needs
// each time, the standard one geometrically.
template <class Library>
void StringAppend(benchmark::State& state)
{
    const typename Library::text piece = make_text<Library>(VXN_W("segment\\\\x"));
    const int pieces = static_cast<int>(state.range(0));
    for (auto _ : state) {
        typename Library::text text;
        for (int i = 0; i < pieces; ++i)
            text.append(piece.data(), 10);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pieces);
}
BENCHMARK_TEMPLATE(StringAppend, vxn_library)->Name("StringAppend_Vxn")->Arg(4)->Arg(32)->Arg(256);
BENCHMARK_TEMPLATE(StringAppend, std_library)->Name("StringAppend_Std")->Arg(4)->Arg(32)->Arg(256);

// Re-assigning texts of alternating length into one string: the buffer is reused.
template <class Library>
void StringAssign(benchmark::State& state)
{
    const typename Library::text long_text =
        make_text<Library>(VXN_W("C:\\Users\\someone\\AppData\\Local\\Temp\\ZyrelDownloader-0123456789abcdef"));
    const typename Library::text short_text = make_text<Library>(VXN_W("ZyrelClient.exe"));
    typename Library::text target;
    for (auto _ : state) {
        Library::assign(target, long_text);
        benchmark::DoNotOptimize(target.data());
        Library::assign(target, short_text);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2);
}
BENCHMARK_TEMPLATE(StringAssign, vxn_library)->Name("StringAssign_Vxn");
BENCHMARK_TEMPLATE(StringAssign, std_library)->Name("StringAssign_Std");

// Copies of short texts: a fresh exact-size buffer each time against the standard
// string's small-string buffer.
template <class Library>
void StringCopy(benchmark::State& state)
{
    const typename Library::text source = make_text<Library>(VXN_W("DownloadUrl"));
    for (auto _ : state) {
        typename Library::text copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK_TEMPLATE(StringCopy, vxn_library)->Name("StringCopy_Vxn");
BENCHMARK_TEMPLATE(StringCopy, std_library)->Name("StringCopy_Std");

} // namespace
