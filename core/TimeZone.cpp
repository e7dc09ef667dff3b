#include "TimeZone.h"

#include <vxnstl/string>
#include <vxnstl/unordered_container>

#include <cstring>
#include <mutex>

namespace VXN {

std::atomic<bool> timeZonesInitialised{false};

namespace {

using ZoneMap = vxn::unordered_container<vxn::string, vxn::pair<const vxn::string, TimeZone*>,
                                         vxn::unordered_map_hash<vxn::string, TimeZone*, vxn::hash<vxn::string>>,
                                         vxn::unordered_map_compare<vxn::string, TimeZone*, vxn::equal_to<vxn::string>>,
                                         vxn::allocator>;

static_assert(sizeof(void*) != 4 || ZoneMap::node_stride == 24, "the registry's nodes are 24 bytes on 32-bit Windows");

// Read without the lock by every time stamp, written under it once.
std::atomic<TimeZone*> localZone{nullptr};
std::atomic<TimeZone*> utcZone{nullptr};
std::atomic<TimeZoneSource> zoneSource{nullptr};

// Recursive, so that whatever the source does (log a line, which stamps it with the time)
// may come back into InitTimeZones; the flag, already set, sends it away at once. Never
// destroyed: a thread still logging while the process exits must not meet a dead lock.
std::recursive_mutex& RegistryLock()
{
    static std::recursive_mutex* lock = new std::recursive_mutex();
    return *lock;
}

ZoneMap& Registry()
{
    static ZoneMap map;
    return map;
}

// Cut to the 31 bytes of the name field without splitting a UTF-8 character.
void CopyZoneName(char (&field)[32], const vxn::string& name)
{
    vxn::u32 length = name.size();
    if (length > sizeof(field) - 1) {
        length = sizeof(field) - 1;
        while (length > 0 && (static_cast<unsigned char>(name.c_str()[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, name.c_str(), length);
    field[length] = 0;
}

TimeZone* MakeZone(const vxn::string& name, TimeZoneInformation* information)
{
    TimeZone* zone = new TimeZone();
    CopyZoneName(zone->name, name);
    zone->information = information;
    return zone;
}

} // namespace

TimeZoneSource SetTimeZoneSource(TimeZoneSource source)
{
    return zoneSource.exchange(source);
}

Result InitTimeZones()
{
    if (timeZonesInitialised.load(std::memory_order_acquire))
        return Result();
    std::lock_guard<std::recursive_mutex> guard(RegistryLock());
    if (timeZonesInitialised.load(std::memory_order_acquire))
        return Result();
    timeZonesInitialised.store(true, std::memory_order_release);
    ZoneMap& map = Registry();

    TimeZoneInformation* information = new TimeZoneInformation();
    TimeZoneSource source = zoneSource.load();
    if (source == nullptr)
        source = SystemTimeZoneSource;
    std::uint32_t error = 0;
    if (!source(*information, error)) {
        delete information;
        timeZonesInitialised.store(false, std::memory_order_release);
        return Result::Fail("GetTimeZoneInformation failed: {0}", system_error_text(error));
    }

    vxn::u32 units = 0;
    while (units < 32 && information->StandardName[units] != 0)
        ++units;
    vxn::string name;
    name.assign_utf16(information->StandardName, units);
    TimeZone* local = MakeZone(name, information);
    localZone.store(local, std::memory_order_release);
    map.max_load_factor(0.75f);
    map.insert(vxn::pair<const vxn::string, TimeZone*>(name, local));

    // A local zone named "UTC" keeps its entry; the UTC zone then has none of its own.
    TimeZone* utc = MakeZone(vxn::string("UTC"), new TimeZoneInformation());
    utcZone.store(utc, std::memory_order_release);
    map.insert(vxn::pair<const vxn::string, TimeZone*>(vxn::string("UTC"), utc));
    return Result();
}

TimeZone* GetLocalTimeZone()
{
    return localZone.load(std::memory_order_acquire);
}

TimeZone* GetUtcTimeZone()
{
    return utcZone.load(std::memory_order_acquire);
}

TimeZone* FindTimeZone(const char* name)
{
    std::lock_guard<std::recursive_mutex> guard(RegistryLock());
    ZoneMap& map = Registry();
    ZoneMap::iterator found = map.find(vxn::string(name));
    return found != map.end() ? found->second : nullptr;
}

namespace detail {

void ResetTimeZonesForTests()
{
    std::lock_guard<std::recursive_mutex> guard(RegistryLock());
    timeZonesInitialised.store(false, std::memory_order_release);
    Registry().clear();
    for (std::atomic<TimeZone*>* slot : {&localZone, &utcZone}) {
        TimeZone* zone = slot->exchange(nullptr);
        if (zone != nullptr) {
            delete zone->information;
            delete zone;
        }
    }
}

} // namespace detail

} // namespace VXN
