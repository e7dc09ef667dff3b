#!/usr/bin/env bash
# Builds everything and runs every test: Linux (release, ASan+UBSan, TSan, valgrind),
# the 32-bit Windows program, and the Windows tests under Wine. Installs whatever the
# build needs first. Exits non-zero when any stage fails; a stage that could not run is
# reported as not run, never as passed.
#
#   scripts/test-all.sh            everything
#   ZYREL_STAGES="linux windows" scripts/test-all.sh    only some stages
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

# shellcheck source=lib/install-deps.sh
source scripts/lib/install-deps.sh
# shellcheck source=lib/virtual-display.sh
source scripts/lib/virtual-display.sh

stages=${ZYREL_STAGES:-"linux asan tsan valgrind windows packages fuzz"}
wants() { case " $stages " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }

declare -a summary=()
failed=0
record() { # stage, outcome
    summary+=("$(printf '%-34s %s' "$1" "$2")")
    case "$2" in FAILED*) failed=1 ;; esac
}

run_stage() { # name, command...
    local name=$1
    shift
    echo
    echo "==== $name"
    local started=$SECONDS
    if "$@"; then
        record "$name" "passed ($((SECONDS - started)) s)"
    else
        record "$name" "FAILED ($((SECONDS - started)) s)"
    fi
}

configure_and_build() { # preset, extra cmake arguments...
    local preset=$1
    shift
    mkdir -p build
    cmake --preset "$preset" -DZYREL_WERROR=ON "$@" >"build/$preset.configure.log" 2>&1 ||
        { cat "build/$preset.configure.log"; return 1; }
    cmake --build --preset "$preset"
}

linux_tests() { # preset
    configure_and_build "$1" && ctest --preset "$1" --output-on-failure -j "$(nproc)"
}

