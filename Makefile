# The two everyday commands: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

FUZZ_SECONDS ?= 60

.PHONY: run test test-asan fuzz deps build clean

deps:
	@sh scripts/install-deps.sh

build: deps
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF
	$(CMAKE) --build build -j $(JOBS)

run: build
	@sh scripts/run-example.sh build/quintle

test: deps
	$(CMAKE) -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUINTLE_SANITIZE=ON
	$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Fuzzing of the project readers (current and older), the given distance
# matrices, the older Mantel reader, the settings and statistics-list
# readers and the translator from each foreign format (clang and
# libFuzzer); each fuzzer runs FUZZ_SECONDS seconds. Not
# part of `make test`.
fuzz:
	$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DQUINTLE_FUZZ=ON -DQUINTLE_TESTS=OFF
	$(CMAKE) --build build-fuzz -j $(JOBS)
	sh scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-test build-asan build-fuzz
