"""The life of a session through the simulated desktop: the consent prompt, the
gate's start, refresh, pause and stop, the indicator window with its buttons and
shortcut, and the lease."""

import math
import time
import uuid

import pytest

import ombrelin_native as native
from sessions import (
    LINE_HEIGHT,
    WM_APP_CLOSE,
    WM_APP_PAUSE_STATE,
    Companion,
    act,
    calls,
    lease_seconds,
    local_time_text,
    status,
    wait_for,
    wait_for_call,
    wait_for_status,
    wrapped_lines,
)

pytestmark = pytest.mark.usefixtures("simulated_only")

LOCAL_USER_REJECTED = "The local user rejected the session request."
REFRESH_REUSED = "The session refresh ticket was already used by the companion."
DIFFERENT_GRANT = "Stop the active session before accepting a different requester or grant."
PAUSE_MISMATCH = "The pause request does not match the active session."
STOP_MISMATCH = "The stop request does not match the active session."
SPAWN_FAILED = "The visible session indicator could not start."
START_FAILED = "The visible session indicator or emergency shortcut could not start."
ENUMERATION_FAILED = "Windows display enumeration failed."
NO_PRIMARY = "No Windows primary display is available for bounded input mapping."

CONTROL = ("VIEW_SCREEN", "SEND_POINTER")
VIEW = ("VIEW_SCREEN",)

CONSENT_CAPTION = "Ombrelin Revozad \u2014 Local consent required"
CONSENT_STYLE = 0x00050134  # Yes/No, warning, foreground, topmost, No the default
CONSENT_CLOSING = (
    "Allow this visible session? You can Pause or Stop at any time. "
    "Ctrl+Alt+Shift+F12 is the emergency Stop shortcut."
)
CHILD = 0x50000000
SS_NOPREFIX = 0x80
CW_USEDEFAULT = -(2**31)
WM_SETFONT = 0x30
SW_SHOWNOACTIVATE = 4

ENABLED_TEXTS = ["Pause input", "Remote input enabled"]
PAUSED_TEXTS = ["Resume input", "Remote input PAUSED"]


