// The units of the program's time scale: 100-nanosecond ticks since 1601-01-01 00:00 UTC,
// the origin of Windows file times. Every conversion to and from ticks uses these.
#pragma once

#include <cstdint>

namespace VXN::Ticks {

constexpr std::int64_t PerMillisecond = 10000;
constexpr std::int64_t PerSecond = 1000 * PerMillisecond;
constexpr std::int64_t PerMinute = 60 * PerSecond;
constexpr std::int64_t PerHour = 60 * PerMinute;
constexpr std::int64_t PerDay = 24 * PerHour;

// 1970-01-01, the origin of POSIX time, is this many days after 1601-01-01.
constexpr std::int64_t DaysFrom1601To1970 = 134774;
constexpr std::int64_t SecondsFrom1601To1970 = DaysFrom1601To1970 * 86400;

} // namespace VXN::Ticks
