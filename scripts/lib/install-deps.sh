# Installs the Debian packages the build needs, and only those that are missing.
# Sourced by the README's commands; call install_linux_deps and, for the Windows builds,
# install_windows_deps. Needs root (or sudo) only when something is actually missing.

ZYREL_LINUX_PACKAGES=(
    g++ cmake ninja-build pkg-config file
    libgtest-dev googletest libbenchmark-dev libfmt-dev
    libssl-dev libcurl4-openssl-dev libgtk-3-dev
    openssl osslsigncode valgrind xvfb
    # scripts/make-code-signing-roots.py, which the signature tests run
    python3
    clang libclang-rt-14-dev
    # the user-interface tests: GTK windows driven on Xvfb, the terminal line inside tmux
    xdotool tmux
    # the package check lists the Windows .zip, and lints the .deb, its desktop entry and
    # its AppStream metainfo
    unzip lintian desktop-file-utils appstream
)

ZYREL_WINDOWS_PACKAGES=(
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
    dpkg-dev  # dpkg-source, for the Windows libcurl built from Debian's curl source
)

_zyrel_sudo() {
    if [ "$(id -u)" = 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "zyrel: need root to install packages: $*" >&2
        return 1
    fi
}

# Prints the packages of "$@" that are not installed.
_zyrel_missing() {
    local package status
    for package in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
        [ "$status" = installed ] || echo "$package"
    done
}

_zyrel_updated=0
_zyrel_apt_update() {
    [ "$_zyrel_updated" = 1 ] && return 0
    # A mirror that is half-way through a sync makes one index fail to download; apt
    # reports that as an error although everything else was refreshed, so the outcome is
    # judged by the installs that follow, not by this exit code.
    _zyrel_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null 2>&1 || true
    _zyrel_updated=1
}

_zyrel_apt_install() {
    _zyrel_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

# Installs whatever of "$@" is missing; fails when something cannot be installed.
zyrel_install_packages() {
    local missing
    missing=$(_zyrel_missing "$@")
    [ -z "$missing" ] && return 0
    echo "zyrel: installing missing packages:" $missing
    _zyrel_apt_update
    # shellcheck disable=SC2086
    _zyrel_apt_install $missing
}

install_linux_deps() {
    zyrel_install_packages "${ZYREL_LINUX_PACKAGES[@]}"
}

# While the i386 index of the security archive is out of step with its amd64 index, the
# i386 libraries Wine needs cannot match the amd64 ones already installed and apt refuses
# the plan ("generated breaks"). Preferring the main archive for that one transaction,
# allowing the few downgrades that brings, gets a consistent set.
_zyrel_install_with_main_archive_preferred() {
    local pin=/etc/apt/preferences.d/zyrel-wine-transaction
    _zyrel_sudo sh -c "cat > $pin" <<'PIN'
Package: *
Pin: release l=Debian-Security
Pin-Priority: -1

Package: *
Pin: release n=bookworm,l=Debian
Pin-Priority: 1001
PIN
    _zyrel_apt_install --allow-downgrades "$@"
    local status=$?
    _zyrel_sudo rm -f "$pin"
    return $status
}

_zyrel_install_wine_packages() {
    local missing
    missing=$(_zyrel_missing "$@")
    [ -z "$missing" ] && return 0
    _zyrel_apt_update
    # shellcheck disable=SC2086
    _zyrel_apt_install $missing >/dev/null 2>&1 && return 0
    echo "zyrel: plain install of $missing failed; retrying with the main archive preferred"
    # shellcheck disable=SC2086
    _zyrel_install_with_main_archive_preferred $missing
}

# apt-get source (the Windows libcurl, scripts/lib/build-windows-curl.sh) needs a deb-src
# entry for the archive: the same addresses, suites and components as the binary entries,
# added once in a file of our own.
zyrel_ensure_deb_src() {
    grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ &&
        return 0
    echo "zyrel: adding deb-src entries beside the binary ones" >&2
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            _zyrel_sudo tee /etc/apt/sources.list.d/zyrel-deb-src.sources >/dev/null
    fi
    if [ -f /etc/apt/sources.list ] && grep -q '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
        sed -n -e 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list |
            _zyrel_sudo tee /etc/apt/sources.list.d/zyrel-deb-src.list >/dev/null
    fi
    # Retried while another install holds the lock.
    for _ in $(seq 30); do
        if _zyrel_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q -o DPkg::Lock::Timeout=60 >&2; then
            return 0
        fi
        apt-cache showsrc curl >/dev/null 2>&1 && return 0
        sleep 10
    done
    return 1
}

# Sets ZYREL_WINE32 and ZYREL_WINE64 to 1 when that Wine can run programs here.
install_windows_deps() {
    zyrel_install_packages "${ZYREL_WINDOWS_PACKAGES[@]}" || return 1
    ZYREL_WINE32=0
    ZYREL_WINE64=0
    # shellcheck source=i386-probe.sh
    source "$(dirname "${BASH_SOURCE[0]}")/i386-probe.sh"
    if can_run_i386; then
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            _zyrel_sudo dpkg --add-architecture i386
            _zyrel_updated=0
        fi
        if _zyrel_install_wine_packages wine wine32:i386 wine64; then
            ZYREL_WINE32=1
        fi
    else
        _zyrel_install_wine_packages wine wine64 || true
    fi
    if [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1; then
        ZYREL_WINE64=1
    fi
    export ZYREL_WINE32 ZYREL_WINE64
}
