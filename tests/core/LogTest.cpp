// Logging: levels, the logging call and its front end, sinks and early messages, and the
// file sink's lines on disk (their shape, truncation per run, threads, and on Linux the
// rules that keep a shared temporary folder from redirecting the log).
#include "Log.h"

#include "DateTime.h"
#include "TimeZone.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

using zyrel_test::read_file;

const char* const kSource = "LogTest";

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "the log ends in the middle of a line";
    return lines;
}

// The message part of a log line: everything after "time stamp [LVL] ".
std::string message_of(const std::string& line)
{
    const std::size_t tag = line.find(" [");
    return tag == std::string::npos || line.size() < tag + 7 ? "" : line.substr(tag + 7);
}

using Lines = std::vector<std::string>;

// The messages of a log file, one per line.
Lines messages_of(const fs::path& path)
{
    Lines messages;
    for (const std::string& line : lines_of(read_file(path)))
        messages.push_back(message_of(line));
    return messages;
}

// ---- sinks that record ----------------------------------------------------------------

struct Received {
    std::string source;
    std::int32_t line;
    std::int32_t level;
    const VXN::LogCategory* category;
    std::string message;
};

std::vector<Received> received;

void recording_sink(const char* source, std::int32_t line, std::int32_t level, const VXN::LogCategory* category,
                    const char* message)
{
    received.push_back({source, line, level, category, message});
}

void other_sink(const char* source, std::int32_t line, std::int32_t level, const VXN::LogCategory* category,
                const char* message)
{
    recording_sink(source, line, level, category, (std::string("other: ") + message).c_str());
}

// Leaves after its second message, logging once more on its way out.
void leaving_sink(const char* source, std::int32_t line, std::int32_t level, const VXN::LogCategory* category,
                  const char* message)
{
    recording_sink(source, line, level, category, message);
    if (received.size() == 2) {
        VXN::SetLogSink(nullptr);
        VXN_LOG(kSource, VXN::LogLevel::Notice, "logged while leaving");
    }
}

// Copies into a fixed buffer: receives a message without touching the heap.
char last_message[1024];
std::size_t last_length = 0;

void copying_sink(const char*, std::int32_t, std::int32_t, const VXN::LogCategory*, const char* message)
{
    last_length = std::strlen(message);
    std::memcpy(last_message, message, last_length < sizeof(last_message) ? last_length : sizeof(last_message));
}

int evaluations = 0;

const char* counted_argument()
{
    ++evaluations;
    return "evaluated";
}

// ---- the environment: temporary folder and zone ---------------------------------------

// Points the user's temporary folder at a test folder for the test's duration: the
// variables of both systems, each of which ignores the other's.
struct TempFolderOverride {
    explicit TempFolderOverride(const fs::path& folder) : path(zyrel_test::to_utf8(folder)) {}
    const std::string path;
    const zyrel_test::scoped_variable tmpdir{"TMPDIR", path.c_str()};
    const zyrel_test::scoped_variable tmp{"TMP", path.c_str()};
    const zyrel_test::scoped_variable temp{"TEMP", path.c_str()};
};

VXN::TimeZoneInformation injected_zone;

bool injected_source(VXN::TimeZoneInformation& information, std::uint32_t& error)
{
    error = 0;
    information = injected_zone;
    return true;
}

class Logging : public ::testing::Test {
protected:
    Logging() : m_override(m_folder.path()) {}

    void SetUp() override { reset(); }

    void TearDown() override
    {
        reset();
        VXN::SetTimeZoneSource(nullptr);
        VXN::detail::ResetTimeZonesForTests();
    }

    static void reset()
    {
        VXN::SetLogSink(nullptr);
        VXN::detail::ResetFileLogSinkForTests();
        VXN::earlyMessages.clear();
        VXN::bufferEarlyMessages = false;
        VXN::minimumLevel = 0;
        received.clear();
        evaluations = 0;
    }

    fs::path log_path() const { return m_folder.path() / "ZyrelDownloader.log"; }
    std::string log_text() const { return read_file(log_path()); }
    Lines log_messages() const { return messages_of(log_path()); }

    zyrel_test::temp_folder m_folder;
    TempFolderOverride m_override;
};

// ---- levels -----------------------------------------------------------------------------

