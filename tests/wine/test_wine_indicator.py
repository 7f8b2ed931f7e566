"""The indicator window of an active session on a real desktop: what it shows,
its pause button, and every way the local user can end the session (its stop
button, closing it, the emergency shortcut), also when another program holds
the shortcut."""

import ombrelin_native as native
import pytest

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
