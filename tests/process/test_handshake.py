"""The hello / challenge-ack handshake and the order of messages."""

import re

import pytest

import ombrelin_native as native

ID = native.EXTENSION_ID
OTHER = native.OTHER_EXTENSION_ID
TOKEN = "0123456789abcdef0123456789abcdef"


def test_hello_ack_is_written_compact_with_its_members_in_order(start):
    host = start()
    hello_id, challenge = native.token(), native.token()
    host.send(native.hello(hello_id, challenge))
    ack = host.receive()
    expected = re.compile(
        rb'\{"v":1,"type":"hello-ack","requestId":"' + hello_id.encode()
        + rb'","extensionChallenge":"' + challenge.encode()
        + rb'","agentChallenge":"[0-9a-f]{32}","origin":"' + re.escape(native.SERVICE_WEB_ORIGIN.encode()) + rb'"\}'
    )
    assert expected.fullmatch(host.last_raw), host.last_raw
    assert ack["agentChallenge"] not in (hello_id, challenge)


def test_ready_is_written_compact_with_its_members_in_order(start):
    host = start()
    hello_id = native.token()
    host.send(native.hello(hello_id, native.token()))
    agent_challenge = host.receive()["agentChallenge"]
    host.send(native.challenge_ack(hello_id, agent_challenge))
    host.receive()
    assert host.last_raw == (
        b'{"v":1,"type":"ready","requestId":"' + hello_id.encode()
        + b'","agentChallenge":"' + agent_challenge.encode() + b'"}'
    )


def test_agent_challenge_differs_between_runs(start):
    challenges = {start().handshake() for _ in range(4)}
    assert len(challenges) == 4


def test_hello_may_use_the_same_token_for_both_ids(start):
    host = start()
    host.send(native.hello(TOKEN, TOKEN))
    ack = host.receive()
    assert (ack["requestId"], ack["extensionChallenge"]) == (TOKEN, TOKEN)


def hello_with(**overrides):
    return native.hello(native.token(), native.token(), **overrides)


@pytest.mark.parametrize(
    "overrides",
    [
        pytest.param({"v": 0}, id="v-0"),
        pytest.param({"v": 2}, id="v-2"),
        pytest.param({"v": 4294967295}, id="v-max"),
        pytest.param({"requestId": TOKEN.upper()}, id="request-id-uppercase"),
        pytest.param({"requestId": TOKEN[:-1] + "A"}, id="request-id-one-uppercase-digit"),
        pytest.param({"requestId": TOKEN[:31]}, id="request-id-31"),
        pytest.param({"requestId": TOKEN + "0"}, id="request-id-33"),
        pytest.param({"requestId": TOKEN[:-1] + "g"}, id="request-id-non-hex"),
        pytest.param({"requestId": ""}, id="request-id-empty"),
        pytest.param({"extensionChallenge": TOKEN.upper()}, id="challenge-uppercase"),
        pytest.param({"extensionChallenge": TOKEN[:31]}, id="challenge-31"),
        pytest.param({"extensionChallenge": TOKEN + "0"}, id="challenge-33"),
        pytest.param({"extensionChallenge": TOKEN[:-1] + " "}, id="challenge-with-space"),
        pytest.param({"trustedWebOrigin": native.SERVICE_WEB_ORIGIN + "/"}, id="web-origin-trailing-slash"),
        pytest.param({"trustedWebOrigin": native.SERVICE_WEB_ORIGIN.upper()}, id="web-origin-uppercase"),
        pytest.param({"trustedWebOrigin": native.SERVICE_WEB_ORIGIN.replace("https", "http")}, id="web-origin-http"),
        pytest.param({"trustedWebOrigin": native.SERVICE_WEB_ORIGIN + ":443"}, id="web-origin-with-port"),
        pytest.param({"trustedWebOrigin": native.SERVICE_WEB_ORIGIN[:-1]}, id="web-origin-prefix"),
        pytest.param({"trustedWebOrigin": ""}, id="web-origin-empty"),
        pytest.param({"extensionOrigin": native.caller_origin()}, id="extension-origin-with-slash"),
        pytest.param({"extensionOrigin": f"chrome-extension://{ID.upper()}"}, id="extension-origin-uppercase"),
        pytest.param({"extensionOrigin": f"chrome-extension://{OTHER}"}, id="extension-origin-other-allowed-id"),
        pytest.param({"extensionOrigin": ID}, id="extension-origin-bare-id"),
        pytest.param({"extensionOrigin": ""}, id="extension-origin-empty"),
    ],
)
def test_hello_failing_a_check_ends_the_run_without_an_answer(start, overrides):
    # Both ids are allowed, so the other extension's id only fails because the
    # command line names a different one.
    host = start(config=native.default_config(allowedExtensionIds=[ID, OTHER]))
    host.send(hello_with(**overrides))
    assert host.wait_exit() == (1, b"")


