// The C library's printing of a double.
#include "RuntimePrint.h"

#include "FormatValue.h"

#include <cstdio>

namespace VXN::platform {

vxn::u32 print_double(char* out, const char* format, double value)
{
    const int printed = std::snprintf(out, kMaxRenderedLength + 1, format, value);
    if (printed < 0) {
        out[0] = 0;
        return 0;
    }
    return static_cast<vxn::u32>(printed) < kMaxRenderedLength ? static_cast<vxn::u32>(printed) : kMaxRenderedLength;
}

} // namespace VXN::platform
