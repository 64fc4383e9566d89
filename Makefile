# Entry points for people and CI. Everything is built in build/ with CMake.
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all build deps test demo clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Prerequisites are listed as a sequence, so "make -j2 test" still installs before it builds.
test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: deps
	@$(MAKE) --no-print-directory build
	@echo "ldweave without arguments shows its usage text:"
	-@$(BUILD_DIR)/ldweave

clean:
	rm -rf $(BUILD_DIR)
