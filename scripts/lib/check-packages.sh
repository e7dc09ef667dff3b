#!/usr/bin/env bash
# Builds the packages of the built programs and checks what is in them:
#   - the .deb of build/default: its files (program, manual page, desktop entry and its icon,
#     AppStream metainfo, README, copyright, changelog), its declared dependencies and
#     recommendations (GTK, Wine), its version (the program's own --version), lintian (no
#     error, no warning, and no note about the hardening or the icon), desktop-file-validate
#     (no word at all), appstreamcli validate, and that the program unpacked into a clean
#     folder tree runs (it starts a stand-in client and says so in its log);
#   - the .zip of build/mingw-i686: the Windows program, the README and the licence texts of
#     everything linked into it; then a second .zip whose program cpack signed (with
#     scripts/sign-windows.sh) with a throwaway certificate made here: osslsigncode accepts
#     the signature, and under Wine the signed copy still runs and still reads its embedded
#     configuration (it logs the download address of resource 111 and tries it through a
#     closed proxy port on 127.0.0.1, so nothing leaves the machine).
#
#   scripts/lib/check-packages.sh [linux] [windows]
set -u
cd "$(dirname "$0")/../.." || exit 1
status=0
fail() { echo "check-packages: $*" >&2; status=1; }

project_version() {
    sed -n 's/^project(ZyrelDownloader VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt
}

