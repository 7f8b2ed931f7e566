"""The per-user setup program (build/windows/bin/ombrelin-setup.exe) under Wine.

The tests share the Wine prefix of the other Windows suites (build/wine/prefix,
or $OMBRELIN_WINEPREFIX), one suite at a time: scripts/wine-prefix.sh starts a
session in which LOCALAPPDATA passes through from the Unix environment, so each
test installs into a folder of its own; the host's HKEY_CURRENT_USER keys are
removed before and after every test, so no test, and no other suite, sees
another one's registrations. The session's wineserver is ended at the end.
"""

import os
import subprocess
from pathlib import Path

import pytest

from wine_setup import AGENT, SCRIPT, SETUP, WINE_ENV, Wine


def _script(action: str, timeout: float):
    result = subprocess.run(["bash", str(SCRIPT), action], env={**os.environ, **WINE_ENV},
                            capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        pytest.fail(f"Wine misbehaved during '{action}': {result.stderr.strip()}", pytrace=False)


@pytest.fixture(scope="session")
def wine():
    for program in (SETUP, AGENT):
        if not program.exists():
            pytest.fail(f"{program} is missing: run `make windows` first", pytrace=False)
    _script("start", timeout=600)
    try:
        yield Wine()
    finally:
        _script("stop", timeout=120)


@pytest.fixture(autouse=True)
def no_registrations(wine):
    wine.forget_registrations()
    yield
    wine.forget_registrations()


@pytest.fixture
def local_app_data(tmp_path) -> Path:
    """The test's own LOCALAPPDATA, with a space in its path as on many machines."""
    folder = tmp_path / "Local App Data"
    folder.mkdir()
    return folder
