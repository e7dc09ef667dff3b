// Which roots vouch for an installer on Linux. The distribution's store is made for TLS:
// it lacks roots that Windows trusts for code signing and holds roots that Windows trusts
// for servers only. A distributor who wants Windows' verdict builds the code-signing roots
// into the program (ZYREL_CODE_SIGNING_ROOTS, made by scripts/make-code-signing-roots.sh);
// without them the system's store is all there is.
#include "signature/posix/TrustAnchors.h"

#include "Format.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdlib>

namespace signature::platform {
namespace {

// A variable that is set and not empty; ignored in a program run with raised privileges,
// as OpenSSL ignores it there.
const char* Variable(const char* name)
{
    const char* value = secure_getenv(name);
    return value != nullptr && value[0] != 0 ? value : nullptr;
}

TrustAnchors FromVariables(const char* file, const char* folders)
{
    TrustAnchors anchors;
    anchors.store = X509_STORE_new();
    if (file != nullptr) {
        anchors.origin = VXN::format("SSL_CERT_FILE={0}", file);
        // A file that cannot be read leaves no anchor from it: the chain is then untrusted.
        if (anchors.store != nullptr && X509_STORE_load_file(anchors.store, file) != 1)
            anchors.origin.append(" (cannot be read)");
    }
    if (folders != nullptr) {
        if (!anchors.origin.empty())
            anchors.origin.append(", ");
        anchors.origin.append(VXN::format("SSL_CERT_DIR={0}", folders));
        // Folders are looked into when a chain needs an issuer; a missing one holds none.
        if (anchors.store != nullptr)
            X509_STORE_load_path(anchors.store, folders);
    }
    ERR_clear_error(); // the queue is the thread's, and the transfer's TLS reads it too
    return anchors;
}

} // namespace

X509_STORE* NewStoreFromPem(const vxn::string& pem, int& count)
{
    count = 0;
    if (pem.size() > static_cast<vxn::u32>(INT_MAX))
        return nullptr;
    BIO* text = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509_STORE* store = text != nullptr ? X509_STORE_new() : nullptr;
    bool damaged = store == nullptr;
    while (!damaged) {
        X509* certificate = PEM_read_bio_X509(text, nullptr, nullptr, nullptr);
        if (certificate == nullptr) {
            // The end of the text, or a certificate block that does not decode.
            damaged = ERR_GET_REASON(ERR_peek_last_error()) != PEM_R_NO_START_LINE;
            break;
        }
        damaged = X509_STORE_add_cert(store, certificate) != 1;
        X509_free(certificate);
        if (!damaged)
            ++count;
    }
    ERR_clear_error();
    BIO_free(text);
    if (damaged || count == 0) {
        X509_STORE_free(store);
        count = 0;
        return nullptr;
    }
    return store;
}

TrustAnchors NewTrustAnchors(const vxn::string& builtInRoots)
{
    const char* file = Variable("SSL_CERT_FILE");
    const char* folders = Variable("SSL_CERT_DIR");
    if (file != nullptr || folders != nullptr)
        return FromVariables(file, folders);

    TrustAnchors anchors;
    if (!builtInRoots.empty()) {
        int count = 0;
        anchors.store = NewStoreFromPem(builtInRoots, count);
        anchors.origin = anchors.store != nullptr
                             ? VXN::format("the {0} code-signing roots built into the program", static_cast<std::int32_t>(count))
                             : vxn::string("the code-signing roots built into the program, which cannot be read");
        return anchors;
    }
    anchors.origin = "the system's store";
    anchors.store = X509_STORE_new();
    if (anchors.store != nullptr && X509_STORE_set_default_paths(anchors.store) != 1) {
        X509_STORE_free(anchors.store);
        anchors.store = nullptr;
    }
    ERR_clear_error(); // a missing default folder is not an error of ours
    return anchors;
}

} // namespace signature::platform
