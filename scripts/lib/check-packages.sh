#!/usr/bin/env bash
# Builds the packages of the built programs and checks what is in them:
#   - the .deb of build/default: its files, its declared dependencies, and that the program
#     unpacked into a clean folder tree runs (it starts a stand-in client and says so in its
#     log);
#   - the .zip of build/mingw-i686: the Windows program and the README.
#
#   scripts/lib/check-packages.sh [linux] [windows]
set -u
cd "$(dirname "$0")/../.." || exit 1
status=0
fail() { echo "check-packages: $*" >&2; status=1; }

check_deb() {
    (cd build/default && cpack -G DEB >cpack.log 2>&1) || { cat build/default/cpack.log; fail "cpack DEB failed"; return; }
    local deb
    deb=$(ls build/default/zyreldownloader_*_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || { fail "no .deb was made"; return; }
    echo "-- $deb"
    local listing fields
    listing=$(dpkg-deb -c "$deb")
    for file in ./usr/bin/ZyrelDownloader ./usr/share/applications/zyreldownloader.desktop ./usr/share/doc/ZyrelDownloader/README.md; do
        grep -q " $file\$" <<<"$listing" || fail "$file is missing from the .deb"
    done
    fields=$(dpkg-deb -f "$deb" Depends Recommends)
    grep -q 'libcurl4' <<<"$fields" || fail "the .deb does not depend on libcurl4"
    grep -q 'libssl3' <<<"$fields" || fail "the .deb does not depend on libssl3"
    grep -q '^Recommends:.*libgtk-3-0' <<<"$fields" || fail "the .deb does not recommend GTK 3"
    grep -q '^Depends:.*gtk' <<<"$fields" && fail "GTK must only be recommended"

    local tree
    tree=$(mktemp -d)
    dpkg-deb -x "$deb" "$tree/root"
    mkdir -p "$tree/client" "$tree/tmp" "$tree/registry"
    cp /bin/true "$tree/client/ZyrelClient.exe"
    # The configuration travels in the stripped program too.
    objcopy --dump-section .zyrel_rcdata_111="$tree/configuration.ini" "$tree/root/usr/bin/ZyrelDownloader" /dev/null ||
        fail "the packaged program lost its embedded configuration"
    TMPDIR=$tree/tmp ZYREL_REGISTRY_ROOT=$tree/registry ZYREL_UI=none \
        "$tree/root/usr/bin/ZyrelDownloader" -existing "$tree/client" || fail "the packaged program failed"
    grep -q "Launching $tree/client/ZyrelClient.exe" "$tree/tmp/ZyrelDownloader.log" ||
        fail "the packaged program did not start the client"
    rm -rf "$tree"
}

check_zip() {
    (cd build/mingw-i686 && cpack -G ZIP >cpack.log 2>&1) || { cat build/mingw-i686/cpack.log; fail "cpack ZIP failed"; return; }
    local zip
    zip=$(ls build/mingw-i686/ZyrelDownloader-*-windows-*.zip 2>/dev/null | head -n 1)
    [ -n "$zip" ] || { fail "no .zip was made"; return; }
    echo "-- $zip"
    local listing
    listing=$(unzip -Z1 "$zip")
    grep -qx 'ZyrelDownloader.exe' <<<"$listing" || fail "ZyrelDownloader.exe is missing from the .zip"
    grep -qx 'README.md' <<<"$listing" || fail "README.md is missing from the .zip"
}

what=${*:-linux windows}
case " $what " in *" linux "*) check_deb ;; esac
case " $what " in *" windows "*) check_zip ;; esac
[ $status = 0 ] && echo "check-packages: the packages are complete"
exit $status
