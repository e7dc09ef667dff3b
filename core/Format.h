// Text formatting: numbered "{0}" and printf-style "%d" placeholders over a short list of
// typed arguments.
//
// Every message, path, command line and log line of the program is built here, so the
// engine is small, allocation-free and safe on any pattern: a placeholder it cannot read
// is copied as literal text, and the buffer is never written past its capacity. Callers
// learn the exact size they need from the returned total (measure, then fill).
//
// The call site packs its arguments into an array of tagged values; one non-template
// engine per character width (Format.cpp) does the work, so a new call site costs a few
// stores, not a copy of the engine. Integers are rendered by FormatValue.cpp.
#pragma once

#include <vxnstl/string>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace VXN {

// The values are part of the contract: parsers store them, renderers switch on them.
enum class format_conversion : vxn::u32 {
    decimal = 1,          // brace "d", "D": decimal as the argument's type
    signed_decimal = 2,   // printf "d", "i"
    unsigned_decimal = 3, // printf "u"
    exponent = 4,         // "e"
    exponent_upper = 5,   // "E"
    fixed = 6,            // "f", "F": the integer, a point and zeros
    general = 7,          // "g": text, or decimal as the argument's type
    general_upper = 8,    // "G" and a brace placeholder without a letter
    text = 9,             // brace "s", "S"; printf "s", "S", "c", "C"
    hex = 10,             // "x", printf "p"
    hex_upper = 11,       // "X"
};

namespace format_flag {
constexpr vxn::u32 plus = 1;
constexpr vxn::u32 left = 2;
constexpr vxn::u32 zero = 4;
constexpr vxn::u32 space = 8;
} // namespace format_flag

// What one placeholder asks for. Width and flags matter to numbers only; a negative
// width is the brace syntax's way of asking for left justification.
struct format_spec {
    vxn::u32 index = 0;
    std::int32_t precision = -1; // -1: none; text: most source characters taken
    std::int32_t width = 0;
    format_conversion conversion = format_conversion::general_upper;
    vxn::u32 flags = 0;
};

// The state of one formatting pass. `remaining` counts the terminator's slot; 0 means
// nothing may be written (a measuring pass). `total` is the size the complete output
// needs, terminator included, whatever fitted.
template <class CharT>
struct format_output {
    CharT* position = nullptr;
    vxn::u32 remaining = 0;
    vxn::u32 total = 1;

    // A total that no 32-bit count can hold sticks at the maximum: it stays larger than
    // any buffer, so the caller still sees the output as cut instead of a wrapped,
    // small-looking size.
    void count(vxn::u32 length)
    {
        total = length > 0xFFFFFFFFu - total ? 0xFFFFFFFFu : total + length;
    }

    // Appends a piece, cutting it at the room left; the buffer stays terminated.
    void append(const CharT* piece, vxn::u32 length)
    {
        count(length);
        if (remaining == 0)
            return;
        const vxn::u32 taken = length < remaining - 1 ? length : remaining - 1;
        if (taken > 8) {
            std::memcpy(position, piece, taken * sizeof(CharT));
        } else {
            // Most pieces are a separator or two: cheaper copied here than by a call.
            for (vxn::u32 i = 0; i < taken; ++i)
                position[i] = piece[i];
        }
        position += taken;
        remaining -= taken;
        *position = 0;
    }

    // After a piece that had to be left out whole, nothing later may be written either:
    // the buffer must hold a prefix of the output, never one with a piece missing inside.
    void close()
    {
        if (remaining > 1)
            remaining = 1;
    }
};

// Appends terminated text under a placeholder: only `general`, `general_upper` and `text`
// render it; the precision caps the source characters taken. A null pointer renders as
// "(null)". Narrow into wide widens each byte; wide into narrow is UTF-8 and is either
// written whole or not at all.
void append_text(format_output<char>& output, const format_spec& placeholder, const char* text);
void append_text(format_output<char>& output, const format_spec& placeholder, const vxn::wchar* text);
void append_text(format_output<vxn::wchar>& output, const format_spec& placeholder, const char* text);
void append_text(format_output<vxn::wchar>& output, const format_spec& placeholder, const vxn::wchar* text);

