// The Wine prefix, its wine program and its paths (WinePrefix.h).
#include "WinePrefix.h"

#include "CaseFold.h"

#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool IsExecutableFile(const std::string& path)
{
    struct stat facts;
    return ::stat(path.c_str(), &facts) == 0 && S_ISREG(facts.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool SameNameIgnoringCase(const vxn::wstring& a, const char* b)
{
    const vxn::wstring wide = vxn::utf16_from(b, vxn::length_of(b));
    if (wide.size() != a.size())
        return false;
    for (vxn::u32 i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<char16_t>(a[i])) != FoldCase(static_cast<char16_t>(wide[i])))
            return false;
    }
    return true;
}

bool IsSeparator(vxn::wchar unit)
{
    // Windows takes a slash for a backslash in a path, and so does Wine.
    return unit == '\\' || unit == '/';
}

} // namespace

std::string WinePrefixFolder()
{
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && prefix[0] != 0)
        return prefix[0] == '/' ? std::string(prefix) : std::string();
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/')
        return std::string();
    std::string folder(home);
    if (folder.back() != '/')
        folder += '/';
    return folder + ".wine";
}

std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return std::string();
    const std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        // An empty entry means the current folder, as for the shell.
        std::string candidate = end > start ? folders.substr(start, end - start) : std::string(".");
        candidate += '/';
        candidate += name;
        if (IsExecutableFile(candidate))
            return candidate;
        start = end + 1;
    }
    return std::string();
}

std::string WineProgram()
{
    const char* named = std::getenv("WINE");
    if (named == nullptr || named[0] == 0)
        return FindOnPath("wine");
    const std::string program(named);
    if (program.find('/') == std::string::npos)
        return FindOnPath(named);
    return IsExecutableFile(program) ? program : std::string();
}

std::string MatchName(const std::string& folder, const std::string& name)
{
    // Joined as JoinPath joins, so the path reads as the folder was given.
    const std::string path = folder + '/';
    struct stat facts;
    if (::lstat((path + name).c_str(), &facts) == 0)
        return path + name;

    DIR* entries = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (entries == nullptr)
        return path + name;
    const vxn::wstring wanted = vxn::utf16_from(name.c_str(), static_cast<vxn::u32>(name.size()));
    std::string found = name;
    while (const dirent* entry = ::readdir(entries)) {
        if (SameNameIgnoringCase(wanted, entry->d_name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(entries);
    return path + found;
}

std::string UnixPathOfWindowsPath(const std::string& prefix, const vxn::wstring& windows)
{
    const vxn::wchar* text = windows.c_str();
    const vxn::wchar letter = text[0];
    const bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (prefix.empty() || !is_letter || text[1] != ':' || (text[2] != 0 && !IsSeparator(text[2])))
        return std::string();

    // The drive's own folder, wherever its link leads: a drive that the prefix does not
    // have holds nothing.
    std::string drive = prefix + "/dosdevices/";
    drive += static_cast<char>(letter | 0x20);
    drive += ':';
    char resolved[PATH_MAX];
    if (::realpath(drive.c_str(), resolved) == nullptr)
        return std::string();
    const std::string root(resolved);

    // The names, "." and ".." applied as Windows applies them before the file system sees
    // the path.
    std::vector<std::string> names;
    vxn::u32 start = 2;
    for (vxn::u32 i = 2; i <= windows.size(); ++i) {
        if (i < windows.size() && !IsSeparator(text[i]))
            continue;
        vxn::string name;
        name.assign_utf16(text + start, i - start);
        start = i + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        names.emplace_back(name.c_str(), name.size());
    }

    if (names.empty())
        return root;
    // Below the file system's root the names follow the empty folder "" (MatchName reads
    // it as "/"), so the path does not start with two slashes.
    std::string path = root == "/" ? std::string() : root;
    for (const std::string& name : names)
        path = MatchName(path, name);
    return path;
}

} // namespace platform