TEST_F(Logging, EveryLevelReachesTheFileWithItsTag)
{
    EXPECT_STREQ(VXN::LevelName(1), "DBG");
    EXPECT_STREQ(VXN::LevelName(6), "BUG");
    EXPECT_STREQ(VXN::LevelName(-1), "UNK");
    EXPECT_STREQ(VXN::LevelName(2147483647), "UNK");

    VXN::SetLogSink(VXN::FileLogSink);
    for (std::int32_t level = 0; level <= 7; ++level)
        VXN_LOG(kSource, level, "level {0}", level);
    const std::vector<std::string> lines = lines_of(log_text());
    const char* tags[] = {"[UNK]", "[DBG]", "[INF]", "[NOT]", "[WRN]", "[ERR]", "[BUG]", "[UNK]"};
    ASSERT_EQ(lines.size(), 8u);
    for (std::size_t level = 0; level < 8; ++level) {
        EXPECT_NE(lines[level].find(std::string(" ") + tags[level] + " level " + std::to_string(level)),
                  std::string::npos)
            << lines[level];
    }
}

// ---- the shape of a line ----------------------------------------------------------------

// The local time now and the offset text of the local zone, computed without the
// program's zone code.
struct LocalNow {
    std::string stamp; // "YYYY-MM-DD hh:mm:ss.mmm"
    std::string offset;
};

std::string offset_text(long seconds_east)
{
    const char sign = seconds_east < 0 ? '-' : '+';
    const long magnitude = seconds_east < 0 ? -seconds_east : seconds_east;
    char text[48];
    if (magnitude / 60 % 60 == 0)
        std::snprintf(text, sizeof(text), "%c%02ld", sign, magnitude / 3600);
    else
        std::snprintf(text, sizeof(text), "%c%02ld%02ld", sign, magnitude / 3600, magnitude / 60 % 60);
    return text;
}

LocalNow local_now()
{
    char stamp[64];
#if defined(_WIN32)
    SYSTEMTIME utc = {};
    GetSystemTime(&utc);
    SYSTEMTIME local = {};
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    FILETIME utc_file = {};
    FILETIME local_file = {};
    SystemTimeToFileTime(&utc, &utc_file);
    SystemTimeToFileTime(&local, &local_file);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return {stamp, offset_text(static_cast<long>((ticks(local_file) - ticks(utc_file)) / 10000000))};
#else
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm fields = {};
    localtime_r(&now.tv_sec, &fields);
    std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d.%03ld", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                  now.tv_nsec / 1000000);
    return {stamp, offset_text(fields.tm_gmtoff)};
#endif
}

TEST_F(Logging, LineIsTimeStampTagAndMessageEndingInCrLf)
{
    LocalNow before;
    LocalNow after;
    {
#if !defined(_WIN32)
        // A zone with daylight time, so the offset depends on today's date.
        const zyrel_test::scoped_variable zone("TZ", ":America/New_York", tzset);
        VXN::detail::ResetTimeZonesForTests();
#endif
        VXN::SetLogSink(VXN::FileLogSink);
        before = local_now();
        VXN_LOG(kSource, VXN::LogLevel::Info, "Dialog initialized");
        after = local_now();
    }

    const std::string text = log_text();
    const std::regex shape(R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})([+-]\d{2}(\d{2})?) \[INF\] Dialog initialized\r\n$)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, shape)) << text;
    // The stamp lies between two readings of the clock taken around the call, in the
    // same zone, so the texts compare in time order.
    EXPECT_LE(before.stamp, match[1].str());
    EXPECT_GE(after.stamp, match[1].str());
    EXPECT_EQ(match[2].str(), after.offset);
}

