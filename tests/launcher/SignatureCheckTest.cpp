// The installer signature check on real signed, unsigned and broken PE files, made before
// the test by scripts/lib/make-signature-fixtures.sh (CTest runs it as the setup of this
// test and passes the folder in ZYREL_SIGNATURE_FIXTURES; a Linux run without it makes its
// own folder). The same table of expected codes holds on Linux (OpenSSL) and on Windows
// (WinVerifyTrust, here under Wine with the test roots added to the prefix's ROOT store):
// both halves must reach the same verdict on the same file. On Linux, `osslsigncode
// verify` is asked as an independent judge of every file of the first table (the others
// hold what it judges otherwise than Windows).
#include "SignatureCheck.h"

#include "signature/Der.h"
#include "signature/PeImage.h"
#include "signature/TrustCodes.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <wincrypt.h>

#include "windows/TrustRoot.h"
#else
#include "signature/posix/Authenticode.h"
#include "signature/posix/TrustAnchors.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <csignal>
#include <sys/types.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace signature;

const std::string Publisher = "Vexal Norim Inc.";

// A file whose structure Wine's decoder cannot read at all: there the Windows half
// refuses it with the decoder's code, where Windows and the Linux half reach a verdict.
constexpr std::uint32_t AsWindows = 0;

struct Expected {
    const char* file;
    std::uint32_t code;  // CheckFileSignature's code
    const char* signer;  // its signer's name ("" when none is read)
    std::uint32_t final; // InstallerSignatureCode's code, the publisher rule applied
    std::uint32_t wine = AsWindows; // the code under Wine, where it must differ
};

// One row per file the fixture script makes.
const Expected Files[] = {
    {"vexal-sha256.exe", 0, "Vexal Norim Inc.", 0},
    {"vexal-sha1.exe", 0, "Vexal Norim Inc.", 0},
    {"vexal-timestamped.exe", 0, "Vexal Norim Inc.", 0},
    // Expired now, but time-stamped while valid: the time stamp's time counts.
    {"expired-timestamped.exe", 0, "Vexal Norim Inc.", 0},
    // The older countersignature as the time stamp (its time is the making of the file).
    {"vexal-countersigned.exe", 0, "Vexal Norim Inc.", 0},
    {"expired-countersigned.exe", CertExpired, "", CertExpired},
    {"countersignature-spoilt.exe", TrustTimeStamp, "", TrustTimeStamp},
    {"other-publisher.exe", 0, "Other Publisher Ltd.", InvalidName},
    {"capitals.exe", 0, "VEXAL NORIM INC.", InvalidName},
    // No common name and no unit: the organisation is the simple display name.
    {"organisation-only.exe", 0, "Vexal Norim Inc.", 0},
    // Neither common name, unit, organisation nor e-mail: no simple display name, which
    // fails the name step (the system leaves no error code there, so TRUST_E_FAIL).
    {"no-common-name.exe", TrustFail, "", TrustFail},
    // Only the primary signature counts; the nested one by the right publisher does not.
    {"double-signature.exe", 0, "Other Publisher Ltd.", InvalidName},
    {"expired.exe", CertExpired, "", CertExpired},
    // A time stamp that does not verify is a failure, not a stamp to be ignored.
    {"timestamp-spoilt.exe", TrustTimeStamp, "", TrustTimeStamp},
    {"self-signed.exe", CertUntrustedRoot, "", CertUntrustedRoot},
    {"untrusted-root.exe", CertUntrustedRoot, "", CertUntrustedRoot},
    {"server-auth-only.exe", CertWrongUsage, "", CertWrongUsage},
    {"unsigned.exe", TrustNoSignature, "", TrustNoSignature},
    {"tampered.exe", TrustBadDigest, "", TrustBadDigest},
    // Data between the sections' end and the table is hashed too.
    {"payload.exe", 0, "Vexal Norim Inc.", 0},
    {"payload-tampered.exe", TrustBadDigest, "", TrustBadDigest},
    // The signature's DER ends before its own length says.
    {"cut-signature.exe", CryptAsn1EndOfData, "", CryptAsn1EndOfData},
    // PE headers, so a PE file, but its sections and table are gone.
    {"cut-file.exe", TrustNoSignature, "", TrustNoSignature},
    {"directory-past-end.exe", TrustNoSignature, "", TrustNoSignature},
    {"appended.exe", TrustNoSignature, "", TrustNoSignature},
    {"not-a-program.exe", TrustSubjectFormUnknown, "", TrustSubjectFormUnknown},
    {"empty.exe", TrustSubjectFormUnknown, "", TrustSubjectFormUnknown},
};

// Chains whose usage Windows refuses although every certificate is valid and the signer's
// own usage names code signing. (osslsigncode accepts all of them: it weighs the leaf's
// usage only, so these rows are not among those it is asked about.)
const Expected ChainUsageFiles[] = {
    // An intermediate limited to TLS servers: no leaf under it signs code, whatever the
    // leaf says of itself, and a leaf that says nothing gets no more than its issuer.
    {"ca-server-auth.exe", CertWrongUsage, "", CertWrongUsage},
    {"ca-server-auth-leaf-unlimited.exe", CertWrongUsage, "", CertWrongUsage},
    // The controls: an intermediate limited to code signing, with a leaf for code signing
    // and one without any extended usage of its own.
    {"ca-code-signing.exe", 0, "Vexal Norim Inc.", 0},
    {"ca-code-signing-leaf-unlimited.exe", 0, "Vexal Norim Inc.", 0},
    // anyExtendedKeyUsage is not code signing.
    {"ca-any-usage.exe", CertWrongUsage, "", CertWrongUsage},
    // The time stamp's chain must allow time stamping: its authority sits under the
    // code-signing intermediate.
    {"timestamp-ca-code-signing.exe", CertWrongUsage, "", CertWrongUsage},
};

