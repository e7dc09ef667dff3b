#!/usr/bin/env bash
# Signs the Windows program in place with Authenticode (SHA-256), using osslsigncode.
#
#   scripts/sign-windows.sh --pkcs12 FILE [--password PASS | --password-file FILE]
#                           [--timestamp URL] PROGRAM.exe
#
#   --pkcs12 FILE         the certificate, its chain and the private key (.p12/.pfx)
#   --password PASS       the PKCS#12 password (visible to other users in the process list:
#                         prefer --password-file on a shared machine)
#   --password-file FILE  the password, read from the first line of FILE
#   --timestamp URL       an RFC 3161 time-stamping server, so that the signature stays valid
#                         after the certificate expires
#
# The signed program is written to a temporary file next to PROGRAM.exe and renamed over it
# only when signing succeeded: a failed signing leaves the program as it was. A program that
# is signed already has its signature replaced. Replace the embedded configuration (resource
# 111) before signing, never after: any change to the file breaks the signature.
set -u

usage() {
    echo "usage: scripts/sign-windows.sh --pkcs12 FILE [--password PASS | --password-file FILE] [--timestamp URL] PROGRAM.exe" >&2
    exit 2
}
die() {
    echo "sign-windows: $*" >&2
    exit 1
}

pkcs12="" password="" password_file="" timestamp="" program=""
while [ $# -gt 0 ]; do
    case "$1" in
        --pkcs12 | --password | --password-file | --timestamp)
            [ $# -ge 2 ] || { echo "sign-windows: $1 needs a value" >&2; usage; }
            case "$1" in
                --pkcs12) pkcs12=$2 ;;
                --password) password=$2 ;;
                --password-file) password_file=$2 ;;
                --timestamp) timestamp=$2 ;;
            esac
            shift 2
            ;;
        -h | --help)
            sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'
            exit 0
            ;;
        -*)
            echo "sign-windows: unknown option $1" >&2
            usage
            ;;
        *)
            [ -z "$program" ] || { echo "sign-windows: one program at a time ($program, $1)" >&2; usage; }
            program=$1
            shift
            ;;
    esac
done

[ -n "$pkcs12" ] || { echo "sign-windows: --pkcs12 is required" >&2; usage; }
[ -n "$program" ] || { echo "sign-windows: name the program to sign" >&2; usage; }
[ -n "$password" ] && [ -n "$password_file" ] && { echo "sign-windows: --password or --password-file, not both" >&2; usage; }
command -v osslsigncode >/dev/null 2>&1 || die "osslsigncode is not installed (apt-get install osslsigncode)"
[ -f "$pkcs12" ] && [ -r "$pkcs12" ] || die "cannot read the PKCS#12 file $pkcs12"
[ -z "$password_file" ] || [ -r "$password_file" ] || die "cannot read the password file $password_file"
[ -f "$program" ] && [ -r "$program" ] && [ -w "$program" ] || die "$program is not a file that can be read and replaced"
[ "$(head -c 2 "$program")" = MZ ] || die "$program is not a Windows program (no MZ header)"
case "$timestamp" in "" | http://* | https://*) ;; *) die "--timestamp needs an http:// or https:// address, not $timestamp" ;; esac

folder=$(dirname "$program")
name=$(basename "$program")
# Next to the program, so that the rename below replaces it in one step on the same file
# system; removed whatever happens.
temporary=$(mktemp "$folder/.$name.signing.XXXXXX") || die "cannot create a temporary file in $folder"
trap 'rm -f "$temporary" "$temporary.log"' EXIT

arguments=(sign -pkcs12 "$pkcs12" -h sha256 -n "Zyrel Downloader")
[ -n "$password" ] && arguments+=(-pass "$password")
[ -n "$password_file" ] && arguments+=(-readpass "$password_file")
[ -n "$timestamp" ] && arguments+=(-ts "$timestamp")
# osslsigncode refuses to write over an existing file.
rm -f "$temporary"
if ! osslsigncode "${arguments[@]}" -in "$program" -out "$temporary" >"$temporary.log" 2>&1; then
    cat "$temporary.log" >&2
    rm -f "$temporary.log"
    die "signing failed; $program is unchanged"
fi
rm -f "$temporary.log"
chmod --reference="$program" "$temporary" 2>/dev/null || chmod 0755 "$temporary"
mv -f "$temporary" "$program" || die "cannot replace $program; it is unchanged"
echo "sign-windows: signed $program"
