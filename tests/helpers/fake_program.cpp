// A stand-in for the client and the installer: appends to the file named by
// ZYREL_FAKE_RECORD what it was started with (its program path, arguments, current
// folder, the variables the launcher hands on, and on Linux every descriptor it inherited
// beyond the standard three), then exits with 0.
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? "<unset>" : value;
}

} // namespace

#if defined(_WIN32)
std::string narrow(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}
#endif

int main(int argc, char** argv)
{
    const char* record = std::getenv("ZYREL_FAKE_RECORD");
    if (record == nullptr)
        return 3;
    std::FILE* out = std::fopen(record, "ab");
    if (out == nullptr)
        return 4;
    std::string text = "begin\n";
#if defined(_WIN32)
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    text += "program " + narrow(words[0]) + "\n";
    for (int i = 1; i < count; ++i)
        text += "arg " + narrow(words[i]) + "\n";
    wchar_t folder[32768];
    GetCurrentDirectoryW(32768, folder);
    text += "cwd " + narrow(folder) + "\n";
#else
    text += "program " + std::string(argv[0]) + "\n";
    for (int i = 1; i < argc; ++i)
        text += "arg " + std::string(argv[i]) + "\n";
    char folder[4096];
    text += "cwd " + std::string(getcwd(folder, sizeof folder) != nullptr ? folder : "?") + "\n";
    const int own = fileno(out);
    if (DIR* fds = opendir("/proc/self/fd")) {
        const int listing = dirfd(fds);
        while (dirent* entry = readdir(fds)) {
            if (entry->d_name[0] == '.')
                continue;
            const int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != own && fd != listing)
                text += "fd " + std::to_string(fd) + "\n";
        }
        closedir(fds);
    }
#endif
    text += "env VXN_WAIT_FOR_DEBUGGER=" + variable("VXN_WAIT_FOR_DEBUGGER") + "\n";
    text += "env ZYREL_REPLACED_INSTANCE=" + variable("ZYREL_REPLACED_INSTANCE") + "\n";
    text += "end\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return 0;
}
