// Authenticode on Windows: WinVerifyTrust decides, CryptoAPI names the signer.
//
// Steps, each only after every earlier one succeeded:
//   0. the file's shape, read here before any system call decodes it: sections that
//      overlap (which would have the image hash read their bytes once per section), a
//      signature entry of more than a mebibyte, and a SignedData lengthened where no
//      signature covers it (a digest list other than exactly the signer's algorithm, more
//      than 32 certificates or revocation lists), the signature's or a time stamp
//      token's, are refused as the Linux half refuses them;
//   1. WinVerifyTrust, generic verify policy, no UI, no revocation, no state kept;
//   2. CryptQueryObject: the embedded PKCS#7 message and its certificate store;
//   3. CryptMsgGetParam(CMSG_SIGNER_INFO_PARAM): the primary signer, size then data;
//   4. CertFindCertificateInStore(CERT_FIND_SUBJECT_CERT): the signer's certificate;
//   4a. the signer's content-type attribute, its digest and the image hash's:
//      SpcIndirectData, and no MD2, MD4 or MD5, asked here too so that the verdict does
//      not rest on a trust provider (Wine's) weighing them;
//   4b. the signer's time stamp, then its chain for code signing under the Authenticode
//      chain policy at the stamp's time (now for a certificate for lifetime signing): Wine's WinVerifyTrust accepts a chain to an
//      untrusted or self-signed root, an expired signer, a signer not meant for code
//      signing and a spoilt time stamp, all of which Windows refuses, so the question is
//      asked again where both answer it; on Windows this repeats a verdict already given.
//      Wine's chain engine neither weighs weak (MD5) certificate signatures nor takes the
//      chain's usage as the intersection of every certificate's, so those two are asked
//      of the chain here (ChainUsage);
//   5. CertGetNameStringW(CERT_NAME_SIMPLE_DISPLAY_TYPE): size then data, each > 1.
// Then the releases, always, in the order name, certificate, signer information,
// message, store. A failing step's code is what the thread's last error says after it
// (WinVerifyTrust's result, the chain policy's error), and the thread's last error holds
// it again after the releases.
#include "SignatureCheck.h"

#include "signature/Der.h"
#include "signature/PeImage.h"
#include "signature/TrustCodes.h"
#include "signature/win32/ChainUsage.h"
#include "signature/win32/TimeStamp.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD Encodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The trust request's sizes as the 32-bit program passes them (16 and 48 bytes there):
// the structures up to their last field that this program knows, so that newer headers
// with appended fields do not change what is asked.
constexpr DWORD FileInfoSize = sizeof(WINTRUST_FILE_INFO);
constexpr DWORD TrustDataSize = offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD);
#if !defined(_WIN64)
static_assert(FileInfoSize == 16 && TrustDataSize == 48, "the trust request of the 32-bit program");
#endif

// The code of a step that failed: its last error, or, should the system have left none,
// a code that still says "not verified".
DWORD FailureCode(DWORD lastError)
{
    return lastError != 0 ? lastError : signature::TrustFail;
}

// Step 4b: the signer's chain, built with the signature's own certificates, for code
// signing, under the Authenticode policy, valid at the time stamp's time (`when`) or,
// without one, now. In the policies' order: a weakly signed certificate, the policy's
// verdict, the chain's usage.
DWORD ChainPolicyError(PCCERT_CONTEXT signer, HCERTSTORE signatureStore, FILETIME* when)
{
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!signature::platform::BuildChain(signer, when, signatureStore, szOID_PKIX_KP_CODE_SIGNING, chain))
        return FailureCode(GetLastError());
    DWORD error = 0;
    if (!signature::platform::ChainVerdict(chain, CERT_CHAIN_POLICY_AUTHENTICODE, error))
        error = FailureCode(GetLastError());
    if (error == 0 && !signature::platform::ChainAllows(chain, szOID_PKIX_KP_CODE_SIGNING))
        error = signature::CertWrongUsage;
    CertFreeCertificateChain(chain);
    return error;
}

// Whether a digest algorithm's identifier (its DER content bytes) is MD2, MD4 or MD5.
bool IsWeakDigest(const signature::Der& oid)
{
    static const BYTE md[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02};
    return oid.Size() == sizeof md + 1 && std::memcmp(oid.Data(), md, sizeof md) == 0 &&
           (oid.Data()[sizeof md] == 2 || oid.Data()[sizeof md] == 4 || oid.Data()[sizeof md] == 5);
}

