#include "InstallerFileName.h"

namespace {

constexpr vxn::u32 kLongestName = 200;

vxn::wchar Upper(vxn::wchar c)
{
    return c >= 'a' && c <= 'z' ? static_cast<vxn::wchar>(c - 'a' + 'A') : c;
}

bool Forbidden(vxn::wchar c)
{
    switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
        return true;
    default:
        return c < 0x20 || c == 0x7F;
    }
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, whatever follows
// their first dot; Windows also ignores spaces before that dot.
bool ReservedDeviceName(const vxn::wstring& name)
{
    vxn::u32 end = 0;
    while (end < name.size() && name[end] != '.')
        ++end;
    while (end > 0 && name[end - 1] == ' ')
        --end;
    vxn::wchar base[5] = {};
    if (end < 3 || end > 4)
        return false;
    for (vxn::u32 i = 0; i < end; ++i)
        base[i] = Upper(name[i]);
    auto is = [&base](const char* word) {
        for (int i = 0; i < 3; ++i)
            if (base[i] != static_cast<vxn::wchar>(word[i]))
                return false;
        return true;
    };
    if (end == 3)
        return is("CON") || is("PRN") || is("AUX") || is("NUL");
    return (is("COM") || is("LPT")) && base[3] >= '1' && base[3] <= '9';
}

} // namespace

bool IsUsableFileName(const vxn::wstring& name)
{
    if (name.empty() || name.size() > kLongestName)
        return false;
    for (vxn::wchar c : name)
        if (Forbidden(c))
            return false;
    const vxn::wchar last = name[name.size() - 1];
    // This also refuses "." and "..".
    if (last == '.' || last == ' ')
        return false;
    return !ReservedDeviceName(name);
}

vxn::wstring LastUrlSegment(const vxn::wstring& url)
{
    vxn::u32 end = url.size();
    if (end > 0 && (url[end - 1] == '/' || url[end - 1] == '\\'))
        --end;
    vxn::u32 start = end;
    while (start > 0 && url[start - 1] != '/' && url[start - 1] != '\\')
        --start;
    return url.substr(start, end - start);
}
