"""Commands without a session: the command envelope checks and every command's answer."""

import time

import pytest

import ombrelin_native as native

NO_SESSION = "No locally approved session is active."
SESSION_REQUEST_INVALID = "The native session request is invalid or expired."
SESSION_ID = "2d0c8f1e-5b7a-4e3c-9a1d-6f4b2e8c0a97"


def expected_status_response(request_id: str) -> bytes:
    return (
        b'{"v":1,"type":"response","requestId":"' + request_id.encode() + b'","ok":true,"status":{'
        b'"connected":false,"paused":false,"agentVersion":"1.0.0","deviceName":"Front desk PC",'
        b'"activeSessionId":null,"activeSite":null,"sessionMode":null,"grantedPermissions":[],'
        b'"devices":[{"id":"6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f","name":"Front desk PC"}]}}'
    )


def expected_failure_response(request_id: str, error: str) -> bytes:
    return (
        b'{"v":1,"type":"response","requestId":"' + request_id.encode()
        + b'","ok":false,"error":"' + error.encode() + b'"}'
    )


def answer(host, command: dict) -> tuple[bytes, str]:
    """Sends one command under a fresh request id; returns (the raw response, that id)."""
    request_id = native.token()
    host.send(native.command_message(host.agent_challenge, command, request_id))
    response = host.receive()
    assert response["requestId"] == request_id
    return host.last_raw, request_id


# Commands ------------------------------------------------------------------


@pytest.mark.parametrize(
    "command",
    [
        pytest.param({"type": "status"}, id="status"),
        pytest.param({"type": "diagnostics"}, id="diagnostics"),
        pytest.param({"type": "stop"}, id="stop"),
        pytest.param({"type": "session-stop", "sessionId": SESSION_ID}, id="session-stop"),
        pytest.param({"type": "session-stop", "sessionId": SESSION_ID.upper()}, id="session-stop-uppercase-id"),
        pytest.param({"type": "session-stop", "sessionId": ""}, id="session-stop-empty-id"),
        pytest.param({"type": "session-stop", "sessionId": "not a session"}, id="session-stop-free-text"),
    ],
)
def test_commands_answered_with_the_idle_status(ready, command):
    host = ready()
    raw, request_id = answer(host, command)
    assert raw == expected_status_response(request_id)


def test_status_is_unchanged_by_a_sequence_of_commands(ready):
    host = ready()
    for command in (
        {"type": "stop"},
        {"type": "pause", "paused": True},
        {"type": "session-stop", "sessionId": SESSION_ID},
        {"type": "diagnostics"},
        {"type": "status"},
    ):
        raw, request_id = answer(host, command)
    assert raw == expected_status_response(request_id)
    assert host.finish() == (0, b"")


def control(message: dict) -> dict:
    return {"type": "control", "sessionId": SESSION_ID, "control": message}


@pytest.mark.parametrize(
    "command",
    [
        pytest.param({"type": "pause", "paused": True}, id="pause"),
        pytest.param({"type": "pause", "paused": False}, id="resume"),
        pytest.param({"type": "session-pause", "sessionId": SESSION_ID, "paused": True}, id="session-pause"),
        pytest.param({"type": "session-pause", "sessionId": "x", "paused": False}, id="session-resume-other-id"),
        pytest.param(control({"type": "pointer", "v": 1, "seq": 0, "x": 0.5, "y": 0.25, "buttons": 1}), id="pointer"),
        pytest.param(control({"type": "scroll", "v": 1, "seq": 1, "horizontal": -3, "vertical": 120}), id="scroll"),
        pytest.param(control({"type": "key-transition", "v": 1, "seq": 2, "code": "KeyA", "down": True, "modifiers": 0}), id="key"),
        pytest.param(control({"type": "pause-input", "v": 1, "seq": 3, "paused": True}), id="pause-input"),
        pytest.param(control({"type": "release-all", "v": 1, "seq": 4}), id="release-all"),
        pytest.param(control({"type": "stop", "v": 1, "seq": 5}), id="control-stop"),
        # Values that the control rules would refuse: without a session they are never looked at.
        pytest.param(control({"type": "pointer", "v": 7, "seq": 0, "x": 3, "y": -1, "buttons": 255}), id="pointer-out-of-range"),
        pytest.param(control({"type": "key-transition", "v": 1, "seq": 0, "code": "NoSuchKey", "down": False, "modifiers": 200}), id="unknown-key"),
    ],
)
def test_commands_needing_a_session_are_refused(ready, command):
    host = ready()
    raw, request_id = answer(host, command)
    assert raw == expected_failure_response(request_id, NO_SESSION)


