// Comparing names without regard to case, as Windows and Wine compare registry names and
// file names: one UTF-16 unit against another after mapping small letters to capitals.
//
// The mapping covers the letters that names are written in in practice: ASCII, Latin-1,
// Latin Extended-A, the Greek and the basic Cyrillic alphabets. Other units compare as they
// are. (The C library's towupper cannot serve: in the "C" locale it maps ASCII only.)
#pragma once

namespace platform {

constexpr char16_t FoldCase(char16_t unit)
{
    if (unit < 0x80)
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) // à..þ, not ÷
        return static_cast<char16_t>(unit - 0x20);
    if (unit == 0xFF) // ÿ
        return 0x178;
    if (unit >= 0x100 && unit <= 0x17F) {
        // Latin Extended-A pairs a capital with the small letter after it; two runs start
        // on an odd unit.
        const bool odd_first = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
        if (unit == 0x130 || unit == 0x131 || unit == 0x138 || unit == 0x149 || unit == 0x17F)
            return unit;
        if (odd_first)
            return unit % 2 == 0 ? static_cast<char16_t>(unit - 1) : unit;
        return unit % 2 == 1 ? static_cast<char16_t>(unit - 1) : unit;
    }
    if (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) // α..ω, not the final ς
        return static_cast<char16_t>(unit - 0x20);
    if (unit >= 0x430 && unit <= 0x44F) // а..я
        return static_cast<char16_t>(unit - 0x20);
    if (unit >= 0x450 && unit <= 0x45F) // ѐ..џ
        return static_cast<char16_t>(unit - 0x50);
    return unit;
}

} // namespace platform
