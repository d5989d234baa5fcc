#!/usr/bin/env bash
# Installs what building, testing and the demo need on a minimal Debian 12 (as root).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lib/i386.sh"
export DEBIAN_FRONTEND=noninteractive

packages=(
    # build
    build-essential cmake ninja-build git pkg-config
    googletest libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    # iconv is glibc's; extended attributes for DOS attributes
    attr libattr1-dev
    # ODBC with real drivers
    unixodbc unixodbc-dev libsqliteodbc odbc-postgresql tdsodbc odbc-mdbtools mdbtools
    sqlite3 postgresql
    # the independent Rijndael for cross-checks and benchmarks
    libmcrypt-dev
    # locales for the ODBC drivers' wide-character conversions
    locales
    # the Windows builds and their tests under Wine
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64
    xvfb xdotool imagemagick fonts-nanum
    # signing the Windows programs, and the throw-away certificate that tests it
    osslsigncode openssl
    # npm's registry is reached over TLS; the scripts use these tools (script, from
    # bsdutils, gives the tests a pseudo-terminal)
    ca-certificates curl procps file binutils bsdutils
    # timing helpers for the benchmarks
    time
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The 32-bit program users receive runs under Wine only where the kernel runs 32-bit code:
# then wine32 sits beside wine64 (32-bit programs run in the same 64-bit prefix) with the
# 32-bit ODBC bridge and drivers. Both architectures must carry the same package versions,
# so apt may move some amd64 packages to the current point release.
i386_packages=(wine32:i386 libodbc2:i386 libsqliteodbc:i386 odbc-postgresql:i386)
if runs_32bit_code; then
    missing=()
    for p in "${i386_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
        fi
        apt-get update
        apt-get install -y --no-install-recommends "${missing[@]}"
    fi
else
    echo "install-deps: this kernel runs no 32-bit code; wine32 and the 32-bit ODBC drivers are not installed"
fi
# npm fetches the sample Jet database for the MDBTools tests; Debian's npm conflicts
# with a nodejs that ships its own, so only install it where neither is present.
if ! command -v npm >/dev/null 2>&1; then
    apt-get install -y --no-install-recommends npm
fi
