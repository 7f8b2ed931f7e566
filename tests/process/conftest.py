"""Process-level tests: the real built host, spoken to over pipes.

OMBRELIN_TARGET chooses the build: "linux" (default) runs build/linux's binary
against the simulated desktop; "windows" runs build/windows's .exe under Wine.
"""

import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

import ombrelin_native as native  # noqa: E402


def pytest_report_header(config):
    return f"host build: {os.environ.get('OMBRELIN_TARGET', 'linux')}"


@pytest.fixture(scope="session")
def binary():
    target = os.environ.get("OMBRELIN_TARGET", "linux")
    if target == "windows":
        import wine_host

        return wine_host.windows_binary()
    return native.linux_binary()


@pytest.fixture
def start(binary):
    """Starts a host; every host started is ended when the test ends.

    The host never prints anything, whatever happens; on the Linux build (Wine
    writes its own notes to standard error) the test's hosts are checked for that.
    """
    hosts = native.StartedHosts(binary)
    yield hosts.start
    hosts.close_all()
    if not binary.windows:
        printed = [host.stderr for host in hosts.hosts if host.stderr]
        assert not printed, f"the host wrote to standard error: {printed[0][:500]!r}"


@pytest.fixture
def ready(start):
    """A host that has completed the handshake."""

    def ready_host(**kwargs):
        host = start(**kwargs)
        host.handshake()
        return host

    return ready_host


@pytest.fixture
def windows_only(binary):
    if not binary.windows:
        pytest.skip("Windows build only")


@pytest.fixture
def simulated_only(binary):
    if binary.windows:
        pytest.skip("simulated desktop only")
