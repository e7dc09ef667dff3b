#!/usr/bin/env python3
"""Makes the PEM file of code-signing roots that a distributor builds into the Linux program
(cmake -DZYREL_CODE_SIGNING_ROOTS=<file>), from the root program list that Windows uses:

    scripts/make-code-signing-roots.py <authroot.stl> <roots> <output.pem>

<authroot.stl> is the certificate trust list as Windows Update publishes it: a PKCS#7
SignedData whose content (1.3.6.1.4.1.311.10.1) names each root by its thumbprint, with
properties. <roots> is where the distributor put the root certificates it names: a folder
of certificate files (DER or PEM, of any name: each is known by its own thumbprint), or
one file of concatenated PEM certificates. Neither comes with the project; both are
downloaded from Microsoft.

A root is kept when its properties enable it for code signing and it is not disabled for
it now, so that the Linux check trusts what Windows trusts for signed programs:
  - the enhanced key usage property (1.3.6.1.4.1.311.10.11.9) lists code signing; a root
    without the property is enabled for nothing we can name and is left out;
  - the disallowed-usage property (1.3.6.1.4.1.311.10.11.122), when it lists code
    signing, disables it for code signing from the disallowed date
    (1.3.6.1.4.1.311.10.11.104), or at once without a date; a disallowed date without that
    property disables the root for everything from the date (an empty date: always). A
    root disabled from a date
    that has passed is left out; one whose date is still to come is kept (the PEM file
    holds no dates: rebuild the file after the date to drop it).
The not-before date and usages (1.3.6.1.4.1.311.10.11.126 and .127), which limit only
signatures made after a date, are not weighed: such a root is kept.

The roots are written in the list's order, each after a comment with its thumbprint and
friendly name. What was kept and why the others were not goes to stderr. Exit status 0 on
success, 1 when the list cannot be read or no root was kept, 2 for wrong arguments.
"""
import base64
import datetime
import hashlib
import os
import re
import sys

CTL_CONTENT = "1.3.6.1.4.1.311.10.1"
SIGNED_DATA = "1.2.840.113549.1.7.2"
ENHKEY_USAGE = "1.3.6.1.4.1.311.10.11.9"
FRIENDLY_NAME = "1.3.6.1.4.1.311.10.11.11"
DISALLOWED_FILETIME = "1.3.6.1.4.1.311.10.11.104"
DISALLOWED_USAGE = "1.3.6.1.4.1.311.10.11.122"
CODE_SIGNING = "1.3.6.1.5.5.7.3.3"
THUMBPRINTS = {"1.3.14.3.2.26": hashlib.sha1, "2.16.840.1.101.3.4.2.1": hashlib.sha256}

SEQUENCE, SET, OCTET_STRING, OID, INTEGER = 0x30, 0x31, 0x04, 0x06, 0x02
UTC_TIME, GENERALIZED_TIME, CONTEXT_0 = 0x17, 0x18, 0xA0


class BadList(Exception):
    pass


def elements(data):
    """The (tag, content) pairs of DER elements that fill `data` exactly."""
    out, at = [], 0
    while at < len(data):
        if len(data) - at < 2:
            raise BadList("an element is cut short")
        tag, length, at = data[at], data[at + 1], at + 2
        if tag & 0x1F == 0x1F:
            raise BadList("a tag of more than one byte")
        if length & 0x80:
            count = length & 0x7F
            if count == 0 or count > 4 or len(data) - at < count:
                raise BadList("a length that DER does not allow")
            length = int.from_bytes(data[at:at + count], "big")
            at += count
        if length > len(data) - at:
            raise BadList("an element longer than what holds it")
        out.append((tag, data[at:at + length]))
        at += length
    return out


def expect(pairs, index, tag, what):
    if index >= len(pairs) or pairs[index][0] != tag:
        raise BadList(f"no {what} where it belongs")
    return pairs[index][1]


