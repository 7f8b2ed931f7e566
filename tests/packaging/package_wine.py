"""The Windows Installer package under Wine: running msiexec, reading what Windows
Installer registered, and where a per-user package installs.

The tests share the Wine prefix of the setup tests (tests/setup/wine_setup.py).
Windows Installer takes LocalAppDataFolder from the user's shell folders, not
from the LOCALAPPDATA variable, so each test points the shell folder
"Local AppData" at a folder of its own and puts it back afterwards.
"""

import re
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "setup"))

from wine_setup import AGENT, REGISTRATIONS, SETUP, WINE_ENV, Wine, windows_path  # noqa: E402

BIN = REPO / "build" / "windows" / "bin"
PACKAGE = BIN / "ombrelin-agent.msi"
PACKAGE_ACTIONS = BIN / "ombrelin-package-actions.dll"
FILE_VERSION = BIN / "ombrelin-file-version.exe"
BUILD_PACKAGE = REPO / "packaging" / "windows" / "build-package.sh"
VERSION_HEADER = REPO / "build" / "windows" / "generated" / "ombrelin_version.h"

PRODUCT_NAME = "Ombrelin Revozad agent"
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
DEFAULT_LOCAL_APP_DATA = r"%USERPROFILE%\AppData\Local"
SHELL_FOLDER_KEYS = "\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
PRODUCTS = r"HKCU\Software\Microsoft\Installer\Products"
# Windows Installer's ERROR_INSTALL_FAILURE (1603) and ERROR_INSTALL_USEREXIT's
# neighbours do not survive Wine whole: a Unix exit status keeps the low byte.
INSTALL_FAILURE = 1603 & 0xFF

__all__ = ["AGENT", "REGISTRATIONS", "SETUP", "WINE_ENV", "Wine", "windows_path"]


def agent_version() -> str:
    text = VERSION_HEADER.read_text()
    return re.search(r'#define OMBRELIN_VERSION_TEXT "([^"]+)"', text).group(1)


def unpacked_guid(packed: str) -> str:
    """A product code from the packed form of Windows Installer's registry keys."""
    def swapped(pairs: str) -> str:
        return "".join(pairs[i + 1] + pairs[i] for i in range(0, len(pairs), 2))

    return "{%s-%s-%s-%s-%s}" % (packed[7::-1], packed[11:7:-1], packed[15:11:-1],
                                 swapped(packed[16:20]), swapped(packed[20:32]))


class PackageWine(Wine):
    """Wine with msiexec and the user's shell folders."""

    def msiexec(self, *args, log: Path | None = None, timeout: float = 120):
        command = ["msiexec", *args, "/qn"]
        if log is not None:
            command += ["/l*v", windows_path(log)]
        return self.run(command, timeout=timeout)

    def install(self, package: Path, properties: dict, log: Path | None = None):
        return self.msiexec("/i", windows_path(package),
                            *(f"{name}={value}" for name, value in properties.items()), log=log)

    def uninstall(self, package_or_code, log: Path | None = None):
        target = package_or_code if isinstance(package_or_code, str) else windows_path(package_or_code)
        return self.msiexec("/x", target, log=log)

    def remove_empty_browser_keys(self):
        """Removes the keys above the registrations when they hold nothing: the
        setup program leaves them, and Wine's installer removes such empty keys
        when it removes a registration, so a test starts without them."""
        for key in REGISTRATIONS.values():
            parts = key.split("\\")
            # HKCU\Software\<vendor>[\<browser>]\NativeMessagingHosts, deepest first
            for end in range(len(parts) - 1, 2, -1):
                parent = "\\".join(parts[:end])
                result = self.run(["reg", "query", parent])
                lines = [line for line in result.stdout.decode(errors="replace").splitlines() if line.strip()]
                if result.returncode != 0 or lines:  # gone, or holds a value or a key
                    break
                self.run(["reg", "delete", parent, "/f"])

    def set_local_app_data(self, value: str):
        result = self.run(["reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ",
                           "/d", value, "/f"])
        assert result.returncode == 0, result.stderr

    def products(self) -> dict:
        """{product code: (name, version)} of the packages Windows Installer has
        registered for this user."""
        result = self.run(["reg", "query", PRODUCTS, "/s"])
        products, code = {}, None
        for line in result.stdout.decode(errors="replace").splitlines():
            if line.startswith("HKEY_"):
                key = line.rsplit("\\", 1)[-1]
                code = unpacked_guid(key) if re.fullmatch(r"[0-9A-F]{32}", key) else None
                if code:
                    products[code] = {}
            elif code and "    REG_" in line:
                # "    Name    REG_TYPE    value"
                parts = [part for part in line.strip().split("    ") if part]
                if len(parts) == 3:
                    products[code][parts[0]] = parts[2]
        return {code: (values.get("ProductName"), decoded_version(values.get("Version")))
                for code, values in products.items()}

    def our_products(self) -> dict:
        return {code: entry for code, entry in self.products().items() if entry[0] == PRODUCT_NAME}

    def user_software(self, folder: Path) -> list:
        """HKEY_CURRENT_USER\\Software as reg exports it, key by key, without the
        shell's folder keys: the tests set one of those, and Wine caches the
        resolved folders in another whenever a program asks for them."""
        out = folder / "software.reg"
        result = self.run(["reg", "export", r"HKCU\Software", windows_path(out), "/y"])
        assert result.returncode == 0, result.stderr
        sections = out.read_bytes().decode("utf-16").split("\r\n\r\n")
        out.unlink()
        return [section for section in sections if SHELL_FOLDER_KEYS not in section.split("]", 1)[0]]


def decoded_version(value: str | None) -> str | None:
    """Windows Installer's packed version dword, 0xMMmmBBBB, as text."""
    if value is None:
        return None
    number = int(value, 16)
    return f"{number >> 24}.{(number >> 16) & 0xFF}.{number & 0xFFFF}"


def build_package(version: str, agent: Path, output: Path) -> Path:
    result = subprocess.run([str(BUILD_PACKAGE), "--version", version, "--agent", str(agent),
                             "--actions", str(PACKAGE_ACTIONS), "--output", str(output)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return output


def log_text(log: Path) -> str:
    """An installer log: Wine writes it in the ANSI code page."""
    return log.read_bytes().decode("cp1252", errors="replace")
