"""Signed session starts and bounded waits for the process tests.

`Companion` gives the ticket issuer of tools/ombrelin_tickets.py for a host's
configuration: a throwaway signing key and requester identity that sign a fresh
ticket (new nonce, so a new payload digest) for every session-start it builds.
The waits poll the journal or the status with short intervals and give up after
a few seconds.
"""

from __future__ import annotations

import datetime
import math

import ombrelin_native as native
import ombrelin_tickets as tickets


def Companion(config: dict | None = None, key_id: str = "test-key-1") -> tickets.TicketIssuer:
    """A ticket issuer for a host started with `config` (the default configuration if none)."""
    return tickets.TicketIssuer(config or native.default_config(), key_id)


WAIT_LIMIT_S = 3.0
POLL_INTERVAL_S = 0.02

WM_APP_PAUSE_STATE = 0x8001
WM_APP_CLOSE = 0x8002


def lease_seconds(command: dict) -> int:
    """The lease expiry the host keeps: whole seconds, rounded up."""
    return math.ceil(command["leaseExpiresAt"] / 1000)


def local_time_text(seconds: int, utc_offset_minutes: int = 0) -> str:
    """An instant as the consent box and the indicator show it, in a local time
    `utc_offset_minutes` ahead of UTC: "2026-12-08 14:32:05 (UTC+01:00)"."""
    local = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc) + datetime.timedelta(
        minutes=utc_offset_minutes)
    sign = "-" if utc_offset_minutes < 0 else "+"
    hours, minutes = divmod(abs(utc_offset_minutes), 60)
    return f"{local:%Y-%m-%d %H:%M:%S} (UTC{sign}{hours:02d}:{minutes:02d})"


# The simulated desktop's fixed-width font (README, "The simulated desktop
# beyond its contract"), at 96 DPI.
CHARACTER_WIDTH = 7
LINE_HEIGHT = 16


def wrapped_lines(text: str, width: int) -> list[str]:
    """The lines a static control `width` wide shows `text` in, in the simulated
    font: broken at CR LF, and before the word that would pass the width."""
    fitting = width // CHARACTER_WIDTH
    lines = []
    for paragraph in text.split("\r\n"):
        line = None
        for word in paragraph.split(" "):
            if line is None:
                line = word
            elif word and len(line) + 1 + len(word) <= fitting:
                line += " " + word
            elif word:
                lines.append(line)
                line = word
        lines.append(line or "")
    return lines


def wait_for(probe, limit_s: float = WAIT_LIMIT_S, what: str = "condition", until=bool):
    return native.wait_for(probe, limit_s, what, until, POLL_INTERVAL_S)


def calls(host, call: str, **members) -> list[dict]:
    """The journal lines of `call` whose members equal `members`."""
    return [
        line
        for line in host.journal_lines()
        if line["call"] == call and all(line.get(name) == value for name, value in members.items())
    ]


def wait_for_call(host, call: str, limit_s: float = WAIT_LIMIT_S, **members) -> list[dict]:
    """Waits until the journal holds at least one matching line; returns them all."""
    return wait_for(lambda: calls(host, call, **members), limit_s, f"{call} {members}")


def status(host) -> dict:
    response = host.command({"type": "status"})
    assert response["ok"] is True, response
    return response["status"]


def wait_for_status(host, predicate, limit_s: float = WAIT_LIMIT_S) -> dict:
    """Polls the status until `predicate` holds for it; returns that status."""
    return wait_for(lambda: status(host), limit_s, "status", until=predicate)


def act(host, action: str):
    """Plays the local user at the indicator window (see the actions file)."""
    with open(host.actions, "a", encoding="ascii") as actions:
        actions.write(action + "\n")
