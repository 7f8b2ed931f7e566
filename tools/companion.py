#!/usr/bin/python3
"""Developer companion: plays the browser extension's side of the native host.

It writes a configuration into a temporary LOCALAPPDATA, starts the host as a
child with the extension's caller origin, and exchanges frames with it, printing
each one in readable form with a short note on what it shows.

    tools/companion.py demo            the scripted tour used by `make demo`
    tools/companion.py demo --host P   the same against another host binary
"""

from __future__ import annotations

import argparse
import json
import sys
import textwrap
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import ombrelin_native as native  # noqa: E402
import ombrelin_tickets as tickets  # noqa: E402

WIDTH = 100


class Narrator:
    """Prints the exchange: what goes to the host, what comes back, and why."""

    def __init__(self, host: native.HostProcess):
        self.host = host

    def note(self, text: str):
        print()
        for line in textwrap.wrap(text, WIDTH):
            print(f"  {line}")

    def heading(self, text: str):
        print()
        print(f"== {text} " + "=" * max(0, WIDTH - len(text) - 4))

    def show(self, arrow: str, document):
        rendered = json.dumps(document, indent=2, ensure_ascii=False)
        print(f"{arrow} " + rendered.replace("\n", "\n   "))

    def send(self, document):
        self.show("->", document)
        self.host.send(document)

    def receive(self):
        document = self.host.receive()
        if document is None:
            print("<- (the host closed its output)")
        else:
            self.show("<-", document)
        return document

    def command(self, command: dict) -> dict:
        self.send(native.command_message(self.host.agent_challenge, command, native.token()))
        return self.receive()

    def desktop(self, since: int) -> int:
        """Prints what the simulated desktop did since journal line `since`."""
        lines = self.host.journal_lines()
        for line in lines[since:]:
            print("   desktop: " + describe_call(line))
        return len(lines)


def describe_call(line: dict) -> str:
    """One journal line of the simulated desktop, in words."""
    call = line["call"]
    if call == "MessageBoxW":
        answer = {6: "Yes", 7: "No"}.get(line["result"], "not shown")
        text = line["text"].replace("\r\n", "\n" + " " * 16)
        return f'consent box "{line["caption"]}", answered {answer}:\n' + " " * 16 + text
    if call == "CreateWindowExW":
        text = line["text"].replace("\r\n", " / ")
        return f'window {line["window"]} created: {line["class"]} "{text}"'
    if call == "SetWindowTextW":
        return f'window {line["window"]} now reads "{line["text"]}"'
    if call == "PostMessageW":
        meaning = {0x8001: "show pause state %d" % line["wParam"], 0x8002: "close"}.get(
            line["msg"], hex(line["msg"]))
        return f'indicator told: {meaning}' + ("" if line["result"] else " (window already gone)")
    if call == "RegisterHotKey":
        return "emergency shortcut Ctrl+Alt+Shift+F12 " + ("registered" if line["result"] else "refused")
    if call == "UnregisterHotKey":
        return "emergency shortcut released"
    if call == "DestroyWindow":
        return f'window {line["window"]} destroyed'
    return json.dumps(line)


def run_demo(binary: native.HostBinary) -> int:
    config = native.default_config()
    with native.HostProcess(binary, config=config, desktop={"consent": ["yes"]}) as host:
        talk = Narrator(host)
        talk.heading("Start")
        talk.note(
            f"The host was started as the browser would start it, with the caller origin "
            f"{native.caller_origin()} as its argument. Its configuration, written to "
            f"{host.local_app_data / native.CONFIG_RELATIVE}, allows that extension:"
        )
        talk.show("  ", config)

        talk.heading("Handshake")
        talk.note(
            "hello: the extension names the service origin and itself, and sends a fresh "
            "challenge of its own."
        )
        hello_id, extension_challenge = native.token(), native.token()
        talk.send(native.hello(hello_id, extension_challenge))
        ack = talk.receive()
        talk.note(
            "hello-ack: the host echoes the extension's challenge and adds a random challenge "
            "of its own (agentChallenge), which the extension must return."
        )
        talk.send(native.challenge_ack(hello_id, ack["agentChallenge"]))
        talk.receive()
        talk.note("ready: from now on every command carries the agent challenge and a fresh id.")
        host.agent_challenge = ack["agentChallenge"]

        talk.heading("Commands")
        request_id = native.token()
        talk.send(native.command_message(host.agent_challenge, {"type": "status"}, request_id))
        talk.receive()
        talk.note("status: no session exists yet; the configured device is reported.")

        talk.send(native.command_message(host.agent_challenge, {"type": "status"}, request_id))
        talk.receive()
        talk.note(
            "The same request id again: the host refuses a replayed command without executing it."
        )

        talk.send(
            native.command_message(
                host.agent_challenge, {"type": "pause", "paused": True}, native.token()
            )
        )
        talk.receive()
        talk.note("pause: there is no locally approved session to pause.")

        talk.heading("A signed session")
        issuer = tickets.TicketIssuer(config)
        talk.note(
            "The service signs a short-lived session ticket bound to this computer's device id "
            "and identity fingerprint; the page presents it with the verification key. The "
            "simulated local user will answer Yes in the consent box."
        )
        start = issuer.session_start(permissions=("VIEW_SCREEN", "SEND_POINTER", "SEND_KEYBOARD"))
        seen = talk.desktop(0)
        talk.command(start)
        seen = talk.desktop(seen)
        talk.note(
            "The ticket verified, the local user agreed, and the always-on-top indicator with its "
            "Pause and Stop buttons and the emergency shortcut is up."
        )

        talk.heading("Pause and resume")
        talk.command({"type": "pause", "paused": True})
        time.sleep(0.1)
        seen = talk.desktop(seen)
        talk.command({"type": "session-pause", "sessionId": issuer.session_id, "paused": False})
        time.sleep(0.1)
        seen = talk.desktop(seen)
        talk.note("The indicator follows the pause state the page asked for.")

        talk.heading("Stop")
        talk.command({"type": "session-stop", "sessionId": issuer.session_id})
        time.sleep(0.1)
        seen = talk.desktop(seen)
        talk.note("The session is gone and the indicator closed itself.")

        talk.heading("End")
        status, rest = host.finish()
        talk.note(
            f"The extension closed the pipe; the host ended with status {status}"
            + (" and wrote nothing more." if not rest else f" and wrote {len(rest)} more bytes!")
        )
        return 0 if status == 0 and not rest else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    demo = sub.add_parser("demo", help="the scripted tour")
    demo.add_argument("--host", help="path of the host binary (default: the Linux build)")
    args = parser.parse_args()
    binary = native.HostBinary([args.host]) if args.host else native.linux_binary()
    if args.action == "demo":
        return run_demo(binary)
    return 2


if __name__ == "__main__":
    sys.exit(main())
