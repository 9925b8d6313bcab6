# Set-up and everyday commands. `make run` and `make test` install what is
# missing (Debian packages), configure, build, then run the program or every test.
BUILD ?= build
JOBS ?= $(shell nproc)
# A compiler cache, when the machine has one, makes rebuilds in fresh trees cheap.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: deps configure build run test bench package clean

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

clean:
	rm -rf $(BUILD)
