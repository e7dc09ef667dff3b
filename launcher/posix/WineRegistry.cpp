// The system.reg reader (WineRegistry.h). The file of a fresh prefix is about 3 MB and the
// launcher reads it on every start, so the walk compares keys and names while it decodes
// them, straight out of the file's text: nothing is copied or allocated until the value
// is found.
#include "WineRegistry.h"

#include "CaseFold.h"

#include <string>

namespace platform {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kSoftware = "Software\\";
constexpr std::string_view kWow64Node = "Wow6432Node\\";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One line of the file at a time, without its line end (LF or CR LF).
class Lines {
public:
    explicit Lines(std::string_view text) : m_rest(text) {}

    bool Next(std::string_view& line)
    {
        if (m_rest.empty())
            return false;
        const std::size_t end = m_rest.find('\n');
        line = m_rest.substr(0, end);
        m_rest = end == std::string_view::npos ? std::string_view() : m_rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

private:
    std::string_view m_rest;
};

// The UTF-16 units of a text as Wine escapes it (a key path, a value name, string data),
// one at a time, up to the unescaped `close` character. Bytes outside ASCII, which Wine
// itself never writes, are read as UTF-8.
class EscapedText {
public:
    EscapedText(std::string_view line, std::size_t start, char close) : m_line(line), m_at(start), m_close(close) {}

    // The next unit; false at the closing character (Closed() then tells) or at a line
    // that ends before it (a broken text).
    bool Next(char16_t& unit)
    {
        if (m_pending != 0) {
            unit = m_pending;
            m_pending = 0;
            return true;
        }
        if (m_at >= m_line.size())
            return false;
        const char c = m_line[m_at++];
        if (c == m_close) {
            m_closed = true;
            return false;
        }
        if (c == '\\')
            return Escape(unit);
        if (static_cast<unsigned char>(c) < 0x80) {
            unit = static_cast<char16_t>(c);
            return true;
        }
        return Utf8(static_cast<unsigned char>(c), unit);
    }

    bool Closed() const { return m_closed; }
    // Just past the closing character once Closed().
    std::size_t Position() const { return m_at; }

private:
    bool Escape(char16_t& unit)
    {
        if (m_at >= m_line.size())
            return false; // a backslash that ends the line escapes nothing
        const char c = m_line[m_at++];
        switch (c) {
        case 'a': unit = 0x07; return true;
        case 'b': unit = 0x08; return true;
        case 'e': unit = 0x1B; return true;
        case 'f': unit = 0x0C; return true;
        case 'n': unit = 0x0A; return true;
        case 'r': unit = 0x0D; return true;
        case 't': unit = 0x09; return true;
        case 'v': unit = 0x0B; return true;
        case 'x': {
            // Wine writes as few digits as the unit needs, four when a hex digit follows.
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && m_at < m_line.size() && HexDigit(m_line[m_at]) >= 0)
                value = value * 16 + static_cast<unsigned>(HexDigit(m_line[m_at++])), ++digits;
            unit = digits == 0 ? u'x' : static_cast<char16_t>(value);
            return true;
        }
        default:
            break;
        }
        if (c >= '0' && c <= '7') {
            unsigned value = static_cast<unsigned>(c - '0');
            for (int digits = 1; digits < 3 && m_at < m_line.size() && m_line[m_at] >= '0' && m_line[m_at] <= '7'; ++digits)
                value = value * 8 + static_cast<unsigned>(m_line[m_at++] - '0');
            unit = static_cast<char16_t>(value);
            return true;
        }
        unit = static_cast<char16_t>(static_cast<unsigned char>(c)); // \\ \" \[ \] and the like
        return true;
    }

    bool Utf8(unsigned char lead, char16_t& unit)
    {
        int more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
        char32_t point = more == 3 ? lead & 0x07 : more == 2 ? lead & 0x0F : lead & 0x1F;
        for (int i = 0; i < more; ++i) {
            if (m_at >= m_line.size() || (static_cast<unsigned char>(m_line[m_at]) & 0xC0) != 0x80) {
                more = -1;
                break;
            }
            point = (point << 6) | (static_cast<unsigned char>(m_line[m_at++]) & 0x3F);
        }
        if (more < 0 || (more == 2 && (point < 0x800 || (point >= 0xD800 && point < 0xE000))) ||
            (more == 3 && (point < 0x10000 || point > 0x10FFFF))) {
            unit = 0xFFFD;
            return true;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            unit = static_cast<char16_t>(0xD800 + (point >> 10));
            m_pending = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
            return true;
        }
        unit = static_cast<char16_t>(point);
        return true;
    }

