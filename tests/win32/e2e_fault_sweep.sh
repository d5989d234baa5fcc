#!/usr/bin/env bash
# The fault sweep over the Windows services under Wine (tests/win32/fault_sweep.cpp): the
# real run on Win32Machine with each call of steps 9 to 18 failing in turn, on the machine
# the end-to-end run prepares in the Wine prefix (its servers behind the ODBC server map,
# the update folder with the stand-in installer and updater, the registry keys, an earlier
# installation in C:\Pelto_H and no staging folder). The sweep saves that machine when it
# starts and puts it back before each run itself; nothing outside the prefix and this
# script's folder is touched.
#
# Called by scripts/test-windows.sh, which provides the Wine environment (WINEPREFIX,
# WINELOADER, WINESERVER, a live wineserver), for the 64-bit twin on the Korean prefix.
# What the sweep printed and logged stays in BUILD_FOLDER/fault-sweep/CODE_PAGE.
# Usage: tests/win32/e2e_fault_sweep.sh BUILD_FOLDER [CODE_PAGE] [--every-call | --calls=FIRST-LAST]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/fail-loudly.sh"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_machine.sh"

build=$(cd "${1:?build folder}" && pwd)
bin=$build/bin
code_page=${2:-949}
sweep_options=("${@:3}")
work=$build/fault-sweep/$code_page
wine=/usr/lib/wine/wine64
drive_c=$WINEPREFIX/drive_c
connect_to='HKLM\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo'
policies='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System'

rm -rf "$work"
mkdir -p "$work"
for exe in pelto-cipher.exe pelto_e2e_child.exe pelto_sweep_child.exe win32_fault_sweep.exe; do
    [[ -f $bin/$exe ]] || { echo "fault sweep: $bin/$exe is missing" >&2; exit 1; }
done

# The code the sweep's runs give: the institution of 12345678 (a reachable server, the
# update folder C:\업데이트) under the code the Linux sweep runs.
add_sweep_code() {
    sqlite3 "$central" "INSERT INTO PL_기관정보 SELECT '11111111', 자동업데이트경로, SQLNAME,
        SQLUSER, SQLPW, MainDB FROM PL_기관정보 WHERE 요양기관코드 = '12345678';"
}

# The sweep's own stand-in installer and updater (sweep_child.cpp) in the update folder.
use_small_programs() {
    cp "$bin/pelto_sweep_child.exe" "$update/installpelto_H.exe"
    cp "$bin/pelto_sweep_child.exe" "$update/PeltoUpdate_H.exe"
}

run_sweep() {
    local started=$SECONDS status=0
    PELTO_FAULT_SWEEP_FOLDER="Z:${work//\//\\}" "$wine" "$bin/win32_fault_sweep.exe" \
        "${sweep_options[@]}" >"$work/sweep.out" 2>"$work/sweep.err" </dev/null || status=$?
    check "the sweep held (exit status $status)" test "$status" -eq 0
    if ((status != 0)); then
        grep -aE 'Failure|fault at call|error' "$work/sweep.out" | head -n 40 >&2 || true
        echo "fault sweep: the whole output is in $work/sweep.out" >&2
    fi
    no_password() {
        ! grep -qaF -e 'hosp!pw1' -e 'other pw' -e 'TirMox' "$work/sweep.out" "$work/sweep.err"
    }
    check "no password on the sweep's standard output or error" no_password
    local figures
    figures=$(grep -a '^fault sweep under Wine' "$work/sweep.out" | tr -d '\r' || true)
    echo "${figures:-fault sweep under Wine: no figures} (code page $code_page; $((SECONDS - started)) s in all)"
}

start_servers
add_sweep_code
prepare_machine
use_small_programs
prepare_pelto_folder
run_sweep
echo "fault sweep: $passed passed, $failures failed"
((failures == 0))
