// The time stamp of an Authenticode signer, verified with CryptoAPI: the time at which the
// signer's chain must have been valid. WinVerifyTrust makes this check itself on Windows;
// the signer's second chain check (FileSignature.cpp) needs the time too, and under Wine
// it is the only check of the stamp there is.
#pragma once

#include <windows.h>

#include <wincrypt.h>

namespace signature::platform {

enum class TimeStampState {
    None,    // the signer carries no time stamp: its chain counts now
    Valid,   // a time stamp that verifies, by an authority trusted for time stamping
    Invalid, // a time stamp that does not verify
};

// Looks at the signer's first time stamp among its unsigned attributes: an RFC 3161 token
// or the older countersignature (whose authority's certificate is in `store`, the
// signature's store). For an invalid one, `failure` says why: the code of the authority's
// chain when the stamp itself is sound but that chain is not (weakly signed, untrusted,
// not for time stamping: as the signer's chain would be reported), else TRUST_E_TIME_STAMP.
TimeStampState VerifySignerTimeStamp(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, FILETIME& when,
                                     DWORD& failure);

} // namespace signature::platform
