# One command builds, one tests. Both first install any missing Debian packages.
.PHONY: all deps native win32 test test-native test-win32 demo clean

all: native win32

deps:
	@sh cmake/install-deps.sh

build/native/build.ninja: | deps
	cmake --preset native
build/win32/build.ninja: | deps
	cmake --preset win32

native: build/native/build.ninja
	cmake --build --preset native
win32: build/win32/build.ninja
	cmake --build --preset win32

test: test-native test-win32

test-native: native
	ctest --preset native
test-win32: win32
	ctest --preset win32

clean:
	rm -rf build
