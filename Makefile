# Entry points for people and CI. Everything is built in build/ with CMake.
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all build deps test demo bench bench-smoke bench-micro clean

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

# Whole-program costs over example and generated inputs, as one table (bench/run_bench.py).
BENCH_WORK := $(BUILD_DIR)/bench-runs
BENCH_TOOLS := --ldweave $(BUILD_DIR)/ldweave --floor $(BUILD_DIR)/bench/ldweave_floor \
    --launcher $(BUILD_DIR)/bench/ldweave_run_measured --work $(BENCH_WORK)

bench: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target ldweave ldweave_floor ldweave_run_measured
	python3 bench/run_bench.py $(BENCH_TOOLS)

# A check that run time grows linearly with the input, short enough for every CI run.
bench-smoke: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target ldweave ldweave_floor ldweave_run_measured
	python3 bench/run_bench.py --smoke $(BENCH_TOOLS)

# Google Benchmark micro-benchmarks of the parser, evaluation, expansion and the writer.
bench-micro: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target ldweave_microbench
	$(BUILD_DIR)/bench/ldweave_microbench

clean:
	rm -rf $(BUILD_DIR)
