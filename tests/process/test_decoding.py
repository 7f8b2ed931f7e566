"""Strict decoding of incoming messages, seen through real frames.

A message that does not decode ends the run with nothing written; a message
that decodes is answered. Bodies are written by hand so that duplicates,
number spellings and broken UTF-8 reach the host exactly as given.
"""

import pytest

import ombrelin_native as native

NO_SESSION = "No locally approved session is active."
SESSION_REQUEST_INVALID = "The native session request is invalid or expired."
SESSION = b'"2d0c8f1e-5b7a-4e3c-9a1d-6f4b2e8c0a97"'
KEY = b'{"keyId":"k1","algorithm":"Ed25519","publicKey":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8","encoding":"raw-base64url"}'


def message(command: bytes, *, v: bytes = b"1", rid: bytes = b'"{R}"', extra: bytes = b"") -> bytes:
    """A command message around `command`; {A} and {R} stand for the agent challenge and a fresh id."""
    return b'{"v":' + v + b',"type":"command","requestId":' + rid + b',"agentChallenge":"{A}","command":' + command + extra + b"}"


def session_start(permissions: bytes = b'["VIEW_SCREEN"]', lease: bytes = b"0", key: bytes = KEY, extra: bytes = b"") -> bytes:
    # A lease in 1970 makes every request that decodes fail the same simple way.
    return (
        b'{"type":"session-start","sessionId":' + SESSION + b',"requesterName":"Alice","permissions":' + permissions
        + b',"leaseExpiresAt":' + lease + b',"signedTicket":"AAAA","ticketKey":' + key + extra + b"}"
    )


def control(body: bytes, session: bytes = SESSION) -> bytes:
    return b'{"type":"control","sessionId":' + session + b',"control":' + body + b"}"


def send_body(host, template: bytes) -> str:
    request_id = native.token()
    body = template.replace(b"{A}", host.agent_challenge.encode()).replace(b"{R}", request_id.encode())
    host.send_raw(native.encode_frame(body))
    return request_id


