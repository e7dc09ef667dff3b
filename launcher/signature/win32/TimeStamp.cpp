#include "signature/win32/TimeStamp.h"

#include "signature/Der.h"
#include "signature/TrustCodes.h"
#include "signature/win32/ChainUsage.h"

#include <cstring>
#include <vector>

namespace signature::platform {
namespace {

constexpr DWORD Encodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr const char* Rfc3161TimeStampOid = "1.3.6.1.4.1.311.3.3.1";
constexpr const char* TstInfoOid = "1.2.840.113549.1.9.16.1.4";

// A parameter of a message: the size, then the data.
bool MessageParam(HCRYPTMSG message, DWORD type, std::vector<BYTE>& out)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, type, 0, nullptr, &size) || size == 0)
        return false;
    out.resize(size);
    if (!CryptMsgGetParam(message, type, 0, out.data(), &size))
        return false;
    out.resize(size);
    return true;
}

const wchar_t* CngName(DigestKind kind)
{
    switch (kind) {
    case DigestKind::Sha1:
        return L"SHA1";
    case DigestKind::Sha256:
        return L"SHA256";
    case DigestKind::Sha384:
        return L"SHA384";
    case DigestKind::Sha512:
        return L"SHA512";
    default:
        return nullptr;
    }
}

// Whether the token's imprint is the digest of the signer's signature value.
bool ImprintMatches(DigestKind kind, const Der& imprint, const CRYPT_DATA_BLOB& signature)
{
    const wchar_t* name = CngName(kind);
    BYTE computed[64];
    DWORD size = sizeof computed;
    if (name == nullptr || !CryptHashCertificate2(name, 0, nullptr, signature.pbData, signature.cbData, computed, &size))
        return false;
    return imprint.Size() == size && std::memcmp(imprint.Data(), computed, size) == 0;
}

// GeneralizedTime in UTC, "YYYYMMDDHHMMSS" with an optional fraction, then "Z".
bool ParseGeneralizedTime(const Der& text, FILETIME& out)
{
    const std::uint8_t* t = text.Data();
    const std::size_t n = text.Size();
    if (n < 15 || t[n - 1] != 'Z')
        return false;
    for (std::size_t i = 0; i < 14; ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
    }
    const auto number = [t](std::size_t at, std::size_t digits) {
        WORD value = 0;
        for (std::size_t i = 0; i < digits; ++i)
            value = static_cast<WORD>(value * 10 + (t[at + i] - '0'));
        return value;
    };
    SYSTEMTIME parts = {};
    parts.wYear = number(0, 4);
    parts.wMonth = number(4, 2);
    parts.wDay = number(6, 2);
    parts.wHour = number(8, 2);
    parts.wMinute = number(10, 2);
    parts.wSecond = number(12, 2);
    if (n > 15) {
        if (t[14] != '.' || n < 17)
            return false;
        WORD milliseconds = 0;
        for (std::size_t i = 15, digits = 0; i < n - 1; ++i, ++digits) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            if (digits < 3)
                milliseconds = static_cast<WORD>(milliseconds * 10 + (t[i] - '0'));
        }
        for (std::size_t digits = n - 16; digits < 3; ++digits)
            milliseconds = static_cast<WORD>(milliseconds * 10);
        parts.wMilliseconds = milliseconds;
    }
    return SystemTimeToFileTime(&parts, &out) != FALSE;
}

// The authority's chain, valid at `when`, for time stamping: 0, or the chain's code in the
// policies' order (a weakly signed certificate, the base policy's verdict, the usage of
// the chain and of the authority itself).
DWORD AuthorityError(PCCERT_CONTEXT authority, HCERTSTORE extra, FILETIME when)
{
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!BuildChain(authority, &when, extra, szOID_PKIX_KP_TIMESTAMP_SIGNING, chain))
        return TrustTimeStamp;
    DWORD error = 0;
    if (!ChainVerdict(chain, CERT_CHAIN_POLICY_BASE, error))
        error = TrustTimeStamp;
    // The chain's usage, which Wine's chain engine does not weigh, and the authority's own,
    // which must name time stamping outright.
    if (error == 0 && ((chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) != 0 ||
                       !ChainAllows(chain, szOID_PKIX_KP_TIMESTAMP_SIGNING) ||
                       !CertificateNames(authority, szOID_PKIX_KP_TIMESTAMP_SIGNING)))
        error = CertWrongUsage;
    CertFreeCertificateChain(chain);
    return error;
}

