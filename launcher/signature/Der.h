// A bounded walk over DER, enough for the few fixed structures of Authenticode that the
// system libraries do not decode (SpcIndirectDataContent, TSTInfo). No cryptography.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace signature {

// One element at a time, each with a definite length that must fit inside what is left.
class Der {
public:
    Der() = default;
    Der(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    // Takes the next element if it has `tag`; its content goes to `content`.
    bool Take(std::uint8_t tag, Der& content)
    {
        Der element;
        return Take(tag, content, element);
    }

    // The same, with the whole element (its tag and length too) in `element`.
    bool Take(std::uint8_t tag, Der& content, Der& element)
    {
        if (m_size < 2 || m_data[0] != tag)
            return false;
        std::size_t length = m_data[1];
        std::size_t header = 2;
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4 || m_size - 2 < count)
                return false; // indefinite lengths are BER, not DER
            length = 0;
            for (std::size_t i = 0; i < count; ++i)
                length = length << 8 | m_data[2 + i];
            header += count;
        }
        if (length > m_size - header)
            return false;
        content = Der(m_data + header, length);
        element = Der(m_data, header + length);
        m_data += header + length;
        m_size -= header + length;
        return true;
    }

    bool Is(const std::uint8_t* bytes, std::size_t size) const
    {
        return m_size == size && std::memcmp(m_data, bytes, size) == 0;
    }
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

// The object identifier (its content bytes) of the one digest algorithm that the
// SignedData in a ContentInfo lists; false when it lists none or more than one, or the
// structure is not a SignedData. The list is not covered by any signature, so anyone on
// the way can lengthen it, and a verifier that prepares a digest for every entry (as
// OpenSSL's does) spends quadratic time on a long one before it fails or crashes: a
// signature with exactly one signer needs exactly one.
inline bool SoleDigestAlgorithm(const std::uint8_t* contentInfo, std::size_t size, Der& algorithm)
{
    Der outer(contentInfo, size), info, type, wrapped, signedData, version, algorithms, first;
    if (!outer.Take(0x30, info) || !info.Take(0x06, type) || !info.Take(0xA0, wrapped) ||
        !wrapped.Take(0x30, signedData) || !signedData.Take(0x02, version) || !signedData.Take(0x31, algorithms) ||
        !algorithms.Take(0x30, first) || algorithms.Size() != 0)
        return false;
    return first.Take(0x06, algorithm);
}

// A SignedData whose parts no signature covers (the digest-algorithm list, the
// certificate and revocation-list sets) can be lengthened by anyone on the way, and the
// decoders spend time on every entry: OpenSSL prepares a digest per listed algorithm
// (quadratic, then a crash), and decodes each certificate's key at a quarter of a
// millisecond, a hundred times what the image hash spends on as many bytes. A signature
// with one signer needs one algorithm, its signer's, and a handful of certificates.
inline constexpr std::size_t MaxSetEntries = 32;
// The same holds for the elements themselves: a name can be lengthened to thousands of
// attributes, each decoded, sorted and encoded again. A real signature, time stamp and
// nested signatures included, has some hundreds of elements, nested some twenty deep.
inline constexpr std::size_t MaxElements = 8192;
inline constexpr std::size_t MaxDepth = 48;

enum class SignedDataFault { None, Signature, TimeStamp };

