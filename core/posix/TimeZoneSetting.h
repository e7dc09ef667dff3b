// Linux only: how the C library reads a TZ value, for the local zone (TimeZoneSource.cpp)
// and the tests.
#pragma once

#include "PosixTimeZone.h"

namespace VXN::platform {

// The description of the zone that a TZ value names, as the C library reads it.
// `tz` null (TZ unset): the zone file `localtime` (normally /etc/localtime). "" : UTC.
// ":name" or "name": the zone file of that name, absolute or under $TZDIR (default
// /usr/share/zoneinfo); a value without ':' that names no zone file is read as a rule
// ("CET-1CEST,M3.5.0,M10.5.0/3"). Whatever cannot be read or parsed gives UTC, as it
// does for the C library. A zone read from a file is named after it ("Europe/Berlin",
// also for /etc/localtime when it links into the zone folder) where the name fits
// StandardName; otherwise the names are the rule's abbreviations.
void DescribeTimeZoneSetting(const char* tz, const char* localtime, int year, TimeZoneInformation& information);

} // namespace VXN::platform
