#!/usr/bin/env bash
# Builds a fresh demo machine root for PeltoUserInstall_H: the Windows workstation mapped
# onto a folder, with the central server (served by SQLite), the institutions' servers,
# the update share with a small installer, updater and Pelto.ini template, and the
# registry keys the run writes into. The demo and the end-to-end tests both use it.
#
#   scripts/make-demo-machine.sh [--bin DIR] [--central ADDR1,ADDR2] ROOT
#
# --bin DIR       the folder holding the built pelto-cipher (default: build/release/bin,
#                 else build/debug/bin); the stored passwords are enciphered with it here.
# --central A,B   the program's two central server addresses, as its build set them
#                 (PELTO_CENTRAL_SERVER_1/_2; default 127.0.0.11,127.0.0.12).
# ROOT            the machine root to create; an existing one is replaced.
#
# Needs bash, sqlite3 and iconv (glibc's). Institutions (care-institution codes):
#   11111111  password enciphered with the first key text; its server accepts the login
#   22222222  password enciphered with the second key text; its server accepts the login
#   33333333  its server refuses the login: the run writes a named-pipe alias for it
#   44444444  a stored password that deciphers to blanks under both key texts
#   77777777  two rows for one code (the first is used)
#   " 66666666 "  a code stored with surrounding spaces
#   12'34     a code with a quote
#   88888888  an update path that does not exist
#   90000001  an update folder without the installer
#   90000002  an update folder without the updater
#   90000003  a row with no database name (NULL)
#   90000004  a malformed stored password
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
bin=""
central1=127.0.0.11
central2=127.0.0.12
while (($#)); do
    case "$1" in
    --bin)
        bin="$2"
        shift 2
        ;;
    --central)
        central1="${2%%,*}"
        central2="${2#*,}"
        shift 2
        ;;
    -h | --help)
        sed -n '2,27p' "$0"
        exit 0
        ;;
    *)
        break
        ;;
    esac
