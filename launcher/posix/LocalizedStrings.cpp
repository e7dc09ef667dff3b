// The texts on Linux: the tables generated from resources/ZyrelTexts.txt, in the language of
// the locale variables.
#include "LocalizedStrings.h"
#include "LocalizedTable.h"

#include <cstdlib>
#include <cstring>

LocalizedLanguage CurrentLocalizedLanguage()
{
    // The C library's own precedence for LC_MESSAGES: LC_ALL beats LC_MESSAGES beats LANG,
    // and an empty variable counts as unset.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == 0)
            continue;
        if (std::strncmp(value, "de", 2) == 0)
            return LocalizedLanguage::German;
        if (std::strncmp(value, "fr", 2) == 0)
            return LocalizedLanguage::French;
        return LocalizedLanguage::English;
    }
    return LocalizedLanguage::English;
}

vxn::wstring LocalizedTableText(LocalizedKind kind, unsigned id)
{
    const auto column = static_cast<std::size_t>(CurrentLocalizedLanguage());
    for (std::size_t i = 0; i < LocalizedTextCount; ++i) {
        const LocalizedText& entry = LocalizedTexts[i];
        if (entry.kind != kind || entry.id != id)
            continue;
        vxn::wstring text;
        text.assign_utf8(entry.text[column], std::strlen(entry.text[column]));
        return text;
    }
    return vxn::wstring();
}

vxn::wstring LoadLocalizedString(vxn::u32 id)
{
    return LocalizedTableText(LocalizedKind::String, id);
}
