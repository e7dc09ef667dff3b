// Integer rendering. The output must be byte for byte what the C library prints for the
// format a placeholder stands for (the differential test in FormatValueTest holds us to
// it), so the layout below follows printf's own rules: precision is the minimum digit
// count and switches zero padding off, "-" beats "0", "+" beats " ", "+" and " " only
// touch signed conversions, and a negative width in the format reads as the "-" flag
// followed by the width.
//
// Every rendering is written into room for 64 characters: the output buffer itself when
// it has that much left (the usual case for log lines), a scratch array otherwise.
#include "FormatValue.h"

#include "RuntimePrint.h"

#include <type_traits>

namespace VXN {

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t kPowersOfTen[] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

vxn::u32 decimal_length(std::uint64_t value)
{
    vxn::u32 n = 1;
    while (n < 20 && value >= kPowersOfTen[n])
        ++n;
    return n;
}

vxn::u32 hex_length(std::uint64_t value)
{
    vxn::u32 n = 1;
    while (n < 16 && (value >> (4 * n)) != 0)
        ++n;
    return n;
}

// Writes the digits of value so that they end just before `end`.
void write_decimal(char* end, std::uint64_t value)
{
    while (value >= 100) {
        const auto pair = static_cast<unsigned>(value % 100) * 2;
        value /= 100;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    }
    if (value >= 10) {
        const auto pair = static_cast<unsigned>(value) * 2;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    } else {
        *--end = static_cast<char>('0' + value);
    }
}

void write_hex(char* end, std::uint64_t value, bool upper)
{
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        *--end = alphabet[value & 0xF];
        value >>= 4;
    } while (value != 0);
}

// The digits of a field, ending just before `end`; none for a digit count of 0.
void write_digits(char* end, std::uint64_t value, vxn::u32 digit_count, bool hex, bool upper)
{
    if (digit_count == 0)
        return;
    if (hex)
        write_hex(end, value, upper);
    else
        write_decimal(end, value);
}

char* fill(char* p, char c, std::uint64_t count)
{
    for (std::uint64_t i = 0; i < count; ++i)
        *p++ = c;
    return p;
}

// Collects a rendering that is longer than 63 characters, keeping its first 63 the way
// a bounded printf into a 64-character array does.
class bounded_text {
public:
    explicit bounded_text(char* text) : m_text(text) {}

    void repeat(char c, std::uint64_t count)
    {
        const vxn::u32 room = kMaxRenderedLength - m_length;
        const vxn::u32 n = count < room ? static_cast<vxn::u32>(count) : room;
        fill(m_text + m_length, c, n);
        m_length += n;
    }

    void put(const char* text, vxn::u32 count)
    {
        const vxn::u32 room = kMaxRenderedLength - m_length;
        const vxn::u32 n = count < room ? count : room;
        for (vxn::u32 i = 0; i < n; ++i)
            m_text[m_length + i] = text[i];
        m_length += n;
    }

    vxn::u32 finish()
    {
        m_text[m_length] = 0;
        return m_length;
    }

private:
    char* m_text;
    vxn::u32 m_length = 0;
};

// "%[flags][width][.precision]ll{i,u,x,X}" of one value; `sign` is 0 for none.
vxn::u32 render_integer(char* out, const format_spec& placeholder, std::uint64_t magnitude, char sign, bool hex, bool upper)
{
    const bool has_precision = placeholder.precision >= 0;
    // An explicit precision of 0 prints the value 0 as no digits at all.
    const vxn::u32 digit_count = has_precision && placeholder.precision == 0 && magnitude == 0 ? 0
                                 : hex                                                  ? hex_length(magnitude)
                                                                                        : decimal_length(magnitude);
    const std::uint64_t precision = has_precision ? static_cast<std::uint64_t>(placeholder.precision) : 0;
    const std::uint64_t leading_zeros = precision > digit_count ? precision - digit_count : 0;
    const std::uint64_t content = (sign != 0 ? 1 : 0) + leading_zeros + digit_count;

    if (placeholder.width == 0 && content <= kMaxRenderedLength) {
        // No field to fill: "{0}", "{0:d2}", "%d" and most other placeholders, the hot path
        // of every log line.
        char* p = out;
        if (sign != 0)
            *p++ = sign;
        p = fill(p, '0', leading_zeros) + digit_count;
        write_digits(p, magnitude, digit_count, hex, upper);
        *p = 0;
        return static_cast<vxn::u32>(p - out);
    }

    const bool left = (placeholder.flags & format_flag::left) != 0 || placeholder.width < 0;
    const std::uint64_t width = placeholder.width < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(placeholder.width))
                                               : static_cast<std::uint64_t>(placeholder.width);
    const std::uint64_t padding = width > content ? width - content : 0;
    const bool zero_fill = (placeholder.flags & format_flag::zero) != 0 && !left && !has_precision;
    const std::uint64_t zeros = leading_zeros + (zero_fill ? padding : 0);

    if (content + padding <= kMaxRenderedLength) {
        char* p = out;
        if (!left && !zero_fill)
            p = fill(p, ' ', padding);
        if (sign != 0)
            *p++ = sign;
        p = fill(p, '0', zeros) + digit_count;
        write_digits(p, magnitude, digit_count, hex, upper);
        if (left)
            p = fill(p, ' ', padding);
        *p = 0;
        return static_cast<vxn::u32>(p - out);
    }

    char digits[24];
    char* const end = digits + sizeof(digits);
    write_digits(end, magnitude, digit_count, hex, upper);
    bounded_text text(out);
    if (!left && !zero_fill)
        text.repeat(' ', padding);
    if (sign != 0)
        text.repeat(sign, 1);
    text.repeat('0', zeros);
    text.put(end - digit_count, digit_count);
    if (left)
        text.repeat(' ', padding);
    return text.finish();
}

