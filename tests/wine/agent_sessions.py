"""Sessions of the real agent, started through the consent box the local user sees.

The texts here are the agent's own, as the local user and the page read them.
"""

from __future__ import annotations

import datetime
import math
import time
from dataclasses import dataclass

import ombrelin_native as native
import ombrelin_tickets as tickets

CONSENT_CAPTION = "Ombrelin Revozad \u2014 Local consent required"
CONSENT_CLOSING = (
    "Allow this visible session? You can Pause or Stop at any time. "
    "Ctrl+Alt+Shift+F12 is the emergency Stop shortcut."
)
NO_OS_INPUT = "No operating-system input"
INDICATOR_CLASS = "OmbrelinConnectVisibleIndicator"
INDICATOR_TITLE = "Ombrelin Revozad \u2014 ACTIVE REMOTE SESSION"
ENABLED_TEXTS = ("Pause input", "Remote input enabled")
PAUSED_TEXTS = ("Resume input", "Remote input PAUSED")

LOCAL_USER_REJECTED = "The local user rejected the session request."
INDICATOR_START_FAILED = "The visible session indicator or emergency shortcut could not start."

CONTROL = ("VIEW_SCREEN", "SEND_POINTER")
KEYBOARD = ("VIEW_SCREEN", "SEND_KEYBOARD")
VIEW = ("VIEW_SCREEN", "RECEIVE_AUDIO")

RESPONSE_LIMIT_S = 15.0


def issuer() -> tickets.TicketIssuer:
    """Signs session starts for a host with the default configuration."""
    return tickets.TicketIssuer(native.default_config(), "wine-test-key")


def lease_seconds(command: dict) -> int:
    """The lease expiry the agent keeps: whole seconds, rounded up."""
    return math.ceil(command["leaseExpiresAt"] / 1000)


def local_expiry(command: dict) -> str:
    """The lease expiry as the agent shows it: local date and time with their
    offset from UTC, in the time zone Wine takes from this machine."""
    local = datetime.datetime.fromtimestamp(lease_seconds(command)).astimezone()
    offset = int(local.utcoffset().total_seconds()) // 60
    hours, minutes = divmod(abs(offset), 60)
    return f"{local:%Y-%m-%d %H:%M:%S} (UTC{'-' if offset < 0 else '+'}{hours:02d}:{minutes:02d})"


def consent_text(command: dict, fingerprint: str, mapping: str) -> str:
    return (
        f"Requester: {command['requesterName']}\r\n"
        f"Requester identity: {fingerprint}\r\n"
        f"Permissions: {', '.join(command['permissions'])}\r\n"
        f"Input mapping: {mapping}\r\n"
        f"Expires: {local_expiry(command)}\r\n\r\n" + CONSENT_CLOSING
    )


def indicator_label(command: dict) -> str:
    return (
        f"ACTIVE \u2014 requester: {command['requesterName']}\r\n"
        f"Grants: {', '.join(command['permissions'])}\r\n"
        f"Expires: {local_expiry(command)}\r\n"
        "Emergency Stop: Ctrl+Alt+Shift+F12"
    )


def connected_status(command: dict, mode: str, paused: bool = False) -> dict:
    config = native.default_config()
    return {
        "connected": True,
        "paused": paused,
        "agentVersion": "1.0.0",
        "deviceName": config["deviceName"],
        "activeSessionId": command["sessionId"],
        "activeSite": native.SERVICE_WEB_ORIGIN,
        "sessionMode": mode,
        "grantedPermissions": list(command["permissions"]),
        "devices": [{"id": config["targetDeviceId"], "name": config["deviceName"]}],
    }


def idle_status() -> dict:
    config = native.default_config()
    return {
        "connected": False,
        "paused": False,
        "agentVersion": "1.0.0",
        "deviceName": config["deviceName"],
        "activeSessionId": None,
        "activeSite": None,
        "sessionMode": None,
        "grantedPermissions": [],
        "devices": [{"id": config["targetDeviceId"], "name": config["deviceName"]}],
    }


@dataclass
class SessionRequest:
    command: dict
    consent: dict  # the consent box as the helper read it
    response: dict


def request_session(host, user, signer, answer: str = "yes", **options) -> SessionRequest:
    """Sends a signed session start, reads the consent box and answers it."""
    command = signer.session_start(**options)
    host.send(native.command_message(host.agent_challenge, command, native.token()))
    consent = user.consent_box()
    user.answer_consent(answer)
    return SessionRequest(command, consent, host.receive(timeout=RESPONSE_LIMIT_S))


def start_session(host, user, signer, **options) -> SessionRequest:
    request = request_session(host, user, signer, **options)
    assert request.response["ok"] is True, request.response
    return request


def status(host) -> dict:
    response = host.command({"type": "status"})
    assert response["ok"] is True, response
    return response["status"]


def wait_for_status(host, predicate, limit_s: float = 5.0) -> dict:
    deadline = time.monotonic() + limit_s
    while True:
        current = status(host)
        if predicate(current):
            return current
        if time.monotonic() >= deadline:
            raise AssertionError(f"status not reached within {limit_s:.1f} s; last: {current}")
        time.sleep(0.05)


def pause_texts(window: dict) -> tuple[str, str]:
    """The indicator's (pause button, status label) texts."""
    pause_button = next(c for c in window["controls"] if c["id"] == 1001)
    labels = [c for c in window["controls"] if c["class"].lower() == "static"]
    return pause_button["text"], labels[1]["text"]
