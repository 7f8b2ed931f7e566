"""The local user comes first: the local user's own keyboard and mouse (action
lines `device …` of the simulated desktop) hold the remote side back and stop the
session with the emergency shortcut whatever the remote side holds, while
injected input (the agent's own SendInput, or `injected …` lines of another
program) never counts as the local user and never operates the agent's windows."""

from __future__ import annotations

import time

import pytest

from sessions import Companion, act, calls, status, wait_for, wait_for_call, wait_for_status
from test_remote_input import (
    ALT, CONTROL, META, SHIFT, VK_LSHIFT, Remote, assert_releases, hold_everything, ok, start_remote)

pytestmark = pytest.mark.usefixtures("simulated_only")

LOCAL_USER_ACTIVE = "The local user is using the computer; remote input is held back."
REJECTED = "The local user rejected the session request."
VK_LCONTROL, VK_LMENU, VK_LWIN, VK_F12 = 0xA2, 0xA4, 0x5B, 0x7B
SCREEN = (1920, 1080)
# Where the simulated desktop puts a window created at CW_USEDEFAULT.
DEFAULT_ORIGIN = (100, 100)
CW_USEDEFAULT = -2147483648


def label_texts(remote: Remote) -> list[str]:
    """The texts the status label was given, in order."""
    label = next(line["window"] for line in calls(remote.host, "CreateWindowExW", text="Remote input enabled"))
    return [line["text"] for line in calls(remote.host, "SetWindowTextW", window=label)]


def pause_button_centre(remote: Remote) -> tuple[int, int]:
    main = calls(remote.host, "CreateWindowExW", window=remote.main)[0]
    button = calls(remote.host, "CreateWindowExW", id=1001)[0]
    left = DEFAULT_ORIGIN[0] if main["x"] == CW_USEDEFAULT else main["x"]
    top = DEFAULT_ORIGIN[1] if main["y"] == CW_USEDEFAULT else main["y"]
    return left + button["x"] + button["width"] // 2, top + button["y"] + button["height"] // 2


def fraction(pixel: int, extent: int) -> float:
    return pixel / (extent - 1)


def dropped(remote: Remote, **members) -> list[dict]:
    return calls(remote.host, "LowLevelInput", dropped=True, **members)


# Local input wins ----------------------------------------------------------------

@pytest.mark.parametrize("local_input", [
    pytest.param(["device move 10 10", "device move 30 10"], id="mouse-moved"),
    pytest.param([f"device key {0x41} down", f"device key {0x41} up"], id="key-pressed"),
    pytest.param(["device button right down", "device button right up"], id="button-pressed"),
])
def test_local_input_releases_everything_and_holds_the_remote_side_back(ready, local_input):
    remote = start_remote(ready)
    releases = hold_everything(remote)
    for line in local_input:
        act(remote.host, line)
    wait_for(lambda: len(calls(remote.host, "SendInput")) >= remote._seen + len(releases), what="the releases")
    assert_releases(remote.sent(), releases)

    for attempt in (lambda: remote.pointer(buttons=1), lambda: remote.key("KeyB"), lambda: remote.scroll(0, 1)):
        assert attempt()["error"] == LOCAL_USER_ACTIVE
    assert remote.sent() == []
    # Not a pause: the peer's own commands still work, and nothing else changed.
    assert status(remote.host)["paused"] is False
    assert ok(remote.control("release-all"))["connected"] is True
    wait_for(lambda: "Local user active" in label_texts(remote), what="the label")

    # Two seconds after the last local input the remote side is back.
    wait_for(lambda: remote.pointer()["ok"], limit_s=4.0, what="remote input back")
    assert remote.sent()[-1]["type"] == "mouse"
    # The indicator's thread shows it a moment later.
    wait_for(lambda: label_texts(remote)[-1] == "Remote input enabled", what="the usual text")


def test_a_small_local_movement_does_not_count(ready):
    remote = start_remote(ready)
    act(remote.host, "device move 10 10")
    act(remote.host, "device move 12 13")
    # An action handled after them: the injected click is dropped, so it is journaled.
    x, y = pause_button_centre(remote)
    act(remote.host, f"injected click {x} {y}")
    wait_for(lambda: dropped(remote), what="the injected click")
    ok(remote.pointer())


def test_injected_input_never_counts_as_the_local_user(ready):
    remote = start_remote(ready)
    for line in ["injected move 10 10", "injected move 500 500", f"injected key {0x41} down",
                 f"injected key {0x41} up", "injected button middle down", "injected button middle up"]:
        act(remote.host, line)
    # The remote side's own moves are injected too.
    ok(remote.pointer(x=0.0, y=0.0))
    ok(remote.pointer(x=1.0, y=1.0))
    x, y = pause_button_centre(remote)
    act(remote.host, f"injected click {x} {y}")
    wait_for(lambda: dropped(remote), what="the injected click")
    ok(remote.key("KeyB"))
    assert "Local user active" not in label_texts(remote)


# The emergency shortcut -------------------------------------------------------------

CHORD = [VK_LCONTROL, VK_LMENU, VK_LSHIFT, VK_F12]


def test_the_local_shortcut_stops_while_the_remote_side_holds_meta(ready):
    remote = start_remote(ready)
    ok(remote.key("MetaLeft", modifiers=META))
    assert [record["vk"] for record in remote.sent()] == [VK_LWIN]
    for vk in CHORD:
        act(remote.host, f"device key {vk} down")
    wait_for_status(remote.host, lambda s: not s["connected"])


def test_the_remote_side_cannot_play_the_shortcut(ready):
    remote = start_remote(ready)
    ok(remote.key("F12", modifiers=CONTROL | ALT | SHIFT))
    wait_for(lambda: dropped(remote, vk=VK_F12, event="key-down"), what="the dropped F12")
    ok(remote.key("F12", down=False, modifiers=CONTROL | ALT | SHIFT))
    wait_for(lambda: dropped(remote, vk=VK_F12, event="key-up"), what="the dropped release")
    assert status(remote.host)["connected"] is True


def test_the_shortcut_from_another_program_stops_nothing(ready):
    remote = start_remote(ready)
    for vk in CHORD:
        act(remote.host, f"injected key {vk} down")
    wait_for(lambda: dropped(remote, vk=VK_F12), what="the dropped F12")
    assert status(remote.host)["connected"] is True


# The agent's windows obey only the local user ----------------------------------------

def test_a_remote_click_on_the_pause_button_has_no_effect(ready):
    remote = start_remote(ready)
    x, y = pause_button_centre(remote)
    ok(remote.pointer(x=fraction(x, SCREEN[0]), y=fraction(y, SCREEN[1]), buttons=1))
    ok(remote.pointer(x=fraction(x, SCREEN[0]), y=fraction(y, SCREEN[1]), buttons=0))
    wait_for(lambda: len(dropped(remote)) == 2, what="the dropped press and release")
    assert [line["event"] for line in dropped(remote)] == ["button-down", "button-up"]
    assert status(remote.host)["paused"] is False

    # The local user's click on the same button pauses.
    act(remote.host, f"device click {x} {y}")
    wait_for_status(remote.host, lambda s: s["paused"])


def test_an_injected_yes_does_not_answer_the_consent_box(ready):
    host = ready(desktop={"consent": ["injected-yes"], "consentTimeoutMs": 200})
    response = host.command(Companion().session_start(permissions=("VIEW_SCREEN",)))
    assert response == {**response, "ok": False, "error": REJECTED}
    assert [line["event"] for line in calls(host, "LowLevelInput")] == ["button-down"]
    assert calls(host, "EndDialog") and calls(host, "CreateWindowExW") == []
