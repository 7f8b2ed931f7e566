#!/usr/bin/python3
"""Writes the committed seed corpus of the protocol fuzzers.

    /usr/bin/python3 protocol/fuzz/make_seed_corpus.py

Builds its tickets with tools/ombrelin_tickets.py around the fixed key, clock and
host that session_start_fuzzer.cc also uses.
"""

import dataclasses
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools"))

import ombrelin_tickets as tickets  # noqa: E402

SIGN_PAYLOAD, USE_FIXED_KEY, FIXED_KEY_METADATA = 0x01, 0x02, 0x04


def field(data: bytes) -> bytes:
    return struct.pack("<H", len(data)) + data


def session_start_input(flags: int, ticket_field: bytes, *, name=b"Fixture companion",
                        permissions=b"\x00\x02\x03\x07", key_id=b"fixture-key-1",
                        session_id=b"1e2d3c4b-5a69-4788-a6b5-c4d3e2f1a0b9", public_key=b"",
                        lease_ahead_ms=240_000) -> bytes:
    return (bytes([flags]) + field(name) + field(permissions) + field(key_id) +
            field(session_id) + field(ticket_field) + field(public_key) +
            struct.pack("<I", lease_ahead_ms))


def main() -> None:
    f = tickets.fixture()
    payload = tickets.encode_session_ticket(f.ticket)
    signature = tickets.sign_ticket(payload, f.seed)
    envelope = tickets.encode_signed_session_ticket(payload, signature)
    text = tickets.base64url(envelope).encode("ascii")

    decoders = {
        "payload.bin": payload,
        "envelope.bin": envelope,
        "envelope_text.bin": text,
        # Unknown fields of every wire type, a group among them, and unpacked permissions.
        "payload_unknown_fields.bin": payload + bytes.fromhex(
            "900105 99010102030405060708 a20100 a301 9001 01 a401 ad0101020304"),
        "payload_unpacked_permissions.bin": tickets.encode_session_ticket(
            dataclasses.replace(f.ticket, permissions=())) + bytes.fromhex("28012803"),
    }
    session_start = {
        "signed_payload.bin": session_start_input(
            SIGN_PAYLOAD | USE_FIXED_KEY | FIXED_KEY_METADATA, payload),
        "envelope_text.bin": session_start_input(USE_FIXED_KEY | FIXED_KEY_METADATA, text),
        "own_key_text.bin": session_start_input(
            FIXED_KEY_METADATA, text,
            public_key=tickets.base64url(tickets.public_key_of(f.seed)).encode("ascii")),
        "view_only.bin": session_start_input(
            SIGN_PAYLOAD | USE_FIXED_KEY | FIXED_KEY_METADATA,
            tickets.encode_session_ticket(dataclasses.replace(f.ticket, permissions=(1,))),
            permissions=b"\x00"),
    }
    for directory, files in (("decoders", decoders), ("session_start", session_start)):
        target = HERE / "corpus" / directory
        target.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (target / name).write_bytes(data)


if __name__ == "__main__":
    main()
