// Arbitrary bytes against the PE reader and the Authenticode checks over it.
//
// Input: byte 0 picks the target (even: the rest is a whole file for ReadPeImage and
// VerifyAuthenticode; odd: the rest is a PKCS#7 blob for the checks after the image hash,
// so that mutations of a signature reach the signer, time stamp and chain code without
// having to keep an image hash right). For each input:
//   - nothing is read outside the input: the reader and the hash see the input through a
//     source that stops the run on any read past its end (and ASan watches the rest),
//   - every range the reader reports lies inside the file, the certificate table ends
//     the file and the signed data lies inside the table,
//   - a verdict of 0 always comes with a signer's name, any other verdict with none.
// Trust: the certificates of SIGNATURE_FUZZ_ROOT (a PEM file) when set, else none; the
// check's time is fixed, so a run can be repeated.
#include "signature/PeImage.h"
#include "signature/posix/Authenticode.h"

#include "FuzzTrust.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "SignatureFuzz: %s\n", what);
    std::abort();
}

// The input as the check's file: every read must lie inside it.
class StrictBytes final : public signature::ByteSource {
public:
    StrictBytes(const std::uint8_t* data, std::size_t size) : m_memory(data, size) {}
    std::uint64_t Size() const override { return m_memory.Size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t size) override
    {
        if (!m_memory.Read(offset, out, size))
            fail("a read outside the file");
        return true;
    }

private:
    signature::MemoryBytes m_memory;
};

bool Inside(const signature::ByteRange& range, std::uint64_t begin, std::uint64_t end)
{
    return range.offset >= begin && range.offset <= end && range.size <= end - range.offset;
}

void CheckVerdict(const SignatureVerdict& verdict)
{
    if ((verdict.code == 0) == verdict.signer.empty() && verdict.code != 0)
        fail("a failed verdict names a signer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool blob = (data[0] & 1) != 0;
    ++data;
    --size;
    constexpr std::time_t checkTime = 1765000000; // December 2025
    if (blob) {
        CheckVerdict(signature::platform::VerifySignedDataWithoutImage(data, size, FuzzTrustStore(), checkTime));
        return 0;
    }
    signature::PeImage image;
    StrictBytes file(data, size);
    const signature::PeStatus status = signature::ReadPeImage(file, image);
    if (status == signature::PeStatus::Ok || status == signature::PeStatus::NoSignature) {
        for (const signature::ByteRange& range : image.hashed) {
            if (!Inside(range, 0, size))
                fail("a hashed range outside the file");
        }
    }
    if (status == signature::PeStatus::Ok) {
        const std::uint64_t tableEnd = image.certificateTable.offset + image.certificateTable.size;
        if (!Inside(image.certificateTable, 0, size) || tableEnd != size)
            fail("the certificate table does not end the file");
        if (!Inside(image.signedData, image.certificateTable.offset, tableEnd) || image.signedData.size == 0)
            fail("the signed data lies outside the table");
        for (const signature::ByteRange& range : image.hashed) {
            if (range.offset + range.size > image.certificateTable.offset)
                fail("a hashed range overlaps the certificate table");
        }
    }
    CheckVerdict(signature::platform::VerifyAuthenticode(file, FuzzTrustStore(), checkTime));
    return 0;
}
