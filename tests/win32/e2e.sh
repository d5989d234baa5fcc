#!/usr/bin/env bash
# The end-to-end run of the Windows program under Wine: PeltoUserInstall_H.exe on a fresh
# machine (the Wine prefix), its dialogs answered with xdotool on the Xvfb display, its
# databases reached through Wine's odbc32 bridge to the host's drivers (the central server
# in SQLite, an institution server in PostgreSQL), the registry and Pelto.ini checked
# afterwards, screenshots of the input box, the warning window and the completion message
# saved in the build folder.
#
# Called by scripts/test-windows.sh, which provides the Wine environment (WINEPREFIX,
# WINELOADER, WINESERVER, a live wineserver) and DISPLAY, once per program (the 64-bit twin,
# the 32-bit test build) and per prefix code page. What the run leaves in the registry and
# the files goes to BUILD_FOLDER/e2e/CODE_PAGE/result.txt; the stage compares them.
# Usage: tests/win32/e2e.sh BUILD_FOLDER [CODE_PAGE]     (e.g. build/windows-x64 949)
#
# The run is a sequence of named steps (the end of this file); a failed check names its
# step. What a completed run writes to the registry is read from
# tests/e2e/expected/completed-run.registry, which the Linux end-to-end test reads too.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/fail-loudly.sh"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_machine.sh"

build=$(cd "${1:?build folder}" && pwd)
bin=$build/bin
code_page=${2:-949}
work=$build/e2e/$code_page
wine=/usr/lib/wine/wine64
drive_c=$WINEPREFIX/drive_c
: "${DISPLAY:?a display is needed}"
expected_registry=$(cd "$(dirname "${BASH_SOURCE[0]}")/../e2e/expected" && pwd)/completed-run.registry
connect_to='HKLM\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo'
policies='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System'
ini=$drive_c/Pelto_H/bin/Pelto.ini

rm -rf "$work"
mkdir -p "$work/shots"

for exe in PeltoUserInstall_H.exe pelto-cipher.exe pelto_e2e_child.exe pelto_limited_run.exe; do
    [[ -f $bin/$exe ]] || { echo "e2e: $bin/$exe is missing" >&2; exit 1; }
done
[[ -s $expected_registry ]] || { echo "e2e: $expected_registry is missing" >&2; exit 1; }

# ---------------------------------------------------------------- run 0: no administrator rights
# The filtered token an unelevated start gives (Wine grants every process full rights but
# keeps that token): the run ends before it touches anything, the registry included.
run_not_elevated() {
    prepare_pelto_folder
    aliases_before=$(reg_query "$connect_to")
    untouched() { # untouched: nothing of the machine changed since prepare_pelto_folder
        [[ ! -e $drive_c/펠토사용자설치 && -e $drive_c/Pelto_H/Resource/a.dat &&
            $(cat "$drive_c/Pelto_H/bin/Pelto.ini") == x &&
            $(reg_query "$connect_to") == "$aliases_before" ]]
    }
    "$wine" "$bin/pelto_limited_run.exe" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 \
        >"$work/not-elevated.out" 2>&1 </dev/null &
    program=$!
    answered=()
    wait_window PeltoUserInstall 60 && shot not-elevated && press "$window" Return ||
        fail "not elevated: no message"
    await_end not-elevated
    check "not elevated: exit status 24 (got $status)" test "$status" -eq 24
    rm -f "$drive_c/limited.log"
    "$wine" "$bin/pelto_limited_run.exe" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 /SILENT \
        '/LOG=C:\limited.log' >"$work/not-elevated-silent.out" 2>&1 </dev/null &
    program=$!
    await_end not-elevated-silent
    check "not elevated, silent: exit status 24 without a window (got $status)" test "$status" -eq 24
    check "not elevated: the log says why" grep -q "exit status 24.*not elevated" "$drive_c/limited.log"
    check "not elevated: nothing touched, the registry included" untouched
}

