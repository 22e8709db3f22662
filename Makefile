# Entry points: `make run` opens the simulator, `make test` runs every check.
# Both install what is missing (Debian 12, as root) before they build.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PKG_BUILD  ?= build-pkg
WEB_BUILD  ?= build-web
WEB_PORT   ?= 8080
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SMOKE_SECONDS ?= 10

PACKAGES = cmake ninja-build g++ flex libfl-dev libgtest-dev qt6-base-dev \
           clang libclang-rt-14-dev xvfb xauth libbenchmark-dev \
           clang-format libkf5syntaxhighlighting-tools desktop-file-utils shared-mime-info \
           man-db groff-base \
           libxml2-utils lcov sigrok-cli gtkwave
# The browser edition: Debian's emscripten (with the JavaScript parser its optimizer loads),
# Node for the runner, the page's build and its tests, and the two browsers the tests drive.
# Node and npm come from Debian only where the machine has no Node of its own (a newer Node
# with its own npm conflicts with Debian's npm package).
WEB_PACKAGES = emscripten node-acorn chromium firefox-esr \
               $(if $(shell command -v node),,nodejs) $(if $(shell command -v npm),,npm)
# Making and checking the Debian package needs these too; only the package targets install them.
PACKAGE_TOOLS = dpkg-dev lintian debootstrap

# The tested build is the optimised one that users and the benchmarks get, so that warnings only
# its optimiser raises fail here and not on a user's machine.
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVX_WERROR=ON
# The sanitizer and fuzz builds keep debug information for their reports.
DEBUG_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Any finding ends the sanitizer run. Use after return and initialisation order are checked
# too: both are off by default and cost little here.
ASAN_OPTS = halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
# Leaks inside third-party libraries only; see the file.
LSAN_OPTS = suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

# Installs those of the Debian packages $(1) that are missing; only root may.
define install_missing
	@missing=""; \
	for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    if [ "$$(id -u)" -ne 0 ]; then echo "run as root to install:$$missing" >&2; exit 1; fi; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

.PHONY: deps build test test-release test-asan fuzz-smoke fuzz bench run clean \
        web-deps web-engine web run-web test-web bench-web

deps:
	$(call install_missing,$(PACKAGES))

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: test-release test-asan fuzz-smoke test-web

test-release: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(DEBUG_FLAGS) -DKVX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=$(ASAN_OPTS) \
	    LSAN_OPTIONS=$(LSAN_OPTS) \
	    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

$(FUZZ_BUILD)/fuzz/fuzz_load: deps
	cmake -S . -B $(FUZZ_BUILD) $(DEBUG_FLAGS) -DCMAKE_CXX_COMPILER=clang++ \
	    -DKVX_FUZZ=ON -DKVX_BUILD_GUI=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_load fuzz_operand fuzz_scenario fuzz_engine fuzz_replay

fuzz-smoke: $(FUZZ_BUILD)/fuzz/fuzz_load
	sh fuzz/run.sh $(FUZZ_BUILD) $(SMOKE_SECONDS)

fuzz: $(FUZZ_BUILD)/fuzz/fuzz_load
	sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Every figure is the median of 10 repetitions, interleaved in random order so that a slow
# stretch of the machine spreads over all benchmarks instead of spoiling one.
bench: build
	./$(BUILD)/bench/kvx-bench --benchmark_repetitions=10 \
	    --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2

.PHONY: package-deps package test-package

package-deps: deps
	$(call install_missing,$(PACKAGE_TOOLS))

# The package is built from its own tree, for /usr and with Debian's hardening flags, and lands
# here as kvx-simulator_VERSION_ARCH.deb. Only the programs are built, not the test suite.
# Warnings do not fail it: the hardening flags wake gcc false positives that the normal build,
# which does fail on warnings, has no reason to see.
package: package-deps
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(PKG_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	    -DKVX_WERROR=OFF \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PKG_BUILD) -j $(JOBS) --target kvx kvx-sim kvx_packaging_files
	rm -f $(PKG_BUILD)/kvx-simulator_*.deb kvx-simulator_*.deb
	cd $(PKG_BUILD) && cpack -G DEB
	cp $(PKG_BUILD)/kvx-simulator_*.deb .
	@ls -l kvx-simulator_*.deb

# Slow (a fresh Debian 12 in a chroot), so not part of `make test`.
test-package: package
	lintian --fail-on error --display-info kvx-simulator_*.deb
	sh packaging/test-package.sh $(PKG_BUILD)/test-root kvx-simulator_*.deb

# ---- the browser edition ----
# emscripten's optimizer finds Debian's acorn only through NODE_PATH.
WEB_ENV = NODE_PATH=/usr/share/nodejs

web-deps:
	$(call install_missing,$(PACKAGES) $(WEB_PACKAGES))

web-engine: web-deps
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DKVX_WERROR=ON
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j $(JOBS)

# The scan rows of the benchmark table on the engine built for Node; not part of `make test`.
bench-web: web-engine
	node --no-experimental-fetch $(WEB_BUILD)/bench/kvx-bench-node.js

# The page: a static folder that any web server can serve from any path.
web: web-engine
	cd web && npm ci --no-audit --no-fund
	node web/build.mjs $(WEB_BUILD)/site $(WEB_BUILD)/engine examples

run-web: web
	@echo "KVX-Simulator im Browser: http://localhost:$(WEB_PORT)/"
	node web/serve.mjs $(WEB_BUILD)/site $(WEB_PORT)

# The runner built for Node passes the native runner's tests, except those of the process and
# file system underneath, which Node does not give a WebAssembly program: names that are not
# UTF-8, the identity of standard input, file modes, SIGPIPE and memory limits. Then the page's
# tests in both browsers, which compare the page's test runs and recordings with the native runner.
NODE_RUNNER_SKIPS = *JUnitIsWellFormedWhateverTheTextsHold:*TheReportIsReplacedWholeNotRewrittenInPlace:*TheReportNeverOverwritesAnInput:*AClosedPipeEndsTheRunPromptly:*RunningOutOfMemoryFailsTheLoadNotTheRun
test-web: web build
	for program in examples/*.awl; do \
	    $(WEB_BUILD)/kvx-node test $$program $${program%.awl}.scn || exit 1; \
	done
	cd $(BUILD)/tests/cli && KVX_TEST_BINARY=$(CURDIR)/$(WEB_BUILD)/kvx-node \
	    ./cli_tests --gtest_filter=-$(NODE_RUNNER_SKIPS)
	KVX_NATIVE=$(CURDIR)/$(BUILD)/cli/kvx node web/test/run.mjs $(WEB_BUILD)/site

run: build
	./$(BUILD)/frontend/kvx-sim examples/lamps.awl

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WEB_BUILD) web/node_modules
	rm -rf $(PKG_BUILD) kvx-simulator_*.deb
