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
    vxn::string text(message);
    vxn::u32 leading = 0;
    while (leading < text.size() && IsMessageSpace(text.c_str()[leading]))
        ++leading;
    if (leading != 0)
        text.assign(text.c_str() + leading, text.size() - leading);
    // System messages end with a carriage return and a line feed.
    vxn::u32 length = text.size();
    while (length != 0 && IsMessageSpace(text.c_str()[length - 1]))
        --length;
    if (length != text.size())
        text.resize(length, 0);
    text.append(format(" ({0})", code));
    return text;
}

} // namespace detail

} // namespace VXN
