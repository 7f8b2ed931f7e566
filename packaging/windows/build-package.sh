#!/usr/bin/env bash
# Builds the Windows Installer package ombrelin-agent.msi with wixl, so that
# the same inputs give the same bytes in any folder, at any time:
#
#   packaging/windows/build-package.sh --version 1.0.0 --agent ombrelin-native-host.exe \
#       --actions ombrelin-package-actions.dll --output ombrelin-agent.msi
#
# What wixl would draw anew on every run is fixed here:
#  - the product code: derived from the upgrade code and the version, so each
#    version has its own (a higher version is a major upgrade of a lower one)
#    and two builds of one version share it;
#  - the package code (the summary's revision number): derived from the
#    version and the SHA-256 of every input, so different packages never
#    share one;
#  - the summary's creation and save times and the cabinet's file times:
#    SOURCE_DATE_EPOCH (by default the time of the last commit).
# Component codes are written in ombrelin-agent.wxs.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
WXS="$HERE/ombrelin-agent.wxs"

die() { printf 'build-package: %s\n' "$*" >&2; exit 1; }

version="" agent="" actions="" output=""
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version=${2:-}; shift 2 ;;
        --agent) agent=${2:-}; shift 2 ;;
        --actions) actions=${2:-}; shift 2 ;;
        --output) output=${2:-}; shift 2 ;;
        *) die "unknown argument '$1' (--version V --agent EXE --actions DLL --output MSI)" ;;
    esac
done
[[ "$version" =~ ^[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,5}$ ]] ||
    die "--version must be MAJOR.MINOR.PATCH as Windows Installer reads it (255.255.65535 at most), not '$version'"
for input in "$agent" "$actions"; do
    [ -f "$input" ] || die "not a file: '$input'"
done
[ -n "$output" ] || die "--output is missing"
for tool in wixl msibuild msiinfo faketime; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool is missing (scripts/install-deps.sh installs it)"
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) ||
        die "SOURCE_DATE_EPOCH is not set and $ROOT is not a git tree"
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is not a number of seconds"

upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$WXS")
[ -n "$upgrade_code" ] || die "no UpgradeCode in $WXS"

# Name-based (SHA-1, version 5) UUIDs in the upgrade code's namespace.
derived_uuid() {
    python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "$upgrade_code" "$1"
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$WXS" "$stage/package.wxs"
cp "$agent" "$stage/agent.exe"
cp "$actions" "$stage/actions.dll"
# The cabinet keeps each file's modification time.
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

product_code=$(derived_uuid "product $version")
inputs=$(cd "$stage" && sha256sum package.wxs agent.exe actions.dll | sha256sum | cut -d' ' -f1)
package_code=$(derived_uuid "package $version $inputs")

# wixl stamps the summary with the current time: give it the source's, frozen
# (-f), so that however long wixl takes, both stamps are the same second.
build_time=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
(
    cd "$stage"
    TZ=UTC faketime -f "$build_time" wixl --arch x64 \
        -D "Version=$version" -D "ProductCode=$product_code" \
        -D Agent=agent.exe -D PackageActions=actions.dll \
        -o package.msi package.wxs
    # wixl 0.101 writes a rollback action as an immediate one: make it
    # msidbCustomActionTypeInScript | msidbCustomActionTypeRollback | DLL in Binary.
    msibuild package.msi -q "UPDATE \`CustomAction\` SET \`Type\` = 1281 WHERE \`Action\` = 'OmbrelinUndoConfiguration'"
    # Keeps wixl's subject, author and template; replaces the random package code.
    msibuild package.msi -s "Ombrelin Revozad remote-control agent (per user)" "Ombrelin" \
        "x64;1033" "{$package_code}"
)
# (Read whole first: grep -q would close the pipe early under pipefail.)
summary=$(msiinfo suminfo "$stage/package.msi")
grep -qF "{$package_code}" <<<"$summary" || die "the package code did not reach the package's summary"
custom_actions=$(msiinfo export "$stage/package.msi" CustomAction)
grep -qP '^OmbrelinUndoConfiguration\t1281\t' <<<"$custom_actions" || die "the rollback action is not marked as one"

mkdir -p "$(dirname "$output")"
mv -f "$stage/package.msi" "$output.tmp"
mv -f "$output.tmp" "$output"
