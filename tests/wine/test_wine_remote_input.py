"""Remote input landing on the desktop: pointer positions on the screen's pixels
(also with the screen scaled to 150 %), a click and typing into another
program's window, and nothing left held down once the session ends or pauses."""

from __future__ import annotations

import time

import pytest

import ombrelin_native as native

from agent_sessions import issuer, start_session, wait_for_status
from wine_desktop import SCREEN_HEIGHT, SCREEN_WIDTH

INPUT = ("VIEW_SCREEN", "SEND_POINTER", "SEND_KEYBOARD")
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"

# The control message's modifier bits.
ALT, SHIFT = 1, 8
LEFT_BUTTON = 1
# How long remote input waits after the local user's last input.
HOLD_BACK_S = 2.1

VK_LBUTTON, VK_SHIFT, VK_LSHIFT = 0x01, 0x10, 0xA0
VK_MENU, VK_LMENU, VK_RMENU = 0x12, 0xA4, 0xA5


class RemoteParty:
    """The page's side of one session: control messages with rising "seq"."""

    def __init__(self, host, session_id: str):
        self.host = host
        self.session_id = session_id
        self.seq = 0

    def send(self, message: dict) -> dict:
        control = {"type": message.pop("type"), "v": 1, "seq": self.seq, **message}
        self.seq += 1
        response = self.host.command({"type": "control", "sessionId": self.session_id, "control": control})
        assert response["ok"] is True, (control, response)
        return response

    def pointer(self, x: float, y: float, buttons: int = 0):
        self.send({"type": "pointer", "x": x, "y": y, "buttons": buttons})

    def key(self, code: str, down: bool, modifiers: int = 0):
        self.send({"type": "key-transition", "code": code, "down": down, "modifiers": modifiers})

    def type_keys(self, keys):
        """Presses and releases each (code, modifiers) in turn."""
        for code, modifiers in keys:
            self.key(code, True, modifiers)
            self.key(code, False, modifiers)


def remote_session(host, user) -> RemoteParty:
    request = start_session(host, user, issuer(), permissions=INPUT)
    return RemoteParty(host, request.command["sessionId"])


class Editor:
    """The helper's window with two text fields, the first one focused.

    Wine lets go of every key pressed only with SendInput when one of its
    windows gets the X input focus or the pointer enters it (X reports the
    keyboard as it knows it then, and knows nothing of those keys). So keys
    are held only after such events have been handled: the helper reports
    ready once its own focus has settled, and `read` is a round trip through
    the window's thread, which handles the X events waiting for it first.
    """

    def __init__(self, user):
        user.indicator()  # a round trip through the indicator's thread, likewise
        self.helper = user.start("edit-window")
        self.fields = self.helper.first_line["edits"]

    def read(self) -> dict:
        self.helper.send_line("text")
        return self.helper.read_line()


