// UTF-8 <-> UTF-16 conversion.
//
// The public primitives share one shape on every platform: a trailing terminator in the
// source is left out, a null destination or a capacity below 2 only measures, the result
// counts the terminator. What converts is the system's converter on Windows and the
// library's own converter elsewhere; both give the same units for the same input.
#include "system_utf.h"

#include <cstring>

namespace vxn {
namespace detail {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one scalar value at in[pos]. Ill-formed input yields U+FFFD for its maximal
// subpart: the longest prefix of a well-formed sequence, or one byte when no sequence
// can start there. `length` receives the bytes consumed.
char32_t decode_utf8(const unsigned char* in, u32 count, u32 pos, u32& length)
{
    const unsigned char lead = in[pos];
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    u32 trail;
    char32_t value;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        length = 1; // stray continuation byte, C0, C1 or F5..FF
        return kReplacement;
    }
    u32 used = 1;
    for (u32 i = 0; i < trail; ++i) {
        if (pos + used >= count) {
            length = used;
            return kReplacement;
        }
        const unsigned char next = in[pos + used];
        const unsigned char lo = i == 0 ? low : 0x80;
        const unsigned char hi = i == 0 ? high : 0xBF;
        if (next < lo || next > hi) {
            length = used;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
        ++used;
    }
    length = used;
    return value;
}

} // namespace

u32 portable_utf8_to_utf16(wchar* out, u32 limit, const char* in, u32 count)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(in);
    u32 produced = 0;
    for (u32 pos = 0; pos < count;) {
        u32 length = 1;
        const char32_t value = decode_utf8(bytes, count, pos, length);
        pos += length;
        const u32 units = value >= 0x10000 ? 2 : 1;
        if (out != nullptr) {
            if (units > limit - produced)
                return 0; // does not fit: the conversion fails as a whole
            if (units == 1) {
                out[produced] = static_cast<wchar>(value);
            } else {
                const char32_t v = value - 0x10000;
                out[produced] = static_cast<wchar>(0xD800 + (v >> 10));
                out[produced + 1] = static_cast<wchar>(0xDC00 + (v & 0x3FF));
            }
        } else if (units > 0xFFFFFFFFu - produced) {
            return 0;
        }
        produced += units;
    }
    return produced;
}

u32 portable_utf16_to_utf8(char* out, u32 limit, const wchar* in, u32 count)
{
    u32 produced = 0;
    for (u32 pos = 0; pos < count;) {
        char32_t value = static_cast<std::uint16_t>(in[pos++]);
        if (value >= 0xD800 && value <= 0xDBFF && pos < count) {
            const char32_t next = static_cast<std::uint16_t>(in[pos]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                value = 0x10000 + ((value - 0xD800) << 10) + (next - 0xDC00);
                ++pos;
            }
        }
        if (value >= 0xD800 && value <= 0xDFFF)
            value = kReplacement; // a surrogate without its partner
        unsigned char encoded[4];
        u32 length;
        if (value < 0x80) {
            encoded[0] = static_cast<unsigned char>(value);
            length = 1;
        } else if (value < 0x800) {
            encoded[0] = static_cast<unsigned char>(0xC0 | (value >> 6));
            encoded[1] = static_cast<unsigned char>(0x80 | (value & 0x3F));
            length = 2;
        } else if (value < 0x10000) {
            encoded[0] = static_cast<unsigned char>(0xE0 | (value >> 12));
            encoded[1] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
            encoded[2] = static_cast<unsigned char>(0x80 | (value & 0x3F));
            length = 3;
        } else {
            encoded[0] = static_cast<unsigned char>(0xF0 | (value >> 18));
            encoded[1] = static_cast<unsigned char>(0x80 | ((value >> 12) & 0x3F));
            encoded[2] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
            encoded[3] = static_cast<unsigned char>(0x80 | (value & 0x3F));
            length = 4;
        }
        if (out != nullptr) {
            if (length > limit - produced)
                return 0;
            for (u32 i = 0; i < length; ++i)
                out[produced + i] = static_cast<char>(encoded[i]);
        } else if (length > 0xFFFFFFFFu - produced) {
            return 0;
        }
        produced += length;
    }
    return produced;
}

} // namespace detail

namespace {

// The shared shape of both primitives. The converter is given one unit less than the
// destination holds, so the terminator written after it always fits; a destination of
// 0 or 1 units has no room for text and only measures.
template <class Out, class In, class Convert>
u32 convert_terminated(Out* destination, u32 capacity, const In* source, u32 count, Convert convert)
{
    if (source == nullptr || count == 0)
        return 0;
    if (source[count - 1] == 0)
        --count;
    if (count == 0)
        return 0;
    const bool measuring = destination == nullptr || capacity <= 1;
    const u32 produced = convert(measuring ? nullptr : destination, measuring ? 0 : capacity - 1, source, count);
    if (!measuring)
        destination[produced] = 0;
    if (produced == 0 || produced == 0xFFFFFFFFu)
        return 0;
    return produced + 1;
}

} // namespace

u32 utf8_to_utf16(wchar* destination, u32 capacity, const char* source, u32 count)
{
    return convert_terminated(destination, capacity, source, count, platform::utf8_to_utf16);
}

u32 utf16_to_utf8(char* destination, u32 capacity, const wchar* source, u32 count)
{
    return convert_terminated(destination, capacity, source, count, platform::utf16_to_utf8);
}

u32 copy_chars(char* destination, u32 capacity, const char* source, u32 count)
{
    if (source == nullptr || count == 0)
        return 0;
    if (source[count - 1] == 0)
        --count;
    if (destination != nullptr && capacity > 0) {
        const u32 copied = count < capacity - 1 ? count : capacity - 1;
        std::memcpy(destination, source, copied);
        destination[copied] = 0;
    }
    return count == 0xFFFFFFFFu ? count : count + 1;
}

} // namespace vxn