def connected_status(companion: Companion, permissions, mode: str, paused: bool = False) -> dict:
    return {
        "connected": True,
        "paused": paused,
        "agentVersion": "1.0.0",
        "deviceName": "Front desk PC",
        "activeSessionId": companion.session_id,
        "activeSite": native.SERVICE_WEB_ORIGIN,
        "sessionMode": mode,
        "grantedPermissions": list(permissions),
        "devices": [{"id": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f", "name": "Front desk PC"}],
    }


def indicator_windows(label: str) -> list[dict]:
    """The indicator's CreateWindowExW records, without their handles."""

    def record(cls, text, style, ex_style, x, y, width, height, id_):
        return {"call": "CreateWindowExW", "class": cls, "text": text, "style": style, "exStyle": ex_style,
                "x": x, "y": y, "width": width, "height": height, "id": id_}

    return [
        record("OmbrelinConnectVisibleIndicator", "Ombrelin Revozad \u2014 ACTIVE REMOTE SESSION", 0x10C80000,
               0x00040008, CW_USEDEFAULT, CW_USEDEFAULT, 640, 230, 0),
        record("STATIC", label, CHILD | SS_NOPREFIX, 0, 20, 20, 590, 92, 0),
        record("STATIC", "Remote input enabled", CHILD | SS_NOPREFIX, 0, 20, 120, 250, 28, 0),
        record("BUTTON", "Pause input", CHILD, 0, 300, 116, 140, 36, 1001),
        record("BUTTON", "Stop session", CHILD, 0, 455, 116, 140, 36, 1002),
    ]


class Session:
    """A host with a session started through the consent prompt."""

    def __init__(self, host, companion: Companion, command: dict, response: dict):
        self.host = host
        self.companion = companion
        self.command = command
        self.response = response
        created = calls(host, "CreateWindowExW")
        self.main = created[0]["window"]
        self.status_label = created[2]["window"]
        self.pause_button = created[3]["window"]

    def texts(self) -> list[list]:
        """The indicator's SetWindowTextW calls as [window, text]."""
        return [[line["window"], line["text"]] for line in calls(self.host, "SetWindowTextW")]

    def wait_for_texts(self, count: int) -> list[list]:
        return wait_for(self.texts, what=f"{count} texts", until=lambda texts: len(texts) >= count)

    def shown(self, pair: list[str]) -> list[list]:
        return [[self.pause_button, pair[0]], [self.status_label, pair[1]]]

    def posts(self, msg: int) -> list[dict]:
        return calls(self.host, "PostMessageW", msg=msg)


def start_session(ready, desktop=None, consent=("yes",), **options) -> Session:
    host = ready(desktop=dict(desktop or {}, consent=list(consent)))
    companion = Companion()
    command = companion.session_start(**options)
    response = host.command(command)
    assert response["ok"] is True, response
    return Session(host, companion, command, response)


# Starting -----------------------------------------------------------------------


@pytest.mark.parametrize(
    "permissions, mapping, mode",
    [
        pytest.param(CONTROL, "Simulated Display", "control", id="pointer"),
        pytest.param(("VIEW_SCREEN", "SEND_KEYBOARD"), "Simulated Display", "control", id="keyboard"),
        pytest.param(("VIEW_SCREEN", "RECEIVE_AUDIO"), "No operating-system input", "view", id="view-only"),
    ],
)
def test_accepted_start_asks_once_and_shows_the_indicator(ready, permissions, mapping, mode):
    session = start_session(ready, permissions=permissions, requester_name="  Field Support ")
    host, companion = session.host, session.companion
    expiry = local_time_text(lease_seconds(session.command))
    names = ", ".join(permissions)
    assert session.response["status"] == connected_status(companion, permissions, mode)

    lines = host.journal_lines()
    # The window, the message font, each control given that font, the window
    # shown and seen visible, then the shortcut.
    assert [line["call"] for line in lines] == (
        ["MessageBoxW", "CreateWindowExW", "CreateFontIndirectW"] + ["CreateWindowExW", "SendMessageW"] * 4
        + ["ShowWindow", "IsWindowVisible", "RegisterHotKey"])
    assert lines[0] == {
        "call": "MessageBoxW",
        "text": (
            f"Requester:   Field Support \r\nRequester identity: {companion.fingerprint_text}\r\n"
            f"Permissions: {names}\r\nInput mapping: {mapping}\r\nExpires: {expiry}\r\n\r\n"
            + CONSENT_CLOSING
        ),
        "caption": CONSENT_CAPTION,
        "style": CONSENT_STYLE,
        "result": 6,
    }
    label = (
        f"ACTIVE \u2014 requester:   Field Support \r\nGrants: {names}\r\nExpires: {expiry}\r\n"
        "Emergency Stop: Ctrl+Alt+Shift+F12"
    )
    created = [line for line in lines if line["call"] == "CreateWindowExW"]
    handles = [line.pop("window") for line in created]
    parents = [line.pop("parent") for line in created]
    assert created == indicator_windows(label)
    assert all(handles) and len(set(handles)) == 5
    assert parents == [0] + [handles[0]] * 4
    font = lines[2]["font"]
    assert font != 0
    assert calls(host, "SendMessageW") == [
        {"call": "SendMessageW", "window": control, "msg": WM_SETFONT, "wParam": font, "lParam": 1}
        for control in handles[1:]
    ]
    assert lines[-3:] == [
        {"call": "ShowWindow", "window": handles[0], "cmdShow": SW_SHOWNOACTIVATE, "result": True},
        {"call": "IsWindowVisible", "window": handles[0], "result": True},
        {"call": "RegisterHotKey", "window": handles[0], "id": 1, "modifiers": 0x4007, "vk": 0x7B,
         "result": True},
    ]
    assert status(host) == session.response["status"]


# A browser may start its hosts with a hidden show state: the first window the
# process shows takes it (creating the indicator visible counts as showing it),
# so the indicator shows itself once more and starts only when it is visible.
def test_a_host_started_hidden_still_shows_its_indicator(ready):
    first = start_session(ready, desktop={"startHidden": True}, consent=("yes", "yes"))
    host = first.host
    assert calls(host, "ShowWindow") == [
        {"call": "ShowWindow", "window": first.main, "cmdShow": SW_SHOWNOACTIVATE, "result": False}]
    assert calls(host, "IsWindowVisible") == [{"call": "IsWindowVisible", "window": first.main, "result": True}]
    assert status(host)["connected"] is True

    # The start-up state is spent: the next indicator is visible from its creation.
    assert host.command({"type": "stop"})["status"]["connected"] is False
    second = Companion()
    assert host.command(second.session_start())["status"]["connected"] is True
    second_main = calls(host, "CreateWindowExW")[5]["window"]
    assert calls(host, "ShowWindow")[1:] == [
        {"call": "ShowWindow", "window": second_main, "cmdShow": SW_SHOWNOACTIVATE, "result": True}]


ALL_GRANTABLE = ("VIEW_SCREEN", "RECEIVE_AUDIO", "SEND_POINTER", "SEND_KEYBOARD", "SEND_TOUCH", "SEND_PEN",
                 "READ_CLIPBOARD", "WRITE_CLIPBOARD", "SEND_FILE", "RECEIVE_FILE", "CREATE_VIRTUAL_DISPLAY",
                 "SWITCH_MONITOR", "REQUEST_REBOOT", "LOCAL_RECORDING", "REVERSE_SHARE")
LONGEST_NAME = "Ombrelin-Support-Desk-" + "x" * 106  # 128 bytes, no space to break at


# Every line of the label can be read: a requester name too long for its line is
# cut short with an ellipsis, and the label and the window grow to hold the rest.
def test_the_indicator_label_fits_all_its_lines(ready):
    session = start_session(ready, permissions=ALL_GRANTABLE, requester_name=LONGEST_NAME)
    host = session.host
    expiry = local_time_text(lease_seconds(session.command))
    main, label, status_label, pause_button, stop_button = calls(host, "CreateWindowExW")

    # 84 characters of the simulated font fit the label's 590 pixels.
    shortened = LONGEST_NAME[:63] + "\u2026"
    assert label["text"] == (f"ACTIVE \u2014 requester: {shortened}\r\nGrants: {', '.join(ALL_GRANTABLE)}\r\n"
                             f"Expires: {expiry}\r\nEmergency Stop: Ctrl+Alt+Shift+F12")
    lines = wrapped_lines(label["text"], 590)
    assert len(lines) == 7  # the grants take four
    taller = len(lines) * LINE_HEIGHT - 92
    assert (label["width"], label["height"]) == (590, 92 + taller)
    # The window grew before its controls were placed, each by the same amount.
    assert calls(host, "SetWindowPos") == [
        {"call": "SetWindowPos", "window": main["window"], "x": 0, "y": 0, "width": 640, "height": 230 + taller,
         "flags": 0x16, "result": True}]
    assert [(control["y"], control["height"]) for control in (status_label, pause_button, stop_button)] == [
        (120 + taller, 28), (116 + taller, 36), (116 + taller, 36)]
    assert status(host)["connected"] is True


@pytest.mark.parametrize("offset", [0, 60, -300, 330], ids=["utc", "ahead", "behind", "half-hour"])
def test_the_expiry_is_shown_in_local_time(ready, offset):
    session = start_session(ready, desktop={"utcOffsetMinutes": offset}, requester_name="AT&T Support")
    expiry = local_time_text(lease_seconds(session.command), offset)
    (prompt,) = calls(session.host, "MessageBoxW")
    assert f"\r\nExpires: {expiry}\r\n\r\n" in prompt["text"]
    label = calls(session.host, "CreateWindowExW")[1]
    assert label["text"].startswith("ACTIVE \u2014 requester: AT&T Support\r\n")
    assert f"\r\nExpires: {expiry}\r\n" in label["text"]


@pytest.mark.parametrize("answers, result", [(["no"], 7), (["error"], 0), ([], 7)], ids=["no", "error", "unanswered"])
def test_start_refused_by_the_local_user(ready, answers, result):
    host = ready(desktop={"consent": answers})
    assert host.command(Companion().session_start())["error"] == LOCAL_USER_REJECTED
    assert [(line["call"], line["result"]) for line in host.journal_lines()] == [("MessageBoxW", result)]
    assert status(host)["connected"] is False


# A consent box that nobody answers declines by itself, after its time limit (the
# simulated desktop shortens it), or at once when the page goes away.
def test_an_unanswered_consent_box_expires(ready):
    host = ready(desktop={"consent": ["none"], "consentTimeoutMs": 300})
    began = time.monotonic()
    assert host.command(Companion().session_start())["error"] == LOCAL_USER_REJECTED
    assert time.monotonic() - began >= 0.3
    assert [(line["call"], line["result"]) for line in host.journal_lines()] == [
        ("EndDialog", 7), ("MessageBoxW", 7)]
    assert status(host)["connected"] is False


def test_a_consent_box_closes_when_the_page_goes_away(ready):
    host = ready(desktop={"consent": ["none"]})  # the agent's own limit, a minute
    host.send(native.command_message(host.agent_challenge, Companion().session_start(), native.token()))
    wait_for_call(host, "MessageBoxW") if False else None
    began = time.monotonic()
    host.close_input()
    response = host.receive(timeout=10)
    assert response["error"] == LOCAL_USER_REJECTED
    assert time.monotonic() - began < 10
    assert host.wait_exit() == (0, b"")
    assert [line["call"] for line in host.journal_lines()] == ["EndDialog", "MessageBoxW"]


def test_a_stopped_session_can_be_followed_by_another(ready):
    first = start_session(ready, consent=("yes", "yes"))
    host = first.host
    assert host.command({"type": "stop"})["status"]["connected"] is False
    wait_for_call(host, "DestroyWindow", window=first.main)

    second = Companion()
    assert host.command(second.session_start(permissions=VIEW))["status"] == connected_status(second, VIEW, "view")
    assert len(calls(host, "MessageBoxW")) == 2
    hot_keys = calls(host, "RegisterHotKey")
    assert [line["result"] for line in hot_keys] == [True, True]
    assert hot_keys[1]["window"] not in (0, first.main)


# Refreshing ---------------------------------------------------------------------


def test_refresh_asks_nobody_and_refuses_a_used_ticket(ready):
    session = start_session(ready, consent=("yes", "yes"))
    host, companion = session.host, session.companion
    started = session.response["status"]
    journal = host.journal_lines()

    assert host.command(session.command)["error"] == REFRESH_REUSED
    # A new ticket may rename the requester and move the lease; nothing is shown.
    refresh = companion.session_start(requester_name="Someone Else", lease_s=200)
    assert host.command(refresh)["status"] == started
    assert host.command(refresh)["error"] == REFRESH_REUSED
    assert host.command(companion.session_start(lease_s=30))["status"] == started
    assert host.journal_lines() == journal


OTHER_DEVICE = uuid.uuid4().bytes
OTHER_FINGERPRINT = bytes(range(1, 33))


@pytest.mark.parametrize(
    "changes",
    [
        pytest.param({"session_id": str(uuid.uuid4())}, id="session-id"),
        pytest.param({"requester_device_id": OTHER_DEVICE}, id="requester-device"),
        pytest.param({"requester_fingerprint": OTHER_FINGERPRINT}, id="requester-fingerprint"),
        pytest.param({"permissions": VIEW}, id="fewer-permissions"),
        pytest.param({"permissions": CONTROL + ("SEND_KEYBOARD",)}, id="more-permissions"),
        pytest.param({"display_id": "\\\\.\\DISPLAY1"}, id="display-id"),
    ],
)
def test_refresh_with_a_different_grant_changes_nothing(ready, changes):
    session = start_session(ready, consent=("yes", "yes"))
    host, companion = session.host, session.companion
    journal = host.journal_lines()

    assert host.command(companion.session_start(**changes))["error"] == DIFFERENT_GRANT
    assert status(host) == session.response["status"]
    assert host.journal_lines() == journal
    # The refused grant left the session as it was, so a matching one still refreshes it.
    assert host.command(companion.session_start())["ok"] is True


@pytest.mark.parametrize("pause_by", ["command", "button"])
def test_refresh_keeps_input_paused(ready, pause_by):
    session = start_session(ready)
    host = session.host
    if pause_by == "command":
        assert host.command({"type": "pause", "paused": True})["status"]["paused"] is True
        expected_texts = session.shown(PAUSED_TEXTS)
    else:
        act(host, "pause-button")
        wait_for_status(host, lambda s: s["paused"])
        # The button's own change, then the main loop's echo of it.
        expected_texts = session.shown(PAUSED_TEXTS) * 2
    assert session.wait_for_texts(len(expected_texts)) == expected_texts
    journal = host.journal_lines()

    refreshed = host.command(session.companion.session_start())
    assert refreshed["status"]["paused"] is True
    assert status(host)["paused"] is True
    assert host.journal_lines() == journal  # the indicator still shows the paused state

    resumed = host.command({"type": "pause", "paused": False})["status"]["paused"]
    if pause_by == "button":
        # The page cannot lift the local user's pause; the local user can.
        assert resumed is True
        assert session.posts(WM_APP_PAUSE_STATE)[-1]["wParam"] == 1
        act(host, "pause-button")
        wait_for_status(host, lambda s: not s["paused"])
    else:
        assert resumed is False
    assert session.posts(WM_APP_PAUSE_STATE)[-1]["wParam"] == 0


# Pausing and stopping -----------------------------------------------------------

PAUSE_COMMANDS = [
    pytest.param(lambda session_id, paused: {"type": "pause", "paused": paused}, id="pause"),
    pytest.param(
        lambda session_id, paused: {"type": "session-pause", "sessionId": session_id, "paused": paused},
        id="session-pause",
    ),
]


@pytest.mark.parametrize("make_command", PAUSE_COMMANDS)
def test_pause_commands_set_the_flag_and_tell_the_indicator(ready, make_command):
    session = start_session(ready)
    host = session.host
    # Setting the value the flag already has still tells the indicator.
    sequence = [False, True, True, False]
    for count, paused in enumerate(sequence, start=1):
        response = host.command(make_command(session.companion.session_id, paused))
        assert response["status"]["paused"] is paused
        assert session.posts(WM_APP_PAUSE_STATE)[-1] == {
            "call": "PostMessageW", "window": session.main, "msg": WM_APP_PAUSE_STATE,
            "wParam": int(paused), "lParam": 0, "result": True,
        }
        assert len(session.posts(WM_APP_PAUSE_STATE)) == count
    expected = [pair for paused in sequence for pair in session.shown(PAUSED_TEXTS if paused else ENABLED_TEXTS)]
    assert session.wait_for_texts(len(expected)) == expected


@pytest.mark.parametrize(
    "make_command, error",
    [
        pytest.param(lambda other: {"type": "session-pause", "sessionId": other, "paused": True}, PAUSE_MISMATCH,
                     id="session-pause"),
        pytest.param(lambda other: {"type": "session-stop", "sessionId": other}, STOP_MISMATCH, id="session-stop"),
    ],
)
@pytest.mark.parametrize("other", ["uppercase", "another", "empty"])
def test_commands_naming_another_session_change_nothing(ready, make_command, error, other):
    session = start_session(ready)
    host, session_id = session.host, session.companion.session_id
    named = {"uppercase": session_id.upper(), "another": str(uuid.uuid4()), "empty": ""}[other]
    journal = host.journal_lines()
    assert host.command(make_command(named))["error"] == error
    assert status(host) == session.response["status"]
    assert host.journal_lines() == journal


@pytest.mark.parametrize(
    "make_command",
    [
        pytest.param(lambda session_id: {"type": "stop"}, id="stop"),
        pytest.param(lambda session_id: {"type": "session-stop", "sessionId": session_id}, id="session-stop"),
    ],
)
def test_stop_commands_end_the_session_and_close_the_indicator(ready, make_command):
    session = start_session(ready)
    host = session.host
    assert host.command(make_command(session.companion.session_id))["status"]["connected"] is False
    assert session.posts(WM_APP_CLOSE) == [
        {"call": "PostMessageW", "window": session.main, "msg": WM_APP_CLOSE, "wParam": 0, "lParam": 0,
         "result": True}
    ]
    wait_for_call(host, "DestroyWindow", window=session.main)
    assert calls(host, "UnregisterHotKey") == [{"call": "UnregisterHotKey", "window": session.main, "id": 1}]
    # The indicator's font outlives its window, and no longer.
    font = calls(host, "CreateFontIndirectW")[0]["font"]
    wait_for_call(host, "DeleteObject", font=font)
    closing = [line["call"] for line in host.journal_lines() if line["call"] in ("DestroyWindow", "DeleteObject")]
    assert closing == ["DestroyWindow", "DeleteObject"]
    # With no session left, stopping again posts nothing.
    assert host.command(make_command(session.companion.session_id))["ok"] is True
    assert host.command({"type": "pause", "paused": True})["error"] == "No locally approved session is active."
    assert len(session.posts(WM_APP_CLOSE)) == 1


# The local user at the indicator ------------------------------------------------


def test_pause_button_pauses_and_resumes_input(ready):
    session = start_session(ready)
    host = session.host
    for paused, pair, count in ((True, PAUSED_TEXTS, 1), (False, ENABLED_TEXTS, 2)):
        act(host, "pause-button")
        wait_for_status(host, lambda s: s["paused"] is paused)
        posts = wait_for(lambda: session.posts(WM_APP_PAUSE_STATE), until=lambda posts: len(posts) == count)
        assert posts[-1]["wParam"] == int(paused) and posts[-1]["window"] == session.main
        # The button changes the texts at once; the main loop's echo sets them again.
        assert session.wait_for_texts(4 * count)[-4:] == session.shown(pair) * 2
    assert status(host)["connected"] is True


@pytest.mark.parametrize("action", ["stop-button", "hotkey", "close"])
def test_indicator_stop_ends_the_session(ready, action):
    session = start_session(ready)
    host = session.host
    act(host, action)
    wait_for_status(host, lambda s: not s["connected"])
    assert calls(host, "DestroyWindow") == [{"call": "DestroyWindow", "window": session.main}]
    assert calls(host, "UnregisterHotKey") == [{"call": "UnregisterHotKey", "window": session.main, "id": 1}]
    # The main loop's stop still tells the (by then closed) window, once.
    assert [line["window"] for line in session.posts(WM_APP_CLOSE)] == [session.main]
    assert status(host)["connected"] is False
    assert host.finish() == (0, b"")


def test_end_of_input_stops_the_session_and_exits_cleanly(ready):
    # The indicator closes while the process ends; a host that does not wait for
    # it may fail only now and then, hence the repetitions.
    for _ in range(10):
        session = start_session(ready)
        assert session.host.finish() == (0, b"")
        assert session.posts(WM_APP_CLOSE) == [
            {"call": "PostMessageW", "window": session.main, "msg": WM_APP_CLOSE, "wParam": 0, "lParam": 0,
             "result": True}
        ]
        assert session.host.stderr == b""


# The lease ----------------------------------------------------------------------


@pytest.mark.parametrize("leased_by", ["start", "refresh"])
def test_lease_expiry_stops_an_idle_session(ready, leased_by):
    # A lease one to two seconds ahead, on a whole second.
    lease_s = math.ceil(time.time() + 1.2)
    if leased_by == "start":
        session = start_session(ready, lease_expires_at_ms=lease_s * 1000)
    else:
        session = start_session(ready)
        short = session.companion.session_start(lease_expires_at_ms=lease_s * 1000)
        assert session.host.command(short)["ok"] is True
    host = session.host

    # No traffic: only the main loop's own pass can notice the lease.
    posts = wait_for(lambda: session.posts(WM_APP_CLOSE), limit_s=4.0, what="the lease stop")
    noticed = time.time()
    assert lease_s <= noticed <= lease_s + 1.0
    assert posts[0]["window"] == session.main and posts[0]["result"] is True
    assert status(host)["connected"] is False
    wait_for_call(host, "DestroyWindow", window=session.main)


# Indicator start-up failures ----------------------------------------------------

CREATED = "CreateWindowExW"
FAILED = "CreateWindowExW:0"
FONT = "CreateFontIndirectW"
SET_FONT = "SendMessageW"
# A control created and given the font.
CONTROL_CREATED = [CREATED, SET_FONT]
SHOWN = ["ShowWindow", "IsWindowVisible"]
# The window goes, then its font.
CLOSED = ["UnregisterHotKey", "DestroyWindow", "DeleteObject"]
STARTED = [CREATED, FONT] + CONTROL_CREATED * 4 + SHOWN + ["RegisterHotKey"]


def call_names(host) -> list[str]:
    return [
        FAILED if line["call"] == "CreateWindowExW" and line["window"] == 0
        else "RegisterHotKey:false" if line["call"] == "RegisterHotKey" and not line["result"]
        else line["call"]
        for line in host.journal_lines()
    ]


@pytest.mark.parametrize(
    "desktop, error, after_consent",
    [
        pytest.param({"indicatorFails": "thread"}, SPAWN_FAILED, [], id="thread"),
        pytest.param({"indicatorFails": "module"}, START_FAILED, [], id="module"),
        pytest.param({"indicatorFails": "cursor"}, START_FAILED, [], id="cursor"),
        pytest.param({"indicatorFails": "class"}, START_FAILED, [], id="class"),
        pytest.param({"indicatorFails": "main-window"}, START_FAILED, [FAILED], id="main-window"),
        pytest.param({"indicatorFails": "label"}, START_FAILED, [CREATED, FONT, FAILED] + CLOSED, id="label"),
        # Every control after the label is attempted before the start counts as failed.
        pytest.param({"indicatorFails": "status-label"}, START_FAILED,
                     [CREATED, FONT] + CONTROL_CREATED + [FAILED] + CONTROL_CREATED * 2 + CLOSED,
                     id="status-label"),
        pytest.param({"indicatorFails": "pause-button"}, START_FAILED,
                     [CREATED, FONT] + CONTROL_CREATED * 2 + [FAILED] + CONTROL_CREATED + CLOSED,
                     id="pause-button"),
        pytest.param({"indicatorFails": "stop-button"}, START_FAILED,
                     [CREATED, FONT] + CONTROL_CREATED * 3 + [FAILED] + CLOSED, id="stop-button"),
        pytest.param({"hotkeyTaken": True}, START_FAILED, STARTED[:-1] + ["RegisterHotKey:false"] + CLOSED,
                     id="hotkey-taken"),
    ],
)
def test_indicator_that_cannot_start_leaves_no_session(ready, desktop, error, after_consent):
    host = ready(desktop=dict(desktop, consent=["yes"]))
    assert host.command(Companion().session_start())["error"] == error
    expected = ["MessageBoxW"] + after_consent
    assert wait_for(lambda: call_names(host), until=lambda names: len(names) >= len(expected)) == expected
    if "DestroyWindow" in expected:
        assert calls(host, "DestroyWindow")[0]["window"] == calls(host, "CreateWindowExW")[0]["window"]
    assert status(host)["connected"] is False
    assert call_names(host) == expected  # nothing posted, nothing more created
    assert host.finish() == (0, b"")


def test_indicator_reporting_too_late_closes_its_own_window(ready):
    host = ready(desktop={"consent": ["yes"], "indicatorStartDelayMs": 6000})
    began = time.monotonic()
    assert host.command(Companion().session_start())["error"] == START_FAILED
    assert 4.9 <= time.monotonic() - began < 5.9
    assert call_names(host) == ["MessageBoxW"]

    wait_for_call(host, "DeleteObject", limit_s=2.0)
    assert call_names(host) == ["MessageBoxW"] + STARTED + CLOSED
    assert calls(host, "DestroyWindow")[0]["window"] == calls(host, "CreateWindowExW")[0]["window"]
    assert status(host)["connected"] is False
    assert host.finish() == (0, b"")


# Displays -----------------------------------------------------------------------

OFFICE = {
    "device": "\\\\.\\DISPLAY1",
    "friendlyName": "Office Display",
    "left": 0,
    "top": 0,
    "width": 1920,
    "height": 1080,
    "orientation": 0,
    "frequency": 60,
    "scale": 100,
    "primary": True,
}


def monitor(**changes) -> dict:
    return dict(OFFICE, **changes)


SIDE = monitor(device="\\\\.\\DISPLAY2", friendlyName="Side Display", left=1920, primary=False)


@pytest.mark.parametrize(
    "desktop, permissions, error",
    [
        pytest.param({"enumFails": True}, CONTROL, ENUMERATION_FAILED, id="enumeration-fails"),
        pytest.param({"enumFails": True}, VIEW, ENUMERATION_FAILED, id="enumeration-fails-view-only"),
        pytest.param({"monitors": []}, CONTROL, NO_PRIMARY, id="no-monitor"),
        pytest.param({"monitors": [SIDE]}, CONTROL, NO_PRIMARY, id="no-primary"),
        pytest.param({"monitors": [SIDE]}, VIEW, NO_PRIMARY, id="no-primary-view-only"),
        pytest.param({"monitors": [monitor(width=16384, height=2049)]}, CONTROL, ENUMERATION_FAILED, id="16384x2049"),
        pytest.param({"monitors": [monitor(width=16385, height=1)]}, CONTROL, ENUMERATION_FAILED, id="16385-wide"),
        pytest.param({"monitors": [monitor(width=0)]}, CONTROL, ENUMERATION_FAILED, id="empty-mode"),
        pytest.param({"monitors": [monitor(scale=0)]}, CONTROL, ENUMERATION_FAILED, id="scale-0"),
        pytest.param({"monitors": [monitor(scale=1001)]}, CONTROL, ENUMERATION_FAILED, id="scale-1001"),
        pytest.param({"monitors": [monitor(), dict(SIDE, fails="monitorInfoEx")]}, CONTROL, ENUMERATION_FAILED,
                     id="secondary-fails"),
        pytest.param({"monitors": [monitor(fails="displaySettings")]}, VIEW, ENUMERATION_FAILED,
                     id="primary-settings-fail"),
    ],
)
def test_display_problems_refuse_the_start_before_the_prompt(ready, desktop, permissions, error):
    host = ready(desktop=dict(desktop, consent=["yes"]))
    assert host.command(Companion().session_start(permissions=permissions))["error"] == error
    assert host.journal_lines() == []
    assert status(host)["connected"] is False


@pytest.mark.parametrize(
    "desktop, mapping",
    [
        pytest.param({"monitors": [monitor()]}, "Office Display", id="friendly-name"),
        pytest.param({"monitors": [monitor(friendlyName=None)]}, "\\\\.\\DISPLAY1", id="no-friendly-name"),
        pytest.param({"monitors": [monitor()], "displayConfigFails": True}, "\\\\.\\DISPLAY1",
                     id="display-config-fails"),
        pytest.param({"monitors": [SIDE, monitor(left=-1920)]}, "Office Display", id="primary-second"),
        pytest.param({"monitors": [monitor(friendlyName="Left"), dict(SIDE, primary=True)]}, "Left",
                     id="first-of-two-primaries"),
        pytest.param({"monitors": [monitor(width=16384, height=2048, scale=1000)]}, "Office Display",
                     id="largest-mode"),
    ],
)
def test_consent_names_the_primary_display(ready, desktop, mapping):
    session = start_session(ready, desktop=desktop)
    (prompt,) = calls(session.host, "MessageBoxW")
    assert f"\r\nInput mapping: {mapping}\r\nExpires: " in prompt["text"]
    assert session.response["status"]["connected"] is True
