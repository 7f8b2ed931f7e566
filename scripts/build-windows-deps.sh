#!/usr/bin/env bash
# Builds the Windows (x86_64, mingw-w64 posix threads) static libraries the
# agent links against: libsodium and simdjson, from Debian's source packages.
#
# Usage: scripts/build-windows-deps.sh [OUTPUT_DIR]
#   OUTPUT_DIR defaults to <repo>/build/windows-deps
#
# Result:
#   OUTPUT_DIR/prefix/include/{sodium.h,sodium/,simdjson.h}
#   OUTPUT_DIR/prefix/lib/{libsodium.a,libsimdjson.a}
#   OUTPUT_DIR/src/      unpacked Debian sources
#   OUTPUT_DIR/stamp     package versions + recipe revision of the last build
#
# Consumers should compile with SIMDJSON_EXCEPTIONS=0 (the library is built
# that way) and may define SODIUM_STATIC=1 (harmless; with GCC sodium.h declares
# no dllimport either way).
#
# Idempotent: prints nothing and exits 0 when the stamp matches the versions
# apt would fetch now. Needs root (or sudo) only the first time, to enable
# deb-src entries and install dpkg-dev, autoconf, automake and libtool
# (Debian's libsodium source has no generated configure script).
set -euo pipefail

# Bump when the build recipe below changes, so cached builds are redone.
RECIPE=5

SCRIPT_DIR=$(cd "$(dirname "$0")" && pwd)
OUT=${1:-"$SCRIPT_DIR/../build/windows-deps"}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
PREFIX="$OUT/prefix"
SRC="$OUT/src"
WORK="$OUT/work"
STAMP="$OUT/stamp"
LOG="$OUT/build.log"

HOST=x86_64-w64-mingw32
CC="$HOST-gcc-posix"
CXX="$HOST-g++-posix"
AR="$HOST-ar"
RANLIB="$HOST-ranlib"
# 64-bit Windows stacks are only 16-byte aligned and GCC cannot realign them:
# make the assembler turn aligned AVX moves into unaligned ones (same as the
# toolchain file does for the project's own code).
VECFLAG="-Wa,-muse-unaligned-vector-move"
# Reproducible libraries: paths of this folder are written relative to it
# (assertion texts name their source files), and archives carry no timestamps
# or owners, whichever folder the tree was cloned into.
MAPFLAG="-ffile-prefix-map=$OUT=windows-deps"

say() { printf 'build-windows-deps: %s\n' "$*" >&2; }
die() { say "error: $*"; exit 1; }

for tool in "$CC" "$CXX" "$AR" "$RANLIB"; do
    command -v "$tool" >/dev/null 2>&1 ||
        die "$tool not found (apt-get install g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)"
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

have_deb_src() {
    # deb-src in one-line lists or in deb822 .sources files
    grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
        grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources
}

enable_deb_src() {
    local deb822=/etc/apt/sources.list.d/debian.sources
    local target=/etc/apt/sources.list.d/ombrelin-deb-src.sources
    if [ -f "$deb822" ]; then
        say "adding deb-src entries ($target) mirroring $deb822"
        # Every stanza that has "deb" among its Types is copied with Types: deb-src.
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:[^\n]*deb([ \t]|\n|$)/ {
                 gsub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
             }' "$deb822" | as_root tee "$target" >/dev/null
    elif grep -qsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
        target=/etc/apt/sources.list.d/ombrelin-deb-src.list
        say "adding deb-src entries ($target) mirroring /etc/apt/sources.list"
        sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list |
            as_root tee "$target" >/dev/null
    else
        die "no Debian apt source found to mirror as deb-src"
    fi
    [ -s "$target" ] || die "could not derive deb-src entries"
}

APT_UPDATED=0
apt_update_once() {
    [ "$APT_UPDATED" -eq 1 ] && return 0
    say "apt-get update"
    as_root apt-get update -qq >/dev/null || die "apt-get update failed"
    APT_UPDATED=1
}

if ! have_deb_src; then
    enable_deb_src
    apt_update_once
fi

# Source version apt-get source would fetch now (empty when unknown).
src_version() {
    apt-get source --print-uris -qq "$1" 2>/dev/null |
        awk -v pkg="$1" '$2 ~ "^" pkg "_.*\\.dsc$" {
            v = substr($2, length(pkg) + 2); sub(/\.dsc$/, "", v); sub(/^[0-9]+%3a/, "", v)
            print v; exit }'
}

SODIUM_VER=$(src_version libsodium)
SIMDJSON_VER=$(src_version simdjson)
if [ -z "$SODIUM_VER" ] || [ -z "$SIMDJSON_VER" ]; then
    apt_update_once
    SODIUM_VER=$(src_version libsodium)
    SIMDJSON_VER=$(src_version simdjson)
fi
[ -n "$SODIUM_VER" ] || die "apt knows no source package libsodium"
[ -n "$SIMDJSON_VER" ] || die "apt knows no source package simdjson"

