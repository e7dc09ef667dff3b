// The time-zone registry, zone descriptions from POSIX rules and zone files, and (on
// Linux) agreement with the C library's local time for every zone the system has.
#include "DateTime.h"
#include "PosixTimeZone.h"
#include "TimeConversion.h"
#include "TimeZone.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include "posix/TimeZoneSetting.h"
#endif

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using VXN::SystemTime;
using VXN::TimeZone;
using VXN::TimeZoneInformation;

std::string narrow(const vxn::wchar* text)
{
    std::string result;
    for (; *text != 0; ++text)
        result.push_back(static_cast<char>(*text));
    return result;
}

void set_name(vxn::wchar (&field)[32], const char* utf8)
{
    vxn::wstring wide;
    wide.assign_utf8(utf8, vxn::length_of(utf8));
    ASSERT_LE(wide.size(), 31u);
    for (vxn::u32 i = 0; i <= wide.size(); ++i)
        field[i] = wide.c_str()[i];
}

std::string rule_text(const SystemTime& rule)
{
    return std::to_string(rule.wYear) + "/" + std::to_string(rule.wMonth) + "." + std::to_string(rule.wDay) + "." +
           std::to_string(rule.wDayOfWeek) + "@" + std::to_string(static_cast<std::int16_t>(rule.wHour)) + ":" +
           std::to_string(rule.wMinute) + ":" + std::to_string(rule.wSecond);
}

// ---- the registry ---------------------------------------------------------------------

// What the injected sources give, and how often they were asked.
std::atomic<int> source_calls{0};
TimeZoneInformation injected;

bool failing_source(TimeZoneInformation&, std::uint32_t& error)
{
    ++source_calls;
    error = 5;
    return false;
}

bool give_injected(TimeZoneInformation& information, std::uint32_t& error)
{
    error = 0;
    information = injected;
    return true;
}

bool injected_source(TimeZoneInformation& information, std::uint32_t& error)
{
    ++source_calls;
    return give_injected(information, error);
}

// Whatever the source does may come back into InitTimeZones (a log line stamps itself).
bool reentrant_source(TimeZoneInformation& information, std::uint32_t& error)
{
    ++source_calls;
    EXPECT_EQ(VXN::InitTimeZones().status, 0);
    EXPECT_EQ(VXN::GetLocalTimeZone(), nullptr);
    const VXN::DateTime inside(0);
    EXPECT_STREQ(inside.OffsetText(), "+00");
    return give_injected(information, error);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        VXN::detail::ResetTimeZonesForTests();
        source_calls = 0;
        injected = TimeZoneInformation();
    }

    void TearDown() override
    {
        VXN::SetTimeZoneSource(nullptr);
        VXN::detail::ResetTimeZonesForTests();
    }

    // Starts the zones with the injected one as the local zone.
    static void start_with_local_zone(const char* name, std::int32_t bias)
    {
        set_name(injected.StandardName, name);
        injected.Bias = bias;
        VXN::SetTimeZoneSource(injected_source);
        ASSERT_EQ(VXN::InitTimeZones().status, 0);
    }
};

TEST_F(Registry, FailingSourceClearsTheFlagAndIsAskedAgain)
{
    VXN::SetTimeZoneSource(failing_source);
    EXPECT_EQ(VXN::InitTimeZones().status, VXN::Result::Failure);
    EXPECT_FALSE(VXN::timeZonesInitialised.load());
    EXPECT_EQ(VXN::GetLocalTimeZone(), nullptr);
    EXPECT_EQ(VXN::GetUtcTimeZone(), nullptr);
    EXPECT_EQ(source_calls, 1);

    // A DateTime made meanwhile retries, fails again, and reads as UTC without a zone.
    const VXN::DateTime meanwhile(116444736000000000ull);
    EXPECT_EQ(source_calls, 2);
    EXPECT_EQ(meanwhile.Zone(), nullptr);
    EXPECT_STREQ(meanwhile.OffsetText(), "+00");
    EXPECT_EQ(meanwhile.Year(), 1970);

    start_with_local_zone("India Standard Time", -330);
    EXPECT_TRUE(VXN::timeZonesInitialised.load());
    EXPECT_EQ(source_calls, 3);
    ASSERT_NE(VXN::GetLocalTimeZone(), nullptr);
    EXPECT_STREQ(VXN::GetLocalTimeZone()->name, "India Standard Time");
    EXPECT_EQ(VXN::GetLocalTimeZone()->information->Bias, -330);

    // Once initialised, nothing asks the source again.
    EXPECT_EQ(VXN::InitTimeZones().status, 0);
    VXN::DateTime later(116444736000000000ull);
    EXPECT_EQ(source_calls, 3);
    ASSERT_EQ(later.SetZone(VXN::GetLocalTimeZone()).status, 0);
    EXPECT_STREQ(later.OffsetText(), "+0530");
}

