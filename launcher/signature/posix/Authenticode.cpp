// Authenticode on Linux: the checks WinVerifyTrust makes for a PE file under the generic
// verify policy, with OpenSSL, reaching the same verdict and the same code:
//   1. the PE layout and its certificate table (PeImage, which validates every number);
//   2. the PKCS#7 SignedData of the first table entry, whose content is an
//      SpcIndirectDataContent naming the digest and the image hash;
//   3. the image hash recomputed and compared;
//   4. the signature over the signed attributes (with the content's digest among them);
//   5. a time stamp, when there is one (RFC 3161 token or the older countersignature):
//      checked, and its time then counts for the chain instead of now, unless the signer's
//      certificate is for lifetime signing;
//   6. the signer's chain to a trust anchor (TrustAnchors.h), and the signer's fitness
//      for code signing; revocation is not checked, as with WTD_REVOKE_NONE.
// Each failure stops the check with Windows' code for it.
//
// Chains are judged as Windows judges them, not as OpenSSL's defaults would:
//   - usage: a chain may be used for what every certificate in it allows, the
//     intersection of their extended key usages (a certificate without the extension
//     restricts nothing). Code signing for the signer's chain, time stamping for the
//     authority's; otherwise CERT_E_WRONG_USAGE. anyExtendedKeyUsage is a usage like any
//     other and does not stand in for code signing: Windows intersects by identifier, and
//     a chain that only names "any" is not one that was meant for code.
//   - weak signatures: a certificate signed with MD2, MD4 or MD5, or one with an RSA key
//     shorter than 1023 bits, makes the chain's signatures invalid
//     (CERT_TRUST_IS_NOT_SIGNATURE_VALID with CERT_TRUST_HAS_WEAK_SIGNATURE), which the
//     chain policies report first, as TRUST_E_CERT_SIGNATURE. SHA-1 stays accepted. The
//     signer's own digest must not be one of those three either (NTE_BAD_ALGID, as for
//     the image hash). OpenSSL's own security level is held at 0 so that openssl.cnf
//     cannot move the verdict either way.
#include "signature/posix/Authenticode.h"

#include "signature/Der.h"
#include "signature/PeImage.h"
#include "signature/TrustCodes.h"
#include "signature/posix/TrustAnchors.h"

#include "Interruption.h"
#include "Log.h"
#include "ProgramResource.h"
#include "resource.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace signature::platform {
namespace {

struct FreePkcs7 { void operator()(PKCS7* p) const { PKCS7_free(p); } };
struct FreeSignerInfo { void operator()(PKCS7_SIGNER_INFO* p) const { PKCS7_SIGNER_INFO_free(p); } };
struct FreeBio { void operator()(BIO* p) const { BIO_free_all(p); } };
struct FreeCertificates { void operator()(STACK_OF(X509)* p) const { sk_X509_free(p); } };
struct FreeStoreContext { void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); } };
struct FreeTstInfo { void operator()(TS_TST_INFO* p) const { TS_TST_INFO_free(p); } };
struct FreeDigestContext { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct FreeOpenSslBytes { void operator()(unsigned char* p) const { OPENSSL_free(p); } };
struct FreeKeyContext { void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); } };
struct FreeCms { void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); } };
struct FreeHeldCertificates { void operator()(STACK_OF(X509)* p) const { sk_X509_pop_free(p, X509_free); } };
using Pkcs7Ptr = std::unique_ptr<PKCS7, FreePkcs7>;
using SignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, FreeSignerInfo>;
using BioPtr = std::unique_ptr<BIO, FreeBio>;
using CertificatesPtr = std::unique_ptr<STACK_OF(X509), FreeCertificates>;
using StoreContextPtr = std::unique_ptr<X509_STORE_CTX, FreeStoreContext>;
using TstInfoPtr = std::unique_ptr<TS_TST_INFO, FreeTstInfo>;
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, FreeDigestContext>;
using OpenSslBytesPtr = std::unique_ptr<unsigned char, FreeOpenSslBytes>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, FreeCms>;
// A stack that holds a reference to each of its certificates (CMS_get1_certs).
using HeldCertificatesPtr = std::unique_ptr<STACK_OF(X509), FreeHeldCertificates>;

// The object identifiers of Authenticode that OpenSSL has no names for.
constexpr const char* SpcIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* Rfc3161TimeStampOid = "1.3.6.1.4.1.311.3.3.1";
constexpr const char* LifetimeSigningOid = "1.3.6.1.4.1.311.10.3.13";
// SPC_PE_IMAGE_DATAOBJ (1.3.6.1.4.1.311.2.1.15), as DER content bytes.
constexpr std::uint8_t SpcPeImageDataOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};

// Whether an object identifier is the one whose content bytes `oid` holds.
bool SameOid(const ASN1_OBJECT* object, const Der& oid)
{
    return object != nullptr && static_cast<std::size_t>(OBJ_length(object)) == oid.Size() &&
           std::memcmp(OBJ_get0_data(object), oid.Data(), oid.Size()) == 0;
}

