#!/usr/bin/env bash
# The Windows stage. Builds the 64-bit twin (tested), the 32-bit program users receive
# (release, no test hooks) and, where this kernel runs 32-bit code, its 32-bit test build.
# Then, on two fresh Wine prefixes, a Korean one (ANSI code page 949) and a Western one
# (1252), with a desktop on Xvfb: the Windows tests and the end-to-end run of
# PeltoUserInstall_H.exe (tests/win32/e2e.sh) for each tested program. The two code pages
# must end with the same registry values and the same files. Everything it starts is
# stopped at the end, whatever happened.
#   bash scripts/test-windows.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lib/i386.sh"
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
wine_dir=$root/build/wine

started=$SECONDS
stage() { echo "--- windows: $* ($((SECONDS - started)) s)"; }

# ---------------------------------------------------------------- which programs run
# The 64-bit twin always; the 32-bit test build where 32-bit code runs and wine32 is there.
programs=(windows-x64)
if ! runs_32bit_code; then
    echo "windows: this kernel runs no 32-bit code: the 32-bit program is built and linked, not run"
elif [[ ! -x /usr/lib/wine/wine ]] || ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null |
    grep -q "install ok installed"; then
    echo "windows: wine32 is not installed (bash scripts/install-deps.sh): the 32-bit program is built and linked, not run"
else
    programs+=(windows-x86-test)
fi

# ---------------------------------------------------------------- builds
for preset in "${programs[@]}" windows-x86; do
    stage "build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

# Statically linked: the programs import system DLLs only. The shipped program carries no
# test hook: the server map's variable name is not in it.
for preset in "${programs[@]}" windows-x86; do
    for exe in "$root/build/$preset"/bin/PeltoUserInstall_H.exe "$root/build/$preset"/bin/pelto-cipher.exe; do
        if [[ ! -f $exe ]]; then
            echo "missing: $exe" >&2
            exit 1
        fi
        if objdump -p "$exe" | grep -iE 'DLL Name: *(libstdc|libgcc|libwinpthread)'; then
            echo "$exe is not statically linked" >&2
            exit 1
        fi
    done
done
if iconv -f UTF-16LE -t UTF-8 -c "$root/build/windows-x86/bin/PeltoUserInstall_H.exe" |
    grep -q PELTO_ODBC_SERVER_MAP; then
    echo "the shipped program honours the test server map (PELTO_WIN32_ODBC_SERVER_MAP)" >&2
    exit 1
fi

# The programs a vendor ships, signed with a throw-away certificate and the signatures
# verified.
stage "signing with a throw-away certificate"
bash scripts/sign-windows.sh "$root/build/windows-x64" "$root/build/windows-x86"

# ---------------------------------------------------------------- Wine and a desktop
for locale in ko_KR en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^$locale\.utf-\?8$"; then
        localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
done
export WINEDEBUG=-all WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64

# A code page's prefix and the Unix locale Wine takes its ANSI code page from.
declare -A locale_of=([949]=ko_KR.UTF-8 [1252]=en_US.UTF-8)
code_pages=(949 1252)
use_code_page() { # use_code_page CP: the environment of that prefix
    export WINEPREFIX=$wine_dir/prefix-$1 LANG=${locale_of[$1]} LC_ALL=${locale_of[$1]}
    # Checked by the tests (Win32CodePage): the prefix really has this code page.
    export PELTO_TEST_ANSI_CODE_PAGE=$1
}

