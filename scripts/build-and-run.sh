#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its main job for real:
#
#   1. makes a demo publisher "Vexal Norim Inc." under a demo root (openssl) and a small
#      Windows demo installer signed by it (MinGW-w64, osslsigncode), which installs a demo
#      client (ZyrelClient.exe, a copy of itself) and its uninstall entry into the demo's
#      Wine prefix;
#   2. serves the installer from a local server on 127.0.0.1;
#   3. runs ZyrelDownloader -downloadurl http://127.0.0.1:PORT/ZyrelInstall.exe -language de
#      -username demo, trusting the demo root for this run only (SSL_CERT_FILE; nothing is
#      added to the system's trust store), with the progress line on a terminal;
#   4. shows the log and what the demo installer received and did (it runs through Wine,
#      when Wine is there);
#   5. stops the server and runs the same command again, which now finds the installed
#      client through its uninstall entry and starts it, with no download; shows that log and
#      what the client printed, and fails when it downloaded or the client did not start;
#   6. stops Wine again.
#
# The demo prefix (ZYREL_DEMO_WINEPREFIX, else ~/.cache/zyrel-wine-demo) is kept between
# runs, as making one takes a while; the client and entry an earlier run installed are
# removed first, so every run starts from a machine without the client.
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
    if [ "$wine_ready" = 1 ]; then
        local folder
        for folder in "${TMPDIR:-/tmp}" "$demo/tmp" "$demo/tmp2"; do
            TMPDIR=$folder wineserver -k >/dev/null 2>&1
        done
    fi
    return 0
}
trap cleanup EXIT

echo
echo "==== Making the demo publisher and its signed installer"
bash scripts/lib/make-signature-fixtures.sh "$demo/pki" >"$demo/pki.log" 2>&1 ||
    { cat "$demo/pki.log"; echo "zyrel: the demo certificates could not be made" >&2; exit 1; }
installer=""
if [ "$wine_ready" = 1 ]; then
    # The installer's machine type follows the Wine that can run it here: 32-bit where this
    # machine runs 32-bit programs (scripts/lib/i386-probe.sh, ZYREL_RUNS_I386), 64-bit
    # elsewhere, which still writes the 32-bit view of the registry.
    compiler=i686-w64-mingw32-gcc
    bits=32
    if [ "${ZYREL_WINE32:-0}" != 1 ]; then
        compiler=x86_64-w64-mingw32-gcc
        bits=64
    fi
    if "$compiler" -municode -Os -s -o "$demo/demo-installer.exe" scripts/demo/demo-installer.c 2>"$demo/cc.log"; then
        installer=$demo/demo-installer.exe
        echo "demo installer and client: $bits-bit Windows programs"
    else
        cat "$demo/cc.log"
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
demo_client_folder="$WINEPREFIX/drive_c/Program Files/Zyrel Demo"
if [ "$wine_ready" = 1 ]; then
    echo "the installer will run through Wine (prefix $WINEPREFIX)"
    if [ -f "$WINEPREFIX/system.reg" ]; then
        # What an earlier run installed goes, so that the first run below downloads.
        echo "removing the demo client of an earlier run from the prefix"
        wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zyrel' /f /reg:32 >/dev/null 2>&1
        rm -rf "$demo_client_folder"
        # The registry reaches system.reg, where the program reads it, when Wine ends.
        timeout 120 wineserver -w
    fi
else
    echo "NOTE: Wine is not available here, so the downloaded installer cannot be started;"
    echo "      the download and the signature check still run, and the start fails (#6003)."
fi

# One run of the demo's command, with its temporary folder (and so its log) $2, and the file
# $3 where the demo installer or client records what it was started with.
run_demo() { # title, temporary folder, record file
    mkdir -p "$2"
    echo
    echo "==== $1: ZyrelDownloader -downloadurl $url -language de -username demo ${extra[*]}"
    TMPDIR=$2 ZYREL_UI=$ui \
        SSL_CERT_FILE=$demo/pki/certs/root.pem SSL_CERT_DIR=$demo/pki/certs/no-system-roots \
        ZYREL_DEMO_RECORD=$3 \
        build/default/launcher/ZyrelDownloader -downloadurl "$url" -language de -username demo "${extra[@]}"
    status=$?
    echo "ZyrelDownloader exited with code $status"
}
show_log() { # temporary folder
    echo
    echo "==== The log ($1/ZyrelDownloader.log)"
    grep -v '\[DBG\] Progress' "$1/ZyrelDownloader.log" 2>/dev/null || echo "(no log)"
}
run_demo Running "$demo/tmp" "$demo/installer-command-line.txt"

# Waits until the record file $1 has a line matching $2, or 60 s have passed (Wine takes a
# while to start a program, the first time in a prefix much longer).
wait_for_record() {
    for _ in $(seq 600); do
        grep -qE "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
if [ "$wine_ready" = 1 ]; then
    wait_for_record "$demo/installer-command-line.txt" '^(installed|FAILED)'
    # The uninstall entry is in system.reg only once Wine has ended. Debian's Wine keeps its
    # server's socket under TMPDIR, so the server to wait for is the one of the program's.
    TMPDIR=$demo/tmp timeout 120 wineserver -w
fi

show_log "$demo/tmp"
echo
echo "==== What the demo installer received and did"
if [ -s "$demo/installer-command-line.txt" ]; then
    cat "$demo/installer-command-line.txt"
else
    echo "(the installer did not run)"
fi
echo
echo "The downloaded installer stays in $demo/tmp/ZyrelDownloader-*; the demo folder is $demo."

# The second run: the client is installed now, so the same command starts it and downloads
# nothing. Only the demo installer installs a client, and only Wine runs it.
if [ "$wine_ready" != 1 ]; then
    echo "NOTE: without Wine no client was installed; the second run (start the installed client) is NOT RUN."
    exit $status
fi
if [ -z "$server_pid" ]; then
    echo "NOTE: the installer came from --url; the second run is left out."
    exit $status
fi
if ! grep -q '^installed' "$demo/installer-command-line.txt" 2>/dev/null; then
    echo "zyrel: the demo installer did not install the client" >&2
    exit 1
fi
# With the server gone, a download could not even begin.
kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
server_pid=""
run_demo "Running the same command again" "$demo/tmp2" "$demo/client-command-line.txt"
wait_for_record "$demo/client-command-line.txt" '^command line:'
TMPDIR=$demo/tmp2 timeout 120 wineserver -w

show_log "$demo/tmp2"
echo
echo "==== What the demo client printed"
cat "$demo/client-command-line.txt" 2>/dev/null || echo "(the client did not run)"
echo
loop=0
if grep -qE 'Download starting|Starting download thread' "$demo/tmp2/ZyrelDownloader.log" 2>/dev/null ||
    compgen -G "$demo/tmp2/ZyrelDownloader-*" >/dev/null; then
    echo "zyrel: the second run downloaded, although the client was installed" >&2
    loop=1
fi
grep -q 'Launching .*ZyrelClient\.exe' "$demo/tmp2/ZyrelDownloader.log" 2>/dev/null ||
    { echo "zyrel: the second run did not launch the installed client" >&2; loop=1; }
grep -q '^Zyrel demo client started' "$demo/client-command-line.txt" 2>/dev/null ||
    { echo "zyrel: the demo client did not start" >&2; loop=1; }
[ $loop = 0 ] || exit 1
echo "The second run started the installed client without a download."
exit $status