// Certificates signed with MD5 or with short RSA keys in either chain are refused as
// Windows' weak-signature policy refuses them (CERT_TRUST_IS_NOT_SIGNATURE_VALID, reported
// as TRUST_E_CERT_SIGNATURE); SHA-1 certificates still pass. MD5 as a digest of the
// signature itself is refused as an algorithm. (osslsigncode accepts all.)
const Expected WeakSignatureFiles[] = {
    {"md5-certificate.exe", TrustCertificateSignature, "", TrustCertificateSignature},
    {"timestamp-md5-certificate.exe", TrustCertificateSignature, "", TrustCertificateSignature},
    {"sha1-certificate.exe", 0, "Vexal Norim Inc.", 0},
    // RSA keys of 512 bits, the signer's or the time-stamping authority's, are weak too.
    {"rsa512-signer.exe", TrustCertificateSignature, "", TrustCertificateSignature},
    {"rsa512-timestamp.exe", TrustCertificateSignature, "", TrustCertificateSignature},
    // MD5 as the signer's digest or as the image hash's (the other SHA-256), or as both,
    // is an algorithm refused.
    {"md5-signer-digest.exe", BadAlgorithm, "", BadAlgorithm},
    {"md5-image-digest.exe", BadAlgorithm, "", BadAlgorithm},
    {"md5-file-digest.exe", BadAlgorithm, "", BadAlgorithm},
};

// Structures of real signed files that Windows judges in its own way, each rebuilt by the
// fixture script: what Windows accepts must pass, what it refuses must fail with its code.
const Expected WildFiles[] = {
    // A time stamp token whose certificate set holds an attribute certificate besides the
    // authority's: the token is sound, the entry that is no X.509 certificate is ignored.
    {"timestamp-attribute-certificate.exe", 0, "Vexal Norim Inc.", 0},
    // A time-stamping authority whose extended key usage is not marked critical is judged
    // like any other: by the chain's usage and its own naming time stamping; one that names
    // no usage of its own is not fit.
    {"timestamp-usage-uncritical.exe", 0, "Vexal Norim Inc.", 0},
    {"timestamp-authority-without-usage.exe", CertWrongUsage, "", CertWrongUsage},
    // A countersignature whose signature value holds the bare SHA-1 of its signed
    // attributes, no DigestInfo around it, as old authorities made them; spoilt, it is a
    // time stamp that does not verify.
    {"countersignature-bare-digest.exe", 0, "Vexal Norim Inc.", 0},
    {"countersignature-bare-digest-spoilt.exe", TrustTimeStamp, "", TrustTimeStamp},
    // Headers whose declared size runs into the first section: the overlap is hashed once.
    {"headers-overlap.exe", 0, "Vexal Norim Inc.", 0},
    // A trusted root without basic constraints is an anchor all the same; an intermediate
    // without them is no CA.
    {"old-root.exe", 0, "Vexal Norim Inc.", 0},
    {"intermediate-without-basic-constraints.exe", TrustBasicConstraints, "", TrustBasicConstraints},
    // A certificate for lifetime signing is judged now, time stamp or not: expired, its
    // time-stamped signature is refused; valid, it passes.
    {"lifetime-expired-timestamped.exe", CertExpired, "", CertExpired},
    {"lifetime-timestamped.exe", 0, "Vexal Norim Inc.", 0},
    // The first common name is the name even when it is no text (a BIT STRING): then the
    // signer has none, and the publisher's name as the unit after it does not count.
    {"common-name-not-text.exe", TrustFail, "", TrustFail, CryptAsn1BadTag},
    // A signer whose content-type attribute, or a SignedData whose content type, names
    // anything but SpcIndirectData signs no Authenticode content.
    {"content-type-relabelled.exe", TrustNoSignature, "", TrustNoSignature},
    {"signed-data-relabelled.exe", TrustNoSignature, "", TrustNoSignature, CryptAsn1Corrupt},
};

// The digest-algorithm list of a SignedData, which no signature covers, must name exactly
// the signer's one algorithm (the outer message's, then a time stamp token's); a verifier
// prepares one digest per entry, so a list lengthened on the way made the check's work
// grow with its square (and crash the library on a long one). Checked by the Linux half.
const Expected DigestListFiles[] = {
    {"digest-list-repeated.exe", TrustNoSignature, "", TrustNoSignature},
    {"digest-list-other-algorithm.exe", TrustNoSignature, "", TrustNoSignature},
    {"timestamp-digest-list-repeated.exe", TrustTimeStamp, "", TrustTimeStamp},
    {"timestamp-digest-list-other-algorithm.exe", TrustTimeStamp, "", TrustTimeStamp},
    // More certificates than a signature carries: their decoding costs a hundred times what
    // hashing as many bytes does.
    {"certificates-lengthened.exe", TrustNoSignature, "", TrustNoSignature},
};

std::string Hex(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

#if !defined(_WIN32)
fs::path FixtureScript()
{
    return fs::path(ZYREL_SOURCE_DIR) / "scripts" / "lib" / "make-signature-fixtures.sh";
}
#endif

// The fixture folder, as this program sees it: CTest's, or (Linux) one made here.
class Fixtures {
public:
    Fixtures()
    {
        std::string given = zyrel_test::variable("ZYREL_SIGNATURE_FIXTURES", "");
#if defined(_WIN32)
        // The folder is made on the Unix side; Wine shows the Unix root as drive Z:.
        if (!given.empty() && given[0] == '/')
            given = "Z:" + given;
        m_folder = fs::path(zyrel_test::to_wide(given).c_str());
#else
        if (given.empty()) {
            m_own = std::make_unique<zyrel_test::temp_folder>();
            given = (m_own->path() / "fixtures").string();
            const zyrel_test::child_result made =
                zyrel_test::run_child("/bin/bash", {FixtureScript().string(), given}, {{}, true});
            EXPECT_EQ(made.exit_code, 0) << made.output;
        }
        m_folder = given;
#endif
    }
    bool Ready() const { return !m_folder.empty() && fs::exists(m_folder / "ready"); }
    fs::path operator/(const std::string& name) const { return m_folder / name; }

private:
    fs::path m_folder;
    std::unique_ptr<zyrel_test::temp_folder> m_own;
};

Fixtures& Folder()
{
    static Fixtures fixtures;
    return fixtures;
}

class SignatureCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder().Ready()) << "the signature fixtures are missing (ZYREL_SIGNATURE_FIXTURES="
                                      << zyrel_test::variable("ZYREL_SIGNATURE_FIXTURES") << ")";
#if defined(_WIN32)
        TrustTestRoot();
#endif
    }

