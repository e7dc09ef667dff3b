// The system clock in ticks, and the error code of a rejected time conversion.
#include "TimeConversion.h"

#include <cerrno>
#include <ctime>

namespace VXN {

std::uint64_t SystemClockTicks()
{
    // Ticks count from 1601; the real-time clock from 1970.
    constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return kTicksFrom1601To1970 + static_cast<std::uint64_t>(now.tv_sec) * 10000000ull +
           static_cast<std::uint64_t>(now.tv_nsec) / 100u;
}

std::uint32_t InvalidParameterError()
{
    return EINVAL;
}

} // namespace VXN
