"""Running the Windows build of the host under Wine for the process-level tests.

A private prefix (build/wine/prefix) and one persistent wineserver serve the whole
test session: scripts/wine-prefix.sh prepares the prefix, starts the server and
lets LOCALAPPDATA through from the Unix environment (Wine otherwise replaces it
with its own profile folder). The session's server is ended when the tests end.
"""

import atexit
import os
import subprocess
from pathlib import Path

import ombrelin_native as native

REPO = Path(__file__).resolve().parents[2]
SCRIPT = REPO / "scripts" / "wine-prefix.sh"
EXE = Path(os.environ.get("OMBRELIN_WINDOWS_HOST", REPO / "build/windows/bin/ombrelin-native-host.exe"))

WINE_ENV = {
    "WINEPREFIX": os.environ.get("OMBRELIN_WINEPREFIX", str(REPO / "build/wine/prefix")),
    "WINEARCH": "win64",
    "WINEDEBUG": "-all",
    # No Mono or Gecko prompts, and no crash debugger writing on the host's stdout.
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d",
}


class WineError(RuntimeError):
    pass


def _run_script(action: str, timeout: float):
    result = subprocess.run(
        ["bash", str(SCRIPT), action],
        env={**os.environ, **WINE_ENV},
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    if result.returncode != 0:
        raise WineError(f"Wine misbehaved during '{action}': {result.stderr.strip()}")


def windows_binary() -> native.HostBinary:
    """Starts the Wine session (once) and describes how to run the .exe in it."""
    if not EXE.exists():
        raise WineError(f"{EXE} is missing: run `make windows` first")
    _run_script("start", timeout=600)
    atexit.register(_run_script, "stop", 120)
    return native.HostBinary(["wine", str(EXE)], windows=True, env=WINE_ENV)
