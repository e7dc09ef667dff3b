// The Windows forms of what differs between the systems in core's portable headers: file
// names are UTF-16, files are HANDLEs, folders are separated by "\". The build puts this
// folder (or core/posix) on the include path.
#pragma once

#include <vxnstl/base>

namespace VXN::platform {

using native_char = vxn::wchar;
using file_handle = void*; // a HANDLE
inline constexpr char path_separator = '\\';

} // namespace VXN::platform
