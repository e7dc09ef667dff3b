#include "Path.h"

#include "FilesPlatform.h"

namespace VXN {

namespace {

// The runtime's buffers for the name and the extension part; a part needs room for its
// terminator, so 255 bytes is the longest that splits.
constexpr vxn::u32 kPartBuffer = 256;
// ERANGE, what the runtime's splitter answers for a part that does not fit.
constexpr std::uint32_t kPartTooLong = 34;

bool is_separator(char c)
{
    return c == '/' || c == '\\';
}

template <class CharT>
void replace_separators(vxn::basic_string<CharT>& text, char separator)
{
    for (vxn::u32 i = 0; i < text.size(); ++i) {
        if (text[i] == CharT('/') || text[i] == CharT('\\'))
            text[i] = CharT(separator);
    }
}

struct name_parts {
    const char* name = nullptr;
    vxn::u32 nameLength = 0;
    const char* extension = nullptr;
    vxn::u32 extensionLength = 0;
};

// The runtime's published splitting rule: a drive is a colon in second place; the name
// follows the last slash or backslash and ends before the last dot after it, where the
// extension starts. Written here so that every platform splits the same way.
name_parts split_name(const char* text, vxn::u32 length)
{
    vxn::u32 begin = length >= 2 && text[1] == ':' ? 2 : 0;
    for (vxn::u32 i = begin; i < length; ++i) {
        if (is_separator(text[i]))
            begin = i + 1;
    }
    vxn::u32 dot = length;
    for (vxn::u32 i = length; i > begin; --i) {
        if (text[i - 1] == '.') {
            dot = i - 1;
            break;
        }
    }
    return {text + begin, dot - begin, text + dot, length - dot};
}

vxn::u32 find_separator(const platform::native_string& text, vxn::u32 from, char separator)
{
    for (vxn::u32 i = from; i < text.size(); ++i) {
        if (text[i] == platform::native_char(separator))
            return i;
    }
    return platform::native_string::npos;
}

} // namespace

Path::Path(const vxn::wchar* utf16) : m_utf16(utf16) {}

Path::Path(const vxn::wstring& utf16) : m_utf16(utf16) {}

Path::Path(const char* utf8) : m_utf8(utf8) {}

Path::Path(const vxn::string& utf8) : m_utf8(utf8) {}

void Path::MakeUtf8()
{
    if (!m_utf8.empty() || m_utf16.empty())
        return;
    m_utf8.assign_utf16(m_utf16.data(), m_utf16.size());
    m_utf16 = vxn::wstring();
}

void Path::MakeWide()
{
    if (!m_utf16.empty() || m_utf8.empty())
        return;
    m_utf16.assign_utf8(m_utf8.data(), m_utf8.size());
    m_utf8 = vxn::string();
}

void Path::Normalize()
{
    if (m_normalized)
        return;
    if (!m_utf8.empty())
        replace_separators(m_utf8, m_separator);
    else if (!m_utf16.empty())
        replace_separators(m_utf16, m_separator);
    m_normalized = true;
}

const vxn::string& Path::Utf8String()
{
    MakeUtf8();
    Normalize();
    return m_utf8;
}

const vxn::wstring& Path::WideString()
{
    MakeWide();
    Normalize();
    return m_utf16;
}

const char* Path::Utf8()
{
    return Utf8String().c_str();
}

const vxn::wchar* Path::Wide()
{
    return WideString().c_str();
}

Result Path::SplitName(Path& out, bool withExtension)
{
    const vxn::string& text = Utf8String();
    const name_parts parts = split_name(text.c_str(), text.size());
    if (parts.nameLength >= kPartBuffer || (withExtension && parts.extensionLength >= kPartBuffer)) {
        out = Path();
        return Result::Fail("_splitpath failed: {0}", kPartTooLong);
    }
    // Built apart first: `out` may be this very Path.
    vxn::string name(parts.name, parts.nameLength);
    if (withExtension)
        name.append(parts.extension, parts.extensionLength);
    out = Path(name);
    return Result();
}

Result Path::Stem(Path& out)
{
    return SplitName(out, false);
}

Result Path::FileName(Path& out)
{
    return SplitName(out, true);
}

Path Path::Stem()
{
    Path out;
    (void)Stem(out);
    return out;
}

Path Path::FileName()
{
    Path out;
    (void)FileName(out);
    return out;
}

vxn::wstring JoinPath(const vxn::wstring& folder, const vxn::wstring& name)
{
    vxn::wstring path = folder;
    path.push_back(vxn::wchar(Path::PlatformSeparator));
    path.append(name);
    return path;
}

Path GetExecutablePath()
{
    Path path;
    if (!platform::executable_path(path))
        return Path();
    return path;
}

Result CreateDirectories(Path path)
{
    const char separator = Path::PlatformSeparator;
    platform::native_string work = platform::native_text(path);
    if (work.empty() || work[work.size() - 1] != platform::native_char(separator))
        work.push_back(platform::native_char(separator));

    // Without an absolute form (a relative path while the current directory is gone)
    // nothing can be created, and saying so is the only honest answer.
    platform::native_string full;
    if (!platform::full_path(work.c_str(), full))
        return Result::Fail("CreateDirectory failed: {0}", system_error_text(platform::last_error()));

    // A network path names its server first, which is not a directory: the first prefix
    // examined is the share.
    vxn::u32 start = 0;
    if (full.size() > 2 && full[0] == platform::native_char(separator) &&
        full[1] == platform::native_char(separator)) {
        const vxn::u32 server_end = find_separator(full, 2, separator);
        if (server_end == platform::native_string::npos)
            return Result();
        start = server_end + 1;
    }

    while (start < full.size()) {
        const vxn::u32 end = find_separator(full, start, separator);
        if (end == platform::native_string::npos)
            break;
        start = end + 1;
        const platform::native_string prefix = full.substr(0, end + 1);
        if (platform::object_exists(prefix.c_str()))
            continue;
        if (platform::make_directory(prefix.c_str()))
            continue;
        return Result::Fail("CreateDirectory failed: {0}", system_error_text(platform::last_error()));
    }
    return Result();
}

Result ChangeDirectory(Path path)
{
    if (!platform::change_directory(platform::native_text(path).c_str()))
        return Result::Fail("SetCurrentDirectoryW failed: {0}", system_error_text(platform::last_error()));
    return Result();
}

} // namespace VXN
