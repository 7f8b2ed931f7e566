"""Running ombrelin-setup.exe and Wine's reg in the Windows tests' prefix."""

import os
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools"))

SCRIPT = REPO / "scripts" / "wine-prefix.sh"
SETUP = Path(os.environ.get("OMBRELIN_WINDOWS_SETUP", REPO / "build/windows/bin/ombrelin-setup.exe"))
AGENT = Path(os.environ.get("OMBRELIN_WINDOWS_HOST", REPO / "build/windows/bin/ombrelin-native-host.exe"))

WINE_ENV = {
    "WINEPREFIX": os.environ.get("OMBRELIN_WINEPREFIX", str(REPO / "build/wine/prefix")),
    "WINEARCH": "win64",
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d",
    # Wine reads the Unix command line in the locale's encoding.
    "LC_ALL": "C.UTF-8",
}

HOST_NAME = "com.ombrelin.revozad.agent"
REGISTRATIONS = {
    "Chrome": rf"HKCU\Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}",
    "Edge": rf"HKCU\Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}",
    "Chromium": rf"HKCU\Software\Chromium\NativeMessagingHosts\{HOST_NAME}",
}
WINE_LIMIT_S = 60


def windows_path(path: Path) -> str:
    """The path as Wine's programs see it: the Unix root is drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


class Wine:
    """Runs Windows programs in the test session's prefix."""

    def run(self, args: list, local_app_data: str | None = None, timeout: float = WINE_LIMIT_S):
        env = {key: value for key, value in os.environ.items() if key != "LOCALAPPDATA"}
        env.update(WINE_ENV)
        if local_app_data is not None:
            env["LOCALAPPDATA"] = local_app_data
        return subprocess.run(["wine", *map(str, args)], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)

    def setup(self, *args, local_app_data: str | None = None):
        return self.run([SETUP, *args], local_app_data)

    def registered(self, key: str) -> str | None:
        """The key's default value, or None when the key does not exist."""
        result = self.run(["reg", "query", key, "/ve"])
        if result.returncode != 0:
            return None
        for line in result.stdout.decode().splitlines():
            name, _, value = line.strip().partition("    REG_SZ    ")
            if value:
                return value
        raise AssertionError(f"{key} has no default string value: {result.stdout!r}")

    def forget_registrations(self):
        for key in REGISTRATIONS.values():
            self.run(["reg", "delete", key, "/f"])
