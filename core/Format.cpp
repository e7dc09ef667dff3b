// The formatting engine: the scanner, the two placeholder parsers, text rendering and
// the producer behind assign_format.
//
// The scanner never fails. A placeholder that its parser rejects stays in the output as
// literal text and scanning resumes on the character that made the parser stop, so in
// "{0:d{1}" the second placeholder is still found. Printf-style placeholders take their
// argument from a running index: the count of placeholders of either syntax accepted so
// far, which is why "{1} %s" shows argument 1 twice.
#include "Format.h"
#include "FormatValue.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace VXN {

namespace {

using detail::format_argument;
using detail::format_kind;

template <class CharT>
bool is_digit(CharT c)
{
    return c >= CharT('0') && c <= CharT('9');
}

// Decimal digits at p; any count is accepted and 100 or more reads as 99.
template <class CharT>
const CharT* read_number(const CharT* p, std::int32_t& number)
{
    std::int32_t n = 0;
    for (; is_digit(*p); ++p) {
        if (n < 100)
            n = n * 10 + static_cast<std::int32_t>(*p - CharT('0'));
    }
    number = n > 99 ? 99 : n;
    return p;
}

// The conversion letters of both syntaxes side by side, so that a letter that both know
// asks for the same rendering in each; kNoConversion where a syntax rejects the letter.
struct conversion_letter {
    char letter;
    format_conversion in_brace;
    format_conversion in_printf;
};

constexpr format_conversion kNoConversion{};

constexpr conversion_letter kConversionLetters[] = {
    {'d', format_conversion::decimal, format_conversion::signed_decimal},
    {'D', format_conversion::decimal, kNoConversion},
    {'i', kNoConversion, format_conversion::signed_decimal},
    {'u', kNoConversion, format_conversion::unsigned_decimal},
    {'e', format_conversion::exponent, format_conversion::exponent},
    {'E', format_conversion::exponent_upper, format_conversion::exponent_upper},
    {'f', format_conversion::fixed, format_conversion::fixed},
    {'F', format_conversion::fixed, format_conversion::fixed},
    {'g', format_conversion::general, format_conversion::general},
    {'G', format_conversion::general_upper, format_conversion::general_upper},
    {'s', format_conversion::text, format_conversion::text},
    {'S', format_conversion::text, format_conversion::text},
    {'c', kNoConversion, format_conversion::text},
    {'C', kNoConversion, format_conversion::text},
    {'x', format_conversion::hex, format_conversion::hex},
    {'p', kNoConversion, format_conversion::hex},
    {'X', format_conversion::hex_upper, format_conversion::hex_upper},
};

// The conversion that `letter` names in one syntax, or kNoConversion.
template <class CharT>
format_conversion conversion_of(CharT letter, format_conversion conversion_letter::*syntax)
{
    for (const conversion_letter& row : kConversionLetters) {
        if (letter == CharT(row.letter))
            return row.*syntax;
    }
    return kNoConversion;
}

// "{" digit ["," [sign] digits] ( "}" | ":" letter [digit [digit]] "}" ). On success
// `stop` is past the "}"; on rejection it is the character that did not fit.
template <class CharT>
bool parse_brace(const CharT* p, format_spec& placeholder, const CharT*& stop)
{
    ++p;
    if (!is_digit(*p)) {
        stop = p;
        return false;
    }
    placeholder.index = static_cast<vxn::u32>(*p - CharT('0'));
    ++p;
    if (*p == CharT(',')) {
        ++p;
        bool left = false;
        if (*p == CharT('-')) {
            left = true;
            ++p;
        } else if (*p == CharT('+')) {
            ++p;
        }
        std::int32_t width = 0;
        p = read_number(p, width);
        if (left) {
            placeholder.flags |= format_flag::left;
            width = -width;
        }
        placeholder.width = width;
    }
    if (*p == CharT('}')) {
        stop = p + 1;
        return true;
    }
    if (*p != CharT(':')) {
        stop = p;
        return false;
    }
    ++p;
    const format_conversion conversion = conversion_of(*p, &conversion_letter::in_brace);
    if (conversion == kNoConversion) {
        stop = p;
        return false;
    }
    placeholder.conversion = conversion;
    ++p;
    if (is_digit(*p)) {
        std::int32_t precision = static_cast<std::int32_t>(*p - CharT('0'));
        ++p;
        if (is_digit(*p)) {
            precision = precision * 10 + static_cast<std::int32_t>(*p - CharT('0'));
            ++p;
        }
        placeholder.precision = precision;
    }
    if (*p != CharT('}')) {
        stop = p;
        return false;
    }
    stop = p + 1;
    return true;
}

// "%" flags width ["." precision] size-modifiers letter. The index is the caller's.
template <class CharT>
bool parse_printf(const CharT* p, format_spec& placeholder, const CharT*& stop)
{
    ++p;
    for (;; ++p) {
        if (*p == CharT('-')) {
            placeholder.flags |= format_flag::left;
        } else if (*p == CharT('+')) {
            placeholder.flags |= format_flag::plus;
        } else if (*p == CharT('0')) {
            placeholder.flags = (placeholder.flags | format_flag::zero) & ~format_flag::space;
        } else if (*p == CharT(' ')) {
            placeholder.flags = (placeholder.flags | format_flag::space) & ~format_flag::zero;
        } else if (*p != CharT('#')) {
            break;
        }
    }
    p = read_number(p, placeholder.width);
    if (*p == CharT('.'))
        p = read_number(p + 1, placeholder.precision);
    while (*p == CharT('h') || *p == CharT('l') || *p == CharT('L') || *p == CharT('w'))
        ++p;
    if (*p == CharT('I')) {
        ++p;
        if ((p[0] == CharT('3') && p[1] == CharT('2')) || (p[0] == CharT('6') && p[1] == CharT('4')))
            p += 2;
    }
    const format_conversion conversion = conversion_of(*p, &conversion_letter::in_printf);
    if (conversion == kNoConversion) {
        stop = p;
        return false;
    }
    placeholder.conversion = conversion;
    stop = p + 1;
    return true;
}

bool renders_text(const format_spec& placeholder)
{
    return placeholder.conversion == format_conversion::general || placeholder.conversion == format_conversion::general_upper ||
           placeholder.conversion == format_conversion::text;
}

// Characters taken from text: up to its terminator, and no further than the precision.
// A precision bounds the scan too, so "%.3s" never reads past the third character.
vxn::u32 taken_length(const char* text, std::int32_t precision)
{
    if (precision < 0)
        return static_cast<vxn::u32>(std::strlen(text));
    const void* end = std::memchr(text, 0, static_cast<std::size_t>(precision));
    return end != nullptr ? static_cast<vxn::u32>(static_cast<const char*>(end) - text)
                          : static_cast<vxn::u32>(precision);
}

vxn::u32 taken_length(const vxn::wchar* text, std::int32_t precision)
{
    const vxn::u32 limit = precision < 0 ? 0xFFFFFFFFu : static_cast<vxn::u32>(precision);
    vxn::u32 n = 0;
    while (n < limit && text[n] != 0)
        ++n;
    return n;
}

template <class CharT>
constexpr CharT kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};

