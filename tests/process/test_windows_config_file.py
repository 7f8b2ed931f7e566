"""The configuration file on Windows: read while another program holds it open."""

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
