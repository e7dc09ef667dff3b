// The container library against the standard library on the work the program does: the
// settings store's short wide keys, a large table of random keys, and strings built by
// appending and re-assigning.
#include <vxnstl/string>
#include <vxnstl/unordered_container>

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using settings_map = vxn::unordered_map<vxn::wstring, vxn::wstring>;
using std_settings_map = std::unordered_map<std::u16string, std::u16string>;

const vxn::wchar* const settings_keys[] = {
    VXN_W("SelfUpdate"), VXN_W("PortableInstallation"), VXN_W("UseSteam"),     VXN_W("Automatic"),
    VXN_W("ExistingDir"), VXN_W("TempDir"),             VXN_W("DownloadUrl"),  VXN_W("Proxy"),
    VXN_W("ProxyBypass"), VXN_W("Language"),            VXN_W("UserName"),     VXN_W("SingleGameId"),
    VXN_W("InstallGame"), VXN_W("Depot"),               VXN_W("Arguments"),    VXN_W("AppSuffix")};

std::u16string to_std(const vxn::wchar* text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), vxn::length_of(text));
}

// Random wide keys of 6 to 24 units, the same on every run (fixed start value).
const std::vector<std::u16string>& random_keys()
{
    static const std::vector<std::u16string> keys = [] {
        std::mt19937 random(12345u);
        std::uniform_int_distribution<int> length(6, 24);
        std::uniform_int_distribution<int> unit(0x21, 0x7E);
        std::vector<std::u16string> made(100000);
        for (std::u16string& key : made) {
            key.resize(static_cast<std::size_t>(length(random)));
            for (char16_t& c : key)
                c = static_cast<char16_t>(unit(random));
        }
        return made;
    }();
    return keys;
}

const std::vector<vxn::wstring>& random_vxn_keys()
{
    static const std::vector<vxn::wstring> keys = [] {
        std::vector<vxn::wstring> made;
        made.reserve(random_keys().size());
        for (const std::u16string& key : random_keys())
            made.emplace_back(reinterpret_cast<const vxn::wchar*>(key.data()), static_cast<vxn::u32>(key.size()));
        return made;
    }();
    return keys;
}

// ---- maps ---------------------------------------------------------------------------

