# Thin wrapper over CMake. The two commands a newcomer needs:
#   make run    start the demo (lighttpd + webreq + core simulator + database, in the sandbox)
#   make test   install what is missing, build (normal and sanitizer builds) and run every test
.PHONY: all deps build asan test test-release test-asan run fuzz clean

all: build

deps:
	@scripts/setup

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan

test-release: build
	@ctest --preset release

test-asan: asan
	@ctest --preset asan

test: test-release test-asan

run: build
	@tools/demo

# Coverage-guided fuzzing of the multipart parser (clang + libFuzzer); not part of `make test`.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF \
	    -DZV_STATIC=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-fuzz --target fuzz_multipart
	@tools/sandbox -- build-fuzz/bin/fuzz_multipart -max_total_time=$${FUZZ_SECONDS:-60} build-fuzz/corpus

clean:
	rm -rf build build-asan build-debug build-fuzz
