#include "ui/TransferFigures.h"

#include "LocalizedStrings.h"

#include <cstdio>

namespace ui {
namespace {

// The table's words, read for each line (a few times a second: nothing next to drawing it).
struct Words {
    vxn::wstring ofTotal;  // "%s of %s"
    vxn::wstring units[5]; // B, KiB, ...
    vxn::wchar separator = '.';
};

Words TableWords()
{
    Words made;
    {
        made.ofTotal = LoadLocalizedString(IDS_BYTES_OF_TOTAL);
        if (made.ofTotal.empty())
            made.ofTotal = VXN_W("%s of %s");
        const vxn::wstring units = LoadLocalizedString(IDS_BYTE_UNITS);
        static const vxn::wchar* const fallback[] = {VXN_W("B"), VXN_W("KiB"), VXN_W("MiB"), VXN_W("GiB"),
                                                     VXN_W("TiB")};
        unsigned unit = 0;
        for (vxn::u32 i = 0; i < units.size() && unit < 5; ++i) {
            if (units[i] == ' ')
                ++unit;
            else
                made.units[unit].push_back(units[i]);
        }
        for (unsigned i = 0; i < 5; ++i) {
            if (made.units[i].empty())
                made.units[i] = fallback[i];
        }
        const vxn::wstring separator = LoadLocalizedString(IDS_DECIMAL_SEPARATOR);
        if (separator.size() == 1)
            made.separator = separator[0];
    }
    return made;
}

void AppendAscii(vxn::wstring& out, const char* text, vxn::wchar separator)
{
    for (; *text != 0; ++text)
        out.push_back(*text == '.' ? separator : static_cast<vxn::wchar>(*text));
}


vxn::wstring AmountText(const Words& words, std::uint64_t count)
{
    double value = static_cast<double>(count);
    unsigned unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char number[32];
    if (unit == 0)
        std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(count));
    else
        std::snprintf(number, sizeof number, "%.1f", value);
    vxn::wstring out;
    AppendAscii(out, number, words.separator);
    out.push_back(' ');
    out.append(words.units[unit]);
    return out;
}

} // namespace

vxn::wstring ByteAmountText(std::uint64_t count)
{
    return AmountText(TableWords(), count);
}

vxn::wstring TransferFiguresText(std::uint64_t received, std::uint64_t total, double seconds)
{
    const Words words = TableWords();
    vxn::wstring line;
    const vxn::wstring got = AmountText(words, received);
    if (total > 0) {
        // The pattern's two "%s" in their order; anything else of it stays as it stands.
        const vxn::wstring& pattern = words.ofTotal;
        const vxn::wstring amounts[2] = {got, AmountText(words, total)};
        unsigned next = 0;
        for (vxn::u32 i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next < 2) {
                line.append(amounts[next++]);
                ++i;
            } else {
                line.push_back(pattern[i]);
            }
        }
    } else {
        line = got;
    }
    if (seconds > 0.5) {
        line.append(VXN_W(", "));
        line.append(AmountText(words, static_cast<std::uint64_t>(static_cast<double>(received) / seconds)));
        line.append(VXN_W("/s"));
    }
    return line;
}

} // namespace ui
