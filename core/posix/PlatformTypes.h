// The Linux forms of what differs between the systems in core's portable headers: file
// names are the bytes of UTF-8 paths, files are descriptors, folders are separated by "/".
// The build puts this folder (or core/win32) on the include path.
#pragma once

namespace VXN::platform {

using native_char = char;
using file_handle = int;
inline constexpr char path_separator = '/';

} // namespace VXN::platform
