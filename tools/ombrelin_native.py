"""Talking to the native host the way the browser does.

Frames are a 4-byte little-endian length followed by that many bytes of JSON.
`HostProcess` starts the host (the Linux build directly, or the Windows build
under Wine) with a private configuration folder and speaks frames to it; the
tests and the developer companion are both built on it.
"""

from __future__ import annotations

import json
import os
import secrets
import struct
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

SERVICE_WEB_ORIGIN = "https://connect.ombrelin.example"
EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
OTHER_EXTENSION_ID = "ponmlkjihgfedcbaponmlkjihgfedcba"
CONFIG_RELATIVE = Path("Ombrelin Revozad") / "native-host" / "native-host-config.json"
REPO = Path(__file__).resolve().parent.parent


def wait_for(probe, limit_s: float = 3.0, what: str = "condition", until=bool,
             interval_s: float = 0.02):
    """Calls `probe` until `until` holds for its value (by default: until it is
    truthy) and returns that value; fails after `limit_s` seconds."""
    deadline = time.monotonic() + limit_s
    while True:
        value = probe()
        if until(value):
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"{what} not seen within {limit_s:.1f} s")
        time.sleep(interval_s)


def caller_origin(extension_id: str = EXTENSION_ID) -> str:
    return f"chrome-extension://{extension_id}/"


def token() -> str:
    """A fresh 32-digit lowercase hexadecimal token."""
    return secrets.token_hex(16)


def default_config(**overrides) -> dict:
    config = {
        "allowedExtensionIds": [EXTENSION_ID],
        "targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",
        "targetIdentityFingerprint": "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
        "deviceName": "Front desk PC",
    }
    config.update(overrides)
    return config


def encode_frame(body: bytes) -> bytes:
    return struct.pack("<I", len(body)) + body


def compact(document) -> bytes:
    return json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode()


@dataclass
class HostBinary:
    """How to start one build of the host."""

    command: list[str]
    windows: bool = False
    env: dict = field(default_factory=dict)

    def local_app_data(self, folder: Path) -> str:
        # Wine maps the Unix root to drive Z:.
        return "Z:" + str(folder).replace("/", "\\") if self.windows else str(folder)


def linux_binary() -> HostBinary:
    path = Path(os.environ.get("OMBRELIN_HOST", REPO / "build/linux/bin/ombrelin-native-host"))
    return HostBinary([str(path)])


