#!/usr/bin/env bash
# Builds the Windows release files twice from clean trees and compares them:
# two fresh clones of the last commit, in folders of different names and
# depths, built one after the other (the second in another time zone), each
# from nothing (libsodium and simdjson included) to `scripts/make-dist.sh`.
# Prints both SHA256SUMS and exits 0 when they are the same, 1 when not (the
# two trees are then kept for a look with diffoscope or cmp).
#
#   scripts/check-reproducible.sh [WORK_DIR]    (default: a new folder in /tmp)
#
# Unsigned builds only: a signature is made with a private key no rebuild has.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-$(mktemp -d "${TMPDIR:-/tmp}/ombrelin-reproducible.XXXXXX")}
JOBS=${JOBS:-2}

say() { printf 'check-reproducible: %s\n' "$*" >&2; }

commit=$(git -C "$ROOT" rev-parse HEAD)
if [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ]; then
    say "note: the working tree has changes that are not committed; this checks $commit only"
fi
"$ROOT/scripts/install-deps.sh"

build() { # build TREE TIMEZONE
    local tree=$1 zone=$2 start
    start=$(date +%s)
    mkdir -p "$(dirname "$tree")"
    git clone --quiet --no-hardlinks "$ROOT" "$tree"
    git -C "$tree" checkout --quiet --detach "$commit"
    say "building $commit in $tree"
    (
        cd "$tree"
        export TZ=$zone
        unset SOURCE_DATE_EPOCH OMBRELIN_SIGNING_CERT OMBRELIN_SIGNING_KEY
        scripts/build-windows-deps.sh
        cmake --preset windows >/dev/null
        cmake --build build/windows -j"$JOBS" --target ombrelin-setup ombrelin-agent-package
        scripts/make-dist.sh
    ) >"$tree.log" 2>&1 || { tail -n 30 "$tree.log" >&2; say "the build in $tree failed (log: $tree.log)"; exit 1; }
    say "built in $(($(date +%s) - start)) s"
}

first="$WORK/first"
second="$WORK/somewhere/else/second-tree"
build "$first" UTC
build "$second" Pacific/Auckland

printf 'first build (%s):\n' "$first"
cat "$first/build/dist/SHA256SUMS"
printf 'second build (%s):\n' "$second"
cat "$second/build/dist/SHA256SUMS"
if cmp -s "$first/build/dist/SHA256SUMS" "$second/build/dist/SHA256SUMS"; then
    say "bit-identical: both builds of $commit gave the same files"
    rm -rf "$WORK"
    exit 0
fi
say "the builds differ; both trees are kept in $WORK"
exit 1