// Whether the image hash of the message's SpcIndirectDataContent is made with a weak
// digest. SpcIndirectDataContent ::= SEQUENCE { data SEQUENCE, messageDigest SEQUENCE {
// digestAlgorithm SEQUENCE { OBJECT IDENTIFIER, ... }, digest } }. Content that cannot be
// read here is left to WinVerifyTrust, which has accepted it.
bool ImageDigestIsWeak(HCRYPTMSG message)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, nullptr, &size) || size == 0)
        return false;
    std::vector<BYTE> content(size);
    if (!CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, content.data(), &size))
        return false;
    signature::Der all(content.data(), size), wrapped, indirect, data, digestInfo, algorithm, oid;
    // The content may come as an OCTET STRING around it.
    if (content[0] == 0x04 && signature::Der(all).Take(0x04, wrapped))
        all = wrapped;
    return all.Take(0x30, indirect) && indirect.Take(0x30, data) && indirect.Take(0x30, digestInfo) &&
           digestInfo.Take(0x30, algorithm) && algorithm.Take(0x06, oid) && IsWeakDigest(oid);
}

// Step 4a: what the signature says of itself that the Linux half refuses too: a
// content-type attribute that does not name SpcIndirectData (or none),
// TRUST_E_NOSIGNATURE; MD2, MD4 or MD5 as the signer's digest or the image hash's,
// NTE_BAD_ALGID. 0 otherwise.
DWORD SignerClaimsError(HCRYPTMSG message, const CMSG_SIGNER_INFO& signer)
{
    // SPC_INDIRECT_DATA_OBJID (1.3.6.1.4.1.311.2.1.4) as the attribute's DER value.
    static const BYTE indirectData[] = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
    bool namesIndirectData = false;
    for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr || std::strcmp(attribute.pszObjId, szOID_RSA_contentType) != 0)
            continue;
        namesIndirectData = attribute.cValue == 1 && attribute.rgValue[0].cbData == sizeof indirectData &&
                            std::memcmp(attribute.rgValue[0].pbData, indirectData, sizeof indirectData) == 0;
        break;
    }
    if (!namesIndirectData)
        return signature::TrustNoSignature;
    const char* digest = signer.HashAlgorithm.pszObjId;
    for (const char* weak : {szOID_RSA_MD5, szOID_RSA_MD4, szOID_RSA_MD2}) {
        if (digest == nullptr || std::strcmp(digest, weak) == 0)
            return signature::BadAlgorithm;
    }
    return ImageDigestIsWeak(message) ? signature::BadAlgorithm : 0;
}

// The file as step 0 reads it: only the headers, the section table and the signature.
class FileBytes final : public signature::ByteSource {
public:
    FileBytes(HANDLE file, std::uint64_t size) : m_file(file), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t size) override
    {
        auto* to = static_cast<BYTE*>(out);
        while (size > 0) {
            OVERLAPPED at = {};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD asked = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
            DWORD got = 0;
            if (!ReadFile(m_file, to, asked, &got, &at) || got == 0)
                return false;
            to += got;
            offset += got;
            size -= got;
        }
        return true;
    }

private:
    HANDLE m_file;
    std::uint64_t m_size;
};

// Step 0: TRUST_E_NOSIGNATURE for overlapping sections, a signature of more than a
// mebibyte or a lengthened one,
// TRUST_E_TIME_STAMP for a lengthened token; 0 for anything else, which the system then judges
// (a file that cannot be opened or read here included: its own codes say why).
DWORD ShapeError(const vxn::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD failure = 0;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0) {
        FileBytes bytes(file, static_cast<std::uint64_t>(size.QuadPart));
        signature::PeImage image;
        switch (signature::ReadPeImage(bytes, image)) {
        case signature::PeStatus::Malformed:
        case signature::PeStatus::SignatureTooLarge:
            failure = signature::TrustNoSignature;
            break;
        case signature::PeStatus::Ok: {
            std::vector<BYTE> blob(static_cast<std::size_t>(image.signedData.size));
            if (!bytes.Read(image.signedData.offset, blob.data(), blob.size()))
                break;
            switch (signature::FindSignedDataFault(blob.data(), blob.size())) {
            case signature::SignedDataFault::Signature:
                failure = signature::TrustNoSignature;
                break;
            case signature::SignedDataFault::TimeStamp:
                failure = signature::TrustTimeStamp;
                break;
            case signature::SignedDataFault::None:
                break;
            }
            break;
        }
        default:
            break;
        }
    }
    CloseHandle(file);
    return failure;
}

} // namespace