WANT=$(printf 'libsodium=%s\nsimdjson=%s\nrecipe=%s\n' "$SODIUM_VER" "$SIMDJSON_VER" "$RECIPE")
if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$WANT" ] &&
    [ -f "$PREFIX/lib/libsodium.a" ] && [ -f "$PREFIX/lib/libsimdjson.a" ] &&
    [ -f "$PREFIX/include/sodium.h" ] && [ -f "$PREFIX/include/simdjson.h" ]; then
    exit 0
fi

# dpkg-dev for apt-get source; autotools because Debian's libsodium source
# ships no generated configure script (Debian runs autoreconf itself).
missing=()
command -v dpkg-source >/dev/null 2>&1 || missing+=(dpkg-dev)
command -v autoreconf >/dev/null 2>&1 || missing+=(autoconf)
command -v automake >/dev/null 2>&1 || missing+=(automake)
command -v libtoolize >/dev/null 2>&1 || missing+=(libtool)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    apt_update_once
    apt_install() {
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >"$OUT/apt.log" 2>&1
    }
    if ! apt_install; then
        apt_update_once
        apt_install || { cat "$OUT/apt.log" >&2; die "could not install ${missing[*]}"; }
    fi
    rm -f "$OUT/apt.log"
fi

START=$(date +%s)
rm -f "$STAMP"
rm -rf "$SRC" "$WORK" "$PREFIX"
mkdir -p "$SRC" "$WORK" "$PREFIX/include" "$PREFIX/lib"
: >"$LOG"

run() { # run a build step, output to the log; show its tail on failure
    if ! "$@" >>"$LOG" 2>&1; then
        tail -n 40 "$LOG" >&2
        die "step failed: $* (full log: $LOG)"
    fi
}

say "fetching sources libsodium $SODIUM_VER, simdjson $SIMDJSON_VER"
# apt-get source drops privileges to _apt for the download when it can;
# the folder must be writable for that user, or apt warns and downloads as root.
(cd "$SRC" && run apt-get source -qq "libsodium=$SODIUM_VER" "simdjson=$SIMDJSON_VER")

SODIUM_SRC=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name 'libsodium-*' | head -n1)
SIMDJSON_SRC=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name 'simdjson-*' | head -n1)
[ -n "$SODIUM_SRC" ] || die "libsodium source not unpacked under $SRC"
[ -n "$SIMDJSON_SRC" ] || die "simdjson source not unpacked under $SRC"

# ---- libsodium (autotools) -------------------------------------------------
say "building libsodium"
mkdir -p "$WORK/libsodium"
(
    cd "$SODIUM_SRC"
    run autoreconf -fi
    cd "$WORK/libsodium"
    # No stack protector: mingw would then need libssp at link time.
    run "$SODIUM_SRC/configure" --host="$HOST" --prefix="$PREFIX" \
        --disable-shared --enable-static --disable-ssp --disable-dependency-tracking \
        CC="$CC" AR="$AR" RANLIB="$RANLIB" AR_FLAGS=crD \
        CFLAGS="-O2 $VECFLAG $MAPFLAG"
    run make -j2
    run make install
)
# The Windows build must take its random bytes from the system generator
# (RtlGenRandom, exported by advapi32 as SystemFunction036).
sodium_syms=$("$HOST-nm" "$PREFIX/lib/libsodium.a" 2>/dev/null)
grep -Eq 'U (__imp_)?SystemFunction036' <<<"$sodium_syms" ||
    die "libsodium.a does not use RtlGenRandom (SystemFunction036)"
rm -rf "$PREFIX/lib/pkgconfig" "$PREFIX/lib/libsodium.la"

# ---- simdjson (single amalgamated translation unit) ------------------------
say "building simdjson"
SINGLE="$SIMDJSON_SRC/singleheader"
if [ ! -f "$SINGLE/simdjson.cpp" ] || [ ! -f "$SINGLE/simdjson.h" ]; then
    die "no singleheader/simdjson.{cpp,h} in $SIMDJSON_SRC"
fi
mkdir -p "$WORK/simdjson"
run "$CXX" -O2 $VECFLAG $MAPFLAG -std=c++17 -DNDEBUG -DSIMDJSON_EXCEPTIONS=0 \
    -I"$SINGLE" -c "$SINGLE/simdjson.cpp" -o "$WORK/simdjson/simdjson.o"
rm -f "$PREFIX/lib/libsimdjson.a"
run "$AR" rcsD "$PREFIX/lib/libsimdjson.a" "$WORK/simdjson/simdjson.o"
install -m 0644 "$SINGLE/simdjson.h" "$PREFIX/include/simdjson.h"

rm -rf "$WORK"
printf '%s\n' "$WANT" >"$STAMP"
say "done in $(($(date +%s) - START)) s -> $PREFIX"