# ---------------------------------------------------------------- run 1: the whole run
run_whole() {
    prepare_pelto_folder
    run_program first-key input:12345678 warning ok:shot
    check "first-key: exit status 0 (got $status)" test "$status" -eq 0

    # The registry: every value the expected file names, in the 32-bit view.
    aliases=$(reg_query "$connect_to")
    while IFS= read -r value; do
        check "alias ${value%%$'\t'*}" has_value "$aliases" "$value"
    done < <(expected_values "$expected_registry" "$connect_to")
    check "no alias for a reachable institution server" bash -c "! grep -q '^HOSP01' <<<'$aliases'"
    check "aliases below Wow6432Node as a 64-bit reader sees them" \
        has_values "$(reg_query "$(wow64_key "$connect_to")" 64)" \
        "$(expected_values "$expected_registry" "$connect_to")"
    # (Under Wine the policy key is one key in both views; the aliases show which view was written.)
    check "no alias in the 64-bit view" bash -c "! grep -q '^\"[^@]' <<<'$(reg_export "$connect_to")'"
    policy=$(reg_query "$policies")
    while IFS= read -r value; do
        check "policy ${value%%$'\t'*}" has_value "$policy" "$value"
    done < <(expected_values "$expected_registry" "$policies")

    expected_ini_text=$(printf '[General]\r\nskin=blue\r\n; the suite reads this file\r\n[Database Server]\r\nserver_name=HOSP01\r\ntimeout=30\r\nserver_id=doc\r\nserver_pwd=hosp!pw1\r\ndatabase_name=clinic\r\n[Print]\r\nport=LPT1')
    expected_ini=$(printf '%s' "$expected_ini_text" | od -An -tx1)
    # Byte for byte: the template's last line keeps its lack of a line end.
    ini_as_expected() { [[ $(od -An -tx1 <"$ini") == "$expected_ini" ]]; }
    check "Pelto.ini: template with the four keys" ini_as_expected
    ini_as_expected || { echo "Pelto.ini is:"; cat -A "$ini"; } >&2
    # (The stand-in installer makes an empty Resource folder again.)
    check "resource tree removed" \
        bash -c "[[ ! -e '$drive_c/Pelto_H/Resource/a.dat' && ! -e '$drive_c/Pelto_H/Resource/이미지' ]]"
    check "old settings files removed, capitals kept" \
        bash -c "[[ ! -e '$drive_c/Pelto_H/bin/old.ini' && -e '$drive_c/Pelto_H/bin/KEEP.INI' ]]"
    check "installer and updater copied" \
        test -f "$drive_c/펠토사용자설치/installpelto_H.exe" -a -f "$drive_c/펠토사용자설치/PeltoUpdate_H.exe"
    check "installer ended before the updater started, template copied after" \
        test "$(cat "$drive_c/Pelto_H/e2e.log")" == $'installer started\ninstaller ended\nupdater started; template copied yet: no'
    check "installer and updater started in the staging folder, not the run's own folder" \
        test "$(cat "$drive_c/Pelto_H/e2e-folders.log")" == $'installer in C:\\펠토사용자설치\nupdater in C:\\펠토사용자설치'

    cp "$drive_c/Pelto_H/bin/Pelto.ini" "$work/first-key-Pelto.ini"
}

# ---------------------------------------------------------------- run 2: second key, server down
# The staging folder still holds last run's programs, stale ones here: the run removes them
# before the copy, so the shell has nothing to ask about, and the update path's copies run.
run_second_key() {
    prepare_pelto_folder keep-staging
    echo stale >"$drive_c/펠토사용자설치/installpelto_H.exe"
    echo stale >"$drive_c/펠토사용자설치/PeltoUpdate_H.exe"
    run_program second-key input:22222222 warning ok
    check "second-key: exit status 0 (got $status)" test "$status" -eq 0
    check "second-key: the stale installer gave way to the update path's" \
        cmp -s "$drive_c/펠토사용자설치/installpelto_H.exe" "$update/installpelto_H.exe"
    check "named-pipe alias for the unreachable server, its Korean name intact" \
        grep -qxF '"병원02"="DBNMPNTW,\\\\병원02\\pipe\\sql\\query"' <(reg_export "$(wow64_key "$connect_to")")
    check "replaced programs ran in order" \
        test "$(cat "$drive_c/Pelto_H/e2e.log" 2>/dev/null)" == $'installer started\ninstaller ended\nupdater started; template copied yet: no'
    check "second key deciphered the password" \
        grep -qF "server_pwd=other pw" "$drive_c/Pelto_H/bin/Pelto.ini"
    check "Korean database name in code page 949" \
        grep -qF "$(printf 'database_name=병원DB' | iconv -f UTF-8 -t CP949)" "$drive_c/Pelto_H/bin/Pelto.ini"

    # What the two runs left, for the stage to compare across programs and code pages: both
    # keys as the registry exports them (UTF-16, whatever the code page), Pelto.ini's bytes,
    # the names in the staging and program folders.
    {
        for key in "$connect_to" "$policies"; do
            reg_export "$(wow64_key "$key")"
        done
        echo "Pelto.ini:"
        od -An -tx1 <"$drive_c/Pelto_H/bin/Pelto.ini"
        echo "files:"
        # The kept settings files lie in folders named by the time of the run.
        (cd "$drive_c" && find 펠토사용자설치 Pelto_H | LC_ALL=C sort) |
            sed -E 's#보관/[0-9]{8}-[0-9]{6}(-[0-9]+)?#보관/DATE#'
    } >"$work/result.txt"
}

