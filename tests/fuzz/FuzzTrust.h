// The trust anchors of the signature fuzz targets: the certificates of SIGNATURE_FUZZ_ROOT
// (a PEM file) when set, else none.
#pragma once

#include <openssl/x509.h>

#include <cstdlib>

inline X509_STORE* FuzzTrustStore()
{
    static X509_STORE* store = [] {
        X509_STORE* made = X509_STORE_new();
        if (const char* root = std::getenv("SIGNATURE_FUZZ_ROOT"))
            X509_STORE_load_file(made, root);
        return made;
    }();
    return store;
}
