# Entry points: `make run` and `make test`. Everything else is for developers and CI.
JOBS ?= 2
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?=

.PHONY: all bootstrap build test run test-sanitize test-tsan fuzz-smoke bench clean

all: build

bootstrap:
	@scripts/bootstrap

build/build.ninja:
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: bootstrap build/build.ninja
	cmake --build build -j $(JOBS)

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

# The server from run/, with an Environment.ini for port 55200 made on first use.
RUN_PORT ?= 55200
run: build
	@mkdir -p run
	@[ -f run/demo.fdb ] || build/qzt-demodb $(CURDIR)/run/demo.fdb
	@[ -f run/Environment.ini ] || printf '[SYSTEM]\nDBDSPort=%s,%s\nDBSvrIP=\nDBPathDB=%s\nDBSvrID=%s\nDBSvrPW=%s\n' \
	  "$$(build/qzt-scramble 0)" "$$(build/qzt-scramble $(RUN_PORT))" "$(CURDIR)/run/demo.fdb" \
	  "$$(build/qzt-scramble SYSDBA)" "$$(build/qzt-scramble masterkey)" > run/Environment.ini
	QZT_HOME=$(CURDIR)/run build/QZTServer --log

# The whole test suite built with clang under address and undefined-behaviour sanitizers.
build-sanitize/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON

test-sanitize: bootstrap build-sanitize/build.ninja
	cmake --build build-sanitize -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan-suppressions.txt \
	  ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

# The threading tests (session pool, worker threads, data services on real sessions) under the thread
# sanitizer.
build-tsan/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSAN=ON

test-tsan: bootstrap build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS) --target dbplugin_tests services_tests
	TSAN_OPTIONS="halt_on_error=1 detect_deadlocks=0 suppressions=$(CURDIR)/scripts/tsan-suppressions.txt" \
	  build-tsan/tests/dbplugin_tests --gtest_filter='SessionPool*'
	TSAN_OPTIONS="halt_on_error=1 detect_deadlocks=0 suppressions=$(CURDIR)/scripts/tsan-suppressions.txt" \
	  build-tsan/tests/services_tests --gtest_filter='*Pooled*:*Persistent*:*Smart*'

# Every libFuzzer target for $(FUZZ_SECONDS) seconds; a crash or sanitizer report fails.
build-fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUZZ=ON

fuzz-smoke: bootstrap build-fuzz/build.ninja
	cmake --build build-fuzz -j $(JOBS)
	@set -e; for f in build-fuzz/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  mkdir -p build-fuzz/corpus/$$name fuzz/corpus/$$name; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
	      build-fuzz/corpus/$$name fuzz/corpus/$$name 2>build-fuzz/$$name.log \
	    || { tail -n 60 build-fuzz/$$name.log; exit 1; }; \
	  grep -h "^#.*DONE" build-fuzz/$$name.log | tail -n 1; \
	done

bench: build
	@for b in build/bench/bench_*; do [ -x "$$b" ] && $$b; done

clean:
	rm -rf build build-sanitize build-fuzz build-tsan
