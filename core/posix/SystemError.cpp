// The C library's message for an errno value.
#include "Result.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace VXN {

namespace {

// strerror_r comes in two shapes: GNU's answers the text (perhaps not in the buffer), the
// XSI one fills the buffer and answers 0.
[[maybe_unused]] const char* MessageOf(const char* gnuResult, const char*)
{
    return gnuResult;
}

[[maybe_unused]] const char* MessageOf(int xsiResult, const char* buffer)
{
    return xsiResult == 0 ? buffer : nullptr;
}

// Whether the C library knows the code at all. For an unknown code glibc does not fail
// but answers "Unknown error N" (translated in other locales); Windows' FormatMessageA
// fails instead, which leaves just " (N)". Asking for the code's symbolic name tells the
// two cases apart in every locale, so both platforms give the same text for the same
// situation.
bool IsKnownCode(int code)
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    return strerrorname_np(code) != nullptr;
#else
    char buffer[256] = {};
    const char* text = MessageOf(strerror_r(code, buffer, sizeof(buffer)), buffer);
    return text != nullptr && std::strncmp(text, "Unknown error", 13) != 0;
#endif
}

} // namespace

vxn::string system_error_text(std::uint32_t code)
{
    // errno values are positive ints; anything beyond has no message.
    const char* message = nullptr;
    char buffer[256] = {};
    if (code <= static_cast<std::uint32_t>(INT_MAX) && IsKnownCode(static_cast<int>(code)))
        message = MessageOf(strerror_r(static_cast<int>(code), buffer, sizeof(buffer)), buffer);
    return detail::compose_system_error_text(message, code);
}

} // namespace VXN
