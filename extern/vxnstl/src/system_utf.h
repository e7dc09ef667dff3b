// The converter behind the public UTF primitives: the system's on Windows, the library's
// own elsewhere (src/posix, src/win32). Same contract as the portable converters: at most
// `limit` units written (none when out is null), the number produced, 0 when it does not fit.
#pragma once

#include <vxnstl/string>

namespace vxn::platform {

u32 utf8_to_utf16(wchar* out, u32 limit, const char* in, u32 count);
u32 utf16_to_utf8(char* out, u32 limit, const wchar* in, u32 count);

} // namespace vxn::platform
