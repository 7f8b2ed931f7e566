"""The configuration file: where it is, its size, its JSON shape and its field rules."""

import base64
import json
import os
from pathlib import Path

import pytest

import ombrelin_native as native

VALID = native.default_config()
ID = native.EXTENSION_ID
FINGERPRINT_BYTES = bytes(range(32))


def b64url(data: bytes) -> str:
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def encoded(config: dict) -> bytes:
    return native.compact(config)


def padded(size: int, config: dict = VALID) -> bytes:
    text = encoded(config)
    return text + b" " * (size - len(text))


def without(member: str) -> dict:
    config = dict(VALID)
    del config[member]
    return config


def raw_with_member(member_text: str) -> bytes:
    """The valid configuration with one more `"name":value` written just before its end."""
    return encoded(VALID)[:-1] + b"," + member_text.encode() + b"}"


def refused_before_any_frame(host):
    # The input stays open: the host must end on its own, having read nothing.
    assert host.wait_exit() == (1, b"")


def status_of(host) -> dict:
    host.handshake()
    response = host.command({"type": "status"})
    assert response["ok"] is True, response
    return response["status"]


SCHEMA_FAILURES = [
    pytest.param(b"", id="empty-file"),
    pytest.param(padded(4097), id="4097-bytes"),
    pytest.param(b"\xef\xbb\xbf" + encoded(VALID), id="byte-order-mark"),
    pytest.param(encoded(dict(VALID, comment="front desk")), id="extra-member"),
    pytest.param(encoded(dict(VALID, DeviceName="x")), id="extra-member-differing-in-case"),
    *[pytest.param(encoded(without(m)), id=f"missing-{m}") for m in VALID],
    pytest.param(raw_with_member('"deviceName":"Front desk PC"'), id="duplicate-same-value"),
    pytest.param(raw_with_member('"targetDeviceId":"1b4e28ba-2fa1-41d2-883f-0016d3cca427"'), id="duplicate-other-value"),
    *[pytest.param(encoded(dict(VALID, **{m: None})), id=f"null-{m}") for m in VALID],
    pytest.param(encoded(dict(VALID, allowedExtensionIds=ID)), id="ids-as-string"),
    pytest.param(encoded(dict(VALID, allowedExtensionIds=[1])), id="ids-with-number"),
    pytest.param(encoded(dict(VALID, allowedExtensionIds=[ID, None])), id="ids-with-null"),
    pytest.param(encoded(dict(VALID, allowedExtensionIds=[[ID]])), id="ids-nested"),
    pytest.param(encoded(dict(VALID, targetDeviceId=1)), id="device-id-as-number"),
    pytest.param(encoded(dict(VALID, targetIdentityFingerprint=[VALID["targetIdentityFingerprint"]])), id="fingerprint-as-array"),
    pytest.param(encoded(dict(VALID, deviceName=True)), id="name-as-boolean"),
    pytest.param(encoded(dict(VALID, deviceName={"text": "x"})), id="name-as-object"),
    pytest.param(encoded(VALID) + b"x", id="trailing-text"),
    pytest.param(encoded(VALID) + b"{}", id="second-object"),
    pytest.param(encoded(VALID)[:-1], id="unterminated"),
    pytest.param(encoded(VALID).replace(b'"', b"'"), id="single-quotes"),
    pytest.param(b"null", id="null"),
    pytest.param(b'"text"', id="string"),
    pytest.param(b"{}", id="empty-object"),
    pytest.param(encoded(VALID).replace(b"Front desk PC", b"Front \xff desk"), id="invalid-utf8"),
    pytest.param(encoded(VALID).replace(b"Front desk PC", b"Front \\ud800 desk"), id="lone-surrogate"),
    pytest.param(encoded(VALID).replace(b"Front desk PC", b"Front \\x41 desk"), id="invalid-escape"),
    pytest.param(encoded(VALID).replace(b"Front desk PC", b"Front\x01desk"), id="raw-control-character"),
]

