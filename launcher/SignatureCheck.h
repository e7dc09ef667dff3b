// The installer's signature check: Authenticode, and the exact publisher.
#pragma once

#include "ui/UserInterface.h"

#include <vxnstl/string>

#include <cstdint>
#include <functional>

// The only publisher whose installers start without a question.
inline constexpr const vxn::wchar* ExpectedPublisher = VXN_W("Vexal Norim Inc.");

// The verdict on a file: 0 when its embedded Authenticode signature is valid under the
// code-signing policy (Windows' codes otherwise, e.g. 0x800B0100 unsigned), and the simple
// display name of the primary signer's certificate when one was read. Never 0 for a file
// whose signature was not verified, whatever went wrong. Windows: WinVerifyTrust and
// CryptoAPI (signature/win32); Linux: the same checks with OpenSSL (signature/posix),
// trusting the code-signing roots built into the program, else the system's store, and
// SSL_CERT_FILE / SSL_CERT_DIR instead of either when set (TrustAnchors.h).
struct SignatureVerdict {
    std::uint32_t code = 0;
    vxn::wstring signer;
};

SignatureVerdict CheckFileSignature(const vxn::wstring& path);

// CheckFileSignature plus the publisher rule: 0 only for a valid signature by exactly
// ExpectedPublisher (123, ERROR_INVALID_NAME, for any other signer); never 0 otherwise.
std::uint32_t InstallerSignatureCode(const vxn::wstring& path);

// The code as the user sees it: 0x800B.... and 0x8009.... keep their lower 16 bits, any other
// code is shown whole as a signed decimal.
std::int32_t DisplayedSignatureCode(std::uint32_t code);

// The warning's text: string 8 (IDS_SIGNATURE_UNVERIFIED, a printf-style pattern with one
// "%d") with the displayed code, at most 2047 characters.
vxn::wstring SignatureWarningText(std::uint32_t code);
// The same with the pattern given, cut after 2047 characters.
vxn::wstring SignatureWarningText(const vxn::wstring& pattern, std::uint32_t code);

// The whole check of the dialog: true when the installer is to be started, either because
// it is verified or because the user answered Yes to the warning (string 8 with the code,
// caption string 7, Yes/No, warning icon, owned by `parent`).
bool VerifyInstallerSignature(ui::Window parent, const vxn::wstring& path);

// Asks the user the warning's question: text, caption, style; the button pressed.
using SignatureQuestion = std::function<int(const vxn::wstring& text, const vxn::wstring& caption, unsigned style)>;
// The same check with the question asked through `ask`, so that the download dialog puts
// it to the user the way it puts all its messages.
bool VerifyInstallerSignature(const vxn::wstring& path, const SignatureQuestion& ask);