bool HasOid(const ASN1_OBJECT* object, const char* dotted)
{
    char text[80];
    const int length = OBJ_obj2txt(text, sizeof text, object, 1);
    return length > 0 && length < static_cast<int>(sizeof text) && std::strcmp(text, dotted) == 0;
}

const EVP_MD* ImageDigest(const Der& oid)
{
    switch (DigestOf(oid)) {
    case DigestKind::Sha1:
        return EVP_sha1();
    case DigestKind::Sha256:
        return EVP_sha256();
    case DigestKind::Sha384:
        return EVP_sha384();
    case DigestKind::Sha512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

// SpcIndirectDataContent ::= SEQUENCE {
//     data          SEQUENCE { type OBJECT IDENTIFIER (SPC_PE_IMAGE_DATAOBJ), value ANY },
//     messageDigest SEQUENCE { digestAlgorithm SEQUENCE { OBJECT IDENTIFIER, ANY }, digest OCTET STRING } }
struct IndirectData {
    Der signedBytes{nullptr, 0}; // the content the signer's messageDigest covers: the value without its header
    const EVP_MD* digest = nullptr;
    Der imageHash{nullptr, 0};
};

std::uint32_t ReadIndirectData(const PKCS7& message, IndirectData& out)
{
    const PKCS7* content = message.d.sign->contents;
    if (content == nullptr || content->type == nullptr || !HasOid(content->type, SpcIndirectDataOid))
        return TrustNoSignature;
    const ASN1_TYPE* value = content->d.other;
    if (value == nullptr || value->type != V_ASN1_SEQUENCE || value->value.sequence == nullptr ||
        value->value.sequence->length <= 0)
        return CryptAsn1BadTag;
    Der whole(value->value.sequence->data, static_cast<std::size_t>(value->value.sequence->length));
    Der fields(nullptr, 0), data(nullptr, 0), type(nullptr, 0), digestInfo(nullptr, 0), algorithm(nullptr, 0),
        algorithmOid(nullptr, 0);
    if (!whole.Take(0x30, fields))
        return CryptAsn1BadTag;
    out.signedBytes = fields;
    if (!fields.Take(0x30, data) || !data.Take(0x06, type) || !fields.Take(0x30, digestInfo) ||
        !digestInfo.Take(0x30, algorithm) || !algorithm.Take(0x06, algorithmOid) ||
        !digestInfo.Take(0x04, out.imageHash))
        return CryptAsn1BadTag;
    if (!type.Is(SpcPeImageDataOid, sizeof SpcPeImageDataOid))
        return TrustSubjectFormUnknown; // a signature for something other than a PE image
    out.digest = ImageDigest(algorithmOid);
    return out.digest != nullptr ? 0 : BadAlgorithm;
}

// The image hash, streamed: the hashed ranges go through the digest a megabyte at a time,
// large enough that the reads cost little next to the hash, small enough to stay in the
// cache. 0, or CRYPT_E_FILE_ERROR when the file cannot be read, NTE_BAD_ALGID when the
// digest cannot be computed, ERROR_CANCELLED when the run is being ended.
constexpr std::size_t HashChunk = 1 << 20;

std::uint32_t HashImage(ByteSource& file, const PeImage& image, const EVP_MD* digest, unsigned char* out,
                        unsigned int& outSize)
{
    DigestContextPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), digest, nullptr) != 1)
        return BadAlgorithm;
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[HashChunk]);
    for (const ByteRange& range : image.hashed) {
        for (std::uint64_t done = 0; done < range.size;) {
            // A megabyte takes milliseconds: a signal that ends the run is seen at once.
            if (VXN::Interrupted())
                return Cancelled;
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(HashChunk, range.size - done));
            if (!file.Read(range.offset + done, buffer.get(), piece))
                return CryptFileError;
            if (EVP_DigestUpdate(context.get(), buffer.get(), piece) != 1)
                return BadAlgorithm;
            done += piece;
        }
    }
    return EVP_DigestFinal_ex(context.get(), out, &outSize) == 1 ? 0 : BadAlgorithm;
}

// Whether `digest` of `data` equals `expected`.
bool DigestEquals(const EVP_MD* digest, const unsigned char* data, std::size_t size, const unsigned char* expected,
                  std::size_t expectedSize)
{
    unsigned char computed[EVP_MAX_MD_SIZE];
    unsigned int computedSize = 0;
    if (digest == nullptr || expected == nullptr ||
        EVP_Digest(data, size, computed, &computedSize, digest, nullptr) != 1)
        return false;
    return expectedSize == computedSize && std::memcmp(expected, computed, computedSize) == 0;
}

bool DigestEquals(const EVP_MD* digest, const unsigned char* data, std::size_t size, const ASN1_OCTET_STRING* expected)
{
    return expected != nullptr && expected->length >= 0 &&
           DigestEquals(digest, data, size, expected->data, static_cast<std::size_t>(expected->length));
}