# ---------------------------------------------------------------- run 3: a code with quotes
run_quoted_code() {
    prepare_pelto_folder
    run_program quoted "input:1' OR '1'='1" ok
    check "quoted code is an unknown code (status 12, got $status)" test "$status" -eq 12
    check "unknown code leaves the resource folder" test -e "$drive_c/Pelto_H/Resource/a.dat"
}

# ---------------------------------------------------------------- run 4: cancelled input
run_cancelled() {
    run_program cancelled cancel
    check "cancel ends with status 11 (got $status)" test "$status" -eq 11
}

# ---------------------------------------------------------------- run 4b: a second run at once
# While one run waits for its code, another starts (a double click, a deployment tool
# retrying): it ends at once, touching nothing but its log line.
run_second_at_once() {
    "$wine" "$bin/PeltoUserInstall_H.exe" >"$work/first-of-two.out" 2>&1 </dev/null &
    program=$!
    answered=()
    if wait_window PeltoUserInstall 60; then
        first_window=$window
        first_program=$program
        rm -f "$drive_c/second.log"
        second_status=0
        "$wine" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 /SILENT '/LOG=C:\second.log' \
            >"$work/second-of-two.out" 2>&1 </dev/null || second_status=$?
        check "a second run at once: exit status 23 (got $second_status)" test "$second_status" -eq 23
        check "a second run at once: its log line, naming both processes, and nothing else" \
            bash -c "grep -qE 'exit status 23\): another run \(process [0-9]+\) is under way on this machine; this run \(process [0-9]+\) touched nothing' '$drive_c/second.log' &&
                     ! grep -q 'installation run started' '$drive_c/second.log'"
        program=$first_program
        press "$first_window" Escape
    else
        fail "first of two runs: no input box"
    fi
    await_end first-of-two
    check "the first of two runs went on undisturbed (cancelled: status 11, got $status)" \
        test "$status" -eq 11
}

# ---------------------------------------------------------------- run 4c: a run ended from outside
# A run is ended while its installer works (Task Manager, a deployment tool's time-out):
# the installer still holds the machine's one run, so no run replaces the staged installer
# under it; once the installer has ended, a run goes ahead.
run_killed_while_installing() {
    prepare_pelto_folder
    echo 8 >"$drive_c/e2e-installer.seconds"
    rm -f "$drive_c/killed.log" "$drive_c/refused.log"
    "$wine" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 /SILENT '/LOG=C:\killed.log' \
        >"$work/killed.out" 2>&1 </dev/null &
    local killed=$! tries
    refused_run() { # a run beside the first; sets $status
        status=0
        "$wine" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 /SILENT '/LOG=C:\refused.log' \
            >"$work/refused.out" 2>&1 </dev/null || status=$?
    }
    for ((tries = 0; tries < 300; tries++)); do
        grep -qa "installer started, process" "$drive_c/killed.log" 2>/dev/null && break
        sleep 0.2
    done
    refused_run
    check "beside a run: exit status 23 (got $status)" test "$status" -eq 23
    local first
    first=$(grep -aoE 'another run \(process [0-9]+\) is under way' "$drive_c/refused.log" |
        grep -oE '[0-9]+' | head -1 || true)
    check "beside a run: its log line names the run" test -n "$first"
    if [[ -n $first ]]; then
        "$wine" taskkill /F /PID "$first" >"$work/taskkill.out" 2>&1 </dev/null || true
    fi
    wait "$killed" || true
    refused_run
    check "beside a killed run's installer: exit status 23 (got $status)" test "$status" -eq 23
    check "beside a killed run's installer: its log line says so" grep -qa \
        "a program that an earlier run (process $first) started is still running" "$drive_c/refused.log"
    check "the killed run's installer was still at work then" \
        bash -c "! grep -q 'installer ended' '$drive_c/Pelto_H/e2e.log'"
    for ((tries = 0; tries < 300; tries++)); do
        grep -q "installer ended" "$drive_c/Pelto_H/e2e.log" 2>/dev/null && break
        sleep 0.2
    done
    # The installer's process ends a moment after its last note.
    rm -f "$drive_c/e2e-installer.seconds"
    for ((tries = 0; tries < 20; tries++)); do
        refused_run
        ((status == 23)) || break
        sleep 0.5
    done
    check "after the installer has ended: a run completes (got $status)" test "$status" -eq 0
}

