#!/usr/bin/env bash
# Fetches a real Jet 4 database for the Jet tests: test/fruit.mdb of the npm package
# mdb 0.1.0, into DEST_DIR/fruit.mdb (kept there for later runs).
#   tests/db/fetch-fruit-mdb.sh DEST_DIR
# Without npm or the registry the file stays missing and the Jet tests skip themselves,
# except on a build server (CI=true), where the missing file fails the run.
set -uo pipefail

missing() {
    if [[ ${CI:-} == true ]]; then
        echo "fetch-fruit-mdb: $1; on a build server (CI=true) that fails the run" >&2
        exit 1
    fi
    echo "fetch-fruit-mdb: $1; the Jet tests will be skipped" >&2
    exit 0
}

dest=${1:?usage: fetch-fruit-mdb.sh DEST_DIR}
[[ -s $dest/fruit.mdb ]] && exit 0
mkdir -p "$dest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! command -v npm >/dev/null; then
    missing "npm is not installed"
fi
if (cd "$work" && npm pack mdb@0.1.0 --silent --cache "$work/npm-cache" >/dev/null 2>"$work/npm.log") &&
    tar -xzf "$work"/mdb-0.1.0.tgz -C "$work" package/test/fruit.mdb; then
    cp "$work/package/test/fruit.mdb" "$dest/fruit.mdb"
    echo "fetch-fruit-mdb: $dest/fruit.mdb"
else
    cat "$work/npm.log" >&2
    missing "could not fetch mdb@0.1.0 from the npm registry"
fi
exit 0