class HostProcess:
    """One run of the host with pipes on its standard input and output."""

    def __init__(
        self,
        binary: HostBinary,
        *,
        config: dict | bytes | None = None,
        args: list[str | bytes] | None = None,
        desktop: dict | bytes | None = None,
        workdir: Path | None = None,
        env: dict | None = None,
    ):
        self._tmp = tempfile.TemporaryDirectory(prefix="ombrelin-host-") if workdir is None else None
        self.workdir = Path(self._tmp.name) if self._tmp else workdir
        self.local_app_data = self.workdir / "LocalAppData"
        if config is not None:
            write_config(self.local_app_data, config)
        self.journal = self.workdir / "journal.jsonl"
        self.actions = self.workdir / "actions.txt"
        environment = dict(os.environ)
        environment.update(binary.env)
        environment["LOCALAPPDATA"] = binary.local_app_data(self.local_app_data)
        environment["OMBRELIN_SIM_JOURNAL"] = str(self.journal)
        environment["OMBRELIN_SIM_ACTIONS"] = str(self.actions)
        if desktop is not None:
            desktop_file = self.workdir / "desktop.json"
            desktop_file.write_bytes(desktop if isinstance(desktop, bytes) else json.dumps(desktop).encode())
            environment["OMBRELIN_SIM_DESKTOP"] = str(desktop_file)
        # A value of None removes the variable from the host's environment.
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        argv = [caller_origin()] if args is None else args
        self.process = subprocess.Popen(
            binary.command + argv,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=environment,
        )
        self._stderr = b""
        self._stderr_reader = threading.Thread(target=self._drain_stderr, daemon=True)
        self._stderr_reader.start()

    def _drain_stderr(self):
        self._stderr = self.process.stderr.read()

    # Writing -------------------------------------------------------------

    def send_raw(self, data: bytes) -> bool:
        """Writes bytes; False when the host has already closed its input."""
        try:
            self.process.stdin.write(data)
            self.process.stdin.flush()
            return True
        except (BrokenPipeError, ConnectionResetError):
            return False

    def send(self, document) -> bool:
        return self.send_raw(encode_frame(compact(document)))

    def close_input(self):
        try:
            self.process.stdin.close()
        except (BrokenPipeError, ConnectionResetError):
            pass

    # Reading -------------------------------------------------------------

    def receive(self, timeout: float = 10.0):
        """The next frame as JSON, or None when the host ended its output."""
        result: list = []

        def read():
            prefix = self.process.stdout.read(4)
            if len(prefix) < 4:
                result.append(None if not prefix else ValueError("short length prefix"))
                return
            (length,) = struct.unpack("<I", prefix)
            body = self.process.stdout.read(length)
            if len(body) != length:
                result.append(ValueError("short frame body"))
                return
            result.append(body)

        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        reader.join(timeout)
        if reader.is_alive():
            raise TimeoutError("no frame from the host within %.1f s" % timeout)
        if isinstance(result[0], Exception):
            raise result[0]
        self.last_raw = result[0]
        return None if result[0] is None else json.loads(result[0])

    def finish(self, timeout: float = 10.0) -> tuple[int, bytes]:
        """Closes the input, waits for the exit and returns (status, remaining stdout)."""
        self.close_input()
        return self.wait_exit(timeout)

    def wait_exit(self, timeout: float = 10.0) -> tuple[int, bytes]:
        """Waits for the host to end with its input left as it is; returns (status, remaining stdout).

        With the input still open, an exit can only come from something the host
        has already been given, not from the end of its input.
        """
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise
        rest = self.process.stdout.read()
        self._stderr_reader.join(5)
        return status, rest

    @property
    def stderr(self) -> bytes:
        """What the host wrote to standard error; complete once the process has ended."""
        if self.process.poll() is not None:
            self._stderr_reader.join(5)
        return self._stderr

    def journal_lines(self) -> list[dict]:
        """The journal's complete lines.

        The host may be appending while we read (the indicator thread writes as it
        closes, for one), and a reader can catch a line half-written; such a line
        has no line feed yet and is left for the next read.
        """
        if not self.journal.exists():
            return []
        data = self.journal.read_bytes()
        return [json.loads(line) for line in data[: data.rfind(b"\n") + 1].splitlines() if line]

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except (BrokenPipeError, ConnectionResetError, ValueError):
                pass
        if self._tmp:
            self._tmp.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # Protocol ------------------------------------------------------------

    def handshake(self, extension_id: str = EXTENSION_ID) -> str:
        """Runs hello and challenge-ack; returns the agent challenge."""
        hello_id = token()
        extension_challenge = token()
        self.send(hello(hello_id, extension_challenge, extension_id))
        ack = self._receive_handshake_reply("hello-ack")
        self.send(challenge_ack(hello_id, ack["agentChallenge"]))
        self._receive_handshake_reply("ready")
        self.agent_challenge = ack["agentChallenge"]
        return self.agent_challenge

    def _receive_handshake_reply(self, kind: str) -> dict:
        """The next frame, which must be `kind`; a host that ended its output
        instead is reported with its exit status and standard error."""
        reply = self.receive()
        if reply is None:
            try:
                status = self.process.wait(5.0)
            except subprocess.TimeoutExpired:
                status = "still running"
            raise AssertionError(f"the host ended its output instead of sending {kind} "
                                 f"(status {status}, standard error {self.stderr[-2000:]!r})")
        assert reply["type"] == kind, reply
        return reply

    def command(self, command: dict, request_id: str | None = None) -> dict:
        self.send(command_message(self.agent_challenge, command, request_id or token()))
        return self.receive()


class StartedHosts:
    """Starts hosts of one build and ends all of them at once (a test's hosts)."""

    def __init__(self, binary: HostBinary):
        self.binary = binary
        self.hosts: list[HostProcess] = []

    def start(self, **kwargs) -> HostProcess:
        kwargs.setdefault("config", default_config())
        host = HostProcess(self.binary, **kwargs)
        self.hosts.append(host)
        return host

    def close_all(self):
        for host in self.hosts:
            host.close()


def write_config(local_app_data: Path, config: dict | bytes):
    path = local_app_data / CONFIG_RELATIVE
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(config if isinstance(config, bytes) else compact(config))


def hello(request_id: str, extension_challenge: str, extension_id: str = EXTENSION_ID, **overrides):
    message = {
        "v": 1,
        "type": "hello",
        "requestId": request_id,
        "extensionOrigin": f"chrome-extension://{extension_id}",
        "trustedWebOrigin": SERVICE_WEB_ORIGIN,
        "extensionChallenge": extension_challenge,
    }
    message.update(overrides)
    return message


def challenge_ack(request_id: str, agent_challenge: str, **overrides):
    message = {"v": 1, "type": "challenge-ack", "requestId": request_id, "agentChallenge": agent_challenge}
    message.update(overrides)
    return message


def command_message(agent_challenge: str, command: dict, request_id: str, **overrides):
    message = {
        "v": 1,
        "type": "command",
        "requestId": request_id,
        "agentChallenge": agent_challenge,
        "command": command,
    }
    message.update(overrides)
    return message
