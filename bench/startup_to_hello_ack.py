#!/usr/bin/python3
"""Times the host's start-up: from spawning the process to receiving the
hello-ack, over repeated runs. The browser waits this long before the first
command can go out.

    bench/startup_to_hello_ack.py [--runs N] [--host PATH]
"""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))

import ombrelin_native as native  # noqa: E402


def one_run(binary: native.HostBinary) -> float:
    started = time.perf_counter()
    with native.HostProcess(binary, config=native.default_config()) as host:
        host.send(native.hello(native.token(), native.token()))
        ack = host.receive()
        elapsed = time.perf_counter() - started
        assert ack and ack["type"] == "hello-ack", ack
        status, _ = host.finish()
        assert status == 0, status
    return elapsed


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=50)
    parser.add_argument("--host", help="host binary (default: the Linux build)")
    args = parser.parse_args()
    binary = native.HostBinary([args.host]) if args.host else native.linux_binary()
    times = sorted(one_run(binary) * 1000 for _ in range(args.runs))
    print(
        f"start-up to hello-ack over {args.runs} runs: median {statistics.median(times):.2f} ms, "
        f"p90 {times[int(len(times) * 0.9) - 1]:.2f} ms, min {times[0]:.2f} ms, max {times[-1]:.2f} ms"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
