# vxstat: make (build), make run, make test, make demo.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all build run test unit bootstrap clean

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

clean:
	rm -rf $(BUILD) $(BUILD)-asan

.PHONY: measure
# CPU per tick and peak memory of the real program, against a minimal Qt floor.
measure: build
	@scripts/in-private-net scripts/measure