TEST_F(Logging, OffsetTextFollowsTheLocalZone)
{
    VXN::SetTimeZoneSource(injected_source);
    VXN::SetLogSink(VXN::FileLogSink);
    const std::int32_t biases[] = {-330, 300, 0, 30, -765};
    for (std::int32_t bias : biases) {
        VXN::detail::ResetTimeZonesForTests();
        injected_zone = VXN::TimeZoneInformation();
        injected_zone.Bias = bias;
        VXN_LOG(kSource, VXN::LogLevel::Info, "bias {0}", bias);
    }
    const std::vector<std::string> lines = lines_of(log_text());
    ASSERT_EQ(lines.size(), 5u);
    const char* offsets[] = {"+0530 [INF] bias -330", "-05 [INF] bias 300", "+00 [INF] bias 0",
                             "-0030 [INF] bias 30", "+1245 [INF] bias -765"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(lines[i].substr(23), offsets[i]);
}

// ---- messages ---------------------------------------------------------------------------

TEST_F(Logging, MessagesAreWrittenWholeAndUnchanged)
{
    VXN::SetLogSink(VXN::FileLogSink);
    const std::string exactly255(255, 'a');
    const std::string long300 = std::string(150, 'b') + std::string(150, 'c');
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", exactly255.c_str());
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", long300.c_str());
    const std::string huge(5000, 'h');
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", huge.c_str());
    VXN_LOG(kSource, VXN::LogLevel::Info, "");
    // Wide arguments arrive as UTF-8.
    VXN_LOG(kSource, VXN::LogLevel::Warning, "{0} {1} {2}", VXN_W("Gr\u00fc\u00dfe \u20ac"), -7, 4294967295u);
    EXPECT_EQ(log_messages(), (Lines{exactly255, long300, huge, "", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC -7 4294967295"}));
    const std::string empty_line = lines_of(log_text()).at(3);
    EXPECT_EQ(empty_line.substr(empty_line.size() - 6), "[INF] ");

    // One call, one line: a control character or a Unicode line break in a value (an
    // address from a server, say) is escaped, so no value can forge a line of its own.
    VXN::detail::ResetFileLogSinkForTests();
    VXN_LOG(kSource, VXN::LogLevel::Error, "Remote url: {0}",
            "http://h/a\r\n2026-01-01 00:00:00.000+00 [INF] forged\nthird\r\t\x01\x7F\xC2\x85\xE2\x80\xA8\xE2\x80\xA9\xC3\xA9");
    const std::string text = log_text();
    ASSERT_GT(text.size(), 30u);
    EXPECT_EQ(text.substr(text.find(" [ERR] ")),
              " [ERR] Remote url: http://h/a\\r\\n2026-01-01 00:00:00.000+00 [INF] forged\\nthird\\r\\t\\x01\\x7F"
              "\\u0085\\u2028\\u2029\xC3\xA9\r\n");
}

TEST_F(Logging, MessagesUpTo255CharactersNeedNoHeap)
{
    VXN::SetLogSink(copying_sink);
    const std::string exactly255(255, 'x');
    const std::string just256(256, 'y');

    std::size_t before = zyrel_test::heap_blocks();
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", exactly255.c_str());
    EXPECT_EQ(zyrel_test::heap_blocks() - before, 0u);
    ASSERT_EQ(last_length, 255u);
    EXPECT_EQ(std::string(last_message, last_length), exactly255);

    before = zyrel_test::heap_blocks();
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", just256.c_str());
    EXPECT_EQ(zyrel_test::heap_blocks() - before, 1u);
    EXPECT_EQ(std::string(last_message, last_length), just256);

    // The file sink too, once its file is open and the zones are read: the time stamp and
    // the line have inline storage of their own.
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "warm-up");
    before = zyrel_test::heap_blocks();
    VXN_LOG(kSource, VXN::LogLevel::Info, "{0}", exactly255.c_str());
    EXPECT_EQ(zyrel_test::heap_blocks() - before, 0u);
    EXPECT_EQ(log_messages(), (Lines{"warm-up", exactly255}));
}

TEST_F(Logging, NothingIsFormattedWhenNothingWouldReceiveIt)
{
    std::size_t before = zyrel_test::heap_blocks();
    VXN_LOG(kSource, VXN::LogLevel::Bug, "{0} {1}", counted_argument(), std::string(1000, 'z').c_str());
    EXPECT_EQ(evaluations, 0);
    EXPECT_EQ(zyrel_test::heap_blocks() - before, 0u);

    VXN::SetLogSink(recording_sink);
    VXN::minimumLevel = VXN::LogLevel::Warning;
    VXN_LOG(kSource, VXN::LogLevel::Notice, "{0}", counted_argument());
    EXPECT_EQ(evaluations, 0);
    VXN_LOG(kSource, VXN::LogLevel::Warning, "{0}", counted_argument());
    EXPECT_EQ(evaluations, 1);
    VXN::minimumLevel = 0;
    VXN_LOG(kSource, 0, "{0}", counted_argument());
    EXPECT_EQ(evaluations, 2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].level, VXN::LogLevel::Warning);
    EXPECT_EQ(received[0].message, "evaluated");
    EXPECT_EQ(received[0].source, kSource);
    EXPECT_EQ(received[0].category, &VXN::GeneralCategory);
    EXPECT_STREQ(received[0].category->name, "GEN");

    // No sink and no buffering: dropped, and not delivered to a later sink.
    VXN::SetLogSink(nullptr);
    VXN::DispatchLogMessage(kSource, 1, VXN::LogLevel::Info, &VXN::GeneralCategory, "dropped");
    VXN::SetLogSink(recording_sink);
    EXPECT_EQ(received.size(), 2u);
}

// ---- sinks and early messages ---------------------------------------------------------

TEST_F(Logging, EarlyMessagesReachTheNextSinkInOrderThenAreForgotten)
{
    VXN::bufferEarlyMessages = true;
    const int first_line = __LINE__ + 1;
    VXN_LOG(kSource, VXN::LogLevel::Debug, "early {0}", 1);
    VXN_LOG(kSource, VXN::LogLevel::Error, "early {0}", 2);
    VXN_LOG("OtherModule", 7, "early {0}", std::string(400, 'e').c_str());
    ASSERT_EQ(VXN::earlyMessages.size(), 3u);
    EXPECT_TRUE(received.empty());

    EXPECT_EQ(VXN::SetLogSink(recording_sink), nullptr);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, "early 1");
    EXPECT_EQ(received[0].line, first_line);
    EXPECT_EQ(received[0].level, VXN::LogLevel::Debug);
    EXPECT_EQ(received[1].message, "early 2");
    EXPECT_EQ(received[1].line, first_line + 1);
    EXPECT_EQ(received[2].source, "OtherModule");
    EXPECT_EQ(received[2].level, 7);
    EXPECT_EQ(received[2].message, "early " + std::string(400, 'e'));
    for (const Received& message : received)
        EXPECT_EQ(message.category, &VXN::GeneralCategory);
    EXPECT_TRUE(VXN::earlyMessages.empty());

    // Registering another sink delivers nothing more; it answers the one it replaced.
    EXPECT_EQ(VXN::SetLogSink(other_sink), &recording_sink);
    EXPECT_EQ(received.size(), 3u);
    VXN_LOG(kSource, VXN::LogLevel::Info, "late");
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[3].message, "other: late");

    // Unregistering keeps what arrives for the next sink, in the file too.
    VXN::SetLogSink(nullptr);
    VXN_LOG(kSource, VXN::LogLevel::Info, "kept for the file");
    VXN::SetLogSink(VXN::FileLogSink);
    EXPECT_EQ(log_messages(), Lines{"kept for the file"});
}

