// Windows' codes for the outcomes of a signature check. Both halves report these: the
// Windows one because the system does, the Linux one so that the same file gets the same
// number in the warning on either system.
#pragma once

#include <cstdint>

namespace signature {

inline constexpr std::uint32_t TrustSubjectFormUnknown = 0x800B0003; // TRUST_E_SUBJECT_FORM_UNKNOWN: not a PE
inline constexpr std::uint32_t TrustNoSignature = 0x800B0100;        // TRUST_E_NOSIGNATURE
inline constexpr std::uint32_t CertExpired = 0x800B0101;             // CERT_E_EXPIRED
inline constexpr std::uint32_t CertUntrustedRoot = 0x800B0109;       // CERT_E_UNTRUSTEDROOT
inline constexpr std::uint32_t CertChaining = 0x800B010A;            // CERT_E_CHAINING: no chain to any root
inline constexpr std::uint32_t TrustFail = 0x800B010B;               // TRUST_E_FAIL
inline constexpr std::uint32_t CertRevoked = 0x800B010C;             // CERT_E_REVOKED
inline constexpr std::uint32_t CertWrongUsage = 0x800B0110;          // CERT_E_WRONG_USAGE
inline constexpr std::uint32_t CertCritical = 0x800B0105;            // CERT_E_CRITICAL
inline constexpr std::uint32_t BadAlgorithm = 0x80090008;            // NTE_BAD_ALGID
inline constexpr std::uint32_t TrustNoSignerCertificate = 0x80096002; // TRUST_E_NO_SIGNER_CERT
inline constexpr std::uint32_t TrustCertificateSignature = 0x80096004; // TRUST_E_CERT_SIGNATURE
inline constexpr std::uint32_t TrustTimeStamp = 0x80096005;          // TRUST_E_TIME_STAMP
inline constexpr std::uint32_t TrustBadDigest = 0x80096010;          // TRUST_E_BAD_DIGEST
inline constexpr std::uint32_t TrustBasicConstraints = 0x80096019;   // TRUST_E_BASIC_CONSTRAINTS
inline constexpr std::uint32_t CryptFileError = 0x80092003;          // CRYPT_E_FILE_ERROR
inline constexpr std::uint32_t CryptAsn1EndOfData = 0x80093102;      // CRYPT_E_ASN1_EOD
inline constexpr std::uint32_t CryptAsn1Corrupt = 0x80093103;        // CRYPT_E_ASN1_CORRUPT
inline constexpr std::uint32_t CryptAsn1BadTag = 0x8009310B;         // CRYPT_E_ASN1_BADTAG
inline constexpr std::uint32_t CryptNotFound = 0x80092004;           // CRYPT_E_NOT_FOUND
inline constexpr std::uint32_t Cancelled = 1223;                     // ERROR_CANCELLED: the run is being ended
inline constexpr std::uint32_t InvalidName = 123;                    // ERROR_INVALID_NAME: another publisher

} // namespace signature
