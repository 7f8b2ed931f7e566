"""ombrelin-setup.exe under Wine: what install puts where, that the installed agent
runs with what was installed, a second install over the first, uninstall, and
values refused before anything is written."""

import json
from pathlib import Path

import pytest

import ombrelin_native as native
from wine_setup import AGENT, HOST_NAME, REGISTRATIONS, WINE_ENV, windows_path

ID = native.EXTENSION_ID
OTHER_ID = native.OTHER_EXTENSION_ID
DEVICE_ID = "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f"
FINGERPRINT = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"
DEVICE_NAME = "Front desk \u2014 R\u00e9ception"


def install_args(*, ids=(ID,), device_id=DEVICE_ID, fingerprint=FINGERPRINT, name=DEVICE_NAME):
    args = ["install"]
    for extension_id in ids:
        args += ["--extension-id", extension_id]
    return args + ["--device-id", device_id, "--identity-fingerprint", fingerprint, "--device-name", name]


class Installed:
    """What an installation under one LOCALAPPDATA looks like from Unix."""

    def __init__(self, local_app_data: Path):
        self.product = local_app_data / "Ombrelin Revozad"
        self.folder = self.product / "native-host"
        self.agent = self.folder / "ombrelin-native-host.exe"
        self.manifest = self.folder / f"{HOST_NAME}.json"
        self.config = self.folder / "native-host-config.json"

    def files(self) -> list[str]:
        return sorted(path.name for path in self.folder.iterdir())

    def snapshot(self) -> dict:
        return {path.name: path.read_bytes() for path in self.folder.iterdir()}


def registrations(wine) -> dict:
    return {browser: wine.registered(key) for browser, key in REGISTRATIONS.items()}


def output(result) -> tuple[str, str]:
    """Standard output, and the setup program's own lines of standard error (Wine
    may add notes of its own there)."""
    err = [line for line in result.stderr.decode().splitlines() if line.startswith("ombrelin-setup:")]
    return result.stdout.decode(), "\n".join(err)


def test_install_registers_the_agent_for_each_browser(wine, local_app_data, tmp_path):
    lad = windows_path(local_app_data)
    result = wine.setup(*install_args(ids=(ID, OTHER_ID)), local_app_data=lad)
    out, err = output(result)
    assert (result.returncode, err) == (0, "")
    installed = Installed(local_app_data)
    folder = f"{lad}\\Ombrelin Revozad\\native-host"
    manifest = f"{folder}\\{HOST_NAME}.json"
    assert out.splitlines() == [
        f"Installed the Ombrelin Revozad agent in {folder}",
        f"Registered {HOST_NAME} for Chrome, Edge and Chromium: {manifest}",
    ]

    assert registrations(wine) == {"Chrome": manifest, "Edge": manifest, "Chromium": manifest}
    # Nothing else, no temporary file left behind.
    assert installed.files() == sorted([installed.agent.name, installed.manifest.name, installed.config.name])
    assert installed.agent.read_bytes() == AGENT.read_bytes()
    assert json.loads(installed.manifest.read_text(encoding="utf-8")) == {
        "name": HOST_NAME,
        "description": "Ombrelin Revozad remote-control agent",
        "path": f"{folder}\\ombrelin-native-host.exe",
        "type": "stdio",
        "allowed_origins": [f"chrome-extension://{ID}/", f"chrome-extension://{OTHER_ID}/"],
    }
    config = {"allowedExtensionIds": [ID, OTHER_ID], "targetDeviceId": DEVICE_ID,
              "targetIdentityFingerprint": FINGERPRINT, "deviceName": DEVICE_NAME}
    assert installed.config.read_bytes() == native.compact(config)

    # The installed agent starts with the installed configuration, as a browser would start it.
    binary = native.HostBinary(["wine", str(installed.agent)], windows=True, env=WINE_ENV)
    with native.HostProcess(binary, workdir=tmp_path, env={"LOCALAPPDATA": lad},
                            args=[native.caller_origin(OTHER_ID)]) as host:
        host.handshake(OTHER_ID)
        status = host.command({"type": "status"})["status"]
        assert status["deviceName"] == DEVICE_NAME
        assert status["devices"] == [{"id": DEVICE_ID, "name": DEVICE_NAME}]
        assert host.finish()[0] == 0


def test_a_second_install_replaces_the_first(wine, local_app_data, tmp_path):
    lad = windows_path(local_app_data)
    assert wine.setup(*install_args(), local_app_data=lad).returncode == 0
    installed = Installed(local_app_data)
    registered = registrations(wine)

    newer_agent = tmp_path / "newer build" / "ombrelin-native-host.exe"
    newer_agent.parent.mkdir()
    newer_agent.write_bytes(b"MZ a newer build of the agent")
    result = wine.setup(*install_args(ids=(OTHER_ID,), name="Reception"), "--agent", windows_path(newer_agent),
                        local_app_data=lad)
    assert (result.returncode, output(result)[1]) == (0, "")

    assert installed.agent.read_bytes() == b"MZ a newer build of the agent"
    assert json.loads(installed.config.read_text())["allowedExtensionIds"] == [OTHER_ID]
    assert json.loads(installed.config.read_text())["deviceName"] == "Reception"
    assert json.loads(installed.manifest.read_text())["allowed_origins"] == [f"chrome-extension://{OTHER_ID}/"]
    assert registrations(wine) == registered
    assert len(installed.files()) == 3


