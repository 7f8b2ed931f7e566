#!/usr/bin/python3
"""Development session tickets for the Ombrelin agent.

Makes throwaway Ed25519 key pairs, encodes SessionTicket payloads in the one
canonical protobuf form the agent accepts, signs them over the ticket signing
domain and produces the signedTicket text and ticketKey object of a
session-start command. Meant for process-level tests and developer tools only:
a real service signs tickets with keys that never leave it.

Library use:
    seed, public_key = generate_key_pair()
    ticket = SessionTicket(session_id=..., requester=DeviceBinding(...), ...)
    text = signed_ticket_text(encode_session_ticket(ticket), seed)

Command line (run with /usr/bin/python3, which has PyNaCl as python3-nacl):
    ombrelin_tickets.py keygen
    ombrelin_tickets.py session-start --secret-key KEY --session-id UUID ...
    ombrelin_tickets.py fixture OUTPUT
"""

from __future__ import annotations

import argparse
import base64
import dataclasses
import hashlib
import json
import os
import sys
import time
import uuid
from typing import Optional, Sequence

from nacl.signing import SigningKey

SIGNING_DOMAIN = b"ombrelin-connect/session-ticket/v1"

# Position n is ticket wire value n + 1.
PERMISSION_NAMES = (
    "VIEW_SCREEN", "RECEIVE_AUDIO", "SEND_POINTER", "SEND_KEYBOARD",
    "SEND_TOUCH", "SEND_PEN", "SEND_GAMEPAD", "READ_CLIPBOARD",
    "WRITE_CLIPBOARD", "SEND_FILE", "RECEIVE_FILE", "CREATE_VIRTUAL_DISPLAY",
    "SWITCH_MONITOR", "REQUEST_REBOOT", "LOCAL_RECORDING", "REVERSE_SHARE",
)


@dataclasses.dataclass
class DeviceBinding:
    device_id: bytes = b""
    identity_key_fingerprint_sha256: bytes = b""


@dataclasses.dataclass
class SessionTicket:
    session_id: bytes = b""
    requester: Optional[DeviceBinding] = None
    target: Optional[DeviceBinding] = None
    role: int = 0
    permissions: Sequence[int] = ()  # wire values 1..16
    entitlements: Sequence[str] = ()
    display_id: str = ""
    approval_mode: int = 0
    issued_at_unix_s: int = 0
    expires_at_unix_s: int = 0
    nonce: bytes = b""
    protocol_major: int = 0
    signing_key_id: str = ""
    requester_dtls_fingerprint_sha256: bytes = b""
    target_dtls_fingerprint_sha256: bytes = b""


def encode_varint(value: int) -> bytes:
    if not 0 <= value < 1 << 64:
        raise ValueError(f"varint out of range: {value}")
    out = bytearray()
    while value >= 0x80:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def _int32(value: int) -> int:
    # int32 values travel sign-extended to 64 bits.
    if not -(1 << 31) <= value < 1 << 31:
        raise ValueError(f"int32 out of range: {value}")
    return value & ((1 << 64) - 1)


def _key(number: int, wire_type: int) -> bytes:
    return encode_varint(number << 3 | wire_type)


def _length_delimited(number: int, data: bytes) -> bytes:
    return _key(number, 2) + encode_varint(len(data)) + data


def _if_set(number: int, data: bytes) -> bytes:
    return _length_delimited(number, data) if data else b""


def _varint_if_set(number: int, value: int) -> bytes:
    return _key(number, 0) + encode_varint(value) if value else b""


def encode_device_binding(binding: DeviceBinding) -> bytes:
    return _if_set(1, binding.device_id) + _if_set(2, binding.identity_key_fingerprint_sha256)