template <class TextT>
const TextT* shown(const TextT* text)
{
    return text != nullptr ? text : kNull<TextT>;
}

template <class CharT>
constexpr CharT kEmpty[] = {0};

template <class CharT>
void render(format_output<CharT>& output, const format_spec& placeholder, const format_argument& argument)
{
    switch (argument.kind) {
    case format_kind::narrow_text:
        append_text(output, placeholder, argument.narrow);
        break;
    case format_kind::wide_text:
        append_text(output, placeholder, argument.wide);
        break;
    case format_kind::narrow_string:
        append_text(output, placeholder, argument.narrow != nullptr ? argument.narrow : kEmpty<char>);
        break;
    case format_kind::wide_string:
        append_text(output, placeholder, argument.wide != nullptr ? argument.wide : kEmpty<vxn::wchar>);
        break;
    case format_kind::unsigned16:
        format_arg(output, placeholder, static_cast<std::uint16_t>(argument.unsigned_value));
        break;
    case format_kind::signed32:
        format_arg(output, placeholder, static_cast<std::int32_t>(argument.signed_value));
        break;
    case format_kind::unsigned32:
        format_arg(output, placeholder, static_cast<std::uint32_t>(argument.unsigned_value));
        break;
    case format_kind::signed64:
        format_arg(output, placeholder, argument.signed_value);
        break;
    case format_kind::unsigned64:
        format_arg(output, placeholder, argument.unsigned_value);
        break;
    case format_kind::none:
        break;
    }
}

