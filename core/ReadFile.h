// ReadWholeFile: the whole content of a small file in one string, the one reader that the
// program's readers of configuration-like files share (the kernel's /proc records, zone
// files, the Wine prefix's registry).
#pragma once

#include "Result.h"

#include <vxnstl/string>

namespace VXN {

// Reads the whole regular file that `path` names into `bytes`. The path is UTF-8 and
// reaches the system as it is: on Linux its bytes (so a name that is not valid UTF-8, or
// that holds a backslash, is read all the same), on Windows its UTF-16 form. A file of more than `limit`
// bytes is a failure (the reader stops at the first byte past the limit, so a file that
// never ends costs no more than that), and so is anything that is not a regular file (a
// folder, a device, a pipe). The kernel's /proc records are regular files that report no
// size: they are read until they end. An interrupted read is simply repeated. On failure
// `bytes` is empty.
Result ReadWholeFile(const char* path, vxn::u32 limit, vxn::string& bytes);

} // namespace VXN
