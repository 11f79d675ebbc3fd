# Thin wrapper around CMake. Every target first installs what is missing.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ifneq ($(CI),)
CMAKE_FLAGS += -DZARN_WERROR=ON
endif

.PHONY: all bootstrap build test run asan tsan bench clean

all: build

bootstrap:
	@./scripts/bootstrap

build: bootstrap
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	./$(BUILD_DIR)/bin/zarn-player

# Sanitizer builds run the same tests in their own build folders.
asan:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DZARN_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug"

tsan:
	$(MAKE) test BUILD_DIR=build-tsan CMAKE_FLAGS="$(CMAKE_FLAGS) -DZARN_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug"

bench: build
	./scripts/run-benchmarks $(BUILD_DIR)

clean:
	rm -rf build build-asan build-tsan
