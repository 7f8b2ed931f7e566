"""The real Windows agent on a desktop: build/windows's .exe under Wine, shown on
an Xvfb screen, with the desktop helper playing the local user.

One Xvfb server and one Wine session serve the whole run; both are ended when
it ends. Each test's hosts and helpers are ended when the test ends, and the
desktop must then hold no consent box and no indicator, so that no test sees
another one's windows.
"""

import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools"))
sys.path.insert(0, str(HERE))

import ombrelin_native as native  # noqa: E402
import wine_desktop as wd  # noqa: E402


def pytest_report_header(config):
    return f"Windows host: {wd.HOST_EXE} under Wine in {wd.PREFIX}, on Xvfb"


@pytest.fixture(scope="session")
def wine_session():
    logs = wd.PREFIX.parent
    logs.mkdir(parents=True, exist_ok=True)
    screen = wd.VirtualScreen(logs / "desktop-xvfb.log")
    lock = wd.PrefixLock()
    desktop = None
    try:
        wd.require_programs()
        lock.acquire()
        screen.start()
        desktop = wd.WineDesktop(screen.display, logs / "desktop-session.log")
        desktop.start()
    except wd.WineMisbehaved as problem:
        if desktop is not None:
            desktop.stop()
        screen.stop()
        lock.release()
        pytest.fail(str(problem), pytrace=False)
    try:
        yield desktop
    finally:
        try:
            desktop.stop()
        finally:
            screen.stop()
            lock.release()


@pytest.fixture
def user(wine_session):
    """The local user at the desktop (the desktop helper)."""
    helper = wd.DesktopHelper(wine_session)
    yield helper
    helper.end_background()
    # Keys and buttons stay down on Wine's desktop until something lets go of
    # them; a test that failed while they were held must not type into the next.
    helper.run("release-input")
    # The hosts of the test have ended by now (see `start`): their windows must be gone.
    left = [name for name, gone in (("consent box", helper.consent_gone(5000)),
                                    ("indicator", helper.indicator_gone(5000))) if not gone]
    if left:
        pytest.fail(f"a {' and an '.join(left)} outlived the test's hosts", pytrace=False)


@pytest.fixture
def start(wine_session, user):
    """Starts hosts under Wine; every host is ended when the test ends."""
    hosts = native.StartedHosts(wine_session.host_binary())
    yield hosts.start
    hosts.close_all()


@pytest.fixture
def ready(start):
    """A host that has completed the handshake."""

    def ready_host(**kwargs):
        host = start(**kwargs)
        host.handshake()
        return host

    return ready_host
