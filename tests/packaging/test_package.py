"""ombrelin-agent.msi under Wine: a silent per-user installation with the four
properties, refused values, an upgrade by a higher version and uninstalling."""

import json
from pathlib import Path

import pytest

import ombrelin_native as native
from package_wine import (AGENT, INSTALL_FAILURE, PACKAGE, PRODUCT_NAME, REGISTRATIONS, SETUP, WINE_ENV,
                          agent_version, build_package, log_text, windows_path)

ID = native.EXTENSION_ID
OTHER_ID = native.OTHER_EXTENSION_ID
DEVICE_ID = "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f"
FINGERPRINT = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"
NAME = "Front desk \u2014 R\u00e9ception"
HOST_NAME = "com.ombrelin.revozad.agent"
NOT_REGISTERED = {browser: None for browser in REGISTRATIONS}


def properties(**changes) -> dict:
    values = {"EXTENSION_IDS": f"{ID},{OTHER_ID}", "DEVICE_ID": DEVICE_ID,
              "IDENTITY_FINGERPRINT": FINGERPRINT, "DEVICE_NAME": NAME}
    values.update(changes)
    return {name: value for name, value in values.items() if value is not None}


def folder_of(local_app_data):
    return local_app_data / "Ombrelin Revozad" / "native-host"


def contents(folder) -> dict:
    """Every file under the folder, by relative path, with its bytes."""
    return {str(path.relative_to(folder)): path.read_bytes() for path in sorted(folder.rglob("*"))
            if path.is_file()}


def tree(folder) -> list:
    return sorted(str(path.relative_to(folder)) for path in folder.rglob("*"))


def with_parents(files) -> list:
    entries = set()
    for name in files:
        entries.add(name)
        entries.update(str(parent) for parent in Path(name).parents if str(parent) != ".")
    return sorted(entries)


def registrations(wine) -> dict:
    return {browser: wine.registered(key) for browser, key in REGISTRATIONS.items()}


def expected_config(ids, name) -> bytes:
    return native.compact({"allowedExtensionIds": list(ids), "targetDeviceId": DEVICE_ID,
                           "targetIdentityFingerprint": FINGERPRINT, "deviceName": name})


def test_a_silent_installation_puts_the_agent_its_files_and_registrations_in_place(
        clean_wine, local_app_data, tmp_path):
    wine, log = clean_wine, tmp_path / "install.log"
    result = wine.install(PACKAGE, properties(), log=log)
    assert result.returncode == 0, log_text(log)

    folder = folder_of(local_app_data)
    lad = windows_path(local_app_data)
    manifest = f"{lad}\\Ombrelin Revozad\\native-host\\{HOST_NAME}.json"
    assert tree(local_app_data) == ["Ombrelin Revozad", "Ombrelin Revozad/native-host",
                                    f"Ombrelin Revozad/native-host/{HOST_NAME}.json",
                                    "Ombrelin Revozad/native-host/native-host-config.json",
                                    "Ombrelin Revozad/native-host/ombrelin-native-host.exe"]
    assert (folder / "ombrelin-native-host.exe").read_bytes() == AGENT.read_bytes()
    assert (folder / "native-host-config.json").read_bytes() == expected_config([ID, OTHER_ID], NAME)
    assert json.loads((folder / f"{HOST_NAME}.json").read_text(encoding="utf-8")) == {
        "name": HOST_NAME, "description": "Ombrelin Revozad remote-control agent",
        "path": f"{lad}\\Ombrelin Revozad\\native-host\\ombrelin-native-host.exe", "type": "stdio",
        "allowed_origins": [f"chrome-extension://{ID}/", f"chrome-extension://{OTHER_ID}/"]}
    assert registrations(wine) == {browser: manifest for browser in REGISTRATIONS}
    assert list(wine.our_products().values()) == [(PRODUCT_NAME, agent_version())]

    # A browser starting the installed agent: it reads what the package wrote.
    binary = native.HostBinary(["wine", str(folder / "ombrelin-native-host.exe")], windows=True, env=WINE_ENV)
    with native.HostProcess(binary, workdir=tmp_path, env={"LOCALAPPDATA": lad},
                            args=[native.caller_origin(OTHER_ID)]) as host:
        host.handshake(OTHER_ID)
        status = host.command({"type": "status"})["status"]
        assert status["agentVersion"] == agent_version()
        assert status["devices"] == [{"id": DEVICE_ID, "name": NAME}]
        assert host.finish()[0] == 0


def test_the_package_and_the_setup_program_install_the_same_files(clean_wine, local_app_data):
    wine = clean_wine
    assert wine.install(PACKAGE, properties()).returncode == 0
    from_package = contents(local_app_data)
    assert wine.uninstall(PACKAGE).returncode == 0
    assert contents(local_app_data) == {}

    result = wine.setup("install", "--extension-id", ID, "--extension-id", OTHER_ID, "--device-id", DEVICE_ID,
                        "--identity-fingerprint", FINGERPRINT, "--device-name", NAME,
                        "--agent", windows_path(AGENT), local_app_data=windows_path(local_app_data))
    assert result.returncode == 0, result.stderr
    assert contents(local_app_data) == from_package
    assert wine.setup("uninstall", local_app_data=windows_path(local_app_data)).returncode == 0


