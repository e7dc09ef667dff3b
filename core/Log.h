// Logging: diagnostic lines from every module to one replaceable sink.
//
//     VXN_LOG("ZyrelDownloaderMain", VXN::LogLevel::Info, "Download of {0} started", url);
//
// The source is the module's name as a text literal (no folder, no extension); the line
// comes from __LINE__ and the category is always the general one ("GEN"). The macro first
// tests the level and whether anything would receive the message; only then are the
// arguments evaluated and the message formatted (UTF-8, wide arguments converted) into a
// string whose first 255 characters need no heap. A message is never cut.
//
// The program registers FileLogSink first thing at start-up and unregisters it (null)
// last thing; messages while no sink is registered are dropped unless
// bufferEarlyMessages is on, in which case the next sink receives them.
#pragma once

#include "Format.h"

#include <vxnstl/string>
#include <vxnstl/vector>

#include <atomic>
#include <cstdint>

namespace VXN {

// Levels are plain signed integers so that any value can be passed; the file sink prints
// values outside 1..6 as "UNK".
namespace LogLevel {
constexpr std::int32_t Debug = 1;
constexpr std::int32_t Info = 2;
constexpr std::int32_t Notice = 3;
constexpr std::int32_t Warning = 4;
constexpr std::int32_t Error = 5;
constexpr std::int32_t Bug = 6;
} // namespace LogLevel

// "DBG", "INF", "NOT", "WRN", "ERR", "BUG", and "UNK" for any other level. Static texts.
const char* LevelName(std::int32_t level);

// A category record; its first field is the name. The program has one, "GEN".
struct LogCategory {
    const char* name;
};

extern const LogCategory GeneralCategory;

// Receives every message while registered. The source is the caller's static text, the
// message is never null (an empty message is "").
using LogSink = void (*)(const char* source, std::int32_t line, std::int32_t level, const LogCategory* category,
                         const char* message);

// The registered sink, or null. Atomic: the download worker reads it while the main thread
// unregisters at shutdown, and each message then reaches the sink that was registered
// when it was dispatched, or is dropped.
extern std::atomic<LogSink> currentSink;
// Calls below this level are skipped; 0 lets every level through. Set during start-up only.
extern std::int32_t minimumLevel;
// Whether messages logged while no sink is registered are kept for the next sink. Set
// during start-up only.
extern bool bufferEarlyMessages;

// A message kept while no sink was registered: the caller's static source text, the line,
// the level and a copy of the formatted message. The category is not kept (it is always
// the general one).
struct EarlyLogMessage {
    const char* source = nullptr;
    std::int32_t line = 0;
    std::int32_t level = 0;
    vxn::string message;
};

extern vxn::vector<EarlyLogMessage> earlyMessages;

// The test at the place of the call: cheap, and nothing is formatted when it fails.
inline bool LogWanted(std::int32_t level)
{
    return minimumLevel <= level && (currentSink.load(std::memory_order_acquire) != nullptr || bufferEarlyMessages);
}

// Hands a formatted message to the registered sink, or keeps it (bufferEarlyMessages), or
// drops it.
void DispatchLogMessage(const char* source, std::int32_t line, std::int32_t level, const LogCategory* category,
                        const char* message);

// The front end behind VXN_LOG: formats into a 256-character inline buffer, growing on
// the heap only for longer messages, and dispatches.
template <class... Args>
void LogMessage(const char* source, std::int32_t line, std::int32_t level, const LogCategory* category,
                const char* pattern, const Args&... args)
{
    vxn::inline_string<256> message;
    message.assign_format(pattern, args...);
    DispatchLogMessage(source, line, level, category, message.c_str());
}

// Registers a sink (null unregisters) and answers the one it replaces. A new sink first
// receives the kept early messages in their order, with the general category; they are
// then forgotten. Call it while no other thread logs (start-up and shutdown).
LogSink SetLogSink(LogSink sink);

// Writes "time stamp [LVL] message\r\n" to "ZyrelDownloader.log" in the user's temporary
// folder (Windows: GetTempPathW, which follows TMP; Linux: a trusted $TMPDIR, else the
// user's own /tmp/ZyrelDownloader-<uid>, core/posix/UserTempFolder.h). The file
// is created, or truncated, by the first message of the process and stays open. Lines from
// several threads never mix. On Linux the file is made readable by its owner only, and a
// name taken by anything but the user's own regular file (a symbolic link, a FIFO, a
// folder, another user's file) is left alone: the log then goes nowhere.
void FileLogSink(const char* source, std::int32_t line, std::int32_t level, const LogCategory* category,
                 const char* message);

namespace detail {
// Test-only: closes the file sink's log file, so that the next message opens (and
// truncates) it again, in the temporary folder the environment names at that moment.
void ResetFileLogSinkForTests();
} // namespace detail

} // namespace VXN

// The logging call. `level` is evaluated once; the pattern and its arguments only when a
// sink (or the early buffer) would receive the message.
#define VXN_LOG(source, level, ...)                                                                  \
    do {                                                                                             \
        const std::int32_t vxn_log_level_ = (level);                                                 \
        if (::VXN::LogWanted(vxn_log_level_))                                                        \
            ::VXN::LogMessage((source), __LINE__, vxn_log_level_, &::VXN::GeneralCategory, __VA_ARGS__); \
    } while (false)
