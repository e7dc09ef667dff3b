// Value formatting: how the integer arguments of the formatting engine are rendered.
//
// Every integer is widened to 64 bits and rendered as the C library's printf would render
// it under the format that the placeholder's format_spec describes ("%0.2lli", "%-5llx",
// "%0.6e", "%lli.%.2d", ...), cut to 63 characters. Decimal, hexadecimal and the fixed
// form are rendered by hand (they are on every log line); the exponential form, which
// nothing in the program uses, goes through the C runtime's bounded printing itself.
#pragma once

#include "Format.h"

#include <cstdint>

namespace VXN {

// One number's text is at most this long; longer renderings keep their first 63
// characters, and the output's total counts 63.
constexpr vxn::u32 kMaxRenderedLength = 63;

// Render a 64-bit value under a placeholder's format_spec and append it to output. The
// cross cases (render_unsigned under signed_decimal, render_signed under
// unsigned_decimal) read the 64-bit pattern the other way.
void render_signed(format_output<char>& output, const format_spec& placeholder, std::int64_t value);
void render_signed(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int64_t value);
void render_unsigned(format_output<char>& output, const format_spec& placeholder, std::uint64_t value);
void render_unsigned(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint64_t value);

// The integer argument kinds. "%d" and "%u" reread a 16- or 32-bit value at its own
// width (a 16-bit 65535 is -1 under "%d", a 32-bit -1 is 4294967295 under "%u"); every
// other conversion follows the argument's type. 64-bit values keep their type throughout.
void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint16_t value);
void format_arg(format_output<char>& output, const format_spec& placeholder, std::int32_t value);
void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint32_t value);
void format_arg(format_output<char>& output, const format_spec& placeholder, std::int64_t value);
void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint64_t value);
void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint16_t value);
void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int32_t value);
void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint32_t value);
void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int64_t value);
void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint64_t value);

// The rendering alone: writes the (at most 63-character) text and its terminator into
// scratch and answers its length.
vxn::u32 render_signed_text(char (&scratch)[64], const format_spec& placeholder, std::int64_t value);
vxn::u32 render_unsigned_text(char (&scratch)[64], const format_spec& placeholder, std::uint64_t value);

} // namespace VXN