#if defined(_WIN32)
    // The test root joins the ROOT store of the Wine prefix (Windows itself would ask the
    // user first, so a real Windows run needs the root trusted beforehand).
    static void TrustTestRoot()
    {
        static bool done = false;
        if (done)
            return;
        if (!zyrel_test::running_under_wine()) {
            GTEST_SKIP() << "trust " << to_string(Folder() / "certs" / "root.pem") << " on this machine first";
        }
        for (const char* root : {"root.pem", "old-root.pem"}) {
            std::vector<BYTE> der;
            ASSERT_TRUE(zyrel_test::trust_root_certificate(Folder() / "certs" / root, &der))
                << root << ": " << GetLastError();
            s_trusted.push_back(der);
        }
        done = true;
    }

public:
    // The prefix forgets the test roots again when the program ends: each run makes new
    // ones, and an old one must not stay trusted.
    static void ForgetTestRoot()
    {
        // The user's own ROOT store, where the additions went; the system ROOT store that
        // CertOpenSystemStoreW answers also shows the machine's roots and deletes nothing.
        HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        for (const std::vector<BYTE>& der : s_trusted) {
            PCCERT_CONTEXT ours = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
            if (ours != nullptr && root != nullptr) {
                PCCERT_CONTEXT stored = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ours, nullptr);
                if (stored != nullptr && CertDeleteCertificateFromStore(stored)) // frees the context too
                    CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            }
            if (ours != nullptr)
                CertFreeCertificateContext(ours);
        }
        if (root != nullptr)
            CertCloseStore(root, 0);
        s_trusted.clear();
    }

private:
    // What this run added to the ROOT store.
    static inline std::vector<std::vector<BYTE>> s_trusted;
    static std::string to_string(const fs::path& path) { return zyrel_test::to_utf8(path); }
#else
    void TrustTestRootOnly()
    {
        // Only the test roots are trusted: the system's own roots do not take part.
        m_file.set((Folder() / "certs" / "trusted.pem").c_str());
        m_dir.set((Folder() / "certs" / "no-such-folder").c_str());
    }
    zyrel_test::scoped_variable m_file{"SSL_CERT_FILE", nullptr};
    zyrel_test::scoped_variable m_dir{"SSL_CERT_DIR", nullptr};
#endif
};

#if defined(_WIN32)
class ForgetTestRootAtEnd : public ::testing::Environment {
public:
    void TearDown() override { SignatureCheckTest::ForgetTestRoot(); }
};
const auto* const forgetTestRoot = ::testing::AddGlobalTestEnvironment(new ForgetTestRootAtEnd);
#endif

// Each row's verdict and name, then the publisher rule on top of it.
template <std::size_t Count>
void ExpectVerdicts(const Expected (&rows)[Count])
{
    for (Expected row : rows) {
        SCOPED_TRACE(row.file);
#if defined(_WIN32)
        if (row.wine != AsWindows && zyrel_test::running_under_wine())
            row = Expected{row.file, row.wine, "", row.wine};
#endif
        const vxn::wstring path = zyrel_test::to_wide(Folder() / row.file);
        const SignatureVerdict verdict = CheckFileSignature(path);
        EXPECT_EQ(Hex(verdict.code), Hex(row.code));
        EXPECT_EQ(zyrel_test::to_utf8(verdict.signer), row.signer);
        EXPECT_EQ(Hex(InstallerSignatureCode(path)), Hex(row.final));
    }
}

// Every file: the verdict and the name, then the publisher rule on top of it.
TEST_F(SignatureCheckTest, EveryFileGetsWindowsCodeAndSignerName)
{
#if !defined(_WIN32)
    TrustTestRootOnly();
#endif
    ExpectVerdicts(Files);
}

// The chain's usage is the intersection of every certificate's extended key usages; code
// signing (time stamping for the time stamp's chain) must be in it, else
// CERT_E_WRONG_USAGE, which the user sees as #6005:272.
TEST_F(SignatureCheckTest, ChainUsageIsWhatEveryCertificateAllows)
{
#if !defined(_WIN32)
    TrustTestRootOnly();
#endif
    ExpectVerdicts(ChainUsageFiles);
    EXPECT_EQ(DisplayedSignatureCode(CertWrongUsage), 272);
    EXPECT_NE(zyrel_test::to_utf8(SignatureWarningText(CertWrongUsage)).find("(error #6005:272)"), std::string::npos);
}

// MD5-signed certificates fail in the signer's chain and in the time stamp's, SHA-1 ones
// pass; on Linux the same whatever security level the trust store was given.
TEST_F(SignatureCheckTest, WeaklySignedCertificatesAreRefused)
{
#if !defined(_WIN32)
    TrustTestRootOnly();
#endif
    ExpectVerdicts(WeakSignatureFiles);
    EXPECT_EQ(DisplayedSignatureCode(TrustCertificateSignature), 24580);
#if !defined(_WIN32)
    // A store whose security level would refuse SHA-1 (level 2 and up) or accept MD5
    // (level 0) changes nothing: the weak digests are the check's own rule.
    for (int level : {0, 3}) {
        SCOPED_TRACE(level);
        X509_STORE* store = X509_STORE_new();
        ASSERT_NE(store, nullptr);
        ASSERT_EQ(X509_STORE_load_file(store, (Folder() / "certs" / "root.pem").c_str()), 1);
        X509_VERIFY_PARAM_set_auth_level(X509_STORE_get0_param(store), level);
        for (const Expected& row : WeakSignatureFiles) {
            SCOPED_TRACE(row.file);
            const std::string bytes = zyrel_test::read_file(Folder() / row.file);
            const SignatureVerdict verdict = signature::platform::VerifyAuthenticode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                                bytes.size(), store, std::time(nullptr));
            EXPECT_EQ(Hex(verdict.code), Hex(row.code));
        }
        X509_STORE_free(store);
    }
#endif
}

// Files shaped like those from the wild: Windows' verdict on each.
TEST_F(SignatureCheckTest, FilesFromTheWildGetWindowsVerdict)
{
#if !defined(_WIN32)
    TrustTestRootOnly();
#endif
    ExpectVerdicts(WildFiles);
}

