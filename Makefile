# The two commands a newcomer runs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-unit asan demo bench fuzz format clean

all: build

deps:
	scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Every test: unit, integration (real Chromium, SQLite, HTTP on loopback) and end to end.
test: build
	scripts/with-services ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -L unit -j $(JOBS)

# Address and undefined-behaviour sanitizers over the unit tests.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVRIK_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -L unit -j $(JOBS)

demo: build
	$(BUILD)/src/cli/tovrik demo

bench: build
	scripts/run-benchmarks

format:
	git ls-files 'src/*.h' 'src/*.cpp' 'tests/*.h' 'tests/*.cpp' 'bench/*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
