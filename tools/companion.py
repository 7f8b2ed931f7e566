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
    if call == "ShowWindow":
        return f'window {line["window"]} shown' + ("" if line["result"] else " (it was hidden)")
    if call == "IsWindowVisible":
        return f'window {line["window"]} is ' + ("visible" if line["result"] else "NOT visible")
    if call == "SetWindowPos":
        return f'window {line["window"]} resized to {line["width"]} x {line["height"]} for its label'
    if call == "CreateFontIndirectW":
        return f'message font {line["font"]} created'
    if call == "SendMessageW" and line["msg"] == 0x30:
        return f'window {line["window"]} set in font {line["wParam"]}'
    if call == "DeleteObject":
        return f'font {line["font"]} deleted'
    if call == "SendInput":
        return describe_input(line)
    return json.dumps(line)


# The simulated primary screen of the demo.
SCREEN = (1920, 1080)
KEY_NAMES = {0xA0: "Shift", 0xA2: "Control", 0x12: "Alt", 0x5B: "Windows", 0x0D: "Enter",
             0x20: "Space"}
BUTTON_FLAGS = {0x2: ("left", "down"), 0x4: ("left", "up"), 0x8: ("right", "down"),
                0x10: ("right", "up"), 0x20: ("middle", "down"), 0x40: ("middle", "up")}


def describe_input(line: dict) -> str:
    """One SendInput record of the simulated desktop, in words."""
    if line["type"] == "keyboard":
        vk = line["vk"]
        name = KEY_NAMES.get(vk, chr(vk) if 0x30 <= vk <= 0x5A else hex(vk))
        return f"key {name} {'up' if line['flags'] & 2 else 'down'}"
    flags = line["flags"]
    if flags & 0x8000:
        # Back from the 0..65535 normalisation to the pixel it stands for.
        x = round(line["dx"] * (SCREEN[0] - 1) / 65535)
        y = round(line["dy"] * (SCREEN[1] - 1) / 65535)
        return f"pointer to pixel ({x}, {y})"
    if flags & 0x800:
        return f"wheel {-line['mouseData'] // 120:+d} steps (down is +)"
    if flags in BUTTON_FLAGS:
        button, direction = BUTTON_FLAGS[flags]
        return f"{button} button {direction}"
    return json.dumps(line)


def held_after(lines: list[dict]) -> set[str]:
    """Keys and buttons the simulated desktop still holds after these records."""
    held: set[str] = set()
    for line in lines:
        if line["call"] != "SendInput":
            continue
        words = describe_input(line).rsplit(" ", 1)
        if words[-1] == "down":
            held.add(words[0])
        elif words[-1] == "up":
            held.discard(words[0])
    return held


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

        talk.heading("Remote input")
        talk.note(
            "The remote party moves the pointer along a path, clicks, scrolls and types \"Hi\" "
            "with Shift. Positions are fractions of the primary display; the agent maps them to "
            "its pixels and sends each event through SendInput."
        )
        controls = [{"type": "pointer", "x": x, "y": y, "buttons": 0}
                    for x, y in ((0.0, 0.0), (0.25, 0.5), (0.5, 0.5), (1.0, 1.0))]
        controls += [{"type": "pointer", "x": 0.5, "y": 0.5, "buttons": 1},
                     {"type": "pointer", "x": 0.5, "y": 0.5, "buttons": 0},
                     {"type": "scroll", "horizontal": 0, "vertical": 3}]
        for code, down, modifiers in (("ShiftLeft", True, 8), ("KeyH", True, 8),
                                      ("KeyH", False, 8), ("ShiftLeft", False, 0),
                                      ("KeyI", True, 0), ("KeyI", False, 0),
                                      ("KeyA", True, 8)):
            controls.append({"type": "key-transition", "code": code, "down": down,
                             "modifiers": modifiers})
        for seq, control in enumerate(controls, start=1):
            response = host.command({"type": "control", "sessionId": issuer.session_id,
                                     "control": {**control, "v": 1, "seq": seq}})
            print(f"-> control {json.dumps(control)}  <- "
                  + ("ok" if response["ok"] else response["error"]))
        seen = talk.desktop(seen)
        talk.note(
            "The last message left Shift and A held down on purpose: stopping the session must "
            "let go of them."
        )

        talk.heading("Stop")
        talk.command({"type": "session-stop", "sessionId": issuer.session_id})
        time.sleep(0.1)
        seen = talk.desktop(seen)
        held = held_after(host.journal_lines())
        talk.note(
            "The session is gone, the indicator closed itself and everything held was released: "
            + ("nothing is held down." if not held else f"STILL HELD: {sorted(held)}!")
        )

        talk.heading("End")
        status, rest = host.finish()
        talk.note(
            f"The extension closed the pipe; the host ended with status {status}"
            + (" and wrote nothing more." if not rest else f" and wrote {len(rest)} more bytes!")
        )
        return 0 if status == 0 and not rest and not held else 1


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
