// The parts of a PE file that an Authenticode check needs, read from its headers with every
// offset, size and count checked against the file before it is used. It knows nothing of
// cryptography: it says where the signature is and which bytes the image hash covers.
//
// Only the headers are read: a bounded prefix, the section table and the certificate
// table's entry headers, each on its own. An installer of a gigabyte costs the reader what
// one of a kilobyte does, and a file that is no PE image is refused after its first bytes.
//
// Every number here comes from the file, which is downloaded and therefore hostile until
// proven otherwise: sums are done in 64 bits, nothing is read past `size`, and a file that
// does not add up is a status, never a crash.
#pragma once

#include <vxnstl/vector>

#include <cstddef>
#include <cstdint>

namespace signature {

// Where the reader's bytes come from: the file itself (the signature check) or memory
// (tests, the fuzzer).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Exactly `size` bytes from `offset`; false when they cannot all be had. Callers ask
    // only for ranges inside Size().
    virtual bool Read(std::uint64_t offset, void* out, std::size_t size) = 0;
};

class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t size) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

enum class PeStatus {
    Ok,            // a PE image whose headers, sections and certificate table add up
    NotPe,         // no "MZ" header, no "PE\0\0", or an optional header of unknown kind
    Malformed,     // a PE image whose headers or sections point outside the file, or sections that overlap
    NoSignature,   // a sound PE image without a certificate table
    BadCertificateTable, // a certificate table outside the file, or entries that do not add up
    SignatureTooLarge,   // a signature larger than MaxSignedData
    ReadError,     // the source failed to give bytes that it holds
};

// A run of file bytes.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct PeImage {
    // The bytes the Authenticode image hash covers, in hashing order: the headers without
    // the checksum field and the certificate table's directory entry, each section's raw
    // data in file order, then whatever lies between the image's end and the certificate
    // table. No byte is in two ranges: a section's data that overlaps the headers counts
    // from where they end (sections that overlap each other make the file malformed).
    vxn::vector<ByteRange> hashed;
    // The certificate table (data directory 4; its "address" is a file offset).
    ByteRange certificateTable;
    // The first WIN_CERTIFICATE of type PKCS_SIGNED_DATA: its bCertificate bytes.
    ByteRange signedData;
    // The largest signedData read: real signatures are some kilobytes (tens with nested
    // signatures), the blob is the one part of the file the check holds whole in memory,
    // and its decoding costs several times what hashing as many bytes does.
    static constexpr std::uint64_t MaxSignedData = 1u << 20;
    bool pe32Plus = false;
};

// WIN_CERTIFICATE's fields as the table gives them.
inline constexpr std::uint16_t CertificateRevision1 = 0x0100;
inline constexpr std::uint16_t CertificateRevision2 = 0x0200;
inline constexpr std::uint16_t CertificateTypePkcsSignedData = 0x0002;

// Reads the image's layout. `image` is filled as far as the status allows: with Ok every
// field, with NoSignature the hashed ranges (up to the end of the file), otherwise nothing
// that may be relied on. A signed-data entry larger than MaxSignedData spoils the table.
PeStatus ReadPeImage(ByteSource& file, PeImage& image);
PeStatus ReadPeImage(const std::uint8_t* data, std::size_t size, PeImage& image);

} // namespace signature