SignatureVerdict CheckFileSignature(const vxn::wstring& path)
{
    SignatureVerdict verdict;
    DWORD failure = ShapeError(path);

    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    PCMSG_SIGNER_INFO signerInfo = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    wchar_t* name = nullptr;

    // 1. Trust.
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = FileInfoSize;
    file.pcwszFilePath = path.c_str();
    file.hFile = nullptr;
    file.pgKnownSubject = nullptr;
    WINTRUST_DATA trust = {};
    trust.cbStruct = TrustDataSize;
    trust.pPolicyCallbackData = nullptr;
    trust.pSIPClientData = nullptr;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &file;
    trust.dwStateAction = 0; // WTD_STATEACTION_IGNORE: nothing to close afterwards
    trust.hWVTStateData = nullptr;
    trust.pwszURLReference = nullptr;
    trust.dwProvFlags = 0;
    trust.dwUIContext = 0;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    if (failure == 0) {
        const LONG trusted = WinVerifyTrust(nullptr, &action, &trust);
        if (trusted != 0)
            failure = static_cast<DWORD>(trusted);
    }

    // 2. The signature's message and store.
    if (failure == 0) {
        DWORD encoding = 0, contentType = 0, formatType = 0;
        if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                              CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store,
                              &message, nullptr))
            failure = FailureCode(GetLastError());
    }

    // 3. The primary signer: the size, then the data.
    if (failure == 0) {
        DWORD size = 0;
        if (!CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
            failure = FailureCode(GetLastError());
        } else if ((signerInfo = static_cast<PCMSG_SIGNER_INFO>(LocalAlloc(LPTR, size))) == nullptr) {
            failure = FailureCode(GetLastError());
        } else if (!CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, signerInfo, &size)) {
            failure = FailureCode(GetLastError());
        }
    }

    // 4. The signer's certificate, by issuer and serial number.
    if (failure == 0) {
        CERT_INFO wanted = {};
        wanted.Issuer = signerInfo->Issuer;
        wanted.SerialNumber = signerInfo->SerialNumber;
        certificate = CertFindCertificateInStore(store, Encodings, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
        if (certificate == nullptr)
            failure = FailureCode(GetLastError());
    }

    // 4a. The signer's content type and digest.
    if (failure == 0)
        failure = SignerClaimsError(message, *signerInfo);

    // 4b. Its chain under the Authenticode policy, at the time of a valid time stamp.
    if (failure == 0) {
        FILETIME stamped = {};
        DWORD stampFailure = 0;
        switch (signature::platform::VerifySignerTimeStamp(store, *signerInfo, stamped, stampFailure)) {
        case signature::platform::TimeStampState::None:
            failure = ChainPolicyError(certificate, store, nullptr);
            break;
        case signature::platform::TimeStampState::Valid:
            // A certificate for lifetime signing counts now, time stamp or not.
            failure = ChainPolicyError(certificate, store,
                                       signature::platform::CertificateNames(certificate, szOID_KP_LIFETIME_SIGNING)
                                           ? nullptr
                                           : &stamped);
            break;
        case signature::platform::TimeStampState::Invalid:
            failure = stampFailure;
            break;
        }
    }

    // 5. Its simple display name: the size, then the text; each count includes the
    // terminator, so 1 is an empty name.
    if (failure == 0) {
        const DWORD size = CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
        if (size <= 1) {
            failure = FailureCode(GetLastError());
        } else if ((name = static_cast<wchar_t*>(LocalAlloc(LPTR, size * sizeof(wchar_t)))) == nullptr) {
            failure = FailureCode(GetLastError());
        } else if (CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, size) <= 1) {
            failure = FailureCode(GetLastError());
        } else {
            // The whole name as returned, up to its terminator: a name with a NUL inside
            // ("Vexal Norim Inc.\0...") must not compare as its first part.
            name[size - 1] = 0;
            verdict.signer.assign(name, static_cast<vxn::u32>(size - 1));
        }
    }

    // 7. The releases, in this order, whatever happened.
    if (name != nullptr)
        LocalFree(name);
    if (certificate != nullptr)
        CertFreeCertificateContext(certificate);
    if (signerInfo != nullptr)
        LocalFree(signerInfo);
    if (message != nullptr)
        CryptMsgClose(message);
    if (store != nullptr)
        CertCloseStore(store, 0);

    verdict.code = failure;
    if (failure != 0) {
        verdict.signer.clear();
        SetLastError(failure);
    }
    return verdict;
}
