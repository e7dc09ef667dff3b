// The computer's zone description on Linux: the rules that TZ or /etc/localtime name.
#include "Format.h"
#include "PosixTimeZone.h"
#include "TimeZoneSetting.h"
#include "ReadFile.h"
#include "TimeConversion.h"

#include <cstdlib>
#include <cstring>

namespace VXN {

namespace {

// Zone files are a few kilobytes; anything far larger is not one.
constexpr vxn::u32 kMaxZoneFile = 1u << 20;

const char* ZoneFolder()
{
    const char* folder = std::getenv("TZDIR");
    return folder != nullptr && *folder != 0 ? folder : "/usr/share/zoneinfo";
}

// "Europe/Berlin" for ".../zoneinfo/Europe/Berlin" (also under posix/ or right/).
const char* ZoneNameOf(const char* path)
{
    const char* name = nullptr;
    for (const char* p = std::strstr(path, "zoneinfo/"); p != nullptr; p = std::strstr(p + 1, "zoneinfo/"))
        name = p + 9;
    if (name == nullptr)
        return nullptr;
    for (const char* prefix : {"posix/", "right/"}) {
        if (std::strncmp(name, prefix, 6) == 0)
            name += 6;
    }
    return name;
}

bool DescribeZoneFile(const char* path, const char* name, int year, TimeZoneInformation& information)
{
    vxn::string bytes;
    vxn::string rule;
    if (!ReadWholeFile(path, kMaxZoneFile, bytes).Succeeded() ||
        !TzifRule(reinterpret_cast<const unsigned char*>(bytes.c_str()), bytes.size(), rule) ||
        !ParsePosixTimeZone(rule.c_str(), year, information))
        return false;
    if (name != nullptr)
        NameTimeZone(information, name);
    return true;
}

bool DescribeNamedZone(const char* value, int year, TimeZoneInformation& information)
{
    if (*value == '/')
        return DescribeZoneFile(value, ZoneNameOf(value), year, information);
    const vxn::string path = format("{0}/{1}", ZoneFolder(), value);
    return DescribeZoneFile(path.c_str(), value, year, information);
}

int CurrentYear()
{
    SystemTime now;
    return TicksToSystemTime(SystemClockTicks(), now) ? now.wYear : 1970;
}

} // namespace

namespace platform {

void DescribeTimeZoneSetting(const char* tz, const char* localtime, int year, TimeZoneInformation& information)
{
    bool described = false;
    if (tz == nullptr) {
        char target[4096] = {};
        const ssize_t length = readlink(localtime, target, sizeof(target) - 1);
        described = DescribeZoneFile(localtime, length > 0 ? ZoneNameOf(target) : nullptr, year, information);
    } else if (*tz == ':') {
        described = tz[1] != 0 && DescribeNamedZone(tz + 1, year, information);
    } else if (*tz != 0) {
        described = DescribeNamedZone(tz, year, information) || ParsePosixTimeZone(tz, year, information);
    }
    if (!described)
        UtcTimeZoneInformation(information);
}

} // namespace platform

bool SystemTimeZoneSource(TimeZoneInformation& information, std::uint32_t& error)
{
    // Reading the rules cannot fail as such: without them the zone is UTC.
    error = 0;
    platform::DescribeTimeZoneSetting(std::getenv("TZ"), "/etc/localtime", CurrentYear(), information);
    return true;
}

} // namespace VXN
