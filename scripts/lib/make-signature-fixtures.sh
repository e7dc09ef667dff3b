#!/usr/bin/env bash
# Makes the signed and broken installers that the signature tests check, into a folder:
#
#   scripts/lib/make-signature-fixtures.sh <folder>
#
# Nothing of it is committed: keys, certificates and programs are made afresh (openssl,
# osslsigncode). The folder afterwards holds
#   certs/root.pem             the test root (the tests trust it, nothing else does)
#   certs/old-root.pem         a second test root, without basic constraints
#   certs/trusted.pem          both roots
#   certs/*.pem, *.key         intermediate, leaves, the time-stamping authority
#   *.exe and friends          the files to check (listed at the end of this script)
#   ctl/                       a root program list and its roots (for the roots script)
#   ready                      written last: a folder without it is incomplete
# Every run makes everything afresh (what an earlier run made is removed first).
set -euo pipefail

out=${1:?usage: make-signature-fixtures.sh <folder>}
mkdir -p "$out"
cd "$out"
rm -rf ready certs ca ctl ./*.exe
mkdir certs

# ---- a minimal PE program ------------------------------------------------------------
# A 32-bit console program of two sections that returns 42: headers, .text, .data, each
# 512 bytes. Written here byte by byte, so the fixtures need no cross compiler.
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)); }
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
zeros() { head -c "$1" /dev/zero; }
emit() { printf '%b' "$1"; }
# `length` bytes of a file from `offset` (dd, not tail | head: head's early exit would
# break tail's pipe, which pipefail counts as a failure).
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=65536 status=none; }

write_pe() { # file, [SizeOfHeaders: 0x200, where .text begins]
    {
        # DOS header: "MZ", e_lfanew = 0x40.
        emit "MZ"; zeros 58; emit "$(le32 0x40)"
        # PE signature and COFF header: i386, 2 sections, optional header 0xE0 bytes,
        # executable 32-bit image.
        emit "PE\\x00\\x00"
        emit "$(le16 0x14c)$(le16 2)$(le32 0x5f5e1000)$(le32 0)$(le32 0)$(le16 0xe0)$(le16 0x0102)"
        # Optional header (PE32).
        emit "$(le16 0x10b)\\x0e\\x00"                       # magic, linker version
        emit "$(le32 0x200)$(le32 0x200)$(le32 0)"           # code, initialised, uninitialised sizes
        emit "$(le32 0x1000)$(le32 0x1000)$(le32 0x2000)"    # entry, base of code, base of data
        emit "$(le32 0x400000)$(le32 0x1000)$(le32 0x200)"   # image base, section and file alignment
        emit "$(le16 6)$(le16 0)$(le16 0)$(le16 0)$(le16 6)$(le16 0)$(le32 0)" # versions, Win32VersionValue
        emit "$(le32 0x3000)$(le32 "${2:-0x200}")$(le32 0)"  # image size, header size, checksum
        emit "$(le16 3)$(le16 0x8140)"                       # console subsystem, NX + dynamic base + TS aware
        emit "$(le32 0x100000)$(le32 0x1000)$(le32 0x100000)$(le32 0x1000)" # stack and heap
        emit "$(le32 0)$(le32 16)"                           # loader flags, 16 data directories
        zeros 128
        # Section table.
        emit ".text\\x00\\x00\\x00$(le32 0x10)$(le32 0x1000)$(le32 0x200)$(le32 0x200)$(le32 0)$(le32 0)$(le16 0)$(le16 0)$(le32 0x60000020)"
        emit ".data\\x00\\x00\\x00$(le32 0x10)$(le32 0x2000)$(le32 0x200)$(le32 0x400)$(le32 0)$(le32 0)$(le16 0)$(le16 0)$(le32 0xc0000040)"
        zeros $((0x200 - 0x40 - 4 - 20 - 0xe0 - 80))
        # .text: mov eax, 42; ret
        emit "\\xb8\\x2a\\x00\\x00\\x00\\xc3"; zeros $((0x200 - 6))
        # .data: a recognisable text, so that tampering has something to change.
        emit "Zyrel signature fixture"; zeros $((0x200 - 23))
    } >"$1"
}

# ---- certificates ------------------------------------------------------------------
ca_config() { # folder
    cat >"$1/ca.cnf" <<EOF
[ca]
default_ca = this_ca
[this_ca]
dir = $1
database = $1/index.txt
new_certs_dir = $1/issued
serial = $1/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
commonName = optional
organizationalUnitName = optional
organizationName = optional
countryName = optional
emailAddress = optional
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[oldroot]
subjectKeyIdentifier = hash
[intermediate_silent]
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[intermediate_serverauth]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[intermediate_codesign]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[intermediate_anyusage]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
extendedKeyUsage = anyExtendedKeyUsage
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[codesign]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[codesign_lifetime]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning, 1.3.6.1.4.1.311.10.3.13
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[nousage]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[serverauth]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[timestamping]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[timestamping_uncritical]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
    mkdir -p "$1/issued"
    : >"$1/index.txt"
    echo 1000 >"$1/serial"
}

key() { openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:${2:-2048}" -out "$1" 2>/dev/null; }

# A self-signed CA: name, subject, folder, [extensions: root].
make_root() {
    local name=$1 subject=$2 dir=$3 extensions=${4:-root}
    mkdir -p "$dir"
    ca_config "$dir"
    key "certs/$name.key"
    openssl req -new -key "certs/$name.key" -subj "$subject" -out "$dir/$name.csr"
    openssl ca -batch -config "$dir/ca.cnf" -selfsign -keyfile "certs/$name.key" -extensions "$extensions" \
        -startdate 20190101000000Z -enddate 20491231000000Z -in "$dir/$name.csr" -out "certs/$name.pem" \
        -notext 2>/dev/null
}

# A certificate issued by a CA: name, subject, extensions, CA folder, CA name, start, end,
# the digest of the CA's signature (sha256 unless given) and the size of its RSA key (2048).
issue() {
    local name=$1 subject=$2 extensions=$3 dir=$4 issuer=$5 start=$6 end=$7 md=${8:-sha256} bits=${9:-2048}
    key "certs/$name.key" "$bits"
    openssl req -new -key "certs/$name.key" -subj "$subject" -out "$dir/$name.csr"
    openssl ca -batch -config "$dir/ca.cnf" -cert "certs/$issuer.pem" -keyfile "certs/$issuer.key" \
        -extensions "$extensions" -md "$md" -startdate "$start" -enddate "$end" -in "$dir/$name.csr" \
        -out "certs/$name.pem" -notext 2>/dev/null
}

# An intermediate CA under the root, with the folder to issue from: name, subject, extensions.
intermediate_ca() {
    issue "$1" "$2" "$3" ca/root root 20190601000000Z 20480101000000Z
    mkdir -p "ca/$1"
    ca_config "$(pwd)/ca/$1"
}

# Each run's authorities have names of their own: a trust store that still holds an
# earlier run's root (a Wine prefix, say) must not take it for this one's issuer.
run=$(date +%s)-$$
make_root root "/CN=Zyrel Test Root $run/O=Zyrel Test" ca/root
issue intermediate "/CN=Zyrel Test Code Signing CA $run/O=Zyrel Test" intermediate ca/root root \
    20190601000000Z 20480101000000Z
mkdir -p ca/intermediate
ca_config "$(pwd)/ca/intermediate"
mi="$(pwd)/ca/intermediate"
issue vexal "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z
issue other "/CN=Other Publisher Ltd./O=Other Publisher Ltd./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z
issue capitals "/CN=VEXAL NORIM INC./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z
issue expired "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20210101000000Z
# For lifetime signing: one expired, one still valid.
issue lifetime-expired "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign_lifetime "$mi" intermediate \
    20200101000000Z 20210101000000Z
issue lifetime "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign_lifetime "$mi" intermediate \
    20200101000000Z 20451231000000Z
issue organisation "/O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z
issue nameless "/C=CA/L=Vexal Norim Inc." codesign "$mi" intermediate 20200101000000Z 20451231000000Z
issue serverauth "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" serverauth "$mi" intermediate 20200101000000Z 20451231000000Z
issue tsa "/CN=Zyrel Test Time Stamping/O=Zyrel Test" timestamping "$mi" intermediate 20190701000000Z 20471231000000Z
# Authorities whose extended key usage names time stamping without marking it critical
# (as Microsoft's of 2009 to 2019), and that names no usage at all.
issue tsa-uncritical "/CN=Zyrel Test Time Stamping Uncritical/O=Zyrel Test" timestamping_uncritical "$mi" \
    intermediate 20190701000000Z 20471231000000Z
issue tsa-nousage "/CN=Zyrel Test Time Stamping Without Usage/O=Zyrel Test" nousage "$mi" intermediate \
    20190701000000Z 20471231000000Z
# Weakly signed: the leaf's and the authority's certificates signed by the intermediate with
# MD5 (their own keys and usages are sound), and a leaf signed with SHA-1, which still counts.
issue md5 "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z md5
issue sha1cert "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z sha1
issue tsa-md5 "/CN=Zyrel Test Time Stamping MD5/O=Zyrel Test" timestamping "$mi" intermediate 20190701000000Z 20471231000000Z md5
# RSA keys of 512 bits, the leaf's and the authority's, under the sound intermediate.
issue rsa512 "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z \
    20451231000000Z sha256 512
issue tsa-rsa512 "/CN=Zyrel Test Time Stamping RSA 512/O=Zyrel Test" timestamping "$mi" intermediate \
    20190701000000Z 20471231000000Z sha256 512

# Intermediates whose own extended key usage limits what their leaves may do: the chain's
# usage is what every certificate in it allows.
intermediate_ca tls-ca "/CN=Zyrel Test TLS CA $run/O=Zyrel Test" intermediate_serverauth
intermediate_ca code-ca "/CN=Zyrel Test Code CA $run/O=Zyrel Test" intermediate_codesign
intermediate_ca any-ca "/CN=Zyrel Test Any Usage CA $run/O=Zyrel Test" intermediate_anyusage
vexal_subject="/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA"
issue tls-ca-leaf "$vexal_subject" codesign "$(pwd)/ca/tls-ca" tls-ca 20200101000000Z 20451231000000Z
issue tls-ca-nousage "$vexal_subject" nousage "$(pwd)/ca/tls-ca" tls-ca 20200101000000Z 20451231000000Z
issue code-ca-leaf "$vexal_subject" codesign "$(pwd)/ca/code-ca" code-ca 20200101000000Z 20451231000000Z
issue code-ca-nousage "$vexal_subject" nousage "$(pwd)/ca/code-ca" code-ca 20200101000000Z 20451231000000Z
issue any-ca-leaf "$vexal_subject" codesign "$(pwd)/ca/any-ca" any-ca 20200101000000Z 20451231000000Z
# A time-stamping authority under the code-signing CA: fit itself, but its chain is not.
issue code-ca-tsa "/CN=Zyrel Test Time Stamping Under Code CA/O=Zyrel Test" timestamping "$(pwd)/ca/code-ca" code-ca \
    20190701000000Z 20471231000000Z

# A second root that nobody trusts, with a leaf of the right name under it.
make_root stranger "/CN=Stranger Root $run/O=Stranger" "$(pwd)/ca/stranger"
issue stranger-leaf "/CN=Vexal Norim Inc./O=Vexal Norim Inc./C=CA" codesign "$(pwd)/ca/stranger" stranger \
    20200101000000Z 20451231000000Z

# A second trusted root as old roots are: version 3, but without basic constraints or key
# usage; an intermediate and a leaf under it. And an intermediate without basic
# constraints under the test root, which is no CA.
make_root old-root "/CN=Zyrel Test Old Root $run/O=Zyrel Test" "$(pwd)/ca/old-root" oldroot
issue old-root-ca "/CN=Zyrel Test Under Old Root $run/O=Zyrel Test" intermediate "$(pwd)/ca/old-root" old-root \
    20190601000000Z 20480101000000Z
mkdir -p ca/old-root-ca
ca_config "$(pwd)/ca/old-root-ca"
issue old-root-leaf "$vexal_subject" codesign "$(pwd)/ca/old-root-ca" old-root-ca 20200101000000Z 20451231000000Z
cat certs/old-root-leaf.pem certs/old-root-ca.pem certs/old-root.pem >certs/old-root-leaf-chain.pem
intermediate_ca silent-ca "/CN=Zyrel Test Silent CA $run/O=Zyrel Test" intermediate_silent
issue silent-ca-leaf "$vexal_subject" codesign "$(pwd)/ca/silent-ca" silent-ca 20200101000000Z 20451231000000Z
cat certs/silent-ca-leaf.pem certs/silent-ca.pem certs/root.pem >certs/silent-ca-leaf-chain.pem
# Every root the tests trust.
cat certs/root.pem certs/old-root.pem >certs/trusted.pem

# The self-signed leaf with the right name, fit for code signing.
key certs/selfsigned.key
openssl req -new -x509 -key certs/selfsigned.key -subj "/CN=Vexal Norim Inc./O=Vexal Norim Inc." \
    -days 7300 -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -out certs/selfsigned.pem 2>/dev/null

chain() { cat "certs/$1.pem" certs/intermediate.pem certs/root.pem >"certs/$1-chain.pem"; }
for leaf in vexal other capitals expired organisation nameless serverauth tsa md5 sha1cert tsa-md5 tsa-uncritical \
    tsa-nousage lifetime-expired lifetime rsa512 tsa-rsa512; do
    chain "$leaf"
done
for leaf in tls-ca-leaf tls-ca-nousage code-ca-leaf code-ca-nousage any-ca-leaf code-ca-tsa; do
    cat "certs/$leaf.pem" "certs/${leaf%-*}.pem" certs/root.pem >"certs/$leaf-chain.pem"
done
cat certs/stranger-leaf.pem certs/stranger.pem >certs/stranger-leaf-chain.pem

# ---- the files ---------------------------------------------------------------------
# 2020-06-01: inside every certificate's validity, the expired leaf's included.
tsa_time=1590969600
write_pe unsigned.exe

sign() { # leaf, digest, output, extra options...
    local leaf=$1 digest=$2 output=$3
    shift 3
    osslsigncode sign -certs "certs/$leaf-chain.pem" -key "certs/$leaf.key" -h "$digest" "$@" \
        -in unsigned.exe -out "$output" >/dev/null
}
timestamp() { # [authority]
    local authority=${1:-tsa}
    echo -TSA-certs "certs/$authority-chain.pem" -TSA-key "certs/$authority.key" -TSA-time "$tsa_time"
}

sign vexal sha256 vexal-sha256.exe
sign vexal sha1 vexal-sha1.exe
# shellcheck disable=SC2046
sign vexal sha256 vexal-timestamped.exe $(timestamp)
sign other sha256 other-publisher.exe
sign capitals sha256 capitals.exe
sign organisation sha256 organisation-only.exe
sign nameless sha256 no-common-name.exe
sign serverauth sha256 server-auth-only.exe
sign stranger-leaf sha256 untrusted-root.exe
sign old-root-leaf sha256 old-root.exe
sign silent-ca-leaf sha256 intermediate-without-basic-constraints.exe
# The chain's usage: leaves under an intermediate limited to TLS servers (with and without
# a usage of their own), under one limited to code signing (the control), under one that
# names only anyExtendedKeyUsage; and a time stamp whose authority's chain is not for time
# stamping.
sign tls-ca-leaf sha256 ca-server-auth.exe
sign tls-ca-nousage sha256 ca-server-auth-leaf-unlimited.exe
sign code-ca-leaf sha256 ca-code-signing.exe
sign code-ca-nousage sha256 ca-code-signing-leaf-unlimited.exe
sign any-ca-leaf sha256 ca-any-usage.exe
# shellcheck disable=SC2046
sign vexal sha256 timestamp-ca-code-signing.exe $(timestamp code-ca-tsa)
# Weak certificate signatures, in the signer's chain and in the time stamp's; SHA-1 passes.
sign md5 sha256 md5-certificate.exe
sign sha1cert sha256 sha1-certificate.exe
# shellcheck disable=SC2046
sign vexal sha256 timestamp-md5-certificate.exe $(timestamp tsa-md5)
osslsigncode sign -certs certs/selfsigned.pem -key certs/selfsigned.key -h sha256 -in unsigned.exe \
    -out self-signed.exe >/dev/null
# The expired leaf, once without a time stamp and once with one from inside its validity.
sign expired sha256 expired.exe -time "$tsa_time"
# shellcheck disable=SC2046
sign expired sha256 expired-timestamped.exe -time "$tsa_time" $(timestamp)
# Lifetime signing: the time stamp does not save the expired certificate.
# shellcheck disable=SC2046
sign lifetime-expired sha256 lifetime-expired-timestamped.exe -time "$tsa_time" $(timestamp)
# shellcheck disable=SC2046
sign lifetime sha256 lifetime-timestamped.exe -time "$tsa_time" $(timestamp)
# Data after the last section (an installer's payload, typically) is part of the image
# hash: signed with some, then that data changed.
{ cat unsigned.exe; printf 'installer payload after the sections'; } >payload-unsigned.exe
osslsigncode sign -certs certs/vexal-chain.pem -key certs/vexal.key -h sha256 -in payload-unsigned.exe \
    -out payload.exe >/dev/null
rm -f payload-unsigned.exe
cp payload.exe payload-tampered.exe
printf 'I' | dd of=payload-tampered.exe bs=1 seek=$((0x600)) conv=notrunc status=none
# Headers that run past the first section's start (SizeOfHeaders 0x300 over .text at
# 0x200), as packed programs declare them: the overlap is hashed once.
write_pe headers-overlap-unsigned.exe 0x300
osslsigncode sign -certs certs/vexal-chain.pem -key certs/vexal.key -h sha256 -in headers-overlap-unsigned.exe \
    -out headers-overlap.exe >/dev/null
rm -f headers-overlap-unsigned.exe
# Two signatures: the primary one by another publisher, the nested one by the right one.
sign other sha256 double-first.exe
osslsigncode sign -certs certs/vexal-chain.pem -key certs/vexal.key -h sha1 -nest -in double-first.exe \
    -out double-signature.exe >/dev/null
rm -f double-first.exe

# Where the certificate table is: data directory 4 of the optional header.
dir_offset=$((0x40 + 4 + 20 + 96 + 4 * 8))
read_le32() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }
patch_le32() { emit "$(le32 "$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# Spoils one byte: every bit inverted, so the byte always changes (a fixed value would leave
# a byte that happens to hold it as it was, and the file valid).
flip_byte() { # file, offset
    local old
    old=$((0x$(od -An -tx1 -j "$2" -N 1 "$1" | tr -d ' \n')))
    printf "\\x$(printf '%02x' $((old ^ 0xff)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
table=$(read_le32 vexal-sha256.exe "$dir_offset")
table_size=$(read_le32 vexal-sha256.exe $((dir_offset + 4)))

# One byte of .data changed after signing.
cp vexal-sha256.exe tampered.exe
printf 'z' | dd of=tampered.exe bs=1 seek=$((0x400)) conv=notrunc status=none
# The signature cut in half, the directory and the table's own length kept consistent.
cut_size=$(((table_size / 2) & ~7))
head -c $((table + cut_size)) vexal-sha256.exe >cut-signature.exe
patch_le32 cut-signature.exe $((dir_offset + 4)) "$cut_size"
patch_le32 cut-signature.exe "$table" "$cut_size"
# The file cut in the middle of its sections: the table is gone.
head -c 1000 vexal-sha256.exe >cut-file.exe
# The directory pointing past the end of the file.
cp vexal-sha256.exe directory-past-end.exe
patch_le32 directory-past-end.exe "$dir_offset" $((table + 0x10000))
# The time stamp's own signature spoilt: the expired leaf's file then has no valid time.
# The message is the table's first entry, "30 82 hi lo ...", and the time stamp the last
# of its unsigned attributes, so the authority's signature value ends the message.
expired_table=$(read_le32 expired-timestamped.exe "$dir_offset")
der_length=$((0x$(od -An -tx1 -j $((expired_table + 10)) -N 2 expired-timestamped.exe | tr -d ' \n') + 4))
cp expired-timestamped.exe timestamp-spoilt.exe
flip_byte timestamp-spoilt.exe $((expired_table + 8 + der_length - 20))
# The older kind of time stamp, a countersignature: osslsigncode's own authority makes
# RFC 3161 tokens only, so one is made with openssl cms (a SignerInfo over the signer's
# signature value, signed by the time-stamping authority, with the signing time now) and
# set into the message as the signer's unsigned attribute. The authority's certificate
# travels with the signer's, as the old protocol has it.
be16() { printf '\\x%02x\\x%02x' $((($1 >> 8) & 255)) $(($1 & 255)); }
# "offset header-length length" of the last element at a depth whose line names `kind`,
# from openssl asn1parse's lines ("  2942:d=5  hl=4 l= 256 prim: OCTET STRING ...").
last_at_depth() { # file, depth, kind
    openssl asn1parse -inform DER -in "$1" | awk -v depth="$2" -v kind="$3" '
        match($0, /^ *[0-9]+:d=[0-9]+ +hl= *[0-9]+ +l= *[0-9]+/) {
            head = substr($0, RSTART, RLENGTH)
            gsub(/[:=a-z]+/, " ", head)
            split(head, field, " ")
            if (field[2] == depth && index($0, kind)) last = field[1] " " field[3] " " field[4]
        }
        END { print last }'
}
# Replaces `removed` bytes at an offset of a DER file with the bytes of another file (0:
# inserts them), changing the length of every constructed element whose content holds
# that place (each must keep the form of its length).
der_splice() { # file, offset, removed, piece
    local file=$1 at=$2 removed=$3 piece=$4 change start header old
    change=$(($(stat -c %s "$piece") - removed))
    local around
    around=$(openssl asn1parse -inform DER -in "$file" | awk -v at="$at" -v end=$((at + removed)) '
        match($0, /^ *[0-9]+:d=[0-9]+ +hl= *[0-9]+ +l= *[0-9]+ +cons/) {
            head = substr($0, RSTART, RLENGTH)
            gsub(/[:=a-z]+/, " ", head)
            split(head, field, " ")
            if (field[1] + field[3] <= at && end <= field[1] + field[3] + field[4]) print field[1], field[3]
        }')
    { head -c "$at" "$file"; cat "$piece"; tail -c +$((at + removed + 1)) "$file"; } >"$file.changed"
    while read -r start header; do
        # The length's own bytes: one in the short form, else one or two after 0x81/0x82.
        local at_length=$((start + 1)) width=1 low=0 high=128
        case "$header" in
            2) ;;
            3) at_length=$((start + 2)) low=128 high=256 ;;
            4) at_length=$((start + 2)) width=2 low=256 high=65536 ;;
            *) echo "der_splice: the element at $start has a length of $header bytes" >&2; return 1 ;;
        esac
        old=$((0x$(od -An -tx1 -j "$at_length" -N "$width" "$file.changed" | tr -d ' \n')))
        [ $((old + change)) -ge "$low" ] && [ $((old + change)) -lt "$high" ] ||
            { echo "der_splice: the element at $start changes the form of its length" >&2; return 1; }
        if [ "$width" = 1 ]; then
            emit "$(printf '\\x%02x' $((old + change)))"
        else
            emit "$(be16 $((old + change)))"
        fi | dd of="$file.changed" bs=1 seek="$at_length" conv=notrunc status=none
    done <<<"$around"
    mv "$file.changed" "$file"
}
# The unsigned program with a PKCS#7 message as its certificate table.
embed_message() { # message, output
    local table der_size entry_size
    table=$(stat -c %s unsigned.exe)
    der_size=$(stat -c %s "$1")
    entry_size=$(((der_size + 8 + 7) & ~7))
    {
        cat unsigned.exe
        emit "$(le32 "$entry_size")$(le16 0x0200)$(le16 0x0002)"
        cat "$1"
        zeros $((entry_size - 8 - der_size))
    } >"$2"
    patch_le32 "$2" "$dir_offset" "$table"
    patch_le32 "$2" $((dir_offset + 4)) "$entry_size"
}
# The same for the first such element after the line that names `marker`.
first_after() { # file, marker, depth, kind
    openssl asn1parse -inform DER -in "$1" | awk -v marker="$2" -v depth="$3" -v kind="$4" '
        index($0, marker) { seen = 1 }
        seen && !found && match($0, /^ *[0-9]+:d=[0-9]+ +hl= *[0-9]+ +l= *[0-9]+/) {
            head = substr($0, RSTART, RLENGTH)
            gsub(/[:=a-z]+/, " ", head)
            split(head, field, " ")
            if (field[2] == depth && index($0, kind)) { print field[1] " " field[3] " " field[4]; found = 1 }
        }'
}
# The last bytes of a DER file (a signature value that ends it) replaced by a new value of
# the same length.
replace_signature() { # file, signature
    head -c $(($(stat -c %s "$1") - $(stat -c %s "$2"))) "$1" >"$1.new"
    cat "$2" >>"$1.new"
    mv "$1.new" "$1"
}
# A SignerInfo's signed attributes, [0] IMPLICIT in the file, as the SET their signature
# covers.
signed_attributes() { # file, offset, header length, length
    emit '\x31'
    bytes "$1" $(($2 + 1)) $(($3 + $4 - 1))
}
# A certificate whose signed part was changed in place, signed again by its issuer.
resign_certificate() { # DER file, issuer
    local tbs_offset tbs_header tbs_length
    read -r tbs_offset tbs_header tbs_length <<<"$(first_after "$1" ':d=1' 1 SEQUENCE)"
    bytes "$1" "$tbs_offset" $((tbs_header + tbs_length)) |
        openssl dgst -sha256 -sign "certs/$2.key" -binary >"$1.signature"
    replace_signature "$1" "$1.signature"
    rm -f "$1.signature"
}
countersign() { # leaf, output, [digest, [bare]]
    local leaf=$1 output=$2 digest=${3:-sha256} form=${4:-} work=ca/countersign
    mkdir -p "$work"
    cat "certs/$leaf-chain.pem" certs/tsa.pem >"$work/chain.pem"
    rm -f "$work/message.der" "$work/counter.der" "$work/signed.exe"
    osslsigncode sign -certs "$work/chain.pem" -key "certs/$leaf.key" -h sha256 -in unsigned.exe \
        -out "$work/signed.exe" >/dev/null
    osslsigncode extract-signature -in "$work/signed.exe" -out "$work/message.der" >/dev/null
    local info_offset info_header info_length digest_offset digest_header digest_length
    read -r info_offset info_header info_length <<<"$(last_at_depth "$work/message.der" 4 SEQUENCE)"
    read -r digest_offset digest_header digest_length <<<"$(last_at_depth "$work/message.der" 5 'OCTET STRING')"
    bytes "$work/message.der" $((digest_offset + digest_header)) "$digest_length" >"$work/signature.bin"
    openssl cms -sign -binary -in "$work/signature.bin" -signer certs/tsa.pem -inkey certs/tsa.key -md "$digest" \
        -nocerts -nosmimecap -outform DER -out "$work/counter.der"
    local counter_offset counter_header counter_length
    read -r counter_offset counter_header counter_length <<<"$(last_at_depth "$work/counter.der" 4 SEQUENCE)"
    bytes "$work/counter.der" "$counter_offset" $((counter_header + counter_length)) >"$work/counter-info.der"
    if [ "$form" = bare ]; then
        # The signature value made again over the bare digest of the signed attributes (as
        # a SET), without the DigestInfo around it, as old counter-signing services did.
        # It keeps its length and ends the SignerInfo.
        local attributes_offset attributes_header attributes_length
        read -r attributes_offset attributes_header attributes_length <<<"$(first_after "$work/counter-info.der" 'cont [ 0 ]' 1 'cont [ 0 ]')"
        signed_attributes "$work/counter-info.der" "$attributes_offset" "$attributes_header" "$attributes_length" |
            openssl dgst "-$digest" -binary >"$work/attributes.digest"
        openssl pkeyutl -sign -inkey certs/tsa.key -in "$work/attributes.digest" -out "$work/bare.sig"
        replace_signature "$work/counter-info.der" "$work/bare.sig"
    fi
    # [1] { SEQUENCE { countersignature, SET { SignerInfo } } }, every length in two bytes.
    local info_size set_size attribute_size attributes_size
    info_size=$(stat -c %s "$work/counter-info.der")
    set_size=$((info_size + 4))
    attribute_size=$((11 + set_size))
    attributes_size=$((attribute_size + 4))
    {
        emit "\\xa1\\x82$(be16 "$attributes_size")"
        emit "\\x30\\x82$(be16 "$attribute_size")"
        emit "\\x06\\x09\\x2a\\x86\\x48\\x86\\xf7\\x0d\\x01\\x09\\x06"
        emit "\\x31\\x82$(be16 "$info_size")"
        cat "$work/counter-info.der"
    } >"$work/attributes.der"
    # Appended to the signer, whose enclosing lengths grow with it.
    cp "$work/message.der" "$work/countersigned.der"
    der_splice "$work/countersigned.der" $((info_offset + info_header + info_length)) 0 "$work/attributes.der"
    embed_message "$work/countersigned.der" "$output"
}
countersign vexal vexal-countersigned.exe
countersign expired expired-countersigned.exe
# A time stamp whose token's certificate set starts with an attribute certificate (the [1]
# choice of CertificateChoices) before the authority's X.509 ones, as the tokens of large
# time-stamping services have it.
attribute_certificate_token() { # output
    local work=ca/attribute-certificate at
    mkdir -p "$work"
    osslsigncode extract-signature -in vexal-timestamped.exe -out "$work/message.der" >/dev/null
    # The token's certificate set: the [0] at depth 11 after its TSTInfo.
    local set_offset set_header
    read -r set_offset set_header _ <<<"$(first_after "$work/message.der" id-smime-ct-TSTInfo 11 'cont [ 0 ]')"
    [ -n "$set_offset" ] || { echo "no certificate set in the token" >&2; return 1; }
    at=$((set_offset + set_header))
    # [1] { SEQUENCE { version, a text }, sha256WithRSAEncryption, an empty signature }
    {
        emit "\xa1\x3b\x30\x25\x02\x01\x00\x0c\x20Zyrel test attribute certificate"
        emit "\x30\x0d\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x0b\x05\x00"
        emit "\x03\x03\x00\x00\x00"
    } >"$work/attribute-certificate.der"
    der_splice "$work/message.der" "$at" 0 "$work/attribute-certificate.der"
    embed_message "$work/message.der" "$1"
}
attribute_certificate_token timestamp-attribute-certificate.exe
# The time stamp of vexal-timestamped.exe signed again by another authority: its TSTInfo,
# in a token made with openssl cms (osslsigncode's and openssl ts's own authorities insist
# on a critical time-stamping usage, which is what these authorities lack).
restamp() { # authority, output
    local work=ca/restamp token_offset token_header token_length info_offset info_header info_length
    mkdir -p "$work"
    rm -f "$work/message.der"
    osslsigncode extract-signature -in vexal-timestamped.exe -out "$work/message.der" >/dev/null
    read -r token_offset token_header token_length <<<"$(first_after "$work/message.der" 1.3.6.1.4.1.311.3.3.1 8 SEQUENCE)"
    read -r info_offset info_header info_length <<<"$(first_after "$work/message.der" id-smime-ct-TSTInfo 13 'OCTET STRING')"
    bytes "$work/message.der" $((info_offset + info_header)) "$info_length" >"$work/tstinfo.der"
    openssl cms -sign -binary -nodetach -in "$work/tstinfo.der" -econtent_type id-smime-ct-TSTInfo \
        -signer "certs/$1.pem" -inkey "certs/$1.key" -certfile certs/intermediate.pem -md sha256 -nosmimecap -outform DER -out "$work/token.der"
    der_splice "$work/message.der" "$token_offset" $((token_header + token_length)) "$work/token.der"
    embed_message "$work/message.der" "$2"
}
restamp tsa-uncritical timestamp-usage-uncritical.exe
restamp tsa-nousage timestamp-authority-without-usage.exe
# The countersignature's own signature value spoilt (it ends the message).
cp vexal-countersigned.exe countersignature-spoilt.exe
flip_byte countersignature-spoilt.exe $(($(stat -c %s unsigned.exe) + 8 + $(stat -c %s ca/countersign/countersigned.der) - 20))
# A countersignature by SHA-1 whose signature value holds the bare digest, and the same
# with that value spoilt.
countersign vexal countersignature-bare-digest.exe sha1 bare
cp countersignature-bare-digest.exe countersignature-bare-digest-spoilt.exe
flip_byte countersignature-bare-digest-spoilt.exe \
    $(($(stat -c %s unsigned.exe) + 8 + $(stat -c %s ca/countersign/countersigned.der) - 20))
# A subject whose first common name is a BIT STRING ("Evil Corp"), which is no text, before
# the publisher's name as its unit: the certificate made with a placeholder common name,
# that value turned into a BIT STRING of the same length, and signed again.
issue evil-name "/CN=XEvil Corp/OU=Vexal Norim Inc./C=CA" codesign "$mi" intermediate 20200101000000Z 20451231000000Z
openssl x509 -in certs/evil-name.pem -outform DER -out ca/evil-name.der
evil_at=$(grep -obUa "XEvil Corp" ca/evil-name.der | head -n 1 | cut -d: -f1)
[ "$(od -An -tx1 -j $((evil_at - 2)) -N 2 ca/evil-name.der | tr -d ' \n')" = 0c0a ] ||
    { echo "unexpected common name encoding" >&2; exit 1; }
emit '\x03' | dd of=ca/evil-name.der bs=1 seek=$((evil_at - 2)) conv=notrunc status=none
emit '\x00' | dd of=ca/evil-name.der bs=1 seek="$evil_at" conv=notrunc status=none
resign_certificate ca/evil-name.der intermediate
openssl x509 -inform DER -in ca/evil-name.der -out certs/evil-name.pem
chain evil-name
sign evil-name sha256 common-name-not-text.exe
# A file signed in two steps, with one digest for the image hash and another for the
# signer: the data to sign made apart and signed, its content-type attribute (which
# osslsigncode labels a CTL there) set to SpcIndirectData, and the attributes signed again.
sign_apart() { # image digest, signer digest, output
    local work=ca/apart label_offset label_header label_length attributes_offset attributes_header attributes_length
    mkdir -p "$work"
    rm -f "$work/data" "$work/message.der"
    osslsigncode extract-data -h "$1" -in unsigned.exe -out "$work/data" >/dev/null
    osslsigncode sign -certs certs/vexal-chain.pem -key certs/vexal.key -h "$2" -in "$work/data" \
        -out "$work/message.der" >/dev/null
    read -r label_offset label_header label_length <<<"$(first_after "$work/message.der" :contentType 8 OBJECT)"
    emit '\x06\x0a\x2b\x06\x01\x04\x01\x82\x37\x02\x01\x04' >"$work/label"
    der_splice "$work/message.der" "$label_offset" $((label_header + label_length)) "$work/label"
    read -r attributes_offset attributes_header attributes_length <<<"$(first_after "$work/message.der" 'cont [ 0 ]' 5 'cont [ 0 ]')"
    signed_attributes "$work/message.der" "$attributes_offset" "$attributes_header" "$attributes_length" |
        openssl dgst "-$2" -sign certs/vexal.key -binary >"$work/signature"
    replace_signature "$work/message.der" "$work/signature"
    embed_message "$work/message.der" "$3"
}
# Weak digests: MD5 for the signer alone, for the image hash alone, and for both.
sign_apart sha256 md5 md5-signer-digest.exe
sign_apart md5 sha256 md5-image-digest.exe
sign vexal md5 md5-file-digest.exe
# Keys of 512 bits in the signer's chain and in the time stamp's.
sign rsa512 sha256 rsa512-signer.exe
# shellcheck disable=SC2046
sign vexal sha256 rsa512-timestamp.exe $(timestamp tsa-rsa512)
# Content types relabelled as SPC_PE_IMAGE_DATAOBJ (same length, last byte 0x04 -> 0x0F):
# the signer's content-type attribute (its signed attributes signed again), and the
# SignedData's own content type (which no signature covers).
relabel() { # file, offset of the identifier's element
    emit '\x0f' | dd of="$1" bs=1 seek=$(($2 + 11)) conv=notrunc status=none
}
rm -f ca/relabel.der
osslsigncode extract-signature -in vexal-sha256.exe -out ca/relabel.der >/dev/null
cp ca/relabel.der ca/relabel-outer.der
read -r attributes_offset attributes_header attributes_length <<<"$(first_after ca/relabel.der 'cont [ 0 ]' 5 'cont [ 0 ]')"
for at in $(openssl asn1parse -inform DER -in ca/relabel.der | awk -F: '/OBJECT +:1.3.6.1.4.1.311.2.1.4$/ { print $1 + 0 }'); do
    if [ "$at" -gt "$attributes_offset" ] && [ "$at" -lt $((attributes_offset + attributes_header + attributes_length)) ]; then
        relabel ca/relabel.der "$at"
    elif [ "$at" -lt "$attributes_offset" ] && [ ! -e ca/relabel-outer.done ]; then
        relabel ca/relabel-outer.der "$at"
        : >ca/relabel-outer.done
    fi
done
rm -f ca/relabel-outer.done
signed_attributes ca/relabel.der "$attributes_offset" "$attributes_header" "$attributes_length" |
    openssl dgst -sha256 -sign certs/vexal.key -binary >ca/relabel.sig
replace_signature ca/relabel.der ca/relabel.sig
embed_message ca/relabel.der content-type-relabelled.exe
embed_message ca/relabel-outer.der signed-data-relabelled.exe
# The digest-algorithm list of a SignedData, which no signature covers: lengthened with
# copies of its one entry (the outer message's, at depth 3 after its content type, or the
# time stamp token's, at depth 11 after the token's attribute), or that entry replaced by
# another algorithm than the signer's.
digest_list() { # source program, marker, depth, output, copies | "sha1"
    local work=ca/digest-list offset header length
    mkdir -p "$work"
    rm -f "$work/message.der"
    osslsigncode extract-signature -in "$1" -out "$work/message.der" >/dev/null
    read -r offset header length <<<"$(first_after "$work/message.der" "$2" "$3" SET)"
    [ -n "$offset" ] || { echo "no digest-algorithm list after $2" >&2; return 1; }
    if [ "$5" = sha1 ]; then
        emit '\x30\x09\x06\x05\x2b\x0e\x03\x02\x1a\x05\x00' >"$work/list.der"
        der_splice "$work/message.der" $((offset + header)) "$length" "$work/list.der"
    else
        bytes "$work/message.der" $((offset + header)) "$length" >"$work/entry.der"
        : >"$work/list.der"
        for _ in $(seq "$5"); do cat "$work/entry.der" >>"$work/list.der"; done
        der_splice "$work/message.der" $((offset + header)) 0 "$work/list.der"
    fi
    embed_message "$work/message.der" "$4"
}
digest_list vexal-sha256.exe pkcs7-signedData 3 digest-list-repeated.exe 2
digest_list vexal-sha256.exe pkcs7-signedData 3 digest-list-other-algorithm.exe sha1
digest_list vexal-timestamped.exe 1.3.6.1.4.1.311.3.3.1 11 timestamp-digest-list-repeated.exe 2
digest_list vexal-timestamped.exe 1.3.6.1.4.1.311.3.3.1 11 timestamp-digest-list-other-algorithm.exe sha1
# The certificate set, which no signature covers either, lengthened with copies of its
# first certificate to more than the 32 entries a signature may carry.
certificate_copies() { # source program, output, copies
    local work=ca/certificate-copies offset header length first_header first_length
    mkdir -p "$work"
    rm -f "$work/message.der"
    osslsigncode extract-signature -in "$1" -out "$work/message.der" >/dev/null
    read -r offset header length <<<"$(first_after "$work/message.der" pkcs7-signedData 3 'cont [ 0 ]')"
    [ -n "$offset" ] || { echo "no certificate set" >&2; return 1; }
    read -r first_header first_length <<<"$(openssl asn1parse -inform DER -in "$work/message.der" \
        -offset $((offset + header)) | head -1 | sed -E 's/.*hl= *([0-9]+) +l= *([0-9]+).*/\1 \2/')"
    bytes "$work/message.der" $((offset + header)) $((first_header + first_length)) >"$work/entry.der"
    : >"$work/copies.der"
    for _ in $(seq "$3"); do cat "$work/entry.der" >>"$work/copies.der"; done
    der_splice "$work/message.der" $((offset + header)) 0 "$work/copies.der"
    embed_message "$work/message.der" "$2"
}
certificate_copies vexal-sha256.exe certificates-lengthened.exe 32
# Bytes after the table.
cp vexal-sha256.exe appended.exe
printf 'appended after the signature' >>appended.exe
# Not a program at all, and nothing at all.
printf 'This is a text file, not a program.\r\n' >not-a-program.exe
: >empty.exe

