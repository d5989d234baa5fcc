# Sourced by scripts/test-windows.sh: Wine prefixes of their own code page and a desktop
# on Xvfb, for the Windows tests. Needs wine_dir (where the prefixes go) and code_pages.
#   make_locales           the Unix locales the prefixes take their code pages from
#   start_display          Xvfb on a free display, exported as DISPLAY
#   make_prefix CP         a fresh prefix of code page CP, its wineserver kept running
#   use_code_page CP       the environment of that prefix
#   stop_wine_and_display  ends every wineserver of the prefixes and the Xvfb started here

export WINEDEBUG=-all WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64

# A code page's prefix and the Unix locale Wine takes its ANSI code page from.
declare -A locale_of=([949]=ko_KR.UTF-8 [1252]=en_US.UTF-8)

make_locales() {
    local locale
    for locale in ko_KR en_US; do
        if ! locale -a 2>/dev/null | grep -qi "^$locale\.utf-\?8$"; then
            localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
        fi
    done
}

use_code_page() { # use_code_page CP: the environment of that prefix
    export WINEPREFIX=$wine_dir/prefix-$1 LANG=${locale_of[$1]} LC_ALL=${locale_of[$1]}
    # Checked by the tests (Win32CodePage): the prefix really has this code page.
    export PELTO_TEST_ANSI_CODE_PAGE=$1
}

xvfb_pid=
# Xvfb picks a free display and writes its number.
start_display() {
    mkdir -p "$wine_dir"
    rm -f "$wine_dir/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$wine_dir/display" \
        >"$wine_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -s $wine_dir/display ]] && break
        sleep 0.1
    done
    local display_number
    display_number=$(head -n1 "$wine_dir/display")
    [[ -n $display_number ]] || { echo "Xvfb did not start" >&2; cat "$wine_dir/xvfb.log" >&2; return 1; }
    export DISPLAY=:$display_number
}

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

stop_wine_and_display() {
    local cp
    for cp in "${code_pages[@]}"; do
        if [[ -d $wine_dir/prefix-$cp ]]; then
            WINEPREFIX=$wine_dir/prefix-$cp "$WINESERVER" -k >/dev/null 2>&1 || true
        fi
    done
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
