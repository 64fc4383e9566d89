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

DEMO_BOARD := examples/cortex-m4

demo: deps
	@$(MAKE) --no-print-directory build
	$(BUILD_DIR)/ldweave -check-segment-overflow \
	    -memory-map-file $(DEMO_BOARD)/memory_map.xml \
	    -section-placement-file $(DEMO_BOARD)/placement.xml \
	    $(BUILD_DIR)/demo.ld
	@echo "Wrote $(BUILD_DIR)/demo.ld for $(DEMO_BOARD); it begins:"
	@head -n 20 $(BUILD_DIR)/demo.ld

clean:
	rm -rf $(BUILD_DIR)