    std::string_view m_line;
    std::size_t m_at;
    char m_close;
    bool m_closed = false;
    char16_t m_pending = 0;
};

// Whether the escaped text at `start` of `line`, up to `close`, is `wanted` (parts that are
// joined, compared without regard to case); `end` is then just past the closing character.
bool EscapedEquals(std::string_view line, std::size_t start, char close, const char16_t* const* parts,
                   const vxn::u32* lengths, int count, std::size_t& end)
{
    EscapedText text(line, start, close);
    char16_t unit = 0;
    for (int part = 0; part < count; ++part) {
        for (vxn::u32 i = 0; i < lengths[part]; ++i) {
            if (!text.Next(unit) || FoldCase(unit) != FoldCase(parts[part][i]))
                return false;
        }
    }
    if (text.Next(unit) || !text.Closed())
        return false;
    end = text.Position();
    return true;
}

// The key path as Wine writes it when every unit is printable ASCII that needs no escape
// but the separator (doubled), in capitals; "" for any other key. Section lines are
// compared with it byte for byte, which rejects almost every one of them within its first
// bytes without decoding anything.
std::string PlainKey(const char16_t* const* parts, const vxn::u32* lengths, int count)
{
    std::string plain;
    for (int part = 0; part < count; ++part) {
        for (vxn::u32 i = 0; i < lengths[part]; ++i) {
            const char16_t unit = FoldCase(parts[part][i]);
            if (unit == u'\\')
                plain += "\\\\";
            else if (unit >= 0x20 && unit < 0x7F && unit != u'[' && unit != u']')
                plain += static_cast<char>(unit);
            else
                return std::string();
        }
    }
    return plain;
}

enum class Quick { Match, Differs, Decode };

// A section line against the plain key: Match and Differs are certain; Decode where the line
// spells the key otherwise than Wine would (an escape that Wine does not write there), so
// that only the full comparison can tell.
Quick CompareWithPlainKey(std::string_view line, std::string_view plain)
{
    std::size_t i = 0;
    const auto capital = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; };
    while (i < plain.size() && 1 + i < line.size() && capital(line[1 + i]) == plain[i])
        ++i;
    // Equal bytes decode alike, so up to here the units agree.
    if (i == plain.size())
        return 1 + i < line.size() && line[1 + i] == ']' ? Quick::Match : Quick::Differs;
    if (1 + i >= line.size())
        return Quick::Differs;
    // An escape may spell what the plain key writes as it is (\x57 for W), or a backslash
    // (\x5c); any other byte is a different unit (bytes above ASCII never fold into ASCII).
    std::size_t backslashes = 0;
    while (backslashes < i && plain[i - 1 - backslashes] == '\\')
        ++backslashes;
    return line[1 + i] == '\\' || backslashes % 2 == 1 ? Quick::Decode : Quick::Differs;
}

bool StartsWithWord(std::string_view text, std::size_t at, std::string_view word)
{
    return text.size() - at >= word.size() && text.compare(at, word.size(), word) == 0;
}

bool AppendUnits(const unsigned char* bytes, vxn::u32 count, vxn::wstring& data)
{
    data.resize(count / 2, 0);
    if (data.size() != count / 2)
        return false;
    for (vxn::u32 i = 0; i < count / 2; ++i)
        data[i] = static_cast<vxn::wchar>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return true;
}

// String data from the opening quote at `start`: the units and their terminating NUL.
bool StringData(std::string_view line, std::size_t start, vxn::u32 limit_bytes, vxn::wstring& data)
{
    // A unit takes at least one character of the line, so the line bounds the length; the
    // limit bounds it too, whatever a line of the file holds.
    const vxn::u32 most_units = limit_bytes / 2;
    const std::size_t rest = line.size() - start;
    data.reserve(static_cast<vxn::u32>(rest < most_units ? rest : most_units));
    EscapedText text(line, start, '"');
    char16_t unit = 0;
    vxn::u32 units = 0;
    while (text.Next(unit)) {
        // The terminating NUL counts against the limit, as the registry stores it.
        if (++units >= most_units)
            return false;
        data.push_back(static_cast<vxn::wchar>(unit));
    }
    if (!text.Closed())
        return false;
    data.push_back(0);
    return true;
}

// Hex data from `start` ("aa,bb,..."), continued over the following lines after a trailing
// backslash.
bool HexData(std::string_view line, std::size_t start, Lines& more, vxn::u32 limit_bytes, vxn::wstring& data)
{
    vxn::string bytes;
    // Three characters a byte ("aa,"): the first line's length is a good first guess.
    const std::size_t guess = (line.size() - start) / 3 + 1;
    bytes.reserve(static_cast<vxn::u32>(guess < limit_bytes ? guess : limit_bytes));
    std::size_t at = start;
    for (;;) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at >= line.size())
            break;
        if (line[at] == '\\' && at + 1 == line.size()) {
            if (!more.Next(line))
                return false;
            at = 0;
            continue;
        }
        const int high = HexDigit(line[at]);
        if (high < 0)
            return false;
        int value = high;
        ++at;
        if (at < line.size() && HexDigit(line[at]) >= 0)
            value = value * 16 + HexDigit(line[at++]);
        if (bytes.size() >= limit_bytes)
            return false;
        bytes.push_back(static_cast<char>(value));
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at < line.size() && line[at] == ',')
            ++at;
        else if (at < line.size() && !(line[at] == '\\' && at + 1 == line.size()))
            return false;
    }
    return AppendUnits(reinterpret_cast<const unsigned char*>(bytes.c_str()), bytes.size(), data);
}

