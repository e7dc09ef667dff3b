// The system clock in ticks, and the error code of a rejected time conversion.
#include "TimeConversion.h"

#include <windows.h>

namespace VXN {

std::uint64_t SystemClockTicks()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::uint32_t InvalidParameterError()
{
    return ERROR_INVALID_PARAMETER;
}

} // namespace VXN
