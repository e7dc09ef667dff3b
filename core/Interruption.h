// Long work on the thread that runs the window (the installer's signature check) keeps the
// window's loop from seeing the signals that end a run. While an InterruptionScope lives,
// SIGTERM, SIGINT and SIGHUP are only noted; the work asks Interrupted() between its steps
// and gives up, and the scope's owner then ends the run instead of going on. When the scope
// ends, the handlers it found are back in place.
// Windows: no such signal reaches a GUI program, and nothing is ever noted.
#pragma once

namespace VXN {

class InterruptionScope {
public:
    // Scopes do not nest: an inner one notes nothing of its own and leaves the outer in place.
    InterruptionScope();
    ~InterruptionScope();
    InterruptionScope(const InterruptionScope&) = delete;
    InterruptionScope& operator=(const InterruptionScope&) = delete;

    // The name of the first signal noted since the scope began ("SIGTERM"), or null.
    const char* Noted() const;

private:
    bool m_outermost;
};

// Whether the live scope has noted a signal; false outside any scope. Safe on any thread.
bool Interrupted();

} // namespace VXN
