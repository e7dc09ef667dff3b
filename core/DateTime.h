// DateTime and TimeSpan: a point in time and its local reading in a time zone.
//
// Time is kept as the platform's UTC file time: 100-nanosecond ticks since 1601-01-01
// 00:00 UTC. A DateTime also holds the calendar fields of that instant in its zone (null:
// UTC), the zone's offset from UTC and the offset as text ("+02", "-0030"), so the log can
// print a time stamp without converting again.
#pragma once

#include "Result.h"
#include "Ticks.h"

#include <cstdint>

namespace VXN {

class TimeZone;

// A signed duration. The parts come from the ticks by truncating division, so a negative
// duration has parts that are zero or negative (-30 minutes: hours 0, minutes -30).
struct TimeSpan {
    TimeSpan() = default;
    explicit TimeSpan(std::int64_t ticks);
    TimeSpan(std::int16_t hours, std::int16_t minutes, std::int16_t seconds, std::int16_t milliseconds);

    std::int64_t ticks = 0;
    std::int16_t hours = 0;
    std::int16_t minutes = 0;
    std::int16_t seconds = 0;
    std::int16_t milliseconds = 0;
};

class DateTime {
public:
    static constexpr std::uint64_t TicksPerMillisecond = Ticks::PerMillisecond;
    static constexpr std::uint64_t TicksPerSecond = Ticks::PerSecond;
    static constexpr std::uint64_t TicksPerMinute = Ticks::PerMinute;
    static constexpr std::uint64_t TicksPerHour = Ticks::PerHour;

    // Ticks 0 (1601-01-01 00:00:00.000) in the UTC zone.
    DateTime();
    // Initialises the time-zone registry if needed (a failure there leaves the value
    // without a zone, which reads as UTC) and takes the UTC zone. Ticks beyond the
    // calendar's range leave the value at ticks 0.
    explicit DateTime(std::uint64_t utcTicks);

    // The current system time, in the UTC zone.
    static DateTime Now();

    // Stores the instant and recomputes the local fields in the value's zone. On failure
    // (ticks with the top bit set, or a zone whose rules cannot be applied) the value is
    // left as it was.
    Result SetUtcTicks(std::uint64_t ticks);
    // Recomputes the local fields of the stored instant in another zone (null: UTC). On
    // failure the value, its zone included, is left as it was.
    Result SetZone(const TimeZone* zone);

    std::uint64_t UtcTicks() const { return m_ticks; }
    const TimeZone* Zone() const { return m_zone; }

    std::uint16_t Year() const { return m_year; }
    std::uint16_t Month() const { return m_month; }
    std::uint16_t Day() const { return m_day; }
    std::uint16_t Hour() const { return m_hour; }
    std::uint16_t Minute() const { return m_minute; }
    std::uint16_t Second() const { return m_second; }
    std::uint16_t Millisecond() const { return m_millisecond; }
    // Local time minus UTC.
    const TimeSpan& Offset() const { return m_offset; }
    // "+00", "+02", "-08", "+0530", "-0030".
    const char* OffsetText() const { return m_offsetText; }

private:
    std::uint64_t m_ticks = 0;
    const TimeZone* m_zone = nullptr;
    std::uint16_t m_year = 1601;
    std::uint16_t m_month = 1;
    std::uint16_t m_day = 1;
    std::uint16_t m_hour = 0;
    std::uint16_t m_minute = 0;
    std::uint16_t m_second = 0;
    std::uint16_t m_millisecond = 0;
    TimeSpan m_offset;
    char m_offsetText[8] = {'+', '0', '0', 0, 0, 0, 0, 0};
};

} // namespace VXN
