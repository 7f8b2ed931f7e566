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
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import ombrelin_native as native  # noqa: E402

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


def run_demo(binary: native.HostBinary) -> int:
    config = native.default_config()
    with native.HostProcess(binary, config=config) as host:
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
