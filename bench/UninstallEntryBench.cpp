// The uninstall-entry lookup on Linux, which every start of the program makes: the Wine
// prefix's system.reg read whole and searched for the client's entry (ReadUninstallValue),
// and the search alone on text in memory (FindRegistryValue). Two files: the system.reg of
// a fresh prefix, with the client's entry added where Wine sorts it, and one five times its
// size (four renamed copies of its keys before it, as a prefix that has seen many programs
// installed). Each with the entry present (the client is started) and absent (the run
// downloads, the whole file is searched).
//
//   ZYREL_BENCH_SYSTEM_REG=~/.wine/system.reg UninstallEntryBench
//
// The file named must be the system.reg of a fresh prefix (WINEPREFIX=$(mktemp -d)
// wineboot -i; wineserver -w). Without it the benchmarks are skipped.
#include "UninstallEntry.h"

#include <benchmark/benchmark.h>

#if !defined(_WIN32)

#include "posix/WineRegistry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kEntryKey = "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Zyrel] ";

struct Hives {
    std::string folder;  // holds fresh/system.reg and large/system.reg
    std::string fresh;   // the texts
    std::string large;
    std::string failure; // why there are none

    ~Hives()
    {
        if (folder.empty())
            return;
        for (const char* name : {"fresh", "large"}) {
            unlink((folder + "/" + name + "/system.reg").c_str());
            rmdir((folder + "/" + name).c_str());
        }
        rmdir(folder.c_str());
    }
};

// The fresh file with the entry inserted before the first key that sorts after it (Wine
// keeps the keys sorted), and the large one made from it.
Hives MakeHives()
{
    Hives hives;
    const char* source = std::getenv("ZYREL_BENCH_SYSTEM_REG");
    std::ifstream in(source != nullptr ? source : "", std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    const std::size_t first_key = text.find("\n[");
    if (!in || text.rfind("WINE REGISTRY Version 2", 0) != 0 || first_key == std::string::npos) {
        hives.failure = "ZYREL_BENCH_SYSTEM_REG names no system.reg of a Wine prefix";
        return hives;
    }
    const std::string entry = std::string(kEntryKey) +
                              "1796907480\n#time=1dd88a6160a01f8\n\"InstallLocation\"=\"C:\\\\Program Files\\\\Zyrel\\\\\"\n\n";
    std::size_t at = text.find("[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\");
    if (at == std::string::npos)
        at = text.size();
    while (at < text.size() && text.compare(at, std::char_traits<char>::length(kEntryKey), kEntryKey) < 0) {
        const std::size_t next = text.find("\n[", at);
        at = next == std::string::npos ? text.size() : next + 1;
    }
    text.insert(at, entry);
    hives.fresh = text;

    const std::string header = text.substr(0, first_key + 1);
    const std::string body = text.substr(first_key + 1);
    std::string large = header;
    for (int copy = 0; copy < 4; ++copy) {
        std::string renamed;
        renamed.reserve(body.size() + 100000);
        std::size_t from = 0;
        for (std::size_t key = body.find('['); key != std::string::npos; key = body.find("\n[", key + 1)) {
            const std::size_t open = body[key] == '[' ? key : key + 1;
            renamed.append(body, from, open + 1 - from);
            renamed += "Bench" + std::to_string(copy) + "\\\\";
            from = open + 1;
        }
        renamed.append(body, from, std::string::npos);
        large += renamed;
    }
    hives.large = large + body;

    char pattern[] = "/tmp/zyrel-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        hives.failure = "no temporary folder";
        return hives;
    }
    hives.folder = pattern;
    for (const auto& [name, content] : {std::pair<const char*, const std::string*>{"fresh", &hives.fresh},
                                        std::pair<const char*, const std::string*>{"large", &hives.large}}) {
        const std::string folder = hives.folder + "/" + name;
        mkdir(folder.c_str(), 0700);
        std::ofstream(folder + "/system.reg", std::ios::binary) << *content;
    }
    return hives;
}

const Hives& TheHives()
{
    static const Hives hives = MakeHives();
    return hives;
}

vxn::wstring Wide(const char* text)
{
    return vxn::utf16_from(text, vxn::length_of(text));
}

const vxn::wstring& Key(bool present)
{
    static const vxn::wstring found = Wide("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel");
    static const vxn::wstring missing = Wide("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZyrelX");
    return present ? found : missing;
}

// ReadUninstallValue as FindInstallLocation calls it: WINEPREFIX names the prefix.
void ReadEntry(benchmark::State& state, const char* which, bool present)
{
    const Hives& hives = TheHives();
    if (!hives.failure.empty()) {
        state.SkipWithError(hives.failure.c_str());
        return;
    }
    setenv("WINEPREFIX", (hives.folder + "/" + which).c_str(), 1);
    const std::string& text = which[0] == 'f' ? hives.fresh : hives.large;
    for (auto _ : state) {
        vxn::wstring data;
        const bool found = ReadUninstallValue(Key(present), VXN_W("InstallLocation"), data);
        if (found != present) {
            state.SkipWithError("the entry was not read as it should be");
            return;
        }
        benchmark::DoNotOptimize(data.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
}

// The search alone, on the text in memory.
void SearchEntry(benchmark::State& state, const char* which, bool present)
{
    const Hives& hives = TheHives();
    if (!hives.failure.empty()) {
        state.SkipWithError(hives.failure.c_str());
        return;
    }
    const std::string& text = which[0] == 'f' ? hives.fresh : hives.large;
    const vxn::wstring name = Wide("InstallLocation");
    for (auto _ : state) {
        vxn::wstring data;
        const bool found = platform::FindRegistryValue(text, Key(present), name, UninstallValueLimitBytes, data);
        if (found != present) {
            state.SkipWithError("the entry was not found as it should be");
            return;
        }
        benchmark::DoNotOptimize(data.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

BENCHMARK_CAPTURE(ReadEntry, fresh_found, "fresh", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadEntry, fresh_missing, "fresh", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadEntry, five_times_found, "large", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadEntry, five_times_missing, "large", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchEntry, fresh_found, "fresh", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchEntry, fresh_missing, "fresh", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchEntry, five_times_found, "large", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchEntry, five_times_missing, "large", false)->Unit(benchmark::kMillisecond);

} // namespace

#endif
