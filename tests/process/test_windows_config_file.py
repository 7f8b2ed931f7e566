"""The configuration file on Windows: read while another program holds it open,
and found at the end of a path longer than MAX_PATH."""

import json
import os
import select
import subprocess
import time
from contextlib import contextmanager
from pathlib import Path

import pytest

import ombrelin_native as native

pytestmark = pytest.mark.usefixtures("windows_only")

REPO = Path(__file__).resolve().parents[2]
HELPER = Path(os.environ.get("OMBRELIN_DESKTOP_HELPER", REPO / "build/windows/bin/ombrelin-desktop-helper.exe"))
HELPER_LIMIT_S = 30.0
# MAX_PATH counts the terminating null: a path of 260 characters is already too long.
MAX_PATH = 260


def status_of(host) -> dict:
    host.handshake()
    response = host.command({"type": "status"})
    assert response["ok"] is True, response
    return response["status"]


def read_line(stream, limit_s: float) -> bytes:
    line = b""
    deadline = time.monotonic() + limit_s
    while not line.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([stream], [], [], remaining)[0]:
            raise AssertionError(f"the helper said nothing within {limit_s:.0f} s: {line!r}")
        byte = os.read(stream.fileno(), 1)
        if not byte:
            raise AssertionError(f"the helper ended early: {line!r}")
        line += byte
    return line


@contextmanager
def file_held_open(binary, mode: str, path: Path):
    """Another Wine program holds `path` open (the helper's hold-file verb) until the block ends."""
    if not HELPER.exists():
        raise AssertionError(f"{HELPER} is missing: run `make windows` first")
    environment = {**os.environ, **binary.env}
    holder = subprocess.Popen(
        ["wine", str(HELPER), "hold-file", mode, binary.local_app_data(path)],
        env=environment, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
    )
    try:
        assert json.loads(read_line(holder.stdout, HELPER_LIMIT_S)) == {"verb": "hold-file", "held": True}
        yield
        holder.stdin.close()
        assert holder.wait(HELPER_LIMIT_S) == 0
    finally:
        if holder.poll() is None:
            holder.kill()
            holder.wait(HELPER_LIMIT_S)
        holder.stdout.close()


@pytest.mark.parametrize("mode", ["write", "delete"])
def test_configuration_held_open_with_full_sharing_is_read(start, binary, tmp_path, mode):
    # An editor, an installer or a synchronisation tool with the file open.
    local_app_data = tmp_path / "LocalAppData"
    native.write_config(local_app_data, native.default_config())
    with file_held_open(binary, mode, local_app_data / native.CONFIG_RELATIVE):
        host = start(config=None, workdir=tmp_path)
        assert status_of(host)["deviceName"] == native.default_config()["deviceName"]
        assert host.finish() == (0, b"")


def test_configuration_held_by_a_program_that_denies_reading_is_fatal(start, binary, tmp_path):
    local_app_data = tmp_path / "LocalAppData"
    native.write_config(local_app_data, native.default_config())
    with file_held_open(binary, "deny-read", local_app_data / native.CONFIG_RELATIVE):
        # The input stays open: the host must end on its own, having read nothing.
        assert start(config=None, workdir=tmp_path).wait_exit() == (1, b"")


def long_folder(binary, tmp_path: Path, length: int) -> Path:
    """A folder under tmp_path whose Windows path is `length` characters long (or one more)."""
    folder = tmp_path
    while (missing := length - len(binary.local_app_data(folder))) > 0:
        folder = folder / ("p" * min(100, max(1, missing - 1)))
    return folder


# How a long LOCALAPPDATA may be written: the system's own path parsing accepts
# each of these, and the agent must too. (Wine 8 opens paths of any length
# without the extended-length form, where Windows refuses those of MAX_PATH
# characters or more; under Wine these hold the agent's own parsing to Wine's.)
@pytest.mark.parametrize(
    "spelling",
    [
        pytest.param(lambda path: path, id="backslashes"),
        pytest.param(lambda path: path + "\\", id="trailing-backslash"),
        pytest.param(lambda path: path.replace("\\", "/"), id="forward-slashes"),
        pytest.param(lambda path: path.replace("\\", "\\\\"), id="doubled-backslashes"),
        pytest.param(lambda path: path + "\\.\\gone\\..", id="dot-components"),
        pytest.param(lambda path: "z" + path[1:], id="lowercase-drive"),
    ],
)
@pytest.mark.parametrize(
    "length",
    [
        pytest.param(MAX_PATH - len(str(native.CONFIG_RELATIVE)) + 10, id="file-path-over-max-path"),
        pytest.param(MAX_PATH + 40, id="folder-over-max-path"),
        pytest.param(1000, id="1000-characters"),
    ],
)
def test_configuration_under_a_long_local_app_data_is_read(start, binary, tmp_path, length, spelling):
    folder = long_folder(binary, tmp_path, length)
    native.write_config(folder, native.default_config())
    windows_path = binary.local_app_data(folder)
    assert len(windows_path) + 1 + len(str(native.CONFIG_RELATIVE)) >= MAX_PATH
    host = start(config=None, env={"LOCALAPPDATA": spelling(windows_path)})
    assert status_of(host)["deviceName"] == native.default_config()["deviceName"]
    assert host.finish() == (0, b"")


@pytest.mark.parametrize(
    "content",
    [
        pytest.param(None, id="missing"),
        pytest.param(b"", id="empty"),
        pytest.param(native.compact(native.default_config(deviceName=" ")), id="blank-name"),
    ],
)
def test_bad_configuration_under_a_long_local_app_data_is_fatal(start, binary, tmp_path, content):
    folder = long_folder(binary, tmp_path, MAX_PATH + 40)
    if content is None:
        folder.mkdir(parents=True)
    else:
        native.write_config(folder, content)
    host = start(config=None, env={"LOCALAPPDATA": binary.local_app_data(folder)})
    assert host.wait_exit() == (1, b"")