# ---------------------------------------------------------------- run 5: unattended
# No dialog may appear: one that did would wait for an answer nobody gives. The log goes
# where /LOG says, its missing folders made with the staging folder's rights. The updater
# fails here: the run goes on, and its exit status says it completed with faults, which the
# run log's last line names.
run_unattended() {
    prepare_pelto_folder keep-staging
    echo 7 >"$drive_c/Pelto_H/updater.exit"
    rm -rf "$drive_c/로그"
    "$wine" "$bin/PeltoUserInstall_H.exe" /code=12345678 /SILENT '/LOG=C:\로그\silent\silent.log' \
        >"$work/silent.out" 2>&1 </dev/null &
    program=$!
    await_end silent
    check "silent: exit status 16, completed with faults (got $status)" test "$status" -eq 16
    check "silent: the last log line names the updater's exit code" \
        grep -q "completed with faults: the updater ended with exit code 7" \
        <(tail -n 1 "$drive_c/로그/silent/silent.log")
    check "silent: the same Pelto.ini as the typed run" cmp -s "$work/first-key-Pelto.ini" "$drive_c/Pelto_H/bin/Pelto.ini"
    check "silent: the programs ran in order" \
        test "$(cat "$drive_c/Pelto_H/e2e.log" 2>/dev/null)" == $'installer started\ninstaller ended\nupdater started; template copied yet: no'
    check "silent: the run log went where /LOG said" grep -q "silent run" "$drive_c/로그/silent/silent.log"
    # Wine keeps rights as Unix permission bits: the staging folder's leave others none (the
    # Users group has no place there), where a folder made with default rights gives them
    # read and run.
    others_none() { [[ $(stat -c %a "$1") == *0 ]]; }
    check "silent: the log's new folders have the staging folder's rights" \
        bash -c "$(declare -f others_none); others_none '$drive_c/로그' && others_none '$drive_c/로그/silent'"
}

# ---------------------------------------------------------------- run 6: a log that cannot be had
# A folder where the /LOG file should be: the run ends before it touches anything, and says
# why on standard output.
run_without_log() {
    prepare_pelto_folder
    status=0
    "$wine" "$bin/PeltoUserInstall_H.exe" /CODE=12345678 /SILENT '/LOG=C:\Pelto_H\bin' \
        >"$work/no-log.out" 2>&1 </dev/null || status=$?
    check "unopenable /LOG: exit status 21 (got $status)" test "$status" -eq 21
    check "unopenable /LOG: the reason on standard output" \
        grep -qF 'the run log C:\Pelto_H\bin cannot be opened' "$work/no-log.out"
    check "unopenable /LOG: nothing touched" \
        bash -c "[[ -e '$drive_c/Pelto_H/Resource/a.dat' && ! -e '$drive_c/펠토사용자설치' ]]"
}