// TSTInfo ::= SEQUENCE { version, policy, messageImprint SEQUENCE { algorithm, digest },
//                        serialNumber, genTime GeneralizedTime, ... }
bool ReadTstInfo(const std::vector<BYTE>& content, const CMSG_SIGNER_INFO& signer, FILETIME& when)
{
    Der all(content.data(), content.size());
    // The content may come as the eContent OCTET STRING itself rather than its value.
    Der wrapped;
    if (!content.empty() && content[0] == 0x04 && Der(all).Take(0x04, wrapped))
        all = wrapped;
    Der info, version, policy, imprint, algorithm, algorithmOid, hash, serial, time;
    return all.Take(0x30, info) && info.Take(0x02, version) && info.Take(0x06, policy) &&
           info.Take(0x30, imprint) && imprint.Take(0x30, algorithm) && algorithm.Take(0x06, algorithmOid) &&
           imprint.Take(0x04, hash) && info.Take(0x02, serial) && info.Take(0x18, time) &&
           ImprintMatches(DigestOf(algorithmOid), hash, signer.EncryptedHash) && ParseGeneralizedTime(time, when);
}

// DER's length octets for `length`.
void AppendLength(std::vector<BYTE>& out, std::size_t length)
{
    if (length < 0x80) {
        out.push_back(static_cast<BYTE>(length));
        return;
    }
    BYTE octets[4];
    int count = 0;
    for (std::size_t rest = length; rest != 0 && count < 4; rest >>= 8)
        octets[count++] = static_cast<BYTE>(rest);
    out.push_back(static_cast<BYTE>(0x80 | count));
    while (count > 0)
        out.push_back(octets[--count]);
}

void AppendElement(std::vector<BYTE>& out, BYTE tag, const std::vector<BYTE>& content)
{
    out.push_back(tag);
    AppendLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
}

void AppendBytes(std::vector<BYTE>& out, const std::uint8_t* bytes, std::size_t size)
{
    out.insert(out.end(), bytes, bytes + size);
}

// The token with only the X.509 entries of its certificate set. The set may hold any
// choice of CertificateChoices (the attribute certificates of large time-stamping
// services); Windows reads past the others, Wine's message decoder refuses the whole token
// for them. No signature covers the set, so dropping entries changes nothing the token
// vouches for. False when there was nothing to drop (or no SignedData to read): the token
// is then decoded as it came.
bool WithX509CertificatesOnly(const CRYPT_ATTR_BLOB& token, std::vector<BYTE>& out)
{
    // ContentInfo ::= SEQUENCE { contentType, [0] EXPLICIT SignedData }
    // SignedData ::= SEQUENCE { version, digestAlgorithms, encapContentInfo,
    //                           [0] IMPLICIT certificates OPTIONAL, [1] crls OPTIONAL, signerInfos }
    Der whole(token.pbData, token.cbData), info, type, typeElement, explicitContent, signedData, version, versionElement,
        algorithms, algorithmsElement, encapsulated, encapsulatedElement, certificates;
    if (!whole.Take(0x30, info) || !info.Take(0x06, type, typeElement) || !info.Take(0xA0, explicitContent) ||
        !explicitContent.Take(0x30, signedData) || !signedData.Take(0x02, version, versionElement) ||
        !signedData.Take(0x31, algorithms, algorithmsElement) ||
        !signedData.Take(0x30, encapsulated, encapsulatedElement) || !signedData.Take(0xA0, certificates))
        return false;
    std::vector<BYTE> kept;
    bool dropped = false;
    while (certificates.Size() > 0) {
        const std::uint8_t tag = certificates.Data()[0];
        Der entry, entryElement;
        if (!certificates.Take(tag, entry, entryElement))
            return false;
        if (tag == 0x30)
            AppendBytes(kept, entryElement.Data(), entryElement.Size());
        else
            dropped = true;
    }
    if (!dropped)
        return false;
    std::vector<BYTE> body, signedDataElement, explicitElement, outer;
    AppendBytes(body, versionElement.Data(), versionElement.Size());
    AppendBytes(body, algorithmsElement.Data(), algorithmsElement.Size());
    AppendBytes(body, encapsulatedElement.Data(), encapsulatedElement.Size());
    AppendElement(body, 0xA0, kept);
    AppendBytes(body, signedData.Data(), signedData.Size()); // the CRLs and the signers, as they were
    AppendElement(signedDataElement, 0x30, body);
    AppendElement(explicitElement, 0xA0, signedDataElement);
    AppendBytes(outer, typeElement.Data(), typeElement.Size());
    AppendBytes(outer, explicitElement.data(), explicitElement.size());
    out.clear();
    AppendElement(out, 0x30, outer);
    return true;
}

