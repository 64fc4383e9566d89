# Entry points for people and CI. Everything is built in build/ with CMake.
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all build deps deps-tool test demo test-sanitize fuzz bench bench-smoke bench-micro clean

all: build

deps:
	@bash scripts/install-deps.sh all

deps-tool:
	@bash scripts/install-deps.sh tool

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# CTest names a skipped test (one whose programs are not installed) but does not show its output;
# after the run, print each reason for skipping once, with the number of tests it skipped.
RUN_CTEST := ctest --output-on-failure -j $(JOBS); status=$$?; \
    grep -h '^skipped: ' Testing/Temporary/LastTest.log | sort | uniq -c; exit $$status

# Prerequisites are listed as a sequence, so "make -j2 test" still installs before it builds.
# Configuring again switches the tests on in a folder that "make demo" configured without them.
test: deps
	cmake -S . -B $(BUILD_DIR) -DBUILD_TESTING=ON
	@$(MAKE) --no-print-directory build
	cd $(BUILD_DIR) && $(RUN_CTEST)

DEMO_BOARD := examples/cortex-m4

# Only what the tool needs: the "tool" packages, a first configure without the tests (a folder
# configured before keeps its settings) and the ldweave target alone.
demo: deps-tool
	@test -f $(BUILD_DIR)/CMakeCache.txt || cmake -S . -B $(BUILD_DIR) -DBUILD_TESTING=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target ldweave
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

# The whole test suite (unit tests and whole-program cases) built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize; any report fails the run.
SANITIZE_DIR := build-sanitize

test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDWEAVE_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 && $(RUN_CTEST)

# Every libFuzzer target in fuzz/ for FUZZ_SECONDS seconds each, built with clang in build-fuzz,
# starting from the committed corpus (copied, so the repository does not grow).
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := xml_parser expression macros preprocessor pipeline elf_sections

fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDWEAVE_FUZZ=ON \
	    -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	bash fuzz/run_fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD_DIR)