// The characters that end a literal run: the terminator and the two placeholder starts.
constexpr struct stop_table {
    bool stops[256] = {};
    constexpr stop_table()
    {
        stops[0] = true;
        stops[static_cast<unsigned char>('{')] = true;
        stops[static_cast<unsigned char>('%')] = true;
    }
} kStops;

// Literal text is most of every pattern. Short runs (the separators of a time stamp) end
// within a few table look-ups; longer ones go to the C library's vectorised search.
const char* skip_literal(const char* p)
{
    for (int i = 0; i < 4; ++i, ++p) {
        if (kStops.stops[static_cast<unsigned char>(*p)])
            return p;
    }
    return p + std::strcspn(p, "{%");
}

const vxn::wchar* skip_literal(const vxn::wchar* p)
{
    while (*p != 0 && *p != vxn::wchar('{') && *p != vxn::wchar('%'))
        ++p;
    return p;
}

template <class CharT>
vxn::u32 run(CharT* buffer, vxn::u32 capacity, const CharT* pattern, const format_argument* arguments,
             vxn::u32 count)
{
    if (pattern == nullptr)
        return 0;
    if (buffer == nullptr)
        capacity = 0;
    format_output<CharT> output;
    output.position = buffer;
    output.remaining = capacity;
    output.total = 1;
    if (capacity != 0)
        buffer[0] = 0;

    vxn::u32 running = 0;
    const CharT* pending = pattern; // start of the literal run not yet appended
    const CharT* p = pattern;
    for (;;) {
        p = skip_literal(p);
        const CharT c = *p;
        if (c == 0)
            break;
        if (p[1] == c) {
            // "{{" and "%%": the run up to and including the first of the pair.
            output.append(pending, static_cast<vxn::u32>(p + 1 - pending));
            p += 2;
            pending = p;
            continue;
        }
        format_spec placeholder;
        const CharT* stop = p;
        const bool accepted = c == CharT('{') ? parse_brace(p, placeholder, stop) : parse_printf(p, placeholder, stop);
        if (accepted) {
            if (c == CharT('%'))
                placeholder.index = running;
            if (placeholder.index < count) {
                output.append(pending, static_cast<vxn::u32>(p - pending));
                render(output, placeholder, arguments[placeholder.index]);
                ++running;
                pending = stop;
            }
        }
        p = stop;
    }
    if (p != pending)
        output.append(pending, static_cast<vxn::u32>(p - pending));
    return output.total;
}

template <class CharT>
bool inside(const void* pointer, const CharT* buffer, vxn::u32 capacity)
{
    const auto address = reinterpret_cast<std::uintptr_t>(pointer);
    const auto start = reinterpret_cast<std::uintptr_t>(buffer);
    return pointer != nullptr && address >= start && address - start < std::uintptr_t{capacity} * sizeof(CharT);
}

// A string formatting itself: s.assign_format("{0}\\{1}", s, name) reads s while the
// engine writes into the same buffer. Such calls are rendered aside and copied over when
// the result fits; when it does not, the buffer is left untouched so that the string can
// grow with its text intact and ask again. A pattern or a text pointer into the buffer
// would not survive that growth (the old buffer is freed before the second pass), so
// that case gives up and leaves the string empty rather than read freed memory.
template <class CharT>
vxn::u32 produce(CharT* buffer, vxn::u32 capacity, const CharT* pattern, const format_argument* arguments,
                 vxn::u32 count)
{
    if (buffer == nullptr)
        capacity = 0;
    bool pointer_inside = inside(pattern, buffer, capacity);
    bool string_inside = false;
    for (vxn::u32 i = 0; i < count && capacity != 0; ++i) {
        const format_argument& argument = arguments[i];
        const void* text = nullptr;
        if (argument.kind == format_kind::narrow_text || argument.kind == format_kind::narrow_string)
            text = argument.narrow;
        else if (argument.kind == format_kind::wide_text || argument.kind == format_kind::wide_string)
            text = argument.wide;
        if (!inside(text, buffer, capacity))
            continue;
        if (argument.kind == format_kind::narrow_text || argument.kind == format_kind::wide_text)
            pointer_inside = true;
        else
            string_inside = true;
    }

    vxn::u32 total;
    if (!pointer_inside && !string_inside) {
        total = run(buffer, capacity, pattern, arguments, count);
    } else {
        total = run<CharT>(nullptr, 0, pattern, arguments, count);
        if (total != 0 && total != 0xFFFFFFFFu) {
            if (total <= capacity) {
                const std::unique_ptr<CharT[]> aside(new CharT[total]);
                run(aside.get(), total, pattern, arguments, count);
                std::memcpy(buffer, aside.get(), std::size_t{total} * sizeof(CharT));
            } else if (pointer_inside) {
                total = 0;
            }
        }
    }
    // No string holds 2^32 - 1 characters: such an output leaves the string empty.
    return total == 0xFFFFFFFFu ? 0 : total;
}

