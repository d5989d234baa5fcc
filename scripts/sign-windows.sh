#!/usr/bin/env bash
# The signing step of the Windows programs, checked with a throw-away certificate: makes
# a self-signed code-signing certificate in a temporary folder, configures each given
# build with it (cmake/PeltoSigning.cmake), relinks PeltoUserInstall_H.exe and
# pelto-cipher.exe so that they are signed as a vendor's build signs them, and checks
# both signatures with `osslsigncode verify`. The builds are configured without the
# certificate again at the end, whatever happened.
#   bash scripts/sign-windows.sh BUILD_DIR...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

builds=("$@")
((${#builds[@]})) || { echo "usage: sign-windows.sh BUILD_DIR..." >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelto-sign.XXXXXX")
cleanup() {
    for build in "${builds[@]}"; do
        cmake -U 'PELTO_SIGN_*' "$build" >/dev/null 2>&1 || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

run_logged "$work/openssl.log" openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes \
    -subj "/CN=PeltoUserInstall_H throw-away test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/cert.pem"

for build in "${builds[@]}"; do
    run_logged "$work/configure.log" cmake -D "PELTO_SIGN_CERT=$work/cert.pem" \
        -D "PELTO_SIGN_KEY=$work/key.pem" "$build"
    run_logged "$work/build.log" cmake --build "$build" --target PeltoUserInstall_H pelto-cipher
    for exe in "$build"/bin/PeltoUserInstall_H.exe "$build"/bin/pelto-cipher.exe; do
        run_logged "$work/verify.log" osslsigncode verify -CAfile "$work/cert.pem" -in "$exe"
        echo "signed and verified: $exe"
    done
done
