#!/usr/bin/env bash
# Installer signature check on big installers: the program's check (bench/SignatureBench.cpp,
# CheckFileSignature as the dialog calls it) against `openssl dgst -sha256` over the same
# bytes (the limit: the check hashes them once) and `osslsigncode verify` (another verifier).
# Signed installers of 64 MiB, 512 MiB and 1 GiB: the fixtures' small test program with
# random data appended before signing, which the image hash covers (it lies between the
# last section and the certificate table). Page cache warm (one unmeasured run of each
# command first); wall time is the median of RUNS runs, peak RSS the largest, both from GNU
# time. Figures, never pass/fail; they go into bench/README.md.
#
#   bench/signature-bench.sh                  # 5 runs each
#   RUNS=9 SIZES="64 512" bench/signature-bench.sh
#
# The files live in a temporary folder under TMPDIR (or /tmp) and are removed as soon as
# their row is measured; a size for which the disk has no room (twice the file, plus a
# margin) is skipped with a note.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-5}
sizes=${SIZES:-"64 512 1024"}

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target SignatureBench >/dev/null
bench=$root/build/default/bench/bin/SignatureBench

work=$(mktemp -d "${TMPDIR:-/tmp}/zyrel-signature-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
bash scripts/lib/make-signature-fixtures.sh "$work/fixtures" >/dev/null
fixtures=$work/fixtures

# "median-wall-seconds peak-rss-KiB" of a command, after one unmeasured run that must
# succeed (and, for the check, give the verdict 0).
measure() {
    local output
    if ! output=$("$@" 2>&1) || [[ $output == *"ERROR OCCURRED"* ]]; then
        echo "failed: $*" >&2
        echo "$output" >&2
        return 1
    fi
    rm -f "$work"/time.* "$work"/rss.*
    local i start end
    for ((i = 0; i < runs; ++i)); do
        # GNU time's wall clock has centiseconds only: the wall time is taken around it.
        start=$(date +%s%N)
        /usr/bin/time -f "%M" -o "$work/rss.$i" "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        echo "$(((end - start) / 1000000)) $(cat "$work/rss.$i")" >"$work/time.$i"
    done
    cat "$work"/time.* | sort -n | awk -v n="$runs" '
        { wall[NR] = $1; if ($2 > rss) rss = $2 }
        END { printf "%.3f %d\n", wall[int((n + 1) / 2)] / 1000, rss }'
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo "| Installer | check: wall / peak RSS | openssl dgst -sha256: wall / peak RSS | check / openssl | osslsigncode verify: wall / peak RSS |"
echo "|---:|---:|---:|---:|---:|"
for size in $sizes; do
    free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
    if ((free_kib < size * 1024 * 2 + 256 * 1024)); then
        echo "| $size MiB | skipped: $((free_kib / 1024)) MiB free in $work | | | |"
        continue
    fi
    { cat "$fixtures/unsigned.exe"; head -c $((size * 1024 * 1024)) /dev/urandom; } >"$work/unsigned.exe"
    osslsigncode sign -certs "$fixtures/certs/vexal-chain.pem" -key "$fixtures/certs/vexal.key" -h sha256 \
        -in "$work/unsigned.exe" -out "$work/installer.exe" >/dev/null
    rm -f "$work/unsigned.exe"
    read -r check_wall check_rss < <(measure env ZYREL_BENCH_INSTALLER="$work/installer.exe" \
        SSL_CERT_FILE="$fixtures/certs/root.pem" SSL_CERT_DIR="$fixtures/certs/none" "$bench")
    read -r dgst_wall dgst_rss < <(measure openssl dgst -sha256 "$work/installer.exe")
    read -r peer_wall peer_rss < <(measure osslsigncode verify -CAfile "$fixtures/certs/root.pem" \
        -in "$work/installer.exe")
    ratio=$(awk -v a="$check_wall" -v b="$dgst_wall" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    echo "| $size MiB | ${check_wall} s / $(mib "$check_rss") MiB | ${dgst_wall} s / $(mib "$dgst_rss") MiB | ${ratio}x | ${peer_wall} s / $(mib "$peer_rss") MiB |"
    rm -f "$work/installer.exe"
done

# Shapes a hostile server or anyone on the way can give the publisher's genuine installer
# (bench/hostile-shapes.py): the work must stay bounded by the file, whatever it holds. Each
# against `openssl dgst -sha256` over the same file, with the verdict the check must reach.
hostile_size=${HOSTILE_MIB:-64}
{ cat "$fixtures/unsigned.exe"; head -c $((hostile_size * 1024 * 1024)) /dev/urandom; } >"$work/unsigned.exe"
osslsigncode sign -certs "$fixtures/certs/vexal-chain.pem" -key "$fixtures/certs/vexal.key" -h sha256 \
    -in "$work/unsigned.exe" -out "$work/installer.exe" >/dev/null
rm -f "$work/unsigned.exe"
shapes=(
    "digest list of 80,000 copies, $hostile_size MiB installer|digest-list 80000|800B0100"
    "65,535 sections over the same 1 MiB|sections 65535 1|800B0100"
    "1 MiB of certificates, $hostile_size MiB installer|certificates 1|800B0100"
    "largest blob accepted (32 certificates, 1 MiB), $hostile_size MiB installer|largest 1|0"
)
# The check alone, without the process around it (start-up, loading OpenSSL and the trust
# anchors: a fixed cost that small files cannot hide): the median of the bench's own timing.
check_alone() { # file, verdict
    local i
    for ((i = 0; i < runs; ++i)); do
        env ZYREL_BENCH_INSTALLER="$1" ZYREL_BENCH_VERDICT="$2" SSL_CERT_FILE="$fixtures/certs/root.pem" \
            SSL_CERT_DIR="$fixtures/certs/none" "$bench" --benchmark_format=csv 2>/dev/null |
            awk -F, '/^"CheckInstaller/ { print $3 }'
    done | sort -n | awk -v n="$runs" '{ t[NR] = $1 } END { printf "%.3f\n", t[int((n + 1) / 2)] / 1000 }'
}
echo
echo "| Hostile shape | file | verdict | check: wall / peak RSS | the check alone | openssl dgst -sha256: wall | check / openssl | check alone / openssl |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for shape in "${shapes[@]}"; do
    IFS='|' read -r what arguments verdict <<<"$shape"
    read -r kind rest <<<"$arguments"
    # shellcheck disable=SC2086 # the shape's own arguments
    python3 bench/hostile-shapes.py "$kind" "$work/installer.exe" "$work/shape.exe" $rest
    read -r check_wall check_rss < <(measure env ZYREL_BENCH_INSTALLER="$work/shape.exe" ZYREL_BENCH_VERDICT="$verdict" \
        SSL_CERT_FILE="$fixtures/certs/root.pem" SSL_CERT_DIR="$fixtures/certs/none" "$bench")
    read -r dgst_wall _ < <(measure openssl dgst -sha256 "$work/shape.exe")
    alone=$(check_alone "$work/shape.exe" "$verdict")
    ratio=$(awk -v a="$check_wall" -v b="$dgst_wall" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    alone_ratio=$(awk -v a="$alone" -v b="$dgst_wall" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    echo "| $what | $(mib $(($(stat -c %s "$work/shape.exe") / 1024))) MiB | 0x$verdict | ${check_wall} s / $(mib "$check_rss") MiB | ${alone} s | ${dgst_wall} s | ${ratio}x | ${alone_ratio}x |"
    rm -f "$work/shape.exe"
done
rm -f "$work/installer.exe"
