// STAND-IN until the real check lands: every file counts as unsigned, so the warning shows.
#include "SignatureCheck.h"

#include "LocalizedStrings.h"

#include "Format.h"

SignatureVerdict CheckFileSignature(const vxn::wstring&)
{
    SignatureVerdict verdict;
    verdict.code = 0x800B0100u;
    return verdict;
}

std::uint32_t InstallerSignatureCode(const vxn::wstring& path)
{
    const SignatureVerdict verdict = CheckFileSignature(path);
    if (verdict.code != 0)
        return verdict.code;
    return verdict.signer == ExpectedPublisher ? 0u : 123u;
}

std::int32_t DisplayedSignatureCode(std::uint32_t code)
{
    const std::uint32_t facility = code >> 16;
    if (facility == 0x800Bu || facility == 0x8009u)
        return static_cast<std::int32_t>(code & 0xFFFFu);
    return static_cast<std::int32_t>(code);
}

bool VerifyInstallerSignature(ui::Window parent, const vxn::wstring& path)
{
    const std::uint32_t code = InstallerSignatureCode(path);
    if (code == 0)
        return true;
    vxn::wstring text;
    text.assign_format(LoadLocalizedString(IDS_SIGNATURE_UNVERIFIED).c_str(), DisplayedSignatureCode(code));
    return ui::ShowMessageBox(parent, text, LoadLocalizedString(IDS_UPDATE_FAILED),
                              ui::StyleYesNo | ui::StyleIconWarning) == ui::IdYes;
}
