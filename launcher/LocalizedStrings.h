// The user-visible texts, in English, German and French.
//
// Windows: the program's string table, found by the resource loader in the user's interface
// language. Linux: the same table compiled in; the language follows the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty ("de..." German, "fr..." French, anything
// else English).
#pragma once

#include "resource.h"

#include <vxnstl/string>

// The string with that id (IDS_NO_PERMISSION ... IDS_DECIMAL_SEPARATOR); empty for any
// other id. Every call loads afresh.
vxn::wstring LoadLocalizedString(vxn::u32 id);
