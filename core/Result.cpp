#include "Result.h"

#include "Format.h"

namespace VXN {

namespace {

// Exactly the C locale's isspace set; bytes of 0x80 and above (parts of UTF-8 or ANSI
// characters) never count, whatever the locale says.
bool IsMessageSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

namespace detail {

vxn::string compose_system_error_text(const char* message, std::uint32_t code)
{
    // System messages end with a carriage return and a line feed.
    const char* begin = message != nullptr ? message : "";
    const char* end = begin + vxn::length_of(begin);
    while (begin != end && IsMessageSpace(*begin))
        ++begin;
    while (end != begin && IsMessageSpace(end[-1]))
        --end;
    vxn::string text(begin, static_cast<vxn::u32>(end - begin));
    text.append(format(" ({0})", code));
    return text;
}

} // namespace detail

} // namespace VXN
