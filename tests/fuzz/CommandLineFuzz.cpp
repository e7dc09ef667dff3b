// Any text as the program's command line: the Windows split, the option scan and the
// passthrough text that a relaunched copy receives. For each input:
//   - nothing crashes or reads out of bounds (ASan, UBSan);
//   - splitting the passthrough text gives back exactly the arguments as they were typed
//     (the copy must see what the first instance saw, whatever the quotes and backslashes);
//   - a value option's setting is the argument after it, unchanged.
//
// Input: pairs of bytes are UTF-16 units (little-endian); a NUL unit ends the text.
#include "CommandLine.h"
#include "Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "CommandLineFuzz: %s\n", what);
    std::abort();
}

void NoDebuggerWait() {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 14)
        return 0;
    vxn::wstring line;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const vxn::wchar unit = static_cast<vxn::wchar>(data[i] | (data[i + 1] << 8));
        if (unit == 0)
            break;
        line.push_back(unit);
    }
    // An empty command line means "the running program" to the split, which is not the
    // input's business.
    if (line.empty())
        return 0;

    ArgumentList arguments = SplitCommandLine(line.c_str());
    if (arguments.empty())
        fail("the split lost the program name");
    ArgumentList typed;
    for (const vxn::wstring& argument : arguments)
        typed.push_back(argument);

    Settings::Clear();
    ScanArguments(arguments, &NoDebuggerWait);
    const vxn::wstring passthrough = Settings::Arguments();
    const ArgumentList again = SplitParameters(passthrough.c_str());
    if (again.size() + 1 != typed.size())
        fail("the passthrough splits into another number of arguments");
    for (vxn::u32 i = 0; i < again.size(); ++i)
        if (again[i] != typed[i + 1])
            fail("the passthrough changed an argument");

    // A value option takes the argument after it as typed; the last -username wins.
    static const char* const kValueOptions[] = {"existing", "temp", "language", "username", "downloadurl",
                                                "proxy", "proxybypass", "singlegame", "installgame", "depot"};
    vxn::wstring expected = VXN_W("<absent>");
    for (vxn::u32 i = 1; i < typed.size(); ++i) {
        const vxn::wstring& word = typed[i];
        if (word.empty() || (word[0] != '-' && word[0] != '/'))
            continue;
        vxn::string name;
        bool ascii = true;
        for (vxn::u32 k = 1; k < word.size(); ++k) {
            vxn::wchar c = word[k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<vxn::wchar>(c - 'A' + 'a');
            ascii = ascii && c < 0x80;
            name.push_back(static_cast<char>(c));
        }
        if (!ascii)
            continue;
        for (const char* option : kValueOptions) {
            if (name != option)
                continue;
            if (i + 1 < typed.size()) {
                if (name == "username")
                    expected = typed[i + 1];
                ++i;
            }
            break;
        }
    }
    if (Settings::Get(Settings::Key::UserName, VXN_W("<absent>")) != expected)
        fail("a value option's setting differs from its argument");
    return 0;
}
