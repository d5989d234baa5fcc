# Sourced by every script of the project right after its `set -euo pipefail`: a command
# that fails under `set -e` names the script, the line and the command before the script
# ends, so no step ever dies in silence.
#   source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
# Also: `run_logged LOG COMMAND...` runs a command whose output goes to LOG and shows the
# log's tail when it fails.

set -o errtrace
trap 'pelto_status=$?; printf "%s:%s: \"%s\" failed with status %s\n" \
    "${BASH_SOURCE[0]}" "$LINENO" "$BASH_COMMAND" "$pelto_status" >&2; exit "$pelto_status"' ERR

run_logged() { # run_logged LOG COMMAND...
    local log=$1
    shift
    local status=0
    "$@" >"$log" 2>&1 || status=$?
    if ((status != 0)); then
        printf '%s failed with status %s; the last lines of %s:\n' "$*" "$status" "$log" >&2
        tail -n 40 "$log" | sed 's/^/    /' >&2
    fi
    return "$status"
}