bool DwordData(std::string_view line, std::size_t start, vxn::wstring& data)
{
    if (line.size() - start != 8)
        return false;
    unsigned long value = 0;
    for (std::size_t i = start; i < line.size(); ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return AppendUnits(bytes, 4, data);
}

// The data after "name=": "..." (REG_SZ), str:"...", str(<type>):"..." (REG_EXPAND_SZ is
// str(2), REG_MULTI_SZ str(7)), hex:... (REG_BINARY), hex(<type>):..., dword:XXXXXXXX.
// The registry hands out any value's bytes whatever its type, and so does this.
bool ValueData(std::string_view line, std::size_t at, Lines& more, vxn::u32 limit_bytes, vxn::wstring& data)
{
    data.clear();
    if (StartsWithWord(line, at, "\""))
        return StringData(line, at + 1, limit_bytes, data);
    const auto after_type = [&](std::string_view word, std::size_t& next) {
        if (!StartsWithWord(line, at, word))
            return false;
        next = at + word.size();
        if (StartsWithWord(line, next, ":")) {
            ++next;
            return true;
        }
        if (!StartsWithWord(line, next, "("))
            return false;
        ++next;
        const std::size_t digits = next;
        while (next < line.size() && HexDigit(line[next]) >= 0)
            ++next;
        if (next == digits || !StartsWithWord(line, next, "):"))
            return false;
        next += 2;
        return true;
    };
    std::size_t next = 0;
    if (after_type("str", next))
        return StartsWithWord(line, next, "\"") && StringData(line, next + 1, limit_bytes, data);
    if (after_type("hex", next))
        return HexData(line, next, more, limit_bytes, data);
    if (StartsWithWord(line, at, "dword:"))
        return DwordData(line, at + 6, data);
    return false;
}

} // namespace

bool FindRegistryValue(std::string_view text, const vxn::wstring& key_path, const vxn::wstring& name,
                       vxn::u32 limit_bytes, vxn::wstring& data)
{
    data.clear();
    Lines lines(text);
    std::string_view line;
    if (!lines.Next(line) || line != kHeader)
        return false;

    // The mark stands between the header and the first key.
    int bits = 0;
    while (lines.Next(line)) {
        if (line == "#arch=win64")
            bits = 64;
        else if (line == "#arch=win32")
            bits = 32;
        else if (!line.empty() && line.front() == '[')
            break;
    }
    if (bits == 0)
        return false;

    // The key as the file names it: the 32-bit view of Software in a 64-bit prefix is the
    // Wow6432Node below it.
    static constexpr char16_t software[] = u"Software\\";
    static constexpr char16_t node[] = u"Wow6432Node\\";
    const char16_t* const path = reinterpret_cast<const char16_t*>(key_path.c_str());
    bool redirected = bits == 64 && key_path.size() >= kSoftware.size();
    for (vxn::u32 i = 0; redirected && i < kSoftware.size(); ++i)
        redirected = FoldCase(path[i]) == FoldCase(software[i]);
    const char16_t* key_parts[3] = {path, node, path + kSoftware.size()};
    vxn::u32 key_lengths[3] = {key_path.size(), 0, 0};
    if (redirected) {
        key_lengths[0] = static_cast<vxn::u32>(kSoftware.size());
        key_lengths[1] = static_cast<vxn::u32>(kWow64Node.size());
        key_lengths[2] = key_path.size() - static_cast<vxn::u32>(kSoftware.size());
    }
    const std::string plain = PlainKey(key_parts, key_lengths, 3);
    const char16_t* const name_parts[1] = {reinterpret_cast<const char16_t*>(name.c_str())};
    const vxn::u32 name_lengths[1] = {name.size()};

    bool in_key = false;
    do {
        if (line.empty())
            continue;
        std::size_t end = 0;
        if (line.front() == '[') {
            const Quick quick = plain.empty() ? Quick::Decode : CompareWithPlainKey(line, plain);
            in_key = quick == Quick::Match ||
                     (quick == Quick::Decode && EscapedEquals(line, 1, ']', key_parts, key_lengths, 3, end));
            continue;
        }
        if (!in_key)
            continue;
        bool match = false;
        if (line.front() == '@')
            match = name.empty() && StartsWithWord(line, 1, "=");
        else if (line.front() == '"')
            match = !name.empty() && EscapedEquals(line, 1, '"', name_parts, name_lengths, 1, end) &&
                    StartsWithWord(line, end, "=");
        if (!match)
            continue;
        const std::size_t start = line.front() == '@' ? 2 : end + 1;
        if (ValueData(line, start, lines, limit_bytes, data))
            return true;
        data.clear();
        return false;
    } while (lines.Next(line));
    return false;
}

} // namespace platform
