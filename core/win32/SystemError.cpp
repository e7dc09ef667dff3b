// FormatMessageA's text for a Windows error code.
#include "Result.h"

#include <windows.h>

namespace VXN {

vxn::string system_error_text(std::uint32_t code)
{
    // 0x1300: from the system, no inserts, buffer allocated by the system. Language 0x0400:
    // the user's default language. On failure the buffer stays null and only the code is
    // shown.
    char* buffer = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0,
                   nullptr);
    vxn::string text = detail::compose_system_error_text(buffer, code);
    LocalFree(buffer);
    return text;
}

} // namespace VXN