# ---------------------------------------------------------------- run 6b: a planted staging folder
# Another user made C:\펠토사용자설치 before the run, with rights that let Everyone change it
# (Wine keeps them as the Unix mode 0777), and put a library and an installer into it. The
# run never uses it: it is moved aside whole, and the programs run from a new folder that
# holds only what the run copied.
run_planted_staging() {
    prepare_pelto_folder
    rm -rf "$drive_c"/펠토사용자설치.[0-9]*
    staging=$drive_c/펠토사용자설치
    mkdir "$staging"
    chmod 0777 "$staging"
    echo planted >"$staging/version.dll"
    echo planted >"$staging/installpelto_H.exe"
    rm -f "$drive_c/silent.log"
    "$wine" "$bin/PeltoUserInstall_H.exe" /code=12345678 /SILENT '/LOG=C:\silent.log' \
        >"$work/planted.out" 2>&1 </dev/null &
    program=$!
    await_end planted
    check "planted: exit status 0 (got $status)" test "$status" -eq 0
    aside=("$drive_c"/펠토사용자설치.[0-9]*)
    holds_what_was_planted() { grep -qx planted "$1/version.dll" && grep -qx planted "$1/installpelto_H.exe"; }
    check "planted: the folder someone else made was moved aside whole" \
        holds_what_was_planted "${aside[0]}"
    check "planted: the staging folder holds only what the run copied" \
        test "$(cd "$staging" && ls -A | LC_ALL=C sort | tr '\n' ' ')" == "PeltoUpdate_H.exe installpelto_H.exe 보관 "
    check "planted: the copied installer and updater ran in order" \
        test "$(cat "$drive_c/Pelto_H/e2e.log" 2>/dev/null)" == $'installer started\ninstaller ended\nupdater started; template copied yet: no'
    check "planted: the run log says so" grep -q "moved aside" "$drive_c/silent.log"
    rm -rf "$drive_c"/펠토사용자설치.[0-9]*
}

# ---------------------------------------------------------------- run 6c: a file planted in the run's folder
# The staging folder is the run's own (the runs before made it), but someone put a library
# and a folder into it since. Before the copy the run empties it: the library is removed,
# the folder moved aside whole, and the installer starts in a folder that holds only what
# the run copied.
run_planted_file() {
    prepare_pelto_folder keep-staging
    rm -rf "$drive_c"/펠토사용자설치.[0-9]*
    staging=$drive_c/펠토사용자설치
    check "planted file: the runs before left their staging folder" test -d "$staging"
    echo planted >"$staging/version.dll"
    mkdir -p "$staging/plugins"
    echo planted >"$staging/plugins/helper.dll"
    rm -f "$drive_c/planted-file.log"
    "$wine" "$bin/PeltoUserInstall_H.exe" /code=12345678 /SILENT '/LOG=C:\planted-file.log' \
        >"$work/planted-file.out" 2>&1 </dev/null &
    program=$!
    await_end planted-file
    check "planted file: exit status 0 (got $status)" test "$status" -eq 0
    check "planted file: the installer saw only what the run copied" \
        test "$(cat "$drive_c/Pelto_H/e2e-staging.log" 2>/dev/null)" == \
        "installer saw: PeltoUpdate_H.exe installpelto_H.exe 보관"
    check "planted file: the log says what was removed" \
        grep -q "left there removed" "$drive_c/planted-file.log"
    aside=("$drive_c"/펠토사용자설치.[0-9]*)
    check "planted file: the planted folder was moved aside whole" \
        grep -qx planted "${aside[0]}/plugins/helper.dll"
    check "planted file: the planted library is gone" test ! -e "$staging/version.dll"
    rm -rf "$drive_c"/펠토사용자설치.[0-9]*
}