def setup_message(wine, values: dict) -> str:
    """The line the setup program prints for the same values."""
    args = ["install"]
    for extension_id in values["EXTENSION_IDS"].split(","):
        args += ["--extension-id", extension_id.strip()]
    args += ["--device-id", values["DEVICE_ID"], "--identity-fingerprint", values["IDENTITY_FINGERPRINT"],
             "--device-name", values["DEVICE_NAME"]]
    result = wine.setup(*args)
    assert result.returncode == 2
    return next(line for line in result.stderr.decode().splitlines() if line.startswith("ombrelin-setup:"))


REFUSED = [
    pytest.param(properties(DEVICE_ID=DEVICE_ID.upper()), None, id="uppercase-device-id"),
    pytest.param(properties(IDENTITY_FINGERPRINT=FINGERPRINT + "="), None, id="padded-fingerprint"),
    pytest.param(properties(EXTENSION_IDS=f"{ID},{'q' * 32}"), None, id="second-id-refused"),
    pytest.param(properties(DEVICE_NAME="n" * 129), None, id="long-name"),
    pytest.param(properties(DEVICE_ID=None),
                 "ombrelin-setup: install needs --device-id (the package's property DEVICE_ID)", id="no-device-id"),
]


@pytest.mark.parametrize("values, message", REFUSED)
def test_a_refused_value_fails_the_installation_with_the_setup_programs_message(
        clean_wine, local_app_data, tmp_path, values, message):
    wine, log = clean_wine, tmp_path / "install.log"
    software = wine.user_software(tmp_path)

    result = wine.install(PACKAGE, values, log=log)
    assert result.returncode == INSTALL_FAILURE
    expected = message or setup_message(wine, values)
    assert expected in log_text(log).splitlines()
    # Nothing written: no file, no registration, no product, no other key.
    assert tree(local_app_data) == []
    assert registrations(wine) == NOT_REGISTERED
    assert wine.our_products() == {}
    assert wine.user_software(tmp_path) == software


@pytest.fixture(scope="module")
def newer_package(tmp_path_factory):
    """The same package one patch version up, carrying a recognisably newer agent
    (bytes appended after the image, which Windows does not load)."""
    folder = tmp_path_factory.mktemp("newer")
    agent = folder / "ombrelin-native-host.exe"
    agent.write_bytes(AGENT.read_bytes() + b"\0a newer build")
    major, minor, patch = map(int, agent_version().split("."))
    version = f"{major}.{minor}.{patch + 1}"
    return version, agent, build_package(version, agent, folder / "ombrelin-agent.msi")


def test_a_higher_version_upgrades_in_place_and_a_lower_one_is_refused(
        clean_wine, local_app_data, tmp_path, newer_package):
    wine = clean_wine
    version, newer_agent, newer = newer_package
    software = wine.user_software(tmp_path)
    assert wine.install(PACKAGE, properties()).returncode == 0
    registered = registrations(wine)

    log = tmp_path / "upgrade.log"
    result = wine.install(newer, properties(EXTENSION_IDS=ID, DEVICE_NAME="Reception"), log=log)
    assert result.returncode == 0, log_text(log)
    folder = folder_of(local_app_data)
    assert list(wine.our_products().values()) == [(PRODUCT_NAME, version)]
    assert (folder / "ombrelin-native-host.exe").read_bytes() == newer_agent.read_bytes()
    assert (folder / "native-host-config.json").read_bytes() == expected_config([ID], "Reception")
    assert json.loads((folder / f"{HOST_NAME}.json").read_text())["allowed_origins"] == [
        f"chrome-extension://{ID}/"]
    assert registrations(wine) == registered
    installed = contents(local_app_data)

    log = tmp_path / "downgrade.log"
    assert wine.install(PACKAGE, properties(), log=log).returncode == INSTALL_FAILURE
    # Refused by the launch condition on WIX_DOWNGRADE_DETECTED (whose message
    # Wine's installer does not copy into the log).
    assert "Property(S): WIX_DOWNGRADE_DETECTED = {" in log_text(log)
    assert contents(local_app_data) == installed
    assert list(wine.our_products().values()) == [(PRODUCT_NAME, version)]

    assert wine.uninstall(newer).returncode == 0
    assert tree(local_app_data) == []
    assert wine.user_software(tmp_path) == software


@pytest.mark.parametrize("user_file", [None, "Ombrelin Revozad/native-host/notes.txt", "Other App/settings.ini"])
def test_uninstalling_leaves_nothing_but_what_was_there_before(clean_wine, local_app_data, tmp_path, user_file):
    wine = clean_wine
    software = wine.user_software(tmp_path)
    if user_file is not None:
        path = local_app_data / user_file
        path.parent.mkdir(parents=True)
        path.write_text("the user's")
    before = contents(local_app_data)
    assert wine.install(PACKAGE, properties()).returncode == 0

    log = tmp_path / "uninstall.log"
    assert wine.uninstall(PACKAGE, log=log).returncode == 0, log_text(log)
    assert contents(local_app_data) == before
    # An emptied folder goes; one that holds the user's file stays.
    assert tree(local_app_data) == with_parents(before)
    assert registrations(wine) == NOT_REGISTERED
    assert wine.our_products() == {}
    assert wine.user_software(tmp_path) == software
