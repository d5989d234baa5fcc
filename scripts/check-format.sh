#!/usr/bin/env bash
# Fails when one of the project's own C++ files differs from .clang-format, naming each
# file and the first lines that differ. Third-party code is not in the repository.
#   bash scripts/check-format.sh          check
#   bash scripts/check-format.sh --fix    rewrite the files in place
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi

if [[ "${1:-}" == --fix ]]; then
    clang-format -i "${files[@]}"
    exit 0
fi

differing=0
for f in "${files[@]}"; do
    if ! clang-format "$f" | cmp -s "$f" -; then
        echo "$f differs from .clang-format:"
        clang-format "$f" | diff "$f" - | head -n 12 | sed 's/^/    /' || true
        differing=$((differing + 1))
    fi
done
if ((differing)); then
    echo "$differing of ${#files[@]} files differ; 'bash scripts/check-format.sh --fix' formats them" >&2
    exit 1
fi
echo "format: ${#files[@]} files as .clang-format has them"
