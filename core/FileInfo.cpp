#include "FileInfo.h"

#include "FilesPlatform.h"

namespace VXN {

FileInfo::FileInfo(const vxn::wstring& text) : path(text) {}

FileInfo::FileInfo(const vxn::wchar* text) : path(text) {}

Result FileInfo::Query()
{
    platform::file_record record;
    switch (platform::query_file(platform::native_text(path).c_str(), record)) {
    case platform::query_outcome::missing:
        queried = true;
        exists = false;
        return Result();
    case platform::query_outcome::open_failed:
    case platform::query_outcome::read_failed:
        return Result::Fail("CreateFile failed: {0}", system_error_text(platform::last_error()));
    case platform::query_outcome::found:
        break;
    }

    // The times are converted before anything is stored, so a time that cannot be
    // represented leaves the whole record as it was instead of half updated.
    DateTime creation = creationTime;
    Result converted = creation.SetUtcTicks(record.creationTicks);
    if (converted.status != Result::Success)
        return converted;
    DateTime lastWrite = lastWriteTime;
    converted = lastWrite.SetUtcTicks(record.lastWriteTicks);
    if (converted.status != Result::Success)
        return converted;

    isDirectory = record.directory;
    size = record.size;
    creationTime = creation;
    lastWriteTime = lastWrite;
    volumeSerial = record.volumeSerial;
    fileIndex = record.fileIndex;
    queried = true;
    exists = true;
    return Result();
}

} // namespace VXN
