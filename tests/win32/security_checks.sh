#!/usr/bin/env bash
# Checks of the programs users receive that look at the built files or run them under
# Wine; scripts/test-windows.sh runs it in its Wine environment (prefix, wineserver,
# display) after the other tests.
#   bash tests/win32/security_checks.sh RUN_BUILD [OTHER_BUILD...]
# For every build folder:
# - both programs are marked terminal-server aware;
# - their import tables name only KnownDLLs (which Windows takes from System32 whatever
#   the search order), and comctl32.dll only while the manifest binds it to the
#   side-by-side Common Controls 6; odbc32.dll in particular is delay-loaded;
# - PeltoUserInstall_H.exe's entry point is pelto_program_entry (its link map says where),
#   which limits the library search before the C runtime starts.
# In RUN_BUILD (the 64-bit build), under Wine:
# - the start-up order: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) comes before
#   the program's first call that could load a library and before the C runtime starts,
#   and every library loaded after it comes from System32 or WinSxS;
# - started with a planted odbc32.dll beside it, with Wine told to prefer a library in the
#   program's folder (as Windows does for every library that is not a KnownDLL), it never
#   loads that file;
# - with odbc32.dll missing, the failed delayed load ends the run with the generic error
#   message's status (20) and a log line, not with an unhandled exception.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/fail-loudly.sh"

run_build=${1:?build folder}
status=0
fail() {
    echo "security check failed: $*" >&2
    status=1
}

# KnownDLLs of both Windows 7 and Windows 10/11 (HKLM\SYSTEM\CurrentControlSet\Control\
# Session Manager\KnownDLLs): the loader maps these from System32 and never looks for
# them beside the program.
declare -A known_dll=()
for name in advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt \
    normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 \
    wldap32 ws2_32; do
    known_dll[$name]=1
done

for build in "$@"; do
    for exe in "$build"/bin/PeltoUserInstall_H.exe "$build"/bin/pelto-cipher.exe; do
        dump=$(objdump -p "$exe")
        characteristics=$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$dump")
        if (((16#$characteristics & 0x8000) == 0)); then
            fail "$exe is not terminal-server aware (DllCharacteristics $characteristics)"
        fi
        # objdump lists the import table only: mingw's delay imports are not in it.
        while read -r dll; do
            name=$(tr '[:upper:]' '[:lower:]' <<<"${dll%.*}")
            if [[ $name == comctl32 ]]; then
                # Only the manifest's side-by-side version 6 comes from WinSxS; without
                # it the search order would find comctl32.dll beside the program first.
                grep -qaE 'name="Microsoft\.Windows\.Common-Controls" version="6\.' "$exe" ||
                    fail "$exe imports comctl32.dll without the manifest's Common Controls 6"
            elif [[ -z ${known_dll[$name]:-} ]]; then
                fail "$exe imports $dll at start, which is no KnownDLL (delay-load it from System32)"
            fi
        done < <(sed -n 's/^\s*DLL Name: *//p' <<<"$dump")
    done
    exe=$build/bin/PeltoUserInstall_H.exe
    start=$(objdump -f "$exe" | awk '/start address/ {print $3}')
    entry=$(awk '$2 ~ /^_?pelto_program_entry$/ {print $1; exit}' "$build/bin/PeltoUserInstall_H.map")
    if [[ -z $entry ]] || ((start != entry)); then
        fail "$exe starts at $start, not at pelto_program_entry (${entry:-not in the link map})"
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pelto-security.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$run_build/bin/PeltoUserInstall_H.exe" "$run_build/planted/odbc32.dll" "$work/"
work_windows="Z:${work//\//\\}"

# The run stops at its first database step (no central server answers here): by then it
# has called ODBC, so odbc32.dll has been loaded.
run() { # run NAME [ENVIRONMENT...] -- sets $run_status; the output in $work/NAME.out
    local name=$1
    shift
    run_status=0
    env -u PELTO_ODBC_SERVER_MAP "$@" timeout 120 "$WINELOADER" "$work/PeltoUserInstall_H.exe" \
        /SILENT /CODE=12345678 "/LOG=$work_windows\\$name.log" </dev/null >"$work/$name.out" 2>&1 ||
        run_status=$?
}

# The start-up order, from Wine's trace of the calls between modules and of library loads.
run order WINEDEBUG=+relay,+loaddll
base=$(objdump -p "$work/PeltoUserInstall_H.exe" | awk '$1 == "ImageBase" {print $2}')
size=$(objdump -p "$work/PeltoUserInstall_H.exe" | awk '$1 == "SizeOfImage" {print $2}')
order=$(awk -v base=$((16#$base)) -v size=$((16#$size)) '
    function hex(text,    value, i) {
        value = 0
        for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
        return value
    }
    # The program process: the thread that loaded PeltoUserInstall_H.exe.
    /loaddll:build_module Loaded L".*PeltoUserInstall_H\.exe"/ { split($0, t, ":"); thread = t[1] }
    thread == "" || index($0, thread ":") != 1 { next }
    # A call from the program itself: its return address lies in the program image.
    /:Call / && match($0, /ret=[0-9a-f]+$/) {
        ret = hex(substr($0, RSTART + 4, RLENGTH - 4))
        if (ret >= base && ret < base + size) {
            if ($0 ~ /KERNEL32\.SetDefaultDllDirectories\(00000800\)/) { limited = 1; print "limited"; next }
            if (!limited && $0 ~ /(LoadLibrary|LdrLoadDll|LdrGetDllHandle|GetModuleHandleEx)/) print "loads first: " $0
            # The C runtime starting (and with it every static initializer) comes after.
            if (!limited && $0 ~ /:Call (msvcrt|ucrtbase)\./) print "runtime first: " $0
        }
    }
    limited && /loaddll:build_module Loaded/ && tolower($0) !~ /c:\\\\+windows\\\\+(system32|syswow64|winsxs)\\\\/ {
        print "loaded from elsewhere: " $0
    }
' "$work/order.out")
if ! grep -qx limited <<<"$order"; then
    fail "the program never limited its library search (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))"
fi
if grep -v -x limited <<<"$order" | head -n 5 | grep . >&2; then
    fail "the program may load a library before it limits the search, or from elsewhere than System32"
fi

# The planted library.
run planted WINEDLLOVERRIDES="odbc32=n,b"
if ((run_status != 10)); then
    fail "the program with a planted odbc32.dll ended with status $run_status, not 10" \
        "(central connection failed)"
    cat "$work/planted.out" >&2
fi
if compgen -G "$work/*.loaded" >/dev/null; then
    fail "the program loaded the odbc32.dll planted beside it"
fi

# No odbc32.dll at all.
run missing WINEDLLOVERRIDES="odbc32=d"
if ((run_status != 20)) || ! grep -q "unhandled error 48 .*odbc32.dll" "$work/missing.log"; then
    fail "a missing odbc32.dll ended the run with status $run_status, not 20 with its log line"
    cat "$work/missing.out" "$work/missing.log" >&2 || true
fi

if ((status == 0)); then
    echo "security checks passed: terminal-server aware, KnownDLLs only, entry point and" \
        "start-up order, planted odbc32.dll not loaded, missing odbc32.dll reported"
fi
exit "$status"
