#include "CommandLine.h"

#include "Format.h"
#include "Path.h"
#include "Process.h"
#include "ProcessArguments.h"
#include "Settings.h"
#include "ZyrelVersion.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsSeparator(vxn::wchar c)
{
    return c == ' ' || c == '\t';
}

// Copies a finished argument out of the scratch buffer, sized to its text.
void TakeArgument(ArgumentList& out, vxn::wstring& scratch)
{
    out.push_back().assign(scratch.c_str(), scratch.size());
    scratch.clear();
}

// The arguments after the program name. The scratch buffer is reserved once for the whole
// text, which bounds every argument, so building one never reallocates.
void SplitArgumentsInto(const vxn::wchar* p, ArgumentList& out, vxn::wstring& scratch)
{
    for (;;) {
        while (IsSeparator(*p))
            ++p;
        if (*p == 0)
            return;
        bool quoted = false;
        for (;;) {
            vxn::u32 backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                for (vxn::u32 i = 0; i < backslashes / 2; ++i)
                    scratch.push_back('\\');
                if (backslashes % 2 == 1) {
                    scratch.push_back('"');
                    ++p;
                } else if (quoted && p[1] == '"') {
                    // Two quotes inside a quoted run: one literal quote, and the run goes on.
                    scratch.push_back('"');
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
                continue;
            }
            for (vxn::u32 i = 0; i < backslashes; ++i)
                scratch.push_back('\\');
            if (*p == 0 || (!quoted && IsSeparator(*p)))
                break;
            scratch.push_back(*p);
            ++p;
        }
        TakeArgument(out, scratch);
    }
}

// An option name and what it does; the order is the order of comparison. The usage line
// is what --help prints for it, kept here so that no option can miss its line.
struct Option {
    const vxn::wchar* name;
    const vxn::wchar* key; // null for -debug
    bool takesValue;
    const char* usage;
};

const Option Options[] = {
    {VXN_W("existing"), Settings::Key::ExistingDir, true,
     "-existing FOLDER     the client's installation folder, looked in first"},
    {VXN_W("temp"), Settings::Key::TempDir, true,
     "-temp FOLDER         download into FOLDER here, without a relaunched copy"},
    {VXN_W("language"), Settings::Key::Language, true, "-language LANGUAGE   passed on to the installer"},
    {VXN_W("username"), Settings::Key::UserName, true, "-username NAME       passed on to the installer"},
    {VXN_W("downloadurl"), Settings::Key::DownloadUrl, true,
     "-downloadurl URL     download the installer from URL, not the built-in one"},
    {VXN_W("proxy"), Settings::Key::Proxy, true, "-proxy HOST[:PORT]   the proxy for the download"},
    {VXN_W("proxybypass"), Settings::Key::ProxyBypass, true,
     "-proxybypass HOSTS   comma-separated hosts to reach without the proxy"},
    {VXN_W("singlegame"), Settings::Key::SingleGameId, true, "-singlegame ID       passed on to the installer"},
    {VXN_W("installgame"), Settings::Key::InstallGame, true, "-installgame ID      passed on to the installer"},
    {VXN_W("depot"), Settings::Key::Depot, true, "-depot ID            passed on to the installer"},
    {VXN_W("selfupdate"), Settings::Key::SelfUpdate, false,
     "-selfupdate          wait for the calling client to exit, then download"},
    {VXN_W("debug"), nullptr, false,
     "-debug               wait for a debugger before going on"},
    {VXN_W("portable"), Settings::Key::PortableInstallation, false,
     "-portable            ignore the uninstall entry; passed on to the installer"},
    {VXN_W("steam"), Settings::Key::UseSteam, false, "-steam               passed on to the installer"},
    {VXN_W("automatic"), Settings::Key::Automatic, false, "-automatic           passed on to the installer"},
};

// Only A-Z: option names are ASCII, and values (which are folded too when the scan visits
// them as arguments of their own) must not change in any other way.
void FoldAsciiCase(vxn::wstring& argument)
{
    vxn::wchar* text = argument.data();
    for (vxn::u32 i = 0; i < argument.size(); ++i) {
        if (text[i] >= 'A' && text[i] <= 'Z')
            text[i] = static_cast<vxn::wchar>(text[i] - 'A' + 'a');
    }
}

const Option* FindOption(const vxn::wstring& argument)
{
    if (argument.empty() || (argument[0] != '-' && argument[0] != '/'))
        return nullptr;
    const std::basic_string_view<vxn::wchar> name = argument.view().substr(1);
    for (const Option& option : Options) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

void WaitWithDialog()
{
    VXN::WaitForDebugger(true);
}

} // namespace

ArgumentList SplitCommandLine(const vxn::wchar* command_line)
{
    ArgumentList arguments;
    if (command_line == nullptr || *command_line == 0) {
        arguments.push_back() = VXN::GetExecutablePath().WideString();
        return arguments;
    }

    vxn::wstring scratch;
    scratch.reserve(vxn::length_of(command_line));
    const vxn::wchar* p = command_line;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"')
            scratch.push_back(*p++);
        if (*p == '"')
            ++p;
    } else {
        while (static_cast<std::uint16_t>(*p) > 0x20)
            scratch.push_back(*p++);
        if (*p != 0)
            ++p; // the character that ended the name belongs to no argument
    }
    TakeArgument(arguments, scratch);
    SplitArgumentsInto(p, arguments, scratch);
    return arguments;
}