// Whether `signature` is an RSA PKCS#1 block over the bare digest of `data`, with no
// DigestInfo around it: how the counter-signing services of some old authorities signed,
// which Windows accepts. Only the digest's own bytes may come out of the block.
bool SignsBareDigest(EVP_PKEY* key, const EVP_MD* digest, const unsigned char* data, std::size_t size,
                     const ASN1_OCTET_STRING& signature)
{
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || signature.length <= 0)
        return false;
    std::unique_ptr<EVP_PKEY_CTX, FreeKeyContext> context(EVP_PKEY_CTX_new(key, nullptr));
    std::vector<unsigned char> recovered(static_cast<std::size_t>(std::max(EVP_PKEY_get_size(key), 1)));
    std::size_t recoveredSize = recovered.size();
    if (!context || EVP_PKEY_verify_recover_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_verify_recover(context.get(), recovered.data(), &recoveredSize, signature.data,
                                static_cast<std::size_t>(signature.length)) != 1)
        return false;
    return DigestEquals(digest, data, size, recovered.data(), recoveredSize);
}

bool ToTime(const ASN1_TIME* time, std::time_t& out)
{
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1)
        return false;
    out = timegm(&parts);
    return true;
}

// What Windows reports for the chain errors that OpenSSL finds.
std::uint32_t ChainCode(int error)
{
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return CertExpired;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return CertUntrustedRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return CertChaining;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_CA_MD_TOO_WEAK:
        return TrustCertificateSignature;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        return TrustBasicConstraints;
    case X509_V_ERR_INVALID_PURPOSE:
        return CertWrongUsage;
    case X509_V_ERR_CERT_REVOKED:
        return CertRevoked;
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
        return CertCritical;
    default:
        return CertChaining;
    }
}

// The digests Windows no longer accepts in a signature: MD2, MD4, MD5 (SHA-1 still passes).
bool IsWeakDigest(int digest)
{
    return digest == NID_md5 || digest == NID_md4 || digest == NID_md2;
}

// Whether a certificate is signed with a digest that Windows no longer accepts in a chain.
bool WeaklySigned(const X509* certificate)
{
    int digest = NID_undef;
    if (OBJ_find_sigid_algs(X509_get_signature_nid(certificate), &digest, nullptr) != 1)
        return false; // not a signature algorithm known by its digest: the signature check judges it
    return IsWeakDigest(digest);
}

// Windows' shortest RSA key in a chain (MinRsaPubKeyBitLength, whose default is 1023:
// the update that blocked keys under 1024 bits lets through those whose top bit happens
// to be clear).
constexpr int MinimumRsaBits = 1023;

// Whether a certificate's key is an RSA key shorter than that: Windows counts it as a weak
// signature too (CERT_TRUST_HAS_WEAK_SIGNATURE), as it counts a weak digest.
bool HasWeakKey(X509* certificate)
{
    const EVP_PKEY* key = X509_get0_pubkey(certificate);
    return key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) < MinimumRsaBits;
}

// Whether any certificate of the chain, as far as it was built, is weak: weakly signed or
// with a short RSA key. A self-signed top is a trust anchor (or no anchor at all): its own
// signature vouches for nothing, and Windows weighs a root's key only when asked to
// (CERT_CHAIN_ENABLE_WEAK_RSA_ROOT_FLAG), so it does not count.
bool HasWeakSignature(STACK_OF(X509)* chain)
{
    const int count = chain != nullptr ? sk_X509_num(chain) : 0;
    for (int i = 0; i < count; ++i) {
        X509* certificate = sk_X509_value(chain, i);
        if (i == count - 1 && i > 0 && (X509_get_extension_flags(certificate) & EXFLAG_SS))
            break;
        if (WeaklySigned(certificate) || HasWeakKey(certificate))
            return true;
    }
    return false;
}

// Whether the chain's effective usage, the intersection of its certificates' extended key
// usages, includes `usage` (an XKU_ bit). OpenSSL answers all bits for a certificate
// without the extension, and only XKU_ANYEKU for one that names nothing but "any".
bool ChainAllows(STACK_OF(X509)* chain, std::uint32_t usage)
{
    const int count = chain != nullptr ? sk_X509_num(chain) : 0;
    for (int i = 0; i < count; ++i) {
        if ((X509_get_extended_key_usage(sk_X509_value(chain, i)) & usage) == 0)
            return false;
    }
    return count > 0;
}

