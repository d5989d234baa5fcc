#!/usr/bin/env bash
# The signing step of the Windows programs, checked with throw-away certificates: a
# self-signed code-signing certificate valid for two days, and a time-stamping authority
# of its own served on a loopback port (scripts/lib/timestamp-server.pl). For each build:
# - a release build (CMAKE_BUILD_TYPE Release) given a certificate but no time-stamping
#   service refuses to configure;
# - the build signs, time-stamps and verifies PeltoUserInstall_H.exe and pelto-cipher.exe
#   as a vendor's build does (cmake/PeltoSigning.cmake); in the first build, a signature
#   that does not verify against the roots given for the check fails the build;
# - both signatures still verify as of a day after the certificate has expired: the time
#   stamp is what keeps the publisher known.
# The builds are configured without the certificate again at the end, whatever happened.
#   bash scripts/sign-windows.sh BUILD_DIR...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

builds=("$@")
((${#builds[@]})) || { echo "usage: sign-windows.sh BUILD_DIR..." >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelto-sign.XXXXXX")
timestamp_server=
cleanup() {
    if [[ -n $timestamp_server ]]; then
        kill "$timestamp_server" 2>/dev/null || true
        wait "$timestamp_server" 2>/dev/null || true
    fi
    for build in "${builds[@]}"; do
        cmake -U 'PELTO_SIGN_*' "$build" >/dev/null 2>&1 || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

certificate() { # certificate NAME DAYS EXTENDED_KEY_USAGE
    run_logged "$work/openssl.log" openssl req -x509 -newkey rsa:2048 -sha256 -days "$2" -nodes \
        -subj "/CN=PeltoUserInstall_H throw-away $1" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=$3" \
        -keyout "$work/$1-key.pem" -out "$work/$1.pem"
}
certificate signer 2 codeSigning
certificate stranger 2 codeSigning
certificate timestamps 30 critical,timeStamping

cat >"$work/tsa.cnf" <<CNF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $work/tsa-serial
crypto_device = builtin
signer_cert = $work/timestamps.pem
signer_key = $work/timestamps-key.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 >"$work/tsa-serial"
perl scripts/lib/timestamp-server.pl "$work/tsa.cnf" "$work" "$work/port" 2>"$work/tsa.log" &
timestamp_server=$!
for _ in $(seq 100); do
    [[ -s $work/port ]] && break
    sleep 0.1
done
[[ -s $work/port ]] || { echo "the time-stamping service did not start" >&2; cat "$work/tsa.log" >&2; exit 1; }
url=http://127.0.0.1:$(cat "$work/port")
# A day after the signer's certificate has expired.
later=$(($(date +%s) + 3 * 86400))

signing=(-D "PELTO_SIGN_CERT=$work/signer.pem" -D "PELTO_SIGN_KEY=$work/signer-key.pem")
first=1
for build in "${builds[@]}"; do
    if grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
        if cmake "${signing[@]}" "$build" >"$work/no-timestamp.log" 2>&1; then
            echo "$build: a release build was configured to sign without a time stamp" >&2
            exit 1
        fi
        grep -q PELTO_SIGN_TIMESTAMP_URL "$work/no-timestamp.log" ||
            { cat "$work/no-timestamp.log" >&2; exit 1; }
        echo "refused: a release signature without a time stamp ($build)"
    fi
    if ((first)); then
        # Verified against roots that do not hold the signer: the build must fail.
        run_logged "$work/configure.log" cmake "${signing[@]}" -D "PELTO_SIGN_TIMESTAMP_URL=$url" \
            -D "PELTO_SIGN_VERIFY_CAFILE=$work/stranger.pem" \
            -D "PELTO_SIGN_VERIFY_TSA_CAFILE=$work/timestamps.pem" "$build"
        if cmake --build "$build" --target pelto-cipher >"$work/unverified.log" 2>&1; then
            echo "$build: a signature that does not verify passed the build" >&2
            exit 1
        fi
        grep -q "signature not verified" "$work/unverified.log" || { cat "$work/unverified.log" >&2; exit 1; }
        echo "refused: a signature that does not verify ($build)"
        first=0
    fi
    run_logged "$work/configure.log" cmake "${signing[@]}" -D "PELTO_SIGN_TIMESTAMP_URL=$url" \
        -D "PELTO_SIGN_VERIFY_CAFILE=$work/signer.pem" \
        -D "PELTO_SIGN_VERIFY_TSA_CAFILE=$work/timestamps.pem" "$build"
    run_logged "$work/build.log" cmake --build "$build" --target PeltoUserInstall_H pelto-cipher
    for exe in "$build"/bin/PeltoUserInstall_H.exe "$build"/bin/pelto-cipher.exe; do
        run_logged "$work/verify.log" osslsigncode verify -CAfile "$work/signer.pem" \
            -TSA-CAfile "$work/timestamps.pem" -time "$later" -in "$exe"
        grep -q "Timestamp Server Signature verification: ok" "$work/verify.log" ||
            { cat "$work/verify.log" >&2; exit 1; }
        echo "signed, time-stamped and verified after the certificate's end: $exe"
    done
done
