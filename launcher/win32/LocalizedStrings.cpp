// The texts on Windows: the program's string table, in the language that the resource loader
// picks for the user.
#include "LocalizedStrings.h"

#include <windows.h>

vxn::wstring LoadLocalizedString(vxn::u32 id)
{
    // With a buffer size of 0 LoadStringW answers a pointer to the text inside the mapped
    // resource and its length; the text there has no terminating zero, so exactly that many
    // characters are copied. A missing string answers 0.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return vxn::wstring();
    return vxn::wstring(text, static_cast<std::size_t>(length));
}