def test_hello_naming_the_command_line_extension_passes_with_several_allowed(start):
    host = start(config=native.default_config(allowedExtensionIds=[ID, OTHER]), args=[native.caller_origin(OTHER)])
    host.handshake(extension_id=OTHER)
    assert host.command({"type": "status"})["ok"] is True


def started_handshake(start):
    """A host that has answered a hello; returns (host, hello id, agent challenge)."""
    host = start()
    hello_id = native.token()
    host.send(native.hello(hello_id, native.token()))
    return host, hello_id, host.receive()["agentChallenge"]


@pytest.mark.parametrize(
    "change",
    [
        pytest.param(lambda hello_id, agent: {"v": 0}, id="v-0"),
        pytest.param(lambda hello_id, agent: {"v": 2}, id="v-2"),
        pytest.param(lambda hello_id, agent: {"requestId": native.token()}, id="other-request-id"),
        pytest.param(lambda hello_id, agent: {"requestId": hello_id.upper()}, id="request-id-uppercase"),
        pytest.param(lambda hello_id, agent: {"requestId": hello_id[:31]}, id="request-id-truncated"),
        pytest.param(lambda hello_id, agent: {"agentChallenge": native.token()}, id="other-challenge"),
        pytest.param(lambda hello_id, agent: {"agentChallenge": agent.upper()}, id="challenge-uppercase"),
        pytest.param(lambda hello_id, agent: {"agentChallenge": agent + "0"}, id="challenge-extended"),
        pytest.param(lambda hello_id, agent: {"agentChallenge": hello_id}, id="challenge-is-hello-id"),
    ],
)
def test_challenge_ack_failing_a_check_ends_the_run_without_an_answer(start, change):
    host, hello_id, agent = started_handshake(start)
    host.send(native.challenge_ack(hello_id, agent, **change(hello_id, agent)))
    assert host.wait_exit() == (1, b"")


def command_frame(agent_challenge=TOKEN):
    return native.command_message(agent_challenge, {"type": "status"}, native.token())


@pytest.mark.parametrize(
    "message",
    [
        pytest.param(command_frame(), id="command"),
        pytest.param(native.challenge_ack(TOKEN, TOKEN), id="challenge-ack"),
    ],
)
def test_message_before_the_hello_ends_the_run(start, message):
    host = start()
    host.send(message)
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize(
    "message",
    [
        pytest.param(lambda hello_id, agent: native.hello(hello_id, native.token()), id="second-hello"),
        pytest.param(lambda hello_id, agent: command_frame(agent), id="command"),
    ],
)
def test_message_other_than_challenge_ack_after_the_hello_ends_the_run(start, message):
    host, hello_id, agent = started_handshake(start)
    host.send(message(hello_id, agent))
    assert host.wait_exit() == (1, b"")


@pytest.mark.parametrize(
    "message",
    [
        pytest.param(lambda host: native.hello(native.token(), native.token()), id="hello"),
        pytest.param(lambda host: native.challenge_ack(native.token(), host.agent_challenge), id="challenge-ack"),
    ],
)
def test_handshake_message_after_ready_ends_the_run(ready, message):
    host = ready()
    assert host.command({"type": "status"})["ok"] is True
    host.send(message(host))
    assert host.wait_exit() == (1, b"")


def test_repeating_the_challenge_ack_after_ready_ends_the_run(start):
    host, hello_id, agent = started_handshake(start)
    host.send(native.challenge_ack(hello_id, agent))
    assert host.receive()["type"] == "ready"
    host.send(native.challenge_ack(hello_id, agent))
    assert host.wait_exit() == (1, b"")
