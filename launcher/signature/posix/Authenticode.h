// Authenticode verified with OpenSSL, over the layout that PeImage reads: the Linux half of
// the signature check, giving Windows' codes for the same failures.
#pragma once

#include "SignatureCheck.h"
#include "signature/PeImage.h"

#include <openssl/x509_vfy.h>

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace signature::platform {

// The verdict on the bytes of a file: the embedded signature checked against the
// certificates of `trust` at the time of its time stamp, or at `now` without one. The
// signer's name is filled only for a valid signature. The file is read in pieces: its
// headers, its signature, and the hashed ranges streamed through the digest, so memory
// does not grow with its size.
SignatureVerdict VerifyAuthenticode(ByteSource& file, X509_STORE* trust, std::time_t now);
SignatureVerdict VerifyAuthenticode(const std::uint8_t* data, std::size_t size, X509_STORE* trust, std::time_t now);

#if defined(ZYREL_SIGNATURE_FUZZING)
// The fuzzer's way past the image hash: the checks after it on a PKCS#7 blob alone.
// Built into the fuzz target only.
SignatureVerdict VerifySignedDataWithoutImage(const std::uint8_t* blob, std::size_t size, X509_STORE* trust,
                                              std::time_t now);
#endif

// CertGetNameStringW's CERT_NAME_SIMPLE_DISPLAY_TYPE name of a certificate.
vxn::wstring SimpleDisplayName(X509* certificate);

} // namespace signature::platform