TEST_F(Logging, SinkThatLeavesDuringDeliveryLeavesTheRestForTheNext)
{
    VXN::bufferEarlyMessages = true;
    for (int i = 1; i <= 4; ++i)
        VXN_LOG(kSource, VXN::LogLevel::Info, "early {0}", i);
    VXN::SetLogSink(leaving_sink);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(VXN::currentSink.load(), nullptr);
    // Not lost: the two it did not get, then what was logged meanwhile.
    ASSERT_EQ(VXN::earlyMessages.size(), 3u);
    VXN::SetLogSink(recording_sink);
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(received[2].message, "early 3");
    EXPECT_EQ(received[3].message, "early 4");
    EXPECT_EQ(received[4].message, "logged while leaving");
    EXPECT_TRUE(VXN::earlyMessages.empty());
}

TEST_F(Logging, UnregisteringReturnsTheFileSinkAndLaterCallsWriteNothing)
{
    EXPECT_EQ(VXN::SetLogSink(VXN::FileLogSink), nullptr);
    VXN_LOG(kSource, VXN::LogLevel::Info, "ZyrelDownloader starting up");
    VXN_LOG(kSource, VXN::LogLevel::Info, "ZyrelDownloader shutting down");
    EXPECT_EQ(VXN::SetLogSink(nullptr), &VXN::FileLogSink);
    const std::string before = log_text();
    VXN_LOG(kSource, VXN::LogLevel::Bug, "after {0}", counted_argument());
    VXN::DispatchLogMessage(kSource, 1, VXN::LogLevel::Info, &VXN::GeneralCategory, "dispatched after");
    EXPECT_EQ(log_text(), before);
    EXPECT_EQ(evaluations, 0);
    EXPECT_EQ(lines_of(before).size(), 2u);
    EXPECT_EQ(VXN::SetLogSink(nullptr), nullptr);
}

