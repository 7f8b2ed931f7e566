"""Starting and ending a run: exit statuses and the caller named on the command line."""

import pytest

import ombrelin_native as native

ORIGIN = native.caller_origin()
ID = native.EXTENSION_ID


def test_empty_input_ends_cleanly_without_output(start):
    host = start()
    assert host.finish() == (0, b"")


def test_input_closed_after_the_handshake_ends_cleanly(start):
    host = start()
    host.handshake()
    assert host.finish() == (0, b"")


def test_input_closed_after_commands_ends_cleanly(ready):
    host = ready()
    for command in ({"type": "status"}, {"type": "pause", "paused": True}, {"type": "stop"}):
        assert host.command(command)["type"] == "response"
    assert host.finish() == (0, b"")


def test_input_closed_between_hello_and_challenge_ack_ends_cleanly(start):
    host = start()
    host.send(native.hello(native.token(), native.token()))
    assert host.receive()["type"] == "hello-ack"
    assert host.finish() == (0, b"")


def test_output_closed_by_the_reader_ends_the_run_with_status_1(start):
    host = start()
    host.process.stdout.close()
    host.send(native.hello(native.token(), native.token()))
    host.close_input()
    # The hello-ack cannot be written: a failed write is an ordinary fatal
    # error, not a crash or a signal.
    assert host.process.wait(10) == 1


@pytest.mark.parametrize(
    "args",
    [
        pytest.param([], id="missing"),
        pytest.param([""], id="empty"),
        pytest.param([f"chrome-extension://{ID}"], id="no-trailing-slash"),
        pytest.param([f"chrome-extension://{ID}//"], id="two-slashes"),
        pytest.param([native.caller_origin(native.OTHER_EXTENSION_ID)], id="id-not-allowed"),
        pytest.param([f"chrome-extension://{ID.upper()}/"], id="uppercase-id"),
        pytest.param([f"Chrome-Extension://{ID}/"], id="uppercase-scheme"),
        pytest.param([f"chrome-extension://{ID[:-1]}/"], id="id-31-letters"),
        pytest.param([f"chrome-extension://{ID}a/"], id="id-33-letters"),
        pytest.param([f" {ORIGIN}"], id="leading-space"),
        pytest.param([f"{ORIGIN} "], id="trailing-space"),
        pytest.param([f"{ORIGIN}\n"], id="trailing-line-feed"),
        pytest.param([f"moz-extension://{ID}/"], id="other-scheme"),
        pytest.param([ID], id="bare-id"),
        pytest.param([f"{ORIGIN}background.html"], id="with-path"),
        pytest.param([b"chrome-extension://" + ID.encode() + b"\xff/"], id="invalid-utf8"),
        pytest.param([b"chrome-extension://\xe0" + ID[1:].encode() + b"/"], id="invalid-utf8-in-id"),
        pytest.param(["--parent-window=0", ORIGIN], id="origin-only-second"),
    ],
)
def test_caller_not_allowed_ends_the_run_before_any_frame(start, args):
    host = start(args=args)
    # The input stays open: the host must give up on its own, having read nothing.
    assert host.wait_exit() == (1, b"")


def test_a_hello_after_a_refused_caller_gets_no_answer(start):
    host = start(args=[f"chrome-extension://{ID}"])
    hello_id = native.token()
    host.send(native.hello(hello_id, native.token()))
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize(
    "extra",
    [
        pytest.param(["--parent-window=0"], id="parent-window"),
        pytest.param(["x", "", native.caller_origin(native.OTHER_EXTENSION_ID)], id="several"),
        pytest.param([b"\xff\xfe"], id="invalid-utf8"),
    ],
)
def test_arguments_after_the_caller_origin_are_ignored(ready, extra):
    host = ready(args=[ORIGIN, *extra])
    assert host.command({"type": "status"})["ok"] is True
    assert host.finish() == (0, b"")


@pytest.mark.parametrize("position", [0, 1, 7])
def test_caller_may_be_any_entry_of_the_allowed_list(start, position):
    ids = [letter * 32 for letter in "abcdefgh"]
    ids[position] = native.OTHER_EXTENSION_ID
    config = native.default_config(allowedExtensionIds=ids)
    host = start(config=config, args=[native.caller_origin(native.OTHER_EXTENSION_ID)])
    host.handshake(extension_id=native.OTHER_EXTENSION_ID)
    assert host.command({"type": "status"})["ok"] is True
    assert host.finish() == (0, b"")
