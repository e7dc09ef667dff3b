// Path: a file-system path held as UTF-8 or as UTF-16, converted on demand.
//
// Only one form holds the text at a time: asking for the other form converts it and empties
// the form it came from, so a Path never carries two copies that could disagree. The first
// request for a form also normalises the separators once: every slash and backslash becomes
// the platform's separator (a backslash on Windows, a slash on Linux, where a backslash in a
// name therefore cannot be expressed through a Path).
//
// The operations that touch the file system return a Result; the file-name helpers come in
// two forms, one returning the Result and filling a caller's Path, one returning the Path
// (empty on failure).
#pragma once

#include "PlatformTypes.h"
#include "Result.h"

#include <vxnstl/string>

namespace VXN {

class Path {
public:
    // "\\" on Windows, "/" on Linux.
    static constexpr char PlatformSeparator = platform::path_separator;

    Path() = default;
    Path(const vxn::wchar* utf16);
    Path(const vxn::wstring& utf16);
    Path(const char* utf8);
    Path(const vxn::string& utf8);

    Path(const Path& other) = default;
    Path& operator=(const Path& other) = default;
    // Moving takes both texts and copies separator and flag; the source is left empty.
    Path(Path&& other) noexcept = default;
    Path& operator=(Path&& other) noexcept = default;

    // The text in the asked-for form, normalised; never null (the shared empty text when
    // the path is empty).
    const char* Utf8();
    const vxn::wchar* Wide();
    // As Utf8 and Wide, but the string itself, for copying and formatting.
    const vxn::string& Utf8String();
    const vxn::wstring& WideString();

    // Only the conversion, without normalising.
    void MakeUtf8();
    void MakeWide();
    // The one-time separator replacement in whichever form holds the text.
    void Normalize();

    // The file name without extension ("ZyrelDownloader" for ".../ZyrelDownloader.exe") and
    // with it. A name part or an extension of 256 bytes or more cannot be split out: the
    // Result is a failure and `out` is left empty. Names split exactly like the Windows
    // runtime's _splitpath on every platform: the name runs from after the last slash or
    // backslash (or a drive's colon in second place) to before the last dot after it.
    Result Stem(Path& out);
    Result FileName(Path& out);
    Path Stem();
    Path FileName();

    bool Empty() const { return m_utf8.empty() && m_utf16.empty(); }
    // The two forms as they are held, converting and normalising nothing.
    const vxn::string& HeldUtf8() const { return m_utf8; }
    const vxn::wstring& HeldWide() const { return m_utf16; }
    bool IsNormalized() const { return m_normalized; }
    char Separator() const { return m_separator; }

private:
    Result SplitName(Path& out, bool withExtension);

    vxn::string m_utf8;
    vxn::wstring m_utf16;
    char m_separator = PlatformSeparator;
    bool m_normalized = false;
};

// A file's path from its folder and its name, joined with the platform's separator (a
// backslash on Windows, a slash on Linux, where a backslash is an ordinary name character).
// The one way the program names a file in a folder.
vxn::wstring JoinPath(const vxn::wstring& folder, const vxn::wstring& name);

// The full path of the running executable, whatever its length; empty when the system
// cannot tell. Held as the system gives it: UTF-16 on Windows, UTF-8 on Linux.
Path GetExecutablePath();

// Creates the directory and every missing parent, top down (existing levels are only
// confirmed; a network path on Windows starts at its share). A relative path is taken from
// the current directory, and fails when that directory no longer exists. "." and ".." are
// resolved by name first. Levels created before a failing one stay in place.
Result CreateDirectories(Path path);

// Makes the path the process's current directory.
Result ChangeDirectory(Path path);

} // namespace VXN
