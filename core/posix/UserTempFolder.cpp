#include "UserTempFolder.h"

#include "Format.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace VXN::platform {

namespace {

// A folder that no other user can rearrange: ours, or root's and closed to others or
// sticky (where only an entry's owner may rename or remove it).
bool IsTrustedFolder(const struct stat& facts)
{
    if (facts.st_uid == geteuid())
        return true;
    return facts.st_uid == 0 && ((facts.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (facts.st_mode & S_ISVTX) != 0);
}

vxn::string WithSlash(const char* folder)
{
    vxn::string text(folder);
    if (text.c_str()[text.size() - 1] != '/')
        text.push_back('/');
    return text;
}

} // namespace

vxn::string UserTempFolder()
{
    const char* folder = std::getenv("TMPDIR");
    struct stat facts = {};
    // TMPDIR may well be a link to the real folder: what it names is judged. A TMPDIR that
    // names no folder is kept as it is: what needs the folder then fails, and nothing goes
    // anywhere the user did not ask for.
    if (folder != nullptr && folder[0] != 0 &&
        (stat(folder, &facts) != 0 || !S_ISDIR(facts.st_mode) || IsTrustedFolder(facts)))
        return WithSlash(folder);

    const vxn::string own = format("/tmp/ZyrelDownloader-{0}", static_cast<std::uint32_t>(geteuid()));
    // mkdir never follows a link; an existing name is judged by lstat, so a link planted
    // there is refused rather than followed.
    (void)mkdir(own.c_str(), 0700);
    if (lstat(own.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode) || facts.st_uid != geteuid())
        return vxn::string();
    // Ours, but opened up (by the umask at its making, or by hand later): closed again.
    if ((facts.st_mode & 07777) != 0700 && chmod(own.c_str(), 0700) != 0)
        return vxn::string();
    return WithSlash(own.c_str());
}

} // namespace VXN::platform
