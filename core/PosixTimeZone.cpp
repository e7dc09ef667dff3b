#include "PosixTimeZone.h"

#include "Format.h"
#include "TimeConversion.h"

#include <cstring>

namespace VXN {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A zone abbreviation: three or more letters, or anything but '>' inside <...>.
bool ParseName(const char*& p, vxn::wchar (&field)[32])
{
    const char* start = p;
    const char* end = nullptr;
    if (*p == '<') {
        start = ++p;
        while (*p != 0 && *p != '>')
            ++p;
        if (*p != '>')
            return false;
        end = p++;
    } else {
        while (IsAlpha(*p))
            ++p;
        end = p;
    }
    if (end - start < 3)
        return false;
    std::size_t count = static_cast<std::size_t>(end - start);
    if (count > 31)
        count = 31;
    for (std::size_t i = 0; i < count; ++i)
        field[i] = static_cast<vxn::wchar>(static_cast<unsigned char>(start[i]));
    field[count] = 0;
    return true;
}

bool ParseNumber(const char*& p, int maximum, int& value)
{
    if (!IsDigit(*p))
        return false;
    value = 0;
    while (IsDigit(*p)) {
        value = value * 10 + (*p++ - '0');
        if (value > maximum)
            return false;
    }
    return true;
}

// [+|-]hh[:mm[:ss]] in seconds.
bool ParseClock(const char*& p, int maxHours, std::int64_t& seconds)
{
    int sign = 1;
    if (*p == '+' || *p == '-')
        sign = *p++ == '-' ? -1 : 1;
    int hours = 0;
    int minutes = 0;
    int secs = 0;
    if (!ParseNumber(p, maxHours, hours))
        return false;
    if (*p == ':') {
        ++p;
        if (!ParseNumber(p, 59, minutes))
            return false;
        if (*p == ':') {
            ++p;
            if (!ParseNumber(p, 59, secs))
                return false;
        }
    }
    seconds = sign * (hours * 3600 + minutes * 60 + secs);
    return true;
}

// One transition of the rule text: when (a date) and at what local time.
struct PosixDate {
    enum Form { Weekday, Julian, Zero } form = Weekday;
    int month = 0;
    int week = 0;
    int weekday = 0;
    int day = 0;
    std::int64_t time = 2 * 3600;
};

bool ParseDate(const char*& p, PosixDate& date)
{
    if (*p == 'M') {
        ++p;
        date.form = PosixDate::Weekday;
        if (!ParseNumber(p, 12, date.month) || date.month < 1 || *p++ != '.' || !ParseNumber(p, 5, date.week) ||
            date.week < 1 || *p++ != '.' || !ParseNumber(p, 6, date.weekday))
            return false;
    } else if (*p == 'J') {
        ++p;
        date.form = PosixDate::Julian;
        if (!ParseNumber(p, 365, date.day) || date.day < 1)
            return false;
    } else {
        date.form = PosixDate::Zero;
        if (!ParseNumber(p, 365, date.day))
            return false;
    }
    if (*p == '/') {
        ++p;
        if (!ParseClock(p, 167, date.time))
            return false;
    }
    return true;
}

// The calendar day a Julian or zero-based date names in `year`.
std::int64_t DayOfDate(const PosixDate& date, int year)
{
    if (date.form == PosixDate::Julian) {
        // February 29 is never counted: J60 is March 1 in every year.
        const std::int64_t days = DaysFromCivil(year, 1, 1) + date.day - 1;
        return days + (IsLeapYear(year) && date.day >= 60 ? 1 : 0);
    }
    return DaysFromCivil(year, 1, 1) + date.day;
}

// A time of day as the rule's signed hours, and minutes and seconds within the hour.
void SetRuleTime(SystemTime& rule, std::int64_t seconds)
{
    std::int64_t hours = seconds / 3600;
    std::int64_t rest = seconds % 3600;
    if (rest < 0) {
        --hours;
        rest += 3600;
    }
    rule.wHour = static_cast<std::uint16_t>(static_cast<std::int16_t>(hours));
    rule.wMinute = static_cast<std::uint16_t>(rest / 60);
    rule.wSecond = static_cast<std::uint16_t>(rest % 60);
    rule.wMilliseconds = 0;
}

SystemTime RuleOf(const PosixDate& date, int year)
{
    SystemTime rule;
    if (date.form == PosixDate::Weekday) {
        rule.wMonth = static_cast<std::uint16_t>(date.month);
        rule.wDay = static_cast<std::uint16_t>(date.week);
        rule.wDayOfWeek = static_cast<std::uint16_t>(date.weekday);
    } else {
        const std::int64_t days = DayOfDate(date, year);
        if (days >= 0) // from 1601 on, which is all a rule of this era can name
            TicksToSystemTime(static_cast<std::uint64_t>(days) * 864000000000ull, rule);
    }
    SetRuleTime(rule, date.time);
    return rule;
}

// "0/0,J365/25": daylight time from before the year begins until after it ends.
bool DaylightAllYear(const PosixDate& start, const PosixDate& end, std::int64_t standardOffset,
                     std::int64_t daylightOffset, int year)
{
    if (start.form == PosixDate::Weekday || end.form == PosixDate::Weekday)
        return false;
    // All in UTC seconds from 1601, offsets being UTC minus local time.
    const std::int64_t begins = DayOfDate(start, year) * kSecondsPerDay + start.time + standardOffset;
    const std::int64_t ends = DayOfDate(end, year) * kSecondsPerDay + end.time + daylightOffset;
    const std::int64_t yearBegins = DaysFromCivil(year, 1, 1) * kSecondsPerDay + standardOffset;
    const std::int64_t yearEnds = DaysFromCivil(year + 1, 1, 1) * kSecondsPerDay + daylightOffset;
    return begins <= yearBegins && ends >= yearEnds;
}

std::uint32_t ReadBigEndian32(const unsigned char* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

struct TzifCounts {
    std::uint64_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

bool ReadTzifHeader(const unsigned char* data, std::size_t size, std::uint64_t at, TzifCounts& counts)
{
    if (at + 44 > size || std::memcmp(data + at, "TZif", 4) != 0)
        return false;
    const unsigned char* p = data + at + 20;
    counts.isut = ReadBigEndian32(p);
    counts.isstd = ReadBigEndian32(p + 4);
    counts.leap = ReadBigEndian32(p + 8);
    counts.time = ReadBigEndian32(p + 12);
    counts.type = ReadBigEndian32(p + 16);
    counts.chars = ReadBigEndian32(p + 20);
    return true;
}

std::uint64_t TzifBlockSize(const TzifCounts& c, std::uint64_t timeSize)
{
    return c.time * timeSize + c.time + c.type * 6 + c.chars + c.leap * (timeSize + 4) + c.isstd + c.isut;
}

// The fixed-offset rule of the local time type in force after the last transition.
bool RuleOfLastType(const unsigned char* block, std::size_t available, const TzifCounts& c, std::uint64_t timeSize,
                    vxn::string& rule)
{
    if (c.type == 0 || TzifBlockSize(c, timeSize) > available)
        return false;
    const unsigned char* indices = block + c.time * timeSize;
    const std::uint64_t type = c.time != 0 ? indices[c.time - 1] : 0;
    if (type >= c.type)
        return false;
    const unsigned char* info = indices + c.time + type * 6;
    const char* names = reinterpret_cast<const char*>(indices + c.time + c.type * 6);
    const std::int64_t utcOffset = static_cast<std::int32_t>(ReadBigEndian32(info));
    const std::uint64_t nameIndex = info[5];
    vxn::string name;
    for (std::uint64_t i = nameIndex; i < c.chars && names[i] != 0 && names[i] != '>'; ++i)
        name.push_back(names[i]);
    while (name.size() < 3)
        name.push_back('-'); // a rule needs three characters; the name is only shown
    // POSIX counts offsets west of Greenwich as positive.
    const std::int64_t west = -utcOffset;
    const std::uint64_t magnitude = static_cast<std::uint64_t>(west < 0 ? -west : west);
    rule.assign_format("<{0}>{1}{2}:{3:d2}:{4:d2}", name, west < 0 ? "-" : "", magnitude / 3600,
                       magnitude / 60 % 60, magnitude % 60);
    return true;
}

} // namespace

bool ParsePosixTimeZone(const char* text, int year, TimeZoneInformation& information)
{
    if (text == nullptr)
        return false;
    TimeZoneInformation parsed;
    const char* p = text;
    std::int64_t standardOffset = 0;
    if (!ParseName(p, parsed.StandardName) || !ParseClock(p, 24, standardOffset))
        return false;
    parsed.Bias = static_cast<std::int32_t>(standardOffset / 60);
    if (*p == 0) {
        information = parsed;
        return true;
    }

    if (!ParseName(p, parsed.DaylightName))
        return false;
    std::int64_t daylightOffset = standardOffset - 3600;
    if (*p != 0 && *p != ',' && !ParseClock(p, 24, daylightOffset))
        return false;
    PosixDate start;
    PosixDate end;
    if (*p == 0) {
        start.month = 3, start.week = 2, start.weekday = 0;
        end.month = 11, end.week = 1, end.weekday = 0;
    } else if (*p++ != ',' || !ParseDate(p, start) || *p++ != ',' || !ParseDate(p, end) || *p != 0) {
        return false;
    }

    if (DaylightAllYear(start, end, standardOffset, daylightOffset, year)) {
        parsed.Bias = static_cast<std::int32_t>(daylightOffset / 60);
        information = parsed;
        return true;
    }
    parsed.DaylightBias = static_cast<std::int32_t>((daylightOffset - standardOffset) / 60);
    parsed.DaylightDate = RuleOf(start, year);
    parsed.StandardDate = RuleOf(end, year);
    information = parsed;
    return true;
}

bool TzifRule(const unsigned char* data, std::size_t size, vxn::string& rule)
{
    TzifCounts first;
    if (!ReadTzifHeader(data, size, 0, first))
        return false;
    const std::uint64_t firstBlock = 44;
    const std::uint64_t firstSize = TzifBlockSize(first, 4);
    if (data[4] < '2') {
        if (firstBlock + firstSize > size)
            return false;
        return RuleOfLastType(data + firstBlock, size - firstBlock, first, 4, rule);
    }

    TzifCounts second;
    const std::uint64_t secondHeader = firstBlock + firstSize;
    if (!ReadTzifHeader(data, size, secondHeader, second))
        return false;
    const std::uint64_t secondBlock = secondHeader + 44;
    const std::uint64_t footer = secondBlock + TzifBlockSize(second, 8);
    if (footer >= size || data[footer] != '\n')
        return false;
    std::uint64_t footerEnd = footer + 1;
    while (footerEnd < size && data[footerEnd] != '\n')
        ++footerEnd;
    if (footerEnd >= size)
        return false;
    if (footerEnd > footer + 1) {
        rule.assign(reinterpret_cast<const char*>(data + footer + 1), static_cast<vxn::u32>(footerEnd - footer - 1));
        return true;
    }
    return RuleOfLastType(data + secondBlock, size - secondBlock, second, 8, rule);
}

void UtcTimeZoneInformation(TimeZoneInformation& information)
{
    information = TimeZoneInformation();
    information.StandardName[0] = 'U';
    information.StandardName[1] = 'T';
    information.StandardName[2] = 'C';
}

void NameTimeZone(TimeZoneInformation& information, const char* name)
{
    vxn::wstring wide;
    wide.assign_utf8(name, vxn::length_of(name));
    if (wide.empty() || wide.size() > 31)
        return;
    for (vxn::u32 i = 0; i <= wide.size(); ++i)
        information.StandardName[i] = wide.c_str()[i];
}

} // namespace VXN