valgrind_tests() {
    local program status=0
    for program in build/default/tests/bin/*Test; do
        case "$(basename "$program")" in
            # the container library, where leaks would hide first
            StringTest | UtfTest | VectorTest | UnorderedContainerTest) ;;
            *) continue ;;
        esac
        echo "-- valgrind $(basename "$program")"
        valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
            --error-exitcode=99 "$program" --gtest_brief=1 || status=1
    done
    return $status
}

# Wine creates windows only with a display; the window tests get a virtual one
# (lib/virtual-display.sh). A wineserver that was started without a display keeps failing
# window calls later, so the server is stopped before and after.
#
# The Wine prefixes (scripts/wine-run) are this clone's own: the window tests find their
# dialogs by title, and two runs on one machine sharing a prefix, and so a wineserver and a
# desktop, would press each other's buttons.
export ZYREL_WINE_ROOT=${ZYREL_WINE_ROOT:-$root/build/wine}
stop_wine_servers() {
    local prefix
    for prefix in "$ZYREL_WINE_ROOT"/win32 "$ZYREL_WINE_ROOT"/win64; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    done
    return 0
}
wine_tests() { # preset
    local status xvfb_pid=""
    configure_and_build "$1" || return 1
    stop_wine_servers
    start_virtual_display 90 119 || echo "zyrel: no virtual display: the Windows window tests will report themselves skipped"
    ctest --preset "$1" --output-on-failure
    status=$?
    stop_wine_servers
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    unset DISPLAY
    return $status
}

fuzz_brief() {
    configure_and_build fuzz || return 1
    local target status=0
    # The whole-file target starts from the signed fixtures, as real files, and trusts their root.
    local fixtures=build/fuzz/signature-fixtures seeds=build/fuzz/signed-pe-seeds
    bash scripts/lib/make-signature-fixtures.sh "$fixtures" >/dev/null || return 1
    rm -rf "$seeds" && mkdir -p "$seeds" && cp "$fixtures"/*.exe "$seeds"/
    for target in build/fuzz/fuzz/bin/*Fuzz; do
        [ -x "$target" ] || continue
        echo "-- $(basename "$target") for 30 s"
        if [ "$(basename "$target")" = SignedPeFuzz ]; then
            SIGNATURE_FUZZ_ROOT=$fixtures/certs/root.pem "$target" -max_total_time=30 -max_len=2200000 \
                -rss_limit_mb=4096 -print_final_stats=1 "$seeds" 2>&1 | tail -n 12 || status=1
        else
            "$target" -max_total_time=30 -print_final_stats=1 2>&1 | tail -n 12 || status=1
        fi
    done
    return $status
}

if ! install_linux_deps; then
    echo "zyrel: the Linux build's packages could not be installed" >&2
    exit 1
fi
# Wine and MinGW-w64 first: the Linux tests run the real wine too (a prefix's registry, the
# client started through it), and would only skip those cases on a new machine.
windows_deps=0
if wants windows; then
    install_windows_deps && windows_deps=1
fi

wants linux && run_stage "Linux tests (default)" linux_tests default
wants asan && run_stage "Linux tests (ASan + UBSan)" linux_tests asan
wants tsan && run_stage "Linux tests (TSan)" linux_tests tsan
if wants valgrind; then
    if [ -d build/default/tests/bin ]; then
        run_stage "valgrind memcheck (containers)" valgrind_tests
    else
        record "valgrind memcheck (containers)" "not run: the default build is missing"
    fi
fi

# ---- libcurl for Windows ----------------------------------------------------------------
# The static Schannel libcurl of the MinGW presets, built once per version and machine type
# into a cache outside the clone (scripts/lib/build-windows-curl.sh); later runs reuse it.
# Configuring a MinGW preset only looks for it, so it is made here, before that.
windows_curl() {
    bash scripts/lib/build-windows-curl.sh i686-w64-mingw32 >build/windows-curl.log 2>&1 &&
        bash scripts/lib/build-windows-curl.sh x86_64-w64-mingw32 >>build/windows-curl.log 2>&1 ||
        { tail -n 40 build/windows-curl.log; return 1; }
}
# ---- end libcurl for Windows ------------------------------------------------------------

if wants windows; then
    if [ $windows_deps = 1 ]; then
        mkdir -p build
        run_stage "Windows libcurl (cached build)" windows_curl
        run_stage "Windows 32-bit program (build)" configure_and_build mingw-i686
        run_stage "Windows program reproducible (.exe, .zip)" bash scripts/lib/check-reproducible.sh
        if [ "${ZYREL_WINE32:-0}" = 1 ]; then
            run_stage "Windows 32-bit tests (Wine)" wine_tests mingw-i686
        elif [ "${ZYREL_WINE64:-0}" = 1 ]; then
            echo "zyrel: Windows 32-bit tests NOT RUN: this machine's kernel cannot execute 32-bit programs; running the 64-bit Windows build's tests under 64-bit Wine instead."
            record "Windows 32-bit tests (Wine)" "not run: the kernel cannot execute 32-bit programs"
            run_stage "Windows 64-bit tests (Wine)" wine_tests mingw-x86_64
        else
            echo "zyrel: Windows tests NOT RUN: Wine could not be installed on this machine."
            record "Windows tests (Wine)" "not run: Wine could not be installed"
        fi
    else
        echo "zyrel: Windows build NOT RUN: the MinGW-w64 packages could not be installed."
        record "Windows build and tests" "FAILED: MinGW-w64 could not be installed"
    fi
fi

if wants packages; then
    if [ -x build/default/launcher/ZyrelDownloader ]; then
        package_kinds=linux
        [ -f build/mingw-i686/launcher/ZyrelDownloader.exe ] && package_kinds="linux windows"
        # shellcheck disable=SC2086
        run_stage "packages (.deb, .zip)" scripts/lib/check-packages.sh $package_kinds
    else
        record "packages (.deb, .zip)" "not run: the default build is missing"
    fi
fi

if wants fuzz; then
    if [ -d tests/fuzz ]; then
        run_stage "fuzz targets (30 s each)" fuzz_brief
    fi
fi

echo
echo "==== Summary"
printf '%s\n' "${summary[@]}"
exit $failed