namespace detail {

// How many elements the content holds, counted up to `limit` + 1.
inline std::size_t CountUpTo(Der content, std::size_t limit)
{
    std::size_t count = 0;
    Der element, whole;
    while (count <= limit && content.Size() > 0 && content.Take(content.Data()[0], element, whole))
        ++count;
    return count;
}

// Whether the SignedData in a ContentInfo is one its decoder may be given: false when its
// lists are lengthened as above. A structure this walk cannot read at all passes, for the
// decoder to refuse with its own code. `unsignedAttributes` gets the first signer's.
inline bool SignedDataFitsItsSigner(const std::uint8_t* contentInfo, std::size_t size, Der& unsignedAttributes)
{
    unsignedAttributes = Der();
    Der outer(contentInfo, size), info, part, wrapped, signedData, algorithms, listed, signers, signer, algorithm,
        signerDigest;
    if (!outer.Take(0x30, info) || !info.Take(0x06, part) || !info.Take(0xA0, wrapped) ||
        !wrapped.Take(0x30, signedData) || !signedData.Take(0x02, part) || !signedData.Take(0x31, algorithms))
        return true;
    Der first, entries = algorithms;
    if (!entries.Take(0x30, first) || entries.Size() != 0 || !first.Take(0x06, listed))
        return false;
    if (!signedData.Take(0x30, part))
        return true;
    if (signedData.Take(0xA0, part) && detail::CountUpTo(part, MaxSetEntries) > MaxSetEntries)
        return false; // certificates
    if (signedData.Take(0xA1, part) && detail::CountUpTo(part, MaxSetEntries) > MaxSetEntries)
        return false; // revocation lists
    if (!signedData.Take(0x31, signers) || !signers.Take(0x30, signer) || !signer.Take(0x02, part) ||
        !(signer.Take(0x30, part) || signer.Take(0x80, part)) || !signer.Take(0x30, algorithm) ||
        !algorithm.Take(0x06, signerDigest))
        return true;
    if (!listed.Is(signerDigest.Data(), signerDigest.Size()))
        return false;
    signer.Take(0xA0, part); // signed attributes
    if (signer.Take(0x30, part) && signer.Take(0x04, part))
        signer.Take(0xA1, unsignedAttributes);
    return true;
}

// Counts the elements of `content`, those inside constructed ones too, into `count`; false
// once more than MaxElements are counted or they nest deeper than MaxDepth. What cannot be
// read is left for the decoder to refuse.
inline bool ElementsWithinBudget(Der content, std::size_t depth, std::size_t& count)
{
    if (depth > MaxDepth)
        return false;
    Der element, whole;
    while (content.Size() > 0) {
        const std::uint8_t tag = content.Data()[0];
        if (!content.Take(tag, element, whole))
            return true;
        if (++count > MaxElements)
            return false;
        if ((tag & 0x20) != 0 && !ElementsWithinBudget(element, depth + 1, count))
            return false;
    }
    return true;
}

} // namespace detail

// Which SignedData is lengthened as above: the signature's, or a time stamp token's (an
// RFC 3161 token among the signer's unsigned attributes). Read on the DER before any
// library is asked to decode or verify either.
inline SignedDataFault FindSignedDataFault(const std::uint8_t* contentInfo, std::size_t size)
{
    // 1.3.6.1.4.1.311.3.3.1, the attribute that holds an RFC 3161 time stamp token.
    static const std::uint8_t tokenAttribute[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x03, 0x03, 0x01};
    Der attributes;
    std::size_t elements = 0;
    if (!detail::ElementsWithinBudget(Der(contentInfo, size), 0, elements) ||
        !detail::SignedDataFitsItsSigner(contentInfo, size, attributes))
        return SignedDataFault::Signature;
    Der attribute;
    while (attributes.Take(0x30, attribute)) {
        Der type, values, value, token, unused;
        if (!attribute.Take(0x06, type) || !attribute.Take(0x31, values))
            break;
        if (!type.Is(tokenAttribute, sizeof tokenAttribute))
            continue;
        while (values.Take(0x30, value, token)) {
            if (!detail::SignedDataFitsItsSigner(token.Data(), token.Size(), unused))
                return SignedDataFault::TimeStamp;
        }
    }
    return SignedDataFault::None;
}

// The digests an image hash or a time stamp's imprint may name, by the content bytes of
// their object identifiers. MD5 is not among them: current Windows refuses it.
enum class DigestKind { Unknown, Sha1, Sha256, Sha384, Sha512 };

inline DigestKind DigestOf(const Der& oid)
{
    static const std::uint8_t sha1[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
    static const std::uint8_t sha2[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02};
    if (oid.Is(sha1, sizeof sha1))
        return DigestKind::Sha1;
    if (oid.Size() != sizeof sha2 + 1 || std::memcmp(oid.Data(), sha2, sizeof sha2) != 0)
        return DigestKind::Unknown;
    switch (oid.Data()[sizeof sha2]) {
    case 1:
        return DigestKind::Sha256;
    case 2:
        return DigestKind::Sha384;
    case 3:
        return DigestKind::Sha512;
    default:
        return DigestKind::Unknown;
    }
}

} // namespace signature
