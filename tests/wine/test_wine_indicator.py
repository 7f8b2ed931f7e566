"""The indicator window of an active session on a real desktop: what it shows,
its pause button, and every way the local user can end the session (its stop
button, closing it, the emergency shortcut), also when another program holds
the shortcut; the indicator of a host started hidden, as browsers start them;
and what a person sees of the longest label, read back from the screen."""

import ombrelin_native as native
import pytest

import wine_desktop as wd
import x_screen
from agent_sessions import (
    CONTROL,
    ENABLED_TEXTS,
    INDICATOR_CLASS,
    INDICATOR_START_FAILED,
    INDICATOR_TITLE,
    PAUSED_TEXTS,
    connected_status,
    idle_status,
    indicator_label,
    issuer,
    pause_texts,
    request_session,
    start_session,
    status,
    wait_for_status,
)

WS_VISIBLE = 0x10000000
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_THICKFRAME = 0x00040000
SS_NOPREFIX = 0x80


def control(cls, text, id_, x, y, width, height):
    return {"class": cls, "id": id_, "text": text, "x": x, "y": y, "width": width, "height": height,
            "visible": True, "defaultButton": False}


def test_indicator_shows_the_session_and_follows_pause(ready, user):
    host = ready()
    request = start_session(host, user, issuer(), permissions=CONTROL)

    window = user.indicator()
    assert (window["class"], window["caption"]) == (INDICATOR_CLASS, INDICATOR_TITLE)
    assert window["topmost"] is True
    style = window["style"]
    assert style & (WS_VISIBLE | WS_CAPTION | WS_SYSMENU) == WS_VISIBLE | WS_CAPTION | WS_SYSMENU
    assert style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME) == 0
    assert (window["width"], window["height"]) == (640, 230)
    assert window["controls"] == [
        control("Static", indicator_label(request.command), 0, 20, 20, 590, 92),
        control("Static", ENABLED_TEXTS[1], 0, 20, 120, 250, 28),
        control("Button", ENABLED_TEXTS[0], 1001, 300, 116, 140, 36),
        control("Button", "Stop session", 1002, 455, 116, 140, 36),
    ]

    # The button changes the texts at once, and the session's flag on the
    # main loop's next pass.
    for texts, paused in ((PAUSED_TEXTS, True), (ENABLED_TEXTS, False)):
        user.run("click-pause")
        assert pause_texts(user.indicator()) == texts
        wait_for_status(host, lambda current, paused=paused: current["paused"] is paused)

    # The page's pause reaches the indicator by a posted message.
    for texts, paused in ((PAUSED_TEXTS, True), (ENABLED_TEXTS, False)):
        response = host.command({"type": "pause", "paused": paused})
        assert response["status"] == connected_status(request.command, "control", paused=paused)
        native.wait_for(lambda texts=texts: pause_texts(user.indicator()) == texts, 5.0,
                        f"indicator texts {texts}", interval_s=0.05)


LOCAL_STOPS = [
    pytest.param("click-stop", id="stop-button"),
    pytest.param("close-box", id="close-box"),
    pytest.param("close-indicator", id="wm-close"),
]
# The emergency shortcut is typed on the X server's keyboard, as a person would
# (test_wine_user_in_control.py): the helper's SendInput is injected input, which never
# stops a session.


@pytest.mark.parametrize("act", LOCAL_STOPS)
def test_the_local_user_ends_the_session(ready, user, act):
    host = ready()
    start_session(host, user, issuer())

    user.run(act)
    assert user.indicator_gone(), "the indicator stayed after the local user ended the session"
    assert wait_for_status(host, lambda current: not current["connected"]) == idle_status()

    # Everything the first session held is free again (its window class and
    # its shortcut), and the page's stop closes the next indicator.
    start_session(host, user, issuer())
    user.indicator()
    assert host.command({"type": "stop"})["status"] == idle_status()
    assert user.indicator_gone(), "the indicator stayed after the page stopped the session"


def test_a_shortcut_held_by_another_program_fails_the_start(ready, user):
    host = ready()
    holder = user.start("hold-hotkey")
    assert holder.first_line.get("held") is True, holder.first_line

    refused = request_session(host, user, issuer())
    assert refused.response.get("error") == INDICATOR_START_FAILED, refused.response
    assert status(host) == idle_status()
    assert user.indicator_gone(), "the indicator of a failed start stayed"

    assert holder.finish() == 0
    start_session(host, user, issuer())
    user.indicator()


def test_the_end_of_input_ends_the_session_and_its_indicator(ready, user):
    host = ready()
    start_session(host, user, issuer())
    user.indicator()
    assert host.finish() == (0, b"")
    assert user.indicator_gone(), "the indicator outlived the host's input"


@pytest.fixture
def ready_hidden(wine_session, user):
    """Hosts started as a browser starts them, with the hidden show state in
    their start-up information, past their handshake."""
    hosts = native.StartedHosts(wine_session.hidden_host_binary())

    def ready_host(**kwargs):
        host = hosts.start(**kwargs)
        host.handshake()
        return host

    yield ready_host
    hosts.close_all()


