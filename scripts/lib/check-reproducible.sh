#!/usr/bin/env bash
# Builds the 32-bit Windows program a second time, from the same commit in another folder
# and at another time, and checks that the program and its .zip are byte for byte the same
# as the ones in build/mingw-i686 (which the windows stage has built).
#
#   scripts/lib/check-reproducible.sh
#
# The second tree is a detached git worktree of HEAD, removed afterwards; with uncommitted
# changes there is nothing to compare against, and the check says so and fails rather than
# pass unseen.
set -u
cd "$(dirname "$0")/../.." || exit 1
root=$(pwd)
preset=mingw-i686

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible: the tree has uncommitted changes; commit them to compare two builds of one commit" >&2
    exit 1
fi
first=$root/build/$preset
[ -f "$first/launcher/ZyrelDownloader.exe" ] || { echo "check-reproducible: build $preset first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zyrel-reproducible.XXXXXX")
cleanup() {
    git -C "$root" worktree remove --force "$work/tree" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
git -C "$root" worktree add --detach "$work/tree" HEAD >/dev/null 2>&1 ||
    { echo "check-reproducible: no worktree could be made" >&2; exit 1; }

# Both packages are made now, the first build's too, so that only the folder and the time
# of the build differ (the package's file times come from the last commit either way).
status=0
(cd "$first" && rm -f ZyrelDownloader-*.zip && cpack -G ZIP >cpack.log 2>&1) ||
    { cat "$first/cpack.log"; exit 1; }
second=$work/tree/build/$preset
(cd "$work/tree" && cmake --preset $preset -DZYREL_WERROR=ON >"$work/configure.log" 2>&1 &&
    cmake --build --preset $preset --target ZyrelDownloader >"$work/build.log" 2>&1 &&
    cd "$second" && cpack -G ZIP >"$work/cpack.log" 2>&1) ||
    { tail -n 40 "$work"/*.log; exit 1; }

compare() { # what, first file, second file
    if cmp -s "$2" "$3"; then
        echo "check-reproducible: $1 is the same in both builds ($(stat -c %s "$2") bytes)"
    else
        echo "check-reproducible: $1 differs between two builds of one commit:" >&2
        cmp "$2" "$3" | head -n 1 >&2
        status=1
    fi
}
compare ZyrelDownloader.exe "$first/launcher/ZyrelDownloader.exe" "$second/launcher/ZyrelDownloader.exe"
zip_first=$(ls "$first"/ZyrelDownloader-*.zip | head -n 1)
compare "$(basename "$zip_first")" "$zip_first" "$second/$(basename "$zip_first")"
exit $status