// The text argument kinds. Terminated text renders as append_text renders it; a string
// renders up to its first terminator, and one without storage as empty text (not
// "(null)").
template <class CharT, class TextT>
    requires std::is_same_v<TextT, char> || std::is_same_v<TextT, vxn::wchar>
void format_arg(format_output<CharT>& output, const format_spec& placeholder, const TextT* text)
{
    append_text(output, placeholder, text);
}

template <class CharT, class TextT, class Storage>
void format_arg(format_output<CharT>& output, const format_spec& placeholder, const vxn::basic_string<TextT, Storage>& text)
{
    static constexpr TextT empty[1] = {0};
    append_text(output, placeholder, text.data() != nullptr ? text.data() : empty);
}

namespace detail {

enum class format_kind : std::uint8_t {
    none, // not an argument type; make_argument refuses it at compile time
    narrow_text,
    wide_text,
    narrow_string, // null pointer: a string without storage
    wide_string,
    unsigned16,
    signed32,
    unsigned32,
    signed64,
    unsigned64,
};

// One argument as the engine sees it: text by address, integers by value.
struct format_argument {
    union {
        const char* narrow;
        const vxn::wchar* wide;
        std::int64_t signed_value;
        std::uint64_t unsigned_value;
    };
    format_kind kind;
};

template <class T>
struct is_vxn_string : std::false_type {};
template <class CharT, class Storage>
struct is_vxn_string<vxn::basic_string<CharT, Storage>> : std::true_type {};

template <class T>
inline constexpr bool is_character_v =
    std::is_same_v<T, char> || std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char> ||
    std::is_same_v<T, wchar_t> || std::is_same_v<T, char8_t> || std::is_same_v<T, char16_t> ||
    std::is_same_v<T, char32_t>;

// The kind a C++ type is passed as. Integers go by width and signedness, so int, long,
// size_t and friends need no cast on either data model; a signed 16-bit or an 8-bit
// integer has no kind of its own and is refused rather than guessed.
template <class T>
constexpr format_kind kind_of()
{
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_array_v<U> || std::is_pointer_v<U>) {
        // A literal and a pointer to text are the same argument.
        using E = std::remove_cv_t<std::remove_pointer_t<std::decay_t<U>>>;
        if constexpr (std::is_same_v<E, char>)
            return format_kind::narrow_text;
        else if constexpr (std::is_same_v<E, vxn::wchar>)
            return format_kind::wide_text;
        else
            return format_kind::none;
    } else if constexpr (is_vxn_string<U>::value) {
        if constexpr (std::is_same_v<typename U::value_type, char>)
            return format_kind::narrow_string;
        else
            return format_kind::wide_string;
    } else if constexpr (std::is_integral_v<U> && !std::is_same_v<U, bool> && !is_character_v<U>) {
        if constexpr (sizeof(U) == 2 && std::is_unsigned_v<U>)
            return format_kind::unsigned16;
        else if constexpr (sizeof(U) == 4)
            return std::is_signed_v<U> ? format_kind::signed32 : format_kind::unsigned32;
        else if constexpr (sizeof(U) == 8)
            return std::is_signed_v<U> ? format_kind::signed64 : format_kind::unsigned64;
        else
            return format_kind::none;
    } else {
        return format_kind::none;
    }
}

template <class T>
inline constexpr bool refused_v = false;

