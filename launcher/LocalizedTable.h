// The texts compiled into the Linux program: resources/ZyrelTexts.txt as UTF-8 tables,
// generated at build time (the Windows program carries the same table as its string tables
// and dialog templates instead), and the language they are read in.
#pragma once

#include <vxnstl/string>

#include <cstddef>

enum class LocalizedKind { String, DialogTitle, Button };

// The columns of the table, in its order.
enum class LocalizedLanguage { English = 0, German = 1, French = 2 };

struct LocalizedText {
    LocalizedKind kind;
    unsigned id;
    const char* text[3]; // UTF-8, by LocalizedLanguage
};

extern const LocalizedText LocalizedTexts[];
extern const std::size_t LocalizedTextCount;

// The user's language as the C library's locale variables name it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty; a value starting with "de" is German, with
// "fr" French, anything else (also "C" and "POSIX", or none at all) English. Read afresh on
// every call.
LocalizedLanguage CurrentLocalizedLanguage();

// The entry of that kind and id in the current language, as UTF-16; empty when the table has
// none. LoadLocalizedString is LocalizedTableText(LocalizedKind::String, id).
vxn::wstring LocalizedTableText(LocalizedKind kind, unsigned id);