// Shapes that would multiply the work of a check are refused before any library decodes
// them, with the same code on both systems: a digest list other than exactly the signer's
// algorithm, the signature's or a time stamp token's, and sections whose data overlap.
TEST_F(SignatureCheckTest, ShapesThatMultiplyTheWorkAreRefused)
{
#if !defined(_WIN32)
    TrustTestRootOnly();
#endif
    ExpectVerdicts(DigestListFiles);

    // The DER reading that the Windows half does before WinVerifyTrust, on real signatures.
    const std::pair<const char*, SignedDataFault> lists[] = {
        {"vexal-sha256.exe", SignedDataFault::None},
        {"vexal-sha1.exe", SignedDataFault::None},
        {"vexal-timestamped.exe", SignedDataFault::None},
        {"vexal-countersigned.exe", SignedDataFault::None},
        {"double-signature.exe", SignedDataFault::None},
        {"digest-list-repeated.exe", SignedDataFault::Signature},
        {"digest-list-other-algorithm.exe", SignedDataFault::Signature},
        {"timestamp-digest-list-repeated.exe", SignedDataFault::TimeStamp},
        {"timestamp-digest-list-other-algorithm.exe", SignedDataFault::TimeStamp},
        {"certificates-lengthened.exe", SignedDataFault::Signature},
    };
    for (const auto& [file, fault] : lists) {
        SCOPED_TRACE(file);
        const std::string bytes = zyrel_test::read_file(Folder() / file);
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
        PeImage image;
        ASSERT_EQ(ReadPeImage(copy.data(), copy.size(), image), PeStatus::Ok);
        EXPECT_EQ(static_cast<int>(FindSignedDataFault(copy.data() + image.signedData.offset,
                                                      static_cast<std::size_t>(image.signedData.size))),
                  static_cast<int>(fault));
    }

    // The publisher's signed file with its second section's data moved into the first's.
    std::string overlapping = zyrel_test::read_file(Folder() / "vexal-sha256.exe");
    constexpr std::size_t SecondSectionData = 0x58 + 0xE0 + 40 + 20;
    overlapping.replace(SecondSectionData, 4, std::string("\x00\x03\x00\x00", 4));
    zyrel_test::temp_folder work;
    const auto codeOf = [&work](const char* name, const std::string& bytes) {
        const fs::path file = work.path() / name;
        std::FILE* out = std::fopen(file.string().c_str(), "wb");
        const bool written = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (out != nullptr)
            std::fclose(out);
        return written ? Hex(CheckFileSignature(zyrel_test::to_wide(file)).code) : std::string("not written");
    };
    EXPECT_EQ(codeOf("sections-overlapping.exe", overlapping), Hex(TrustNoSignature));

    // A signature entry of more than a mebibyte: the publisher's own, with zeros after it
    // inside its entry (where some distributors put data of their own, a few bytes).
    std::string large = zyrel_test::read_file(Folder() / "vexal-sha256.exe");
    {
        std::vector<std::uint8_t> copy(large.begin(), large.end());
        PeImage image;
        ASSERT_EQ(ReadPeImage(copy.data(), copy.size(), image), PeStatus::Ok);
        const std::uint32_t grown = static_cast<std::uint32_t>(image.certificateTable.size + (1u << 20));
        constexpr std::size_t SecurityEntry = 0x58 + 96 + 32;
        for (int i = 0; i < 4; ++i) {
            large[SecurityEntry + 4 + i] = static_cast<char>(grown >> (8 * i));
            large[image.certificateTable.offset + i] = static_cast<char>(grown >> (8 * i));
        }
        large.append(1u << 20, '\0');
    }
    EXPECT_EQ(codeOf("signature-too-large.exe", large), Hex(TrustNoSignature));
}

// Without the test root among the trust anchors no file is verified: a valid chain to a
// root nobody trusts is the untrusted-root failure, not a success.
TEST_F(SignatureCheckTest, NothingVerifiesWithoutTrustedRoot)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the prefix's ROOT store keeps the test root once it was added";
#else
    zyrel_test::scoped_variable file("SSL_CERT_FILE", (Folder() / "certs" / "stranger.pem").c_str());
    zyrel_test::scoped_variable dir("SSL_CERT_DIR", (Folder() / "certs" / "no-such-folder").c_str());
    for (const char* name : {"vexal-sha256.exe", "vexal-sha1.exe", "vexal-timestamped.exe", "organisation-only.exe"}) {
        SCOPED_TRACE(name);
        const SignatureVerdict verdict = CheckFileSignature(zyrel_test::to_wide(Folder() / name));
        EXPECT_EQ(Hex(verdict.code), Hex(CertUntrustedRoot));
        EXPECT_TRUE(verdict.signer.empty());
    }
    // A file that is not there is a failure with the system's code, never a pass.
    EXPECT_EQ(CheckFileSignature(zyrel_test::to_wide(Folder() / "no-such-file.exe")).code, 2u);
    EXPECT_NE(CheckFileSignature(zyrel_test::to_wide(Folder() / "certs")).code, 0u);
#endif
}

#if !defined(_WIN32)
// osslsigncode, an independent verifier, accepts exactly the files whose code is 0 before
// the publisher rule, and names the same signer.
TEST_F(SignatureCheckTest, AgreesWithOsslsigncode)
{
    TrustTestRootOnly();
    const std::string root = (Folder() / "certs" / "root.pem").string();
    for (const Expected& row : Files) {
        SCOPED_TRACE(row.file);
        const zyrel_test::child_result judged = zyrel_test::run_child(
            "/usr/bin/osslsigncode",
            {"verify", "-CAfile", root, "-TSA-CAfile", root, "-in", (Folder() / row.file).string()}, {{}, true});
        const SignatureVerdict verdict = CheckFileSignature(zyrel_test::to_wide(Folder() / row.file));
        // osslsigncode passes over a time stamp that does not verify and judges at the
        // current time; Windows, and this check, refuse the file.
        if (verdict.code == TrustTimeStamp)
            continue;
        // A valid signature whose signer has no simple display name fails at the name,
        // which osslsigncode does not read.
        if (verdict.code == TrustFail) {
            EXPECT_EQ(judged.exit_code, 0) << judged.output;
            continue;
        }
        EXPECT_EQ(judged.exit_code == 0, verdict.code == 0) << judged.output;
        if (verdict.code != 0)
            continue;
        // The primary signer's subject, "/CN=.../O=.../C=..."; its common name, else its
        // organisation, is the simple display name.
        const std::size_t signer = judged.output.find("Signer #0:");
        ASSERT_NE(signer, std::string::npos) << judged.output;
        const std::size_t subject = judged.output.find("Subject: ", signer);
        ASSERT_NE(subject, std::string::npos);
        const std::string line = judged.output.substr(subject + 9, judged.output.find('\n', subject) - subject - 9);
        std::string expected;
        for (const char* key : {"/CN=", "/OU=", "/O="}) {
            const std::size_t at = line.find(key);
            if (at != std::string::npos) {
                expected = line.substr(at + std::string(key).size(), line.find('/', at + 1) - at - std::string(key).size());
                break;
            }
        }
        EXPECT_EQ(zyrel_test::to_utf8(verdict.signer), expected) << line;
    }
}
#endif

