// The settings store and the configuration reader: what a configuration text leaves in the
// store, and how the store answers.
#include "LauncherTestSupport.h"

#include "CommandLine.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace launcher_test;
using SettingsTest = EmptyStoreTest;

Dump Configured(const std::string& text)
{
    Settings::Clear();
    EXPECT_TRUE(LoadConfigurationText(W(text)));
    return StoreContents();
}

TEST_F(SettingsTest, StoreAnswersCopiesAndComparesKeysExactly)
{
    EXPECT_FALSE(Settings::Has(W("DownloadUrl")));
    EXPECT_EQ(U(Settings::Get(W("DownloadUrl"), W("fallback"))), "fallback");

    Settings::Entry(W("DownloadUrl")) = W("http://a/");
    EXPECT_TRUE(Settings::Has(W("DownloadUrl")));
    EXPECT_FALSE(Settings::Has(W("downloadurl"))) << "keys compare unit by unit";
    EXPECT_EQ(U(Settings::Get(W("DownloadUrl"), W("fallback"))), "http://a/");

    vxn::wstring copy = Settings::Get(W("DownloadUrl"), W(""));
    copy = W("changed");
    EXPECT_EQ(U(Settings::DownloadUrl()), "http://a/") << "Get hands out a copy";

    Settings::Entry(W("DownloadUrl")) = W("http://b/");
    EXPECT_EQ(U(Settings::DownloadUrl()), "http://b/") << "assigning through Entry replaces";

    vxn::wstring& fresh = Settings::Entry(W("Empty"));
    EXPECT_TRUE(fresh.empty());
    EXPECT_TRUE(Settings::Has(W("Empty"))) << "Entry inserts an absent key with an empty value";
    EXPECT_EQ(U(Settings::Get(W("Empty"), W("fallback"))), "") << "an empty value is a value";

    EXPECT_TRUE(Settings::AddIfAbsent(W("Once"), W("1")));
    EXPECT_FALSE(Settings::AddIfAbsent(W("Once"), W("2")));
    EXPECT_EQ(U(Settings::Get(W("Once"), W(""))), "1");

    EXPECT_EQ(Settings::Entries().max_load_factor(), 0.75f);
    Settings::Clear();
    EXPECT_TRUE(StoreContents().empty());
}

TEST_F(SettingsTest, FlagsAreOnWhenPresentWhateverTheValue)
{
    EXPECT_FALSE(Settings::SelfUpdate());
    EXPECT_FALSE(Settings::PortableInstallation());
    EXPECT_FALSE(Settings::UseSteam());
    EXPECT_FALSE(Settings::Automatic());

    Settings::Entry(W("SelfUpdate")) = W("false");
    Settings::Entry(W("PortableInstallation")) = W("");
    Settings::Entry(W("UseSteam")) = W("0");
    Settings::Entry(W("Automatic")) = W("true");
    EXPECT_TRUE(Settings::SelfUpdate());
    EXPECT_TRUE(Settings::PortableInstallation());
    EXPECT_TRUE(Settings::UseSteam());
    EXPECT_TRUE(Settings::Automatic());
}

TEST_F(SettingsTest, TextAccessorsReadTheirKeysAndFoldersLeaveAnEntryBehind)
{
    const std::pair<const char*, vxn::wstring (*)()> texts[] = {
        {"Arguments", &Settings::Arguments},     {"Depot", &Settings::Depot},
        {"DownloadUrl", &Settings::DownloadUrl}, {"InstallGame", &Settings::InstallGame},
        {"Language", &Settings::Language},       {"Proxy", &Settings::Proxy},
        {"ProxyBypass", &Settings::ProxyBypass}, {"SingleGameId", &Settings::SingleGameId},
        {"UserName", &Settings::UserName},
    };
    for (const auto& [key, accessor] : texts) {
        EXPECT_EQ(U(accessor()), "") << key;
        EXPECT_FALSE(Settings::Has(W(key))) << key << ": reading a text leaves no entry";
        Settings::Entry(W(key)) = W(std::string("value of ") + key);
        EXPECT_EQ(U(accessor()), std::string("value of ") + key);
    }

    EXPECT_EQ(U(Settings::ExistingDir()), "");
    EXPECT_EQ(U(Settings::TempDir()), "");
    EXPECT_TRUE(Settings::Has(W("ExistingDir"))) << "the folder accessors go through Entry";
    EXPECT_TRUE(Settings::Has(W("TempDir")));
    EXPECT_FALSE(Settings::SelfUpdate());
    Settings::Entry(W("TempDir")) = W("/tmp/x");
    EXPECT_EQ(U(Settings::TempDir()), "/tmp/x");
}

TEST_F(SettingsTest, ConfigurationLinesSplitAtTheFirstEqualsAndTrimOnlyBetween)
{
    EXPECT_EQ(Configured("DownloadUrl = U"), (Dump{{"DownloadUrl", "U"}}));
    EXPECT_EQ(Configured("  Key=Value  "), (Dump{{"  Key", "Value  "}}))
        << "blanks before the key and after the value stay";
    EXPECT_EQ(Configured("\t\v\fKey \t\v\f= \t\v\fValue"), (Dump{{"\t\v\fKey", "Value"}}))
        << "tab, vertical tab and form feed are blanks too";
    EXPECT_EQ(Configured("K\xC2\xA0=\xC2\xA0V"), (Dump{{"K\xC2\xA0", "\xC2\xA0V"}}))
        << "a no-break space is not a blank";
    EXPECT_EQ(Configured("a=b=c"), (Dump{{"a", "b"}})) << "the value ends at the next equals sign";
    EXPECT_EQ(Configured("k==v"), (Dump{{"k", "v"}}));
    EXPECT_EQ(Configured("=v"), Dump{}) << "an equals sign at the start gives one piece";
    EXPECT_EQ(Configured("k="), Dump{});
    EXPECT_EQ(Configured("AppSuffix="), Dump{});
    EXPECT_EQ(Configured("no equals sign"), Dump{});
    EXPECT_EQ(Configured("[Downloader]"), Dump{});
    EXPECT_EQ(Configured(" =v"), (Dump{{"", "v"}})) << "a key of blanks trims to the empty key";
}

