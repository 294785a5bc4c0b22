# vxstat: make (build), make run, make test, make demo, make deps, make bench.
BUILD ?= build
JOBS ?= $(shell nproc)
MODE ?= web

.PHONY: all deps check-deps build run test lint unit clean demo bench windows test-windows measure install package

all: build

# Installs the Debian packages the build and the tests need (as root). Nothing
# else runs apt-get: `make` only says what is missing.
deps:
	@scripts/bootstrap

check-deps:
	@scripts/bootstrap --check

build: check-deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then echo "make run: no desktop to show vxstat on (DISPLAY is not set)" >&2; exit 1; fi
	$(BUILD)/vxstat

# Installs the program, its desktop entry, icons and metadata under PREFIX
# (default /usr/local), below DESTDIR when that is given.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, its dependencies taken from the libraries the program
# links: $(BUILD)/vxstat_VERSION_ARCH.deb (sudo dpkg -i it).
package: build
	@cd $(BUILD) && cpack -G DEB

# The strict build, then at once: every test in a private network namespace;
# the Windows program cross-built and its tests under Wine; the unit tests once
# more under AddressSanitizer and UndefinedBehaviorSanitizer; the code's form
# and clang-tidy (scripts/test-all; each phase's log in $(BUILD)/test-logs).
# Packages are installed first only when one is missing.
test: deps
	@BUILD=$(BUILD) JOBS=$(JOBS) scripts/test-all

lint: build
	@JOBS=$(JOBS) scripts/lint $(BUILD)

# vxstat reading a simulated router on 127.0.0.1: MODE=web (default), MODE=upnp, MODE=snmp
# (Debian's real snmpd, reading this machine's interfaces) or
# MODE=console (port 23, needs root); MODE=recorder: vxstat-recorder and its page.
demo: deps
	@$(MAKE) --no-print-directory build
	@BUILD=$(BUILD) scripts/demo $(MODE)

# The text work of one tick, measured with Google Benchmark.
bench: check-deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVXSTAT_UNIT_ONLY=ON -DVXSTAT_TESTS=OFF \
	  -DVXSTAT_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS) --target bench_parse bench_tick bench_history bench_history_window
	$(BUILD)-bench/bench/bench_parse
	$(BUILD)-bench/bench/bench_tick
	$(BUILD)-bench/bench/bench_history
	$(BUILD)-bench/bench/bench_history_window

# The native Windows program, cross-built with mingw-w64: build-win/vxstat.exe.
windows: check-deps
	@cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DVXSTAT_BACKEND=win32 \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-win -j $(JOBS) --target vxstat

# The Windows program's tests under Wine, in a private network namespace.
test-windows: windows
	@scripts/in-private-net scripts/test-windows

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench build-win

# Every mode (window shown and hidden in the tray), the Qt floors and the
# recorder side by side: CPU per tick, PSS, RSS and USS, and the targets (about
# 2.5 minutes; scripts/measure --help for shorter or longer rounds).
measure: build
	@scripts/in-private-net scripts/measure