// Windows takes a certificate of the trust store as the anchor it is, whether or not it
// says it may issue certificates: old roots (of 1997, say) carry extensions but no basic
// constraints, which OpenSSL refuses at the top of a chain. Only a trusted anchor that
// says nothing either way is excused; an intermediate still needs CA:TRUE, and a root
// whose basic constraints or key usage deny it stays refused.
int ExcuseSilentAnchor(int ok, X509_STORE_CTX* context)
{
    if (ok != 0 || X509_STORE_CTX_get_error(context) != X509_V_ERR_INVALID_CA)
        return ok;
    const int depth = X509_STORE_CTX_get_error_depth(context);
    X509* anchor = X509_STORE_CTX_get_current_cert(context);
    const bool isTrustedTop = depth > 0 && depth == sk_X509_num(X509_STORE_CTX_get0_chain(context)) - 1 &&
                              depth >= X509_STORE_CTX_get_num_untrusted(context);
    const bool saysNothing = anchor != nullptr && (X509_get_extension_flags(anchor) & (EXFLAG_BCONS | EXFLAG_KUSAGE)) == 0;
    return isTrustedTop && saysNothing ? 1 : ok;
}

// The chain from `leaf` to a trust anchor, valid at `when`, fit for `usage` (an XKU_ bit):
// 0 or the chain's code. Windows' order: a weakly signed certificate first, then what
// OpenSSL found, then the chain's usage.
std::uint32_t VerifyChain(X509_STORE* trust, X509* leaf, STACK_OF(X509)* untrusted, std::time_t when,
                          std::uint32_t usage, int& detail)
{
    StoreContextPtr context(X509_STORE_CTX_new());
    if (!context || trust == nullptr || X509_STORE_CTX_init(context.get(), trust, leaf, untrusted) != 1)
        return CertChaining;
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_time(parameters, when);
    // Level 0: no digest or key is refused for the security level's sake. The weak digests
    // and keys are this check's own decision (below), the same on every system.
    X509_VERIFY_PARAM_set_auth_level(parameters, 0);
    X509_STORE_CTX_set_verify_cb(context.get(), ExcuseSilentAnchor);
    const bool verified = X509_verify_cert(context.get()) == 1;
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    if (HasWeakSignature(chain)) {
        detail = X509_V_ERR_CA_MD_TOO_WEAK;
        return TrustCertificateSignature;
    }
    if (!verified) {
        detail = X509_STORE_CTX_get_error(context.get());
        return ChainCode(detail);
    }
    if (!ChainAllows(chain, usage)) {
        detail = X509_V_ERR_INVALID_PURPOSE;
        return CertWrongUsage;
    }
    return 0;
}

// Whether the certificate's extended key usage names the usage `dotted`.
bool NamesUsage(X509* certificate, const char* dotted)
{
    auto* usages = static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr));
    bool named = false;
    for (int i = 0; usages != nullptr && i < sk_ASN1_OBJECT_num(usages) && !named; ++i)
        named = HasOid(sk_ASN1_OBJECT_value(usages, i), dotted);
    EXTENDED_KEY_USAGE_free(usages);
    return named;
}

// The signer's own key must be fit for signing: a key usage, when present, allows digital
// signatures. (Its extended key usage is part of the chain's, judged with the chain.)
bool FitForCodeSigning(X509* signer)
{
    const std::uint32_t flags = X509_get_extension_flags(signer);
    if (flags & EXFLAG_INVALID)
        return false;
    if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(signer) & KU_DIGITAL_SIGNATURE))
        return false;
    return true;
}

// A time-stamping authority's chain, valid at `when`: judged as the signer's is, for time
// stamping, and the authority's own extended key usage must name time stamping. Whether
// that extension is marked critical does not matter to Windows (the authorities of
// 2009 to 2019 have it uncritical), so OpenSSL's time-stamping purpose, which demands
// it critical and alone, is not asked.
std::uint32_t VerifyAuthorityChain(X509_STORE* trust, X509* authority, STACK_OF(X509)* untrusted, std::time_t when)
{
    int detail = 0;
    const std::uint32_t code = VerifyChain(trust, authority, untrusted, when, XKU_TIMESTAMP, detail);
    if (code != 0)
        return code;
    const bool namesTimeStamping = (X509_get_extension_flags(authority) & EXFLAG_XKUSAGE) != 0 &&
                                   (X509_get_extended_key_usage(authority) & XKU_TIMESTAMP) != 0;
    return namesTimeStamping ? 0 : CertWrongUsage;
}

// The certificates a chain may be built through: the message's own and the token's.
CertificatesPtr Untrusted(STACK_OF(X509)* first, STACK_OF(X509)* second)
{
    CertificatesPtr all(sk_X509_new_null());
    if (!all)
        return all;
    for (STACK_OF(X509)* stack : {first, second}) {
        for (int i = 0; stack != nullptr && i < sk_X509_num(stack); ++i)
            sk_X509_push(all.get(), sk_X509_value(stack, i));
    }
    return all;
}

