// The OS half of the file log sink (core/posix/LogFile.cpp, core/win32/LogFile.cpp).
#pragma once

#include <vxnstl/base>

#include <cstdint>

namespace VXN::platform {

// A file descriptor or a HANDLE; -1 (INVALID_HANDLE_VALUE) while no file is open.
using LogFileHandle = std::intptr_t;
constexpr LogFileHandle kNoLogFile = -1;

// Creates "ZyrelDownloader.log" in the user's temporary folder, or truncates it, for
// writing while others may read or delete it. Answers kNoLogFile when that is impossible
// or (Linux) when the name belongs to anything but the user's own regular file.
LogFileHandle OpenLogFile();

// One write of the whole line; a failed or short write is ignored.
void WriteLogFile(LogFileHandle file, const char* bytes, vxn::u32 count);

void CloseLogFile(LogFileHandle file);

} // namespace VXN::platform