UNDECODABLE_COMMANDS = [
    # Members of the message itself.
    pytest.param(message(b'{"type":"status"}', extra=b',"x":1'), id="extra-member"),
    pytest.param(message(b'{"type":"status"}', extra=b',"requestId":"{R}"'), id="duplicate-request-id"),
    pytest.param(message(b'{"type":"status"}', extra=b',"command":{"type":"status"}'), id="duplicate-command"),
    pytest.param(message(b'{"type":"status"}', extra=b',"type":"command"'), id="duplicate-type"),
    pytest.param(b'{"v":1,"requestId":"{R}","agentChallenge":"{A}","command":{"type":"status"}}', id="no-type"),
    pytest.param(b'{"v":1,"type":"command","requestId":"{R}","agentChallenge":"{A}"}', id="no-command"),
    pytest.param(b'{"v":1,"type":"command","agentChallenge":"{A}","command":{"type":"status"}}', id="no-request-id"),
    pytest.param(b'{"type":"command","requestId":"{R}","agentChallenge":"{A}","command":{"type":"status"}}', id="no-v"),
    pytest.param(message(b'{"type":"status"}').replace(b'"command","requestId"', b'"Command","requestId"'), id="type-capitalised"),
    pytest.param(message(b'{"type":"status"}').replace(b'"type":"command"', b'"type":1'), id="type-number"),
    pytest.param(message(b'{"type":"status"}').replace(b'"requestId"', b'"requestid"'), id="member-name-case"),
    pytest.param(message(b"null"), id="command-null"),
    pytest.param(message(b'{"type":"status"}', rid=b"null"), id="request-id-null"),
    pytest.param(message(b'{"type":"status"}').replace(b'"{A}"', b"null"), id="challenge-null"),
    pytest.param(message(b'{"type":"status"}', rid=b"7"), id="request-id-number"),
    pytest.param(message(b'"status"'), id="command-string"),
    # Spellings of v.
    pytest.param(message(b'{"type":"status"}', v=b"1.0"), id="v-1.0"),
    pytest.param(message(b'{"type":"status"}', v=b"1e0"), id="v-1e0"),
    pytest.param(message(b'{"type":"status"}', v=b"-1"), id="v-negative"),
    pytest.param(message(b'{"type":"status"}', v=b'"1"'), id="v-string"),
    pytest.param(message(b'{"type":"status"}', v=b"true"), id="v-boolean"),
    pytest.param(message(b'{"type":"status"}', v=b"null"), id="v-null"),
    pytest.param(message(b'{"type":"status"}', v=b"01"), id="v-leading-zero"),
    pytest.param(message(b'{"type":"status"}', v=b"4294967297"), id="v-beyond-32-bits"),
    pytest.param(message(b'{"type":"status"}', v=b"2"), id="v-2-decodes-but-is-refused"),
    # The command object.
    pytest.param(message(b'{"type":"Status"}'), id="command-type-capitalised"),
    pytest.param(message(b'{"type":"reboot"}'), id="command-type-unknown"),
    pytest.param(message(b'{"type":"status","type":"status"}'), id="command-type-twice"),
    pytest.param(message(b'{"kind":"status"}'), id="command-without-type"),
    pytest.param(message(b'{"type":"pause"}'), id="pause-without-flag"),
    pytest.param(message(b'{"type":"pause","paused":null}'), id="pause-flag-null"),
    pytest.param(message(b'{"type":"pause","paused":1}'), id="pause-flag-number"),
    pytest.param(message(b'{"type":"pause","paused":"true"}'), id="pause-flag-string"),
    pytest.param(message(b'{"type":"pause","paused":true,"paused":true}'), id="pause-flag-twice"),
    pytest.param(message(b'{"type":"pause","paused":true,"x":1}'), id="pause-extra-member"),
    pytest.param(message(b'{"type":"pause","paused":true,"p\\u0061used":true}'), id="pause-flag-twice-once-escaped"),
    pytest.param(message(b'{"type":"session-stop"}'), id="session-stop-without-id"),
    pytest.param(message(b'{"type":"session-stop","sessionId":null}'), id="session-stop-id-null"),
    pytest.param(message(b'{"type":"session-stop","sessionId":' + SESSION + b',"x":1}'), id="session-stop-extra-member"),
    pytest.param(message(b'{"type":"session-pause","sessionId":' + SESSION + b"}"), id="session-pause-without-flag"),
    # Session start.
    pytest.param(message(session_start(b'["view_screen"]')), id="permission-lowercase"),
    pytest.param(message(session_start(b'["VIEW_SCREEN","Send_Pointer"]')), id="permission-mixed-case"),
    pytest.param(message(session_start(b'["VIEW_SCREENS"]')), id="permission-unknown"),
    pytest.param(message(session_start(b"[0]")), id="permission-number"),
    pytest.param(message(session_start(b'"VIEW_SCREEN"')), id="permissions-not-array"),
    pytest.param(message(session_start(b"null")), id="permissions-null"),
    pytest.param(message(session_start(lease=b"-1")), id="lease-negative"),
    pytest.param(message(session_start(lease=b"1.5")), id="lease-fraction"),
    pytest.param(message(session_start(lease=b'"0"')), id="lease-string"),
    pytest.param(message(session_start(lease=b"18446744073709551616")), id="lease-beyond-64-bits"),
    pytest.param(message(session_start(key=b"null")), id="key-null"),
    pytest.param(message(session_start(key=KEY[:-1] + b',"x":"y"}')), id="key-extra-member"),
    pytest.param(message(session_start(key=KEY.replace(b',"encoding":"raw-base64url"', b""))), id="key-missing-member"),
    pytest.param(message(session_start(key=KEY.replace(b'"k1"', b"1"))), id="key-id-number"),
    pytest.param(message(session_start(extra=b',"x":1')), id="session-start-extra-member"),
    # Control.
    pytest.param(message(control(b'{"type":"stop","v":1,"seq":0,"x":1}')), id="control-extra-member"),
    pytest.param(message(control(b'{"type":"stop","v":1}')), id="control-without-seq"),
    pytest.param(message(control(b'{"type":"stop","v":1,"seq":-1}')), id="control-seq-negative"),
    pytest.param(message(control(b'{"type":"stop","v":1,"seq":4294967296}')), id="control-seq-beyond-32-bits"),
    pytest.param(message(control(b'{"type":"stop","v":1,"seq":1.0}')), id="control-seq-1.0"),
    pytest.param(message(control(b'{"type":"pointer","v":1,"seq":0,"x":0.5,"y":0.5,"buttons":256}')), id="buttons-beyond-8-bits"),
    pytest.param(message(control(b'{"type":"pointer","v":1,"seq":0,"x":"0.5","y":0.5,"buttons":0}')), id="x-string"),
    pytest.param(message(control(b'{"type":"scroll","v":1,"seq":0,"horizontal":2147483648,"vertical":0}')), id="scroll-beyond-32-bits"),
    pytest.param(message(control(b'{"type":"scroll","v":1,"seq":0,"horizontal":0.5,"vertical":0}')), id="scroll-fraction"),
    pytest.param(message(control(b'{"type":"key-transition","v":1,"seq":0,"code":"KeyA","down":1,"modifiers":0}')), id="down-number"),
    pytest.param(message(control(b'{"type":"Stop","v":1,"seq":0}')), id="control-type-capitalised"),
    pytest.param(message(control(b'{"type":"stop","v":1,"seq":0}', session=b"null")), id="control-session-null"),
    pytest.param(message(b'{"type":"control","sessionId":' + SESSION + b"}"), id="control-without-message"),
    # Text that is not valid JSON or not valid Unicode.
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\xff"'), id="invalid-utf8-byte"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcd\xc0\xaf"'), id="overlong-utf8"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abc\xed\xa0\x80"'), id="utf8-surrogate"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\xe2\x82"'), id="truncated-utf8"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\\ud800"'), id="lone-high-surrogate"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\\udc00"'), id="lone-low-surrogate"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\\q"'), id="invalid-escape"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\\u12"'), id="short-unicode-escape"),
    pytest.param(message(b'{"type":"status"}', rid=b'"0123456789abcdef0123456789abcde\x01"'), id="raw-control-character"),
    pytest.param(message(b'{"type":"status"}', rid=b"'{R}'"), id="single-quotes"),
    pytest.param(message(b'{"type":"status",}'), id="trailing-comma"),
    pytest.param(b"[]", id="array"),
    pytest.param(b'"command"', id="string"),
    pytest.param(b"{}", id="empty-object"),
    pytest.param(b"{", id="unterminated"),
]


