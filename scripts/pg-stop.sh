#!/usr/bin/env bash
# Stops the cluster that scripts/pg-start.sh STATE_FILE started and removes its folder.
set -uo pipefail

state_file=${1:?usage: pg-stop.sh STATE_FILE}
[[ -f $state_file ]] || exit 0
{ read -r dir; read -r pg_bin; } <"$state_file"
case $dir in
/tmp/pelto-pg.*) ;;
*) echo "pg-stop: unexpected folder '$dir' in $state_file" >&2; exit 1 ;;
esac
if [[ -d $dir/data ]]; then
    run_as=()
    if [[ $(id -u) == 0 ]]; then
        run_as=(runuser -u "$(stat -c %U "$dir/data")" --)
    fi
    "${run_as[@]}" "$pg_bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
fi
rm -rf "$dir" "$state_file"
