#!/usr/bin/env bash
# The Windows stage: builds the 64-bit program (tested) and the 32-bit program (the one users
# receive; built and linked only, since this kernel runs no 32-bit code), then runs the
# Windows tests under wine64 on a fresh prefix with a desktop on Xvfb, and the end-to-end
# run of PeltoUserInstall_H.exe (tests/win32/e2e.sh). Everything it starts is stopped at
# the end, whatever happened.
#   bash scripts/test-windows.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
x64=$root/build/windows-x64
x86=$root/build/windows-x86

started=$SECONDS
stage() { echo "--- windows: $* ($((SECONDS - started)) s)"; }

# ---------------------------------------------------------------- builds
stage "build windows-x64"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$jobs"
stage "build windows-x86 (compile and link only)"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j "$jobs"

# Statically linked: the programs import system DLLs only.
for exe in "$x64"/bin/PeltoUserInstall_H.exe "$x64"/bin/pelto-cipher.exe \
    "$x86"/bin/PeltoUserInstall_H.exe "$x86"/bin/pelto-cipher.exe; do
    if [[ ! -f $exe ]]; then
        echo "missing: $exe" >&2
        exit 1
    fi
    if objdump -p "$exe" | grep -iE 'DLL Name: *(libstdc|libgcc|libwinpthread)'; then
        echo "$exe is not statically linked" >&2
        exit 1
    fi
done

# Both programs signed with a throw-away certificate and the signatures verified.
stage "signing with a throw-away certificate"
bash scripts/sign-windows.sh "$x64" "$x86"

# ---------------------------------------------------------------- Wine and a desktop
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
    localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
fi
export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
export WINEDEBUG=-all WINEARCH=win64 WINEPREFIX=$x64/wine/prefix
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64

xvfb_pid=
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number.
mkdir -p "$x64/wine"
rm -f "$x64/wine/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$x64/wine/display" \
    >"$x64/wine/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $x64/wine/display ]] && break
    sleep 0.1
done
display_number=$(head -n1 "$x64/wine/display")
[[ -n $display_number ]] || { echo "Xvfb did not start" >&2; cat "$x64/wine/xvfb.log" >&2; exit 1; }
export DISPLAY=:$display_number

stage "fresh Wine prefix (Korean locale) on display $DISPLAY"
"$WINESERVER" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
# The first Wine process starts background services that keep its output open: it gets
# none, and a persistent wineserver keeps them for the tests (each starts in ~0.3 s).
"$wine" wineboot -i >/dev/null 2>&1 </dev/null
"$WINESERVER" -w
"$WINESERVER" -p
"$wine" wineboot >/dev/null 2>&1 </dev/null
# The warning window asks for "맑은 고딕"; a Korean font of this machine stands in for it.
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v '맑은 고딕' /t REG_SZ /d 'NanumGothic' /f >/dev/null 2>&1 </dev/null
# Wine 8 reports Windows 7, which has no nested jobs; the security tests run as Windows 10.
"$wine" reg add 'HKCU\Software\Wine\AppDefaults\win32_security_tests.exe' \
    /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1 </dev/null

# ---------------------------------------------------------------- tests
# Both test sets run even when the first fails, so one run shows every failure.
status=0
stage "ctest windows-x64 under wine64"
ctest --preset windows-x64 </dev/null || status=1

stage "end-to-end run"
bash tests/win32/e2e.sh "$x64" </dev/null || status=1

stage "security checks (terminal-server aware, planted odbc32.dll)"
bash tests/win32/security_checks.sh "$x64" "$x86" </dev/null || status=1

stage "done"
exit "$status"
