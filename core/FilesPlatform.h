// The operating-system half of Path, FileInfo and ReadFile (core/posix/Files.cpp,
// core/win32/Files.cpp).
//
// Each call takes the platform's own text: UTF-16 on Windows, the bytes of a UTF-8 path on
// Linux (so a Linux name that is not valid UTF-8 still reaches the system unchanged). A
// call that answers false leaves the cause in last_error().
#pragma once

#include "Path.h"

#include <vxnstl/string>

#include <cstdint>

namespace VXN::platform {

// native_char and file_handle come from PlatformTypes.h (core/posix or core/win32).
using native_string = vxn::basic_string<native_char>;

// The path in the platform's own form, normalised: the overload for native_char is taken.
inline const vxn::string& native_form(Path& path, const char*)
{
    return path.Utf8String();
}
inline const vxn::wstring& native_form(Path& path, const vxn::wchar*)
{
    return path.WideString();
}
inline const native_string& native_text(Path& path)
{
    return native_form(path, static_cast<const native_char*>(nullptr));
}

// GetLastError on Windows, errno on Linux.
std::uint32_t last_error();

// The running executable's full path, of any length.
bool executable_path(Path& out);

// The absolute form of a path: relative parts taken from the current directory, "." and
// ".." resolved, no length limit. A trailing separator is kept.
bool full_path(const native_char* path, native_string& out);

// Whether an existing file or directory answers to the path (a file named with a trailing
// separator counts too).
bool object_exists(const native_char* path);

bool make_directory(const native_char* path);
bool change_directory(const native_char* path);

struct file_record {
    bool directory = false;
    std::uint64_t size = 0;
    std::uint32_t volumeSerial = 0;
    std::uint64_t fileIndex = 0;
    std::uint64_t creationTicks = 0; // UTC, 100 ns since 1601-01-01
    std::uint64_t lastWriteTicks = 0;
};

enum class query_outcome {
    found,
    missing,        // the name does not exist, but its directory does
    open_failed,    // cannot be opened (path not found, access denied, ...)
    read_failed,    // opened, but its information cannot be read
};

query_outcome query_file(const native_char* path, file_record& out);

// Opens a regular file, named in UTF-8, for reading (ReadFile.h) and tells its size (0 for the kernel's
// /proc records, which report none); false when it cannot be opened or is anything else
// (a folder, a device, a pipe).
bool open_regular_file(const char* path, file_handle& file, std::uint64_t& size);

// Reads up to `count` bytes, repeating a read that a signal interrupted; `got` is 0 at the
// end of the file.
bool read_file(file_handle file, char* out, vxn::u32 count, vxn::u32& got);

// Closes the file, keeping last_error() as it was.
void close_file(file_handle file);

} // namespace VXN::platform