// An RFC 3161 token over the signer's signature: 0 and its time; TRUST_E_TIME_STAMP for a
// token that is malformed or does not match, the chain's code for its authority's chain.
std::uint32_t CheckRfc3161(const ASN1_TYPE* value, const PKCS7& message, const PKCS7_SIGNER_INFO& signer,
                           X509_STORE* trust, std::time_t& when)
{
    if (value == nullptr || value->type != V_ASN1_SEQUENCE || value->value.sequence == nullptr)
        return TrustTimeStamp;
    // The token is read as CMS, not PKCS#7: its certificate set may hold, beside the
    // authority's certificates, any other choice the standard allows (attribute
    // certificates, as the tokens of large time-stamping services carry), for which the
    // PKCS#7 decoder refuses the whole token. Only the X.509 ones take part below.
    // Exactly one digest algorithm, its signer's, before the library prepares any.
    Der listed;
    if (!SoleDigestAlgorithm(value->value.sequence->data, static_cast<std::size_t>(value->value.sequence->length),
                             listed))
        return TrustTimeStamp;
    const unsigned char* cursor = value->value.sequence->data;
    CmsPtr token(d2i_CMS_ContentInfo(nullptr, &cursor, value->value.sequence->length));
    if (!token || OBJ_obj2nid(CMS_get0_type(token.get())) != NID_pkcs7_signed ||
        OBJ_obj2nid(CMS_get0_eContentType(token.get())) != NID_id_smime_ct_TSTInfo)
        return TrustTimeStamp;
    STACK_OF(CMS_SignerInfo)* tokenSigners = CMS_get0_SignerInfos(token.get());
    if (sk_CMS_SignerInfo_num(tokenSigners) != 1)
        return TrustTimeStamp;
    X509_ALGOR* tokenDigest = nullptr;
    CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(tokenSigners, 0), nullptr, nullptr, &tokenDigest, nullptr);
    const ASN1_OBJECT* tokenDigestOid = nullptr;
    if (tokenDigest != nullptr)
        X509_ALGOR_get0(&tokenDigestOid, nullptr, nullptr, tokenDigest);
    if (!SameOid(tokenDigestOid, listed))
        return TrustTimeStamp;
    ASN1_OCTET_STRING** content = CMS_get0_content(token.get());
    if (content == nullptr || *content == nullptr) // a detached token names no time
        return TrustTimeStamp;
    STACK_OF(X509)* outerCertificates = message.d.sign->cert;
    if (CMS_verify(token.get(), outerCertificates, nullptr, nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
        return TrustTimeStamp;
    const unsigned char* infoCursor = (*content)->data;
    TstInfoPtr info(d2i_TS_TST_INFO(nullptr, &infoCursor, (*content)->length));
    if (!info)
        return TrustTimeStamp;
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
    const X509_ALGOR* algorithm = imprint != nullptr ? TS_MSG_IMPRINT_get_algo(imprint) : nullptr;
    const EVP_MD* digest = algorithm != nullptr ? EVP_get_digestbyobj(algorithm->algorithm) : nullptr;
    if (signer.enc_digest == nullptr ||
        !DigestEquals(digest, signer.enc_digest->data, static_cast<std::size_t>(signer.enc_digest->length),
                      TS_MSG_IMPRINT_get_msg(imprint)) ||
        !ToTime(TS_TST_INFO_get_time(info.get()), when))
        return TrustTimeStamp;
    CertificatesPtr signers(CMS_get0_signers(token.get()));
    if (!signers || sk_X509_num(signers.get()) != 1)
        return TrustTimeStamp;
    HeldCertificatesPtr tokenCertificates(CMS_get1_certs(token.get()));
    CertificatesPtr untrusted = Untrusted(outerCertificates, tokenCertificates.get());
    if (!untrusted)
        return TrustTimeStamp;
    // The authority's chain fails the way the signer's would (an untrusted root is one).
    return VerifyAuthorityChain(trust, sk_X509_value(signers.get(), 0), untrusted.get(), when);
}

// The older Authenticode time stamp: a countersignature (a SignerInfo over the signer's
// signature value) by a time-stamping authority whose certificate the message carries.
std::uint32_t CheckCountersignature(const ASN1_TYPE* value, const PKCS7& message, const PKCS7_SIGNER_INFO& signer,
                                    X509_STORE* trust, std::time_t& when)
{
    if (value == nullptr || value->type != V_ASN1_SEQUENCE || value->value.sequence == nullptr)
        return TrustTimeStamp;
    const unsigned char* cursor = value->value.sequence->data;
    SignerInfoPtr counter(d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, value->value.sequence->length));
    if (!counter || counter->issuer_and_serial == nullptr || counter->digest_alg == nullptr ||
        counter->auth_attr == nullptr || counter->enc_digest == nullptr || signer.enc_digest == nullptr)
        return TrustTimeStamp;
    X509* authority = X509_find_by_issuer_and_serial(message.d.sign->cert, counter->issuer_and_serial->issuer,
                                                     counter->issuer_and_serial->serial);
    const EVP_MD* digest = EVP_get_digestbyobj(counter->digest_alg->algorithm);
    EVP_PKEY* key = authority != nullptr ? X509_get0_pubkey(authority) : nullptr;
    if (key == nullptr || digest == nullptr ||
        !DigestEquals(digest, signer.enc_digest->data, static_cast<std::size_t>(signer.enc_digest->length),
                      PKCS7_digest_from_attributes(counter->auth_attr)))
        return TrustTimeStamp;
    // The signature covers the DER of the signed attributes as a SET.
    unsigned char* encoded = nullptr;
    const int encodedSize = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(counter->auth_attr), &encoded,
                                          ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    OpenSslBytesPtr attributes(encoded);
    if (encodedSize <= 0)
        return TrustTimeStamp;
    DigestContextPtr context(EVP_MD_CTX_new());
    const bool signsDigestInfo =
        context && EVP_DigestVerifyInit(context.get(), nullptr, digest, nullptr, key) == 1 &&
        EVP_DigestVerify(context.get(), counter->enc_digest->data, static_cast<std::size_t>(counter->enc_digest->length),
                         attributes.get(), static_cast<std::size_t>(encodedSize)) == 1;
    if (!signsDigestInfo &&
        !SignsBareDigest(key, digest, attributes.get(), static_cast<std::size_t>(encodedSize), *counter->enc_digest))
        return TrustTimeStamp;
    const ASN1_TYPE* signingTime = PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
    if (signingTime == nullptr || (signingTime->type != V_ASN1_UTCTIME && signingTime->type != V_ASN1_GENERALIZEDTIME) ||
        !ToTime(signingTime->value.utctime, when))
        return TrustTimeStamp;
    return VerifyAuthorityChain(trust, authority, message.d.sign->cert, when);
}