def oid_text(content):
    if not content:
        raise BadList("an empty object identifier")
    parts, value = [], 0
    for byte in content:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            parts.append(value)
            value = 0
    first = min(parts[0] // 40, 2)
    return ".".join(str(p) for p in [first, parts[0] - 40 * first] + parts[1:])


def usages(value):
    """The object identifiers of a DER SEQUENCE OF OBJECT IDENTIFIER."""
    outer = elements(value)
    if len(outer) != 1 or outer[0][0] != SEQUENCE:
        raise BadList("a usage property that is no list of usages")
    return {oid_text(content) for tag, content in elements(outer[0][1]) if tag == OID}


def ctl_subjects(stl):
    """The thumbprint algorithm and the (thumbprint, {property: value}) entries of the list."""
    outer = elements(stl)
    if len(outer) != 1 or outer[0][0] != SEQUENCE:
        raise BadList("not a DER ContentInfo")
    info = elements(outer[0][1])
    if oid_text(expect(info, 0, OID, "content type")) != SIGNED_DATA:
        raise BadList("not a SignedData")
    signed = elements(expect(elements(expect(info, 1, CONTEXT_0, "content")), 0, SEQUENCE, "SignedData"))
    content_info = elements(expect(signed, 2, SEQUENCE, "encapsulated content"))
    if oid_text(expect(content_info, 0, OID, "content type")) != CTL_CONTENT:
        raise BadList("the signed content is not a certificate trust list")
    # Windows Update's list holds the trust list itself, as PKCS#7 did; CMS signers (openssl
    # cms) wrap it in an OCTET STRING.
    content = elements(expect(content_info, 1, CONTEXT_0, "trust list"))
    if content and content[0][0] == OCTET_STRING:
        content = elements(content[0][1])
    ctl = elements(expect(content, 0, SEQUENCE, "trust list"))
    # version?, subjectUsage, listIdentifier?, sequenceNumber?, thisUpdate, nextUpdate?,
    # subjectAlgorithm, trustedSubjects?, extensions?
    at = 1 if ctl and ctl[0][0] == INTEGER else 0
    expect(ctl, at, SEQUENCE, "subject usage")
    at += 1
    while at < len(ctl) and ctl[at][0] in (OCTET_STRING, INTEGER):
        at += 1
    if at >= len(ctl) or ctl[at][0] not in (UTC_TIME, GENERALIZED_TIME):
        raise BadList("no update time where it belongs")
    at += 1
    if at < len(ctl) and ctl[at][0] in (UTC_TIME, GENERALIZED_TIME):
        at += 1
    algorithm = oid_text(expect(elements(expect(ctl, at, SEQUENCE, "subject algorithm")), 0, OID, "algorithm"))
    if algorithm not in THUMBPRINTS:
        raise BadList(f"thumbprints made with {algorithm}, which this script does not know")
    subjects = []
    if at + 1 < len(ctl) and ctl[at + 1][0] == SEQUENCE:
        for tag, entry in elements(ctl[at + 1][1]):
            fields = elements(entry) if tag == SEQUENCE else []
            thumbprint = expect(fields, 0, OCTET_STRING, "thumbprint")
            properties = {}
            if len(fields) > 1 and fields[1][0] == SET:
                for attribute_tag, attribute in elements(fields[1][1]):
                    parts = elements(attribute) if attribute_tag == SEQUENCE else []
                    name = oid_text(expect(parts, 0, OID, "property"))
                    values = elements(expect(parts, 1, SET, "property value"))
                    if values and values[0][0] == OCTET_STRING:
                        properties[name] = values[0][1]
            subjects.append((thumbprint.hex().upper(), properties))
    return THUMBPRINTS[algorithm], subjects


PEM_BLOCK = re.compile(rb"-----BEGIN CERTIFICATE-----(.+?)-----END CERTIFICATE-----", re.S)


def certificates(path):
    """The DER certificates of a folder of certificate files or of one PEM file."""
    files = [path]
    if os.path.isdir(path):
        files = sorted(os.path.join(path, name) for name in os.listdir(path))
        files = [name for name in files if os.path.isfile(name)]
    found = []
    for name in files:
        with open(name, "rb") as f:
            data = f.read()
        blocks = PEM_BLOCK.findall(data)
        if blocks:
            found.extend(base64.b64decode(b"".join(block.split())) for block in blocks)
        elif data[:1] == b"\x30":
            found.append(data)
    return found


def filetime(value):
    """A FILETIME property (little-endian 100 ns since 1601) as a UTC date; an empty one, as
    the list has for roots disabled outright, is the beginning of time."""
    if not value:
        return datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
    if len(value) != 8:
        raise BadList("a date property that is no FILETIME")
    ticks = int.from_bytes(value, "little")
    return datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(microseconds=ticks // 10)


def friendly_name(properties):
    name = properties.get(FRIENDLY_NAME, b"")
    return name.decode("utf-16-le", "replace").rstrip("\0")


def verdict(properties, now):
    """Why a root is left out (None to keep it), and whether it is disabled on a later date."""
    if ENHKEY_USAGE not in properties or CODE_SIGNING not in usages(properties[ENHKEY_USAGE]):
        return "not enabled for code signing", False
    disallowed = filetime(properties[DISALLOWED_FILETIME]) if DISALLOWED_FILETIME in properties else None
    if DISALLOWED_USAGE in properties and CODE_SIGNING not in usages(properties[DISALLOWED_USAGE]):
        return None, False  # disabled for other usages only
    if DISALLOWED_USAGE in properties and disallowed is None:
        return "disabled for code signing", False
    if disallowed is not None and disallowed <= now:
        return "disabled", False
    return None, disallowed is not None


def main(argv):
    if len(argv) != 4:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    stl_path, roots_path, output = argv[1:]
    now = datetime.datetime.now(datetime.timezone.utc)
    try:
        with open(stl_path, "rb") as f:
            thumbprint_of, subjects = ctl_subjects(f.read())
    except (OSError, BadList) as error:
        print(f"{stl_path}: cannot read the trust list: {error}", file=sys.stderr)
        return 1
    try:
        by_thumbprint = {thumbprint_of(der).hexdigest().upper(): der for der in certificates(roots_path)}
    except (OSError, ValueError) as error:
        print(f"{roots_path}: cannot read the certificates: {error}", file=sys.stderr)
        return 1

    kept, left_out, missing, later = [], {}, [], 0
    for thumbprint, properties in subjects:
        try:
            reason, disabled_later = verdict(properties, now)
        except BadList as error:
            reason, disabled_later = f"unreadable properties ({error})", False
        if reason is not None:
            left_out[reason] = left_out.get(reason, 0) + 1
            continue
        if thumbprint not in by_thumbprint:
            missing.append(thumbprint)
            continue
        later += disabled_later
        kept.append((thumbprint, friendly_name(properties), by_thumbprint[thumbprint]))
    for thumbprint in missing:
        print(f"warning: root {thumbprint} is enabled for code signing but not among {roots_path}", file=sys.stderr)
    if not kept:
        print("no root was kept: the output is not written", file=sys.stderr)
        return 1

    with open(output + ".part", "w", encoding="utf-8") as f:
        for thumbprint, name, der in kept:
            body = base64.b64encode(der).decode("ascii")
            f.write(f"# {thumbprint} {name}".rstrip() + "\n-----BEGIN CERTIFICATE-----\n")
            f.write("".join(body[i:i + 64] + "\n" for i in range(0, len(body), 64)))
            f.write("-----END CERTIFICATE-----\n")
    os.replace(output + ".part", output)
    reasons = "".join(f", {count} {reason}" for reason, count in sorted(left_out.items()))
    print(f"{output}: kept {len(kept)} of the {len(subjects)} roots of the list{reasons}, "
          f"{len(missing)} without a certificate; {later} of those kept are to be disabled on a later date",
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
