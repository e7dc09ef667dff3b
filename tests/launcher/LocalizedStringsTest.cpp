// LoadLocalizedString in every language, byte for byte: on Windows the program's string
// tables through LoadStringW (the thread's language switched), on Linux the compiled-in
// tables with the language taken from the locale variables.
#include "LocalizedExpectations.h"

#include "LocalizedStrings.h"
#include "ui/TransferFigures.h"
#include "TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "LocalizedTable.h"
#endif

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace localized_test;
using zyrel_test::scoped_variable;
using zyrel_test::to_units;

#if defined(_WIN32)
// Windows picks a string table by the thread's user-interface language; Wine by the
// thread's locale. Both are switched.
class LanguageScope {
public:
    explicit LanguageScope(int language)
    {
        const LANGID id = language == English ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                          : language == German ? MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)
                                               : MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
        SetThreadUILanguage(id);
        SetThreadLocale(MAKELCID(id, SORT_DEFAULT));
    }
    ~LanguageScope()
    {
        SetThreadUILanguage(m_ui);
        SetThreadLocale(m_locale);
    }

private:
    LANGID m_ui = GetThreadUILanguage();
    LCID m_locale = GetThreadLocale();
};
#else
class LanguageScope {
public:
    explicit LanguageScope(int language)
        : m_all("LC_ALL", language == English ? "en_US.UTF-8" : language == German ? "de_DE.UTF-8" : "fr_FR.UTF-8"),
          m_messages("LC_MESSAGES", nullptr), m_lang("LANG", nullptr)
    {
    }

private:
    scoped_variable m_all;
    scoped_variable m_messages;
    scoped_variable m_lang;
};
#endif

TEST(LocalizedStringsTest, EveryIdInEveryLanguageByteForByte)
{
    for (int language : {English, German, French}) {
        SCOPED_TRACE(LanguageName(language));
        LanguageScope scope(language);
        for (const Expected& expected : kStrings) {
            SCOPED_TRACE(expected.id);
            EXPECT_EQ(to_units(LoadLocalizedString(expected.id).c_str()), std::u16string(expected.text[language]));
        }
        for (unsigned id : kEmptyIds) {
            EXPECT_TRUE(LoadLocalizedString(id).empty()) << "id " << id;
        }
        // Every call reads the table afresh: two loads are equal and independent.
        vxn::wstring first = LoadLocalizedString(IDS_CANCEL_DOWNLOAD);
        first[0] = VXN_W('#');
        EXPECT_EQ(to_units(LoadLocalizedString(IDS_CANCEL_DOWNLOAD).c_str()), std::u16string(kStrings[2].text[language]));
#if !defined(_WIN32)
        // The window's own texts come from the same table (on Windows they are the dialog
        // templates, read back in ResourcesTest).
        for (const Expected& title : kTitles) {
            EXPECT_EQ(to_units(LocalizedTableText(LocalizedKind::DialogTitle, title.id).c_str()),
                      std::u16string(title.text[language]));
        }
        EXPECT_EQ(to_units(LocalizedTableText(LocalizedKind::Button, kCancelButton.id).c_str()),
                  std::u16string(kCancelButton.text[language]));
        EXPECT_TRUE(LocalizedTableText(LocalizedKind::DialogTitle, 102).empty());
#endif
    }
}

#if !defined(_WIN32)
TEST(LocalizedStringsTest, LanguageFollowsTheFirstLocaleVariableThatIsSet)
{
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        LocalizedLanguage expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, LocalizedLanguage::English},
        {nullptr, nullptr, "de_DE.UTF-8", LocalizedLanguage::German},
        {nullptr, nullptr, "de_AT.UTF-8", LocalizedLanguage::German},
        {nullptr, nullptr, "fr", LocalizedLanguage::French},
        {nullptr, nullptr, "fr_CA.UTF-8", LocalizedLanguage::French},
        {nullptr, nullptr, "C", LocalizedLanguage::English},
        {nullptr, nullptr, "POSIX", LocalizedLanguage::English},
        {nullptr, nullptr, "es_ES.UTF-8", LocalizedLanguage::English},
        {nullptr, nullptr, "", LocalizedLanguage::English},
        // LC_ALL beats LC_MESSAGES beats LANG; an empty one counts as unset.
        {"fr_FR.UTF-8", nullptr, "de_DE.UTF-8", LocalizedLanguage::French},
        {"C", "de_DE.UTF-8", "fr_FR.UTF-8", LocalizedLanguage::English},
        {nullptr, "de_CH.UTF-8", "fr_FR.UTF-8", LocalizedLanguage::German},
        {"", "", "de_DE.UTF-8", LocalizedLanguage::German},
        {"", "fr_BE", "", LocalizedLanguage::French},
        // The rule looks at the first letters only, as the variables' format puts the
        // language there.
        {nullptr, nullptr, "DE_de", LocalizedLanguage::English},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "<unset>") + " / " + (c.lcMessages ? c.lcMessages : "<unset>") +
                     " / " + (c.lang ? c.lang : "<unset>"));
        scoped_variable all("LC_ALL", c.lcAll);
        scoped_variable messages("LC_MESSAGES", c.lcMessages);
        scoped_variable lang("LANG", c.lang);
        EXPECT_EQ(static_cast<int>(CurrentLocalizedLanguage()), static_cast<int>(c.expected));
        const int column = static_cast<int>(c.expected);
        EXPECT_EQ(to_units(LoadLocalizedString(IDS_DOWNLOAD_FAILED).c_str()), std::u16string(kStrings[1].text[column]));
    }
}

// The line under the bar, as each language writes its numbers and units; the same texts
// serve the Windows dialog (there the resource loader picks the language).
TEST(LocalizedStringsTest, TransferLineInEachLanguage)
{
    struct Case {
        const char* lang;
        const char16_t* withTotal;
        const char16_t* withoutTotal;
    };
    const Case cases[] = {
        {"en_US.UTF-8", u"12.3 MiB of 48.0 MiB, 3.1 MiB/s", u"1023 B"},
        {"de_DE.UTF-8", u"12,3 MiB von 48,0 MiB, 3,1 MiB/s", u"1023 B"},
        {"fr_FR.UTF-8", u"12,3 Mio sur 48,0 Mio, 3,1 Mio/s", u"1023 o"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        scoped_variable all("LC_ALL", nullptr);
        scoped_variable messages("LC_MESSAGES", nullptr);
        scoped_variable lang("LANG", c.lang);
        EXPECT_EQ(to_units(ui::TransferFiguresText(12897485, 48u << 20, 4.0).c_str()), std::u16string(c.withTotal));
        // No total yet, and too early for a rate.
        EXPECT_EQ(to_units(ui::TransferFiguresText(1023, 0, 0.2).c_str()), std::u16string(c.withoutTotal));
    }
    scoped_variable lang("LANG", "en_US.UTF-8");
    EXPECT_EQ(to_units(ui::TransferFiguresText(5ull << 30, 0, 2.0).c_str()), std::u16string(u"5.0 GiB, 2.5 GiB/s"));
}
#endif

} // namespace
