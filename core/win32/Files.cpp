// Windows half of Path and FileInfo.
#include "FilesPlatform.h"

#include <windows.h>

namespace VXN::platform {

namespace {

// The longest path the wide file calls accept.
constexpr DWORD kLongestPath = 32768;

std::uint64_t join(DWORD high, DWORD low)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

} // namespace

std::uint32_t last_error()
{
    return GetLastError();
}

bool executable_path(Path& out)
{
    // The module name is cut silently when the buffer is short; the answer then fills the
    // whole buffer, so grow until it does not.
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
        native_string buffer;
        buffer.resize(capacity, 0);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0)
            return false;
        if (length < capacity) {
            out = Path(buffer.substr(0, length));
            return true;
        }
        if (capacity >= kLongestPath) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
    }
}

bool full_path(const native_char* path, native_string& out)
{
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    native_string buffer;
    buffer.resize(needed, 0);
    const DWORD length = GetFullPathNameW(path, needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed)
        return false;
    out = buffer.substr(0, length);
    return true;
}

bool object_exists(const native_char* path)
{
    const HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

bool make_directory(const native_char* path)
{
    return CreateDirectoryW(path, nullptr) == 1;
}

bool change_directory(const native_char* path)
{
    return SetCurrentDirectoryW(path) != 0;
}

query_outcome query_file(const native_char* path, file_record& out)
{
    const HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? query_outcome::missing : query_outcome::open_failed;

    BY_HANDLE_FILE_INFORMATION facts = {};
    const BOOL read = GetFileInformationByHandle(handle, &facts);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!read) {
        SetLastError(error);
        return query_outcome::read_failed;
    }

    out.directory = (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.size = join(facts.nFileSizeHigh, facts.nFileSizeLow);
    out.volumeSerial = facts.dwVolumeSerialNumber;
    out.fileIndex = join(facts.nFileIndexHigh, facts.nFileIndexLow);
    out.creationTicks = join(facts.ftCreationTime.dwHighDateTime, facts.ftCreationTime.dwLowDateTime);
    out.lastWriteTicks = join(facts.ftLastWriteTime.dwHighDateTime, facts.ftLastWriteTime.dwLowDateTime);
    return query_outcome::found;
}

bool open_regular_file(const char* path, file_handle& file, std::uint64_t& size)
{
    native_string wide;
    wide.assign_utf8(path, vxn::length_of(path));
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // Only a file on a disk: a pipe or a console would be read until someone ends it. A
    // folder is not opened at all without FILE_FLAG_BACKUP_SEMANTICS.
    LARGE_INTEGER facts = {};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &facts)) {
        CloseHandle(handle);
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    file = handle;
    size = facts.QuadPart > 0 ? static_cast<std::uint64_t>(facts.QuadPart) : 0;
    return true;
}

bool read_file(file_handle file, char* out, vxn::u32 count, vxn::u32& got)
{
    DWORD read = 0;
    if (!ReadFile(file, out, count, &read, nullptr))
        return false;
    got = read;
    return true;
}

void close_file(file_handle file)
{
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
}

} // namespace VXN::platform
