# Thin wrapper over CMake. The two commands a newcomer needs:
#   make run    start the demo (lighttpd + webreq + core simulator + database, in the sandbox)
#   make test   install what is missing, build (normal and sanitizer builds) and run every test
# and for the device (32-bit ARM):
#   make cross       build it in build-armhf/ (programs in build-armhf/bin/)
#   make cross-test  build it and run all its tests under the user-mode emulator (qemu-arm)
.PHONY: all deps build asan test test-release test-asan run bench fuzz fuzz-configure fuzz-multipart fuzz-small fuzz-ci soak clean cross-deps cross cross-test cross-check

all: build

deps:
	@scripts/setup

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan

# The release suite runs four tests at a time (its tests wait on the programs they start more
# than they compute); the sanitizer suite two, as many as the cores: it is bound by them.
test-release: build
	@ctest --preset release

test-asan: asan
	@ctest --preset asan

test: test-release test-asan

run: build
	@tools/demo

# The long reliability runs (tests/reliability), in the sandbox as ctest runs them: SOAK_ROUNDS
# kills per writer family during saves (default 20) and SOAK_SECONDS of 32 writers at once
# (default 30), where `make test` runs a few of each.
soak: build
	@cmake --build --preset release --target writer_faults_test
	@ZV_SOAK_ROUNDS=$${SOAK_ROUNDS:-20} ZV_SOAK_SECONDS=$${SOAK_SECONDS:-30} \
	    tools/sandbox -- build/tests/writer_faults_test

# Request cost against a minimal C CGI program through the same lighttpd, one table and
# build/bench/results.json.
bench: build
	@tools/bench

# Coverage-guided fuzzing (clang + libFuzzer), FUZZ_SECONDS each (default 60): the multipart
# parser from its corpus (front/fuzz_seeds), and every request handler in-process with the core
# simulator answering, from front/fuzz_handler_seeds and a dictionary of the identifiers and the
# JSON keys of the tree. New corpus entries stay in build-fuzz/. CI runs `fuzz-ci` (every target
# whose build is small, 15 s each), `make fuzz` runs them all.
fuzz-configure: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF \
	    -DZV_STATIC=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

fuzz-multipart: fuzz-configure
	@cmake --build build-fuzz --target fuzz_multipart
	@mkdir -p build-fuzz/corpus
	@cp -n front/fuzz_seeds/* build-fuzz/corpus/ 2>/dev/null || true
	@tools/sandbox -- build-fuzz/bin/fuzz_multipart -max_total_time=$${FUZZ_SECONDS:-60} \
	    build-fuzz/corpus > build-fuzz/multipart.log 2>&1 \
	    || { tail -40 build-fuzz/multipart.log; exit 1; }
	@echo "fuzz_multipart: $$(tail -1 build-fuzz/multipart.log)"

# The small targets of fuzz/, each from its corpus fuzz/seeds/<name> (new entries stay in
# build-fuzz/corpus-<name>): the JSON member reader and record schemas, the joystick event path,
# the download's chunk assembler and AVI writer. Their builds need neither the database nor the
# handlers.
FUZZ_SMALL = json_members joystick_events download_chunks

fuzz-small: fuzz-configure
	@cmake --build build-fuzz -j2 --target $(addprefix fuzz_,$(FUZZ_SMALL))
	@for t in $(FUZZ_SMALL); do \
	    mkdir -p build-fuzz/corpus-$$t && cp -n fuzz/seeds/$$t/* build-fuzz/corpus-$$t/ 2>/dev/null; \
	    tools/sandbox -- build-fuzz/bin/fuzz_$$t -max_total_time=$${FUZZ_SECONDS:-60} -timeout=10 \
	        -artifact_prefix=build-fuzz/$$t- \
	        -rss_limit_mb=1024 build-fuzz/corpus-$$t > build-fuzz/$$t.log 2>&1 \
	        || { tail -40 build-fuzz/$$t.log; exit 1; }; \
	    echo "fuzz_$$t: $$(tail -1 build-fuzz/$$t.log)"; \
	done

# CI's brief run: every target but the in-process handlers (too long a build for CI), 15 s each.
fuzz-ci:
	@FUZZ_SECONDS=$${FUZZ_SECONDS:-15} $(MAKE) --no-print-directory fuzz-multipart fuzz-small

fuzz: fuzz-multipart fuzz-small
	@cmake --build build-fuzz --target fuzz_handlers
	@mkdir -p build-fuzz/handler-corpus
	@cp -n front/fuzz_handler_seeds/* build-fuzz/handler-corpus/ 2>/dev/null || true
	@tools/fuzz-dict > build-fuzz/handlers.dict
	@tools/sandbox -- build-fuzz/bin/fuzz_handlers -max_total_time=$${FUZZ_SECONDS:-60} -timeout=10 \
	    -dict=build-fuzz/handlers.dict build-fuzz/handler-corpus > build-fuzz/handlers.log 2>&1 \
	    || { tail -40 build-fuzz/handlers.log; exit 1; }
	@echo "fuzz_handlers: $$(tail -1 build-fuzz/handlers.log)"

# The device's target: Debian's arm-linux-gnueabihf cross toolchain and the :armhf libraries
# (scripts/setup --cross), cmake/toolchain-armhf.cmake, preset "armhf".
cross-deps:
	@scripts/setup --cross

cross: cross-deps
	@cmake --preset armhf >/dev/null
	@cmake --build --preset armhf

cross-test: cross
	@ctest --preset armhf

# What CI runs of the ARM build (all of it takes too long on CI's two cores): the tests labelled
# "cross-check" (cmake/ZvTesting.cmake), record layouts compared with the host's among them.
cross-check: cross-deps
	@cmake --preset armhf >/dev/null
	@cmake --build --preset armhf --target cross_check
	@ctest --preset armhf -L cross-check

clean:
	rm -rf build build-asan build-debug build-fuzz build-armhf
