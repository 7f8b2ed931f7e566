# The two commands of the README: `make demo` and `make test`. Everything else
# here is a step of those two that is also useful alone.

PYTHON := /usr/bin/python3
PYTEST := $(PYTHON) -m pytest -q -p no:cacheprovider
JOBS   ?= 2

.PHONY: demo test setup linux asan tsan windows windows-deps wine-prefix \
        unit-tests process-tests asan-tests tsan-tests windows-tests fuzz bench clean \
        browser-tests setup-tests wine-tests packaging-tests dist reproducible-check

demo: linux
	$(PYTHON) tools/companion.py demo

test: unit-tests process-tests asan-tests tsan-tests fuzz windows-tests browser-tests setup-tests wine-tests \
      packaging-tests

setup:
	@scripts/install-deps.sh

linux: setup
	@cmake --preset linux >/dev/null
	@cmake --build build/linux -j$(JOBS)

asan: setup
	@cmake --preset linux-asan >/dev/null
	@cmake --build build/linux-asan -j$(JOBS)

tsan: setup
	@cmake --preset linux-tsan >/dev/null
	@cmake --build build/linux-tsan -j$(JOBS)

windows-deps: setup
	@scripts/build-windows-deps.sh

windows: windows-deps
	@cmake --preset windows >/dev/null
	@cmake --build build/windows -j$(JOBS)

wine-prefix: setup
	@scripts/wine-prefix.sh

unit-tests: linux
	ctest --test-dir build/linux --output-on-failure -j$(JOBS)

process-tests: linux
	$(PYTEST) tests/process

# The unit tests and the process-level tests again, under AddressSanitizer and
# UndefinedBehaviorSanitizer.
asan-tests: asan
	ctest --test-dir build/linux-asan --output-on-failure -j$(JOBS)
	OMBRELIN_HOST=$(CURDIR)/build/linux-asan/bin/ombrelin-native-host $(PYTEST) tests/process

# The threaded parts under ThreadSanitizer.
tsan-tests: tsan
	ctest --test-dir build/linux-tsan --output-on-failure -j$(JOBS)
	OMBRELIN_HOST=$(CURDIR)/build/linux-tsan/bin/ombrelin-native-host $(PYTEST) tests/process

# The same process-level tests against the real Windows build under Wine.
windows-tests: windows wine-prefix
	OMBRELIN_TARGET=windows $(PYTEST) tests/process

# The real .exe on a desktop: Xvfb and a Wine prefix of its own
# (build/wine/desktop-prefix), with tests/wine's helper program playing the
# local user at the consent box, the indicator and the emergency shortcut.
wine-tests: windows
	@OMBRELIN_WINEPREFIX=$(CURDIR)/build/wine/desktop-prefix scripts/wine-prefix.sh
	$(PYTEST) tests/wine

# A real browser: Debian's Chromium, headless and driven by Playwright
# (playwright-core from tests/browser/package-lock.json, never a downloaded
# browser), starts the Linux build through a test extension.
BROWSER_MODULES := tests/browser/node_modules/.package-lock.json
$(BROWSER_MODULES): tests/browser/package.json tests/browser/package-lock.json | setup
	cd tests/browser && npm ci --no-audit --no-fund --loglevel=error
	@touch $@

browser-tests: linux $(BROWSER_MODULES)
	$(PYTEST) tests/browser

# The per-user setup program (build/windows/bin/ombrelin-setup.exe) under Wine.
setup-tests: windows wine-prefix
	$(PYTEST) tests/setup

# The Windows packaging: version resources read back under Wine, the Windows
# Installer package (build/windows/bin/ombrelin-agent.msi) installed, refused,
# upgraded and uninstalled under Wine, and `make dist` signing with a
# throw-away certificate.
packaging-tests: windows wine-prefix
	$(PYTEST) tests/packaging

# The release files in build/dist/: both programs, the package and SHA256SUMS,
# signed when OMBRELIN_SIGNING_CERT and OMBRELIN_SIGNING_KEY name PEM files.
dist: windows
	@scripts/make-dist.sh

# Two builds from clean clones of the last commit, in other folders at other
# times, must give bit-identical release files. Not part of `make test`: it
# builds everything twice (.ci/run runs it).
reproducible-check: setup
	@scripts/check-reproducible.sh

# Each fuzzer runs briefly from its committed seed corpus (copied, so the
# repository's corpus stays as committed), under ASan and UBSan.
FUZZ_SECONDS ?= 15
FUZZERS := decoders_fuzzer:protocol/fuzz/corpus/decoders \
           session_start_fuzzer:protocol/fuzz/corpus/session_start \
           control_fuzzer:platform/windows/agent/src/input/fuzz/corpus
fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j$(JOBS)
	@set -e; for entry in $(FUZZERS); do \
	  name=$${entry%%:*}; seeds=$${entry#*:}; work=build/fuzz/corpus-$$name; \
	  rm -rf $$work; mkdir -p $$work; cp $$seeds/* $$work/; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  build/fuzz/bin/ombrelin_$$name -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    $$work 2>build/fuzz/$$name.log || { tail -50 build/fuzz/$$name.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units' build/fuzz/$$name.log; \
	done

bench: linux
	build/linux/bench/ombrelin_host_bench
	build/linux/bench/ombrelin_session_start_bench
	build/linux/bench/ombrelin_control_bench
	$(PYTHON) bench/startup_to_hello_ack.py

clean:
	rm -rf build/linux build/linux-asan build/linux-tsan build/windows build/dist
