// FileInfo: whether a path names an existing file or directory, and its size, identity and
// times, gathered on request.
//
// Callers test existence by running Query when `queried` is false and then reading
// `exists`. A missing file is a successful answer (exists false); a path whose parent
// directory is missing, or that runs through a file, is a failure and leaves the flags as
// they were, as is a file that exists but cannot be opened for reading.
//
// On Linux the identity is st_dev (folded to 32 bits) and st_ino; the creation time is the
// birth time where the file system records one (statx) and the status-change time
// otherwise; a directory reports size 0, as on Windows.
#pragma once

#include "DateTime.h"
#include "Path.h"
#include "Result.h"

#include <vxnstl/string>

#include <cstdint>

namespace VXN {

class FileInfo {
public:
    explicit FileInfo(const vxn::wstring& path);
    explicit FileInfo(const vxn::wchar* path);

    Result Query();

    Path path;
    bool queried = false;
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::uint32_t volumeSerial = 0;
    std::uint64_t fileIndex = 0;
    DateTime creationTime;
    DateTime lastWriteTime;
};

} // namespace VXN
