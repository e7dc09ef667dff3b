// Whole signed PE files against the whole check (PE reader, image hash, PKCS#7, time stamp,
// chain), with mutations that keep the file's structure: header fields set to the values
// that break readers (the section count, sizes and offsets, the certificate table's entry),
// and the signature's DER elements copied many times over, dropped, cut or changed, with
// every enclosing length and the certificate table made to fit again. Seeds: the signed
// fixtures (scripts/lib/make-signature-fixtures.sh); SIGNATURE_FUZZ_ROOT names their root.
//
// Besides no crash and no read outside the input: no file may cost the check more than
// its bound, 1.5 times what SHA-256 over the same bytes costs, plus a fixed allowance for
// the chain and the signatures (measured as this thread's CPU time, so that a busy machine
// does not count).
#include "signature/PeImage.h"
#include "signature/posix/Authenticode.h"

#include "FuzzTrust.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// What the chain, the signatures and the instrumentation (sanitizers, the decoder's
// allocations through them) may cost whatever the file.
constexpr double FixedAllowanceSeconds = 0.1;

double ThreadSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return at + 4 <= bytes.size() ? static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                                               static_cast<std::uint32_t>(bytes[at + 3]) << 24)
                                  : 0;
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int width)
{
    for (int i = 0; i < width && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One DER element: where it starts, its header's and its content's length.
struct Element {
    std::size_t at, header, length;
    bool constructed;
};

bool ReadElement(const std::vector<std::uint8_t>& der, std::size_t at, std::size_t end, Element& out)
{
    if (end - at < 2)
        return false;
    std::size_t length = der[at + 1], header = 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > 4 || end - at - 2 < count)
            return false;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = length << 8 | der[at + 2 + i];
        header += count;
    }
    if (length > end - at - header)
        return false;
    out = {at, header, length, (der[at] & 0x20) != 0};
    return true;
}

// Every element of the tree, parents before children, with each one's parent index.
void Walk(const std::vector<std::uint8_t>& der, std::size_t at, std::size_t end, long parent,
          std::vector<Element>& all, std::vector<long>& parents)
{
    Element element {};
    while (at < end && all.size() < 4096 && ReadElement(der, at, end, element)) {
        all.push_back(element);
        parents.push_back(parent);
        const long self = static_cast<long>(all.size()) - 1;
        if (element.constructed)
            Walk(der, at + element.header, at + element.header + element.length, self, all, parents);
        at += element.header + element.length;
    }
}

std::vector<std::uint8_t> EncodeLength(std::size_t length)
{
    if (length < 0x80)
        return {static_cast<std::uint8_t>(length)};
    std::vector<std::uint8_t> out;
    for (std::size_t rest = length; rest != 0; rest >>= 8)
        out.insert(out.begin(), static_cast<std::uint8_t>(rest));
    out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | out.size()));
    return out;
}

// The blob with element `index`'s whole bytes replaced by `replacement`, and the lengths of
// its ancestors grown or shrunk to match.
std::vector<std::uint8_t> Replace(const std::vector<std::uint8_t>& der, const std::vector<Element>& all,
                                  const std::vector<long>& parents, std::size_t index,
                                  const std::vector<std::uint8_t>& replacement)
{
    const Element& target = all[index];
    std::vector<std::uint8_t> out(der.begin(), der.begin() + static_cast<long>(target.at));
    out.insert(out.end(), replacement.begin(), replacement.end());
    out.insert(out.end(), der.begin() + static_cast<long>(target.at + target.header + target.length), der.end());
    const long change = static_cast<long>(replacement.size()) - static_cast<long>(target.header + target.length);
    // Innermost ancestor first: each header's own growth moves the ones around it.
    long total = change;
    for (long up = parents[index]; up >= 0; up = parents[static_cast<std::size_t>(up)]) {
        const Element& parent = all[static_cast<std::size_t>(up)];
        const std::vector<std::uint8_t> length = EncodeLength(static_cast<std::size_t>(static_cast<long>(parent.length) + total));
        const long headerChange = static_cast<long>(1 + length.size()) - static_cast<long>(parent.header);
        out.erase(out.begin() + static_cast<long>(parent.at + 1), out.begin() + static_cast<long>(parent.at + parent.header));
        out.insert(out.begin() + static_cast<long>(parent.at + 1), length.begin(), length.end());
        total += headerChange;
    }
    return out;
}

std::vector<std::uint8_t> MutateBlob(std::vector<std::uint8_t> der, unsigned& random, std::size_t room)
{
    std::vector<Element> all;
    std::vector<long> parents;
    Walk(der, 0, der.size(), -1, all, parents);
    if (all.empty())
        return der;
    const std::size_t index = (random = random * 1103515245u + 12345u) % all.size();
    const Element& target = all[index];
    const std::vector<std::uint8_t> whole(der.begin() + static_cast<long>(target.at),
                                          der.begin() + static_cast<long>(target.at + target.header + target.length));
    std::vector<std::uint8_t> replacement;
    switch ((random = random * 1103515245u + 12345u) >> 16 & 3) {
    case 0: { // copies: a lengthened list or set
        const std::size_t copies = 1 + ((random >> 4) % (room / (whole.size() + 1) + 1)) % 20000;
        for (std::size_t i = 0; i <= copies; ++i)
            replacement.insert(replacement.end(), whole.begin(), whole.end());
        break;
    }
    case 1: // dropped
        break;
    case 2: { // its content cut short
        const std::vector<std::uint8_t> length = EncodeLength(target.length / 2);
        replacement.push_back(whole[0]);
        replacement.insert(replacement.end(), length.begin(), length.end());
        replacement.insert(replacement.end(), whole.begin() + static_cast<long>(target.header),
                           whole.begin() + static_cast<long>(target.header + target.length / 2));
        break;
    }
    default: // its content's bytes changed in place
        replacement = whole;
        if (target.length > 0)
            replacement[target.header + (random >> 8) % target.length] ^= static_cast<std::uint8_t>(1 + (random >> 3) % 255);
        break;
    }
    return Replace(der, all, parents, index, replacement);
}

