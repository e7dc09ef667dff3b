#!/usr/bin/env bash
# Builds the static libcurl of the Windows program, once per source version and machine,
# into a cache folder outside the clone, and prints that folder (its last line of output).
#
#   scripts/lib/build-windows-curl.sh i686-w64-mingw32     # or x86_64-w64-mingw32
#   scripts/lib/build-windows-curl.sh --print-prefix i686-w64-mingw32
#
# Debian has no MinGW libcurl, so it is cross-built from Debian's own curl source package
# (with Debian's patches) for the same version as the Linux build's libcurl: Schannel for
# TLS (Windows' own, no OpenSSL DLLs) and only what the program asks of it: the FILE, HTTP
# and HTTPS protocols, redirects, proxies (HTTP, HTTPS and SOCKS, with Basic credentials
# in the proxy address) and the error texts. No zlib: the program never sends
# Accept-Encoding, so libcurl would never decode a body. Every function in its own section
# and no unwind tables, so the program's link drops what it does not call.
#
# A finished build is reused; an unfinished one is never mistaken for a finished one (it
# is installed under a temporary name and renamed last). The folder's name carries the
# source version and a short hash of this script, so a build made with other options is
# never taken for this one.
#
# This script alone names that folder. --print-prefix prints the finished build that a
# plain run would give and succeeds, or prints where that build would go and fails when
# there is none yet; it builds, downloads and creates nothing. Configuring a MinGW preset
# asks it so (cmake/mingw-common.cmake) and stops when there is no build: configuring
# never builds. scripts/test-all.sh runs the plain form before it configures.
#
# The first build downloads the source package, for which the archive's deb-src entries
# are added when there are none (as root: scripts/lib/install-deps.sh). The compilers and
# dpkg-source come with install_windows_deps there.
#
# ZYREL_DEPS_CACHE moves the cache (default: ${XDG_CACHE_HOME:-~/.cache}/zyrel-deps).
set -euo pipefail

print_only=0
if [ "${1:-}" = --print-prefix ]; then
    print_only=1
    shift
fi
triple=${1:?usage: build-windows-curl.sh [--print-prefix] i686-w64-mingw32|x86_64-w64-mingw32}
case "$triple" in
    i686-w64-mingw32) arch=i686 ;;
    x86_64-w64-mingw32) arch=x86_64 ;;
    *) echo "build-windows-curl: unknown target $triple" >&2; exit 2 ;;
esac

cache=${ZYREL_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zyrel-deps}

# The source version: the one the Linux build's libcurl was made from, so both programs
# carry the same library; otherwise whatever the archive offers.
version=$(dpkg-query -W -f='${source:Version}' libcurl4-openssl-dev 2>/dev/null || true)

# Any change to this script (options, flags) names a new folder.
key=$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-8)
prefix_for() { echo "$cache/curl-$1-$key-$arch"; }
finished() { [ -f "$1/.zyrel-complete" ]; }

if [ "$print_only" = 1 ]; then
    if [ -n "$version" ]; then
        prefix=$(prefix_for "$version")
    else
        # No Linux libcurl to follow: the newest finished build of this script, if any.
        prefix=$(find "$cache" -maxdepth 2 -path "$cache/curl-*-$key-$arch/.zyrel-complete" -printf '%h\n' 2>/dev/null |
            sort -V | tail -n 1 || true)
        [ -n "$prefix" ] || prefix=$(prefix_for '<version>')
    fi
    echo "$prefix"
    finished "$prefix"
    exit
fi

mkdir -p "$cache"
if [ -n "$version" ] && finished "$(prefix_for "$version")"; then
    prefix_for "$version"
    exit 0
fi

# One build at a time per cache (two builds may be started at once).
exec 8>"$cache/.curl-$arch.lock"
flock 8

sources="$cache/sources"
mkdir -p "$sources"
dsc=""
[ -n "$version" ] && dsc="$sources/curl_${version#*:}.dsc"
if [ -z "$dsc" ] || [ ! -f "$dsc" ]; then
    # shellcheck source=install-deps.sh
    source "$(dirname "${BASH_SOURCE[0]}")/install-deps.sh"
    zyrel_ensure_deb_src
    (
        cd "$sources"
        if [ -n "$version" ] && apt-get source --download-only -q "curl=$version" >&2; then
            exit 0
        fi
        apt-get source --download-only -q curl >&2
    )
    if [ -z "$dsc" ] || [ ! -f "$dsc" ]; then
        dsc=$(ls -t "$sources"/curl_*.dsc | head -n 1)
        version=$(sed -n 's/^Version: //p' "$dsc")
    fi
fi

prefix=$(prefix_for "$version")
if finished "$prefix"; then
    echo "$prefix"
    exit 0
fi

work=$(mktemp -d "$cache/.curl-$arch-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
dpkg-source --no-check -x "$dsc" "$work/src" >&2

echo "build-windows-curl: building curl $version for $triple into $prefix" >&2
# The work folder's random name stays out of the objects. The C runtime's own sscanf and
# sprintf (msvcrt) read the status line and format the few numbers libcurl hands them as
# well as MinGW's portable ones, which would add some 50 KB.
cflags="-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -ffile-prefix-map=$work=."
cflags+=" -D__USE_MINGW_ANSI_STDIO=0"
features=(
    # Protocols: FILE, HTTP, HTTPS.
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FTP=ON
    -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON
    -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON
    -DCURL_DISABLE_TFTP=ON
    # Nothing the program sets: no cookies, forms, .netrc, HSTS or Alt-Svc caches, DNS over
    # HTTPS, time conditions, built-in progress meter, option-listing API or DNS shuffling.
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_NETRC=ON
    -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_DOH=ON
    -DCURL_DISABLE_PARSEDATE=ON -DCURL_DISABLE_PROGRESS_METER=ON
    -DCURL_DISABLE_GETOPTIONS=ON -DCURL_DISABLE_SHUFFLE_DNS=ON
    # Authentication: the program never sets CURLOPT_HTTPAUTH or CURLOPT_PROXYAUTH, so only
    # Basic (credentials written into the proxy address) is reachable; Digest, NTLM and AWS
    # signatures go. (Negotiate comes with SSPI and cannot be left out in this version.)
    -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_NTLM=ON
    -DCURL_ZLIB=OFF
)
cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$triple-gcc-posix" \
    -DCMAKE_RC_COMPILER="$triple-windres" \
    -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_FIND_ROOT_PATH="/usr/$triple" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
    -DCMAKE_INSTALL_PREFIX="$prefix.partial" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON \
    -DUSE_WIN32_IDN=ON -DENABLE_UNICODE=ON \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DCURL_TARGET_WINDOWS_VERSION=0x0601 \
    "${features[@]}" >&2
cmake --build "$work/build" -j "${ZYREL_BUILD_JOBS:-2}" >&2
rm -rf "$prefix.partial"
cmake --install "$work/build" >&2
touch "$prefix.partial/.zyrel-complete"
rm -rf "$prefix"
mv "$prefix.partial" "$prefix"
echo "$prefix"
