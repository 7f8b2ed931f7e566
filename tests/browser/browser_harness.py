"""A real browser in front of the native host.

Debian's Chromium runs headless with two unpacked test extensions whose ids are
fixed by the public keys in extension-keys.json: "allowed", which the host's
configuration names, and "refused", which it does not. The browser finds the
host through a native messaging host manifest in its user data directory
(NativeMessagingHosts/, where Chromium on Linux looks for per-user hosts) and,
like any browser, starts the host itself; the manifest points at a small
launcher that gives the Linux build its configuration and simulated desktop and
keeps a record of every run (arguments, process id, exit status, journal,
standard error) under runs/.

driver.js (Playwright, run by Node) launches the browser and evaluates the
functions of the test extension's page (extension/page.js) on request.
"""

from __future__ import annotations

import base64
import hashlib
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / "tools"))

import ombrelin_native as native  # noqa: E402

HOST_NAME = "com.ombrelin.revozad.agent"
CHROMIUM = os.environ.get("OMBRELIN_CHROMIUM", "/usr/bin/chromium")
NODE = shutil.which("node") or "/usr/bin/node"

LAUNCH_TIMEOUT_S = 60.0
REQUEST_TIMEOUT_S = 20.0
# What the extension page waits for one message from the host.
MESSAGE_WAIT_MS = 10_000
# The configured device name. Non-ASCII on purpose: it crosses the host's JSON
# writer and the browser's JSON reader.
DEVICE_NAME = "Front desk \u2014 R\u00e9ception"


def extension_id(public_key_der: bytes) -> str:
    """Chromium's id of an extension with this key: the first 128 bits of the
    key's SHA-256, one letter a-p per hexadecimal digit."""
    digest = hashlib.sha256(public_key_der).hexdigest()[:32]
    return "".join(chr(ord("a") + int(digit, 16)) for digit in digest)


@dataclass
class Extension:
    name: str
    key: str  # base64 DER public key, as the manifest's "key" holds it
    folder: Path

    @property
    def id(self) -> str:
        return extension_id(base64.b64decode(self.key))

    @property
    def origin(self) -> str:
        return f"chrome-extension://{self.id}/"


def build_extensions(root: Path) -> dict[str, Extension]:
    """The test extension, once per committed key, as unpacked folders."""
    keys = json.loads((HERE / "extension-keys.json").read_text())
    manifest = json.loads((HERE / "extension" / "manifest.json").read_text())
    extensions = {}
    for name, key in keys.items():
        folder = root / f"extension-{name}"
        shutil.copytree(HERE / "extension", folder)
        (folder / "manifest.json").write_text(json.dumps(dict(manifest, key=key), indent=2))
        extensions[name] = Extension(name, key, folder)
    return extensions


LAUNCHER = """#!/bin/sh
# Started by the browser with the caller origin as argument. Records the run,
# then runs the host in a child shell that execs it, so that the recorded
# process id is the host's own and the host's exit status can be kept.
run="{runs}/$$"
printf '%s\\n' "$@" > "$run.args"
export LOCALAPPDATA='{local_app_data}'
export OMBRELIN_SIM_DESKTOP='{desktop}'
export OMBRELIN_SIM_JOURNAL="$run.journal"
unset OMBRELIN_SIM_ACTIONS
sh -c 'echo $$ > "$0.pid"; exec "$@"' "$run" '{host}' "$@" 2>"$run.stderr"
status=$?
echo "$status" > "$run.status.tmp" && mv "$run.status.tmp" "$run.status"
exit "$status"
"""


@dataclass
class HostRun:
    """One start of the host by the browser, as the launcher recorded it."""

    path: Path  # runs/<launcher pid>, without suffix

    def _file(self, suffix: str) -> Path:
        return self.path.with_name(self.path.name + suffix)

    @property
    def args(self) -> list[str]:
        return self._file(".args").read_text().splitlines()

    @property
    def pid(self) -> int | None:
        text = self._file(".pid").read_text().strip() if self._file(".pid").exists() else ""
        return int(text) if text else None

    @property
    def status(self) -> int | None:
        status = self._file(".status")
        return int(status.read_text()) if status.exists() else None

    @property
    def stderr(self) -> bytes:
        stderr = self._file(".stderr")
        return stderr.read_bytes() if stderr.exists() else b""

    def journal(self) -> list[dict]:
        journal = self._file(".journal")
        if not journal.exists():
            return []
        return [json.loads(line) for line in journal.read_text().splitlines() if line]

    def calls(self, call: str) -> list[dict]:
        return [line for line in self.journal() if line["call"] == call]

    def wait_exit(self, limit_s: float = 10.0) -> int:
        return native.wait_for(lambda: self.status, limit_s, f"the exit of host run {self.path.name}",
                        until=lambda status: status is not None)

    def host_alive(self) -> bool:
        pid = self.pid
        if pid is None:
            return False
        try:
            state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
        except (FileNotFoundError, ProcessLookupError, IndexError):
            return False
        return state != "Z"


