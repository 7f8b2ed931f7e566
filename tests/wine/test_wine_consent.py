"""The handshake on a real desktop, and the consent box as the local user sees it:
its text (with the display that remote input would land on), its buttons, and
what Yes and No do."""

import pytest

from agent_sessions import (
    CONSENT_CAPTION,
    CONTROL,
    INDICATOR_CLASS,
    KEYBOARD,
    LOCAL_USER_REJECTED,
    NO_OS_INPUT,
    VIEW,
    connected_status,
    consent_text,
    idle_status,
    indicator_label,
    issuer,
    request_session,
    status,
)
from wine_desktop import SCREEN_HEIGHT, SCREEN_WIDTH


def test_handshake_and_status(start):
    host = start()
    challenge = host.handshake()
    assert len(challenge) == 32 and set(challenge) <= set("0123456789abcdef")
    assert status(host) == idle_status()
    assert host.command({"type": "diagnostics"})["status"] == idle_status()
    assert host.finish() == (0, b"")


@pytest.fixture
def primary_display_name(user) -> str:
    """The name Windows gives the one display of the screen: the monitor's
    friendly name from the display configuration, else its device name."""
    displays = user.displays()
    geometry = [(d["left"], d["top"], d["right"], d["bottom"], d["modeWidth"], d["modeHeight"], d["primary"])
                for d in displays]
    assert geometry == [(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH, SCREEN_HEIGHT, True)], displays
    return displays[0]["friendlyName"] or displays[0]["device"]


@pytest.mark.parametrize(
    "permissions, gets_input, mode",
    [
        pytest.param(CONTROL, True, "control", id="pointer"),
        pytest.param(KEYBOARD, True, "control", id="keyboard"),
        pytest.param(VIEW, False, "view", id="view-only"),
    ],
)
def test_yes_in_the_consent_box_starts_the_session(ready, user, primary_display_name, permissions, gets_input,
                                                    mode):
    host = ready()
    signer = issuer()
    user.start("edit-window")  # another program has the foreground
    # Spaces at both ends are shown as they are; the name is not ASCII.
    request = request_session(host, user, signer, permissions=permissions,
                              requester_name="  Zo\u00eb Sch\u00e4fer \u2014 Support ")

    box = request.consent["window"]
    assert (box["class"], box["caption"]) == ("#32770", CONSENT_CAPTION)
    assert box["foreground"] is True
    mapping = primary_display_name if gets_input else NO_OS_INPUT
    assert request.consent["text"] == consent_text(request.command, signer.fingerprint_text, mapping)
    # Yes and No, and No is the default button: a stray Enter declines.
    buttons = [(c["id"], c["text"].replace("&", ""), c["defaultButton"])
               for c in box["controls"] if c["class"].lower() == "button"]
    assert sorted(buttons) == [(6, "Yes", False), (7, "No", True)]

    assert request.response["status"] == connected_status(request.command, mode)
    indicator = user.indicator()
    assert indicator["class"] == INDICATOR_CLASS
    assert indicator["controls"][0]["text"] == indicator_label(request.command)
    assert status(host) == request.response["status"]


def test_no_in_the_consent_box_refuses_the_session(ready, user):
    host = ready()
    request = request_session(host, user, issuer(), answer="no")
    assert request.response["ok"] is False
    assert request.response["error"] == LOCAL_USER_REJECTED
    assert status(host) == idle_status()
    code, _ = user.attempt("indicator-texts", wait_ms=300)
    assert code == 1, "an indicator appeared for a refused session"