char sign_of(const format_spec& placeholder, bool negative)
{
    if (negative)
        return '-';
    if ((placeholder.flags & format_flag::plus) != 0)
        return '+';
    if ((placeholder.flags & format_flag::space) != 0)
        return ' ';
    return 0;
}

std::uint64_t magnitude_of(std::int64_t value)
{
    // Through unsigned arithmetic, so the most negative value has a magnitude too.
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

// "%lli.%.Pd" / "%llu.%.Pd" with a zero fraction: the integer, a point and P zeros.
vxn::u32 render_fixed(char* out, const format_spec& placeholder, std::uint64_t magnitude, bool negative)
{
    char digits[24];
    char* const end = digits + sizeof(digits);
    const vxn::u32 digit_count = decimal_length(magnitude);
    write_decimal(end, magnitude);
    bounded_text text(out);
    if (negative)
        text.repeat('-', 1);
    text.put(end - digit_count, digit_count);
    text.repeat('.', 1);
    text.repeat('0', placeholder.precision < 0 ? 2 : static_cast<std::uint64_t>(placeholder.precision));
    return text.finish();
}

void append_number(char* format, vxn::u32& length, std::int64_t number)
{
    if (number < 0)
        format[length++] = '-';
    const std::uint64_t magnitude = magnitude_of(number);
    length += decimal_length(magnitude);
    write_decimal(format + length, magnitude);
}

// The exponential form is left to the platform's C runtime (RuntimePrint.h). The format
// follows "%%%s%s%s%s%d.%d%c".
vxn::u32 render_exponent(char* out, const format_spec& placeholder, double value)
{
    char format[40];
    vxn::u32 length = 0;
    format[length++] = '%';
    if ((placeholder.flags & format_flag::plus) != 0)
        format[length++] = '+';
    if ((placeholder.flags & format_flag::left) != 0)
        format[length++] = '-';
    if ((placeholder.flags & format_flag::zero) != 0)
        format[length++] = '0';
    if ((placeholder.flags & format_flag::space) != 0)
        format[length++] = ' ';
    append_number(format, length, placeholder.width);
    format[length++] = '.';
    append_number(format, length, placeholder.precision < 0 ? 6 : placeholder.precision);
    format[length++] = placeholder.conversion == format_conversion::exponent_upper ? 'E' : 'e';
    format[length] = 0;

    return platform::print_double(out, format, value);
}

// Both renderers write into room for 64 characters and answer the length (at most 63).
vxn::u32 render_signed_at(char* out, const format_spec& placeholder, std::int64_t value)
{
    switch (placeholder.conversion) {
    case format_conversion::decimal:
    case format_conversion::signed_decimal:
    case format_conversion::general:
    case format_conversion::general_upper:
        return render_integer(out, placeholder, magnitude_of(value), sign_of(placeholder, value < 0), false, false);
    case format_conversion::unsigned_decimal:
        return render_integer(out, placeholder, static_cast<std::uint64_t>(value), 0, false, false);
    case format_conversion::hex:
    case format_conversion::hex_upper:
        return render_integer(out, placeholder, static_cast<std::uint64_t>(value), 0, true,
                              placeholder.conversion == format_conversion::hex_upper);
    case format_conversion::exponent:
    case format_conversion::exponent_upper:
        return render_exponent(out, placeholder, static_cast<double>(value));
    case format_conversion::fixed:
        return render_fixed(out, placeholder, magnitude_of(value), value < 0);
    case format_conversion::text:
        break;
    }
    out[0] = 0;
    return 0;
}

vxn::u32 render_unsigned_at(char* out, const format_spec& placeholder, std::uint64_t value)
{
    switch (placeholder.conversion) {
    case format_conversion::signed_decimal: {
        const auto as_signed = static_cast<std::int64_t>(value);
        return render_integer(out, placeholder, magnitude_of(as_signed), sign_of(placeholder, as_signed < 0), false, false);
    }
    case format_conversion::decimal:
    case format_conversion::unsigned_decimal:
    case format_conversion::general:
    case format_conversion::general_upper:
        return render_integer(out, placeholder, value, 0, false, false);
    case format_conversion::hex:
    case format_conversion::hex_upper:
        return render_integer(out, placeholder, value, 0, true, placeholder.conversion == format_conversion::hex_upper);
    case format_conversion::exponent:
    case format_conversion::exponent_upper:
        // The nearest double over the whole unsigned range.
        return render_exponent(out, placeholder, static_cast<double>(value));
    case format_conversion::fixed:
        return render_fixed(out, placeholder, value, false);
    case format_conversion::text:
        break;
    }
    out[0] = 0;
    return 0;
}

// Renders straight into the output when it has room for any rendering; otherwise into
// scratch, from where the output protocol cuts it. Wide output gets the narrow text
// widened unit by unit.
template <class CharT, class Value, class Render>
void render_into(format_output<CharT>& output, const format_spec& placeholder, Value value, Render render)
{
    if constexpr (sizeof(CharT) == 1) {
        if (output.remaining > kMaxRenderedLength) {
            const vxn::u32 length = render(output.position, placeholder, value);
            output.count(length);
            output.position += length;
            output.remaining -= length;
            return;
        }
        char scratch[64];
        output.append(scratch, render(scratch, placeholder, value));
    } else {
        char scratch[64];
        const vxn::u32 length = render(scratch, placeholder, value);
        CharT wide[64];
        for (vxn::u32 i = 0; i < length; ++i)
            wide[i] = static_cast<CharT>(static_cast<unsigned char>(scratch[i]));
        output.append(wide, length);
    }
}

template <class CharT>
void render_signed_into(format_output<CharT>& output, const format_spec& placeholder, std::int64_t value)
{
    render_into(output, placeholder, value, render_signed_at);
}

template <class CharT>
void render_unsigned_into(format_output<CharT>& output, const format_spec& placeholder, std::uint64_t value)
{
    render_into(output, placeholder, value, render_unsigned_at);
}

// "%d" and "%u" reread the value at its own width; every other conversion follows its
// type.
template <class CharT, class Integer>
void format_integer(format_output<CharT>& output, const format_spec& placeholder, Integer value)
{
    if (placeholder.conversion == format_conversion::signed_decimal)
        render_signed_into(output, placeholder, static_cast<std::make_signed_t<Integer>>(value));
    else if (placeholder.conversion == format_conversion::unsigned_decimal)
        render_unsigned_into(output, placeholder, static_cast<std::make_unsigned_t<Integer>>(value));
    else if constexpr (std::is_signed_v<Integer>)
        render_signed_into(output, placeholder, value);
    else
        render_unsigned_into(output, placeholder, value);
}

} // namespace

