"""The host as a real browser starts it: Chromium launches it for the test
extension's connectNative, with the caller origin on the command line, and the
extension's page speaks to it through the browser's port."""

import re

import pytest

import browser_harness as harness
import ombrelin_native as native
import ombrelin_tickets as tickets

WM_APP_CLOSE = 0x8002
PERMISSIONS = ["VIEW_SCREEN", "SEND_POINTER", "SEND_KEYBOARD"]

def idle_status(config: dict) -> dict:
    return {
        "connected": False,
        "paused": False,
        "agentVersion": "1.0.0",
        "deviceName": harness.DEVICE_NAME,
        "activeSessionId": None,
        "activeSite": None,
        "sessionMode": None,
        "grantedPermissions": [],
        "devices": [{"id": config["targetDeviceId"], "name": harness.DEVICE_NAME}],
    }


def session_status(config: dict, session_id: str) -> dict:
    return dict(
        idle_status(config),
        connected=True,
        activeSessionId=session_id,
        activeSite=native.SERVICE_WEB_ORIGIN,
        sessionMode="control",
        grantedPermissions=PERMISSIONS,
    )


def mouse(flags: int, dx: int = 0, dy: int = 0) -> dict:
    return {"call": "SendInput", "type": "mouse", "dx": dx, "dy": dy, "mouseData": 0, "flags": flags,
            "time": 0, "extraInfo": 100, "inserted": 1}


def key(vk: int, scan: int, flags: int) -> dict:
    return {"call": "SendInput", "type": "keyboard", "vk": vk, "scan": scan, "flags": flags, "time": 0,
            "extraInfo": 100, "inserted": 1}


def response(request_id: str, **members) -> dict:
    return {"v": 1, "type": "response", "requestId": request_id, **members}


def connect(browser, page) -> harness.HostRun:
    """Opens the page's port; returns the host run the browser started for it."""
    before = browser.install.run_names()
    assert page.call("open") is True
    return browser.install.wait_new_run(before)


def start_session(browser, page) -> tuple[tickets.TicketIssuer, harness.HostRun]:
    run = connect(browser, page)
    page.handshake()
    issuer = tickets.TicketIssuer(browser.install.config)
    request_id, answer = page.command(issuer.session_start(permissions=PERMISSIONS))
    assert answer == response(request_id, ok=True, status=session_status(browser.install.config,
                                                                         issuer.session_id))
    return issuer, run


def test_allowed_extension_runs_a_session_through_the_browser(browser, open_page):
    allowed = browser.extensions["allowed"]
    config = browser.install.config
    page = open_page("allowed")
    # Chromium derived the same id from the manifest's key as the configuration holds.
    assert page.call("extensionId") == allowed.id

    run = connect(browser, page)
    exchange = page.handshake()
    assert run.args == [allowed.origin]
    hello = exchange["hello"]
    assert hello["extensionOrigin"] + "/" == allowed.origin
    ack = exchange["helloAck"]
    assert ack == {"v": 1, "type": "hello-ack", "requestId": hello["requestId"],
                   "extensionChallenge": hello["extensionChallenge"],
                   "agentChallenge": ack["agentChallenge"], "origin": native.SERVICE_WEB_ORIGIN}
    assert re.fullmatch("[0-9a-f]{32}", ack["agentChallenge"])
    assert exchange["ready"] == {"v": 1, "type": "ready", "requestId": hello["requestId"],
                                 "agentChallenge": ack["agentChallenge"]}

    request_id, answer = page.command({"type": "status"})
    assert answer == response(request_id, ok=True, status=idle_status(config))

    issuer = tickets.TicketIssuer(config)
    request_id, answer = page.command(issuer.session_start(permissions=PERMISSIONS))
    assert answer == response(request_id, ok=True, status=session_status(config, issuer.session_id))
    journal = run.journal()
    assert [line["call"] for line in journal if line["call"] in ("MessageBoxW", "CreateWindowExW", "RegisterHotKey")] \
        == ["MessageBoxW"] + ["CreateWindowExW"] * 5 + ["RegisterHotKey"]
    assert {"call": "IsWindowVisible", "window": journal[1]["window"], "result": True} in journal
    assert journal[0]["result"] == 6  # the simulated local user said Yes
    indicator = journal[1]["window"]

    controls = [
        {"type": "pointer", "v": 1, "seq": 1, "x": 0.5, "y": 0.25, "buttons": 1},
        {"type": "pointer", "v": 1, "seq": 2, "x": 1, "y": 1, "buttons": 0},
        {"type": "key-transition", "v": 1, "seq": 3, "code": "KeyA", "down": True, "modifiers": 2},
        {"type": "key-transition", "v": 1, "seq": 4, "code": "KeyA", "down": False, "modifiers": 2},
    ]
    for control in controls:
        request_id, answer = page.command({"type": "control", "sessionId": issuer.session_id,
                                           "control": control})
        assert answer == response(request_id, ok=True, status=session_status(config, issuer.session_id))
    # 1920 x 1080: (0.5, 0.25) is pixel (960, 270), (1, 1) the last one.
    assert run.calls("SendInput") == [
        mouse(0x8001, dx=32785, dy=16399),
        mouse(0x0002),
        mouse(0x8001, dx=65535, dy=65535),
        mouse(0x0004),
        key(0xA2, 0x1D, 0),  # Control, from the modifier set, before the key
        key(0x41, 0x1E, 0),
        key(0x41, 0x1E, 2),
    ]

    request_id, answer = page.command({"type": "stop"})
    assert answer == response(request_id, ok=True, status=idle_status(config))
    assert run.calls("PostMessageW") == [{"call": "PostMessageW", "window": indicator, "msg": WM_APP_CLOSE,
                                          "wParam": 0, "lParam": 0, "result": True}]
    # Stopping let go of the Control key the remote party still held.
    assert run.calls("SendInput")[7:] == [key(0xA2, 0x1D, 2)]
    native.wait_for(lambda: run.calls("DestroyWindow"), 5, "the indicator's DestroyWindow")

    request_id, answer = page.command({"type": "status"})
    assert answer == response(request_id, ok=True, status=idle_status(config))
    assert page.call("close") is True
    assert run.wait_exit() == 0


def test_extension_the_configuration_does_not_name_is_refused(browser, open_page):
    refused = browser.extensions["refused"]
    page = open_page("refused")
    assert page.call("extensionId") == refused.id

    run = connect(browser, page)
    # The browser allowed the call (the host manifest names both extensions);
    # the host refuses the caller before reading anything.
    assert page.next() == {"disconnected": {"error": "Native host has exited."}}
    assert run.args == [refused.origin]
    assert run.wait_exit() == 1
    assert run.journal() == []


@pytest.mark.parametrize("how", ["disconnect", "close-tab"])
def test_losing_the_port_ends_the_host_and_its_session(browser, open_page, how):
    page = open_page("allowed")
    _, run = start_session(browser, page)
    indicator = run.calls("CreateWindowExW")[0]["window"]
    assert run.host_alive()

    if how == "disconnect":
        assert page.call("close") is True
    else:
        page.close()
    assert run.wait_exit() == 0
    assert not run.host_alive()
    assert run.calls("PostMessageW") == [{"call": "PostMessageW", "window": indicator, "msg": WM_APP_CLOSE,
                                          "wParam": 0, "lParam": 0, "result": True}]
    assert run.calls("DestroyWindow") == [{"call": "DestroyWindow", "window": indicator}]
