#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its main job for real:
#
#   1. makes a demo publisher "Vexal Norim Inc." under a demo root (openssl) and a small
#      Windows demo installer signed by it (MinGW-w64, osslsigncode);
#   2. serves the installer from a local server on 127.0.0.1;
#   3. runs ZyrelDownloader -downloadurl http://127.0.0.1:PORT/ZyrelInstall.exe -language de
#      -username demo, trusting the demo root for this run only (SSL_CERT_FILE; nothing is
#      added to the system's trust store), with the progress line on a terminal;
#   4. shows the log and the command line the demo installer received (it runs through
#      Wine, when Wine is there);
#   5. stops the server and Wine again.
#
#   scripts/build-and-run.sh                    the demonstration above
#   scripts/build-and-run.sh --url URL          download from another address instead
#   scripts/build-and-run.sh -- ARGUMENTS...    more options for ZyrelDownloader
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

url=""
extra=()
while [ $# -gt 0 ]; do
    case "$1" in
        --url) url=${2:?--url needs an address}; shift 2 ;;
        --) shift; extra=("$@"); break ;;
        *) echo "usage: scripts/build-and-run.sh [--url URL] [-- ZyrelDownloader options...]" >&2; exit 2 ;;
    esac
done

# shellcheck source=lib/install-deps.sh
source scripts/lib/install-deps.sh
install_linux_deps || { echo "zyrel: the build's packages could not be installed" >&2; exit 1; }
wine_ready=0
if install_windows_deps >/dev/null 2>&1 && command -v wine >/dev/null 2>&1; then
    wine_ready=1
fi

mkdir -p build
cmake --preset default >build/default.configure.log 2>&1 || { cat build/default.configure.log; exit 1; }
cmake --build --preset default --target ZyrelDownloader demo_server || exit 1

demo=$(mktemp -d "${TMPDIR:-/tmp}/zyrel-demo.XXXXXX")
mkdir -p "$demo/www" "$demo/tmp"
server_pid=""
export WINEPREFIX=${ZYREL_DEMO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/zyrel-wine-demo}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [ "$wine_ready" = 1 ] && wineserver -k >/dev/null 2>&1
    return 0
}
trap cleanup EXIT

echo
echo "==== Making the demo publisher and its signed installer"
bash scripts/lib/make-signature-fixtures.sh "$demo/pki" >"$demo/pki.log" 2>&1 ||
    { cat "$demo/pki.log"; echo "zyrel: the demo certificates could not be made" >&2; exit 1; }
installer=""
if [ "$wine_ready" = 1 ]; then
    # The installer's machine type follows the Wine that can run it here.
    compiler=i686-w64-mingw32-gcc
    [ "${ZYREL_WINE32:-0}" = 1 ] || compiler=x86_64-w64-mingw32-gcc
    if "$compiler" -municode -Os -s -o "$demo/demo-installer.exe" scripts/demo/demo-installer.c 2>"$demo/cc.log"; then
        installer=$demo/demo-installer.exe
    fi
fi
if [ -z "$installer" ]; then
    # Without Wine the installer cannot run here; a small signed PE still shows the check.
    installer=$demo/pki/unsigned.exe
fi
osslsigncode sign -certs "$demo/pki/certs/vexal-chain.pem" -key "$demo/pki/certs/vexal.key" -h sha256 \
    -in "$installer" -out "$demo/www/ZyrelInstall.exe" >/dev/null || exit 1
echo "signed by: $(openssl x509 -noout -subject -in "$demo/pki/certs/vexal.pem")"

if [ -z "$url" ]; then
    build/default/tests/bin/demo_server "$demo/www" >"$demo/server.out" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        [ -s "$demo/server.out" ] && break
        sleep 0.05
    done
    url="$(head -n 1 "$demo/server.out")/ZyrelInstall.exe"
    echo "serving it at $url"
fi

ui=${ZYREL_UI:-}
if [ -z "$ui" ]; then
    if [ -t 2 ]; then ui=terminal; else ui=none; fi
fi
if [ "$wine_ready" = 1 ]; then
    echo "the installer will run through Wine (prefix $WINEPREFIX)"
else
    echo "NOTE: Wine is not available here, so the downloaded installer cannot be started;"
    echo "      the download and the signature check still run, and the start fails (#6003)."
fi

echo
echo "==== Running ZyrelDownloader -downloadurl $url -language de -username demo ${extra[*]}"
TMPDIR=$demo/tmp ZYREL_UI=$ui \
    SSL_CERT_FILE=$demo/pki/certs/root.pem SSL_CERT_DIR=$demo/pki/certs/no-system-roots \
    ZYREL_DEMO_RECORD=$demo/installer-command-line.txt \
    build/default/launcher/ZyrelDownloader -downloadurl "$url" -language de -username demo "${extra[@]}"
status=$?
echo "ZyrelDownloader exited with code $status"

if [ "$wine_ready" = 1 ]; then
    # Wine takes a while to start the installer, the first time much longer.
    for _ in $(seq 600); do
        [ -s "$demo/installer-command-line.txt" ] && break
        sleep 0.1
    done
fi

echo
echo "==== The log ($demo/tmp/ZyrelDownloader.log)"
grep -v '\[DBG\] Progress' "$demo/tmp/ZyrelDownloader.log" 2>/dev/null || echo "(no log)"
echo
echo "==== What the demo installer received"
if [ -s "$demo/installer-command-line.txt" ]; then
    cat "$demo/installer-command-line.txt"
else
    echo "(the installer did not run)"
fi
echo
echo "The downloaded installer stays in $demo/tmp/ZyrelDownloader-*; the demo folder is $demo."
exit $status
