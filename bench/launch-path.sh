#!/usr/bin/env bash
# The launch path: from the exec of ZyrelDownloader with an installed client to the
# client's start, against a bare exec of the same client, in one hyperfine run.
#
#   bench/launch-path.sh [build folder]      (default: build/default)
#
# The program returns once posix_spawn has exec'd the client (glibc's posix_spawn only
# returns after the exec succeeded or failed), so its run time covers the whole path:
# loading, the log file, the settings and configuration, the install lookup and the
# client's exec. The client is /bin/true under the client's file name.
set -eu
build=${1:-build/default}
program=$(realpath "$build/launcher/ZyrelDownloader")
command -v hyperfine >/dev/null || { echo "hyperfine is needed (apt-get install hyperfine)" >&2; exit 1; }
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox/client" "$sandbox/tmp" "$sandbox/prefix"
cp /bin/true "$sandbox/client/ZyrelClient.exe"
export TMPDIR=$sandbox/tmp WINEPREFIX=$sandbox/prefix ZYREL_UI=none
hyperfine -N --warmup 50 --runs "${RUNS:-1000}" \
    "$program -existing $sandbox/client" \
    "$sandbox/client/ZyrelClient.exe"
