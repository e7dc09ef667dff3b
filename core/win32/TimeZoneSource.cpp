// The computer's zone description on Windows.
#include "TimeZone.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace VXN {

// TimeZoneInformation mirrors TIME_ZONE_INFORMATION field for field, so the system's
// answer is taken over as it is.
static_assert(std::is_trivially_copyable_v<TimeZoneInformation> &&
                  sizeof(TIME_ZONE_INFORMATION) == sizeof(TimeZoneInformation) &&
                  offsetof(TIME_ZONE_INFORMATION, StandardDate) == offsetof(TimeZoneInformation, StandardDate) &&
                  offsetof(TIME_ZONE_INFORMATION, DaylightDate) == offsetof(TimeZoneInformation, DaylightDate) &&
                  offsetof(TIME_ZONE_INFORMATION, DaylightBias) == offsetof(TimeZoneInformation, DaylightBias),
              "the same 172 bytes, field for field");

bool SystemTimeZoneSource(TimeZoneInformation& information, std::uint32_t& error)
{
    TIME_ZONE_INFORMATION system = {};
    if (GetTimeZoneInformation(&system) == TIME_ZONE_ID_INVALID) {
        error = GetLastError();
        return false;
    }
    std::memcpy(static_cast<void*>(&information), &system, sizeof(information));
    return true;
}

} // namespace VXN
