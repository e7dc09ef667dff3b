// Data resources on Linux: named sections of the program's ELF file, found through the
// section header table. The sections are not loaded into memory (no SHF_ALLOC), so they are
// read from the file, /proc/self/exe for the running program.
#include "ProgramResource.h"

#include "Format.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// Resources are small texts; anything larger is not one of ours.
constexpr std::uint64_t MaxResourceBytes = 16u * 1024u * 1024u;
constexpr std::uint64_t MaxSectionHeaders = 65536;

class FileReader {
public:
    explicit FileReader(const char* path) : m_fd(::open(path, O_RDONLY | O_CLOEXEC))
    {
        struct stat status;
        if (m_fd >= 0 && ::fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode))
            m_size = static_cast<std::uint64_t>(status.st_size);
    }
    ~FileReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Reads exactly `count` bytes at `offset`, all inside the file.
    bool Read(std::uint64_t offset, void* out, std::uint64_t count) const
    {
        if (m_fd < 0 || offset > m_size || count > m_size - offset)
            return false;
        auto* cursor = static_cast<unsigned char*>(out);
        while (count > 0) {
            const ssize_t got = ::pread(m_fd, cursor, static_cast<std::size_t>(count), static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            cursor += got;
            offset += static_cast<std::uint64_t>(got);
            count -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

    std::uint64_t Size() const { return m_size; }

private:
    int m_fd;
    std::uint64_t m_size = 0;
};

// The few fields of a section header that the lookup needs, from either ELF class.
struct Section {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

template <class Ehdr, class Shdr>
bool FindSection(const FileReader& file, const char* wanted, std::uint64_t& offset, std::uint64_t& size)
{
    Ehdr header;
    if (!file.Read(0, &header, sizeof(header)))
        return false;
    if (header.e_shoff == 0 || header.e_shoff > file.Size() || header.e_shentsize < sizeof(Shdr))
        return false;

    const auto read_section = [&](std::uint64_t index, Section& out) {
        Shdr raw;
        if (!file.Read(header.e_shoff + index * header.e_shentsize, &raw, sizeof(raw)))
            return false;
        out = {raw.sh_name, raw.sh_type, raw.sh_offset, raw.sh_size, raw.sh_link};
        return true;
    };

    // Files with very many sections keep the true count and string-table index in the
    // first section header.
    std::uint64_t count = header.e_shnum;
    std::uint64_t names_index = header.e_shstrndx;
    if (count == 0 || names_index == SHN_XINDEX) {
        Section first;
        if (!read_section(0, first))
            return false;
        if (count == 0)
            count = first.size;
        if (names_index == SHN_XINDEX)
            names_index = first.link;
    }
    if (count > MaxSectionHeaders || names_index >= count)
        return false;

    Section names;
    if (!read_section(names_index, names) || names.type == SHT_NOBITS || names.offset > file.Size() ||
        names.size > file.Size() - names.offset)
        return false;

    const std::uint64_t wanted_length = std::strlen(wanted);
    char candidate[64];
    if (wanted_length + 1 > sizeof(candidate))
        return false;
    for (std::uint64_t index = 1; index < count; ++index) {
        Section section;
        if (!read_section(index, section))
            return false;
        if (section.name >= names.size || names.size - section.name < wanted_length + 1)
            continue;
        if (!file.Read(names.offset + section.name, candidate, wanted_length + 1))
            continue;
        if (std::memcmp(candidate, wanted, wanted_length + 1) != 0)
            continue;
        if (section.type == SHT_NOBITS)
            return false;
        offset = section.offset;
        size = section.size;
        return true;
    }
    return false;
}

bool ReadSection(const char* program, vxn::u32 id, vxn::string& bytes)
{
    bytes.clear();
    FileReader file(program);
    unsigned char ident[EI_NIDENT];
    if (!file.Read(0, ident, sizeof(ident)) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return false;
    const unsigned char native_data = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != native_data)
        return false;

    const vxn::string name = VXN::format(ZYREL_RESOURCE_SECTION_PREFIX "{0}", id);
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool found = false;
    if (ident[EI_CLASS] == ELFCLASS64)
        found = FindSection<Elf64_Ehdr, Elf64_Shdr>(file, name.c_str(), offset, size);
    else if (ident[EI_CLASS] == ELFCLASS32)
        found = FindSection<Elf32_Ehdr, Elf32_Shdr>(file, name.c_str(), offset, size);
    if (!found || size == 0 || size > MaxResourceBytes)
        return false;

    bytes.resize(static_cast<vxn::u32>(size), 0);
    if (bytes.size() != size || !file.Read(offset, bytes.data(), size)) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace

bool ReadProgramResource(vxn::u32 id, vxn::string& bytes)
{
    return ReadSection("/proc/self/exe", id, bytes);
}

bool ReadProgramResourceFrom(const vxn::wstring& program, vxn::u32 id, vxn::string& bytes)
{
    vxn::string path;
    path.assign_utf16(program.data(), program.size());
    if (path.empty()) {
        bytes.clear();
        return false;
    }
    return ReadSection(path.c_str(), id, bytes);
}
