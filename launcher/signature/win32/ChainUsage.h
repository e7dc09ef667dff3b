// A certificate's chain for one usage, built and judged: the signer's for code signing, a
// time-stamping authority's for time stamping. Two of the judgements, weakly signed
// certificates and the chain's effective usage, are ones that Windows' chain engine makes
// and Wine's does not. On Windows they repeat what WinVerifyTrust already decided; under
// Wine they are the only place these are asked.
#pragma once

#include <windows.h>

#include <wincrypt.h>

namespace signature::platform {

// TRUST_E_CERT_SIGNATURE when a certificate of the chain, its trust anchor aside, is signed
// with MD2, MD4 or MD5 or has an RSA key under 1023 bits (CERT_TRUST_HAS_WEAK_SIGNATURE,
// which the chain policies report as an invalid signature, before anything else); 0
// otherwise. SHA-1 is not weak here.
DWORD WeakSignatureError(PCCERT_CHAIN_CONTEXT chain);

// TRUST_E_BASIC_CONSTRAINTS when a certificate between the leaf and the top of the chain
// does not say it is a CA (no basic constraints, or CA:FALSE), which Wine's chain engine
// lets pass; 0 otherwise. The top, a trust anchor, is taken as it is, with or without
// basic constraints.
DWORD IntermediateConstraintsError(PCCERT_CHAIN_CONTEXT chain);

// Builds the chain of `certificate` for `usage`, with the certificates of `extra` besides
// the system's, valid at `when` (null: now). False when no chain could be built
// (GetLastError says why); otherwise the caller frees `chain` (CertFreeCertificateChain).
bool BuildChain(PCCERT_CONTEXT certificate, FILETIME* when, HCERTSTORE extra, LPCSTR usage,
                PCCERT_CHAIN_CONTEXT& chain);

// The verdict on a built chain in the policies' order: a weakly signed certificate
// (WeakSignatureError), an intermediate that is no CA (IntermediateConstraintsError), then
// the chain policy `policy` (CERT_CHAIN_POLICY_AUTHENTICODE,
// CERT_CHAIN_POLICY_BASE). False when the policy could not be asked (GetLastError says
// why).
bool ChainVerdict(PCCERT_CHAIN_CONTEXT chain, LPCSTR policy, DWORD& verdict);

// Whether `usage` is in the chain's effective usage: the intersection of the extended key
// usages of every certificate in it, a certificate without the extension restricting
// nothing. anyExtendedKeyUsage is an identifier like any other and grants nothing else.
bool ChainAllows(PCCERT_CHAIN_CONTEXT chain, LPCSTR usage);

// Whether the certificate's own extension names `usage` (false without the extension).
bool CertificateNames(PCCERT_CONTEXT certificate, LPCSTR usage);

} // namespace signature::platform
