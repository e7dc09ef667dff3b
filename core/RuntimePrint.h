// The OS half of the exponential number form (core/posix/RuntimePrint.cpp,
// core/win32/RuntimePrint.cpp): the platform's own C runtime prints it, so the exponent
// has the runtime's digits (two on Linux, three on Windows).
#pragma once

#include <vxnstl/base>

namespace VXN::platform {

// Prints one double under a printf format into room for kMaxRenderedLength + 1
// characters: the text's first kMaxRenderedLength characters at most, and a terminator.
// Answers the length written.
vxn::u32 print_double(char* out, const char* format, double value);

} // namespace VXN::platform
