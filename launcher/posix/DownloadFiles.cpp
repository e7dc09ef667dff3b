// The download dialog's files on Linux: paths go to the system as UTF-8.
#include "DownloadFiles.h"

#include <sys/stat.h>

namespace {

vxn::string Native(const vxn::wstring& path)
{
    vxn::string out;
    out.assign_utf16(path.c_str(), path.size());
    return out;
}

} // namespace

bool MakeDownloadFolder(const vxn::wstring& path)
{
    return ::mkdir(Native(path).c_str(), 0700) == 0;
}

std::FILE* OpenDownloadFile(const vxn::wstring& path)
{
    return std::fopen(Native(path).c_str(), "wbe");
}
