"""The local user stays in control on a real (Wine) desktop. Key presses and
pointer moves sent to the X server with XTest (`xdotool`) reach Windows programs
as device input, the local user's hands; the helper program's SendInput and the
agent's own are injected input, like the remote side's."""

from __future__ import annotations

import shutil
import subprocess
import time

import pytest

import ombrelin_native as native
from agent_sessions import (
    ENABLED_TEXTS, LOCAL_USER_REJECTED, PAUSED_TEXTS, issuer, pause_texts, status, wait_for_status)
from test_wine_remote_input import INPUT, Editor, RemoteParty, centre, fraction, remote_session
from wine_desktop import SCREEN_HEIGHT, SCREEN_WIDTH

pytestmark = pytest.mark.skipif(shutil.which("xdotool") is None, reason="xdotool is not installed")

LOCAL_USER_ACTIVE = "The local user is using the computer; remote input is held back."
META, SHIFT = 4, 8
VK_LSHIFT = 0xA0
HOLD_BACK_S = 2.0
CONSENT_LIMIT_S = 60.0


def xdotool(user, *args: str):
    """The local user's keyboard and mouse on the X server."""
    subprocess.run(["xdotool", *args], env=user.desktop._environment(), check=True, timeout=10,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


@pytest.fixture(scope="module", autouse=True)
def fresh_wine_session_afterwards(wine_session):
    """Once the X pointer was moved with XTest, Wine 8 no longer moves it for
    SendInput (GetCursorPos keeps reporting where XTest left it); a new Wine
    session gives the tests after these a pointer that follows SendInput again."""
    yield
    subprocess.run(["xdotool", "mousemove", str(SCREEN_WIDTH // 2), str(SCREEN_HEIGHT // 2)],
                   env=wine_session._environment(), check=False, timeout=10)
    wine_session.restart()


def control_centre(window: dict, control_id: int) -> tuple[int, int]:
    """Screen pixel at the middle of one of the indicator's controls."""
    control = next(c for c in window["controls"] if c["id"] == control_id)
    return (window["clientLeft"] + control["x"] + control["width"] // 2,
            window["clientTop"] + control["y"] + control["height"] // 2)


def editor_in_front(user, remote: RemoteParty) -> dict:
    """The helper's text window in the foreground (the remote side clicks into
    it: keys aimed at the indicator would be dropped), and the local user's
    pointer resting on it, moved there long enough ago for the remote side's
    input to be back. Returns the field the pointer rests on, in pixels."""
    editor = Editor(user)
    x, y = centre(editor.fields[0])
    remote.pointer(x, y, 1)
    remote.pointer(x, y, 0)
    editor.read()
    field = editor.fields[1]
    xdotool(user, "mousemove", str(field["left"] + 5), str(field["top"] + 5))
    editor.read()  # a round trip through the window's thread, which saw the pointer enter
    time.sleep(HOLD_BACK_S + 0.3)
    return field


def try_control(remote: RemoteParty, message: dict) -> dict:
    control = {"type": message.pop("type"), "v": 1, "seq": remote.seq, **message}
    remote.seq += 1
    return remote.host.command({"type": "control", "sessionId": remote.session_id, "control": control})


def test_the_local_shortcut_stops_while_the_remote_side_holds_meta(ready, user):
    host = ready()
    remote = remote_session(host, user)
    editor_in_front(user, remote)
    remote.key("MetaLeft", True, META)
    assert 0x5B in user.run("held-input")["down"]
    xdotool(user, "key", "ctrl+alt+shift+F12")
    wait_for_status(host, lambda current: not current["connected"])
    assert user.indicator_gone()
    # The shortcut's own keys go up as xdotool lets go of them, a moment later.
    native.wait_for(lambda: user.run("held-input")["down"] == [], 5.0, "nothing held", interval_s=0.05)


def test_the_shortcut_played_by_software_stops_nothing(ready, user):
    host = ready()
    remote = remote_session(host, user)
    user.run("press-hotkey")  # SendInput from another program
    remote.key("F12", True, 1 | 2 | SHIFT)
    remote.key("F12", False, 1 | 2 | SHIFT)
    time.sleep(0.5)
    assert status(host)["connected"] is True
    assert user.indicator()["class"]


def test_a_local_pause_survives_a_peer_resume(ready, user):
    host = ready()
    remote = remote_session(host, user)
    user.run("click-pause")
    wait_for_status(host, lambda current: current["paused"])
    response = remote.send({"type": "pause-input", "paused": False})
    assert response["status"]["paused"] is True
    assert pause_texts(user.indicator()) == PAUSED_TEXTS
    refused = try_control(remote, {"type": "pointer", "x": 0.5, "y": 0.5, "buttons": 0})
    assert refused["ok"] is False
    user.run("click-pause")
    wait_for_status(host, lambda current: not current["paused"])


def test_local_mouse_movement_holds_the_remote_side_back(ready, user):
    host = ready()
    remote = remote_session(host, user)
    field = editor_in_front(user, remote)
    remote.key("ShiftLeft", True, SHIFT)
    assert VK_LSHIFT in user.run("held-input")["down"]

    moved_at = time.monotonic()
    xdotool(user, "mousemove", str(field["left"] + 40), str(field["top"] + 8))
    native.wait_for(lambda: VK_LSHIFT not in user.run("held-input")["down"], 5.0, "the released Shift",
                    interval_s=0.05)
    refused = try_control(remote, {"type": "pointer", "x": 0.5, "y": 0.5, "buttons": 0})
    assert (refused["ok"], refused.get("error")) == (False, LOCAL_USER_ACTIVE)
    native.wait_for(lambda: pause_texts(user.indicator())[1] == "Local user active", 3.0,
                    "the local user's text", interval_s=0.05)

    while not try_control(remote, {"type": "pointer", "x": 0.5, "y": 0.5, "buttons": 0})["ok"]:
        assert time.monotonic() - moved_at < 6.0, "remote input did not come back"
        time.sleep(0.05)
    held_back_s = time.monotonic() - moved_at
    assert 1.8 <= held_back_s <= 4.0, held_back_s
    native.wait_for(lambda: pause_texts(user.indicator()) == ENABLED_TEXTS, 3.0, "the usual text",
                    interval_s=0.05)
    assert status(host)["paused"] is False


def test_a_remote_click_on_the_pause_button_has_no_effect(ready, user):
    host = ready()
    remote = remote_session(host, user)
    x, y = control_centre(user.indicator(), 1001)
    fx, fy = fraction(x, SCREEN_WIDTH), fraction(y, SCREEN_HEIGHT)
    remote.pointer(fx, fy)
    remote.pointer(fx, fy, 1)
    remote.pointer(fx, fy, 0)
    time.sleep(0.5)
    assert pause_texts(user.indicator()) == ENABLED_TEXTS
    assert status(host)["paused"] is False
    assert user.run("held-input")["down"] == []


def test_an_unanswered_consent_box_closes_itself_after_a_minute(ready, user):
    host = ready()
    command = issuer().session_start(permissions=INPUT)
    host.send(native.command_message(host.agent_challenge, command, native.token()))
    user.consent_box()
    shown_at = time.monotonic()
    response = host.receive(timeout=CONSENT_LIMIT_S + 15)
    waited_s = time.monotonic() - shown_at
    assert (response["ok"], response["error"]) == (False, LOCAL_USER_REJECTED)
    assert CONSENT_LIMIT_S - 2 <= waited_s <= CONSENT_LIMIT_S + 5, waited_s
    assert user.consent_gone()
    assert status(host)["connected"] is False
