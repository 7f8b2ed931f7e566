"""Frames on standard input: lengths, truncation, body limits, trailing bytes and nesting."""

import struct
import time

import pytest

import ombrelin_native as native

MAX_BODY = 32768


def prefix(length: int) -> bytes:
    return struct.pack("<I", length)


def padded(body: bytes, size: int) -> bytes:
    """The body followed by spaces up to `size` bytes (trailing JSON whitespace)."""
    assert len(body) <= size
    return body + b" " * (size - len(body))


def hello_body() -> bytes:
    return native.compact(native.hello(native.token(), native.token()))


def command_body(host, extra: bytes = b"", request_id: str | None = None) -> bytes:
    """A status command; `extra` is spliced in as further members of the command object."""
    return (
        b'{"v":1,"type":"command","requestId":"' + (request_id or native.token()).encode()
        + b'","agentChallenge":"' + host.agent_challenge.encode()
        + b'","command":{"type":"status"' + extra + b"}}"
    )


@pytest.mark.parametrize("stage", ["before-handshake", "after-handshake"])
@pytest.mark.parametrize(
    "data",
    [
        pytest.param(b"\x05", id="1-length-byte"),
        pytest.param(b"\x05\x00", id="2-length-bytes"),
        pytest.param(b"\x05\x00\x00", id="3-length-bytes"),
        pytest.param(prefix(40), id="length-only"),
        pytest.param(prefix(40) + b'{"v":1,', id="truncated-body"),
        pytest.param(prefix(MAX_BODY) + b" " * (MAX_BODY - 1), id="truncated-full-size-body"),
    ],
)
def test_input_ending_inside_a_frame_fails(start, stage, data):
    host = start()
    if stage == "after-handshake":
        host.handshake()
    host.send_raw(data)
    assert host.finish() == (1, b"")


@pytest.mark.parametrize("length", [0, MAX_BODY + 1, 0x01000000, 0xFFFFFFFF])
def test_length_out_of_range_fails_without_reading_a_body(start, length):
    host = start()
    host.handshake()
    host.send_raw(prefix(length))
    # No body follows and the input stays open: the length alone ends the run.
    assert host.wait_exit() == (1, b"")


def test_body_one_byte_over_the_limit_fails_even_when_it_is_valid_json(start):
    host = start()
    host.send_raw(native.encode_frame(padded(hello_body(), MAX_BODY + 1)))
    assert host.wait_exit() == (1, b"")


def test_hello_of_exactly_the_largest_size_is_accepted(start):
    host = start()
    hello_id, challenge = native.token(), native.token()
    body = padded(native.compact(native.hello(hello_id, challenge)), MAX_BODY)
    host.send_raw(native.encode_frame(body))
    ack = host.receive()
    assert (ack["type"], ack["requestId"], ack["extensionChallenge"]) == ("hello-ack", hello_id, challenge)


def test_command_of_exactly_the_largest_size_is_accepted(ready):
    host = ready()
    request_id = native.token()
    base = command_body(host, b',"x":""', request_id)
    filler = b"y" * (MAX_BODY - len(base))
    body = command_body(host, b',"x":"' + filler + b'"', request_id)
    assert len(body) == MAX_BODY
    host.send_raw(native.encode_frame(body))
    response = host.receive()
    assert (response["requestId"], response["ok"]) == (request_id, True)
    assert host.finish() == (0, b"")


@pytest.mark.parametrize("whitespace", [b" ", b"\t", b"\n", b"\r", b"\r\n", b" \t\r\n  "])
def test_trailing_json_whitespace_is_accepted(ready, whitespace):
    host = ready()
    request_id = native.token()
    host.send_raw(native.encode_frame(command_body(host, request_id=request_id) + whitespace))
    assert host.receive()["requestId"] == request_id
    assert host.finish() == (0, b"")