@pytest.mark.parametrize("template", UNDECODABLE_COMMANDS)
def test_message_that_does_not_decode_ends_the_run(ready, template):
    host = ready()
    send_body(host, template)
    assert host.wait_exit() == (1, b"")


ALL_PERMISSIONS = (
    b'["VIEW_SCREEN","RECEIVE_AUDIO","SEND_POINTER","SEND_KEYBOARD","SEND_TOUCH","SEND_PEN","SEND_GAMEPAD",'
    b'"READ_CLIPBOARD","WRITE_CLIPBOARD","SEND_FILE","RECEIVE_FILE","CREATE_VIRTUAL_DISPLAY","SWITCH_MONITOR",'
    b'"REQUEST_REBOOT","LOCAL_RECORDING","REVERSE_SHARE"]'
)


@pytest.mark.parametrize(
    "template, error",
    [
        pytest.param(message(b'{"type":"status","x":1}'), None, id="status-extra-member"),
        pytest.param(message(b'{"type":"diagnostics","paused":"yes","y":{"z":[1,2.5,null]}}'), None, id="diagnostics-extra-members"),
        pytest.param(message(b'{"sessionId":7,"type":"stop","seq":-1}'), None, id="stop-extra-members-before-type"),
        pytest.param(b'{"v":1,"requestId":"{R}","agentChallenge":"{A}","command":{"type":"status"},"type":"command"}', None, id="message-type-last"),
        pytest.param(message(b'{"paused":true,"type":"pause"}'), NO_SESSION, id="pause-type-last"),
        pytest.param(
            message(b'{"t\\u0079pe":"pause","p\\u0061used":true}').replace(b'"type":"command"', b'"\\u0074ype":"comm\\u0061nd"'),
            NO_SESSION,
            id="escaped-names-and-tags",
        ),
        pytest.param(message(b'{"sessionId":' + SESSION + b',"paused":false,"type":"session-pause"}'), NO_SESSION, id="session-pause-type-last"),
        pytest.param(message(session_start(ALL_PERMISSIONS)), SESSION_REQUEST_INVALID, id="every-permission-name"),
        pytest.param(message(session_start(lease=b"18446744073709551615")), SESSION_REQUEST_INVALID, id="lease-64-bit-maximum"),
        pytest.param(message(control(b'{"type":"pointer","v":1,"seq":4294967295,"x":1e-1,"y":1,"buttons":255}')), NO_SESSION, id="pointer-widths"),
        pytest.param(message(control(b'{"type":"scroll","v":4294967295,"seq":0,"horizontal":-2147483648,"vertical":2147483647}')), NO_SESSION, id="scroll-widths"),
        pytest.param(message(control(b'{"seq":0,"v":1,"type":"release-all"}')), NO_SESSION, id="control-type-last"),
        pytest.param(
            b'{ "v" : 1 ,\r\n\t"type" : "command" , "requestId" : "{R}" ,\n "agentChallenge" : "{A}" , "command" : { "type" : "status" } }',
            None,
            id="whitespace-between-tokens",
        ),
    ],
)
def test_message_that_decodes_is_answered(ready, template, error):
    host = ready()
    request_id = send_body(host, template)
    response = host.receive()
    assert response["requestId"] == request_id
    assert response.get("error") == error, response
    assert host.finish() == (0, b"")