// The file with its first signature entry's bytes replaced by `blob`.
std::vector<std::uint8_t> WithBlob(const std::vector<std::uint8_t>& file, const signature::PeImage& image,
                                   const std::vector<std::uint8_t>& blob, std::size_t securityEntry)
{
    std::vector<std::uint8_t> out(file.begin(), file.begin() + static_cast<long>(image.certificateTable.offset));
    const std::size_t padded = (blob.size() + 7) & ~std::size_t{7};
    const std::uint32_t length = static_cast<std::uint32_t>(8 + padded);
    const std::uint8_t header[8] = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24),
                                    0x00, 0x02, 0x02, 0x00};
    out.insert(out.end(), header, header + 8);
    out.insert(out.end(), blob.begin(), blob.end());
    out.resize(out.size() + (padded - blob.size()), 0);
    Put(out, securityEntry, static_cast<std::uint32_t>(image.certificateTable.offset), 4);
    Put(out, securityEntry + 4, length, 4);
    return out;
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    std::vector<std::uint8_t> file(data, data + size);
    signature::PeImage image;
    const bool signedFile = signature::ReadPeImage(file.data(), file.size(), image) == signature::PeStatus::Ok;
    const std::size_t pe = U32(file, 0x3C);
    const std::size_t optional = pe + 24;
    const bool pe32Plus = file.size() > optional + 2 && file[optional] == 0x0B && file[optional + 1] == 0x02;
    const std::size_t securityEntry = optional + (pe32Plus ? 144 : 128);
    unsigned random = seed;
    switch (seed % 5) {
    case 0:
    case 1:
        if (signedFile && file.size() < maxSize) {
            std::vector<std::uint8_t> blob(file.begin() + static_cast<long>(image.signedData.offset),
                                           file.begin() + static_cast<long>(image.signedData.offset + image.signedData.size));
            blob = MutateBlob(blob, random, maxSize - file.size());
            std::vector<std::uint8_t> out = WithBlob(file, image, blob, securityEntry);
            if (out.size() <= maxSize) {
                std::memcpy(data, out.data(), out.size());
                return out.size();
            }
        }
        break;
    case 2:
    case 3: {
        // A header field set to a value that breaks readers.
        if (file.size() < optional + 64)
            break;
        const std::size_t sectionCount = file[pe + 6] | file[pe + 7] << 8;
        const std::size_t sections = optional + (file[pe + 20] | file[pe + 21] << 8);
        std::vector<std::pair<std::size_t, int>> fields = {
            {0x3C, 4}, {pe + 6, 2}, {pe + 20, 2}, {optional + 60, 4}, {optional + 64, 4},
            {securityEntry, 4}, {securityEntry + 4, 4}};
        for (std::size_t i = 0; i < sectionCount && i < 16; ++i) {
            fields.push_back({sections + 40 * i + 16, 4}); // SizeOfRawData
            fields.push_back({sections + 40 * i + 20, 4}); // PointerToRawData
        }
        const auto& [at, width] = fields[(random >> 3) % fields.size()];
        const std::uint32_t values[] = {0,
                                        1,
                                        0xFFFF,
                                        0xFFFFFFFFu,
                                        static_cast<std::uint32_t>(file.size()),
                                        static_cast<std::uint32_t>(file.size() - 1),
                                        U32(file, sections + 20), // the first section's data
                                        U32(file, at) + 8,
                                        U32(file, at) - 8,
                                        static_cast<std::uint32_t>(random)};
        Put(file, at, values[(random >> 11) % (sizeof values / sizeof values[0])], width);
        std::memcpy(data, file.data(), file.size());
        return file.size();
    }
    default:
        break;
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::time_t checkTime = 1765000000; // December 2025: the fixtures' certificates are valid
    const auto check = [&] {
        const double started = ThreadSeconds();
        const SignatureVerdict verdict = signature::platform::VerifyAuthenticode(data, size, FuzzTrustStore(), checkTime);
        if (verdict.code != 0 && !verdict.signer.empty()) {
            std::fprintf(stderr, "SignedPeFuzz: a failed verdict names a signer\n");
            std::abort();
        }
        return ThreadSeconds() - started;
    };
    double checked = check();
    // A cost that the file causes comes back on every run; a pause of the allocator or of a
    // shared machine (returning memory, a neighbour on the same core) does not.
    for (int again = 0; again < 2 && checked > FixedAllowanceSeconds; ++again)
        checked = std::min(checked, check());
    if (checked > FixedAllowanceSeconds) {
        // Only then is the digest's own cost worth measuring.
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int digestSize = 0;
        const double hashing = ThreadSeconds();
        EVP_Digest(data, size, digest, &digestSize, EVP_sha256(), nullptr);
        const double hashed = ThreadSeconds() - hashing;
        if (checked > 1.5 * hashed + FixedAllowanceSeconds) {
            std::fprintf(stderr, "SignedPeFuzz: the check took %.3f s of CPU, SHA-256 over the same %zu bytes %.3f s\n",
                         checked, size, hashed);
            std::abort();
        }
    }
    return 0;
}
