# Set-up and everyday commands. `make run` and `make test` install what is
# missing (Debian packages), configure, build, then run the program or every test.
BUILD ?= build
JOBS ?= $(shell nproc)
# A compiler cache, when the machine has one, makes rebuilds in fresh trees cheap.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# `make fuzz`: the fuzz harnesses (fuzz/) built with clang, libFuzzer and the
# address and undefined-behaviour sanitizers in their own folder, each run for
# FUZZ_SECONDS seconds on a copy of its corpus.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: deps configure build run test bench package fuzz clean test-sanitize test-tsan

# Sanitizer builds live in folders of their own, without the benchmarks.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
SANITIZER_CONFIG := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DLUMASIFT_BUILD_BENCHMARKS=OFF $(LAUNCHER)
SUPPRESSIONS := $(CURDIR)/sanitizers
# Every report ends the test program; leaks are reported at exit.
ASAN_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
	LSAN_OPTIONS=suppressions=$(SUPPRESSIONS)/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# die_after_fork=0: QProcess forks from a test that already runs server
# threads; the child only calls exec, which the sanitizer cannot tell.
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$(SUPPRESSIONS)/tsan.supp
# ThreadSanitizer runs the layers where threads meet: the run core, the
# fetch and the command-line tool.
TSAN_TARGETS := run_tests fetch_tests cli_tests lumasift-cli
TSAN_LABELS := ^(run|fetch|cli)$$

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	bash scripts/bench.sh $(BUILD)

# The Debian package lumasift_<version>_<architecture>.deb in $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DLUMASIFT_FUZZ=ON -DBUILD_TESTING=OFF -DLUMASIFT_BUILD_BENCHMARKS=OFF $(LAUNCHER)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_harnesses
	bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite.
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) $(SANITIZER_CONFIG) -DLUMASIFT_SANITIZE=address,undefined
	$(ASAN_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(SANITIZER_CONFIG) -DLUMASIFT_SANITIZE=thread
	$(TSAN_ENV) cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) -L '$(TSAN_LABELS)'

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
