"""Signed session starts and bounded waits for the process tests.

`Companion` plays the service side of one remote session against a host's
configuration: it holds a throwaway signing key and a requester identity and
signs a fresh ticket (new nonce, so a new payload digest) for every
session-start it builds. The waits poll the journal or the status with short
intervals and give up after a few seconds.
"""

from __future__ import annotations

import hashlib
import math
import os
import time
import uuid

import ombrelin_native as native
import ombrelin_tickets as tickets

WAIT_LIMIT_S = 3.0
POLL_INTERVAL_S = 0.02

WM_APP_PAUSE_STATE = 0x8001
WM_APP_CLOSE = 0x8002


class Companion:
    """Builds valid session-start commands for one host configuration.

    Unless told otherwise, every command names the same session, requester and
    grant, so a second command is a refresh of the session the first one started.
    """

    def __init__(self, config: dict | None = None, key_id: str = "test-key-1"):
        config = config or native.default_config()
        self.seed, _ = tickets.generate_key_pair()
        self.key_id = key_id
        self.target = tickets.DeviceBinding(
            uuid.UUID(config["targetDeviceId"]).bytes,
            tickets.decode_base64url(config["targetIdentityFingerprint"]),
        )
        self.session_id = str(uuid.uuid4())
        self.requester_device_id = uuid.uuid4().bytes
        self.requester_fingerprint = hashlib.sha256(os.urandom(16)).digest()

    @property
    def fingerprint_text(self) -> str:
        return self.requester_fingerprint.hex()

    def session_start(
        self,
        *,
        permissions=("VIEW_SCREEN", "SEND_POINTER"),
        requester_name: str = "Field Support",
        display_id: str = "",
        session_id: str | None = None,
        lease_s: float = 120,
        lease_expires_at_ms: int | None = None,
        ticket_lifetime_s: int = 60,
        requester_device_id: bytes | None = None,
        requester_fingerprint: bytes | None = None,
    ) -> dict:
        """A session-start command with a freshly signed ticket.

        The lease runs `lease_s` seconds from now unless `lease_expires_at_ms`
        gives it exactly; `permissions` are given in ticket (ascending) order.
        """
        now = time.time()
        issued = int(now) - 1
        ticket = tickets.SessionTicket(
            session_id=uuid.UUID(session_id or self.session_id).bytes,
            requester=tickets.DeviceBinding(
                requester_device_id or self.requester_device_id,
                requester_fingerprint or self.requester_fingerprint,
            ),
            target=self.target,
            role=2,
            permissions=tickets.permission_values(list(permissions)),
            display_id=display_id,
            approval_mode=1,
            issued_at_unix_s=issued,
            expires_at_unix_s=issued + ticket_lifetime_s,
            nonce=os.urandom(32),
            protocol_major=1,
            signing_key_id=self.key_id,
            requester_dtls_fingerprint_sha256=os.urandom(32),
            target_dtls_fingerprint_sha256=os.urandom(32),
        )
        lease_ms = lease_expires_at_ms if lease_expires_at_ms is not None else int((now + lease_s) * 1000)
        return tickets.session_start_command(ticket, self.seed, requester_name, lease_ms)


def lease_seconds(command: dict) -> int:
    """The lease expiry the host keeps: whole seconds, rounded up."""
    return math.ceil(command["leaseExpiresAt"] / 1000)


def wait_for(probe, limit_s: float = WAIT_LIMIT_S, what: str = "condition", until=bool):
    """Calls `probe` until `until` holds for its value (by default: until it is
    truthy); returns that value."""
    deadline = time.monotonic() + limit_s
    while True:
        value = probe()
        if until(value):
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"{what} not seen within {limit_s:.1f} s")
        time.sleep(POLL_INTERVAL_S)


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
