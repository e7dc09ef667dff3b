// Linux only: the folder for this user's temporary files, shared by the log and the
// download folders.
#pragma once

#include <vxnstl/string>

namespace VXN::platform {

// The folder with a trailing '/', or "" when there is none that is safe to use.
//
// TMPDIR when it is set, unless it names a folder that other users can rearrange: a trusted
// folder is one of the user's own, or one of root's that others cannot write to or that is
// sticky (as /tmp is). A TMPDIR that names no folder at all is kept (what needs it fails).
// Otherwise, TMPDIR unset or not trusted, /tmp/ZyrelDownloader-<uid>: a folder of the
// user's own with mode 0700, made on first use. Names in a shared folder can be taken by
// anyone first, so that folder is refused ("") when it is a link, not a folder, or not
// the user's; in a 0700 folder of our own, nobody else can take the log's name or move a
// download folder away and put their own in its place.
vxn::string UserTempFolder();

} // namespace VXN::platform
