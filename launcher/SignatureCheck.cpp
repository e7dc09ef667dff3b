// The installer's signature check: the platform's verdict on the file (signature/), the
// publisher rule, and the warning with its question when either fails. Every way out that
// is not a verified file by exactly the expected publisher passes through the warning
// with a code other than 0; only the user's Yes starts such a file.
#include "SignatureCheck.h"

#include "LocalizedStrings.h"
#include "signature/TrustCodes.h"

#include "Format.h"
#include "Interruption.h"
#include "Log.h"

namespace {

// The warning's text buffer: 2047 characters and the terminator, as the message allows.
constexpr vxn::u32 WarningCapacity = 2048;

} // namespace

std::uint32_t InstallerSignatureCode(const vxn::wstring& path)
{
    const SignatureVerdict verdict = CheckFileSignature(path);
    if (verdict.code != 0)
        return verdict.code;
    // The whole text, unit by unit: no case folding, no prefix, no trimming. A valid
    // signature whose name could not be read is no signature by the publisher either.
    return verdict.signer == ExpectedPublisher ? 0u : signature::InvalidName;
}

std::int32_t DisplayedSignatureCode(std::uint32_t code)
{
    const std::uint32_t facility = code >> 16;
    if (facility == 0x800Bu || facility == 0x8009u)
        return static_cast<std::int32_t>(code & 0xFFFFu);
    return static_cast<std::int32_t>(code);
}

vxn::wstring SignatureWarningText(std::uint32_t code)
{
    return SignatureWarningText(LoadLocalizedString(IDS_SIGNATURE_UNVERIFIED), code);
}

vxn::wstring SignatureWarningText(const vxn::wstring& pattern, std::uint32_t code)
{
    vxn::wchar buffer[WarningCapacity];
    buffer[0] = 0;
    VXN::format_to(buffer, WarningCapacity, pattern.c_str(), DisplayedSignatureCode(code));
    buffer[WarningCapacity - 1] = 0;
    return vxn::wstring(buffer);
}

bool VerifyInstallerSignature(ui::Window parent, const vxn::wstring& path)
{
    return VerifyInstallerSignature(path, [parent](const vxn::wstring& text, const vxn::wstring& caption, unsigned style) {
        return ui::ShowMessageBox(parent, text, caption, style);
    });
}

bool VerifyInstallerSignature(const vxn::wstring& path, const SignatureQuestion& ask)
{
    std::uint32_t code = 0;
    {
        // The check runs on the window's thread: a signal that ends the run is noted by
        // the scope, the check gives up, and nothing is started or asked.
        VXN::InterruptionScope interruption;
        code = InstallerSignatureCode(path);
        if (const char* signal = interruption.Noted()) {
            VXN_LOG("ZyrelDownloaderDialog", VXN::LogLevel::Info,
                    "{0} during the signature check: the run ends, the installer is not started", signal);
            return false;
        }
    }
    if (code == 0)
        return true;
    VXN_LOG("ZyrelDownloaderDialog", VXN::LogLevel::Warning, "Signature of {0} not verified: 0x{1:X8}", path, code);
    return ask(SignatureWarningText(code), LoadLocalizedString(IDS_UPDATE_FAILED),
               ui::StyleYesNo | ui::StyleIconWarning) == ui::IdYes;
}