def centre(field: dict) -> tuple[float, float]:
    """The position that lands on the middle of a field given in pixels."""
    return (fraction((field["left"] + field["right"]) // 2, SCREEN_WIDTH),
            fraction((field["top"] + field["bottom"]) // 2, SCREEN_HEIGHT))


def fraction(pixel: int, size: int) -> float:
    """The position that lands on this pixel: the last pixel is 1."""
    return pixel / (size - 1)


@pytest.fixture(params=[96, 144], ids=["100%", "150%"])
def screen_dpi(request, wine_session):
    """The screen's scale for a whole Wine session. A scale other than 100 %
    gets a session of its own, and the one after the test runs at the scale
    the prefix had before."""
    dpi = request.param
    if dpi == 96:
        yield dpi
        return
    previous = wine_session.registry_dword(DESKTOP_KEY, "LogPixels")
    wine_session.set_registry_dword(DESKTOP_KEY, "LogPixels", dpi)
    try:
        wine_session.restart()
        yield dpi
    finally:
        wine_session.set_registry_dword(DESKTOP_KEY, "LogPixels", previous)
        wine_session.restart()


def test_pointer_positions_land_on_the_screen_pixels(screen_dpi, ready, user):
    host = ready()
    remote = remote_session(host, user)
    start = user.run("cursor")
    assert (start["dpi"], start["screenWidth"], start["screenHeight"]) == (screen_dpi, SCREEN_WIDTH, SCREEN_HEIGHT)

    # From the first column and row to the last; 959.5 and 539.5 round up.
    for (x, y), pixel in [((0, 0), (0, 0)), ((1, 1), (1919, 1079)), ((0.5, 0.5), (960, 540)),
                          ((0.25, 0.75), (480, 809))]:
        remote.pointer(x, y)
        # Windows moves the pointer once the low-level hooks (the agent's own
        # among them) have seen the move, a moment after SendInput returned.
        cursor = {}
        deadline = time.monotonic() + 2.0
        while (cursor.get("x"), cursor.get("y")) != pixel and time.monotonic() < deadline:
            cursor = user.run("cursor")
        assert (cursor["x"], cursor["y"]) == pixel, (x, y)


def test_a_click_and_typing_reach_the_window_clicked(ready, user):
    host = ready()
    remote = remote_session(host, user)
    editor = Editor(user)
    x, y = centre(editor.fields[1])

    # The first field has the focus; the click moves it to the second.
    remote.pointer(x, y)
    editor.read()
    remote.pointer(x, y, LEFT_BUTTON)
    remote.pointer(x, y)
    remote.type_keys([("KeyH", SHIFT), ("KeyE", 0), ("KeyL", 0), ("KeyL", 0), ("KeyO", 0), ("Space", 0),
                      ("KeyW", SHIFT), ("KeyI", 0), ("KeyN", 0), ("KeyE", 0), ("Digit8", 0)])

    shown = editor.read()
    assert (shown["texts"], shown["focused"]) == (["", "Hello Wine8"], 1)
    assert user.run("held-input")["down"] == []


def end_by_stop_command(host, user):
    assert host.command({"type": "stop"})["status"]["connected"] is False


def end_by_pause_button(host, user):
    user.run("click-pause")
    wait_for_status(host, lambda current: current["paused"])


def end_by_end_of_input(host, user):
    assert host.finish() == (0, b"")


@pytest.mark.parametrize("end", [
    pytest.param(end_by_stop_command, id="stop-command"),
    pytest.param(end_by_pause_button, id="pause-button"),
    pytest.param(end_by_end_of_input, id="end-of-input"),
])
def test_nothing_stays_held_after_the_session_stops_or_pauses(ready, user, end):
    host = ready()
    remote = remote_session(host, user)
    # A drag in a text field with Shift and A held.
    editor = Editor(user)
    remote.pointer(*centre(editor.fields[0]), LEFT_BUTTON)
    editor.read()
    remote.key("ShiftLeft", True, SHIFT)
    remote.key("KeyA", True, SHIFT)
    assert set(user.run("held-input")["down"]) >= {VK_LBUTTON, VK_SHIFT, VK_LSHIFT, ord("A")}

    end(host, user)
    assert user.run("held-input")["down"] == []


# Right Alt is a key of its own, and stays down while a key is typed with it:
# released in between, it would be a lone Alt tap and the key would arrive bare.
def test_right_alt_stays_down_while_a_key_is_typed_with_it(ready, user):
    host = ready()
    remote = remote_session(host, user)
    editor = Editor(user)
    remote.key("AltRight", True, ALT)
    down = set(user.run("held-input")["down"])
    assert VK_RMENU in down and VK_LMENU not in down, down
    # Which keys are down once Q went down with it cannot be read back here: Wine
    # reports a pointer entry into the editor as the local user's mouse moving
    # soon after, through the agent's low-level hook, and lets go of every key
    # then. What the person sees is the proof: no bare "q".
    remote.key("KeyQ", True, ALT)
    remote.key("KeyQ", False, ALT)
    remote.key("AltRight", False, 0)
    native.wait_for(lambda: user.run("held-input")["down"] == [], 5.0, "nothing held", interval_s=0.05)
    time.sleep(HOLD_BACK_S)
    # Alt+Q typed no "q" into the focused field; the next key is typed as usual.
    remote.type_keys([("KeyW", 0)])
    assert editor.read()["texts"] == ["w", ""]
