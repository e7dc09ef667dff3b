#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
#
#   scripts/build-and-run.sh
set -u
cd "$(dirname "$0")/.." || exit 1

# shellcheck source=lib/install-deps.sh
source scripts/lib/install-deps.sh
install_linux_deps || { echo "zyrel: the build's packages could not be installed" >&2; exit 1; }

mkdir -p build
cmake --preset default >build/default.configure.log 2>&1 || { cat build/default.configure.log; exit 1; }
cmake --build --preset default --target ZyrelDownloader || exit 1

echo
echo "==== Running build/default/launcher/ZyrelDownloader"
build/default/launcher/ZyrelDownloader "$@"
status=$?
echo "ZyrelDownloader exited with code $status"
exit $status