# ---------------------------------------------------------------- run 7: a plan, a restore
# A plan changes nothing and names what the run then does; after the run, a restore brings
# back the settings files of before, and a second one the run's.
run_plan_and_restore() {
    prepare_pelto_folder
    rm -rf "$drive_c"/펠토사용자설치
    # A policy value the run changes (the earlier runs wrote all of them), for the plan to
    # name.
    reg32 add "$policies" /v EnableLUA /t REG_DWORD /d 0 /f
    machine_state() { # every file with its size, time and mode, and both registry keys
        (cd "$drive_c" && find Pelto_H 펠토사용자설치 -exec stat -c '%n %s %Y %a' {} + 2>/dev/null |
            LC_ALL=C sort) || true
        reg_export "$(wow64_key "$connect_to")"
        reg_export "$(wow64_key "$policies")"
    }
    before=$(machine_state)
    status=0
    "$wine" "$bin/PeltoUserInstall_H.exe" /PLAN /code=12345678 /SILENT '/LOG=C:\plan.log' \
        >"$work/plan.out" 2>&1 </dev/null || status=$?
    plan=$(tr -d '\r' <"$work/plan.out")
    check "plan: the exit status the run will give (0, got $status)" test "$status" -eq 0
    check "plan: nothing on the machine changed" test "$(machine_state)" == "$before"
    check "plan: the log says a plan was made" grep -q "a plan is made" "$drive_c/plan.log"
    "$wine" "$bin/PeltoUserInstall_H.exe" /code=12345678 /SILENT '/LOG=C:\plan.log' \
        >"$work/planned-run.out" 2>&1 </dev/null &
    program=$!
    await_end planned-run
    check "plan: the run ends with the status planned (got $status)" test "$status" -eq 0
    for item in 'C:\Pelto_H\bin\Pelto.ini' 'C:\Pelto_H\bin\old.ini' \
        'C:\Pelto_H\Resource with everything in it: 2 file(s)' \
        'C:\펠토사용자설치\installpelto_H.exe (' 'C:\펠토사용자설치\PeltoUpdate_H.exe (' \
        '[Database Server] server_pwd: today (none) -> ********' 'EnableLUA: '; do
        check "plan names: $item" grep -qF "$item" <<<"$plan"
    done
    check "plan names where the settings files are kept" \
        grep -qE '보관\\[0-9]{8}-[0-9]{6}(-[0-9]+)?\\old\.ini' <<<"$plan"
    run_ini=$(od -An -tx1 <"$ini")
    status=0
    "$wine" "$bin/PeltoUserInstall_H.exe" /RESTORE /SILENT '/LOG=C:\plan.log' \
        >"$work/restore.out" 2>&1 </dev/null || status=$?
    check "restore: exit status 0 (got $status)" test "$status" -eq 0
    check "restore: the settings files of before are back" \
        bash -c "[[ \$(cat '$drive_c/Pelto_H/bin/Pelto.ini') == x && \$(cat '$drive_c/Pelto_H/bin/old.ini') == x ]]"
    status=0
    "$wine" "$bin/PeltoUserInstall_H.exe" /RESTORE /SILENT '/LOG=C:\plan.log' \
        >"$work/restore-again.out" 2>&1 </dev/null || status=$?
    check "second restore: the run's Pelto.ini is back (status $status)" \
        test "$(od -An -tx1 <"$ini")" == "$run_ini"
    status=0
    "$wine" "$bin/PeltoUserInstall_H.exe" /RESTORE=20000101-000000 /SILENT '/LOG=C:\plan.log' \
        >"$work/restore-none.out" 2>&1 </dev/null || status=$?
    check "restore of a folder that is not there: exit status 17 (got $status)" test "$status" -eq 17
}

# ---------------------------------------------------------------- the run log
# The run log of the program, for the record; it never holds a password.
check_run_log() {
    log_file=$(ls "$drive_c"/users/*/Temp/PeltoUserInstall_H.log 2>/dev/null | head -1 || true)
    if [[ -n $log_file ]]; then
        cp "$log_file" "$work/PeltoUserInstall_H.log"
        check "run log holds no password" bash -c "! grep -qF 'hosp!pw1' '$log_file' && ! grep -qF 'TirMox' '$log_file'"
    else
        fail "no run log in %TEMP%"
    fi
}

# ---------------------------------------------------------------- the run
step "servers" start_servers
step "the machine" prepare_machine
step "run 0: no administrator rights" run_not_elevated
step "run 1: the whole run" run_whole
step "run 2: second key, server down" run_second_key
step "run 3: a code with quotes" run_quoted_code
step "run 4: cancelled input" run_cancelled
step "run 4b: a second run at once" run_second_at_once
step "run 4c: a run ended from outside" run_killed_while_installing
step "run 5: unattended" run_unattended
step "run 6: a log that cannot be had" run_without_log
step "run 6b: a planted staging folder" run_planted_staging
step "run 6c: a file planted in the run's folder" run_planted_file
step "run 7: a plan, a restore" run_plan_and_restore
step "the run log" check_run_log

echo "e2e screenshots: $work/shots"
echo "e2e: $passed passed, $failures failed"
((failures == 0))
