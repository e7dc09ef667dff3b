// Linux half of InterruptionScope: a handler that only stores the signal's number (an atomic
// store is all a handler may do here), and the handlers it replaced, put back as they were
// (GLib's own, while a GTK window is open).
#include "Interruption.h"

#include <atomic>
#include <csignal>

namespace VXN {
namespace {

constexpr int kEnding[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction replaced[sizeof kEnding / sizeof kEnding[0]];
std::atomic<int> noted{0};
std::atomic<bool> live{false};

void Note(int number)
{
    int none = 0;
    noted.compare_exchange_strong(none, number);
}

} // namespace

InterruptionScope::InterruptionScope() : m_outermost(!live.exchange(true))
{
    if (!m_outermost)
        return;
    noted = 0;
    struct sigaction action = {};
    action.sa_handler = &Note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (unsigned i = 0; i < sizeof kEnding / sizeof kEnding[0]; ++i)
        sigaction(kEnding[i], &action, &replaced[i]);
}

InterruptionScope::~InterruptionScope()
{
    if (!m_outermost)
        return;
    for (unsigned i = 0; i < sizeof kEnding / sizeof kEnding[0]; ++i)
        sigaction(kEnding[i], &replaced[i], nullptr);
    live = false;
}

const char* InterruptionScope::Noted() const
{
    switch (noted.load()) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return nullptr;
    }
}

bool Interrupted()
{
    return live.load() && noted.load() != 0;
}

} // namespace VXN
