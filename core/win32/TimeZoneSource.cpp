// The computer's zone description on Windows.
#include "TimeZone.h"

#include <windows.h>

#include <cstring>

namespace VXN {

static_assert(sizeof(TIME_ZONE_INFORMATION) == sizeof(TimeZoneInformation), "the same 172 bytes");

namespace {

SystemTime Fields(const SYSTEMTIME& time)
{
    SystemTime fields;
    fields.wYear = time.wYear;
    fields.wMonth = time.wMonth;
    fields.wDayOfWeek = time.wDayOfWeek;
    fields.wDay = time.wDay;
    fields.wHour = time.wHour;
    fields.wMinute = time.wMinute;
    fields.wSecond = time.wSecond;
    fields.wMilliseconds = time.wMilliseconds;
    return fields;
}

} // namespace

bool SystemTimeZoneSource(TimeZoneInformation& information, std::uint32_t& error)
{
    TIME_ZONE_INFORMATION system = {};
    if (GetTimeZoneInformation(&system) == TIME_ZONE_ID_INVALID) {
        error = GetLastError();
        return false;
    }
    information.Bias = system.Bias;
    std::memcpy(information.StandardName, system.StandardName, sizeof(information.StandardName));
    information.StandardDate = Fields(system.StandardDate);
    information.StandardBias = system.StandardBias;
    std::memcpy(information.DaylightName, system.DaylightName, sizeof(information.DaylightName));
    information.DaylightDate = Fields(system.DaylightDate);
    information.DaylightBias = system.DaylightBias;
    return true;
}

} // namespace VXN
