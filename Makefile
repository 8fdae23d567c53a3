# The front door. `make demo` runs every discovery operation on the embedded
# demo datastore; `make test` builds and runs the whole test suite.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: all deps configure build test test-asan demo bench fuzz install clean

all: build

deps:
	@scripts/ensure-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOLB_SANITIZE=ON \
	  -DOLB_BENCH=OFF -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

demo: build
	@app/demo.sh $(BUILD)

# Installs under PREFIX (bin/, lib/olb/, libexec/olb/, share/olb/).
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	@bench/run.sh $(BUILD)

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLB_FUZZ=ON \
	  -DOLB_BENCH=OFF -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target olb_fuzzers
	@fuzz/run.sh $(FUZZ_BUILD) $${FUZZ_SECONDS:-8}

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