// ---- the file -------------------------------------------------------------------------

TEST_F(Logging, EachRunStartsANewLog)
{
    m_folder.write("ZyrelDownloader.log", "an old log that is much longer than the new one\r\n");
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "first run");
    EXPECT_EQ(log_messages(), Lines{"first run"});

    // The file is opened once; reopening (as a new run does) starts over.
    VXN::detail::ResetFileLogSinkForTests();
    VXN_LOG(kSource, VXN::LogLevel::Info, "second run");
    EXPECT_EQ(log_messages(), Lines{"second run"});

    // Real runs: two processes one after the other, in the same temporary folder.
    VXN::detail::ResetFileLogSinkForTests();
    VXN::SetLogSink(nullptr);
    const auto run = [](const std::string& tag, const std::string& count) {
        return zyrel_test::run_child(zyrel_test::test_program("LogLinesHelper"), {tag, count}).exit_code;
    };
    ASSERT_EQ(run("A", "50"), 0);
    const Lines first = log_messages();
    ASSERT_EQ(first.size(), 50u);
    EXPECT_EQ(first[49], "run A line 49");
    ASSERT_EQ(run("B", "3"), 0);
    EXPECT_EQ(log_messages(), (Lines{"run B line 0", "run B line 1", "run B line 2"}));
}

TEST_F(Logging, TwoThreadsLinesNeverMix)
{
    VXN::SetLogSink(VXN::FileLogSink);
    constexpr int kLines = 10000;
    const auto writer = [](const char* name) {
        for (int i = 0; i < kLines; ++i)
            VXN_LOG(kSource, VXN::LogLevel::Debug, "thread {0} line {1} {2}", name, i, "padding to make lines longer");
    };
    std::thread first(writer, "A");
    std::thread second(writer, "B");
    first.join();
    second.join();

    const std::vector<std::string> lines = lines_of(log_text());
    ASSERT_EQ(lines.size(), 2u * kLines);
    const std::regex shape(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}(\d{2})? \[DBG\] thread ([AB]) line (\d+) padding to make lines longer$)");
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        const int thread = match[2].str() == "A" ? 0 : 1;
        ASSERT_EQ(std::stoi(match[3].str()), next[thread]) << line;
        ++next[thread];
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

TEST_F(Logging, UnregisteringWhileAWorkerLogsDropsLaterLinesWhole)
{
    // As at shutdown: the main thread unregisters while the download worker still logs.
    VXN::SetLogSink(VXN::FileLogSink);
    std::atomic<int> written{0};
    std::thread worker([&written] {
        for (int i = 0; i < 20000; ++i) {
            VXN_LOG("ZyrelDownloaderThread", VXN::LogLevel::Debug, "progress {0}", i);
            written = i + 1;
        }
    });
    while (written < 500)
        std::this_thread::yield();
    // Lines finished before the sink goes away are all in the file.
    const int finished = written;
    EXPECT_EQ(VXN::SetLogSink(nullptr), &VXN::FileLogSink);
    worker.join();

    // Every line is whole, in order and without gaps, up to where the sink went away.
    const std::vector<std::string> lines = lines_of(log_text());
    ASSERT_GE(static_cast<int>(lines.size()), finished);
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(message_of(lines[i]), "progress " + std::to_string(i));
}

TEST_F(Logging, UnusableFolderDropsLinesUntilTheFileCanBeMade)
{
    const fs::path later = m_folder.path() / "not-yet";
    const TempFolderOverride override(later);
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "lost");
    EXPECT_FALSE(fs::exists(later));
    fs::create_directory(later);
    VXN_LOG(kSource, VXN::LogLevel::Info, "kept");
    EXPECT_EQ(messages_of(later / "ZyrelDownloader.log"), Lines{"kept"});
}

