// The terminal host: the progress window as one line on stderr, redrawn in place (title,
// bar, percentage, and bytes and rate when the caller attached its counters); questions
// on the terminal itself (/dev/tty), Ctrl-C as the Cancel command.
#include "ui/posix/PosixHost.h"

#include "Format.h"
#include "Log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace ui::platform {
namespace {

using Clock = std::chrono::steady_clock;
// At most about ten redraws a second: a fast download must not flood a slow terminal.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

void WriteAll(const std::string& text)
{
    const char* cursor = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t wrote = write(STDERR_FILENO, cursor, left);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return;
        cursor += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
}

int Columns()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// Characters as the terminal counts them, roughly: UTF-8 continuation bytes take no column.
int Width(const std::string& text)
{
    int width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

std::string Cut(const std::string& text, int columns)
{
    std::string out;
    int width = 0;
    for (const char c : text) {
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts && width == columns)
            break;
        width += starts ? 1 : 0;
        out += c;
    }
    return out;
}

class TerminalHost final : public Backend {
public:
    Host Kind() const override { return Host::Terminal; }

    bool Open(Dialog& dialog) override
    {
        WakeDescriptor(); // before the handler starts a thread that posts
        m_started = Clock::now();
        m_lastDraw = Clock::time_point();
        m_dirty = true;
        Draw(dialog, true);
        return true;
    }

    void Run(Dialog& dialog) override
    {
        SignalScope signals;
        DeliverPosted(dialog);
        while (!dialog.ending.load()) {
            pollfd wake = {WakeDescriptor(), POLLIN, 0};
            const int ready = poll(&wake, 1, RedrawTimeout());
            if (ready < 0 && errno != EINTR)
                break;
            HandleWake(dialog);
            if (m_dirty)
                Draw(dialog, false);
        }
    }

    void Close(Dialog& dialog) override
    {
        Draw(dialog, true);
        WriteAll("\n");
    }

    void Wake(Dialog&) override { WakeByte('P'); }

    void ProgressChanged(Dialog& dialog) override
    {
        m_dirty = true;
        Draw(dialog, false);
    }

    void CloseQuestions() override { m_questionClosed = true; }

    int Ask(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned) override
    {
        if (m_tty < 0)
            m_tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_tty < 0) {
            VXN_LOG("UserInterface", VXN::LogLevel::Info, "Question \"{0}\" taken as No: no terminal to read from",
                    caption);
            return IdNo;
        }
        ++m_asking;
        const bool outerClosed = m_questionClosed;
        m_questionClosed = false;
        WriteAll("\r\x1b[K" + std::string(text.c_str()) + " [y/N] ");
        std::string line;
        int answer = IdNo;
        for (;;) {
            pollfd waits[2] = {{WakeDescriptor(), POLLIN, 0}, {m_tty, POLLIN, 0}};
            const int ready = poll(waits, 2, -1);
            if (ready < 0 && errno != EINTR)
                break;
            if (dialog != nullptr) {
                // Ctrl-C at the prompt declines; posted messages are still delivered.
                if (HandleWake(*dialog))
                    break;
            } else if (DrainWake().interrupt) {
                break;
            }
            if ((waits[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            char bytes[256];
            const ssize_t got = read(m_tty, bytes, sizeof(bytes));
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                break; // end of input: the default answer
            line.append(bytes, static_cast<std::size_t>(got));
            const std::size_t end = line.find('\n');
            if (end == std::string::npos)
                continue;
            const std::size_t first = line.find_first_not_of(" \t");
            answer = first < end && (line[first] == 'y' || line[first] == 'Y') ? IdYes : IdNo;
            break;
        }
        if (line.find('\n') == std::string::npos)
            WriteAll("\n");
        m_questionClosed = outerClosed;
        --m_asking;
        m_dirty = true;
        if (dialog != nullptr && !dialog->ending.load())
            Draw(*dialog, true);
        return answer;
    }

    void Tell(Dialog* dialog, const vxn::string& text, const vxn::string& caption, unsigned,
              const vxn::string& detail) override
    {
        WriteAll("\r\x1b[K" + std::string(caption.c_str()) + ": " + text.c_str() + "\n" +
                 (detail.empty() ? std::string() : std::string(detail.c_str()) + "\n"));
        m_dirty = true;
        if (dialog != nullptr && !dialog->ending.load() && m_asking == 0)
            Draw(*dialog, true);
    }

private:
    // Answers whether the current question is to be declined (Ctrl-C, or a termination).
    // A termination during a question closes the question first; its Cancel follows once
    // the question's caller is back in a loop that delivers messages.
    bool HandleWake(Dialog& dialog)
    {
        const WakeEvents events = DrainWake();
        if (events.terminate)
            BeginTermination(dialog, events.terminate);
        if (m_asking > 0 && (events.interrupt || m_questionClosed))
            return true;
        if (events.interrupt)
            DeliverCancel(dialog); // Ctrl-C is the Cancel button: it asks first
        DeliverPosted(dialog);
        return false;
    }

    int RedrawTimeout() const
    {
        if (!m_dirty)
            return -1;
        const auto due = m_lastDraw + kRedrawInterval - Clock::now();
        const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(due).count();
        return milliseconds > 0 ? static_cast<int>(milliseconds) + 1 : 0;
    }

    void Draw(Dialog& dialog, bool now)
    {
        if (m_asking > 0)
            return; // the question's prompt owns the line
        const auto moment = Clock::now();
        if (!now && moment - m_lastDraw < kRedrawInterval)
            return;
        m_lastDraw = moment;
        m_dirty = false;

        const int span = dialog.high - dialog.low;
        const double fraction = span > 0 ? static_cast<double>(dialog.position - dialog.low) / span : 0.0;
        char percent[16];
        std::snprintf(percent, sizeof(percent), " %3d%%", static_cast<int>(fraction * 100.0));
        std::string figures;
        if (dialog.received != nullptr) {
            const std::uint64_t received = dialog.received->load();
            figures = "  " + ByteCount(received);
            const std::uint64_t total = dialog.total != nullptr ? dialog.total->load() : 0;
            if (total > 0)
                figures += " / " + ByteCount(total);
            const double seconds = std::chrono::duration<double>(moment - m_started).count();
            if (seconds > 0.5)
                figures += "  " + ByteCount(static_cast<std::uint64_t>(static_cast<double>(received) / seconds)) + "/s";
        }
        const int columns = Columns() - 1; // the last column would wrap on some terminals
        std::string title = vxn::utf8_from(dialog.title).c_str();
        int barWidth = columns - Width(title) - 3 - Width(percent) - Width(figures);
        if (barWidth > 40)
            barWidth = 40;
        if (barWidth < 10) {
            barWidth = 10;
            const int room = columns - 3 - barWidth - Width(percent) - Width(figures);
            title = Cut(title, room > 0 ? room : 0);
        }
        const int filled = static_cast<int>(fraction * barWidth);
        std::string line = "\r" + title + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                           std::string(static_cast<std::size_t>(barWidth - filled), '-') + "]" + percent + figures;
        line = Cut(line, columns + 1) + "\x1b[K";
        WriteAll(line);
    }

    Clock::time_point m_started;
    Clock::time_point m_lastDraw;
    bool m_dirty = false;
    int m_asking = 0;
    bool m_questionClosed = false;
    int m_tty = -1;
};

} // namespace

Backend& TerminalBackend()
{
    // Never destroyed: a worker thread may still post while the program exits.
    static auto* host = new TerminalHost;
    return *host;
}

} // namespace ui::platform
