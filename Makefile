# A thin layer over CMake: configure once, then build, run and test through it.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
# Warnings fail the build in CI; elsewhere a newer compiler's new warning should not stop a user.
WERROR ?= $(if $(CI),ON,OFF)

CONFIGURE = cmake -S . -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DJUKEBOX_WARNINGS_AS_ERRORS=$(WERROR)

.PHONY: all deps test-deps run test test-asan test-package bench install uninstall deb format clean

all: deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CONFIGURE) -B $(BUILD_DIR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

deps:
	@tools/install-deps build

test-deps:
	@tools/install-deps test

run: all
	./$(BUILD_DIR)/jukebox

test: test-deps all test-asan
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: test-deps
	@test -f $(ASAN_DIR)/CMakeCache.txt || \
		$(CONFIGURE) -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DJUKEBOX_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

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

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.c')

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