@pytest.mark.parametrize(
    "trailer",
    [
        pytest.param(b"x", id="letter"),
        pytest.param(b" x", id="letter-after-space"),
        pytest.param(b"{}", id="second-object"),
        pytest.param(b"}", id="closing-brace"),
        pytest.param(b",", id="comma"),
        pytest.param(b"\x00", id="nul"),
        pytest.param(b"\x0c", id="form-feed"),
        pytest.param(b"\x0b", id="vertical-tab"),
        pytest.param("\u00a0".encode(), id="no-break-space"),
        pytest.param(b"\xef\xbb\xbf", id="byte-order-mark"),
    ],
)
def test_trailing_bytes_other_than_whitespace_fail(ready, trailer):
    host = ready()
    host.send_raw(native.encode_frame(command_body(host) + trailer))
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize("body", [b" ", b"\r\n", b" " * MAX_BODY, b"\x00"])
def test_body_without_a_json_value_fails(start, body):
    host = start()
    host.send_raw(native.encode_frame(body))
    assert host.wait_exit() == (1, b"")


def test_trailing_bytes_after_a_hello_fail(start):
    host = start()
    host.send_raw(native.encode_frame(hello_body() + b"0"))
    assert host.wait_exit() == (1, b"")


def nested(kind: str, depth: int) -> bytes:
    if kind == "arrays":
        return b"[" * depth + b"]" * depth
    return b'{"a":' * (depth - 1) + b"{}" + b"}" * (depth - 1)


# The message object is level 1 and the command object level 2, so an ignored
# member of the command holding n levels reaches level n + 2.
@pytest.mark.parametrize("kind", ["arrays", "objects"])
def test_nesting_of_127_levels_decodes(ready, kind):
    host = ready()
    request_id = native.token()
    host.send_raw(native.encode_frame(command_body(host, b',"x":' + nested(kind, 125), request_id)))
    response = host.receive()
    assert (response["requestId"], response["ok"]) == (request_id, True)
    assert host.finish() == (0, b"")


@pytest.mark.parametrize("kind", ["arrays", "objects"])
@pytest.mark.parametrize("depth", [126, 1000])
def test_nesting_beyond_127_levels_fails(ready, kind, depth):
    host = ready()
    host.send_raw(native.encode_frame(command_body(host, b',"x":' + nested(kind, depth))))
    assert host.wait_exit() == (1, b"")


def test_frames_arriving_in_pieces_are_reassembled(start):
    host = start()
    hello_id, challenge = native.token(), native.token()
    frame = native.encode_frame(native.compact(native.hello(hello_id, challenge)))
    for piece in (frame[:1], frame[1:2], frame[2:4], frame[4:20], frame[20:]):
        host.send_raw(piece)
        time.sleep(0.02)
    assert host.receive()["requestId"] == hello_id


def test_frames_arriving_together_are_answered_in_order(ready):
    host = ready()
    ids = [native.token() for _ in range(20)]
    host.send_raw(b"".join(native.encode_frame(command_body(host, request_id=i)) for i in ids))
    assert [host.receive()["requestId"] for _ in ids] == ids
    assert host.finish() == (0, b"")


def test_bad_frame_after_good_ones_still_answers_the_good_ones(ready):
    host = ready()
    ids = [native.token() for _ in range(3)]
    host.send_raw(b"".join(native.encode_frame(command_body(host, request_id=i)) for i in ids) + prefix(0))
    assert [host.receive()["requestId"] for _ in ids] == ids
    assert host.wait_exit() == (1, b"")


def test_frames_after_a_bad_frame_are_never_read(ready):
    host = ready()
    good = native.encode_frame(command_body(host))
    host.send_raw(good + prefix(0) + good + good)
    assert host.receive()["ok"] is True
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize("stage", ["hello", "command"])
def test_byte_order_mark_before_the_body_fails(start, stage):
    host = start()
    if stage == "hello":
        body = hello_body()
    else:
        host.handshake()
        body = command_body(host)
    host.send_raw(native.encode_frame(b"\xef\xbb\xbf" + body))
    assert host.wait_exit() == (1, b"")