def session_start(**changes) -> dict:
    command = {
        "type": "session-start",
        "sessionId": SESSION_ID,
        "requesterName": "Alice at the help desk",
        "permissions": ["VIEW_SCREEN", "SEND_POINTER"],
        "leaseExpiresAt": int(time.time() * 1000) + 120_000,
        "signedTicket": "AAAA",
        "ticketKey": {
            "keyId": "key-2024-01",
            "algorithm": "Ed25519",
            "publicKey": "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
            "encoding": "raw-base64url",
        },
    }
    command.update(changes)
    return command


def key(**changes) -> dict:
    return dict(session_start()["ticketKey"], **changes)


# Requests refused before any ticket is looked at.
@pytest.mark.parametrize(
    "command",
    [
        pytest.param(session_start(requesterName="   "), id="blank-requester"),
        pytest.param(session_start(requesterName="Alice\tBob"), id="requester-with-tab"),
        pytest.param(session_start(requesterName="x" * 129), id="requester-129-bytes"),
        pytest.param(session_start(permissions=[]), id="no-permissions"),
        pytest.param(session_start(leaseExpiresAt=0), id="lease-in-1970"),
        pytest.param(session_start(leaseExpiresAt=int(time.time() * 1000) + 3_600_000), id="lease-an-hour-away"),
        pytest.param(session_start(leaseExpiresAt=2**64 - 1), id="lease-at-the-end-of-time"),
        pytest.param(session_start(ticketKey=key(algorithm="ed25519")), id="algorithm-lowercase"),
        pytest.param(session_start(ticketKey=key(encoding="raw")), id="other-encoding"),
        pytest.param(session_start(ticketKey=key(keyId="")), id="empty-key-id"),
        pytest.param(session_start(ticketKey=key(keyId="key 1")), id="key-id-with-space"),
        pytest.param(session_start(sessionId=SESSION_ID.upper()), id="session-id-uppercase"),
        pytest.param(session_start(sessionId=""), id="session-id-empty"),
    ],
)
def test_invalid_session_start_is_refused(ready, command):
    host = ready()
    raw, request_id = answer(host, command)
    assert raw == expected_failure_response(request_id, SESSION_REQUEST_INVALID)


# The command envelope ----------------------------------------------------------


@pytest.mark.parametrize(
    "overrides",
    [
        pytest.param(lambda agent: {"v": 0}, id="v-0"),
        pytest.param(lambda agent: {"v": 2}, id="v-2"),
        pytest.param(lambda agent: {"agentChallenge": native.token()}, id="other-challenge"),
        pytest.param(lambda agent: {"agentChallenge": agent.upper()}, id="challenge-uppercase"),
        pytest.param(lambda agent: {"agentChallenge": agent[:31]}, id="challenge-truncated"),
        pytest.param(lambda agent: {"agentChallenge": ""}, id="challenge-empty"),
    ],
)
def test_command_with_wrong_version_or_challenge_ends_the_run(ready, overrides):
    host = ready()
    assert host.command({"type": "status"})["ok"] is True
    extra = overrides(host.agent_challenge)
    host.send(native.command_message(host.agent_challenge, {"type": "status"}, native.token(), **extra))
    assert host.wait_exit() == (1, b"")


def test_command_with_a_bad_envelope_and_a_bad_request_id_ends_the_run(ready):
    host = ready()
    host.send(native.command_message(native.token(), {"type": "status"}, "not a token"))
    assert host.wait_exit() == (1, b"")
