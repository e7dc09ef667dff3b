// A library opened at run time (libX11 for the process windows, libgtk-3 for the debugger
// dialog and the download window, libcurl for the download), so that the program has no
// link-time dependency on a desktop being installed, and a run that needs none of them maps
// none of them. Windows loads its task dialog the same way.
#pragma once

#include <dlfcn.h>

namespace VXN::platform {

class runtime_library {
public:
    // Opened for good: neither Xlib, an initialised GTK nor a libcurl with live TLS state can
    // be unloaded, so the handle is never closed.
    explicit runtime_library(const char* name) : m_handle(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}

    // Whether the library could be opened; when it could not, dlerror() says why until the
    // next dl call.
    bool loaded() const { return m_handle != nullptr; }

    // Points `function` at the exported symbol `name`; false when the library or the
    // symbol is missing.
    template <class Function>
    bool bind(const char* name, Function& function) const
    {
        function = m_handle != nullptr ? reinterpret_cast<Function>(dlsym(m_handle, name)) : nullptr;
        return function != nullptr;
    }

private:
    void* m_handle;
};

} // namespace VXN::platform
