#!/usr/bin/env bash
# Checks released Windows files against this tree's own build: for a reviewer
# who rebuilt the release's commit (`make windows`) and wants to know that the
# released files are exactly what that source gives.
#
#   scripts/verify-release.sh RELEASE_DIR
#
# RELEASE_DIR holds ombrelin-native-host.exe, ombrelin-setup.exe and
# ombrelin-agent.msi as released, signed or not. A signature cannot be
# rebuilt, so each released signature is attached to the rebuilt file first
# (the package's custom-action library is taken from the released package for
# its signature); the package is then built again from those files. Each file
# is reported "identical" or "DIFFERENT"; exit status 0 only when all are
# identical. Signatures are only copied here, not judged: check them with
# `osslsigncode verify` (README, "Verifying a build").
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build/windows"

die() { printf 'verify-release: %s\n' "$*" >&2; exit 2; }

[ $# -eq 1 ] || die "usage: scripts/verify-release.sh RELEASE_DIR"
release=$(cd "$1" 2>/dev/null && pwd) || die "not a folder: '$1'"
programs=(ombrelin-native-host.exe ombrelin-setup.exe)
for file in "${programs[@]}" ombrelin-agent.msi; do
    [ -f "$release/$file" ] || die "$release/$file is missing"
done
for file in "${programs[@]}" ombrelin-package-actions.dll; do
    [ -f "$BUILD/bin/$file" ] || die "$BUILD/bin/$file is missing: run \`make windows\` first"
done
version=$(sed -n 's/^#define OMBRELIN_VERSION_TEXT "\(.*\)"$/\1/p' "$BUILD/generated/ombrelin_version.h")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# rebuilt RELEASED OURS OUT: OURS with RELEASED's signature, when it has one.
with_release_signature() {
    local released=$1 ours=$2 out=$3
    if osslsigncode extract-signature -in "$released" -out "$work/signature" >/dev/null 2>&1; then
        osslsigncode attach-signature -sigin "$work/signature" -in "$ours" -out "$out" >/dev/null 2>&1 || true
        # attach-signature reports a failure when it cannot verify the chain; the
        # comparison below is what counts.
        [ -f "$out" ] || die "could not attach the signature of $released"
        rm -f "$work/signature"
    else
        cp "$ours" "$out"
    fi
}

for file in "${programs[@]}"; do
    with_release_signature "$release/$file" "$BUILD/bin/$file" "$work/$file"
done
msiinfo extract "$release/ombrelin-agent.msi" Binary.OmbrelinPackageActions >"$work/released-actions.dll" ||
    die "$release/ombrelin-agent.msi holds no custom-action library"
with_release_signature "$work/released-actions.dll" "$BUILD/bin/ombrelin-package-actions.dll" "$work/actions.dll"
"$ROOT/packaging/windows/build-package.sh" --version "$version" --agent "$work/ombrelin-native-host.exe" \
    --actions "$work/actions.dll" --output "$work/unsigned.msi"
with_release_signature "$release/ombrelin-agent.msi" "$work/unsigned.msi" "$work/ombrelin-agent.msi"

status=0
for file in "${programs[@]}" ombrelin-agent.msi; do
    if cmp -s "$release/$file" "$work/$file"; then
        printf 'identical  %s  %s\n' "$(sha256sum <"$release/$file" | cut -d' ' -f1)" "$file"
    else
        printf 'DIFFERENT  %s  %s (rebuilt: %s)\n' "$(sha256sum <"$release/$file" | cut -d' ' -f1)" "$file" \
            "$(sha256sum <"$work/$file" | cut -d' ' -f1)"
        status=1
    fi
done
exit "$status"
