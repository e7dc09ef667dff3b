#include "TimeConversion.h"

#include "Ticks.h"

namespace VXN {

namespace {



// Rule hours as POSIX rules use them: up to a week from midnight of the rule's day.
constexpr std::int32_t kMaxRuleHours = 167;

} // namespace

bool IsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + Ticks::DaysFrom1601To1970;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day)
{
    const std::int64_t z = days - Ticks::DaysFrom1601To1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

namespace {

int DaysInMonth(std::int64_t year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// 0 = Sunday; 1601-01-01 was a Monday.
int WeekdayOfDays(std::int64_t days)
{
    return static_cast<int>(((days % 7) + 7 + 1) % 7);
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

std::int64_t YearOfTicks(std::int64_t ticks)
{
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(FloorDiv(ticks, Ticks::PerDay), year, month, day);
    return year;
}

bool ValidRule(const SystemTime& rule)
{
    if (rule.wMonth < 1 || rule.wMonth > 12)
        return false;
    const std::int32_t hour = static_cast<std::int16_t>(rule.wHour);
    if (hour < -kMaxRuleHours || hour > kMaxRuleHours || rule.wMinute >= 60 || rule.wSecond >= 60 ||
        rule.wMilliseconds >= 1000)
        return false;
    if (rule.wYear == 0)
        return rule.wDay >= 1 && rule.wDay <= 5 && rule.wDayOfWeek <= 6;
    return rule.wYear >= 1601 && rule.wDay >= 1 && rule.wDay <= DaysInMonth(rule.wYear, rule.wMonth);
}

// The local wall-clock ticks at which a rule fires in `year`.
std::int64_t RuleInstant(const SystemTime& rule, std::int64_t year)
{
    std::int64_t days = 0;
    if (rule.wYear != 0) {
        // An absolute date recurs on its month and day, as the system's own conversion
        // treats it; February 29 falls on the 28th in other years.
        const int last = DaysInMonth(year, rule.wMonth);
        days = DaysFromCivil(year, rule.wMonth, rule.wDay <= last ? rule.wDay : last);
    } else {
        const std::int64_t first = DaysFromCivil(year, rule.wMonth, 1);
        int dayOfMonth = 1 + (rule.wDayOfWeek - WeekdayOfDays(first) + 7) % 7 + (rule.wDay - 1) * 7;
        const int last = DaysInMonth(year, rule.wMonth);
        while (dayOfMonth > last)
            dayOfMonth -= 7; // week 5 is the last such weekday, which may be the fourth
        days = first + dayOfMonth - 1;
    }
    const std::int64_t hour = static_cast<std::int16_t>(rule.wHour);
    return days * Ticks::PerDay + hour * Ticks::PerHour + rule.wMinute * Ticks::PerMinute +
           rule.wSecond * Ticks::PerSecond + rule.wMilliseconds * Ticks::PerMillisecond;
}

bool WithinBias(std::int64_t minutes)
{
    return minutes >= -kMaxBiasMinutes && minutes <= kMaxBiasMinutes;
}

} // namespace

bool TicksToSystemTime(std::uint64_t ticks, SystemTime& fields)
{
    if (ticks > 0x7FFFFFFFFFFFFFFFull)
        return false;
    const std::int64_t value = static_cast<std::int64_t>(ticks);
    const std::int64_t days = value / Ticks::PerDay;
    std::int64_t rest = value % Ticks::PerDay;
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, year, month, day);
    fields.wYear = static_cast<std::uint16_t>(year);
    fields.wMonth = static_cast<std::uint16_t>(month);
    fields.wDay = static_cast<std::uint16_t>(day);
    fields.wDayOfWeek = static_cast<std::uint16_t>(WeekdayOfDays(days));
    fields.wHour = static_cast<std::uint16_t>(rest / Ticks::PerHour);
    rest %= Ticks::PerHour;
    fields.wMinute = static_cast<std::uint16_t>(rest / Ticks::PerMinute);
    rest %= Ticks::PerMinute;
    fields.wSecond = static_cast<std::uint16_t>(rest / Ticks::PerSecond);
    rest %= Ticks::PerSecond;
    fields.wMilliseconds = static_cast<std::uint16_t>(rest / Ticks::PerMillisecond);
    return true;
}

bool SystemTimeToTicks(const SystemTime& fields, std::uint64_t& ticks)
{
    if (fields.wYear < 1601 || fields.wYear > 30827 || fields.wMonth < 1 || fields.wMonth > 12 || fields.wDay < 1 ||
        fields.wDay > DaysInMonth(fields.wYear, fields.wMonth) || fields.wHour >= 24 || fields.wMinute >= 60 ||
        fields.wSecond >= 60 || fields.wMilliseconds >= 1000)
        return false;
    const std::int64_t days = DaysFromCivil(fields.wYear, fields.wMonth, fields.wDay);
    ticks = static_cast<std::uint64_t>(days * Ticks::PerDay + fields.wHour * Ticks::PerHour +
                                       fields.wMinute * Ticks::PerMinute + fields.wSecond * Ticks::PerSecond +
                                       fields.wMilliseconds * Ticks::PerMillisecond);
    return true;
}

bool UtcToZoneLocalTime(const TimeZoneInformation& zone, const SystemTime& utc, SystemTime& local)
{
    std::uint64_t utcTicks = 0;
    if (!SystemTimeToTicks(utc, utcTicks))
        return false;
    const std::int64_t standardBias = static_cast<std::int64_t>(zone.Bias) + zone.StandardBias;
    const std::int64_t daylightBias = static_cast<std::int64_t>(zone.Bias) + zone.DaylightBias;
    if (!WithinBias(zone.Bias) || !WithinBias(standardBias) || !WithinBias(daylightBias))
        return false;

    const std::int64_t instant = static_cast<std::int64_t>(utcTicks);
    std::int64_t bias = zone.Bias; // no daylight rules: neither bias applies
    if (zone.DaylightDate.wMonth != 0) {
        if (!ValidRule(zone.DaylightDate) || !ValidRule(zone.StandardDate))
            return false;
        // The rules of the year that the local clock shows. Daylight time begins at the
        // DaylightDate as standard time reads it and ends at the StandardDate as daylight
        // time reads it; comparing in UTC makes the repeated hour in autumn unambiguous.
        const std::int64_t year = YearOfTicks(instant - standardBias * Ticks::PerMinute);
        const std::int64_t begins = RuleInstant(zone.DaylightDate, year) + standardBias * Ticks::PerMinute;
        const std::int64_t ends = RuleInstant(zone.StandardDate, year) + daylightBias * Ticks::PerMinute;
        bool daylight = false;
        if (begins < ends)
            daylight = instant >= begins && instant < ends;
        else if (begins > ends) // southern hemisphere: daylight time spans the new year
            daylight = instant >= begins || instant < ends;
        bias = daylight ? daylightBias : standardBias;
    }

    const std::int64_t localTicks = instant - bias * Ticks::PerMinute;
    if (localTicks < 0)
        return false;
    SystemTime fields;
    if (!TicksToSystemTime(static_cast<std::uint64_t>(localTicks), fields) || fields.wYear > 30827)
        return false;
    local = fields;
    return true;
}

} // namespace VXN
