// The system clock in ticks, and the error code of a rejected time conversion.
#include "Ticks.h"
#include "TimeConversion.h"

#include <cerrno>
#include <ctime>

namespace VXN {

std::uint64_t SystemClockTicks()
{
    // Ticks count from 1601; the real-time clock from 1970.
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto seconds = static_cast<std::uint64_t>(now.tv_sec + Ticks::SecondsFrom1601To1970);
    return seconds * Ticks::PerSecond + static_cast<std::uint64_t>(now.tv_nsec) / 100u;
}

std::uint32_t InvalidParameterError()
{
    return EINVAL;
}

} // namespace VXN
