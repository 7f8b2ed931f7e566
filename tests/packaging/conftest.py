"""The Windows packaging: version resources, the Windows Installer package under
Wine, and signing.

The Wine tests share the prefix and session handling of the setup tests
(build/wine/prefix, one suite at a time). Before and after every test, any
installed version of the package is uninstalled, the three registrations are
removed and the user's "Local AppData" shell folder is put back.
"""

import os
import subprocess
from pathlib import Path

import pytest

from package_wine import (AGENT, DEFAULT_LOCAL_APP_DATA, FILE_VERSION, PACKAGE, PACKAGE_ACTIONS, REPO,
                          SETUP, WINE_ENV, PackageWine, windows_path)

SCRIPT = REPO / "scripts" / "wine-prefix.sh"


def _script(action: str, timeout: float):
    result = subprocess.run(["bash", str(SCRIPT), action], env={**os.environ, **WINE_ENV},
                            capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        pytest.fail(f"Wine misbehaved during '{action}': {result.stderr.strip()}", pytrace=False)


@pytest.fixture(scope="session")
def wine():
    for built in (AGENT, SETUP, PACKAGE, PACKAGE_ACTIONS, FILE_VERSION):
        if not built.exists():
            pytest.fail(f"{built} is missing: run `make windows` first", pytrace=False)
    _script("start", timeout=600)
    try:
        yield PackageWine()
    finally:
        _script("stop", timeout=120)


def _clean(wine: PackageWine):
    for code in wine.our_products():
        wine.uninstall(code)
    wine.set_local_app_data(DEFAULT_LOCAL_APP_DATA)
    wine.forget_registrations()
    wine.remove_empty_browser_keys()


@pytest.fixture
def clean_wine(wine):
    _clean(wine)
    assert wine.our_products() == {}, "an earlier installation could not be removed"
    yield wine
    _clean(wine)


@pytest.fixture
def local_app_data(clean_wine, tmp_path) -> Path:
    """The test's own LocalAppDataFolder (and LOCALAPPDATA for the agent), with a
    space in its path as on many machines."""
    folder = tmp_path / "Local App Data"
    folder.mkdir()
    clean_wine.set_local_app_data(windows_path(folder))
    return folder