#if !defined(_WIN32)
// ---- the code-signing roots a distributor builds in ----------------------------------

fs::path RootsScript()
{
    return fs::path(ZYREL_SOURCE_DIR) / "scripts" / "make-code-signing-roots.py";
}

zyrel_test::child_result MakeRoots(const fs::path& list, const fs::path& roots, const fs::path& output)
{
    return zyrel_test::run_child("/usr/bin/env", {"python3", RootsScript().string(), list.string(), roots.string(),
                                                  output.string()},
                                 {{}, true});
}

// The base64 bodies of the PEM certificates of a text, in order.
std::vector<std::string> PemBodies(const std::string& text)
{
    std::vector<std::string> bodies;
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
        std::string body;
        for (char c : text.substr(at + begin.size(), text.find(end, at) - at - begin.size()))
            if (c != '\n' && c != '\r')
                body.push_back(c);
        bodies.push_back(body);
    }
    return bodies;
}

vxn::string VxnText(const std::string& text)
{
    return vxn::string(text.data(), static_cast<vxn::u32>(text.size()));
}

std::uint32_t CodeWith(const signature::platform::TrustAnchors& anchors, const char* file)
{
    const std::string bytes = zyrel_test::read_file(Folder() / file);
    return signature::platform::VerifyAuthenticode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                                   anchors.store, std::time(nullptr))
        .code;
}

// The anchors as the check chooses them, freed at the end of the scope.
struct Anchors : signature::platform::TrustAnchors {
    explicit Anchors(const std::string& builtIn) : TrustAnchors(signature::platform::NewTrustAnchors(VxnText(builtIn))) {}
    ~Anchors() { X509_STORE_free(store); }
    Anchors(const Anchors&) = delete;
    Anchors& operator=(const Anchors&) = delete;
    std::string Origin() const { return std::string(origin.c_str(), origin.size()); }
};

// From a list in the root program's format, the script keeps exactly the root enabled for
// code signing: not the one for servers only, not the one disabled since 2020. A list it
// cannot read, or one that leaves no root, writes nothing and fails.
TEST_F(SignatureCheckTest, RootsScriptKeepsOnlyRootsEnabledForCodeSigning)
{
    zyrel_test::temp_folder work;
    const fs::path output = work.path() / "roots.pem";
    const zyrel_test::child_result made = MakeRoots(Folder() / "ctl" / "authroot.stl", Folder() / "ctl" / "roots", output);
    ASSERT_EQ(made.exit_code, 0) << made.output;
    EXPECT_NE(made.output.find("kept 1 of the 3 roots of the list, 1 disabled, 1 not enabled for code signing, "
                               "0 without a certificate"),
              std::string::npos)
        << made.output;
    const std::vector<std::string> kept = PemBodies(zyrel_test::read_file(output));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept, PemBodies(zyrel_test::read_file(Folder() / "certs" / "root.pem")));

    // The same roots as one PEM file instead of a folder.
    std::string bundle;
    for (const char* root : {"root.pem", "ctl-tls-root.pem", "ctl-disabled-root.pem"})
        bundle += zyrel_test::read_file(Folder() / "certs" / root);
    const fs::path fromBundle = work.path() / "from-bundle.pem";
    ASSERT_EQ(MakeRoots(Folder() / "ctl" / "authroot.stl", work.write("bundle.pem", bundle), fromBundle).exit_code, 0);
    EXPECT_EQ(PemBodies(zyrel_test::read_file(fromBundle)), kept);

    // Not a trust list; a list whose roots were not downloaded.
    const fs::path nothing = work.path() / "nothing.pem";
    const zyrel_test::child_result notList = MakeRoots(Folder() / "vexal-sha256.exe", Folder() / "ctl" / "roots", nothing);
    EXPECT_EQ(notList.exit_code, 1);
    EXPECT_NE(notList.output.find("cannot read the trust list"), std::string::npos) << notList.output;
    fs::create_directories(work.path() / "empty");
    const zyrel_test::child_result noRoots = MakeRoots(Folder() / "ctl" / "authroot.stl", work.path() / "empty", nothing);
    EXPECT_EQ(noRoots.exit_code, 1);
    EXPECT_NE(noRoots.output.find("is enabled for code signing but not among"), std::string::npos) << noRoots.output;
    EXPECT_FALSE(fs::exists(nothing));
}

// Roots built into the program are the only anchors: the script's output verifies the
// test root's files, a root for servers only verifies none, and text that holds no
// readable certificate gives no store at all. Without built-in roots, the system's store.
TEST_F(SignatureCheckTest, BuiltInRootsAreExactlyTheAnchors)
{
    zyrel_test::scoped_variable file("SSL_CERT_FILE", nullptr);
    zyrel_test::scoped_variable dir("SSL_CERT_DIR", nullptr);
    zyrel_test::temp_folder work;
    const fs::path output = work.path() / "roots.pem";
    ASSERT_EQ(MakeRoots(Folder() / "ctl" / "authroot.stl", Folder() / "ctl" / "roots", output).exit_code, 0);
    {
        Anchors anchors(zyrel_test::read_file(output));
        ASSERT_NE(anchors.store, nullptr);
        EXPECT_EQ(anchors.Origin(), "the 1 code-signing roots built into the program");
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-sha256.exe")), Hex(0));
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-timestamped.exe")), Hex(0));
        // The old root is trusted by the tests, not built in here.
        EXPECT_EQ(Hex(CodeWith(anchors, "old-root.exe")), Hex(CertUntrustedRoot));
    }
    {
        Anchors anchors(zyrel_test::read_file(Folder() / "certs" / "ctl-tls-root.pem") +
                        zyrel_test::read_file(Folder() / "certs" / "stranger.pem"));
        EXPECT_EQ(anchors.Origin(), "the 2 code-signing roots built into the program");
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-sha256.exe")), Hex(CertUntrustedRoot));
    }
    const std::string root = zyrel_test::read_file(Folder() / "certs" / "root.pem");
    for (const std::string& damaged : {root.substr(0, root.size() / 2) + "\n-----END CERTIFICATE-----\n",
                                       std::string("# no certificate here\n")}) {
        Anchors anchors(damaged);
        EXPECT_EQ(anchors.store, nullptr);
        EXPECT_EQ(anchors.Origin(), "the code-signing roots built into the program, which cannot be read");
    }
    Anchors system("");
    ASSERT_NE(system.store, nullptr);
    EXPECT_EQ(system.Origin(), "the system's store");
    EXPECT_EQ(Hex(CodeWith(system, "vexal-sha256.exe")), Hex(CertUntrustedRoot));
}

