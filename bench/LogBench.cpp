// The cost of logging: a line written to the file sink (format, time stamp, one write) and
// a call that nothing receives (the test at the call site, nothing formatted). The log file
// goes to a fresh folder that TMPDIR points at for the run.
#include "DateTime.h"
#include "Log.h"
#include "TimeZone.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A folder of the run's own under the system's temporary folder, made the log's folder.
class LogFolder {
public:
    LogFolder()
    {
        const char* saved = std::getenv("TMPDIR");
        m_had = saved != nullptr;
        if (m_had)
            m_saved = saved;
        m_path = std::filesystem::temp_directory_path() / ("zyrel-logbench-" + std::to_string(std::rand()));
        std::filesystem::create_directories(m_path);
        setenv("TMPDIR", m_path.c_str(), 1);
        VXN::detail::ResetFileLogSinkForTests();
    }

    ~LogFolder()
    {
        VXN::SetLogSink(nullptr);
        VXN::detail::ResetFileLogSinkForTests();
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
        if (m_had)
            setenv("TMPDIR", m_saved.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    std::filesystem::path m_path;
    bool m_had = false;
    std::string m_saved;
};

// A line as the download worker writes them: a pattern with two numbers.
void LogLine_FileSink(benchmark::State& state)
{
    const LogFolder folder;
    VXN::SetLogSink(VXN::FileLogSink);
    std::uint32_t done = 0;
    for (auto _ : state) {
        VXN_LOG("ZyrelDownloaderThread", VXN::LogLevel::Debug, "Progress: {0} of {1} bytes", done, 52428800u);
        done += 16384;
    }
    VXN::SetLogSink(nullptr);
}
BENCHMARK(LogLine_FileSink);

// A 255-character message: the largest that stays off the heap.
void LogLine_FileSink_255(benchmark::State& state)
{
    const LogFolder folder;
    const std::string text(255, 'm');
    VXN::SetLogSink(VXN::FileLogSink);
    for (auto _ : state)
        VXN_LOG("ZyrelDownloaderDialog", VXN::LogLevel::Info, "{0}", text.c_str());
    VXN::SetLogSink(nullptr);
}
BENCHMARK(LogLine_FileSink_255);

// The time stamp alone: the clock, the local zone, the stamp's text.
void TimeStamp_Local(benchmark::State& state)
{
    if (!VXN::timeZonesInitialised.load())
        (void)VXN::InitTimeZones();
    vxn::inline_string<64> stamp;
    for (auto _ : state) {
        VXN::DateTime now = VXN::DateTime::Now();
        (void)now.SetZone(VXN::GetLocalTimeZone());
        stamp.assign_format("{0:d4}-{1:d2}-{2:d2} {3:d2}:{4:d2}:{5:d2}.{6:d3}{7}", now.Year(), now.Month(),
                            now.Day(), now.Hour(), now.Minute(), now.Second(), now.Millisecond(), now.OffsetText());
        benchmark::DoNotOptimize(stamp.data());
    }
}
BENCHMARK(TimeStamp_Local);

// No sink registered and no early buffering: what every call costs after shutdown.
void LogCall_NoSink(benchmark::State& state)
{
    VXN::SetLogSink(nullptr);
    std::uint32_t done = 0;
    for (auto _ : state) {
        VXN_LOG("ZyrelDownloaderThread", VXN::LogLevel::Debug, "Progress: {0} of {1} bytes", done, 52428800u);
        benchmark::DoNotOptimize(done += 16384);
    }
}
BENCHMARK(LogCall_NoSink);

} // namespace