template <class T>
format_argument make_argument(const T& value)
{
    using U = std::remove_cv_t<T>;
    constexpr format_kind kind = kind_of<T>();
    format_argument argument;
    argument.kind = kind;
    if constexpr (kind == format_kind::narrow_text) {
        argument.narrow = value;
    } else if constexpr (kind == format_kind::wide_text) {
        argument.wide = value;
    } else if constexpr (kind == format_kind::narrow_string) {
        argument.narrow = value.data();
    } else if constexpr (kind == format_kind::wide_string) {
        argument.wide = value.data();
    } else if constexpr (kind == format_kind::signed32 || kind == format_kind::signed64) {
        argument.signed_value = static_cast<std::int64_t>(value);
    } else if constexpr (kind != format_kind::none) {
        argument.unsigned_value = static_cast<std::uint64_t>(value);
    } else if constexpr (std::is_same_v<U, bool>) {
        static_assert(refused_v<T>, "VXN::format: bool has no argument kind; pass a text or an integer");
    } else if constexpr (is_character_v<U>) {
        static_assert(refused_v<T>, "VXN::format: a single character is not a number; cast it to uint32_t "
                                    "or pass it as text");
    } else if constexpr (std::is_floating_point_v<U>) {
        static_assert(refused_v<T>, "VXN::format: floating point has no argument kind");
    } else if constexpr (std::is_integral_v<U>) {
        static_assert(refused_v<T>, "VXN::format: no argument kind for a signed 16-bit integer; cast it to int32_t");
    } else {
        static_assert(refused_v<T>, "VXN::format: arguments are char or vxn::wchar text, vxn::basic_string, "
                                    "or integers (uint16_t, 32 and 64 bits)");
    }
    return argument;
}

// The engine, once per width: the whole of format_to over packed arguments.
vxn::u32 format_packed(char* buffer, vxn::u32 capacity, const char* pattern, const format_argument* arguments,
                       vxn::u32 count);
vxn::u32 format_packed(vxn::wchar* buffer, vxn::u32 capacity, const vxn::wchar* pattern,
                       const format_argument* arguments, vxn::u32 count);

// The engine as a string's producer (assign_format): like format_packed, but safe when
// the pattern or an argument lives in the very buffer being filled, and answering 0 for
// an output too large for any string, which leaves the string empty.
vxn::u32 format_produced(char* buffer, vxn::u32 capacity, const char* pattern, const format_argument* arguments,
                         vxn::u32 count);
vxn::u32 format_produced(vxn::wchar* buffer, vxn::u32 capacity, const vxn::wchar* pattern,
                         const format_argument* arguments, vxn::u32 count);

template <class CharT>
inline constexpr bool is_pattern_char_v = std::is_same_v<CharT, char> || std::is_same_v<CharT, vxn::wchar>;

} // namespace detail

// True for the C++ types that can be passed as a formatting argument.
template <class T>
inline constexpr bool is_format_argument_v = detail::kind_of<T>() != detail::format_kind::none;

// Formats into buffer, which holds `capacity` characters including the terminator, and
// answers the size the complete output needs including the terminator (0 for a null
// pattern, 1 for an empty one). A result above capacity means the text was cut.
template <class CharT, class... Args>
vxn::u32 format_to(CharT* buffer, vxn::u32 capacity, const CharT* pattern, const Args&... args)
{
    static_assert(detail::is_pattern_char_v<CharT>, "VXN::format_to: patterns are char or vxn::wchar text");
    if constexpr (sizeof...(Args) == 0) {
        return detail::format_packed(buffer, capacity, pattern, nullptr, 0);
    } else {
        const detail::format_argument packed[] = {detail::make_argument(args)...};
        return detail::format_packed(buffer, capacity, pattern, packed, sizeof...(Args));
    }
}

// A new string of the pattern's width holding the formatted text.
template <class CharT, class... Args>
vxn::basic_string<CharT> format(const CharT* pattern, const Args&... args)
{
    static_assert(detail::is_pattern_char_v<CharT>, "VXN::format: patterns are char or vxn::wchar text");
    vxn::basic_string<CharT> result;
    result.assign_format(pattern, args...);
    return result;
}

} // namespace VXN

namespace vxn {

// The producer behind basic_string::assign_format.
template <class CharT>
struct text_formatter {
    template <class... Args>
    static u32 format_to(CharT* buffer, u32 capacity, const CharT* pattern, const Args&... args)
    {
        static_assert(VXN::detail::is_pattern_char_v<CharT>, "assign_format: patterns are char or vxn::wchar text");
        if constexpr (sizeof...(Args) == 0) {
            return VXN::detail::format_produced(buffer, capacity, pattern, nullptr, 0);
        } else {
            const VXN::detail::format_argument packed[] = {VXN::detail::make_argument(args)...};
            return VXN::detail::format_produced(buffer, capacity, pattern, packed, sizeof...(Args));
        }
    }
};

} // namespace vxn
