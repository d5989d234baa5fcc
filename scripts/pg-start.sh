#!/usr/bin/env bash
# Starts a throw-away PostgreSQL cluster that listens only on a Unix socket in a fresh
# temporary folder, and writes that folder's path into STATE_FILE.
#   scripts/pg-start.sh STATE_FILE
# The server refuses to run as root, so as root the cluster belongs to an unprivileged
# account (postgres when it exists, else nobody). scripts/pg-stop.sh STATE_FILE ends it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"

state_file=${1:?usage: pg-start.sh STATE_FILE}
pg_bin=${PELTO_PG_BIN:-}
if [[ -z $pg_bin ]]; then
    for candidate in /usr/lib/postgresql/*/bin; do
        [[ -x $candidate/initdb ]] && pg_bin=$candidate
    done
fi
if [[ -z $pg_bin || ! -x $pg_bin/initdb ]]; then
    echo "pg-start: no PostgreSQL server binaries (set PELTO_PG_BIN)" >&2
    exit 1
fi

# An earlier run that was interrupted may have left its cluster running.
if [[ -f $state_file ]]; then
    bash "$(dirname "$0")/pg-stop.sh" "$state_file" || true
fi

dir=$(mktemp -d /tmp/pelto-pg.XXXXXX)
run_as=()
if [[ $(id -u) == 0 ]]; then
    account=postgres
    id "$account" >/dev/null 2>&1 || account=nobody
    chown "$account" "$dir"
    run_as=(runuser -u "$account" --)
fi
chmod 700 "$dir"

"${run_as[@]}" "$pg_bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
    --no-sync >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
# No TCP listener at all: the socket in the private folder is the only way in.
"${run_as[@]}" "$pg_bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-k $dir -c listen_addresses= -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || { cat "$dir/server.log" >&2; rm -rf "$dir"; exit 1; }
# The test processes (any user) reach the socket through the folder.
chmod 755 "$dir"
printf '%s\n%s\n' "$dir" "$pg_bin" >"$state_file"
echo "pg-start: cluster on socket folder $dir"
