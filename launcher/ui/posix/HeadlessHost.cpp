// The host for a run with neither desktop nor terminal (a service, a cron job, CI): no
// window; messages go to stderr and the log; every question takes the safe answer, No; SIGINT,
// SIGTERM and SIGHUP end the window as its Cancel answered Yes would.
#include "ui/posix/PosixHost.h"

#include "Log.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>

namespace ui::platform {
namespace {

class HeadlessHost final : public Backend {
public:
    Host Kind() const override { return Host::None; }

    bool Open(Dialog& dialog) override
    {
        WakeDescriptor(); // before the handler starts a thread that posts
        VXN_LOG("UserInterface", VXN::LogLevel::Info, "Window \"{0}\" runs without a display or terminal",
                vxn::utf8_from(dialog.title));
        return true;
    }

    void Run(Dialog& dialog) override
    {
        SignalScope signals;
        DeliverPosted(dialog);
        while (!dialog.ending.load()) {
            pollfd wake = {WakeDescriptor(), POLLIN, 0};
            if (poll(&wake, 1, -1) < 0 && errno != EINTR)
                break;
            const WakeEvents events = DrainWake();
            if (events.terminate)
                BeginTermination(dialog, events.terminate);
            else if (events.interrupt)
                BeginTermination(dialog, "SIGINT");
            DeliverPosted(dialog);
        }
    }

    void Close(Dialog&) override {}
    void Wake(Dialog&) override { WakeByte('P'); }

    int Ask(Dialog*, const vxn::string& text, const vxn::string& caption, unsigned) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        VXN_LOG("UserInterface", VXN::LogLevel::Info,
                "Question \"{0}\" takes the safe answer No: there is no desktop or terminal to ask on", caption);
        return IdNo;
    }

    void Tell(Dialog*, const vxn::string& text, const vxn::string& caption, unsigned,
              const vxn::string& detail) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (!detail.empty())
            std::fprintf(stderr, "%s\n", detail.c_str());
        std::fflush(stderr);
    }
};

} // namespace

Backend& HeadlessBackend()
{
    // Never destroyed: a worker thread may still post while the program exits.
    static auto* host = new HeadlessHost;
    return *host;
}

} // namespace ui::platform