// SSL_CERT_FILE and SSL_CERT_DIR replace built-in roots for one run, each naming exactly
// its own anchors.
TEST_F(SignatureCheckTest, SslCertFileWinsOverBuiltInRoots)
{
    const std::string root = zyrel_test::read_file(Folder() / "certs" / "root.pem");
    const std::string stranger = (Folder() / "certs" / "stranger.pem").string();
    {
        zyrel_test::scoped_variable file("SSL_CERT_FILE", stranger.c_str());
        zyrel_test::scoped_variable dir("SSL_CERT_DIR", nullptr);
        Anchors anchors(root);
        EXPECT_EQ(anchors.Origin(), "SSL_CERT_FILE=" + stranger);
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-sha256.exe")), Hex(CertUntrustedRoot));
    }
    {
        const std::string trusted = (Folder() / "certs" / "trusted.pem").string();
        const std::string none = (Folder() / "certs" / "no-such-folder").string();
        zyrel_test::scoped_variable file("SSL_CERT_FILE", trusted.c_str());
        zyrel_test::scoped_variable dir("SSL_CERT_DIR", none.c_str());
        Anchors anchors(zyrel_test::read_file(Folder() / "certs" / "stranger.pem"));
        EXPECT_EQ(anchors.Origin(), "SSL_CERT_FILE=" + trusted + ", SSL_CERT_DIR=" + none);
        EXPECT_EQ(Hex(CodeWith(anchors, "old-root.exe")), Hex(0));
    }
    {
        const std::string none = (Folder() / "certs" / "no-such-folder").string();
        zyrel_test::scoped_variable file("SSL_CERT_FILE", nullptr);
        zyrel_test::scoped_variable dir("SSL_CERT_DIR", none.c_str());
        Anchors anchors(root);
        EXPECT_EQ(anchors.Origin(), "SSL_CERT_DIR=" + none);
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-sha256.exe")), Hex(CertUntrustedRoot));
    }
    {
        // A file that is not there is named as such, and vouches for nothing.
        const std::string missing = (Folder() / "certs" / "no-such-file.pem").string();
        zyrel_test::scoped_variable file("SSL_CERT_FILE", missing.c_str());
        zyrel_test::scoped_variable dir("SSL_CERT_DIR", nullptr);
        Anchors anchors(root);
        EXPECT_EQ(anchors.Origin(), "SSL_CERT_FILE=" + missing + " (cannot be read)");
        EXPECT_EQ(ERR_peek_error(), 0u);
        EXPECT_EQ(Hex(CodeWith(anchors, "vexal-sha256.exe")), Hex(CertUntrustedRoot));
    }
}

// The roots as a program file carries them: section .zyrel_rcdata_112, added to a copy of
// a program that checks a file as ZyrelDownloader does. The log names the anchors used.
TEST_F(SignatureCheckTest, ProgramTrustsTheRootsItCarries)
{
    zyrel_test::temp_folder work;
    const fs::path roots = work.path() / "roots.pem";
    ASSERT_EQ(MakeRoots(Folder() / "ctl" / "authroot.stl", Folder() / "ctl" / "roots", roots).exit_code, 0);
    const fs::path plain = zyrel_test::test_program("signature_check_run");
    const fs::path carrying = work.path() / "signature_check_run";
    fs::copy_file(plain, carrying);
    const zyrel_test::child_result added = zyrel_test::run_child(
        "/usr/bin/env", {"objcopy", "--add-section", ".zyrel_rcdata_112=" + roots.string(), carrying.string()}, {{}, true});
    ASSERT_EQ(added.exit_code, 0) << added.output;

    struct Run {
        fs::path program;
        std::vector<std::string> environment;
        std::string printed, anchors;
    };
    const std::string trusted = (Folder() / "certs" / "trusted.pem").string();
    const Run runs[] = {
        {carrying, {"SSL_CERT_FILE", "SSL_CERT_DIR"}, "0x00000000 Vexal Norim Inc.",
         "Trust anchors: the 1 code-signing roots built into the program"},
        {plain, {"SSL_CERT_FILE", "SSL_CERT_DIR"}, Hex(CertUntrustedRoot) + " ", "Trust anchors: the system's store"},
        {carrying, {"SSL_CERT_FILE=" + (Folder() / "certs" / "stranger.pem").string(), "SSL_CERT_DIR"},
         Hex(CertUntrustedRoot) + " ", "Trust anchors: SSL_CERT_FILE=" + (Folder() / "certs" / "stranger.pem").string()},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.program.string() + " " + run.anchors);
        zyrel_test::temp_folder temp;
        std::vector<std::string> environment = run.environment;
        environment.push_back("TMPDIR=" + temp.path().string());
        const zyrel_test::child_result checked =
            zyrel_test::run_child(run.program, {(Folder() / "vexal-sha256.exe").string()}, {environment, false});
        EXPECT_EQ(checked.exit_code, 0);
        EXPECT_EQ(checked.output, run.printed + "\n");
        const std::string log = zyrel_test::read_file(temp.path() / "ZyrelDownloader.log");
        EXPECT_NE(log.find("[INF] " + run.anchors + "\r\n"), std::string::npos) << log;
    }
}

