#include "ReadFile.h"

#include "FilesPlatform.h"

namespace VXN {

namespace {

// The first buffer for a file that reports no size.
constexpr vxn::u32 kFirstBuffer = 4096;

} // namespace

Result ReadWholeFile(const char* path, vxn::u32 limit, vxn::string& bytes)
{
    bytes.clear();
    platform::file_handle file{};
    std::uint64_t size = 0;
    if (!platform::open_regular_file(path, file, size))
        return Result::Fail("CreateFile failed: {0}", system_error_text(platform::last_error()));

    // One byte past the limit is the most ever read: it tells a file of exactly `limit`
    // bytes from a longer one. The announced size is only where the buffer starts, since a
    // file may grow or shrink while it is read.
    const std::uint64_t most = static_cast<std::uint64_t>(limit) + (limit < 0xFFFFFFFFu ? 1 : 0);
    vxn::u32 used = 0;
    for (;;) {
        if (used == bytes.size()) {
            std::uint64_t grown = bytes.size() == 0 ? (size > 0 ? size + 1 : kFirstBuffer) : std::uint64_t(used) * 2;
            if (grown > most)
                grown = most;
            bytes.resize(static_cast<vxn::u32>(grown), 0);
            if (bytes.size() != grown) {
                platform::close_file(file);
                bytes.clear();
                return Result::Fail("ReadFile failed: no memory for {0} bytes", grown);
            }
        }
        vxn::u32 got = 0;
        if (!platform::read_file(file, bytes.data() + used, bytes.size() - used, got)) {
            const std::uint32_t error = platform::last_error();
            platform::close_file(file);
            bytes.clear();
            return Result::Fail("ReadFile failed: {0}", system_error_text(error));
        }
        if (got == 0)
            break;
        used += got;
        if (used > limit) {
            platform::close_file(file);
            bytes.clear();
            return Result::Fail("ReadFile failed: more than {0} bytes", limit);
        }
    }
    platform::close_file(file);
    bytes.resize(used, 0);
    return Result();
}

} // namespace VXN