VALIDATION_FAILURES = [
    pytest.param({"allowedExtensionIds": []}, id="no-ids"),
    pytest.param({"allowedExtensionIds": [chr(ord("a") + i) * 32 for i in range(9)]}, id="9-ids"),
    pytest.param({"allowedExtensionIds": ["q" + ID[1:]]}, id="id-with-q"),
    pytest.param({"allowedExtensionIds": [ID[:-1] + "A"]}, id="id-with-uppercase"),
    pytest.param({"allowedExtensionIds": [ID[:-1] + "1"]}, id="id-with-digit"),
    pytest.param({"allowedExtensionIds": [ID[:-1]]}, id="id-31-letters"),
    pytest.param({"allowedExtensionIds": [ID + "a"]}, id="id-33-letters"),
    pytest.param({"allowedExtensionIds": [ID, ""]}, id="second-id-empty"),
    pytest.param({"allowedExtensionIds": [ID[:-1] + "\u00e4"]}, id="id-with-non-ascii"),
    pytest.param({"targetDeviceId": "6F1C2A3E-8D4B-4C5A-9E7F-0A1B2C3D4E5F"}, id="uuid-uppercase"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5F"}, id="uuid-one-uppercase-digit"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-0c5a-9e7f-0a1b2c3d4e5f"}, id="uuid-version-0"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-9c5a-9e7f-0a1b2c3d4e5f"}, id="uuid-version-9"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-ce7f-0a1b2c3d4e5f"}, id="uuid-variant-c"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-7e7f-0a1b2c3d4e5f"}, id="uuid-variant-7"),
    pytest.param({"targetDeviceId": "00000000-0000-0000-0000-000000000000"}, id="uuid-all-zero"),
    pytest.param({"targetDeviceId": "{6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f}"}, id="uuid-braces"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5-"}, id="uuid-hyphen-for-a-digit"),
    pytest.param({"targetDeviceId": "6f1c2a3e8d4b4c5a9e7f0a1b2c3d4e5f"}, id="uuid-no-hyphens"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5"}, id="uuid-35-chars"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f0"}, id="uuid-37-chars"),
    pytest.param({"targetDeviceId": "6f1c2a3e 8d4b-4c5a-9e7f-0a1b2c3d4e5f"}, id="uuid-space-for-hyphen"),
    pytest.param({"targetDeviceId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5g"}, id="uuid-non-hex"),
    pytest.param({"targetDeviceId": ""}, id="uuid-empty"),
    pytest.param({"targetIdentityFingerprint": b64url(FINGERPRINT_BYTES) + "="}, id="fingerprint-padded"),
    pytest.param({"targetIdentityFingerprint": base64.b64encode(bytes([0xFB, 0xFF] * 16)).decode().rstrip("=")}, id="fingerprint-standard-alphabet"),
    pytest.param({"targetIdentityFingerprint": b64url(bytes(range(31)))}, id="fingerprint-31-bytes"),
    pytest.param({"targetIdentityFingerprint": b64url(bytes(range(33)))}, id="fingerprint-33-bytes"),
    pytest.param({"targetIdentityFingerprint": b64url(bytes(32))}, id="fingerprint-all-zero"),
    pytest.param({"targetIdentityFingerprint": b64url(FINGERPRINT_BYTES)[:-1] + "9"}, id="fingerprint-trailing-bits"),
    pytest.param({"targetIdentityFingerprint": b64url(FINGERPRINT_BYTES)[:-1]}, id="fingerprint-42-chars"),
    pytest.param({"targetIdentityFingerprint": b64url(FINGERPRINT_BYTES) + "A"}, id="fingerprint-44-chars"),
    pytest.param({"targetIdentityFingerprint": " " + b64url(FINGERPRINT_BYTES)}, id="fingerprint-leading-space"),
    pytest.param({"targetIdentityFingerprint": ""}, id="fingerprint-empty"),
    pytest.param({"deviceName": ""}, id="name-empty"),
    pytest.param({"deviceName": " "}, id="name-one-space"),
    pytest.param({"deviceName": "    "}, id="name-spaces-only"),
    pytest.param({"deviceName": "\u00a0\u3000\u2003"}, id="name-unicode-spaces-only"),
    pytest.param({"deviceName": "\u1680\u2000\u200a\u2028\u2029\u202f\u205f"}, id="name-other-unicode-spaces-only"),
    pytest.param({"deviceName": "x" * 129}, id="name-129-bytes"),
    pytest.param({"deviceName": "x" * 127 + "\u00e9"}, id="name-128-chars-129-bytes"),
    pytest.param({"deviceName": "Front desk PC\n"}, id="name-ending-in-line-feed"),
    pytest.param({"deviceName": "\tFront desk PC"}, id="name-starting-with-tab"),
    pytest.param({"deviceName": "Front\tdesk"}, id="name-with-tab"),
    pytest.param({"deviceName": "Front desk PC\r"}, id="name-ending-in-carriage-return"),
    pytest.param({"deviceName": "Front\x00desk"}, id="name-with-nul"),
    pytest.param({"deviceName": "Front\x7fdesk"}, id="name-with-delete"),
    pytest.param({"deviceName": "Front desk\u0085"}, id="name-with-next-line"),
    pytest.param({"deviceName": "Front\u009fdesk"}, id="name-with-c1-control"),
]


