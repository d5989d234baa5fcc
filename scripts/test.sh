#!/usr/bin/env bash
# The test command: installs what it needs, builds and runs every test suite.
#   bash scripts/test.sh            everything (Linux, sanitizers, fuzzing, Windows under Wine)
#   bash scripts/test.sh linux      one stage (linux, asan, fuzz, windows)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

if [[ "$(id -u)" == 0 ]]; then
    bash scripts/install-deps.sh
fi

stages=("$@")
if ((${#stages[@]} == 0)); then
    stages=(linux asan fuzz windows)
fi

jobs=$(nproc)

for stage in "${stages[@]}"; do
    echo "=== stage: $stage ==="
    case "$stage" in
    linux | asan)
        cmake --preset "$( [[ $stage == linux ]] && echo debug || echo asan )" >/dev/null
        cmake --build --preset "$( [[ $stage == linux ]] && echo debug || echo asan )" -j "$jobs"
        ctest --preset "$( [[ $stage == linux ]] && echo debug || echo asan )" -j "$jobs"
        ;;
    fuzz | windows)
        if [[ -x scripts/test-$stage.sh ]]; then
            bash "scripts/test-$stage.sh"
        else
            echo "(no $stage stage yet)"
        fi
        ;;
    *)
        echo "unknown stage $stage" >&2
        exit 2
        ;;
    esac
done
