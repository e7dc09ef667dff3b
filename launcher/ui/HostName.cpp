// The hosts' names, as ZYREL_UI spells them.
#include "ui/UserInterface.h"

namespace ui {

const char* HostName(Host host)
{
    switch (host) {
    case Host::Win32:
        return "win32";
    case Host::Gtk:
        return "gtk";
    case Host::Terminal:
        return "terminal";
    case Host::None:
        return "none";
    }
    return "none";
}

} // namespace ui
