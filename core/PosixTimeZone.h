// Zone descriptions from the POSIX and TZif forms of time-zone rules, the way Linux keeps
// them: a rule text such as "CET-1CEST,M3.5.0,M10.5.0/3" (the TZ variable, or the last
// line of a zone file) and the zone files under /usr/share/zoneinfo. Pure parsing, built
// on every platform; core/posix/TimeZoneSource.cpp feeds it the system's files.
#pragma once

#include "TimeZone.h"

#include <vxnstl/string>

#include <cstddef>
#include <cstdint>

namespace VXN {

// Parses a POSIX rule into a description, or answers false for text that is not one.
//
// - Bias is the standard offset in minutes, with the rule's sign: "CET-1" is one hour
//   ahead of UTC, Bias -60. DaylightBias is the daylight offset minus the standard one
//   (-60 when the daylight offset is left out); StandardBias is 0. Seconds in offsets are
//   dropped: no zone in use has them.
// - StandardName and DaylightName are the rule's abbreviations ("CET", "CEST"; "+0530"
//   for "<+0530>-5:30").
// - "Mm.w.d[/time]" becomes a rule with wYear 0, as Windows keeps them. Rule times beyond
//   24 hours or negative ("/25", "/-1", up to 167 hours) use the signed-hour extension of
//   TimeZoneInformation. A daylight name without rules gets the C library's default,
//   "M3.2.0,M11.1.0".
// - "Jn" (1-365, February 29 never counted) names the same month and day every year and
//   becomes an absolute date, which the conversion applies yearly: right in every year.
//   "n" (0-365, February 29 counted) shifts by a day after February in leap years; it
//   becomes the date it names in `year`, so it is right for that year (and, up to that
//   shift, for others). The program reads the rules once per run, for time stamps of the
//   present. Daylight time all year ("EST5EDT,0/0,J365/25") becomes a fixed offset.
bool ParsePosixTimeZone(const char* rule, int year, TimeZoneInformation& information);

// The rule of TZif data (a zone file) in its own words: the footer line of version 2 and
// later. When there is none (version 1, or an empty footer as in the "right/" zones) the
// rule is made from the local time type in force after the last transition, as a fixed
// offset ("<+0530>-5:30"). Answers false for data that is not TZif.
bool TzifRule(const unsigned char* data, std::size_t size, vxn::string& rule);

// UTC: Bias 0, StandardName "UTC", no daylight time.
void UtcTimeZoneInformation(TimeZoneInformation& information);

// Replaces StandardName by a zone's name ("Europe/Berlin") when it fits the field.
void NameTimeZone(TimeZoneInformation& information, const char* name);


} // namespace VXN
