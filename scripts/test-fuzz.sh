#!/usr/bin/env bash
# The fuzz stage: builds the libFuzzer targets with clang (the fuzz preset), one per reader
# of outside input, and runs each for a bounded time from its seed corpus. A crash, a
# leak, an out-of-bounds read or a broken property fails the stage; the input that caused
# it is kept in build/fuzz/artifacts/.
#   bash scripts/test-fuzz.sh                  60 seconds per target, one per core at a time
#   PELTO_FUZZ_SECONDS=600 bash scripts/test-fuzz.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

seconds=${PELTO_FUZZ_SECONDS:-60}
# target:seed corpus folder
targets=(
    "fuzz_cipher_decrypt:fuzz/cipher/corpus"
    "fuzz_reg_file:fuzz/registry/corpus"
    "fuzz_ado_connection_string:fuzz/connection_string/corpus"
    "fuzz_profile_entry:fuzz/profile/corpus"
    "fuzz_variant_text:fuzz/variant/corpus"
    "fuzz_servers_file:fuzz/servers/corpus"
)

cmake --preset fuzz >/dev/null
# Everything the preset builds, not only the targets: the program's own code is compiled
# by clang here, with warnings as errors, as it is by g++ in the other stages.
cmake --build --preset fuzz

artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One target per core at a time: each gets its whole time, and the stage takes a share of
# it. Each target's output goes to its own file, shown whole when it ends.
fuzz_one() { # fuzz_one NAME SEEDS
    local name=$1 seeds=$2
    # The corpus grows in a scratch copy; the seeds in the checkout stay as they are.
    local corpus="$work/$name"
    mkdir -p "$corpus"
    cp "$seeds"/* "$corpus"/
    "build/fuzz/bin/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/$name-" "$corpus" >"$work/$name.out" 2>&1
}

parallel=$(nproc)
failed=()
for ((first = 0; first < ${#targets[@]}; first += parallel)); do
    batch=("${targets[@]:first:parallel}")
    pids=()
    for entry in "${batch[@]}"; do
        echo "--- ${entry%%:*} for ${seconds}s"
        fuzz_one "${entry%%:*}" "${entry#*:}" &
        pids+=($!)
    done
    for i in "${!batch[@]}"; do
        name=${batch[i]%%:*}
        status=0
        wait "${pids[i]}" || status=$?
        echo "--- $name ended with status $status"
        cat "$work/$name.out"
        ((status == 0)) || failed+=("$name")
    done
done
if ((${#failed[@]})); then
    echo "fuzz stage failed: ${failed[*]} (inputs in $artifacts/)" >&2
    exit 1
fi
echo "fuzz stage passed"
