// What the download tests share: a log sink that keeps every line, a listener that keeps
// every report, and a wait with a limit.
#pragma once

#include "ZyrelDownloaderThread.h"

#include "Log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace download_test {

// How long a test waits for a worker before it fails instead of hanging.
constexpr auto kPatience = std::chrono::seconds(60);

struct log_line {
    std::string source;
    std::int32_t level = 0;
    std::string message;
};

// Registers itself as the log sink for its lifetime; lines from any thread.
class log_recorder {
public:
    log_recorder()
    {
        std::lock_guard<std::mutex> held(lock());
        lines().clear();
        VXN::SetLogSink(&record);
    }
    ~log_recorder() { VXN::SetLogSink(nullptr); }
    log_recorder(const log_recorder&) = delete;
    log_recorder& operator=(const log_recorder&) = delete;

    // "SOURCE LVL message" per line, in order, for the source given (all when empty),
    // optionally without the DBG lines.
    std::vector<std::string> text(const std::string& source = "", bool debug = true) const
    {
        std::lock_guard<std::mutex> held(lock());
        std::vector<std::string> out;
        for (const log_line& line : lines())
            if ((source.empty() || line.source == source) && (debug || line.level != VXN::LogLevel::Debug))
                out.push_back(line.source + " " + VXN::LevelName(line.level) + " " + line.message);
        return out;
    }
    // Whether a line with exactly this message arrives within the limit.
    bool wait_for(const std::string& message) const
    {
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard<std::mutex> held(lock());
                for (const log_line& line : lines())
                    if (line.message == message)
                        return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    static std::mutex& lock()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<log_line>& lines()
    {
        static std::vector<log_line> v;
        return v;
    }
    static void record(const char* source, std::int32_t, std::int32_t level, const VXN::LogCategory*,
                       const char* message)
    {
        std::lock_guard<std::mutex> held(lock());
        lines().push_back({source, level, message});
    }
};

struct completion {
    bool success = false;
    int transferCode = -1;
    int httpCode = -1;
};

// Keeps every report; waits for the completion with a limit.
class recording_listener : public DownloadListener {
public:
    void OnDownloadProgress(double percent) override
    {
        std::lock_guard<std::mutex> held(m_lock);
        m_progress.push_back(percent);
    }
    void OnDownloadComplete(bool success, int transferCode, int httpCode) override
    {
        std::lock_guard<std::mutex> held(m_lock);
        m_completions.push_back({success, transferCode, httpCode});
        m_done.notify_all();
    }
    bool wait_for_completion()
    {
        std::unique_lock<std::mutex> held(m_lock);
        return m_done.wait_for(held, kPatience, [this] { return !m_completions.empty(); });
    }
    std::vector<double> progress() const
    {
        std::lock_guard<std::mutex> held(m_lock);
        return m_progress;
    }
    std::vector<completion> completions() const
    {
        std::lock_guard<std::mutex> held(m_lock);
        return m_completions;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_done;
    std::vector<double> m_progress;
    std::vector<completion> m_completions;
};

} // namespace download_test
