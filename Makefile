# A thin layer over CMake: configure once, then build, run and test through it.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
WINDOWS_DIR ?= build-windows
RELEASE_DIR ?= build-release
RELEASE ?= trixie
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
# The end-to-end tests wait mostly on real time (a window to map, a sound to play out): two of
# them a processor keep the machine busy.
TEST_JOBS ?= $(shell echo $$((2 * $$(nproc))))
# Warnings fail the build in CI; elsewhere a newer compiler's new warning should not stop a user.
WERROR ?= $(if $(CI),ON,OFF)

VERSION := $(shell sed -n 's/^project.jukebox VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

CONFIGURE = cmake -S . -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DJUKEBOX_WARNINGS_AS_ERRORS=$(WERROR)

.PHONY: all deps test-deps run check check-format test test-asan test-package bench install uninstall deb windows \
	test-windows test-release fuzz format clean

all: deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CONFIGURE) -B $(BUILD_DIR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

deps:
	@tools/install-deps build

test-deps:
	@tools/install-deps test gnome

run: all
	./$(BUILD_DIR)/jukebox

# The loop to run while working: the formatting, the unit and in-process tests, and one
# end-to-end test of each area (window, keys, sound, failures) on the system's SDL 1.2.
E2E_LIBRARY := $(shell pkg-config --modversion sdl 2>/dev/null | grep -q '^1\.2\.1' && echo classic || echo compat)
check: test-deps all check-format
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(TEST_JOBS) -E '^(e2e_|install$$|memcheck$$)'
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(TEST_JOBS) \
		-R '^e2e_(window|keys|sound|failures)_$(E2E_LIBRARY)$$'

# Fails on any file of the program's own that clang-format would change.
check-format: test-deps
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.hpp' '*.c')

test: test-deps all test-asan
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(TEST_JOBS)

test-asan: test-deps
	@test -f $(ASAN_DIR)/CMakeCache.txt || \
		$(CONFIGURE) -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DJUKEBOX_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	# The Wayland desktops' tests run the program's code that the X ones run; what they prove is
	# the desktop's side, which the normal build's run proves.
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(TEST_JOBS) -LE wayland

# Installs the package on this machine (and removes it again): not part of `make test`.
test-package: test-deps all
	@tools/install-deps package
	tests/package/package_test.sh $(BUILD_DIR)

bench: test-deps all
	tools/bench --build $(BUILD_DIR)

install: all
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

uninstall:
	cmake --build $(BUILD_DIR) --target uninstall

# dist/jukebox_<version>_<arch>.deb, built from a copy of the working tree.
deb:
	tools/build-deb

# dist/jukebox-<version>-win64.zip, cross-built with MinGW-w64; the libraries once, from Debian's
# sources, into $(WINDOWS_DIR)/deps.
windows:
	@tools/install-deps windows
	WERROR=$(WERROR) tools/build-windows $(WINDOWS_DIR)

# The Windows build's unit tests under Wine, then the zip unzipped and run there for real while
# the release is built again from nothing elsewhere: the same bytes.
test-windows: test-deps all
	@tools/install-deps windows-test
	WERROR=$(WERROR) JUKEBOX_TESTS=ON tools/build-windows $(WINDOWS_DIR)
	ctest --test-dir $(WINDOWS_DIR)/cmake --output-on-failure
	@# The second build computes, at the lowest priority, while the suite under Wine mostly waits:
	@# they run side by side, the build's verdict shown after the suite's.
	nice -n 19 tests/windows/reproducible_test.sh >$(WINDOWS_DIR)/reproducible.log 2>&1 & again=$$!; \
		tests/windows/windows_test.sh dist/jukebox-$(VERSION)-win64.zip $(BUILD_DIR); suite=$$?; \
		wait $$again; built=$$?; cat $(WINDOWS_DIR)/reproducible.log; \
		[ $$suite -eq 0 ] && [ $$built -eq 0 ]

# The package and the end-to-end suite in clean systems of one Debian release (bookworm, trixie or
# testing), made by mmdebstrap into $(RELEASE_DIR); lintian, autopkgtest and piuparts there too.
# RELEASE_STEPS names some of its steps (tools/test-release), all of them when empty.
test-release:
	tools/test-release $(RELEASE) $(RELEASE_DIR) $(RELEASE_STEPS)

# Fuzzes each load the program makes for FUZZ_SECONDS a target (tools/fuzz); findings stay in
# build-fuzz/findings/.
FUZZ_SECONDS ?= 600
fuzz:
	tools/fuzz $(FUZZ_SECONDS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.c')

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(WINDOWS_DIR) $(RELEASE_DIR) build-fuzz