def test_escaped_request_id_is_decoded_before_it_is_checked(ready):
    host = ready()
    request_id = native.token()
    escaped = "".join(f"\\u{ord(c):04x}" if i % 3 == 0 else c for i, c in enumerate(request_id)).encode()
    send_body(host, message(b'{"type":"status"}', rid=b'"' + escaped + b'"'))
    response = host.receive()
    assert (response["requestId"], response["ok"]) == (request_id, True)
    assert request_id.encode() in host.last_raw


@pytest.mark.parametrize(
    "body",
    [
        pytest.param(b'{"v":1,"type":"Hello","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":"{W}","extensionChallenge":"{R}"}', id="type-capitalised"),
        pytest.param(b'{"v":1.0,"type":"hello","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":"{W}","extensionChallenge":"{R}"}', id="v-1.0"),
        pytest.param(b'{"v":1,"type":"hello","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":"{W}","extensionChallenge":"{R}","x":1}', id="extra-member"),
        pytest.param(b'{"v":1,"type":"hello","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":"{W}"}', id="missing-member"),
        pytest.param(b'{"v":1,"type":"hello","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":null,"extensionChallenge":"{R}"}', id="null-member"),
        pytest.param(b'{"v":1,"type":"hello","requestId":"{R}","requestId":"{R}","extensionOrigin":"{O}","trustedWebOrigin":"{W}","extensionChallenge":"{R}"}', id="duplicate-member"),
    ],
)
def test_hello_that_does_not_decode_ends_the_run(start, body):
    host = start()
    body = (
        body.replace(b"{R}", native.token().encode())
        .replace(b"{O}", f"chrome-extension://{native.EXTENSION_ID}".encode())
        .replace(b"{W}", native.SERVICE_WEB_ORIGIN.encode())
    )
    host.send_raw(native.encode_frame(body))
    assert host.wait_exit() == (1, b"")


def test_hello_with_its_type_last_is_answered(start):
    host = start()
    hello = native.hello(native.token(), native.token())
    reordered = {k: v for k, v in hello.items() if k != "type"} | {"type": "hello"}
    host.send(reordered)
    assert host.receive()["type"] == "hello-ack"


@pytest.mark.parametrize("extra", [{"x": 1}, {"requestId": None}])
def test_challenge_ack_that_does_not_decode_ends_the_run(start, extra):
    host = start()
    hello_id = native.token()
    host.send(native.hello(hello_id, native.token()))
    agent = host.receive()["agentChallenge"]
    host.send(native.challenge_ack(hello_id, agent, **extra))
    assert host.wait_exit() == (1, b"")
