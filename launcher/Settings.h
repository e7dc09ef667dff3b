// Settings: the one process-wide store of the launcher's options, and the readers that fill
// it from the embedded configuration.
//
// The command line (CommandLine.h) writes first and unconditionally; the configuration
// compiled into the program only adds keys that are still absent. Everything else reads
// through the accessors below, named after their keys. Keys compare code unit by code
// unit ("DownloadUrl" and "downloadurl" are different keys), and a flag is on whenever its
// key is present, whatever its value: "SelfUpdate=false" still turns self-update on.
//
// The store has no lock: it is written during start-up on the main thread only.
#pragma once

#include <vxnstl/string>
#include <vxnstl/unordered_container>

namespace Settings {

using Store = vxn::unordered_container<vxn::wstring, vxn::pair<const vxn::wstring, vxn::wstring>,
                                       vxn::unordered_map_hash<vxn::wstring, vxn::wstring, vxn::hash<vxn::wstring>>,
                                       vxn::unordered_map_compare<vxn::wstring, vxn::wstring, vxn::equal_to<vxn::wstring>>,
                                       vxn::allocator>;

// The keys, spelled once.
namespace Key {
inline constexpr const vxn::wchar* SelfUpdate = VXN_W("SelfUpdate");
inline constexpr const vxn::wchar* PortableInstallation = VXN_W("PortableInstallation");
inline constexpr const vxn::wchar* UseSteam = VXN_W("UseSteam");
inline constexpr const vxn::wchar* Automatic = VXN_W("Automatic");
inline constexpr const vxn::wchar* ExistingDir = VXN_W("ExistingDir");
inline constexpr const vxn::wchar* TempDir = VXN_W("TempDir");
inline constexpr const vxn::wchar* DownloadUrl = VXN_W("DownloadUrl");
inline constexpr const vxn::wchar* Proxy = VXN_W("Proxy");
inline constexpr const vxn::wchar* ProxyBypass = VXN_W("ProxyBypass");
inline constexpr const vxn::wchar* Language = VXN_W("Language");
inline constexpr const vxn::wchar* UserName = VXN_W("UserName");
inline constexpr const vxn::wchar* SingleGameId = VXN_W("SingleGameId");
inline constexpr const vxn::wchar* InstallGame = VXN_W("InstallGame");
inline constexpr const vxn::wchar* Depot = VXN_W("Depot");
inline constexpr const vxn::wchar* Arguments = VXN_W("Arguments");
inline constexpr const vxn::wchar* AppSuffix = VXN_W("AppSuffix");
} // namespace Key

// A copy of the value stored for key, or a copy of fallback when the key is absent.
vxn::wstring Get(const vxn::wstring& key, const vxn::wstring& fallback);

// True when key is present (with any value, the empty one included).
bool Has(const vxn::wstring& key);

// The stored value for update; an absent key is first inserted with an empty value.
vxn::wstring& Entry(const vxn::wstring& key);

// Adds key with value unless the key is already present; true when it was added.
bool AddIfAbsent(const vxn::wstring& key, const vxn::wstring& value);

// The store itself, for listing its entries (diagnostics and tests).
const Store& Entries();

// Removes every entry. For tests, and for start-up before anything was read; the running
// program never forgets an option once it is set.
void Clear();

// Flags: on when the key is present.
bool SelfUpdate();
bool PortableInstallation();
bool UseSteam();
bool Automatic();

// Texts: the stored value, or "" when absent.
vxn::wstring Arguments();
vxn::wstring Depot();
vxn::wstring DownloadUrl();
vxn::wstring InstallGame();
vxn::wstring Language();
vxn::wstring Proxy();
vxn::wstring ProxyBypass();
vxn::wstring SingleGameId();
vxn::wstring UserName();

// Folders: a copy of Entry, so reading one leaves an empty entry behind when it was absent.
vxn::wstring ExistingDir();
vxn::wstring TempDir();

} // namespace Settings

// The resource id of the embedded configuration (a data resource of the program itself).
inline constexpr vxn::u32 EmbeddedConfigurationId = 111;

// The text of data resource `id` of the running program, decoded from UTF-8 (a trailing
// NUL byte is not part of the text, a byte-order mark is kept); "" when there is none.
vxn::wstring LoadResourceText(vxn::u32 id);

// Reads configuration text into the store: one "key=value" per line (CR, LF or both end a
// line), ";" after leading whitespace starts a comment, sections are ignored, and a key
// that is already present keeps its value. False when the text is empty.
bool LoadConfigurationText(const vxn::wstring& text);

// LoadConfigurationText over resource 111: false when the program carries none.
bool LoadEmbeddedConfiguration();