# On Windows the first window a process shows takes the start-up show state,
# and the indicator shows itself again. Wine does not apply that state (see the
# README), so here the test shows that such a host still starts a session whose
# indicator can be seen.
def test_a_host_started_hidden_shows_its_indicator(ready_hidden, user):
    host = ready_hidden()
    start_session(host, user, issuer())
    window = user.indicator()  # the helper waits for a visible indicator
    assert window["style"] & WS_VISIBLE
    assert host.command({"type": "stop"})["status"] == idle_status()
    assert user.indicator_gone(), "the indicator stayed after the page stopped the session"


ALL_GRANTABLE = ("VIEW_SCREEN", "RECEIVE_AUDIO", "SEND_POINTER", "SEND_KEYBOARD", "SEND_TOUCH", "SEND_PEN",
                 "READ_CLIPBOARD", "WRITE_CLIPBOARD", "SEND_FILE", "RECEIVE_FILE", "CREATE_VIRTUAL_DISPLAY",
                 "SWITCH_MONITOR", "REQUEST_REBOOT", "LOCAL_RECORDING", "REVERSE_SHARE")
# 128 bytes and no space to break at; "&" is shown as typed. (Wine draws some
# letters wider than it measures them, "W" at 17 pixels for one: see the
# README's Wine notes. These letters it draws as measured.)
LONGEST_NAME = "AT&T-Field-Support-" + "x" * 109
REQUESTER_LEAD = "ACTIVE \u2014 requester: "


def inside(inner: dict, outer: dict) -> bool:
    return (outer["left"] <= inner["left"] and inner["right"] <= outer["right"]
            and outer["top"] <= inner["top"] and inner["bottom"] <= outer["bottom"])


@pytest.fixture(params=[
    pytest.param({}, id="100-percent"),
    pytest.param({"log_pixels": 144}, id="150-percent"),
    # A message font of 20 pixels needs a taller label than the design's.
    pytest.param({"message_font_height": -20}, id="large-message-font"),
])
def desktop_look(request, wine_session):
    """The screen's scale and the system's message font, for a Wine session of
    their own; the name of the look."""
    with wine_session.session_with(**request.param):
        yield request.node.callspec.id


# What a person sees of the widest and tallest label the agent can show: every
# one of its lines, in the message font, on the button-face background.
def test_every_line_of_a_long_label_can_be_read(desktop_look, ready, user, wine_session):
    host = ready()
    request = start_session(host, user, issuer(), permissions=ALL_GRANTABLE, requester_name=LONGEST_NAME)
    layout = user.run("indicator-layout")
    assert layout["visible"] is True
    label, status_label, *buttons = layout["controls"]
    rect, client = label["rect"], layout["client"]

    # The name is cut short with an ellipsis; the other lines are whole.
    lines = label["text"].split("\r\n")
    assert lines[0].startswith(REQUESTER_LEAD) and lines[0].endswith("\u2026"), lines[0]
    shown_name = lines[0][len(REQUESTER_LEAD):-1]
    assert len(shown_name) >= 10 and LONGEST_NAME.startswith(shown_name)
    assert lines[1:] == indicator_label(request.command).split("\r\n")[1:]
    assert label["style"] & SS_NOPREFIX and status_label["style"] & SS_NOPREFIX

    # In the message font the text fits the label, the label the window, and
    # the controls below it do too.
    assert label["neededWidth"] <= rect["right"] - rect["left"], label
    assert label["neededHeight"] <= rect["bottom"] - rect["top"], label
    for control in layout["controls"]:
        assert inside(control["rect"], client), (control, client)
    for control in [status_label] + buttons:
        assert control["rect"]["top"] >= rect["bottom"], control

    window = layout["window"]
    shot = x_screen.capture(wine_session.env["DISPLAY"], window["left"], window["top"],
                            window["right"] - window["left"], window["bottom"] - window["top"])
    screenshot = wd.PREFIX.parent / f"indicator-legible-{desktop_look}.png"
    shot.write_png(screenshot)
    face = tuple(layout["buttonFace"][c] for c in ("red", "green", "blue"))
    # The client area is painted: its margin left of the label is button face.
    margin = [shot.pixel(x, y) for x in range(client["left"], rect["left"])
              for y in range(client["top"], client["bottom"])]
    assert margin and all(pixel == face for pixel in margin), f"unpainted client area (see {screenshot})"

    # Text on button face, one line of the font after the other down to the
    # last, and nothing below it.
    def ink(top: int, bottom: int) -> bool:
        return any(shot.pixel(x, y) != face for y in range(top, bottom) for x in range(rect["left"], rect["right"]))

    line_height = layout["lineHeight"]
    count = label["neededHeight"] // line_height
    assert count >= 4
    for line in range(count):
        top = rect["top"] + line * line_height
        assert ink(top, top + line_height), f"line {line + 1} of {count} shows nothing (see {screenshot})"
    assert not ink(rect["top"] + count * line_height, rect["bottom"]), f"text below the last line (see {screenshot})"
    # Nothing is cut off at the label's right edge: the ellipsis ends the first line.
    edge = rect["right"] - 1
    assert all(shot.pixel(edge, y) == face for y in range(rect["top"], rect["bottom"])), \
        f"a line runs past the label (see {screenshot})"
