// The Linux half of the download folder: the temporary folder, UUIDs from the kernel's
// generator, and private folders (mode 0700).
#include "DownloadFolder.h"
#include "DownloadFolderPlatform.h"

#include "ProgramWords.h"

#include "Path.h"
#include "UserTempFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

vxn::wstring TempFolder()
{
    return vxn::utf16_from(VXN::platform::UserTempFolder());
}

vxn::wstring NewUuidText()
{
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return vxn::wstring();
        got += static_cast<std::size_t>(n);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return vxn::utf16_from(text, vxn::length_of(text));
}

} // namespace platform

bool CreateRelaunchFolder(const vxn::wstring& path)
{
    const std::string folder = platform::Utf8(path);
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        (void)VXN::CreateDirectories(VXN::Path(vxn::string(folder.c_str(), static_cast<vxn::u32>(slash))));
    // mkdir never follows a link and fails on any name that exists; the mode is set again
    // because the umask may have taken bits from it.
    if (::mkdir(folder.c_str(), 0700) != 0)
        return false;
    return ::chmod(folder.c_str(), 0700) == 0;
}

bool MakeDownloadFolder(const vxn::wstring& path)
{
    return ::mkdir(platform::Utf8(path).c_str(), 0700) == 0;
}
