# One command builds, one tests. Both first install any missing Debian packages.
.PHONY: all deps native win32 win64 test test-native test-win32 test-win64 demo clean fuzz sanitize tsan lint bench

all: native win32 win64

# Machines that cannot execute 32-bit x86 programs cannot start 32-bit Wine: there the
# win32 test programs are reported as skipped and the demo uses the 64-bit build.
# LAMDEX_WIN32_RUNS=off makes any machine behave so. WINE_BUILD: what the demo runs.
export LAMDEX_WIN32_RUNS
WIN32_SKIP_REASON := $(shell WINEARCH=win32 sh -c '. cmake/wine-arch.sh; wine_arch_unavailable')
ifeq ($(WIN32_SKIP_REASON),)
WINDOWS_RUNS := win64 and win32 under Wine
WINE_BUILD := win32
else
WINDOWS_RUNS := win64 under Wine; the win32 test programs were skipped: $(WIN32_SKIP_REASON)
WINE_BUILD := win64
endif

deps:
	@sh cmake/install-deps.sh

build/native/build.ninja: | deps
	cmake --preset native
build/win32/build.ninja: | deps
	cmake --preset win32
build/win64/build.ninja: | deps
	cmake --preset win64

native: deps build/native/build.ninja
	cmake --build --preset native
win32: deps build/win32/build.ninja
	cmake --build --preset win32
win64: deps build/win64/build.ninja
	cmake --build --preset win64

test: test-native test-win64 test-win32
	@echo "Windows configurations tested: $(WINDOWS_RUNS)"

demo: native $(WINE_BUILD)
	bash tools/demo.sh build/native build/$(WINE_BUILD)

# The release zips (CPack) and their SHA256SUMS in build/dist.
.PHONY: dist
dist: win32 win64
	rm -f build/dist/Lamdex-*.zip build/dist/SHA256SUMS
	sh tools/make-dist.sh build/dist build/win32 build/win64

test-native: native
	ctest --preset native
test-win32: win32 native
	@$(if $(WIN32_SKIP_REASON),echo "win32: the test programs will be reported as skipped: $(WIN32_SKIP_REASON)")
	ctest --preset win32
test-win64: win64 native
	ctest --preset win64

# Hardening and measurement: bounded fuzzing (clang + libFuzzer), the native tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded component test under
# ThreadSanitizer, static checks, decoder benchmarks.
FUZZ_SECONDS ?= 60

build/fuzz/build.ninja: | deps
	cmake --preset fuzz
build/sanitize/build.ninja: | deps
	cmake --preset sanitize
build/tsan/build.ninja: | deps
	cmake --preset tsan

fuzz: build/fuzz/build.ninja
	cmake --build --preset fuzz --target packet_reader_fuzz config_fuzz
	sh tests/fuzz/run.sh build/fuzz $(FUZZ_SECONDS)
sanitize: build/sanitize/build.ninja
	cmake --build --preset sanitize
	ctest --preset sanitize
	$(MAKE) --no-print-directory tsan
# ThreadSanitizer on the one test that reads from one thread while another changes the port.
tsan: build/tsan/build.ninja
	cmake --build --preset tsan
	ctest --preset tsan
lint: native
	bash cmake/lint.sh build/native
bench: native
	cmake --build --preset native --target packet_reader_bench
	build/native/tests/bench/packet_reader_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# The real DLL under Wine on a pseudo-terminal COM port: Read costs and line-rate delivery.
.PHONY: bench-wine
bench-wine: native $(WINE_BUILD)
	tests/faults/bench_wine.py wine build/$(WINE_BUILD) build/native

# How old the reading a host gets is, polling every 50 to 1000 ms: 60 s per interval,
# natively and under Wine (about 13 minutes). Prints figures; asserts nothing.
.PHONY: bench-poll
bench-poll: native $(WINE_BUILD)
	python3 tests/bench/poll_age.py native
	python3 tests/bench/poll_age.py wine --windows-build build/$(WINE_BUILD)

clean:
	rm -rf build
