#include "signature/PeImage.h"

#include <algorithm>
#include <cstring>

namespace signature {
namespace {

// Offsets of the PE format that the hash depends on.
constexpr std::uint32_t DosHeaderSize = 64;
constexpr std::uint32_t NewHeaderPointer = 0x3C; // e_lfanew
constexpr std::uint32_t CoffHeaderSize = 20;
constexpr std::uint32_t SectionHeaderSize = 40;
constexpr std::uint16_t MagicPe32 = 0x10B;
constexpr std::uint16_t MagicPe32Plus = 0x20B;
constexpr std::uint32_t ChecksumField = 64;          // in the optional header, both kinds
constexpr std::uint32_t SizeOfHeadersField = 60;     // likewise
constexpr std::uint32_t DirectoriesPe32 = 96;        // NumberOfRvaAndSizes sits 4 bytes before
constexpr std::uint32_t DirectoriesPe32Plus = 112;
constexpr std::uint32_t SecurityDirectory = 4;
constexpr std::uint32_t DirectoryEntrySize = 8;
constexpr std::uint32_t CertificateHeaderSize = 8;   // dwLength, wRevision, wCertificateType

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    // Whether [offset, offset + length) lies inside the file; no sum can wrap in 64 bits
    // for values that come from 32-bit fields.
    bool Has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }
    // The readers are only called on ranges that Has() accepted.
    std::uint16_t U16(std::uint64_t offset) const
    {
        const std::uint8_t* p = m_data + offset;
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    }
    std::uint32_t U32(std::uint64_t offset) const
    {
        const std::uint8_t* p = m_data + offset;
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
    const std::uint8_t* At(std::uint64_t offset) const { return m_data + offset; }
    std::uint64_t Size() const { return m_size; }

private:
    const std::uint8_t* m_data;
    std::uint64_t m_size;
};

void Add(vxn::vector<ByteRange>& ranges, std::uint64_t begin, std::uint64_t end)
{
    if (end > begin)
        ranges.push_back(ByteRange{begin, end - begin});
}

// Walks the WIN_CERTIFICATE entries (each 8-byte aligned) and keeps the first signed-data
// one. An entry that claims more than the table holds spoils the whole table.
PeStatus FindSignedData(const Bytes& file, PeImage& image)
{
    const std::uint64_t end = image.certificateTable.offset + image.certificateTable.size;
    std::uint64_t position = image.certificateTable.offset;
    while (end - position >= CertificateHeaderSize) {
        const std::uint32_t length = file.U32(position);
        const std::uint16_t revision = file.U16(position + 4);
        const std::uint16_t type = file.U16(position + 6);
        if (length < CertificateHeaderSize || length > end - position)
            return PeStatus::BadCertificateTable;
        if (image.signedData.size == 0 && type == CertificateTypePkcsSignedData &&
            (revision == CertificateRevision2 || revision == CertificateRevision1) &&
            length > CertificateHeaderSize) {
            image.signedData = ByteRange{position + CertificateHeaderSize, length - CertificateHeaderSize};
        }
        const std::uint64_t step = (static_cast<std::uint64_t>(length) + 7) & ~std::uint64_t{7};
        if (step >= end - position)
            break;
        position += step;
    }
    return image.signedData.size != 0 ? PeStatus::Ok : PeStatus::NoSignature;
}

} // namespace

PeStatus ReadPeImage(const std::uint8_t* data, std::size_t size, PeImage& image)
{
    image.hashed.clear();
    image.certificateTable = ByteRange{};
    image.signedData = ByteRange{};
    image.pe32Plus = false;
    const Bytes file(data, size);

    if (!file.Has(0, DosHeaderSize) || data[0] != 'M' || data[1] != 'Z')
        return PeStatus::NotPe;
    const std::uint64_t peHeader = file.U32(NewHeaderPointer);
    if (!file.Has(peHeader, 4 + CoffHeaderSize + 2) || std::memcmp(file.At(peHeader), "PE\0\0", 4) != 0)
        return PeStatus::NotPe;
    const std::uint64_t coff = peHeader + 4;
    const std::uint32_t sectionCount = file.U16(coff + 2);
    const std::uint32_t optionalSize = file.U16(coff + 16);
    const std::uint64_t optional = coff + CoffHeaderSize;
    const std::uint16_t magic = file.U16(optional);
    if (magic != MagicPe32 && magic != MagicPe32Plus)
        return PeStatus::NotPe;
    image.pe32Plus = magic == MagicPe32Plus;

    const std::uint32_t directories = image.pe32Plus ? DirectoriesPe32Plus : DirectoriesPe32;
    if (optionalSize < directories || !file.Has(optional, optionalSize))
        return PeStatus::Malformed;
    const std::uint64_t checksum = optional + ChecksumField;
    const std::uint32_t directoryCount = file.U32(optional + directories - 4);
    const std::uint64_t headersEnd = file.U32(optional + SizeOfHeadersField);
    const std::uint64_t sectionTable = optional + optionalSize;
    const std::uint64_t sectionTableSize = static_cast<std::uint64_t>(sectionCount) * SectionHeaderSize;
    // The section table must be part of the hashed headers: otherwise the choice of which
    // bytes count as sections would itself be unsigned.
    if (!file.Has(sectionTable, sectionTableSize) || headersEnd < sectionTable + sectionTableSize ||
        headersEnd > file.Size())
        return PeStatus::Malformed;

    const bool hasSecurityEntry = directoryCount > SecurityDirectory &&
                                  optionalSize >= directories + (SecurityDirectory + 1) * DirectoryEntrySize;
    const std::uint64_t securityEntry = optional + directories + SecurityDirectory * DirectoryEntrySize;

    Add(image.hashed, 0, checksum);
    if (hasSecurityEntry) {
        Add(image.hashed, checksum + 4, securityEntry);
        Add(image.hashed, securityEntry + DirectoryEntrySize, headersEnd);
    } else {
        Add(image.hashed, checksum + 4, headersEnd);
    }

    // Sections in the order of their file data, as the hash takes them.
    const std::size_t headerRanges = image.hashed.size();
    std::uint64_t imageEnd = headersEnd;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t header = sectionTable + static_cast<std::uint64_t>(i) * SectionHeaderSize;
        const std::uint64_t rawSize = file.U32(header + 16);
        const std::uint64_t rawData = file.U32(header + 20);
        if (rawSize == 0)
            continue;
        if (!file.Has(rawData, rawSize))
            return PeStatus::Malformed;
        image.hashed.push_back(ByteRange{rawData, rawSize});
        imageEnd = std::max(imageEnd, rawData + rawSize);
    }
    std::sort(image.hashed.begin() + headerRanges, image.hashed.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });

    const std::uint64_t tableOffset = hasSecurityEntry ? file.U32(securityEntry) : 0;
    const std::uint64_t tableSize = hasSecurityEntry ? file.U32(securityEntry + 4) : 0;
    if (tableSize == 0) {
        Add(image.hashed, imageEnd, file.Size());
        return PeStatus::NoSignature;
    }
    // The table must follow the image and end the file: bytes after it would be covered
    // by no hash at all, bytes inside the image would be hashed and skipped at once.
    if (tableOffset < imageEnd || !file.Has(tableOffset, tableSize) || tableOffset + tableSize != file.Size())
        return PeStatus::BadCertificateTable;
    image.certificateTable = ByteRange{tableOffset, tableSize};
    Add(image.hashed, imageEnd, tableOffset);
    return FindSignedData(file, image);
}

} // namespace signature
