// The two patterns on the logging path, each formatted into an inline 256-character
// string: our engine, the C library's snprintf with the equivalent printf format, and
// {fmt} when it is available. snprintf and {fmt} fill the string through the same
// producer hook that assign_format uses, so the rows differ only in the formatter.
#include "Format.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

#if defined(ZYREL_HAVE_FMT)
#include <fmt/format.h>
#endif

namespace {

using line = vxn::inline_string<256>;

struct stamp_fields {
    std::uint16_t year, month, day, hour, minute, second, millisecond;
    const char* offset;
};

// A few different value sets so that no row formats one constant over and over.
const stamp_fields kStamps[4] = {
    {2015, 4, 2, 9, 5, 7, 3, "+02"},
    {2024, 12, 31, 23, 59, 59, 999, "-0930"},
    {1999, 1, 1, 0, 0, 0, 0, "Z"},
    {2038, 1, 19, 3, 14, 7, 250, "+0545"},
};

struct download_codes {
    std::int32_t code, httpCode;
};

const download_codes kCodes[4] = {{0, 200}, {28, 0}, {6, 404}, {0, 206}};

// One row: each iteration formats the next of the four value sets into the same string.
template <class Values, class Format>
void format_row(benchmark::State& state, const Values (&values)[4], Format format)
{
    line text;
    unsigned i = 0;
    for (auto _ : state) {
        format(text, values[i++ & 3]);
        benchmark::DoNotOptimize(text.data());
    }
}

// snprintf answers the length without the terminator, the producer hook wants it with.
template <class... Args>
void assign_snprintf(line& text, const char* format, Args... args)
{
    text.assign_produced([&](char* out, vxn::u32 capacity) {
        return static_cast<vxn::u32>(std::snprintf(out, capacity, format, args...) + 1);
    });
}

void TimeStamp_Engine(benchmark::State& state)
{
    format_row(state, kStamps, [](line& text, const stamp_fields& s) {
        text.assign_format("{0:d4}-{1:d2}-{2:d2} {3:d2}:{4:d2}:{5:d2}.{6:d3}{7}", s.year, s.month, s.day, s.hour,
                           s.minute, s.second, s.millisecond, s.offset);
    });
}
BENCHMARK(TimeStamp_Engine);

void TimeStamp_Snprintf(benchmark::State& state)
{
    format_row(state, kStamps, [](line& text, const stamp_fields& s) {
        assign_snprintf(text, "%04u-%02u-%02u %02u:%02u:%02u.%03u%s", unsigned{s.year}, unsigned{s.month},
                        unsigned{s.day}, unsigned{s.hour}, unsigned{s.minute}, unsigned{s.second},
                        unsigned{s.millisecond}, s.offset);
    });
}
BENCHMARK(TimeStamp_Snprintf);

void DownloadComplete_Engine(benchmark::State& state)
{
    format_row(state, kCodes, [](line& text, const download_codes& c) {
        text.assign_format("Download complete with code {0} and httpCode {1}", c.code, c.httpCode);
    });
}
BENCHMARK(DownloadComplete_Engine);

void DownloadComplete_Snprintf(benchmark::State& state)
{
    format_row(state, kCodes, [](line& text, const download_codes& c) {
        assign_snprintf(text, "Download complete with code %d and httpCode %d", c.code, c.httpCode);
    });
}
BENCHMARK(DownloadComplete_Snprintf);

#if defined(ZYREL_HAVE_FMT)

// {fmt} writes at most capacity - 1 characters and answers the full size; the string
// gets the terminator and the total the producer contract asks for.
template <class... Args>
void assign_fmt(line& text, fmt::format_string<const Args&...> pattern, const Args&... args)
{
    text.assign_produced([&](char* out, vxn::u32 capacity) {
        if (out == nullptr || capacity == 0)
            return static_cast<vxn::u32>(fmt::formatted_size(pattern, args...) + 1);
        const auto result = fmt::format_to_n(out, capacity - 1, pattern, args...);
        *result.out = 0;
        return static_cast<vxn::u32>(result.size + 1);
    });
}

void TimeStamp_Fmt(benchmark::State& state)
{
    format_row(state, kStamps, [](line& text, const stamp_fields& s) {
        assign_fmt(text, "{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}{}", s.year, s.month, s.day, s.hour, s.minute,
                   s.second, s.millisecond, s.offset);
    });
}
BENCHMARK(TimeStamp_Fmt);

void DownloadComplete_Fmt(benchmark::State& state)
{
    format_row(state, kCodes, [](line& text, const download_codes& c) {
        assign_fmt(text, "Download complete with code {} and httpCode {}", c.code, c.httpCode);
    });
}
BENCHMARK(DownloadComplete_Fmt);

#endif

} // namespace
