// The OS half of the download folder that only DownloadFolder.cpp uses
// (launcher/posix/DownloadFolder.cpp, launcher/win32/DownloadFolder.cpp).
#pragma once

#include <vxnstl/string>

namespace platform {

// The user's temporary folder with its trailing separator (GetTempPathW; on Linux a trusted
// TMPDIR or the user's own /tmp/ZyrelDownloader-<uid>, core/posix/UserTempFolder.h);
// "" when the system cannot tell.
vxn::wstring TempFolder();

// A new random UUID in lower case, 8-4-4-4-12, no braces; "" when none can be made.
vxn::wstring NewUuidText();

} // namespace platform
