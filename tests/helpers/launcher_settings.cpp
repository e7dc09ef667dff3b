// Runs the launcher's start-up reading as the program does and prints the outcome, so that
// tests can check it in a real process with a real command line and the embedded
// configuration linked in the same way as in ZyrelDownloader.
//
// ZYREL_TEST_HELPER_MODE=resource: writes the text of resource 111 (as UTF-8) and exits.
// Otherwise: ParseCommandLine, LoadEmbeddedConfiguration, then one line per setting
// ("Key=value", sorted, with \\, \r, \n and \t escaped), then the output of a child
// (launcher_print_environment) started afterwards. With ZYREL_TEST_FAKE_DEBUGGER=1 the
// debugger wait prints "debugger wait" instead of waiting.
#include "CommandLine.h"
#include "Settings.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

std::string Utf8(const vxn::wstring& text)
{
    vxn::string narrow;
    narrow.assign_utf16(text.data(), text.size());
    return std::string(narrow.c_str(), narrow.size());
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

void FakeWait()
{
    std::fputs("debugger wait\n", stdout);
}

// The child inherits this process's environment as ParseCommandLine left it.
void RunEnvironmentChild()
{
    const zyrel_test::child_result child =
        zyrel_test::run_child(zyrel_test::test_program("launcher_print_environment"), {});
    std::fputs(child.exit_code == 0 ? child.output.c_str() : "cannot start launcher_print_environment\n", stdout);
}

} // namespace

int main()
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* mode = std::getenv("ZYREL_TEST_HELPER_MODE");
    if (mode != nullptr && std::strcmp(mode, "resource") == 0) {
        const std::string text = Utf8(LoadResourceText(EmbeddedConfigurationId));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }

    const char* fake = std::getenv("ZYREL_TEST_FAKE_DEBUGGER");
    if (fake != nullptr && std::strcmp(fake, "1") == 0)
        ParseCommandLine(&FakeWait);
    else
        ParseCommandLine();
    const bool loaded = LoadEmbeddedConfiguration();
    std::printf("loaded=%d\n", loaded ? 1 : 0);

    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& entry : Settings::Entries())
        entries.emplace_back(Utf8(entry.first), Escaped(Utf8(entry.second)));
    std::sort(entries.begin(), entries.end());
    for (const auto& [key, value] : entries)
        std::printf("%s=%s\n", key.c_str(), value.c_str());

    RunEnvironmentChild();
    return 0;
}
