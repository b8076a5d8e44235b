# One command builds, one tests. Both first install any missing Debian packages.
.PHONY: all deps deps-demo deps-dist native win32 win64 test test-native test-win32 test-win64 demo clean fuzz sanitize tsan lint bench

all: native win32 win64

# Which Windows build runs under Wine here is decided when it is needed, after make deps has
# installed Wine, by cmake/windows_runs.py: win32 where this machine executes 32-bit
# x86 programs; elsewhere the demo and benchmarks use win64 and the win32 tests run in an
# emulated x86_64 machine (LAMDEX_WIN32_VM=off skips them instead).
export LAMDEX_WIN32_RUNS LAMDEX_WIN32_VM
WINDOWS_RUNS := python3 cmake/windows_runs.py
WINE_BUILD = $$($(WINDOWS_RUNS) build)

# Configuring first installs what is missing (DEPS names how much; the demo asks for less).
# 32-bit Wine, optional, is tried once per state of apt's package lists; asked for by name
# (make deps), the target tries it again.
DEPS ?= deps
AGAIN = $(if $(filter $@,$(MAKECMDGOALS)),--again)
deps:
	@sh cmake/install-deps.sh all $(AGAIN)
deps-demo:
	@sh cmake/install-deps.sh demo $(AGAIN)
deps-dist:
	@sh cmake/install-deps.sh dist

build/native/build.ninja: | $(DEPS)
	cmake --preset native
build/win32/build.ninja: | $(DEPS)
	cmake --preset win32
build/win64/build.ninja: | $(DEPS)
	cmake --preset win64

native: $(DEPS) build/native/build.ninja
	cmake --build --preset native
win32: $(DEPS) build/win32/build.ninja
	cmake --build --preset win32
win64: $(DEPS) build/win64/build.ninja
	cmake --build --preset win64

test: test-native test-win64 test-win32
	@$(WINDOWS_RUNS) summary

# The demo needs only what it uses: the simulator of the native build, and the DLL and
# reference host of the one Windows build that runs under Wine here.
demo: deps-demo
	@$(MAKE) --no-print-directory DEPS= build/native/build.ninja
	cmake --build --preset native --target lc1sim
	@build=$(WINE_BUILD) && $(MAKE) --no-print-directory DEPS= build/$$build/build.ninja && \
	  cmake --build --preset $$build --target lamdex_plugin zbhost && bash tools/demo.sh build/native build/$$build

# The release zips (CPack) and their SHA256SUMS in build/dist: the same bytes for the same
# commit. check-reproducible builds the release of HEAD twice, in two fresh clones under
# different paths, umasks and time zones, and names whatever differs.
.PHONY: dist check-reproducible
dist: deps-dist
	@$(MAKE) --no-print-directory DEPS= win32 win64
	rm -f build/dist/Lamdex-*.zip build/dist/SHA256SUMS
	sh tools/make-dist.sh build/dist build/win32 build/win64
check-reproducible: deps
	python3 tools/check_reproducible.py

test-native: native
	ctest --preset native
test-win32: win32 native
	@$(WINDOWS_RUNS) test-win32
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
bench-wine: native
	@build=$(WINE_BUILD) && $(MAKE) --no-print-directory $$build && tests/faults/bench_wine.py wine build/$$build build/native

# How old the reading a host gets is, polling every 50 to 1000 ms: 60 s per interval,
# natively and under Wine (about 13 minutes). Prints figures; asserts nothing.
.PHONY: bench-poll
bench-poll: native
	python3 tests/bench/poll_age.py native
	@build=$(WINE_BUILD) && $(MAKE) --no-print-directory $$build && python3 tests/bench/poll_age.py wine --windows-build build/$$build

# How soon readings resume after a device is plugged back in: 10 cycles, natively and under Wine.
.PHONY: bench-replug
bench-replug: native
	LAMDEX_REPLUGS=10 python3 tests/faults/faults.py native build/native hangup
	@build=$(WINE_BUILD) && $(MAKE) --no-print-directory $$build && \
	  LAMDEX_REPLUGS=10 python3 tests/faults/faults.py wine build/$$build hangup build/native

# The randomised close, reopen, pull and replug case for MINUTES minutes, natively under
# AddressSanitizer and UBSan.
MINUTES ?= 10
.PHONY: soak
soak: build/sanitize/build.ninja
	cmake --build --preset sanitize --target fault_host lamdex_plugin lc1sim
	LAMDEX_SOAK_SECONDS=$$(( $(MINUTES) * 60 )) LAMDEX_FAULT_SEED=$$(date +%s) \
	  python3 tests/faults/faults.py native build/sanitize reopen

clean:
	rm -rf build