// A signal that ends the run during the dialog's check ends the check within moments, and
// nothing is asked or started: the check runs on the window's thread, whose loop cannot see
// the signal meanwhile. The file is the publisher's signed one with 3 GiB of holes before
// its signature, which takes seconds to hash; the signal follows the check's first line.
TEST_F(SignatureCheckTest, SignalDuringTheCheckEndsItAndStartsNothing)
{
    ASSERT_TRUE(Folder().Ready());
    const std::string original = zyrel_test::read_file(Folder() / "vexal-sha256.exe");
    std::vector<std::uint8_t> copy(original.begin(), original.end());
    PeImage image;
    ASSERT_EQ(ReadPeImage(copy.data(), copy.size(), image), PeStatus::Ok);
    constexpr std::size_t SecurityEntry = 0x58 + 96 + 32;
    const std::uint64_t table = image.certificateTable.offset + (3ull << 30);
    zyrel_test::temp_folder work;
    const fs::path large = work.path() / "large.exe";
    {
        std::string head = original.substr(0, static_cast<std::size_t>(image.certificateTable.offset));
        for (int i = 0; i < 4; ++i)
            head[SecurityEntry + i] = static_cast<char>(table >> (8 * i));
        std::FILE* out = std::fopen(large.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(head.data(), 1, head.size(), out);
        ASSERT_EQ(fseeko(out, static_cast<off_t>(table), SEEK_SET), 0);
        const std::string rest = original.substr(static_cast<std::size_t>(image.certificateTable.offset));
        std::fwrite(rest.data(), 1, rest.size(), out);
        ASSERT_EQ(std::fclose(out), 0);
    }
    const std::pair<int, const char*> signals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [number, name] : signals) {
        SCOPED_TRACE(name);
        zyrel_test::temp_folder temp;
        zyrel_test::child_process check(zyrel_test::test_program("signature_check_run"), {"--installer", large.string()},
                                        {{"TMPDIR=" + temp.path().string()}, false});
        std::string line;
        do
            line = check.read_line();
        while (!line.empty() && line.rfind("log: Trust anchors:", 0) != 0);
        ASSERT_FALSE(line.empty()) << "the check never began";
        kill(static_cast<pid_t>(check.id()), number);
        const std::string rest = check.read_all();
        EXPECT_EQ(check.finish(), 0) << rest;
        EXPECT_NE(rest.find(std::string("log: ") + name +
                            " during the signature check: the run ends, the installer is not started\n"),
                  std::string::npos)
            << rest;
        EXPECT_EQ(rest.find("asked:"), std::string::npos) << rest;
        EXPECT_EQ(rest.substr(rest.size() - std::min<std::size_t>(rest.size(), 9)), "no start\n") << rest;
    }
}
#endif

// The warning's code: trust and crypto failures keep their lower 16 bits, anything else is
// the whole signed number; the text is string 8 with it.
TEST_F(SignatureCheckTest, WarningShowsReducedCode)
{
    EXPECT_EQ(DisplayedSignatureCode(TrustNoSignature), 256);
    EXPECT_EQ(DisplayedSignatureCode(InvalidName), 123);
    EXPECT_EQ(DisplayedSignatureCode(CertUntrustedRoot), 265);
    EXPECT_EQ(DisplayedSignatureCode(TrustBadDigest), 24592);
    EXPECT_EQ(DisplayedSignatureCode(TrustSubjectFormUnknown), 3);
    EXPECT_EQ(DisplayedSignatureCode(0x80070005u), -2147024891);
    EXPECT_EQ(DisplayedSignatureCode(0x800A0001u), static_cast<std::int32_t>(0x800A0001u));
    EXPECT_EQ(DisplayedSignatureCode(2), 2);

    const std::string text = zyrel_test::to_utf8(SignatureWarningText(TrustNoSignature));
    EXPECT_EQ(text, "The digital signature of the update could not be verified (error #6005:256). It is not "
                    "recommended to install this update, especially if you are on an untrusted network. Would "
                    "you still like to proceed with installation?");
    EXPECT_NE(zyrel_test::to_utf8(SignatureWarningText(0x80070005u)).find("(error #6005:-2147024891)"),
              std::string::npos);
    // A text longer than the box allows is cut after 2047 characters, the code included.
    const std::string longPattern = std::string(2040, 'a') + "%d" + std::string(100, 'b');
    const std::string cut = zyrel_test::to_utf8(SignatureWarningText(zyrel_test::to_wide(longPattern), InvalidName));
    EXPECT_EQ(cut, std::string(2040, 'a') + "123" + std::string(4, 'b'));
}

