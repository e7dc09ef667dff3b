#!/usr/bin/env bash
# Signs the fake installer (tests/helpers/fake_program, built for Windows) for the Windows
# end-to-end tests, with the certificates of the signature fixtures:
#
#   scripts/lib/make-download-fixtures.sh <folder> <signature fixtures> <fake_program.exe>
#
# The folder afterwards holds vexal-installer.exe (signed by "Vexal Norim Inc."),
# other-installer.exe (signed by another publisher) and, written last, `ready`.
set -euo pipefail
out=${1:?usage: make-download-fixtures.sh <folder> <signature fixtures> <fake_program.exe>}
pki=${2:?}
program=${3:?}
mkdir -p "$out"
rm -f "$out/ready" "$out"/*.exe
[ -f "$pki/ready" ] || { echo "the signature fixtures in $pki are not ready" >&2; exit 1; }
for publisher in vexal other; do
    osslsigncode sign -certs "$pki/certs/$publisher-chain.pem" -key "$pki/certs/$publisher.key" -h sha256 \
        -in "$program" -out "$out/$publisher-installer.exe" >/dev/null
done
cp "$pki/certs/root.pem" "$out/root.pem"
touch "$out/ready"
