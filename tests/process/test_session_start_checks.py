"""Every step of the session-start check, reached through a real session-start frame.

Each case breaks one step (or sits just inside its limit) and the host must answer
with the step's text, show no prompt and go on: a valid start afterwards still works.

The host reads its own clock, so the time windows are tested here a few seconds inside
and outside their limits. The exact boundaries are unit tests in protocol/tests:
  session_start_test.cc  RequestFields/SessionStart: LeaseNow, LeaseAtLimit, LeaseBeyondLimit
  ticket_rules_test.cc   Rules/TicketFields: ExpiresNow, IssuedIn30s, IssuedIn31s,
                         LifetimeOf120, LifetimeOf121ReportedBeforeExpiry
"""

import dataclasses
import os
import time
import uuid

import pytest
from nacl.signing import SigningKey

import ombrelin_tickets as tickets
from sessions import Companion

pytestmark = pytest.mark.usefixtures("simulated_only")

REQUEST = "The native session request is invalid or expired."
TICKET = "The signed session ticket or verification key is invalid or expired."
PERMISSIONS = "The page permissions do not match the signed ticket."
ACCEPTED = None

FIELDS = [field.name for field in dataclasses.fields(tickets.SessionTicket)]  # numbers 1..15


def window(issued_in_s: int, lifetime_s: int) -> dict:
    """Ticket times relative to now."""
    issued = int(time.time()) + issued_in_s
    return {"issued_at_unix_s": issued, "expires_at_unix_s": issued + lifetime_s}


def ticket(issuer, **fields) -> tickets.SessionTicket:
    """A ticket that is valid now for `issuer`'s host, with `fields` replaced."""
    valid = tickets.SessionTicket(
        session_id=uuid.UUID(issuer.session_id).bytes,
        requester=tickets.DeviceBinding(issuer.requester_device_id, issuer.requester_fingerprint),
        target=issuer.target,
        role=2,
        permissions=(1, 3),
        approval_mode=1,
        nonce=os.urandom(32),
        protocol_major=1,
        signing_key_id=issuer.key_id,
        requester_dtls_fingerprint_sha256=os.urandom(32),
        target_dtls_fingerprint_sha256=os.urandom(32),
        **window(-1, 60),
    )
    return dataclasses.replace(valid, **fields)


def only(tk, *names) -> bytes:
    """The canonical encoding of just the named fields of `tk`."""
    return tickets.encode_session_ticket(tickets.SessionTicket(**{name: getattr(tk, name) for name in names}))


def start(issuer, tk=None, *, payload=None, signed=tickets.signing_message,
          envelope=tickets.encode_signed_session_ticket, lease_in_ms=120_000, key=(), **members) -> dict:
    """A session-start for `tk` (default: a valid ticket) whose page fields mirror the ticket.

    `payload` (ticket -> bytes) replaces the canonical payload, `signed` (payload -> bytes)
    what the signature covers, `envelope` (payload, signature -> bytes) the envelope; `key`
    replaces ticketKey members; a member given as a callable is applied to the valid value.
    """
    tk = tk or ticket(issuer)
    body = tickets.encode_session_ticket(tk) if payload is None else payload(tk)
    signature = SigningKey(issuer.seed).sign(signed(body)).signature
    command = {
        "type": "session-start",
        "sessionId": issuer.session_id,
        "requesterName": "Field Support",
        "permissions": [tickets.PERMISSION_NAMES[value - 1] for value in tk.permissions],
        "leaseExpiresAt": int(time.time() * 1000) + lease_in_ms,
        "signedTicket": tickets.base64url(envelope(body, signature)),
        "ticketKey": tickets.ticket_key_metadata(tk.signing_key_id, tickets.public_key_of(issuer.seed)),
    }
    command["ticketKey"].update(key)
    for name, value in members.items():
        command[name] = value(command[name]) if callable(value) else value
    return command


def key_id(text: str):
    """keyId and the ticket's signing_key_id both set to `text`, so only the keyId rule can refuse it."""
    return lambda issuer: start(issuer, ticket(issuer, signing_key_id=text))


def padded(issuer) -> dict:
    """The signed ticket in padded base64url; a display id of 2 bytes moves the length off a multiple of 3."""
    for display_id in ("", "dd"):
        command = start(issuer, ticket(issuer, display_id=display_id))
        text = command["signedTicket"]
        if len(text) % 4:
            return dict(command, signedTicket=text + "=" * (-len(text) % 4))
    raise AssertionError("no padded form")


def standard_alphabet(issuer) -> dict:
    # A nonce of 0xFF bytes puts "____" into the text, so the swap always changes it.
    command = start(issuer, ticket(issuer, nonce=b"\xff" * 32))
    text = command["signedTicket"]
    return dict(command, signedTicket=text.replace("-", "+").replace("_", "/"))


