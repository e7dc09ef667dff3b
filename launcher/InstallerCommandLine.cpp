// The installer's command line (InstallerCommandLine.h).
#include "InstallerCommandLine.h"

#include "CommandLine.h"
#include "Settings.h"

#include "Format.h"

// One forwarded option with its value between quotes. A value that holds a quote, or ends
// with a backslash (which would escape the closing quote), gets the passthrough's escaping
// instead, so the installer receives it as one argument, unchanged, and it cannot add
// options of its own.
void AppendInstallerOption(vxn::wstring& text, const vxn::wchar* option, const vxn::wstring& value)
{
    bool plain = value.empty() || value[value.size() - 1] != '\\';
    for (vxn::wchar c : value)
        plain = plain && c != '"';
    if (plain) {
        text.append(VXN::format(VXN_W(" {0} \"{1}\""), option, value));
        return;
    }
    vxn::wstring quoted;
    AppendQuotedArgument(quoted, value);
    quoted.resize(quoted.size() - 1, 0); // its separating space
    text.append(VXN::format(VXN_W(" {0} {1}"), option, quoted));
}

namespace {

vxn::wstring Setting(SettingReader& settings, const vxn::wchar* key)
{
    vxn::wstring value;
    settings.ReadSetting(key, value);
    return value;
}

bool Flag(SettingReader& settings, const vxn::wchar* key)
{
    vxn::wstring value;
    return settings.ReadSetting(key, value);
}

} // namespace

vxn::wstring InstallerArguments(SettingReader& settings)
{
    vxn::wstring text;
    if (Flag(settings, Settings::Key::SelfUpdate))
        text.append(VXN_W(" -selfupdate"));
    if (Flag(settings, Settings::Key::PortableInstallation))
        text.append(VXN_W(" -portable"));
    if (Flag(settings, Settings::Key::UseSteam))
        text.append(VXN_W(" -steam"));
    if (Flag(settings, Settings::Key::Automatic))
        text.append(VXN_W(" -automatic"));
    static constexpr struct {
        const vxn::wchar* key;
        const vxn::wchar* option;
    } kValues[] = {
        {Settings::Key::ExistingDir, VXN_W("-existing")},     {Settings::Key::Language, VXN_W("-language")},
        {Settings::Key::UserName, VXN_W("-username")},        {Settings::Key::InstallGame, VXN_W("-installgame")},
        {Settings::Key::Depot, VXN_W("-depot")},              {Settings::Key::SingleGameId, VXN_W("-singlegame")},
    };
    for (const auto& entry : kValues) {
        const vxn::wstring value = Setting(settings, entry.key);
        if (!value.empty())
            AppendInstallerOption(text, entry.option, value);
    }
    return text;
}
