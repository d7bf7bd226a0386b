# Brivola: the two everyday commands are `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 5
# A time-out per input guards against hangs only: it is far above what the
# slowest document the crafted-document figure allows costs in the fuzz build
# on a loaded machine.
FUZZ_TIMEOUT ?= 30
# ctest's limit on each test program, above the largest a program sets itself
# (150 s, tests/CMakeLists.txt): the program's own watchdog ends a hung test
# first, with all it started; this one ends ctest's wait whatever happens.
CTEST_TIMEOUT ?= 200

.PHONY: all deps build run test test-default test-asan fuzz-smoke bench clean

all: build

deps:
	@./tools/install-deps.sh

$(BUILD)/Makefile: CMakeLists.txt
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and what it reads at start (its target depends on them);
# the tests and benchmarks are left to make test and make bench.
run: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS) --target brivola
	./$(BUILD)/brivola $(ARGS)

test: deps test-default test-asan fuzz-smoke

test-default: $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest -j $(JOBS) --timeout $(CTEST_TIMEOUT) --output-on-failure

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBRIVOLA_SANITIZE=ON -DBRIVOLA_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest -j $(JOBS) --timeout $(CTEST_TIMEOUT) --output-on-failure

# Every fuzz target runs a few seconds on its seeds (copied, so the seeds stay as committed).
fuzz-smoke:
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBRIVOLA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for t in $(FUZZ_BUILD)/fuzz/*_fuzz; do \
		[ -x "$$t" ] || continue; \
		name=$$(basename $$t _fuzz); \
		corpus=$$(mktemp -d); \
		if [ -d fuzz/seeds/$$name ]; then cp -r fuzz/seeds/$$name/. $$corpus/; fi; \
		echo "fuzz $$name: $(FUZZ_SECONDS) s"; \
		$$t -max_total_time=$(FUZZ_SECONDS) -timeout=$(FUZZ_TIMEOUT) -rss_limit_mb=2048 -artifact_prefix=$$corpus.crash- $$corpus > $$corpus.log 2>&1 || \
			{ tail -n 40 $$corpus.log; exit 1; }; \
		rm -rf $$corpus $$corpus.log; \
	done

bench: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS) --target brivola_bench
	@status=0; ./$(BUILD)/bench/brivola_bench --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
		> $(BUILD)/bench.log || status=$$?; grep "^bench " $(BUILD)/bench.log; exit $$status

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
