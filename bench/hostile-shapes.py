#!/usr/bin/env python3
"""Signed installers reshaped the way a hostile server could reshape them, for the
signature bench: the parts changed lie outside what the signature covers, so each file
still carries the publisher's genuine signature over its image.

  hostile-shapes.py digest-list SIGNED OUT COPIES   the signature's digest-algorithm list
                                                     holds COPIES copies of its one entry
  hostile-shapes.py sections SIGNED OUT COUNT MIB   COUNT section headers that all name the
                                                     same MIB MiB of data
  hostile-shapes.py certificates SIGNED OUT MIB     the signature's certificate set padded
                                                     with copies of its first certificate to
                                                     about MIB MiB
  hostile-shapes.py largest SIGNED OUT MIB          the largest signature still accepted: 32
                                                     certificates, and an unsigned attribute
                                                     that fills the blob to about MIB MiB
"""
import struct
import sys


def element(data, at):
    """(tag, header length, content length) of the DER element at `at`."""
    tag, length = data[at], data[at + 1]
    header = 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at + 2:at + 2 + count], "big")
        header += count
    return tag, header, length


def children(content):
    out, at = [], 0
    while at < len(content):
        tag, header, length = element(content, at)
        out.append((tag, content[at:at + header + length], content[at + header:at + header + length]))
        at += header + length
    return out


def encode(tag, content):
    n = len(content)
    if n < 0x80:
        return bytes([tag, n]) + content
    size = (n.bit_length() + 7) // 8
    return bytes([tag, 0x80 | size]) + n.to_bytes(size, "big") + content


def certificate_table(image):
    """Offsets of the security directory entry and the table it names."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    entry = optional + (128 if magic == 0x10B else 144)
    offset, size = struct.unpack_from("<II", image, entry)
    return pe, optional, entry, offset, size


def with_signed_data(image, message):
    """The image with its certificate table replaced by one holding `message`."""
    _, _, entry, offset, _ = certificate_table(image)
    padded = message + b"\0" * (-len(message) % 8)
    table = struct.pack("<IHH", 8 + len(padded), 0x0200, 0x0002) + padded
    out = bytearray(image[:offset]) + table
    struct.pack_into("<II", out, entry, offset, len(table))
    return bytes(out)


def signed_data(image):
    _, _, _, offset, size = certificate_table(image)
    blob = image[offset + 8:offset + size]
    _, header, length = element(blob, 0)
    return blob[:header + length]


def reshape_signed_data(image, change):
    info = children(element_content(signed_data(image)))
    oid, wrapped = info[0][1], info[1][2]
    inner = children(wrapped)[0][2]
    parts = [list(p) for p in children(inner)]
    change(parts)
    message = encode(0x30, oid + encode(0xA0, encode(0x30, b"".join(p[1] for p in parts))))
    return with_signed_data(image, message)


def element_content(data):
    _, header, length = element(data, 0)
    return data[header:header + length]


def digest_list(image, copies):
    def change(parts):
        entry = children(parts[1][2])[0][1]
        parts[1][1] = encode(0x31, entry * copies)
    return reshape_signed_data(image, change)


def certificates(image, mib):
    def change(parts):
        for part in parts:
            if part[0] == 0xA0:
                first = children(part[2])[0][1]
                copies = max(0, (mib << 20) // len(first) - len(children(part[2])))
                part[1] = encode(0xA0, part[2] + first * copies)
    return reshape_signed_data(image, change)


def largest(image, mib):
    # An attribute type of no meaning to any verifier (a private arc), holding zeros.
    oid = encode(0x06, bytes([0x2B, 0x06, 0x01, 0x04, 0x01, 0x83, 0xB2, 0x03, 0x01]))

    def change(parts):
        for part in parts:
            if part[0] == 0xA0:
                present = children(part[2])
                part[1] = encode(0xA0, part[2] + present[0][1] * (32 - len(present)))
        used = sum(len(p[1]) for p in parts)
        filler = encode(0x30, oid + encode(0x31, encode(0x04, bytes(max(0, (mib << 20) - used - 64)))))
        signers = children(parts[-1][2])
        signer = [list(p) for p in children(signers[0][2])]
        if signer[-1][0] == 0xA1:
            signer[-1][1] = encode(0xA1, signer[-1][2] + filler)
        else:
            signer.append([0xA1, encode(0xA1, filler), filler])
        first = encode(0x30, b"".join(p[1] for p in signer))
        parts[-1][1] = encode(0x31, first + b"".join(p[1] for p in signers[1:]))
    return reshape_signed_data(image, change)


def sections(image, count, mib):
    pe, optional, _, offset, size = certificate_table(image)
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    table = optional + optional_size
    headers_end = (table + count * 40 + 0xFFF) & ~0xFFF
    out = bytearray(image[:table]) + bytearray(headers_end - table)
    struct.pack_into("<H", out, pe + 6, count)
    struct.pack_into("<I", out, optional + 60, headers_end)
    for i in range(count):
        struct.pack_into("<8sIIII", out, table + 40 * i, b".data", mib << 20, 0x1000, mib << 20, headers_end)
    out += bytes(mib << 20)
    signature = image[offset:offset + size]
    _, _, entry, _, _ = certificate_table(bytes(out))
    struct.pack_into("<II", out, entry, len(out), len(signature))
    return bytes(out + signature)


def main():
    kind, source, target = sys.argv[1:4]
    image = open(source, "rb").read()
    if kind == "digest-list":
        out = digest_list(image, int(sys.argv[4]))
    elif kind == "sections":
        out = sections(image, int(sys.argv[4]), int(sys.argv[5]))
    elif kind == "certificates":
        out = certificates(image, int(sys.argv[4]))
    elif kind == "largest":
        out = largest(image, int(sys.argv[4]))
    else:
        sys.exit(__doc__)
    open(target, "wb").write(out)


if __name__ == "__main__":
    main()
