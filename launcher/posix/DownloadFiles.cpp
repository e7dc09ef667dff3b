// The download dialog's files on Linux: paths go to the system as UTF-8.
#include "DownloadFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* OpenDownloadFile(const vxn::wstring& path)
{
    // A folder named with -temp may be shared, and the file is about to be run: what is
    // already there under the name must be a plain file of ours with no other name.
    // Anything else (a link someone planted, a hard link to another file, a FIFO that would
    // block the open, a file another user could rewrite after the check) is refused.
    const int fd = ::open(vxn::utf8_from(path).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat facts {};
    int flags = 0;
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode) || facts.st_nlink != 1 || facts.st_uid != ::geteuid() ||
        (flags = ::fcntl(fd, F_GETFL)) < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error != 0 ? error : EPERM;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr)
        ::close(fd);
    return file;
}
