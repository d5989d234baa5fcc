#!/usr/bin/env bash
# The Windows stage. Builds the 64-bit twin (tested), the 32-bit program users receive
# (release, no test hooks) and, where this kernel runs 32-bit code, its 32-bit test build.
# Then, on two fresh Wine prefixes, a Korean one (ANSI code page 949) and a Western one
# (1252), with a desktop on Xvfb: the Windows tests and the end-to-end run of
# PeltoUserInstall_H.exe (tests/win32/e2e.sh) for each tested program; on the Korean prefix,
# the fault sweep over the Windows services (tests/win32/e2e_fault_sweep.sh) for the 64-bit
# twin. The two code pages must end with the same registry values and the same files.
# Everything it starts is stopped at the end, whatever happened.
#
# Each step below is a function run by `step` under its name: a step that stops the stage
# is named at the end; a step whose checks fail is named among the failed ones, and the
# stage goes on, so one run shows every failure.
#   bash scripts/test-windows.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lib/i386.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lib/wine-desktop.sh"
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
wine_dir=$root/build/wine
code_pages=(949 1252)

started=$SECONDS
current_step=
failed_steps=()
declare -A counts=()

step() { # step NAME FUNCTION [ARGUMENT...]
    current_step=$1
    echo "--- windows: $1 ($((SECONDS - started)) s)"
    "${@:2}"
    current_step=
}
failed() { # failed: the current step's checks failed; the stage goes on
    local n=${#failed_steps[@]}
    if ((n == 0)) || [[ ${failed_steps[n - 1]} != "$current_step" ]]; then
        failed_steps+=("$current_step")
    fi
}
finish() {
    local status=$?
    stop_wine_and_display
    if ((status != 0)) && [[ -n $current_step ]]; then
        echo "--- windows: stopped in the step \"$current_step\"" >&2
    fi
}
trap finish EXIT

# ---------------------------------------------------------------- the steps

# The 64-bit twin always; the 32-bit test build where 32-bit code runs and wine32 is there.
choose_programs() {
    programs=(windows-x64)
    if ! runs_32bit_code; then
        echo "windows: this kernel runs no 32-bit code: the 32-bit program is built and linked, not run"
    elif [[ ! -x /usr/lib/wine/wine ]] || ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null |
        grep -q "install ok installed"; then
        echo "windows: wine32 is not installed (bash scripts/install-deps.sh): the 32-bit program is built and linked, not run"
    else
        programs+=(windows-x86-test)
    fi
}

build() { # build PRESET
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
}

# Statically linked: the programs import system DLLs only. The shipped program carries no
# test hook: the server map's variable name is not in it.
check_linking() {
    local preset exe
    for preset in "${programs[@]}" windows-x86; do
        for exe in "$root/build/$preset"/bin/PeltoUserInstall_H.exe "$root/build/$preset"/bin/pelto-cipher.exe; do
            if [[ ! -f $exe ]]; then
                echo "missing: $exe" >&2
                return 1
            fi
            if objdump -p "$exe" | grep -iE 'DLL Name: *(libstdc|libgcc|libwinpthread)'; then
                echo "$exe is not statically linked" >&2
                return 1
            fi
        done
    done
    if iconv -f UTF-16LE -t UTF-8 -c "$root/build/windows-x86/bin/PeltoUserInstall_H.exe" |
        grep -q PELTO_ODBC_SERVER_MAP; then
        echo "the shipped program honours the test server map (PELTO_WIN32_ODBC_SERVER_MAP)" >&2
        return 1
    fi
}

# The programs a vendor ships, signed with a throw-away certificate and the signatures
# verified.
sign() {
    bash scripts/sign-windows.sh "$root/build/windows-x64" "$root/build/windows-x86"
}

prepare_desktop() {
    make_locales
    start_display
}

# Both prefixes at once: each has its own wineserver.
make_prefixes() {
    local cp pid pids=()
    for cp in "${code_pages[@]}"; do
        run_logged "$wine_dir/prefix-$cp.log" make_prefix "$cp" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid"
    done
}

# Every Windows test of PRESET on the prefix in use. Now and then Wine ends a test program
# at once, before its first line: the process never really started. One more run of what
# failed tells such a start from a failing test, which fails again. Both runs stay in the
# log and the counts name the second.
run_ctest() { # run_ctest PRESET CODE_PAGE
    local log=$wine_dir/ctest-$1-$2.log
    counts[$1 $2 ctest]=
    if ! ctest --preset "$1" </dev/null 2>&1 | tee "$log"; then
        echo "--- rerunning what failed, once"
        ctest --preset "$1" --rerun-failed </dev/null 2>&1 | tee -a "$log" || failed
        counts[$1 $2 ctest]="rerun: $(grep -E 'tests passed' "$log" | tail -1 || true); first: "
    fi
    counts[$1 $2 ctest]+=$(grep -E 'tests passed' "$log" | head -1 || true)
}

# The end-to-end run of PRESET's program on the prefix in use (about a minute and a half).
run_e2e() { # run_e2e PRESET CODE_PAGE
    local log=$wine_dir/e2e-$1-$2.log
    bash tests/win32/e2e.sh "$root/build/$1" "$2" </dev/null 2>&1 | tee "$log" || failed
    counts[$1 $2 e2e]=$(grep -E '^e2e: [0-9]+ passed' "$log" | tail -1 || true)
}

# The fault sweep over the Windows services on the prefix in use: each call of steps 9 to
# 18 failing in turn (tests/win32/e2e_fault_sweep.sh; about three minutes).
run_fault_sweep() { # run_fault_sweep PRESET CODE_PAGE
    local log=$wine_dir/fault-sweep-$1-$2.log
    bash tests/win32/e2e_fault_sweep.sh "$root/build/$1" "$2" </dev/null 2>&1 | tee "$log" || failed
    counts[$1 $2 sweep]=$(grep -E '^fault sweep under Wine' "$log" | tail -1 || true)
}

# Terminal-server awareness, the import table, the start-up order and odbc32.dll.
security_checks() { # security_checks PRESET
    bash tests/win32/security_checks.sh "$root/build/$1" "$root/build/windows-x86" </dev/null ||
        failed
}

# The same registry values and the same files, whichever program and code page.
compare_results() {
    local reference= cp preset result
    for cp in "${code_pages[@]}"; do
        for preset in "${programs[@]}"; do
            result=$root/build/$preset/e2e/$cp/result.txt
            if [[ ! -f $result ]]; then
                echo "no end-to-end result for $preset on code page $cp" >&2
                failed
                continue
            fi
            if [[ -z $reference ]]; then
                reference=$result
            elif ! diff -u "$reference" "$result" >&2; then
                echo "$preset on code page $cp ended differently from $reference" >&2
                failed
            fi
        done
    done
}

report() {
    local cp preset failure
    echo "--- windows: test counts"
    for cp in "${code_pages[@]}"; do
        for preset in "${programs[@]}"; do
            echo "    $preset, code page $cp: ctest: ${counts[$preset $cp ctest]:-none}; ${counts[$preset $cp e2e]:-e2e: none}"
            if [[ -n ${counts[$preset $cp sweep]:-} ]]; then
                echo "        ${counts[$preset $cp sweep]}"
            fi
        done
    done
    if ((${#failed_steps[@]})); then
        echo "--- windows: failed steps"
        for failure in "${failed_steps[@]}"; do
            echo "    $failure"
        done
    fi
}

# ---------------------------------------------------------------- the stage

step "which programs run" choose_programs
for preset in "${programs[@]}" windows-x86; do
    step "build $preset" build "$preset"
done
step "static linking, no test hook in the shipped program" check_linking
step "signing with a throw-away certificate" sign
step "locales and a desktop on Xvfb" prepare_desktop
step "fresh Wine prefixes (code pages ${code_pages[*]}) on display $DISPLAY" make_prefixes
for cp in "${code_pages[@]}"; do
    use_code_page "$cp"
    for preset in "${programs[@]}"; do
        step "ctest $preset, code page $cp" run_ctest "$preset" "$cp"
        step "end-to-end run of $preset, code page $cp" run_e2e "$preset" "$cp"
        # Once: the 64-bit twin on the Korean prefix. The 32-bit test build runs the same
        # services, and the end-to-end runs already hold every code page to the same end.
        if [[ $preset == windows-x64 && $cp == "${code_pages[0]}" ]]; then
            step "fault sweep of $preset, code page $cp" run_fault_sweep "$preset" "$cp"
        fi
    done
done
use_code_page "${code_pages[0]}"
for preset in "${programs[@]}"; do
    step "security checks of $preset (terminal-server aware, KnownDLLs only, start-up order, odbc32.dll)" \
        security_checks "$preset"
done
step "same results on every code page" compare_results
report
echo "--- windows: done ($((SECONDS - started)) s)"
if ((${#failed_steps[@]})); then
    exit 1
fi
