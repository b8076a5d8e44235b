# One command builds, one tests. Both first install any missing Debian packages.
.PHONY: all deps native win32 test test-native test-win32 demo clean fuzz sanitize lint bench

all: native win32

deps:
	@sh cmake/install-deps.sh

build/native/build.ninja: | deps
	cmake --preset native
build/win32/build.ninja: | deps
	cmake --preset win32

native: deps build/native/build.ninja
	cmake --build --preset native
win32: deps build/win32/build.ninja
	cmake --build --preset win32

test: test-native test-win32

demo: native win32
	bash tools/demo.sh build/native build/win32

test-native: native
	ctest --preset native
test-win32: win32 native
	ctest --preset win32

# Hardening and measurement: bounded fuzzing (clang + libFuzzer), the native tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, static checks, decoder benchmarks.
FUZZ_SECONDS ?= 60

build/fuzz/build.ninja: | deps
	cmake --preset fuzz
build/sanitize/build.ninja: | deps
	cmake --preset sanitize

fuzz: build/fuzz/build.ninja
	cmake --build --preset fuzz --target packet_reader_fuzz config_fuzz
	sh tests/fuzz/run.sh build/fuzz $(FUZZ_SECONDS)
sanitize: build/sanitize/build.ninja
	cmake --build --preset sanitize
	ctest --preset sanitize
lint: native
	bash cmake/lint.sh build/native
bench: native
	cmake --build --preset native --target packet_reader_bench
	build/native/tests/bench/packet_reader_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# The real DLL under Wine on a pseudo-terminal COM port: Read costs and line-rate delivery.
.PHONY: bench-wine
bench-wine: native win32
	bash tests/faults/bench-wine.sh wine build/win32 build/native

clean:
	rm -rf build
