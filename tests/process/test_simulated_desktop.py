"""What the host core does when the simulated desktop misbehaves: the clock, the
random generator and a broken desktop description."""

import time

import pytest

import ombrelin_native as native

CLOCK_INVALID = "The Windows system clock is invalid."
REPLAYED = "The request identifier is invalid or replayed."
SESSION_ID = "2d0c8f1e-5b7a-4e3c-9a1d-6f4b2e8c0a97"

pytestmark = pytest.mark.usefixtures("simulated_only")


def now_ms() -> int:
    return int(time.time() * 1000)


EVERY_COMMAND = [
    pytest.param({"type": "status"}, id="status"),
    pytest.param({"type": "diagnostics"}, id="diagnostics"),
    pytest.param({"type": "stop"}, id="stop"),
    pytest.param({"type": "pause", "paused": True}, id="pause"),
    pytest.param({"type": "session-pause", "sessionId": SESSION_ID, "paused": False}, id="session-pause"),
    pytest.param({"type": "session-stop", "sessionId": SESSION_ID}, id="session-stop"),
    pytest.param(
        {"type": "control", "sessionId": SESSION_ID, "control": {"type": "release-all", "v": 1, "seq": 0}},
        id="control",
    ),
    pytest.param(
        {
            "type": "session-start",
            "sessionId": SESSION_ID,
            "requesterName": "Alice",
            "permissions": ["VIEW_SCREEN"],
            "leaseExpiresAt": 60_000,
            "signedTicket": "AAAA",
            "ticketKey": {
                "keyId": "k1",
                "algorithm": "Ed25519",
                "publicKey": "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
                "encoding": "raw-base64url",
            },
        },
        id="session-start",
    ),
]


@pytest.mark.parametrize("command", EVERY_COMMAND)
def test_clock_before_1970_refuses_every_command(ready, command):
    host = ready(desktop={"clockOffsetMs": -(now_ms() + 1_000_000)})
    request_id = native.token()
    host.send(native.command_message(host.agent_challenge, command, request_id))
    assert host.receive() == {"v": 1, "type": "response", "requestId": request_id, "ok": False, "error": CLOCK_INVALID}
    assert host.last_raw == (
        b'{"v":1,"type":"response","requestId":"' + request_id.encode()
        + b'","ok":false,"error":"' + CLOCK_INVALID.encode() + b'"}'
    )
    # The id was taken before the command failed, so a retry needs a new one.
    host.send(native.command_message(host.agent_challenge, command, request_id))
    assert host.receive()["error"] == REPLAYED
    assert host.finish() == (0, b"")


def test_clock_far_before_1970_refuses_status(ready):
    host = ready(desktop={"clockOffsetMs": -(2**63)})
    assert host.command({"type": "status"})["error"] == CLOCK_INVALID


def test_clock_shortly_after_1970_is_valid(ready):
    host = ready(desktop={"clockOffsetMs": -now_ms() + 1_000_000})
    assert host.command({"type": "status"})["ok"] is True


def test_random_failure_ends_the_run_at_the_hello(start):
    host = start(desktop={"randomFails": True})
    host.send(native.hello(native.token(), native.token()))
    assert host.wait_exit() == (1, b"")


def test_random_generator_is_not_used_before_a_hello(start):
    host = start(desktop={"randomFails": True})
    assert host.finish() == (0, b"")


MONITOR = {
    "device": "\\\\.\\DISPLAY1",
    "friendlyName": None,
    "left": -1920,
    "top": 0,
    "width": 1920,
    "height": 1080,
    "orientation": 0,
    "frequency": 60,
    "scale": 100,
    "primary": True,
}


def monitor(**changes) -> dict:
    result = dict(MONITOR, **changes)
    return {k: v for k, v in result.items() if v is not ...}


@pytest.mark.parametrize(
    "desktop",
    [
        pytest.param(b"", id="empty-file"),
        pytest.param(b"{", id="unparseable"),
        pytest.param(b"[]", id="array"),
        pytest.param(b'{"randomFails":false}x', id="trailing-text"),
        pytest.param({"bogus": 1}, id="unknown-member"),
        pytest.param({"randomFails": 1}, id="boolean-as-number"),
        pytest.param({"randomFails": "true"}, id="boolean-as-string"),
        pytest.param({"clockOffsetMs": 1.0}, id="integer-as-1.0"),
        pytest.param({"clockOffsetMs": "5"}, id="integer-as-string"),
        pytest.param({"clockOffsetMs": 2**63}, id="offset-beyond-64-bits"),
        pytest.param({"indicatorStartDelayMs": -1}, id="negative-delay"),
        pytest.param({"sendInputFailsAfter": -1}, id="negative-count"),
        pytest.param({"sendInputFailsAfter": 2.5}, id="fractional-count"),
        pytest.param({"screen": {"cx": -1, "cy": 1080}}, id="negative-screen-size"),
        pytest.param({"screen": {"cx": 1920, "cy": 1080, "dpi": 96}}, id="screen-unknown-member"),
        pytest.param({"cursor": {"x": 0, "y": 0, "z": 0}}, id="cursor-unknown-member"),
        pytest.param({"consent": ["maybe"]}, id="consent-unknown-answer"),
        pytest.param({"consent": "yes"}, id="consent-not-array"),
        pytest.param({"indicatorFails": "window"}, id="indicator-unknown-step"),
        pytest.param({"monitors": MONITOR}, id="monitors-not-array"),
        pytest.param({"monitors": [monitor(width=-1)]}, id="monitor-negative-width"),
        pytest.param({"monitors": [monitor(height=1.0)]}, id="monitor-height-1.0"),
        pytest.param({"monitors": [monitor(orientation=4)]}, id="monitor-orientation-4"),
        pytest.param({"monitors": [monitor(primary=...)]}, id="monitor-missing-primary"),
        pytest.param({"monitors": [monitor(device=...)]}, id="monitor-missing-device"),
        pytest.param({"monitors": [monitor(dpi=96)]}, id="monitor-unknown-member"),
        pytest.param({"monitors": [monitor(fails="everything")]}, id="monitor-unknown-failure"),
    ],
)
def test_invalid_desktop_description_ends_the_run_before_any_frame(start, desktop):
    host = start(desktop=desktop)
    assert host.wait_exit() == (1, b"")


def test_unreadable_desktop_description_ends_the_run_before_any_frame(start, tmp_path):
    host = start(env={"OMBRELIN_SIM_DESKTOP": str(tmp_path / "no-such-desktop.json")})
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize(
    "desktop",
    [
        pytest.param({}, id="empty"),
        pytest.param(
            {
                "monitors": [monitor(), monitor(device="\\\\.\\DISPLAY2", friendlyName="Side", left=0, primary=False, fails="scale")],
                "enumFails": False,
                "displayConfigFails": True,
                "screen": {"cx": 1920, "cy": 1080},
                "cursor": {"x": 10, "y": 20},
                "consent": ["yes", "no", "error"],
                "hotkeyTaken": True,
                "randomFails": False,
                "sendInputFailsAfter": None,
                "cursorFails": True,
                "indicatorStartDelayMs": 0,
                "indicatorFails": "stop-button",
                "clockOffsetMs": -5,
            },
            id="every-member",
        ),
        pytest.param({"sendInputFailsAfter": 0, "clockOffsetMs": 9_000_000_000_000}, id="counts-and-offsets"),
    ],
)
def test_valid_desktop_description_lets_the_run_go_on(ready, desktop):
    host = ready(desktop=desktop)
    assert host.command({"type": "status"})["ok"] is True
    assert host.finish() == (0, b"")
