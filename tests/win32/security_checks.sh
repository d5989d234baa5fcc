#!/usr/bin/env bash
# Checks of the programs users receive that look at the built files or run them under
# Wine; scripts/test-windows.sh runs it in its Wine environment (prefix, wineserver,
# display) after the other tests.
#   bash tests/win32/security_checks.sh RUN_BUILD [OTHER_BUILD...]
# For every build folder: both programs are marked terminal-server aware, and neither
# imports odbc32.dll at start (it is delay-loaded from System32). In RUN_BUILD (the
# 64-bit build): PeltoUserInstall_H.exe started with a planted odbc32.dll beside it never
# loads that file, with Wine told to prefer a library in the program's folder, as Windows
# does for every library that is not a KnownDLL.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/fail-loudly.sh"

run_build=${1:?build folder}
status=0
fail() {
    echo "security check failed: $*" >&2
    status=1
}

for build in "$@"; do
    for exe in "$build"/bin/PeltoUserInstall_H.exe "$build"/bin/pelto-cipher.exe; do
        dump=$(objdump -p "$exe")
        characteristics=$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$dump")
        if (((16#$characteristics & 0x8000) == 0)); then
            fail "$exe is not terminal-server aware (DllCharacteristics $characteristics)"
        fi
        # objdump lists the import table only: mingw's delay imports are not in it.
        if grep -qiE 'DLL Name: *odbc32\.dll' <<<"$dump"; then
            fail "$exe imports odbc32.dll at start"
        fi
    done
done

# The planted library: a copy of the program in a folder of this check's own.
work=$(mktemp -d "${TMPDIR:-/tmp}/pelto-planted.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$run_build/bin/PeltoUserInstall_H.exe" "$run_build/planted/odbc32.dll" "$work/"
# The run stops at its first database step (no central server answers here): by then it
# has called ODBC, so odbc32.dll has been loaded.
run_status=0
env -u PELTO_ODBC_SERVER_MAP WINEDLLOVERRIDES="odbc32=n,b" \
    timeout 120 "$WINELOADER" "$work/PeltoUserInstall_H.exe" </dev/null >"$work/run.out" 2>&1 ||
    run_status=$?
if ((run_status != 10)); then
    fail "the program with a planted odbc32.dll ended with status $run_status, not 10" \
        "(central connection failed)"
    cat "$work/run.out" >&2
fi
if compgen -G "$work/*.loaded" >/dev/null; then
    fail "the program loaded the odbc32.dll planted beside it"
fi
if ((status == 0)); then
    echo "security checks passed: terminal-server aware, odbc32 delay-loaded, planted odbc32.dll not loaded"
fi
exit "$status"