check_deb() {
    (cd build/default && cpack -G DEB >cpack.log 2>&1) || { cat build/default/cpack.log; fail "cpack DEB failed"; return; }
    local deb version
    version=$(project_version)
    deb=build/default/zyreldownloader_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || { fail "no .deb $deb was made"; return; }
    echo "-- $deb"
    local listing fields doc=./usr/share/doc/zyreldownloader icons=./usr/share/icons/hicolor
    local metainfo=./usr/share/metainfo/example.zyrel.ZyrelDownloader.metainfo.xml
    listing=$(dpkg-deb -c "$deb")
    for file in ./usr/bin/ZyrelDownloader ./usr/share/applications/zyreldownloader.desktop \
        ./usr/share/man/man1/ZyrelDownloader.1.gz $doc/README.md $doc/copyright $doc/changelog.gz \
        $icons/48x48/apps/zyreldownloader.png $icons/256x256/apps/zyreldownloader.png $metainfo; do
        grep -q " $file\$" <<<"$listing" || fail "$file is missing from the .deb"
    done
    fields=$(dpkg-deb -f "$deb" Depends Recommends)
    grep -q 'libcurl4' <<<"$fields" || fail "the .deb does not depend on libcurl4"
    grep -q 'libssl3' <<<"$fields" || fail "the .deb does not depend on libssl3"
    grep -q '^Recommends:.*libgtk-3-0' <<<"$fields" || fail "the .deb does not recommend GTK 3"
    grep -q '^Depends:.*gtk' <<<"$fields" && fail "GTK must only be recommended"
    # Debian's wine is the launcher, wine64 or wine32 the Wine proper.
    grep -qE '^Recommends:(.*[ ,])?wine(,|$)' <<<"$fields" || fail "the .deb does not recommend wine"
    grep -qE '^Recommends:.*wine64 \| wine32' <<<"$fields" || fail "the .deb does not recommend wine64 | wine32"
    grep -q '^Depends:.*wine' <<<"$fields" && fail "Wine must only be recommended"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb's version is not $version"

    # lintian prints one line a tag ("E: package: tag ..."); errors and warnings fail,
    # information and pedantic notes do not. Its stderr says little more than that it runs
    # as root, and is shown only when lintian itself fails.
    # Its information tags (-I) are shown too: those about the hardening flags (a missing
    # stack protector, fortified call, PIE, RELRO, BIND_NOW) and the icon fail, as a
    # distribution's own package would not have them.
    local report
    report=$(lintian -I --fail-on none "$deb" 2>build/default/lintian.log) ||
        { cat build/default/lintian.log; fail "lintian could not check the .deb"; }
    echo "lintian: ${report:-no errors, no warnings, no information}"
    grep -E '^[EW]: ' <<<"$report" >/dev/null && fail "lintian reports errors or warnings"
    grep -E '^I: [^ ]+ (hardening-[a-z-]+|[a-z-]*icon[a-z-]*)( |$)' <<<"$report" >/dev/null &&
        fail "lintian has notes about the hardening or the icon"

    local tree
    tree=$(mktemp -d)
    dpkg-deb -x "$deb" "$tree/root"
    report=$(desktop-file-validate "$tree/root/usr/share/applications/zyreldownloader.desktop" 2>&1)
    [ -z "$report" ] || fail "desktop-file-validate: $report"
    # The entry names its icon by the theme's name, which the package's PNGs carry at their
    # sizes.
    grep -qx 'Icon=zyreldownloader' "$tree/root/usr/share/applications/zyreldownloader.desktop" ||
        fail "the desktop entry does not name the icon zyreldownloader"
    local size
    for size in 48 256; do
        file -b "$tree/root/${icons#./}/${size}x$size/apps/zyreldownloader.png" | grep -q "^PNG image data, $size x $size," ||
            fail "the ${size}x$size icon is not a PNG of that size"
    done
    report=$(appstreamcli validate --no-net "$tree/root/${metainfo#./}" 2>&1) ||
        fail "appstreamcli validate: $report"
    grep -q '<launchable type="desktop-id">zyreldownloader.desktop</launchable>' "$tree/root/${metainfo#./}" ||
        fail "the metainfo's launchable is not the package's desktop entry"
    grep -q '^License: Expat$' "$tree/root/${doc#./}/copyright" && grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$tree/root/${doc#./}/copyright" ||
        fail "the .deb's copyright is not the machine-readable MIT (Expat) file"
    [ "$(gzip -dc "$tree/root/${doc#./}/changelog.gz" | head -n 1 | sed -n 's/^zyreldownloader (\([^)]*\)).*/\1/p')" = "$version" ] ||
        fail "the .deb's changelog does not begin with $version"

    mkdir -p "$tree/client" "$tree/tmp"
    cp /bin/true "$tree/client/ZyrelClient.exe"
    # The configuration travels in the stripped program too.
    objcopy --dump-section .zyrel_rcdata_111="$tree/configuration.ini" "$tree/root/usr/bin/ZyrelDownloader" /dev/null ||
        fail "the packaged program lost its embedded configuration"
    local answer
    answer=$(TMPDIR=$tree/tmp "$tree/root/usr/bin/ZyrelDownloader" --version) || fail "the packaged program's --version failed"
    [ "$answer" = "ZyrelDownloader $version" ] || fail "the packaged program says '$answer', not ZyrelDownloader $version"
    [ -z "$(ls -A "$tree/tmp")" ] || fail "--version left files in the temporary folder"
    TMPDIR=$tree/tmp WINEPREFIX=$tree/prefix ZYREL_UI=none \
        "$tree/root/usr/bin/ZyrelDownloader" -existing "$tree/client" || fail "the packaged program failed"
    grep -q "Launching $tree/client/ZyrelClient.exe" "$tree/tmp/ZyrelDownloader.log" ||
        fail "the packaged program did not start the client"
    rm -rf "$tree"
}

# The licence texts that the .zip carries, and a line each must contain.
zip_licences=(
    "LICENSE.txt:Copyright (c) 2026 The ZyrelDownloader developers"
    "licenses/curl.txt:License: curl"
    "licenses/mingw-w64.txt:mingw-w64-libraries/winpthreads"
    "licenses/gcc-runtime.txt:GCC RUNTIME LIBRARY EXCEPTION"
    "licenses/GPL-3.txt:Version 3, 29 June 2007"
    "licenses/README.md:Licences of what the Windows program contains"
)

check_zip() {
    (cd build/mingw-i686 && cpack -G ZIP >cpack.log 2>&1) || { cat build/mingw-i686/cpack.log; fail "cpack ZIP failed"; return; }
    local zip version
    version=$(project_version)
    zip=$(ls build/mingw-i686/ZyrelDownloader-"$version"-windows-*.zip 2>/dev/null | head -n 1)
    [ -n "$zip" ] || { fail "no .zip of version $version was made"; return; }
    echo "-- $zip"
    local listing entry
    listing=$(unzip -Z1 "$zip")
    grep -qx 'ZyrelDownloader.exe' <<<"$listing" || fail "ZyrelDownloader.exe is missing from the .zip"
    grep -qx 'README.md' <<<"$listing" || fail "README.md is missing from the .zip"
    for entry in "${zip_licences[@]}"; do
        unzip -p "$zip" "${entry%%:*}" 2>/dev/null | grep -qF "${entry#*:}" ||
            fail "${entry%%:*} is missing from the .zip or is not the expected text"
    done
    # The version resource carries the same version (UTF-16 strings, a fourth number 0).
    unzip -p "$zip" ZyrelDownloader.exe | strings -el | grep -qx "$version.0" ||
        fail "the program's version information does not say $version.0"
    check_signing
}

# Starts Xvfb on a free display of ZYREL_PACKAGE_DISPLAYS (default 180-199) unless there is a
# display already; sets xvfb_pid when it started one.
xvfb_pid=""
# shellcheck source=virtual-display.sh
source scripts/lib/virtual-display.sh
virtual_display() {
    local range=${ZYREL_PACKAGE_DISPLAYS:-180-199}
    [ -n "${DISPLAY:-}" ] && return 0
    start_virtual_display "${range%-*}" "${range#*-}"
}

check_signing() {
    local work
    work=$(mktemp -d)
    (
        cd "$work" || exit 1
        openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 -subj "/CN=Throwaway Test Root" \
            -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign &&
            openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Vexal Norim Inc." &&
            printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext &&
            openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 -extfile signer.ext -out signer.pem &&
            openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile root.pem -passout pass:throwaway -out signer.p12
    ) >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; fail "the throwaway certificate could not be made"; rm -rf "$work"; return; }

    # The documented way: cpack with ZYREL_SIGN_PKCS12 signs the staged, stripped program
    # (scripts/sign-windows.sh), here into a .zip of its own next to the unsigned one.
    echo throwaway >"$work/password"
    (cd build/mingw-i686 && ZYREL_SIGN_PKCS12=$work/signer.p12 ZYREL_SIGN_PASSWORD_FILE=$work/password \
        cpack -G ZIP -B "$work/signed" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack with signing failed"; }
    local program=$work/ZyrelDownloader.exe
    unzip -q -o "$work"/signed/ZyrelDownloader-*.zip ZyrelDownloader.exe -d "$work" ||
        { fail "no signed .zip was made"; rm -rf "$work"; return; }
    osslsigncode verify -CAfile "$work/root.pem" -in "$program" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; fail "osslsigncode does not accept the signed program"; }

    # Which program runs under Wine: the signed 32-bit program itself where this machine can
    # run 32-bit programs; elsewhere a copy of the 64-bit build (the same code, the same
    # resource 111) signed with the same certificate, said so in one line. The 32-bit run is
    # never reported when it did not happen.
    if ! command -v wine >/dev/null 2>&1; then
        echo "check-packages: the signed program was NOT RUN: Wine is not installed"
        rm -rf "$work"
        return
    fi
    local machine_runs_i386=${ZYREL_WINE32:-}
    if [ -z "$machine_runs_i386" ]; then
        # shellcheck source=i386-probe.sh
        source scripts/lib/i386-probe.sh
        if can_run_i386; then machine_runs_i386=1; else machine_runs_i386=0; fi
    fi
    local build=build/mingw-i686
    if [ "$machine_runs_i386" = 1 ]; then
        echo "check-packages: the signed 32-bit program of the .zip runs under 32-bit Wine"
    else
        build=build/mingw-x86_64
        if [ ! -f $build/launcher/ZyrelDownloader.exe ]; then
            fail "this machine runs no 32-bit programs and there is no 64-bit build ($build) to run signed under Wine instead; the signed program was NOT RUN"
            rm -rf "$work"
            return
        fi
        program=$work/x86_64/ZyrelDownloader.exe
        mkdir -p "$work/x86_64"
        cp $build/launcher/ZyrelDownloader.exe "$program"
        x86_64-w64-mingw32-strip "$program" 2>/dev/null || true
        scripts/sign-windows.sh --pkcs12 "$work/signer.p12" --password-file "$work/password" "$program" >"$work/sign64.log" 2>&1 &&
            osslsigncode verify -CAfile "$work/root.pem" -in "$program" >>"$work/sign64.log" 2>&1 ||
            { cat "$work/sign64.log"; fail "the 64-bit build could not be signed and verified"; rm -rf "$work"; return; }
        echo "check-packages: this machine runs no 32-bit programs: the signed .zip's 32-bit program was checked" \
            "with osslsigncode only, and a signed copy of the 64-bit build runs under 64-bit Wine instead"
    fi
    run_signed_under_wine "$program" "$build/launcher/ZyrelDownloader.ini"
    rm -rf "$work"
}

# Runs a signed Windows program under Wine until its log shows the download address of its
# resource 111 (INI: the configuration it was built with). Wine gets a prefix of this
# check's own (its log folder, and a server that this check may stop), and a display,
# without which the program's window, and so its download, never starts.
run_signed_under_wine() { # program, ini
    local program=$1 ini=$2
    local saved_display=${DISPLAY:-}
    if ! virtual_display; then
        fail "no display (Xvfb) to run the signed program under Wine"
        return
    fi
    local url pid log="" found=0
    url=$(sed -n 's/^DownloadUrl=\(.*\)\r$/\1/p' "$ini")
    # Port 9 (discard) on 127.0.0.1 is closed: the download ends at once with code 7, and the
    # address of resource 111 goes to no resolver and no server.
    ZYREL_WINEPREFIX=$work/prefix scripts/wine-run "$program" -temp "Z:${work//\//\\}\\download" -proxy 127.0.0.1:9 \
        </dev/null >"$work/wine.log" 2>&1 &
    pid=$!
    # Until the log shows it, or the program has ended; a first start of Wine makes its
    # prefix, which a loaded machine may take minutes for, so the bound is only there
    # against a hung Wine.
    for _ in $(seq 1200); do
        log=$(ls "$work"/prefix/drive_c/users/*/Temp/ZyrelDownloader.log 2>/dev/null | head -n 1)
        if [ -n "$log" ] && grep -qF "Remote url: $url" "$log"; then
            found=1
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    # It now shows "Download failed" and waits for a user; it is this check's own process.
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""; }
    if [ -n "$saved_display" ]; then export DISPLAY=$saved_display; else unset DISPLAY; fi
    if [ $found = 1 ]; then
        echo "the signed program ran under Wine and read its configuration: Remote url: $url"
    else
        [ -n "$log" ] && cat "$log"
        fail "the signed program did not log the download address of its resource 111 ($url) under Wine"
    fi
}

what=${*:-linux windows}
case " $what " in *" linux "*) check_deb ;; esac
case " $what " in *" windows "*) check_zip ;; esac
[ $status = 0 ] && echo "check-packages: the packages are complete"
exit $status
