#!/usr/bin/env bash
# Private, headless 64-bit Wine prefix for running the Windows build.
#
#   source scripts/wine-prefix.sh   # prepare the prefix once, export the Wine
#                                   # variables, define ombrelin_wine_start/stop
#   scripts/wine-prefix.sh [prepare]   # only prepare the prefix
#   scripts/wine-prefix.sh start       # prepare + start a test session (below)
#   scripts/wine-prefix.sh stop        # end every Wine process of the prefix
#
# Exports WINEPREFIX (<repo>/build/wine/prefix, or $OMBRELIN_WINEPREFIX),
# WINEARCH=win64, WINEDEBUG=-all and WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d":
# no Mono/Gecko install prompts, and a crashing program does not start
# winedbg, which would print its crash report on the program's stdout
# (OMBRELIN_WINE_CRASH_DEBUGGER=1 keeps winedbg). "wineboot --init" runs only
# when the prefix is missing or was made by another Wine version (stamp file
# in the prefix). wineboot needs no X display; should it fail without one, it
# is retried once under a private Xvfb, which is stopped afterwards.
#
# A test session ("start", or ombrelin_wine_start once sourced):
#  - starts a persistent wineserver, so each "wine x.exe" then starts in
#    ~15-60 ms instead of ~0.5 s;
#  - runs one throw-away Wine process with /dev/null as stdin/stdout/stderr:
#    the first process of a session launches Wine's background services
#    (services.exe, winedevice.exe, ...), which keep the Unix descriptors they
#    inherit, so a test reading that first process' stdout to EOF would hang;
#  - removes LOCALAPPDATA from HKCU\Volatile Environment for this session:
#    Wine otherwise replaces the Unix LOCALAPPDATA of every program with
#    C:\users\<user>\AppData\Local. After it, LOCALAPPDATA passes through from
#    the Unix environment as is (use a Windows path, e.g. "Z:\tmp\dir" from
#    "winepath -w /tmp/dir"), and an unset one stays unset.
# Wine redoes the Volatile Environment whenever a new wineserver starts, so
# keep the session's server running ("stop" ends it).
#
# Exit/return status: 0 on success, 1 when Wine misbehaved (the wineboot
# output is then in <prefix>/../wineboot.log).

_ombrelin_wine_prepare() (
    set -euo pipefail

    say() { printf 'wine-prefix: %s\n' "$*" >&2; }

    local wine_bin
    if ! wine_bin=$(command -v wine); then
        say "error: 'wine' is not installed (apt-get install wine wine64)"
        return 1
    fi
    command -v wineserver >/dev/null 2>&1 || {
        say "error: 'wineserver' is not installed"
        return 1
    }

    local version
    if ! version=$(timeout 20 "$wine_bin" --version 2>/dev/null) || [ -z "$version" ]; then
        say "error: 'wine --version' failed or hung; Wine itself is broken"
        return 1
    fi

    local stamp="$WINEPREFIX/.ombrelin-prefix-ready"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] &&
        [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
        return 0
    fi

    local log
    log="$(dirname "$WINEPREFIX")/wineboot.log"
    mkdir -p "$(dirname "$WINEPREFIX")"
    : >"$log"

    # Runs wineboot, then waits (bounded) for the prefix's wineserver to exit.
    boot() {
        local rc=0
        timeout 300 "$wine_bin" wineboot --init </dev/null >>"$log" 2>&1 || rc=$?
        if [ "$rc" -eq 0 ]; then
            timeout 60 wineserver -w >>"$log" 2>&1 || rc=$?
        fi
        if [ "$rc" -ne 0 ]; then
            timeout 20 wineserver -k >/dev/null 2>&1 || true
        fi
        # A usable prefix has its registry and system folder.
        [ "$rc" -eq 0 ] && [ -f "$WINEPREFIX/system.reg" ] &&
            [ -d "$WINEPREFIX/drive_c/windows/system32" ]
    }

    say "initialising $WINEPREFIX ($version)"
    if ! boot; then
        if command -v Xvfb >/dev/null 2>&1; then
            say "wineboot failed; retrying under a private Xvfb"
            rm -rf "$WINEPREFIX"
            local n=90 xpid ok=1
            while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
            Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >>"$log" 2>&1 &
            xpid=$!
            sleep 1
            DISPLAY=":$n" boot || ok=0
            kill "$xpid" 2>/dev/null || true
            wait "$xpid" 2>/dev/null || true
            if [ "$ok" -eq 1 ]; then
                printf '%s\n' "$version" >"$stamp"
                return 0
            fi
        fi
        say "error: Wine failed to initialise $WINEPREFIX (see $log):"
        tail -n 15 "$log" | sed 's/^/    /' >&2
        return 1
    fi
    printf '%s\n' "$version" >"$stamp"
)

# Starts the test session described above (idempotent).
_ombrelin_wine_start() (
    set -euo pipefail
    say() { printf 'wine-prefix: %s\n' "$*" >&2; }
    _ombrelin_wine_prepare || return 1
    local rc=0
    timeout 20 wineserver -p >/dev/null 2>&1 || rc=$?
    # 2: a server already runs for this prefix
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 2 ]; then
        say "error: 'wineserver -p' failed (status $rc)"
        return 1
    fi
    # Also the session's first process (see above): /dev/null descriptors.
    timeout 120 wine reg delete 'HKCU\Volatile Environment' /v LOCALAPPDATA /f \
        </dev/null >/dev/null 2>&1 || true
    rc=0
    timeout 60 wine reg query 'HKCU\Volatile Environment' /v LOCALAPPDATA \
        </dev/null >/dev/null 2>&1 || rc=$?
    case "$rc" in
        1) ;; # value absent: done
        0)
            say "error: could not remove LOCALAPPDATA from the Wine session's environment"
            return 1
            ;;
        124)
            say "error: Wine hung (a 'wine reg' call did not finish in 60 s)"
            return 1
            ;;
        *)
            say "error: Wine failed to run 'reg' (status $rc)"
            return 1
            ;;
    esac
)

# Ends every Wine process of the prefix, and its wineserver.
_ombrelin_wine_stop() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}

ombrelin_wine_start() { _ombrelin_wine_start; }
ombrelin_wine_stop() { _ombrelin_wine_stop; }

_ombrelin_wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${OMBRELIN_WINEPREFIX:-$_ombrelin_wine_root/build/wine/prefix}"
export WINEARCH=win64
export WINEDEBUG=-all
if [ "${OMBRELIN_WINE_CRASH_DEBUGGER:-0}" = 1 ]; then
    export WINEDLLOVERRIDES="mscoree,mshtml="
else
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
fi
unset _ombrelin_wine_root

if [ "${BASH_SOURCE[0]}" != "$0" ]; then
    # sourced: keep the caller's shell options, report through the status
    _ombrelin_wine_prepare || return 1
else
    case "${1:-prepare}" in
        prepare) _ombrelin_wine_prepare ;;
        start) _ombrelin_wine_start ;;
        stop) _ombrelin_wine_stop ;;
        *)
            printf 'usage: %s [prepare|start|stop]\n' "$0" >&2
            exit 2
            ;;
    esac
fi
