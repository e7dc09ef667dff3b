// Two judgements of a built chain that Windows' chain engine makes and Wine's does not:
// weakly signed certificates and the chain's effective usage. On Windows they repeat what
// WinVerifyTrust already decided; under Wine they are the only place these are asked.
#pragma once

#include <windows.h>

#include <wincrypt.h>

namespace signature {

// TRUST_E_CERT_SIGNATURE when a certificate of the chain, its trust anchor aside, is signed
// with MD2, MD4 or MD5 (CERT_TRUST_HAS_WEAK_SIGNATURE, which the chain policies report as
// an invalid signature, before anything else); 0 otherwise. SHA-1 is not weak here.
DWORD WeakSignatureError(PCCERT_CHAIN_CONTEXT chain);

// Whether `usage` is in the chain's effective usage: the intersection of the extended key
// usages of every certificate in it, a certificate without the extension restricting
// nothing. anyExtendedKeyUsage is an identifier like any other and grants nothing else.
bool ChainAllows(PCCERT_CHAIN_CONTEXT chain, LPCSTR usage);

// Whether the certificate's own extension names `usage` (false without the extension).
bool CertificateNames(PCCERT_CONTEXT certificate, LPCSTR usage);

} // namespace signature