def encode_session_ticket(ticket: SessionTicket) -> bytes:
    """The canonical form: ascending fields, defaults left out, packed permissions."""
    out = bytearray(_if_set(1, ticket.session_id))
    for number, binding in ((2, ticket.requester), (3, ticket.target)):
        if binding is not None:  # a present binding is written even when empty
            out += _length_delimited(number, encode_device_binding(binding))
    out += _varint_if_set(4, _int32(ticket.role))
    if ticket.permissions:
        out += _length_delimited(5, b"".join(encode_varint(_int32(v)) for v in ticket.permissions))
    for entitlement in ticket.entitlements:
        out += _length_delimited(6, entitlement.encode("utf-8"))
    out += _if_set(7, ticket.display_id.encode("utf-8"))
    out += _varint_if_set(8, _int32(ticket.approval_mode))
    out += _varint_if_set(9, ticket.issued_at_unix_s)
    out += _varint_if_set(10, ticket.expires_at_unix_s)
    out += _if_set(11, ticket.nonce)
    out += _varint_if_set(12, ticket.protocol_major)
    out += _if_set(13, ticket.signing_key_id.encode("utf-8"))
    out += _if_set(14, ticket.requester_dtls_fingerprint_sha256)
    out += _if_set(15, ticket.target_dtls_fingerprint_sha256)
    return bytes(out)


def encode_signed_session_ticket(payload: bytes, signature: bytes) -> bytes:
    return _if_set(1, payload) + _if_set(2, signature)


def base64url(data: bytes) -> str:
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


def decode_base64url(text: str) -> bytes:
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


def signing_message(payload: bytes) -> bytes:
    """What the signature covers: the domain, one zero byte, the payload as sent."""
    return SIGNING_DOMAIN + b"\x00" + payload


def generate_key_pair() -> tuple[bytes, bytes]:
    """A throwaway key pair: (32-byte secret seed, 32-byte public key)."""
    key = SigningKey.generate()
    return bytes(key), bytes(key.verify_key)


def public_key_of(seed: bytes) -> bytes:
    return bytes(SigningKey(seed).verify_key)


def sign_ticket(payload: bytes, seed: bytes) -> bytes:
    return SigningKey(seed).sign(signing_message(payload)).signature


def signed_ticket_text(payload: bytes, seed: bytes) -> str:
    return base64url(encode_signed_session_ticket(payload, sign_ticket(payload, seed)))


def ticket_key_metadata(key_id: str, public_key: bytes) -> dict:
    return {
        "keyId": key_id,
        "algorithm": "Ed25519",
        "publicKey": base64url(public_key),
        "encoding": "raw-base64url",
    }


def session_start_command(ticket: SessionTicket, seed: bytes, requester_name: str,
                          lease_expires_at_ms: int) -> dict:
    """The "session-start" command object; the page's permissions mirror the ticket."""
    payload = encode_session_ticket(ticket)
    return {
        "type": "session-start",
        "sessionId": str(uuid.UUID(bytes=ticket.session_id)),
        "requesterName": requester_name,
        "permissions": [PERMISSION_NAMES[v - 1] for v in ticket.permissions],
        "leaseExpiresAt": lease_expires_at_ms,
        "signedTicket": signed_ticket_text(payload, seed),
        "ticketKey": ticket_key_metadata(ticket.signing_key_id, public_key_of(seed)),
    }


def permission_values(names: Sequence[str]) -> list[int]:
    return sorted(PERMISSION_NAMES.index(name) + 1 for name in names)


