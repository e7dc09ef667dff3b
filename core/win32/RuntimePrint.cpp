// The system runtime's printing of a double, not MinGW's replacement.
#include "RuntimePrint.h"

#include "FormatValue.h"

#include <cstdio>

namespace VXN::platform {

vxn::u32 print_double(char* out, const char* format, double value)
{
    // _snprintf leaves the text unterminated when it fills the count and answers -1 when
    // it had to cut.
    const int printed = _snprintf(out, kMaxRenderedLength, format, value);
    const vxn::u32 length = printed < 0 || static_cast<vxn::u32>(printed) > kMaxRenderedLength
                                ? kMaxRenderedLength
                                : static_cast<vxn::u32>(printed);
    out[length] = 0;
    return length;
}

} // namespace VXN::platform