xvfb_pid=
cleanup() {
    local cp
    for cp in "${code_pages[@]}"; do
        WINEPREFIX=$wine_dir/prefix-$cp "$WINESERVER" -k >/dev/null 2>&1 || true
    done
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number.
mkdir -p "$wine_dir"
rm -f "$wine_dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$wine_dir/display" \
    >"$wine_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $wine_dir/display ]] && break
    sleep 0.1
done
display_number=$(head -n1 "$wine_dir/display")
[[ -n $display_number ]] || { echo "Xvfb did not start" >&2; cat "$wine_dir/xvfb.log" >&2; exit 1; }
export DISPLAY=:$display_number

# Both prefixes at once: each has its own wineserver.
make_prefix() { # make_prefix CP
    use_code_page "$1"
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    # The first Wine process starts background services that keep its output open: it gets
    # none, and a persistent wineserver keeps them for the tests (each starts in ~0.3 s).
    "$wine" wineboot -i >/dev/null 2>&1 </dev/null
    "$WINESERVER" -w
    "$WINESERVER" -p
    "$wine" wineboot >/dev/null 2>&1 </dev/null
    local fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
    # The warning window asks for "맑은 고딕", the dialogs for "MS Shell Dlg" and Tahoma:
    # a Korean font of this machine stands in for them, so Korean text shows on either
    # prefix (a Western Windows carries Korean fonts; Wine's own fonts have no Hangul).
    local face
    for face in '맑은 고딕' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
        "$wine" reg add "$fonts\\FontSubstitutes" /v "$face" /t REG_SZ /d NanumGothic /f \
            >/dev/null 2>&1 </dev/null
    done
    "$wine" reg add "$fonts\\FontLink\\SystemLink" /v Tahoma /t REG_MULTI_SZ \
        /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null 2>&1 </dev/null
    # Wine 8 reports Windows 7, which has no nested jobs; the tests that watch what a started
    # program leaves running run as Windows 10.
    local program
    for program in win32_security_tests.exe platform_contract_tests.exe; do
        "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" \
            /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1 </dev/null
    done
}
stage "fresh Wine prefixes (code pages ${code_pages[*]}) on display $DISPLAY"
prefix_pids=()
for cp in "${code_pages[@]}"; do
    run_logged "$wine_dir/prefix-$cp.log" make_prefix "$cp" &
    prefix_pids+=($!)
done
for pid in "${prefix_pids[@]}"; do
    wait "$pid"
done

# ---------------------------------------------------------------- tests
# Every Windows test and the end-to-end run, for each program on each prefix (about a
# minute and a half each). All of them run even when one fails, so one run shows every
# failure.
status=0
declare -A counts=()
for cp in "${code_pages[@]}"; do
    use_code_page "$cp"
    for preset in "${programs[@]}"; do
        stage "ctest $preset, code page $cp"
        log=$wine_dir/ctest-$preset-$cp.log
        counts[$preset $cp ctest]=
        if ! ctest --preset "$preset" </dev/null 2>&1 | tee "$log"; then
            # Now and then Wine ends a test program at once, before its first line: the
            # process never really started. One more run of what failed tells such a start
            # from a failing test, which fails again. Both runs stay in the log and the
            # counts name the second.
            echo "--- rerunning what failed, once"
            ctest --preset "$preset" --rerun-failed </dev/null 2>&1 | tee -a "$log" || status=1
            counts[$preset $cp ctest]="rerun: $(grep -E 'tests passed' "$log" | tail -1); first: "
        fi
        counts[$preset $cp ctest]+=$(grep -E 'tests passed' "$log" | head -1)

        stage "end-to-end run of $preset, code page $cp"
        log=$wine_dir/e2e-$preset-$cp.log
        bash tests/win32/e2e.sh "$root/build/$preset" "$cp" </dev/null 2>&1 | tee "$log" || status=1
        counts[$preset $cp e2e]=$(grep -E '^e2e: [0-9]+ passed' "$log" | tail -1)
    done
done

# Terminal-server awareness, the import table, the start-up order and odbc32.dll, for each
# program that runs.
use_code_page "${code_pages[0]}"
for preset in "${programs[@]}"; do
    stage "security checks of $preset (terminal-server aware, KnownDLLs only, start-up order, odbc32.dll)"
    bash tests/win32/security_checks.sh "$root/build/$preset" "$root/build/windows-x86" </dev/null ||
        status=1
done

# The same registry values and the same files, whichever program and code page.
stage "same results on every code page"
reference=
for cp in "${code_pages[@]}"; do
    for preset in "${programs[@]}"; do
        result=$root/build/$preset/e2e/$cp/result.txt
        if [[ ! -f $result ]]; then
            echo "no end-to-end result for $preset on code page $cp" >&2
            status=1
            continue
        fi
        if [[ -z $reference ]]; then
            reference=$result
        elif ! diff -u "$reference" "$result" >&2; then
            echo "$preset on code page $cp ended differently from $reference" >&2
            status=1
        fi
    done
done

echo "--- windows: test counts"
for cp in "${code_pages[@]}"; do
    for preset in "${programs[@]}"; do
        echo "    $preset, code page $cp: ctest: ${counts[$preset $cp ctest]:-none}; ${counts[$preset $cp e2e]:-e2e: none}"
    done
done
stage "done"
exit "$status"