class TicketIssuer:
    """Plays the service for one remote session: signs session-start commands for a host.

    Unless told otherwise, every command names the same session, requester and
    grant, so a second command is a refresh of the session the first one started.
    """

    def __init__(self, config: dict, key_id: str = "dev-key-1"):
        self.seed, _ = generate_key_pair()
        self.key_id = key_id
        self.target = DeviceBinding(
            uuid.UUID(config["targetDeviceId"]).bytes,
            decode_base64url(config["targetIdentityFingerprint"]),
        )
        self.session_id = str(uuid.uuid4())
        self.requester_device_id = uuid.uuid4().bytes
        self.requester_fingerprint = hashlib.sha256(os.urandom(16)).digest()

    @property
    def fingerprint_text(self) -> str:
        return self.requester_fingerprint.hex()

    def session_start(
        self,
        *,
        permissions=("VIEW_SCREEN", "SEND_POINTER"),
        requester_name: str = "Field Support",
        display_id: str = "",
        session_id: str | None = None,
        lease_s: float = 120,
        lease_expires_at_ms: int | None = None,
        ticket_lifetime_s: int = 60,
        requester_device_id: bytes | None = None,
        requester_fingerprint: bytes | None = None,
    ) -> dict:
        """A session-start command with a freshly signed ticket.

        The lease runs `lease_s` seconds from now unless `lease_expires_at_ms`
        gives it exactly; `permissions` are given in ticket (ascending) order.
        """
        now = time.time()
        issued = int(now) - 1
        ticket = SessionTicket(
            session_id=uuid.UUID(session_id or self.session_id).bytes,
            requester=DeviceBinding(
                requester_device_id or self.requester_device_id,
                requester_fingerprint or self.requester_fingerprint,
            ),
            target=self.target,
            role=2,
            permissions=permission_values(list(permissions)),
            display_id=display_id,
            approval_mode=1,
            issued_at_unix_s=issued,
            expires_at_unix_s=issued + ticket_lifetime_s,
            nonce=os.urandom(32),
            protocol_major=1,
            signing_key_id=self.key_id,
            requester_dtls_fingerprint_sha256=os.urandom(32),
            target_dtls_fingerprint_sha256=os.urandom(32),
        )
        lease_ms = lease_expires_at_ms if lease_expires_at_ms is not None else int((now + lease_s) * 1000)
        return session_start_command(ticket, self.seed, requester_name, lease_ms)



@dataclasses.dataclass
class Fixture:
    """A fixed key, clock, host and ticket; the agent's tests and fuzzers use them."""
    seed: bytes
    now_ms: int
    host_device: uuid.UUID
    host_fingerprint: bytes
    ticket: SessionTicket


def fixture() -> Fixture:
    now_ms = 1_712_345_678_901
    now_s = now_ms // 1000
    host_device = uuid.UUID("6f1c2b3a-4d5e-4f60-9a7b-8c9d0e1f2a3b")
    host_print = hashlib.sha256(b"fixture host identity").digest()
    ticket = SessionTicket(
        session_id=uuid.UUID("1e2d3c4b-5a69-4788-a6b5-c4d3e2f1a0b9").bytes,
        requester=DeviceBinding(uuid.UUID("0a1b2c3d-4e5f-4607-8819-2a3b4c5d6e7f").bytes,
                                hashlib.sha256(b"fixture requester identity").digest()),
        target=DeviceBinding(host_device.bytes, host_print),
        role=2,
        permissions=permission_values(["VIEW_SCREEN", "SEND_POINTER", "SEND_KEYBOARD",
                                       "READ_CLIPBOARD"]),
        entitlements=["control.basic", "view.hd"],
        display_id="\\\\.\\DISPLAY2",
        approval_mode=1,
        issued_at_unix_s=now_s - 10,
        expires_at_unix_s=now_s + 100,
        nonce=hashlib.sha256(b"fixture nonce").digest(),
        protocol_major=1,
        signing_key_id="fixture-key-1",
        requester_dtls_fingerprint_sha256=hashlib.sha256(b"fixture requester dtls").digest(),
        target_dtls_fingerprint_sha256=hashlib.sha256(b"fixture target dtls").digest(),
    )
    return Fixture(bytes(range(32)), now_ms, host_device, host_print, ticket)


def _fixture_lines() -> list[str]:
    """One fixed ticket, so the agent's own tests can check it verifies there."""
    f = fixture()
    seed, now_ms, host_device, host_print, ticket = (
        f.seed, f.now_ms, f.host_device, f.host_fingerprint, f.ticket)
    requester_print = ticket.requester.identity_key_fingerprint_sha256
    command = session_start_command(ticket, seed, "Fixture companion", now_ms + 240_000)
    payload = encode_session_ticket(ticket)
    key = command["ticketKey"]
    return [
        "# Written by tools/ombrelin_tickets.py fixture; regenerate rather than edit.",
        f"now_ms {now_ms}",
        f"host_device_id {host_device}",
        f"host_identity_fingerprint {host_print.hex()}",
        f"session_id {command['sessionId']}",
        f"requester_name {command['requesterName']}",
        "permissions " + " ".join(str(v - 1) for v in ticket.permissions),
        f"lease_expires_at_ms {command['leaseExpiresAt']}",
        f"signed_ticket {command['signedTicket']}",
        f"key_id {key['keyId']}",
        f"algorithm {key['algorithm']}",
        f"public_key {key['publicKey']}",
        f"encoding {key['encoding']}",
        f"payload_sha256 {hashlib.sha256(payload).hexdigest()}",
        f"requester_fingerprint {requester_print.hex()}",
        f"display_id {ticket.display_id}",
    ]


