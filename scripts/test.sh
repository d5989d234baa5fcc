#!/usr/bin/env bash
# The test command: installs what it needs, builds and runs every test suite.
#   bash scripts/test.sh            everything (format, Linux, sanitizers, fuzzing, Windows under Wine)
#   bash scripts/test.sh linux      one stage (lint, linux, asan, fuzz, windows)
# Every stage builds the project's own code with warnings as errors: g++ (linux, asan),
# clang (fuzz), mingw-w64's g++ (windows).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

# No stage reads from the person who started it: a test that waited for an answer would
# hold the run for ever, at a terminal as in CI.
exec </dev/null

if [[ "$(id -u)" == 0 ]]; then
    bash scripts/install-deps.sh
fi

stages=("$@")
if ((${#stages[@]} == 0)); then
    stages=(lint linux asan fuzz windows)
fi

jobs=$(nproc)

for stage in "${stages[@]}"; do
    echo "=== stage: $stage ==="
    case "$stage" in
    lint)
        bash scripts/check-format.sh
        ;;
    linux | asan)
        preset=$( [[ $stage == linux ]] && echo debug || echo asan )
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$jobs"
        # On a pseudo-terminal of its own, as when a person runs this at a terminal (CI has
        # none): a test that reads the terminal blocks there and fails at the preset's
        # timeout. The status is ctest's (script -e).
        script -qec "ctest --preset $preset -j $jobs" /dev/null
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
