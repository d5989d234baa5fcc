# Sourced by tests/win32/e2e.sh and tests/win32/e2e_fault_sweep.sh: the machine both
# prepare in the Wine prefix. start_servers: the central database and an institution
# server behind the test build's ODBC server map (PELTO_ODBC_SERVER_MAP, exported);
# prepare_machine: the registry keys and the update folder with the stand-in installer and
# updater; prepare_pelto_folder: an earlier installation in C:\Pelto_H. Needs wine, bin,
# work, drive_c, connect_to and policies set, and e2e_helpers.sh sourced.

# ---------------------------------------------------------------- servers
start_servers() {
    # Enciphered passwords, made by the Windows cipher tool itself.
    "$wine" "$bin/pelto-cipher.exe" encrypt 'hosp!pw1' >"$work/pw1.txt" 2>"$work/cipher.err" </dev/null
    "$wine" "$bin/pelto-cipher.exe" encrypt --second-key 'other pw' >"$work/pw2.txt" 2>>"$work/cipher.err" </dev/null
    pw1=$(tr -d '\r\n' <"$work/pw1.txt")
    pw2=$(tr -d '\r\n' <"$work/pw2.txt")
    [[ $pw1 =~ ^[0-9A-F]+$ && $pw2 =~ ^[0-9A-F]+$ ]] || { echo "e2e: pelto-cipher.exe gave '$pw1' '$pw2'" >&2; cat "$work/cipher.err" >&2; exit 1; }

    # The central server 127.0.0.12 (database Holmaview): a SQLite file.
    central=$work/central.db
    sqlite3 "$central" <<SQL
CREATE TABLE PL_기관정보 (요양기관코드 TEXT, 자동업데이트경로 TEXT, SQLNAME TEXT, SQLUSER TEXT,
                          SQLPW TEXT, MainDB TEXT);
INSERT INTO PL_기관정보 VALUES ('12345678', 'C:\업데이트', 'HOSP01', 'doc', '$pw1', 'clinic');
INSERT INTO PL_기관정보 VALUES ('22222222', 'C:\업데이트\', '병원02', 'sa', '$pw2', '병원DB');
SQL

    # The institution server HOSP01: PostgreSQL, which checks the login itself. The server
    # runs as the postgres account, so its cluster lives in a folder of its own below /tmp
    # that this account owns: the build folder may sit where postgres cannot enter (a clone in
    # root's home, mode 700).
    pg_bin=/usr/lib/postgresql/15/bin
    pg_dir=
    # A loopback port nobody listens on.
    pg_port=55439
    while (exec 3<>"/dev/tcp/127.0.0.1/$pg_port") 2>/dev/null; do
        pg_port=$((pg_port + 1))
    done
    stop_postgres() {
        if [[ -n $pg_dir ]]; then
            runuser -u postgres -- "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate stop >/dev/null 2>&1 || true
            rm -rf "$pg_dir"
        fi
    }
    trap stop_postgres EXIT
    if [[ -x $pg_bin/initdb ]] && id postgres >/dev/null 2>&1; then
        pg_dir=$(mktemp -d /tmp/pelto-e2e-pg.XXXXXX)
        chown postgres "$pg_dir"
        echo 'postgres-secret' >"$pg_dir/pgpass"
        chown postgres "$pg_dir/pgpass"
        run_logged "$work/initdb.log" runuser -u postgres -- "$pg_bin/initdb" -D "$pg_dir/data" \
            -U postgres --auth=scram-sha-256 --pwfile="$pg_dir/pgpass" -E UTF8 --locale=C
        run_logged "$work/pg_ctl.log" runuser -u postgres -- "$pg_bin/pg_ctl" -D "$pg_dir/data" -w \
            -l "$pg_dir/server.log" -o "-c listen_addresses=127.0.0.1 -p $pg_port -k $pg_dir" start ||
            { tail -n 40 "$pg_dir/server.log" >&2; exit 1; }
        PGPASSWORD=postgres-secret "$pg_bin/psql" -q -h 127.0.0.1 -p $pg_port -U postgres -d postgres \
            -c "CREATE ROLE doc LOGIN PASSWORD 'hosp!pw1'" -c "CREATE DATABASE clinic OWNER doc" >/dev/null
        hosp01="connection=DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=$pg_port;Database=%CATALOG%;UID=%USER%;PWD=%PASSWORD%;"
    else
        echo "e2e: no PostgreSQL here; HOSP01 is served by SQLite" >&2
        sqlite3 "$work/hosp01.db" 'CREATE TABLE t (x INTEGER);'
        hosp01=$'connection=DRIVER={SQLite3};Database='"$work/hosp01.db"$';\nuser=doc\npassword=hosp!pw1'
    fi

    # The test-only server map of the Windows build (platform/win32/odbc/odbc_server_map.h).
    cat >"$work/servers.ini" <<INI
[127.0.0.12]
connection=DRIVER={SQLite3};Database=$central;
user=sa
password=\$63TirMox47@\$
catalogs=Holmaview
; the central server as the client reaches it through its alias (a planned run, which
; has not written the alias yet, names it so)
[127.0.0.12,4181]
connection=DRIVER={SQLite3};Database=$central;
user=sa
password=\$63TirMox47@\$
catalogs=Holmaview
[HOSP01]
$hosp01
INI
    export PELTO_ODBC_SERVER_MAP="Z:${work//\//\\}\\servers.ini"
}

# ---------------------------------------------------------------- the machine
prepare_machine() {
    # Both keys present and empty in both registry views, whatever an earlier run left: the
    # program must write its aliases to the 32-bit view only.
    for key in "$connect_to" "$policies"; do
        reg32 delete "$key" /f || true
        reg64 delete "$key" /f || true
        reg32 add "$key" /f
        reg64 add "$key" /f
    done

    # The update folder with the stand-in installer and updater and the settings template.
    update=$drive_c/업데이트
    mkdir -p "$update"
    cp "$bin/pelto_e2e_child.exe" "$update/installpelto_H.exe"
    cp "$bin/pelto_e2e_child.exe" "$update/PeltoUpdate_H.exe"
    printf '[General]\r\nskin=blue\r\n; the suite reads this file\r\n[Database Server]\r\nserver_name=template\r\ntimeout=30\r\n[Print]\r\nport=LPT1' \
        >"$update/Pelto.ini"
}

# An earlier installation: a resource tree with protected files, settings files.
prepare_pelto_folder() { # [keep-staging]
    rm -rf "$drive_c/Pelto_H"
    [[ ${1:-} == keep-staging ]] || rm -rf "$drive_c/펠토사용자설치"
    mkdir -p "$drive_c/Pelto_H/bin" "$drive_c/Pelto_H/Resource/이미지/sub"
    echo x >"$drive_c/Pelto_H/Resource/a.dat"
    echo x >"$drive_c/Pelto_H/Resource/이미지/sub/b.dat"
    echo x >"$drive_c/Pelto_H/bin/Pelto.ini"
    echo x >"$drive_c/Pelto_H/bin/old.ini"
    echo x >"$drive_c/Pelto_H/bin/KEEP.INI"
    # Read-only and hidden, as Wine stores DOS attributes.
    setfattr -n user.DOSATTRIB -v '0x3' "$drive_c/Pelto_H/Resource/a.dat" 2>/dev/null || true
    setfattr -n user.DOSATTRIB -v '0x1' "$drive_c/Pelto_H/Resource/이미지" 2>/dev/null || true
}