// The first time stamp among the signer's unsigned attributes, if any: 0 with `when` set
// to its time, 0 with `when` untouched when there is none, or the code of a bad one. A
// time stamp that does not verify fails the check rather than being ignored.
std::uint32_t CheckTimeStamp(const PKCS7& message, const PKCS7_SIGNER_INFO& signer, X509_STORE* trust,
                             std::time_t& when)
{
    const STACK_OF(X509_ATTRIBUTE)* attributes = signer.unauth_attr;
    for (int i = 0; attributes != nullptr && i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, i);
        const ASN1_OBJECT* type = X509_ATTRIBUTE_get0_object(attribute);
        if (X509_ATTRIBUTE_count(attribute) != 1)
            continue;
        if (HasOid(type, Rfc3161TimeStampOid))
            return CheckRfc3161(X509_ATTRIBUTE_get0_type(attribute, 0), message, signer, trust, when);
        if (OBJ_obj2nid(type) == NID_pkcs9_countersignature)
            return CheckCountersignature(X509_ATTRIBUTE_get0_type(attribute, 0), message, signer, trust, when);
    }
    return 0;
}

void SetUtf8(vxn::wstring& out, const unsigned char* text, int size)
{
    if (size > 0)
        out.assign_utf8(reinterpret_cast<const char*>(text), static_cast<vxn::u32>(size));
}

// An attribute value as text, whatever string type the certificate used.
bool NameEntryText(X509_NAME_ENTRY* entry, vxn::wstring& out)
{
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
    OpenSslBytesPtr owned(utf8);
    if (size < 0)
        return false;
    SetUtf8(out, utf8, size);
    return true;
}

} // namespace

// CertGetNameStringW's CERT_NAME_SIMPLE_DISPLAY_TYPE: the subject's first common name,
// else its first organisational unit, else organisation, else e-mail address; else the
// first e-mail address among the alternative names; else nothing. The first attribute of
// the first of these types that the subject has is the name: one whose value is no text
// (a common name as a BIT STRING, say) is no name, never a reason to take the next type,
// which would let a subject choose which of its attributes is read.
vxn::wstring SimpleDisplayName(X509* certificate)
{
    vxn::wstring name;
    X509_NAME* subject = X509_get_subject_name(certificate);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        const int index = subject != nullptr ? X509_NAME_get_index_by_NID(subject, nid, -1) : -1;
        if (index >= 0) {
            if (!NameEntryText(X509_NAME_get_entry(subject, index), name))
                name.clear();
            return name;
        }
    }
    auto* alternatives = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alternatives != nullptr && i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME* alternative = sk_GENERAL_NAME_value(alternatives, i);
        if (alternative->type == GEN_EMAIL) {
            SetUtf8(name, ASN1_STRING_get0_data(alternative->d.rfc822Name), ASN1_STRING_length(alternative->d.rfc822Name));
            break;
        }
    }
    GENERAL_NAMES_free(alternatives);
    return name;
}

