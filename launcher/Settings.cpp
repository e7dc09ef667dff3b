#include "Settings.h"

#include "ProgramResource.h"
#include "TokenList.h"
#include "resource.h"

static_assert(EmbeddedConfigurationId == IDR_EMBEDDED_CONFIGURATION, "the code and the resource script agree on the id");

namespace Settings {

namespace {

// Created on first use and destroyed with the process; it starts with no buckets.
struct StoreHolder {
    Store store;
    StoreHolder() { store.max_load_factor(0.75f); }
};

Store& TheStore()
{
    static StoreHolder holder;
    return holder.store;
}

} // namespace

vxn::wstring Get(const vxn::wstring& key, const vxn::wstring& fallback)
{
    Store& store = TheStore();
    auto found = store.find(key);
    if (found == store.end())
        return fallback;
    return found->second;
}

bool Has(const vxn::wstring& key)
{
    Store& store = TheStore();
    return store.find(key) != store.end();
}

vxn::wstring& Entry(const vxn::wstring& key)
{
    return TheStore()[key];
}

bool AddIfAbsent(const vxn::wstring& key, const vxn::wstring& value)
{
    return TheStore().insert(Store::value_type(key, value)).second;
}

const Store& Entries()
{
    return TheStore();
}

void Clear()
{
    TheStore().clear();
}

bool SelfUpdate() { return Has(Key::SelfUpdate); }
bool PortableInstallation() { return Has(Key::PortableInstallation); }
bool UseSteam() { return Has(Key::UseSteam); }
bool Automatic() { return Has(Key::Automatic); }

vxn::wstring Arguments() { return Get(Key::Arguments, VXN_W("")); }
vxn::wstring Depot() { return Get(Key::Depot, VXN_W("")); }
vxn::wstring DownloadUrl() { return Get(Key::DownloadUrl, VXN_W("")); }
vxn::wstring InstallGame() { return Get(Key::InstallGame, VXN_W("")); }
vxn::wstring Language() { return Get(Key::Language, VXN_W("")); }
vxn::wstring Proxy() { return Get(Key::Proxy, VXN_W("")); }
vxn::wstring ProxyBypass() { return Get(Key::ProxyBypass, VXN_W("")); }
vxn::wstring SingleGameId() { return Get(Key::SingleGameId, VXN_W("")); }
vxn::wstring UserName() { return Get(Key::UserName, VXN_W("")); }

vxn::wstring ExistingDir() { return Entry(Key::ExistingDir); }
vxn::wstring TempDir() { return Entry(Key::TempDir); }

} // namespace Settings

namespace {

// The six characters that count as blank around keys and values; nothing else does (no
// Unicode spaces), so a configuration reads the same in every locale.
bool IsBlank(vxn::wchar c)
{
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

const vxn::wchar* SkipLeadingBlanks(const vxn::wchar* text)
{
    while (*text != 0 && IsBlank(*text))
        ++text;
    return text;
}

vxn::u32 LengthWithoutTrailingBlanks(const vxn::wchar* text)
{
    vxn::u32 length = vxn::length_of(text);
    while (length > 0 && IsBlank(text[length - 1]))
        --length;
    return length;
}

} // namespace

vxn::wstring LoadResourceText(vxn::u32 id)
{
    vxn::string bytes;
    vxn::wstring text;
    if (!ReadProgramResource(id, bytes) || bytes.empty())
        return text;
    // The converter leaves a final NUL byte out of the text, as a resource compiler may
    // append one.
    text.assign_utf8(bytes.data(), bytes.size());
    return text;
}

bool LoadConfigurationText(const vxn::wstring& text)
{
    if (text.empty())
        return false;

    TokenList lines(8);
    lines.Split(text.c_str(), VXN_W("\r\n"));
    TokenList pieces(8);
    for (vxn::wchar* line : lines) {
        // A comment is recognised on the trimmed line, but the pieces come from the raw
        // one: blanks before the key and after the value stay part of them.
        if (*SkipLeadingBlanks(line) == ';')
            continue;
        pieces.Split(line, VXN_W("="));
        if (pieces.Count() < 2)
            continue;
        const vxn::wstring key(pieces[0], LengthWithoutTrailingBlanks(pieces[0]));
        const vxn::wstring value(SkipLeadingBlanks(pieces[1]));
        Settings::AddIfAbsent(key, value);
    }
    return true;
}

bool LoadEmbeddedConfiguration()
{
    return LoadConfigurationText(LoadResourceText(EmbeddedConfigurationId));
}
