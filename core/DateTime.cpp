#include "DateTime.h"

#include "Format.h"
#include "TimeConversion.h"
#include "TimeZone.h"

namespace VXN {

namespace {


Result ConversionFailure(const char* pattern)
{
    return Result::Fail(pattern, system_error_text(InvalidParameterError()));
}

} // namespace

TimeSpan::TimeSpan(std::int64_t value)
    : ticks(value),
      hours(static_cast<std::int16_t>(value / Ticks::PerHour)),
      minutes(static_cast<std::int16_t>(value / Ticks::PerMinute % 60)),
      seconds(static_cast<std::int16_t>(value / Ticks::PerSecond % 60)),
      milliseconds(static_cast<std::int16_t>(value / Ticks::PerMillisecond % 1000))
{
}

TimeSpan::TimeSpan(std::int16_t hours, std::int16_t minutes, std::int16_t seconds, std::int16_t milliseconds)
    : TimeSpan((((static_cast<std::int64_t>(hours) * 60 + minutes) * 60 + seconds) * 1000 + milliseconds) *
               Ticks::PerMillisecond)
{
}

DateTime::DateTime() : DateTime(0) {}

DateTime::DateTime(std::uint64_t utcTicks)
{
    if (!timeZonesInitialised.load(std::memory_order_acquire))
        (void)InitTimeZones();
    m_zone = GetUtcTimeZone();
    (void)SetUtcTicks(utcTicks);
}

DateTime DateTime::Now()
{
    return DateTime(SystemClockTicks());
}

Result DateTime::SetUtcTicks(std::uint64_t ticks)
{
    SystemTime utc;
    if (!TicksToSystemTime(ticks, utc))
        return ConversionFailure("FileTimeToSystemTime failed: {0}");

    const TimeZoneInformation* info = m_zone != nullptr ? m_zone->information : nullptr;
    SystemTime local;
    TimeSpan offset;
    if (info == nullptr) {
        local = utc;
    } else if (info->DaylightBias != 0 || info->StandardBias != 0) {
        // The offset is whatever the zone's rules make of this instant.
        if (!UtcToZoneLocalTime(*info, utc, local))
            return ConversionFailure("SystemTimeToTzSpecificLocalTime failed: {0}");
        std::uint64_t localTicks = 0;
        if (!SystemTimeToTicks(local, localTicks))
            return ConversionFailure("SystemTimeToFileTime failed: {0}");
        // The local fields hold whole milliseconds: compare them with the instant cut to
        // whole milliseconds too, or the sub-millisecond rest turns +01 into +0059 and
        // +00 into -00.
        offset = TimeSpan(static_cast<std::int64_t>(localTicks - (ticks - ticks % TicksPerMillisecond)));
    } else {
        // A fixed offset: no rules to look up. Beyond the bound a bias is garbage, and its
        // hours would not fit the offset.
        const std::int64_t bias = info->Bias;
        if (bias < -kMaxBiasMinutes || bias > kMaxBiasMinutes)
            return ConversionFailure("FileTimeToSystemTime failed: {0}");
        const std::uint64_t localTicks = ticks - static_cast<std::uint64_t>(bias * Ticks::PerMinute);
        if (!TicksToSystemTime(localTicks, local))
            return ConversionFailure("FileTimeToSystemTime failed: {0}");
        offset = TimeSpan(static_cast<std::int16_t>(-bias / 60), static_cast<std::int16_t>(-bias % 60), 0, 0);
    }

    const char* sign = offset.ticks < 0 ? "-" : "+";
    const std::int32_t hours = offset.hours < 0 ? -offset.hours : offset.hours;
    const std::int32_t minutes = offset.minutes < 0 ? -offset.minutes : offset.minutes;
    char text[8] = {};
    if (minutes == 0)
        format_to(text, sizeof(text), "{0}{1:d2}", sign, hours);
    else
        format_to(text, sizeof(text), "{0}{1:d2}{2:d2}", sign, hours, minutes);

    m_ticks = ticks;
    m_year = local.wYear;
    m_month = local.wMonth;
    m_day = local.wDay;
    m_hour = local.wHour;
    m_minute = local.wMinute;
    m_second = local.wSecond;
    m_millisecond = local.wMilliseconds;
    m_offset = offset;
    for (unsigned i = 0; i < sizeof(m_offsetText); ++i)
        m_offsetText[i] = text[i];
    return Result();
}

Result DateTime::SetZone(const TimeZone* zone)
{
    const TimeZone* previous = m_zone;
    m_zone = zone;
    Result result = SetUtcTicks(m_ticks);
    if (result.status != Result::Success)
        m_zone = previous;
    return result;
}

} // namespace VXN
