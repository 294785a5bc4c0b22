# vxstat: make (build), make run, make test, make demo, make bench.
BUILD ?= build
JOBS ?= $(shell nproc)
MODE ?= web

.PHONY: all build run test unit bootstrap clean demo bench

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/vxstat

# Every test runs in a private network namespace; then the unit tests once
# more under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	@cmake -S . -B $(BUILD)-asan -DVXSTAT_UNIT_ONLY=ON -DVXSTAT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@scripts/in-private-net ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@scripts/in-private-net ctest --test-dir $(BUILD)-asan --output-on-failure -j $(JOBS)

# vxstat reading a simulated router on 127.0.0.1: MODE=web (default) or
# MODE=console (port 23, needs root).
demo: build
	@BUILD=$(BUILD) scripts/demo $(MODE)

# The text work of one tick, measured with Google Benchmark.
bench: bootstrap
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVXSTAT_UNIT_ONLY=ON -DVXSTAT_TESTS=OFF \
	  -DVXSTAT_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS) --target bench_parse bench_tick
	$(BUILD)-bench/bench/bench_parse
	$(BUILD)-bench/bench/bench_tick

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench

.PHONY: measure
# CPU per tick and peak memory of the real program, against a minimal Qt floor.
measure: build
	@scripts/in-private-net scripts/measure