TEST_F(Registry, ZonesNamesAndTheMap)
{
    // 40 bytes of UTF-8 in 27 UTF-16 units: "Zone_", 13 two-byte letters, 9 more.
    const char* long_name = "Zone_\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                            "\xC3\xA9\xC3\xA9\xC3\xA9"
                            "abcdefghi";
    ASSERT_EQ(std::strlen(long_name), 40u);
    start_with_local_zone(long_name, 480);

    TimeZone* local = VXN::GetLocalTimeZone();
    TimeZone* utc = VXN::GetUtcTimeZone();
    ASSERT_NE(local, nullptr);
    ASSERT_NE(utc, nullptr);
    EXPECT_EQ(std::string(local->name), std::string(long_name, 31));
    EXPECT_EQ(VXN::FindTimeZone(long_name), local);
    EXPECT_EQ(VXN::FindTimeZone(std::string(long_name, 31).c_str()), nullptr);
    EXPECT_STREQ(utc->name, "UTC");
    EXPECT_EQ(VXN::FindTimeZone("UTC"), utc);
    // The UTC zone's description is all zeros.
    EXPECT_EQ(utc->information->Bias, 0);
    EXPECT_EQ(utc->information->DaylightDate.wMonth, 0);
    EXPECT_EQ(utc->information->StandardName[0], 0);

    // The map reports its value type as the program's assertion texts always did.
    vxn::name_builder text;
    vxn::type_name<TimeZone*>::write(text);
    EXPECT_STREQ(text.text, "class VXN::TimeZone *");
}

TEST_F(Registry, NamesAreCutAtACharacterBoundary)
{
    // "Zone" and 18 two-byte letters: byte 31 is the middle of a letter, which is left out
    // whole rather than split.
    std::string name = "Zone";
    for (int i = 0; i < 18; ++i)
        name += "\xC3\xA9";
    start_with_local_zone(name.c_str(), 0);
    EXPECT_EQ(std::string(VXN::GetLocalTimeZone()->name), name.substr(0, 30));
    EXPECT_EQ(VXN::FindTimeZone(name.c_str()), VXN::GetLocalTimeZone());
}

TEST_F(Registry, LocalZoneNamedUtcKeepsTheEntry)
{
    start_with_local_zone("UTC", -60);
    EXPECT_EQ(VXN::FindTimeZone("UTC"), VXN::GetLocalTimeZone());
    ASSERT_NE(VXN::GetUtcTimeZone(), nullptr);
    EXPECT_NE(VXN::GetUtcTimeZone(), VXN::GetLocalTimeZone());
    EXPECT_STREQ(VXN::GetUtcTimeZone()->name, "UTC");
    EXPECT_EQ(VXN::GetUtcTimeZone()->information->Bias, 0);
}

