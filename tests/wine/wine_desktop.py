"""A Windows desktop for the real agent: Xvfb, a private Wine prefix, and a helper
program that plays the person in front of the screen.

`VirtualScreen` is an Xvfb server on a display number it picks itself.
`WineDesktop` is one Wine session on that screen in the prefix
build/wine/desktop-prefix (its own prefix, so its wineserver is not the one the
process-level tests share): scripts/wine-prefix.sh prepares the prefix and
starts the session, and the session is ended with `wineserver -k`.
`DesktopHelper` runs build/windows/bin/ombrelin-desktop-helper.exe in that
session, one verb a run, and returns the JSON line it printed.

Every wait is bounded, and every process started here is ended here, by its own
process id. When Wine itself does not do its part, `WineMisbehaved` says so.
"""

from __future__ import annotations

import contextlib
import fcntl
import json
import os
import select
import shutil
import struct
import subprocess
import tempfile
import time
from pathlib import Path

import ombrelin_native as native

REPO = Path(__file__).resolve().parents[2]
SCRIPT = REPO / "scripts" / "wine-prefix.sh"
BIN = REPO / "build" / "windows" / "bin"
HOST_EXE = Path(os.environ.get("OMBRELIN_WINDOWS_HOST", BIN / "ombrelin-native-host.exe"))
HELPER_EXE = BIN / "ombrelin-desktop-helper.exe"
PREFIX = Path(os.environ.get("OMBRELIN_WINE_DESKTOP_PREFIX", REPO / "build" / "wine" / "desktop-prefix"))

SCREEN_WIDTH = 1920
SCREEN_HEIGHT = 1080

INSTALL_HINT = "scripts/install-deps.sh installs what the Wine tests need (Debian packages wine, xvfb, xauth)"

# Longest time any single Wine program of the harness may take.
PROGRAM_LIMIT_S = 30.0
# Verbs of the desktop helper that only read what the desktop shows.
LOOK_ONLY_VERBS = frozenset({"consent-text", "indicator-texts", "indicator-layout", "cursor", "displays",
                             "held-input", "wait-gone"})
# How long the helper waits for a window to appear or go away.
WINDOW_WAIT_MS = 10_000

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
METRICS_KEY = r"HKCU\Control Panel\Desktop\WindowMetrics"
LOGFONTW_SIZE = 92


class WineMisbehaved(RuntimeError):
    """Wine, Xvfb or the prefix did not do what the harness needs."""


class HelperFailed(AssertionError):
    """The helper ran but could not do what it was asked (its JSON line says why)."""

    def __init__(self, verb: str, result: dict):
        super().__init__(f"desktop helper '{verb}': {result.get('error', result)}")
        self.result = result


def require_programs():
    missing = [name for name in ("Xvfb", "wine", "wineserver") if shutil.which(name) is None]
    if missing:
        verb = "is" if len(missing) == 1 else "are"
        raise WineMisbehaved(f"{' and '.join(missing)} {verb} not installed; {INSTALL_HINT}")
    for exe in (HOST_EXE, HELPER_EXE):
        if not exe.exists():
            raise WineMisbehaved(f"{exe} is missing: run `make windows` first")


