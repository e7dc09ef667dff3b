#include "signature/PeImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

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
// The certificate table is walked through a window of this size: a table of many small
// entries then costs a read per window, not one per entry.
constexpr std::size_t TableWindow = 64 * 1024;

std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The file's extent, for the checks that come before every read: whether [offset,
// offset + length) lies inside it. No sum can wrap in 64 bits for values that come from
// 32-bit fields.
class Extent {
public:
    explicit Extent(std::uint64_t size) : m_size(size) {}
    bool Has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }
    std::uint64_t Size() const { return m_size; }

private:
    std::uint64_t m_size;
};

// A part of the headers, read whole into memory once its range has been checked.
bool ReadPart(ByteSource& file, std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& out)
{
    out.resize(size);
    return size == 0 || file.Read(offset, out.data(), size);
}

// Small reads inside one region of the file, served from a window of it.
class Window {
public:
    Window(ByteSource& file, std::uint64_t end) : m_file(file), m_end(end) {}

    // `size` bytes at `offset`, which the caller has checked against the region's end.
    bool Get(std::uint64_t offset, std::uint8_t* out, std::size_t size)
    {
        if (offset < m_start || offset + size > m_start + m_filled) {
            if (m_buffer.empty())
                m_buffer.resize(TableWindow);
            m_filled = static_cast<std::size_t>(std::min<std::uint64_t>(TableWindow, m_end - offset));
            if (m_filled < size || !m_file.Read(offset, m_buffer.data(), m_filled)) {
                m_filled = 0;
                return false;
            }
            m_start = offset;
        }
        std::memcpy(out, m_buffer.data() + (offset - m_start), size);
        return true;
    }

private:
    ByteSource& m_file;
    std::uint64_t m_end;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_start = 0;
    std::size_t m_filled = 0;
};

void Add(vxn::vector<ByteRange>& ranges, std::uint64_t begin, std::uint64_t end)
{
    if (end > begin)
        ranges.push_back(ByteRange{begin, end - begin});
}