class HostInstall:
    """The host as the browser sees it: manifest, launcher, configuration and the
    record of its runs, all inside one test folder."""

    def __init__(self, root: Path, host: Path, config: dict, desktop: dict,
                 allowed_origins: list[str], profile: Path):
        self.root = root
        self.runs = root / "runs"
        self.runs.mkdir(parents=True)
        self.config = config
        self.local_app_data = root / "LocalAppData"
        native.write_config(self.local_app_data, config)
        desktop_file = root / "desktop.json"
        desktop_file.write_text(json.dumps(desktop))
        self.launcher = root / "ombrelin-native-host.sh"
        self.launcher.write_text(LAUNCHER.format(
            runs=self.runs, local_app_data=self.local_app_data, desktop=desktop_file, host=host))
        self.launcher.chmod(0o755)
        self.manifest = profile / "NativeMessagingHosts" / f"{HOST_NAME}.json"
        self.manifest.parent.mkdir(parents=True)
        self.manifest.write_text(json.dumps({
            "name": HOST_NAME,
            "description": "Ombrelin Revozad agent (Linux build, simulated desktop)",
            "path": str(self.launcher),
            "type": "stdio",
            "allowed_origins": allowed_origins,
        }, indent=2))

    def run_names(self) -> set[str]:
        return {path.name.split(".")[0] for path in self.runs.glob("*.args")}

    def wait_new_run(self, before: set[str], limit_s: float = 10.0) -> HostRun:
        names = native.wait_for(lambda: self.run_names() - before, limit_s, "a new host run")
        assert len(names) == 1, f"the browser started {len(names)} hosts at once"
        return HostRun(self.runs / names.pop())

    def all_runs(self) -> list[HostRun]:
        return [HostRun(self.runs / name) for name in sorted(self.run_names())]


class BrowserDriver:
    """driver.js with the browser it launched; requests are answered in order."""

    def __init__(self, root: Path, profile: Path, extensions: list[Extension]):
        self.profile = profile
        settings = root / "driver-settings.json"
        settings.write_text(json.dumps({
            "executablePath": CHROMIUM,
            "userDataDir": str(profile),
            "extensions": [str(extension.folder) for extension in extensions],
            "launchTimeoutMs": int(LAUNCH_TIMEOUT_S * 1000),
            "requestTimeoutMs": int(REQUEST_TIMEOUT_S * 1000),
        }))
        self.log_path = root / "driver.log"
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [NODE, str(HERE / "driver.js"), str(settings)],
            cwd=HERE, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._log, text=True,
            # The browser, and so the host, inherit this; the launcher sets what the host needs.
            env={key: value for key, value in os.environ.items() if not key.startswith("OMBRELIN_")},
        )
        self._lines: queue.Queue = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self._next_id = 0
        try:
            started = self._line(LAUNCH_TIMEOUT_S, "the browser's start")
            if not started.get("ready"):
                raise RuntimeError(f"the browser did not start: {started.get('error')}\n{self.log()}")
        except BaseException:
            self.close()
            raise
        self.version = started.get("version")

    def _read(self):
        for line in self.process.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def _line(self, timeout_s: float, what: str) -> dict:
        try:
            line = self._lines.get(timeout=timeout_s)
        except queue.Empty:
            raise TimeoutError(f"no answer from the browser driver for {what} within {timeout_s:.0f} s")
        if line is None:
            raise RuntimeError(f"the browser driver ended during {what}\n{self.log()}")
        return json.loads(line)

    def log(self) -> str:
        self._log.flush()
        return self.log_path.read_text(errors="replace")[-4000:]

    def request(self, op: str, timeout_s: float = REQUEST_TIMEOUT_S, **members):
        self._next_id += 1
        self.process.stdin.write(json.dumps(dict(members, id=self._next_id, op=op)) + "\n")
        self.process.stdin.flush()
        answer = self._line(timeout_s, op)
        assert answer.get("id") == self._next_id, answer
        if "error" in answer:
            raise RuntimeError(f"{op} failed in the browser: {answer['error']}")
        return answer["result"]

    def open_page(self, extension: Extension) -> "ExtensionPage":
        return ExtensionPage(self, self.request("open", extensionId=extension.id))

    def close(self):
        """Closes the browser; whatever outlives a bounded wait is killed."""
        if self.process.poll() is None:
            try:
                self.process.stdin.close()
            except OSError:
                pass
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.terminate()  # Playwright closes its browser on SIGTERM
                try:
                    self.process.wait(10)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
        self._log.close()
        kill_processes_mentioning(str(self.profile))


class ExtensionPage:
    """The test extension's page in one tab: window.nativeTest, called remotely."""

    def __init__(self, driver: BrowserDriver, number: int):
        self.driver = driver
        self.number = number
        self.closed = False

    def call(self, fn: str, *args, timeout_s: float = REQUEST_TIMEOUT_S):
        return self.driver.request("call", timeout_s, page=self.number, fn=fn, args=list(args))

    def next(self, wait_ms: int = MESSAGE_WAIT_MS) -> dict:
        return self.call("next", wait_ms)

    def handshake(self) -> dict:
        return self.call("handshake", native.SERVICE_WEB_ORIGIN, MESSAGE_WAIT_MS)

    def command(self, command: dict) -> tuple[str, dict]:
        sent = self.call("command", command, MESSAGE_WAIT_MS)
        return sent["requestId"], sent["response"]

    def close(self):
        """Closes the tab, which closes its port, if it is still open."""
        if not self.closed:
            self.closed = True
            self.driver.request("closePage", page=self.number)


def kill_processes_mentioning(marker: str):
    """Ends the processes whose command line holds `marker` (a test's own
    temporary path), each by its id."""
    me = os.getpid()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == me:
            continue
        try:
            command_line = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if marker.encode() in command_line:
            try:
                os.kill(int(entry.name), signal.SIGKILL)
            except ProcessLookupError:
                pass
