#!/usr/bin/env bash
# The demo: builds the program, makes a fresh demo machine root (a Windows workstation
# mapped onto a folder, with its central server, update share and registry) and runs the
# real PeltoUserInstall_H on it; afterwards it shows what the run changed.
#
#   bash scripts/demo.sh [CODE]
#   bash scripts/demo.sh /CODE=11111111 /SILENT     # the program's own arguments
#
# CODE is the care-institution code to give the input box when nobody sits at a terminal
# (default 11111111); at a terminal you type it yourself. Arguments that start with "/"
# are handed to the program as they are (an unattended run, say). PRESET=debug builds the debug
# preset instead of the release one; BUILD_DIR=folder builds there instead of a preset's
# folder. The demo machine is made in build/demo-machine (DEMO_ROOT=folder elsewhere);
# KEEP_MACHINE=1 runs on the machine the last demo left (to try /RESTORE after a run).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

if [[ "$(id -u)" == 0 ]]; then
    bash scripts/install-deps.sh
fi

preset="${PRESET:-release}"
if [[ -n "${BUILD_DIR:-}" ]]; then
    echo "== building in $BUILD_DIR =="
    cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
    cmake --build "$BUILD_DIR" --target PeltoUserInstall_H pelto-cipher
    bin="$BUILD_DIR/bin"
else
    echo "== building ($preset) =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target PeltoUserInstall_H pelto-cipher
    bin="build/$preset/bin"
fi

root="${DEMO_ROOT:-$PWD/build/demo-machine}"
case "$root" in
/*) ;;
*) root="$PWD/$root" ;;
esac
if [[ "${KEEP_MACHINE:-}" == 1 && -d "$root/drive_c" ]]; then
    echo "== the demo machine the last demo left, in $root =="
else
    echo "== making the demo machine in $root =="
    bash scripts/make-demo-machine.sh --bin "$bin" "$root" >/dev/null
fi
cp "$root/registry/HKEY_LOCAL_MACHINE.reg" "$root/registry-before.reg"
(cd "$root" && find drive_c -print | sort) >"$root/folders-before.txt"

cat <<'EOF'

== the demo machine ==
  C:\Pelto_H\            an earlier installation (its Resource folder and ini files go)
  \\UPDATESRV\pelto\     the update share: installpelto_H.exe, PeltoUpdate_H.exe, Pelto.ini
  central server         served by SQLite (network/servers.ini), table PL_기관정보

Care-institution codes to try (요양기관기호):
  11111111   a password stored under the first key text   -> completes
  22222222   a password stored under the second key text  -> completes
  33333333   its server refuses the login                 -> named-pipe alias, completes
  99999999   no such institution                          -> "요양기관기호가 잘못되었습니다."
  88888888   its update path does not exist               -> ends before anything is removed
  90000001   its update path holds no installer           -> ends before anything is removed
  (empty)    Enter or Ctrl-D                              -> the run stops quietly
Dialogs wait for Enter. Run the demo again for a fresh machine. The ini files the run
deletes are kept in C:\펠토사용자설치\보관\<date-time>\.
Unattended:               bash scripts/demo.sh /CODE=11111111 /SILENT
What a run would do:      bash scripts/demo.sh /PLAN /CODE=11111111
Settings back after it:   KEEP_MACHINE=1 bash scripts/demo.sh /RESTORE

EOF

export PELTO_MACHINE_ROOT="$root"
export PELTO_DEMO_INSTALLER_SECONDS="${PELTO_DEMO_INSTALLER_SECONDS:-1}"
status=0
echo "== PeltoUserInstall_H =="
if [[ "${1:-}" == /* ]]; then
    echo "(arguments: $*)"
    "$bin/PeltoUserInstall_H" "$@" </dev/null || status=$?
elif [[ -t 0 ]]; then
    "$bin/PeltoUserInstall_H" || status=$?
else
    code="${1:-11111111}"
    echo "(no terminal: typing $code)"
    printf '%s\n' "$code" | "$bin/PeltoUserInstall_H" || status=$?
fi

echo
echo "== exit status: $status =="
case "$status" in
0) echo "   the installation completed" ;;
10) echo "   the central database could not be reached" ;;
11) echo "   no code entered" ;;
12) echo "   unknown care-institution code" ;;
13) echo "   the update path could not be used" ;;
14) echo "   the installer was missing" ;;
15) echo "   the updater was missing" ;;
16) echo "   the installation completed with faults: see the log's last line" ;;
17) echo "   nothing to restore" ;;
194 | 105) echo "   the installation completed; the installer asks for a restart" ;;
20) echo "   an unexpected error" ;;
21) echo "   the program could not start (the machine root or the /LOG file): nothing was touched" ;;
22) echo "   a wrong argument: nothing was touched" ;;
23) echo "   another run, or a program an earlier run started, is at work: nothing was touched" ;;
24) echo "   no administrator rights: nothing was touched" ;;
*) echo "   see \"Exit status\" in docs/operations.md" ;;
esac

echo
echo "== registry (HKEY_LOCAL_MACHINE): what the run changed =="
diff -u --label before --label after "$root/registry-before.reg" \
    "$root/registry/HKEY_LOCAL_MACHINE.reg" | tr -d '\r' || true

echo
echo "== C:\\Pelto_H\\bin\\Pelto.ini (code page 949, shown in UTF-8) =="
if [[ -f "$root/drive_c/Pelto_H/bin/Pelto.ini" ]]; then
    iconv -f CP949 -t UTF-8 "$root/drive_c/Pelto_H/bin/Pelto.ini" | tr -d '\r'
else
    echo "(none)"
fi

echo
echo "== folders and files on C:\\ (- gone, + new) =="
(cd "$root" && find drive_c -print | sort) >"$root/folders-after.txt"
diff "$root/folders-before.txt" "$root/folders-after.txt" | sed -n 's/^< /  - /p; s/^> /  + /p' || true

echo
echo "== run log ($root/log/PeltoUserInstall_H.log) =="
cat "$root/log/PeltoUserInstall_H.log" 2>/dev/null || echo "(none)"
exit 0