@pytest.mark.parametrize("content", SCHEMA_FAILURES)
def test_configuration_that_is_not_a_host_config_is_fatal(start, content):
    refused_before_any_frame(start(config=content))


@pytest.mark.parametrize("changes", VALIDATION_FAILURES)
def test_configuration_breaking_a_field_rule_is_fatal(start, changes):
    refused_before_any_frame(start(config=native.default_config(**changes)))


def test_missing_local_app_data_is_fatal(start):
    refused_before_any_frame(start(env={"LOCALAPPDATA": None}))


def test_missing_file_is_fatal(start):
    refused_before_any_frame(start(config=None))


def config_path_in(workdir):
    """Where a host started in `workdir` looks for its configuration; the folder is created."""
    path = workdir / "LocalAppData" / native.CONFIG_RELATIVE
    path.parent.mkdir(parents=True, exist_ok=True)
    return path


def test_directory_at_the_file_path_is_fatal(start, tmp_path):
    config_path_in(tmp_path).mkdir()
    refused_before_any_frame(start(config=None, workdir=tmp_path))


def test_dangling_link_at_the_file_path_is_fatal(start, tmp_path):
    config_path_in(tmp_path).symlink_to(tmp_path / "nowhere.json")
    refused_before_any_frame(start(config=None, workdir=tmp_path))


def test_link_to_a_directory_at_the_file_path_is_fatal(start, tmp_path):
    config_path_in(tmp_path).symlink_to(tmp_path)
    refused_before_any_frame(start(config=None, workdir=tmp_path))


@pytest.mark.usefixtures("simulated_only")  # a Unix link is not what a Windows link looks like
def test_link_to_a_valid_file_is_followed(start, tmp_path):
    target = tmp_path / "elsewhere.json"
    target.write_bytes(encoded(VALID))
    config_path_in(tmp_path).symlink_to(target)
    assert status_of(start(config=None, workdir=tmp_path))["deviceName"] == VALID["deviceName"]


@pytest.mark.usefixtures("simulated_only")
@pytest.mark.parametrize("suffix", ["", "/"])
def test_local_app_data_that_is_not_valid_text_is_used_as_it_is(start, tmp_path, suffix):
    folder = Path(os.fsdecode(bytes(tmp_path) + b"/Local\xffApp\xc0Data"))
    native.write_config(folder, VALID)
    host = start(config=None, env={"LOCALAPPDATA": str(folder) + suffix})
    assert status_of(host)["deviceName"] == VALID["deviceName"]


def test_empty_local_app_data_does_not_find_the_file(start, tmp_path):
    refused_before_any_frame(start(env={"LOCALAPPDATA": ""}))


@pytest.mark.parametrize(
    "args",
    [
        pytest.param([], id="missing"),
        pytest.param([native.caller_origin(native.OTHER_EXTENSION_ID)], id="not-allowed"),
        pytest.param([b"\xff"], id="invalid-utf8"),
    ],
)
@pytest.mark.parametrize(
    "config",
    [
        pytest.param(None, id="missing-file"),
        pytest.param(b"", id="empty-file"),
        pytest.param(encoded(dict(VALID, comment="x")), id="extra-member"),
        pytest.param(native.default_config(deviceName=" "), id="blank-name"),
    ],
)
def test_configuration_failure_is_fatal_whatever_the_command_line(start, config, args):
    refused_before_any_frame(start(config=config, args=args))