vxn::u32 render_signed_text(char (&scratch)[64], const format_spec& placeholder, std::int64_t value)
{
    return render_signed_at(scratch, placeholder, value);
}

vxn::u32 render_unsigned_text(char (&scratch)[64], const format_spec& placeholder, std::uint64_t value)
{
    return render_unsigned_at(scratch, placeholder, value);
}

void render_signed(format_output<char>& output, const format_spec& placeholder, std::int64_t value)
{
    render_signed_into(output, placeholder, value);
}

void render_signed(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int64_t value)
{
    render_signed_into(output, placeholder, value);
}

void render_unsigned(format_output<char>& output, const format_spec& placeholder, std::uint64_t value)
{
    render_unsigned_into(output, placeholder, value);
}

void render_unsigned(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint64_t value)
{
    render_unsigned_into(output, placeholder, value);
}

void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint16_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<char>& output, const format_spec& placeholder, std::int32_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint32_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<char>& output, const format_spec& placeholder, std::int64_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<char>& output, const format_spec& placeholder, std::uint64_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint16_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int32_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint32_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::int64_t value)
{
    format_integer(output, placeholder, value);
}

void format_arg(format_output<vxn::wchar>& output, const format_spec& placeholder, std::uint64_t value)
{
    format_integer(output, placeholder, value);
}

} // namespace VXN
