"""A page that keeps writing while the host cannot answer.

The main loop stops while its output pipe is full (the page reads no responses)
or while the consent box is open. The reader thread then stops too, after a few
decoded messages, and the page's further frames wait in the input pipe: the host's
memory stays bounded, and nothing is lost or reordered once the page reads again.
"""

import threading
import time
from pathlib import Path

import pytest

import ombrelin_native as native

pytestmark = pytest.mark.usefixtures("simulated_only")

FRAMES = 2000
BODY_BYTES = 32 * 1024
# Well above what a few decoded messages take, far below the 64 MiB the frames hold.
GROWTH_LIMIT_BYTES = 16 * 1024 * 1024


def peak_rss(host) -> int:
    """The host's peak resident memory so far, in bytes (Linux /proc)."""
    for line in Path(f"/proc/{host.process.pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) * 1024
    raise AssertionError("no VmHWM in /proc")


def long_control_frame(host, request_id: str) -> bytes:
    """A control command of exactly BODY_BYTES whose decoded form keeps most of
    them (a key code far beyond the control message's size limit)."""
    control = {"type": "key-transition", "v": 1, "seq": 1, "code": "", "down": True, "modifiers": 0}
    command = {"type": "control", "sessionId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f", "control": control}
    message = native.command_message(host.agent_challenge, command, request_id)
    control["code"] = "K" * (BODY_BYTES - len(native.compact(message)))
    body = native.compact(message)
    assert len(body) == BODY_BYTES
    return native.encode_frame(body)


@pytest.fixture
def plain_build(binary):
    # A sanitizer's own bookkeeping (freed memory held in quarantine) would be
    # counted as the host's.
    if any(name in " ".join(binary.command) for name in ("asan", "tsan")):
        pytest.skip("memory is measured on the plain build")


def test_memory_stays_bounded_while_the_host_cannot_answer(ready, plain_build):
    host = ready()
    idle = peak_rss(host)
    ids = [native.token() for _ in range(FRAMES)]
    frames = [long_control_frame(host, request_id) for request_id in ids]

    written = []

    def write_all():
        for frame in frames:
            if not host.send_raw(frame):
                return
            written.append(1)

    writer = threading.Thread(target=write_all, daemon=True)
    writer.start()
    # No response is read: the host's output pipe fills and its main loop waits.
    # Wait until the writer has finished or has stopped making progress.
    last, still_since = -1, time.monotonic()
    deadline = time.monotonic() + 30
    while writer.is_alive() and time.monotonic() < deadline:
        if len(written) != last:
            last, still_since = len(written), time.monotonic()
        elif time.monotonic() - still_since > 0.5:
            break
        time.sleep(0.02)
    peak = peak_rss(host)

    # Reading again, the page gets every answer, in the order it asked.
    answers = [host.receive() for _ in range(FRAMES)]
    writer.join(30)
    assert [answer["requestId"] for answer in answers] == ids
    assert all(answer["error"] == "The control message exceeds its size limit." for answer in answers)
    assert peak - idle < GROWTH_LIMIT_BYTES, f"grew by {(peak - idle) / 2**20:.1f} MiB"
    assert host.finish() == (0, b"")