@pytest.mark.parametrize(
    "content",
    [
        pytest.param(padded(4096), id="4096-bytes"),
        pytest.param(encoded(VALID) + b"\n", id="trailing-line-feed"),
        pytest.param(encoded(VALID) + b"\r\n", id="trailing-crlf"),
        pytest.param(json.dumps(VALID, indent=2).encode(), id="indented"),
        pytest.param(json.dumps(dict(reversed(list(VALID.items())))).encode(), id="members-in-another-order"),
        pytest.param(json.dumps(VALID, ensure_ascii=True).encode(), id="escaped-ascii"),
    ],
)
def test_well_formed_configuration_files_are_accepted(start, content):
    status = status_of(start(config=content))
    assert status["deviceName"] == VALID["deviceName"]
    assert status["devices"] == [{"id": VALID["targetDeviceId"], "name": VALID["deviceName"]}]


@pytest.mark.parametrize(
    "changes",
    [
        pytest.param({"allowedExtensionIds": [ID] + [chr(ord("a") + i) * 32 for i in range(7)]}, id="8-ids"),
        pytest.param({"allowedExtensionIds": [ID, ID]}, id="id-listed-twice"),
        pytest.param({"allowedExtensionIds": ["p" * 32, ID]}, id="id-of-p-letters"),
        pytest.param({"targetDeviceId": "1b4e28ba-2fa1-11d2-883f-0016d3cca427"}, id="uuid-version-1"),
        pytest.param({"targetDeviceId": "1b4e28ba-2fa1-81d2-b83f-0016d3cca427"}, id="uuid-version-8-variant-b"),
        pytest.param({"targetDeviceId": "00000000-0000-4000-8000-000000000000"}, id="uuid-mostly-zero"),
        pytest.param({"targetIdentityFingerprint": b64url(bytes([0xFB, 0xFF] * 16))}, id="fingerprint-url-alphabet"),
        pytest.param({"targetIdentityFingerprint": b64url(bytes(31) + b"\x01")}, id="fingerprint-one-bit"),
        pytest.param({"deviceName": "x"}, id="name-one-letter"),
        pytest.param({"deviceName": "x" * 128}, id="name-128-bytes"),
        pytest.param({"deviceName": "Büro-Rechner Ærø 東京 ünd ñ"}, id="name-non-ascii"),
        pytest.param({"deviceName": "é" * 64}, id="name-128-bytes-non-ascii"),
        pytest.param({"deviceName": "  Front desk  "}, id="name-with-outer-spaces"),
        pytest.param({"deviceName": "\u3000Front desk\u2028"}, id="name-with-outer-unicode-spaces"),
        pytest.param({"deviceName": "Desk \"A\" \\ 1/2 \U0001F600"}, id="name-needing-escapes"),
    ],
)
def test_configuration_values_are_accepted_and_reported_unchanged(start, changes):
    config = native.default_config(**changes)
    status = status_of(start(config=config))
    assert status["deviceName"] == config["deviceName"]
    assert status["devices"] == [{"id": config["targetDeviceId"], "name": config["deviceName"]}]


def test_device_name_is_written_back_with_the_response_escapes(start):
    name = 'Büro "A" \\ 1/2 \U0001F600'
    host = start(config=native.default_config(deviceName=name))
    host.handshake()
    host.command({"type": "status"})
    expected = 'Büro \\"A\\" \\\\ 1/2 \U0001F600'.encode()
    assert host.last_raw.count(b'"' + expected + b'"') == 2, host.last_raw


def test_escaped_device_name_is_reported_decoded(start):
    content = encoded(VALID).replace(b"Front desk PC", b"B\\u00fcro \\ud83d\\ude00 \\u0041")
    host = start(config=content)
    host.handshake()
    assert host.command({"type": "status"})["status"]["deviceName"] == "Büro \U0001F600 A"
    assert "Büro \U0001F600 A".encode() in host.last_raw