TEST_F(SettingsTest, CommentsSectionsAndRepeatedKeys)
{
    EXPECT_EQ(Configured("; x=1"), Dump{});
    EXPECT_EQ(Configured("   ;x=1"), Dump{}) << "a comment may follow blanks";
    EXPECT_EQ(Configured("x=1 ; not a comment"), (Dump{{"x", "1 ; not a comment"}}));
    EXPECT_EQ(Configured("#x=1"), (Dump{{"#x", "1"}})) << "# starts no comment";
    EXPECT_EQ(Configured("k=first\r\nk=second\r\nK=other"), (Dump{{"k", "first"}, {"K", "other"}}))
        << "the first line for a key wins; keys keep their case";
    EXPECT_EQ(Configured("[One]\r\na=1\r\n[Two]\r\nb=2\r\na=3"), (Dump{{"a", "1"}, {"b", "2"}}))
        << "sections are not interpreted";
}

TEST_F(SettingsTest, AnyMixOfLineEndsReadsLikeCrLf)
{
    const Dump expected{{"a", "1"}, {"b", "2"}, {"c", "3"}};
    EXPECT_EQ(Configured("a=1\r\nb=2\r\nc=3\r\n"), expected);
    EXPECT_EQ(Configured("a=1\nb=2\nc=3"), expected);
    EXPECT_EQ(Configured("a=1\rb=2\rc=3\r"), expected);
    EXPECT_EQ(Configured("\r\n\na=1\n\r\rb=2\r\n\r\nc=3\n\n"), expected) << "blank lines vanish";

    // Many lines and many pieces: more than the 8 reserved entries work the same.
    std::string many;
    Dump many_expected;
    for (int i = 0; i < 20; ++i) {
        many += "k" + std::to_string(i) + "=v" + std::to_string(i) + "=a=b=c=d=e=f=g=h=i\n";
        many_expected["k" + std::to_string(i)] = "v" + std::to_string(i);
    }
    EXPECT_EQ(Configured(many), many_expected);
}

TEST_F(SettingsTest, FlagsAndKeyCaseFromTheConfiguration)
{
    Configured("SelfUpdate=false");
    EXPECT_TRUE(Settings::SelfUpdate()) << "any value turns a flag on";
    Configured("SelfUpdate=");
    EXPECT_FALSE(Settings::SelfUpdate()) << "an empty value sets nothing";
    Configured("downloadurl=U");
    EXPECT_EQ(U(Settings::DownloadUrl()), "") << "downloadurl is another key than DownloadUrl";
    EXPECT_EQ(U(Settings::Get(W("downloadurl"), W(""))), "U");
}

TEST_F(SettingsTest, TheCompiledInShapeSetsOnlyTheDownloadAddress)
{
    EXPECT_EQ(Configured("[Downloader]\r\nDownloadUrl=http://downloads.zyrel.example/zyrel/live/ZyrelInstall.exe\r\n"
                         "AppSuffix=\r\n"),
              (Dump{{"DownloadUrl", "http://downloads.zyrel.example/zyrel/live/ZyrelInstall.exe"}}));
    EXPECT_EQ(U(Settings::Get(W("AppSuffix"), W("none"))), "none");
}

TEST_F(SettingsTest, EmptyTextChangesNothingAndCommentsStillCountAsText)
{
    Settings::Entry(W("Kept")) = W("1");
    EXPECT_FALSE(LoadConfigurationText(W("")));
    EXPECT_EQ(StoreContents(), (Dump{{"Kept", "1"}}));
    EXPECT_TRUE(LoadConfigurationText(W("; only a comment\r\n")));
    EXPECT_TRUE(LoadConfigurationText(W("\r\n\r\n")));
    EXPECT_EQ(StoreContents(), (Dump{{"Kept", "1"}}));
}

TEST_F(SettingsTest, CommandLineBeatsTheConfiguration)
{
    ArgumentList arguments = SplitCommandLine(VXN_W("ZyrelDownloader.exe -downloadurl U -language DE"));
    ScanArguments(arguments, nullptr);
    EXPECT_TRUE(LoadConfigurationText(W("DownloadUrl=http://configured/\r\nLanguage=fr\r\nProxy=p:1\r\nArguments=x")));
    EXPECT_EQ(U(Settings::DownloadUrl()), "U");
    EXPECT_EQ(U(Settings::Language()), "DE");
    EXPECT_EQ(U(Settings::Proxy()), "p:1") << "keys the command line left open come from the configuration";
    EXPECT_EQ(U(Settings::Arguments()), "-downloadurl U -language DE ")
        << "Arguments is always written by the scan, so the configuration cannot set it";
}

TEST_F(SettingsTest, ThisTestProgramCarriesNoConfiguration)
{
    // Test programs are not linked with the program's resources; the helpers that are test
    // the present case (EmbeddedConfigurationTest).
    EXPECT_EQ(U(LoadResourceText(EmbeddedConfigurationId)), "");
    EXPECT_EQ(U(LoadResourceText(4242)), "");
    Settings::Entry(W("Kept")) = W("1");
    EXPECT_FALSE(LoadEmbeddedConfiguration());
    EXPECT_EQ(StoreContents(), (Dump{{"Kept", "1"}}));
}

} // namespace
