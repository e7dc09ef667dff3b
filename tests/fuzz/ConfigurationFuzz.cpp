// Any bytes as the embedded configuration (resource 111), decoded and read the way the
// program reads its own. For each input:
//   - nothing crashes or reads out of bounds (ASan, UBSan);
//   - every stored key and value is free of line ends, and neither holds a "=" (a value
//     ends at the next one);
//   - there are never more entries than lines;
//   - reading the same text again changes nothing (the first line for a key wins).
#include "Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "ConfigurationFuzz: %s\n", what);
    std::abort();
}

bool HasAny(const vxn::wstring& text, const char* units)
{
    for (vxn::u32 i = 0; i < text.size(); ++i)
        for (const char* unit = units; *unit != 0; ++unit)
            if (text[i] == static_cast<vxn::wchar>(*unit))
                return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 16)
        return 0;
    vxn::wstring text;
    text.assign_utf8(reinterpret_cast<const char*>(data), static_cast<vxn::u32>(size));

    Settings::Clear();
    const bool read = LoadConfigurationText(text);
    if (read != !text.empty())
        fail("an empty text is the only one that is not read");

    vxn::u32 lines = 1;
    for (vxn::u32 i = 0; i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n')
            ++lines;
    if (Settings::Entries().size() > lines)
        fail("more entries than lines");

    for (const auto& entry : Settings::Entries()) {
        if (HasAny(entry.first, "\r\n="))
            fail("a key holds a line end or '='");
        if (HasAny(entry.second, "\r\n="))
            fail("a value holds a line end or '='");
    }

    // Snapshot, read again, compare: the store must not change.
    std::vector<std::pair<vxn::wstring, vxn::wstring>> before;
    for (const auto& entry : Settings::Entries())
        before.emplace_back(entry.first, entry.second);
    (void)LoadConfigurationText(text);
    if (Settings::Entries().size() != before.size())
        fail("reading again added entries");
    for (const auto& entry : before)
        if (Settings::Get(entry.first, VXN_W("<absent>")) != entry.second)
            fail("reading again changed a value");
    return 0;
}
