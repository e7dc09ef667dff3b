// The target of a symbolic link on Linux, shared by the executable's path (Files.cpp) and
// another process's image path (Process.cpp), both read from /proc.
#pragma once

#include "FilesPlatform.h"

namespace VXN::platform {

// Reads the link's target whatever its length; false with errno set when it cannot.
bool read_link(const char* link, native_string& out);

} // namespace VXN::platform
