"""Browser tests: Debian's Chromium, driven by Playwright, starts the Linux build
of the host through a test extension (see harness.py)."""

import os
import signal
from pathlib import Path

import pytest

import browser_harness as harness
import ombrelin_native as native

def pytest_report_header(config):
    return f"browser: {harness.CHROMIUM}; host: {native.linux_binary().command[0]}"


@pytest.fixture(scope="session")
def browser(tmp_path_factory):
    """One headless Chromium for the whole session, with both test extensions;
    the host manifest lets both call the host, the host's configuration only
    "allowed"."""
    host = Path(native.linux_binary().command[0])
    assert host.is_file(), f"{host} is missing: build it first (make linux)"
    assert Path(harness.CHROMIUM).exists(), f"{harness.CHROMIUM} is missing (apt-get install chromium)"
    assert (harness.HERE / "node_modules" / "playwright-core").is_dir(), \
        "playwright-core is missing: run npm ci in tests/browser"

    root = tmp_path_factory.mktemp("browser")
    profile = root / "profile"
    extensions = harness.build_extensions(root)
    config = native.default_config(allowedExtensionIds=[extensions["allowed"].id], deviceName=harness.DEVICE_NAME)
    install = harness.HostInstall(
        root / "host", host, config, desktop={"consent": ["yes"]},
        allowed_origins=[extension.origin for extension in extensions.values()], profile=profile)
    driver = harness.BrowserDriver(root, profile, list(extensions.values()))
    try:
        yield Browser(driver, install, extensions)
    finally:
        driver.close()
        for run in install.all_runs():
            if run.host_alive():
                try:
                    os.kill(run.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass


class Browser:
    def __init__(self, driver, install, extensions):
        self.driver = driver
        self.install = install
        self.extensions = extensions


@pytest.fixture
def open_page(browser):
    """Opens the test extension's page in a new tab; every tab is closed, and
    every host the test's tabs started must have ended without writing to
    standard error, when the test ends."""
    pages = []
    before = browser.install.run_names()

    def open_extension_page(name: str) -> harness.ExtensionPage:
        page = browser.driver.open_page(browser.extensions[name])
        pages.append(page)
        return page

    yield open_extension_page
    for page in pages:
        page.close()
    runs = [harness.HostRun(browser.install.runs / name) for name in browser.install.run_names() - before]
    for run in runs:
        run.wait_exit()
        assert not run.host_alive()
        assert run.stderr == b"", f"the host wrote to standard error: {run.stderr[:500]!r}"