void SettingsKeys_Vxn(benchmark::State& state)
{
    std::vector<vxn::wstring> keys(std::begin(settings_keys), std::end(settings_keys));
    const vxn::wstring value(VXN_W("value"));
    for (auto _ : state) {
        settings_map map;
        for (const vxn::wstring& key : keys)
            map.insert(settings_map::value_type(key, value));
        std::size_t found = 0;
        for (const vxn::wstring& key : keys)
            found += map.find(key) != map.end() ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(SettingsKeys_Vxn);

void SettingsKeys_Std(benchmark::State& state)
{
    std::vector<std::u16string> keys;
    for (const vxn::wchar* key : settings_keys)
        keys.push_back(to_std(key));
    const std::u16string value(u"value");
    for (auto _ : state) {
        std_settings_map map;
        for (const std::u16string& key : keys)
            map.emplace(key, value);
        std::size_t found = 0;
        for (const std::u16string& key : keys)
            found += map.find(key) != map.end() ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(SettingsKeys_Std);

// Lookups alone in a filled settings map: what the accessors do after start-up.
void SettingsFind_Vxn(benchmark::State& state)
{
    std::vector<vxn::wstring> keys(std::begin(settings_keys), std::end(settings_keys));
    settings_map map;
    for (const vxn::wstring& key : keys)
        map.insert(settings_map::value_type(key, vxn::wstring(VXN_W("value"))));
    for (auto _ : state) {
        for (const vxn::wstring& key : keys)
            benchmark::DoNotOptimize(map.find(key));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(SettingsFind_Vxn);

void SettingsFind_Std(benchmark::State& state)
{
    std::vector<std::u16string> keys;
    for (const vxn::wchar* key : settings_keys)
        keys.push_back(to_std(key));
    std_settings_map map;
    for (const std::u16string& key : keys)
        map.emplace(key, u"value");
    for (auto _ : state) {
        for (const std::u16string& key : keys)
            benchmark::DoNotOptimize(map.find(key));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(SettingsFind_Std);

void RandomKeys_Vxn(benchmark::State& state)
{
    const std::vector<vxn::wstring>& keys = random_vxn_keys();
    const vxn::wstring value(VXN_W("v"));
    for (auto _ : state) {
        settings_map map;
        for (const vxn::wstring& key : keys)
            map.insert(settings_map::value_type(key, value));
        std::size_t found = 0;
        for (const vxn::wstring& key : keys)
            found += map.find(key) != map.end() ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(RandomKeys_Vxn)->Unit(benchmark::kMillisecond);

void RandomKeys_Std(benchmark::State& state)
{
    const std::vector<std::u16string>& keys = random_keys();
    const std::u16string value(u"v");
    for (auto _ : state) {
        std_settings_map map;
        for (const std::u16string& key : keys)
            map.emplace(key, value);
        std::size_t found = 0;
        for (const std::u16string& key : keys)
            found += map.find(key) != map.end() ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(RandomKeys_Std)->Unit(benchmark::kMillisecond);

// ---- strings ------------------------------------------------------------------------

// A path-like text built from 10-unit pieces: the string grows to exactly what it needs
// each time, the standard one geometrically.
void StringAppend_Vxn(benchmark::State& state)
{
    const vxn::wchar piece[] = VXN_W("segment\\\\x");
    const int pieces = static_cast<int>(state.range(0));
    for (auto _ : state) {
        vxn::wstring text;
        for (int i = 0; i < pieces; ++i)
            text.append(piece, 10);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pieces);
}
BENCHMARK(StringAppend_Vxn)->Arg(4)->Arg(32)->Arg(256);

void StringAppend_Std(benchmark::State& state)
{
    const char16_t piece[] = u"segment\\\\x";
    const int pieces = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::u16string text;
        for (int i = 0; i < pieces; ++i)
            text.append(piece, 10);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pieces);
}
BENCHMARK(StringAppend_Std)->Arg(4)->Arg(32)->Arg(256);

// Re-assigning texts of alternating length into one string: the buffer is reused.
void StringAssign_Vxn(benchmark::State& state)
{
    const vxn::wstring long_text(VXN_W("C:\\Users\\someone\\AppData\\Local\\Temp\\ZyrelDownloader-0123456789abcdef"));
    const vxn::wstring short_text(VXN_W("ZyrelClient.exe"));
    vxn::wstring target;
    for (auto _ : state) {
        target.assign(long_text.data(), long_text.size());
        benchmark::DoNotOptimize(target.data());
        target.assign(short_text.data(), short_text.size());
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2);
}
BENCHMARK(StringAssign_Vxn);

void StringAssign_Std(benchmark::State& state)
{
    const std::u16string long_text(u"C:\\Users\\someone\\AppData\\Local\\Temp\\ZyrelDownloader-0123456789abcdef");
    const std::u16string short_text(u"ZyrelClient.exe");
    std::u16string target;
    for (auto _ : state) {
        target.assign(long_text);
        benchmark::DoNotOptimize(target.data());
        target.assign(short_text);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2);
}
BENCHMARK(StringAssign_Std);

// Copies of short texts: a fresh exact-size buffer each time against the standard
// string's small-string buffer.
void StringCopy_Vxn(benchmark::State& state)
{
    const vxn::wstring source(VXN_W("DownloadUrl"));
    for (auto _ : state) {
        vxn::wstring copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(StringCopy_Vxn);

void StringCopy_Std(benchmark::State& state)
{
    const std::u16string source(u"DownloadUrl");
    for (auto _ : state) {
        std::u16string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(StringCopy_Std);

} // namespace
