// The calendar arithmetic under DateTime: ticks <-> calendar fields, and UTC -> local time
// under a zone description. Portable code with the contracts of Windows'
// FileTimeToSystemTime, SystemTimeToFileTime and SystemTimeToTzSpecificLocalTime, used on
// every platform so that a time stamp reads the same wherever it is made.
#pragma once

#include "TimeZone.h"

#include <cstdint>

namespace VXN {

// Biases are trusted only this far: a zone two days away from UTC is already beyond any
// real one, and the bound keeps every sum of biases and ticks far from 64-bit overflow.
inline constexpr std::int32_t kMaxBiasMinutes = 2880;

// FileTimeToSystemTime: fails for ticks with the top bit set (beyond 30828-09-14).
bool TicksToSystemTime(std::uint64_t ticks, SystemTime& fields);

// SystemTimeToFileTime: fails unless the fields name a real date and time in the years
// 1601-30827 (month 1-12, a day that month has, hour < 24, minute and second < 60,
// millisecond < 1000); the day of the week is ignored.
bool SystemTimeToTicks(const SystemTime& fields, std::uint64_t& ticks);

// SystemTimeToTzSpecificLocalTime: the local reading of a UTC instant under a zone
// description, applying its daylight rules for that date. Fails for invalid UTC fields,
// rules that name no real day, biases beyond two days, or a result outside the calendar.
bool UtcToZoneLocalTime(const TimeZoneInformation& zone, const SystemTime& utc, SystemTime& local);

// Days of the proleptic Gregorian calendar counted from 1601-01-01 (negative before it),
// and back.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day);
bool IsLeapYear(std::int64_t year);

// The system's error code for these failures (ERROR_INVALID_PARAMETER on Windows, EINVAL
// elsewhere): the code the Windows functions leave behind.
std::uint32_t InvalidParameterError();

// The current UTC time in ticks (GetSystemTimeAsFileTime).
std::uint64_t SystemClockTicks();

} // namespace VXN