// The dialog's whole check: a verified file by the publisher starts without a question;
// every other file asks, and a question nobody can answer is a No.
TEST_F(SignatureCheckTest, OnlyVerifiedPublisherStartsUnasked)
{
    zyrel_test::scoped_variable host("ZYREL_UI", "none");
#if !defined(_WIN32)
    TrustTestRootOnly();
#else
    if (ui::ActiveHost() == ui::Host::Win32)
        GTEST_SKIP() << "the Windows host would show the question and wait for an answer";
#endif
    EXPECT_TRUE(VerifyInstallerSignature(nullptr, zyrel_test::to_wide(Folder() / "vexal-sha256.exe")));
    for (const char* name : {"other-publisher.exe", "capitals.exe", "unsigned.exe", "tampered.exe", "empty.exe"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(VerifyInstallerSignature(nullptr, zyrel_test::to_wide(Folder() / name)));
    }
}

// The PE reader on damaged headers: every number is checked before it is used, and the
// answer is a status, never a read outside the file.
TEST(PeImageTest, DamagedHeadersAreStatusesAndHashSkipsExactlyTheSignatureParts)
{
    ASSERT_TRUE(Folder().Ready());
    const std::string signedBytes = zyrel_test::read_file(Folder() / "vexal-sha256.exe");
    const std::string unsignedBytes = zyrel_test::read_file(Folder() / "unsigned.exe");
    ASSERT_GT(signedBytes.size(), 0x600u);

    const auto read = [](const std::string& bytes, PeImage& image) {
        // An exact-size copy, so that a read past the end is a sanitizer's finding.
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
        return ReadPeImage(copy.data(), copy.size(), image);
    };
    const auto patched = [](std::string bytes, std::size_t offset, std::uint32_t value, std::size_t width = 4) {
        std::string field;
        for (std::size_t i = 0; i < width; ++i)
            field.push_back(static_cast<char>(value >> (8 * i)));
        if (offset + width <= bytes.size())
            bytes.replace(offset, width, field);
        return bytes;
    };
    constexpr std::size_t Coff = 0x44, Optional = 0x58, SecurityEntry = Optional + 96 + 32, Sections = Optional + 0xE0;

    // The hashed ranges and the three excluded parts tile a signed file exactly, also one
    // whose headers overlap its first section.
    PeImage image;
    std::size_t table = 0;
    const auto expectTiled = [&](const std::string& bytes) {
        ASSERT_EQ(read(bytes, image), PeStatus::Ok);
        std::vector<int> covered(bytes.size(), 0);
        for (const ByteRange& range : image.hashed)
            for (std::uint64_t i = range.offset; i < range.offset + range.size; ++i)
                ++covered[i];
        for (std::size_t i = Optional + 64; i < Optional + 68; ++i)
            EXPECT_EQ(covered[i]++, 0) << "checksum byte " << i;
        for (std::size_t i = SecurityEntry; i < SecurityEntry + 8; ++i)
            EXPECT_EQ(covered[i]++, 0) << "directory byte " << i;
        for (std::uint64_t i = image.certificateTable.offset; i < bytes.size(); ++i)
            EXPECT_EQ(covered[i]++, 0) << "table byte " << i;
        for (std::size_t i = 0; i < covered.size(); ++i)
            ASSERT_EQ(covered[i], 1) << "byte " << i;
        EXPECT_EQ(image.signedData.offset, image.certificateTable.offset + 8);
        EXPECT_FALSE(image.pe32Plus);
    };
    {
        SCOPED_TRACE("headers overlapping the first section");
        expectTiled(zyrel_test::read_file(Folder() / "headers-overlap.exe"));
    }
    expectTiled(signedBytes);

    table = static_cast<std::size_t>(image.certificateTable.offset);
    ASSERT_EQ(read(unsignedBytes, image), PeStatus::NoSignature);
    EXPECT_EQ(image.hashed.back().offset + image.hashed.back().size, unsignedBytes.size());

    struct Damage {
        const char* what;
        std::string bytes;
        PeStatus status;
    };
    const Damage damages[] = {
        {"no MZ", patched(unsignedBytes, 0, 'X', 1), PeStatus::NotPe},
        {"e_lfanew far past the end", patched(unsignedBytes, 0x3C, 0xFFFFFFF0u), PeStatus::NotPe},
        {"e_lfanew at the last bytes", patched(unsignedBytes, 0x3C, static_cast<std::uint32_t>(unsignedBytes.size() - 2)),
         PeStatus::NotPe},
        {"unknown optional header", patched(unsignedBytes, Optional, 0x107, 2), PeStatus::NotPe},
        {"64K sections", patched(unsignedBytes, Coff + 2, 0xFFFF, 2), PeStatus::Malformed},
        {"optional header past the end", patched(unsignedBytes, Coff + 16, 0xFFFF, 2), PeStatus::Malformed},
        {"optional header without directories", patched(unsignedBytes, Coff + 16, 90, 2), PeStatus::Malformed},
        {"headers larger than the file", patched(unsignedBytes, Optional + 60, 0xFFFFFFFFu), PeStatus::Malformed},
        {"headers without the section table", patched(unsignedBytes, Optional + 60, 0x100), PeStatus::Malformed},
        {"section data wrapping around", patched(patched(unsignedBytes, Sections + 20, 0xFFFFFF00u), Sections + 16, 0x200),
         PeStatus::Malformed},
        {"section data past the end", patched(unsignedBytes, Sections + 16, 0x10000), PeStatus::Malformed},
        // Sections that share bytes, also a signed file's: the hash would read them once per section.
        {"sections overlapping", patched(unsignedBytes, Sections + 40 + 20, 0x300), PeStatus::Malformed},
        {"signed, sections overlapping", patched(signedBytes, Sections + 40 + 20, 0x300), PeStatus::Malformed},
        {"four directories only", patched(unsignedBytes, Optional + 92, 4), PeStatus::NoSignature},
        {"table wrapping around", patched(patched(signedBytes, SecurityEntry, 0xFFFFFFF8u), SecurityEntry + 4, 0x10),
         PeStatus::BadCertificateTable},
        {"table inside the sections", patched(signedBytes, SecurityEntry, 0x300), PeStatus::BadCertificateTable},
        {"entry longer than the table",
         patched(signedBytes, table, 0xFFFFFFF0u),
         PeStatus::BadCertificateTable},
        {"entry of length 0", patched(signedBytes, table, 0),
         PeStatus::BadCertificateTable},
        {"entry of another type",
         patched(signedBytes, table + 6, 0x0001, 2),
         PeStatus::NoSignature},
        {"nothing at all", std::string(), PeStatus::NotPe},
        {"only MZ", std::string("MZ"), PeStatus::NotPe},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        EXPECT_EQ(static_cast<int>(read(damage.bytes, image)), static_cast<int>(damage.status));
    }
}

// The reader takes the headers and the certificate table, never the sections' data, and a
// file that is no PE image costs it its first 64 bytes.
TEST(PeImageTest, ReadsOnlyHeadersAndTable)
{
    ASSERT_TRUE(Folder().Ready());
    struct Counted final : ByteSource {
        Counted(const std::string& bytes, bool failing = false)
            : memory(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), failing(failing)
        {
        }
        std::uint64_t Size() const override { return memory.Size(); }
        bool Read(std::uint64_t offset, void* out, std::size_t size) override
        {
            read += size;
            return !failing && memory.Read(offset, out, size);
        }
        MemoryBytes memory;
        bool failing;
        std::uint64_t read = 0;
    };
    PeImage image;
    const std::string junk(1 << 20, 'X');
    Counted notPe(junk);
    EXPECT_EQ(ReadPeImage(notPe, image), PeStatus::NotPe);
    EXPECT_LE(notPe.read, 64u);

    const std::string payload = zyrel_test::read_file(Folder() / "payload.exe");
    Counted signedFile(payload);
    ASSERT_EQ(ReadPeImage(signedFile, image), PeStatus::Ok);
    // The headers are 0x200 bytes; the sections and the payload after them are not read.
    EXPECT_LE(signedFile.read, 0x200u + image.certificateTable.size);
    EXPECT_GT(image.certificateTable.offset, 0x600u);

    Counted failing(payload, true);
    EXPECT_EQ(ReadPeImage(failing, image), PeStatus::ReadError);
}

} // namespace
