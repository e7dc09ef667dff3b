#include "signature/win32/ChainUsage.h"

#include "signature/TrustCodes.h"

#include <cstring>
#include <vector>

namespace signature::platform {
namespace {

// The signature algorithms whose digest Windows refuses in a chain.
bool WeakAlgorithm(LPCSTR oid)
{
    static const char* const weak[] = {
        szOID_RSA_MD5RSA, szOID_RSA_MD4RSA, szOID_RSA_MD2RSA, szOID_OIWSEC_md5RSA, szOID_OIWSEC_md4RSA,
        szOID_OIWSEC_md4RSA2,
    };
    for (const char* candidate : weak) {
        if (oid != nullptr && std::strcmp(oid, candidate) == 0)
            return true;
    }
    return false;
}

// An RSA key shorter than Windows' default minimum (CERT_CHAIN_MIN_RSA_PUB_KEY_BIT_LENGTH_DEFAULT).
bool WeakRsaKey(const CERT_PUBLIC_KEY_INFO& key)
{
    if (key.Algorithm.pszObjId == nullptr || std::strcmp(key.Algorithm.pszObjId, szOID_RSA_RSA) != 0)
        return false;
    const DWORD bits = CertGetPublicKeyLength(X509_ASN_ENCODING, const_cast<CERT_PUBLIC_KEY_INFO*>(&key));
    return bits != 0 && bits < CERT_CHAIN_MIN_RSA_PUB_KEY_BIT_LENGTH_DEFAULT;
}

// The certificate's extended key usages: false when it has no such extension (or it
// cannot be read, which `readable` tells).
bool ExtendedUsages(PCCERT_CONTEXT certificate, std::vector<BYTE>& buffer, bool& readable)
{
    readable = true;
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size)) {
        readable = GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
        return false;
    }
    buffer.resize(size);
    if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG,
                                 reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data()), &size)) {
        readable = false;
        return false;
    }
    return true;
}

bool Names(const std::vector<BYTE>& buffer, LPCSTR usage)
{
    const auto* usages = reinterpret_cast<const CERT_ENHKEY_USAGE*>(buffer.data());
    for (DWORD i = 0; i < usages->cUsageIdentifier; ++i) {
        if (std::strcmp(usages->rgpszUsageIdentifier[i], usage) == 0)
            return true;
    }
    return false;
}

} // namespace

DWORD WeakSignatureError(PCCERT_CHAIN_CONTEXT chain)
{
    if (chain == nullptr || chain->cChain == 0)
        return 0;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        const CERT_CHAIN_ELEMENT* element = simple->rgpElement[i];
        // A self-signed top is the anchor: trusted for being in the store, not for its
        // signature.
        if (i + 1 == simple->cElement && i > 0 && (element->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED))
            break;
        const CERT_INFO* info = element->pCertContext->pCertInfo;
        if (WeakAlgorithm(info->SignatureAlgorithm.pszObjId) || WeakRsaKey(info->SubjectPublicKeyInfo))
            return TrustCertificateSignature;
    }
    return 0;
}

DWORD IntermediateConstraintsError(PCCERT_CHAIN_CONTEXT chain)
{
    if (chain == nullptr || chain->cChain == 0)
        return 0;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    for (DWORD i = 1; i + 1 < simple->cElement; ++i) {
        const CERT_INFO* info = simple->rgpElement[i]->pCertContext->pCertInfo;
        const CERT_EXTENSION* extension = CertFindExtension(szOID_BASIC_CONSTRAINTS2, info->cExtension, info->rgExtension);
        CERT_BASIC_CONSTRAINTS2_INFO constraints = {};
        DWORD size = sizeof constraints;
        if (extension == nullptr ||
            !CryptDecodeObject(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, extension->Value.pbData,
                               extension->Value.cbData, 0, &constraints, &size) ||
            !constraints.fCA)
            return TrustBasicConstraints;
    }
    return 0;
}

bool ChainAllows(PCCERT_CHAIN_CONTEXT chain, LPCSTR usage)
{
    if (chain == nullptr || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0)
        return false;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    std::vector<BYTE> buffer;
    for (DWORD i = 0; i < simple->cElement; ++i) {
        bool readable = true;
        if (ExtendedUsages(simple->rgpElement[i]->pCertContext, buffer, readable)) {
            if (!Names(buffer, usage))
                return false;
        } else if (!readable) {
            return false;
        }
    }
    return true;
}

bool CertificateNames(PCCERT_CONTEXT certificate, LPCSTR usage)
{
    std::vector<BYTE> buffer;
    bool readable = true;
    return ExtendedUsages(certificate, buffer, readable) && Names(buffer, usage);
}

bool BuildChain(PCCERT_CONTEXT certificate, FILETIME* when, HCERTSTORE extra, LPCSTR usage,
                PCCERT_CHAIN_CONTEXT& chain)
{
    LPSTR usages[] = {const_cast<LPSTR>(usage)};
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chain = nullptr;
    return CertGetCertificateChain(nullptr, certificate, when, extra, &parameters, 0, nullptr, &chain) != FALSE;
}

bool ChainVerdict(PCCERT_CHAIN_CONTEXT chain, LPCSTR policy, DWORD& verdict)
{
    verdict = WeakSignatureError(chain);
    if (verdict == 0)
        verdict = IntermediateConstraintsError(chain);
    if (verdict != 0)
        return true;
    CERT_CHAIN_POLICY_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(policy, chain, &parameters, &status))
        return false;
    verdict = status.dwError;
    return true;
}

} // namespace signature::platform