// An RFC 3161 token: a signed message of its own whose content is a TSTInfo. `failure`
// as VerifySignerTimeStamp gives it.
bool VerifyRfc3161(const CRYPT_ATTR_BLOB& value, const CMSG_SIGNER_INFO& signer, FILETIME& when, DWORD& failure)
{
    HCRYPTMSG token = CryptMsgOpenToDecode(Encodings, 0, 0, 0, nullptr, nullptr);
    if (token == nullptr)
        return false;
    HCERTSTORE certificates = nullptr;
    PCCERT_CONTEXT authority = nullptr;
    std::vector<BYTE> authorityId, contentType, content;
    bool valid = false;
    std::vector<BYTE> readable;
    const bool stripped = WithX509CertificatesOnly(value, readable);
    if (CryptMsgUpdate(token, stripped ? readable.data() : value.pbData,
                       stripped ? static_cast<DWORD>(readable.size()) : value.cbData, TRUE) &&
        MessageParam(token, CMSG_INNER_CONTENT_TYPE_PARAM, contentType) &&
        std::strncmp(reinterpret_cast<const char*>(contentType.data()), TstInfoOid, contentType.size()) == 0 &&
        MessageParam(token, CMSG_SIGNER_CERT_INFO_PARAM, authorityId) &&
        (certificates = CertOpenStore(CERT_STORE_PROV_MSG, Encodings, 0, 0, token)) != nullptr &&
        (authority = CertGetSubjectCertificateFromStore(certificates, Encodings,
                                                        reinterpret_cast<PCERT_INFO>(authorityId.data()))) != nullptr &&
        CryptMsgControl(token, 0, CMSG_CTRL_VERIFY_SIGNATURE, authority->pCertInfo) &&
        MessageParam(token, CMSG_CONTENT_PARAM, content) && ReadTstInfo(content, signer, when)) {
        const DWORD chainError = AuthorityError(authority, certificates, when);
        valid = chainError == 0;
        if (!valid)
            failure = chainError;
    }
    if (authority != nullptr)
        CertFreeCertificateContext(authority);
    if (certificates != nullptr)
        CertCloseStore(certificates, 0);
    CryptMsgClose(token);
    return valid;
}

// A signed attribute's one value, or null.
const CRYPT_ATTR_BLOB* AttributeValue(const CRYPT_ATTRIBUTES& attributes, const char* oid)
{
    for (DWORD i = 0; i < attributes.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
        if (attribute.pszObjId != nullptr && std::strcmp(attribute.pszObjId, oid) == 0)
            return attribute.cValue == 1 ? &attribute.rgValue[0] : nullptr;
    }
    return nullptr;
}

