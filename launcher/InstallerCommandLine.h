// The installer's command line: the user's options, forwarded from the settings to the
// installer that the download dialog starts.
#pragma once

#include <vxnstl/string>

// Where the options are read from. The dialog reads them through its platform, so that a
// test can drive every option without the process-wide store.
class SettingReader {
public:
    virtual ~SettingReader() = default;
    // A setting: true when the key is present, its value in `value` ("" when absent).
    virtual bool ReadSetting(const vxn::wchar* key, vxn::wstring& value) = 0;
};

// The installer's parameter text from the settings ("" when no option applies): the flags
// (-selfupdate, -portable, -steam, -automatic) whenever their key is present, then every
// value option that is not empty, each with a space before it.
vxn::wstring InstallerArguments(SettingReader& settings);

// Appends " option \"value\"". A value that holds a quote, or ends with a backslash, is
// quoted with the passthrough's rules (AppendQuotedArgument) instead, so the installer
// receives it as one argument, unchanged.
void AppendInstallerOption(vxn::wstring& text, const vxn::wchar* option, const vxn::wstring& value);
