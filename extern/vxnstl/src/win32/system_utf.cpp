// Windows converts with its own CP_UTF8 converter, so text agrees with every other
// program on the system.
#include "../system_utf.h"

#include <windows.h>

#include <climits>

namespace vxn::platform {

u32 utf8_to_utf16(wchar* out, u32 limit, const char* in, u32 count)
{
    if (count > static_cast<u32>(INT_MAX) || limit > static_cast<u32>(INT_MAX))
        return 0;
    const int produced = MultiByteToWideChar(CP_UTF8, 0, in, static_cast<int>(count), out,
                                             out == nullptr ? 0 : static_cast<int>(limit));
    return produced > 0 ? static_cast<u32>(produced) : 0;
}

u32 utf16_to_utf8(char* out, u32 limit, const wchar* in, u32 count)
{
    if (count > static_cast<u32>(INT_MAX) || limit > static_cast<u32>(INT_MAX))
        return 0;
    const int produced = WideCharToMultiByte(CP_UTF8, 0, in, static_cast<int>(count), out,
                                             out == nullptr ? 0 : static_cast<int>(limit), nullptr, nullptr);
    return produced > 0 ? static_cast<u32>(produced) : 0;
}

} // namespace vxn::platform