#if defined(_WIN32)

TEST_F(Logging, OthersMayReadAndDeleteTheLogButNotWriteIt)
{
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "open");
    const std::wstring path = log_path().wstring();
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

#else

TEST_F(Logging, CreatedLogIsPrivateToItsOwner)
{
    const mode_t saved = umask(0);
    VXN::SetLogSink(VXN::FileLogSink);
    VXN_LOG(kSource, VXN::LogLevel::Info, "private");
    umask(saved);
    struct stat status = {};
    ASSERT_EQ(stat(log_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, geteuid());

    // A log of an earlier run that others could read is made private again.
    VXN::detail::ResetFileLogSinkForTests();
    ASSERT_EQ(chmod(log_path().c_str(), 0644), 0);
    VXN_LOG(kSource, VXN::LogLevel::Info, "private again");
    ASSERT_EQ(stat(log_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(lines_of(log_text()).size(), 1u);

    // Children started later do not inherit the log.
    const int fd = open(log_path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    close(fd);
    bool inherited = false;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target == log_path()) {
            const int flags = fcntl(std::stoi(entry.path().filename().string()), F_GETFD);
            inherited = inherited || (flags >= 0 && (flags & FD_CLOEXEC) == 0);
        }
    }
    EXPECT_FALSE(inherited);
}

TEST_F(Logging, NameTakenByAnythingButOurOwnFileIsLeftAlone)
{
    VXN::SetLogSink(VXN::FileLogSink);

    // A symbolic link planted at the name: its target stays as it was, nothing is logged.
    const fs::path victim = m_folder.write("victim.txt", "precious\n");
    fs::create_symlink(victim, log_path());
    VXN_LOG(kSource, VXN::LogLevel::Info, "through the link");
    EXPECT_EQ(read_file(victim), "precious\n");
    EXPECT_TRUE(fs::is_symlink(log_path()));
    // A dangling link must not create its target either.
    fs::remove(log_path());
    const fs::path nowhere = m_folder.path() / "created-through-link";
    fs::create_symlink(nowhere, log_path());
    VXN_LOG(kSource, VXN::LogLevel::Info, "through a dangling link");
    EXPECT_FALSE(fs::exists(nowhere));
    fs::remove(log_path());

    // A FIFO, with and without a reader: no hang, nothing written.
    ASSERT_EQ(mkfifo(log_path().c_str(), 0666), 0);
    VXN_LOG(kSource, VXN::LogLevel::Info, "into a fifo without a reader");
    const int reader = open(log_path().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    VXN_LOG(kSource, VXN::LogLevel::Info, "into a fifo with a reader");
    char buffer[64];
    EXPECT_LE(read(reader, buffer, sizeof(buffer)), 0);
    close(reader);
    fs::remove(log_path());

    // A folder.
    fs::create_directory(log_path());
    VXN_LOG(kSource, VXN::LogLevel::Info, "into a folder");
    EXPECT_TRUE(fs::is_empty(log_path()));
    fs::remove(log_path());

    // A second name of another file (a hard link): that file is not emptied.
    const fs::path linked = m_folder.write("linked.txt", "also precious\n");
    fs::create_hard_link(linked, log_path());
    VXN_LOG(kSource, VXN::LogLevel::Info, "into a hard link");
    EXPECT_EQ(read_file(linked), "also precious\n");
    fs::remove(log_path());

    // Another user's file (nobody's, when we may hand one over).
    if (geteuid() == 0) {
        m_folder.write("ZyrelDownloader.log", "not yours\n");
        ASSERT_EQ(chown(log_path().c_str(), 65534, 65534), 0);
        VXN_LOG(kSource, VXN::LogLevel::Info, "into a foreign file");
        EXPECT_EQ(read_file(log_path()), "not yours\n");
        struct stat status = {};
        ASSERT_EQ(stat(log_path().c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, 65534u);
        fs::remove(log_path());
    }

    // With the name free again, the next line makes the log.
    VXN_LOG(kSource, VXN::LogLevel::Info, "at last");
    EXPECT_EQ(log_messages(), Lines{"at last"});
}

#endif

} // namespace
