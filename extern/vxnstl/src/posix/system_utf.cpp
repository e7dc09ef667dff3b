// No system converter to defer to: the library's own gives Windows' results.
#include "../system_utf.h"

namespace vxn::platform {

u32 utf8_to_utf16(wchar* out, u32 limit, const char* in, u32 count)
{
    return detail::portable_utf8_to_utf16(out, limit, in, count);
}

u32 utf16_to_utf8(char* out, u32 limit, const wchar* in, u32 count)
{
    return detail::portable_utf16_to_utf8(out, limit, in, count);
}

} // namespace vxn::platform
