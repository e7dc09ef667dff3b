// Linux half of Path and FileInfo: /proc for the executable, the path calls of the C
// library, and fstat/statx for file facts.
#include "FilesPlatform.h"
#include "SymbolicLink.h"
#include "Ticks.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VXN::platform {

namespace {

constexpr std::int64_t kEpochDifference = Ticks::SecondsFrom1601To1970;
constexpr std::uint64_t kTicksPerSecond = Ticks::PerSecond;

std::uint64_t file_time_ticks(std::int64_t seconds, std::int64_t nanoseconds)
{
    // A file time keeps its top bit clear; instants outside 1601 .. 30828 are held at the
    // ends of that range.
    constexpr std::int64_t kLastSecond = INT64_MAX / static_cast<std::int64_t>(kTicksPerSecond) - 1;
    if (seconds < -kEpochDifference)
        return 0;
    if (seconds > kLastSecond - kEpochDifference)
        return static_cast<std::uint64_t>(kLastSecond) * kTicksPerSecond;
    const auto since1601 = static_cast<std::uint64_t>(seconds + kEpochDifference);
    return since1601 * kTicksPerSecond + static_cast<std::uint64_t>(nanoseconds) / 100;
}

bool current_directory(native_string& out)
{
    vxn::u32 capacity = 256;
    for (;;) {
        native_string buffer;
        buffer.resize(capacity, 0);
        if (getcwd(buffer.data(), capacity) != nullptr) {
            out.assign(buffer.data());
            return true;
        }
        if (errno != ERANGE || capacity >= 0x40000000u)
            return false;
        capacity *= 2;
    }
}

// "." and ".." resolved by name, as the Windows runtime resolves them, without asking the
// file system about links.
void resolve_dots(const native_string& absolute, native_string& out)
{
    out.assign("/");
    bool trailing = false;
    vxn::u32 i = 0;
    while (i < absolute.size()) {
        while (i < absolute.size() && absolute[i] == '/')
            ++i;
        const vxn::u32 begin = i;
        while (i < absolute.size() && absolute[i] != '/')
            ++i;
        const vxn::u32 length = i - begin;
        if (length == 0)
            break;
        const char* part = absolute.c_str() + begin;
        trailing = i < absolute.size();
        if (length == 1 && part[0] == '.') {
            trailing = true;
        } else if (length == 2 && part[0] == '.' && part[1] == '.') {
            trailing = true;
            if (out.size() > 1) {
                vxn::u32 cut = out.size() - 1;
                while (cut > 0 && out[cut - 1] != '/')
                    --cut;
                out.resize(cut, 0);
            }
        } else {
            if (out[out.size() - 1] != '/')
                out.push_back('/');
            out.append(part, length);
        }
    }
    if (trailing && out[out.size() - 1] != '/')
        out.push_back('/');
}

// Whether the directory that would hold `path` exists: what tells "file not found" from
// "path not found" when the system answers ENOENT for both.
bool parent_is_directory(const char* path)
{
    const vxn::u32 length = vxn::length_of(path);
    if (length == 0)
        return false;
    vxn::u32 end = length;
    while (end > 1 && path[end - 1] == '/')
        --end;
    while (end > 0 && path[end - 1] != '/')
        --end;
    if (end == 0)
        return true; // a bare name: its directory is the current one
    while (end > 1 && path[end - 1] == '/')
        --end;
    const native_string parent(path, end);
    struct stat facts;
    return stat(parent.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}

} // namespace

std::uint32_t last_error()
{
    return static_cast<std::uint32_t>(errno);
}

bool read_link(const char* link, native_string& out)
{
    vxn::u32 capacity = 256;
    for (;;) {
        native_string buffer;
        buffer.resize(capacity, 0);
        const ssize_t length = readlink(link, buffer.data(), capacity);
        if (length < 0)
            return false;
        if (static_cast<vxn::u32>(length) < capacity) {
            out.assign(buffer.data(), static_cast<vxn::u32>(length));
            return true;
        }
        if (capacity >= 0x40000000u) {
            errno = ENAMETOOLONG;
            return false;
        }
        capacity *= 2;
    }
}

bool executable_path(Path& out)
{
    native_string text;
    if (!read_link("/proc/self/exe", text))
        return false;
    out = Path(text);
    return true;
}

bool full_path(const native_char* path, native_string& out)
{
    native_string absolute;
    if (path[0] != '/') {
        if (!current_directory(absolute))
            return false;
        absolute.push_back('/');
    }
    absolute.append(path);
    resolve_dots(absolute, out);
    return true;
}

bool object_exists(const native_char* path)
{
    // A file named with a trailing slash is still there; only the slash makes stat refuse.
    vxn::u32 length = vxn::length_of(path);
    while (length > 1 && path[length - 1] == '/')
        --length;
    const native_string name(path, length);
    struct stat facts;
    return stat(name.c_str(), &facts) == 0;
}

bool make_directory(const native_char* path)
{
    return mkdir(path, 0777) == 0;
}

bool change_directory(const native_char* path)
{
    return chdir(path) == 0;
}

query_outcome query_file(const native_char* path, file_record& out)
{
    // O_NONBLOCK: a FIFO must not hold the query until a writer appears.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && parent_is_directory(path))
            return query_outcome::missing;
        errno = error;
        return query_outcome::open_failed;
    }

    struct stat facts;
    if (fstat(fd, &facts) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return query_outcome::read_failed;
    }
    std::uint64_t creation = file_time_ticks(facts.st_ctim.tv_sec, facts.st_ctim.tv_nsec);
    struct statx extended;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME) != 0)
        creation = file_time_ticks(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
    close(fd);

    const auto device = static_cast<std::uint64_t>(facts.st_dev);
    out.directory = S_ISDIR(facts.st_mode);
    out.size = out.directory ? 0 : static_cast<std::uint64_t>(facts.st_size);
    out.volumeSerial = static_cast<std::uint32_t>(device ^ (device >> 32));
    out.fileIndex = static_cast<std::uint64_t>(facts.st_ino);
    out.creationTicks = creation;
    out.lastWriteTicks = file_time_ticks(facts.st_mtim.tv_sec, facts.st_mtim.tv_nsec);
    return query_outcome::found;
}

bool open_regular_file(const char* path, file_handle& file, std::uint64_t& size)
{
    // O_NONBLOCK: opening a pipe without a writer (a TZ value can name one) would otherwise
    // wait for ever before the type could be checked. Reads of a regular file ignore it.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat facts;
    const bool examined = fstat(fd, &facts) == 0;
    if (!examined || !S_ISREG(facts.st_mode)) {
        const int error = examined ? EINVAL : errno;
        close(fd);
        errno = error;
        return false;
    }
    file = fd;
    size = facts.st_size > 0 ? static_cast<std::uint64_t>(facts.st_size) : 0;
    return true;
}

bool read_file(file_handle file, char* out, vxn::u32 count, vxn::u32& got)
{
    for (;;) {
        const ssize_t n = read(file, out, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        got = static_cast<vxn::u32>(n);
        return true;
    }
}

void close_file(file_handle file)
{
    const int error = errno;
    close(file);
    errno = error;
}

} // namespace VXN::platform
