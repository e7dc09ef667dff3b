#include "Log.h"

#include "DateTime.h"
#include "LogPlatform.h"
#include "TimeZone.h"

#include <mutex>

namespace VXN {

const LogCategory GeneralCategory = {"GEN"};

std::atomic<LogSink> currentSink{nullptr};
std::int32_t minimumLevel = 0;
bool bufferEarlyMessages = false;
vxn::vector<EarlyLogMessage> earlyMessages;

const char* LevelName(std::int32_t level)
{
    static constexpr const char* kNames[] = {"DBG", "INF", "NOT", "WRN", "ERR", "BUG"};
    if (level < LogLevel::Debug || level > LogLevel::Bug)
        return "UNK";
    return kNames[level - LogLevel::Debug];
}

void DispatchLogMessage(const char* source, std::int32_t line, std::int32_t level, const LogCategory* category,
                        const char* message)
{
    if (LogSink sink = currentSink.load(std::memory_order_acquire)) {
        sink(source, line, level, category, message);
        return;
    }
    if (bufferEarlyMessages) {
        EarlyLogMessage& entry = earlyMessages.push_back();
        entry.source = source;
        entry.line = line;
        entry.level = level;
        entry.message.assign(message);
    }
}

LogSink SetLogSink(LogSink sink)
{
    const LogSink previous = currentSink.exchange(sink, std::memory_order_acq_rel);
    if (sink == nullptr || earlyMessages.empty())
        return previous;

    // Taken out first: a sink that logs while it receives them must not grow the list
    // being walked.
    vxn::vector<EarlyLogMessage> pending(static_cast<vxn::vector<EarlyLogMessage>&&>(earlyMessages));
    // Each message goes to the sink registered at that moment: one that unregisters itself
    // while receiving them stops the delivery.
    std::size_t delivered = 0;
    for (; delivered < pending.size(); ++delivered) {
        const LogSink target = currentSink.load(std::memory_order_acquire);
        if (target == nullptr)
            break;
        const EarlyLogMessage& entry = pending[delivered];
        target(entry.source, entry.line, entry.level, &GeneralCategory, entry.message.c_str());
    }
    if (delivered < pending.size()) {
        // The sink went away midway: the rest waits for the next one, ahead of whatever
        // was kept meanwhile.
        vxn::vector<EarlyLogMessage> rest;
        for (std::size_t i = delivered; i < pending.size(); ++i)
            rest.push_back(pending[i]);
        for (const EarlyLogMessage& entry : earlyMessages)
            rest.push_back(entry);
        earlyMessages = static_cast<vxn::vector<EarlyLogMessage>&&>(rest);
    }
    return previous;
}

namespace {

// One lock for the process, never destroyed: the download worker may still be logging
// while the process exits.
std::recursive_mutex& FileSinkLock()
{
    static std::recursive_mutex* lock = new std::recursive_mutex();
    return *lock;
}

// Guarded by FileSinkLock. Only the tests close it; in the program the file stays open
// until the process ends.
platform::LogFileHandle logFile = platform::kNoLogFile;

// A line of the log is one record: a control character in a logged value (a line break in a
// downloaded address, say) is written escaped, so that no value can end its line and forge
// the next one. The line breaks Unicode adds (NEL, LS, PS) are escaped as well.
template <class Text>
void AppendEscaped(Text& out, const char* message)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char* at = message; *at != 0; ++at) {
        const auto c = static_cast<unsigned char>(*at);
        const auto next = static_cast<unsigned char>(at[1]);
        if (c == 0xC2 && next == 0x85) {
            out.append("\\u0085");
            ++at;
        } else if (c == 0xE2 && next == 0x80 && at[2] != 0 &&
                   (static_cast<unsigned char>(at[2]) == 0xA8 || static_cast<unsigned char>(at[2]) == 0xA9)) {
            out.append(static_cast<unsigned char>(at[2]) == 0xA8 ? "\\u2028" : "\\u2029");
            at += 2;
        } else if (c == '\r') {
            out.append("\\r");
        } else if (c == '\n') {
            out.append("\\n");
        } else if (c == '\t') {
            out.append("\\t");
        } else if (c < 0x20 || c == 0x7F) {
            const char escaped[5] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF], 0};
            out.append(escaped);
        } else {
            out.push_back(*at);
        }
    }
}

bool NeedsEscaping(const char* message)
{
    for (const char* at = message; *at != 0; ++at) {
        const auto c = static_cast<unsigned char>(*at);
        if (c < 0x20 || c == 0x7F || c == 0xC2 || c == 0xE2)
            return true;
    }
    return false;
}

} // namespace

void FileLogSink(const char*, std::int32_t, std::int32_t level, const LogCategory*, const char* message)
{
    // The file is opened under the lock too: two threads logging their first lines at
    // once must not both create it and race on the handle.
    std::lock_guard<std::recursive_mutex> guard(FileSinkLock());
    if (logFile == platform::kNoLogFile) {
        logFile = platform::OpenLogFile();
        if (logFile == platform::kNoLogFile)
            return; // this line is lost; the next one tries again
    }

    vxn::inline_string<8> tag;
    tag.assign_format("[{0}]", LevelName(level));

    // Now() has initialised the zones, so the local one is there unless its source failed
    // (the stamp then stays in UTC).
    DateTime now = DateTime::Now();
    (void)now.SetZone(GetLocalTimeZone());
    vxn::inline_string<64> stamp;
    stamp.assign_format("{0:d4}-{1:d2}-{2:d2} {3:d2}:{4:d2}:{5:d2}.{6:d3}{7}", now.Year(), now.Month(), now.Day(),
                        now.Hour(), now.Minute(), now.Second(), now.Millisecond(), now.OffsetText());

    vxn::inline_string<512> text;
    if (NeedsEscaping(message)) {
        vxn::inline_string<256> escaped;
        AppendEscaped(escaped, message);
        text.assign_format("{0} {1} {2}\r\n", stamp, tag, escaped);
    } else {
        text.assign_format("{0} {1} {2}\r\n", stamp, tag, message);
    }
    platform::WriteLogFile(logFile, text.c_str(), text.size());
}

namespace detail {

void ResetFileLogSinkForTests()
{
    std::lock_guard<std::recursive_mutex> guard(FileSinkLock());
    if (logFile != platform::kNoLogFile)
        platform::CloseLogFile(logFile);
    logFile = platform::kNoLogFile;
}

} // namespace detail

} // namespace VXN