def end_process(process: subprocess.Popen, grace_s: float = 5.0):
    """Ends one process the harness started: SIGTERM, then SIGKILL after the grace time."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace_s)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(grace_s)


class VirtualScreen:
    """Xvfb at 1920x1080x24 on a display number it finds free itself (-displayfd)."""

    def __init__(self, log_path: Path):
        self.log_path = log_path
        self.process: subprocess.Popen | None = None
        self.display = ""

    def start(self, limit_s: float = 15.0):
        read_end, write_end = os.pipe()
        try:
            with open(self.log_path, "wb") as log:
                self.process = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                     f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp"],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                    pass_fds=(write_end,), start_new_session=True,
                )
            os.close(write_end)
            write_end = -1
            # Xvfb writes its display number once it accepts connections.
            number = b""
            deadline = time.monotonic() + limit_s
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                    raise WineMisbehaved(f"Xvfb did not start within {limit_s:.0f} s (log: {self.log_path})")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise WineMisbehaved(f"Xvfb ended at start (log: {self.log_path}): "
                                         f"{self.log_path.read_text(errors='replace')[-500:]}")
                number += chunk
            self.display = ":" + number.decode().strip()
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def stop(self):
        if self.process is not None:
            end_process(self.process)
            self.process = None


class PrefixLock:
    """One run of the suite at a time uses the desktop prefix (an exclusive lock
    on a file beside it). While it is held, a wineserver of the prefix can only
    be left over from a run that was killed."""

    def __init__(self, limit_s: float = 300.0):
        self.limit_s = limit_s
        self.file = None

    def acquire(self):
        PREFIX.parent.mkdir(parents=True, exist_ok=True)
        self.file = open(PREFIX.parent / (PREFIX.name + ".lock"), "wb")
        deadline = time.monotonic() + self.limit_s
        while True:
            try:
                fcntl.flock(self.file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    self.release()
                    raise WineMisbehaved(f"another run has held {PREFIX} for {self.limit_s:.0f} s") from None
                time.sleep(0.5)

    def release(self):
        if self.file is not None:
            self.file.close()  # closing the file releases the lock
            self.file = None


class WineDesktop:
    """One Wine session in the desktop prefix, shown on the given X display."""

    def __init__(self, display: str, log_path: Path):
        self.log_path = log_path
        self.env = {
            "WINEPREFIX": str(PREFIX),
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            # No Mono or Gecko prompts, and no crash debugger writing on a program's stdout.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d",
            "DISPLAY": display,
        }
        self.started = False

    def _environment(self, extra: dict | None = None) -> dict:
        environment = {**os.environ, **self.env, **(extra or {})}
        environment.pop("WAYLAND_DISPLAY", None)
        return environment

    def start(self):
        """Prepares the prefix (wineboot runs only when it is new) and starts the session.

        The script's first program of the session starts Wine's services and
        its desktop on our display, and removes LOCALAPPDATA from the session's
        environment so the folder each test gives reaches the agent.
        """
        self.started = True
        # A server left by a killed run would still show Wine's desktop on
        # that run's screen.
        self._end_server()
        with open(self.log_path, "ab") as log:
            try:
                result = subprocess.run(
                    ["bash", str(SCRIPT), "start"],
                    env=self._environment({"OMBRELIN_WINEPREFIX": str(PREFIX)}),
                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.PIPE, timeout=600,
                )
            except subprocess.TimeoutExpired:
                raise WineMisbehaved("scripts/wine-prefix.sh start did not finish within 600 s") from None
        if result.returncode != 0:
            raise WineMisbehaved(f"Wine could not start a session in {PREFIX}: "
                                 f"{result.stderr.decode(errors='replace').strip()}")
        # Without a window manager on the screen, Wine waits up to 2 s for the
        # window manager to withdraw every window it hides (a message box
        # closing, the indicator closing). Unmanaged windows have no such wait.
        self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")

    def restart(self):
        """A new session: every Wine program, services and desktop included, starts
        again and reads the registry afresh (as after signing out on Windows)."""
        self.start()

    def wine(self, *args: str, limit_s: float = PROGRAM_LIMIT_S, allowed=(0,)) -> tuple[int, str]:
        """Runs one Wine program to its end; returns its exit status and standard output.

        Its output goes to files, not pipes: should it be the first program of
        a session, Wine's services would inherit a pipe and keep it open.
        """
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                result = subprocess.run(["wine", *args], env=self._environment(),
                                        stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=limit_s)
            except subprocess.TimeoutExpired:
                raise WineMisbehaved(f"Wine did not finish 'wine {' '.join(args)}' within {limit_s:.0f} s") from None
            out.seek(0)
            err.seek(0)
            if result.returncode not in allowed:
                raise WineMisbehaved(f"'wine {' '.join(args)}' failed with status {result.returncode}: "
                                     f"{err.read().decode(errors='replace').strip()[-500:]}")
            return result.returncode, out.read().decode(errors="replace")

    def registry_dword(self, key: str, name: str) -> int | None:
        """A REG_DWORD value of the session's registry, or None when it is not set."""
        status, text = self.wine("reg", "query", key, "/v", name, allowed=(0, 1))
        if status == 1:
            return None
        for line in text.splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[0] == name and fields[1] == "REG_DWORD":
                return int(fields[2], 0)
        raise WineMisbehaved(f"'reg query' printed no REG_DWORD {name}: {text!r}")

    def set_registry_dword(self, key: str, name: str, value: int | None):
        """Sets a REG_DWORD value, or removes it when `value` is None."""
        if value is None:
            self.wine("reg", "delete", key, "/v", name, "/f", allowed=(0, 1))
        else:
            self.wine("reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")

    def registry_binary(self, key: str, name: str) -> bytes | None:
        """A REG_BINARY value of the session's registry, or None when it is not set."""
        status, text = self.wine("reg", "query", key, "/v", name, allowed=(0, 1))
        if status == 1:
            return None
        for line in text.splitlines():
            fields = line.split()
            if len(fields) in (2, 3) and fields[0] == name and fields[1] == "REG_BINARY":
                return bytes.fromhex(fields[2] if len(fields) == 3 else "")
        raise WineMisbehaved(f"'reg query' printed no REG_BINARY {name}: {text!r}")

    def set_registry_binary(self, key: str, name: str, value: bytes | None):
        """Sets a REG_BINARY value, or removes it when `value` is None."""
        if value is None:
            self.wine("reg", "delete", key, "/v", name, "/f", allowed=(0, 1))
        else:
            self.wine("reg", "add", key, "/v", name, "/t", "REG_BINARY", "/d", value.hex().upper(), "/f")

    @contextlib.contextmanager
    def session_with(self, *, log_pixels: int | None = None, message_font_height: int | None = None):
        """A Wine session of its own with the screen's scale (LogPixels) or the
        height of the system's message font changed, as after signing in again
        on Windows; the session after it has the values the prefix had before."""
        if log_pixels is None and message_font_height is None:
            yield
            return
        previous_pixels = self.registry_dword(DESKTOP_KEY, "LogPixels")
        previous_font = self.registry_binary(METRICS_KEY, "MessageFont")
        try:
            if log_pixels is not None:
                self.set_registry_dword(DESKTOP_KEY, "LogPixels", log_pixels)
            if message_font_height is not None:
                if previous_font is None or len(previous_font) != LOGFONTW_SIZE:
                    raise WineMisbehaved(f"the prefix has no message font to change: {previous_font!r}")
                # A LOGFONTW begins with its height (a negative one is the character height).
                self.set_registry_binary(METRICS_KEY, "MessageFont",
                                         struct.pack("<i", message_font_height) + previous_font[4:])
            self.restart()
            yield
        finally:
            self.set_registry_dword(DESKTOP_KEY, "LogPixels", previous_pixels)
            self.set_registry_binary(METRICS_KEY, "MessageFont", previous_font)
            self.restart()

    def stop(self):
        """Ends every process of the session and its wineserver."""
        if not self.started:
            return
        self.started = False
        self._end_server()

    def _end_server(self):
        environment = self._environment()
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            try:
                subprocess.run(args, env=environment, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                raise WineMisbehaved(f"'{' '.join(args)}' did not finish within 30 s") from None

    def host_binary(self) -> native.HostBinary:
        return native.HostBinary(["wine", str(HOST_EXE)], windows=True, env=dict(self.env))

    def hidden_host_binary(self) -> native.HostBinary:
        """The host as a browser starts it on Windows: with the hidden show state
        in its start-up information (the helper's run-hidden starts it so)."""
        windows_path = "Z:" + str(HOST_EXE).replace("/", "\\")
        return native.HostBinary(["wine", str(HELPER_EXE), "run-hidden", windows_path], windows=True,
                                 env=dict(self.env))


class DesktopHelper:
    """Runs the helper's verbs in the Wine session."""

    def __init__(self, desktop: WineDesktop):
        self.desktop = desktop
        self.background: list[BackgroundHelper] = []

    def _command(self, verb: str, args, wait_ms: int | None) -> list[str]:
        command = ["wine", str(HELPER_EXE), verb, *args]
        if wait_ms is not None:
            command.append(f"--wait-ms={wait_ms}")
        return command

    def attempt(self, verb: str, *args: str, wait_ms: int | None = None) -> tuple[int, dict]:
        """Runs one verb; returns its exit status and its JSON line.

        Now and then Wine ends a short-lived program before anything it wrote
        reaches the pipe (seen about once in twenty suite runs). A verb that only
        looks is then run once more; one that acts is not, since it may have
        acted already.
        """
        for tries_left in (1, 0) if verb in LOOK_ONLY_VERBS else (0,):
            status, result = self._run_once(verb, args, wait_ms)
            if result is not None:
                return status, result
            if tries_left:
                time.sleep(0.2)
        raise WineMisbehaved(f"the desktop helper's '{verb}' printed nothing (status {status}); "
                             "Wine lost its output")

    def _run_once(self, verb: str, args: tuple, wait_ms: int | None) -> tuple[int, dict | None]:
        limit_s = PROGRAM_LIMIT_S + (wait_ms or WINDOW_WAIT_MS) / 1000
        try:
            result = subprocess.run(
                self._command(verb, args, wait_ms), env=self.desktop._environment(),
                stdin=subprocess.DEVNULL, capture_output=True, timeout=limit_s,
            )
        except subprocess.TimeoutExpired:
            raise WineMisbehaved(f"Wine did not run the desktop helper's '{verb}' within {limit_s:.0f} s") from None
        lines = result.stdout.decode(errors="replace").splitlines()
        return result.returncode, json.loads(lines[-1]) if lines else None

    def run(self, verb: str, *args: str, wait_ms: int | None = None) -> dict:
        status, result = self.attempt(verb, *args, wait_ms=wait_ms)
        if status != 0:
            raise HelperFailed(verb, result)
        return result

    def start(self, verb: str, limit_s: float = PROGRAM_LIMIT_S) -> "BackgroundHelper":
        """Starts a verb that keeps running until its standard input ends."""
        helper = BackgroundHelper(self._command(verb, (), None), self.desktop._environment(), verb)
        self.background.append(helper)
        helper.first_line = helper.read_line(limit_s)
        return helper

    def end_background(self):
        for helper in self.background:
            helper.close()
        self.background.clear()

    # The local user's acts, by name -------------------------------------------

    def consent_box(self) -> dict:
        """The consent box as shown: its window and its message text."""
        return self.run("consent-text")

    def answer_consent(self, answer: str):
        self.run("consent-answer", answer)

    def indicator(self, wait_ms: int | None = None) -> dict:
        return self.run("indicator-texts", wait_ms=wait_ms)["window"]

    def indicator_gone(self, wait_ms: int = WINDOW_WAIT_MS) -> bool:
        return self.attempt("wait-gone", "indicator", wait_ms=wait_ms)[0] == 0

    def consent_gone(self, wait_ms: int = WINDOW_WAIT_MS) -> bool:
        return self.attempt("wait-gone", "consent", wait_ms=wait_ms)[0] == 0

    def displays(self) -> list[dict]:
        return self.run("displays")["displays"]


class BackgroundHelper:
    """A helper verb running alongside a test; ended when its input closes."""

    def __init__(self, command: list[str], environment: dict, verb: str):
        self.verb = verb
        self.process = subprocess.Popen(command, env=environment, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.first_line: dict = {}

    def read_line(self, limit_s: float = PROGRAM_LIMIT_S) -> dict:
        stdout = self.process.stdout
        line = b""
        deadline = time.monotonic() + limit_s
        while not line.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([stdout], [], [], remaining)[0]:
                raise WineMisbehaved(f"the desktop helper's '{self.verb}' said nothing within {limit_s:.0f} s")
            byte = os.read(stdout.fileno(), 1)
            if not byte:
                raise WineMisbehaved(f"the desktop helper's '{self.verb}' ended early: {line!r}")
            line += byte
        return json.loads(line)

    def send_line(self, text: str):
        self.process.stdin.write(text.encode() + b"\n")
        self.process.stdin.flush()

    def finish(self, limit_s: float = 10.0) -> int:
        """Closes its input and waits for it to end; returns its exit status."""
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        try:
            return self.process.wait(limit_s)
        except subprocess.TimeoutExpired:
            raise WineMisbehaved(f"the desktop helper's '{self.verb}' did not end within {limit_s:.0f} s") from None

    def close(self):
        if self.process.poll() is None:
            try:
                self.finish(5.0)
            except WineMisbehaved:
                self.process.kill()
                self.process.wait(5.0)
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except (BrokenPipeError, ValueError):
                pass