ArgumentList SplitParameters(const vxn::wchar* parameters)
{
    ArgumentList arguments;
    if (parameters == nullptr)
        return arguments;
    vxn::wstring scratch;
    scratch.reserve(vxn::length_of(parameters));
    SplitArgumentsInto(parameters, arguments, scratch);
    return arguments;
}

void AppendQuotedArgument(vxn::wstring& text, const vxn::wstring& argument)
{
    if (argument.empty()) {
        text.append(VXN_W("\"\" "));
        return;
    }
    bool needsQuotes = false;
    for (vxn::wchar c : argument)
        needsQuotes = needsQuotes || c == ' ' || c == '\t' || c == '"';
    if (!needsQuotes) {
        text.append(VXN::format(VXN_W("{0} "), argument));
        return;
    }
    // Inside quotes only backslashes that end up before a quote (an escaped one or the
    // closing one) are special; they are doubled, and a quote gets one more to escape it.
    // An argument like C:\Games\ with a space would otherwise end in \" and swallow the
    // rest of the line.
    vxn::wstring escaped;
    escaped.reserve(argument.size() * 2 + 1);
    vxn::u32 backslashes = 0;
    for (vxn::wchar c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            for (vxn::u32 i = 0; i < backslashes + 1; ++i)
                escaped.push_back('\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        escaped.push_back(c);
    }
    for (vxn::u32 i = 0; i < backslashes; ++i)
        escaped.push_back('\\');
    text.append(VXN::format(VXN_W("\"{0}\" "), escaped));
}

namespace {

// Whether the last argument is a value option without its value, seen as the scan sees it
// (an option in a value's place is that value).
bool EndsWithValueOptionAlone(const ArgumentList& arguments)
{
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        vxn::wstring name = arguments[index];
        FoldAsciiCase(name);
        const Option* option = FindOption(name);
        if (option == nullptr || !option->takesValue)
            continue;
        if (index + 1 == arguments.size())
            return true;
        ++index;
    }
    return false;
}

} // namespace

vxn::wstring PassthroughText(const ArgumentList& arguments)
{
    // A value option given last without its value is left out: the relaunch appends
    // "-temp FOLDER", which it would otherwise take as its value (the copy would download
    // into ./-temp/ of whatever folder the program was started in, or relaunch again).
    const std::size_t end = EndsWithValueOptionAlone(arguments) ? arguments.size() - 1 : arguments.size();
    vxn::wstring text;
    for (std::size_t i = 1; i < end; ++i)
        AppendQuotedArgument(text, arguments[i]);
    return text;
}

void ScanArguments(ArgumentList& arguments, DebuggerWait wait)
{
    // Built before the scan folds anything, so the copy keeps the case the user typed.
    const vxn::wstring passthrough = PassthroughText(arguments);

    const std::size_t count = arguments.size();
    bool debug = false;
    for (std::size_t index = 1; index < count; ++index) {
        vxn::wstring& argument = arguments[index];
        FoldAsciiCase(argument);
        const Option* option = FindOption(argument);
        if (option == nullptr)
            continue;
        if (option->takesValue) {
            // A value option given last has no value and is ignored.
            if (index + 1 < count) {
                ++index;
                Settings::Entry(option->key) = arguments[index];
            }
        } else if (option->key != nullptr) {
            Settings::Entry(option->key) = VXN_W("true");
        } else {
            debug = true;
        }
    }

    Settings::Entry(Settings::Key::Arguments) = passthrough;

    if (debug) {
        if (wait != nullptr)
            wait();
        SetInheritedEnvironmentVariable(VXN_W("VXN_WAIT_FOR_DEBUGGER"), VXN_W("true"));
    }
}

bool ParseCommandLine()
{
    return ParseCommandLine(&WaitWithDialog);
}

bool ParseCommandLine(DebuggerWait wait)
{
    ArgumentList arguments = ReadProcessArguments();
    ScanArguments(arguments, wait);
    return true;
}

UnixCommand FindUnixCommand(int argc, const char* const* argv)
{
    if (argc != 2 || argv == nullptr || argv[1] == nullptr)
        return UnixCommand::None;
    const char* word = argv[1];
    if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0)
        return UnixCommand::Help;
    if (std::strcmp(word, "--version") == 0)
        return UnixCommand::Version;
    return UnixCommand::None;
}

vxn::string UnixCommandText(UnixCommand command)
{
    vxn::string text;
    if (command == UnixCommand::Version) {
        text.append("ZyrelDownloader " ZYREL_VERSION_TEXT "\n");
    } else if (command == UnixCommand::Help) {
        text.append("Usage: ZyrelDownloader [OPTION]...\n"
                    "Starts the installed Zyrel client, or downloads, checks and runs its installer.\n"
                    "Options begin with - or /, in any letter case; unknown ones are ignored.\n");
        for (const Option& option : Options) {
            text.append("  ");
            text.append(option.usage);
            text.append("\n");
        }
        text.append("  --help, -h           print this help and exit (as the only argument)\n"
                    "  --version            print the version and exit (as the only argument)\n"
                    "Environment, files and exit status: man ZyrelDownloader\n");
    }
    return text;
}

int AnswerUnixCommand(UnixCommand command, std::FILE* out)
{
    const vxn::string text = UnixCommandText(command);
    const bool written = std::fwrite(text.c_str(), 1, text.size(), out) == text.size();
    return written && std::fflush(out) == 0 ? 0 : 1;
}
