// The log file in the user's temporary folder (UserTempFolder.h), opened so that nobody
// else's file (or a link planted under its name, where the folder is shared after all) can
// be made to receive the log.
#include "LogPlatform.h"

#include "Format.h"
#include "UserTempFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace VXN::platform {

LogFileHandle OpenLogFile()
{
    const vxn::string directory = UserTempFolder();
    if (directory.empty())
        return kNoLogFile;
    const vxn::string path = format("{0}ZyrelDownloader.log", directory);

    // No O_TRUNC yet: the file is emptied only once it is known to be ours. O_NOFOLLOW
    // refuses a symbolic link at the name; O_NONBLOCK keeps a FIFO there from blocking
    // the open (it fails without a reader and is refused below with one).
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return kNoLogFile;
    struct stat status = {};
    // A second name (a hard link) would let whoever made it read the log or have us
    // empty a file of theirs.
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        status.st_nlink != 1) {
        close(fd);
        return kNoLogFile;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0) {
        close(fd);
        return kNoLogFile;
    }
    return fd;
}

void WriteLogFile(LogFileHandle file, const char* bytes, vxn::u32 count)
{
    [[maybe_unused]] const ssize_t written = write(static_cast<int>(file), bytes, count);
}

void CloseLogFile(LogFileHandle file)
{
    close(static_cast<int>(file));
}

} // namespace VXN::platform