TEST_F(Registry, ReentryFromTheSourceAndConcurrentFirstUse)
{
    injected.Bias = -60;
    VXN::SetTimeZoneSource(reentrant_source);
    ASSERT_EQ(VXN::InitTimeZones().status, 0);
    EXPECT_EQ(source_calls, 1);
    ASSERT_NE(VXN::GetLocalTimeZone(), nullptr);

    // Eight threads reach for the zones at once: one of them asks the source, every
    // stamp reads either the local zone or (before it exists) UTC.
    VXN::detail::ResetTimeZonesForTests();
    source_calls = 0;
    VXN::SetTimeZoneSource(injected_source);
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&bad] {
            for (int i = 0; i < 200; ++i) {
                VXN::DateTime now = VXN::DateTime::Now();
                if (!VXN::timeZonesInitialised.load())
                    (void)VXN::InitTimeZones();
                (void)now.SetZone(VXN::GetLocalTimeZone());
                const std::string text = now.OffsetText();
                if (text != "+01" && text != "+00")
                    ++bad;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(source_calls, 1);
}

// ---- POSIX rules ----------------------------------------------------------------------

TimeZoneInformation parse(const char* rule, int year = 2024)
{
    TimeZoneInformation info;
    EXPECT_TRUE(VXN::ParsePosixTimeZone(rule, year, info)) << rule;
    return info;
}

// A zone description on one line: the three biases, the names, the daylight and the
// standard rule.
std::string described(const TimeZoneInformation& info)
{
    return std::to_string(info.Bias) + " " + std::to_string(info.StandardBias) + " " + std::to_string(info.DaylightBias) +
           " " + narrow(info.StandardName) + "/" + narrow(info.DaylightName) + " " + rule_text(info.DaylightDate) + " " +
           rule_text(info.StandardDate);
}

struct rule_case {
    const char* rule;
    int year;
    const char* described;
};

void expect_described(std::initializer_list<rule_case> cases)
{
    for (const rule_case& c : cases)
        EXPECT_EQ(described(parse(c.rule, c.year)), c.described) << c.rule << " in " << c.year;
}

TEST(PosixRules, OffsetsNamesAndWeekdayRules)
{
    expect_described({
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2024, "-60 0 -60 CET/CEST 0/3.5.0@2:0:0 0/10.5.0@3:0:0"},
        {"<+0530>-5:30", 2024, "-330 0 0 +0530/ 0/0.0.0@0:0:0 0/0.0.0@0:0:0"},
        // No daylight rules given: the C library's default (second Sunday of March to the
        // first Sunday of November); no daylight offset: one hour ahead.
        {"EST5EDT", 2024, "300 0 -60 EST/EDT 0/3.2.0@2:0:0 0/11.1.0@2:0:0"},
        {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", 2024, "-630 0 -30 +1030/+11 0/10.1.0@2:0:0 0/4.1.0@2:0:0"},
        {"<-03>+3", 2024, "180 0 0 -03/ 0/0.0.0@0:0:0 0/0.0.0@0:0:0"},
        {"LMT-0:53:28", 2024, "-53 0 0 LMT/ 0/0.0.0@0:0:0 0/0.0.0@0:0:0"}, // seconds are dropped
        {"XYZ+24", 2024, "1440 0 0 XYZ/ 0/0.0.0@0:0:0 0/0.0.0@0:0:0"},
    });
}

TEST(PosixRules, RuleTimesOutsideTheDayAndOtherDateForms)
{
    expect_described({
        // Hours from -167 to 167 keep their sign in the rule's hour field.
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", 2024, "120 0 -60 -02/-01 0/3.5.0@-1:0:0 0/10.5.0@0:0:0"},
        {"EET-2EEST,M3.4.4/50,M10.4.4/50", 2024, "-120 0 -60 EET/EEST 0/3.4.4@50:0:0 0/10.4.4@50:0:0"},
        {"XXX3YYY,M3.2.0/-1:30,M11.1.0/167", 2024, "180 0 -60 XXX/YYY 0/3.2.0@-2:30:0 0/11.1.0@167:0:0"},
        // Jn never counts February 29: J60 is March 1 in leap years too.
        {"XXX3YYY,J60/1,J300", 2024, "180 0 -60 XXX/YYY 2024/3.1.5@1:0:0 2024/10.27.0@2:0:0"},
        // n counts from 0 and includes February 29.
        {"XXX3YYY,59,300", 2024, "180 0 -60 XXX/YYY 2024/2.29.4@2:0:0 2024/10.27.0@2:0:0"},
        {"XXX3YYY,59,300", 2023, "180 0 -60 XXX/YYY 2023/3.1.3@2:0:0 2023/10.28.6@2:0:0"},
        // Daylight time all year round is a fixed offset at the daylight bias.
        {"EST5EDT,0/0,J365/25", 2024, "240 0 0 EST/EDT 0/0.0.0@0:0:0 0/0.0.0@0:0:0"},
    });
}

TEST(PosixRules, MalformedTextIsRefused)
{
    TimeZoneInformation info;
    for (const char* text : {"", "AB-1", "CET", "CET-", "CET-1CEST,M13.1.0,M10.5.0", "CET-1CEST,M3.5.0",
                             "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0", "CET-1CEST,M3.5.0,M10.5.0/168",
                             "CET-1 ", "<ABC-1", "CET-25", "CET-1:60", "CET-1CEST,J0,J365", "CET-1CEST,366,1",
                             "CET-1CEST,M3.5.0,M10.5.0,", "CET-1CE", "-1CEST"}) {
        EXPECT_FALSE(VXN::ParsePosixTimeZone(text, 2024, info)) << text;
    }
    EXPECT_FALSE(VXN::ParsePosixTimeZone(nullptr, 2024, info));
}

// ---- zone files -----------------------------------------------------------------------

void put32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

struct LocalType {
    std::int32_t offset;
    std::string name;
};

// TZif data: one header and block (version 1), or two and a footer (later versions).
std::string tzif(char version, const std::vector<std::int64_t>& times, const std::vector<int>& kinds,
                 const std::vector<LocalType>& types, const std::string& footer)
{
    std::string names;
    std::vector<int> name_index;
    for (const LocalType& type : types) {
        name_index.push_back(static_cast<int>(names.size()));
        names += type.name;
        names.push_back('\0');
    }
    const auto block = [&](int time_size) {
        std::string out = "TZif";
        out.push_back(version);
        out.append(15, '\0');
        for (std::size_t count : {std::size_t{0}, std::size_t{0}, std::size_t{0}, times.size(), types.size(),
                                  names.size()})
            put32(out, static_cast<std::uint32_t>(count));
        for (std::int64_t time : times) {
            if (time_size == 8)
                put32(out, static_cast<std::uint32_t>(static_cast<std::uint64_t>(time) >> 32));
            put32(out, static_cast<std::uint32_t>(time));
        }
        for (int kind : kinds)
            out.push_back(static_cast<char>(kind));
        for (std::size_t i = 0; i < types.size(); ++i) {
            put32(out, static_cast<std::uint32_t>(types[i].offset));
            out.push_back('\0');
            out.push_back(static_cast<char>(name_index[i]));
        }
        return out + names;
    };
    if (version == '\0')
        return block(4);
    return block(4) + block(8) + "\n" + footer + "\n";
}

std::string rule_of(const std::string& data)
{
    vxn::string rule;
    if (!VXN::TzifRule(reinterpret_cast<const unsigned char*>(data.data()), data.size(), rule))
        return "(none)";
    return std::string(rule.c_str(), rule.size());
}

TEST(ZoneFiles, FooterOrTheLastLocalTimeType)
{
    const std::vector<LocalType> types = {{3600, "CET"}, {7200, "CEST"}, {19800, "+0530"}};
    EXPECT_EQ(rule_of(tzif('2', {100, 200}, {1, 0}, types, "CET-1CEST,M3.5.0,M10.5.0/3")),
              "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(rule_of(tzif('3', {100, 200}, {1, 2}, types, "")), "<+0530>-5:30:00");
    EXPECT_EQ(rule_of(tzif('\0', {100}, {1}, types, "")), "<CEST>-2:00:00");
    EXPECT_EQ(rule_of(tzif('\0', {}, {}, {{-12600, "-0330"}}, "")), "<-0330>3:30:00");
    EXPECT_EQ(rule_of(tzif('2', {}, {}, {{-13, "LMT"}}, "")), "<LMT>0:00:13");

    TimeZoneInformation info;
    ASSERT_TRUE(VXN::ParsePosixTimeZone(rule_of(tzif('2', {100}, {2}, types, "")).c_str(), 2024, info));
    EXPECT_EQ(info.Bias, -330);

    // Cut short anywhere, or not TZif at all: no rule.
    const std::string whole = tzif('2', {100, 200}, {1, 0}, types, "CET-1CEST,M3.5.0,M10.5.0/3");
    for (std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{43}, std::size_t{60},
                               whole.size() / 2, whole.size() - 30, whole.size() - 1}) {
        EXPECT_EQ(rule_of(whole.substr(0, length)), "(none)") << length;
    }
    EXPECT_EQ(rule_of("TZxf" + whole.substr(4)), "(none)");
    std::string huge_counts = whole;
    huge_counts[20 + 12] = '\x7F'; // a transition count far beyond the data
    EXPECT_EQ(rule_of(huge_counts), "(none)");
}

#if defined(_WIN32)

TEST_F(Registry, LocalZoneIsTheSystemsZone)
{
    TIME_ZONE_INFORMATION system = {};
    ASSERT_NE(GetTimeZoneInformation(&system), TIME_ZONE_ID_INVALID);
    ASSERT_EQ(VXN::InitTimeZones().status, 0);
    const TimeZone* local = VXN::GetLocalTimeZone();
    ASSERT_NE(local, nullptr);
    vxn::string name;
    name.assign_utf16(system.StandardName, vxn::length_of(system.StandardName));
    EXPECT_EQ(VXN::FindTimeZone(name.c_str()), local);
    EXPECT_EQ(local->information->Bias, system.Bias);
    EXPECT_EQ(local->information->DaylightBias, system.DaylightBias);
    EXPECT_EQ(local->information->DaylightDate.wMonth, system.DaylightDate.wMonth);

    // The local reading of now agrees with the system's own conversion.
    SYSTEMTIME utc = {};
    GetSystemTime(&utc);
    SYSTEMTIME expected = {};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &expected));
    FILETIME file = {};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &file));
    VXN::DateTime now((static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
    ASSERT_EQ(now.SetZone(local).status, 0);
    EXPECT_EQ(now.Year(), expected.wYear);
    EXPECT_EQ(now.Month(), expected.wMonth);
    EXPECT_EQ(now.Day(), expected.wDay);
    EXPECT_EQ(now.Hour(), expected.wHour);
    EXPECT_EQ(now.Minute(), expected.wMinute);
    EXPECT_EQ(now.Millisecond(), expected.wMilliseconds);
}

#else

std::string read_bytes(const std::filesystem::path& path)
{
    return zyrel_test::read_file(path);
}

const std::filesystem::path zone_folder = "/usr/share/zoneinfo";

// The name and bias a TZ setting gives, or with no setting the file in place of
// /etc/localtime; each field starts out as something else.
std::string setting_of(const char* tz, const std::filesystem::path& localtime = zone_folder / "Asia/Tokyo")
{
    TimeZoneInformation info;
    info.Bias = 99;
    VXN::platform::DescribeTimeZoneSetting(tz, localtime.c_str(), 2024, info);
    return narrow(info.StandardName) + " " + std::to_string(info.Bias);
}

TEST(ZoneFiles, TheSystemsZoneFilesAndTheTzSetting)
{
    ASSERT_TRUE(std::filesystem::exists(zone_folder / "Europe/Berlin"));
    EXPECT_EQ(rule_of(read_bytes(zone_folder / "Europe/Berlin")), "CET-1CEST,M3.5.0,M10.5.0/3");
    TimeZoneInformation info;
    VXN::platform::DescribeTimeZoneSetting(":Europe/Berlin", "/nonexistent", 2024, info);
    EXPECT_EQ(described(info), "-60 0 -60 Europe/Berlin/CEST 0/3.5.0@2:0:0 0/10.5.0@3:0:0");

    const std::pair<const char*, const char*> settings[] = {
        {"Asia/Kolkata", "Asia/Kolkata -330"},
        {"/usr/share/zoneinfo/America/New_York", "America/New_York 300"},
        {":/usr/share/zoneinfo/posix/Australia/Sydney", "Australia/Sydney -600"},
        {"NZST-12NZDT,M9.5.0,M4.1.0/3", "NZST -720"}, // a rule rather than a file
        // Empty, missing or unreadable: UTC, as for the C library.
        {"", "UTC 0"}, {":", "UTC 0"}, {":Nowhere/Missing", "UTC 0"}, {"%%%", "UTC 0"}, {":/etc/passwd", "UTC 0"},
    };
    for (const auto& [tz, expected] : settings)
        EXPECT_EQ(setting_of(tz), expected) << tz;
    // A name too long for the field keeps the rule's abbreviation.
    if (std::filesystem::exists(zone_folder / "America/Argentina/ComodRivadavia")) {
        EXPECT_EQ(setting_of(":America/Argentina/ComodRivadavia"), "-03 180");
    }
}

TEST(ZoneFiles, LocaltimeLinkCopyOrNothing)
{
    const zyrel_test::temp_folder folder;
    const std::filesystem::path link = folder.path() / "localtime-link";
    std::filesystem::create_symlink(zone_folder / "America/New_York", link);
    TimeZoneInformation info;
    VXN::platform::DescribeTimeZoneSetting(nullptr, link.c_str(), 2024, info);
    EXPECT_EQ(narrow(info.StandardName), "America/New_York");
    EXPECT_EQ(info.Bias, 300);
    EXPECT_EQ(info.DaylightBias, -60);

    // A copy has no zone name to offer: the abbreviation stands in.
    EXPECT_EQ(setting_of(nullptr, folder.write("localtime-copy", read_bytes(zone_folder / "Asia/Tokyo"))), "JST -540");
    EXPECT_EQ(setting_of(nullptr, folder.path() / "missing"), "UTC 0");
    EXPECT_EQ(setting_of(nullptr, folder.write("junk", "not a zone file\n")), "UTC 0");
}

// Our offset for an instant under a description, in seconds east of UTC.
long our_offset(const TimeZoneInformation& info, std::time_t when)
{
    TimeZone zone;
    zone.information = const_cast<TimeZoneInformation*>(&info);
    VXN::DateTime time(116444736000000000ull + static_cast<std::uint64_t>(when) * 10000000ull);
    EXPECT_EQ(time.SetZone(&zone).status, 0);
    return static_cast<long>(time.Offset().ticks / 10000000);
}

long c_library_offset(std::time_t when)
{
    std::tm fields = {};
    localtime_r(&when, &fields);
    return fields.tm_gmtoff;
}

void use_tz(const char* value)
{
    if (value == nullptr)
        unsetenv("TZ");
    else
        setenv("TZ", value, 1);
    tzset();
}

// Restores TZ when a test that changes it ends.
class SavedTz {
public:
    SavedTz()
    {
        const char* value = std::getenv("TZ");
        m_set = value != nullptr;
        if (m_set)
            m_value = value;
    }
    ~SavedTz() { use_tz(m_set ? m_value.c_str() : nullptr); }

private:
    bool m_set = false;
    std::string m_value;
};

TEST(ZoneFiles, SystemSourceReadsTzAndEtcLocaltime)
{
    const SavedTz saved;
    const std::time_t now = std::time(nullptr);

    use_tz(":Asia/Kolkata");
    TimeZoneInformation info;
    std::uint32_t error = 99;
    ASSERT_TRUE(VXN::SystemTimeZoneSource(info, error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(narrow(info.StandardName), "Asia/Kolkata");
    EXPECT_EQ(info.Bias, -330);

    // Without TZ: /etc/localtime, whichever zone this machine is in, read as the C library
    // reads it.
    use_tz(nullptr);
    ASSERT_TRUE(VXN::SystemTimeZoneSource(info, error));
    if (std::filesystem::exists("/etc/localtime")) {
        for (int day = 0; day < 365; day += 7) {
            const std::time_t when = now + day * 86400;
            EXPECT_EQ(our_offset(info, when), c_library_offset(when)) << day;
        }
    } else {
        EXPECT_EQ(narrow(info.StandardName), "UTC");
    }
}

// The zone files of the system, without the "posix/" and "right/" copies (the former are
// the same files; the latter count leap seconds and carry no rule).
std::vector<std::filesystem::path> zone_files()
{
    std::vector<std::filesystem::path> files;
    for (auto entry = std::filesystem::recursive_directory_iterator(zone_folder);
         entry != std::filesystem::recursive_directory_iterator(); ++entry) {
        const std::string relative = std::filesystem::relative(entry->path(), zone_folder).string();
        if (entry->is_directory() && (relative == "posix" || relative == "right")) {
            entry.disable_recursion_pending();
            continue;
        }
        if (entry->is_regular_file())
            files.push_back(entry->path());
    }
    return files;
}

// 24 instants spread over a year, at different times of day.
std::vector<std::time_t> instants_of(int year)
{
    std::tm first = {};
    first.tm_year = year - 1900;
    first.tm_mday = 1;
    const std::time_t start = timegm(&first);
    std::vector<std::time_t> instants;
    for (int i = 0; i < 24; ++i)
        instants.push_back(start + static_cast<std::time_t>(i) * 15 * 86400 + 3 * 86400 + 37 * 60 * i);
    return instants;
}

// Compares our offsets under `info` with the C library's under the rule text: at the
// instants, and around every change of offset between two neighbouring instants (found by
// bisection). Answers the number of changes crossed.
int expect_agreement(const TimeZoneInformation& info, const std::string& rule, const std::vector<std::time_t>& instants,
                     const std::string& label)
{
    use_tz(rule.c_str());
    std::vector<std::time_t> probes = instants;
    int changes = 0;
    for (std::size_t i = 0; i + 1 < instants.size(); ++i) {
        std::time_t low = instants[i];
        std::time_t high = instants[i + 1];
        if (c_library_offset(low) == c_library_offset(high))
            continue;
        while (high - low > 1) {
            const std::time_t middle = low + (high - low) / 2;
            (c_library_offset(middle) == c_library_offset(low) ? low : high) = middle;
        }
        ++changes;
        for (std::time_t delta : {-3600, -60, -1, 0, 60, 3599})
            probes.push_back(high + delta);
    }
    for (std::time_t when : probes)
        EXPECT_EQ(our_offset(info, when), c_library_offset(when)) << label << " rule " << rule << " at " << when;
    return changes;
}

int current_year()
{
    const std::time_t now = std::time(nullptr);
    std::tm today = {};
    gmtime_r(&now, &today);
    return today.tm_year + 1900;
}

// For every zone whose file ends with a rule: our offset at 24 instants of this year, and
// around every change of offset the rule makes this year, equals what the C library
// computes from that rule (TZ set to the rule text itself). With TZ naming the file, the
// C library applies the file's transition table where it covers the date and the rule
// after it; where the two disagree this year (a zone whose table holds special dates,
// say), the zone is reported, not failed: our description is the rule.
TEST(ZoneFiles, EveryZoneAgreesWithTheCLibrary)
{
    const SavedTz saved;
    const int year = current_year();
    const std::vector<std::time_t> instants = instants_of(year);

    int zones = 0;
    int with_daylight = 0;
    int changes = 0;
    std::vector<std::string> table_differs;
    for (const std::filesystem::path& path : zone_files()) {
        const std::string bytes = read_bytes(path);
        const bool empty_footer = bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\n\n") == 0;
        const std::string rule = rule_of(bytes);
        if (bytes.size() < 5 || bytes.compare(0, 4, "TZif") != 0 || bytes[4] < '2' || empty_footer ||
            rule == "(none)")
            continue; // not a zone file, or no rule of its own at the end
        TimeZoneInformation info;
        VXN::platform::DescribeTimeZoneSetting((":" + path.string()).c_str(), "/nonexistent", year, info);
        ++zones;
        with_daylight += info.DaylightDate.wMonth != 0 ? 1 : 0;
        changes += expect_agreement(info, rule, instants, path.string());

        use_tz((":" + path.string()).c_str());
        for (std::time_t when : instants) {
            if (our_offset(info, when) != c_library_offset(when)) {
                table_differs.push_back(path.string());
                break;
            }
        }
    }
    for (const std::string& zone : table_differs)
        std::printf("note: the transition table of %s differs from its rule this year\n", zone.c_str());
    std::printf("compared %d zones (%d with daylight time, %d changes of offset)\n", zones, with_daylight, changes);
    EXPECT_GT(zones, 300);
    EXPECT_GT(with_daylight, 50);
    EXPECT_GT(changes, 100);
}

// Rule shapes that no zone file uses today, over several years: Julian days (right in
// every year), zero-based days (right in the year they were read for), times outside the
// day, and the southern hemisphere.
TEST(ZoneFiles, UnusualRulesAgreeWithTheCLibrary)
{
    const SavedTz saved;
    int changes = 0;
    for (int year : {2023, 2024, 2025, 2028}) {
        for (const char* rule : {"AAA3BBB,J60/1,J300", "AAA-10BBB,J300/-3,J60/30", "AAA-2BBB,M3.4.4/50,M10.4.4/50",
                                 "<-04>4<-03>,M9.1.6/24,M4.1.6/24", "AAA-13BBB-14,M9.5.0/-2:30,M4.1.0/3",
                                 "EST5EDT,0/0,J365/25", "AAA5BBB4:30,M3.2.0/0:30,M11.1.0/1:45"}) {
            TimeZoneInformation info;
            ASSERT_TRUE(VXN::ParsePosixTimeZone(rule, 2024, info)) << rule;
            changes += expect_agreement(info, rule, instants_of(year), std::to_string(year));
        }
        TimeZoneInformation zero_based;
        ASSERT_TRUE(VXN::ParsePosixTimeZone("AAA3BBB,59/2,300/3", year, zero_based));
        changes += expect_agreement(zero_based, "AAA3BBB,59/2,300/3", instants_of(year), std::to_string(year));
    }
    EXPECT_GT(changes, 40);
}

#endif

} // namespace
