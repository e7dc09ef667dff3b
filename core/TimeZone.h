// Time zones: the description of a zone's offsets and daylight-saving rules, the two
// zones the program knows (the computer's and UTC) and the registry that holds them.
//
// The description has exactly the fields of Windows' TIME_ZONE_INFORMATION, so Windows
// fills it with GetTimeZoneInformation and the rest of the program reads one format on
// every platform. Linux builds it from the system's zone rules (core/posix).
#pragma once

#include "Result.h"

#include <vxnstl/base>

#include <atomic>
#include <cstdint>

namespace VXN {

// Calendar fields with the layout of Windows' SYSTEMTIME (day of week 0 = Sunday).
struct SystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

// A zone description: UTC = local time + bias, biases in minutes. Local standard time is
// UTC - (Bias + StandardBias), local daylight time UTC - (Bias + DaylightBias).
//
// StandardDate and DaylightDate say when standard and daylight time begin: with wYear 0,
// on the wDay-th (1-5, 5 meaning the last) wDayOfWeek of wMonth, at wHour:wMinute:wSecond
// local time as it reads before the change; with wYear set, on the date wMonth/wDay,
// which the conversion applies in every year as SystemTimeToTzSpecificLocalTime does (the
// Windows tests compare the two; February 29 becomes the 28th in other years). A
// DaylightDate.wMonth of 0 means the zone has no daylight time; the biases then do not
// apply at all.
//
// One extension beyond Windows, used only by descriptions made from POSIX rules: wHour of
// a rule, read as a signed 16-bit number, may lie anywhere in -167..167, meaning that many
// hours from midnight of the rule's day ("M3.5.0/-1" is 23:00 on the Saturday before the
// last Sunday of March). GetTimeZoneInformation never produces such hours.
struct TimeZoneInformation {
    std::int32_t Bias = 0;
    vxn::wchar StandardName[32] = {};
    SystemTime StandardDate;
    std::int32_t StandardBias = 0;
    vxn::wchar DaylightName[32] = {};
    SystemTime DaylightDate;
    std::int32_t DaylightBias = 0;
};

static_assert(sizeof(SystemTime) == 16, "SystemTime has the layout of SYSTEMTIME");
static_assert(sizeof(TimeZoneInformation) == 172, "TimeZoneInformation has the layout of TIME_ZONE_INFORMATION");

// A zone: its UTF-8 name (cut to 31 bytes, at a character boundary, and terminated) and
// its description. Zones and descriptions live until the process ends.
class TimeZone {
public:
    char name[32] = {};
    TimeZoneInformation* information = nullptr;
};

// Where the computer's zone description comes from: fills `information` and answers true,
// or answers false with the system's error code in `error`.
using TimeZoneSource = bool (*)(TimeZoneInformation& information, std::uint32_t& error);

// The platform's source: GetTimeZoneInformation on Windows; on Linux the rules that TZ
// names, else /etc/localtime (see core/posix/TimeZoneSource.cpp), UTC when there are none.
bool SystemTimeZoneSource(TimeZoneInformation& information, std::uint32_t& error);

// Replaces the source that InitTimeZones asks (null: the platform's) and answers the
// previous one. For tests, which inject descriptions; the program never calls it.
TimeZoneSource SetTimeZoneSource(TimeZoneSource source);

// The registry's initialised flag. Callers may read it before calling InitTimeZones to
// save the call; it is set before the zones are created, so a reader that sees it early
// finds no local zone yet and shows UTC.
extern std::atomic<bool> timeZonesInitialised;

// Creates the local and the UTC zone and the registry on the first call; later calls
// succeed at once. When the source fails, the flag is cleared again and the next call
// retries.
Result InitTimeZones();

// The two zones; null before initialisation.
TimeZone* GetLocalTimeZone();
TimeZone* GetUtcTimeZone();

// The registry's zone of that full UTF-8 name, or null.
TimeZone* FindTimeZone(const char* name);

namespace detail {
// Test-only: forgets the zones and the map (freeing them) and clears the flag, so the next
// InitTimeZones starts afresh. Must not run while another thread uses the zones.
void ResetTimeZonesForTests();
} // namespace detail

} // namespace VXN

namespace vxn {

// The registry's map names its value type in assertion reports ("class VXN::TimeZone *").
template <>
struct type_name<VXN::TimeZone> {
    static void write(name_builder& b) { b.add("class VXN::TimeZone"); }
};

} // namespace vxn