def other_binding(device_id: bytes | None = None, fingerprint: bytes | None = None):
    return lambda issuer: start(issuer, ticket(issuer, target=tickets.DeviceBinding(
        device_id or issuer.target.device_id, fingerprint or issuer.target.identity_key_fingerprint_sha256)))


def stray_hyphen(issuer) -> dict:
    """A session id ending in "00", its last digit written as a hyphen: no second spelling
    of the same identifier is accepted."""
    issuer.session_id = issuer.session_id[:-2] + "00"
    return start(issuer, sessionId=lambda text: text[:-1] + "-")


def case(id_, build, answer):
    return pytest.param(build, answer, id=id_)


CASES = [
    case("valid", start, ACCEPTED),
    # requesterName
    case("name-128-bytes", lambda i: start(i, requesterName="\u00e9" * 64), ACCEPTED),
    case("name-129-bytes", lambda i: start(i, requesterName="\u00e9" * 64 + "n"), REQUEST),
    case("name-only-spaces", lambda i: start(i, requesterName="   "), REQUEST),
    case("name-with-tab", lambda i: start(i, requesterName="Field\tSupport"), REQUEST),
    case("name-with-next-line", lambda i: start(i, requesterName="Field Support\u0085"), REQUEST),
    # the name is not signed: nothing in it may reorder or hide the consent text
    case("name-with-right-to-left-override", lambda i: start(i, requesterName="Support \u202egnp.exe"),
         REQUEST),
    case("name-with-isolate", lambda i: start(i, requesterName="\u2068Field Support\u2069"), REQUEST),
    case("name-with-zero-width-space", lambda i: start(i, requesterName="Field\u200bSupport"), REQUEST),
    case("name-with-line-separator", lambda i: start(i, requesterName="Field\u2028Support"), REQUEST),
    case("name-with-paragraph-separator", lambda i: start(i, requesterName="Field\u2029Support"), REQUEST),
    case("name-with-accents-and-cjk", lambda i: start(i, requesterName="Caf\u00e9 \u6771"), ACCEPTED),
    # page permissions: count
    case("no-permissions", lambda i: start(i, permissions=[]), REQUEST),
    case("16-permissions-reach-the-match", lambda i: start(i, permissions=["VIEW_SCREEN"] * 16), PERMISSIONS),
    case("17-permissions", lambda i: start(i, permissions=["VIEW_SCREEN"] * 17), REQUEST),
    # lease
    case("lease-now", lambda i: start(i, lease_in_ms=0), REQUEST),
    case("lease-just-inside", lambda i: start(i, lease_in_ms=330_000 - 3_000), ACCEPTED),
    case("lease-beyond", lambda i: start(i, lease_in_ms=330_000 + 3_000), REQUEST),
    # ticketKey: algorithm, encoding, keyId
    case("algorithm-lower-case", lambda i: start(i, key={"algorithm": "ed25519"}), REQUEST),
    case("other-encoding", lambda i: start(i, key={"encoding": "base64url"}), REQUEST),
    case("key-id-64-bytes", key_id("!" * 32 + "~" * 32), ACCEPTED),
    case("key-id-empty", key_id(""), REQUEST),
    case("key-id-65-bytes", key_id("k" * 65), REQUEST),
    case("key-id-with-space", key_id("test key"), REQUEST),
    case("key-id-non-ascii", key_id("t\u00e9st-key"), REQUEST),
    # sessionId
    case("session-id-upper-case", lambda i: start(i, sessionId=str.upper), REQUEST),
    case("session-id-in-braces", lambda i: start(i, sessionId=lambda s: "{" + s + "}"), REQUEST),
    case("session-id-stray-hyphen", stray_hyphen, REQUEST),
    case("request-checked-before-ticket",
         lambda i: start(i, sessionId=str.upper, signedTicket="!"), REQUEST),
    # signedTicket text
    case("ticket-padded", padded, TICKET),
    case("ticket-standard-alphabet", standard_alphabet, TICKET),
    case("ticket-over-4096-bytes",
         lambda i: start(i, envelope=lambda p, s: tickets.encode_signed_session_ticket(p, s).ljust(4097, b"\0")),
         TICKET),
    # Four UTF-8 bytes inserted: the length stays a valid one and a decoder that skips them reads the ticket.
    case("ticket-bytes-above-7f", lambda i: start(i, signedTicket=lambda t: t[:8] + "\U0001f600" + t[8:]), TICKET),
    # envelope and payload form
    case("envelope-signature-first",
         lambda i: start(i, envelope=lambda p, s: tickets.encode_signed_session_ticket(b"", s)
                         + tickets.encode_signed_session_ticket(p, b"")), TICKET),
    case("payload-nonce-last",
         lambda i: start(i, payload=lambda tk: only(tk, *FIELDS[:10]) + only(tk, *FIELDS[11:]) + only(tk, "nonce")),
         TICKET),
    case("payload-empty-display-id-written",
         lambda i: start(i, payload=lambda tk: only(tk, *FIELDS[:6]) + b"\x3a\x00" + only(tk, *FIELDS[7:])),
         TICKET),
    # requester binding
    case("no-requester", lambda i: start(i, ticket(i, requester=None)), TICKET),
    case("requester-device-15-bytes",
         lambda i: start(i, ticket(i, requester=tickets.DeviceBinding(os.urandom(15), i.requester_fingerprint))),
         TICKET),
    case("requester-fingerprint-33-bytes",
         lambda i: start(i, ticket(i, requester=tickets.DeviceBinding(i.requester_device_id, os.urandom(33)))),
         TICKET),
    # publicKey
    case("public-key-31-bytes",
         lambda i: start(i, key={"publicKey": tickets.base64url(tickets.public_key_of(i.seed)[:31])}), TICKET),
    case("public-key-padded",
         lambda i: start(i, key={"publicKey": tickets.base64url(tickets.public_key_of(i.seed)) + "="}), TICKET),
    case("public-key-not-the-signers",
         lambda i: start(i, key={"publicKey": tickets.base64url(tickets.generate_key_pair()[1])}), TICKET),
    # the verifier
    case("key-id-other-case", lambda i: start(i, key={"keyId": i.key_id.upper()}), TICKET),
    case("signed-without-zero-byte", lambda i: start(i, signed=lambda p: tickets.SIGNING_DOMAIN + p), TICKET),
    case("target-device-not-this-host", other_binding(device_id=uuid.uuid4().bytes), TICKET),
    case("target-fingerprint-not-this-host", other_binding(fingerprint=os.urandom(32)), TICKET),
    case("expires-now", lambda i: start(i, ticket(i, **window(-60, 60))), TICKET),
    case("expires-in-3-s", lambda i: start(i, ticket(i, **window(-57, 60))), ACCEPTED),
    case("issued-in-27-s", lambda i: start(i, ticket(i, **window(27, 60))), ACCEPTED),
    case("issued-in-34-s", lambda i: start(i, ticket(i, **window(34, 60))), TICKET),
    case("lifetime-120-s", lambda i: start(i, ticket(i, **window(-10, 120))), ACCEPTED),
    case("lifetime-121-s", lambda i: start(i, ticket(i, **window(-10, 121))), TICKET),
    case("protocol-major-2", lambda i: start(i, ticket(i, protocol_major=2)), TICKET),
    case("role-0", lambda i: start(i, ticket(i, role=0)), TICKET),
    case("role-4", lambda i: start(i, ticket(i, role=4)), TICKET),
    case("approval-mode-3", lambda i: start(i, ticket(i, approval_mode=3)), TICKET),
    case("nonce-zero", lambda i: start(i, ticket(i, nonce=bytes(32))), TICKET),
    case("ticket-checked-before-page-permissions",
         lambda i: start(i, ticket(i, **window(-60, 60)), permissions=["SEND_POINTER", "VIEW_SCREEN"]), TICKET),
    # page permissions against the ticket
    case("page-permissions-other-order", lambda i: start(i, permissions=["SEND_POINTER", "VIEW_SCREEN"]),
         PERMISSIONS),
    case("page-permissions-one-less", lambda i: start(i, permissions=["VIEW_SCREEN"]), PERMISSIONS),
    case("no-view-screen", lambda i: start(i, ticket(i, permissions=(3,))), PERMISSIONS),
    case("send-gamepad", lambda i: start(i, ticket(i, permissions=(1, 7))), PERMISSIONS),
    case("every-permission-but-gamepad",
         lambda i: start(i, ticket(i, permissions=[v for v in range(1, 17) if v != 7])), ACCEPTED),
]


@pytest.mark.parametrize("build, answer", CASES)
def test_session_start_check(ready, build, answer):
    host = ready(desktop={"consent": ["yes"]})
    issuer = Companion()
    command = build(issuer)
    response = host.command(command)
    if answer is ACCEPTED:
        assert response["ok"] is True, response
        assert response["status"]["grantedPermissions"] == command["permissions"]
        return
    assert (response["ok"], response.get("error")) == (False, answer), response
    assert host.journal_lines() == []  # refused before anyone was asked
    after = host.command(issuer.session_start())
    assert after["ok"] is True and after["status"]["connected"] is True, after
