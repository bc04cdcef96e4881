# Front door of the project. Every target drives CMake; the build folder is
# build/ (build-asan/ for the sanitizer run of the test suite).
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all build deps test test-native test-sanitize test-threads demo windows package bench clean

all: build

# The library and the tools (tools/, bench/): no test programs.
build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# Installs what is missing (Debian packages, as root), builds, runs every
# test, then the C++ suites again under AddressSanitizer and UBSan, and the
# thread test under ThreadSanitizer.
test: deps test-native test-sanitize test-threads

deps:
	bash tools/install-deps.sh

test-native: build
	cmake --build $(BUILD) -j$(JOBS) --target quillon-tests
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	    -DQUILLON_SANITIZE=address,undefined
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target quillon-tests
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j$(JOBS)

# Writers on several threads at once, under ThreadSanitizer.
test-threads:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	    -DQUILLON_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target threads_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^threads$$'

# Writes demo.gds with every exported function and, where KLayout is
# installed, renders it to demo.png.
demo:
	bash tools/install-deps.sh demo
	$(MAKE) build
	$(BUILD)/tools/quillon-demo demo.gds
	@if command -v klayout >/dev/null 2>&1; then \
	    QT_QPA_PLATFORM=offscreen klayout -b -r tools/render_png.py \
	        -rd input=demo.gds -rd output=demo.png && echo "wrote demo.png"; \
	else echo "KLayout not installed: demo.png not rendered"; fi

# Cross-builds Quillon.dll for 32-bit and 64-bit Windows, self-contained
# (dist/win32/, dist/win64/) and on the shared GCC and C++ runtime DLLs
# (dist/win32-shared-runtime/, dist/win64-shared-runtime/), and packs all
# four into dist/quillon-VERSION-windows.zip.
windows:
	bash tools/build-windows.sh

# dist/quillon_VERSION_ARCH.deb: the library, quillon.h, the CMake and
# pkg-config files and the tools (apt-get install ./dist/quillon_*.deb).
package:
	bash tools/install-deps.sh package
	$(MAKE) build
	cd $(BUILD) && cpack -G DEB -B $(CURDIR)/dist
	rm -rf dist/_CPack_Packages

# quillon-bench's include line times the include inside one process; the
# second script times it as whole processes (quillon-merge, Python) against
# cat on the same machine, right after it.
bench: build
	$(BUILD)/bench/quillon-bench
	/usr/bin/python3 bench/include_processes.py --build $(BUILD)
	QUILLON_LIBRARY=$(CURDIR)/$(BUILD)/libquillon.so \
	    /usr/bin/python3 bench/convert_vs_klayout.py --convert $(BUILD)/tools/quillon-convert

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-win32 build-win64 \
	    build-win32-shared-runtime build-win64-shared-runtime dist