// The older countersignature: a SignerInfo over the signer's signature value, with the
// signing time among its signed attributes. It is checked as what it is, the one signer
// of a detached SignedData whose content is that signature value: the message functions
// verify such a signer everywhere (CryptMsgVerifyCountersignatureEncoded is a stub in
// Wine), digest attribute and signature alike.
bool VerifyCountersignature(HCERTSTORE store, const CRYPT_ATTR_BLOB& value, const CMSG_SIGNER_INFO& signer,
                            FILETIME& when, DWORD& failure)
{
    // SignerInfo ::= SEQUENCE { version, issuerAndSerialNumber, digestAlgorithm, ... }
    Der attribute(value.pbData, value.cbData), info, version, issuer, digestAlgorithm, digestElement;
    if (!attribute.Take(0x30, info) || !info.Take(0x02, version) || !info.Take(0x30, issuer) ||
        !info.Take(0x30, digestAlgorithm, digestElement))
        return false;
    static const std::uint8_t signedDataOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
    static const std::uint8_t dataContentInfo[] = {0x30, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48,
                                                   0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
    std::vector<BYTE> algorithms, signers, signedData, explicitContent, contentInfo;
    AppendElement(algorithms, 0x31, std::vector<BYTE>(digestElement.Data(), digestElement.Data() + digestElement.Size()));
    AppendElement(signers, 0x31, std::vector<BYTE>(value.pbData, value.pbData + value.cbData));
    std::vector<BYTE> body = {0x02, 0x01, 0x01};
    AppendBytes(body, algorithms.data(), algorithms.size());
    AppendBytes(body, dataContentInfo, sizeof dataContentInfo);
    AppendBytes(body, signers.data(), signers.size());
    AppendElement(signedData, 0x30, body);
    AppendElement(explicitContent, 0xA0, signedData);
    std::vector<BYTE> outer(signedDataOid, signedDataOid + sizeof signedDataOid);
    AppendBytes(outer, explicitContent.data(), explicitContent.size());
    AppendElement(contentInfo, 0x30, outer);

    HCRYPTMSG counter = CryptMsgOpenToDecode(Encodings, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr);
    if (counter == nullptr)
        return false;
    bool valid = false;
    PCCERT_CONTEXT authority = nullptr;
    std::vector<BYTE> authorityId;
    if (CryptMsgUpdate(counter, contentInfo.data(), static_cast<DWORD>(contentInfo.size()), TRUE) &&
        CryptMsgUpdate(counter, signer.EncryptedHash.pbData, signer.EncryptedHash.cbData, TRUE) &&
        MessageParam(counter, CMSG_SIGNER_CERT_INFO_PARAM, authorityId) &&
        (authority = CertGetSubjectCertificateFromStore(store, Encodings,
                                                        reinterpret_cast<PCERT_INFO>(authorityId.data()))) != nullptr &&
        CryptMsgControl(counter, 0, CMSG_CTRL_VERIFY_SIGNATURE, authority->pCertInfo)) {
        std::vector<BYTE> counterInfo;
        const CMSG_SIGNER_INFO* decoded = nullptr;
        if (MessageParam(counter, CMSG_SIGNER_INFO_PARAM, counterInfo))
            decoded = reinterpret_cast<const CMSG_SIGNER_INFO*>(counterInfo.data());
        const CRYPT_ATTR_BLOB* signingTime =
            decoded != nullptr ? AttributeValue(decoded->AuthAttrs, szOID_RSA_signingTime) : nullptr;
        DWORD timeSize = sizeof when;
        if (signingTime != nullptr &&
            CryptDecodeObject(Encodings, szOID_RSA_signingTime, signingTime->pbData, signingTime->cbData, 0, &when,
                              &timeSize)) {
            const DWORD chainError = AuthorityError(authority, store, when);
            valid = chainError == 0;
            if (!valid)
                failure = chainError;
        }
    }
    if (authority != nullptr)
        CertFreeCertificateContext(authority);
    CryptMsgClose(counter);
    return valid;
}

} // namespace

TimeStampState VerifySignerTimeStamp(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, FILETIME& when,
                                     DWORD& failure)
{
    failure = TrustTimeStamp;
    for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr || attribute.cValue != 1)
            continue;
        if (std::strcmp(attribute.pszObjId, Rfc3161TimeStampOid) == 0)
            return VerifyRfc3161(attribute.rgValue[0], signer, when, failure) ? TimeStampState::Valid
                                                                               : TimeStampState::Invalid;
        if (std::strcmp(attribute.pszObjId, szOID_RSA_counterSign) == 0)
            return VerifyCountersignature(store, attribute.rgValue[0], signer, when, failure)
                       ? TimeStampState::Valid
                       : TimeStampState::Invalid;
    }
    return TimeStampState::None;
}

} // namespace signature::platform
