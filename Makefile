# Thin front end over CMake. Every target that builds installs missing packages first.
BUILD    ?= build
ASAN     ?= build-asan
RELEASE  ?= build-release
BENCH    ?= build-bench
FUZZ     ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CHECK_SECONDS ?= 5
SOAK_SECONDS ?= 3600
JOBS     ?= $(shell nproc)
PREFIX   ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all deps build run demo check test test-asan format format-check clean
.PHONY: release install package package-test screenshots bench fuzz fuzz-check soak

all: build

deps:
	@scripts/setup-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/wirelark

# The window against the simulated slave device; closing the window stops the simulator.
demo:
	@BUILD=$(BUILD) scripts/demo.sh

test: build
	scripts/run-tests.sh $(BUILD)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_WERROR=ON \
	    -DWIRELARK_SANITIZE=ON -DWIRELARK_BUILD_BENCH=OFF $(CMAKE_FLAGS)

test-asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)
	scripts/run-tests.sh $(ASAN)

$(RELEASE)/build.ninja: | deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DWIRELARK_BUILD_TESTS=OFF -DWIRELARK_BUILD_BENCH=OFF $(CMAKE_FLAGS)

release: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)

# make install PREFIX=/usr DESTDIR=/tmp/stage
install: release
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix $(PREFIX)

# The Debian package lands in $(RELEASE)/ as wirelark_<version>-1_<arch>.deb.
package: release
	cd $(RELEASE) && cpack -G DEB

# Installs the package on this machine, starts it on Xvfb, removes it again (needs root).
package-test: package
	packaging/package-test.sh $(RELEASE)

$(BENCH)/build.ninja: | deps
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DWIRELARK_BUILD_TESTS=OFF -DWIRELARK_BUILD_BENCH=ON $(CMAKE_FLAGS)

# Our code against the straightforward design: one table of figures, references and targets.
bench: deps $(BENCH)/build.ninja
	cmake --build $(BENCH) -j $(JOBS)
	scripts/bench.sh $(BENCH)

# Makes the screenshots in docs/ on Xvfb against the simulator.
screenshots: build
	scripts/screenshots.sh $(BUILD) docs

# libFuzzer targets built with clang, each run FUZZ_SECONDS from its seed corpus in fuzz/corpus.
fuzz: deps
	BUILD_FUZZ=$(FUZZ) scripts/fuzz.sh $(FUZZ_SECONDS)

fuzz-check: deps
	BUILD_FUZZ=$(FUZZ) FUZZ_SEED=1 scripts/fuzz.sh $(FUZZ_CHECK_SECONDS)

# Continuous sending at 10 ms against the simulator for SOAK_SECONDS (an hour); not part of check.
soak: build
	scripts/soak.sh $(BUILD) $(SOAK_SECONDS)

# The test command: a short fuzz run, the plain build and tests, the same tests under ASan and UBSan.
check: format-check fuzz-check test test-asan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN) $(RELEASE) $(BENCH) $(FUZZ)