done
if (($# != 1)); then
    echo "usage: $0 [--bin DIR] ROOT" >&2
    exit 2
fi
root="$1"
if [[ -z "$bin" ]]; then
    for candidate in "$source_dir/build/release/bin" "$source_dir/build/debug/bin"; do
        if [[ -x "$candidate/pelto-cipher" ]]; then
            bin="$candidate"
            break
        fi
    done
fi
cipher="$bin/pelto-cipher"
if [[ ! -x "$cipher" ]]; then
    echo "make-demo-machine: pelto-cipher not found (build it first, or give --bin DIR)" >&2
    exit 2
fi
for tool in sqlite3 iconv; do
    if ! command -v "$tool" >/dev/null; then
        echo "make-demo-machine: $tool is needed (apt-get install $tool)" >&2
        exit 2
    fi
done

case "$root" in
/*) ;;
*) root="$PWD/$root" ;;
esac
rm -rf "$root"
mkdir -p "$root"/{drive_c,drive_d,network/db,registry,log}

# The workstation: an earlier installation of the suite, with resources (one of them
# hidden and read-only) and settings files that the run removes.
c="$root/drive_c"
mkdir -p "$c/Pelto_H/bin" "$c/Pelto_H/Resource/images" "$c/PeltoUserInstall_H"
printf 'old program\n' >"$c/Pelto_H/bin/Pelto_H.exe"
printf '[Database Server]\r\nserver_name=OLD-SERVER\r\n' >"$c/Pelto_H/bin/Pelto.ini"
printf '[Print]\r\nPrinter=1\r\n' >"$c/Pelto_H/bin/Print.ini"
printf 'kept: the name ends in upper-case INI\r\n' >"$c/Pelto_H/bin/README.INI"
printf 'old logo\n' >"$c/Pelto_H/Resource/images/logo.bmp"
printf 'old skin\n' >"$c/Pelto_H/Resource/skin.dat"
chmod 0444 "$c/Pelto_H/Resource/skin.dat"
if command -v setfattr >/dev/null; then
    # Hidden and read-only, as Samba and Wine keep DOS attributes.
    setfattr -n user.DOSATTRIB -v '"0x3"' "$c/Pelto_H/Resource/skin.dat" 2>/dev/null || true
fi

# The update share \\UPDATESRV\pelto: installer, updater and the settings-file template.
share="$root/unc/UPDATESRV/pelto"
mkdir -p "$share"
cat >"$share/installpelto_H.exe" <<'EOF'
#!/bin/sh
# The suite's installer (demo): creates the program and resource folders as the real one
# does. PELTO_DEMO_INSTALLER_SECONDS makes it take its time; PELTO_DEMO_INSTALLER_EXIT
# sets its exit code.
c="${PELTO_MACHINE_ROOT:?}/drive_c"
echo "[펠토 설치] 펠토 클리닉을 설치합니다."
sleep "${PELTO_DEMO_INSTALLER_SECONDS:-0}"
mkdir -p "$c/Pelto_H/bin" "$c/Pelto_H/Resource"
printf 'Pelto_H 5.2\n' >"$c/Pelto_H/bin/Pelto_H.exe"
printf 'logo 5.2\n' >"$c/Pelto_H/Resource/logo.bmp"
echo "installer finished" >"$c/Pelto_H/bin/install.done"
echo "[펠토 설치] 설치를 마쳤습니다."
exit "${PELTO_DEMO_INSTALLER_EXIT:-0}"
EOF
cat >"$share/PeltoUpdate_H.exe" <<'EOF'
#!/bin/sh
# The suite's updater (demo): brings the program up to date, and notes whether the
# installer had finished before it started.
c="${PELTO_MACHINE_ROOT:?}/drive_c"
echo "[펠토 업데이트] 최신 버전으로 업데이트합니다."
if [ -f "$c/Pelto_H/bin/install.done" ]; then
    echo "installer finished before the updater started" >"$c/Pelto_H/bin/update.done"
else
    echo "installer NOT finished when the updater started" >"$c/Pelto_H/bin/update.done"
fi
printf 'Pelto_H 5.2.1\n' >"$c/Pelto_H/bin/Pelto_H.exe"
exit "${PELTO_DEMO_UPDATER_EXIT:-0}"
EOF
chmod 0755 "$share/installpelto_H.exe" "$share/PeltoUpdate_H.exe"
# The template, in code page 949 with CR LF line ends as the suite keeps it. Its
# [Database Server] section has all four keys, so the run replaces them in place.
printf '%s\r\n' \
    '; 펠토 클리닉 설정 파일' \
    '[Pelto]' \
    'Version=5.2' \
    'Language=한국어' \
    '' \
    '[Database Server]' \
    'server_name=' \
    'server_id=' \
    'server_pwd=' \
    'database_name=' \
    '' \
    '[Print]' \
    'Printer=기본 프린터' |
    iconv -f UTF-8 -t CP949 >"$share/Pelto.ini"
printf 'not part of the suite\n' >"$share/readme.txt"

# Update folders that lack one of the programs, on drive D.
for missing in installer updater; do
    folder="$root/drive_d/PeltoUpdate_no_$missing"
    mkdir -p "$folder"
    cp -p "$share/Pelto.ini" "$folder/"
    [[ $missing == installer ]] || cp -p "$share/installpelto_H.exe" "$folder/"
    [[ $missing == updater ]] || cp -p "$share/PeltoUpdate_H.exe" "$folder/"
done

# Stored passwords, enciphered here with the program's own cipher.
pw_first="$("$cipher" encrypt 'Clinic#2024')"
pw_second="$("$cipher" encrypt --second-key '두번째-Key!')"
pw_refused="$("$cipher" encrypt 'not-the-password')"
pw_blank="$(printf '0%.0s' {1..64})"

sql_text() { printf "'%s'" "${1//\'/\'\'}"; }

# The central database Holmaview on the second central server.
sqlite3 "$root/network/db/central.sqlite3" <<EOF
CREATE TABLE PL_기관정보 (
    요양기관코드 TEXT NOT NULL,
    기관명 TEXT,
    자동업데이트경로 TEXT,
    SQLNAME TEXT,
    SQLUSER TEXT,
    SQLPW TEXT,
    MainDB TEXT
);
INSERT INTO PL_기관정보 VALUES
 ('11111111', '하늘 가정의원', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('22222222', '바다 한의원', '\\\\UPDATESRV\\pelto', '127.0.0.22', 'pelto2', '$pw_second', 'PeltoDB'),
 ('33333333', '숲 내과', '\\\\UPDATESRV\\pelto\\', '127.0.0.23', 'pelto', '$pw_refused', 'PeltoDB'),
 ('44444444', '들 소아과', '\\\\UPDATESRV\\pelto\\', '127.0.0.24', 'nopw', '$pw_blank', 'PeltoDB'),
 ('77777777', '첫 번째 행', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('77777777', '두 번째 행', '\\\\UPDATESRV\\pelto\\', '127.0.0.99', 'other', '$pw_first', 'OtherDB'),
 (' 66666666 ', '공백 코드', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ($(sql_text "12'34"), '따옴표 코드', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('88888888', '없는 경로', '\\\\UPDATESRV\\없는폴더\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('90000001', '설치 파일 없음', 'D:\\PeltoUpdate_no_installer', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('90000002', '업데이트 파일 없음', 'D:\\PeltoUpdate_no_updater\\', '127.0.0.21', 'pelto', '$pw_first', 'PeltoDB'),
 ('90000003', 'DB 이름 없음', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', '$pw_first', NULL),
 ('90000004', '잘못된 암호', '\\\\UPDATESRV\\pelto\\', '127.0.0.21', 'pelto', 'ABC', 'PeltoDB');
EOF

# The institutions' own servers: one database file each (the program only logs in).
for n in 21 22 23 24; do
    sqlite3 "$root/network/db/institution-$n.sqlite3" \
        "CREATE TABLE 환자 (번호 INTEGER, 이름 TEXT); INSERT INTO 환자 VALUES (1, '홍길동');"
done

# Which server address is served by which database, and the logins each accepts
# (network/servers.ini: [host,port], port 1433 when left out).
cat >"$root/network/servers.ini" <<EOF
; The SQL Servers of the demo machine, each served by a SQLite database below the
; machine root, with the logins (user:password) and catalogs it accepts.
[$central2,4181]
engine=sqlite
database=network/db/central.sqlite3
login=sa:\$63TirMox47@\$
catalogs=Holmaview

[127.0.0.21]
engine=sqlite
database=network/db/institution-21.sqlite3
login=pelto:Clinic#2024
catalogs=PeltoDB

[127.0.0.22]
engine=sqlite
database=network/db/institution-22.sqlite3
login=pelto2:두번째-Key!
catalogs=PeltoDB

; This server refuses the stored password.
[127.0.0.23]
engine=sqlite
database=network/db/institution-23.sqlite3
login=pelto:the-real-password
catalogs=PeltoDB

[127.0.0.24]
engine=sqlite
database=network/db/institution-24.sqlite3
login=nopw:
catalogs=PeltoDB
EOF

# HKEY_LOCAL_MACHINE: the two keys the run writes into (a key is never created by it),
# with an outdated alias and policy value that the run overwrites.
printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' \
    '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo]' \
    "\"$central1\"=\"DBMSSOCN,10.0.0.1\"" \
    '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System]' \
    '"EnableLUA"=dword:00000000' \
    '"legalnoticecaption"=""' \
    >"$root/registry/HKEY_LOCAL_MACHINE.reg"

echo "$root"