// Walks the WIN_CERTIFICATE entries (each 8-byte aligned) and keeps the first signed-data
// one. An entry that claims more than the table holds spoils the whole table.
PeStatus FindSignedData(ByteSource& file, PeImage& image)
{
    const std::uint64_t end = image.certificateTable.offset + image.certificateTable.size;
    std::uint64_t position = image.certificateTable.offset;
    Window table(file, end);
    while (end - position >= CertificateHeaderSize) {
        std::uint8_t header[CertificateHeaderSize];
        if (!table.Get(position, header, sizeof header))
            return PeStatus::ReadError;
        const std::uint32_t length = U32(header);
        const std::uint16_t revision = U16(header + 4);
        const std::uint16_t type = U16(header + 6);
        if (length < CertificateHeaderSize || length > end - position)
            return PeStatus::BadCertificateTable;
        if (image.signedData.size == 0 && type == CertificateTypePkcsSignedData &&
            (revision == CertificateRevision2 || revision == CertificateRevision1) &&
            length > CertificateHeaderSize) {
            if (length - CertificateHeaderSize > PeImage::MaxSignedData)
                return PeStatus::SignatureTooLarge;
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

bool MemoryBytes::Read(std::uint64_t offset, void* out, std::size_t size)
{
    if (offset > m_size || size > m_size - offset)
        return false;
    if (size != 0)
        std::memcpy(out, m_data + offset, size);
    return true;
}

PeStatus ReadPeImage(const std::uint8_t* data, std::size_t size, PeImage& image)
{
    MemoryBytes bytes(data, size);
    return ReadPeImage(bytes, image);
}

PeStatus ReadPeImage(ByteSource& source, PeImage& image)
{
    image.hashed.clear();
    image.certificateTable = ByteRange{};
    image.signedData = ByteRange{};
    image.pe32Plus = false;
    const Extent file(source.Size());

    // The DOS header first: a file without "MZ" is refused after 64 bytes.
    std::uint8_t dos[DosHeaderSize];
    if (!file.Has(0, DosHeaderSize))
        return PeStatus::NotPe;
    if (!source.Read(0, dos, sizeof dos))
        return PeStatus::ReadError;
    if (dos[0] != 'M' || dos[1] != 'Z')
        return PeStatus::NotPe;

    // "PE\0\0", the COFF header and the optional header's magic.
    const std::uint64_t peHeader = U32(dos + NewHeaderPointer);
    std::uint8_t nt[4 + CoffHeaderSize + 2];
    if (!file.Has(peHeader, sizeof nt))
        return PeStatus::NotPe;
    if (!source.Read(peHeader, nt, sizeof nt))
        return PeStatus::ReadError;
    if (std::memcmp(nt, "PE\0\0", 4) != 0)
        return PeStatus::NotPe;
    const std::uint8_t* coff = nt + 4;
    const std::uint32_t sectionCount = U16(coff + 2);
    const std::uint32_t optionalSize = U16(coff + 16);
    const std::uint16_t magic = U16(coff + CoffHeaderSize);
    if (magic != MagicPe32 && magic != MagicPe32Plus)
        return PeStatus::NotPe;
    image.pe32Plus = magic == MagicPe32Plus;
    const std::uint64_t optional = peHeader + 4 + CoffHeaderSize;

    // The optional header whole (at most 64 KiB, its size being a 16-bit field).
    const std::uint32_t directories = image.pe32Plus ? DirectoriesPe32Plus : DirectoriesPe32;
    if (optionalSize < directories || !file.Has(optional, optionalSize))
        return PeStatus::Malformed;
    std::vector<std::uint8_t> optionalHeader;
    if (!ReadPart(source, optional, optionalSize, optionalHeader))
        return PeStatus::ReadError;
    const std::uint8_t* header = optionalHeader.data();
    const std::uint64_t checksum = optional + ChecksumField;
    const std::uint32_t directoryCount = U32(header + directories - 4);
    const std::uint64_t headersEnd = U32(header + SizeOfHeadersField);
    const std::uint64_t sectionTable = optional + optionalSize;
    const std::uint64_t sectionTableSize = static_cast<std::uint64_t>(sectionCount) * SectionHeaderSize;
    // The section table must be part of the hashed headers: otherwise the choice of which
    // bytes count as sections would itself be unsigned.
    if (!file.Has(sectionTable, sectionTableSize) || headersEnd < sectionTable + sectionTableSize ||
        headersEnd > file.Size())
        return PeStatus::Malformed;

    const bool hasSecurityEntry = directoryCount > SecurityDirectory &&
                                  optionalSize >= directories + (SecurityDirectory + 1) * DirectoryEntrySize;
    const std::uint32_t securityField = directories + SecurityDirectory * DirectoryEntrySize;
    const std::uint64_t securityEntry = optional + securityField;

    Add(image.hashed, 0, checksum);
    if (hasSecurityEntry) {
        Add(image.hashed, checksum + 4, securityEntry);
        Add(image.hashed, securityEntry + DirectoryEntrySize, headersEnd);
    } else {
        Add(image.hashed, checksum + 4, headersEnd);
    }

    // The section table (at most 65535 entries of 40 bytes), then the sections in the
    // order of their file data, as the hash takes them.
    std::vector<std::uint8_t> sections;
    if (!ReadPart(source, sectionTable, static_cast<std::size_t>(sectionTableSize), sections))
        return PeStatus::ReadError;
    std::vector<ByteRange> sectionData;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* section = sections.data() + static_cast<std::size_t>(i) * SectionHeaderSize;
        const std::uint64_t rawSize = U32(section + 16);
        const std::uint64_t rawData = U32(section + 20);
        if (rawSize == 0)
            continue;
        if (!file.Has(rawData, rawSize))
            return PeStatus::Malformed;
        sectionData.push_back(ByteRange{rawData, rawSize});
    }
    std::sort(sectionData.begin(), sectionData.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    // Each byte is hashed once. Data that starts inside the headers (packed programs
    // declare headers running past their first section) is hashed from where the headers
    // end, as Windows' digest has it. Sections whose data overlap serve no program; they
    // only make a hash that reads the shared bytes once per section (65,535 sections over
    // one megabyte ask for 64 GiB), so such a file is malformed.
    std::uint64_t imageEnd = headersEnd;
    std::uint64_t sectionsEnd = 0;
    for (const ByteRange& data : sectionData) {
        if (data.offset < sectionsEnd)
            return PeStatus::Malformed;
        Add(image.hashed, std::max(data.offset, imageEnd), data.offset + data.size);
        imageEnd = std::max(imageEnd, data.offset + data.size);
        sectionsEnd = data.offset + data.size;
    }

    const std::uint64_t tableOffset = hasSecurityEntry ? U32(header + securityField) : 0;
    const std::uint64_t tableSize = hasSecurityEntry ? U32(header + securityField + 4) : 0;
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
    return FindSignedData(source, image);
}

} // namespace signature
