#!/usr/bin/python3
"""Peak memory of a host whose page floods it while it cannot answer.

The page sends FRAMES control frames of 32 KB each (a key code far beyond the
size limit, which the decoded message keeps) and reads no response, so the
host's output pipe fills and its main loop waits on its write. The reader thread
then waits too, after a few decoded messages, and the page's further frames wait
in the input pipe. Prints the host's peak resident memory (VmHWM) when idle after
the handshake and under the flood, then reads every answer.

    bench/reader_flood_rss.py [--frames N] [--host PATH]
"""

import argparse
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))

import ombrelin_native as native  # noqa: E402

BODY_BYTES = 32 * 1024


def peak_rss_kib(pid: int) -> int:
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    raise RuntimeError("no VmHWM")


def frame(agent_challenge: str, request_id: str) -> bytes:
    control = {"type": "key-transition", "v": 1, "seq": 1, "code": "", "down": True, "modifiers": 0}
    command = {"type": "control", "sessionId": "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f", "control": control}
    message = native.command_message(agent_challenge, command, request_id)
    control["code"] = "K" * (BODY_BYTES - len(native.compact(message)))
    return native.encode_frame(native.compact(message))


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--frames", type=int, default=10_000)
    parser.add_argument("--host", help="host binary (default: the Linux build)")
    args = parser.parse_args()
    binary = native.HostBinary([args.host]) if args.host else native.linux_binary()
    with native.HostProcess(binary, config=native.default_config()) as host:
        host.handshake()
        idle = peak_rss_kib(host.process.pid)
        ids = [native.token() for _ in range(args.frames)]
        written = []

        def write_all():
            for request_id in ids:
                if not host.send_raw(frame(host.agent_challenge, request_id)):
                    return
                written.append(request_id)

        writer = threading.Thread(target=write_all, daemon=True)
        writer.start()
        last, still_since = -1, time.monotonic()
        while writer.is_alive() and time.monotonic() - still_since < 1.0:
            if len(written) != last:
                last, still_since = len(written), time.monotonic()
            time.sleep(0.02)
        blocked = peak_rss_kib(host.process.pid)
        answers = [host.receive() for _ in ids]
        writer.join()
        flooded = peak_rss_kib(host.process.pid)
        assert [answer["requestId"] for answer in answers] == ids, "answers lost or reordered"
        status, _ = host.finish()
        assert status == 0, status
    print(f"{args.frames} frames of {BODY_BYTES // 1024} KB, the page reading nothing until "
          f"{last} had been written:")
    print(f"  peak RSS idle after the handshake {idle / 1024:.1f} MiB, while blocked "
          f"{blocked / 1024:.1f} MiB, after every answer {flooded / 1024:.1f} MiB "
          f"(+{(flooded - idle) / 1024:.2f} MiB)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
