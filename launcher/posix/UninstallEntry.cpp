// The uninstall entry on Linux: a file-backed stand-in for the registry key. The key path
// becomes folders below the root and the value a file of its name:
//
//   $ZYREL_REGISTRY_ROOT/Software/Microsoft/Windows/CurrentVersion/Uninstall/Zyrel<suffix>/InstallLocation
//
// The file holds UTF-8 text (a leading UTF-8 byte-order mark is skipped), or UTF-16LE text
// after the byte-order mark FF FE, the form in which the registry keeps it.
#include "UninstallEntry.h"

#include "ReadFile.h"

#include <cstdlib>

namespace {

constexpr const char* DefaultRoot = "/etc/zyrel/registry";

// UTF-8 needs at most 3 bytes per UTF-16 unit, so no file larger than this can fit.
constexpr vxn::u32 MaxFileBytes = 2 * UninstallValueLimitBytes + 3;

// Appends one key name as a folder. Names that a folder cannot mirror (empty, "." and "..",
// or holding a slash) make the key unreachable rather than reach outside the root.
bool AppendSegment(vxn::string& path, const char* name, vxn::u32 length)
{
    if (length == 0 || (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (vxn::u32 i = 0; i < length; ++i) {
        if (name[i] == '/')
            return false;
    }
    path.push_back('/');
    path.append(name, length);
    return true;
}

bool ValuePath(const vxn::wstring& key_path, const vxn::wchar* name, vxn::string& path)
{
    const char* root = std::getenv("ZYREL_REGISTRY_ROOT");
    path.assign(root != nullptr && root[0] != 0 ? root : DefaultRoot);

    vxn::string key;
    key.assign_utf16(key_path.data(), key_path.size());
    const char* segment = key.c_str();
    for (vxn::u32 i = 0;; ++i) {
        const char c = key.c_str()[i];
        if (c == '\\' || c == 0) {
            if (!AppendSegment(path, segment, static_cast<vxn::u32>(key.c_str() + i - segment)))
                return false;
            if (c == 0)
                break;
            segment = key.c_str() + i + 1;
        }
    }

    vxn::string value;
    value.assign_utf16(name, vxn::length_of(name));
    return AppendSegment(path, value.c_str(), value.size());
}

} // namespace

bool ReadUninstallValue(const vxn::wstring& key_path, const vxn::wchar* name, vxn::wstring& data)
{
    data.clear();
    vxn::string path;
    vxn::string bytes;
    if (!ValuePath(key_path, name, path) || !VXN::ReadWholeFile(path.c_str(), MaxFileBytes, bytes).Succeeded())
        return false;

    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.c_str());
    const vxn::u32 size = bytes.size();
    if (size >= 2 && raw[0] == 0xFF && raw[1] == 0xFE) {
        const vxn::u32 payload = size - 2;
        if (payload > UninstallValueLimitBytes)
            return false;
        // Like the registry's byte count, an odd last byte is not a unit.
        data.resize(payload / 2, 0);
        if (data.size() != payload / 2)
            return false;
        for (vxn::u32 i = 0; i < payload / 2; ++i)
            data[i] = static_cast<vxn::wchar>(raw[2 + 2 * i] | (raw[3 + 2 * i] << 8));
        return true;
    }

    const vxn::u32 skip = size >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF ? 3 : 0;
    if (size > skip)
        data.assign_utf8(bytes.c_str() + skip, size - skip);
    // The conversion leaves a final NUL out of the text; the registry would store it, so it
    // counts against the limit.
    const vxn::u32 units = data.size() + (size > skip && raw[size - 1] == 0 ? 1 : 0);
    if (units > UninstallValueLimitBytes / sizeof(vxn::wchar)) {
        data.clear();
        return false;
    }
    return true;
}