namespace {

// Steps 2 to 6 on the PKCS#7 blob of the certificate table. `image` is the file's layout
// for the image hash; only the fuzzer passes none, to reach the steps after it.
SignatureVerdict VerifySignedData(ByteSource* file, const PeImage* image, const std::uint8_t* blob,
                                  std::size_t blobSize, X509_STORE* trust, std::time_t now)
{
    SignatureVerdict verdict;
    struct ClearErrors {
        // OpenSSL's error queue is per thread and shared with the transfer's TLS: leave it empty.
        ~ClearErrors() { ERR_clear_error(); }
    } clearErrors;

    const unsigned char* cursor = blob;
    if (blobSize > static_cast<std::size_t>(LONG_MAX)) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    // Lengthened lists and sets are refused before the decoder spends time on each entry.
    switch (FindSignedDataFault(blob, blobSize)) {
    case SignedDataFault::Signature:
        verdict.code = TrustNoSignature;
        return verdict;
    case SignedDataFault::TimeStamp:
        verdict.code = TrustTimeStamp;
        return verdict;
    case SignedDataFault::None:
        break;
    }
    Pkcs7Ptr message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(blobSize)));
    if (!message) {
        // The decoder's codes: the message ends before its own length says, or is no
        // message at all.
        Der whole(blob, blobSize), body(nullptr, 0);
        const bool cut = blobSize >= 2 && blob[0] == 0x30 && !whole.Take(0x30, body);
        verdict.code = cut ? CryptAsn1EndOfData : CryptAsn1BadTag;
        return verdict;
    }
    if (!PKCS7_type_is_signed(message.get()) || message->d.sign == nullptr) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    // Exactly one digest algorithm (compared with the signer's below), before anything
    // asks the library to verify.
    Der listedDigest;
    if (!SoleDigestAlgorithm(blob, blobSize, listedDigest)) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    IndirectData indirect;
    if ((verdict.code = ReadIndirectData(*message, indirect)) != 0)
        return verdict;

    unsigned char imageHash[EVP_MAX_MD_SIZE];
    unsigned int imageHashSize = 0;
    if (image != nullptr && file != nullptr) {
        if ((verdict.code = HashImage(*file, *image, indirect.digest, imageHash, imageHashSize)) != 0)
            return verdict;
        if (imageHashSize != indirect.imageHash.Size() ||
            std::memcmp(imageHash, indirect.imageHash.Data(), imageHashSize) != 0) {
            verdict.code = TrustBadDigest;
            return verdict;
        }
    }

    // Authenticode has exactly one signer; a nested signature hangs off its unsigned
    // attributes and does not count.
    STACK_OF(PKCS7_SIGNER_INFO)* signerInfos = PKCS7_get_signer_info(message.get());
    if (signerInfos == nullptr || sk_PKCS7_SIGNER_INFO_num(signerInfos) != 1) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    PKCS7_SIGNER_INFO* signerInfo = sk_PKCS7_SIGNER_INFO_value(signerInfos, 0);
    if (signerInfo->digest_alg == nullptr || !SameOid(signerInfo->digest_alg->algorithm, listedDigest)) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    // The signer signs an SpcIndirectDataContent and says so: a content-type attribute
    // that names anything else (or is missing) makes the signature one over something
    // else, as the SignedData's own content type would.
    const ASN1_TYPE* signedType = PKCS7_get_signed_attribute(signerInfo, NID_pkcs9_contentType);
    if (signedType == nullptr || signedType->type != V_ASN1_OBJECT || !HasOid(signedType->value.object, SpcIndirectDataOid)) {
        verdict.code = TrustNoSignature;
        return verdict;
    }
    // A digest that Windows refuses for the file's hash is refused for the signer's too.
    const ASN1_OBJECT* signerDigest = signerInfo->digest_alg != nullptr ? signerInfo->digest_alg->algorithm : nullptr;
    if (signerDigest == nullptr || IsWeakDigest(OBJ_obj2nid(signerDigest))) {
        verdict.code = BadAlgorithm;
        return verdict;
    }
    CertificatesPtr signers(PKCS7_get0_signers(message.get(), nullptr, 0));
    if (!signers || sk_X509_num(signers.get()) != 1) {
        verdict.code = TrustNoSignerCertificate;
        return verdict;
    }
    X509* signer = sk_X509_value(signers.get(), 0);
    // The content goes in through a pass-through filter: PKCS7_verify copies a bare memory
    // BIO into one of its own, which it loses when a digest of the message is unknown.
    BioPtr memory(BIO_new_mem_buf(indirect.signedBytes.Data(), static_cast<int>(indirect.signedBytes.Size())));
    BioPtr content(memory ? BIO_new(BIO_f_null()) : nullptr);
    if (content)
        BIO_push(content.get(), memory.release()); // the chain owns both from here
    if (!content ||
        PKCS7_verify(message.get(), nullptr, nullptr, content.get(), nullptr, PKCS7_NOVERIFY | PKCS7_NOCHAIN) != 1) {
        verdict.code = TrustBadDigest;
        return verdict;
    }

    std::time_t when = now;
    if ((verdict.code = CheckTimeStamp(*message, *signerInfo, trust, when)) != 0)
        return verdict;
    // A certificate for lifetime signing makes its signatures live no longer than itself:
    // a time stamp must still verify, but its time does not stand in for now.
    if (NamesUsage(signer, LifetimeSigningOid))
        when = now;
    int detail = 0;
    if ((verdict.code = VerifyChain(trust, signer, message->d.sign->cert, when, XKU_CODE_SIGN, detail)) != 0) {
        VXN_LOG("SignatureCheck", VXN::LogLevel::Debug, "Signer chain rejected: {0}",
                X509_verify_cert_error_string(detail));
        return verdict;
    }
    if (!FitForCodeSigning(signer)) {
        verdict.code = CertWrongUsage;
        return verdict;
    }
    // Windows reads the name as a step of its own, which fails for an empty one.
    verdict.signer = SimpleDisplayName(signer);
    if (verdict.signer.empty())
        verdict.code = TrustFail;
    return verdict;
}

} // namespace

