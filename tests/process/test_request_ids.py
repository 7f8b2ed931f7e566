"""Command request ids: malformed and replayed ids, the echo of an id, and the bounded memory of ids."""

import secrets
import threading

import pytest

import ombrelin_native as native

REFUSED = "The request identifier is invalid or replayed."
MAX_BODY = 32768


def failure_bytes(echoed: bytes) -> bytes:
    return b'{"v":1,"type":"response","requestId":"' + echoed + b'","ok":false,"error":"' + REFUSED.encode() + b'"}'


def send_command(host, request_id: str, command: dict | None = None):
    host.send(native.command_message(host.agent_challenge, command or {"type": "status"}, request_id))
    return host.receive()


def assert_refused(response, request_id):
    assert response == {"v": 1, "type": "response", "requestId": request_id, "ok": False, "error": REFUSED}


def assert_accepted(response, request_id):
    assert (response["requestId"], response["ok"]) == (request_id, True), response


@pytest.mark.parametrize(
    "request_id, echoed",
    [
        pytest.param("0123456789ABCDEF0123456789abcdef", b"0123456789ABCDEF0123456789abcdef", id="uppercase"),
        pytest.param("0123456789abcdef0123456789abcde", b"0123456789abcdef0123456789abcde", id="31-digits"),
        pytest.param("0123456789abcdef0123456789abcdef0", b"0123456789abcdef0123456789abcdef0", id="33-digits"),
        pytest.param("0123456789abcdef0123456789abcdeg", b"0123456789abcdef0123456789abcdeg", id="non-hex"),
        pytest.param("", b"", id="empty"),
        pytest.param('0123456789abcdef0123456789abcde"', b'0123456789abcdef0123456789abcde\\"', id="quote"),
        pytest.param("0123456789abcdef0123456789abcde\\", b"0123456789abcdef0123456789abcde\\\\", id="backslash"),
        pytest.param("0123456789abcdef0123456789abcde\x01", b"0123456789abcdef0123456789abcde\\u0001", id="control"),
        pytest.param("\x00\x1f\x1b", b"\\u0000\\u001f\\u001b", id="other-controls"),
        pytest.param("\b\t\n\x0c\r", b"\\b\\t\\n\\f\\r", id="short-escapes"),
        pytest.param("a/b\x7f\u00e9\u20ac\u2028\U0001F600", "a/b\x7f\u00e9\u20ac\u2028\U0001F600".encode(), id="written-raw"),
        pytest.param(' "\\\n</script>', b' \\"\\\\\\n</script>', id="mixed"),
    ],
)
def test_malformed_request_id_is_refused_and_echoed(ready, request_id, echoed):
    host = ready()
    response = send_command(host, request_id)
    assert host.last_raw == failure_bytes(echoed)
    assert_refused(response, request_id)
    # The run goes on, and the refused id was not remembered as used.
    follow_up = native.token()
    assert_accepted(send_command(host, follow_up), follow_up)
    assert_refused(send_command(host, request_id), request_id)
    assert host.finish() == (0, b"")


@pytest.mark.parametrize(
    "command",
    [
        pytest.param({"type": "status"}, id="succeeded"),
        pytest.param({"type": "pause", "paused": True}, id="failed"),
    ],
)
def test_replayed_request_id_is_refused(ready, command):
    host = ready()
    request_id = native.token()
    first = send_command(host, request_id, command)
    assert first["requestId"] == request_id and first.get("error") != REFUSED
    for _ in range(2):
        replay = send_command(host, request_id, {"type": "status"})
        assert_refused(replay, request_id)
    assert host.finish() == (0, b"")


def test_replayed_stop_gets_the_refusal_instead_of_the_status(ready):
    host = ready()
    request_id = native.token()
    assert_accepted(send_command(host, request_id, {"type": "stop"}), request_id)
    assert_refused(send_command(host, request_id, {"type": "stop"}), request_id)


def test_hello_request_id_may_be_used_once_by_a_command(start):
    host = start()
    hello_id = native.token()
    host.send(native.hello(hello_id, native.token()))
    host.agent_challenge = host.receive()["agentChallenge"]
    host.send(native.challenge_ack(hello_id, host.agent_challenge))
    assert host.receive()["type"] == "ready"
    assert_accepted(send_command(host, hello_id), hello_id)
    assert_refused(send_command(host, hello_id), hello_id)


def test_the_longest_request_id_a_frame_can_carry_is_echoed_in_full(ready):
    # A command message carries more around its id than a failure response
    # does, so even the longest id fits in the response.
    host = ready()
    empty = native.compact(native.command_message(host.agent_challenge, {"type": "stop"}, ""))
    escaped_head = b'\\"\\\\/\\u0001'
    request_id = '"\\/\x01' + "x" * (MAX_BODY - len(empty) - len(escaped_head))
    body = native.compact(native.command_message(host.agent_challenge, {"type": "stop"}, request_id))
    assert len(body) == MAX_BODY
    host.send_raw(native.encode_frame(body))
    response = host.receive()
    assert_refused(response, request_id)
    assert host.last_raw == failure_bytes(escaped_head + request_id[4:].encode())
    assert len(host.last_raw) <= MAX_BODY
    follow_up = native.token()
    assert_accepted(send_command(host, follow_up), follow_up)
    assert host.finish() == (0, b"")


def test_only_the_latest_4096_request_ids_are_remembered(ready):
    host = ready()
    base = secrets.randbits(64) << 64
    ids = [f"{base + n:032x}" for n in range(4097)]

    # (request id, accepted?) in sending order. Refused ids, malformed or
    # replayed, must not take a place among the remembered ones.
    plan = [(i, True) for i in ids[:100]]
    plan += [(ids[5], False), ("X" * 32, False), (ids[99], False)]
    plan += [(i, True) for i in ids[100:4096]]
    plan += [
        (ids[0], False),  # 4096 ids are remembered: the first is still known.
        (ids[4096], True),  # the 4097th distinct id pushes out the first...
        (ids[1], False),  # ...and only the first.
        (ids[0], True),  # the first is new again, and now pushes out the second,
        (ids[2], False),
        (ids[1], True),
    ]

    frames = b"".join(
        native.encode_frame(native.compact(native.command_message(host.agent_challenge, {"type": "status"}, i)))
        for i, _ in plan
    )
    writer = threading.Thread(target=host.send_raw, args=(frames,), daemon=True)
    writer.start()
    outcomes = []
    for _ in plan:
        response = host.receive()
        outcomes.append((response["requestId"], response["ok"]))
    writer.join(10)
    assert outcomes == plan
    assert host.finish() == (0, b"")