def _hex_bytes(length: int):
    def parse(text: str) -> bytes:
        value = bytes.fromhex(text)
        if len(value) != length:
            raise argparse.ArgumentTypeError(f"expected {length} bytes of hexadecimal")
        return value
    return parse


def _main(argv: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)

    commands.add_parser("keygen", help="print a throwaway key pair as JSON")

    start = commands.add_parser("session-start", help="print a signed session-start command")
    start.add_argument("--secret-key", required=True, help="base64url 32-byte seed (keygen)")
    start.add_argument("--key-id", default="dev-key")
    start.add_argument("--session-id", default=None, help="UUID; random when left out")
    start.add_argument("--requester-name", default="Developer companion")
    start.add_argument("--requester-device-id", required=True, type=uuid.UUID)
    start.add_argument("--requester-fingerprint", required=True, type=_hex_bytes(32))
    start.add_argument("--target-device-id", required=True, type=uuid.UUID)
    start.add_argument("--target-fingerprint", required=True, type=_hex_bytes(32))
    start.add_argument("--permission", action="append", choices=PERMISSION_NAMES,
                       help="repeat for each permission (default VIEW_SCREEN)")
    start.add_argument("--entitlement", action="append", default=[])
    start.add_argument("--display-id", default="")
    start.add_argument("--role", type=int, default=1)
    start.add_argument("--approval-mode", type=int, default=1)
    start.add_argument("--now", type=int, default=None, help="Unix seconds; default the clock")
    start.add_argument("--issued-offset", type=int, default=0, help="seconds added to now")
    start.add_argument("--lifetime", type=int, default=60, help="ticket lifetime in seconds")
    start.add_argument("--lease", type=int, default=300, help="lease length in seconds")

    fixture = commands.add_parser("fixture", help="write the fixed test ticket file")
    fixture.add_argument("output")

    args = parser.parse_args(argv)
    if args.command == "keygen":
        seed, public_key = generate_key_pair()
        print(json.dumps({"secretKey": base64url(seed), "publicKey": base64url(public_key)}))
    elif args.command == "fixture":
        with open(args.output, "w", encoding="utf-8") as out:
            out.write("\n".join(_fixture_lines()) + "\n")
    else:
        now = args.now if args.now is not None else int(time.time())
        issued = now + args.issued_offset
        ticket = SessionTicket(
            session_id=(uuid.UUID(args.session_id) if args.session_id else uuid.uuid4()).bytes,
            requester=DeviceBinding(args.requester_device_id.bytes, args.requester_fingerprint),
            target=DeviceBinding(args.target_device_id.bytes, args.target_fingerprint),
            role=args.role,
            permissions=permission_values(args.permission or ["VIEW_SCREEN"]),
            entitlements=sorted(args.entitlement, key=lambda e: e.encode("utf-8")),
            display_id=args.display_id,
            approval_mode=args.approval_mode,
            issued_at_unix_s=issued,
            expires_at_unix_s=issued + args.lifetime,
            nonce=os.urandom(32),
            protocol_major=1,
            signing_key_id=args.key_id,
            requester_dtls_fingerprint_sha256=os.urandom(32),
            target_dtls_fingerprint_sha256=os.urandom(32),
        )
        seed = decode_base64url(args.secret_key)
        command = session_start_command(ticket, seed, args.requester_name,
                                        (now + args.lease) * 1000)
        print(json.dumps(command))
    return 0


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