def test_uninstall_removes_what_install_made(wine, local_app_data):
    lad = windows_path(local_app_data)
    assert wine.setup(*install_args(), local_app_data=lad).returncode == 0

    result = wine.setup("uninstall", local_app_data=lad)
    out, err = output(result)
    assert (result.returncode, err) == (0, "")
    assert out == (f"Removed the Ombrelin Revozad agent from {lad}\\Ombrelin Revozad\\native-host "
                   "and its registrations for Chrome, Edge and Chromium\n")
    assert registrations(wine) == {"Chrome": None, "Edge": None, "Chromium": None}
    assert list(local_app_data.iterdir()) == []

    # Nothing left to remove is not a failure.
    assert wine.setup("uninstall", local_app_data=lad).returncode == 0


def test_uninstall_keeps_a_folder_that_holds_something_else(wine, local_app_data):
    lad = windows_path(local_app_data)
    assert wine.setup(*install_args(), local_app_data=lad).returncode == 0
    installed = Installed(local_app_data)
    (installed.folder / "notes.txt").write_text("kept")

    assert wine.setup("uninstall", local_app_data=lad).returncode == 0
    assert installed.files() == ["notes.txt"]
    assert registrations(wine) == {"Chrome": None, "Edge": None, "Chromium": None}


REFUSALS = [
    pytest.param(install_args(ids=("ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP",)),
                 '--extension-id "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP" is not an extension id: 32 letters from a to p',
                 id="uppercase-extension-id"),
    pytest.param(install_args(ids=[chr(c) * 32 for c in range(ord("a"), ord("j"))]),
                 "--extension-id is given for 9 extensions; the agent allows 1 to 8", id="nine-extensions"),
    pytest.param(install_args(device_id=DEVICE_ID.upper()),
                 f'--device-id "{DEVICE_ID.upper()}" is not a device id', id="uppercase-device-id"),
    pytest.param(install_args(fingerprint=FINGERPRINT + "="),
                 f'--identity-fingerprint "{FINGERPRINT}=" is not an identity fingerprint', id="padded-fingerprint"),
    pytest.param(install_args(name="   "), '--device-name "   " is not a device name', id="blank-name"),
    pytest.param(install_args(name="n" * 129), "is not a device name: at most 128 bytes", id="long-name"),
    pytest.param(install_args()[:-2], "install needs --device-name", id="missing-name"),
    pytest.param(install_args() + ["--colour", "blue"], "unknown option --colour", id="unknown-option"),
    pytest.param(install_args() + ["--agent", "Z:\\nowhere\\agent.exe"],
                 'the agent to install is not a file: "Z:\\\\nowhere\\\\agent.exe"', id="missing-agent"),
]


@pytest.mark.parametrize("args, problem", REFUSALS)
def test_refused_values_write_nothing(wine, local_app_data, args, problem):
    result = wine.setup(*args, local_app_data=windows_path(local_app_data))
    assert result.returncode == 2
    assert problem in output(result)[1]
    assert list(local_app_data.iterdir()) == []
    assert registrations(wine) == {"Chrome": None, "Edge": None, "Chromium": None}


def test_refused_values_leave_an_installation_as_it_was(wine, local_app_data):
    lad = windows_path(local_app_data)
    assert wine.setup(*install_args(), local_app_data=lad).returncode == 0
    installed = Installed(local_app_data)
    before, registered = installed.snapshot(), registrations(wine)

    result = wine.setup(*install_args(ids=(ID, "q" * 32)), local_app_data=lad)
    assert result.returncode == 2
    assert installed.snapshot() == before
    assert registrations(wine) == registered


def test_a_configuration_that_cannot_be_replaced_stops_before_any_registration(wine, local_app_data):
    installed = Installed(local_app_data)
    installed.config.mkdir(parents=True)  # a folder where the file must go

    result = wine.setup(*install_args(), local_app_data=windows_path(local_app_data))
    assert result.returncode == 1
    assert output(result)[1].startswith(
        f'ombrelin-setup: could not replace "{windows_path(installed.config)}"'.replace("\\", "\\\\"))
    # The temporary file is gone and no browser was pointed at the half-made folder.
    assert installed.files() == sorted([installed.agent.name, installed.config.name])
    assert installed.config.is_dir() and list(installed.config.iterdir()) == []
    assert registrations(wine) == {"Chrome": None, "Edge": None, "Chromium": None}


def test_without_local_app_data_nothing_is_done(wine):
    result = wine.setup(*install_args())
    assert result.returncode == 1
    assert output(result)[1].startswith('ombrelin-setup: could not read the environment variable "LOCALAPPDATA"')
    assert registrations(wine) == {"Chrome": None, "Edge": None, "Chromium": None}


def test_help(wine):
    result = wine.setup("help")
    assert result.returncode == 0
    assert "ombrelin-setup install --extension-id ID" in result.stdout.decode()