// Text of either width into output of either width: same width as it is, narrow into
// wide byte by byte (no UTF-8 decoding), wide into narrow as UTF-8.
template <class CharT, class TextT>
void append_shown(format_output<CharT>& output, const format_spec& placeholder, const TextT* text)
{
    if (!renders_text(placeholder))
        return;
    text = shown(text);
    vxn::u32 length = taken_length(text, placeholder.precision);
    if constexpr (std::is_same_v<CharT, TextT>) {
        output.append(text, length);
    } else if constexpr (std::is_same_v<TextT, char>) {
        // Appending the widened text in slices writes and counts exactly what one whole
        // piece would.
        vxn::wchar slice[128];
        while (length != 0) {
            const vxn::u32 n = length < 128 ? length : 128;
            for (vxn::u32 i = 0; i < n; ++i)
                slice[i] = static_cast<vxn::wchar>(static_cast<unsigned char>(text[i]));
            output.append(slice, n);
            text += n;
            length -= n;
        }
    } else {
        if (length == 0)
            return;
        const vxn::u32 measured = vxn::utf16_to_utf8(nullptr, 0, text, length);
        const vxn::u32 bytes = measured == 0 ? 0 : measured - 1;
        output.count(bytes);
        if (output.remaining == 0 || bytes == 0)
            return;
        if (bytes > output.remaining - 1) {
            // A UTF-8 piece is never cut inside a sequence; this one is left out whole.
            output.close();
            return;
        }
        vxn::utf16_to_utf8(output.position, output.remaining, text, length);
        output.position += bytes;
        output.remaining -= bytes;
    }
}

} // namespace

void append_text(format_output<char>& output, const format_spec& placeholder, const char* text)
{
    append_shown(output, placeholder, text);
}

void append_text(format_output<char>& output, const format_spec& placeholder, const vxn::wchar* text)
{
    append_shown(output, placeholder, text);
}

void append_text(format_output<vxn::wchar>& output, const format_spec& placeholder, const char* text)
{
    append_shown(output, placeholder, text);
}

void append_text(format_output<vxn::wchar>& output, const format_spec& placeholder, const vxn::wchar* text)
{
    append_shown(output, placeholder, text);
}

namespace detail {

vxn::u32 format_packed(char* buffer, vxn::u32 capacity, const char* pattern, const format_argument* arguments,
                       vxn::u32 count)
{
    return run(buffer, capacity, pattern, arguments, count);
}

vxn::u32 format_packed(vxn::wchar* buffer, vxn::u32 capacity, const vxn::wchar* pattern,
                       const format_argument* arguments, vxn::u32 count)
{
    return run(buffer, capacity, pattern, arguments, count);
}

vxn::u32 format_produced(char* buffer, vxn::u32 capacity, const char* pattern, const format_argument* arguments,
                         vxn::u32 count)
{
    return produce(buffer, capacity, pattern, arguments, count);
}

vxn::u32 format_produced(vxn::wchar* buffer, vxn::u32 capacity, const vxn::wchar* pattern,
                         const format_argument* arguments, vxn::u32 count)
{
    return produce(buffer, capacity, pattern, arguments, count);
}

} // namespace detail

} // namespace VXN
