# make        installs what is missing, builds the five modules into dist/
# make test   the same, then runs the whole test suite under Wine
SHELL := bash
.SHELLFLAGS := -o pipefail -c
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

.PHONY: all setup configure build test clean

all: build
	@echo "Modules: $(CURDIR)/dist/"
	@ls dist/*.gau | sed 's/^/  /'

setup:
	@tools/setup.sh

$(BUILD)/CMakeCache.txt: | setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

configure: setup $(BUILD)/CMakeCache.txt

build: configure
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory | { grep -v -E '^\[ *[0-9]+%\] (Built target|Building|Linking)' || true; }

# An empty suite is a failure; the prefix's wineserver is let finish saving
# before make returns, so nothing writes into the build folder afterwards.
test: build
	@status=0; (cd $(BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)) || status=$$?; \
	  cmake/wine-run --shutdown; exit $$status

clean:
	rm -rf $(BUILD) dist

# make check-strict   runs gaugecheck at its strictest level on every module
.PHONY: check-strict
check-strict: build
	@status=0; for module in dist/*.gau; do tools/gaugecheck "$$module" --level 10 || status=1; done; \
	  cmake/wine-run --shutdown; exit $$status
