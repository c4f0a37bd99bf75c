# Thin front end over CMake. Every target that builds installs missing packages first.
BUILD    ?= build
ASAN     ?= build-asan
RELEASE  ?= build-release
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run check test test-asan format format-check clean

all: build

deps:
	@scripts/setup-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/wirelark

test: build
	scripts/run-tests.sh $(BUILD)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_WERROR=ON \
	    -DWIRELARK_SANITIZE=ON -DWIRELARK_BUILD_BENCH=OFF $(CMAKE_FLAGS)

test-asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)
	scripts/run-tests.sh $(ASAN)

# The test command: plain build and tests, then the same tests under ASan and UBSan.
check: format-check test test-asan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN) $(RELEASE)
