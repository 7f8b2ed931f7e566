#!/usr/bin/env bash
# Writes the release files of the Windows build into build/dist/ (or the
# folder given):
#
#   ombrelin-native-host.exe  ombrelin-setup.exe  ombrelin-agent.msi  SHA256SUMS
#
# from build/windows (`make windows`). When OMBRELIN_SIGNING_CERT and
# OMBRELIN_SIGNING_KEY are set (see scripts/sign-windows.sh), both programs and
# the package's custom-action library are signed first, the package is built
# again from the signed files (so the agent it installs is the signed one), and
# the package is signed last. Without them, the files are left unsigned.
#
# SOURCE_DATE_EPOCH defaults to the time of the last commit, so that unsigned
# releases built from the same commit are bit-identical.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build/windows"
DIST=${1:-"$ROOT/build/dist"}

die() { printf 'make-dist: %s\n' "$*" >&2; exit 1; }

version=$(sed -n 's/^#define OMBRELIN_VERSION_TEXT "\(.*\)"$/\1/p' "$BUILD/generated/ombrelin_version.h" 2>/dev/null)
[ -n "$version" ] || die "no version in $BUILD/generated/ombrelin_version.h: run \`make windows\` first"
programs=(ombrelin-native-host.exe ombrelin-setup.exe)
for file in "${programs[@]}" ombrelin-package-actions.dll; do
    [ -f "$BUILD/bin/$file" ] || die "$BUILD/bin/$file is missing: run \`make windows\` first"
done

signing=0
if [ -n "${OMBRELIN_SIGNING_CERT:-}" ] || [ -n "${OMBRELIN_SIGNING_KEY:-}" ]; then
    [ -n "${OMBRELIN_SIGNING_CERT:-}" ] && [ -n "${OMBRELIN_SIGNING_KEY:-}" ] ||
        die "set both OMBRELIN_SIGNING_CERT and OMBRELIN_SIGNING_KEY, or neither"
    signing=1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct) || die "SOURCE_DATE_EPOCH is not set and this is not a git tree"
fi
export SOURCE_DATE_EPOCH

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for file in "${programs[@]}" ombrelin-package-actions.dll; do
    cp "$BUILD/bin/$file" "$work/$file"
done
if [ "$signing" -eq 1 ]; then
    "$ROOT/scripts/sign-windows.sh" "${programs[@]/#/$work/}" "$work/ombrelin-package-actions.dll"
fi
"$ROOT/packaging/windows/build-package.sh" --version "$version" \
    --agent "$work/ombrelin-native-host.exe" --actions "$work/ombrelin-package-actions.dll" \
    --output "$work/ombrelin-agent.msi"
if [ "$signing" -eq 1 ]; then
    "$ROOT/scripts/sign-windows.sh" "$work/ombrelin-agent.msi"
fi

rm -rf "$DIST"
mkdir -p "$DIST"
for file in "${programs[@]}" ombrelin-agent.msi; do
    cp "$work/$file" "$DIST/$file"
done
(cd "$DIST" && sha256sum "${programs[@]}" ombrelin-agent.msi >SHA256SUMS)
if [ "$signing" -eq 1 ]; then
    state="signed"
else
    state="unsigned: set OMBRELIN_SIGNING_CERT and OMBRELIN_SIGNING_KEY to sign"
fi
printf 'make-dist: %s (version %s, %s)\n' "$DIST" "$version" "$state" >&2
cat "$DIST/SHA256SUMS"