SignatureVerdict VerifyAuthenticode(const std::uint8_t* data, std::size_t size, X509_STORE* trust, std::time_t now)
{
    MemoryBytes bytes(data, size);
    return VerifyAuthenticode(bytes, trust, now);
}

SignatureVerdict VerifyAuthenticode(ByteSource& file, X509_STORE* trust, std::time_t now)
{
    SignatureVerdict verdict;
    PeImage image;
    switch (ReadPeImage(file, image)) {
    case PeStatus::Ok:
        break;
    case PeStatus::ReadError:
        verdict.code = CryptFileError;
        return verdict;
    case PeStatus::NotPe:
        verdict.code = TrustSubjectFormUnknown;
        return verdict;
    // Windows takes a file with PE headers to the PE handler, which then finds no
    // signature in a damaged layout.
    case PeStatus::Malformed:
    case PeStatus::NoSignature:
    case PeStatus::BadCertificateTable:
    case PeStatus::SignatureTooLarge:
        verdict.code = TrustNoSignature;
        return verdict;
    }

    // The signature is the one part held whole (PeImage bounds its size).
    // Not cleared first: every byte is read over at once.
    const std::size_t blobSize = static_cast<std::size_t>(image.signedData.size);
    std::unique_ptr<std::uint8_t[]> blob(new std::uint8_t[blobSize]);
    if (!file.Read(image.signedData.offset, blob.get(), blobSize)) {
        verdict.code = CryptFileError;
        return verdict;
    }
    return VerifySignedData(&file, &image, blob.get(), blobSize, trust, now);
}

#if defined(ZYREL_SIGNATURE_FUZZING)
SignatureVerdict VerifySignedDataWithoutImage(const std::uint8_t* blob, std::size_t size, X509_STORE* trust,
                                              std::time_t now)
{
    return VerifySignedData(nullptr, nullptr, blob, size, trust, now);
}
#endif

} // namespace signature::platform

namespace {

// Windows' codes for the few ways reading the file can fail.
std::uint32_t FileErrorCode(int error)
{
    switch (error) {
    case ENOENT:
        return 2; // ERROR_FILE_NOT_FOUND
    case ENOTDIR:
        return 3; // ERROR_PATH_NOT_FOUND
    case EACCES:
    case EPERM:
        return 5; // ERROR_ACCESS_DENIED
    default:
        return signature::CryptFileError;
    }
}

// The installer on disk, read where the check asks: nothing is held but what it reads.
class FileBytes final : public signature::ByteSource {
public:
    FileBytes(int file, std::uint64_t size) : m_file(file), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t size) override
    {
        auto* to = static_cast<std::uint8_t*>(out);
        while (size > 0) {
            const ssize_t got = pread(m_file, to, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false; // an error, or a file cut shorter while it was checked
            to += got;
            offset += static_cast<std::uint64_t>(got);
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int m_file;
    std::uint64_t m_size;
};

} // namespace

SignatureVerdict CheckFileSignature(const vxn::wstring& path)
{
    SignatureVerdict verdict;
    vxn::string path8;
    path8.assign_utf16(path.c_str(), path.size());
    const int file = open(path8.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        verdict.code = FileErrorCode(errno);
        return verdict;
    }
    struct stat facts {};
    if (fstat(file, &facts) != 0 || !S_ISREG(facts.st_mode) || facts.st_size > 0xFFFFFFFFll) {
        // Not a file that can hold a PE image (a folder, a device, more than 4 GiB).
        close(file);
        verdict.code = signature::TrustSubjectFormUnknown;
        return verdict;
    }
    // The image hash reads the file front to back once: the kernel may read ahead.
    posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
    // The roots built in are resource 112 of the program; a build without them has none.
    vxn::string builtInRoots;
    ReadProgramResource(IDR_CODE_SIGNING_ROOTS, builtInRoots);
    const signature::platform::TrustAnchors anchors = signature::platform::NewTrustAnchors(builtInRoots);
    VXN_LOG("SignatureCheck", VXN::LogLevel::Info, "Trust anchors: {0}", anchors.origin.c_str());
    X509_STORE* trust = anchors.store;
    if (trust == nullptr) {
        close(file);
        verdict.code = signature::CertUntrustedRoot;
        return verdict;
    }
    FileBytes bytes(file, static_cast<std::uint64_t>(facts.st_size));
    verdict = signature::platform::VerifyAuthenticode(bytes, trust, std::time(nullptr));
    X509_STORE_free(trust);
    close(file);
    return verdict;
}