# ---- a root program list -------------------------------------------------------------
# A certificate trust list in the format of Windows' root program (authroot.stl): the
# trust list (1.3.6.1.4.1.311.10.1) signed as CMS, naming each root by its SHA-1
# thumbprint with the properties scripts/make-code-signing-roots.py weighs, and the roots
# it names as DER files called by thumbprint, as a distributor downloads them:
#   ctl/authroot.stl, ctl/roots/<THUMBPRINT>.crt
# The test root is enabled for code signing; a root for server authentication only and a
# code-signing root disabled since 2020 are in the list too. Only the test root may come out.
mkdir -p ctl/roots
make_root ctl-tls-root "/CN=Zyrel Test TLS Only Root $run/O=Zyrel Test" "$(pwd)/ca/ctl-tls-root"
make_root ctl-disabled-root "/CN=Zyrel Test Disabled Root $run/O=Zyrel Test" "$(pwd)/ca/ctl-disabled-root"
hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }
# The DER of an asn1parse generation text.
generate() { # config, output
    openssl asn1parse -genconf "$1" -out "$2" -noout >/dev/null
}
thumbprint() { openssl x509 -in "$1" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g'; }
# A FILETIME (100 ns since 1601, little-endian) as hex.
filetime_hex() { # Unix time
    local ticks=$((($1 + 11644473600) * 10000000)) i out=
    for i in 0 1 2 3 4 5 6 7; do out+=$(printf '%02x' $(((ticks >> (8 * i)) & 255))); done
    echo "$out"
}
usage_list() { # output, OIDs...
    local output=$1 i=0 oid
    shift
    { echo "asn1 = SEQUENCE:usages"; echo "[usages]"
      for oid in "$@"; do echo "u$((i++)) = OID:$oid"; done; } >ca/usages.cnf
    generate ca/usages.cnf "$output"
}
usage_list ca/code-signing.der 1.3.6.1.5.5.7.3.3 1.3.6.1.5.5.7.3.1
usage_list ca/server-auth.der 1.3.6.1.5.5.7.3.1
for root in root ctl-tls-root ctl-disabled-root; do
    openssl x509 -in "certs/$root.pem" -outform DER -out "ctl/roots/$(thumbprint "certs/$root.pem").crt"
done
# A listed root in the list's generation text: its section, its certificate, the sections
# of its properties; and a property: its section, its identifier, its value as hex.
subject() { # section, certificate, property sections...
    local section=$1 certificate=$2 property
    shift 2
    printf '[%s]\nthumbprint = FORMAT:HEX,OCTETSTRING:%s\nproperties = SET:%s_properties\n[%s_properties]\n' \
        "$section" "$(thumbprint "$certificate")" "$section" "$section"
    for property in "$@"; do echo "$property = SEQUENCE:$property"; done
}
property() { # section, identifier, value
    printf '[%s]\ntype = OID:%s\nvalues = SET:%s_value\n[%s_value]\nvalue = FORMAT:HEX,OCTETSTRING:%s\n' \
        "$1" "$2" "$1" "$1" "$3"
}
{
    cat <<EOF
asn1 = SEQUENCE:ctl
[ctl]
usage = SEQUENCE:list_usage
sequence = INTEGER:1
updated = UTCTIME:260101000000Z
algorithm = SEQUENCE:sha1
subjects = SEQUENCE:subjects
[list_usage]
roots = OID:1.3.6.1.4.1.311.10.3.9
[sha1]
oid = OID:sha1
parameters = NULL
[subjects]
code = SEQUENCE:code
tls = SEQUENCE:tls
disabled = SEQUENCE:disabled
EOF
    subject code certs/root.pem code_usage
    subject tls certs/ctl-tls-root.pem tls_usage
    subject disabled certs/ctl-disabled-root.pem code_usage disallowed
    property code_usage 1.3.6.1.4.1.311.10.11.9 "$(hex_of ca/code-signing.der)"
    property tls_usage 1.3.6.1.4.1.311.10.11.9 "$(hex_of ca/server-auth.der)"
    property disallowed 1.3.6.1.4.1.311.10.11.104 "$(filetime_hex 1577836800)"
} >ca/ctl.cnf
generate ca/ctl.cnf ca/ctl.der
openssl cms -sign -binary -nodetach -outform DER -econtent_type 1.3.6.1.4.1.311.10.1 -md sha256 \
    -signer certs/root.pem -inkey certs/root.key -in ca/ctl.der -out ctl/authroot.stl

touch ready
