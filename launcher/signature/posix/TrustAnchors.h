// The roots the Linux signature check trusts, and the words the log uses for them.
#pragma once

#include <vxnstl/string>

#include <openssl/x509_vfy.h>

namespace signature::platform {

// A store of trust anchors and where they came from ("the system's store", ...).
struct TrustAnchors {
    X509_STORE* store = nullptr; // the caller frees it; null when none could be made
    vxn::string origin;
};

// The anchors of one check, first of these that applies:
//   1. SSL_CERT_FILE and SSL_CERT_DIR, when either is set: exactly the file and folders
//      they name (a variable not set adds nothing), as every OpenSSL program lets them
//      replace its anchors for one run;
//   2. `builtInRoots`, the PEM text of the code-signing roots the distributor built into
//      the program, when there is any: exactly those certificates. Text that holds no
//      certificate, or a damaged one, gives no store, so the check fails rather than fall
//      back to roots the distributor did not choose;
//   3. OpenSSL's default locations, the distribution's store.
TrustAnchors NewTrustAnchors(const vxn::string& builtInRoots);

// A store of exactly the certificates of PEM text; null when the text holds none or a
// certificate in it cannot be read. `count` is how many it holds.
X509_STORE* NewStoreFromPem(const vxn::string& pem, int& count);

} // namespace signature::platform
