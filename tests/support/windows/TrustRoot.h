// A test root in the ROOT store of the Wine prefix, as a Windows machine that trusts a
// publisher's root has it (Windows itself would ask the user first).
#pragma once

#include "TestSupport.h"

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zyrel_test {

// Adds the PEM certificate to the ROOT store; false when it cannot be read or added. On
// success `added`, when given, receives the certificate's DER, with which a test can
// remove it again.
inline bool trust_root_certificate(const std::filesystem::path& pem_file, std::vector<BYTE>* added = nullptr)
{
    const std::string pem = read_file(pem_file);
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr))
        return false;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr))
        return false;
    HCERTSTORE root = CertOpenSystemStoreW(0, L"ROOT");
    if (root == nullptr)
        return false;
    const BOOL stored = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(root, 0);
    if (stored != FALSE && added != nullptr)
        *added = der;
    return stored != FALSE;
}

} // namespace zyrel_test
