// Any bytes as a Wine prefix's system.reg, searched the way the launcher searches its own
// (the client's uninstall entry, 32-bit view). The first byte chooses whether the rest
// follows a registry header marked win64, one marked win32, or stands alone, so that most
// inputs reach the keys. For each input:
//   - nothing crashes or reads out of bounds (ASan, UBSan);
//   - found data never exceed the limit, and a miss leaves no data behind;
//   - searching the same text again answers the same;
//   - a key whose last name the text cannot spell is never found.
#include "posix/WineRegistry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "WineRegistryFuzz: %s\n", what);
    std::abort();
}

// Whether the text can decode to a Q in any case: written so, or through an escape (\x51,
// \121), the only ways a name gets a unit that its bytes do not show.
bool CanSpellQ(const std::string& text)
{
    if (text.find_first_of("Qq") != std::string::npos)
        return true;
    for (std::size_t at = text.find('\\'); at != std::string::npos && at + 1 < text.size(); at = text.find('\\', at + 2)) {
        const char next = text[at + 1];
        if (next == 'x' || (next >= '0' && next <= '7'))
            return true;
    }
    return false;
}

vxn::wstring Wide(const char* text)
{
    return vxn::utf16_from(text, vxn::length_of(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 1 << 20)
        return 0;
    static const char* const heads[] = {"WINE REGISTRY Version 2\n#arch=win64\n", "WINE REGISTRY Version 2\n#arch=win32\n",
                                        ""};
    std::string text = heads[data[0] % 3];
    text.append(reinterpret_cast<const char*>(data + 1), size - 1);

    static const vxn::wstring key = Wide("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel");
    static const vxn::wstring absent = Wide("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QQ\x01QQ");
    static const vxn::wstring name = Wide("InstallLocation");
    constexpr vxn::u32 limit = 4096; // small, so that inputs reach it
    for (const vxn::wstring* value_name : {&name, static_cast<const vxn::wstring*>(nullptr)}) {
        const vxn::wstring wanted = value_name != nullptr ? *value_name : vxn::wstring();
        vxn::wstring first;
        const bool found = platform::FindRegistryValue(text, key, wanted, limit, first);
        if (found && first.size() * 2 > limit)
            fail("data beyond the limit");
        if (!found && !first.empty())
            fail("a miss left data behind");
        vxn::wstring second;
        if (platform::FindRegistryValue(text, key, wanted, limit, second) != found || !(second == first))
            fail("a second search answered differently");
        if (!CanSpellQ(text)) {
            vxn::wstring none;
            if (platform::FindRegistryValue(text, absent, wanted, limit, none))
                fail("a key that is not in the text was found");
        }
    }
    return 0;
}
